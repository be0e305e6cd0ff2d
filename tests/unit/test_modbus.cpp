// The Modbus master against scripted and virtual slaves: request frames, the
// reply assembler fed byte by byte, result codes and retries; then the
// virtual instrument and its pty runner, which the other tests rely on.

#include "instrumentthread.h"
#include "modbus/kzmodbus.h"
#include "ptypair.h"
#include "virtualbus.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

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

const QByteArray identityReply = framed("01 33 04 0058 000C"); // feature code, firmware 12

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
    std::atomic<int> result{-1};
    std::atomic<bool> done{false};
    std::unique_ptr<QThread> worker(QThread::create([&] {
        result.store(request());
        done.store(true, std::memory_order_release);
    }));
    worker->start();
    const bool ended =
        QTest::qWaitFor([&] { return done.load(std::memory_order_acquire); }, timeoutMs);
    if (!ended)
        return -1;
    worker->wait();
    return result.load();
}

class TestModbus : public QObject
{
    Q_OBJECT

private slots:
    void crc_data();
    void crc();
    void requestFrames_data();
    void requestFrames();
    void assembler_data();
    void assembler();
    void abortEndsWaitingRequest();
    void instrumentReplies_data();
    void instrumentReplies();
    void saveMovesAddressAndRestoreComesBack();
    void busRouting();
    void ptyServing();
};

void TestModbus::crc_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("expected");
    QTest::newRow("nothing") << QByteArray() << 0xFFFF;
    QTest::newRow("check value") << QByteArray("123456789") << 0x4B37;
    QTest::newRow("read request") << hex("01 33 00 00 00 02") << 0x0F84;
}

void TestModbus::crc()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, expected);
    QCOMPARE(int(kzModbus::crc16(reinterpret_cast<const quint8 *>(bytes.constData()),
                                 quint16(bytes.size()))),
             expected);
    QCOMPARE(int(VirtualInstrument::crc16(bytes.constData(), bytes.size())), expected);

    // Table-driven and bit-wise code must agree on any data, every table entry included.
    QByteArray noise(300, 0);
    for (int round = 0; round < 50; ++round) {
        for (char &c : noise)
            c = char(QRandomGenerator::global()->bounded(256));
        QCOMPARE(kzModbus::crc16(reinterpret_cast<const quint8 *>(noise.constData()), 300),
                 VirtualInstrument::crc16(noise.constData(), 300));
    }
}

void TestModbus::requestFrames_data()
{
    QTest::addColumn<int>("function");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("countOrValue");
    QTest::addColumn<QByteArray>("expectedFrame"); // empty: nothing may be sent
    QTest::addColumn<int>("expectedResult");
    const int timeout = ResultTimeout; // nobody answers these
    QTest::newRow("read 0..1") << 0x33 << 0 << 2 << hex("01 33 00 00 00 02 84 0F") << timeout;
    QTest::newRow("read 125") << 0x33 << 0 << 125 << framed("01 33 00 00 00 7D") << timeout;
    QTest::newRow("read 0") << 0x33 << 0 << 0 << QByteArray() << int(ResultBadCount);
    QTest::newRow("read 126") << 0x33 << 0 << 126 << QByteArray() << int(ResultBadCount);
    QTest::newRow("write several to the access register")
        << 0x40 << 0x5000 << 1 << framed("01 40 50 00 00 01 02 12 34") << timeout;
    QTest::newRow("write several 0") << 0x40 << 42 << 0 << QByteArray() << int(ResultBadCount);
    QTest::newRow("write several 126") << 0x40 << 42 << 126 << QByteArray() << int(ResultBadCount);
    QTest::newRow("write one command")
        << 0x36 << 0x5001 << 0xFF00 << framed("01 36 50 01 FF 00") << timeout;
}

void TestModbus::requestFrames()
{
    QFETCH(int, function);
    QFETCH(int, address);
    QFETCH(int, countOrValue);
    QFETCH(QByteArray, expectedFrame);
    QFETCH(int, expectedResult);

    kzModbus master;
    VirtualBus nobody;
    Line line(master, nobody);
    master.setAttemptCount(1);
    master.setResponseTimeout(20);
    const quint16 values[2] = {0x1234, 0x5678};
    master.copyToWriteBuffer(values, 2);

    const int result = inWorker([&] {
        if (function == 0x33)
            return master.readRegisters(quint16(address), quint16(countOrValue));
        if (function == 0x36)
            return master.writeSingleRegister(quint16(address), quint16(countOrValue));
        return master.writeMultipleRegisters(quint16(address), quint16(countOrValue));
    });
    QCOMPARE(result, expectedResult);
    QCoreApplication::processEvents(); // a stray frame would be delivered now
    if (expectedFrame.isEmpty()) {
        QVERIFY(line.frames.isEmpty());
    } else {
        QCOMPARE(line.frames.size(), 1);
        QCOMPARE(line.frames.first().toHex(' '), expectedFrame.toHex(' '));
    }
}

void TestModbus::assembler_data()
{
    QTest::addColumn<VirtualInstrument::Faults>("faults");
    QTest::addColumn<Script>("script");
    QTest::addColumn<int>("attempts");
    QTest::addColumn<int>("expectedResult");
    QTest::addColumn<int>("expectedSends");

    const VirtualInstrument::Faults none;
    const Script asIs;
    auto fault = [](auto set) {
        VirtualInstrument::Faults f;
        set(f);
        return f;
    };
    const QByteArray exception2 = framed("01 B3 02");

    QTest::newRow("reply byte by byte") << none << asIs << 3 << 0 << 1;
    QTest::newRow("reply joined to another")
        << none << Script([](int, const QByteArray &r) { return r + r; }) << 3 << 0 << 1;
    QTest::newRow("foreign function dropped at its second byte")
        << none << Script([](int, const QByteArray &r) { return hex("01 03") + r; }) << 1 << 0 << 1;
    QTest::newRow("310 bytes of noise, then the reply")
        << none << Script([](int, const QByteArray &r) {
               return hex("01 33") + QByteArray(308, '\xAA') + r;
           })
        << 1 << 0 << 1;
    QTest::newRow("exception 2 on every attempt")
        << fault([](auto &f) { f.exceptionCode = 2; }) << asIs << 3 << 7 << 3;
    QTest::newRow("reply from slave 2") << fault([](auto &f) { f.replyFromAddress = 2; }) << asIs
                                        << 3 << int(ResultWrongSlave) << 3;
    QTest::newRow("bad CRC grows into a timeout")
        << fault([](auto &f) { f.badCrc = true; }) << asIs << 2 << int(ResultTimeout) << 2;
    QTest::newRow("truncated reply")
        << fault([](auto &f) { f.truncated = true; }) << asIs << 1 << int(ResultTimeout) << 1;
    QTest::newRow("attemptCount 0 makes one attempt")
        << fault([](auto &f) { f.silent = true; }) << asIs << 0 << int(ResultTimeout) << 1;
    QTest::newRow("late half reply cleared by the next attempt")
        << none
        << Script([](int attempt, const QByteArray &r) { return attempt == 0 ? r.left(5) : r; })
        << 2 << 0 << 2;
    QTest::newRow("retry after an exception")
        << none
        << Script([=](int attempt, const QByteArray &r) { return attempt == 0 ? exception2 : r; })
        << 3 << 0 << 2;
    // The trailing two bytes are the CRC of the whole exception reply, so the
    // frame checks out twice; the spare release must not answer the retry.
    QTest::newRow("a frame completing twice")
        << none << Script([=](int attempt, const QByteArray &r) {
               return attempt == 0 ? VirtualInstrument::withCrc(exception2) : r;
           })
        << 2 << 0 << 2;
    QTest::newRow("the last attempt decides")
        << none << Script([=](int attempt, const QByteArray &) {
               return attempt == 0 ? exception2 : QByteArray();
           })
        << 2 << int(ResultTimeout) << 2;
}

void TestModbus::assembler()
{
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

    QCOMPARE(inWorker([&] { return master.readRegisters(0, 2); }), expectedResult);
    QCOMPARE(line.frames.size(), expectedSends);
    if (expectedResult == ResultOk) {
        quint16 values[2] = {};
        master.copyFromReadBuffer(values, 2);
        QCOMPARE(values[0], VirtualInstrument::FeatureCode);
        QCOMPARE(values[1], VirtualInstrument::DefaultFirmware);
    }
}

void TestModbus::abortEndsWaitingRequest()
{
    kzModbus master;
    VirtualBus bus;
    bus.add(1).faults.silent = true;
    Line line(master, bus);
    master.setResponseTimeout(30000);

    std::atomic<int> result{-1};
    std::unique_ptr<QThread> worker(
        QThread::create([&] { result.store(master.readRegisters(0, 2)); }));
    worker->start();
    QTRY_COMPARE(line.frames.size(), 1);
    master.abort();
    QVERIFY(worker->wait(5000));
    QCOMPARE(result.load(), int(ResultTimeout));

    QCOMPARE(inWorker([&] { return master.writeSingleRegister(0x5001, 10); }, 5000),
             int(ResultTimeout));
    QCoreApplication::processEvents();
    QCOMPARE(line.frames.size(), 1);
}

void TestModbus::instrumentReplies_data()
{
    QTest::addColumn<bool>("unlock");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("expectedReply");
    QTest::newRow("identity") << false << hex("01 33 0000 0002") << hex("01 33 04 0058 000C");
    QTest::newRow("read past 318") << false << hex("01 33 013E 0002") << hex("01 B3 02");
    QTest::newRow("read 0 registers") << false << hex("01 33 0000 0000") << hex("01 B3 03");
    QTest::newRow("read 126 registers") << false << hex("01 33 0000 007E") << hex("01 B3 03");
    QTest::newRow("unknown function") << false << hex("01 03 0000 0001") << hex("01 83 01");
    QTest::newRow("write a measured register") << true << hex("01 36 000A 0001") << hex("01 B6 02");
    QTest::newRow("write without password") << false << hex("01 36 002D 0003") << hex("01 B6 04");
    QTest::newRow("write a setting") << true << hex("01 36 002D 0003") << hex("01 36 002D 0003");
    QTest::newRow("write several into 0..41")
        << true << hex("01 40 0028 0002 04 0001 0002") << hex("01 C0 02");
    QTest::newRow("write several settings")
        << true << hex("01 40 002A 0002 04 0001 0003") << hex("01 40 002A 0002");
    QTest::newRow("unknown command") << true << hex("01 36 5001 0005") << hex("01 B6 03");
}

void TestModbus::instrumentReplies()
{
    QFETCH(bool, unlock);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, expectedReply);

    VirtualBus bus;
    bus.add(1);
    if (unlock) {
        const auto replies = bus.feed(framed("01 40 5000 0001 02 0071"));
        QCOMPARE(replies.size(), 1);
        QCOMPARE(replies.first().bytes.toHex(' '), framed("01 40 5000 0001").toHex(' '));
    }
    const auto replies = bus.feed(VirtualInstrument::withCrc(request));
    QCOMPARE(replies.size(), 1);
    QCOMPARE(replies.first().bytes.toHex(' '),
             VirtualInstrument::withCrc(expectedReply).toHex(' '));
}

void TestModbus::saveMovesAddressAndRestoreComesBack()
{
    VirtualBus bus;
    bus.add(1).live = false;
    auto answers = [&](const char *request) { return bus.feed(framed(request)).size(); };

    QCOMPARE(answers("01 40 5000 0001 02 0071"), 1);
    QCOMPARE(answers("01 36 002A 0005"), 1); // address setting 5, not yet in force
    QCOMPARE(answers("05 33 0000 0001"), 0);
    QCOMPARE(answers("01 36 5001 000A"), 1); // user save, answered from the old address
    QCOMPARE(answers("01 33 0000 0001"), 0);
    const auto replies = bus.feed(framed("05 33 002A 0001"));
    QCOMPARE(replies.size(), 1);
    QCOMPARE(replies.first().bytes.toHex(' '), framed("05 33 02 0005").toHex(' '));
    QCOMPARE(bus.with(5, [](VirtualInstrument &i) { return i.lastCommandValue; }), 10);
    QCOMPARE(bus.with(5, [](VirtualInstrument &i) { return i.userImage().value(0); }), 5);
    QCOMPARE(bus.with(5, [](VirtualInstrument &i) { return i.factoryImage().value(0); }), 1);

    QCOMPARE(answers("05 36 5001 FF00"), 1); // restore factory: back to address 1
    QVERIFY(!bus.has(5));
    QCOMPARE(bus.with(1, [](VirtualInstrument &i) { return i.reg(42) + i.userImage().value(0); }),
             2);
    QCOMPARE(bus.with(1, [](VirtualInstrument &i) { return i.writeRequestCount; }), 3);
}

void TestModbus::busRouting()
{
    VirtualBus bus;
    bus.add(1);
    bus.add(2);

    auto replies = bus.feed(framed("02 33 0000 0001"));
    QCOMPARE(replies.size(), 1);
    QCOMPARE(quint8(replies.first().bytes.at(0)), quint8(2));
    QCOMPARE(bus.with(1, [](VirtualInstrument &i) { return i.requestCount; }), 0);

    // Broadcast: both act, neither answers.
    QVERIFY(bus.feed(framed("00 40 5000 0001 02 0071")).isEmpty());
    QVERIFY(bus.feed(framed("00 36 002D 0004")).isEmpty());
    QCOMPARE(bus.with(1, [](VirtualInstrument &i) { return i.reg(45); }), quint16(4));
    QCOMPARE(bus.with(2, [](VirtualInstrument &i) { return i.reg(45); }), quint16(4));

    // Noise ahead and a frame split over two reads still make one request.
    const QByteArray request = framed("01 33 0000 0002");
    QVERIFY(bus.feed(hex("AA 17") + request.left(3)).isEmpty());
    replies = bus.feed(request.mid(3));
    QCOMPARE(replies.size(), 1);
    QCOMPARE(replies.first().bytes.toHex(' '), identityReply.toHex(' '));

    // An instrument set to 9600 baud hears nothing on a 19200 baud line.
    QVERIFY(bus.feed(request, 19200).isEmpty());
    QCOMPARE(bus.feed(request, 9600).size(), 1);

    bus.with(1, [](VirtualInstrument &i) { i.faults.delayMs = 250; });
    replies = bus.feed(request);
    QCOMPARE(replies.size(), 1);
    QCOMPARE(replies.first().delayMs, 250);
}

static bool setSpeed(int fd, speed_t speed)
{
    termios tio;
    if (::tcgetattr(fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, speed);
    ::cfsetospeed(&tio, speed);
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

// Reads until `size` bytes came or the time is up.
static QByteArray readPort(int fd, int size, int timeoutMs)
{
    QByteArray bytes;
    QElapsedTimer clock;
    clock.start();
    while (bytes.size() < size && clock.elapsed() < timeoutMs) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, int(timeoutMs - clock.elapsed())) <= 0)
            continue;
        char buffer[64];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0)
            bytes.append(buffer, int(n));
    }
    return bytes;
}

void TestModbus::ptyServing()
{
    const QByteArray request = framed("01 33 0000 0002");
    for (bool paced : {false, true}) {
        InstrumentThread instrument({1});
        instrument.setPaced(paced);
        if (paced) { // slow line, so the pacing is measurable
            instrument.bus().with(1, [](VirtualInstrument &i) {
                QVector<quint16> image = i.userImage();
                image[43 - VirtualInstrument::FirstParam] = 0; // 1200 baud
                i.setImages(image, i.factoryImage());
            });
        }
        QVERIFY2(instrument.start(), qPrintable(instrument.errorString()));
        const int fd = ::open(QFile::encodeName(instrument.portPath()).constData(),
                              O_RDWR | O_NOCTTY | O_CLOEXEC);
        QVERIFY(fd >= 0);
        QVERIFY(setSpeed(fd, paced ? B1200 : B9600));

        QElapsedTimer clock;
        clock.start();
        QCOMPARE(::write(fd, request.constData(), size_t(request.size())), ssize_t(request.size()));
        const QByteArray reply = readPort(fd, identityReply.size(), 5000);
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(reply.toHex(' '), identityReply.toHex(' '));
        if (paced) // nine bytes of ten bits at 1200 baud take 75 ms
            QVERIFY2(elapsed >= 60, qPrintable(QString::number(elapsed)));

        // At another baud rate the instrument hears only noise.
        QVERIFY(setSpeed(fd, B19200));
        QCOMPARE(::write(fd, request.constData(), size_t(request.size())), ssize_t(request.size()));
        QVERIFY(readPort(fd, 1, 200).isEmpty());
        QCOMPARE(instrument.bus().with(1, [](VirtualInstrument &i) { return i.requestCount; }), 1);
        ::close(fd);
    }

    PtyPair pair;
    QVERIFY(pair.isOpen());
    const int fd = ::open(QFile::encodeName(pair.slavePath()).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    QVERIFY(setSpeed(fd, B38400));
    QCOMPARE(pair.slaveBaud(), 38400);
    QCOMPARE(::write(fd, request.constData(), size_t(request.size())), ssize_t(request.size()));
    QCOMPARE(pair.readMaster(2000).toHex(' '), request.toHex(' '));
    QVERIFY(pair.writeMaster(identityReply));
    QCOMPARE(readPort(fd, identityReply.size(), 2000).toHex(' '), identityReply.toHex(' '));
    ::close(fd);
}

QTEST_GUILESS_MAIN(TestModbus)
#include "test_modbus.moc"
