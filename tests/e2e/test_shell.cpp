// The window shell: start-up state, title-bar drag, wheel filter, backup menu,
// warning dialog, status line ageing, progress-bar hiding and a quiet terminal.

#include "e2eharness.h"
#include "instrumentthread.h"
#include "shell/dialog_warning.h"

#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QMutex>
#include <QProgressBar>
#include <QStackedWidget>
#include <QTableWidget>
#include <QWheelEvent>
#include <QtTest>

#include <utility>

static void sendMouse(QWidget *w, QEvent::Type type, QPoint local, Qt::MouseButton button,
                      Qt::MouseButtons buttons)
{
    QMouseEvent e(type, local, w->mapToGlobal(local), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

class TestShell : public QObject
{
    Q_OBJECT

private slots:
    void variants_data()
    {
        QTest::addColumn<bool>("factory");
        QTest::addColumn<QString>("title");
        QTest::newRow("user") << false << QStringLiteral("KV-3PD用户调试软件V0.5");
        QTest::newRow("factory") << true << QStringLiteral("KV-3PD工厂调试软件V0.5");
    }

    // Start-up state, the title, and the way to the factory pages.
    void variants()
    {
        QFETCH(bool, factory);
        QFETCH(QString, title);
        MainWindow w(factory ? MainWindow::Variant::Factory : MainWindow::Variant::User);
        QCOMPARE(w.windowFlags() & Qt::FramelessWindowHint, Qt::FramelessWindowHint);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), title);
        QCOMPARE(find<QLabel>(w, "label_mainTitle")->text(), title);
        QVERIFY(
            QDate::fromString(find<QLabel>(w, "label_makeDate")->text(), "yyyy-MM-dd").isValid());
        auto *stack = find<QStackedWidget>(w, "stackedWidget");
        QCOMPARE(stack->currentIndex(), 0);
        QVERIFY(!stack->isEnabled());
        auto *toFactory = find<QPushButton>(w, "pushButton_gongchangjiaozhun");
        QCOMPARE(toFactory->isVisible(), factory);
        if (factory) {
            stack->setEnabled(true);
            toFactory->click();
            QCOMPARE(stack->currentIndex(), 1);
        }
        qputenv("KV3PD_FACTORY", factory ? "1" : "0");
        QCOMPARE(MainWindow(nullptr).variant() == MainWindow::Variant::Factory, factory);
        qunsetenv("KV3PD_FACTORY");
    }

    // The compiler pads a single-digit day with a space.
    void buildDate()
    {
        QCOMPARE(MainWindow::buildDateText("Jun  3 2021"), QString("2021-06-03"));
        QCOMPARE(MainWindow::buildDateText("Dec 16 2026"), QString("2026-12-16"));
    }

    void startsWithoutStyleSheet()
    {
        MainWindow::initResources();
        QVERIFY(MainWindow::loadStyleSheet());
        QVERIFY(!qApp->styleSheet().isEmpty());
        qApp->setStyleSheet(QString());
        QVERIFY(!MainWindow::loadStyleSheet(QStringLiteral(":/no-such.css")));
        QVERIFY(qApp->styleSheet().isEmpty());
        // A window still builds and works without it.
        MainWindow w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
    }

    // The main window and the warning dialog move only by their title strip.
    void windowDrag_data()
    {
        QTest::addColumn<bool>("dialog");
        QTest::addColumn<QPoint>("press");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("moves");
        QTest::newRow("left in title") << false << QPoint(200, 20) << int(Qt::LeftButton) << true;
        QTest::newRow("left below title")
            << false << QPoint(200, 300) << int(Qt::LeftButton) << false;
        QTest::newRow("right in title")
            << false << QPoint(200, 20) << int(Qt::RightButton) << false;
        QTest::newRow("no press") << false << QPoint(-1, -1) << 0 << false;
        QTest::newRow("dialog title") << true << QPoint(30, 10) << int(Qt::LeftButton) << true;
        QTest::newRow("dialog text") << true << QPoint(30, 100) << int(Qt::LeftButton) << false;
    }

    void windowDrag()
    {
        QFETCH(bool, dialog);
        QFETCH(QPoint, press);
        QFETCH(int, button);
        QFETCH(bool, moves);
        MainWindow main;
        Dialog_Warning warning(nullptr, QStringLiteral("警告"), QStringLiteral("请选择端口号！"));
        QWidget &w = dialog ? static_cast<QWidget &>(warning) : main;
        w.move(100, 100);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QPoint start = w.pos();
        const auto b = Qt::MouseButton(button);
        if (button != 0)
            sendMouse(&w, QEvent::MouseButtonPress, press, b, b);
        sendMouse(&w, QEvent::MouseMove, QPoint(260, 60), Qt::NoButton, b);
        QCOMPARE(w.pos(), moves ? start + QPoint(260, 60) - press : start);
        // After the release, moving does nothing.
        sendMouse(&w, QEvent::MouseButtonRelease, QPoint(260, 60), b, Qt::NoButton);
        const QPoint after = w.pos();
        sendMouse(&w, QEvent::MouseMove, QPoint(300, 90), Qt::NoButton, Qt::NoButton);
        QCOMPARE(w.pos(), after);
    }

    // The text wraps; either button closes the dialog.
    void dialogWrapAndClose()
    {
        Dialog_Warning d(nullptr, QStringLiteral("警告"), QStringLiteral("请选择端口号！"));
        QVERIFY(d.findChild<QLabel *>("label_warning")->wordWrap());
        for (const char *button : {"pushButton_ok", "pushButton_close"}) {
            QTimer::singleShot(0, &d, [&] { d.findChild<QPushButton *>(button)->click(); });
            QCOMPARE(d.exec(), 0);
        }
    }

    void wheelFilter()
    {
        MainWindow w;
        w.show();
        auto *table = find<QTableWidget>(w, "tableWidget_customreg");
        auto *row = qobject_cast<QComboBox *>(table->cellWidget(1, 0));
        auto *baud = find<QComboBox>(w, "comboBox_baud");
        row->setCurrentIndex(5);
        QWheelEvent down(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, -120), Qt::NoButton,
                         Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(row, &down);
        QCOMPARE(row->currentIndex(), 5);
        QApplication::sendEvent(baud, &down);
        QCOMPARE(baud->currentIndex(), 4);
    }

    void statusAgeing()
    {
        // No event loop runs here, so only these calls tick; the counter starts at 0
        // and every tenth tick ages the status text by one second.
        MainWindow w;
        auto *state = find<QLabel>(w, "label_state");
        auto ticks = [&](int n) {
            for (int i = 0; i < n; ++i)
                w.tickTimerSlot();
        };
        w.showState(QStringLiteral("first"));
        ticks(9);
        // Shown just before an ageing tick: replaces the first, stays about four seconds.
        w.showState(QStringLiteral("second"));
        ticks(40);
        QCOMPARE(state->text(), QStringLiteral("second"));
        ticks(1);
        QVERIFY(state->text().isEmpty());
        // Shown just after an ageing tick: stays five seconds.
        w.showState(QStringLiteral("third"));
        ticks(49);
        QCOMPARE(state->text(), QStringLiteral("third"));
        ticks(1);
        QVERIFY(state->text().isEmpty());

        // What the line said stays readable: a click opens the recent messages,
        // and the list follows while open, keeping the newest 200.
        QTest::mouseClick(state, Qt::LeftButton);
        auto *log = w.findChild<QWidget *>("messageLog");
        QVERIFY(log && log->isVisible());
        auto *table = log->findChild<QTableWidget *>("tableWidget_messages");
        QCOMPARE(table->rowCount(), 3);
        QCOMPARE(table->item(2, 2)->text(), QStringLiteral("third"));
        for (int i = 0; i < 250; ++i)
            w.showState(QString::number(i));
        QCOMPARE(table->rowCount(), 200);
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("50"));
        QCOMPARE(table->item(199, 2)->text(), QStringLiteral("249"));
        QVERIFY(
            QDateTime::fromString(table->item(199, 0)->text(), "yyyy-MM-dd HH:mm:ss").isValid());
    }

    // Steps: a value sent, "tick", or "-" for a value-less message.
    void progressHiding_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<int>("value");
        QTest::newRow("running") << QStringList{"40"} << true << 40;
        QTest::newRow("done, one tick on") << QStringList{"100", "tick"} << true << 100;
        QTest::newRow("done, two ticks on") << QStringList{"100", "tick", "tick"} << false << 100;
        QTest::newRow("restarted within a tick")
            << QStringList{"100", "tick", "0", "tick", "tick"} << true << 0;
        QTest::newRow("no value") << QStringList{"100", "tick", "tick", "-"} << true << 0;
    }

    void progressHiding()
    {
        QFETCH(QStringList, steps);
        QFETCH(bool, visible);
        QFETCH(int, value);
        MainWindow w;
        w.show();
        for (const QString &step : qAsConst(steps)) {
            if (step == QLatin1String("tick"))
                w.tickTimerSlot();
            else
                w.receiveMessageFromModbusThread(step == QLatin1String("-")
                                                     ? QStringLiteral("set progressBar")
                                                     : "set progressBar:" + step);
        }
        auto *bar = find<QProgressBar>(w, "progressBar");
        QCOMPARE(bar->isVisible(), visible);
        QCOMPARE(bar->value(), value);
    }

    void warningCentred()
    {
        MainWindow w;
        w.move(130, 70);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        DialogCloser closer;
        const QString longText =
            QStringLiteral("端口打开失败，请检查端口号是否正确或端口是否占用！");
        w.showWarning(longText);
        QCOMPARE(closer.texts(), QStringList{longText});
        QCOMPARE(closer.lastPosition(),
                 QPoint(w.x() + (w.width() - 320) / 2, w.y() + (w.height() - 150) / 2));
        // A warning is kept with the status texts.
        QCOMPARE(w.messages().at(w.messages().size() - 1).kind, MessageLog::Kind::Warning);
        QCOMPARE(w.messages().at(w.messages().size() - 1).text, longText);
    }

    // A start and a connection print no debug lines unless they are asked for.
    void quietTerminal()
    {
        static QMutex mutex; // the worker's lines come from its thread
        static QStringList lines;
        const QtMessageHandler before = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext &, const QString &text) {
                const QMutexLocker lock(&mutex);
                if (type == QtDebugMsg)
                    lines << text;
            });
        const auto startAndConnect = [] {
            InstrumentThread inst;
            MainWindow w;
            w.show();
            return inst.start() && connectWindow(w, inst.portPath(), 1);
        };
        const bool quietRun = startAndConnect();
        const QStringList quiet = std::exchange(lines, {});
        QLoggingCategory::setFilterRules(QStringLiteral("kv3pd.*.debug=true"));
        const bool tracedRun = startAndConnect();
        QLoggingCategory::setFilterRules(QString());
        qInstallMessageHandler(before);
        QVERIFY(quietRun && tracedRun);
        QVERIFY2(quiet.isEmpty(), qPrintable(quiet.join(QLatin1Char('|'))));
        QVERIFY(lines.contains(QStringLiteral("Modbus创建成功")));
    }
};

QTEST_MAIN(TestShell)
#include "test_shell.moc"
