#pragma once

// Whether one channel's reading has settled, judged on the samples of the last
// window seconds: settled when the peak-to-peak stays within the band and the
// least-squares slope moves the reading by less than half the band over the
// window. Fewer than MinSamples samples, or less than a window of time since
// the first sample after reset(), is never settled.
//
// Each add() costs amortised O(1): running sums over the window's samples,
// monotonic queues for the extremes. A second quantity may ride along with
// each sample (the raw ADC reading) and is averaged over the same window.
// Times are milliseconds on any clock that does not go back; values are in
// the reading's unit, as is the band.

#include "calibration/timedvalue.h"

#include <QVector>
#include <QtGlobal>

#include <deque>

class SettlingStatistics
{
public:
    static constexpr int MinSamples = 5;

    // A window of less than a millisecond counts as one millisecond; a band
    // that is not a positive number never settles.
    SettlingStatistics(double windowSeconds, double band);

    // New settings apply to the samples already held; a shorter window drops
    // the older ones at once (a longer one cannot bring them back).
    void setWindow(double seconds);
    void setBand(double band);
    double windowSeconds() const { return windowMs / 1000.0; }
    double band() const { return bandWidth; }

    // Forgets every sample: the wait starts anew (a new point, a lost link).
    void reset();
    // A sample at tMs; a time before the newest is taken as the newest. A
    // value that is not finite is ignored. secondary is NaN when there is none.
    void add(qint64 tMs, double value, double secondary = qQNaN());

    // Of the samples in the window. With no sample every statistic is NaN;
    // the standard deviation (n - 1 in the divisor) needs two, the slope
    // (reading units per second) two at different times.
    int count() const { return int(window.size()); }
    double mean() const;
    double standardDeviation() const;
    double peakToPeak() const;
    double slope() const;
    // Mean of the secondary quantity over the window's samples that carry
    // one; NaN when none does.
    double secondaryMean() const;
    int secondaryCount() const { return secondaryN; }

    bool isSettled() const;
    // How much of the window the reading has already stayed within the band,
    // 0..100; 100 only once settled.
    int stablePercent() const;

    // The window's samples, oldest first: the evidence kept with a point.
    QVector<TimedValue> samples() const;

private:
    struct Sample
    {
        qint64 seq;
        qint64 tMs;
        double value;
        double secondary;
    };
    struct Extreme
    {
        qint64 seq;
        double value;
    };
    // Sliding minimum and maximum over a run of samples whose start only moves on.
    struct Extremes
    {
        std::deque<Extreme> low;
        std::deque<Extreme> high;
        void push(qint64 seq, double value);
        void dropBefore(qint64 seq);
        double spread() const;
        void clear();
    };

    void dropOldest();
    void rebase();
    void accumulate(const Sample &s,
                    int sign); // sign 1 adds the sample to the sums, -1 takes it out
    bool coversWindow() const;

    qint64 windowMs;
    double bandWidth;

    std::deque<Sample> window;
    Extremes windowExtremes;
    // The longest run of the newest samples (within the window) whose spread
    // stays within the band, for stablePercent().
    Extremes stableExtremes;
    qint64 stableStartSeq = 0;

    qint64 nextSeq = 0;
    qint64 firstMs = 0; // first sample since reset()
    // Sums over the window, of times (seconds) and values taken from an origin
    // so that large clocks and offsets lose no precision; refreshed from the
    // samples now and then so rounding cannot build up.
    qint64 originMs = 0;
    double originValue = 0.0;
    double sumT = 0.0;
    double sumTT = 0.0;
    double sumV = 0.0;
    double sumVV = 0.0;
    double sumTV = 0.0;
    double sumSecondary = 0.0;
    int secondaryN = 0;
    int addsSinceRebase = 0;
};
