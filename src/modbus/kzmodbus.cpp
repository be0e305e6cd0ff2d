#include "kzmodbus.h"

#include "model/tsanlock.h"

#include <QThread>

#include <cstring>

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

static_assert(2 * kzModbus::MaxCount + 5 <= kzModbus::FrameBytes,
              "the longest reply fits the receive buffer");

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

void kzModbus::setAttemptCount(quint8 count)
{
    attemptCount = count;
}

void kzModbus::setFrameGap(quint16 ms)
{
    frameGapMs = ms;
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
    int result = ResultTimeout;
    quint16 values[MaxCount] = {};
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (aborted)
            return ResultTimeout;
        if (const quint16 gap = frameGapMs)
            QThread::msleep(gap);

        const quint8 slave = slaveAddress;
        const int length = buildFrame(slave, function, address, count, value);
        {
            tsan::Locker lock(rxMutex);
            rxCount = 0;
            rxComplete = false;
            std::memset(rxFrame, 0, sizeof rxFrame);
            expectedLength = function == FuncRead ? quint16(2 * count + 5) : quint16(8);
            txFunction = function;
        }
        if (function == FuncRead) {
            tsan::Locker lock(readBufferMutex);
            std::memset(readBuffer, 0, sizeof readBuffer);
        }
        while (tsan::semTryAcquire(replySemaphore)) {
        }
        // The drain may have swallowed the wake-up of an abort; the flag stays.
        if (aborted)
            return ResultTimeout;

        handOffBegin();
        emit SendData(QByteArray(reinterpret_cast<const char *>(txFrame), length));
        handOffEnd();

        const bool replied = tsan::semTryAcquire(replySemaphore, 1, responseTimeoutMs);
        if (aborted)
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

quint16 kzModbus::replyLength(quint8 function) const
{
    if (function == txFunction)
        return expectedLength;
    if (function == (txFunction | 0x80))
        return ExceptionBytes;
    return 0;
}

bool kzModbus::frameComplete(quint16 length) const
{
    const quint16 received = quint16(rxFrame[length - 2] | rxFrame[length - 1] << 8);
    return received == crc16(rxFrame, quint16(length - 2));
}

void kzModbus::receiveByte(quint8 byte)
{
    bool complete = false;
    {
        tsan::Locker lock(rxMutex);
        // The reply stays as it came until the request has read it; whatever
        // follows it is no part of it.
        if (rxComplete)
            return;
        rxFrame[rxCount++] = byte;
        // A reply is exactly as long as its function code says and ends in a
        // good CRC. A first byte that cannot start one (a foreign function code
        // follows it, or the CRC fails at that length) is dropped, and the
        // bytes after it are tried in turn, so a reply behind noise is found.
        while (rxCount >= 2) {
            const quint16 length = replyLength(rxFrame[1]);
            if (length != 0 && rxCount < length)
                break;
            if (length != 0 && frameComplete(length)) {
                rxComplete = complete = true;
                break;
            }
            --rxCount;
            std::memmove(rxFrame, rxFrame + 1, rxCount);
        }
    }
    if (complete)
        tsan::semRelease(replySemaphore);
}
