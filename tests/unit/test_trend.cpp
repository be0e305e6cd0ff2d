// The trend's statistics and segments, and the CSV recorder, without widgets.

#include "model/codetables.h"
#include "model/livesample.h"
#include "model/registermirror.h"
#include "trend/csvrecorder.h"
#include "trend/trendbuffer.h"

#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <cmath>

class TestTrend : public QObject
{
    Q_OBJECT

private slots:
    void statisticsOverTheSpan()
    {
        TrendBuffer b(5);
        const float p[] = {9.0f, 1.0f, 2.0f, 3.0f, 4.0f, 6.0f};
        for (int i = 0; i < 6; ++i)
            b.add(i, p[i], 1, 20.0f + i, 11); // capacity drops the 9
        QCOMPARE(b.size(), 5);

        TrendBuffer::Stats s = b.stats(TrendBuffer::Pressure, 0, 4.5);
        QCOMPARE(s.count, 4);
        QCOMPARE(s.last, 4.0);
        QCOMPARE(s.minimum, 1.0);
        QCOMPARE(s.maximum, 4.0);
        QCOMPARE(s.mean, 2.5);
        QVERIFY(std::fabs(s.stdDev - std::sqrt(5.0 / 3.0)) < 1e-12); // (2.25+.25+.25+2.25)/3
        s = b.stats(TrendBuffer::Pressure, 2, 5);
        QCOMPARE(s.count, 4);
        QCOMPARE(s.mean, 3.75);
        QVERIFY(std::fabs(s.stdDev - std::sqrt(8.75 / 3.0)) < 1e-12);
        s = b.stats(TrendBuffer::Temperature, 5, 5);
        QCOMPARE(s.count, 1);
        QCOMPARE(s.stdDev, 0.0);
        QCOMPARE(s.unit, quint16(11));
        QCOMPARE(b.stats(TrendBuffer::Pressure, 10, 20).count, 0);
    }

    void unitChangeStartsASegment()
    {
        TrendBuffer b;
        const quint16 units[] = {1, 1, 2, 2, 1, 1};
        for (int i = 0; i < 6; ++i)
            b.add(i, float(i * 10), units[i], 25.0f, 11);

        const auto segs = b.segments(TrendBuffer::Pressure, 0, 5);
        QCOMPARE(segs.size(), 2); // the newest unit only, with a gap where the other was
        QCOMPARE(segs[0].times, (QVector<double>{0, 1}));
        QCOMPARE(segs[1].values, (QVector<double>{40, 50}));
        const auto stats = b.stats(TrendBuffer::Pressure, 0, 5);
        QCOMPARE(stats.count, 4);
        QCOMPARE(stats.mean, 25.0);
        // Within a span that ends in the other unit, that unit rules.
        QCOMPARE(b.stats(TrendBuffer::Pressure, 0, 3).unit, quint16(2));
        QCOMPARE(b.stats(TrendBuffer::Pressure, 0, 3).count, 2);
        QCOMPARE(b.segments(TrendBuffer::Temperature, 0, 5).size(), 1);
    }

    void recordsHeaderAndRows()
    {
        RegisterMirror m;
        m.setFloat32(Reg::pressureValue, 12.3456f);
        m.set(Reg::pressureUnit, 1);
        m.set(Reg::pressureDecimals, 2);
        m.setFloat32(Reg::temperatureValue, -5.04f);
        m.set(Reg::temperatureUnit, 11);
        m.set(Reg::temperatureDecimals, 1);
        m.set(Reg::batteryVoltage, 361);
        m.set(Reg::batteryLevel, 87);
        m.storeRead(Blocks::userParamBlock, m.data() + Blocks::userParamBlock.first);
        // Taken in UTC+8, written in UTC.
        const QDateTime t(QDate(2026, 1, 2), QTime(11, 4, 5, 6), Qt::OffsetFromUTC, 8 * 3600);

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("live.csv"));
        CsvRecorder rec;
        QVERIFY(rec.start(path));
        rec.append(LiveSample::fromMirror(m, t));
        m.storeRead({Reg::pressureDecimals, 1}, std::array<quint16, 1>{0}.data());
        rec.append(LiveSample::fromMirror(m, t.addMSecs(100)));
        // Flushed within a second while still recording.
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(path).size() > 100, 3000);
        rec.stop();

        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
        QCOMPARE(lines, (QStringList{QStringLiteral("time,pressure,pressure_unit,temperature,"
                                                    "temperature_unit,battery_v,battery_percent"),
                                     QStringLiteral("2026-01-02T03:04:05.006Z,12.35,KPa,-5.0,") +
                                         unitName(11) + QStringLiteral(",3.61,87"),
                                     QStringLiteral("2026-01-02T03:04:05.106Z,12,KPa,-5.0,") +
                                         unitName(11) + QStringLiteral(",3.61,87"),
                                     QString()}));
        QCOMPARE(rec.rowsWritten(), 2);
    }

    void writeErrorStopsRecording()
    {
        CsvRecorder rec;
        QVERIFY(!rec.start(QStringLiteral("/nonexistent-dir/live.csv")));
        QVERIFY(!rec.errorString().isEmpty());

        // A full disk: the write fails when the buffer reaches the device.
        QVERIFY(rec.start(QStringLiteral("/dev/full")));
        QSignalSpy failed(&rec, &CsvRecorder::failed);
        QVERIFY(failed.isValid());
        rec.append(LiveSample{});
        QVERIFY(failed.wait(3000));
        QVERIFY(!rec.isRecording());
        QVERIFY(!failed.first().first().toString().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestTrend)
#include "test_trend.moc"
