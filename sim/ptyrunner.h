#pragma once

// Serves a VirtualBus on a pseudo-terminal: the program under test opens the
// slave side like a serial port, the runner reads requests from the master
// side and writes the instruments' replies back. It works in the thread whose
// event loop runs it, which must also be the thread that calls open().

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QString>
#include <QtGlobal>

#include <atomic>

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

    // Paced: the line keeps a real line's time in both directions. A reply
    // starts only once its request would have arrived, and each reply byte is
    // handed over once it would have arrived, at the line's baud rate and the
    // answering instrument's character (10 bits, 11 with parity).
    void setPaced(bool on) { paced = on; }
    bool isPaced() const { return paced; }
    // Nanoseconds a character of the bits takes at the baud rate.
    static qint64 characterNs(qint32 baud, int bitsPerCharacter);

    // Baud rate the port user has set on the line; 0 when unknown.
    qint32 lineBaud() const;

    // For measurements, on the monotonic clock (std::chrono::steady_clock, ns):
    // when the last complete request was read from the line, and when the
    // last byte of the last reply was written to it. Readable from any thread.
    qint64 lastRequestNs() const { return requestNs.load(); }
    qint64 lastReplyEndNs() const { return replyEndNs.load(); }

private:
    struct Outgoing
    {
        QByteArray bytes;
        qint64 notBeforeNs; // the request has arrived by then (on lineClock)
        int bitsPerCharacter;
    };

    void readMaster();
    void queueReply(const QByteArray &bytes, qint64 notBeforeNs, int bitsPerCharacter);
    void writeQueued();
    qint32 pacingBaud() const;

    VirtualBus *bus;
    int masterFd = -1;
    int slaveFd = -1; // held open so the master side never sees a hang-up
    QString slaveName;
    QSocketNotifier *readNotifier = nullptr;
    QSocketNotifier *writeNotifier = nullptr;
    QTimer *tickTimer = nullptr;
    QTimer *idleTimer = nullptr;
    QTimer *paceTimer = nullptr;
    QList<Outgoing> outQueue;
    int queuedBytes = 0;
    bool paced = false;
    QElapsedTimer lineClock;
    // The request bytes arriving back to back since inStartNs.
    qint64 inStartNs = 0;
    qint64 inBytes = 0;
    int lineBits = 10; // of the last reply, to tell when the incoming line went idle
    // The reply being written: when its first byte started, its character
    // time, and how many of its bytes are out.
    qint64 headStartNs = -1;
    qint64 headCharNs = 0;
    int headSent = 0;
    qint64 lineFreeNs = 0; // the last reply has left the line by then
    std::atomic<qint64> requestNs{0};
    std::atomic<qint64> replyEndNs{0};
};
