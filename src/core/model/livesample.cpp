#include "model/livesample.h"

#include "model/codetables.h"
#include "model/timestamp.h"

namespace {

// The decimals registers hold 0..4; a garbled value must not ask for thousands
// of digits.
constexpr int maxDecimals = 20;

QString fixed(float value, quint16 decimals)
{
    return QString::asprintf("%.*f", qMin<int>(decimals, maxDecimals), double(value));
}

} // namespace

LiveSample LiveSample::fromMirror(const RegisterMirror &mirror, const QDateTime &time)
{
    LiveSample s;
    s.time = time;
    s.pressure = mirror.float32(Reg::pressureValue);
    s.pressureDecimals = mirror.at(Reg::pressureDecimals);
    s.pressureUnit = mirror.at(Reg::pressureUnit);
    s.temperature = mirror.float32(Reg::temperatureValue);
    s.temperatureDecimals = mirror.at(Reg::temperatureDecimals);
    s.temperatureUnit = mirror.at(Reg::temperatureUnit);
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
    return fixed(pressure, pressureDecimals);
}

QString LiveSample::temperatureText() const
{
    return fixed(temperature, temperatureDecimals);
}

QString LiveSample::batteryVoltsText() const
{
    return QString::asprintf("%.02f", batteryCentivolts / 100.0);
}

QString LiveSample::csvRow() const
{
    return QStringList{rfc3339Utc(time),
                       pressureText(),
                       unitName(pressureUnit),
                       temperatureText(),
                       unitName(temperatureUnit),
                       batteryVoltsText(),
                       QString::number(batteryPercent)}
        .join(QLatin1Char(','));
}
