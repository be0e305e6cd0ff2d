#include "modbus/kzmodbus.h"

#include "model/tsanlock.h"

#include <QThread>

#include <cstring>
#ifdef Q_OS_LINUX
#include <sys/prctl.h>
#endif

#ifdef KV3PD_TSAN
extern "C" void AnnotateIgnoreWritesBegin(const char *file, int line);
extern "C" void AnnotateIgnoreWritesEnd(const char *file, int line);
#endif

namespace {

// A queued SendData allocates its event and the frame copy in this thread and
// hands them over through the event queue's lock inside Qt, which the thread
// sanitizer cannot see. The hand-off is safe, so its writes are kept out of
// the race detector; nothing else happens inside the emit.
void handOffBegin()
{
#ifdef KV3PD_TSAN
    AnnotateIgnoreWritesBegin(__FILE__, __LINE__);
#endif
}

void handOffEnd()
{
#ifdef KV3PD_TSAN
    AnnotateIgnoreWritesEnd(__FILE__, __LINE__);
#endif
}

// The usual byte-wise tables of CRC-16/MODBUS (reflected polynomial 0xA001),
// split into the high and low byte of each entry.
struct CrcTables
{
    quint8 hi[256];
    quint8 lo[256];
};

constexpr CrcTables makeCrcTables()
{
    CrcTables tables{};
    for (int i = 0; i < 256; ++i) {
        quint16 crc = quint16(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
        tables.hi[i] = quint8(crc >> 8);
        tables.lo[i] = quint8(crc & 0xFF);
    }
    return tables;
}

constexpr CrcTables crcTables = makeCrcTables();

// The pause before each request is what spaces frames on the bus; Linux lets a
// sleep overrun by the thread's timer slack (50 us by default) on top of the
// wake-up, which is most of the time between a request's call and its frame.
void pauseBeforeRequest(quint16 ms)
{
    if (ms == 0)
        return;
#ifdef Q_OS_LINUX
    thread_local bool preciseSleeps = ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0) == 0;
    (void)preciseSleeps;
#endif
    QThread::msleep(ms);
}

void putWord(quint8 *at, quint16 value)
{
    at[0] = quint8(value >> 8);
    at[1] = quint8(value & 0xFF);
}

quint16 getWord(const quint8 *at)
{
    return quint16(at[0] << 8 | at[1]);
}

} // namespace

kzModbus::kzModbus() = default;

void kzModbus::setSlaveAddress(quint8 address)
{
    slaveAddress = address;
}

void kzModbus::setResponseTimeout(quint16 ms)
{
    responseTimeoutMs = ms;
}

void kzModbus::setFrameGap(quint16 ms)
{
    frameGapMs = ms;
}

void kzModbus::setAttemptCount(quint8 count)
{
    attemptCount = count;
}

void kzModbus::setLineTiming(qint32 baudRate, int bitsPerCharacter)
{
    lineTiming = quint64(quint32(qMax(0, baudRate))) << 32 | quint32(qMax(0, bitsPerCharacter));
}

int kzModbus::lineTimeMs(int characters, qint32 baudRate, int bitsPerCharacter)
{
    if (characters <= 0 || baudRate <= 0 || bitsPerCharacter <= 0)
        return 0;
    return int((qint64(characters) * bitsPerCharacter * 1000 + baudRate - 1) / baudRate);
}

int kzModbus::effectiveTimeoutMs(int configuredMs, int requestBytes, int replyBytes,
                                 qint32 baudRate, int bitsPerCharacter)
{
    // Twice the time on the line, so the 3.5-character gap counts whole characters.
    const int doubledMs =
        lineTimeMs(2 * (requestBytes + replyBytes) + 7, baudRate, bitsPerCharacter);
    if (doubledMs == 0)
        return configuredMs;
    return qMax(configuredMs, (doubledMs + 1) / 2 + TurnaroundMs);
}

quint8 kzModbus::getSlaveAddress() const
{
    return slaveAddress;
}

quint16 kzModbus::getResponseTimeout() const
{
    return responseTimeoutMs;
}

quint8 kzModbus::getAttemptCount() const
{
    return attemptCount;
}

quint16 kzModbus::crc16(const quint8 *data, quint16 length)
{
    quint8 hi = 0xFF;
    quint8 lo = 0xFF;
    for (quint16 i = 0; i < length; ++i) {
        const quint8 index = lo ^ data[i];
        lo = hi ^ crcTables.lo[index];
        hi = crcTables.hi[index];
    }
    return quint16(hi << 8 | lo);
}

int kzModbus::readRegisters(quint16 address, quint16 count)
{
    return request(FuncRead, address, count, 0);
}

int kzModbus::writeSingleRegister(quint16 address, quint16 value)
{
    return request(FuncWriteSingle, address, 1, value);
}

int kzModbus::writeMultipleRegisters(quint16 address, quint16 count)
{
    return request(FuncWriteMultiple, address, count, 0);
}

void kzModbus::copyFromReadBuffer(quint16 *dest, int count)
{
    tsan::Locker lock(readBufferMutex);
    std::memcpy(dest, readBuffer, sizeof(quint16) * size_t(qBound(0, count, int(BufferWords))));
}

void kzModbus::copyToWriteBuffer(const quint16 *src, int count)
{
    tsan::Locker lock(writeBufferMutex);
    std::memcpy(writeBuffer, src, sizeof(quint16) * size_t(qBound(0, count, int(BufferWords))));
}

void kzModbus::abort()
{
    aborted = true;
    // Wakes a request that is waiting for its reply; it sees the flag.
    tsan::semRelease(replySemaphore);
}

void kzModbus::setLineDown(bool down)
{
    lineDown = down;
    if (down)
        tsan::semRelease(replySemaphore);
}

int kzModbus::buildFrame(quint8 slave, quint8 function, quint16 address, quint16 count,
                         quint16 value)
{
    std::memset(txFrame, 0, sizeof txFrame);
    txFrame[0] = slave;
    txFrame[1] = function;
    putWord(txFrame + 2, address);
    int length = 6;
    if (function == FuncWriteSingle) {
        putWord(txFrame + 4, value);
    } else {
        txFrame[4] = 0;
        txFrame[5] = quint8(count);
    }
    if (function == FuncWriteMultiple) {
        txFrame[6] = quint8(2 * count);
        tsan::Locker lock(writeBufferMutex);
        for (int i = 0; i < count; ++i)
            putWord(txFrame + 7 + 2 * i, writeBuffer[i]);
        length = 7 + 2 * count;
    }
    const quint16 crc = crc16(txFrame, quint16(length));
    txFrame[length] = quint8(crc & 0xFF);
    txFrame[length + 1] = quint8(crc >> 8);
    return length + 2;
}

int kzModbus::request(quint8 function, quint16 address, quint16 count, quint16 value)
{
    if (function != FuncWriteSingle && (count == 0 || count > MaxCount))
        return ResultBadCount;

    const int attempts = qMax(1, int(attemptCount));
    const quint16 replyLength = function == FuncRead ? quint16(2 * count + 5) : quint16(8);
    int result = ResultTimeout;
    quint16 values[MaxCount] = {};
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (aborted || lineDown)
            return ResultTimeout;
        pauseBeforeRequest(frameGapMs);

        const quint8 slave = slaveAddress;
        const int length = buildFrame(slave, function, address, count, value);
        {
            tsan::Locker lock(rxMutex);
            rxCount = 0;
            rxComplete = false;
            std::memset(rxFrame, 0, sizeof rxFrame);
            expectedLength = replyLength;
            txFunction = function;
            std::memcpy(txEcho, txFrame + 2, sizeof txEcho);
        }
        if (function == FuncRead) {
            tsan::Locker lock(readBufferMutex);
            std::memset(readBuffer, 0, sizeof readBuffer);
        }
        while (tsan::semTryAcquire(replySemaphore)) {
        }
        // The drain may have swallowed the wake-up of an abort or a line going
        // down; the flags stay.
        if (aborted || lineDown)
            return ResultTimeout;

        handOffBegin();
        emit SendData(QByteArray(reinterpret_cast<const char *>(txFrame), length));
        handOffEnd();

        const quint64 line = lineTiming;
        const int waitMs = effectiveTimeoutMs(responseTimeoutMs, length, replyLength,
                                              qint32(line >> 32), int(line & 0xFFFFFFFF));
        const bool replied = tsan::semTryAcquire(replySemaphore, 1, waitMs);
        if (aborted || lineDown)
            return ResultTimeout;
        if (!replied) {
            result = ResultTimeout;
            continue;
        }

        {
            tsan::Locker lock(rxMutex);
            if (rxFrame[0] != slave) {
                result = ResultWrongSlave;
            } else if (rxFrame[1] == function) {
                result = ResultOk;
                if (function == FuncRead) {
                    for (int i = 0; i < count; ++i)
                        values[i] = getWord(rxFrame + 3 + 2 * i);
                } else if (function == FuncWriteSingle) {
                    values[0] = getWord(rxFrame + 4);
                }
            } else if (rxFrame[1] == (function | 0x80)) {
                result = ResultWrongFunction + rxFrame[2];
            } else {
                result = ResultWrongFunction;
            }
        }
        if (result == ResultOk)
            break;
    }
    if (result != ResultOk)
        return result;

    if (function == FuncRead) {
        tsan::Locker lock(readBufferMutex);
        std::memcpy(readBuffer, values, sizeof(quint16) * count);
    } else if (function == FuncWriteSingle) {
        tsan::Locker lock(readBufferMutex);
        readBuffer[0] = values[0];
    }
    return ResultOk;
}

// What the bytes held from rxFrame[0] on can still become. Any first byte may
// be the slave address (the request tells a foreign slave apart); the second
// must be the request's function or its exception; a read's reply must carry
// the byte count asked for and a write's the address and count (or value)
// written, so that a late reply to an earlier request is not taken for this
// one's; at the reply's full length the CRC decides.
kzModbus::Candidate kzModbus::assessFrame() const
{
    if (rxCount < 2)
        return Candidate::Partial;
    const bool normal = rxFrame[1] == txFunction;
    if (!normal && rxFrame[1] != (txFunction | 0x80))
        return Candidate::Invalid;
    const quint16 length = normal ? expectedLength : quint16(ExceptionBytes);
    if (normal) {
        const bool read = txFunction == FuncRead;
        const int echoed = qMin(int(rxCount) - 2, read ? 1 : int(sizeof txEcho));
        for (int i = 0; i < echoed; ++i) {
            const quint8 expected = read ? quint8(2 * txEcho[3]) : txEcho[i];
            if (rxFrame[2 + i] != expected)
                return Candidate::Invalid;
        }
    }
    if (rxCount < length)
        return Candidate::Partial;
    const quint16 received = quint16(rxFrame[length - 2] | rxFrame[length - 1] << 8);
    return received == crc16(rxFrame, quint16(length - 2)) ? Candidate::Complete
                                                           : Candidate::Invalid;
}

void kzModbus::receiveByte(quint8 byte)
{
    bool complete = false;
    {
        tsan::Locker lock(rxMutex);
        // Before the first request, or once the reply is in, a byte is noise
        // and must not touch the frame the request is about to read.
        if (rxComplete || expectedLength < ExceptionBytes)
            return;
        // A partial frame is always shorter than its reply (255 bytes at
        // most), so this only guards the buffer.
        if (rxCount >= FrameBytes)
            rxCount = 0;
        rxFrame[rxCount++] = byte;
        for (;;) {
            const Candidate candidate = assessFrame();
            if (candidate == Candidate::Partial)
                break;
            if (candidate == Candidate::Complete) {
                rxComplete = complete = true;
                break;
            }
            // A noise byte (or a frame with a bad CRC) ahead of the reply: the
            // reply may start at any later byte held, so drop just the first.
            --rxCount;
            std::memmove(rxFrame, rxFrame + 1, rxCount);
        }
    }
    if (complete)
        tsan::semRelease(replySemaphore);
}

int kzModbus::replyBytesOutstanding()
{
    tsan::Locker lock(rxMutex);
    if (rxComplete || expectedLength < ExceptionBytes)
        return 0;
    if (rxCount < 2)
        return rxCount == 0 ? expectedLength : ExceptionBytes - 1;
    int length = 0;
    if (rxFrame[1] == txFunction)
        length = expectedLength;
    else if (rxFrame[1] == (txFunction | 0x80))
        length = ExceptionBytes;
    return qMax(0, length - int(rxCount));
}
