#include "link/seriallink.h"

#include "modbus/kzmodbus.h"

#include <QMetaMethod>
#include <QTimer>

#include <cerrno>

#ifdef Q_OS_UNIX
#include <poll.h>
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
        denied = port->error() == QSerialPort::PermissionError &&
                 (lastError == qt_error_string(EACCES) || lastError == qt_error_string(EPERM));
        return false;
    }
    lastError.clear();
    denied = false;
    settingsKnown = false;
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
    settingsKnown = false;
    port->setBaudRate(baud, QSerialPort::AllDirections);
}

void SerialLink::setParity(int parityIndex)
{
    parity = parityIndex;
    settingsKnown = false;
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
        deliver(bytes);
    if (master && !bytes.isEmpty()) {
        if (heldMinimum > TerminalReadChunk && port->bytesAvailable() == 0 &&
            master->replyBytesOutstanding() > 0)
            readHeldRest();
        holdReads(master->replyBytesOutstanding());
    }
    // readyRead is not raised again for bytes already buffered: fetch the rest
    // now, still at most 300 bytes a call, so a reply's tail cannot sit unread.
    if (port->bytesAvailable() > 0 && !readScheduled) {
        readScheduled = true;
        QTimer::singleShot(0, this, &SerialLink::readPort);
    }
}

void SerialLink::deliver(const QByteArray &bytes)
{
    tap(Direction::Received, bytes);
    if (master) {
        for (char byte : bytes)
            master->receiveByte(quint8(byte));
    }
}

// A reply comes in many small pieces (an 89-byte reply in a score of them),
// each a turn of this thread's event loop. The terminal's VMIN keeps the port
// from reporting data until the reply's bytes are all there (non-canonical
// input with VTIME 0: poll() waits for VMIN bytes, while a non-blocking read
// still returns what there is), so the thread wakes once for a reply. The
// hold starts with the request, for the whole normal reply, and follows what
// the master still lacks. A timer set for when the bytes should all have
// arrived (after leadCharacters: the request and the gap before the reply)
// lifts it again, so a reply cut short, or an exception reply, which is
// shorter, is read long before the master gives up on it. A timer that fires
// too early costs wake-ups, one too late only delays those short replies: it
// is generous.
void SerialLink::holdReads(int bytes, int leadCharacters)
{
#ifdef Q_OS_UNIX
    if (bytes < 2 || baud <= 0 || !port->isOpen()) {
        releaseReads();
        return;
    }
    const int fd = int(port->handle());
    // Read once per open or change of settings; then a hold is one call.
    if (!settingsKnown) {
        if (::tcgetattr(fd, &heldSettings) != 0 || (heldSettings.c_lflag & ICANON) ||
            heldSettings.c_cc[VTIME] != 0)
            return;
        if (!readsHeld)
            releasedMinimum = heldSettings.c_cc[VMIN];
        settingsKnown = true;
    }
    const cc_t minimum = cc_t(qMin(bytes, 255));
    if (heldSettings.c_cc[VMIN] != minimum) {
        heldSettings.c_cc[VMIN] = minimum;
        if (::tcsetattr(fd, TCSANOW, &heldSettings) != 0) {
            settingsKnown = false;
            return;
        }
    }
    readsHeld = true;
    heldMinimum = minimum;
    // Start, 8 data, parity, stop; two characters and 10 ms to spare.
    const int bitsPerCharacter = parity == 1 || parity == 2 ? 11 : 10;
    const qint64 lineUs = qint64(leadCharacters + minimum + 2) * bitsPerCharacter * 1000000 / baud;
    readHoldTimer->start(int(lineUs / 1000) + HoldSpareMs);
#else
    Q_UNUSED(bytes)
    Q_UNUSED(leadCharacters)
#endif
}

void SerialLink::releaseReads()
{
    readHoldTimer->stop();
#ifdef Q_OS_UNIX
    if (!readsHeld)
        return;
    readsHeld = false;
    heldMinimum = 0;
    if (!port->isOpen())
        return;
    const int fd = int(port->handle());
    if (!settingsKnown && ::tcgetattr(fd, &heldSettings) != 0)
        return;
    heldSettings.c_cc[VMIN] = releasedMinimum;
    settingsKnown = ::tcsetattr(fd, TCSANOW, &heldSettings) == 0;
#endif
}

// While VMIN asks for more than 64 bytes, a read of the terminal stops after
// 64 of them; the rest of the reply is there already, so it is taken now
// rather than on another turn of the event loop. Nothing is buffered in the
// port, so these are the next bytes of the line.
void SerialLink::readHeldRest()
{
#ifdef Q_OS_UNIX
    char buffer[MaxBytesPerRead];
    const ssize_t n = ::read(int(port->handle()), buffer, sizeof buffer);
    if (n > 0)
        deliver(QByteArray(buffer, int(n)));
#endif
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
    // The reply cannot start before the request and the 3.5-character gap.
    if (master)
        holdReads(master->replyBytesOutstanding(), int(frame.size()) + 4);
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
