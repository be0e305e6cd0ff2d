// The traffic monitor and the trend against the virtual instrument over a pty:
// a silent instrument lands in its rows and counter, the saved CSV holds the
// rows, the trend follows a unit change and records what the instrument reported.

#include "e2eharness.h"
#include "instrumentthread.h"
#include "model/codetables.h"
#include "monitor/trafficmonitor.h"
#include "shell/windowfont.h"
#include "traffic/trafficlog.h"
#include "trend/trendwindow.h"
#include "virtualinstrument.h"

#include <QTemporaryDir>
#include <QtTest>

#include <memory>

class TestMonitorWindows : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        inst = std::make_unique<InstrumentThread>(QList<quint8>{1});
        QVERIFY(inst->start());
        closer = std::make_unique<DialogCloser>();
        // The program's own face (main.cpp), under which the window once grew taller.
        windowfont::install();
        w = std::make_unique<MainWindow>();
        w->show();
        QVERIFY(connectWindow(*w, inst->portPath(), 1));
    }

    void cleanupTestCase()
    {
        w.reset();
        inst.reset();
    }

    void windowKeepsTheFormSize() { QCOMPARE(w->size(), QSize(795, 646)); }

    void titleButtonsOpenOneWindowEach()
    {
        click(*w, "pushButton_monitor");
        click(*w, "pushButton_trend");
        click(*w, "pushButton_monitor");
        QCOMPARE(w->findChildren<TrafficMonitor *>().size(), 1);
        QCOMPARE(w->findChildren<TrendWindow *>().size(), 1);
        monitor = w->findChild<TrafficMonitor *>(QStringLiteral("trafficMonitor"));
        trend = w->findChild<TrendWindow *>(QStringLiteral("trendWindow"));
        QVERIFY(monitor && monitor->isVisible() && monitor->isWindow());
        QVERIFY(trend && trend->isVisible() && trend->isWindow());
        // The poll reaches the monitor as request and good reply.
        QTRY_VERIFY(hasRow(QStringLiteral("ok")));
    }

    // The decoder's cases are its own test's; here a silent instrument shows as
    // timeouts in the window's rows and counter.
    void silenceLandsInRowsAndCounter()
    {
        QVERIFY(monitor);
        TrafficLog *log = monitor->log();
        log->clear();
        log->resetCounters();
        inst->bus().with(1, [](VirtualInstrument &i) { i.faults.silent = true; });
        QTRY_VERIFY_WITH_TIMEOUT(log->counters().timeouts >= 2, 10000);
        QTRY_VERIFY(hasRow(QStringLiteral("timeout")));
        inst->bus().with(1, [](VirtualInstrument &i) { i.faults = VirtualInstrument::Faults(); });
        const quint64 good = log->counters().goodReplies;
        QTRY_VERIFY_WITH_TIMEOUT(log->counters().goodReplies > good + 2, 10000);
        closer->clear();
    }

    void trendFollowsUnitsAndRecords()
    {
        QVERIFY(trend);
        const QString path = dir.filePath(QStringLiteral("live.csv"));
        trend->setFileNameProvider([path] { return path; });
        auto *record = find<QPushButton>(*trend, "pushButton_record");
        record->click();
        QTRY_VERIFY(trend->recorder().rowsWritten() >= 3);

        const double t0 = trend->samples().lastTime();
        // The unit is a setting: the poll sees a new one once the settings are read.
        inst->bus().with(1, [](VirtualInstrument &i) { i.setReg(Reg::pressureUnit, 5); });
        click(*w, "pushButton_duqushezhi");
        QTRY_COMPARE(trend->samples().stats(TrendBuffer::Pressure, t0 - 60, t0 + 60).unit,
                     quint16(5));
        const double t1 = trend->samples().lastTime();
        QVERIFY(trend->samples().segments(TrendBuffer::Pressure, t0 - 60, t1).size() == 1);
        trend->redraw();
        QVERIFY(find<QLabel>(*trend, "label_pressureStats")->text().contains(unitName(5)));

        record->click();
        const QStringList lines = fileLines(path);
        QCOMPARE(lines.size() - 1, trend->recorder().rowsWritten());
        QVERIFY(lines.last().split(',').at(2) == unitName(5));
    }

    // The monitor's rows saved, or the failure said.
    void monitorSavesTheRows()
    {
        QVERIFY(monitor);
        const QString path = dir.filePath(QStringLiteral("traffic.csv"));
        monitor->setFileNameProvider([path] { return path; });
        monitor->log()->setPaused(true); // the rows stay put while the file is compared
        click(*monitor, "pushButton_monitorSave");
        QCOMPARE(fileLines(path).size(), monitor->log()->rowCount() + 1);
        monitor->log()->setPaused(false);
        closer->clear();
        const QString missing = QStringLiteral("/nonexistent-kv3pd/traffic.csv");
        monitor->setFileNameProvider([missing] { return missing; });
        click(*monitor, "pushButton_monitorSave");
        QCOMPARE(closer->texts().size(), 1);
        QVERIFY(closer->texts().first().contains(missing));
    }

    void unwritableRecordingIsReported()
    {
        QVERIFY(trend);
        // A full disk: the rows never reach it, whether the recording finds out
        // at its next flush or when stopped.
        closer->clear();
        trend->setFileNameProvider([] { return QStringLiteral("/dev/full"); });
        auto *record = find<QPushButton>(*trend, "pushButton_record");
        record->click();
        QTRY_VERIFY(trend->recorder().rowsWritten() >= 1 || !record->isChecked());
        if (record->isChecked())
            record->click();
        QTRY_COMPARE(closer->texts().size(), 1);
        QVERIFY(closer->texts().first().contains(QLatin1String("/dev/full")));
        QVERIFY(!find<QLabel>(*trend, "label_recordState")
                     ->text()
                     .startsWith(QStringLiteral("已记录")));
    }

    void windowsCloseWithTheMainWindow()
    {
        QVERIFY(monitor && trend);
        // The README's pictures: KV3PD_SCREENSHOTS=docs ctest -R test_monitorwindows
        const QString shots = qEnvironmentVariable("KV3PD_SCREENSHOTS");
        if (!shots.isEmpty()) {
            trend->redraw();
            QVERIFY(monitor->grab().save(shots + QStringLiteral("/monitor.png")));
            QVERIFY(trend->grab().save(shots + QStringLiteral("/trend.png")));
        }
        w->close();
        QVERIFY(!monitor->isVisible());
        QVERIFY(!trend->isVisible());
    }

private:
    static QStringList fileLines(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly)
                   ? QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts)
                   : QStringList();
    }

    bool hasRow(const QString &status) const
    {
        const TrafficLog *log = monitor->log();
        for (int r = log->rowCount() - 1; r >= 0; --r) {
            if (log->eventAt(r).statusText().startsWith(status))
                return true;
        }
        return false;
    }

    std::unique_ptr<InstrumentThread> inst;
    std::unique_ptr<MainWindow> w;
    std::unique_ptr<DialogCloser> closer;
    TrafficMonitor *monitor = nullptr;
    TrendWindow *trend = nullptr;
    QTemporaryDir dir;
};

QTEST_MAIN(TestMonitorWindows)
#include "test_monitorwindows.moc"
