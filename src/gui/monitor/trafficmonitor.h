#pragma once

// The traffic monitor: every frame on the serial line as a row, with
// counters, pause, clear and CSV export. A top-level window that follows the
// window it was opened from; it listens to the SerialLink's tap only.

#include "traffic/framedecoder.h"

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;
class QTableView;
class QTimer;
class SerialLink;
class TrafficLog;

class TrafficMonitor : public QWidget
{
    Q_OBJECT

public:
    // A request older than this without its reply is shown as a timeout even
    // while no further request follows.
    static constexpr qint64 QuietTimeoutNs = 2000LL * 1000 * 1000;

    TrafficMonitor(SerialLink *link, QWidget *parent = nullptr);

    TrafficLog *log() const { return model; }
    QTableView *table() const { return view; }

    // Asks for the CSV file's name; tests replace it so no dialog is shown.
    using FileNameProvider = std::function<QString()>;
    void setFileNameProvider(FileNameProvider provider) { fileNameProvider = std::move(provider); }
    // Writes the rows to path; false and a message in the window on failure.
    bool saveCsv(const QString &path);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onTraffic(int direction, const QByteArray &bytes, qint64 timestampNs);
    void expireQuietRequest();
    void showCounters();
    void followBottom();

    QPointer<SerialLink> link;
    FrameDecoder decoder;
    TrafficLog *model;
    QTableView *view;
    QLabel *countersLabel;
    QLabel *capLabel;
    QPushButton *pauseButton;
    QTimer *quietTimer;
    FileNameProvider fileNameProvider;
    bool stickToBottom = true;
};
