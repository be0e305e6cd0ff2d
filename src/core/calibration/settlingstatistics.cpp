#include "calibration/settlingstatistics.h"

#include <algorithm>
#include <cmath>

namespace {

qint64 toWindowMs(double seconds)
{
    const double ms = std::round(seconds * 1000.0);
    return std::isfinite(ms) && ms >= 1.0 ? qint64(std::min(ms, 1e15)) : 1;
}

// A band that is no positive number settles nothing, and cannot empty the stable run.
double toBand(double band)
{
    return std::isfinite(band) && band > 0.0 ? band : 0.0;
}

} // namespace

void SettlingStatistics::Extremes::push(qint64 seq, double value)
{
    while (!low.empty() && low.back().value >= value)
        low.pop_back();
    low.push_back({seq, value});
    while (!high.empty() && high.back().value <= value)
        high.pop_back();
    high.push_back({seq, value});
}

void SettlingStatistics::Extremes::dropBefore(qint64 seq)
{
    while (!low.empty() && low.front().seq < seq)
        low.pop_front();
    while (!high.empty() && high.front().seq < seq)
        high.pop_front();
}

double SettlingStatistics::Extremes::spread() const
{
    return low.empty() ? qQNaN() : high.front().value - low.front().value;
}

void SettlingStatistics::Extremes::clear()
{
    low.clear();
    high.clear();
}

SettlingStatistics::SettlingStatistics(double windowSeconds, double band)
    : windowMs(toWindowMs(windowSeconds)), bandWidth(toBand(band))
{
}

void SettlingStatistics::setWindow(double seconds)
{
    windowMs = toWindowMs(seconds);
    if (window.empty())
        return;
    const qint64 newest = window.back().tMs;
    while (window.front().tMs < newest - windowMs)
        dropOldest();
}

void SettlingStatistics::setBand(double band)
{
    bandWidth = toBand(band);
    // A wider band may make older samples part of the stable run again.
    stableExtremes.clear();
    if (window.empty())
        return;
    stableStartSeq = window.front().seq;
    for (const Sample &s : window)
        stableExtremes.push(s.seq, s.value);
    while (stableExtremes.spread() > bandWidth) {
        ++stableStartSeq;
        stableExtremes.dropBefore(stableStartSeq);
    }
}

void SettlingStatistics::reset()
{
    window.clear();
    windowExtremes.clear();
    stableExtremes.clear();
    sumT = sumTT = sumV = sumVV = sumTV = sumSecondary = 0.0;
    secondaryN = 0;
    addsSinceRebase = 0;
}

void SettlingStatistics::add(qint64 tMs, double value, double secondary)
{
    if (!std::isfinite(value))
        return;
    if (window.empty()) { // the newest sample always stays, so only reset() empties it
        firstMs = tMs;
        stableStartSeq = nextSeq;
        originMs = tMs;
        originValue = value;
    } else {
        tMs = std::max(tMs, window.back().tMs);
    }
    const Sample s{nextSeq++, tMs, value, std::isfinite(secondary) ? secondary : qQNaN()};
    window.push_back(s);
    accumulate(s, 1);
    windowExtremes.push(s.seq, value);
    stableExtremes.push(s.seq, value);
    while (stableExtremes.spread() > bandWidth) {
        ++stableStartSeq;
        stableExtremes.dropBefore(stableStartSeq);
    }

    while (window.front().tMs < tMs - windowMs)
        dropOldest();
    if (++addsSinceRebase > std::max(256, 2 * count()))
        rebase();
}

void SettlingStatistics::dropOldest()
{
    const Sample s = window.front();
    window.pop_front();
    accumulate(s, -1);
    windowExtremes.dropBefore(s.seq + 1);
    if (stableStartSeq <= s.seq) {
        stableStartSeq = s.seq + 1;
        stableExtremes.dropBefore(stableStartSeq);
    }
}

void SettlingStatistics::rebase()
{
    addsSinceRebase = 0;
    if (window.empty())
        return;
    originMs = window.front().tMs;
    originValue = window.front().value;
    sumT = sumTT = sumV = sumVV = sumTV = sumSecondary = 0.0;
    secondaryN = 0;
    for (const Sample &s : window)
        accumulate(s, 1);
}

void SettlingStatistics::accumulate(const Sample &s, int sign)
{
    const double t = double(s.tMs - originMs) / 1000.0;
    const double v = s.value - originValue;
    sumT += sign * t;
    sumTT += sign * t * t;
    sumV += sign * v;
    sumVV += sign * v * v;
    sumTV += sign * t * v;
    if (std::isfinite(s.secondary)) {
        sumSecondary += sign * s.secondary;
        secondaryN += sign;
    }
}

double SettlingStatistics::mean() const
{
    return window.empty() ? qQNaN() : originValue + sumV / count();
}

double SettlingStatistics::standardDeviation() const
{
    const int n = count();
    if (n < 2)
        return qQNaN();
    const double squares = sumVV - sumV * sumV / n;
    return std::sqrt(std::max(0.0, squares / (n - 1)));
}

double SettlingStatistics::peakToPeak() const
{
    return windowExtremes.spread();
}

double SettlingStatistics::slope() const
{
    const int n = count();
    const double d = n * sumTT - sumT * sumT;
    // Equal times leave d at zero give or take rounding.
    if (n < 2 || !(d > 1e-12 * n * sumTT))
        return qQNaN();
    return (n * sumTV - sumT * sumV) / d;
}

double SettlingStatistics::secondaryMean() const
{
    return secondaryN > 0 ? sumSecondary / secondaryN : qQNaN();
}

bool SettlingStatistics::coversWindow() const
{
    return !window.empty() && window.back().tMs - firstMs >= windowMs;
}

bool SettlingStatistics::isSettled() const
{
    return count() >= MinSamples && coversWindow() && peakToPeak() <= bandWidth &&
           std::fabs(slope()) * windowSeconds() < bandWidth / 2.0;
}

int SettlingStatistics::stablePercent() const
{
    if (isSettled())
        return 100;
    if (window.empty())
        return 0;
    const qint64 start = window.at(size_t(stableStartSeq - window.front().seq)).tMs;
    const qint64 stableMs = window.back().tMs - std::max(start, firstMs);
    return int(std::min<qint64>(99, stableMs * 100 / windowMs));
}

QVector<TimedValue> SettlingStatistics::samples() const
{
    QVector<TimedValue> out;
    out.reserve(count());
    for (const Sample &s : window)
        out.append({s.tMs, s.value});
    return out;
}
