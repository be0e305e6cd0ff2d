#include "instrumentthread.h"

#include "ptyrunner.h"

#include <QThread>

#include <chrono>

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
    if (thread) {
        thread->quit();
        thread->wait();
    }
    std::lock_guard<std::mutex> lock(stateMutex);
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
    return opened;
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
