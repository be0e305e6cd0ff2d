// The measurement display and the user settings and meter parameter pages:
// what they show for the mirror's values, and what they refuse to write.

#include "e2eharness.h"
#include "instrumentthread.h"
#include "virtualinstrument.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QGroupBox>
#include <QProgressBar>
#include <QtTest>

#include <memory>

class TestPages : public QObject
{
    Q_OBJECT

    DialogCloser closer;

private slots:
    // Refused addresses write nothing; a lost link then takes a fresh read
    // before settings may be written again.
    void refusedAddressAndWriteAfterLinkLoss()
    {
        InstrumentThread inst;
        QVERIFY(inst.start());
        const auto on = [&inst](auto f) { return inst.bus().with(1, f); };
        auto w = std::make_unique<MainWindow>();
        QVERIFY(connectWindow(*w, inst.portPath(), 1));
        const int writesBefore = on([](VirtualInstrument &i) { return i.writeRequestCount; });
        Replies replies(*w);
        for (const char *address : {"0", "256", "abc"}) {
            closer.clear();
            type(*w, {QStringLiteral("lineEdit_yonghudizhi=") + address,
                      "comboBox_yonghubotelv=38400"});
            click(*w, "pushButton_xierushezhi");
            QCOMPARE(closer.texts(), QStringList{"仪表地址必须是1到255之间的整数！"});
            QCOMPARE(widgetText(*w, "label_state"), QStringLiteral("地址无效"));
            QVERIFY(!(w->modbusWorker()->pendingCommands() & Bit::mask(Bit::WriteUserParam)));
            QCOMPARE(w->modbusWorker()->lockMirror()->at(43), quint16(3));
        }
        w->getUserParam(); // as "write all" does: the address read last stays
        QCOMPARE(w->modbusWorker()->lockMirror()->at(42), quint16(1));
        click(*w, "pushButton_duqushezhi");
        QTRY_VERIFY_WITH_TIMEOUT(replies.count("read user param succeed") == 1, 10000);
        QCOMPARE(on([](VirtualInstrument &i) { return i.writeRequestCount; }), writesBefore);

        auto *write = find<QPushButton>(*w, "pushButton_xierushezhi");
        QVERIFY(write->isEnabled());
        on([](VirtualInstrument &i) { i.faults.silent = true; });
        QTRY_VERIFY_WITH_TIMEOUT(replies.has("connect failed"), 10000);
        QVERIFY(!write->isEnabled());
        on([](VirtualInstrument &i) { i.faults.silent = false; });
        QTRY_VERIFY_WITH_TIMEOUT(replies.has("connect succeed"), 10000);
        QVERIFY(!write->isEnabled());
        click(*w, "pushButton_duqushezhi");
        QTRY_VERIFY_WITH_TIMEOUT(replies.count("read user param succeed") == 2, 10000);
        QVERIFY(write->isEnabled());
    }

    void plusOne_data()
    {
        QTest::addColumn<QString>("before");
        QTest::addColumn<QString>("after");
        QTest::newRow("leading zeros") << QString("0000000007") << QString("8");
        QTest::newRow("empty") << QString() << QString("1");
        QTest::newRow("wraps") << QString("4294967295") << QString("0");
    }
    void plusOne()
    {
        QFETCH(QString, before);
        QFETCH(QString, after);
        MainWindow w;
        find<QWidget>(w, "stackedWidget")->setEnabled(true);
        w.modbusWorker()->lockMirror()->setUint32(72, 123);
        edit(w, "lineEdit_yibiaobianhao")->setText(before);
        click(w, "pushButton_yibiaobianhaojiayi");
        QCOMPARE(widgetText(w, "lineEdit_yibiaobianhao"), after);
        QCOMPARE(w.modbusWorker()->lockMirror()->uint32(72), 123u);
    }

    void meterTypeSwitchesGroups()
    {
        MainWindow w;
        find<QWidget>(w, "stackedWidget")->setEnabled(true);
        const char *groups[] = {"groupBox_yalijiaozhun", "groupBox_yaliercijiaozhun",
                                "groupBox_wendujiaozhun", "groupBox_wenduercijiaozhun"};
        // type, pressure groups enabled, temperature groups enabled
        const int steps[][3] = {{1, 0, 1}, {2, 1, 1}, {0, 1, 0}, {7, 1, 1}};
        for (const auto &s : steps) {
            w.modbusWorker()->lockMirror()->set(74, quint16(s[0]));
            w.showMeterParam();
            for (int g = 0; g < 4; ++g)
                QCOMPARE(find<QGroupBox>(w, groups[g])->isEnabledTo(&w), bool(g < 2 ? s[1] : s[2]));
        }
        // An unknown type shows no item and is written back as it was read.
        QCOMPARE(find<QComboBox>(w, "comboBox_yibiaoleixing")->currentIndex(), -1);
        w.getMeterParam();
        QCOMPARE(w.modbusWorker()->lockMirror()->at(74), quint16(7));
    }

    void liveValues()
    {
        MainWindow w;
        {
            auto m = w.modbusWorker()->lockMirror();
            m->set(1, 5);
            m->setFloat32(2, 1.23456f);
            m->setFloat32(4, -0.5f);
            const quint16 decimals[] = {4, 0, 2, 11}; // as the instrument reports them
            m->storeRead({45, 4}, decimals);
            m->set(6, 0xFFFE);
            m->set(7, 0x8000);
            m->set(8, 370);
            m->set(9, 85);
        }
        w.showLiveValues();
        QCOMPARE(widgetText(w, "label_ruanjianbanben"), QStringLiteral("软件版本：V0.05"));
        QCOMPARE(widgetText(w, "lineEdit_yalizhi"), QStringLiteral("1.2346"));
        QCOMPARE(widgetText(w, "lineEdit_wenduzhi"), QStringLiteral("-0.50"));
        QCOMPARE(widgetText(w, "lineEdit_yalizhizhengxing"), QStringLiteral("-2"));
        QCOMPARE(widgetText(w, "lineEdit_wenduzhizhengxing"), QStringLiteral("-32768"));
        QCOMPARE(widgetText(w, "lineEdit_dianchidianya"), QStringLiteral("3.70"));
        QCOMPARE(widgetText(w, "lineEdit_dianchidianliang"), QStringLiteral("85"));

        // Decimals: none, and a garbled code that must stay bounded.
        const auto reported = [&w](quint16 decimals) {
            w.modbusWorker()->lockMirror()->storeRead({45, 1}, &decimals);
        };
        reported(0);
        w.modbusWorker()->lockMirror()->setFloat32(2, 2.4f);
        w.showLiveValues();
        QCOMPARE(widgetText(w, "lineEdit_yalizhi"), QStringLiteral("2"));
        reported(60000);
        w.showLiveValues();
        QCOMPARE(widgetText(w, "lineEdit_yalizhi").size(), 22);
    }

    void adcBars_data()
    {
        QTest::addColumn<float>("before");
        QTest::addColumn<float>("reading");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("positive");
        QTest::addColumn<int>("negative");
        QTest::addColumn<QString>("positiveColour");
        QTest::addColumn<QString>("negativeColour");
        const QString green = "rgb(90,167,45)", yellow = "rgb(255,236,20)", red = "rgb(246,37,19)";
        QTest::newRow("at threshold") << 0.f << 130000.f << "130000" << 99 << 0 << green << "";
        QTest::newRow("past threshold") << 0.f << 130001.f << "130001" << 99 << 0 << red << "";
        QTest::newRow("full scale") << 0.f << 131071.f << "131071" << 100 << 0 << red << "";
        QTest::newRow("negative half")
            << 0.f << -65535.5f << "-65535" << 0 << 50 << green << yellow;
        QTest::newRow("negative full, positive keeps colour")
            << 131071.f << -131071.f << "-131071" << 0 << 100 << red << red;
        QTest::newRow("beyond the bar keeps its value")
            << 65535.5f << 200000.f << "200000" << 50 << 0 << red << "";
        QTest::newRow("no int holds it") << 65535.5f << 1e10f << "1e+10" << 50 << 0 << red << "";
        QTest::newRow("small negative") << 0.f << -0.7f << "0" << 0 << 0 << green << yellow;
    }
    void adcBars()
    {
        QFETCH(float, before);
        QFETCH(float, reading);
        MainWindow w;
        for (float v : {0.f, before, reading}) {
            for (int reg : {14, 24})
                w.modbusWorker()->lockMirror()->setFloat32(reg, v);
            w.showLiveValues();
        }
        for (const char *channel : {"yali", "wendu"}) {
            const QString c = QLatin1String(channel);
            auto bar = [&](const char *half) {
                return find<QProgressBar>(w, qPrintable("progressBar_" + c + "ADC" + half));
            };
            // The colour, as long as the sheet styles this bar's chunk.
            auto colour = [&](const char *half) {
                const QString sheet = bar(half)->styleSheet();
                return sheet.contains(bar(half)->objectName() + "::chunk")
                           ? sheet.section("background-color: ", 1).section(';', 0, 0)
                           : sheet;
            };
            QTEST(widgetText(w, qPrintable("label_" + c + "ADC")), "label");
            QTEST(bar("z")->value(), "positive");
            QTEST(bar("f")->value(), "negative");
            QTEST(colour("z"), "positiveColour");
            QTEST(colour("f"), "negativeColour");
        }
    }

    void meterInfo_data()
    {
        QTest::addColumn<quint16>("type");
        QTest::addColumn<quint32>("number");
        QTest::addColumn<QString>("typeText");
        QTest::addColumn<QString>("rangeText");
        QTest::addColumn<QString>("numberText");
        const QString type = "仪表类型：", range = "仪表量程：", number = "仪表编号：";
        QTest::newRow("temperature only")
            << quint16(1) << 42u << type + "单独温度" << range + "0~100℃" << number + "0000000042";
        QTest::newRow("both") << quint16(2) << 3000000000u << type + "温压一体"
                              << range + "0~1.6MPa，0~100℃" << number + "3000000000";
        QTest::newRow("unknown type") << quint16(9) << 0u << type << range << number + "0000000000";
    }
    void meterInfo()
    {
        QFETCH(quint16, type);
        QFETCH(quint32, number);
        MainWindow w;
        {
            auto m = w.modbusWorker()->lockMirror();
            m->setUint32(72, number);
            m->set(74, type);
            m->setFloat32(78, 1.6f);
            m->set(80, 2);
            m->setFloat32(132, 100.f);
            m->set(134, 11);
        }
        w.showMeterInfo();
        QTEST(widgetText(w, "label_yibiaoleixing"), "typeText");
        QTEST(widgetText(w, "label_yibiaoliangcheng"), "rangeText");
        QTEST(widgetText(w, "label_yibiaobianhao"), "numberText");
    }
};

QTEST_MAIN(TestPages)
#include "test_pages.moc"
