// The adapter pulled out and plugged back in while the window talks to the
// virtual instrument: what the window shows, what reaches the line, the
// automatic reconnect, and the user's actions that end the wait.

#include "e2eharness.h"
#include "instrumentthread.h"
#include "link/seriallink.h"
#include "ptypair.h"
#include "virtualinstrument.h"

#include <QLineEdit>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

const QString lostWarning = QStringLiteral("串口已断开，请检查串口线或USB转换器！");

// Frames the window writes to the line, from a moment on.
class WrittenFrames : public QObject
{
public:
    explicit WrittenFrames(MainWindow &w)
    {
        connect(w.serialLink(), &SerialLink::traffic, this,
                [this](SerialLink::Direction direction, const QByteArray &bytes) {
                    if (direction == SerialLink::Direction::Written)
                        frames << bytes;
                });
    }
    bool has(const QByteArray &start) const
    {
        return std::any_of(frames.begin(), frames.end(),
                           [&](const QByteArray &f) { return f.startsWith(start); });
    }
    QList<QByteArray> frames;
};

// The commands the window sends to the worker.
class Sent : public QObject
{
public:
    explicit Sent(MainWindow &w)
    {
        connect(&w, &MainWindow::sendMessageToModbusThread, this,
                [this](const QString &m) { commands << m; });
    }
    QStringList commands;
};

// Root passes every permission check; for this thread, take away the
// capabilities that let it, so a port's mode bits count as for any user.
class WithoutFileOverride
{
public:
    WithoutFileOverride()
    {
        if (::syscall(SYS_capget, &header, saved) != 0)
            return;
        __user_cap_data_struct reduced[2] = {saved[0], saved[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        active = ::syscall(SYS_capset, &header, reduced) == 0;
    }
    ~WithoutFileOverride()
    {
        if (active)
            ::syscall(SYS_capset, &header, saved);
    }
    bool deniesLikeForAnyUser() const { return active || ::geteuid() != 0; }

private:
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved[2] = {};
    bool active = false;
};

// A shown window and an instrument behind an adapter that can be pulled out.
struct Plugged
{
    QString path;
    InstrumentThread inst;
    MainWindow w;
    DialogCloser closer;

    explicit Plugged(const QString &linkPath) : path(linkPath) { inst.setLinkPath(path); }
    bool connect()
    {
        w.show();
        return inst.start() && connectWindow(w, path, 1);
    }
};

} // namespace

class TestAdapter : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        qRegisterMetaType<SerialLink::Direction>();
        QVERIFY(dir.isValid());
    }

    void lostWhilePollingAndBack()
    {
        Plugged p(dir.filePath(QStringLiteral("polling")));
        QVERIFY(p.connect());
        auto &[path, inst, w, closer] = p;
        QTRY_VERIFY(!widgetText(w, "lineEdit_dianchidianya").isEmpty());
        // A failed poll greys the live values until the next good one.
        w.receiveMessageFromModbusThread(QStringLiteral("connect failed"));
        QVERIFY(!find<QLineEdit>(w, "lineEdit_dianchidianya")->isEnabled());
        QTRY_VERIFY(find<QLineEdit>(w, "lineEdit_dianchidianya")->isEnabled());
        // So does one whose identity answers but whose measured values fail.
        inst.bus().with(1, [](VirtualInstrument &i) {
            i.faults.measuredOnly = true;
            i.faults.exceptionCode = 4;
        });
        QTRY_VERIFY(!find<QLineEdit>(w, "lineEdit_dianchidianya")->isEnabled());
        inst.bus().with(1, [](VirtualInstrument &i) { i.faults = {}; });
        QTRY_VERIFY(find<QLineEdit>(w, "lineEdit_dianchidianya")->isEnabled());
        // An edit the user has not written yet.
        find<QLineEdit>(w, "lineEdit_yonghudizhi")->setText(QStringLiteral("9"));
        const QString battery = widgetText(w, "lineEdit_dianchidianya");
        Sent sent(w);
        WrittenFrames written(w);

        inst.unplug();
        QTRY_COMPARE_WITH_TIMEOUT(connectionLine(w), QStringLiteral("串口已断开：") + path, 1000);
        QVERIFY(!w.linkSettings().portOpen);
        QTRY_COMPARE(closer.texts(), QStringList{lostWarning});
        QCOMPARE(sent.commands, QStringList{QStringLiteral("disconnect")});
        QTRY_COMPARE(find<QPushButton>(w, "pushButton_lianjie")->text(), QStringLiteral("连接"));
        // The last values stay readable but greyed.
        QVERIFY(!find<QLineEdit>(w, "lineEdit_dianchidianya")->isEnabled());
        QCOMPARE(widgetText(w, "lineEdit_dianchidianya"), battery);

        // While the adapter is out: a reopen attempt a second, nothing on the line.
        written.frames.clear();
        closer.clear();
        QSignalSpy attempts(w.serialLink(), &SerialLink::reopenFailed);
        QTRY_VERIFY_WITH_TIMEOUT(attempts.size() >= 3, 9000);
        QVERIFY(written.frames.isEmpty());

        // Back under the same name: polling resumes without a read.
        QString stateAtReconnect;
        connect(&w, &MainWindow::sendMessageToModbusThread, this, [&](const QString &m) {
            if (m.startsWith(QLatin1String("connect:")))
                stateAtReconnect = widgetText(p.w, "label_state");
        });
        sent.commands.clear();
        QVERIFY(inst.plugIn());
        QTRY_COMPARE_WITH_TIMEOUT(widgetText(w, "label_state"), QStringLiteral("连接成功"), 5000);
        QCOMPARE(stateAtReconnect, QStringLiteral("串口已恢复"));
        // Before anything is written, the meter says which one it is.
        QCOMPARE(sent.commands, (QStringList{"connect:1", "read meter info"}));
        QCOMPARE(connectionLine(w), QStringLiteral("当前连接：%1,9600,NONE,8,1,地址：1").arg(path));
        QVERIFY(find<QStackedWidget>(w, "stackedWidget")->isEnabled());
        QTRY_VERIFY(find<QLineEdit>(w, "lineEdit_dianchidianya")->isEnabled());
        QCOMPARE(widgetText(w, "lineEdit_yonghudizhi"), QStringLiteral("9"));
        QVERIFY(closer.texts().isEmpty());
    }

    // Button, the command with its failure warning, the start of the
    // transfer's first request (slave, function, first register, count).
    void lostDuringTransfer_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("warning");
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("read all") << "pushButton_duququanbushuju"
                                  << "read all" << QStringLiteral("全部读取失败！")
                                  << QByteArray("013300000064");
        QTest::newRow("write all")
            << "pushButton_xieruquanbushuju"
            << "write all" << QStringLiteral("全部写入失败！") << QByteArray("0140002a0064");
        QTest::newRow("page write") << "pushButton_xieruyibiaocanshu"
                                    << "write meter param" << QStringLiteral("写入仪表参数失败！")
                                    << QByteArray("014000480004");
    }

    void lostDuringTransfer()
    {
        QFETCH(QString, button);
        QFETCH(QString, command);
        QFETCH(QString, warning);
        QFETCH(QByteArray, request);
        Plugged p(dir.filePath(QStringLiteral("transfer")));
        QVERIFY(p.connect());
        auto &[path, inst, w, closer] = p;
        Replies replies(w);
        WrittenFrames written(w);
        // Slow replies keep the transfer's requests in flight long enough.
        inst.bus().with(1, [](VirtualInstrument &i) { i.faults.delayMs = 300; });
        click(w, qPrintable(button));
        QTRY_VERIFY(written.has(QByteArray::fromHex(request)));
        inst.unplug();
        written.frames.clear();

        QTRY_VERIFY(replies.has(qPrintable(command + QStringLiteral(" failed"))));
        QTRY_VERIFY(closer.texts().contains(warning));
        QVERIFY(closer.texts().contains(lostWarning));
        QTRY_COMPARE(widgetText(w, "label_state"), QStringLiteral("串口已断开"));
        // No save after the failed write, nothing at all on the line.
        QVERIFY(!replies.has("user saving") && !replies.has("fac saving"));
        QVERIFY(written.frames.isEmpty());
    }

    void lostDuringSearch()
    {
        const QString path = dir.filePath(QStringLiteral("search"));
        InstrumentThread inst(QList<quint8>{});
        inst.setLinkPath(path);
        QVERIFY2(inst.start(), qPrintable(inst.errorString()));
        MainWindow w;
        w.show();
        DialogCloser closer;
        Sent sent(w);
        choosePort(w, path);
        click(w, "pushButton_sousuo");
        QTRY_COMPARE(find<QPushButton>(w, "pushButton_sousuo")->text(), QStringLiteral("停止"));
        inst.unplug();
        // The search stops; no connect follows it, and nothing waits for the port.
        QTRY_COMPARE(sent.commands, (QStringList{"search", "search stop"}));
        QTRY_COMPARE(find<QPushButton>(w, "pushButton_sousuo")->text(), QStringLiteral("搜索"));
        QCOMPARE(closer.texts(), QStringList{lostWarning});
        QVERIFY(!w.serialLink()->isReopening());
    }

    void userActionEndsTheWait_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("disconnect") << "disconnect";
        QTest::newRow("another port") << "another port";
        QTest::newRow("connect") << "connect";
        QTest::newRow("search") << "search";
    }

    void userActionEndsTheWait()
    {
        QFETCH(QString, action);
        Plugged p(dir.filePath(QStringLiteral("user")));
        QVERIFY(p.connect());
        auto &[path, inst, w, closer] = p;
        auto *ports = find<QComboBox>(w, "comboBox_duankouhao");
        ports->addItem(QStringLiteral("/nonexistent/ttyKV"));

        if (action == QLatin1String("disconnect"))
            click(w, "pushButton_lianjie");
        inst.unplug();
        QTRY_COMPARE(find<QPushButton>(w, "pushButton_lianjie")->text(), QStringLiteral("连接"));
        // After the user's own disconnect the port may be closed before it is lost.
        if (action != QLatin1String("disconnect"))
            QTRY_VERIFY(closer.texts().contains(lostWarning));
        if (action == QLatin1String("another port")) {
            QTest::keyClick(ports, Qt::Key_Down);
            QCOMPARE(ports->currentText(), QStringLiteral("/nonexistent/ttyKV"));
        } else if (action == QLatin1String("connect")) {
            click(w, "pushButton_lianjie");
        } else if (action == QLatin1String("search")) {
            click(w, "pushButton_sousuo");
        }
        QVERIFY(!w.serialLink()->isReopening());

        Sent sent(w);
        QSignalSpy opened(w.serialLink(), &SerialLink::opened);
        QVERIFY(inst.plugIn());
        QVERIFY(!opened.wait(1500));
        QVERIFY(sent.commands.isEmpty());
    }

    void portWithoutPermission()
    {
        PtyPair pty;
        QVERIFY(pty.isOpen());
        const QByteArray device = QFile::encodeName(pty.slavePath());
        QVERIFY(::chmod(device.constData(), 0) == 0);
        MainWindow w;
        DialogCloser closer;
        choosePort(w, pty.slavePath());
        find<QComboBox>(w, "comboBox_addr")->addItem(QStringLiteral("1"));
        {
            WithoutFileOverride asUser;
            if (!asUser.deniesLikeForAnyUser())
                QSKIP("root's permission override cannot be switched off here");
            click(w, "pushButton_lianjie");
        }
        ::chmod(device.constData(), 0620);
        QCOMPARE(closer.texts(),
                 QStringList{QStringLiteral("端口打开失败，请检查端口号是否正确或端口是否占用！")});
        QCOMPARE(widgetText(w, "label_state"),
                 QStringLiteral("端口打开失败 无权限：请把用户加入 dialout 组"));
        QCOMPARE(connectionLine(w), QStringLiteral("未连接"));
    }

private:
    QTemporaryDir dir;
};

QTEST_MAIN(TestAdapter)
#include "test_adapter.moc"
