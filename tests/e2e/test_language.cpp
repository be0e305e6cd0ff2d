// The interface language: Chinese unless English is asked for, whatever the
// system locale; in English no Chinese is left anywhere a user reads; in both
// languages every text fits its widget.

#include "compare/comparewindow.h"
#include "e2eharness.h"
#include "instrumentthread.h"
#include "model/registermirror.h"
#include "shell/language.h"
#include "shell/windowfont.h"
#include "virtualinstrument.h"
#include "worker/messages.h"

#include <QAction>
#include <QCheckBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QHeaderView>
#include <QLocale>
#include <QMenu>
#include <QRegularExpression>
#include <QStackedWidget>
#include <QStyleOption>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QtTest>

#include <functional>

namespace {

// Han characters and the full-width punctuation that goes with them ("：", "！", "～").
const QRegularExpression
    chinese(QStringLiteral("[\\x{3000}-\\x{303F}\\x{3400}-\\x{9FFF}\\x{FF00}-\\x{FFEF}]"));

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
        if (auto *t = qobject_cast<const QTableWidget *>(w)) {
            for (int c = 0; c < t->columnCount(); ++c) {
                if (const QTableWidgetItem *h = t->horizontalHeaderItem(c))
                    texts << h->text();
                for (int r = 0; r < t->rowCount(); ++r) {
                    if (const QTableWidgetItem *i = t->item(r, c))
                        texts << i->text() << i->toolTip();
                }
            }
        }
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

// The width of a rectangle of the widget that its parents leave visible (rows
// scrolled out of a table still count).
int visibleWidth(const QWidget *w, const QRect &r)
{
    int left = r.left();
    int right = r.right();
    for (const QWidget *p = w; !p->isWindow(); p = p->parentWidget()) {
        left = qMax(left + p->x(), 0);
        right = qMin(right + p->x(), p->parentWidget()->width() - 1);
    }
    return right - left + 1;
}

// "name: text (needs N px, has M)" for every text of the widget that is wider
// than the room its widget gives it: captions, button texts, combo items (as
// the closed box shows them), group titles, header sections and the caption
// cells of the form's tables.
QStringList clippedTexts(const QWidget *w)
{
    QStringList out;
    QStyle *style = w->style();
    const auto check = [&](const QString &text, int room, const QFont &font) {
        int need = 0;
        for (const QString &line : text.split(QLatin1Char('\n')))
            need = qMax(need, QFontMetrics(font).horizontalAdvance(line));
        if (need > room)
            out << QStringLiteral("%1: \"%2\" needs %3 px, has %4")
                       .arg(w->objectName(), text)
                       .arg(need)
                       .arg(room);
    };
    if (auto *l = qobject_cast<const QLabel *>(w)) {
        if (!l->wordWrap())
            check(l->text(), visibleWidth(l, l->contentsRect()) - 2 * l->margin(), l->font());
    } else if (auto *b = qobject_cast<const QAbstractButton *>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = b->text();
        const bool push = qobject_cast<const QPushButton *>(b);
        const QRect r = style->subElementRect(
            push ? QStyle::SE_PushButtonContents : QStyle::SE_CheckBoxContents, &opt, b);
        check(b->text(), visibleWidth(b, r), b->font());
    } else if (auto *c = qobject_cast<const QComboBox *>(w)) {
        QStyleOptionComboBox opt;
        opt.initFrom(c);
        opt.editable = c->isEditable();
        opt.frame = c->hasFrame();
        const QRect r =
            style->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, c);
        for (int i = 0; i < c->count(); ++i)
            check(c->itemText(i), visibleWidth(c, r) - 2, c->font());
    } else if (auto *g = qobject_cast<const QGroupBox *>(w)) {
        QStyleOptionGroupBox opt;
        opt.initFrom(g);
        opt.text = g->title();
        opt.lineWidth = 1;
        opt.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
        const QRect r =
            style->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
        check(g->title(), g->width() - r.left(), g->font());
    } else if (auto *h = qobject_cast<const QHeaderView *>(w)) {
        const int margin = style->pixelMetric(QStyle::PM_HeaderMargin, nullptr, h);
        for (int s = 0; s < h->count(); ++s) {
            if (!h->isSectionHidden(s))
                check(h->model()->headerData(s, h->orientation()).toString(),
                      h->sectionSize(s) - 2 * margin, h->font());
        }
    } else if (auto *t = qobject_cast<const QTableWidget *>(w)) {
        // Tables without headers carry their captions in cells.
        if (t->horizontalHeader()->isHidden() && t->verticalHeader()->isHidden()) {
            const int margin = 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin) + 1);
            for (int r = 0; r < t->rowCount(); ++r) {
                for (int c = 0; c < t->columnCount(); ++c) {
                    if (const QTableWidgetItem *i = t->item(r, c))
                        check(i->text(), t->columnWidth(c) - margin, t->font());
                }
            }
        }
    }
    return out;
}

// Every clipped text of the window's visible widgets.
QStringList clippedTextsIn(QWidget *window)
{
    QStringList out;
    QList<QWidget *> widgets = window->findChildren<QWidget *>();
    widgets.prepend(window);
    for (const QWidget *w : qAsConst(widgets)) {
        if (w->isVisible())
            out << clippedTexts(w);
    }
    return out;
}

QWidget *opened(MainWindow &w, const char *button, const char *name)
{
    click(w, button);
    return w.findChild<QWidget *>(QLatin1String(name));
}

// The windows of our own, opened as a user opens them from the main window.
// A new window is one more line here.
const std::pair<const char *, std::function<QWidget *(MainWindow &)>> ownWindows[] = {
    {"trafficMonitor",
     [](MainWindow &w) { return opened(w, "pushButton_monitor", "trafficMonitor"); }},
    {"trendWindow", [](MainWindow &w) { return opened(w, "pushButton_trend", "trendWindow"); }},
    {"compareWindow",
     [](MainWindow &w) -> QWidget * {
         find<QPushButton>(w, "pushButton_mainIcon")->menu()->actions().at(2)->trigger();
         auto *compare = w.findChild<CompareWindow *>();
         if (!QTest::qWaitFor([&] { return !compare->isBusy() && !compare->rows().isEmpty(); }))
             return nullptr;
         return compare;
     }},
    {"calibrationWizard",
     [](MainWindow &w) -> QWidget * {
         // The factory variant's own.
         if (!find<QPushButton>(w, "pushButton_wizard")->isVisible())
             return &w;
         return opened(w, "pushButton_wizard", "calibrationWizard");
     }},
    {"messageLog",
     [](MainWindow &w) -> QWidget * {
         w.showMessages();
         return w.findChild<QWidget *>(QStringLiteral("messageLog"));
     }},
};

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
        // The program's face, as main() sets it; the widths below are its widths.
        QVERIFY2(QFontDatabase().hasFamily(QLatin1String(windowfont::family)),
                 "the window's font is missing (Debian: fonts-wqy-zenhei)");
        windowfont::install();
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
        QCOMPARE(closer.texts(), QStringList{"Invalid value: Pressure gain"});
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
        for (const DeviceCommand &c : deviceCommands)
            replies << Reply::succeed(c.text) << Reply::failed(c.text);
        for (const QString &reply : qAsConst(replies)) {
            idle.receiveMessageFromModbusThread(reply);
            states << state(idle) << find<QLabel>(idle, "label_connect")->text();
        }
        QVERIFY(closer.texts().size() > 20);
        seen << chineseTexts(&idle) << states.filter(chinese) << closer.texts().filter(chinese);
        QVERIFY2(seen.isEmpty(), qPrintable(seen.join(QStringLiteral(" | "))));
    }

    void textsFit_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<bool>("factory");
        QTest::newRow("Chinese") << "zh" << false;
        QTest::newRow("Chinese factory") << "zh" << true;
        QTest::newRow("English") << "en" << false;
        QTest::newRow("English factory") << "en" << true;
    }

    // Every page, connected, and the windows the window opens; a port path as
    // long as the one scripts/run uses. The README's pictures:
    // KV3PD_SCREENSHOTS=docs build/bin/test_language textsFit
    void textsFit()
    {
        QFETCH(QString, language);
        QFETCH(bool, factory);
        QVERIFY(language::install(language));
        QTemporaryDir dir;
        InstrumentThread inst;
        const QString port = dir.filePath(QStringLiteral("kv3pd-sim-technician"));
        inst.setLinkPath(port);
        QVERIFY(inst.start());
        // The longest unit name, wherever a unit is shown.
        inst.bus().with(1, [](VirtualInstrument &i) { i.setReg(Reg::pressureUnit, 8); });
        MainWindow w(factory ? MainWindow::Variant::Factory : MainWindow::Variant::User);
        const QString backup = dir.filePath(QStringLiteral("b.qvdbk"));
        w.setSettingsPath(dir.filePath(QStringLiteral("settings.ini")));
        w.setFileNameProvider([&](bool, const QString &) { return backup; });
        qputenv("KV3PD_DB", QFile::encodeName(dir.filePath(QStringLiteral("records.sqlite"))));
        QStringList clipped;
        DialogCloser closer;
        closer.setInspector([&](QWidget *dialog) { clipped << clippedTextsIn(dialog); });
        w.show();
        QVERIFY(connectWindow(w, port, 1));
        auto *pages = find<QStackedWidget>(w, "stackedWidget");
        for (int page = pages->count() - 1; page >= 0; --page) {
            pages->setCurrentIndex(page);
            QCoreApplication::processEvents();
            clipped << clippedTextsIn(&w);
        }
        const QString shots = qEnvironmentVariable("KV3PD_SCREENSHOTS");
        if (!shots.isEmpty() && !factory)
            QVERIFY(
                w.grab().save(shots + "/mainwindow" + (language == "en" ? "-en" : "") + ".png"));
        w.beifenshujuSlot();
        for (const auto &window : ownWindows) {
            QWidget *own = window.second(w);
            QVERIFY2(own && own->isVisible(), window.first);
            QCoreApplication::processEvents();
            clipped << clippedTextsIn(own);
        }
        // The port box is narrow by design: the path shows whole in its tool tip and list.
        auto *ports = find<QComboBox>(w, "comboBox_duankouhao");
        clipped.removeAll(clippedTexts(ports).value(0));
        QCOMPARE(ports->toolTip(), port);
        ports->showPopup();
        QVERIFY(ports->view()->width() > ports->fontMetrics().horizontalAdvance(port));
        ports->hidePopup();
        clipped.removeDuplicates();
        for (const QString &text : qAsConst(clipped))
            qWarning("clipped: %s", qPrintable(text));
        QVERIFY(clipped.isEmpty());
    }
};

QTEST_MAIN(TestLanguage)
#include "test_language.moc"
