#include "shell/messagewindow.h"

#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

MessageWindow::MessageWindow(const MessageLog &log, QWidget *parent)
    : QWidget(parent, Qt::Window), log(log), view(new QTableWidget(this))
{
    setObjectName(QStringLiteral("messageLog"));
    setWindowTitle(tr("消息记录"));
    view->setObjectName(QStringLiteral("tableWidget_messages"));
    view->setColumnCount(3);
    view->setHorizontalHeaderLabels({tr("时间"), tr("类型"), tr("消息")});
    view->verticalHeader()->hide();
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setWordWrap(false);
    view->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    view->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    view->horizontalHeader()->setStretchLastSection(true);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(view);
    resize(560, 360);
    fill();
}

void MessageWindow::fill()
{
    view->setRowCount(0);
    for (int i = 0; i < log.size(); ++i)
        addRow(log.at(i));
    view->scrollToBottom();
}

void MessageWindow::appendNewest()
{
    // The log dropped its oldest entry to make room: so does the table.
    if (view->rowCount() >= MessageLog::Capacity)
        view->removeRow(0);
    if (log.size() > 0)
        addRow(log.at(log.size() - 1));
    view->scrollToBottom();
}

void MessageWindow::addRow(const MessageLog::Entry &entry)
{
    const int row = view->rowCount();
    view->insertRow(row);
    view->setItem(row, 0,
                  new QTableWidgetItem(entry.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
    view->setItem(
        row, 1,
        new QTableWidgetItem(entry.kind == MessageLog::Kind::Warning ? tr("警告") : tr("状态")));
    auto *text = new QTableWidgetItem(entry.text);
    text->setToolTip(entry.text);
    view->setItem(row, 2, text);
}
