// Nothing reaches an instrument that the user did not mean, nor the wrong
// instrument: the window over a pty against virtual instruments, checking
// what arrived in their registers and what the user is shown.

#include "e2eharness.h"
#include "instrumentthread.h"
#include "model/backupfile.h"
#include "trend/trendwindow.h"
#include "virtualinstrument.h"

#include <QProgressBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <cstring>
#include <memory>

using Regs = QVector<quint16>;

class TestIntegrity : public QObject
{
    Q_OBJECT

    std::unique_ptr<InstrumentThread> inst;
    DialogCloser closer;
    QTemporaryDir dir;

    template <class F> auto on(quint8 address, F &&f)
    {
        return inst->bus().with(address, std::forward<F>(f));
    }
    int writes(quint8 address)
    {
        return on(address, [](VirtualInstrument &i) { return i.writeRequestCount; });
    }
    quint16 reg(quint8 address, int r)
    {
        return on(address, [r](VirtualInstrument &i) { return i.reg(r); });
    }
    Regs regs(quint8 address, int first, int last)
    {
        Regs out;
        for (int r = first; r <= last; ++r)
            out << reg(address, r);
        return out;
    }
    std::unique_ptr<MainWindow> connected(quint8 address = 1)
    {
        auto w = std::make_unique<MainWindow>();
        if (!connectWindow(*w, inst->portPath(), address))
            return nullptr;
        return w;
    }
    // A backup of the instrument's registers 42..318, changed as asked.
    QString backupOf(quint8 address, const QMap<int, quint16> &changes)
    {
        quint16 regs[backup::RegisterCount];
        for (int i = 0; i < backup::RegisterCount; ++i)
            regs[i] = changes.value(42 + i, reg(address, 42 + i));
        const QString path = dir.filePath(QStringLiteral("other.qvdbk"));
        return writeBackupFile(path, backupImage(regs)) ? path : QString();
    }
    // The meter falls silent and another one, number 1234567890, answers in its place.
    template <class F> bool anotherMeterAfterSilence(MainWindow &w, F &&change)
    {
        Replies replies(w);
        on(1, [](VirtualInstrument &i) { i.faults.silent = true; });
        if (!QTest::qWaitFor([&] { return replies.has("connect failed"); }, 10000))
            return false;
        on(1, [&](VirtualInstrument &i) {
            i.setUint32(72, 1234567890);
            change(i);
            i.faults.silent = false;
        });
        return true;
    }
    void loadBackup(MainWindow &w, const QString &path)
    {
        w.setSettingsPath(dir.filePath(QStringLiteral("settings.ini")));
        w.setFileNameProvider([path](bool, const QString &) { return path; });
        w.duqubeifenshujuSlot();
    }

private slots:
    void init()
    {
        closer.clear();
        inst = std::make_unique<InstrumentThread>(QList<quint8>{1, 2});
        QVERIFY(inst->start());
        for (quint8 a : {1, 2})
            on(a, [](VirtualInstrument &i) { i.live = false; });
    }
    void cleanup() { inst.reset(); }

    void pendingWriteNeverReachesTheNextInstrument()
    {
        const quint32 second = on(2, [](VirtualInstrument &i) { return i.uint32(72); });
        auto w = connected(1);
        QVERIFY(w);
        on(1, [](VirtualInstrument &i) { i.faults.delayMs = 150; }); // a slow read all
        Replies replies(*w);
        click(*w, "pushButton_duququanbushuju");
        QTRY_VERIFY(replies.has("set progressBar:0"));
        type(*w, {"lineEdit_yibiaobianhao=777"});
        click(*w, "pushButton_xieruyibiaocanshu");
        click(*w, "pushButton_lianjie"); // 断开连接
        QTRY_COMPARE(state(*w), QStringLiteral("未执行的命令已取消"));

        QVERIFY(connectWindow(*w, inst->portPath(), 2));
        QTRY_VERIFY(replies.count("read measured succeed") > 0);
        QCOMPARE(on(2, [](VirtualInstrument &i) { return i.uint32(72); }), second);
        QCOMPARE(writes(1) + writes(2), 0);
        QCOMPARE(closer.texts(), QStringList{"未执行的写入已取消：写入仪表参数"});
    }

    void saveFollowsOnlyWhatItWrote()
    {
        // Storing to flash, the instrument answers nothing for a second after a
        // save: the wait reads exist for that, at the settings just saved.
        on(1, [](VirtualInstrument &i) { i.timing.busyAfterSaveMs = 1000; });
        auto w = connected(1);
        QVERIFY(w);
        auto *list = find<QComboBox>(*w, "comboBox_addr");
        list->addItem(QStringLiteral("200"));
        const QString port = inst->portPath();

        // A backup with address 5 at 38400 EVEN. Writing only its meter
        // parameters must not move the link there.
        loadBackup(*w, backupOf(1, {{42, 5}, {43, 5}, {44, 2}}));
        type(*w, {"lineEdit_yibiaobianhao=4321"});
        Replies replies(*w);
        click(*w, "pushButton_xieruyibiaocanshu");
        QTRY_COMPARE_WITH_TIMEOUT(replies.count("user save succeed"), 1, 10000);
        QCOMPARE(on(1, [](VirtualInstrument &i) { return i.uint32(72); }), 4321u);
        QCOMPARE(on(1, [](VirtualInstrument &i) { return i.address(); }), quint8(1));
        const auto settings = w->linkSettings();
        QCOMPARE(settings.deviceAddress, quint8(1));
        QCOMPARE(settings.portBaudRate, 9600);
        QCOMPARE(connectionLine(*w),
                 QStringLiteral("当前连接：%1,9600,NONE,8,1,地址：1").arg(port));

        // The settings themselves: the window follows exactly what was written,
        // and the save completes at the new settings instead of waiting on the old.
        type(*w, {"lineEdit_yonghudizhi=9", "comboBox_yonghubotelv=38400",
                  "comboBox_yonghuparity=NONE"});
        click(*w, "pushButton_xierushezhi");
        QTRY_COMPARE_WITH_TIMEOUT(replies.count("user save succeed"), 2, 8000);
        QCOMPARE(on(9, [](VirtualInstrument &i) { return i.baudRate(); }), 38400);
        QCOMPARE(connectionLine(*w),
                 QStringLiteral("当前连接：%1,38400,NONE,8,1,地址：9").arg(port));
        QCOMPARE(list->itemText(0) + ' ' + list->itemText(1), QStringLiteral("9 200"));
        QCOMPARE(list->currentText(), QStringLiteral("9"));
        const int polls = replies.count("read measured succeed");
        QTRY_VERIFY(replies.count("read measured succeed") > polls + 2);

        type(*w, {"lineEdit_yonghudizhi=12"});
        click(*w, "pushButton_xierushezhi");
        QTRY_COMPARE_WITH_TIMEOUT(replies.count("user save succeed"), 3, 8000);
        QCOMPARE(list->itemText(0) + ' ' + list->itemText(1), QStringLiteral("12 200"));
        QVERIFY(closer.texts().isEmpty());
    }

    void writeWinsOverPendingRead()
    {
        auto w = connected(1);
        QVERIFY(w);
        on(1, [](VirtualInstrument &i) { i.faults.delayMs = 150; });
        Replies replies(*w);
        // The presses land while a read all runs: the read of the settings block
        // must not undo what the write was given, nor its save drop the next write.
        click(*w, "pushButton_duququanbushuju");
        QTRY_VERIFY(replies.has("set progressBar:0"));
        click(*w, "pushButton_duqushezhi");
        type(*w, {"lineEdit_caijizhouqi=7"});
        click(*w, "pushButton_xierushezhi");
        click(*w, "pushButton_xieruwenduercijiaozhun");
        QTRY_COMPARE_WITH_TIMEOUT(replies.count("user save succeed"), 2, 15000);
        QVERIFY(replies.has("write wendu ecjz data succeed"));
        QCOMPARE(reg(1, 49), quint16(7));
        QCOMPARE(edit(*w, "lineEdit_caijizhouqi")->text(), QStringLiteral("7"));
        QVERIFY(replies.has("write user param succeed"));
    }

    void untouchedWriteAllKeepsExactValues()
    {
        const float gain = 1.2345679f;
        on(1, [gain](VirtualInstrument &i) {
            i.setFloat32(54, gain);
            i.setReg(193, 25);     // row 1: custom characters
            i.setReg(195, 0xFFFE); // two bytes that are no UTF-8
            i.setReg(269, 0xC328); // a broken sequence in the text block
            i.setReg(270, 0x4100);
        });
        auto w = connected(1);
        QVERIFY(w);
        Replies replies(*w);
        click(*w, "pushButton_xieruquanbushuju");
        QTRY_COMPARE_WITH_TIMEOUT(replies.count("fac save succeed"), 1, 15000);
        const float written = on(1, [](VirtualInstrument &i) { return i.float32(54); });
        QCOMPARE(std::memcmp(&written, &gain, sizeof gain), 0);
        QCOMPARE(reg(1, 195), quint16(0xFFFE));
        QCOMPARE((Regs{reg(1, 269), reg(1, 270)}), (Regs{0xC328, 0x4100}));

        // Untouched is exact; typed is parsed.
        type(*w, {"lineEdit_yali_k=2.5"});
        click(*w, "pushButton_xierushezhi");
        QTRY_COMPARE_WITH_TIMEOUT(replies.count("user save succeed"), 1, 10000);
        QCOMPARE(on(1, [](VirtualInstrument &i) { return i.float32(54); }), 2.5f);
    }

    void offlineBackupSurvivesConnect()
    {
        const QString path = backupOf(1, {{49, 33}});
        MainWindow w;
        loadBackup(w, path);
        QCOMPARE(edit(w, "lineEdit_caijizhouqi")->text(), QStringLiteral("33"));
        choosePort(w, inst->portPath());
        find<QComboBox>(w, "comboBox_addr")->addItem(QStringLiteral("1"));
        Replies replies(w);
        click(w, "pushButton_lianjie");
        QTRY_COMPARE(state(w), QStringLiteral("已载入备份数据，未读取仪表"));
        QTRY_VERIFY(replies.count("read measured succeed") > 2);
        QVERIFY(!replies.has("read all succeed"));
        QCOMPARE(edit(w, "lineEdit_caijizhouqi")->text(), QStringLiteral("33"));
        click(w, "pushButton_xierushezhi");
        QTRY_COMPARE_WITH_TIMEOUT(replies.count("user save succeed"), 1, 10000);
        QCOMPARE(reg(1, 49), quint16(33));
    }

    void silentInstrument()
    {
        // The instrument stops answering during the read all that follows the connect.
        auto w = std::make_unique<MainWindow>();
        choosePort(*w, inst->portPath());
        find<QComboBox>(*w, "comboBox_addr")->addItem(QStringLiteral("1"));
        Replies replies(*w);
        click(*w, "pushButton_lianjie");
        QTRY_VERIFY(replies.has("connect succeed"));
        on(1, [](VirtualInstrument &i) { i.faults.silent = true; });
        QTRY_VERIFY_WITH_TIMEOUT(replies.has("read all failed"), 15000);
        closer.clear();
        // Nothing read: no page may write the form's defaults into the meter.
        for (const char *button :
             {"pushButton_xierushezhi", "pushButton_xieruyibiaocanshu", "pushButton_xieruyalishuju",
              "pushButton_xieruwendushuju", "pushButton_xierucustomreg",
              "pushButton_xieruquanbushuju", "pushButton_xieruyaliercijiaozhun"}) {
            QVERIFY2(!find<QPushButton>(*w, button)->isEnabled(), button);
            // The meter never told its number.
            QCOMPARE(find<QPushButton>(*w, button)->toolTip(), QStringLiteral("仪表未连接"));
        }
        // The bar of the failed transfer goes away as after a success.
        QTRY_VERIFY(!find<QProgressBar>(*w, "progressBar")->isVisible());

        QTRY_VERIFY_WITH_TIMEOUT(replies.has("connect failed"), 5000);
        const int requests = on(1, [](VirtualInstrument &i) { return i.requestCount; });
        click(*w, "pushButton_duqushezhi");
        QCOMPARE(state(*w), QStringLiteral("仪表未连接，命令未执行"));
        QVERIFY(!replies.has("read user param failed"));
        QCOMPARE(on(1, [](VirtualInstrument &i) { return i.requestCount; }) - requests <= 1, true);
    }

    void pagesTellTheTruth()
    {
        on(1, [](VirtualInstrument &i) {
            i.setFloat32(116, 1.52588e-05f); // secondary reading far below 1
            i.setReg(193, 23);               // row 1: decimal
            i.setReg(195, 1234);
        });
        auto w = connected(1);
        QVERIFY(w);
        // Ten characters hold the reading only with fewer digits, never without
        // its exponent.
        const QString shown = edit(*w, "lineEdit_ecjz_yalicaijizhi1")->text();
        QVERIFY2(shown.size() <= 10 && shown.contains(QLatin1String("e-05")), qPrintable(shown));

        // A row switched to hexadecimal shows its value in the new form, and
        // takes what is typed there.
        auto *table = find<QTableWidget>(*w, "tableWidget_customreg");
        auto *row = qobject_cast<QComboBox *>(table->cellWidget(1, 0));
        auto *value = qobject_cast<QLineEdit *>(table->cellWidget(1, 2));
        QCOMPARE(value->text(), QStringLiteral("1234"));
        row->setCurrentIndex(24);
        QCOMPARE(value->text(), QStringLiteral("04D2"));
        row->setCurrentIndex(3); // a quantity of the instrument: nothing to edit
        QVERIFY(!value->isEnabled());
        row->setCurrentIndex(24);
        value->setText(QStringLiteral("ff"));
        Replies replies(*w);
        click(*w, "pushButton_xierucustomreg");
        QTRY_COMPARE_WITH_TIMEOUT(replies.count("fac save succeed"), 1, 10000);
        QCOMPARE(reg(1, 195), quint16(255));
        QCOMPARE(reg(1, 193), quint16(24));

        // Another meter's backup fills the pages, not the panels of this one.
        const QString info = find<QLabel>(*w, "label_yibiaobianhao")->text();
        const QString unit = find<QLabel>(*w, "label_yalidanwei")->text();
        loadBackup(*w, backupOf(1, {{46, 6}, {72, 999}, {73, 0}}));
        QCOMPARE(edit(*w, "lineEdit_yibiaobianhao")->text(), QStringLiteral("0000000999"));
        QCOMPARE(find<QLabel>(*w, "label_yibiaobianhao")->text(), info);
        QCOMPARE(find<QLabel>(*w, "label_yalidanwei")->text(), unit);
    }

    void slowestLine()
    {
        // 1200 baud with even parity, 11 bits a character on the paced line: a
        // 100-register transfer takes longer than the two seconds a request used
        // to get, in both directions.
        inst = std::make_unique<InstrumentThread>(QList<quint8>{1});
        inst->setPaced(true);
        QVERIFY(inst->start());
        on(1, [](VirtualInstrument &i) {
            i.live = false;
            QVector<quint16> image = i.userImage();
            image[43 - 42] = 0;
            image[44 - 42] = 2;
            i.setImages(image, i.factoryImage());
        });
        MainWindow w;
        choosePort(w, inst->portPath(), 0);
        find<QComboBox>(w, "comboBox_parity")->setCurrentIndex(2);
        find<QComboBox>(w, "comboBox_addr")->addItem(QStringLiteral("1"));
        Replies replies(w);
        click(w, "pushButton_lianjie");
        QTRY_VERIFY_WITH_TIMEOUT(replies.has("read all succeed"), 20000);
        type(w, {"lineEdit_caijizhouqi=11"});
        click(w, "pushButton_xieruquanbushuju");
        QTRY_VERIFY_WITH_TIMEOUT(replies.has("fac save succeed"), 25000);
        QVERIFY(replies.has("write all succeed"));
        QCOMPARE(reg(1, 49), quint16(11));
        QVERIFY(closer.texts().isEmpty());
    }

    void anotherMeterAnswers()
    {
        auto w = connected(1);
        QVERIFY(w);
        Replies replies(*w);
        // Another meter answers at the same address, slowly enough to watch.
        QVERIFY(anotherMeterAfterSilence(*w, [](VirtualInstrument &i) {
            i.setFloat32(116, 3.5f);
            i.faults.delayMs = 150;
        }));
        const int writesBefore = writes(1);
        // The user writes the old meter's secondary calibration the moment the link is back.
        connect(w->modbusWorker(), &modbusThread::sendMessageToMainThread, this,
                [&](const QString &m) {
                    if (m == QLatin1String("connect succeed"))
                        click(*w, "pushButton_xieruyaliercijiaozhun");
                });
        QTRY_COMPARE_WITH_TIMEOUT(state(*w), QStringLiteral("检测到另一台仪表：1234567890"), 10000);
        QCOMPARE(find<QLabel>(*w, "label_yibiaobianhao")->text(),
                 QStringLiteral("仪表编号：1234567890"));
        QTRY_VERIFY_WITH_TIMEOUT(replies.has("read all succeed"), 10000);
        QCOMPARE(edit(*w, "lineEdit_ecjz_yalicaijizhi1")->text(), QStringLiteral("3.5"));
        QVERIFY(find<QPushButton>(*w, "pushButton_xieruyaliercijiaozhun")->isEnabled());
        QCOMPARE(writes(1), writesBefore);
    }

    void anotherMetersBackup()
    {
        on(1, [](VirtualInstrument &i) { i.setUint32(72, 1111111111); });
        on(2, [](VirtualInstrument &i) { i.setUint32(72, 2222222222u); });
        const QString file = backupOf(1, {{49, 33}, {268, 77}});
        const Regs own = regs(2, 72, 192);
        const QStringList warning{
            "备份文件属于另一台仪表：文件的仪表编号为 1111111111，当前仪表编号为 2222222222。"
            "文件中的仪表参数和校准数据不会写入当前仪表；写入全部数据时，当前仪表保留自己的"
            "仪表参数、校准数据和通讯设置。"};

        {
            // Nothing read, nothing loaded: no backup.
            MainWindow offline;
            const QString empty = dir.filePath(QStringLiteral("empty.qvdbk"));
            offline.setFileNameProvider([&](bool, const QString &) { return empty; });
            offline.beifenshujuSlot();
            QCOMPARE(closer.texts(), QStringList{"没有可备份的数据"});
            QVERIFY(!QFile::exists(empty));
            QCOMPARE(find<QPushButton>(offline, "pushButton_xierushezhi")->toolTip(),
                     QStringLiteral("仪表未连接"));
            click(offline, "pushButton_duquyibiaoxinxi");
            QCOMPARE(state(offline), QStringLiteral("仪表未连接，命令未执行"));
            // Loaded off-line, then connected to another meter.
            closer.clear();
            loadBackup(offline, file);
            choosePort(offline, inst->portPath());
            find<QComboBox>(offline, "comboBox_addr")->addItem(QStringLiteral("2"));
            click(offline, "pushButton_lianjie");
            QTRY_COMPARE(closer.texts(), warning);
        }

        // Loaded while connected; write all keeps the meter's own 72..192.
        closer.clear();
        auto w = connected(2);
        QVERIFY(w);
        loadBackup(*w, file);
        QCOMPARE(closer.texts(), warning);
        for (const char *button : {"pushButton_xieruyibiaocanshu", "pushButton_xieruyalishuju",
                                   "pushButton_xieruwendushuju", "pushButton_xieruyaliercijiaozhun",
                                   "pushButton_xieruwenduercijiaozhun"}) {
            QVERIFY2(!find<QPushButton>(*w, button)->isEnabled(), button);
            QCOMPARE(find<QPushButton>(*w, button)->toolTip(), QStringLiteral("另一台仪表的数据"));
        }
        Replies replies(*w);
        click(*w, "pushButton_xieruquanbushuju");
        QTRY_COMPARE_WITH_TIMEOUT(replies.count("fac save succeed"), 1, 15000);
        QCOMPARE(regs(2, 72, 192), own);
        QCOMPARE((Regs{reg(2, 42), reg(2, 49), reg(2, 268)}), (Regs{2, 33, 77}));
        QCOMPARE(edit(*w, "lineEdit_yibiaobianhao")->text(), QStringLiteral("2222222222"));
    }

    void wholeNumbersAreChecked()
    {
        on(1, [](VirtualInstrument &i) { i.setReg(193, 23); }); // row 1: decimal custom data
        auto w = connected(1);
        QVERIFY(w);
        auto *table = find<QTableWidget>(*w, "tableWidget_customreg");
        const struct
        {
            QLineEdit *field;
            const char *text;
            const char *button;
            const char *caption;
        } rows[] = {
            {edit(*w, "lineEdit_caijizhouqi"), "1.5", "pushButton_xierushezhi", "采集周期"},
            {edit(*w, "lineEdit_caijizhouqi"), "abc", "pushButton_xieruquanbushuju", "采集周期"},
            {edit(*w, "lineEdit_ptswitchtime"), "70000", "pushButton_xierushezhi", "显示切换时间"},
            {edit(*w, "lineEdit_yibiaobianhao"), "12a", "pushButton_xieruyibiaocanshu", "仪表编号"},
            {edit(*w, "lineEdit_yalilingdianpingbi"), "-1", "pushButton_xieruyalishuju",
             "零点屏蔽"},
            {qobject_cast<QLineEdit *>(table->cellWidget(1, 1)), "1.5", "pushButton_xierucustomreg",
             "第1行地址"},
            {qobject_cast<QLineEdit *>(table->cellWidget(1, 2)), "70000",
             "pushButton_xierucustomreg", "第1行自定义数据"},
            {edit(*w, "lineEdit_canshudizhi_16"), "70000", "pushButton_xierucustomreg", "起始地址"},
        };
        for (const auto &row : rows) {
            closer.clear();
            const QString before = row.field->text();
            row.field->setText(QString::fromUtf8(row.text));
            click(*w, row.button);
            QCOMPARE(closer.texts(), QStringList{QStringLiteral("数值无效：%1").arg(row.caption)});
            row.field->setText(before);
        }
        QCOMPARE(writes(1), 0);
    }

    void untouchedCombosKeepTheirCodes()
    {
        // Codes the lists do not hold: an ADC rate of 20, a gain of 3, 7 points.
        on(1, [](VirtualInstrument &i) {
            i.setReg(52, 20);
            i.setReg(81, 3);
            i.setUint32(104, 7);
        });
        auto w = connected(1);
        QVERIFY(w);
        QCOMPARE(find<QComboBox>(*w, "comboBox_ADCspeed")->currentText(), QStringLiteral("20"));
        QCOMPARE(find<QComboBox>(*w, "comboBox_yaliADCzengyi")->currentText(), QStringLiteral("3"));
        type(*w, {"lineEdit_density=1.5"});
        Replies replies(*w);
        click(*w, "pushButton_xierushezhi");
        QTRY_COMPARE_WITH_TIMEOUT(replies.count("user save succeed"), 1, 10000);
        QCOMPARE((Regs{reg(1, 52), reg(1, 81), reg(1, 104)}), (Regs{20, 3, 7}));

        // Read again with a listed code, the extra item is gone.
        on(1, [](VirtualInstrument &i) { i.setReg(52, 40); });
        click(*w, "pushButton_duqushezhi");
        QTRY_COMPARE(find<QComboBox>(*w, "comboBox_ADCspeed")->currentText(), QStringLiteral("40"));
        QCOMPARE(find<QComboBox>(*w, "comboBox_ADCspeed")->count(), 2);
    }

    void unwrittenEditsLeaveTheLiveValues()
    {
        on(1, [](VirtualInstrument &i) {
            i.setFloat32(2, 1.23456f);
            i.setReg(45, 2);
            i.setReg(46, 2); // MPa
        });
        auto w = connected(1);
        QVERIFY(w);
        QTRY_COMPARE(edit(*w, "lineEdit_yalizhi")->text(), QStringLiteral("1.23"));
        TrendWindow trend(w->modbusWorker());

        // Chosen, not written; a backup collects them into its file.
        type(*w, {"comboBox_yonghuyalidanwei=bar", "comboBox_yonghuyalixiaoshudian=4"});
        w->setSettingsPath(dir.filePath(QStringLiteral("settings.ini")));
        const QString file = dir.filePath(QStringLiteral("edited.qvdbk"));
        w->setFileNameProvider([file](bool, const QString &) { return file; });
        w->beifenshujuSlot();
        QCOMPARE(state(*w), QStringLiteral("备份数据完成"));
        const int samples = trend.samples().size();
        QTRY_VERIFY(trend.samples().size() > samples + 2);
        QCOMPARE(edit(*w, "lineEdit_yalizhi")->text(), QStringLiteral("1.23"));
        QCOMPARE(find<QLabel>(*w, "label_yalidanwei")->text(), QStringLiteral("MPa"));
        // What the trend records in its CSV: MPa, with 2 decimals.
        QCOMPARE(trend.samples().stats(TrendBuffer::Pressure, 0, 1e12).unit, quint16(2));
        QVERIFY(closer.texts().isEmpty());

        // With a backup on the pages, another meter that answers after a silence
        // is not read: its units are unknown, not the last meter's.
        loadBackup(*w, file);
        QVERIFY(anotherMeterAfterSilence(*w, [](VirtualInstrument &i) { i.setReg(46, 5); }));
        QTRY_COMPARE_WITH_TIMEOUT(state(*w), QStringLiteral("检测到另一台仪表：1234567890"), 10000);
        QTRY_COMPARE(edit(*w, "lineEdit_yalizhi")->text(), QStringLiteral("1.23456"));
        QCOMPARE(find<QLabel>(*w, "label_yalidanwei")->text(), QString());
    }
};

QTEST_MAIN(TestIntegrity)
#include "test_integrity.moc"
