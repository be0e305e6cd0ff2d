#pragma once

// The two sensors of the virtual instrument and their ADC. Each senses what
// is applied to it (set from outside, in MPa and degrees Celsius) and reaches
// it with a first-order lag; bounded noise rides on what it senses. Where
// nothing is applied the channel follows a value its owner moves (the
// instrument's slow drift). The raw ADC reading follows a fixed curve of the
// sensed value:
//
//  - pressure: 0..1.6 MPa gives 0..100000 counts, bowed by 0.1 % of that
//    span at mid-range, so a straight-line calibration through the ends
//    leaves up to 0.1 % of span between them;
//  - temperature: a PT100 measured by its resistance: counts proportional to
//    R(t) - R(0 degrees C), R of the IEC 60751 equation, 100000 counts at
//    100 degrees C; a straight line through 0 and 100 degrees C is 0.37
//    degrees off at 50, a quadratic through 0, 50 and 100 within 0.003.
//
// Readings saturate at the ADC's full scale, +-131071 counts. Time is the
// caller's milliseconds; the noise comes from a seeded generator, so a run is
// reproducible.

#include <QtGlobal>

#include <random>

class SensorModel
{
public:
    enum Channel
    {
        Pressure,
        Temperature
    };
    static constexpr int Channels = 2;

    static constexpr double PressureSpanMPa = 1.6;
    static constexpr double TemperatureSpanCelsius = 100.0;
    static constexpr double AdcAtSpan = 100000.0;
    static constexpr double AdcFullScale = 131071.0;

    struct Settings
    {
        // A step of the applied value is 99 % reached after this long.
        int settleMs = 1500;
        // Noise amplitude as a fraction of the span (1.6 MPa, 100 degrees C):
        // each sensed value lies within +- this of the lagged one.
        double noise = 0.0002;
    };

    SensorModel();

    Settings settings;
    void seed(quint32 value);

    void apply(Channel channel, double value);
    // Back to following the owner's value.
    void release(Channel channel);
    bool isApplied(Channel channel) const { return applied[channel]; }
    double appliedValue(Channel channel) const { return target[channel]; }

    // Advances both channels to nowMs towards what is applied to them, or the
    // given values where nothing is. The first call starts them there.
    void update(qint64 nowMs, double pressureMPa, double temperatureCelsius);
    // What the sensor senses now (lagged, with noise), in MPa or degrees C.
    double sensed(Channel channel) const { return sensedValue[channel]; }
    double adc(Channel channel) const;

    // The fixed curves, without saturation.
    static double pressureAdc(double megapascal);
    static double temperatureAdc(double celsius);

private:
    double noiseSample(); // -1 .. 1

    bool applied[Channels] = {false, false};
    double target[Channels] = {0.0, 0.0};
    double lagged[Channels] = {0.0, 0.0};
    double sensedValue[Channels] = {0.0, 0.0};
    qint64 lastMs = 0;
    bool started = false;
    std::mt19937 generator;
};
