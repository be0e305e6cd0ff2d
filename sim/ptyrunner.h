#pragma once

// Serves a VirtualBus on a pseudo-terminal: the program under test opens the
// slave side like a serial port, the runner reads requests from the master
// side and writes the instruments' replies back. It works in the thread whose
// event loop runs it, which must also be the thread that calls open().

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QtGlobal>

#include <atomic>
#include <deque>

class QSocketNotifier;
class QTimer;
class VirtualBus;

class PtyRunner : public QObject
{
    Q_OBJECT

public:
    // Replies that cannot be written (nobody reads the port) are dropped past this.
    static constexpr int MaxQueuedBytes = 64 * 1024;

    // Puts a terminal into raw 8-bit mode at 9600 baud, as a serial line starts.
    static bool makeRaw(int fd);

    explicit PtyRunner(VirtualBus *bus, QObject *parent = nullptr);
    ~PtyRunner() override;

    bool open(QString *error);
    void close();
    bool isOpen() const { return masterFd >= 0; }
    QString slavePath() const { return slaveName; }

    // Paced: the line's baud rate holds in both directions. A request is heard
    // once its bytes would have crossed the line, and each reply byte arrives
    // one byte time (10 bits) after the one before it.
    void setPaced(bool on) { paced = on; }
    bool isPaced() const { return paced; }

    // Baud rate the port user has set on the line; 0 when unknown.
    qint32 lineBaud() const;

    // For measurements, on the monotonic clock (std::chrono::steady_clock, ns):
    // when the last complete request was read from the line, and when the
    // last byte of the last reply was written to it. Readable from any thread.
    qint64 lastRequestNs() const { return requestNs.load(); }
    qint64 lastReplyEndNs() const { return replyEndNs.load(); }

private:
    // A paced reply: its bytes and when its first byte has fully arrived.
    struct Segment
    {
        QByteArray bytes;
        qint64 firstDoneNs = 0;
        int written = 0;
    };

    void readMaster();
    void queueReply(const QByteArray &bytes);
    void writeQueued();
    void queuePaced(const QByteArray &bytes, qint64 heardNs);
    void writePaced();
    qint64 byteNs() const;

    VirtualBus *bus;
    int masterFd = -1;
    int slaveFd = -1; // held open so the master side never sees a hang-up
    QString slaveName;
    QSocketNotifier *readNotifier = nullptr;
    QSocketNotifier *writeNotifier = nullptr;
    QTimer *tickTimer = nullptr;
    QTimer *idleTimer = nullptr;
    QByteArray outQueue;
    bool paced = false;
    // Paced output is timed to the nanosecond by a timerfd, not a Qt timer.
    int paceFd = -1;
    QSocketNotifier *paceNotifier = nullptr;
    std::deque<Segment> segments;
    qint64 inboundDoneNs = 0;
    qint64 outboundDoneNs = 0;
    std::atomic<qint64> requestNs{0};
    std::atomic<qint64> replyEndNs{0};
};
