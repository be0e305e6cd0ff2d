// The guided calibration without widgets: the points of a page, the three
// phases with their errors and verdicts as kept in the records, a lost link,
// another meter, a reading still at the previous point, a dropped write.

#include "calibration/calibrationrun.h"
#include "calibration/calibrationstore.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using Phase = CalibrationPhase;
using State = CalibrationRun::State;

class TestCalibrationRun : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    qint64 t = 0;
    static constexpr quint32 Meter = 1911140001;

    QString db() const { return dir.filePath(QString::fromLatin1(QTest::currentTestFunction())); }
    // A 0..100 KPa range whose standard values are in MPa, two points.
    static CalibrationPlan plan()
    {
        CalibrationPlan p;
        p.page = {CalibrationChannel::Pressure, 0.0f, 100.0f, 1, 2, {1.0f, 9.8f}, 2, {}};
        p.nominals = {0, 100};
        p.windowSeconds = 1;
        p.meter = Meter;
        return p;
    }
    // A steady reading until the run leaves the point; false if it never does.
    bool hold(CalibrationRun &run, double reading, double raw = 0)
    {
        const int point = run.point();
        for (int i = 0; i < 50; ++i) {
            run.addSample(t += 100, reading, raw);
            if (run.point() != point || run.state() != State::Measuring)
                return true;
        }
        return false;
    }
    bool phase(CalibrationRun &run, Phase p, const QVector<double> &readings)
    {
        if (!run.start(p, t))
            return false;
        for (double reading : readings) {
            if (!hold(run, reading, reading * 1000))
                return false;
        }
        return true;
    }

private slots:
    void nominalPoints_data()
    {
        QTest::addColumn<QVector<float>>("standard");
        QTest::addColumn<uint>("standardUnit");
        QTest::addColumn<QVector<double>>("nominals");
        QTest::newRow("the page's values, in the range's unit")
            << QVector<float>{0.02f, 0.07f, 0} << 2u << QVector<double>{20, 70};
        QTest::newRow("not distinct: the range divided")
            << QVector<float>{0, 0, 0} << 2u << QVector<double>{0, 100};
        QTest::newRow("no conversion") << QVector<float>{0, 1} << 11u << QVector<double>{};
    }
    void nominalPoints()
    {
        QFETCH(QVector<float>, standard);
        QFETCH(uint, standardUnit);
        QFETCH(QVector<double>, nominals);
        ChannelPage page = plan().page;
        page.standard = standard;
        page.standardUnit = standardUnit;
        QVector<double> out;
        QCOMPARE(::nominalPoints(page, &out) == PlanError::None, !nominals.isEmpty());
        QCOMPARE(out, nominals);
    }
    // The display's resolution as the certificate's uncertainty takes it.
    void decimalsInTheRangeUnit_data()
    {
        QTest::addColumn<int>("decimals");
        QTest::addColumn<uint>("displayUnit");
        QTest::addColumn<uint>("rangeUnit");
        QTest::addColumn<int>("expected");
        QTest::newRow("same unit") << 3 << 2u << 2u << 3;
        QTest::newRow("0.01 psi is 6.9e-5 MPa") << 2 << 6u << 2u << 4;
        QTest::newRow("0.1 F is 0.056 C, the offset apart") << 1 << 12u << 11u << 1;
        QTest::newRow("no conversion") << 2 << 6u << 11u << -1;
    }
    void decimalsInTheRangeUnit()
    {
        QFETCH(int, decimals);
        QFETCH(uint, displayUnit);
        QFETCH(uint, rangeUnit);
        QFETCH(int, expected);
        QCOMPARE(decimalsInUnit(decimals, displayUnit, rangeUnit, {}), expected);
    }

    void threePhasesKeptAsTaken()
    {
        qRegisterMetaType<QVector<double>>();
        CalibrationRun run;
        QSignalSpy adjustment(&run, &CalibrationRun::adjustmentReady);
        QVERIFY(run.open(plan(), db()));
        // 0.5 KPa off at the top: 0.5 % of the span, outside 0.25 %.
        QVERIFY(phase(run, Phase::AsFound, {0.1, 100.5}));
        QCOMPARE(run.result(Phase::AsFound, 1)->errorPctSpan, 0.5);
        QCOMPARE(run.record().asFoundPass, std::optional<bool>(false));
        QVERIFY(!run.canStart(Phase::AsLeft));

        QVERIFY(phase(run, Phase::Adjust, {0.1, 100.5}));
        QCOMPARE(run.state(), State::Writing);
        // References go out in the standard unit, with the mean raw readings.
        QCOMPARE(adjustment.at(0).at(0).value<QVector<double>>(),
                 (QVector<double>{0, double(0.1f)}));
        QCOMPARE(adjustment.at(0).at(1).value<QVector<double>>(), (QVector<double>{100, 100500}));
        run.workerReply(QStringLiteral("fac save succeed")); // not the save of this write
        QCOMPARE(run.state(), State::Writing);
        run.workerReply(QStringLiteral("write pressure param succeed"));
        run.workerReply(QStringLiteral("fac save succeed"));
        QCOMPARE(run.state(), State::Ready);

        QVERIFY(phase(run, Phase::AsLeft, {0.1, 99.8}));
        QCOMPARE(run.record().asLeftPass, std::optional<bool>(true));

        CalibrationStore store(db());
        CalibrationRecord kept;
        QVERIFY(store.open(CalibrationStore::Access::ReadOnly));
        QVERIFY(store.loadCalibration(run.record().id, &kept));
        QCOMPARE(kept.points.size(), 6);
        QVERIFY(kept.points.last().window.size() >= SettlingStatistics::MinSamples);
        QCOMPARE(kept.asFoundPass, std::optional<bool>(false));
        QCOMPARE(kept.adjusted, std::optional<bool>(true));
        QCOMPARE(kept.asLeftPass, std::optional<bool>(true));
        QVERIFY(kept.finishedAt.isValid());
    }

    void lostLinkPausesAnotherMeterAborts()
    {
        CalibrationRun run;
        QSignalSpy aborted(&run, &CalibrationRun::aborted);
        QVERIFY(run.open(plan(), db()));
        QVERIFY(phase(run, Phase::AsFound, {0}));
        run.meterAnswering(std::nullopt, t);
        QCOMPARE(run.state(), State::Paused);
        for (int i = 0; i < 30; ++i)
            run.addSample(t += 100, 100, 0);
        QVERIFY(!run.result(Phase::AsFound, 1));
        run.meterAnswering(Meter, t);
        QCOMPARE(run.state(), State::Measuring);
        QCOMPARE(run.point(), 1);

        run.meterAnswering(Meter + 1, t);
        QCOMPARE(run.state(), State::Closed);
        QCOMPARE(aborted.size(), 1);
        CalibrationStore store(db());
        CalibrationRecord kept;
        QVERIFY(store.open(CalibrationStore::Access::ReadOnly));
        QVERIFY(store.loadCalibration(run.record().id, &kept));
        QCOMPARE(kept.points.size(), 1);
        QVERIFY(!kept.asFoundPass && kept.finishedAt.isValid());
    }

    void readingStillAtThePreviousPoint()
    {
        CalibrationRun run;
        QVERIFY(run.open(plan(), db()));
        QVERIFY(phase(run, Phase::AsFound, {0}));
        QVERIFY(!hold(run, 0.2));
        QVERIFY(run.isHeldOff());
        QVERIFY(run.takeNow(t));
        QVERIFY(run.result(Phase::AsFound, 1)->manual);
    }

    void droppedWriteIsNoAdjustment()
    {
        CalibrationRun run;
        QVERIFY(run.open(plan(), db()));
        QVERIFY(phase(run, Phase::Adjust, {0, 100}));
        run.workerReply(QStringLiteral("writes dropped:write clr,write pressure param"));
        QCOMPARE(run.record().adjusted, std::optional<bool>(false));
        QVERIFY(!run.canStart(Phase::AsLeft));
        QVERIFY(run.canStart(Phase::Adjust));
    }
};

QTEST_GUILESS_MAIN(TestCalibrationRun)
#include "test_calibrationrun.moc"
