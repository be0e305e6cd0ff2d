#include "trend/trendbuffer.h"

#include <algorithm>
#include <cmath>

void TrendBuffer::add(double time, float pressure, quint16 pressureUnit, float temperature,
                      quint16 temperatureUnit)
{
    samples.push_back(Sample{time, {pressure, temperature}, {pressureUnit, temperatureUnit}});
    while (int(samples.size()) > capacity)
        samples.pop_front();
}

std::deque<TrendBuffer::Sample>::const_iterator TrendBuffer::firstAtOrAfter(double time) const
{
    return std::lower_bound(samples.cbegin(), samples.cend(), time,
                            [](const Sample &s, double t) { return s.time < t; });
}

TrendBuffer::Stats TrendBuffer::stats(Channel channel, double from, double to) const
{
    Stats st;
    auto begin = firstAtOrAfter(from);
    auto end = std::upper_bound(begin, samples.cend(), to,
                                [](double t, const Sample &s) { return t < s.time; });
    if (begin == end)
        return st;
    st.unit = (end - 1)->unit[channel];
    // Welford's update: one pass, no cancellation over an hour of close values.
    double mean = 0;
    double m2 = 0;
    for (auto it = begin; it != end; ++it) {
        if (it->unit[channel] != st.unit)
            continue;
        const double v = double(it->value[channel]);
        if (!std::isfinite(v))
            continue;
        if (st.count == 0)
            st.minimum = st.maximum = v;
        st.minimum = std::min(st.minimum, v);
        st.maximum = std::max(st.maximum, v);
        ++st.count;
        const double delta = v - mean;
        mean += delta / st.count;
        m2 += delta * (v - mean);
        st.last = v;
    }
    st.mean = mean;
    st.stdDev = st.count > 1 ? std::sqrt(m2 / (st.count - 1)) : 0.0;
    return st;
}

QVector<TrendBuffer::Segment> TrendBuffer::segments(Channel channel, double from, double to) const
{
    QVector<Segment> out;
    auto begin = firstAtOrAfter(from);
    auto end = std::upper_bound(begin, samples.cend(), to,
                                [](double t, const Sample &s) { return t < s.time; });
    if (begin == end)
        return out;
    const quint16 unit = (end - 1)->unit[channel];
    bool open = false;
    for (auto it = begin; it != end; ++it) {
        if (it->unit[channel] != unit) {
            open = false;
            continue;
        }
        if (!open) {
            out.append(Segment{unit, {}, {}});
            open = true;
        }
        out.last().times.append(it->time);
        out.last().values.append(double(it->value[channel]));
    }
    return out;
}
