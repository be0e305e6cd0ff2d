#include "trend/csvrecorder.h"

#include "model/wholefile.h"

CsvRecorder::CsvRecorder(QObject *parent) : QObject(parent)
{
    flushTimer.setInterval(FlushIntervalMs);
    connect(&flushTimer, &QTimer::timeout, this, &CsvRecorder::flushNow);
}

CsvRecorder::~CsvRecorder()
{
    stop();
}

bool CsvRecorder::start(const QString &path)
{
    stop();
    lastError.clear();
    rows = 0;
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        lastError = file.errorString();
        return false;
    }
    // A full disk shows at the first flush, a second later, and stops the recording there.
    if (!write(LiveSample::csvHeader())) {
        lastError = file.errorString();
        file.close();
        return false;
    }
    sinceFlush.start();
    flushTimer.start();
    return true;
}

bool CsvRecorder::stop()
{
    flushTimer.stop();
    if (!file.isOpen())
        return true;
    const bool flushed = flushFully(file);
    if (!flushed)
        lastError = file.errorString();
    file.close();
    return flushed;
}

void CsvRecorder::append(const LiveSample &sample)
{
    if (!file.isOpen())
        return;
    if (!write(sample.csvRow())) {
        fail();
        return;
    }
    ++rows;
    // The timer may lag behind a busy event loop; the second holds anyway.
    if (sinceFlush.elapsed() >= FlushIntervalMs)
        flushNow();
}

bool CsvRecorder::write(const QString &line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    return file.write(bytes) == bytes.size();
}

void CsvRecorder::flushNow()
{
    if (!file.isOpen())
        return;
    sinceFlush.restart();
    if (!flushFully(file))
        fail();
}

void CsvRecorder::fail()
{
    lastError = file.errorString();
    flushTimer.stop();
    // Whatever is still buffered cannot be written either.
    file.close();
    emit failed(lastError);
}
