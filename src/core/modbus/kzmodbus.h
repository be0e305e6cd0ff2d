#pragma once

// Modbus RTU master for the KV-3PD's own function codes (0x33 read, 0x36 write
// one, 0x40 write several). It owns no port and no thread: the worker thread
// calls the requests, which block until a reply or a timeout; the GUI thread
// feeds received bytes to receiveByte(). A semaphore joins the two halves.

#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QSemaphore>
#include <QtGlobal>

#include <atomic>

enum ResultCode : int
{
    ResultOk = 0,
    ResultBadCount = 2,     // register count outside 1..125, nothing sent
    ResultTimeout = 3,      // no complete reply on the last attempt
    ResultWrongSlave = 4,   // a reply from another slave address
    ResultWrongFunction = 5 // foreign function code; 5 + n for exception code n
};

class kzModbus : public QObject
{
    Q_OBJECT

public:
    static constexpr quint8 FuncRead = 0x33;
    static constexpr quint8 FuncWriteSingle = 0x36;
    static constexpr quint8 FuncWriteMultiple = 0x40;
    static constexpr int BufferWords = 150;
    static constexpr int FrameBytes = 310;
    static constexpr int MaxCount = 125;
    static constexpr int ExceptionBytes = 5;

    kzModbus();

    void setSlaveAddress(quint8 address);
    void setResponseTimeout(quint16 ms);
    void setAttemptCount(quint8 count);
    // GUI thread, whenever the port's settings change: the line's baud rate and
    // bits a character (start, 8 data, parity if any, stop: 10 or 11). A request
    // then waits at least as long as its frames need on that line; a baud rate
    // of 0 (unknown) leaves the response timeout alone.
    void setLineTiming(qint32 baudRate, int bitsPerCharacter);
    // Silence kept on the line before each frame, 10 ms unless set. The fuzz
    // target sets 0 to run requests back to back in one thread.
    void setFrameGap(quint16 ms);
    quint8 getSlaveAddress() const;
    quint16 getResponseTimeout() const;
    quint8 getAttemptCount() const;

    // Worker thread. Each returns a ResultCode value (0 on success).
    int readRegisters(quint16 address, quint16 count);
    int writeSingleRegister(quint16 address, quint16 value);
    int writeMultipleRegisters(quint16 address, quint16 count);

    // Copies between the register buffers and the caller, under their mutexes.
    void copyFromReadBuffer(quint16 *dest, int count);
    void copyToWriteBuffer(const quint16 *src, int count);

    // Makes the request in flight and every later one end at once with
    // ResultTimeout; used when the worker shuts down.
    void abort();
    // While the line is known to be down (its adapter was pulled out), every
    // request ends at once with ResultTimeout instead of waiting for a reply
    // that cannot come; the one in flight is woken.
    void setLineDown(bool down);

    // GUI thread: one received byte, in arrival order. A byte that cannot
    // continue the reply being assembled does not cost the reply: the bytes held
    // are tried again as the start of a new frame, one position later each time.
    void receiveByte(quint8 byte);
    // GUI thread: how many bytes the reply awaited still lacks, as far as the
    // bytes held tell (before any, the normal reply's length; after one, the
    // length of an exception reply, the shortest); 0 when none is awaited.
    int replyBytesOutstanding();

    static quint16 crc16(const quint8 *data, quint16 length);

    // Time the characters take on the line, rounded up; 0 when the line is unknown.
    static int lineTimeMs(int characters, qint32 baudRate, int bitsPerCharacter);
    // The wait for one reply: the configured timeout, or longer when the request
    // and the reply on the line, the gap ending each frame (3.5 characters) and
    // the instrument's and the adapter's turnaround need more. The turnaround
    // is small enough that a short transfer at 2400 baud and above keeps the
    // configured timeout: a search probes each address for 200 ms, no longer.
    static int effectiveTimeoutMs(int configuredMs, int requestBytes, int replyBytes,
                                  qint32 baudRate, int bitsPerCharacter);
    static constexpr int TurnaroundMs = 150;

signals:
    // One complete request frame. The frame travels as a copy, so a later
    // attempt can never change bytes that have not been written yet.
    void SendData(QByteArray frame);

private:
    int request(quint8 function, quint16 address, quint16 count, quint16 value);
    int buildFrame(quint8 slave, quint8 function, quint16 address, quint16 count, quint16 value);
    enum class Candidate
    {
        Partial,  // may still become the reply
        Complete, // the reply, CRC checked
        Invalid   // cannot be the reply
    };
    Candidate assessFrame() const; // rxMutex held

    quint16 readBuffer[BufferWords] = {};
    quint16 writeBuffer[BufferWords] = {};
    QMutex readBufferMutex;
    QMutex writeBufferMutex;
    // Receive state: written by the GUI thread's byte feeder and reset by the
    // worker before each attempt, so both sides take rxMutex.
    QMutex rxMutex;
    quint8 rxFrame[FrameBytes] = {};
    quint8 txFrame[FrameBytes] = {};
    std::atomic<quint8> slaveAddress{1};
    std::atomic<quint16> responseTimeoutMs{100};
    quint16 rxCount = 0;
    quint16 expectedLength = 0;
    bool rxComplete = false; // the reply is in; later bytes leave it alone
    quint8 txFunction = 0;   // second byte of the frame in flight, read by the assembler
    // What the reply must repeat of the request: the register address and the
    // count (or the value of a single write); a read's reply, its byte count.
    quint8 txEcho[4] = {};
    std::atomic<quint8> attemptCount{3};
    // Baud rate in the high half, bits a character in the low one, so a request
    // never sees one without the other.
    std::atomic<quint64> lineTiming{0};
    std::atomic<quint16> frameGapMs{10};
    QSemaphore replySemaphore{0};
    std::atomic<bool> aborted{false};
    std::atomic<bool> lineDown{false};
};
