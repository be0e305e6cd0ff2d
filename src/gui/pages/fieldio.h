#pragma once

// Shows register fields in their widgets and collects them back through the
// page memory: an untouched field gives back the exact value it was shown
// from; an edited one must hold a number its register takes, or the collect
// names it as invalid and leaves the register as it was.

#include "model/pagestate.h"
#include "model/registermirror.h"

#include <QString>
#include <QtGlobal>

class QComboBox;
class QLineEdit;

class FieldIO
{
public:
    // How a combo box's items stand for codes: the item's index (plus an
    // offset: the temperature units begin at 11), or the number it reads
    // (ADC rate, ADC gain, points).
    enum class Codes
    {
        ByIndex,
        ByNumber,
    };

    // invalid receives the caption of the first field that did not parse.
    FieldIO(ShownValues &shown, QString &invalid) : shown(shown), invalid(invalid) {}

    // Shown in as few characters as the edit's length limit requires.
    void showFloat(QLineEdit *edit, float value);
    // The field's value; current (left as it is) when the text is not a number.
    float collectFloat(const QLineEdit *edit, float current, const QString &caption);

    // Whole numbers in decimal, zero-padded to `digits` (the meter number).
    void showWhole(QLineEdit *edit, quint32 value, int digits = 0);
    // Into the field that begins at reg, one register or two as the field
    // table has it: a whole number min..max, max 0 meaning all the registers
    // hold. They stay as they were when the text is no such number, and the
    // field's caption is the one named as invalid.
    void collectWhole(RegisterMirror &m, int reg, const QLineEdit *edit, quint32 min = 0,
                      quint32 max = 0);
    // The caption of the field that begins at reg, as the window shows it.
    static QString caption(int reg);

    // A code no item stands for shows no item when the items are names, and
    // as an extra item of its own number when they are numbers; either way it
    // is collected back unchanged.
    static void showCode(QComboBox *combo, quint32 code, Codes codes, int offset = 0);
    static quint32 collectCode(const QComboBox *combo, quint32 current, Codes codes,
                               int offset = 0);
    static void collectCode(RegisterMirror &m, int reg, const QComboBox *combo, Codes codes,
                            int offset = 0);

private:
    void refuse(const QString &caption);

    ShownValues &shown;
    QString &invalid;
};
