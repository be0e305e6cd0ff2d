#include "link/seriallink.h"

#include "modbus/kzmodbus.h"

#include <QCoreApplication>
#include <QMetaMethod>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>
#endif

SerialLink::SerialLink(QObject *parent)
    : QObject(parent), port(new QSerialPort(this)), reopenTimer(new QTimer(this)),
      readHoldTimer(new QTimer(this))
{
    clock.start();
    readHoldTimer->setSingleShot(true);
    readHoldTimer->setTimerType(Qt::PreciseTimer);
    connect(readHoldTimer, &QTimer::timeout, this, &SerialLink::releaseReads);
    connect(port, &QSerialPort::readyRead, this, &SerialLink::readPort);
    connect(port, &QSerialPort::errorOccurred, this, &SerialLink::onError);
    connect(reopenTimer, &QTimer::timeout, this, &SerialLink::tryReopen);
}

SerialLink::~SerialLink()
{
    if (port->isOpen())
        port->close();
}

void SerialLink::attach(kzModbus *modbusMaster)
{
    if (master)
        disconnect(master, nullptr, this, nullptr);
    master = modbusMaster;
    if (master)
        connect(master, &kzModbus::SendData, this, &SerialLink::write);
}

bool SerialLink::open(const QString &portName, qint32 baudRate, int parityIndex)
{
    stopReopening();
    lost = false;
    name = portName;
    baud = baudRate;
    parity = parityIndex;
    if (!openPort())
        return false;
    emit opened();
    return true;
}

bool SerialLink::openPort()
{
    // A loss reported for the port closed here is no longer news.
    lossPending = false;
    if (port->isOpen()) {
        releaseReads();
        port->close();
        emit closed();
    }
    port->setPortName(name);
    if (!port->open(QIODevice::ReadWrite)) {
        lastError = port->errorString();
        // Qt reports a port locked by another program as a permission error
        // too; only the system's own refusal means the user lacks the right.
        const bool permission = port->error() == QSerialPort::PermissionError;
        denied = permission &&
                 (lastError == qt_error_string(EACCES) || lastError == qt_error_string(EPERM));
        // The kernel's exclusive mode (TIOCEXCL) or the lock file of a program
        // that takes one, as Qt does.
        // Qt's own text, translated as Qt shows it (kept out of our catalogue).
        static const char qtContext[] = "QSerialPort";
        static const char lockFailed[] = "Permission error while locking the device";
        inUse = permission && (lastError == qt_error_string(EBUSY) ||
                               lastError == QCoreApplication::translate(qtContext, lockFailed));
        return false;
    }
#ifdef Q_OS_UNIX
    // Programs that lock the device with flock() instead are invisible to
    // Qt's checks. Held while the port is open, the lock keeps them out too.
    if (::flock(int(port->handle()), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        port->close();
        lastError = qt_error_string(EBUSY);
        denied = false;
        inUse = true;
        return false;
    }
#endif
    lastError.clear();
    denied = false;
    inUse = false;
    port->setBaudRate(baud, QSerialPort::AllDirections);
    port->setDataBits(QSerialPort::Data8);
    setParity(parity);
    port->setStopBits(QSerialPort::OneStop);
    port->setFlowControl(QSerialPort::NoFlowControl);
    if (master)
        master->setLineDown(false);
    return true;
}

void SerialLink::close()
{
    stopReopening();
    lost = false;
    lossPending = false;
    if (!port->isOpen())
        return;
    releaseReads();
    port->close();
    emit closed();
}

bool SerialLink::isOpen() const
{
    return port->isOpen();
}

void SerialLink::setBaudRate(qint32 baudRate)
{
    baud = baudRate;
    port->setBaudRate(baud, QSerialPort::AllDirections);
}

void SerialLink::setParity(int parityIndex)
{
    parity = parityIndex;
    QSerialPort::Parity value = QSerialPort::NoParity;
    if (parityIndex == 1)
        value = QSerialPort::OddParity;
    else if (parityIndex == 2)
        value = QSerialPort::EvenParity;
    // Some lines (a pseudo-terminal among them) cannot carry parity; the port
    // still works, so a refusal is not a broken link.
    if (!port->setParity(value))
        port->clearError();
}

qint32 SerialLink::portBaudRate() const
{
    return port->baudRate();
}

void SerialLink::readPort()
{
    readScheduled = false;
    if (!port->isOpen())
        return;
    const QByteArray bytes = port->read(MaxBytesPerRead);
    if (!bytes.isEmpty())
        tap(Direction::Received, bytes);
    if (master) {
        for (char byte : bytes)
            master->receiveByte(quint8(byte));
        if (!bytes.isEmpty())
            holdReads(master->replyBytesOutstanding());
    }
    // readyRead is not raised again for bytes already buffered: fetch the rest
    // now, still at most 300 bytes a call, so a reply's tail cannot sit unread.
    if (port->bytesAvailable() > 0 && !readScheduled) {
        readScheduled = true;
        QTimer::singleShot(0, this, &SerialLink::readPort);
    }
}

// A reply comes in many small pieces (an 89-byte reply in a score of them).
// Each wakes this thread while the port's read notifier listens: a turn of
// the event loop, or with VMIN holding the piece back a wake-up in the kernel,
// and there a poll() of the terminal that waits for the kernel's worker to
// pass the piece on, which on a busy machine can take tens of milliseconds.
// So the notifier is off while the reply cannot be complete yet: from the
// request until one character before its normal reply could be back
// (request, 3.5-character gap, reply), and again after each read while the
// master knows how many bytes it still lacks. What is there then is read and
// the last pieces as they come: a reply is complete as early as ever, and one
// cut short, or an exception reply, which is shorter, is read long before the
// master gives up on it.
void SerialLink::holdReads(int bytes, int leadCharacters)
{
    // Start, 8 data, parity, stop.
    const int bitsPerCharacter = parity == 1 || parity == 2 ? 11 : 10;
    const int characters = leadCharacters + bytes - 1;
    const qint64 holdMs = baud > 0 && bytes > 0 && characters > 0
                              ? qint64(characters) * bitsPerCharacter * 1000 / baud
                              : 0;
    QSocketNotifier *notifier = holdMs > 0 ? portReadNotifier() : nullptr;
    if (!notifier) {
        releaseReads();
        return;
    }
    notifier->setEnabled(false);
    readsHeld = true;
    readHoldTimer->start(int(holdMs));
}

void SerialLink::releaseReads()
{
    readHoldTimer->stop();
    if (!readsHeld)
        return;
    readsHeld = false;
    if (QSocketNotifier *notifier = portReadNotifier())
        notifier->setEnabled(true);
}

// QSerialPort reads through a socket notifier of its own, a child made when
// the port opens; without one (another platform, another Qt) reads are never
// held. Switching it costs a turn of the event loop, a wake-up does much more.
QSocketNotifier *SerialLink::portReadNotifier()
{
    if (!port->isOpen())
        return nullptr;
    if (readNotifier && readNotifier->socket() == port->handle())
        return readNotifier;
    readNotifier = nullptr;
    const auto notifiers =
        port->findChildren<QSocketNotifier *>(QString(), Qt::FindDirectChildrenOnly);
    for (QSocketNotifier *notifier : notifiers) {
        if (notifier->type() == QSocketNotifier::Read && notifier->socket() == port->handle())
            readNotifier = notifier;
    }
    return readNotifier;
}

void SerialLink::write(const QByteArray &frame)
{
    if (!port->isOpen())
        return;
    QByteArray rest = frame;
#ifdef Q_OS_UNIX
    // Straight to the descriptor while nothing is queued: QSerialPort would arm
    // its write notifier and take two more turns of the event loop per frame.
    // What does not go out (a full buffer, an error) takes the port's own way,
    // which queues it or reports the error.
    if (port->bytesToWrite() == 0) {
        const ssize_t written =
            ::write(int(port->handle()), frame.constData(), size_t(frame.size()));
        if (written > 0)
            rest = frame.mid(int(written));
    }
#endif
    if (!rest.isEmpty()) {
        port->write(rest);
        // Out at once, not on the next turn of the event loop: the worker waits for it.
        port->flush();
    }
    tap(Direction::Written, frame);
    if (master)
        holdReads(master->replyBytesOutstanding(), int(frame.size()) + 3);
}

void SerialLink::tap(Direction direction, const QByteArray &bytes)
{
    static const QMetaMethod trafficSignal = QMetaMethod::fromSignal(&SerialLink::traffic);
    if (isSignalConnected(trafficSignal))
        emit traffic(direction, bytes, clock.nsecsElapsed());
}

void SerialLink::onError(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::NoError || lossPending || !port->isOpen())
        return;
    // A pulled adapter shows as a resource error, or as a hang-up that Qt
    // reports as a failed read, again and again, as long as the port is open.
    if (error != QSerialPort::ResourceError && !lineHungUp())
        return;
    lossPending = true;
    // Not from inside the port's own notification: a listener may run the
    // event loop of a dialog, during which the port is reopened.
    QMetaObject::invokeMethod(this, &SerialLink::handleLoss, Qt::QueuedConnection);
}

bool SerialLink::lineHungUp() const
{
#ifdef Q_OS_UNIX
    pollfd fd{int(port->handle()), POLLIN, 0};
    return ::poll(&fd, 1, 0) > 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
#else
    return false;
#endif
}

void SerialLink::handleLoss()
{
    if (!lossPending)
        return;
    lossPending = false;
    if (!port->isOpen())
        return;
    const QString reason = port->errorString();
    // Closing gives the device's node back, so the adapter can return under
    // the same name, and ends the notifications of the dead descriptor.
    releaseReads();
    port->close();
    port->clearError();
    lost = true;
    if (master)
        master->setLineDown(true);
    emit closed();
    emit portLost(reason);
}

void SerialLink::reopenWhenBack(int intervalMs, int giveUpMs)
{
    if (!lost)
        return;
    reopenLimitMs = giveUpMs;
    reopenClock.start();
    reopenTimer->start(intervalMs);
    tryReopen();
}

bool SerialLink::isReopening() const
{
    return reopenTimer->isActive();
}

void SerialLink::tryReopen()
{
    if (openPort()) {
        stopReopening();
        lost = false;
        emit opened();
        emit reopened();
        return;
    }
    emit reopenFailed(lastError);
    if (reopenClock.elapsed() >= reopenLimitMs)
        stopReopening();
}

void SerialLink::stopReopening()
{
    reopenTimer->stop();
}
