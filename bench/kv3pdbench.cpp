// kv3pd-bench: the tool against the wire and against Qt SerialBus's Modbus RTU
// master, with the virtual instrument paced at the line's baud rate. Prints one
// Markdown table; scripts/bench runs it and records the result.

#include "benchsupport.h"
#include "modbus/kzmodbus.h"
#include "shell/mainwindow.h"
#include "trend/trendwindow.h"
#include "windowrig.h"
#include "worker/modbusthread.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QGuiApplication>
#include <QModbusReply>
#include <QModbusRtuSerialMaster>
#include <QPushButton>
#include <QTimer>

#include <cmath>
#include <cstdio>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#endif

namespace {

constexpr int FastBaud = 38400;

// One line of the table.
struct Row
{
    QString figure;
    QString measured;
    QString reference;
    QString ratio;
    QString goal;
    QString verdict;
};

QVector<Row> table;
bool quick = false;

QString number(double value, int decimals = 1)
{
    return QString::number(value, 'f', decimals);
}

void add(const QString &figure, const QString &measured, const QString &reference = {},
         const QString &ratio = {}, const QString &goal = {}, const QString &verdict = {})
{
    table.append({figure, measured, reference, ratio, goal, verdict});
    std::fprintf(stderr, "  %s: %s %s %s\n", qPrintable(figure), qPrintable(measured),
                 qPrintable(reference), qPrintable(ratio));
}

QString verdict(bool met)
{
    return met ? QStringLiteral("met") : QStringLiteral("**missed**");
}

void progress(const char *what)
{
    std::fprintf(stderr, "kv3pd-bench: %s\n", what);
}

// Under `valgrind --tool=callgrind --instr-atstart=no` only the steady poll is
// counted; elsewhere these do nothing.
void profiledBegin()
{
#ifdef CALLGRIND_START_INSTRUMENTATION
    CALLGRIND_ZERO_STATS;
    CALLGRIND_START_INSTRUMENTATION;
#endif
}

void profiledEnd()
{
#ifdef CALLGRIND_STOP_INSTRUMENTATION
    CALLGRIND_STOP_INSTRUMENTATION;
    CALLGRIND_DUMP_STATS_AT("steady poll");
#endif
}

double readAllBoundMs(int baud)
{
    double bound = 0;
    for (int n : chunks(319))
        bound += readBoundMs(n, baud);
    return bound;
}

double writeAllBoundMs(int baud)
{
    double bound = 0;
    for (int n : chunks(277))
        bound += writeBoundMs(n, baud);
    // The pause before the save, the save command and the first wait read.
    return bound + 100 + singleWriteBoundMs(baud) + readBoundMs(1, baud);
}

// Read all and write all at three baud rates, through the window.
void wire()
{
    for (int baud : {1200, 9600, FastBaud}) {
        progress(qPrintable(QStringLiteral("read all and write all at %1 baud").arg(baud)));
        SimProcess sim({QStringLiteral("--paced"), QStringLiteral("--baud"), QString::number(baud),
                        QStringLiteral("1")});
        WindowRig rig;
        if (!sim.start() || !rig.connectTo(sim.port(), baud)) {
            add(QStringLiteral("read all at %1 baud").arg(baud), QStringLiteral("no link"));
            continue;
        }
        const int runs = quick ? 1 : (baud == 1200 ? 2 : 3);
        QVector<double> reads;
        QVector<double> writes;
        for (int i = 0; i < runs; ++i) {
            reads.append(rig.timeCommand("pushButton_duququanbushuju",
                                         QStringLiteral("read all succeed"), 30000));
            writes.append(rig.timeCommand("pushButton_xieruquanbushuju",
                                          QStringLiteral("fac save succeed"), 30000));
        }
        rig.disconnect();
        const auto report = [&](const char *what, const QVector<double> &times, double bound) {
            const double median = percentile(times, 50);
            const double ratio = median / bound;
            add(QStringLiteral("%1 at %2 baud (ms, median of %3)").arg(what).arg(baud).arg(runs),
                number(median), number(bound), number(ratio, 3), QStringLiteral("≤ 1.05"),
                verdict(median > 0 && ratio <= 1.05));
        };
        report("read all", reads, readAllBoundMs(baud));
        report("write all", writes, writeAllBoundMs(baud));
    }
}

// What a stretch of polling cost: the process and each of its threads, and
// the intervals between the polls the window saw.
struct PollRun
{
    double wallMs = 0;
    double cpu = 0; // % of a core
    QMap<int, ThreadUsage> threadsBefore, threadsAfter;
    QVector<double> intervals;
};

PollRun pollFor(WindowRig &rig, int ms)
{
    PollRun run;
    const int from = rig.replies.size();
    const double cpuBefore = processCpuMs();
    run.threadsBefore = threadUsage();
    const qint64 start = nowNs();
    profiledBegin();
    idleFor(ms);
    profiledEnd();
    run.wallMs = msBetween(start, nowNs());
    run.cpu = (processCpuMs() - cpuBefore) / run.wallMs * 100;
    run.threadsAfter = threadUsage();
    qint64 last = 0;
    for (int i = from; i < rig.replies.size(); ++i) {
        if (rig.replies[i].text != QLatin1String("read measured succeed"))
            continue;
        if (last)
            run.intervals.append(msBetween(last, rig.replies[i].ns));
        last = rig.replies[i].ns;
    }
    if (qEnvironmentVariableIsSet("KV3PD_BENCH_TRACE")) {
        for (int i = from; i < rig.replies.size(); ++i)
            std::fprintf(stderr, "%9.1f %s\n", msBetween(rig.replies[from].ns, rig.replies[i].ns),
                         qPrintable(rig.replies[i].text));
    }
    return run;
}

// The CPU rows, named after the platform the window draws on.
void addCpuRows(const PollRun &run)
{
    const QString platform = QGuiApplication::platformName();
    add(QStringLiteral("CPU while connected and polling, %1 (% of a core)").arg(platform),
        number(run.cpu, 2), {}, {}, QStringLiteral("≤ 0.5"), verdict(run.cpu <= 0.5));
    // Where it goes: the window's thread, the worker and the rest; per poll,
    // the CPU time and how often each thread was woken.
    const int polls = run.intervals.size() + 1;
    QStringList shares, perPoll;
    for (auto it = run.threadsAfter.begin(); it != run.threadsAfter.end(); ++it) {
        const ThreadUsage before = run.threadsBefore.value(it.key());
        const double ms = it->cpuMs - before.cpuMs;
        if (ms / run.wallMs * 100 < 0.01)
            continue;
        shares << QStringLiteral("%1 %2").arg(it->name, number(ms / run.wallMs * 100, 2));
        perPoll << QStringLiteral("%1 %2 µs, %3")
                       .arg(it->name, number(ms * 1000 / polls, 0),
                            number(double(it->wakeUps - before.wakeUps) / polls, 1));
    }
    add(QStringLiteral("CPU while polling by thread, %1 (% of a core)").arg(platform),
        shares.join(QStringLiteral(", ")));
    add(QStringLiteral("per poll by thread, %1: CPU, wake-ups (%2 polls)").arg(platform).arg(polls),
        perPoll.join(QStringLiteral("; ")));
}

// The window connected at 38400 baud, its status text aged out (it keeps the
// window's tick running); false when there is no link.
bool connectPolling(std::unique_ptr<SimProcess> &sim, WindowRig &rig)
{
    sim = std::make_unique<SimProcess>(QStringList{QStringLiteral("--paced"),
                                                   QStringLiteral("--baud"),
                                                   QString::number(FastBaud), QStringLiteral("1")});
    if (!sim->start() || !rig.connectTo(sim->port(), FastBaud))
        return false;
    idleFor(6000);
    return true;
}

// Only the CPU while polling; scripts/bench runs it again under Xvfb.
void cpuOnly()
{
    progress(qPrintable(QStringLiteral("CPU while polling at 38400 baud, %1")
                            .arg(QGuiApplication::platformName())));
    std::unique_ptr<SimProcess> sim;
    WindowRig rig;
    if (!connectPolling(sim, rig)) {
        add(QStringLiteral("CPU while polling"), QStringLiteral("no link"));
        return;
    }
    addCpuRows(pollFor(rig, quick ? 10000 : 60000));
    rig.disconnect();
}

// The poll over a minute, the window's CPU and memory meanwhile, then the
// window's stalls over another minute of polling and during ten read alls;
// last the idle window.
void pollAndWindow()
{
    progress("poll, CPU and memory at 38400 baud");
    std::unique_ptr<SimProcess> sim;
    WindowRig rig;
    if (!connectPolling(sim, rig)) {
        add(QStringLiteral("poll"), QStringLiteral("no link"));
        return;
    }
    const int pollMs = quick ? 10000 : 60000;
    const PollRun run = pollFor(rig, pollMs);
    const QVector<double> &intervals = run.intervals;
    double mean = 0;
    for (double interval : intervals)
        mean += interval;
    mean = intervals.isEmpty() ? 0 : mean / intervals.size();
    const double rate = mean > 0 ? 1000 / mean : 0;
    add(QStringLiteral("poll rate over %1 s (Hz)").arg(pollMs / 1000), number(rate, 3),
        QStringLiteral("10"), number(rate / 10, 3), QStringLiteral("≥ 0.99"),
        verdict(rate / 10 >= 0.99));
    add(QStringLiteral("poll interval p50 / p99 / max (ms)"),
        QStringLiteral("%1 / %2 / %3")
            .arg(number(percentile(intervals, 50)), number(percentile(intervals, 99)),
                 number(maximum(intervals))),
        QStringLiteral("100"));
    addCpuRows(run);
    add(QStringLiteral("resident memory while polling (MiB)"), number(residentKiB() / 1024.0));

    progress("window stalls");
    // Only while the stalls are measured: its 2 ms wake-ups would count as the idle window's CPU.
    auto machine = std::make_unique<MachineProbe>();
    StallProbe probe;
    probe.start();
    const qint64 stallStart = nowNs();
    idleFor(pollMs);
    const QVector<double> pollStalls = probe.stalls(stallStart, nowNs());
    const StallProbe::Stall longestPollStall = probe.longest(stallStart, nowNs());
    QVector<double> readStalls;
    for (int i = 0; i < (quick ? 2 : 10); ++i) {
        const int at = rig.replies.size();
        const qint64 clickNs = nowNs();
        rig.click("pushButton_duququanbushuju");
        rig.waitFor(QStringLiteral("read all succeed"), at, 30000);
        // Until the window has shown what was read.
        waitUntil([] { return false; }, 50);
        readStalls += probe.stalls(clickNs, nowNs());
    }
    probe.stop();
    const auto stallRow = [](const QString &what, const QVector<double> &stalls) {
        const double p99 = percentile(stalls, 99);
        const double max = maximum(stalls);
        add(QStringLiteral("window stall %1, p99 / max (ms)").arg(what),
            QStringLiteral("%1 / %2").arg(number(p99, 2), number(max, 2)), {}, {},
            QStringLiteral("≤ 5"), verdict(max <= 5));
    };
    stallRow(QStringLiteral("over %1 s of polling").arg(pollMs / 1000), pollStalls);
    add(QStringLiteral("longest window stall while polling: what the thread did; a bare "
                       "thread's lateness meanwhile"),
        QStringLiteral("%1; %2 ms")
            .arg(StallProbe::describe(longestPollStall))
            .arg(number(machine->worstMs(longestPollStall.fromNs, longestPollStall.toNs), 2)));
    add(QStringLiteral("a bare thread's 2 ms wait, latest over the stall measurements (ms)"),
        number(machine->worstMs(stallStart, nowNs()), 2));
    machine.reset();
    stallRow(QStringLiteral("during %1 read alls").arg(quick ? 2 : 10), readStalls);

    progress("idle and disconnected");
    rig.disconnect();
    sim.reset();
    idleFor(6000);
    const double idleCpuBefore = processCpuMs();
    const qint64 idleStart = nowNs();
    idleFor(quick ? 5000 : 20000);
    const double idleCpu = (processCpuMs() - idleCpuBefore) / msBetween(idleStart, nowNs()) * 100;
    add(QStringLiteral("CPU idle and disconnected (% of a core)"), number(idleCpu, 2));
    add(QStringLiteral("resident memory idle (MiB)"), number(residentKiB() / 1024.0));
}

// The traffic monitor open while polling, as its goal is stated; then the
// trend alone as it is after an hour at 10 Hz: its buffer filled with 36 000
// samples and the span set to an hour, so every redraw draws them all.
void monitorAndTrend()
{
    progress("monitor, then trend, open while polling at 38400 baud");
    auto sim = std::make_unique<SimProcess>(
        QStringList{QStringLiteral("--paced"), QStringLiteral("--baud"), QString::number(FastBaud),
                    QStringLiteral("1")});
    WindowRig rig;
    if (!sim->start() || !rig.connectTo(sim->port(), FastBaud)) {
        add(QStringLiteral("monitor and trend"), QStringLiteral("no link"));
        return;
    }
    rig.click("pushButton_monitor");
    idleFor(6000);

    const auto stallsFor = [&rig](int ms, bool readAll) {
        StallProbe probe;
        probe.start();
        const qint64 from = nowNs();
        if (readAll) {
            const int at = rig.replies.size();
            rig.click("pushButton_duququanbushuju");
            rig.waitFor(QStringLiteral("read all succeed"), at, 30000);
        }
        idleFor(ms);
        probe.stop();
        return probe.stalls(from, nowNs());
    };
    const auto cpuFor = [](int ms) {
        const double before = processCpuMs();
        const qint64 start = nowNs();
        idleFor(ms);
        return (processCpuMs() - before) / msBetween(start, nowNs()) * 100;
    };
    const auto stallRow = [](const QString &what, const QVector<double> &stalls) {
        const double max = maximum(stalls);
        add(QStringLiteral("window stall %1, p99 / max (ms)").arg(what),
            QStringLiteral("%1 / %2").arg(number(percentile(stalls, 99), 2), number(max, 2)), {},
            {}, QStringLiteral("≤ 5"), verdict(max <= 5));
    };
    const int pollMs = quick ? 10000 : 30000;
    add(QStringLiteral("CPU while polling, monitor open (% of a core)"), number(cpuFor(pollMs), 2));
    stallRow(QStringLiteral("while polling, monitor open"), stallsFor(quick ? 3000 : 10000, false));
    stallRow(QStringLiteral("during read all, monitor open"), stallsFor(500, true));

    if (auto *monitor = rig.window.findChild<QWidget *>(QStringLiteral("trafficMonitor")))
        monitor->close();
    rig.click("pushButton_trend");
    auto *trend = rig.window.findChild<TrendWindow *>(QStringLiteral("trendWindow"));
    if (!trend) {
        add(QStringLiteral("trend"), QStringLiteral("no trend window"));
        return;
    }
    // An hour of samples, 0.1 s apart, ending now.
    TrendBuffer &buffer = trend->history();
    buffer.clear();
    const double end = QDateTime::currentMSecsSinceEpoch() / 1000.0;
    for (int i = 0; i < 36000; ++i) {
        const double t = end - 3600 + i * 0.1;
        buffer.add(t, float(100 + std::sin(t / 30)), 0, float(20 + std::cos(t / 60)), 0);
    }
    if (auto *span = trend->findChild<QComboBox *>())
        span->setCurrentIndex(span->count() - 1);
    QVector<double> redraws;
    for (int i = 0; i < (quick ? 5 : 20); ++i) {
        const qint64 start = nowNs();
        trend->redraw();
        redraws.append(msBetween(start, nowNs()));
    }
    add(QStringLiteral("trend redraw with an hour of samples, p50 / max (ms)"),
        QStringLiteral("%1 / %2").arg(number(percentile(redraws, 50), 2),
                                      number(maximum(redraws), 2)),
        {}, {}, QStringLiteral("≤ 16"), verdict(maximum(redraws) <= 16));
    const double hourCpu = cpuFor(pollMs);
    add(QStringLiteral("CPU while polling, trend alone holding an hour (% of a core)"),
        number(hourCpu, 2), {}, {}, QStringLiteral("< 5"), verdict(hourCpu < 5));
    add(QStringLiteral("resident memory, trend holding an hour (MiB)"),
        number(residentKiB() / 1024.0));
    rig.disconnect();
}

// One transaction seen from both ends: the call, the request read at the
// instrument's end of the line, its reply's last byte written there, the return.
struct Transaction
{
    qint64 call, request, replyEnd, done;
};

struct Overhead
{
    QVector<double> send;    // call to request on the line, less the prescribed pause
    QVector<double> receive; // reply's last byte to return
    QVector<double> total;
};

Overhead overheadOf(const QVector<Transaction> &transactions, double pauseMs)
{
    Overhead out;
    for (const Transaction &t : transactions) {
        if (t.done <= 0 || t.replyEnd < t.request)
            continue;
        const double send = msBetween(t.call, t.request) - pauseMs;
        const double receive = msBetween(t.replyEnd, t.done);
        out.send.append(send);
        out.receive.append(receive);
        out.total.append(send + receive);
    }
    return out;
}

QVector<Transaction> kzModbusTransactions(RunnerThread &line, int baud, int count)
{
    QVector<Transaction> out;
    MasterLine master;
    if (!master.open(line.port(), baud))
        return out;
    master.master().setResponseTimeout(500);
    master.master().setAttemptCount(1);
    master.inThread([&] {
        for (int i = 0; i < count; ++i) {
            Transaction t{nowNs(), 0, 0, 0};
            const bool ok = master.master().readRegisters(0, 2) == ResultOk;
            t.done = nowNs();
            // The instrument's end notes the reply's last byte just after writing it.
            const qint64 deadline = nowNs() + 5'000'000;
            while (line.lastReplyEndNs() < t.call && nowNs() < deadline)
                QThread::yieldCurrentThread();
            t.request = line.lastRequestNs();
            t.replyEnd = line.lastReplyEndNs();
            if (ok)
                out.append(t);
        }
    });
    master.close();
    return out;
}

// Qt SerialBus knows no 0x33; its replies carry a byte count like the standard read.
int readReplySize(const QModbusResponse &response)
{
    return response.data().isEmpty() ? -1 : 1 + quint8(response.data().at(0));
}

// Qt SerialBus's RTU master taught the instrument's read: it takes the values
// out of the reply as it does for its own register reads.
class PeerMaster : public QModbusRtuSerialMaster
{
protected:
    bool processPrivateResponse(const QModbusResponse &response, QModbusDataUnit *data) override
    {
        const QByteArray bytes = response.data();
        if (response.functionCode() != QModbusPdu::FunctionCode(kzModbus::FuncRead) ||
            bytes.isEmpty() || bytes.size() != 1 + quint8(bytes.at(0)))
            return QModbusRtuSerialMaster::processPrivateResponse(response, data);
        QVector<quint16> values;
        for (int i = 1; i + 1 < bytes.size(); i += 2)
            values.append(quint16(quint8(bytes.at(i)) << 8 | quint8(bytes.at(i + 1))));
        data->setValues(values);
        return true;
    }
};

QVector<Transaction> serialBusTransactions(RunnerThread &line, int baud, int count, double *pauseMs)
{
    QVector<Transaction> out;
    QModbusResponse::registerDataSizeCalculator(QModbusPdu::FunctionCode(kzModbus::FuncRead),
                                                readReplySize);
    PeerMaster master;
    master.setConnectionParameter(QModbusDevice::SerialPortNameParameter, line.port());
    master.setConnectionParameter(QModbusDevice::SerialBaudRateParameter, baud);
    master.setConnectionParameter(QModbusDevice::SerialDataBitsParameter, QSerialPort::Data8);
    master.setConnectionParameter(QModbusDevice::SerialParityParameter, QSerialPort::NoParity);
    master.setConnectionParameter(QModbusDevice::SerialStopBitsParameter, QSerialPort::OneStop);
    master.setTimeout(500);
    master.setNumberOfRetries(0);
    if (!master.connectDevice() ||
        !waitUntil([&] { return master.state() == QModbusDevice::ConnectedState; }, 5000))
        return out;
    // The silence it keeps between frames is its share of the prescribed pauses.
    *pauseMs = master.interFrameDelay() / 1000.0;
    const QModbusRequest request(QModbusPdu::FunctionCode(kzModbus::FuncRead),
                                 QByteArray::fromHex("00000002"));
    for (int i = 0; i < count; ++i) {
        // The line idle for longer than any pause it keeps, as between the tool's requests.
        idleFor(15);
        Transaction t{nowNs(), 0, 0, 0};
        QModbusReply *reply = master.sendRawRequest(request, 1);
        if (!reply)
            continue;
        bool finished = false;
        QObject::connect(reply, &QModbusReply::finished, [&] {
            t.done = nowNs();
            finished = true;
        });
        if (!reply->isFinished())
            waitUntil([&] { return finished; }, 2000);
        else
            t.done = nowNs();
        waitUntil([&] { return line.lastReplyEndNs() >= t.call; }, 100);
        t.request = line.lastRequestNs();
        t.replyEnd = line.lastReplyEndNs();
        if (reply->error() == QModbusDevice::NoError)
            out.append(t);
        else if (out.isEmpty() && i == 0)
            std::fprintf(stderr, "QModbusRtuSerialMaster: %s\n", qPrintable(reply->errorString()));
        reply->deleteLater();
    }
    master.disconnectDevice();
    return out;
}

// Software overhead per transaction, the tool's master on its own serial link
// against Qt SerialBus's, at a slow and a fast line.
void overhead()
{
    for (int baud : {9600, FastBaud}) {
        progress(qPrintable(
            QStringLiteral("overhead per transaction at %1 baud, kzModbus and Qt SerialBus")
                .arg(baud)));
        RunnerThread line({1}, baud);
        if (!line.serve()) {
            add(QStringLiteral("overhead at %1 baud").arg(baud), QStringLiteral("no line"));
            continue;
        }
        const int count = quick ? 30 : 200;
        const Overhead ours = overheadOf(kzModbusTransactions(line, baud, count), 10.0);
        double theirPause = 0;
        const QVector<Transaction> theirs = serialBusTransactions(line, baud, count, &theirPause);
        const Overhead peer = overheadOf(theirs, theirPause);
        const auto row = [baud](const QString &who, const Overhead &o, int total) {
            add(QStringLiteral("overhead at %1 baud, %2: send + receive, p50 (p99) (ms, %3/%4 ok)")
                    .arg(baud)
                    .arg(who)
                    .arg(o.total.size())
                    .arg(total),
                QStringLiteral("%1 + %2 = %3 (%4)")
                    .arg(number(percentile(o.send, 50), 3), number(percentile(o.receive, 50), 3),
                         number(percentile(o.total, 50), 3), number(percentile(o.total, 99), 3)));
        };
        row(QStringLiteral("kzModbus on SerialLink (less its 10 ms pause)"), ours, count);
        row(QStringLiteral("QModbusRtuSerialMaster (less its %1 ms inter-frame delay)")
                .arg(number(theirPause, 2)),
            peer, count);
        const double mine = percentile(ours.total, 50);
        const double other = percentile(peer.total, 50);
        add(QStringLiteral("overhead at %1 baud, kzModbus p50 against Qt SerialBus p50 (ms)")
                .arg(baud),
            number(mine, 3), number(other, 3), other > 0 ? number(mine / other, 2) : QString(),
            QStringLiteral("≤ peer and < 0.5 ms"),
            verdict(!peer.total.isEmpty() && mine <= other && mine < 0.5));
    }
}

// How costs grow: search over 1..255 with 0, 1 and 16 instruments, side by
// side; then reads against the register count.
void scale()
{
    progress("search over 1..255 with 0, 1 and 16 instruments");
    QStringList sixteen;
    for (int a = 1; a <= 241; a += 16)
        sixteen << QString::number(a);
    const QVector<QPair<int, QStringList>> buses = {
        {0, {QStringLiteral("--silent"), QStringLiteral("1")}},
        {1, {QStringLiteral("1")}},
        {16, sixteen},
    };
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::unique_ptr<WorkerLine>> lines;
    for (const auto &bus : buses) {
        sims.push_back(std::make_unique<SimProcess>(QStringList{QStringLiteral("--paced"),
                                                                QStringLiteral("--baud"),
                                                                QString::number(FastBaud)} +
                                                    bus.second));
        lines.push_back(std::make_unique<WorkerLine>());
        if (!sims.back()->start() || !lines.back()->open(sims.back()->port(), FastBaud)) {
            add(QStringLiteral("search"), QStringLiteral("no line"));
            return;
        }
    }
    for (auto &line : lines)
        line->send(QStringLiteral("search"));
    waitUntil(
        [&] {
            for (auto &line : lines) {
                if (line->find(QStringLiteral("search finish")) < 0)
                    return false;
            }
            return true;
        },
        180000);
    for (size_t i = 0; i < lines.size(); ++i) {
        const WorkerLine &line = *lines[i];
        const int begin = line.find(QStringLiteral("search start"));
        const int end = line.find(QStringLiteral("search finish"));
        int found = 0;
        for (const auto &stamp : line.replies())
            found += stamp.text.startsWith(QLatin1String("found a device:")) ? 1 : 0;
        const double seconds =
            begin < 0 || end < 0
                ? -1
                : msBetween(line.replies()[begin].ns, line.replies()[end].ns) / 1000;
        add(QStringLiteral("search 1..255, %1 instruments (s; found)").arg(buses[i].first),
            QStringLiteral("%1; %2").arg(number(seconds, 2)).arg(found));
    }
    lines.clear();
    sims.clear();

    progress("reads against the register count");
    RunnerThread line({1}, FastBaud);
    MasterLine master;
    if (!line.serve() || !master.open(line.port(), FastBaud))
        return;
    master.master().setResponseTimeout(2000);
    master.master().setAttemptCount(1);
    for (int registers : {1, 42, 100, 200, 319}) {
        QVector<double> times;
        master.inThread([&] {
            for (int run = 0; run < (quick ? 1 : 5); ++run) {
                const qint64 start = nowNs();
                int first = 0;
                for (int n : chunks(registers)) {
                    if (master.master().readRegisters(quint16(first), quint16(n)) != ResultOk)
                        return;
                    first += n;
                }
                times.append(msBetween(start, nowNs()));
            }
        });
        double bound = 0;
        for (int n : chunks(registers))
            bound += readBoundMs(n, FastBaud);
        const double median = percentile(times, 50);
        add(QStringLiteral("read %1 registers at 38400 baud (ms)").arg(registers),
            number(median, 2), number(bound, 2), number(median / bound, 3));
    }
}

void printTable()
{
    std::printf("| figure | measured | bound or reference | ratio | goal | verdict |\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (const Row &row : qAsConst(table)) {
        std::printf("| %s | %s | %s | %s | %s | %s |\n", qPrintable(row.figure),
                    qPrintable(row.measured), qPrintable(row.reference), qPrintable(row.ratio),
                    qPrintable(row.goal), qPrintable(row.verdict));
    }
    if (closedDialogs() > 0)
        std::printf("\n%d warning dialog(s) opened during the run and were closed.\n",
                    closedDialogs());
}

} // namespace

int main(int argc, char *argv[])
{
    preferOffscreen();
    QApplication app(argc, argv);
    // The window's own diagnostics are not part of the table.
    showOnlyWarnings();
    QStringList parts = app.arguments().mid(1);
    quick = parts.removeAll(QStringLiteral("--quick")) > 0;
    if (parts.isEmpty())
        parts =
            QStringList{QStringLiteral("wire"), QStringLiteral("poll"), QStringLiteral("windows"),
                        QStringLiteral("overhead"), QStringLiteral("scale")};
    for (const QString &part : qAsConst(parts)) {
        if (part == QLatin1String("wire"))
            wire();
        else if (part == QLatin1String("poll"))
            pollAndWindow();
        else if (part == QLatin1String("cpu"))
            cpuOnly();
        else if (part == QLatin1String("windows"))
            monitorAndTrend();
        else if (part == QLatin1String("overhead"))
            overhead();
        else if (part == QLatin1String("scale"))
            scale();
        else {
            std::fprintf(
                stderr, "usage: kv3pd-bench [--quick] [wire|poll|cpu|windows|overhead|scale]...\n");
            return 2;
        }
    }
    printTable();
    return 0;
}
