#include "worker/modbusthread.h"

#include "modbus/kzmodbus.h"
#include "model/tsanlock.h"
#include "worker/logging.h"
#include "worker/messages.h"

#ifdef KV3PD_TSAN
extern "C" void AnnotateIgnoreWritesBegin(const char *file, int line);
extern "C" void AnnotateIgnoreWritesEnd(const char *file, int line);
#endif

Q_LOGGING_CATEGORY(lcWorker, "kv3pd.worker", QtInfoMsg)

namespace {

constexpr int PassPauseMs = 10;
constexpr qint64 TickMs = 100;

// A reply's text and its queued event are made in the worker thread and read
// by the window's thread after Qt has handed them over through a lock of its
// own, which ThreadSanitizer cannot see. Inside this scope the worker's
// accesses are not recorded; nothing but the hand-over happens there.
class HandOver
{
public:
#ifdef KV3PD_TSAN
    HandOver()
    {
        AnnotateIgnoreWritesBegin(__FILE__, __LINE__);
    }
    ~HandOver()
    {
        AnnotateIgnoreWritesEnd(__FILE__, __LINE__);
    }
#else
    HandOver() {}
#endif
    HandOver(const HandOver &) = delete;
    HandOver &operator=(const HandOver &) = delete;
};

// The address argument of "connect:" and "set addr:": unsigned decimal, 0
// when it is not a number, low 8 bits kept.
quint8 addressArgument(const QString &text)
{
    bool ok = false;
    const uint value = text.toUInt(&ok, 10);
    return ok ? quint8(value & 0xFF) : 0;
}

} // namespace

modbusThread::modbusThread(QObject *parent) : QThread(parent)
{
    master = new kzModbus;
    master->setSlaveAddress(1);
    tickClock.start();
}

modbusThread::~modbusThread()
{
    stop();
    delete master;
}

void modbusThread::stop()
{
    quitRequested.store(true);
    tsan::semRelease(quitSemaphore);
    wake();
    master->abort();
    wait();
    // QThread::wait() synchronises inside Qt where ThreadSanitizer cannot see
    // it; pair it with the release at the end of run().
    tsan::acquire(&quitRequested);
}

void modbusThread::receiveMessageFromMainThread(QString Message)
{
    const SplitMessage parts = splitMessage(Message);
    // The bit first, then the wake-up: the pass it starts sees the command.
    const auto take = [this](quint32 bit) {
        setBit(bit);
        wake();
    };
    // The link the pending device commands were meant for ends here: they must
    // not run on whatever the next link reaches.
    const auto endLink = [this] { cancelledAtLinkEnd.fetch_or(dropDeviceCommands()); };
    if (parts.key == Cmd::setAddr) {
        targetAddress.store(addressArgument(parts.argument));
        take(Bit::SetAddr);
        return;
    }
    if (Message == Cmd::search) {
        endLink();
        searchFirst.store(1);
        searchLast.store(255);
        take(Bit::Search);
        return;
    }
    int first = 0, last = 0;
    if (parts.key == Cmd::search && parseSearchRange(parts.argument, &first, &last)) {
        endLink();
        searchFirst.store(first);
        searchLast.store(last);
        take(Bit::Search);
        return;
    }
    int count = 0;
    if (parts.key == Cmd::readRegs && parseRegisterRange(parts.argument, &first, &count)) {
        rawRange.store(quint32(first) << 16 | quint32(count));
        take(Bit::ReadRegs);
        return;
    }
    if (Message == Cmd::searchStop) {
        take(Bit::SearchStop);
        return;
    }
    if (parts.key == Cmd::connect) {
        endLink();
        targetAddress.store(addressArgument(parts.argument));
        take(Bit::Connect);
        return;
    }
    if (Message == Cmd::disconnect) {
        endLink();
        take(Bit::Disconnect);
        return;
    }
    for (const DeviceCommand &command : deviceCommands) {
        if (Message == command.text) {
            take(command.bit);
            return;
        }
    }
}

bool modbusThread::parseSearchRange(const QString &argument, int *first, int *last)
{
    const QStringList range = argument.split(QLatin1Char(','));
    bool firstOk = false, lastOk = false;
    *first = range.value(0).toInt(&firstOk);
    *last = range.value(1).toInt(&lastOk);
    return range.size() == 2 && firstOk && lastOk && *first >= 1 && *last <= 255 && *first <= *last;
}

bool modbusThread::parseRegisterRange(const QString &argument, int *first, int *count)
{
    const QStringList range = argument.split(QLatin1Char(','));
    bool firstOk = false, countOk = false;
    *first = range.value(0).toInt(&firstOk);
    *count = range.value(1).toInt(&countOk);
    return range.size() == 2 && firstOk && countOk && *first >= 0 && *count >= 1 &&
           *count <= RegisterMirror::RawCapacity && *first + *count - 1 <= 0xFFFF;
}

void modbusThread::run()
{
    quint16 searchAddress = 0;
    while (!quitRequested.load()) {
        waitForPass();
        if (quitRequested.load())
            break;

        const bool searchWasRunning = testBit(Bit::Search) || testBit(Bit::Searching);
        runLinkGroup(searchAddress);
        if (!linkActive) {
            // While idle, device commands wait for the next connect. During a
            // search nothing may wait: the connect that follows a search can
            // reach another instrument than the one the command was meant for.
            if (searchWasRunning || testBit(Bit::Searching))
                dropAndReport(Reply::commandsNotRun);
            continue;
        }

        if (tickDue())
            measurementPoll();
        if (!connected) {
            // Before the first poll of a new link its commands wait for it.
            if (polledSinceConnect)
                dropAndReport(Reply::commandsNotRun);
            continue;
        }

        for (quint32 bit = Bit::FirstDevice; bit <= Bit::LastDevice; ++bit) {
            if (quitRequested.load())
                break;
            if (!testBit(bit))
                continue;
            // Cleared before the transfers, so the same command sent meanwhile runs again.
            clearBit(bit);
            runDeviceCommand(bit);
        }
    }
    tsan::release(&quitRequested);
}

void modbusThread::runLinkGroup(quint16 &searchAddress)
{
    // Each bit is tested against the word as it is now: a handler that sets a
    // later bit of the group gets it run in this same pass.
    if (testBit(Bit::SetAddr)) {
        clearBit(Bit::SetAddr);
        master->setSlaveAddress(targetAddress.load());
    }
    if (testBit(Bit::Search))
        searchStart(searchAddress);
    if (testBit(Bit::Searching))
        searchStep(searchAddress);
    if (testBit(Bit::SearchStop))
        searchStop();
    if (testBit(Bit::Connect))
        connectLink();
    if (testBit(Bit::Disconnect))
        disconnectLink();
}

void modbusThread::reply(const QString &message)
{
    HandOver handOver;
    // A private copy, so that no other string of this thread shares its data.
    const QString text(message.constData(), message.size());
    emit sendMessageToMainThread(text);
}

void modbusThread::replyProgress(int percent)
{
    reply(Reply::setProgressBarFmt.arg(percent));
}

void modbusThread::setBit(quint32 bit)
{
    commandFlags.fetchAndOrOrdered(Bit::mask(bit));
}

void modbusThread::clearBit(quint32 bit)
{
    commandFlags.fetchAndAndOrdered(~Bit::mask(bit));
}

bool modbusThread::testBit(quint32 bit) const
{
    return (commandFlags.loadAcquire() & Bit::mask(bit)) != 0;
}

quint32 modbusThread::dropDeviceCommands()
{
    const quint32 dropped = commandFlags.fetchAndAndOrdered(Bit::LinkMask) & ~Bit::LinkMask;
    releaseHolds(dropped);
    return dropped;
}

quint32 modbusThread::dropReads()
{
    const quint32 dropped = commandFlags.fetchAndAndOrdered(~Bit::ReadMask) & Bit::ReadMask;
    releaseHolds(dropped);
    return dropped;
}

void modbusThread::replyDropped(quint32 droppedBits, const QString &message)
{
    if (droppedBits == 0)
        return;
    if (droppedBits & Bit::WriteMask) {
        const QStringList writes = deviceCommandsIn(droppedBits & Bit::WriteMask);
        reply(Reply::writesDroppedFmt.arg(writes.join(QLatin1Char(','))));
    }
    if (!message.isEmpty())
        reply(message);
}

void modbusThread::dropAndReport(const QString &message)
{
    replyDropped(dropDeviceCommands(), message);
}

void modbusThread::replyIfCancelled()
{
    replyDropped(cancelledAtLinkEnd.exchange(0), Reply::commandsCancelled);
}

void modbusThread::wake()
{
    tsan::semRelease(wakeSemaphore);
}

qint64 modbusThread::currentTick() const
{
    return tickClock.elapsed() / TickMs;
}

void modbusThread::TickTimerTimeoutSlot()
{
    tickForced.store(true);
    // Without a link the tick only marks the poll due for the next connect.
    if (linkActive.load())
        wake();
}

bool modbusThread::tickDue() const
{
    return tickForced.load() || currentTick() > polledTick;
}

void modbusThread::waitForPass()
{
    // A search takes one address per pass and goes on by itself; a tick that
    // fell while the loop was busy is due now.
    if (testBit(Bit::Searching) || (linkActive.load() && tickDue())) {
        sleepMs(PassPauseMs);
        return;
    }
    // While a link is up, the next tick wakes the loop too. The timed wait
    // covers the tick and the pause after it, so a tick costs one wake-up.
    const bool ticking = linkActive.load();
    const qint64 tickAt = (polledTick + 1) * TickMs;
    if (ticking) {
        const qint64 left = tickAt + PassPauseMs - tickClock.elapsed();
        if (!tsan::semTryAcquire(wakeSemaphore, 1, int(qMax<qint64>(0, left))))
            return;
    } else {
        tsan::semAcquire(wakeSemaphore);
    }
    // One pass serves everything given so far; what comes after this
    // releases again and gets a pass of its own.
    while (tsan::semTryAcquire(wakeSemaphore)) {
    }
    // Commands given together (within this pause) run in one pass, in bit
    // order; the pause runs from the command, or from a tick that came first.
    const qint64 now = tickClock.elapsed();
    const qint64 passAt = (ticking ? qMin(now, tickAt) : now) + PassPauseMs;
    sleepMs(int(qMax<qint64>(0, passAt - now)));
}

void modbusThread::sleepMs(int ms)
{
    if (ms <= 0)
        return;
    // Once stop() has released the semaphore it stays released, so every
    // later sleep returns at once as well.
    if (tsan::semTryAcquire(quitSemaphore, 1, ms))
        tsan::semRelease(quitSemaphore);
}
