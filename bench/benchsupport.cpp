#include "benchsupport.h"

#include "link/seriallink.h"
#include "modbus/kzmodbus.h"
#include "ptyrunner.h"
#include "worker/modbusthread.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr int BitsPerByte = 10;
constexpr double PauseMs = 10.0; // the master's pause before every request
constexpr int ChunkRegisters = 100;
int dialogsClosed = 0;

} // namespace

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double msBetween(qint64 fromNs, qint64 toNs)
{
    return double(toNs - fromNs) / 1e6;
}

double percentile(QVector<double> values, double p)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const int rank = int(std::ceil(p / 100.0 * values.size()));
    return values[qBound(0, rank - 1, values.size() - 1)];
}

double maximum(const QVector<double> &values)
{
    return values.isEmpty() ? 0 : *std::max_element(values.begin(), values.end());
}

double wireMs(int bytes, int baud)
{
    return 1000.0 * bytes * BitsPerByte / baud;
}

double readBoundMs(int registers, int baud)
{
    return PauseMs + wireMs(8 + 2 * registers + 5, baud);
}

double writeBoundMs(int registers, int baud)
{
    return PauseMs + wireMs(2 * registers + 9 + 8, baud);
}

double singleWriteBoundMs(int baud)
{
    return PauseMs + wireMs(8 + 8, baud);
}

QVector<int> chunks(int registers)
{
    QVector<int> out;
    for (int done = 0; done < registers; done += ChunkRegisters)
        out.append(std::min(ChunkRegisters, registers - done));
    return out;
}

double processCpuMs()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto ms = [](const timeval &t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

QMap<int, ThreadUsage> threadUsage()
{
    QMap<int, ThreadUsage> out;
    const double tick = 1000.0 / double(::sysconf(_SC_CLK_TCK));
    for (const QString &entry :
         QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString dir = QStringLiteral("/proc/self/task/%1/").arg(entry);
        const auto read = [&dir](const char *file) {
            QFile f(dir + QLatin1String(file));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        };
        ThreadUsage usage;
        const int id = entry.toInt();
        usage.name = id == int(::getpid()) ? QStringLiteral("window")
                                           : QString::fromLocal8Bit(read("comm").trimmed());
        bool exact = false;
        const double runNs = read("schedstat").split(' ').value(0).toDouble(&exact);
        if (exact) {
            usage.cpuMs = runNs / 1e6;
        } else {
            // utime and stime, the 12th and 13th fields after the parenthesised name.
            const QByteArray line = read("stat");
            const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
            usage.cpuMs = (fields.value(11).toDouble() + fields.value(12).toDouble()) * tick;
        }
        for (const QByteArray &line : read("status").split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:"))
                usage.wakeUps = line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
        out.insert(id, usage);
    }
    return out;
}

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
}

bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    if (done())
        return true;
    QEventLoop loop;
    QTimer check;
    check.setTimerType(Qt::PreciseTimer);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            ++dialogsClosed;
            modal->close();
        }
        if (done())
            loop.quit();
    });
    check.start(5);
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    loop.exec();
    return done();
}

void idleFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

int closedDialogs()
{
    return dialogsClosed;
}

void preferOffscreen()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

void showOnlyWarnings()
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &text) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
}

StallProbe::StallProbe()
{
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [this] { tick(); });
    // The scheduler's account of this thread: time run and time waited for a
    // processor, in nanoseconds.
    schedstat = ::open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
}

StallProbe::~StallProbe()
{
    if (schedstat >= 0)
        ::close(schedstat);
}

void StallProbe::start()
{
    ticks.clear();
    timer.start(PeriodMs);
}

void StallProbe::tick()
{
    Tick t{nowNs(), 0, 0};
    char text[96];
    const ssize_t n = schedstat >= 0 ? ::pread(schedstat, text, sizeof text - 1, 0) : -1;
    if (n > 0) {
        text[n] = 0;
        long long run = 0, wait = 0;
        if (std::sscanf(text, "%lld %lld", &run, &wait) == 2) {
            t.runNs = run;
            t.waitNs = wait;
        }
    }
    ticks.append(t);
}

QVector<double> StallProbe::stalls(qint64 fromNs, qint64 toNs) const
{
    QVector<double> out;
    for (int i = 1; i < ticks.size(); ++i) {
        if (ticks[i - 1].ns >= fromNs && ticks[i].ns <= toNs)
            out.append(qMax(0.0, msBetween(ticks[i - 1].ns, ticks[i].ns) - PeriodMs));
    }
    return out;
}

StallProbe::Stall StallProbe::longest(qint64 fromNs, qint64 toNs) const
{
    Stall worst;
    for (int i = 1; i < ticks.size(); ++i) {
        const Tick &a = ticks[i - 1], &b = ticks[i];
        const double late = msBetween(a.ns, b.ns) - PeriodMs;
        if (a.ns < fromNs || b.ns > toNs || late <= worst.ms)
            continue;
        worst = {a.ns, b.ns, late, (b.runNs - a.runNs) / 1e6, (b.waitNs - a.waitNs) / 1e6};
    }
    return worst;
}

QString StallProbe::describe(const Stall &stall)
{
    return QStringLiteral("%1 ms (running %2, waiting for a CPU %3, asleep %4)")
        .arg(stall.ms, 0, 'f', 2)
        .arg(stall.runningMs, 0, 'f', 2)
        .arg(stall.waitingMs, 0, 'f', 2)
        .arg(stall.asleepMs(), 0, 'f', 2);
}

MachineProbe::MachineProbe()
    : thread([this] {
          qint64 last = nowNs();
          while (!stopping.load()) {
              ::poll(nullptr, 0, 2);
              const qint64 now = nowNs();
              const double late = msBetween(last, now) - 2;
              if (late > 1) {
                  std::lock_guard<std::mutex> lock(mutex);
                  // Kept for a few minutes only: a soak of hours reads the
                  // process's memory, which the probe must not grow itself.
                  while (!lates.isEmpty() && lates.first().toNs < now - KeepNs)
                      lates.removeFirst();
                  lates.append({last, now, late});
              }
              last = now;
          }
      })
{
}

MachineProbe::~MachineProbe()
{
    stopping.store(true);
    thread.join();
}

double MachineProbe::worstMs(qint64 fromNs, qint64 toNs) const
{
    std::lock_guard<std::mutex> lock(mutex);
    double worst = 0;
    for (const Late &late : lates) {
        if (late.toNs > fromNs && late.fromNs < toNs)
            worst = qMax(worst, late.ms);
    }
    return worst;
}

SimProcess::SimProcess(const QStringList &arguments) : arguments(arguments)
{
    linkPath = dir.path() + QStringLiteral("/line");
}

SimProcess::~SimProcess()
{
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(3000))
            process.kill();
        process.waitForFinished(3000);
    }
}

bool SimProcess::start()
{
    const QString program = QCoreApplication::applicationDirPath() + QStringLiteral("/kv3pd-sim");
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, QStringList{QStringLiteral("--link"), linkPath} + arguments);
    if (!process.waitForStarted(5000))
        return false;
    // The link appears once the pty is served.
    return waitUntil([this] { return QFile::exists(linkPath); }, 5000);
}

RunnerThread::RunnerThread(const QList<quint8> &addresses, int baud)
{
    int code = 0;
    while (VirtualInstrument::baudRateForCode(code) != baud && code < 6)
        ++code;
    for (quint8 address : addresses) {
        VirtualInstrument &instrument = bus.add(address);
        QVector<quint16> user = instrument.userImage();
        user[43 - VirtualInstrument::FirstParam] = quint16(code);
        instrument.setImages(user, instrument.factoryImage());
    }
}

RunnerThread::~RunnerThread()
{
    quit();
    wait();
}

bool RunnerThread::serve()
{
    start();
    while (state.load() == 0)
        QThread::msleep(1);
    return state.load() > 0;
}

qint64 RunnerThread::lastRequestNs() const
{
    return runner.load()->lastRequestNs();
}

qint64 RunnerThread::lastReplyEndNs() const
{
    return runner.load()->lastReplyEndNs();
}

void RunnerThread::run()
{
    PtyRunner line(&bus);
    line.setPaced(true);
    if (!line.open(nullptr)) {
        state.store(-1);
        return;
    }
    path = line.slavePath();
    runner.store(&line);
    state.store(1);
    exec();
    line.close();
}

MasterLine::MasterLine() : modbus(new kzModbus), link(new SerialLink)
{
    link->attach(modbus.get());
}

MasterLine::~MasterLine() = default;

bool MasterLine::open(const QString &port, int baud)
{
    if (!link->open(port, baud, 0))
        return false;
    modbus->setLineTiming(baud, 10);
    return true;
}

void MasterLine::close()
{
    link->close();
}

void MasterLine::inThread(const std::function<void()> &job)
{
    std::unique_ptr<QThread> thread(QThread::create(job));
    QEventLoop loop;
    connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    thread->start();
    loop.exec();
    thread->wait();
}

WorkerLine::WorkerLine() : worker(new modbusThread)
{
    connect(&serial, &QSerialPort::readyRead, this, &WorkerLine::readPort);
    connect(worker->modbusMaster(), &kzModbus::SendData, this, [this](const QByteArray &frame) {
        serial.write(frame);
        serial.flush();
    });
    connect(worker.get(), &modbusThread::sendMessageToMainThread, this,
            [this](const QString &message) {
                stamps.append({nowNs(), message});
            });
    worker->start();
}

WorkerLine::~WorkerLine()
{
    worker->stop();
}

bool WorkerLine::open(const QString &port, int baud)
{
    serial.setPortName(port);
    if (!serial.open(QIODevice::ReadWrite))
        return false;
    serial.setBaudRate(baud);
    serial.setParity(QSerialPort::NoParity);
    return true;
}

void WorkerLine::send(const QString &command)
{
    worker->receiveMessageFromMainThread(command);
}

int WorkerLine::find(const QString &text, int from) const
{
    for (int i = qMax(0, from); i < stamps.size(); ++i) {
        if (stamps[i].text == text)
            return i;
    }
    return -1;
}

void WorkerLine::readPort()
{
    for (char byte : serial.readAll())
        worker->modbusMaster()->receiveByte(quint8(byte));
}
