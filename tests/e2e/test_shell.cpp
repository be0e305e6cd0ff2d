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
    void startUpState()
    {
        MainWindow w;
        QCOMPARE(w.windowFlags() & Qt::FramelessWindowHint, Qt::FramelessWindowHint);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), QStringLiteral("KV-3PD用户调试软件V0.5"));
        QVERIFY(!find<QPushButton>(w, "pushButton_gongchangjiaozhun")->isVisible());
        auto *stack = find<QStackedWidget>(w, "stackedWidget");
        QCOMPARE(stack->currentIndex(), 0);
        QVERIFY(!stack->isEnabled());
        QVERIFY(
            QDate::fromString(find<QLabel>(w, "label_makeDate")->text(), "yyyy-MM-dd").isValid());
    }

    // The form's own variant: its title, and the way to the factory pages.
    void factoryVariant()
    {
        MainWindow w(MainWindow::Variant::Factory);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(find<QLabel>(w, "label_mainTitle")->text(),
                 QStringLiteral("KV-3PD工厂调试软件V0.5"));
        QCOMPARE(w.windowTitle(), QStringLiteral("KV-3PD工厂调试软件V0.5"));
        auto *toFactory = find<QPushButton>(w, "pushButton_gongchangjiaozhun");
        QVERIFY(toFactory->isVisible());
        auto *stack = find<QStackedWidget>(w, "stackedWidget");
        stack->setEnabled(true);
        toFactory->click();
        QCOMPARE(stack->currentIndex(), 1);

        qputenv("KV3PD_FACTORY", "1");
        QCOMPARE(MainWindow::variantFromEnvironment(), MainWindow::Variant::Factory);
        qputenv("KV3PD_FACTORY", "0");
        QCOMPARE(MainWindow(nullptr).variant(), MainWindow::Variant::User);
        qunsetenv("KV3PD_FACTORY");
    }

    void buildDate_data()
    {
        QTest::addColumn<QString>("compiler");
        QTest::addColumn<QString>("shown");
        QTest::newRow("two-digit day") << QString("Jun 23 2021") << QString("2021-06-23");
        QTest::newRow("single-digit day") << QString("Jun  3 2021") << QString("2021-06-03");
        QTest::newRow("december") << QString("Dec  6 2026") << QString("2026-12-06");
    }

    void buildDate()
    {
        QFETCH(QString, compiler);
        QFETCH(QString, shown);
        QCOMPARE(MainWindow::buildDateText(compiler), shown);
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

    void windowDrag_data()
    {
        QTest::addColumn<QPoint>("press");
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("moves");
        QTest::newRow("left in title") << QPoint(200, 20) << int(Qt::LeftButton) << true;
        QTest::newRow("left below title") << QPoint(200, 300) << int(Qt::LeftButton) << false;
        QTest::newRow("right in title") << QPoint(200, 20) << int(Qt::RightButton) << false;
        QTest::newRow("no press") << QPoint(-1, -1) << 0 << false;
    }

    void windowDrag()
    {
        QFETCH(QPoint, press);
        QFETCH(int, button);
        QFETCH(bool, moves);
        MainWindow w;
        w.move(100, 100);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QPoint start = w.pos();
        const auto b = Qt::MouseButton(button);
        if (button != 0)
            sendMouse(&w, QEvent::MouseButtonPress, press, b, b);
        sendMouse(&w, QEvent::MouseMove, QPoint(260, 60), Qt::NoButton, b);
        if (moves)
            QCOMPARE(w.pos(), start + QPoint(60, 40));
        else
            QCOMPARE(w.pos(), start);
        // After the release, moving does nothing.
        sendMouse(&w, QEvent::MouseButtonRelease, QPoint(260, 60), b, Qt::NoButton);
        const QPoint after = w.pos();
        sendMouse(&w, QEvent::MouseMove, QPoint(300, 90), Qt::NoButton, Qt::NoButton);
        QCOMPARE(w.pos(), after);
    }

    void dialogWrapDragAndClose()
    {
        for (const char *button : {"pushButton_ok", "pushButton_close"}) {
            Dialog_Warning d(nullptr, QStringLiteral("警告"), QStringLiteral("请选择端口号！"));
            QVERIFY(d.findChild<QLabel *>("label_warning")->wordWrap());
            d.move(50, 50);
            d.show();
            QVERIFY(QTest::qWaitForWindowExposed(&d));
            const QPoint start = d.pos();
            sendMouse(&d, QEvent::MouseMove, QPoint(40, 40), Qt::NoButton, Qt::NoButton);
            QCOMPARE(d.pos(), start);
            sendMouse(&d, QEvent::MouseButtonPress, QPoint(30, 100), Qt::LeftButton,
                      Qt::LeftButton);
            sendMouse(&d, QEvent::MouseMove, QPoint(60, 120), Qt::NoButton, Qt::LeftButton);
            QCOMPARE(d.pos(), start);
            sendMouse(&d, QEvent::MouseButtonRelease, QPoint(60, 120), Qt::LeftButton,
                      Qt::NoButton);
            sendMouse(&d, QEvent::MouseButtonPress, QPoint(30, 10), Qt::LeftButton, Qt::LeftButton);
            sendMouse(&d, QEvent::MouseMove, QPoint(50, 30), Qt::NoButton, Qt::LeftButton);
            QCOMPARE(d.pos(), start + QPoint(20, 20));
            sendMouse(&d, QEvent::MouseButtonRelease, QPoint(50, 30), Qt::LeftButton, Qt::NoButton);
            d.hide();

            QTimer::singleShot(0, &d, [&] { d.findChild<QPushButton *>(button)->click(); });
            QCOMPARE(d.exec(), 0);
            QVERIFY(!d.isVisible());
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
        QCOMPARE(w.messages().size(), 200);
        QCOMPARE(table->item(0, 2)->text(), QStringLiteral("50"));
        QCOMPARE(table->item(199, 2)->text(), QStringLiteral("249"));
        QVERIFY(
            QDateTime::fromString(table->item(199, 0)->text(), "yyyy-MM-dd HH:mm:ss").isValid());
    }

    void progressHiding()
    {
        MainWindow w;
        w.show();
        auto *bar = find<QProgressBar>(w, "progressBar");
        w.receiveMessageFromModbusThread(QStringLiteral("set progressBar:40"));
        QVERIFY(bar->isVisible());
        QCOMPARE(bar->value(), 40);
        w.receiveMessageFromModbusThread(QStringLiteral("set progressBar:100"));
        w.tickTimerSlot();
        QVERIFY(bar->isVisible());
        w.tickTimerSlot();
        QVERIFY(!bar->isVisible());

        // 100 then 0 within one tick leaves the bar visible at 0.
        w.receiveMessageFromModbusThread(QStringLiteral("set progressBar:100"));
        w.tickTimerSlot();
        w.receiveMessageFromModbusThread(QStringLiteral("set progressBar:0"));
        w.tickTimerSlot();
        w.tickTimerSlot();
        QVERIFY(bar->isVisible());
        QCOMPARE(bar->value(), 0);

        // Without a colon the bar goes to 0 and shows.
        w.receiveMessageFromModbusThread(QStringLiteral("set progressBar:100"));
        w.tickTimerSlot();
        w.tickTimerSlot();
        QVERIFY(!bar->isVisible());
        w.receiveMessageFromModbusThread(QStringLiteral("set progressBar"));
        QVERIFY(bar->isVisible());
        QCOMPARE(bar->value(), 0);
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
