#pragma once

// The window with a record of the worker's replies as the window's thread
// sees them, driven through its widgets as a user would.

#include "benchsupport.h"
#include "shell/mainwindow.h"
#include "worker/modbusthread.h"

#include <QComboBox>
#include <QPushButton>
#include <QString>
#include <QVector>

class WindowRig
{
public:
    WindowRig()
    {
        QObject::connect(window.modbusWorker(), &modbusThread::sendMessageToMainThread, &window,
                         [this](const QString &m) {
                             replies.append({nowNs(), m});
                         });
        window.show();
    }

    template <class T> T *widget(const char *name)
    {
        return window.findChild<T *>(QString::fromLatin1(name));
    }
    void click(const char *name) { widget<QPushButton>(name)->click(); }

    int find(const QString &text, int from = 0) const
    {
        for (int i = qMax(0, from); i < replies.size(); ++i) {
            if (replies[i].text == text)
                return i;
        }
        return -1;
    }
    bool waitFor(const QString &text, int from, int timeoutMs)
    {
        return waitUntil([&] { return find(text, from) >= 0; }, timeoutMs);
    }

    // Connects at the baud rate and waits for the read-all that follows.
    bool connectTo(const QString &port, int baud)
    {
        auto *ports = widget<QComboBox>("comboBox_duankouhao");
        ports->addItem(port);
        ports->setCurrentText(port);
        widget<QComboBox>("comboBox_baud")->setCurrentText(QString::number(baud));
        auto *addresses = widget<QComboBox>("comboBox_addr");
        addresses->clear();
        addresses->addItem(QStringLiteral("1"));
        const int from = replies.size();
        click("pushButton_lianjie");
        return waitFor(QStringLiteral("read all succeed"), from, 60000);
    }
    bool disconnect()
    {
        const int from = replies.size();
        click("pushButton_lianjie");
        return waitFor(QStringLiteral("disconnect succeed"), from, 10000);
    }
    // Runs a command by its button; the time from the worker's first progress
    // reply (just before its first request) to the last reply, in ms.
    double timeCommand(const char *button, const QString &last, int timeoutMs)
    {
        const int from = replies.size();
        click(button);
        if (!waitFor(last, from, timeoutMs))
            return -1;
        const int begin = find(QStringLiteral("set progressBar:0"), from);
        const int end = find(last, from);
        return begin < 0 ? -1 : msBetween(replies[begin].ns, replies[end].ns);
    }

    struct Stamp
    {
        qint64 ns;
        QString text;
    };
    MainWindow window;
    QVector<Stamp> replies;
};
