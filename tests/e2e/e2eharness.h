#pragma once

// Helpers for the end-to-end tests: a real MainWindow on one end of a pty,
// the virtual instrument on the other.

#include "dialogcloser.h"
#include "shell/mainwindow.h"
#include "worker/modbusthread.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

// Records the worker's replies in the GUI thread, after the window has seen them.
class Replies : public QObject
{
public:
    explicit Replies(MainWindow &w)
    {
        connect(w.modbusWorker(), &modbusThread::sendMessageToMainThread, this,
                [this](const QString &m) { seen << m; });
    }
    int count(const char *reply) const { return seen.count(QLatin1String(reply)); }
    bool has(const char *reply) const { return count(reply) > 0; }
    QStringList seen;
};

template <class T> T *find(QWidget &window, const char *name)
{
    T *w = window.findChild<T *>(QString::fromLatin1(name));
    if (!w)
        qWarning("no widget %s", name);
    return w;
}

inline QLineEdit *edit(QWidget &window, const QString &name)
{
    return find<QLineEdit>(window, qPrintable(name));
}

// "name=text" pairs into the named line edits or combo boxes.
inline void type(QWidget &window, const QStringList &pairs)
{
    for (const QString &pair : pairs) {
        const QString name = pair.section(QLatin1Char('='), 0, 0);
        const QString text = pair.section(QLatin1Char('='), 1);
        if (auto *combo = window.findChild<QComboBox *>(name))
            combo->setCurrentText(text);
        else
            edit(window, name)->setText(text);
    }
}

// The text a label, line edit or combo box shows.
inline QString widgetText(QWidget &window, const char *name)
{
    if (auto *e = window.findChild<QLineEdit *>(QLatin1String(name)))
        return e->text();
    if (auto *c = window.findChild<QComboBox *>(QLatin1String(name)))
        return c->currentText();
    return find<QLabel>(window, name)->text();
}

inline QString state(QWidget &window)
{
    return find<QLabel>(window, "label_state")->text();
}

// The whole connection line: a long port path is shortened on screen, whole in the tool tip.
inline QString connectionLine(QWidget &window)
{
    const auto *label = find<QLabel>(window, "label_connect");
    return label->toolTip().isEmpty() ? label->text() : label->toolTip();
}

inline void click(QWidget &window, const char *buttonName)
{
    if (auto *b = find<QPushButton>(window, buttonName))
        b->click();
}

// Puts the pty into the port list and selects it, at the given baud index.
inline void choosePort(QWidget &window, const QString &portPath, int baudIndex = 3)
{
    auto *ports = find<QComboBox>(window, "comboBox_duankouhao");
    ports->addItem(portPath);
    ports->setCurrentText(portPath);
    find<QComboBox>(window, "comboBox_baud")->setCurrentIndex(baudIndex);
}

// Connects the window to the instrument at the address and waits until the
// read-all that follows every connection has been shown.
inline bool connectWindow(MainWindow &window, const QString &portPath, quint8 address,
                          int timeoutMs = 15000)
{
    choosePort(window, portPath);
    auto *addr = find<QComboBox>(window, "comboBox_addr");
    addr->clear();
    addr->addItem(QString::number(address));
    QSignalSpy replies(window.modbusWorker(), SIGNAL(sendMessageToMainThread(QString)));
    click(window, "pushButton_lianjie");
    // In the window's language, so the English window connects the same way.
    const QString readAll = MainWindow::tr("全部读取成功");
    auto *state = find<QLabel>(window, "label_state");
    const auto done = [&] {
        for (const auto &args : qAsConst(replies)) {
            if (args.at(0).toString() == QLatin1String("read all failed"))
                return true;
        }
        return state->text() == readAll;
    };
    return QTest::qWaitFor(done, timeoutMs) && state->text() == readAll;
}
