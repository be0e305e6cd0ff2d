#pragma once

// Serves a VirtualBus on a pseudo-terminal: the program under test opens the
// slave side like a serial port, the runner reads requests from the master
// side and writes the instruments' replies back. It works in the thread whose
// event loop runs it, which must also be the thread that calls open().

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QtGlobal>

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

    // Paced: replies leave no faster than the line's baud rate allows.
    void setPaced(bool on) { paced = on; }
    bool isPaced() const { return paced; }

    // Baud rate the port user has set on the line; 0 when unknown.
    qint32 lineBaud() const;

private:
    void readMaster();
    void queueReply(const QByteArray &bytes);
    void writeQueued();

    VirtualBus *bus;
    int masterFd = -1;
    int slaveFd = -1; // held open so the master side never sees a hang-up
    QString slaveName;
    QSocketNotifier *readNotifier = nullptr;
    QSocketNotifier *writeNotifier = nullptr;
    QTimer *tickTimer = nullptr;
    QTimer *idleTimer = nullptr;
    QTimer *paceTimer = nullptr;
    QByteArray outQueue;
    bool paced = false;
    QElapsedTimer paceClock;
    qint64 pacedBytes = 0;
};
