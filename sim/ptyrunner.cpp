#include "ptyrunner.h"

#include "virtualbus.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <sys/timerfd.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int TickMs = 100;
constexpr int IdleFlushMs = 20;
// Paced bytes go out in batches at most this far apart; a reply's last byte
// goes out on its own time.
constexpr qint64 PaceStepNs = 2'000'000;
constexpr qint64 BitsPerByte = 10; // start, 8 data, stop

qint64 nowNs()
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
    // steady_clock is CLOCK_MONOTONIC on Linux, the clock of this timer.
    paceFd = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (paceFd < 0) {
        if (error)
            *error = systemError("timerfd_create");
        close();
        return false;
    }
    paceNotifier = new QSocketNotifier(paceFd, QSocketNotifier::Read, this);
    connect(paceNotifier, &QSocketNotifier::activated, this, [this] {
        quint64 expirations = 0;
        [[maybe_unused]] const ssize_t n = ::read(paceFd, &expirations, sizeof expirations);
        writePaced();
    });
    return true;
}

void PtyRunner::close()
{
    delete readNotifier;
    delete writeNotifier;
    delete tickTimer;
    delete idleTimer;
    delete paceNotifier;
    readNotifier = writeNotifier = paceNotifier = nullptr;
    tickTimer = idleTimer = nullptr;
    if (paceFd >= 0)
        ::close(paceFd);
    if (masterFd >= 0)
        ::close(masterFd);
    if (slaveFd >= 0)
        ::close(slaveFd);
    paceFd = masterFd = slaveFd = -1;
    slaveName.clear();
    outQueue.clear();
    segments.clear();
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
    const qint64 readNs = nowNs();
    idleTimer->start(IdleFlushMs);
    const QVector<VirtualBus::Reply> replies = bus->feed(bytes, lineBaud());
    if (!replies.isEmpty())
        requestNs.store(readNs);
    if (paced) {
        // The port user wrote at once; on a real line the last byte arrives
        // only after all of them have crossed it.
        inboundDoneNs = qMax(readNs, inboundDoneNs) + bytes.size() * byteNs();
        for (const VirtualBus::Reply &reply : replies)
            queuePaced(reply.bytes, inboundDoneNs + qint64(reply.delayMs) * 1'000'000);
        return;
    }
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
    outQueue.append(bytes);
    writeQueued();
}

void PtyRunner::writeQueued()
{
    if (masterFd < 0 || outQueue.isEmpty())
        return;
    const ssize_t n = ::write(masterFd, outQueue.constData(), size_t(outQueue.size()));
    if (n > 0) {
        outQueue.remove(0, int(n));
        if (outQueue.isEmpty())
            replyEndNs.store(nowNs());
    } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        qWarning("virtual instrument: %s", qPrintable(systemError("write")));
        outQueue.clear();
    }
    // The pty is full: the notifier says when it drains.
    writeNotifier->setEnabled(!outQueue.isEmpty());
}

qint64 PtyRunner::byteNs() const
{
    const qint64 baud = lineBaud() > 0 ? lineBaud() : 9600;
    return BitsPerByte * 1'000'000'000 / baud;
}

void PtyRunner::queuePaced(const QByteArray &bytes, qint64 heardNs)
{
    qint64 queued = 0;
    for (const Segment &segment : segments)
        queued += segment.bytes.size() - segment.written;
    if (queued + bytes.size() > MaxQueuedBytes) {
        qWarning("virtual instrument: nobody reads the port, reply dropped");
        return;
    }
    // One line: a reply starts once it is heard and the line is free.
    const qint64 start = qMax(heardNs, outboundDoneNs);
    const qint64 step = byteNs();
    segments.push_back({bytes, start + step, 0});
    outboundDoneNs = start + bytes.size() * step;
    writePaced();
}

void PtyRunner::writePaced()
{
    if (masterFd < 0)
        return;
    const qint64 step = byteNs();
    bool full = false;
    while (!segments.empty()) {
        Segment &head = segments.front();
        const qint64 now = nowNs();
        if (now < head.firstDoneNs)
            break;
        const int due = int(qMin<qint64>(head.bytes.size(), (now - head.firstDoneNs) / step + 1));
        const int wanted = due - head.written;
        if (wanted > 0) {
            const ssize_t n =
                ::write(masterFd, head.bytes.constData() + head.written, size_t(wanted));
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                qWarning("virtual instrument: %s", qPrintable(systemError("write")));
                segments.clear();
                return;
            }
            if (n > 0)
                head.written += int(n);
            full = n < wanted;
        }
        if (head.written < head.bytes.size())
            break;
        replyEndNs.store(nowNs());
        segments.pop_front();
    }
    if (segments.empty())
        return;
    // Wake for the next batch, or for the reply's last byte if that comes first.
    const Segment &head = segments.front();
    const qint64 nextByte = head.firstDoneNs + head.written * step;
    const qint64 lastByte = head.firstDoneNs + (head.bytes.size() - 1) * step;
    // A full pty (nobody reads the port) is tried again a step later.
    const qint64 soon = nowNs() + PaceStepNs;
    const qint64 wakeAt = full ? soon : qMax(nextByte, qMin(soon, lastByte));
    itimerspec spec{};
    spec.it_value.tv_sec = time_t(wakeAt / 1'000'000'000);
    spec.it_value.tv_nsec = long(wakeAt % 1'000'000'000);
    ::timerfd_settime(paceFd, TFD_TIMER_ABSTIME, &spec, nullptr);
}
