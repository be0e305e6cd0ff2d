#pragma once

// One poll's live values as the instrument displays them, and their CSV form.
// The trend window's recorder and the command-line program write the same rows.

#include <QDateTime>
#include <QString>
#include <QtGlobal>

class RegisterMirror;

struct LiveSample
{
    QDateTime time;
    float pressure = 0;
    quint16 pressureUnit = 0;
    quint16 pressureDecimals = 0;
    float temperature = 0;
    quint16 temperatureUnit = 0;
    quint16 temperatureDecimals = 0;
    quint16 batteryCentivolts = 0;
    quint16 batteryPercent = 0;

    // The caller holds the mirror lock.
    static LiveSample fromMirror(const RegisterMirror &mirror, const QDateTime &time);
    static QString csvHeader();
    // Time as ISO 8601 with milliseconds, values with the display's decimals,
    // no line end.
    QString csvRow() const;
};
