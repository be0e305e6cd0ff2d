#include "instrumentthread.h"

#include "ptyrunner.h"

#include <QFile>
#include <QSocketNotifier>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

// The runner is made, served and destroyed inside this thread, so its
// notifiers and timers belong to the thread's own event loop. The thread ends
// itself when a byte arrives on its stop pipe: QThread::quit() from the owner
// would write to the loop's wake-up descriptor while the ending thread closes
// it, an order Qt keeps with locks the thread sanitizer cannot see.
class InstrumentThread::Thread : public QThread
{
public:
    explicit Thread(InstrumentThread &owner) : owner(owner)
    {
        if (::pipe2(stopPipe, O_CLOEXEC) != 0)
            stopPipe[0] = stopPipe[1] = -1;
    }
    ~Thread() override
    {
        for (int fd : stopPipe)
            if (fd >= 0)
                ::close(fd);
    }
    void stop()
    {
        const char byte = 0;
        if (stopPipe[1] < 0 || ::write(stopPipe[1], &byte, 1) != 1)
            quit();
        wait();
    }

protected:
    void run() override
    {
        PtyRunner runner(&owner.instruments);
        runner.setPaced(owner.paced);
        QString message;
        const bool ok = runner.open(&message);
        {
            std::lock_guard<std::mutex> lock(owner.stateMutex);
            owner.ready = true;
            owner.opened = ok;
            owner.path = runner.slavePath();
            owner.error = message;
        }
        owner.stateChanged.notify_all();
        if (ok) {
            std::unique_ptr<QSocketNotifier> stopper;
            if (stopPipe[0] >= 0) {
                stopper = std::make_unique<QSocketNotifier>(stopPipe[0], QSocketNotifier::Read);
                QObject::connect(stopper.get(), &QSocketNotifier::activated, [this] {
                    char byte;
                    const bool drained = ::read(stopPipe[0], &byte, 1) == 1;
                    Q_UNUSED(drained) // a stop either way: the owner is waiting
                    exit();
                });
            }
            exec();
        }
        runner.close();
        // Orders the runner's teardown before the owner's, for the sanitizer
        // that cannot see QThread::wait.
        std::lock_guard<std::mutex> lock(owner.stateMutex);
        owner.ready = false;
    }

private:
    InstrumentThread &owner;
    int stopPipe[2] = {-1, -1};
};

InstrumentThread::InstrumentThread(QList<quint8> addresses)
{
    for (quint8 address : addresses)
        instruments.add(address);
}

InstrumentThread::~InstrumentThread()
{
    unplug();
}

bool InstrumentThread::start()
{
    if (thread)
        return opened;
    thread = std::make_unique<Thread>(*this);
    thread->start();
    std::unique_lock<std::mutex> lock(stateMutex);
    if (!stateChanged.wait_for(lock, std::chrono::seconds(10), [this] { return ready; })) {
        error = QStringLiteral("the instrument thread did not start");
        return false;
    }
    if (opened && !link.isEmpty()) {
        // Made beside the link and renamed over it, so the name never points nowhere.
        const QByteArray name = QFile::encodeName(link);
        const QByteArray fresh = name + ".new";
        ::unlink(fresh.constData());
        if (::symlink(QFile::encodeName(path).constData(), fresh.constData()) != 0 ||
            std::rename(fresh.constData(), name.constData()) != 0) {
            error = QStringLiteral("cannot link %1 to %2").arg(link, path);
            opened = false;
        }
    }
    return opened;
}

void InstrumentThread::unplug()
{
    if (!link.isEmpty())
        ::unlink(QFile::encodeName(link).constData());
    if (!thread)
        return;
    thread->stop();
    {
        // Pairs with the end of run(), for the sanitizer that cannot see QThread::wait.
        std::lock_guard<std::mutex> lock(stateMutex);
        opened = false;
    }
    thread.reset();
}

QString InstrumentThread::portPath() const
{
    std::lock_guard<std::mutex> lock(stateMutex);
    return path;
}

QString InstrumentThread::errorString() const
{
    std::lock_guard<std::mutex> lock(stateMutex);
    return error;
}
