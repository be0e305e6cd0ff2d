// The transient status text, the modal warning and the 100 ms GUI tick.

#include "shell/dialog_warning.h"
#include "shell/mainwindow.h"
#include "shell/messagewindow.h"
#include "ui_mainwindow.h"

#include <QFontMetrics>
#include <QLabel>
#include <QTimer>

void MainWindow::showState(const QString &text)
{
    stateCountdown = 5;
    ui->label_state->setText(text);
    logMessage(MessageLog::Kind::Status, text);
    startTicking();
}

void MainWindow::setConnectionLine(const QString &text)
{
    QLabel *label = ui->label_connect;
    const QFontMetrics metrics(label->font());
    const int room = label->contentsRect().width();
    const int need = metrics.horizontalAdvance(text);
    QString shown = text;
    if (need > room) {
        const QString port = link.portName();
        const int at = port.isEmpty() ? -1 : text.indexOf(port);
        const int rest = need - metrics.horizontalAdvance(port);
        shown = at >= 0 && rest < room
                    ? shown.replace(at, port.size(),
                                    metrics.elidedText(port, Qt::ElideMiddle, room - rest))
                    : metrics.elidedText(text, Qt::ElideRight, room);
    }
    label->setText(shown);
    label->setToolTip(shown == text ? QString() : text);
}

void MainWindow::logMessage(MessageLog::Kind kind, const QString &text)
{
    messageLog.add(kind, text);
    if (messageWindow)
        messageWindow->appendNewest();
}

void MainWindow::showMessages()
{
    if (!messageWindow)
        messageWindow = new MessageWindow(messageLog, this);
    messageWindow->show();
    messageWindow->raise();
    messageWindow->activateWindow();
}

void MainWindow::startTicking()
{
    // Not restarted when running: a stream of progress replies must not hold it off.
    if (guiTickTimer && !guiTickTimer->isActive())
        guiTickTimer->start();
}

void MainWindow::showWarning(const QString &text)
{
    logMessage(MessageLog::Kind::Warning, text);
    Dialog_Warning dialog(nullptr, tr("警告"), text);
    dialog.move(x() + (width() - 320) / 2, y() + (height() - 150) / 2);
    dialog.exec();
}

void MainWindow::tickTimerSlot()
{
    ++tickCounter;
    if (tickCounter > 9) {
        tickCounter = 0;
        if (stateCountdown > 0) {
            --stateCountdown;
            if (stateCountdown == 0)
                ui->label_state->clear();
        } else {
            ui->label_state->clear();
        }
    }

    if (progressHideCountdown > 0) {
        --progressHideCountdown;
        // A failed transfer ends its bar too, wherever it stopped.
        if (progressHideCountdown == 0 && (ui->progressBar->value() > 99 || progressEnded))
            ui->progressBar->hide();
    }

    // Nothing left to age: an idle window does not wake ten times a second.
    if (guiTickTimer && ui->label_state->text().isEmpty() && progressHideCountdown == 0)
        guiTickTimer->stop();
}
