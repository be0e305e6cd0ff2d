#include "instrumentthread.h"

#include "ptyrunner.h"

#include <QFile>
#include <QThread>

#include <chrono>
#include <cstdio>
#include <unistd.h>

// The runner is made, served and destroyed inside this thread, so its
// notifiers and timers belong to the thread's own event loop.
class InstrumentThread::Thread : public QThread
{
public:
    explicit Thread(InstrumentThread &owner) : owner(owner) {}

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
        if (ok)
            exec();
        runner.close();
        // Orders the runner's teardown before the owner's, for the sanitizer
        // that cannot see QThread::wait.
        std::lock_guard<std::mutex> lock(owner.stateMutex);
        owner.ready = false;
    }

private:
    InstrumentThread &owner;
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
    thread->quit();
    thread->wait();
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
