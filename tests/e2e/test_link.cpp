// The window talking to the virtual instrument over a pty: search, connect,
// disconnect, refusals, and a reply buried in a burst of noise.

#include "e2eharness.h"
#include "instrumentthread.h"
#include "ptypair.h"
#include "virtualbus.h"
#include "virtualinstrument.h"
#include "worker/modbusthread.h"

#include <QLineEdit>
#include <QStackedWidget>
#include <QtTest>

namespace {

// Every address but the given ones holds a device of another type, so each
// probe of a search gets an answer at once instead of a timeout.
void fillBusWithForeignDevices(VirtualBus &bus, QList<quint8> instruments)
{
    for (int a = 1; a <= 255; ++a) {
        if (instruments.contains(quint8(a)))
            continue;
        bus.add(quint8(a));
        bus.with(quint8(a), [](VirtualInstrument &i) { i.setReg(0, 0x1234); });
    }
}

} // namespace

class TestLink : public QObject
{
    Q_OBJECT

private slots:
    void searchFindsAndConnects()
    {
        InstrumentThread inst({3, 200});
        fillBusWithForeignDevices(inst.bus(), {3, 200});
        QVERIFY(inst.start());
        MainWindow w;
        w.show();
        DialogCloser closer;
        choosePort(w, inst.portPath());
        click(w, "pushButton_sousuo");
        QTRY_COMPARE(find<QPushButton>(w, "pushButton_sousuo")->text(), QStringLiteral("停止"));
        QVERIFY(connectionLine(w).startsWith(QStringLiteral("当前连接：") + inst.portPath() +
                                             QStringLiteral(",9600,NONE,8,1")));
        // The window connects to the first instrument found on its own and reads all.
        QTRY_COMPARE_WITH_TIMEOUT(state(w), QStringLiteral("全部读取成功"), 30000);
        auto *addr = find<QComboBox>(w, "comboBox_addr");
        QCOMPARE(addr->count(), 2);
        QCOMPARE(addr->itemText(0) + ' ' + addr->itemText(1), QStringLiteral("3 200"));
        QCOMPARE(connectionLine(w),
                 QStringLiteral("当前连接：%1,9600,NONE,8,1,地址：3").arg(inst.portPath()));
        QCOMPARE(find<QPushButton>(w, "pushButton_lianjie")->text(), QStringLiteral("断开连接"));
        QVERIFY(closer.texts().isEmpty());
    }

    void searchStopAndEmptyLists()
    {
        InstrumentThread inst(QList<quint8>{});
        QVERIFY(inst.start());
        MainWindow w;
        w.show();
        DialogCloser closer;
        choosePort(w, inst.portPath());
        QSignalSpy sent(&w, SIGNAL(sendMessageToModbusThread(QString)));
        click(w, "pushButton_sousuo");
        QTRY_COMPARE(find<QPushButton>(w, "pushButton_sousuo")->text(), QStringLiteral("停止"));
        QTRY_VERIFY(state(w).startsWith(QStringLiteral("当前搜索地址：")));
        click(w, "pushButton_sousuo");
        // Stopped with nothing found: the automatic connect asks for an address.
        QTRY_COMPARE(closer.texts(), QStringList{QStringLiteral("请选择地址！")});
        QCOMPARE(state(w), QStringLiteral("请选择地址"));
        QCOMPARE(find<QPushButton>(w, "pushButton_sousuo")->text(), QStringLiteral("搜索"));
        QCOMPARE(connectionLine(w), QStringLiteral("未连接"));
        QCOMPARE(sent.size(), 2);
        QCOMPARE(sent.at(1).at(0).toString(), QStringLiteral("search stop"));
        // Not connected: the port is free for other programs again.
        QVERIFY(!w.linkSettings().portOpen);

        // An empty port list: both warnings, nothing sent.
        closer.clear();
        sent.clear();
        find<QComboBox>(w, "comboBox_duankouhao")->clear();
        click(w, "pushButton_sousuo");
        QCOMPARE(
            closer.texts(),
            (QStringList{QStringLiteral("请选择端口号！"),
                         QStringLiteral("端口打开失败，请检查端口号是否正确或端口是否占用！")}));
        QCOMPARE(sent.size(), 0);

        // "search finish" with both lists empty shows both warnings in turn.
        closer.clear();
        find<QComboBox>(w, "comboBox_addr")->clear();
        w.receiveMessageFromModbusThread(QStringLiteral("search finish"));
        QCOMPARE(closer.texts(),
                 (QStringList{QStringLiteral("请选择端口号！"), QStringLiteral("请选择地址！")}));
        QCOMPARE(sent.size(), 0);
    }

    void connectRefusalsAndDisconnect()
    {
        InstrumentThread inst({1, 2});
        inst.bus().with(1, [](VirtualInstrument &i) { i.setReg(1, 9); });
        inst.bus().with(2, [](VirtualInstrument &i) { i.setReg(0, 0x0059); });
        QVERIFY(inst.start());
        MainWindow w;
        w.show();
        DialogCloser closer;
        auto *stack = find<QStackedWidget>(w, "stackedWidget");
        auto *addr = find<QComboBox>(w, "comboBox_addr");
        choosePort(w, inst.portPath());
        addr->addItem(QStringLiteral("1"));
        click(w, "pushButton_lianjie");
        QTRY_COMPARE(closer.texts(),
                     QStringList{QStringLiteral("板卡固件版本太低，请使用V0.4版本的调试软件！")});
        QTRY_COMPARE(connectionLine(w), QStringLiteral("未连接"));
        QVERIFY(!stack->isEnabled());

        // Version 10 is accepted.
        inst.bus().with(1, [](VirtualInstrument &i) { i.setReg(1, 10); });
        closer.clear();
        QVERIFY(connectWindow(w, inst.portPath(), 1));
        QVERIFY(stack->isEnabled());
        QVERIFY(w.linkSettings().portOpen);

        click(w, "pushButton_lianjie");
        QTRY_COMPARE(state(w), QStringLiteral("已断开连接"));
        QCOMPARE(connectionLine(w), QStringLiteral("未连接"));
        QCOMPARE(find<QPushButton>(w, "pushButton_lianjie")->text(), QStringLiteral("连接"));
        QVERIFY(!stack->isEnabled());
        QVERIFY(!w.linkSettings().portOpen);

        // No address chosen: a warning and nothing else.
        QSignalSpy sent(&w, SIGNAL(sendMessageToModbusThread(QString)));
        addr->clear();
        click(w, "pushButton_lianjie");
        QCOMPARE(closer.texts(), QStringList{QStringLiteral("请选择地址！")});
        QCOMPARE(sent.size(), 0);
        QVERIFY(!w.linkSettings().portOpen);
        // A typed address needs no search; the broadcast address is no instrument's.
        closer.clear();
        addr->setEditText(QStringLiteral("0"));
        click(w, "pushButton_lianjie");
        QCOMPARE(closer.texts(), QStringList{QStringLiteral("仪表地址必须是1到255之间的整数！")});
        QCOMPARE(sent.size(), 0);
        w.preselect(inst.portPath(), 1);
        QCOMPARE(addr->count(), 0);
        click(w, "pushButton_lianjie");
        QTRY_COMPARE(state(w), QStringLiteral("全部读取成功"));
        QCOMPARE(sent.at(0).at(0).toString(), QStringLiteral("connect:1"));
        click(w, "pushButton_lianjie");
        QTRY_VERIFY(!w.linkSettings().portOpen);
        addr->clearEditText();
        sent.clear();

        // A port that cannot be opened.
        closer.clear();
        choosePort(w, QStringLiteral("/nonexistent/ttyKV"));
        addr->addItem(QStringLiteral("1"));
        click(w, "pushButton_lianjie");
        QCOMPARE(closer.texts(),
                 QStringList{QStringLiteral("端口打开失败，请检查端口号是否正确或端口是否占用！")});
        QCOMPARE(state(w), QStringLiteral("端口打开失败"));
        QCOMPARE(connectionLine(w), QStringLiteral("未连接"));
        QCOMPARE(sent.size(), 0);

        // A device of another type is refused, also with every other register right.
        closer.clear();
        choosePort(w, inst.portPath());
        addr->clear();
        addr->addItem(QStringLiteral("2"));
        click(w, "pushButton_lianjie");
        QTRY_COMPARE(state(w), QStringLiteral("连接失败"));
        QVERIFY(!stack->isEnabled());
        QVERIFY(!find<QPushButton>(w, "pushButton_xierushezhi")->isEnabled());
        QVERIFY(closer.texts().isEmpty());
    }

    void burstBeyondOneRead()
    {
        PtyPair pty;
        QVERIFY(pty.isOpen());
        MainWindow w;
        w.show();
        DialogCloser closer;
        choosePort(w, pty.slavePath());
        find<QComboBox>(w, "comboBox_addr")->addItem(QStringLiteral("1"));
        click(w, "pushButton_lianjie");

        // The first poll reads the identity registers 0 and 1. The window writes
        // the frame from its event loop, so poll without blocking it.
        QByteArray request;
        QTRY_VERIFY((request += pty.readMaster(0)).size() >= 8);

        // 390 bytes of noise that never form a frame, the reply, one byte more:
        // more than one read takes, and the reply lies in the tail.
        const QByteArray burst = QByteArray("\x01\x00", 2).repeated(195) +
                                 VirtualInstrument::withCrc(QByteArray::fromHex("0133040058000c")) +
                                 QByteArray(1, '\0');
        QVERIFY(pty.writeMaster(burst));
        QTRY_COMPARE_WITH_TIMEOUT(state(w), QStringLiteral("连接成功"), 1900);
    }
};

QTEST_MAIN(TestLink)
#include "test_link.moc"
