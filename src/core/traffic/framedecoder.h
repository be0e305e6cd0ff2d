#pragma once

// Turns the serial line's traffic into one event per frame, as the master's
// reply assembler sees it: the request written, the reply that completed it,
// bytes that belong to no frame, and requests that got no reply. No widgets,
// so it is tested on its own.

#include <QByteArray>
#include <QString>
#include <QVector>
#include <QtGlobal>

struct TrafficEvent
{
    enum class Status
    {
        Ok,
        Timeout,
        CrcError,
        Exception,
        Foreign,
        Noise
    };

    qint64 timeNs = 0;
    bool received = false;
    int slave = -1;    // -1: not in the frame
    int function = -1; // the function byte as sent
    int address = -1;
    int count = -1;
    int value = -1; // write one
    QByteArray bytes;
    Status status = Status::Ok;
    int exceptionCode = 0;

    QString directionText() const;
    QString functionText() const;
    QString statusText() const;
    // Upper-case pairs separated by single spaces.
    QString hexText() const;
};

class FrameDecoder
{
public:
    // Function codes of the instrument's master.
    static constexpr quint8 FuncRead = 0x33;
    static constexpr quint8 FuncWriteSingle = 0x36;
    static constexpr quint8 FuncWriteMultiple = 0x40;

    QVector<TrafficEvent> written(const QByteArray &frame, qint64 timeNs);
    QVector<TrafficEvent> received(const QByteArray &bytes, qint64 timeNs);
    // Ends a request that has waited longer than timeoutNs, and the bytes held
    // for it; call it while the line is quiet.
    QVector<TrafficEvent> expire(qint64 nowNs, qint64 timeoutNs);

    static QString exceptionName(int code);

private:
    void finishRequest(qint64 timeNs, QVector<TrafficEvent> &out);
    void flushNoise(qint64 timeNs, QVector<TrafficEvent> &out);
    void assemble(qint64 timeNs, QVector<TrafficEvent> &out);
    TrafficEvent replyEvent(const QByteArray &frame, qint64 timeNs) const;

    bool pending = false; // a request waits for its reply
    qint64 requestNs = 0;
    int requestSlave = 0;
    quint8 requestFunction = 0;
    int requestAddress = -1;
    int replyLength = 0;
    QByteArray rx;    // the reply being assembled
    QByteArray noise; // bytes dropped ahead of it
};
