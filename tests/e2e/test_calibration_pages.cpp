// The multi-point and secondary calibration, zeroing, refused points and the
// backup file against the virtual instrument on a pty.

#include "e2eharness.h"
#include "instrumentthread.h"
#include "model/backupfile.h"
#include "virtualinstrument.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <cmath>
#include <memory>

using Regs = QVector<quint16>;

namespace {

// Every page text a backup carries: the named editors of the three pages, the
// register table, the text block and the labels the restored registers drive
// (not the units beside the live values: those follow the instrument).
QStringList pageTexts(MainWindow &w)
{
    QStringList texts;
    auto *pages = find<QWidget>(w, "stackedWidget");
    for (QLineEdit *e : pages->findChildren<QLineEdit *>())
        texts << e->objectName() + QLatin1Char('=') + e->text();
    for (QComboBox *c : pages->findChildren<QComboBox *>())
        texts << c->objectName() + QLatin1Char('=') + c->currentText();
    texts << find<QTextEdit>(w, "textEdit_custom50reg")->toPlainText();
    for (const char *label : {"label_yibiaoleixing", "label_yibiaoliangcheng",
                              "label_ecjz_yali_unit", "label_ecjz_wendu_unit"})
        texts << find<QLabel>(w, label)->text();
    return texts;
}

// The five standard values of a channel's multi-point table.
QStringList standards(MainWindow &w, const char *channel)
{
    QStringList texts;
    for (int k = 1; k <= 5; ++k)
        texts << edit(w, QStringLiteral("lineEdit_fxxxz_%1biaozhunzhi%2").arg(channel).arg(k))
                     ->text();
    return texts;
}

} // namespace

class TestCalibrationPages : public QObject
{
    Q_OBJECT

    std::unique_ptr<InstrumentThread> inst;
    DialogCloser closer;

    template <class F> auto onInstrument(F &&f) { return inst->bus().with(1, std::forward<F>(f)); }
    Regs instrumentRegs(int first, int count)
    {
        return onInstrument([=](VirtualInstrument &i) {
            Regs regs;
            for (int r = first; r < first + count; ++r)
                regs << i.reg(r);
            return regs;
        });
    }
    float instrumentFloat(int reg)
    {
        return onInstrument([=](VirtualInstrument &i) { return i.float32(reg); });
    }
    int instrumentWrites()
    {
        return onInstrument([](VirtualInstrument &i) { return i.writeRequestCount; });
    }
    std::unique_ptr<MainWindow> connectedWindow()
    {
        auto w = std::make_unique<MainWindow>();
        return connectWindow(*w, inst->portPath(), 1) ? std::move(w) : nullptr;
    }

private slots:
    void initTestCase()
    {
        inst = std::make_unique<InstrumentThread>(QList<quint8>{1});
        QVERIFY(inst->start());
    }
    void init()
    {
        closer.clear();
        onInstrument([](VirtualInstrument &i) {
            i.live = false;
            i.setReg(74, 2); // both channels: every calibration group is enabled
        });
    }

    void multiPointWrite()
    {
        onInstrument([](VirtualInstrument &i) {
            i.setFloat32(14, -100.7f); // pressure ADC
            i.setFloat32(128, -0.25f); // a zero set earlier
            i.setFloat32(126, 1.25f);  // a secondary gain set earlier
        });
        auto w = connectedWindow();
        QVERIFY(w);
        QTRY_COMPARE(find<QLabel>(*w, "label_yaliADC")->text(), QStringLiteral("-100"));
        click(*w, "pushButton_FXXXZ_yaliCJ1");
        QCOMPARE(edit(*w, "lineEdit_fxxxz_yalicaijizhi1")->text(), QStringLiteral("-100"));

        type(*w, {"lineEdit_yaliliangchengL=0", "lineEdit_yaliliangchengH=1.6",
                  "comboBox_yalidianshu=2", "lineEdit_fxxxz_yalicaijizhi1=0",
                  "lineEdit_fxxxz_yalicaijizhi2=65536", "lineEdit_fxxxz_yalibiaozhunzhi1=0",
                  "lineEdit_fxxxz_yalibiaozhunzhi2=128"});
        Replies replies(*w);
        click(*w, "pushButton_xieruyalishuju");
        QTRY_COMPARE_WITH_TIMEOUT(replies.count("fac save succeed"), 1, 10000);
        // a1 = 2^-9 exactly, the rest 0; the secondary line is the identity over
        // 0..1.6 (1.6f = 0x3FCCCCCD, 1.0f = 0x3F800000) and the zero is gone.
        QCOMPARE(instrumentRegs(106, 10), (Regs{0, 0, 0, 0x3B00, 0, 0, 0, 0, 0, 0}));
        QCOMPARE(instrumentRegs(116, 14),
                 (Regs{0, 0, 0xCCCD, 0x3FCC, 0, 0, 0xCCCD, 0x3FCC, 0, 0, 0, 0x3F80, 0, 0}));
        QCOMPARE(edit(*w, "lineEdit_ecjz_yalicaijizhi2")->text(), QStringLiteral("1.6"));

        // Temperature: three points from the even division of 0..100.
        type(*w, {"lineEdit_wenduliangchengL=0", "lineEdit_wenduliangchengH=100",
                  "comboBox_wendudianshu=3", "lineEdit_fxxxz_wenducaijizhi1=10000",
                  "lineEdit_fxxxz_wenducaijizhi2=60000", "lineEdit_fxxxz_wenducaijizhi3=110000"});
        click(*w, "pushButton_junfenwendu");
        const QStringList points = standards(*w, "wendu");
        click(*w, "pushButton_xieruwendushuju");
        QTRY_COMPARE_WITH_TIMEOUT(replies.count("fac save succeed"), 2, 10000);
        // The instrument's polynomial maps each collected value to its standard.
        const double xs[3] = {10000, 60000, 110000};
        for (int k = 0; k < 3; ++k) {
            double value = 0;
            for (int p = 4; p >= 0; --p)
                value = value * xs[k] + double(instrumentFloat(168 + 2 * p));
            QVERIFY2(std::fabs(value - points[k].toDouble()) < 1e-3, qPrintable(points[k]));
        }
        QCOMPARE(instrumentRegs(166, 2), (Regs{3, 0}));
        QCOMPARE(instrumentRegs(174, 4), Regs(4, 0));

        // A fresh window reads back what was written.
        w.reset();
        auto fresh = connectedWindow();
        QVERIFY(fresh);
        QCOMPARE(edit(*fresh, "lineEdit_fxxxz_wendubiaozhunzhi2")->text(), points[1]);
        QVERIFY(!edit(*fresh, "lineEdit_fxxxz_wenducaijizhi4")->isEnabled());
        QVERIFY(closer.texts().isEmpty());
    }

    void secondaryAndZero()
    {
        onInstrument([](VirtualInstrument &i) {
            i.setFloat32(18, 0.75f);  // reading the secondary collect buttons take
            i.setFloat32(20, 0.013f); // reading the zero button negates
            i.setFloat32(128, -0.25f);
        });
        auto w = connectedWindow();
        QVERIFY(w);
        click(*w, "pushButton_ecjz_yaliCJ2");
        QCOMPARE(edit(*w, "lineEdit_ecjz_yalicaijizhi2")->text(), QStringLiteral("0.75"));

        type(*w, {"lineEdit_ecjz_yalicaijizhi1=0.02", "lineEdit_ecjz_yalicaijizhi2=1.62",
                  "lineEdit_ecjz_yalibiaozhunzhi1=0", "lineEdit_ecjz_yalibiaozhunzhi2=1.6"});
        Replies replies(*w);
        click(*w, "pushButton_xieruyaliercijiaozhun");
        QTRY_COMPARE_WITH_TIMEOUT(replies.count("user save succeed"), 1, 10000);
        QVERIFY(std::fabs(instrumentFloat(126) - 1.0f) < 1e-6f);
        QVERIFY(std::fabs(instrumentFloat(124) + 0.02f) < 1e-6f);
        QCOMPARE(instrumentRegs(128, 2), Regs(2, 0));
        QCOMPARE(instrumentFloat(118), 1.62f);

        click(*w, "pushButton_qingling");
        QTRY_COMPARE_WITH_TIMEOUT(replies.count("user save succeed"), 2, 10000);
        QCOMPARE(instrumentFloat(128), -0.013f);
        click(*w, "pushButton_qingchuqingling");
        QTRY_COMPARE_WITH_TIMEOUT(replies.count("user save succeed"), 3, 10000);
        QCOMPARE(instrumentRegs(128, 2), Regs(2, 0));
        QCOMPARE(replies.count("write clr succeed"), 2);
    }

    void evenDivisionInStandardUnit()
    {
        auto w = connectedWindow();
        QVERIFY(w);
        type(*w, {"lineEdit_yaliliangchengL=0", "lineEdit_yaliliangchengH=1.6",
                  "comboBox_yaliliangchengdanwei=MPa", "comboBox_yalibiaozhunzhidanwei=KPa",
                  "comboBox_yalidianshu=4", "lineEdit_wenduliangchengL=32",
                  "lineEdit_wenduliangchengH=212", "comboBox_wenduliangchengdanwei=℉",
                  "comboBox_wendudianshu=3"});
        click(*w, "pushButton_junfenyali");
        click(*w, "pushButton_junfenwendu");
        QCOMPARE(standards(*w, "yali"), (QStringList{"0", "533.333", "1066.67", "1600", "0"}));
        QCOMPARE(standards(*w, "wendu"), (QStringList{"0", "51.566", "103.942", "0", "0"}));

        // A level range has no pressure without the density of the medium.
        type(*w, {"comboBox_yaliliangchengdanwei=m", "lineEdit_density=0"});
        click(*w, "pushButton_junfenyali");
        QCOMPARE(closer.texts(), QStringList{"量程单位无法换算为标准值单位，请检查单位设置！"});
        QCOMPARE(state(*w), QStringLiteral("单位无法换算"));
        QCOMPARE(standards(*w, "yali"), (QStringList{"0", "533.333", "1066.67", "1600", "0"}));
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QString>("status");
        QTest::addColumn<QString>("warning");
        const QString bad = "校准点无效";
        const QString badWarning = "校准点无效，请检查采集值和标准值！";
        QTest::newRow("pressure, equal readings")
            << "pushButton_xieruyalishuju"
            << QStringList{"lineEdit_fxxxz_yalicaijizhi1=500", "lineEdit_fxxxz_yalicaijizhi2=500"}
            << bad << badWarning;
        QTest::newRow("temperature secondary, empty reading")
            << "pushButton_xieruwenduercijiaozhun"
            << QStringList{"lineEdit_ecjz_wenducaijizhi1=", "lineEdit_ecjz_wenducaijizhi2=x"}
            << "数值无效"
            << "数值无效：温度二次校准采集值1";
        QTest::newRow("write all, temperature refused")
            << "pushButton_xieruquanbushuju"
            << QStringList{"lineEdit_fxxxz_yalicaijizhi2=9000", "lineEdit_fxxxz_wenducaijizhi1=7",
                           "lineEdit_fxxxz_wenducaijizhi2=7"}
            << bad << badWarning;
        // Numbers a float cannot hold are refused by name, never written.
        QTest::newRow("gain not a number")
            << "pushButton_xierushezhi" << QStringList{"lineEdit_yali_k=nan"} << "数值无效"
            << "数值无效：压力增益值";
        QTest::newRow("range beyond float")
            << "pushButton_xieruyalishuju" << QStringList{"lineEdit_yaliliangchengH=1e39"}
            << "数值无效"
            << "数值无效：压力量程上限";
        QTest::newRow("density infinite, write all")
            << "pushButton_xieruquanbushuju" << QStringList{"lineEdit_density=inf"} << "数值无效"
            << "数值无效：密度";
    }

    void refusals()
    {
        QFETCH(QString, button);
        QFETCH(QStringList, edits);
        auto w = connectedWindow();
        QVERIFY(w);
        type(*w, QStringList{"comboBox_yalidianshu=2", "comboBox_wendudianshu=2"} + edits);
        // Coefficients and secondary lines of both channels, as the mirror holds them.
        const auto calibration = [&w] {
            auto m = w->modbusWorker()->lockMirror();
            return Regs(m->data() + 106, m->data() + 128) + Regs(m->data() + 168, m->data() + 190);
        };
        const Regs before = calibration();
        const int writesBefore = instrumentWrites();

        click(*w, qPrintable(button));
        QFETCH(QString, warning);
        QCOMPARE(closer.texts(), QStringList{warning});
        QTEST(state(*w), "status");
        if (!button.contains(QLatin1String("ercijiaozhun"))) // those collect their own points
            QCOMPARE(calibration(), before);
        // A read after the refusal is served; a queued write would have gone first.
        Replies replies(*w);
        click(*w, "pushButton_duquyalishuju");
        QTRY_COMPARE_WITH_TIMEOUT(replies.count("read pressure param succeed"), 1, 10000);
        QCOMPARE(instrumentWrites(), writesBefore);
    }

    void backupRoundTrip()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("sub")));
        const QString file = dir.filePath(QStringLiteral("sub/kv.qvdbk"));
        const QString settings = dir.filePath(QStringLiteral("settings.ini"));
        QStringList asked;
        const auto provider = [&](bool save, const QString &start) {
            asked << (save ? "save:" : "open:") + start;
            return file;
        };

        onInstrument([](VirtualInstrument &i) { i.setFloat32(128, -0.25f); }); // a zeroed meter
        auto w = connectedWindow();
        QVERIFY(w);
        w->setSettingsPath(settings);
        w->setFileNameProvider(provider);
        type(*w, {"lineEdit_yibiaobianhao=0000000042", "lineEdit_fxxxz_wendubiaozhunzhi3=12.5",
                  "lineEdit_yalijizhi=-3.25", "comboBox_yaliADCzengyi=128"});
        qobject_cast<QLineEdit *>(find<QTableWidget>(*w, "tableWidget_customreg")->cellWidget(3, 1))
            ->setText("4321");
        find<QTextEdit>(*w, "textEdit_custom50reg")->setPlainText("备份 text");
        const int writesBefore = instrumentWrites();
        w->beifenshujuSlot();
        QCOMPARE(state(*w), QStringLiteral("备份数据完成"));
        QCOMPARE(QFile(file).size(), 556);

        // A window that never connected takes every page from the file.
        MainWindow fresh;
        fresh.setSettingsPath(settings);
        fresh.setFileNameProvider(provider);
        QVERIFY(pageTexts(fresh) != pageTexts(*w));
        fresh.duqubeifenshujuSlot();
        QCOMPARE(state(fresh), QStringLiteral("读取备份数据完成"));
        QCOMPARE(pageTexts(fresh), pageTexts(*w));
        // The backup keeps the meter's zero offset; only a calibration write clears it.
        QCOMPARE(fresh.modbusWorker()->lockMirror()->float32(128), -0.25f);
        QCOMPARE(find<QLabel>(fresh, "label_yibiaobianhao")->text(),
                 QStringLiteral("仪表编号：0000000042"));
        QCOMPARE(asked, (QStringList{"save:", "open:" + dir.filePath("sub")}));
        QVERIFY(closer.texts().isEmpty());
        QCOMPARE(instrumentWrites(), writesBefore);
        QCOMPARE(w->modbusWorker()->pendingCommands() & ~Bit::LinkMask, 0u);
    }

    void backupFailures()
    {
        QTemporaryDir dir;
        const QString settings = dir.filePath(QStringLiteral("settings.ini"));
        const auto lastFolder = [&] {
            return QSettings(settings, QSettings::IniFormat).value("LastFilePath").toString();
        };
        MainWindow w;
        // A window with nothing to back up makes no file: load one first.
        const QString loaded = dir.filePath(QStringLiteral("loaded.qvdbk"));
        const quint16 zeros[backup::RegisterCount] = {};
        QVERIFY(writeBackupFile(loaded, backupImage(zeros)));
        w.setSettingsPath(dir.filePath(QStringLiteral("load.ini")));
        w.setFileNameProvider([&](bool, const QString &) { return loaded; });
        w.duqubeifenshujuSlot();
        w.setSettingsPath(settings);
        QString next;
        w.setFileNameProvider([&](bool, const QString &) { return next; });

        next = QStringLiteral("/dev/full"); // opens, but nothing can be written
        w.beifenshujuSlot();
        QCOMPARE(state(w), QStringLiteral("备份数据失败"));
        QCOMPARE(closer.texts().size(), 1);
        QVERIFY(closer.texts().first().contains(QLatin1String("/dev/full")));
        closer.clear();
        QCOMPARE(lastFolder(), QStringLiteral("/dev"));

        // A damaged file is refused and leaves the pages and the mirror as they were.
        // Its name is typed without the suffix, which the backup gets all the same.
        next = dir.filePath(QStringLiteral("damaged"));
        w.beifenshujuSlot();
        QCOMPARE(state(w), QStringLiteral("备份数据完成"));
        next += QLatin1String(".qvdbk");
        QFile file(next);
        QCOMPARE(file.size(), 556);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.seek(100));
        QVERIFY(file.write("\x5a") == 1);
        file.close();
        find<QLineEdit>(w, "lineEdit_yaliliangchengH")->setText(QStringLiteral("7.5"));
        const QStringList before = pageTexts(w);
        const quint16 rangeHighBefore = w.modbusWorker()->lockMirror()->at(79);
        w.duqubeifenshujuSlot();
        QCOMPARE(closer.texts(), QStringList{"备份数据已经被损坏！"});
        QCOMPARE(pageTexts(w), before);
        QCOMPARE(w.modbusWorker()->lockMirror()->at(79), rangeHighBefore);

        closer.clear();
        next.clear(); // cancelled dialogs do nothing and say nothing
        w.beifenshujuSlot();
        w.duqubeifenshujuSlot();
        QCOMPARE(state(w), QStringLiteral("备份数据完成"));
        QVERIFY(closer.texts().isEmpty());
        QCOMPARE(lastFolder(), dir.path());
    }
};

QTEST_MAIN(TestCalibrationPages)

#include "test_calibration_pages.moc"
