// The virtual instrument's stricter knobs, at the level of its engine: line
// pacing, the busy time after a save, the lapsing password and two
// instruments answering at one address.

#include "instrumentthread.h"
#include "ptyrunner.h"
#include "virtualbus.h"

#include <QElapsedTimer>
#include <QFile>
#include <QtTest>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {

QByteArray frame(const char *hexBody)
{
    return VirtualInstrument::withCrc(QByteArray::fromHex(hexBody));
}

// Makes the instrument's parity code effective, as a save and a restart would.
void setParity(VirtualInstrument &instrument, quint16 parityCode)
{
    QVector<quint16> user = instrument.userImage();
    user[44 - VirtualInstrument::FirstParam] = parityCode;
    QVERIFY(instrument.setImages(user, instrument.factoryImage()));
}

} // namespace

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    // A paced runner holds a reply until its request would have arrived on a
    // real line, then hands the reply over at the line rate, 11 bits a
    // character with parity.
    void pacing_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("replyBytes");
        QTest::addColumn<quint16>("parity");
        QByteArray write100 = QByteArray::fromHex("01 40 002A 0064 C8");
        write100.append(200, '\0');
        QTest::newRow("long request, even parity")
            << VirtualInstrument::withCrc(write100) << 5 << quint16(2);
        QTest::newRow("long reply, odd parity") << frame("01 33 0000 007D") << 255 << quint16(1);
    }

    void pacing()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, replyBytes);
        QFETCH(quint16, parity);
        InstrumentThread instrument;
        instrument.setPaced(true);
        instrument.bus().with(1, [&](VirtualInstrument &i) { setParity(i, parity); });
        QVERIFY2(instrument.start(), qPrintable(instrument.errorString()));
        const int fd = ::open(QFile::encodeName(instrument.portPath()).constData(),
                              O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(fd >= 0);
        QVERIFY(PtyRunner::makeRaw(fd)); // 9600 baud

        QElapsedTimer clock;
        clock.start();
        QCOMPARE(::write(fd, request.constData(), size_t(request.size())), ssize_t(request.size()));
        QByteArray reply;
        while (reply.size() < replyBytes && clock.elapsed() < 5000) {
            pollfd pfd{fd, POLLIN, 0};
            if (::poll(&pfd, 1, 100) > 0) {
                char bytes[512];
                const ssize_t n = ::read(fd, bytes, sizeof bytes);
                if (n > 0)
                    reply.append(bytes, int(n));
            }
        }
        const qint64 elapsedMs = clock.elapsed();
        ::close(fd);
        QCOMPARE(reply.size(), replyBytes);
        const qint64 lineMs = (request.size() + replyBytes) * 11 * 1000 / 9600;
        QVERIFY2(
            elapsedMs >= lineMs,
            qPrintable(QStringLiteral("%1 ms, the line needs %2 ms").arg(elapsedMs).arg(lineMs)));
    }

    // After a save or a restore the board stores to flash and hears nothing for
    // a while; the command itself is still acknowledged.
    void busyAfterSave_data()
    {
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("user save") << frame("01 36 5001 000A");
        QTest::newRow("factory save") << frame("01 36 5001 005A");
        QTest::newRow("restore") << frame("01 36 5001 FF00");
    }

    void busyAfterSave()
    {
        QFETCH(QByteArray, command);
        VirtualBus bus;
        VirtualInstrument &instrument = bus.add(1);
        qint64 now = 0;
        instrument.clock = [&now] { return now; };
        instrument.timing.busyAfterSaveMs = 500;
        QCOMPARE(bus.feed(frame("01 40 5000 0001 02 0071")).size(), 1);
        QCOMPARE(bus.feed(command).size(), 1);
        now += 499;
        QVERIFY(bus.feed(frame("01 33 0000 0001")).isEmpty());
        QVERIFY(bus.feed(frame("01 36 002D 0003")).isEmpty()); // not carried out either
        now += 1;
        QCOMPARE(bus.feed(frame("01 33 002D 0001")).value(0).bytes, frame("01 33 02 0002"));
    }

    // The access password lapses after a quiet spell; any request keeps it.
    // Exception 4 for a locked write is this simulator's guess, as in test_modbus.
    void passwordLapse()
    {
        VirtualBus bus;
        VirtualInstrument &instrument = bus.add(1);
        qint64 now = 0;
        instrument.clock = [&now] { return now; };
        instrument.timing.passwordLapseMs = 1000;
        const QByteArray write = frame("01 36 002D 0003");
        QCOMPARE(bus.feed(frame("01 40 5000 0001 02 0071")).size(), 1);
        now += 999;
        QCOMPARE(bus.feed(frame("01 33 0000 0001")).size(), 1);
        now += 999;
        QCOMPARE(bus.feed(write).value(0).bytes, write);
        now += 1000;
        QCOMPARE(bus.feed(write).value(0).bytes, frame("01 B6 04"));
    }

    // Faults for the parameter registers only: the poll's requests (identity,
    // access register, measurements) are answered as ever, a parameter request
    // gets the exception late and in two pieces, and the count before the
    // silence takes only parameter requests.
    void faultsOnParametersOnly()
    {
        VirtualBus bus;
        VirtualInstrument &instrument = bus.add(1);
        instrument.live = false;
        instrument.faults.paramsOnly = true;
        instrument.faults.exceptionCode = 2;
        instrument.faults.exceptionFunction = 0x33;
        instrument.faults.delayMs = 500;
        instrument.faults.splitPauseMs = 50;
        instrument.faults.silentAfter = 1;
        for (const char *poll : {"01 33 0000 0002", "01 40 5000 0001 02 0071", "01 33 0000 002A"}) {
            const QVector<VirtualBus::Reply> replies = bus.feed(frame(poll));
            QCOMPARE(replies.size(), 1);
            QCOMPARE(replies.first().delayMs, 0);
            QVERIFY(quint8(replies.first().bytes.at(1)) < 0x80);
        }
        const QVector<VirtualBus::Reply> pieces = bus.feed(frame("01 33 002A 0001"));
        QCOMPARE(pieces.size(), 2);
        QCOMPARE(pieces[0].bytes + pieces[1].bytes, frame("01 B3 02"));
        QCOMPARE(pieces[0].delayMs, 500);
        QCOMPARE(pieces[1].delayMs, 550);
        QCOMPARE(bus.feed(frame("01 36 5001 000A")).size(), 0); // falls silent here
        QCOMPARE(bus.feed(frame("01 33 0000 0002")).size(), 0);
        QCOMPARE(instrument.lastCommandValue, -1);
    }

    // Two instruments at one address both answer; the line carries their
    // collision, which no master may take for a reply.
    void twins_data()
    {
        QTest::addColumn<bool>("bySave");
        QTest::newRow("twin added, replies alike") << false;
        QTest::newRow("a save moves onto a taken address") << true;
    }

    void twins()
    {
        QFETCH(bool, bySave);
        VirtualBus bus;
        if (bySave) {
            bus.add(1);
            bus.add(7);
            for (const char *request :
                 {"01 40 5000 0001 02 0071", "01 36 002A 0007", "01 36 5001 000A"})
                QCOMPARE(bus.feed(frame(request)).size(), 1);
            QCOMPARE(bus.addresses(), (QList<quint8>{7, 7}));
        } else {
            bus.add(7);
            bus.addTwin(7);
        }
        bus.forEach([](VirtualInstrument &i) { i.live = false; });
        const QByteArray alone = frame("07 33 04 0058 000C");
        const QVector<VirtualBus::Reply> replies = bus.feed(frame("07 33 0000 0002"));
        QCOMPARE(replies.size(), 1);
        const QByteArray line = replies.first().bytes;
        QVERIFY(line != alone);
        QVERIFY(line.size() >= alone.size());
        const int body = line.size() - 2;
        QVERIFY(VirtualInstrument::crc16(line.constData(), body) !=
                quint16(quint8(line.at(body)) | quint8(line.at(body + 1)) << 8));

        bus.remove(7);
        QCOMPARE(bus.feed(frame("07 33 0000 0002")).value(0).bytes, alone);
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "test_sim.moc"
