#include "sensormodel.h"

#include <algorithm>
#include <cmath>

namespace {

// Mid-range bow of the pressure sensor, as a fraction of its span.
constexpr double PressureBow = 0.001;

// Callendar-Van Dusen, IEC 60751.
double pt100Ohm(double t)
{
    constexpr double A = 3.9083e-3, B = -5.775e-7, C = -4.183e-12;
    t = std::min(t, 850.0);
    const double r = 100.0 * (1.0 + A * t + B * t * t);
    return t >= 0.0 ? r : r + 100.0 * C * (t - 100.0) * t * t * t;
}

} // namespace

SensorModel::SensorModel() : generator(1u) {}

void SensorModel::seed(quint32 value)
{
    generator.seed(value);
}

void SensorModel::apply(Channel channel, double value)
{
    applied[channel] = true;
    target[channel] = value;
}

void SensorModel::release(Channel channel)
{
    applied[channel] = false;
}

void SensorModel::update(qint64 nowMs, double pressureMPa, double temperatureCelsius)
{
    const double follow[Channels] = {pressureMPa, temperatureCelsius};
    for (int c = 0; c < Channels; ++c) {
        if (!applied[c])
            target[c] = follow[c];
    }
    // A clock that went back (a test replaced it) restarts the step there.
    const qint64 elapsed = started ? std::max<qint64>(0, nowMs - lastMs) : 0;
    // 99 % of a step after settleMs: a time constant of settleMs / ln 100.
    const double tau = settings.settleMs / std::log(100.0);
    const double reach = !started || tau <= 0.0 ? 1.0 : 1.0 - std::exp(-double(elapsed) / tau);
    const double spans[Channels] = {PressureSpanMPa, TemperatureSpanCelsius};
    for (int c = 0; c < Channels; ++c) {
        lagged[c] += (target[c] - lagged[c]) * reach;
        sensedValue[c] = lagged[c] + settings.noise * spans[c] * noiseSample();
    }
    lastMs = nowMs;
    started = true;
}

double SensorModel::adc(Channel channel) const
{
    const double counts = channel == Pressure ? pressureAdc(sensedValue[channel])
                                              : temperatureAdc(sensedValue[channel]);
    return std::isfinite(counts) ? std::clamp(counts, -AdcFullScale, AdcFullScale) : 0.0;
}

double SensorModel::pressureAdc(double megapascal)
{
    const double u = megapascal / PressureSpanMPa;
    return AdcAtSpan * (u + 4.0 * PressureBow * u * (1.0 - u));
}

double SensorModel::temperatureAdc(double celsius)
{
    const double r0 = pt100Ohm(0.0);
    return AdcAtSpan * (pt100Ohm(celsius) - r0) / (pt100Ohm(TemperatureSpanCelsius) - r0);
}

double SensorModel::noiseSample()
{
    // mt19937's sequence is fixed by the standard, unlike the distributions.
    return double(generator() >> 8) / double(1u << 23) - 1.0;
}
