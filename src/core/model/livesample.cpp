#include "model/livesample.h"

#include "model/codetables.h"
#include "model/timestamp.h"

namespace {

// The decimals registers hold 0..4; a garbled value must not ask for thousands
// of digits.
constexpr int maxDecimals = 20;

QString fixed(float value, quint16 decimals, bool known)
{
    if (!known)
        return QString::number(double(value), 'g', 6);
    return QString::asprintf("%.*f", qMin<int>(decimals, maxDecimals), double(value));
}

constexpr RegisterBlock unitSettings{Reg::pressureDecimals, 4};

} // namespace

LiveSample LiveSample::fromMirror(const RegisterMirror &mirror, const QDateTime &time)
{
    LiveSample s;
    s.time = time;
    s.pressure = mirror.float32(Reg::pressureValue);
    s.pressureDecimals = mirror.confirmedAt(Reg::pressureDecimals);
    s.pressureUnit = mirror.confirmedAt(Reg::pressureUnit);
    s.temperature = mirror.float32(Reg::temperatureValue);
    s.temperatureDecimals = mirror.confirmedAt(Reg::temperatureDecimals);
    s.temperatureUnit = mirror.confirmedAt(Reg::temperatureUnit);
    for (int reg = unitSettings.first; reg <= unitSettings.last(); ++reg)
        s.unitsKnown = s.unitsKnown && mirror.isConfirmed(reg);
    s.batteryCentivolts = mirror.at(Reg::batteryVoltage);
    s.batteryPercent = mirror.at(Reg::batteryLevel);
    return s;
}

QString LiveSample::csvHeader()
{
    return QStringLiteral(
        "time,pressure,pressure_unit,temperature,temperature_unit,battery_v,battery_percent");
}

QString LiveSample::pressureText() const
{
    return fixed(pressure, pressureDecimals, unitsKnown);
}

QString LiveSample::temperatureText() const
{
    return fixed(temperature, temperatureDecimals, unitsKnown);
}

QString LiveSample::pressureUnitText() const
{
    return unitsKnown ? unitName(pressureUnit) : QString();
}

QString LiveSample::temperatureUnitText() const
{
    return unitsKnown ? unitName(temperatureUnit) : QString();
}

QString LiveSample::batteryVoltsText() const
{
    return QString::asprintf("%.02f", batteryCentivolts / 100.0);
}

QString LiveSample::csvRow() const
{
    return QStringList{rfc3339Utc(time),
                       pressureText(),
                       pressureUnitText(),
                       temperatureText(),
                       temperatureUnitText(),
                       batteryVoltsText(),
                       QString::number(batteryPercent)}
        .join(QLatin1Char(','));
}
