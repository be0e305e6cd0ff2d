// The reply assembler of the Modbus master (kzModbus::receiveByte) fed any
// bytes around real requests of every function code and count. The request
// runs in this thread: its frame goes out through a direct connection whose
// slot feeds the attempt's bytes before the request looks for its reply, and a
// response timeout and frame gap of 0 keep it from ever waiting.
//
// Input, repeated while bytes last (up to four requests on one master):
// function selector (read, write one, write several), count, address (2),
// value (2), slave address, attempts (low two bits); then for each attempt a
// length (2 bytes, taken below 1024) and that many received bytes.
//
// Properties: nothing read or written past a buffer (ASan); a bad count sends
// nothing; every frame sent is the request; the result is one the bytes of the
// deciding attempt justify: Ok only with a whole reply of the expected length
// and a good CRC from this slave, whose data the read buffer then holds;
// WrongSlave only with such a frame (or a whole exception) from another slave;
// 5 + n only with a whole exception reply of this slave with code n; a timeout
// always.

#include "fuzzsupport.h"
#include "modbus/kzmodbus.h"

#include <QVector>

namespace {

constexpr quint8 functions[3] = {kzModbus::FuncRead, kzModbus::FuncWriteSingle,
                                 kzModbus::FuncWriteMultiple};
constexpr int ExceptionBytes = 5;

quint16 wordAt(const QByteArray &bytes, int i)
{
    return quint16(quint8(bytes[i]) << 8 | quint8(bytes[i + 1]));
}

void appendWord(QByteArray &bytes, quint16 value)
{
    bytes.append(char(value >> 8)).append(char(value & 0xFF));
}

// Low byte first, as in every frame.
bool crcGood(const QByteArray &bytes, int start, int length)
{
    const quint16 crc = referenceCrc(bytes.constData() + start, length - 2);
    return quint8(bytes[start + length - 2]) == (crc & 0xFF) &&
           quint8(bytes[start + length - 1]) == (crc >> 8);
}

QByteArray expectedRequest(quint8 slave, quint8 function, quint16 address, quint16 count,
                           quint16 value, const quint16 *writeValues)
{
    QByteArray frame;
    frame.append(char(slave)).append(char(function));
    appendWord(frame, address);
    appendWord(frame, function == kzModbus::FuncWriteSingle ? value : count);
    if (function == kzModbus::FuncWriteMultiple) {
        frame.append(char(2 * count));
        for (int i = 0; i < count; ++i)
            appendWord(frame, writeValues[i]);
    }
    const quint16 crc = referenceCrc(frame.constData(), frame.size());
    return frame.append(char(crc & 0xFF)).append(char(crc >> 8));
}

void runRequest(kzModbus &master, FuzzInput &in, const quint16 *writeValues)
{
    const quint8 function = functions[in.byte() % 3];
    const quint16 count = in.byte();
    const quint16 address = in.word();
    const quint16 value = in.word();
    const quint8 slave = in.byte();
    const int attempts = in.byte() & 3;
    master.setSlaveAddress(slave);
    master.setAttemptCount(quint8(attempts));

    QVector<QByteArray> sent;
    QByteArray received; // during the latest attempt
    const QMetaObject::Connection line =
        QObject::connect(&master, &kzModbus::SendData, [&](const QByteArray &frame) {
            sent.append(frame);
            received = in.bytes(in.word() % 1024);
            for (char byte : received)
                master.receiveByte(quint8(byte));
        });
    int result = -1;
    if (function == kzModbus::FuncRead)
        result = master.readRegisters(address, count);
    else if (function == kzModbus::FuncWriteSingle)
        result = master.writeSingleRegister(address, value);
    else
        result = master.writeMultipleRegisters(address, count);
    QObject::disconnect(line);

    if (function != kzModbus::FuncWriteSingle && (count == 0 || count > kzModbus::MaxCount)) {
        FUZZ_CHECK(result == ResultBadCount && sent.isEmpty());
        return;
    }
    FUZZ_CHECK(!sent.isEmpty() && sent.size() <= qMax(1, attempts));
    FUZZ_CHECK(result == ResultOk || sent.size() == qMax(1, attempts));
    const QByteArray request = expectedRequest(slave, function, address, count, value, writeValues);
    for (const QByteArray &frame : sent)
        FUZZ_CHECK(frame == request);
    if (result == ResultTimeout)
        return;

    quint16 readBuffer[kzModbus::MaxCount];
    master.copyFromReadBuffer(readBuffer, kzModbus::MaxCount);
    const int replyBytes = function == kzModbus::FuncRead ? 2 * count + 5 : 8;
    bool justified = false;
    for (int start = 0; start + 2 <= received.size() && !justified; ++start) {
        const quint8 from = quint8(received[start]);
        const quint8 code = quint8(received[start + 1]);
        const int length = code == function ? replyBytes : ExceptionBytes;
        if ((code != function && code != (function | 0x80)) || start + length > received.size() ||
            !crcGood(received, start, length))
            continue;
        if (result == ResultWrongSlave) {
            justified = from != slave;
        } else if (from != slave) {
            continue;
        } else if (code != function) {
            justified = result == ResultWrongFunction + quint8(received[start + 2]);
        } else if (result == ResultOk) {
            justified = true;
            if (function == kzModbus::FuncRead) {
                for (int i = 0; i < count; ++i)
                    justified &= readBuffer[i] == wordAt(received, start + 3 + 2 * i);
            } else if (function == kzModbus::FuncWriteSingle) {
                justified = readBuffer[0] == wordAt(received, start + 4);
            }
        }
    }
    FUZZ_CHECK(justified);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    kzModbus master;
    master.setResponseTimeout(0);
    master.setFrameGap(0);
    quint16 writeValues[kzModbus::MaxCount];
    for (int i = 0; i < kzModbus::MaxCount; ++i)
        writeValues[i] = quint16(0x1234 + 0x0101 * i);
    master.copyToWriteBuffer(writeValues, kzModbus::MaxCount);
    for (int i = 0; i < 4 && (i == 0 || !in.atEnd()); ++i)
        runRequest(master, in, writeValues);
    return 0;
}
