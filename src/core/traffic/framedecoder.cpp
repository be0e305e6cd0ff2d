#include "traffic/framedecoder.h"

#include "modbus/kzmodbus.h"

#include <QStringList>

namespace {

quint16 word(const QByteArray &b, int at)
{
    return quint16(quint8(b[at]) << 8 | quint8(b[at + 1]));
}

bool crcOk(const QByteArray &frame)
{
    const int n = frame.size();
    if (n < 4)
        return false;
    const quint16 sent = quint16(quint8(frame[n - 2]) | quint8(frame[n - 1]) << 8);
    return sent ==
           kzModbus::crc16(reinterpret_cast<const quint8 *>(frame.constData()), quint16(n - 2));
}

} // namespace

QString TrafficEvent::directionText() const
{
    return received ? QStringLiteral("RX") : QStringLiteral("TX");
}

QString TrafficEvent::functionText() const
{
    switch (function) {
    case FrameDecoder::FuncRead:
        return QStringLiteral("read 0x33");
    case FrameDecoder::FuncWriteSingle:
        return QStringLiteral("write one 0x36");
    case FrameDecoder::FuncWriteMultiple:
        return QStringLiteral("write several 0x40");
    case -1:
        return QString();
    default:
        if (function & 0x80)
            return QStringLiteral("exception");
        return QStringLiteral("0x%1").arg(function, 2, 16, QLatin1Char('0'));
    }
}

QString TrafficEvent::statusText() const
{
    switch (status) {
    case Status::Ok:
        return QStringLiteral("ok");
    case Status::Timeout:
        return QStringLiteral("timeout");
    case Status::CrcError:
        return QStringLiteral("crc-error");
    case Status::Exception:
        return QStringLiteral("exception %1 (%2)")
            .arg(exceptionCode)
            .arg(FrameDecoder::exceptionName(exceptionCode));
    case Status::Foreign:
        return QStringLiteral("foreign");
    case Status::Noise:
        return QStringLiteral("noise");
    }
    return QString();
}

QString TrafficEvent::hexText() const
{
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString FrameDecoder::exceptionName(int code)
{
    switch (code) {
    case 1:
        return QStringLiteral("illegal function");
    case 2:
        return QStringLiteral("illegal data address");
    case 3:
        return QStringLiteral("illegal data value");
    case 4:
        return QStringLiteral("slave device failure");
    case 5:
        return QStringLiteral("acknowledge");
    case 6:
        return QStringLiteral("slave device busy");
    default:
        return QStringLiteral("unknown");
    }
}

QVector<TrafficEvent> FrameDecoder::written(const QByteArray &frame, qint64 timeNs)
{
    QVector<TrafficEvent> out;
    finishRequest(timeNs, out);

    TrafficEvent e;
    e.timeNs = timeNs;
    e.bytes = frame;
    e.status = crcOk(frame) ? TrafficEvent::Status::Ok : TrafficEvent::Status::CrcError;
    if (frame.size() >= 2) {
        e.slave = quint8(frame[0]);
        e.function = quint8(frame[1]);
    }
    if (frame.size() >= 8) {
        e.address = word(frame, 2);
        if (e.function == FuncWriteSingle)
            e.value = word(frame, 4);
        else
            e.count = word(frame, 4);
    }
    out.append(e);

    // What the master's assembler waits for.
    replyLength = 0;
    if (e.function == FuncRead && e.count > 0)
        replyLength = 5 + 2 * e.count;
    else if (e.function == FuncWriteSingle || e.function == FuncWriteMultiple)
        replyLength = 8;
    pending = replyLength > 0;
    requestNs = timeNs;
    requestSlave = e.slave;
    requestFunction = quint8(e.function);
    requestAddress = e.address;
    return out;
}

QVector<TrafficEvent> FrameDecoder::received(const QByteArray &bytes, qint64 timeNs)
{
    QVector<TrafficEvent> out;
    if (!pending) {
        // Nothing asked for these bytes.
        noise += bytes;
        return out;
    }
    rx += bytes;
    assemble(timeNs, out);
    return out;
}

QVector<TrafficEvent> FrameDecoder::expire(qint64 nowNs, qint64 timeoutNs)
{
    QVector<TrafficEvent> out;
    if (pending && nowNs - requestNs >= timeoutNs)
        finishRequest(nowNs, out);
    else if (!pending)
        flushNoise(nowNs, out);
    return out;
}

void FrameDecoder::assemble(qint64 timeNs, QVector<TrafficEvent> &out)
{
    while (pending && rx.size() >= 2) {
        const quint8 function = quint8(rx[1]);
        int length = 0;
        if (function == requestFunction)
            length = replyLength;
        else if (function == (requestFunction | 0x80))
            length = kzModbus::ExceptionBytes;
        if (length == 0) {
            // Cannot start the reply: a noise byte ahead of it.
            noise += rx.left(1);
            rx.remove(0, 1);
            continue;
        }
        if (rx.size() < length)
            return;
        const QByteArray frame = rx.left(length);
        rx.remove(0, length);
        flushNoise(timeNs, out);
        if (!crcOk(frame)) {
            TrafficEvent e = replyEvent(frame, timeNs);
            e.status = TrafficEvent::Status::CrcError;
            out.append(e);
            continue;
        }
        out.append(replyEvent(frame, timeNs));
        // The assembler takes the first complete reply; what follows is noise.
        pending = false;
        noise += rx;
        rx.clear();
    }
}

TrafficEvent FrameDecoder::replyEvent(const QByteArray &frame, qint64 timeNs) const
{
    TrafficEvent e;
    e.timeNs = timeNs;
    e.received = true;
    e.bytes = frame;
    e.slave = quint8(frame[0]);
    e.function = quint8(frame[1]);
    if (e.function & 0x80) {
        e.exceptionCode = quint8(frame[2]);
        e.status = TrafficEvent::Status::Exception;
    } else if (e.function == FuncRead) {
        e.address = requestAddress;
        e.count = quint8(frame[2]) / 2;
    } else {
        e.address = word(frame, 2);
        if (e.function == FuncWriteSingle)
            e.value = word(frame, 4);
        else
            e.count = word(frame, 4);
    }
    if (e.slave != requestSlave)
        e.status = TrafficEvent::Status::Foreign;
    return e;
}

void FrameDecoder::finishRequest(qint64 timeNs, QVector<TrafficEvent> &out)
{
    // A reply cut short is noise to the assembler.
    noise += rx;
    rx.clear();
    flushNoise(timeNs, out);
    if (!pending)
        return;
    pending = false;
    TrafficEvent e;
    e.timeNs = timeNs;
    e.received = true;
    e.slave = requestSlave;
    e.function = requestFunction;
    e.status = TrafficEvent::Status::Timeout;
    out.append(e);
}

void FrameDecoder::flushNoise(qint64 timeNs, QVector<TrafficEvent> &out)
{
    if (noise.isEmpty())
        return;
    TrafficEvent e;
    e.timeNs = timeNs;
    e.received = true;
    e.bytes = noise;
    e.status = TrafficEvent::Status::Noise;
    out.append(e);
    noise.clear();
}
