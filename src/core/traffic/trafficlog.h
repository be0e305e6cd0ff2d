#pragma once

// The traffic monitor's rows and counters as a table model. Events arrive in
// bursts from the decoder and are inserted in batches, so a busy line costs
// the view one insert a batch instead of one a frame. No widgets.

#include "traffic/framedecoder.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QTimer>

#include <deque>

class QIODevice;

class TrafficLog : public QAbstractTableModel
{
    Q_OBJECT

public:
    static constexpr int DefaultMaxRows = 100000;
    // Every batch repaints the visible table: four a second is as fast as
    // anyone reads, and costs the window's thread half of ten.
    static constexpr int BatchIntervalMs = 250;

    enum Column
    {
        TimeColumn,
        DirectionColumn,
        SlaveColumn,
        FunctionColumn,
        AddressColumn,
        CountColumn,
        LengthColumn,
        HexColumn,
        StatusColumn,
        ColumnCount
    };

    struct Counters
    {
        quint64 requests = 0;
        quint64 goodReplies = 0;
        quint64 timeouts = 0;
        quint64 crcErrors = 0;
        quint64 exceptions = 0;
        quint64 foreign = 0;
        quint64 noise = 0;
        // Good replies per request, in percent; 0 before the first request.
        double successRate() const;
    };

    // origin: the wall time at the link clock's zero.
    explicit TrafficLog(const QDateTime &origin, QObject *parent = nullptr);

    void setMaxRows(int rows) { maxRows = rows; }
    int maxRowCount() const { return maxRows; }
    // Rows dropped from the top to keep within maxRows.
    quint64 droppedRows() const { return dropped; }

    void add(const QVector<TrafficEvent> &events);
    // Inserts the waiting batch now (the timer does it otherwise).
    void flush();

    // Paused, events are still counted but no rows are kept.
    void setPaused(bool paused) { isPaused = paused; }
    bool paused() const { return isPaused; }
    void clear();
    void resetCounters();
    const Counters &counters() const { return count; }

    const TrafficEvent &eventAt(int row) const { return rows[size_t(row)]; }
    QDateTime wallTime(const TrafficEvent &e) const;

    static QString csvHeader();
    QString csvRow(const TrafficEvent &e) const;
    bool writeCsv(QIODevice &device) const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

signals:
    // With each batch, and on a reset.
    void countersChanged();
    // After a batch went in (rows may also have left the top).
    void rowsAdded();

private:
    void countEvent(const TrafficEvent &e);

    QDateTime origin;
    std::deque<TrafficEvent> rows;
    QVector<TrafficEvent> waiting;
    QTimer batchTimer;
    Counters count;
    int maxRows = DefaultMaxRows;
    quint64 dropped = 0;
    bool isPaused = false;
};
