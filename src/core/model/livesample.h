#pragma once

// One reading of the live values as the poll left them in the mirror, and its
// CSV form. The command-line program and the trend window record the same file.

#include "model/registermirror.h"

#include <QDateTime>
#include <QString>
#include <QtGlobal>

struct LiveSample
{
    QDateTime time;
    float pressure = 0;
    quint16 pressureDecimals = 0;
    quint16 pressureUnit = 0;
    float temperature = 0;
    quint16 temperatureDecimals = 0;
    quint16 temperatureUnit = 0;
    quint16 batteryCentivolts = 0;
    quint16 batteryPercent = 0;

    static LiveSample fromMirror(const RegisterMirror &mirror, const QDateTime &time);

    static QString csvHeader();
    // Numbers with the decimals the instrument's own display uses.
    QString csvRow() const;
    QString pressureText() const;
    QString temperatureText() const;
    QString batteryVoltsText() const;
};
