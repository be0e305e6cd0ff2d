// Search, connect, disconnect and the measurement poll.

#include "modbus/kzmodbus.h"
#include "worker/logging.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

namespace {

constexpr quint16 FeatureCode = 0x0058;
constexpr quint16 LowestFirmware = 10;
constexpr quint16 AccessRegister = 0x5000;
constexpr quint16 AccessPassword = 0x0071;
constexpr quint16 SearchTimeoutMs = 200;
constexpr quint16 ConnectedTimeoutMs = 2000;

void debugLine(const QString &line)
{
    qCDebug(lcWorker).noquote() << line;
}

} // namespace

void modbusThread::searchStart(quint16 &searchAddress)
{
    connected = false;
    linkActive = false;
    master->setResponseTimeout(SearchTimeoutMs);
    master->setAttemptCount(1);
    reply(Reply::searchStart);
    replyIfCancelled();
    searchAddress = quint16(searchFirst.load());
    clearBit(Bit::Search);
    setBit(Bit::Searching);
}

void modbusThread::searchStep(quint16 &searchAddress)
{
    linkActive = false;
    reply(Reply::searchingAddrFmt.arg(searchAddress));
    master->setSlaveAddress(quint8(searchAddress));
    regAddress = 0;
    regCount = 1;
    if (master->readRegisters(0, 1) == ResultOk) {
        quint16 value = 0;
        master->copyFromReadBuffer(&value, 1);
        if (value == FeatureCode)
            reply(Reply::foundDeviceFmt.arg(searchAddress));
    }
    const int first = searchFirst.load(), last = searchLast.load();
    replyProgress((searchAddress - first + 1) * 100 / (last - first + 1));
    ++searchAddress;
    if (searchAddress > last) {
        clearBit(Bit::Searching);
        reply(Reply::searchFinish);
    }
}

void modbusThread::searchStop()
{
    clearBit(Bit::Searching);
    clearBit(Bit::SearchStop);
    reply(Reply::searchStoped);
    replyProgress(0);
    linkActive = false;
}

void modbusThread::connectLink()
{
    clearBit(Bit::Connect);
    master->setSlaveAddress(targetAddress.load());
    master->setResponseTimeout(ConnectedTimeoutMs);
    master->setAttemptCount(1);
    linkActive = true;
    connected = false;
    polledSinceConnect = false;
    writtenLink.valid = false;
    lockMirror()->forgetConfirmed();
    reply(Reply::modbusCreateSucceed);
    debugLine(QStringLiteral("Modbus创建成功"));
    replyIfCancelled();
    // A running search ends quietly: the window asked for this address.
    clearBit(Bit::Search);
    clearBit(Bit::Searching);
    clearBit(Bit::SearchStop);
    replyProgress(0);
}

void modbusThread::disconnectLink()
{
    debugLine(QStringLiteral("disconnect"));
    clearBit(Bit::Disconnect);
    linkActive = false;
    connected = false;
    reply(Reply::disconnectSucceed);
    replyIfCancelled();
    clearBit(Bit::Search);
    clearBit(Bit::Searching);
    clearBit(Bit::SearchStop);
    replyProgress(0);
}

void modbusThread::measurementPoll()
{
    polledTick = currentTick();
    tickForced.store(false);
    // Not the first poll of this link: a poll before it failed, or the link
    // would be connected already.
    const bool answersAgain = polledSinceConnect;
    polledSinceConnect = true;

    regAddress = 0;
    regCount = 2;
    if (master->readRegisters(0, 2) != ResultOk) {
        debugLine(QStringLiteral("读取特征码失败"));
        connected = false;
        reply(Reply::connectFailed);
        dropAndReport(Reply::commandsNotRun);
        return;
    }
    quint16 identity[2] = {};
    master->copyFromReadBuffer(identity, 2);
    {
        MirrorLock locked = lockMirror();
        locked->set(0, identity[0]);
        locked->set(1, identity[1]);
    }

    if (identity[0] != FeatureCode) {
        reply(Reply::connectFailed);
        connected = false;
        debugLine(QStringLiteral("特征码错误"));
        dropAndReport(Reply::commandsNotRun);
        return;
    }
    if (identity[1] < LowestFirmware) {
        connected = false;
        reply(Reply::versionError);
        dropAndReport(Reply::commandsNotRun);
        return;
    }
    if (!connected) {
        // Whatever answers after a silence may be another meter: commands
        // given before the window has heard of it were meant for the old one.
        if (answersAgain)
            dropAndReport(Reply::commandsNotRun);
        connected = true;
        reply(Reply::connectSucceed);
    }

    // The instrument only hands out its measurements once unlocked.
    const quint16 password = AccessPassword;
    master->copyToWriteBuffer(&password, 1);
    regAddress = AccessRegister;
    regCount = 1;
    if (master->writeMultipleRegisters(AccessRegister, 1) != ResultOk)
        debugLine(QStringLiteral("密码写入失败"));

    if (readBlock(Blocks::measuredBlock)) {
        reply(Reply::readMeasuredSucceed);
    } else {
        debugLine(QStringLiteral("读取测量值失败"));
        reply(Reply::readMeasuredFailed);
    }
}
