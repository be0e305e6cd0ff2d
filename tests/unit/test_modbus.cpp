// The Modbus master against scripted and virtual slaves: request frames, the
// reply assembler fed byte by byte, result codes and retries; then the
// virtual instrument the other tests rely on.

#include "modbus/kzmodbus.h"
#include "virtualbus.h"

#include <QRandomGenerator>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <climits>
#include <functional>
#include <memory>

using Script = std::function<QByteArray(int attempt, const QByteArray &reply)>;
Q_DECLARE_METATYPE(Script)
Q_DECLARE_METATYPE(VirtualInstrument::Faults)

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(text);
}

// The CRC of the virtual instrument is written independently of the master's.
QByteArray framed(const char *hexBody)
{
    return VirtualInstrument::withCrc(hex(hexBody));
}

quint16 masterCrc(const QByteArray &bytes)
{
    return kzModbus::crc16(reinterpret_cast<const quint8 *>(bytes.constData()),
                           quint16(bytes.size()));
}

} // namespace

// The GUI side of the link: takes each request frame in the test thread,
// lets the bus (or a script) answer and feeds the reply byte by byte.
class Line : public QObject
{
    Q_OBJECT

public:
    Line(kzModbus &master, VirtualBus &bus) : master(master), bus(bus)
    {
        connect(&master, &kzModbus::SendData, this, &Line::onFrame, Qt::QueuedConnection);
    }

    QList<QByteArray> frames;
    Script script;

private slots:
    void onFrame(const QByteArray &frame)
    {
        frames.append(frame);
        QByteArray reply;
        for (const VirtualBus::Reply &r : bus.feed(frame))
            reply += r.bytes;
        if (script)
            reply = script(frames.size() - 1, reply);
        for (char byte : reply)
            master.receiveByte(quint8(byte));
    }

private:
    kzModbus &master;
    VirtualBus &bus;
};

// Runs one blocking request in a worker thread while the test thread serves
// the line. -1 when it did not end in time.
static int inWorker(const std::function<int()> &request, int timeoutMs = 10000)
{
    std::atomic<int> result{INT_MIN};
    std::unique_ptr<QThread> worker(QThread::create([&] { result.store(request()); }));
    worker->start();
    if (!QTest::qWaitFor([&] { return result.load() != INT_MIN; }, timeoutMs))
        return -1;
    worker->wait();
    return result.load();
}

class TestModbus : public QObject
{
    Q_OBJECT

private slots:
    void crc()
    {
        QCOMPARE(masterCrc("123456789"), quint16(0x4B37));
        QCOMPARE(VirtualInstrument::crc16("123456789", 9), quint16(0x4B37));
        // Table-driven and bit-wise code must agree on any data, every table entry included.
        QByteArray noise(300, 0);
        for (int round = 0; round < 50; ++round) {
            for (char &c : noise)
                c = char(QRandomGenerator::global()->bounded(256));
            QCOMPARE(masterCrc(noise), VirtualInstrument::crc16(noise.constData(), 300));
        }
    }

    // One request against a slave that misbehaves as told, its reply then passed
    // through the script before the master sees it byte by byte.
    void transaction_data()
    {
        QTest::addColumn<QByteArray>("request"); // the frame the master must send, without CRC
        QTest::addColumn<VirtualInstrument::Faults>("faults");
        QTest::addColumn<Script>("script");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<int>("expectedResult");
        QTest::addColumn<int>("expectedSends");

        const auto row = [](const char *name, const char *request, VirtualInstrument::Faults faults,
                            Script script, int attempts, int result, int sends) {
            QTest::newRow(name) << hex(request) << faults << script << attempts << result << sends;
        };
        auto fault = [](auto set) {
            VirtualInstrument::Faults f;
            set(f);
            return f;
        };
        const VirtualInstrument::Faults none;
        const auto silent = fault([](auto &f) { f.silent = true; });
        const int timeout = ResultTimeout, badCount = ResultBadCount;
        const char *identity = "01 33 0000 0002";
        const QByteArray exception2 = framed("01 B3 02");

        row("read 125", "01 33 0000 007D", silent, {}, 1, timeout, 1);
        row("read 0", "01 33 0000 0000", silent, {}, 1, badCount, 0);
        row("read 126", "01 33 0000 007E", silent, {}, 1, badCount, 0);
        row("write several, access register", "01 40 5000 0001 02 1234", silent, {}, 1, timeout, 1);
        row("write several 126", "01 40 002A 007E", silent, {}, 1, badCount, 0);
        row("write one command", "01 36 5001 FF00", silent, {}, 1, timeout, 1);
        row("attemptCount 0 makes one attempt", identity, silent, {}, 0, timeout, 1);

        row("reply byte by byte", identity, none, {}, 3, 0, 1);
        row(
            "reply joined to another", identity, none,
            [](int, const QByteArray &r) { return r + r; }, 3, 0, 1);
        row(
            "foreign function dropped at its second byte", identity, none,
            [](int, const QByteArray &r) { return hex("01 03") + r; }, 1, 0, 1);
        // Only a frame of the reply's own length counts: a failed CRC there is
        // not made good by two more bytes, nor is an exception short of five.
        row(
            "bad CRC, then two bytes that make the longer run check out", identity, none,
            [](int, const QByteArray &r) {
                QByteArray corrupt = r;
                corrupt[4] = char(corrupt[4] ^ 0x01);
                return VirtualInstrument::withCrc(corrupt);
            },
            1, timeout, 1);
        row(
            "exception cut short", identity, none,
            [](int, const QByteArray &) { return VirtualInstrument::withCrc(hex("01 B3")); }, 1,
            timeout, 1);
        row(
            "310 bytes of noise, then the reply", identity, none,
            [](int, const QByteArray &r) { return hex("01 33") + QByteArray(308, '\xAA') + r; }, 1,
            0, 1);
        // Noise ahead of the reply must not cost the single attempt of a connected link.
        const auto noise = [](const char *bytes) {
            return [=](int, const QByteArray &r) { return hex(bytes) + r; };
        };
        row("noise byte ahead of the reply", identity,
            fault([](auto &f) { f.garbageBefore = true; }), {}, 1, 0, 1);
        row("noise equal to the slave address", identity, none, noise("01"), 1, 0, 1);
        row("noise like the start of the reply", identity, none, noise("01 33 04"), 1, 0, 1);
        row("noise ahead of an exception", identity, fault([](auto &f) { f.exceptionCode = 2; }),
            noise("FF"), 1, 7, 1);
        row("noise ahead of a bad CRC", identity, fault([](auto &f) {
                f.garbageBefore = true;
                f.badCrc = true;
            }),
            {}, 1, timeout, 1);
        // A late reply to an earlier write is no confirmation of this one.
        const auto only = [](const char *reply) {
            return [=](int, const QByteArray &) { return framed(reply); };
        };
        row("echo of another block", "01 40 002A 0002 04 1234 5678", none, only("01 40 0048 0004"),
            1, timeout, 1);
        row("echo of another command", "01 36 5001 000A", none, only("01 36 5001 005A"), 1, timeout,
            1);
        row("exception 2 on every attempt", identity, fault([](auto &f) { f.exceptionCode = 2; }),
            {}, 3, 7, 3);
        row("reply from slave 2", identity, fault([](auto &f) { f.replyFromAddress = 2; }), {}, 3,
            ResultWrongSlave, 3);
        row("bad CRC grows into a timeout", identity, fault([](auto &f) { f.badCrc = true; }), {},
            2, timeout, 2);
        row(
            "late half reply cleared by the next attempt", identity, none,
            [](int attempt, const QByteArray &r) { return attempt == 0 ? r.left(5) : r; }, 2, 0, 2);
        row(
            "retry after an exception", identity, none,
            [=](int attempt, const QByteArray &r) { return attempt == 0 ? exception2 : r; }, 3, 0,
            2);
        // The trailing two bytes are the CRC of the whole exception reply, so
        // the bytes after it would check out as a frame again; they must not
        // answer the retry.
        row(
            "a frame completing twice", identity, none,
            [=](int attempt, const QByteArray &r) {
                return attempt == 0 ? VirtualInstrument::withCrc(exception2) : r;
            },
            2, 0, 2);
        row(
            "the last attempt decides", identity, none,
            [=](int attempt, const QByteArray &) {
                return attempt == 0 ? exception2 : QByteArray();
            },
            2, timeout, 2);
    }

    void transaction()
    {
        QFETCH(QByteArray, request);
        QFETCH(VirtualInstrument::Faults, faults);
        QFETCH(Script, script);
        QFETCH(int, attempts);
        QFETCH(int, expectedResult);
        QFETCH(int, expectedSends);

        kzModbus master;
        VirtualBus bus;
        bus.add(1).faults = faults;
        Line line(master, bus);
        line.script = script;
        master.setAttemptCount(quint8(attempts));
        master.setResponseTimeout(100);
        const quint16 values[2] = {0x1234, 0x5678};
        master.copyToWriteBuffer(values, 2);

        const auto word = [&](int at) {
            return quint16(quint8(request[at]) << 8 | quint8(request[at + 1]));
        };
        const int result = inWorker([&] {
            if (request.at(1) == 0x33)
                return master.readRegisters(word(2), word(4));
            if (request.at(1) == 0x36)
                return master.writeSingleRegister(word(2), word(4));
            return master.writeMultipleRegisters(word(2), word(4));
        });
        QCOMPARE(result, expectedResult);
        QCoreApplication::processEvents(); // a stray frame would be delivered now
        QCOMPARE(line.frames.size(), expectedSends);
        if (expectedSends > 0)
            QCOMPARE(line.frames.first().toHex(' '),
                     VirtualInstrument::withCrc(request).toHex(' '));
        if (expectedResult == ResultOk) {
            quint16 read[2] = {};
            master.copyFromReadBuffer(read, 2);
            QCOMPARE(read[0], VirtualInstrument::FeatureCode);
            QCOMPARE(read[1], VirtualInstrument::DefaultFirmware);
        }
    }

    void abortEndsWaitingRequest()
    {
        kzModbus master;
        VirtualBus bus;
        bus.add(1).faults.silent = true;
        Line line(master, bus);
        master.setResponseTimeout(30000);
        line.script = [&](int, const QByteArray &) {
            master.abort();
            return QByteArray();
        };
        QCOMPARE(inWorker([&] { return master.readRegisters(0, 2); }, 5000), int(ResultTimeout));
        // Once aborted, nothing more goes out.
        QCOMPARE(inWorker([&] { return master.writeSingleRegister(0x5001, 10); }, 5000),
                 int(ResultTimeout));
        QCoreApplication::processEvents();
        QCOMPARE(line.frames.size(), 1);
    }

    // Two instruments answering at once garble the line; the master takes nothing for a reply.
    void collisionRefused()
    {
        kzModbus master;
        VirtualBus bus;
        bus.add(1);
        bus.addTwin(1);
        Line line(master, bus);
        master.setAttemptCount(1);
        master.setResponseTimeout(100);
        QCOMPARE(inWorker([&] { return master.readRegisters(0, 2); }), int(ResultTimeout));
    }

    // The wait for a reply follows the line: the configured timeout is the floor.
    void lineTiming_data()
    {
        QTest::addColumn<int>("configuredMs");
        QTest::addColumn<int>("requestBytes");
        QTest::addColumn<int>("replyBytes");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("expectedMs");
        // 217 characters of 11 bits and a 3.5-character gap: 2021.25 ms on the line.
        QTest::newRow("100 registers written at 1200 baud with parity")
            << 2000 << 209 << 8 << 1200 << 11 << 2022 + kzModbus::TurnaroundMs;
        QTest::newRow("search at 1200 baud")
            << 200 << 8 << 7 << 1200 << 11 << 170 + kzModbus::TurnaroundMs;
        QTest::newRow("search at 9600 keeps the timeout") << 200 << 8 << 7 << 9600 << 10 << 200;
        QTest::newRow("fast line keeps the timeout") << 2000 << 8 << 9 << 38400 << 10 << 2000;
        QTest::newRow("unknown baud rate") << 2000 << 209 << 8 << 0 << 11 << 2000;
    }

    void lineTiming()
    {
        QFETCH(int, configuredMs);
        QFETCH(int, requestBytes);
        QFETCH(int, replyBytes);
        QFETCH(int, baud);
        QFETCH(int, bits);
        QFETCH(int, expectedMs);
        QCOMPARE(kzModbus::effectiveTimeoutMs(configuredMs, requestBytes, replyBytes, baud, bits),
                 expectedMs);
    }

    // The virtual instrument the other tests rely on: its exception codes, and a
    // user save moving it to the new address until a factory restore. A restore
    // that puts the factory address in force at once is this simulator's guess,
    // not documented behaviour of the board.
    void instrument_data()
    {
        QTest::addColumn<QStringList>("before"); // frames sent first, replies ignored
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("expectedReply"); // empty: no reply at all
        const QStringList unlock{"01 40 5000 0001 02 0071"};
        const QStringList saved = unlock + QStringList{"01 36 002A 0005", "01 36 5001 000A"};
        QTest::newRow("read past 318")
            << QStringList() << hex("01 33 013E 0002") << hex("01 B3 02");
        QTest::newRow("read 126") << QStringList() << hex("01 33 0000 007E") << hex("01 B3 03");
        QTest::newRow("unknown function")
            << QStringList() << hex("01 03 0000 0001") << hex("01 83 01");
        QTest::newRow("write measured") << unlock << hex("01 36 000A 0001") << hex("01 B6 02");
        QTest::newRow("write several into 0..41")
            << unlock << hex("01 40 0028 0002 04 0001 0002") << hex("01 C0 02");
        QTest::newRow("address not in force before save")
            << unlock + QStringList{"01 36 002A 0005"} << hex("05 33 0000 0001") << QByteArray();
        QTest::newRow("new address after save")
            << saved << hex("05 33 002A 0001") << hex("05 33 02 0005");
        QTest::newRow("restore goes back to 1") << saved + QStringList{"05 36 5001 FF00"}
                                                << hex("01 33 002A 0001") << hex("01 33 02 0001");
    }

    void instrument()
    {
        QFETCH(QStringList, before);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, expectedReply);
        VirtualBus bus;
        bus.add(1).live = false;
        for (const QString &frame : before)
            QCOMPARE(bus.feed(framed(qPrintable(frame))).size(), 1);
        const auto replies = bus.feed(VirtualInstrument::withCrc(request));
        QCOMPARE(replies.size(), expectedReply.isEmpty() ? 0 : 1);
        if (!expectedReply.isEmpty())
            QCOMPARE(replies.first().bytes.toHex(' '),
                     VirtualInstrument::withCrc(expectedReply).toHex(' '));
    }
};

QTEST_GUILESS_MAIN(TestModbus)
#include "test_modbus.moc"
