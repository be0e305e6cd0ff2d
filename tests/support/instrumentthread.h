#pragma once

// Virtual instruments served on a pseudo-terminal from a thread of their own,
// so a test's event loop (and a window's serial port) can talk to them like to
// a real device. Inspect or change the instruments through bus().with().
// With a link path they can also be unplugged and plugged back in, like an
// adapter: the pty goes away (its user sees a hang-up) and a new one appears
// under the same name.

#include "virtualbus.h"

#include <QList>
#include <QString>
#include <QtGlobal>

#include <condition_variable>
#include <memory>
#include <mutex>

class InstrumentThread
{
public:
    explicit InstrumentThread(QList<quint8> addresses = {1});
    // Stops serving and joins the thread.
    ~InstrumentThread();
    InstrumentThread(const InstrumentThread &) = delete;
    InstrumentThread &operator=(const InstrumentThread &) = delete;

    // Replies at the line's baud rate; call before start().
    void setPaced(bool on) { paced = on; }
    // A stable name for the port: a symlink to the pty, made by start().
    void setLinkPath(const QString &linkPath) { link = linkPath; }
    // Returns once the pty exists (true) or could not be made (false).
    bool start();
    // Closes the instrument's side of the pty and removes the link; the
    // instruments keep their registers.
    void unplug();
    // A new pty, with the link pointed at it.
    bool plugIn() { return start(); }
    QString portPath() const;
    QString errorString() const;
    VirtualBus &bus() { return instruments; }

private:
    class Thread;
    friend class Thread;

    VirtualBus instruments;
    std::unique_ptr<Thread> thread;
    bool paced = false;
    QString link;

    mutable std::mutex stateMutex;
    std::condition_variable stateChanged;
    bool ready = false;
    bool opened = false;
    QString path;
    QString error;
};
