#pragma once

// The program's one message box: frameless, fixed size, modal, with the blue
// title bar of the main window and its own title-bar drag.

#include <QDialog>
#include <QString>

class QMouseEvent;

namespace Ui {
class Dialog_Warning;
}

class Dialog_Warning : public QDialog
{
    Q_OBJECT

public:
    Dialog_Warning(QWidget *parent, const QString &title, const QString &text);
    ~Dialog_Warning() override;

    // The warning titled "警告", centred over window, until it is closed.
    static void warn(QWidget *window, const QString &text);
    // The text of a warning about a file that could not be written.
    static QString fileNotWritten(const QString &path, const QString &reason);

private slots:
    void on_pushButton_close_clicked();
    void on_pushButton_ok_clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    Ui::Dialog_Warning *ui;
    qint32 pressX = 0;
    qint32 pressY = 0;
    bool dragging = false;
};
