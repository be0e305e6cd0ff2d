#include "model/fieldcodec.h"

#include <QByteArray>

#include <algorithm>

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

bool collectCustomValue(int sourceCode, const QString &text, quint16 *value, bool *valid)
{
    if (valid)
        *valid = true;
    switch (sourceCode) {
    case CustomDecimal:
    case CustomHex: {
        quint32 number = 0;
        if (parseWhole(text, 0, 0xFFFF, &number, sourceCode == CustomHex ? 16 : 10))
            *value = quint16(number);
        else if (valid)
            *valid = false;
        return true;
    }
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

bool parseWhole(const QString &text, quint32 min, quint32 max, quint32 *value, int base)
{
    const QString digits = text.trimmed();
    // toULongLong alone would take a sign, and "0x" in base 16.
    const bool onlyDigits =
        !digits.isEmpty() && std::all_of(digits.begin(), digits.end(), [base](QChar c) {
            const char l = c.toLatin1();
            return (l >= '0' && l <= '9') ||
                   (base == 16 && ((l >= 'a' && l <= 'f') || (l >= 'A' && l <= 'F')));
        });
    bool ok = false;
    const qulonglong parsed = onlyDigits ? digits.toULongLong(&ok, base) : 0;
    if (!ok || parsed < min || parsed > max)
        return false;
    *value = quint32(parsed);
    return true;
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

} // namespace field
