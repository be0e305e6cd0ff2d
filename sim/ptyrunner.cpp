#include "ptyrunner.h"

#include "virtualbus.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int TickMs = 100;
constexpr int IdleFlushMs = 20;
constexpr int PaceStepMs = 2;
constexpr int BitsPerByte = 10; // start, 8 data, stop

qint32 baudFromSpeed(speed_t speed)
{
    switch (speed) {
    case B1200:
        return 1200;
    case B2400:
        return 2400;
    case B4800:
        return 4800;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return 0;
    }
}

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

bool PtyRunner::makeRaw(int fd)
{
    termios tio;
    if (::tcgetattr(fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

PtyRunner::PtyRunner(VirtualBus *bus, QObject *parent) : QObject(parent), bus(bus) {}

PtyRunner::~PtyRunner()
{
    close();
}

bool PtyRunner::open(QString *error)
{
    close();
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        if (error)
            *error = systemError("openpty");
        return false;
    }
    char name[128];
    if (::ptsname_r(master, name, sizeof name) != 0 || !PtyRunner::makeRaw(slave) ||
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK) != 0) {
        if (error)
            *error = systemError("pseudo-terminal set-up");
        ::close(master);
        ::close(slave);
        return false;
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    masterFd = master;
    slaveFd = slave;
    slaveName = QString::fromLocal8Bit(name);

    readNotifier = new QSocketNotifier(masterFd, QSocketNotifier::Read, this);
    connect(readNotifier, &QSocketNotifier::activated, this, &PtyRunner::readMaster);
    writeNotifier = new QSocketNotifier(masterFd, QSocketNotifier::Write, this);
    writeNotifier->setEnabled(false);
    connect(writeNotifier, &QSocketNotifier::activated, this, &PtyRunner::writeQueued);

    tickTimer = new QTimer(this);
    connect(tickTimer, &QTimer::timeout, this, [this] { bus->tick(); });
    tickTimer->start(TickMs);
    idleTimer = new QTimer(this);
    idleTimer->setSingleShot(true);
    connect(idleTimer, &QTimer::timeout, this, [this] { bus->flush(); });
    paceTimer = new QTimer(this);
    paceTimer->setSingleShot(true);
    connect(paceTimer, &QTimer::timeout, this, &PtyRunner::writeQueued);
    return true;
}

void PtyRunner::close()
{
    delete readNotifier;
    delete writeNotifier;
    delete tickTimer;
    delete idleTimer;
    delete paceTimer;
    readNotifier = writeNotifier = nullptr;
    tickTimer = idleTimer = paceTimer = nullptr;
    if (masterFd >= 0)
        ::close(masterFd);
    if (slaveFd >= 0)
        ::close(slaveFd);
    masterFd = slaveFd = -1;
    slaveName.clear();
    outQueue.clear();
}

qint32 PtyRunner::lineBaud() const
{
    termios tio;
    if (slaveFd < 0 || ::tcgetattr(slaveFd, &tio) != 0)
        return 0;
    return baudFromSpeed(::cfgetospeed(&tio));
}

void PtyRunner::readMaster()
{
    QByteArray bytes;
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(masterFd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, int(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            // Without this the notifier would fire forever on a dead descriptor.
            qWarning("virtual instrument: %s", qPrintable(systemError("read")));
            readNotifier->setEnabled(false);
        }
        break;
    }
    if (bytes.isEmpty())
        return;
    idleTimer->start(IdleFlushMs);
    const QVector<VirtualBus::Reply> replies = bus->feed(bytes, lineBaud());
    for (const VirtualBus::Reply &reply : replies) {
        if (reply.delayMs > 0) {
            const QByteArray late = reply.bytes;
            QTimer::singleShot(reply.delayMs, this, [this, late] { queueReply(late); });
        } else {
            queueReply(reply.bytes);
        }
    }
}

void PtyRunner::queueReply(const QByteArray &bytes)
{
    if (masterFd < 0)
        return;
    if (outQueue.size() + bytes.size() > MaxQueuedBytes) {
        qWarning("virtual instrument: nobody reads the port, reply dropped");
        return;
    }
    if (outQueue.isEmpty()) {
        paceClock.start();
        pacedBytes = 0;
    }
    outQueue.append(bytes);
    writeQueued();
}

void PtyRunner::writeQueued()
{
    if (masterFd < 0 || outQueue.isEmpty())
        return;
    qint64 allowed = outQueue.size();
    if (paced) {
        const qint32 baud = lineBaud() > 0 ? lineBaud() : 9600;
        // The first byte leaves at once, each further one after its bit time.
        allowed = qMin(allowed, 1 + paceClock.elapsed() * baud / (1000 * BitsPerByte) - pacedBytes);
    }
    if (allowed > 0) {
        const ssize_t n = ::write(masterFd, outQueue.constData(), size_t(allowed));
        if (n > 0) {
            outQueue.remove(0, int(n));
            pacedBytes += n;
        } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            qWarning("virtual instrument: %s", qPrintable(systemError("write")));
            outQueue.clear();
        }
    }
    writeNotifier->setEnabled(false);
    if (outQueue.isEmpty())
        return;
    // Paced: the next bytes are due in a moment. Otherwise the pty is full and
    // the notifier says when it drains.
    if (paced)
        paceTimer->start(PaceStepMs);
    else
        writeNotifier->setEnabled(true);
}
