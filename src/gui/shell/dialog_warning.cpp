#include "shell/dialog_warning.h"

#include "shell/titlebardrag.h"
#include "ui_dialog_warning.h"

#include <QDir>

Dialog_Warning::Dialog_Warning(QWidget *parent, const QString &title, const QString &text)
    : QDialog(parent), ui(new Ui::Dialog_Warning)
{
    ui->setupUi(this);
    setWindowFlags(Qt::FramelessWindowHint);
    setAttribute(Qt::WA_MouseTracking);
    ui->label_title->setText(title);
    ui->label_warning->setText(text);
    ui->label_warning->setWordWrap(true);
    ui->label_warning->setAlignment(Qt::AlignVCenter);
    setWindowTitle(tr("警告"));
}

Dialog_Warning::~Dialog_Warning()
{
    delete ui;
}

void Dialog_Warning::warn(QWidget *window, const QString &text)
{
    Dialog_Warning dialog(nullptr, tr("警告"), text);
    dialog.move(window->x() + (window->width() - 320) / 2,
                window->y() + (window->height() - 150) / 2);
    dialog.exec();
}

QString Dialog_Warning::fileNotWritten(const QString &path, const QString &reason)
{
    return tr("无法写入文件“%1”：%2").arg(QDir::toNativeSeparators(path), reason);
}

void Dialog_Warning::on_pushButton_close_clicked()
{
    close();
}

void Dialog_Warning::on_pushButton_ok_clicked()
{
    close();
}

void Dialog_Warning::mousePressEvent(QMouseEvent *event)
{
    titlebar::press(event, ui->widget_title, pressX, pressY, dragging);
}

void Dialog_Warning::mouseReleaseEvent(QMouseEvent *event)
{
    titlebar::release(event, dragging);
}

void Dialog_Warning::mouseMoveEvent(QMouseEvent *event)
{
    titlebar::move(event, this, pressX, pressY, dragging);
}
