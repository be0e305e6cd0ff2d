// The text forms of the register fields (model/fieldcodec), the number parsing
// and float display of the pages (model/pagestate) and the code tables, fed
// any register values and any text.
//
// Input: custom row source code (signed byte), a register value (2), a float
// (4, any bits), a field's length limit, a 32-bit register pair (4), then text:
// its first 100 bytes are also the 50 text registers, high byte first.
//
// Properties: no crash and no index outside a table (ASan, UBSan); a text block
// decodes to what fits of the text, cut before the first character that does
// not fit whole; custom values show and collect back exactly (characters when
// their two bytes are whole UTF-8); a number the page accepts is finite and in
// a float's range; a shown float fits any limit of seven characters or more and
// reads back as a finite float of the same magnitude; meter numbers read back.

#include "fuzzsupport.h"
#include "model/codetables.h"
#include "model/fieldcodec.h"
#include "model/pagestate.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace {

// "-0.0009": the widest a float gets with one digit ('g' writes exponents
// down to -4 in full). Every float field of the pages takes 10 or more.
constexpr int WidestShortFloat = 7;

void checkTextBlock(const QByteArray &bytes, const QString &text)
{
    quint16 regs[field::TextRegisters] = {};
    for (int i = 0; i < field::TextBytes && i < bytes.size(); ++i)
        regs[i / 2] |= quint16(quint8(bytes[i]) << (i % 2 ? 0 : 8));
    const QString decoded = field::decodeTextBlock(regs);
    FUZZ_CHECK(!decoded.contains(QChar(0)));

    // What the page stores for a typed text: the longest prefix of whole
    // characters that fits 100 bytes, ending at the first zero character.
    field::encodeTextBlock(text, regs);
    const QString stored = field::decodeTextBlock(regs);
    FUZZ_CHECK(text.startsWith(stored));
    FUZZ_CHECK(stored.toUtf8().size() <= field::TextBytes);
    if (stored.size() < text.size() && text[stored.size()] != QChar(0)) {
        const int next = text[stored.size()].isHighSurrogate() ? 2 : 1;
        FUZZ_CHECK(text.left(stored.size() + next).toUtf8().size() > field::TextBytes);
    }
}

void checkCustomValue(int code, quint16 value, const QString &text)
{
    const bool ownValue =
        code == field::CustomDecimal || code == field::CustomHex || code == field::CustomChars;
    QString shown = QStringLiteral("kept");
    FUZZ_CHECK(field::customValueText(code, value, &shown) == ownValue);
    quint16 collected = 0x5A5A;
    FUZZ_CHECK(field::collectCustomValue(code, text, &collected) == ownValue);
    if (!ownValue) {
        FUZZ_CHECK(shown == QLatin1String("kept") && collected == 0x5A5A);
        return;
    }
    const char pair[2] = {char(value >> 8), char(value & 0xFF)};
    if (code != field::CustomChars || shown.toUtf8() == QByteArray(pair, 2)) {
        FUZZ_CHECK(field::collectCustomValue(code, shown, &collected));
        FUZZ_CHECK(collected == value);
    }
}

void checkNumbers(const QString &text, quint32 number)
{
    float value = 12.5f;
    if (field::parseFiniteFloat(text, &value))
        FUZZ_CHECK(std::isfinite(value) && std::fabs(value) <= FLT_MAX);
    else
        FUZZ_CHECK(value == 12.5f);
    field::parseFloat(text);
    field::parseUint32(text);
    quint32 whole = 7;
    if (field::parseWhole(text, 0, 0xFFFF, &whole, 16))
        FUZZ_CHECK(whole <= 0xFFFF);
    else
        FUZZ_CHECK(whole == 7);

    const QString meterNumber = field::formatMeterNumber(number);
    FUZZ_CHECK(meterNumber.size() == 10 && field::parseUint32(meterNumber) == number);
}

void checkShownFloat(float value, int maxChars)
{
    const QString text = field::formatFloatFitting(value, maxChars);
    if (maxChars == 0 || maxChars >= WidestShortFloat)
        FUZZ_CHECK(maxChars == 0 || text.size() <= maxChars);
    if (!std::isfinite(value))
        return;
    float back = 0.0f;
    FUZZ_CHECK(field::parseFiniteFloat(text, &back));
    // One significant digit is the least kept: within half the value.
    FUZZ_CHECK(std::fabs(double(back) - double(value)) <= std::fabs(double(value)) / 2);
}

void checkTables(quint16 code)
{
    const QString unit = unitName(code);
    FUZZ_CHECK(code < unitNames.size() ? unit == QString::fromUtf8(unitNames[code])
                                       : unit.contains(QString::number(code)));
    const QString parity = parityName(code);
    FUZZ_CHECK(code < parityNames.size() ? parity == QLatin1String(parityNames[code])
                                         : parity.contains(QString::number(code)));
    const quint32 rate = baudRateForCode(code);
    FUZZ_CHECK(std::find(baudRates.begin(), baudRates.end(), rate) != baudRates.end());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    const int code = qint8(in.byte());
    const quint16 value = in.word();
    const float number = in.float32();
    const int maxChars = in.byte() % 32;
    const quint32 pair = in.dword();
    const QByteArray bytes = in.rest();
    const QString text = QString::fromUtf8(bytes);

    checkTextBlock(bytes, text);
    checkCustomValue(code, value, text);
    checkNumbers(text, pair);
    checkShownFloat(number, maxChars);
    checkTables(value);
    return 0;
}
