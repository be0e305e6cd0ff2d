// The Modbus master against scripted and virtual slaves: request frames, the
// reply assembler fed byte by byte, result codes and retries; then the
// virtual instrument and its pty runner, which the other tests rely on.

#include "instrumentthread.h"
#include "modbus/kzmodbus.h"
#include "virtualbus.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QThread>
#include <QtTest>

#include <atomic>
#include <climits>
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

quint16 masterCrc(const QByteArray &bytes)
{
    return kzModbus::crc16(reinterpret_cast<const quint8 *>(bytes.constData()),
                           quint16(bytes.size()));
}

QString firstReply(VirtualBus &bus, const QByteArray &request)
{
    const auto replies = bus.feed(request);
    return replies.size() == 1 ? replies.first().bytes.toHex(' ') : QStringLiteral("none");
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
    void crc();
    void transaction_data();
    void transaction();
    void abortEndsWaitingRequest();
    void instrumentReplies_data();
    void instrumentReplies();
    void saveMovesAddressAndRestoreComesBack();
    void busRouting();
    void ptyServing();
};

void TestModbus::crc()
{
    QCOMPARE(masterCrc("123456789"), quint16(0x4B37));
    QCOMPARE(VirtualInstrument::crc16("123456789", 9), quint16(0x4B37));
    QCOMPARE(framed("01 33 0000 0002").toHex(' '), QByteArray("01 33 00 00 00 02 84 0f"));
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
void TestModbus::transaction_data()
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
    row("write several 0", "01 40 002A 0000", silent, {}, 1, badCount, 0);
    row("write several 126", "01 40 002A 007E", silent, {}, 1, badCount, 0);
    row("write one command", "01 36 5001 FF00", silent, {}, 1, timeout, 1);
    row("attemptCount 0 makes one attempt", identity, silent, {}, 0, timeout, 1);

    row("reply byte by byte", identity, none, {}, 3, 0, 1);
    row(
        "reply joined to another", identity, none, [](int, const QByteArray &r) { return r + r; },
        3, 0, 1);
    row(
        "foreign function dropped at its second byte", identity, none,
        [](int, const QByteArray &r) { return hex("01 03") + r; }, 1, 0, 1);
    row(
        "310 bytes of noise, then the reply", identity, none,
        [](int, const QByteArray &r) { return hex("01 33") + QByteArray(308, '\xAA') + r; }, 1, 0,
        1);
    row("exception 2 on every attempt", identity, fault([](auto &f) { f.exceptionCode = 2; }), {},
        3, 7, 3);
    row("reply from slave 2", identity, fault([](auto &f) { f.replyFromAddress = 2; }), {}, 3,
        ResultWrongSlave, 3);
    row("bad CRC grows into a timeout", identity, fault([](auto &f) { f.badCrc = true; }), {}, 2,
        timeout, 2);
    row("truncated reply", identity, fault([](auto &f) { f.truncated = true; }), {}, 1, timeout, 1);
    row(
        "late half reply cleared by the next attempt", identity, none,
        [](int attempt, const QByteArray &r) { return attempt == 0 ? r.left(5) : r; }, 2, 0, 2);
    row(
        "retry after an exception", identity, none,
        [=](int attempt, const QByteArray &r) { return attempt == 0 ? exception2 : r; }, 3, 0, 2);
    // The trailing two bytes are the CRC of the whole exception reply, so the
    // frame checks out twice; the spare release must not answer the retry.
    row(
        "a frame completing twice", identity, none,
        [=](int attempt, const QByteArray &r) {
            return attempt == 0 ? VirtualInstrument::withCrc(exception2) : r;
        },
        2, 0, 2);
    row(
        "the last attempt decides", identity, none,
        [=](int attempt, const QByteArray &) { return attempt == 0 ? exception2 : QByteArray(); },
        2, timeout, 2);
}

void TestModbus::transaction()
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
        QCOMPARE(line.frames.first().toHex(' '), VirtualInstrument::withCrc(request).toHex(' '));
    if (expectedResult == ResultOk) {
        quint16 read[2] = {};
        master.copyFromReadBuffer(read, 2);
        QCOMPARE(read[0], VirtualInstrument::FeatureCode);
        QCOMPARE(read[1], VirtualInstrument::DefaultFirmware);
    }
}

void TestModbus::abortEndsWaitingRequest()
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

void TestModbus::instrumentReplies_data()
{
    QTest::addColumn<bool>("unlock");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("expectedReply");
    QTest::newRow("identity") << false << hex("01 33 0000 0002") << hex("01 33 04 0058 000C");
    QTest::newRow("read past 318") << false << hex("01 33 013E 0002") << hex("01 B3 02");
    QTest::newRow("read 126 registers") << false << hex("01 33 0000 007E") << hex("01 B3 03");
    QTest::newRow("unknown function") << false << hex("01 03 0000 0001") << hex("01 83 01");
    QTest::newRow("write a measured register") << true << hex("01 36 000A 0001") << hex("01 B6 02");
    QTest::newRow("write without password") << false << hex("01 36 002D 0003") << hex("01 B6 04");
    QTest::newRow("write a setting") << true << hex("01 36 002D 0003") << hex("01 36 002D 0003");
    QTest::newRow("write several into 0..41")
        << true << hex("01 40 0028 0002 04 0001 0002") << hex("01 C0 02");
    QTest::newRow("write several settings")
        << true << hex("01 40 002A 0002 04 0001 0003") << hex("01 40 002A 0002");
}

void TestModbus::instrumentReplies()
{
    QFETCH(bool, unlock);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, expectedReply);

    VirtualBus bus;
    bus.add(1);
    if (unlock)
        bus.feed(framed("01 40 5000 0001 02 0071"));
    QCOMPARE(firstReply(bus, VirtualInstrument::withCrc(request)),
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
    QCOMPARE(firstReply(bus, framed("05 33 002A 0001")), framed("05 33 02 0005").toHex(' '));
    QCOMPARE(bus.with(5,
                      [](VirtualInstrument &i) {
                          return QList<int>{i.lastCommandValue, i.userImage().value(0),
                                            i.factoryImage().value(0)};
                      }),
             (QList<int>{10, 5, 1}));

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

    QVERIFY(firstReply(bus, framed("02 33 0000 0001")).startsWith("02 33"));
    QCOMPARE(bus.with(1, [](VirtualInstrument &i) { return i.requestCount; }), 0);

    // Noise ahead and a frame split over two reads still make one request.
    const QByteArray request = framed("01 33 0000 0002");
    QVERIFY(bus.feed(hex("AA 17") + request.left(3)).isEmpty());
    QCOMPARE(firstReply(bus, request.mid(3)), identityReply.toHex(' '));

    // An instrument set to 9600 baud hears nothing on a 19200 baud line.
    QVERIFY(bus.feed(request, 19200).isEmpty());
    QCOMPARE(bus.feed(request, 9600).size(), 1);

    bus.with(1, [](VirtualInstrument &i) { i.faults.delayMs = 250; });
    QCOMPARE(bus.feed(request).value(0).delayMs, 250);
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

// The pty runner paces its replies to the line's baud rate and hears only
// noise at any other rate.
void TestModbus::ptyServing()
{
    const QByteArray request = framed("01 33 0000 0002");
    InstrumentThread instrument({1});
    instrument.setPaced(true);
    instrument.bus().with(1, [](VirtualInstrument &i) {
        QVector<quint16> image = i.userImage();
        image[43 - VirtualInstrument::FirstParam] = 0; // 1200 baud: the pacing is measurable
        i.setImages(image, i.factoryImage());
    });
    QVERIFY2(instrument.start(), qPrintable(instrument.errorString()));
    const int fd =
        ::open(QFile::encodeName(instrument.portPath()).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    QVERIFY(fd >= 0);
    QVERIFY(setSpeed(fd, B1200));

    QElapsedTimer clock;
    clock.start();
    QCOMPARE(::write(fd, request.constData(), size_t(request.size())), ssize_t(request.size()));
    QCOMPARE(readPort(fd, identityReply.size(), 5000).toHex(' '), identityReply.toHex(' '));
    // nine bytes of ten bits at 1200 baud take 75 ms
    QVERIFY2(clock.elapsed() >= 60, qPrintable(QString::number(clock.elapsed())));

    QVERIFY(setSpeed(fd, B19200));
    QCOMPARE(::write(fd, request.constData(), size_t(request.size())), ssize_t(request.size()));
    QVERIFY(readPort(fd, 1, 200).isEmpty());
    QCOMPARE(instrument.bus().with(1, [](VirtualInstrument &i) { return i.requestCount; }), 1);
    ::close(fd);
}

QTEST_GUILESS_MAIN(TestModbus)
#include "test_modbus.moc"
