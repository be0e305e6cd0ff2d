#pragma once

// Text forms of the register fields, as the pages show and collect them.
// Pure functions: no widgets, no mirror, no locks.

#include <QString>
#include <QtGlobal>

namespace field {

constexpr int TextRegisters = 50;
constexpr int TextBytes = 2 * TextRegisters;

// Source codes of the custom register rows that carry a value of their own.
constexpr int CustomDecimal = 23;
constexpr int CustomHex = 24;
constexpr int CustomChars = 25;

// 'g' with 6 significant digits: 1.5, 100, 1e+06.
QString formatFloat(float value);
// Text that is not a number gives 0.
float parseFloat(const QString &text);
// Unsigned decimal, 0 if not a number or above 4294967295.
quint32 parseUint32(const QString &text);
// Ten digits with leading zeros, the whole unsigned range.
QString formatMeterNumber(quint32 number);

// Value of a custom row in the form its source code asks for; false when the
// row's source has no value of its own (nothing to show).
bool customValueText(int sourceCode, quint16 value, QString *text);
// Reads a custom row's value text; false when the source has no value of its
// own, and the register keeps what it holds. A number row whose text is no
// whole number 0..65535 leaves *value as it was and clears *valid.
bool collectCustomValue(int sourceCode, const QString &text, quint16 *value, bool *valid = nullptr);

// A whole number in the base, within min..max: digits only, the whole text
// (surrounding blanks aside), nothing cut to fit.
bool parseWhole(const QString &text, quint32 min, quint32 max, quint32 *value, int base = 10);

// The 50-register text: UTF-8, at most 100 bytes, the earlier byte in the high
// half of each register, zero-filled. A text longer than that is cut before
// the first character that does not fit whole.
void encodeTextBlock(const QString &text, quint16 regs[TextRegisters]);
// Bytes up to the first zero (or all 100), decoded as UTF-8.
QString decodeTextBlock(const quint16 regs[TextRegisters]);

} // namespace field
