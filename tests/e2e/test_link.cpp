// The window talking to the virtual instrument over a pty: search, connect,
// disconnect, failures, the line following a save, and the reply rows.

#include "e2eharness.h"
#include "instrumentthread.h"
#include "ptypair.h"
#include "virtualbus.h"
#include "virtualinstrument.h"
#include "worker/modbusthread.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QSerialPort>
#include <QStackedWidget>
#include <QtTest>

namespace {

QLabel *stateLabel(MainWindow &w)
{
    return find<QLabel>(w, "label_state");
}

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
        QTRY_COMPARE_WITH_TIMEOUT(stateLabel(w)->text(), QStringLiteral("全部读取成功"), 30000);
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
        QTRY_VERIFY(stateLabel(w)->text().startsWith(QStringLiteral("当前搜索地址：")));
        click(w, "pushButton_sousuo");
        // Stopped with nothing found: the automatic connect asks for an address.
        QTRY_COMPARE(closer.texts(), QStringList{QStringLiteral("请选择地址！")});
        QCOMPARE(stateLabel(w)->text(), QStringLiteral("请选择地址"));
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
        QSignalSpy sent(&w, SIGNAL(sendMessageToModbusThread(QString)));
        QVERIFY(connectWindow(w, inst.portPath(), 1));
        QCOMPARE(sent.at(0).at(0).toString(), QStringLiteral("connect:1"));
        QCOMPARE(sent.at(1).at(0).toString(), QStringLiteral("read all"));
        QVERIFY(stack->isEnabled());
        QVERIFY(w.linkSettings().portOpen);

        click(w, "pushButton_lianjie");
        QTRY_COMPARE(stateLabel(w)->text(), QStringLiteral("已断开连接"));
        QCOMPARE(connectionLine(w), QStringLiteral("未连接"));
        QCOMPARE(find<QPushButton>(w, "pushButton_lianjie")->text(), QStringLiteral("连接"));
        QVERIFY(!stack->isEnabled());
        QVERIFY(!w.linkSettings().portOpen);

        // No address chosen: a warning and nothing else.
        sent.clear();
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
        QTRY_COMPARE(stateLabel(w)->text(), QStringLiteral("全部读取成功"));
        QCOMPARE(sent.at(0).at(0).toString(), QStringLiteral("connect:1"));
        click(w, "pushButton_lianjie");
        QTRY_VERIFY(!w.linkSettings().portOpen);
        addr->clearEditText();
        sent.clear();
        closer.clear();

        // A port that cannot be opened.
        closer.clear();
        choosePort(w, QStringLiteral("/nonexistent/ttyKV"));
        addr->addItem(QStringLiteral("1"));
        click(w, "pushButton_lianjie");
        QCOMPARE(closer.texts(),
                 QStringList{QStringLiteral("端口打开失败，请检查端口号是否正确或端口是否占用！")});
        QCOMPARE(stateLabel(w)->text(), QStringLiteral("端口打开失败"));
        QCOMPARE(connectionLine(w), QStringLiteral("未连接"));
        QCOMPARE(sent.size(), 0);

        // A device of another type is refused, also with every other register right.
        closer.clear();
        choosePort(w, inst.portPath());
        addr->clear();
        addr->addItem(QStringLiteral("2"));
        click(w, "pushButton_lianjie");
        QTRY_COMPARE(stateLabel(w)->text(), QStringLiteral("连接失败"));
        QVERIFY(!stack->isEnabled());
        QVERIFY(!find<QPushButton>(w, "pushButton_xierushezhi")->isEnabled());
        QVERIFY(closer.texts().isEmpty());
    }

    void followsInstrumentAfterSave()
    {
        InstrumentThread inst({1});
        QVERIFY(inst.start());
        MainWindow w;
        w.show();
        DialogCloser closer;
        QVERIFY(connectWindow(w, inst.portPath(), 1));
        find<QLineEdit>(w, "lineEdit_yonghudizhi")->setText(QStringLiteral("5"));
        find<QComboBox>(w, "comboBox_yonghubotelv")->setCurrentIndex(5);
        find<QComboBox>(w, "comboBox_yonghuparity")->setCurrentIndex(2);
        click(w, "pushButton_xierushezhi");
        // The save's wait reads still go to the old address and time out first.
        QTRY_COMPARE_WITH_TIMEOUT(stateLabel(w)->text(), QStringLiteral("保存成功"), 40000);
        inst.bus().with(5, [](VirtualInstrument &i) {
            QCOMPARE(i.address(), quint8(5));
            QCOMPARE(i.baudCode(), 5);
            QCOMPARE(i.parityCode(), 2);
        });
        const auto link = w.linkSettings();
        QCOMPARE(link.deviceAddress, quint8(5));
        QCOMPARE(link.baudRate, 38400u);
        QCOMPARE(link.portBaudRate, 38400);
        QCOMPARE(link.parityIndex, quint8(2));
        QCOMPARE(connectionLine(w),
                 QStringLiteral("当前连接：%1,38400,EVEN,8,1,地址：5").arg(inst.portPath()));
        QCOMPARE(find<QComboBox>(w, "comboBox_addr")->currentText(), QStringLiteral("5"));
        QCOMPARE(find<QComboBox>(w, "comboBox_baud")->currentText(), QStringLiteral("38400"));

        // The instrument answers only at 38400 now; the window keeps talking to it.
        click(w, "pushButton_duqushezhi");
        QTRY_COMPARE(stateLabel(w)->text(), QStringLiteral("读取设置数据成功"));
        QVERIFY(closer.texts().isEmpty());
    }

    // Reply, status text, warning ("" for none).
    void replyRows_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<QString>("state");
        QTest::addColumn<QString>("warning");
        const char *rows[][3] = {
            {"searching addr:17", "当前搜索地址：17", ""},
            {"read meter param failed", "读取仪表参数失败", "读取仪表参数失败！"},
            {"write meter param succeed", "写入仪表参数成功", ""},
            {"read user param failed", "读取设置数据失败", "读取设置数据失败！"},
            {"read tempereture param failed", "读取温度校准数据失败", "读取温度校准数据失败！"},
            {"write yali ecjz data succeed", "写入压力二次校准数据成功", ""},
            {"write wendu ecjz data failed", "写入温度二次校准数据失败",
             "写入温度二次校准数据失败！"},
            {"read custom reg failed", "读取寄存器组态数据失败", "读取寄存器组态数据失败！"},
            {"read all failed", "全部读取失败", "全部读取失败！"},
            {"write all failed", "全部写入失败", "全部写入失败！"},
            {"write clr succeed", "操作成功", ""},
            {"write clr failed", "操作失败", "操作失败！"},
            {"fac backing", "正在恢复出厂...", ""},
            {"back fac failed", "恢复出厂失败", "恢复出厂失败！"},
            {"user saving", "正在保存...", ""},
            {"fac saving", "正在保存...", ""},
            {"user save failed", "保存失败", "保存失败！"},
            {"fac save failed", "保存失败", "保存失败！"},
            {"connect failed", "连接失败", ""},
            {" connect failed", "", ""},
            {"Connect Failed", "", ""},
            {"hello", "", ""}};
        for (const auto &r : rows)
            QTest::addRow("%s", r[0])
                << QString(r[0]) << QString::fromUtf8(r[1]) << QString::fromUtf8(r[2]);
    }

    void replyRows()
    {
        QFETCH(QString, reply);
        QFETCH(QString, state);
        QFETCH(QString, warning);
        MainWindow w;
        DialogCloser closer;
        stateLabel(w)->clear();
        w.receiveMessageFromModbusThread(reply);
        QCOMPARE(stateLabel(w)->text(), state);
        QCOMPARE(closer.texts(), warning.isEmpty() ? QStringList() : QStringList{warning});

        // Found devices are appended as they come, duplicates included.
        w.receiveMessageFromModbusThread(QStringLiteral("found a device:7"));
        w.receiveMessageFromModbusThread(QStringLiteral("found a device:7"));
        QCOMPARE(find<QComboBox>(w, "comboBox_addr")->count(), 2);
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
        QCOMPARE(request.toHex(), QByteArray("013300000002840f"));

        // 390 bytes of noise that never form a frame, the reply, one byte more:
        // more than one read takes, and the reply lies in the tail.
        const QByteArray burst = QByteArray("\x01\x00", 2).repeated(195) +
                                 VirtualInstrument::withCrc(QByteArray::fromHex("0133040058000c")) +
                                 QByteArray(1, '\0');
        QCOMPARE(burst.size(), 400);
        QVERIFY(pty.writeMaster(burst));
        QTRY_COMPARE_WITH_TIMEOUT(stateLabel(w)->text(), QStringLiteral("连接成功"), 1900);
    }

    void pacedLineTakesTheWireTime()
    {
        // A read of 42 registers at 9600 baud: 8 + 89 bytes of 10 bits on the line.
        InstrumentThread inst({1});
        inst.setPaced(true);
        QVERIFY(inst.start());
        QSerialPort port(inst.portPath());
        QVERIFY(port.open(QIODevice::ReadWrite));
        port.setBaudRate(9600);
        QByteArray reply;
        QElapsedTimer clock;
        qint64 firstMs = -1;
        qint64 doneMs = -1;
        connect(&port, &QSerialPort::readyRead, this, [&] {
            if (firstMs < 0)
                firstMs = clock.elapsed();
            reply += port.readAll();
            if (reply.size() >= 89 && doneMs < 0)
                doneMs = clock.elapsed();
        });
        QSignalSpy arrived(&port, &QSerialPort::readyRead);
        QVERIFY(arrived.isValid());
        clock.start();
        port.write(VirtualInstrument::withCrc(QByteArray::fromHex("01330000002a")));
        port.flush();
        // An event loop, not sleeps: the times must be those of the bytes.
        while (doneMs < 0 && arrived.wait(2000)) {
        }
        QCOMPARE(reply.size(), 89);
        // Nothing before the request and the reply's first byte have crossed.
        QVERIFY2(firstMs >= 9, qPrintable(QString::number(firstMs)));
        QVERIFY2(doneMs >= 101, qPrintable(QString::number(doneMs)));
    }
};

QTEST_MAIN(TestLink)
#include "test_link.moc"
