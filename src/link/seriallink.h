#pragma once

// The serial line to the instrument: owns the QSerialPort, opens it with the
// line settings, carries the Modbus master's frames out and the received bytes
// in, and survives an adapter that is pulled out and plugged back in. It knows
// nothing of windows, so the GUI, a command-line program or a test can use it.

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QSerialPort>
#include <QString>
#include <QtGlobal>

class QSocketNotifier;
class QTimer;
class kzModbus;

class SerialLink : public QObject
{
    Q_OBJECT

public:
    enum class Direction
    {
        Written,
        Received
    };
    Q_ENUM(Direction)

    // More than the longest reply (255 bytes for 125 registers).
    static constexpr qint64 MaxBytesPerRead = 300;
    static constexpr int ReopenIntervalMs = 1000;
    static constexpr int ReopenGiveUpMs = 10 * 60 * 1000;

    explicit SerialLink(QObject *parent = nullptr);
    ~SerialLink() override;

    // Frames the master emits go out on the port; bytes read go to its
    // receiveByte(). While the port is lost the master's requests end at once.
    void attach(kzModbus *master);

    // Closes the port, then opens portName read-write and applies the baud
    // rate (both directions), 8 data bits, the parity (index 0 none, 1 odd,
    // 2 even, else none), one stop bit and no flow control, in this order.
    bool open(const QString &portName, qint32 baudRate, int parityIndex);
    // Closes the port and ends a wait for a lost port to come back.
    void close();
    bool isOpen() const;

    // Line settings on the open port; remembered for a reopen either way.
    void setBaudRate(qint32 baudRate);
    void setParity(int parityIndex);

    QString portName() const { return name; }
    qint32 baudRate() const { return baud; }
    qint32 portBaudRate() const;
    int parityIndex() const { return parity; }
    // Why the last open failed ("" after a good one).
    QString errorString() const { return lastError; }
    // The last open failed because this user may not use the device (on
    // Debian: not a member of the group that owns serial ports).
    bool permissionDenied() const { return denied; }
    // The last open failed because another program holds the port.
    bool portInUse() const { return inUse; }

    // The port was lost and nobody has opened or closed it since.
    bool isLost() const { return lost; }
    // While lost: tries to reopen the same port with the same settings at
    // once and then every intervalMs, for up to giveUpMs.
    void reopenWhenBack(int intervalMs = ReopenIntervalMs, int giveUpMs = ReopenGiveUpMs);
    bool isReopening() const;

    // The clock of the traffic timestamps: nanoseconds since the link was made.
    qint64 elapsedNs() const { return clock.nsecsElapsed(); }

public slots:
    // Reads at most MaxBytesPerRead bytes and feeds them to the master.
    void readPort();
    // A frame that does not reach the line ends in the master's timeout.
    void write(const QByteArray &frame);

signals:
    void opened();
    void closed();
    // The device went away under the open port; the port is closed by now.
    void portLost(const QString &reason);
    void reopenFailed(const QString &reason);
    void reopened();
    // Every frame written and every chunk read, as it passed the port.
    void traffic(SerialLink::Direction direction, const QByteArray &bytes, qint64 timestampNs);

private:
    void onError(QSerialPort::SerialPortError error);
    bool lineHungUp() const;
    void handleLoss();
    bool openPort();
    void tryReopen();
    void stopReopening();
    void tap(Direction direction, const QByteArray &bytes);
    // Holds for what the master still lacks; leadCharacters come before it on the line.
    void holdReads(int bytes, int leadCharacters = 0);
    void releaseReads();
    QSocketNotifier *portReadNotifier();

    QSerialPort *port;
    QTimer *reopenTimer;
    QTimer *readHoldTimer;
    QPointer<kzModbus> master;
    QPointer<QSocketNotifier> readNotifier;
    QElapsedTimer clock;
    QElapsedTimer reopenClock;
    QString name;
    qint32 baud = 9600;
    int parity = 0;
    int reopenLimitMs = 0;
    QString lastError;
    bool denied = false;
    bool inUse = false;
    bool lost = false;
    bool lossPending = false;
    bool readScheduled = false;
    bool readsHeld = false;
};
