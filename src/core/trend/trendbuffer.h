#pragma once

// The trend's samples: pressure and temperature with the unit each was
// reported in, kept for a bounded time, and the statistics over a span. A
// unit change starts a new segment; values of different units never meet in
// one line or one statistic. No widgets.

#include <QVector>
#include <QtGlobal>

#include <deque>

class TrendBuffer
{
public:
    // More than an hour at the 10 Hz poll.
    static constexpr int DefaultCapacity = 40000;

    enum Channel
    {
        Pressure,
        Temperature
    };

    struct Stats
    {
        int count = 0;
        double last = 0;
        double minimum = 0;
        double maximum = 0;
        double mean = 0;
        double stdDev = 0; // sample standard deviation; 0 below two samples
        quint16 unit = 0;
    };

    // One line to draw: consecutive samples of one unit. Times in seconds.
    struct Segment
    {
        quint16 unit = 0;
        QVector<double> times;
        QVector<double> values;
    };

    explicit TrendBuffer(int capacity = DefaultCapacity) : capacity(capacity) {}

    // Samples arrive in time order (seconds, any origin).
    void add(double time, float pressure, quint16 pressureUnit, float temperature,
             quint16 temperatureUnit);
    void clear() { samples.clear(); }
    int size() const { return int(samples.size()); }
    double lastTime() const { return samples.empty() ? 0.0 : samples.back().time; }

    // Over the samples in [from, to] that carry the newest unit in that span.
    Stats stats(Channel channel, double from, double to) const;
    // Segments of the newest unit in [from, to], oldest first.
    QVector<Segment> segments(Channel channel, double from, double to) const;

private:
    struct Sample
    {
        double time;
        float value[2];
        quint16 unit[2];
    };
    std::deque<Sample>::const_iterator firstAtOrAfter(double time) const;

    std::deque<Sample> samples;
    int capacity;
};
