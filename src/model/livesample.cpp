#include "livesample.h"

#include "codetables.h"
#include "registermirror.h"

#include <QStringList>

#include <cmath>

namespace {

// As the measurement page: a garbled decimals register must not ask for
// thousands of digits.
constexpr int maxDecimals = 20;

QString fixed(float value, quint16 decimals)
{
    if (!std::isfinite(value))
        return QString::number(double(value));
    return QString::number(double(value), 'f', qMin<int>(decimals, maxDecimals));
}

// A unit name never holds a comma today; quote it anyway should one appear.
QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

LiveSample LiveSample::fromMirror(const RegisterMirror &mirror, const QDateTime &time)
{
    LiveSample s;
    s.time = time;
    s.pressure = mirror.float32(Reg::pressureValue);
    s.pressureUnit = mirror.at(Reg::pressureUnit);
    s.pressureDecimals = mirror.at(Reg::pressureDecimals);
    s.temperature = mirror.float32(Reg::temperatureValue);
    s.temperatureUnit = mirror.at(Reg::temperatureUnit);
    s.temperatureDecimals = mirror.at(Reg::temperatureDecimals);
    s.batteryCentivolts = mirror.at(Reg::batteryVoltage);
    s.batteryPercent = mirror.at(Reg::batteryLevel);
    return s;
}

QString LiveSample::csvHeader()
{
    return QStringLiteral(
        "time,pressure,pressure_unit,temperature,temperature_unit,battery_v,battery_percent");
}

QString LiveSample::csvRow() const
{
    return QStringList{
        time.toString(Qt::ISODateWithMs),    fixed(pressure, pressureDecimals),
        csvField(unitName(pressureUnit)),    fixed(temperature, temperatureDecimals),
        csvField(unitName(temperatureUnit)), QString::number(batteryCentivolts / 100.0, 'f', 2),
        QString::number(batteryPercent)}
        .join(QLatin1Char(','));
}
