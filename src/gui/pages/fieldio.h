#pragma once

// Shows float fields and collects them back through the page memory: an
// untouched field gives back the exact value it was shown from, an edited one
// must hold a finite number, or the collect names it as invalid.

#include "model/pagestate.h"

#include <QString>

class QLineEdit;

class FieldIO
{
public:
    // invalid receives the caption of the first field that did not parse.
    FieldIO(ShownValues &shown, QString &invalid) : shown(shown), invalid(invalid) {}

    // Shown in as few characters as the edit's length limit requires.
    void showFloat(QLineEdit *edit, float value);
    // The field's value; current (left as it is) when the text is not a number.
    float collectFloat(const QLineEdit *edit, float current, const QString &caption);

private:
    ShownValues &shown;
    QString &invalid;
};
