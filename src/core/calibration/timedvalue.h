#pragma once

#include <QtGlobal>

// One reading at a moment: milliseconds on the caller's clock and the value.
struct TimedValue
{
    qint64 tMs = 0;
    double value = 0.0;
};
Q_DECLARE_TYPEINFO(TimedValue, Q_PRIMITIVE_TYPE);
