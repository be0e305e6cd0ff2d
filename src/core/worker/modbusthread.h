#pragma once

// The one worker thread. It owns the Modbus master and performs every bus
// transaction; the window talks to it only through command strings, which set
// bits of an atomic command word, and hears back only through reply strings.
// Register values cross over through the mirror under mirrorMutex.

#include "model/registermirror.h"

#include <QAtomicInteger>
#include <QElapsedTimer>
#include <QMutex>
#include <QSemaphore>
#include <QString>
#include <QThread>

#include <atomic>
#include <functional>

class kzModbus;

class modbusThread : public QThread
{
    Q_OBJECT

public:
    explicit modbusThread(QObject *parent = nullptr);
    // Ends the loop, waits for the thread, then releases the master.
    ~modbusThread() override;

    // Asks the loop to end and waits for the thread; safe to call twice.
    void stop();

    kzModbus *modbusMaster() const { return master; }
    // The mirror, locked for as long as the returned object lives.
    MirrorLock lockMirror() { return MirrorLock(mirrorMutex, mirror); }
    quint32 pendingCommands() const { return commandFlags.loadAcquire(); }
    // The argument of "search:<first>,<last>": 1 <= first <= last <= 255.
    static bool parseSearchRange(const QString &argument, int *first, int *last);
    // The argument of "read regs:<first>,<count>": first 0..65535, count
    // 1..125, the last register at most 65535.
    static bool parseRegisterRange(const QString &argument, int *first, int *count);

public slots:
    void receiveMessageFromMainThread(QString Message);
    // Marks the measurement poll due now, as a tick of the worker's own 100 ms
    // clock does; from any thread.
    void TickTimerTimeoutSlot();

signals:
    void sendMessageToMainThread(QString Message);

protected:
    void run() override;

private:
    // Link group and poll.
    void runLinkGroup(quint16 &searchAddress);
    void searchStart(quint16 &searchAddress);
    void searchStep(quint16 &searchAddress);
    void searchStop();
    void connectLink();
    void disconnectLink();
    void measurementPoll();

    // Device group.
    void runDeviceCommand(quint32 bit);
    bool fetchBlock(const RegisterBlock &block, quint16 *values);
    // Reads a range in requests of at most 100 registers into values; after
    // each, afterChunk gets the registers done so far.
    bool fetchChunked(int firstReg, int count, quint16 *values,
                      const std::function<void(int)> &afterChunk);
    bool readBlock(const RegisterBlock &block);
    bool writeBlock(const RegisterBlock &block);
    void singleRead(const RegisterBlock &block, const QString &command);
    void singleWrite(const RegisterBlock &block, const QString &command, bool progressOnFailure,
                     bool factorySave, quint16 progressOnSuccess = 80);
    void finishWrite(bool written, const QString &command, bool progressOnFailure, bool factorySave,
                     quint16 progressOnSuccess = 80);
    void writePressureParam();
    void readMeterInfo();
    void readCustomReg();
    void writeCustomReg(const QString &command);
    void readAll();
    void writeAll(const QString &command);
    // Reads the registers into the mirror, for a write that must send them
    // back as the instrument holds them.
    bool keepInstrumentValues(const RegisterBlock &keep);
    void readSnapshot();
    void readRegs();
    bool modbus_read_regs(int firstReg, quint16 reg_num, quint8 progressStart, quint8 progressEnd);
    bool modbus_write_regs(int firstReg, quint16 reg_num, quint8 progressStart, quint8 progressEnd);
    void facSave();
    void userSave();
    void backFac();
    void save(quint16 commandValue, const QString &saving, const QString &succeed,
              const QString &failed);
    // Clears every pending device command; returns the bits that were set.
    quint32 dropDeviceCommands();
    // Clears the pending reads only (a save does: writes given meanwhile still run).
    quint32 dropReads();
    // Names the dropped writes ("writes dropped:..."), then replies message
    // (none when empty); nothing when no bit was dropped.
    void replyDropped(quint32 droppedBits, const QString &message);
    void dropAndReport(const QString &message);
    void releaseHolds(quint32 droppedBits);
    void replyIfCancelled();
    void followWrittenLink();

    void reply(const QString &message);
    void replyProgress(int percent);
    void setBit(quint32 bit);
    void clearBit(quint32 bit);
    bool testBit(quint32 bit) const;
    // Sleeps up to ms milliseconds; returns at once when a stop is requested.
    void sleepMs(int ms);
    // Blocks until a pass is due: the pass pause after a command, a tick while
    // a link is up, a search step, or stop().
    void waitForPass();
    // Ticks count 100 ms periods of tickClock; the poll is due once a tick has
    // fallen since the last one (ticks fall while no link is up, too).
    qint64 currentTick() const;
    bool tickDue() const;
    void wake();

    QMutex mirrorMutex;
    RegisterMirror mirror;
    kzModbus *master = nullptr;
    QAtomicInteger<quint32> commandFlags{0};
    std::atomic<quint8> targetAddress{0};
    // Addresses the next search probes, 1..255 unless a range was asked for.
    std::atomic<int> searchFirst{1};
    std::atomic<int> searchLast{255};
    // The range of the pending "read regs": first register in the high half,
    // count in the low one, so a pass never sees one without the other.
    std::atomic<quint32> rawRange{0};
    quint16 regAddress = 0;
    quint8 regCount = 0;
    std::atomic<bool> linkActive{false};
    QElapsedTimer tickClock;
    qint64 polledTick = 0; // worker thread only
    std::atomic<bool> tickForced{false};
    bool connected = false;
    // A poll has run since the last connect: until then commands given for the
    // new link wait for it instead of being dropped.
    bool polledSinceConnect = false;
    // The pending device commands a link command (disconnect, connect,
    // search) dropped; the link handler reports them.
    std::atomic<quint32> cancelledAtLinkEnd{0};
    // Link settings (registers 42..44) a write sent and no save has made
    // effective yet; only these are followed after a save.
    struct WrittenLink
    {
        bool valid = false;
        quint16 address = 0;
        quint16 baudCode = 0;
        quint16 parityCode = 0;
    } writtenLink;
    std::atomic<bool> quitRequested{false};
    // Released by stop(); every sleep of the loop waits on it.
    QSemaphore quitSemaphore{0};
    // Released for every command and by stop(); the idle loop waits on it.
    QSemaphore wakeSemaphore{0};
};
