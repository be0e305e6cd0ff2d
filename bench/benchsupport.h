#pragma once

// Shared pieces of the benchmark program: the clock, statistics, the line's
// arithmetic, the virtual instrument (as kv3pd-sim or in a thread of its own)
// and the master or the worker on a serial port, wired as the window wires
// them. Nothing here depends on how the window holds its port.

#include "virtualbus.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QProcess>
#include <QSerialPort>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class PtyRunner;
class SerialLink;
class kzModbus;
class modbusThread;

// Monotonic nanoseconds; the same clock as the virtual instrument's line times.
qint64 nowNs();
double msBetween(qint64 fromNs, qint64 toNs);

// Nearest-rank percentile, p in 0..100; 0 for no values.
double percentile(QVector<double> values, double p);
double maximum(const QVector<double> &values);

// Bytes cross the line at 10 bits each (start, 8 data, stop).
double wireMs(int bytes, int baud);
// Time of one request and its normal reply on the line plus the master's
// 10 ms pause before every request.
double readBoundMs(int registers, int baud);
double writeBoundMs(int registers, int baud);
double singleWriteBoundMs(int baud);
// Chunked as the worker does it: at most 100 registers a request.
QVector<int> chunks(int registers);

// CPU time of this process (user + system) in milliseconds, and its resident set in KiB.
double processCpuMs();
qint64 residentKiB();
// What each thread of this process has used so far, by thread id: CPU time
// (the scheduler's own count in nanoseconds where the kernel keeps one, else
// clock ticks) and how often it went to sleep and was woken again.
struct ThreadUsage
{
    QString name; // "window" for the process's main thread
    double cpuMs = 0;
    qint64 wakeUps = 0;
};
QMap<int, ThreadUsage> threadUsage();

// Runs the event loop until done() holds or the time is up; returns done().
// Any modal dialog that opens meanwhile is closed and counted.
bool waitUntil(const std::function<bool()> &done, int timeoutMs);
// Runs the event loop for the given time, with no wake-ups of its own.
void idleFor(int ms);
int closedDialogs();

// Before the QApplication: the offscreen platform unless the caller chose one.
void preferOffscreen();
// After it: the window's debug and info lines stay out of the program's output.
void showOnlyWarnings();

// How late the window's thread gets to a 2 ms timer: what a user would feel
// as a stalled window. Each tick also notes how long the thread had run and
// waited for a processor so far, so a stall can be told apart: the program's
// own work (running), a busy machine (waiting for a CPU), or the thread
// blocked or its timer late (asleep).
class StallProbe
{
public:
    struct Stall
    {
        qint64 fromNs = 0; // the tick before it
        qint64 toNs = 0;   // the late tick
        double ms = 0;
        double runningMs = 0;
        double waitingMs = 0;
        double asleepMs() const { return qMax(0.0, ms + PeriodMs - runningMs - waitingMs); }
    };

    StallProbe();
    ~StallProbe();
    // Starts over: the ticks recorded so far are dropped.
    void start();
    void stop() { timer.stop(); }
    // Lateness of every tick that fell inside [fromNs, toNs].
    QVector<double> stalls(qint64 fromNs, qint64 toNs) const;
    // The longest of them, with what the thread did meanwhile.
    Stall longest(qint64 fromNs, qint64 toNs) const;
    static QString describe(const Stall &stall);

private:
    static constexpr int PeriodMs = 2;
    struct Tick
    {
        qint64 ns, runNs, waitNs;
    };
    void tick();
    QTimer timer;
    QVector<Tick> ticks;
    int schedstat = -1;
};

// The same 2 ms wait in a bare thread of its own, without an event loop: how
// late the machine wakes a sleeping thread at all (a virtual machine's host
// may keep it off the processor), against which the window's stalls are read.
class MachineProbe
{
public:
    MachineProbe();
    ~MachineProbe();
    // The most a wake-up came late that overlaps [fromNs, toNs]; 0 for none.
    double worstMs(qint64 fromNs, qint64 toNs) const;

private:
    struct Late
    {
        qint64 fromNs, toNs;
        double ms;
    };
    std::atomic<bool> stopping{false};
    mutable std::mutex mutex;
    static constexpr qint64 KeepNs = 300'000'000'000; // five minutes
    QVector<Late> lates; // only those over 1 ms, and only the last few minutes'
    std::thread thread;
};

// kv3pd-sim as a child process on a link of its own.
class SimProcess
{
public:
    explicit SimProcess(const QStringList &arguments);
    ~SimProcess();
    bool start();
    QString port() const { return linkPath; }

private:
    QStringList arguments;
    QTemporaryDir dir;
    QString linkPath;
    QProcess process;
};

// The virtual instrument in a thread of this process, for measurements that
// need the times at which frames cross its end of the line. Paced.
class RunnerThread : public QThread
{
public:
    RunnerThread(const QList<quint8> &addresses, int baud);
    ~RunnerThread() override;
    bool serve();
    QString port() const { return path; }
    qint64 lastRequestNs() const;
    qint64 lastReplyEndNs() const;

protected:
    void run() override;

private:
    VirtualBus bus;
    std::atomic<PtyRunner *> runner{nullptr};
    std::atomic<int> state{0}; // 1 serving, -1 failed
    QString path;
};

// The master alone: requests from a thread of their own, bytes through the
// tool's own serial link in this thread, as the window carries them.
class MasterLine : public QObject
{
public:
    MasterLine();
    ~MasterLine() override;
    bool open(const QString &port, int baud);
    void close();
    kzModbus &master() { return *modbus; }
    // Runs job() in a thread of its own while this thread serves the port.
    void inThread(const std::function<void()> &job);

private:
    std::unique_ptr<kzModbus> modbus;
    std::unique_ptr<SerialLink> link;
};

// The worker on a serial port, wired as the window wires it, without the window.
class WorkerLine : public QObject
{
public:
    struct Stamp
    {
        qint64 ns;
        QString text;
    };

    WorkerLine();
    ~WorkerLine() override;
    bool open(const QString &port, int baud);
    void send(const QString &command);
    // Index of the first reply equal to text at or after from; -1 when none.
    int find(const QString &text, int from = 0) const;
    const QVector<Stamp> &replies() const { return stamps; }

private:
    void readPort();
    std::unique_ptr<modbusThread> worker;
    QSerialPort serial;
    QVector<Stamp> stamps;
};
