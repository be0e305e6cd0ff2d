// SerialLink without a window: the master's frames over a real pty to the
// virtual instrument, the traffic tap, and an adapter pulled out and plugged
// back in under the same name.

#include "instrumentthread.h"
#include "link/seriallink.h"
#include "modbus/kzmodbus.h"
#include "ptypair.h"
#include "virtualinstrument.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <thread>

namespace {

// One request of the master from a thread of its own, as the worker makes it.
class Request
{
public:
    explicit Request(kzModbus &master, quint16 count = 2)
        : thread([this, &master, count] {
              result = master.readRegisters(0, count);
              done = true;
          })
    {
    }
    ~Request() { thread.join(); }

    std::atomic<bool> done{false};
    std::atomic<int> result{-1};

private:
    std::thread thread;
};

} // namespace

class TestSerialLink : public QObject
{
    Q_OBJECT

private slots:
    void pulledOutAndPluggedBackIn()
    {
        qRegisterMetaType<SerialLink::Direction>();
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("adapter"));
        InstrumentThread inst;
        inst.setLinkPath(path);
        QVERIFY2(inst.start(), qPrintable(inst.errorString()));
        kzModbus master;
        master.setResponseTimeout(5000);
        master.setAttemptCount(1);
        SerialLink link;
        link.attach(&master);
        QSignalSpy traffic(&link, &SerialLink::traffic);
        QSignalSpy lost(&link, &SerialLink::portLost);
        QSignalSpy failed(&link, &SerialLink::reopenFailed);
        QSignalSpy reopened(&link, &SerialLink::reopened);
        QVERIFY(link.open(path, 9600, 1));

        // The request goes out whole and its reply comes back, in order of time.
        {
            Request request(master);
            QTRY_VERIFY(request.done);
            QCOMPARE(request.result.load(), int(ResultOk));
        }
        QVERIFY(traffic.size() >= 2);
        QCOMPARE(traffic.at(0).at(0).value<SerialLink::Direction>(),
                 SerialLink::Direction::Written);
        QCOMPARE(traffic.at(0).at(1).toByteArray().toHex(), QByteArray("013300000002840f"));
        QByteArray reply;
        qint64 last = traffic.at(0).at(2).toLongLong();
        for (int i = 1; i < traffic.size(); ++i) {
            QCOMPARE(traffic.at(i).at(0).value<SerialLink::Direction>(),
                     SerialLink::Direction::Received);
            QVERIFY(traffic.at(i).at(2).toLongLong() >= last);
            last = traffic.at(i).at(2).toLongLong();
            reply += traffic.at(i).at(1).toByteArray();
        }
        QCOMPARE(reply.left(5).toHex(), QByteArray("0133040058"));
        QVERIFY(last <= link.elapsedNs());

        // The instrument is silent, so a request waits; pulling the adapter
        // out ends it at once instead of after its 5 s.
        inst.bus().with(1, [](VirtualInstrument &i) { i.faults.silent = true; });
        {
            traffic.clear();
            Request request(master);
            QVERIFY(traffic.wait(1000));
            inst.unplug();
            QVERIFY(lost.wait(1000));
            QVERIFY(!link.isOpen());
            QVERIFY(link.isLost());
            QTRY_VERIFY_WITH_TIMEOUT(request.done, 1000);
            QCOMPARE(request.result.load(), int(ResultTimeout));
        }
        QCOMPARE(lost.size(), 1);

        // Nothing comes back: the waiting ends after its limit.
        link.reopenWhenBack(20, 100);
        QVERIFY(link.isReopening());
        QTRY_VERIFY(!link.isReopening());
        QVERIFY(!failed.isEmpty());
        QVERIFY(link.isLost());
        QVERIFY(reopened.isEmpty());

        // Back under the same name: reopened with the same settings (the
        // instrument answers at 9600 baud only), and the master talks again.
        link.reopenWhenBack(100, 60000);
        inst.bus().with(1, [](VirtualInstrument &i) { i.faults.silent = false; });
        QVERIFY(inst.plugIn());
        QVERIFY(reopened.wait(2000));
        QVERIFY(link.isOpen());
        QVERIFY(!link.isLost());
        QVERIFY(!link.isReopening());
        QCOMPARE(link.parityIndex(), 1);
        {
            Request request(master);
            QTRY_VERIFY(request.done);
            QCOMPARE(request.result.load(), int(ResultOk));
        }
    }

    // While a reply is under way the port reports data only once the rest of
    // it can be there; a reply that stops short must still be read when it
    // should have ended, not when the next bytes come or the master gives up.
    void replyCutShortIsReadAtOnce()
    {
        qRegisterMetaType<SerialLink::Direction>();
        PtyPair pty;
        QVERIFY(pty.isOpen());
        kzModbus master;
        master.setResponseTimeout(30000);
        master.setAttemptCount(1);
        SerialLink link;
        link.attach(&master);
        QSignalSpy traffic(&link, &SerialLink::traffic);
        QVERIFY(link.open(pty.slavePath(), 9600, 0));
        const auto received = [&traffic] {
            QByteArray bytes;
            for (const QList<QVariant> &chunk : qAsConst(traffic))
                if (chunk.at(0).value<SerialLink::Direction>() == SerialLink::Direction::Received)
                    bytes += chunk.at(1).toByteArray();
            return bytes;
        };

        Request request(master, 40);
        QByteArray sent;
        QTRY_VERIFY((sent += pty.readMaster(100)).size() >= 8);
        const QByteArray reply =
            VirtualInstrument::withCrc(QByteArrayLiteral("\x01\x33\x50") + QByteArray(80, '\x11'));
        QVERIFY(pty.writeMaster(reply.left(3)));
        QTRY_COMPARE(received().size(), 3);
        QVERIFY(pty.writeMaster(reply.mid(3, 40)));
        QTRY_COMPARE_WITH_TIMEOUT(received().size(), 43, 2000);
        QVERIFY(!request.done);
        QVERIFY(pty.writeMaster(reply.mid(43)));
        QTRY_VERIFY(request.done);
        QCOMPARE(request.result.load(), int(ResultOk));
        QCOMPARE(received(), reply);
    }
};

QTEST_MAIN(TestSerialLink)
#include "test_seriallink.moc"
