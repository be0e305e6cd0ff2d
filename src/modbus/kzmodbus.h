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

    // GUI thread: one received byte, in arrival order.
    void receiveByte(quint8 byte);

    static quint16 crc16(const quint8 *data, quint16 length);

signals:
    // One complete request frame. The frame travels as a copy, so a later
    // attempt can never change bytes that have not been written yet.
    void SendData(QByteArray frame);

private:
    int request(quint8 function, quint16 address, quint16 count, quint16 value);
    int buildFrame(quint8 slave, quint8 function, quint16 address, quint16 count, quint16 value);
    // rxMutex held: bytes of a reply to the request in flight by its function
    // code, 0 when it is no reply to it; whether the first length bytes of the
    // frame end in their CRC.
    quint16 replyLength(quint8 function) const;
    bool frameComplete(quint16 length) const;

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
    bool rxComplete = false; // a whole reply is in rxFrame
    quint16 expectedLength = 0;
    quint8 txFunction = 0; // second byte of the frame in flight, read by the assembler
    std::atomic<quint8> attemptCount{3};
    std::atomic<quint16> frameGapMs{10};
    QSemaphore replySemaphore{0};
    std::atomic<bool> aborted{false};
};
