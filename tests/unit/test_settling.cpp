// The settling rule of the calibration wizard and the window statistics it shows.

#include "calibration/settlingstatistics.h"

#include <QRandomGenerator>
#include <QVector>
#include <QtTest>

#include <algorithm>
#include <cmath>

class TestSettling : public QObject
{
    Q_OBJECT

private slots:
    // Samples 100 ms apart; the expectation has one character a sample:
    // 'S' settled after it, '.' not.
    void rule_data()
    {
        QTest::addColumn<QVector<double>>("values");
        QTest::addColumn<double>("windowSeconds");
        QTest::addColumn<QString>("expected");
        const auto repeat = [](int n, double v) { return QVector<double>(n, v); };
        const auto alternate = [](int n, double a) {
            QVector<double> v;
            for (int i = 0; i < n; ++i)
                v << (i % 2 ? -a : a);
            return v;
        };
        const auto ramp = [](int n, double step) {
            QVector<double> v;
            for (int i = 0; i < n; ++i)
                v << i * step;
            return v;
        };
        QTest::newRow("steady, from a whole window on")
            << repeat(13, 1.0) << 1.0 << QStringLiteral("..........SSS");
        QTest::newRow("too few samples in a short window")
            << repeat(12, 1.0) << 0.2 << QStringLiteral("............");
        QTest::newRow("step") << repeat(5, 0.0) + repeat(13, 1.0) << 1.0
                              << QStringLiteral("...............SSS");
        QTest::newRow("ramp within the band, moving too fast")
            << ramp(25, 0.004) << 1.0 << QString(25, '.');
        QTest::newRow("slow ramp") << ramp(13, 0.001) << 1.0 << QStringLiteral("..........SSS");
        QTest::newRow("noise within the band")
            << alternate(13, 0.02) << 1.0 << QStringLiteral("..........SSS");
        QTest::newRow("noise beyond the band") << alternate(20, 0.03) << 1.0 << QString(20, '.');
        QTest::newRow("an outlier holds it for a window")
            << repeat(15, 1.0) + QVector<double>{1.5} + repeat(13, 1.0) << 1.0
            << QStringLiteral("..........SSSSS...........SSS");
    }

    void rule()
    {
        QFETCH(QVector<double>, values);
        QFETCH(double, windowSeconds);
        QFETCH(QString, expected);
        SettlingStatistics stats(windowSeconds, 0.05);
        QString seen;
        for (int i = 0; i < values.size(); ++i) {
            stats.add(1000 + 100 * i, values.at(i));
            seen += stats.isSettled() ? 'S' : '.';
            QCOMPARE(stats.stablePercent() == 100, stats.isSettled());
        }
        QCOMPARE(seen, expected);
        stats.reset();
        QCOMPARE(stats.count(), 0);
        QVERIFY(!stats.isSettled());
    }

    // Exact figures, then the window slides on past samples without the
    // second quantity.
    void statistics()
    {
        SettlingStatistics stats(10.0, 1.0);
        for (int i = 0; i < 5; ++i)
            stats.add(1000 * i, 1 + i, 10.0 * (i + 1));
        QCOMPARE(stats.mean(), 3.0);
        QVERIFY(qFuzzyCompare(stats.standardDeviation(), std::sqrt(2.5)));
        QVERIFY(qFuzzyCompare(stats.slope(), 1.0));
        QCOMPARE(stats.secondaryMean(), 30.0);
        stats.add(12000, 7); // keeps 2 s .. 12 s
        QCOMPARE(stats.samples().first().tMs, qint64(2000));
        QCOMPARE(stats.peakToPeak(), 4.0);
        QCOMPARE(stats.secondaryMean(), 40.0);
    }

    // Hours of samples at uneven intervals on the epoch clock: the running
    // figures still agree with the window they describe.
    void runningSumsMatchTheWindow()
    {
        SettlingStatistics stats(3.0, 0.5);
        QRandomGenerator random(7);
        qint64 t = 1700000000000;
        for (int i = 0; i < 100000; ++i) {
            t += random.bounded(50, 150);
            stats.add(t, 1e5 + std::sin(i / 500.0) + random.generateDouble() * 0.01);
        }
        const QVector<TimedValue> window = stats.samples();
        QVERIFY(window.first().tMs >= t - 3000 && window.last().tMs == t);
        const int n = window.size();
        double sumT = 0, sumV = 0, sumTT = 0, sumTV = 0, sumVV = 0, low = 1e9, high = -1e9;
        for (const TimedValue &s : window) {
            const double dt = (s.tMs - t) / 1000.0, v = s.value - 1e5;
            sumT += dt, sumV += v, sumTT += dt * dt, sumTV += dt * v, sumVV += v * v;
            low = std::min(low, s.value), high = std::max(high, s.value);
        }
        QVERIFY(std::fabs(stats.mean() - 1e5 - sumV / n) < 1e-9);
        QVERIFY(std::fabs(stats.standardDeviation() -
                          std::sqrt((sumVV - sumV * sumV / n) / (n - 1))) < 1e-7);
        QVERIFY(std::fabs(stats.slope() - (n * sumTV - sumT * sumV) / (n * sumTT - sumT * sumT)) <
                1e-6);
        QCOMPARE(stats.peakToPeak(), high - low);
    }
};

QTEST_GUILESS_MAIN(TestSettling)
#include "test_settling.moc"
