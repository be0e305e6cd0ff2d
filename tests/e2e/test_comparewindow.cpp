// The compare window against the virtual instrument: it sees what kv3pd-cli
// diff sees for the same pair, leaves the pages alone while it reads, writes
// exactly the ticked fields, and keeps another meter's calibration out.

#include "compare/comparewindow.h"
#include "e2eharness.h"
#include "instrumentthread.h"
#include "model/backupfile.h"
#include "virtualinstrument.h"

#include <QAction>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

class TestCompareWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<InstrumentThread> inst;
    std::unique_ptr<MainWindow> w;
    std::unique_ptr<DialogCloser> closer;
    CompareWindow *cw = nullptr;
    QString chosenFile;
    QTemporaryDir dir;

    QVector<quint16> instrumentRegs()
    {
        return inst->bus().with(1, [](VirtualInstrument &i) {
            QVector<quint16> regs;
            for (int r = backup::FirstRegister; r < backup::FirstRegister + backup::RegisterCount;
                 ++r)
                regs << i.reg(r);
            return regs;
        });
    }

    QString saveImage(const QString &name, QVector<quint16> regs)
    {
        QFile f(dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(backupImage(regs.constData()));
        return f.fileName();
    }

    // The menu entry, with the file the instrument is compared with.
    void compareWith(const QString &file)
    {
        chosenFile = file;
        for (QAction *a : find<QPushButton>(*w, "pushButton_mainIcon")->menu()->actions()) {
            if (a->text() == QStringLiteral("对比备份数据"))
                a->trigger();
        }
        cw = w->findChild<CompareWindow *>(QStringLiteral("compareWindow"));
        QVERIFY(cw && cw->isVisible());
        QTRY_VERIFY(!cw->isBusy() && !cw->rows().isEmpty());
    }

    QTableWidgetItem *fieldItem(const QString &title)
    {
        const auto items =
            find<QTableWidget>(*cw, "tableWidget_compare")->findItems(title, Qt::MatchExactly);
        return items.isEmpty() ? nullptr : items.first();
    }

private slots:
    void initTestCase()
    {
        inst = std::make_unique<InstrumentThread>(QList<quint8>{1});
        QVERIFY(inst->start());
        inst->bus().with(1, [](VirtualInstrument &i) { i.live = false; });
        closer = std::make_unique<DialogCloser>();
        w = std::make_unique<MainWindow>();
        w->setSettingsPath(dir.filePath("settings.ini"));
        w->setFileNameProvider([this](bool, const QString &) { return chosenFile; });
        w->show();
        QVERIFY(connectWindow(*w, inst->portPath(), 1));
    }

    void cleanupTestCase()
    {
        w.reset();
        inst.reset();
    }

    void agreesWithDiff()
    {
        const QString file = saveImage("own.qvdbk", instrumentRegs());
        inst->bus().with(1, [](VirtualInstrument &i) {
            i.setReg(49, 77);
            i.setFloat32(54, 2.5f);
            i.setFloat32(58, std::nextafter(i.float32(58), 2.0f)); // below the display's digits
            i.setReg(269, 0x4142);
        });
        // Typed and not written: a look at the instrument must not replace it.
        edit(*w, "lineEdit_caijizhouqi")->setText("123");
        compareWith(file);
        QCOMPARE(edit(*w, "lineEdit_caijizhouqi")->text(), QString("123"));

        QProcess p;
        p.start(QStringLiteral(KV3PD_CLI),
                {"diff", "--all", "--json", saveImage("now.qvdbk", instrumentRegs()), file});
        QVERIFY(p.waitForFinished(30000));
        QCOMPARE(p.exitCode(), 4);
        const QJsonArray diff = QJsonDocument::fromJson(p.readAllStandardOutput()).array();
        QCOMPARE(diff.size(), cw->rows().size());
        const char *states[] = {"same", "approx", "different"};
        for (int i = 0; i < diff.size(); ++i) {
            const compare::Row &row = cw->rows().at(i);
            QCOMPARE(diff[i].toObject()["name"].toString(), row.field->name);
            QCOMPARE(diff[i].toObject()["state"].toString(), QString(states[int(row.state)]));
        }

        const QString shots = qEnvironmentVariable("KV3PD_SCREENSHOTS");
        if (!shots.isEmpty()) {
            fieldItem(QStringLiteral("采集周期"))->setCheckState(Qt::Checked);
            QVERIFY(cw->grab().save(shots + QStringLiteral("/compare.png")));
            fieldItem(QStringLiteral("采集周期"))->setCheckState(Qt::Unchecked);
        }
    }

    void writesTheTickedFieldsOnly()
    {
        QVERIFY(cw);
        const QVector<quint16> before = instrumentRegs();
        quint16 file[backup::RegisterCount];
        QCOMPARE(readBackupFile(chosenFile, file), BackupRead::Ok);
        QVERIFY(!find<QPushButton>(*cw, "pushButton_compareWrite")->isEnabled());
        // One field of the user settings, one of the register configuration.
        fieldItem(QStringLiteral("采集周期"))->setCheckState(Qt::Checked);
        fieldItem(QStringLiteral("数据"))->setCheckState(Qt::Checked);
        click(*cw, "pushButton_compareWrite");
        QTRY_VERIFY_WITH_TIMEOUT(!cw->isBusy(), 20000);
        QVERIFY2(
            find<QLabel>(*cw, "label_compareState")->text().startsWith("已写入并保存 2 个字段"),
            qPrintable(find<QLabel>(*cw, "label_compareState")->text()));

        const QVector<quint16> after = instrumentRegs();
        for (int i = 0; i < backup::RegisterCount; ++i) {
            const int reg = backup::FirstRegister + i;
            const bool ticked = reg == 49 || (reg >= 269 && reg <= 318);
            QVERIFY2(after[i] == (ticked ? file[i] : before[i]), qPrintable(QString::number(reg)));
        }
        // Compared again, and the page shows what the instrument now holds.
        QStringList differing;
        for (const compare::Row &row : cw->rows())
            differing << (row.equal() ? QString() : row.field->name);
        differing.removeAll(QString());
        QCOMPARE(differing, QStringList({"pressure_gain"}));
        QTRY_COMPARE(edit(*w, "lineEdit_caijizhouqi")->text(), QString::number(file[49 - 42]));
    }

    void anotherMetersCalibrationCannotBeTicked()
    {
        QVector<quint16> regs = instrumentRegs();
        regs[72 - 42] = 777;
        regs[106 - 42] ^= 1; // a calibration coefficient
        regs[49 - 42] ^= 1;
        compareWith(saveImage("other.qvdbk", regs));
        for (const QString &title : {QStringLiteral("仪表编号"), QStringLiteral("压力系数a0")})
            QVERIFY(!(fieldItem(title)->flags() & Qt::ItemIsUserCheckable));
        QVERIFY(fieldItem(QStringLiteral("采集周期"))->flags() & Qt::ItemIsUserCheckable);
        w->close();
        QVERIFY(!cw->isVisible());
    }
};

QTEST_MAIN(TestCompareWindow)
#include "test_comparewindow.moc"
