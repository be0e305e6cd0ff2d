// The window talking to the virtual instrument over a pty: search, connect,
// disconnect, failures, the line following a save, and the reply rows.

#include "e2eharness.h"
#include "instrumentthread.h"
#include "modbus/kzmodbus.h"
#include "ptypair.h"
#include "virtualbus.h"
#include "virtualinstrument.h"
#include "worker/modbusthread.h"

#include <QLineEdit>
#include <QProgressBar>
#include <QStackedWidget>
#include <QtTest>

namespace {

QLabel *stateLabel(MainWindow &w)
{
    return find<QLabel>(w, "label_state");
}
QLabel *connectLabel(MainWindow &w)
{
    return find<QLabel>(w, "label_connect");
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
    void searchFindsAndConnects();
    void searchStopAndEmptyLists();
    void connectDisconnect();
    void portFailures();
    void versionErrorAndWrongType();
    void pulledAndPluggedBack();
    void followsInstrumentAfterSave();
    void replyRows_data();
    void replyRows();
    void burstBeyondOneRead();
};

void TestLink::searchFindsAndConnects()
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
    QVERIFY(connectLabel(w)->text().startsWith(QStringLiteral("当前连接：") + inst.portPath() +
                                               QStringLiteral(",9600,NONE,8,1")));
    // The window connects to the first instrument found on its own and reads all.
    QTRY_COMPARE_WITH_TIMEOUT(stateLabel(w)->text(), QStringLiteral("全部读取成功"), 30000);
    auto *addr = find<QComboBox>(w, "comboBox_addr");
    QCOMPARE(addr->count(), 2);
    QCOMPARE(addr->itemText(0), QStringLiteral("3"));
    QCOMPARE(addr->itemText(1), QStringLiteral("200"));
    QCOMPARE(connectLabel(w)->text(),
             QStringLiteral("当前连接：%1,9600,NONE,8,1,地址：3").arg(inst.portPath()));
    QCOMPARE(find<QPushButton>(w, "pushButton_lianjie")->text(), QStringLiteral("断开连接"));
    QVERIFY(find<QStackedWidget>(w, "stackedWidget")->isEnabled());
    QVERIFY(closer.texts().isEmpty());

    // Live values follow the instrument.
    inst.bus().with(3, [](VirtualInstrument &i) {
        i.live = false;
        i.setReg(9, 77);
        i.setReg(6, quint16(-12));
    });
    QTRY_COMPARE(find<QLineEdit>(w, "lineEdit_dianchidianliang")->text(), QStringLiteral("77"));
    QTRY_COMPARE(find<QLineEdit>(w, "lineEdit_yalizhizhengxing")->text(), QStringLiteral("-12"));
}

void TestLink::searchStopAndEmptyLists()
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
    QCOMPARE(connectLabel(w)->text(), QStringLiteral("未连接"));
    QCOMPARE(sent.size(), 2);
    QCOMPARE(sent.at(1).at(0).toString(), QStringLiteral("search stop"));

    // An empty port list: both warnings, nothing sent.
    closer.clear();
    sent.clear();
    find<QComboBox>(w, "comboBox_duankouhao")->clear();
    click(w, "pushButton_sousuo");
    QCOMPARE(closer.texts(),
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

void TestLink::connectDisconnect()
{
    InstrumentThread inst({7});
    QVERIFY(inst.start());
    MainWindow w;
    w.show();
    DialogCloser closer;
    QSignalSpy sent(&w, SIGNAL(sendMessageToModbusThread(QString)));
    auto *stack = find<QStackedWidget>(w, "stackedWidget");
    QVERIFY(connectWindow(w, inst.portPath(), 7));
    QCOMPARE(sent.at(0).at(0).toString(), QStringLiteral("connect:7"));
    QCOMPARE(sent.at(1).at(0).toString(), QStringLiteral("read all"));
    QVERIFY(stack->isEnabled());
    QVERIFY(w.linkSettings().portOpen);

    click(w, "pushButton_lianjie");
    QTRY_COMPARE(stateLabel(w)->text(), QStringLiteral("已断开连接"));
    QCOMPARE(connectLabel(w)->text(), QStringLiteral("未连接"));
    QCOMPARE(find<QPushButton>(w, "pushButton_lianjie")->text(), QStringLiteral("连接"));
    QVERIFY(!stack->isEnabled());
    QVERIFY(!w.linkSettings().portOpen);
    QVERIFY(closer.texts().isEmpty());

    // Connect with no address chosen: a warning and nothing else.
    sent.clear();
    find<QComboBox>(w, "comboBox_addr")->clear();
    click(w, "pushButton_lianjie");
    QCOMPARE(closer.texts(), QStringList{QStringLiteral("请选择地址！")});
    QCOMPARE(sent.size(), 0);
    QVERIFY(!w.linkSettings().portOpen);
}

void TestLink::portFailures()
{
    MainWindow w;
    w.show();
    DialogCloser closer;
    QSignalSpy sent(&w, SIGNAL(sendMessageToModbusThread(QString)));
    choosePort(w, QStringLiteral("/nonexistent/ttyKV"));
    find<QComboBox>(w, "comboBox_addr")->addItem(QStringLiteral("1"));
    click(w, "pushButton_lianjie");
    QCOMPARE(closer.texts(),
             QStringList{QStringLiteral("端口打开失败，请检查端口号是否正确或端口是否占用！")});
    QCOMPARE(stateLabel(w)->text(), QStringLiteral("端口打开失败"));
    QCOMPARE(connectLabel(w)->text(), QStringLiteral("未连接"));
    QCOMPARE(sent.size(), 0);
}

void TestLink::versionErrorAndWrongType()
{
    InstrumentThread inst({1, 2});
    inst.bus().with(1, [](VirtualInstrument &i) { i.setReg(1, 9); });
    inst.bus().with(2, [](VirtualInstrument &i) { i.setReg(0, 0x0059); });
    QVERIFY(inst.start());
    MainWindow w;
    w.show();
    DialogCloser closer;
    choosePort(w, inst.portPath());
    find<QComboBox>(w, "comboBox_addr")->addItem(QStringLiteral("1"));
    click(w, "pushButton_lianjie");
    QTRY_COMPARE(closer.texts(),
                 QStringList{QStringLiteral("板卡固件版本太低，请使用V0.4版本的调试软件！")});
    QTRY_COMPARE(connectLabel(w)->text(), QStringLiteral("未连接"));
    QVERIFY(!find<QStackedWidget>(w, "stackedWidget")->isEnabled());

    // Version 10 is accepted.
    inst.bus().with(1, [](VirtualInstrument &i) { i.setReg(1, 10); });
    closer.clear();
    QVERIFY(connectWindow(w, inst.portPath(), 1));

    // A device of another type is refused, also with every other register right.
    click(w, "pushButton_lianjie");
    QTRY_COMPARE(stateLabel(w)->text(), QStringLiteral("已断开连接"));
    find<QComboBox>(w, "comboBox_addr")->clear();
    find<QComboBox>(w, "comboBox_addr")->addItem(QStringLiteral("2"));
    click(w, "pushButton_lianjie");
    QTRY_COMPARE(stateLabel(w)->text(), QStringLiteral("连接失败"));
    QVERIFY(!find<QStackedWidget>(w, "stackedWidget")->isEnabled());
    QVERIFY(!find<QPushButton>(w, "pushButton_xierushezhi")->isEnabled());
    QVERIFY(closer.texts().isEmpty());
}

void TestLink::pulledAndPluggedBack()
{
    InstrumentThread inst({1});
    QVERIFY(inst.start());
    MainWindow w;
    w.show();
    DialogCloser closer;
    QVERIFY(connectWindow(w, inst.portPath(), 1));
    inst.bus().with(1, [](VirtualInstrument &i) { i.faults.silent = true; });
    QTRY_COMPARE_WITH_TIMEOUT(stateLabel(w)->text(), QStringLiteral("连接失败"), 6000);
    QVERIFY(!find<QPushButton>(w, "pushButton_xierushezhi")->isEnabled());
    inst.bus().with(1, [](VirtualInstrument &i) {
        i.faults.silent = false;
        i.live = false;
        i.setReg(9, 55);
    });
    QTRY_COMPARE_WITH_TIMEOUT(stateLabel(w)->text(), QStringLiteral("连接成功"), 6000);
    QTRY_COMPARE(find<QLineEdit>(w, "lineEdit_dianchidianliang")->text(), QStringLiteral("55"));
    QVERIFY(closer.texts().isEmpty());
}

void TestLink::followsInstrumentAfterSave()
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
    QCOMPARE(connectLabel(w)->text(),
             QStringLiteral("当前连接：%1,38400,EVEN,8,1,地址：5").arg(inst.portPath()));
    QCOMPARE(find<QComboBox>(w, "comboBox_addr")->currentText(), QStringLiteral("5"));
    QCOMPARE(find<QComboBox>(w, "comboBox_baud")->currentText(), QStringLiteral("38400"));

    // The instrument answers only at 38400 now; the window keeps talking to it.
    inst.bus().with(5, [](VirtualInstrument &i) {
        i.live = false;
        i.setReg(9, 66);
    });
    QTRY_COMPARE(find<QLineEdit>(w, "lineEdit_dianchidianliang")->text(), QStringLiteral("66"));
    click(w, "pushButton_duqushezhi");
    QTRY_COMPARE(stateLabel(w)->text(), QStringLiteral("读取设置数据成功"));
    QVERIFY(closer.texts().isEmpty());
}

void TestLink::replyRows_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("warning");
    QTest::newRow("searching") << "searching addr:17"
                               << "当前搜索地址：17"
                               << "";
    QTest::newRow("meter param failed") << "read meter param failed"
                                        << "读取仪表参数失败"
                                        << "读取仪表参数失败！";
    QTest::newRow("meter param written") << "write meter param succeed"
                                         << "写入仪表参数成功"
                                         << "";
    QTest::newRow("user read failed") << "read user param failed"
                                      << "读取设置数据失败"
                                      << "读取设置数据失败！";
    QTest::newRow("temp failed") << "read tempereture param failed"
                                 << "读取温度校准数据失败"
                                 << "读取温度校准数据失败！";
    QTest::newRow("yali ecjz written") << "write yali ecjz data succeed"
                                       << "写入压力二次校准数据成功"
                                       << "";
    QTest::newRow("wendu ecjz failed") << "write wendu ecjz data failed"
                                       << "写入温度二次校准数据失败"
                                       << "写入温度二次校准数据失败！";
    QTest::newRow("custom failed") << "read custom reg failed"
                                   << "读取寄存器组态数据失败"
                                   << "读取寄存器组态数据失败！";
    QTest::newRow("read all failed") << "read all failed"
                                     << "全部读取失败"
                                     << "全部读取失败！";
    QTest::newRow("write all failed") << "write all failed"
                                      << "全部写入失败"
                                      << "全部写入失败！";
    QTest::newRow("clr ok") << "write clr succeed"
                            << "操作成功"
                            << "";
    QTest::newRow("clr failed") << "write clr failed"
                                << "操作失败"
                                << "操作失败！";
    QTest::newRow("backing") << "fac backing"
                             << "正在恢复出厂..."
                             << "";
    QTest::newRow("back failed") << "back fac failed"
                                 << "恢复出厂失败"
                                 << "恢复出厂失败！";
    QTest::newRow("user saving") << "user saving"
                                 << "正在保存..."
                                 << "";
    QTest::newRow("fac saving") << "fac saving"
                                << "正在保存..."
                                << "";
    QTest::newRow("user save failed") << "user save failed"
                                      << "保存失败"
                                      << "保存失败！";
    QTest::newRow("fac save failed") << "fac save failed"
                                     << "保存失败"
                                     << "保存失败！";
    QTest::newRow("connect failed") << "connect failed"
                                    << "连接失败"
                                    << "";
    QTest::newRow("leading blank") << " connect failed"
                                   << ""
                                   << "";
    QTest::newRow("other case") << "Connect Failed"
                                << ""
                                << "";
    QTest::newRow("unknown") << "hello"
                             << ""
                             << "";
}

void TestLink::replyRows()
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

void TestLink::burstBeyondOneRead()
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
    QByteArray burst;
    for (int i = 0; i < 195; ++i)
        burst.append('\x01').append('\x00');
    QByteArray reply = QByteArray::fromHex("0133040058000c");
    const quint16 crc =
        kzModbus::crc16(reinterpret_cast<const quint8 *>(reply.constData()), quint16(reply.size()));
    reply.append(char(crc & 0xFF)).append(char(crc >> 8));
    burst.append(reply).append('\x00');
    QCOMPARE(burst.size(), 400);
    QVERIFY(pty.writeMaster(burst));
    QTRY_COMPARE_WITH_TIMEOUT(stateLabel(w)->text(), QStringLiteral("连接成功"), 1900);
}

QTEST_MAIN(TestLink)
#include "test_link.moc"
