#pragma once

// What the window knows of its link to the instrument: the line it opened,
// the address it connected to, how far the worker's link has come, and the
// link settings a save made effective. No widgets: the window shows it.

#include "worker/messages.h"

#include <QString>
#include <QtGlobal>

class LinkState
{
public:
    // The line as the window last applied it; the parity as asked for, which a
    // pseudo-terminal cannot carry.
    const QString &portName() const { return port; }
    quint32 baudRate() const { return baud; }
    quint8 parityIndex() const { return parity; }
    quint8 address() const { return slave; }
    // Named before it is opened: the status texts name it whether or not it opens.
    void portChosen(const QString &portName) { port = portName; }
    void lineChanged(quint32 baudRate, quint8 parityIndex)
    {
        baud = baudRate;
        parity = parityIndex;
    }
    void setAddress(quint8 address) { slave = address; }

    // The user asked for a connection: a lost port is reopened for it, and its
    // first answer is followed by a read of everything.
    void connectAsked(quint8 address)
    {
        slave = address;
        wanted = true;
        readAllPending = true;
    }
    void giveUp() { wanted = false; }
    bool isWanted() const { return wanted; }
    // True once, for the first answer after a connect asked for.
    bool takeReadAllAfterConnect()
    {
        const bool pending = readAllPending;
        readAllPending = false;
        return pending;
    }

    // Between "Modbus create succeed" and the end of that link.
    void linkBegan()
    {
        up = true;
        answering = false;
    }
    void linkEnded()
    {
        up = false;
        answering = false;
    }
    bool isUp() const { return up; }
    void setAnswering(bool answers) { answering = answers; }
    bool isAnswering() const { return answering; }
    // A command now would reach nobody: the link is up, the instrument silent.
    bool instrumentSilent() const { return up && !answering; }

    // Whether the live values are shown greyed; true when that changed.
    bool setStale(bool stale)
    {
        if (stale == staleValues)
            return false;
        staleValues = stale;
        return true;
    }

    // Link settings a save has made effective, until the window shows them.
    void follow(const FollowedLinkSettings &settings)
    {
        followed = settings;
        following = true;
    }
    bool takeFollowed(FollowedLinkSettings *settings)
    {
        if (!following)
            return false;
        following = false;
        *settings = followed;
        return true;
    }

private:
    QString port;
    quint32 baud = 0;
    quint8 parity = 0;
    quint8 slave = 0;
    bool wanted = false;
    bool readAllPending = false;
    bool up = false;
    bool answering = false;
    bool staleValues = false;
    bool following = false;
    FollowedLinkSettings followed;
};
