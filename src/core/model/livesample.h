#pragma once

// One reading of the live values as the poll left them in the mirror, and its
// CSV form. The command-line program and the trend window record the same file.

#include "model/registermirror.h"

#include <QDateTime>
#include <QString>
#include <QtGlobal>

struct LiveSample
{
    // Trend samples whose unit is not known.
    static constexpr quint16 NoUnit = 0xFFFF;

    QDateTime time;
    float pressure = 0;
    quint16 pressureDecimals = 0;
    quint16 pressureUnit = 0;
    float temperature = 0;
    quint16 temperatureDecimals = 0;
    quint16 temperatureUnit = 0;
    quint16 batteryCentivolts = 0;
    quint16 batteryPercent = 0;
    // Units and decimals as the instrument reported them; until it has, the
    // values are shown without fixed decimals and without a unit.
    bool unitsKnown = true;

    // The measurements of the last poll; units and decimals only as confirmed.
    static LiveSample fromMirror(const RegisterMirror &mirror, const QDateTime &time);

    static QString csvHeader();
    // Numbers with the decimals the instrument's own display uses.
    QString csvRow() const;
    QString pressureText() const;
    QString temperatureText() const;
    // The unit's name, empty while not known.
    QString pressureUnitText() const;
    QString temperatureUnitText() const;
    // The unit code a trend files the sample under: NoUnit while not known.
    quint16 pressureTrendUnit() const { return unitsKnown ? pressureUnit : NoUnit; }
    quint16 temperatureTrendUnit() const { return unitsKnown ? temperatureUnit : NoUnit; }
    QString batteryVoltsText() const;
};
