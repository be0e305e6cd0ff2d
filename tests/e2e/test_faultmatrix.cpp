// Every fault of the line and the instrument, one row each, against the window
// over a pty: what the user sees (status text, warnings, a field) and what
// reached the instrument (its register, write count, last command).

#include "e2eharness.h"
#include "instrumentthread.h"
#include "virtualinstrument.h"

#include <QtTest>

#include <functional>

using Fault = std::function<void(VirtualInstrument::Faults &)>;
Q_DECLARE_METATYPE(Fault)

namespace {

// The sample period (register 49) is the field every row watches: the window
// shows 1 after connecting, then the instrument's register becomes 7 and a
// write row types 9.
constexpr int SampleRegister = 49;

const char *const readButton = "pushButton_duqushezhi";
const char *const writeButton = "pushButton_xierushezhi";

QString failedText(const char *status)
{
    return QString::fromUtf8(status) + QStringLiteral("！");
}

} // namespace

class TestFaultMatrix : public QObject
{
    Q_OBJECT

private slots:
    void fault_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QStringList>("buttons"); // none: connect at 19200 baud
        QTest::addColumn<QString>("until");       // the worker's reply that ends the row
        QTest::addColumn<QString>("state");       // status text at that reply
        QTest::addColumn<QStringList>("warnings");
        QTest::addColumn<QString>("field");   // the sample period field at the end
        QTest::addColumn<int>("stored");      // the instrument's sample period at the end
        QTest::addColumn<int>("writes");      // write requests that reached the instrument
        QTest::addColumn<int>("command");     // the last save command it carried out, -1 none
        QTest::addColumn<bool>("pollGoesOn"); // the poll still succeeds afterwards

        const auto row = [](const QString &name, Fault fault, const QStringList &buttons,
                            const char *until, const char *state, const QStringList &warnings,
                            const char *field, int stored, int writes, int command,
                            bool pollGoesOn) {
            QTest::newRow(qPrintable(name))
                << fault << buttons << QString::fromUtf8(until) << QString::fromUtf8(state)
                << warnings << QString::fromUtf8(field) << stored << writes << command
                << pollGoesOn;
        };
        // The poll (identity, access register, measurements) stays clear of these.
        const auto onParams = [](Fault fault) {
            return Fault([fault](auto &f) {
                fault(f);
                f.paramsOnly = true;
            });
        };
        const QStringList read{readButton};
        const QStringList write{writeButton};
        const char *readFailed = "read user param failed";
        const char *readFailedState = "读取设置数据失败";
        const QStringList readWarning{failedText(readFailedState)};

        row(
            "reply in two pieces, pause under the timeout", [](auto &f) { f.splitPauseMs = 400; },
            read, "read user param succeed", "读取设置数据成功", {}, "7", 7, 0, -1, true);
        row(
            "noise around every reply", [](auto &f) { f.garbageBefore = f.garbageAfter = true; },
            write, "user save succeed", "保存成功", {}, "9", 9, 2, 10, true);
        // The late echo of the meter parameters' write lands on the settings'
        // write, which the instrument carried out but has not confirmed yet.
        row("reply after the timeout", onParams([](auto &f) { f.delayMs = 2300; }),
            {"pushButton_xieruyibiaocanshu", writeButton}, "write user param failed",
            "写入设置数据失败", {failedText("写入仪表参数失败"), failedText("写入设置数据失败")},
            "9", 9, 2, -1, true);
        row("truncated reply", onParams([](auto &f) { f.truncated = true; }), read, readFailed,
            readFailedState, readWarning, "1", 7, 0, -1, true);
        row("bad CRC", onParams([](auto &f) { f.badCrc = true; }), read, readFailed,
            readFailedState, readWarning, "1", 7, 0, -1, true);
        row("another slave answers", onParams([](auto &f) { f.replyFromAddress = 2; }), read,
            readFailed, readFailedState, readWarning, "1", 7, 0, -1, true);

        // Illegal function, address, value, slave device failure, for the read,
        // the write of several registers and the write of one (the save).
        for (int code = 1; code <= 4; ++code) {
            const auto exception = [&](int function) {
                return onParams([code, function](auto &f) {
                    f.exceptionCode = code;
                    f.exceptionFunction = function;
                });
            };
            const QString name = QStringLiteral("exception %1 to ").arg(code);
            row(name + "a read", exception(0x33), read, readFailed, readFailedState, readWarning,
                "1", 7, 0, -1, true);
            row(name + "a write of several", exception(0x40), write, "write user param failed",
                "写入设置数据失败", {failedText("写入设置数据失败")}, "9", 7, 1, -1, true);
            row(name + "a write of one", exception(0x36), write, "user save failed", "保存失败",
                {failedText("保存失败")}, "9", 9, 2, -1, true);
        }

        // Read all takes registers 0..99 (the sample period among them), then the
        // instrument falls silent: neither the page nor the mirror takes the 7.
        row("silent in the middle of read all", onParams([](auto &f) { f.silentAfter = 0; }),
            {"pushButton_duququanbushuju"}, "read all failed", "全部读取失败",
            {failedText("全部读取失败")}, "1", 7, 0, -1, false);
        // The first block (registers 42..141) is written, the second is not
        // answered, and no save follows.
        row("silent in the middle of write all", onParams([](auto &f) { f.silentAfter = 1; }),
            {"pushButton_xieruquanbushuju"}, "write all failed", "全部写入失败",
            {failedText("全部写入失败")}, "9", 9, 2, -1, false);
        // The instrument hears only noise at another baud rate and says nothing.
        row(
            "wrong baud rate", [](auto &) {}, {}, "connect failed", "连接失败", {}, "", 7, 0, -1,
            false);
    }

    void fault()
    {
        QFETCH(Fault, fault);
        QFETCH(QStringList, buttons);
        QFETCH(QString, until);
        QFETCH(QString, state);
        QFETCH(QStringList, warnings);
        QFETCH(QString, field);
        QFETCH(int, stored);
        QFETCH(int, writes);
        QFETCH(int, command);
        QFETCH(bool, pollGoesOn);

        InstrumentThread inst;
        const auto on = [&inst](auto f) { return inst.bus().with(1, f); };
        on([](VirtualInstrument &i) { i.live = false; });
        QVERIFY2(inst.start(), qPrintable(inst.errorString()));
        MainWindow w;
        w.show();
        DialogCloser closer;
        QString stateAtEnd;
        // In the window's context: replies still queued when the row ends go with it.
        connect(w.modbusWorker(), &modbusThread::sendMessageToMainThread, &w,
                [&](const QString &m) {
                    if (m == until && stateAtEnd.isNull())
                        stateAtEnd = ::state(w);
                });
        if (buttons.isEmpty()) {
            choosePort(w, inst.portPath(), 4);
            find<QComboBox>(w, "comboBox_addr")->addItem(QStringLiteral("1"));
        } else {
            QVERIFY(connectWindow(w, inst.portPath(), 1));
            QCOMPARE(edit(w, "lineEdit_caijizhouqi")->text(), QStringLiteral("1"));
        }
        Replies replies(w);
        on([&](VirtualInstrument &i) {
            i.setReg(SampleRegister, 7);
            i.writeRequestCount = 0;
            fault(i.faults);
        });

        if (buttons.isEmpty())
            click(w, "pushButton_lianjie");
        if (buttons.contains(QLatin1String(writeButton)) ||
            buttons.contains(QLatin1String("pushButton_xieruquanbushuju")))
            type(w, {QStringLiteral("lineEdit_caijizhouqi=9")});
        for (const QString &button : qAsConst(buttons))
            click(w, qPrintable(button));
        QTRY_VERIFY_WITH_TIMEOUT(replies.has(qPrintable(until)), 15000);

        QCOMPARE(stateAtEnd, state);
        QCOMPARE(closer.texts(), warnings);
        QCOMPARE(edit(w, "lineEdit_caijizhouqi")->text(), field);
        // The mirror holds what the page shows, never a value it did not take whole.
        QCOMPARE(w.modbusWorker()->lockMirror()->at(SampleRegister), quint16(field.toUInt()));
        QCOMPARE(on([](VirtualInstrument &i) { return int(i.reg(SampleRegister)); }), stored);
        QCOMPARE(on([](VirtualInstrument &i) { return i.writeRequestCount; }), writes);
        QCOMPARE(on([](VirtualInstrument &i) { return i.lastCommandValue; }), command);
        QVERIFY(!replies.has("fac saving"));

        const int polls = replies.count("read measured succeed");
        if (pollGoesOn) {
            QTRY_VERIFY(replies.count("read measured succeed") >= polls + 3);
        } else {
            QVERIFY(!replies.has("connect succeed"));
            if (buttons.isEmpty()) // nothing it heard was a request
                QCOMPARE(on([](VirtualInstrument &i) { return i.requestCount; }), 0);
            QTRY_VERIFY_WITH_TIMEOUT(replies.has("connect failed"), 10000);
            QCOMPARE(replies.count("read measured succeed"), polls);
        }
    }
};

QTEST_MAIN(TestFaultMatrix)
#include "test_faultmatrix.moc"
