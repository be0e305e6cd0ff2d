#pragma once

// Records live samples to a CSV file, one row a poll. The file is flushed at
// least once a second, so a crash loses at most the last second; a write
// error stops the recording and says why. No widgets.

#include "model/livesample.h"

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QString>
#include <QTimer>

class CsvRecorder : public QObject
{
    Q_OBJECT

public:
    static constexpr int FlushIntervalMs = 1000;

    explicit CsvRecorder(QObject *parent = nullptr);
    ~CsvRecorder() override;

    // Truncates the file and writes the header; false (and errorString) when
    // it cannot.
    bool start(const QString &path);
    // Writes out what is buffered and closes the file; false (and
    // errorString) when the file does not hold every row.
    bool stop();
    bool isRecording() const { return file.isOpen(); }
    QString errorString() const { return lastError; }
    QString fileName() const { return file.fileName(); }
    // Rows handed to the file; on disk only once a flush or stop succeeded.
    qint64 rowsWritten() const { return rows; }

    void append(const LiveSample &sample);

signals:
    // The recording ended on a write error; the file is closed.
    void failed(const QString &reason);

private:
    bool write(const QString &line);
    void flushNow();
    void fail();

    QFile file;
    QTimer flushTimer;
    QElapsedTimer sinceFlush;
    QString lastError;
    qint64 rows = 0;
};
