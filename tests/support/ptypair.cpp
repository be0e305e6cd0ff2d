#include "ptypair.h"

#include "ptyrunner.h"

#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int QuietMs = 20;

} // namespace

PtyPair::PtyPair()
{
    int master = -1;
    int slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
        return;
    char buffer[128];
    if (::ptsname_r(master, buffer, sizeof buffer) != 0 || !PtyRunner::makeRaw(slave) ||
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK) != 0) {
        ::close(master);
        ::close(slave);
        return;
    }
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave, F_SETFD, FD_CLOEXEC);
    masterFd = master;
    slaveFd = slave;
    name = QString::fromLocal8Bit(buffer);
}

PtyPair::~PtyPair()
{
    if (masterFd >= 0)
        ::close(masterFd);
    if (slaveFd >= 0)
        ::close(slaveFd);
}

bool PtyPair::writeMaster(const QByteArray &bytes)
{
    int done = 0;
    QElapsedTimer clock;
    clock.start();
    while (masterFd >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(masterFd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += int(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else if (clock.elapsed() > 1000) {
            return false; // nobody drains the port
        } else {
            pollfd pfd{masterFd, POLLOUT, 0};
            ::poll(&pfd, 1, 10);
        }
    }
    return masterFd >= 0;
}

QByteArray PtyPair::readMaster(int timeoutMs)
{
    QByteArray bytes;
    if (masterFd < 0)
        return bytes;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const int wait =
            bytes.isEmpty() ? int(qMax<qint64>(0, timeoutMs - clock.elapsed())) : QuietMs;
        pollfd pfd{masterFd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, wait);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return bytes;
        char buffer[512];
        const ssize_t n = ::read(masterFd, buffer, sizeof buffer);
        if (n > 0)
            bytes.append(buffer, int(n));
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return bytes;
    }
}
