#pragma once

// The window's recent messages: every status text and warning with its time,
// newest at the bottom. Opened by a click on the status line; it follows the
// log while it is open.

#include "model/messagelog.h"

#include <QWidget>

class QTableWidget;

class MessageWindow : public QWidget
{
    Q_OBJECT

public:
    MessageWindow(const MessageLog &log, QWidget *parent = nullptr);

    // The log gained its newest entry.
    void appendNewest();
    QTableWidget *table() const { return view; }

private:
    void fill();
    void addRow(const MessageLog::Entry &entry);

    const MessageLog &log;
    QTableWidget *view;
};
