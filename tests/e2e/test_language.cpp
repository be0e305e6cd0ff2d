// The interface language: Chinese unless English is asked for, whatever the
// system locale; in English no Chinese is left anywhere a user reads.

#include "e2eharness.h"
#include "instrumentthread.h"
#include "shell/language.h"
#include "worker/messages.h"

#include <QGroupBox>
#include <QLocale>
#include <QMenu>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTextEdit>
#include <QtTest>

namespace {

// Han characters and the full-width punctuation that goes with them ("：", "！", "～").
const QRegularExpression
    chinese(QStringLiteral("[\\x{3000}-\\x{303F}\\x{3400}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]"));

void tableTexts(const QTableWidget *t, QStringList &out)
{
    for (int c = 0; c < t->columnCount(); ++c) {
        if (const QTableWidgetItem *h = t->horizontalHeaderItem(c))
            out << h->text();
        for (int r = 0; r < t->rowCount(); ++r) {
            if (const QTableWidgetItem *i = t->item(r, c))
                out << i->text() << i->toolTip();
        }
    }
}

// Every text of the widget and its children a user can come to read, on any
// page: captions, titles, combo items, cells, tool tips and menu entries.
QStringList chineseTexts(QWidget *root)
{
    QStringList texts;
    QList<QWidget *> widgets = root->findChildren<QWidget *>();
    widgets.prepend(root);
    for (const QWidget *w : qAsConst(widgets)) {
        texts << w->windowTitle() << w->toolTip();
        if (auto *l = qobject_cast<const QLabel *>(w))
            texts << l->text();
        if (auto *g = qobject_cast<const QGroupBox *>(w))
            texts << g->title();
        if (auto *e = qobject_cast<const QLineEdit *>(w))
            texts << e->text() << e->placeholderText();
        if (auto *e = qobject_cast<const QTextEdit *>(w))
            texts << e->toPlainText();
        if (auto *t = qobject_cast<const QTableWidget *>(w))
            tableTexts(t, texts);
        if (auto *c = qobject_cast<const QComboBox *>(w)) {
            for (int i = 0; i < c->count(); ++i)
                texts << c->itemText(i);
        }
        if (auto *b = qobject_cast<const QPushButton *>(w)) {
            texts << b->text();
            if (b->menu()) {
                for (const QAction *a : b->menu()->actions())
                    texts << a->text();
            }
        }
    }
    return texts.filter(chinese);
}

} // namespace

class TestLanguage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // The system speaks English: that alone must not change the language.
        qputenv("LC_ALL", "en_US.UTF-8");
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }

    void cleanup()
    {
        qunsetenv("KV3PD_LANG");
        QVERIFY(language::install(QStringLiteral("zh")));
    }

    void choice_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QByteArray>("variable");
        QTest::addColumn<bool>("starts");
        QTest::addColumn<QString>("connect");
        const QString zh = QStringLiteral("连接");
        const QString en = QStringLiteral("Connect");
        QTest::newRow("nothing asked") << QString() << QByteArray() << true << zh;
        QTest::newRow("option") << "en" << QByteArray() << true << en;
        QTest::newRow("variable, locale style")
            << QString() << QByteArray("en_GB.UTF-8") << true << en;
        QTest::newRow("option over variable") << "zh" << QByteArray("en") << true << zh;
        QTest::newRow("unknown option") << "fr" << QByteArray("en") << false << zh;
        QTest::newRow("unknown variable") << QString() << QByteArray("fr") << true << zh;
    }

    void choice()
    {
        QFETCH(QString, option);
        QFETCH(QByteArray, variable);
        QFETCH(bool, starts);
        QFETCH(QString, connect);
        if (!variable.isEmpty())
            qputenv("KV3PD_LANG", variable);
        QCOMPARE(language::installRequested(option), starts);
        QCOMPARE(MainWindow::tr("连接"), connect);
    }

    void chineseByDefault()
    {
        QVERIFY(language::installRequested(QString()));
        MainWindow w;
        DialogCloser closer;
        QCOMPARE(w.windowTitle(), QStringLiteral("KV-3PD用户调试软件V0.5"));
        QCOMPARE(find<QPushButton>(w, "pushButton_huifuchuchang")->text(),
                 QStringLiteral("恢复出厂"));
        QCOMPARE(find<QComboBox>(w, "comboBox_yibiaoleixing")->itemText(2),
                 QStringLiteral("温压一体"));
        w.receiveMessageFromModbusThread(Reply::failed(Cmd::readAll));
        QCOMPARE(state(w), QStringLiteral("全部读取失败"));
        QCOMPARE(closer.texts(), QStringList{QStringLiteral("全部读取失败！")});
    }

    void englishEverywhere()
    {
        QVERIFY(language::install(QStringLiteral("en")));
        InstrumentThread inst;
        QVERIFY(inst.start());
        MainWindow w;
        w.show();
        QStringList seen;
        DialogCloser closer;
        closer.setInspector([&](QWidget *dialog) { seen << chineseTexts(dialog); });
        QVERIFY(connectWindow(w, inst.portPath(), 1));
        QCOMPARE(state(w), QStringLiteral("All data read"));
        seen << chineseTexts(&w);

        // Captions the code compares with its own tr() texts still steer it.
        auto *type = find<QComboBox>(w, "comboBox_yibiaoleixing");
        type->setCurrentIndex(1);
        QVERIFY(!find<QGroupBox>(w, "groupBox_yalijiaozhun")->isEnabled());
        type->setCurrentIndex(0);
        QVERIFY(!find<QGroupBox>(w, "groupBox_wendujiaozhun")->isEnabled());
        auto *table = find<QTableWidget>(w, "tableWidget_customreg");
        qobject_cast<QComboBox *>(table->cellWidget(1, 0))->setCurrentIndex(24);
        QVERIFY(table->cellWidget(1, 2)->isEnabled());

        // Refusals of the pages, then every reply of the worker that shows a
        // text, on a window of its own so the replies do not disturb the link.
        edit(w, "lineEdit_yali_k")->setText(QStringLiteral("abc"));
        click(w, "pushButton_xierushezhi");
        QCOMPARE(closer.texts().size(), 1);
        QCOMPARE(closer.texts().first(), QStringLiteral("Invalid value: Pressure gain"));
        seen << chineseTexts(&w);

        MainWindow idle;
        QStringList states;
        QStringList replies = {Reply::searchStart,       Reply::searchingAddrFmt.arg(7),
                               Reply::searchStoped,      Reply::modbusCreateSucceed,
                               Reply::connectSucceed,    Reply::connectFailed,
                               Reply::versionError,      Reply::facSaving,
                               Reply::facSaveFailed,     Reply::userSaveSucceed,
                               Reply::backFacFailed,     Reply::facBacking,
                               Reply::commandsCancelled, Reply::commandsNotRun,
                               Reply::disconnectSucceed};
        for (const QString &c :
             {Cmd::readMeterParam, Cmd::writeMeterParam, Cmd::readUserParam, Cmd::writeUserParam,
              Cmd::readPressureParam, Cmd::readTempParam, Cmd::writePressureParam,
              Cmd::writeTempParam, Cmd::readMeterInfo, Cmd::readYaliEcjz, Cmd::writeYaliEcjz,
              Cmd::readWenduEcjz, Cmd::writeWenduEcjz, Cmd::readCustomReg, Cmd::writeCustomReg,
              Cmd::readAll, Cmd::writeAll, Cmd::writeClr})
            replies << Reply::succeed(c) << Reply::failed(c);
        for (const QString &reply : qAsConst(replies)) {
            idle.receiveMessageFromModbusThread(reply);
            states << state(idle) << find<QLabel>(idle, "label_connect")->text();
        }
        QVERIFY(closer.texts().size() > 20);
        seen << chineseTexts(&idle) << states.filter(chinese) << closer.texts().filter(chinese);
        QVERIFY2(seen.isEmpty(), qPrintable(seen.join(QStringLiteral(" | "))));
    }
};

QTEST_MAIN(TestLanguage)
#include "test_language.moc"
