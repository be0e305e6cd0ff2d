// The measurement display, user settings, meter parameter and register
// configuration pages against the virtual instrument on a pty.

#include "e2eharness.h"
#include "instrumentthread.h"
#include "virtualinstrument.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QTableWidget>
#include <QTextEdit>
#include <QtTest>

#include <memory>

namespace {

QString text(MainWindow &w, const char *name)
{
    if (auto *e = w.findChild<QLineEdit *>(QLatin1String(name)))
        return e->text();
    if (auto *c = w.findChild<QComboBox *>(QLatin1String(name)))
        return c->currentText();
    return find<QLabel>(w, name)->text();
}

void setText(MainWindow &w, const char *name, const QString &value)
{
    if (auto *e = w.findChild<QLineEdit *>(QLatin1String(name)))
        e->setText(value);
    else
        find<QComboBox>(w, name)->setCurrentText(value);
}

template <class T> T *cell(MainWindow &w, int row, int column)
{
    return qobject_cast<T *>(
        find<QTableWidget>(w, "tableWidget_customreg")->cellWidget(row, column));
}

// The user settings widgets, in the order the round trip fills them.
const QStringList userFields =
    QStringLiteral("lineEdit_yonghudizhi comboBox_yonghubotelv comboBox_yonghuparity "
                   "comboBox_yonghuyalidanwei comboBox_yonghuyalixiaoshudian lineEdit_yali_k "
                   "lineEdit_yalijizhi lineEdit_density lineEdit_caijizhouqi "
                   "comboBox_beiguangshijian lineEdit_ptswitchtime comboBox_yonghuwendudanwei "
                   "comboBox_yonghuwenduxiaoshudian comboBox_ADCspeed lineEdit_g")
        .split(' ');

} // namespace

class TestPages : public QObject
{
    Q_OBJECT

    std::unique_ptr<InstrumentThread> inst;
    DialogCloser closer;

    template <class F> auto onInstrument(quint8 address, F &&f)
    {
        return inst->bus().with(address, std::forward<F>(f));
    }
    std::unique_ptr<MainWindow> connectedWindow(quint8 address = 1)
    {
        auto w = std::make_unique<MainWindow>();
        if (!connectWindow(*w, inst->portPath(), address))
            return nullptr;
        return w;
    }

private slots:
    void initTestCase()
    {
        inst = std::make_unique<InstrumentThread>(QList<quint8>{1, 2});
        QVERIFY(inst->start());
    }
    void init()
    {
        closer.clear();
        onInstrument(1, [](VirtualInstrument &i) {
            i.faults = VirtualInstrument::Faults();
            i.live = true;
        });
    }

    void settingsAndMeterParamsRoundTrip()
    {
        auto w = connectedWindow();
        QVERIFY(w);
        const QStringList values =
            QStringLiteral("1 9600 EVEN bar 3 1.23456789 -0.5 0.998 7 常亮 9 ℉ 2 40 9.81")
                .split(' ');
        for (int k = 0; k < values.size(); ++k)
            setText(*w, qPrintable(userFields.at(k)), values.at(k));
        Replies replies(*w);
        click(*w, "pushButton_xierushezhi");
        QTRY_VERIFY_WITH_TIMEOUT(replies.has("user save succeed"), 10000);
        QCOMPARE(text(*w, "label_wendudanwei"), QStringLiteral("℉"));
        QCOMPARE(text(*w, "label_yalidanwei"), QStringLiteral("bar"));
        onInstrument(1, [](VirtualInstrument &i) {
            QCOMPARE((QList<int>{i.reg(44), i.reg(46), i.reg(48), i.reg(50), i.reg(52)}),
                     (QList<int>{2, 5, 12, 4, 40}));
            QCOMPARE(i.float32(54), 1.23456789f);
            QCOMPARE(i.float32(58), 0.998f);
        });

        find<QComboBox>(*w, "comboBox_yibiaoleixing")->setCurrentIndex(0);
        setText(*w, "lineEdit_yibiaobianhao", "3000000000");
        click(*w, "pushButton_xieruyibiaocanshu");
        QTRY_VERIFY_WITH_TIMEOUT(replies.count("user save succeed") == 2, 10000);

        w.reset(); // one window on the line at a time
        auto fresh = connectedWindow();
        QVERIFY(fresh);
        QStringList expected = values;
        expected[5] = QStringLiteral("1.23457");
        for (int k = 0; k < values.size(); ++k)
            QCOMPARE(text(*fresh, qPrintable(userFields.at(k))), expected.at(k));
        QCOMPARE(text(*fresh, "label_wendudanwei"), QStringLiteral("℉"));
        QCOMPARE(text(*fresh, "lineEdit_yibiaobianhao"), QStringLiteral("3000000000"));
        QCOMPARE(text(*fresh, "label_yibiaobianhao"), QStringLiteral("仪表编号：3000000000"));
        QCOMPARE(text(*fresh, "label_yibiaoleixing"), QStringLiteral("仪表类型：单独压力"));
    }

    // Refused addresses write nothing; a lost link then takes a fresh read
    // before settings may be written again.
    void refusedAddressAndWriteAfterLinkLoss()
    {
        auto w = connectedWindow();
        QVERIFY(w);
        const int writesBefore =
            onInstrument(1, [](VirtualInstrument &i) { return i.writeRequestCount; });
        Replies replies(*w);
        for (const char *address : {"0", "256", "abc"}) {
            closer.clear();
            setText(*w, "lineEdit_yonghudizhi", address);
            setText(*w, "comboBox_yonghubotelv", "38400");
            click(*w, "pushButton_xierushezhi");
            QCOMPARE(closer.texts(), QStringList{"仪表地址必须是1到255之间的整数！"});
            QCOMPARE(text(*w, "label_state"), QStringLiteral("地址无效"));
            QVERIFY(!(w->modbusWorker()->pendingCommands() & Bit::mask(Bit::WriteUserParam)));
            QCOMPARE(w->modbusWorker()->lockMirror()->at(43), quint16(3));
        }
        w->getUserParam(); // as "write all" does: the address read last stays
        QCOMPARE(w->modbusWorker()->lockMirror()->at(42), quint16(1));
        click(*w, "pushButton_duqushezhi");
        QTRY_VERIFY_WITH_TIMEOUT(replies.count("read user param succeed") == 1, 10000);
        QCOMPARE(onInstrument(1, [](VirtualInstrument &i) { return i.writeRequestCount; }),
                 writesBefore);

        auto *write = find<QPushButton>(*w, "pushButton_xierushezhi");
        QVERIFY(write->isEnabled());
        onInstrument(1, [](VirtualInstrument &i) { i.faults.silent = true; });
        QTRY_VERIFY_WITH_TIMEOUT(replies.has("connect failed"), 10000);
        QVERIFY(!write->isEnabled());
        onInstrument(1, [](VirtualInstrument &i) { i.faults.silent = false; });
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
        QTest::newRow("next") << QString("1911140001") << QString("1911140002");
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
        setText(w, "lineEdit_yibiaobianhao", before);
        click(w, "pushButton_yibiaobianhaojiayi");
        QCOMPARE(text(w, "lineEdit_yibiaobianhao"), after);
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

    // Cell values and the text block go through the mirror's own conversions;
    // here only their way to the instrument and back, then live values.
    void customRegistersAndLiveValues()
    {
        onInstrument(1, [](VirtualInstrument &i) {
            i.setReg(193, 24); // row 1: hexadecimal, register 101
            i.setReg(194, 101);
            i.setReg(195, 0x1A2B);
        });
        auto w = connectedWindow();
        QVERIFY(w);
        QCOMPARE(cell<QLineEdit>(*w, 1, 1)->text(), QStringLiteral("101"));
        QCOMPARE(cell<QLineEdit>(*w, 1, 2)->text(), QStringLiteral("1A2B"));

        cell<QLineEdit>(*w, 1, 2)->setText("ff");
        cell<QComboBox>(*w, 5, 0)->setCurrentIndex(25);
        cell<QLineEdit>(*w, 5, 2)->setText("A");
        // 34 three-byte characters: the 34th would straddle byte 100.
        find<QTextEdit>(*w, "textEdit_custom50reg")->setPlainText(QString(34, QChar(0x4E2D)));
        Replies replies(*w);
        click(*w, "pushButton_xierucustomreg");
        QTRY_VERIFY_WITH_TIMEOUT(replies.has("fac save succeed"), 10000);

        QByteArray bytes;
        onInstrument(1, [&](VirtualInstrument &i) {
            QCOMPARE(i.reg(195), quint16(255));
            QCOMPARE(i.reg(205), quint16(25));
            QCOMPARE(i.reg(207), quint16(0x4100));
            for (int k = 269; k <= 318; ++k)
                bytes.append(char(i.reg(k) >> 8)).append(char(i.reg(k) & 0xFF));
        });
        const QByteArray stored = QByteArray("\xE4\xB8\xAD").repeated(33);
        QCOMPARE(bytes, stored + QByteArray(1, '\0'));

        find<QTextEdit>(*w, "textEdit_custom50reg")->clear();
        click(*w, "pushButton_duqucustomreg");
        QTRY_VERIFY_WITH_TIMEOUT(replies.has("read custom reg succeed"), 10000);
        QCOMPARE(find<QTextEdit>(*w, "textEdit_custom50reg")->toPlainText(),
                 QString::fromUtf8(stored));

        onInstrument(1, [](VirtualInstrument &i) {
            i.live = false;
            i.setReg(1, 1234);
            i.setReg(6, 0xFFFE);
            i.setFloat32(14, -65535.5f);
        });
        QTRY_COMPARE(text(*w, "label_ruanjianbanben"), QStringLiteral("软件版本：V12.34"));
        QTRY_COMPARE(text(*w, "lineEdit_yalizhizhengxing"), QStringLiteral("-2"));
        QTRY_COMPARE(find<QProgressBar>(*w, "progressBar_yaliADCf")->value(), 50);
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
        QCOMPARE(text(w, "label_ruanjianbanben"), QStringLiteral("软件版本：V0.05"));
        QCOMPARE(text(w, "lineEdit_yalizhi"), QStringLiteral("1.2346"));
        QCOMPARE(text(w, "lineEdit_wenduzhi"), QStringLiteral("-0.50"));
        QCOMPARE(text(w, "lineEdit_yalizhizhengxing"), QStringLiteral("-2"));
        QCOMPARE(text(w, "lineEdit_wenduzhizhengxing"), QStringLiteral("-32768"));
        QCOMPARE(text(w, "lineEdit_dianchidianya"), QStringLiteral("3.70"));
        QCOMPARE(text(w, "lineEdit_dianchidianliang"), QStringLiteral("85"));

        // Decimals: none, and a garbled code that must stay bounded.
        const auto reported = [&w](quint16 decimals) {
            w.modbusWorker()->lockMirror()->storeRead({45, 1}, &decimals);
        };
        reported(0);
        w.modbusWorker()->lockMirror()->setFloat32(2, 2.4f);
        w.showLiveValues();
        QCOMPARE(text(w, "lineEdit_yalizhi"), QStringLiteral("2"));
        reported(60000);
        w.showLiveValues();
        QCOMPARE(text(w, "lineEdit_yalizhi").size(), 22);
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
        const int regs[] = {14, 24};
        for (float v : {0.f, before, reading}) {
            for (int reg : regs)
                w.modbusWorker()->lockMirror()->setFloat32(reg, v);
            w.showLiveValues();
        }
        for (const char *channel : {"yali", "wendu"}) {
            const QString c = QLatin1String(channel);
            auto bar = [&](const char *half) {
                return find<QProgressBar>(w, qPrintable("progressBar_" + c + "ADC" + half));
            };
            auto sheet = [&](const char *half, const QString &colour) {
                return colour.isEmpty() ? QString()
                                        : QStringLiteral("QProgressBar#progressBar_%1ADC%2::chunk{"
                                                         "background-color: %3;}")
                                              .arg(c, QLatin1String(half), colour);
            };
            QTEST(text(w, qPrintable("label_" + c + "ADC")), "label");
            QTEST(bar("z")->value(), "positive");
            QTEST(bar("f")->value(), "negative");
            QFETCH(QString, positiveColour);
            QFETCH(QString, negativeColour);
            QCOMPARE(bar("z")->styleSheet(), sheet("z", positiveColour));
            QCOMPARE(bar("f")->styleSheet(), sheet("f", negativeColour));
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
        QCOMPARE(text(w, "label_model"), QStringLiteral("板卡型号：KV-3PD"));
        QTEST(text(w, "label_yibiaoleixing"), "typeText");
        QTEST(text(w, "label_yibiaoliangcheng"), "rangeText");
        QTEST(text(w, "label_yibiaobianhao"), "numberText");
    }
};

QTEST_MAIN(TestPages)
#include "test_pages.moc"
