#include "ptyrunner.h"

#include "virtualbus.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int TickMs = 100;
constexpr int IdleFlushMs = 20;
constexpr qint32 DefaultBaud = 9600; // a pty that reports no rate

qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

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
    lineClock.start();
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
    queuedBytes = 0;
    headSent = 0;
    headStartNs = -1;
    inBytes = 0;
    lineFreeNs = 0;
}

qint32 PtyRunner::lineBaud() const
{
    termios tio;
    if (slaveFd < 0 || ::tcgetattr(slaveFd, &tio) != 0)
        return 0;
    return baudFromSpeed(::cfgetospeed(&tio));
}

qint32 PtyRunner::pacingBaud() const
{
    const qint32 baud = lineBaud();
    return baud > 0 ? baud : DefaultBaud;
}

qint64 PtyRunner::characterNs(qint32 baud, int bitsPerCharacter)
{
    return baud > 0 ? qint64(bitsPerCharacter) * 1000000000 / baud : 0;
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

    // A pty delivers a request at once; on a real line its bytes arrive one
    // character time apart, queued behind those still arriving.
    const qint32 baud = pacingBaud();
    const qint64 now = lineClock.nsecsElapsed();
    if (inBytes == 0 || now > inStartNs + inBytes * characterNs(baud, lineBits)) {
        inStartNs = now;
        inBytes = 0;
    }
    inBytes += bytes.size();

    const QVector<VirtualBus::Reply> replies = bus->feed(bytes, lineBaud());
    if (!replies.isEmpty())
        requestNs.store(steadyNs());
    for (const VirtualBus::Reply &reply : replies) {
        lineBits = reply.bitsPerCharacter;
        // An RTU slave knows the request has ended only after 3.5 silent
        // characters; its reply cannot start before that.
        const qint64 arrived =
            inStartNs + (2 * inBytes + 7) * characterNs(baud, reply.bitsPerCharacter) / 2;
        if (reply.delayMs > 0) {
            const QByteArray late = reply.bytes;
            const int bits = reply.bitsPerCharacter;
            QTimer::singleShot(reply.delayMs, this, [this, late, arrived, bits] {
                queueReply(late, qMax(arrived, lineClock.nsecsElapsed()), bits);
            });
        } else {
            queueReply(reply.bytes, arrived, reply.bitsPerCharacter);
        }
    }
}

void PtyRunner::queueReply(const QByteArray &bytes, qint64 notBeforeNs, int bitsPerCharacter)
{
    if (masterFd < 0)
        return;
    if (queuedBytes + bytes.size() > MaxQueuedBytes) {
        qWarning("virtual instrument: nobody reads the port, reply dropped");
        return;
    }
    outQueue.append(Outgoing{bytes, notBeforeNs, bitsPerCharacter});
    queuedBytes += bytes.size();
    writeQueued();
}

void PtyRunner::writeQueued()
{
    writeNotifier->setEnabled(false);
    while (masterFd >= 0 && !outQueue.isEmpty()) {
        const Outgoing &head = outQueue.first();
        qint64 allowed = head.bytes.size() - headSent;
        if (paced) {
            if (headStartNs < 0) {
                // One driver at a time: a reply waits for its request and for
                // the reply before it to leave the line.
                headStartNs = qMax(head.notBeforeNs, lineFreeNs);
                headCharNs = qMax<qint64>(1, characterNs(pacingBaud(), head.bitsPerCharacter));
            }
            // A byte is handed over once all of its bits would have arrived.
            const qint64 elapsed = lineClock.nsecsElapsed() - headStartNs;
            const qint64 due = elapsed > 0 ? elapsed / headCharNs : 0;
            allowed = qMin(allowed, due - headSent);
            if (allowed <= 0) {
                const qint64 waitNs = (headSent + 1) * headCharNs - elapsed;
                paceTimer->start(int(qMax<qint64>(1, (waitNs + 999999) / 1000000)));
                return;
            }
        }
        const ssize_t n = ::write(masterFd, head.bytes.constData() + headSent, size_t(allowed));
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            qWarning("virtual instrument: %s", qPrintable(systemError("write")));
            outQueue.clear();
            queuedBytes = 0;
            headSent = 0;
            headStartNs = -1;
            return;
        }
        if (n > 0)
            headSent += int(n);
        if (headSent == head.bytes.size()) {
            replyEndNs.store(steadyNs());
            if (paced)
                lineFreeNs = headStartNs + head.bytes.size() * headCharNs;
            queuedBytes -= head.bytes.size();
            outQueue.removeFirst();
            headSent = 0;
            headStartNs = -1;
            continue;
        }
        if (n < allowed) {
            // The pty is full; the notifier says when it drains.
            writeNotifier->setEnabled(true);
            return;
        }
    }
}
