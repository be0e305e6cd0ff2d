#include "model/fieldcodec.h"

#include <QByteArray>

namespace field {

QString formatFloat(float value)
{
    return QString::number(double(value), 'g', 6);
}

float parseFloat(const QString &text)
{
    bool ok = false;
    const float value = text.toFloat(&ok);
    return ok ? value : 0.0f;
}

quint16 parseUint16(const QString &text, int base)
{
    bool ok = false;
    const uint value = text.toUInt(&ok, base);
    return ok ? quint16(value & 0xFFFF) : 0;
}

quint32 parseUint32(const QString &text)
{
    bool ok = false;
    const uint value = text.toUInt(&ok, 10);
    return ok ? quint32(value) : 0;
}

QString formatMeterNumber(quint32 number)
{
    return QStringLiteral("%1").arg(number, 10, 10, QLatin1Char('0'));
}

bool customValueText(int sourceCode, quint16 value, QString *text)
{
    switch (sourceCode) {
    case CustomDecimal:
        *text = QString::number(value);
        return true;
    case CustomHex:
        *text = QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
        return true;
    case CustomChars: {
        const char bytes[2] = {char(value >> 8), char(value & 0xFF)};
        *text = QString::fromUtf8(bytes, 2);
        return true;
    }
    default:
        return false;
    }
}

bool collectCustomValue(int sourceCode, const QString &text, quint16 *value)
{
    switch (sourceCode) {
    case CustomDecimal:
        *value = parseUint16(text, 10);
        return true;
    case CustomHex:
        *value = parseUint16(text, 16);
        return true;
    case CustomChars: {
        const QByteArray bytes = text.toUtf8();
        const quint8 high = bytes.size() > 0 ? quint8(bytes[0]) : 0;
        const quint8 low = bytes.size() > 1 ? quint8(bytes[1]) : 0;
        *value = quint16((high << 8) | low);
        return true;
    }
    default:
        return false;
    }
}

namespace {

bool isContinuationByte(char byte)
{
    return (quint8(byte) & 0xC0) == 0x80;
}

} // namespace

void encodeTextBlock(const QString &text, quint16 regs[TextRegisters])
{
    const QByteArray utf8 = text.toUtf8();
    int length = utf8.size();
    if (length > TextBytes) {
        // The instrument shows what it gets; half a character would show as garbage.
        length = TextBytes;
        while (length > 0 && isContinuationByte(utf8[length]))
            --length;
    }
    for (int i = 0; i < TextRegisters; ++i) {
        const quint8 high = 2 * i < length ? quint8(utf8[2 * i]) : 0;
        const quint8 low = 2 * i + 1 < length ? quint8(utf8[2 * i + 1]) : 0;
        regs[i] = quint16((high << 8) | low);
    }
}

QString decodeTextBlock(const quint16 regs[TextRegisters])
{
    QByteArray bytes;
    bytes.reserve(TextBytes);
    for (int i = 0; i < TextRegisters; ++i) {
        bytes.append(char(regs[i] >> 8));
        bytes.append(char(regs[i] & 0xFF));
    }
    const int zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    return QString::fromUtf8(bytes);
}

int adcGainIndex(quint16 gain)
{
    switch (gain) {
    case 1:
        return 0;
    case 2:
        return 1;
    case 64:
        return 2;
    case 128:
        return 3;
    default:
        return -1;
    }
}

} // namespace field
