// Register transfers between the mirror and the instrument, and the device
// commands built on them.

#include "modbus/kzmodbus.h"
#include "worker/logging.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <algorithm>

namespace {

constexpr quint16 CommandRegister = 0x5001;
constexpr quint16 FactorySaveValue = 90;
constexpr quint16 UserSaveValue = 10;
constexpr quint16 RestoreFactoryValue = 0xFF00;
constexpr int ChunkRegisters = 100;
constexpr int SaveWaitReads = 11;
constexpr int PauseBeforeSaveMs = 100;
static_assert(RegisterMirror::RawCapacity == kzModbus::MaxCount,
              "read regs takes what one request can carry");

int progressAt(int start, int end, int done, int total)
{
    return int(double(start) + double(end - start) * (double(done) / double(total)));
}

// The registers each write command sends; the window holds them from the
// moment it collects them until the write has taken them.
bool blockWrittenBy(quint32 bit, RegisterBlock *block)
{
    using namespace Blocks;
    switch (bit) {
    case Bit::WriteMeterParam:
        *block = meterParamBlock;
        return true;
    case Bit::WriteUserParam:
        *block = userParamBlock;
        return true;
    case Bit::WritePressureParam:
        *block = pressureParamBlock;
        return true;
    case Bit::WriteTempParam:
        *block = tempParamBlock;
        return true;
    case Bit::WriteYaliEcjz:
        *block = yaliEcjzBlock;
        return true;
    case Bit::WriteWenduEcjz:
        *block = wenduEcjzBlock;
        return true;
    case Bit::WriteCustomReg:
    case Bit::WriteCustomRegClone:
        *block = customRegBlock;
        return true;
    case Bit::WriteAll:
    case Bit::WriteAllClone:
        *block = everythingWritable;
        return true;
    case Bit::WriteClr:
        *block = clrBlock;
        return true;
    default:
        return false;
    }
}

} // namespace

void modbusThread::runDeviceCommand(quint32 bit)
{
    using namespace Blocks;
    switch (bit) {
    case Bit::ReadMeterParam:
        singleRead(meterParamBlock, Cmd::readMeterParam);
        break;
    case Bit::WriteMeterParam:
        singleWrite(meterParamBlock, Cmd::writeMeterParam, false, false);
        break;
    case Bit::ReadUserParam:
        singleRead(userParamBlock, Cmd::readUserParam);
        break;
    case Bit::WriteUserParam:
        singleWrite(userParamBlock, Cmd::writeUserParam, false, false);
        break;
    case Bit::ReadPressureParam:
        singleRead(pressureParamBlock, Cmd::readPressureParam);
        break;
    case Bit::ReadTempParam:
        singleRead(tempParamBlock, Cmd::readTempParam);
        break;
    case Bit::WritePressureParam:
        writePressureParam();
        break;
    case Bit::WriteTempParam:
        singleWrite(tempParamBlock, Cmd::writeTempParam, true, true);
        break;
    case Bit::ReadMeterInfo:
        readMeterInfo();
        break;
    case Bit::ReadYaliEcjz:
        singleRead(pressureParamBlock, Cmd::readYaliEcjz);
        break;
    case Bit::WriteYaliEcjz:
        singleWrite(yaliEcjzBlock, Cmd::writeYaliEcjz, false, false);
        break;
    case Bit::ReadWenduEcjz:
        singleRead(tempParamBlock, Cmd::readWenduEcjz);
        break;
    case Bit::WriteWenduEcjz:
        singleWrite(wenduEcjzBlock, Cmd::writeWenduEcjz, false, false);
        break;
    case Bit::ReadCustomReg:
        readCustomReg();
        break;
    case Bit::WriteCustomReg:
        writeCustomReg(Cmd::writeCustomReg);
        break;
    case Bit::ReadAll:
        readAll();
        break;
    case Bit::WriteAll:
        writeAll(Cmd::writeAll);
        break;
    case Bit::FacSave:
        facSave();
        break;
    case Bit::UserSave:
        userSave();
        break;
    case Bit::BackFac:
        backFac();
        break;
    case Bit::WriteClr:
        singleWrite(clrBlock, Cmd::writeClr, true, false, 75);
        break;
    case Bit::WriteAllClone:
        // Another meter's link settings would put this one where that one answers.
        if (keepInstrumentValues({Reg::address, 3}) && keepInstrumentValues(meterOwnBlock))
            writeAll(Cmd::writeAllClone);
        else
            finishWrite(false, Cmd::writeAllClone, true, true);
        break;
    case Bit::WriteCustomRegClone:
        if (keepInstrumentValues(
                {customRegBlock.first, meterOwnBlock.last() - customRegBlock.first + 1}))
            writeCustomReg(Cmd::writeCustomRegClone);
        else
            finishWrite(false, Cmd::writeCustomRegClone, false, true);
        break;
    case Bit::ReadSnapshot:
        readSnapshot();
        break;
    case Bit::ReadRegs:
        readRegs();
        break;
    default:
        break;
    }
}

bool modbusThread::fetchBlock(const RegisterBlock &block, quint16 *values)
{
    regAddress = quint16(block.first);
    regCount = quint8(block.count);
    if (master->readRegisters(quint16(block.first), quint16(block.count)) != ResultOk)
        return false;
    master->copyFromReadBuffer(values, block.count);
    return true;
}

bool modbusThread::readBlock(const RegisterBlock &block)
{
    // Through a local copy: the master's buffer lock and the mirror lock are never nested.
    quint16 values[kzModbus::BufferWords];
    if (!fetchBlock(block, values))
        return false;
    MirrorLock locked = lockMirror();
    locked->storeRead(block, values);
    return true;
}

void modbusThread::releaseHolds(quint32 droppedBits)
{
    RegisterBlock block{0, 0};
    for (quint32 bit = Bit::FirstDevice; bit <= Bit::LastDevice; ++bit) {
        if ((droppedBits & Bit::mask(bit)) && blockWrittenBy(bit, &block)) {
            MirrorLock locked = lockMirror();
            locked->release(block);
        }
    }
}

bool modbusThread::writeBlock(const RegisterBlock &block)
{
    regAddress = quint16(block.first);
    regCount = quint8(block.count);
    quint16 values[kzModbus::BufferWords];
    {
        MirrorLock locked = lockMirror();
        std::copy_n(locked->data() + block.first, block.count, values);
        // Taken: a read from now on may show the instrument's values again.
        locked->release(block);
    }
    master->copyToWriteBuffer(values, block.count);
    if (master->writeMultipleRegisters(quint16(block.first), quint16(block.count)) != ResultOk)
        return false;
    {
        // Acknowledged: the instrument holds what was sent, whatever the mirror holds by now.
        MirrorLock locked = lockMirror();
        locked->confirm(block, values);
    }
    if (block.first <= Reg::address && block.last() >= Reg::parityCode) {
        const int at = Reg::address - block.first;
        writtenLink = {true, values[at], values[at + 1], values[at + 2]};
    }
    return true;
}

void modbusThread::singleRead(const RegisterBlock &block, const QString &command)
{
    reply(readBlock(block) ? Reply::succeed(command) : Reply::failed(command));
}

void modbusThread::singleWrite(const RegisterBlock &block, const QString &command,
                               bool progressOnFailure, bool factorySave, quint16 progressOnSuccess)
{
    finishWrite(writeBlock(block), command, progressOnFailure, factorySave, progressOnSuccess);
}

void modbusThread::finishWrite(bool written, const QString &command, bool progressOnFailure,
                               bool factorySave, quint16 progressOnSuccess)
{
    if (!written) {
        if (progressOnFailure)
            replyProgress(100);
        reply(Reply::failed(command));
        return;
    }
    replyProgress(progressOnSuccess);
    reply(Reply::succeed(command));
    // The instrument needs a moment to take the block before it stores it.
    sleepMs(PauseBeforeSaveMs);
    if (factorySave)
        facSave();
    else
        userSave();
}

void modbusThread::writePressureParam()
{
    qCDebug(lcWorker).noquote() << QStringLiteral("write pressure param");
    const bool written = writeBlock(Blocks::pressureParamBlock);
    qCDebug(lcWorker).noquote() << QStringLiteral("write pressure finish");
    finishWrite(written, Cmd::writePressureParam, true, true);
}

void modbusThread::readMeterInfo()
{
    const bool ok = readBlock(Blocks::meterInfoFirst) && readBlock(Blocks::meterInfoSecond);
    reply(ok ? Reply::succeed(Cmd::readMeterInfo) : Reply::failed(Cmd::readMeterInfo));
}

bool modbusThread::fetchChunked(int firstReg, int count, quint16 *values,
                                const std::function<void(int)> &afterChunk)
{
    int done = 0;
    while (done < count) {
        const int chunk = std::min(ChunkRegisters, count - done);
        if (firstReg + done + chunk > RegisterMirror::Size ||
            !fetchBlock({firstReg + done, chunk}, values + done))
            return false;
        done += chunk;
        afterChunk(done);
    }
    return true;
}

bool modbusThread::modbus_read_regs(int firstReg, quint16 reg_num, quint8 progressStart,
                                    quint8 progressEnd)
{
    qCDebug(lcWorker).noquote()
        << QStringLiteral("modbus_read_regs,addr=%1,reg_num=%2").arg(firstReg).arg(reg_num);
    replyProgress(progressStart);
    // Taken into the mirror only whole: a transfer that fails half way leaves
    // the mirror as it was, not half this instrument's and half older data.
    quint16 values[RegisterMirror::Size];
    const bool ok = fetchChunked(firstReg, reg_num, values, [&](int done) {
        replyProgress(progressAt(progressStart, progressEnd, done, reg_num));
    });
    if (!ok)
        return false;
    MirrorLock locked = lockMirror();
    locked->storeRead({firstReg, reg_num}, values);
    return true;
}

bool modbusThread::modbus_write_regs(int firstReg, quint16 reg_num, quint8 progressStart,
                                     quint8 progressEnd)
{
    qCDebug(lcWorker).noquote()
        << QStringLiteral("modbus_write_regs,addr=%1,reg_num=%2").arg(firstReg).arg(reg_num);
    replyProgress(progressStart);
    int done = 0;
    while (done < reg_num) {
        const int chunk = std::min(ChunkRegisters, reg_num - done);
        if (!writeBlock({firstReg + done, chunk}))
            return false;
        done += chunk;
        replyProgress(progressAt(progressStart, progressEnd, done, reg_num));
    }
    return true;
}

void modbusThread::readCustomReg()
{
    const RegisterBlock &block = Blocks::customRegBlock;
    const bool ok = modbus_read_regs(block.first, quint16(block.count), 0, 100);
    reply(ok ? Reply::succeed(Cmd::readCustomReg) : Reply::failed(Cmd::readCustomReg));
}

void modbusThread::writeCustomReg(const QString &command)
{
    const RegisterBlock &block = Blocks::customRegBlock;
    const bool written = modbus_write_regs(block.first, quint16(block.count), 0, 80);
    finishWrite(written, command, false, true);
}

void modbusThread::readAll()
{
    const RegisterBlock &block = Blocks::everything;
    const bool ok = modbus_read_regs(block.first, quint16(block.count), 0, 100);
    replyProgress(100);
    reply(ok ? Reply::succeed(Cmd::readAll) : Reply::failed(Cmd::readAll));
}

void modbusThread::writeAll(const QString &command)
{
    // Registers 0..41 are measurements; the instrument owns them.
    const RegisterBlock &block = Blocks::everythingWritable;
    const bool written = modbus_write_regs(block.first, quint16(block.count), 0, 80);
    finishWrite(written, command, true, true);
}

bool modbusThread::keepInstrumentValues(const RegisterBlock &keep)
{
    quint16 values[RegisterMirror::Size];
    for (int at = keep.first; at <= keep.last(); at += ChunkRegisters) {
        const int chunk = std::min(ChunkRegisters, keep.last() - at + 1);
        if (!fetchBlock({at, chunk}, values + (at - keep.first)))
            return false;
    }
    // Past the window's hold on the block: it holds it for this very write.
    MirrorLock locked = lockMirror();
    std::copy_n(values, keep.count, locked->data() + keep.first);
    return true;
}

void modbusThread::readSnapshot()
{
    const RegisterBlock &block = Blocks::everythingWritable;
    quint16 values[RegisterMirror::Size];
    // Quiet: the window's progress bar belongs to the window's own commands.
    const bool ok = fetchChunked(block.first, block.count, values, [](int) {});
    if (ok) {
        MirrorLock locked = lockMirror();
        locked->storeSnapshot(block, values);
    }
    reply(ok ? Reply::succeed(Cmd::readSnapshot) : Reply::failed(Cmd::readSnapshot));
}

void modbusThread::readRegs()
{
    const quint32 range = rawRange.load();
    const int first = int(range >> 16);
    const int count = int(range & 0xFFFF);
    quint16 values[kzModbus::BufferWords];
    const bool ok = fetchBlock({first, count}, values);
    if (ok) {
        MirrorLock locked = lockMirror();
        locked->storeRaw(first, count, values);
    }
    reply(ok ? Reply::succeed(Cmd::readRegs) : Reply::failed(Cmd::readRegs));
}

void modbusThread::facSave()
{
    save(FactorySaveValue, Reply::facSaving, Reply::facSaveSucceed, Reply::facSaveFailed);
}

void modbusThread::userSave()
{
    save(UserSaveValue, Reply::userSaving, Reply::userSaveSucceed, Reply::userSaveFailed);
}

void modbusThread::save(quint16 commandValue, const QString &saving, const QString &succeed,
                        const QString &failed)
{
    reply(saving);
    if (master->writeSingleRegister(CommandRegister, commandValue) != ResultOk) {
        replyProgress(100);
        reply(failed);
        return;
    }
    // The saved link settings are effective now: the instrument answers the
    // wait reads only at them.
    followWrittenLink();
    // The instrument is busy storing; it answers again once it is done.
    for (int i = 0; i < SaveWaitReads && !quitRequested.load(); ++i) {
        if (master->readRegisters(0, 1) == ResultOk)
            break;
    }
    // Dropped before the reply: a command sent in answer to it is a new one.
    // Writes stay: each was given with the data it sends, and runs after this.
    dropReads();
    replyProgress(100);
    reply(succeed);
}

void modbusThread::backFac()
{
    reply(Reply::facBacking);
    replyProgress(80);
    if (master->writeSingleRegister(CommandRegister, RestoreFactoryValue) != ResultOk) {
        replyProgress(100);
        reply(Reply::backFacFailed);
        return;
    }
    // What the factory settings hold is unknown here; the window disconnects.
    writtenLink.valid = false;
    replyDropped(dropDeviceCommands(), QString());
    replyProgress(100);
    reply(Reply::backFacSucceed);
}

void modbusThread::followWrittenLink()
{
    // Only settings this program wrote are followed, never whatever the
    // mirror holds (a backup loaded for another meter, say).
    const WrittenLink link = writtenLink;
    writtenLink.valid = false;
    // 0 is the broadcast address, which no instrument takes as its own, and
    // codes outside the tables are not settings the instrument can take.
    if (!link.valid || link.address == 0 || link.address > 255 || link.baudCode > 5 ||
        link.parityCode > 2)
        return;
    master->setSlaveAddress(quint8(link.address));
    reply(Reply::followLinkFmt.arg(link.address).arg(link.baudCode).arg(link.parityCode));
}
