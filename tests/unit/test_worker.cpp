// The worker thread against the in-process virtual instrument: command
// intake, dispatch order, reply sequences, search, connect, poll and stop.

#include "modbus/kzmodbus.h"
#include "virtualbus.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QTimer>
#include <QtTest>

namespace {

// "r<addr>+<count>", "w<addr>+<count>" or "c<addr>=<value>" for a request frame.
QString describe(const QByteArray &frame)
{
    const auto byte = [&](int i) { return quint8(frame[i]); };
    const int address = byte(2) << 8 | byte(3);
    if (byte(1) == kzModbus::FuncWriteSingle)
        return QStringLiteral("c%1=%2").arg(address).arg(byte(4) << 8 | byte(5));
    const QChar kind = byte(1) == kzModbus::FuncRead ? QLatin1Char('r') : QLatin1Char('w');
    return QStringLiteral("%1%2+%3").arg(kind).arg(address).arg(byte(5));
}

bool isPollFrame(const QString &d)
{
    return d == QLatin1String("r0+2") || d == QLatin1String("w20480+1") ||
           d == QLatin1String("r0+42");
}

QStringList split(const QString &s)
{
    return s.split(QLatin1Char('|'), Qt::SkipEmptyParts);
}

} // namespace

// The serial line as the window would drive it, plus fault injection.
class Line : public QObject
{
    Q_OBJECT

public:
    VirtualBus bus;
    kzModbus *master = nullptr;
    QStringList replies;
    QVector<QByteArray> frames;
    int failAfter = -1;        // device frames let through before each later one fails
    QHash<QString, int> delay; // extra reply delay per frame description
    QSet<int> present;         // when set, every other address answers with an exception
    int deviceFrames = 0;

    // Replies from index on, without the poll's steady "read measured succeed".
    QStringList since(int index) const
    {
        QStringList out = replies.mid(index);
        out.removeAll(QStringLiteral("read measured succeed"));
        return out;
    }
    QStringList deviceTransfers(int fromFrame) const
    {
        QStringList out;
        for (int i = fromFrame; i < frames.size(); ++i) {
            const QString d = describe(frames[i]);
            if (!isPollFrame(d) && !(d == QLatin1String("r0+1") && out.endsWith(d)))
                out << d;
        }
        return out;
    }

public slots:
    void onReply(QString message) { replies << message; }
    void onFrame(QByteArray frame)
    {
        frames << frame;
        const QString d = describe(frame);
        const bool inject = !isPollFrame(d) && failAfter >= 0 && deviceFrames++ >= failAfter;
        QVector<VirtualBus::Reply> out;
        if (inject || (!present.isEmpty() && !present.contains(quint8(frame[0])))) {
            const char function = char(quint8(frame[1]) | 0x80);
            out.append({VirtualInstrument::withCrc(frame.left(1) + function + '\x04'), 0});
        } else {
            out = bus.feed(frame);
        }
        for (const VirtualBus::Reply &r : out) {
            QTimer::singleShot(r.delayMs + delay.value(d), this, [this, bytes = r.bytes] {
                for (char b : bytes)
                    master->receiveByte(quint8(b));
            });
        }
    }
};

struct Rig
{
    Line line;
    modbusThread worker; // declared last: stopped before the line goes away

    explicit Rig(std::initializer_list<quint8> addresses)
    {
        for (quint8 a : addresses)
            line.bus.add(a);
        line.master = worker.modbusMaster();
        QObject::connect(line.master, &kzModbus::SendData, &line, &Line::onFrame,
                         Qt::QueuedConnection);
        QObject::connect(&worker, &modbusThread::sendMessageToMainThread, &line, &Line::onReply,
                         Qt::QueuedConnection);
        worker.start();
    }
    void send(const QString &command) { worker.receiveMessageFromMainThread(command); }
    void connectAndWaitForPoll()
    {
        send("connect:1");
        QTRY_VERIFY_WITH_TIMEOUT(has("read measured succeed"), 5000);
    }
    bool has(const QString &reply, int from = 0) const
    {
        return line.replies.indexOf(reply, from) >= 0;
    }
};

// Reply shorthand: "+" and "-" are the command's "succeed" and "failed", "%80"
// is "set progressBar:80", "US" and "FS" the user and factory save sequences.
static QStringList expand(QString shorthand, const QString &command)
{
    shorthand.replace("US", "user saving|%100|user save succeed");
    shorthand.replace("FS", "fac saving|%100|fac save succeed");
    shorthand.replace("+", command + " succeed").replace("-", command + " failed");
    return split(shorthand.replace("%", "set progressBar:"));
}

class TestWorker : public QObject
{
    Q_OBJECT

private slots:
    void commandReplies_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("failAfter"); // device requests that succeed; -1 all
        QTest::addColumn<QString>("replies");
        QTest::addColumn<QString>("transfers"); // checked when all succeed

        const auto row = [](const char *cmd, int failAfter, const char *replies,
                            const char *transfers = "") {
            QTest::addRow("%s/%d", cmd, failAfter) << cmd << failAfter << replies << transfers;
        };
        row("read meter param", -1, "+", "r72+4");
        row("write meter param", -1, "%80|+|US", "w72+4|c20481=10|r0+1");
        row("read user param", -1, "+", "r42+30");
        row("write user param", -1, "%80|+|US", "w42+30|c20481=10|r0+1");
        row("read pressure param", -1, "+", "r76+54");
        row("read tempereture param", -1, "+", "r130+63");
        row("write pressure param", -1, "%80|+|FS", "w76+54|c20481=90|r0+1");
        row("write tempereture param", -1, "%80|+|FS", "w130+63|c20481=90|r0+1");
        row("read meter info", -1, "+", "r72+9|r130+5");
        row("read yali ecjz data", -1, "+", "r76+54");
        row("write yali ecjz data", -1, "%80|+|US", "w116+14|c20481=10|r0+1");
        row("read wendu ecjz data", -1, "+", "r130+63");
        row("write wendu ecjz data", -1, "%80|+|US", "w178+15|c20481=10|r0+1");
        row("read custom reg", -1, "%0|%78|%100|+", "r192+100|r292+27");
        row("write custom reg", -1, "%0|%62|%80|%80|+|FS", "w192+100|w292+27|c20481=90|r0+1");
        row("read all", -1, "%0|%31|%62|%94|%100|%100|+", "r0+100|r100+100|r200+100|r300+19");
        row("write all", -1, "%0|%28|%57|%80|%80|+|FS", "w42+100|w142+100|w242+77|c20481=90|r0+1");
        row("fac save", -1, "FS", "c20481=90|r0+1");
        row("user save", -1, "US", "c20481=10|r0+1");
        row("back fac", -1, "fac backing|%80|%100|+", "c20481=65280");
        row("write clr", -1, "%75|+|US", "w128+2|c20481=10|r0+1");
        row("read snapshot", -1, "+", "r42+100|r142+100|r242+77");

        row("read meter param", 0, "-");
        row("write meter param", 0, "-"); // no save after a failed write
        row("write pressure param", 0, "%100|-");
        row("write tempereture param", 0, "%100|-");
        row("read meter info", 1, "-"); // the second read fails
        row("write clr", 0, "%100|-");
        row("read custom reg", 1, "%0|%78|-");
        row("write custom reg", 1, "%0|%62|-");
        row("read snapshot", 1, "-");
        row("fac save", 0, "fac saving|%100|fac save failed");
        row("back fac", 0, "fac backing|%80|%100|-");
    }

    void commandReplies()
    {
        QFETCH(QString, command);
        QFETCH(int, failAfter);
        QFETCH(QString, replies);
        QFETCH(QString, transfers);

        Rig rig({1});
        rig.connectAndWaitForPoll();
        rig.line.failAfter = failAfter;
        const int from = rig.line.replies.size();
        const int fromFrame = rig.line.frames.size();
        rig.send(command);
        const QStringList expected = expand(replies, command);
        QTRY_VERIFY_WITH_TIMEOUT(rig.line.since(from).size() >= expected.size(), 10000);
        QCOMPARE(rig.line.since(from), expected);
        if (failAfter < 0)
            QCOMPARE(rig.line.deviceTransfers(fromFrame), split(transfers));
    }

    void dispatchOrderAndDroppedCommands()
    {
        Rig rig({1});
        rig.connectAndWaitForPoll();
        // Held up by a slow reply, three commands pile up; they run in bit order.
        rig.line.delay.insert("r42+30", 500);
        int from = rig.line.replies.size();
        rig.send("read user param");
        QTRY_VERIFY(rig.line.frames.size() > 0 && describe(rig.line.frames.last()) == "r42+30");
        rig.send("read all");
        rig.send("read meter info");
        QTRY_VERIFY_WITH_TIMEOUT(rig.has("read all succeed", from), 10000);
        QCOMPARE(rig.line.since(from).filter("succeed"),
                 split("read user param succeed|read meter info succeed|read all succeed"));

        // Sent while a write runs, a read is dropped by the save that ends the
        // write; a write is not, it runs after the save.
        rig.line.delay.insert("w42+30", 500);
        from = rig.line.replies.size();
        rig.send("write user param");
        QTRY_VERIFY(describe(rig.line.frames.last()) == "w42+30");
        rig.send("read user param");
        rig.send("write wendu ecjz data");
        QTRY_VERIFY_WITH_TIMEOUT(rig.line.replies.count("user save succeed") >= 2, 10000);
        const int after = rig.line.replies.size();
        QTRY_VERIFY(rig.line.replies.mid(after).count("read measured succeed") >= 3);
        QCOMPARE(rig.line.since(from).filter(" succeed"),
                 split("write user param succeed|user save succeed|"
                       "write wendu ecjz data succeed|user save succeed"));
    }

    void connectTakesTheLowByteOfTheAddress()
    {
        Rig rig({44});
        rig.send("connect:300");
        QTRY_VERIFY(rig.has("connect succeed"));
        QCOMPARE(quint8(rig.line.frames.first()[0]), quint8(44));
    }

    void pollAndAddressing()
    {
        Rig rig({1, 7});
        rig.line.bus.with(1, [](VirtualInstrument &d) { d.setReg(33, 0x1234); });
        rig.connectAndWaitForPoll();
        const auto &f = rig.line.frames;
        QCOMPARE(QStringList({describe(f[0]), describe(f[1]), describe(f[2])}),
                 split("r0+2|w20480+1|r0+42"));
        QCOMPARE(rig.worker.lockMirror()->at(33), quint16(0x1234));

        // "set addr" moves the master without a word and without touching the link.
        const int from = rig.line.replies.size();
        rig.send("set addr:7");
        QTRY_VERIFY(quint8(f.last()[0]) == 7);
        QTRY_VERIFY(rig.line.replies.mid(from).count("read measured succeed") >= 2);
        QCOMPARE(rig.line.since(from), QStringList());
    }

    void search()
    {
        Rig rig({1, 247});
        rig.line.present = {1, 247};
        rig.send("search");
        QTRY_VERIFY_WITH_TIMEOUT(rig.has("search finish"), 30000);
        const QStringList &r = rig.line.replies;
        QCOMPARE(r.first(), "search start");
        QCOMPARE(r.filter("found a device"), split("found a device:1|found a device:247"));
        QCOMPARE(r.filter("searching addr:").size(), 255);
        const int at247 = r.indexOf("searching addr:247");
        QCOMPARE(r.mid(at247, 3),
                 split("searching addr:247|found a device:247|set progressBar:96"));
        QCOMPARE(r.mid(r.size() - 2), split("set progressBar:100|search finish"));
    }

    void connectEndsSearchQuietly()
    {
        Rig rig({1});
        rig.line.present = {1};
        rig.send("search");
        QTRY_VERIFY(rig.has("searching addr:5"));
        // A device command sent while no link is up is not kept for the next one.
        rig.send("write all");
        QTRY_VERIFY((rig.worker.pendingCommands() & ~Bit::LinkMask) == 0);
        rig.send("connect:1");
        QTRY_VERIFY_WITH_TIMEOUT(rig.has("read measured succeed"), 5000);
        const QStringList &r = rig.line.replies;
        const int created = r.indexOf("Modbus create succeed");
        QVERIFY(r.mid(created).filter("searching addr").isEmpty());
        QVERIFY(!rig.has("search stoped") && !rig.has("search finish"));
        QVERIFY(rig.has("connect succeed", created));
        QTRY_VERIFY_WITH_TIMEOUT(rig.line.replies.count("read measured succeed") >= 3, 10000);
        QVERIFY(!rig.line.deviceTransfers(0).contains("w42+100"));
    }

    void commandsBelongToTheirLink()
    {
        // Pending when the link changes, a device command is dropped and said so;
        // one given after "connect:" waits for that link's first poll.
        Rig rig({1});
        rig.send("read meter param");
        rig.send("connect:1");
        rig.send("read user param");
        QTRY_VERIFY_WITH_TIMEOUT(rig.has("read user param succeed"), 5000);
        const QStringList &r = rig.line.replies;
        QCOMPARE(r.mid(0, 2), split("Modbus create succeed|commands cancelled"));
        QVERIFY(r.filter("read meter param").isEmpty());
    }

    void commandsGivenWhileSilent()
    {
        // A write given while the instrument is silent never reaches whatever
        // answers next, which may be another meter.
        Rig rig({1});
        rig.connectAndWaitForPoll();
        rig.line.present = {2};
        QTRY_VERIFY(rig.has("connect failed"));
        rig.line.delay.insert("r0+2", 300);
        rig.line.present.clear();
        const int fromFrame = rig.line.frames.size();
        QTRY_VERIFY(rig.line.frames.size() > fromFrame); // the poll that will be answered
        const int from = rig.line.replies.size();
        rig.send("write meter param");
        QTRY_VERIFY_WITH_TIMEOUT(rig.line.replies.mid(from).count("read measured succeed") >= 2,
                                 5000);
        QCOMPARE(rig.line.since(from),
                 split("writes dropped:write meter param|commands not run|connect succeed"));
        QVERIFY(!rig.line.deviceTransfers(fromFrame).contains("w72+4"));
    }

    void stopsPromptlyDuringRequest()
    {
        QElapsedTimer clock;
        {
            Rig rig({1});
            rig.line.bus.with(1, [](VirtualInstrument &d) { d.faults.silent = true; });
            rig.send("connect:1");
            QTRY_VERIFY(!rig.line.frames.isEmpty()); // the poll now waits up to 2 s
            clock.start();
        }
        QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
    }
};

QTEST_GUILESS_MAIN(TestWorker)
#include "test_worker.moc"
