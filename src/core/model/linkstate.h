#pragma once

// What the window knows of its link to the instrument: the line it opened,
// the address it connected to, how far the worker's link has come, and the
// link settings a save made effective. No widgets: the window shows it.

#include "worker/messages.h"

#include <QString>
#include <QtGlobal>

#include <optional>

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
        // A connection the user chose: whichever meter answers is the one meant.
        lastMeter.reset();
        identified = false;
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
        setAnswering(false);
    }
    void linkEnded()
    {
        up = false;
        setAnswering(false);
    }
    bool isUp() const { return up; }
    // Whatever answers after a silence may be another meter.
    void setAnswering(bool answers)
    {
        if (!answers) {
            identified = false;
            identityAsked = false;
        }
        answering = answers;
    }
    bool isAnswering() const { return answering; }
    // A command now would reach nobody: the link is up, the instrument silent.
    bool instrumentSilent() const { return up && !answering; }

    // The meter answering now, by its meter number: known once it has told it
    // since the link began or last fell silent. Nothing while it is not known.
    std::optional<quint32> meter() const
    {
        if (up && answering && identified)
            return lastMeter;
        return std::nullopt;
    }
    bool isIdentified() const { return identified; }
    // A meter told its number since the user last chose a connection.
    bool knowsMeter() const { return lastMeter.has_value(); }
    // The meter has told its number. Returns the number the meter known
    // before had, when it was another one: a different meter answers now.
    std::optional<quint32> identify(quint32 number)
    {
        const std::optional<quint32> before = lastMeter;
        lastMeter = number;
        identified = true;
        if (before && *before != number)
            return before;
        return std::nullopt;
    }
    // The connected meter now carries another number (this window wrote it).
    void renumbered(quint32 number)
    {
        if (identified)
            lastMeter = number;
    }
    // The window asked the meter for its number; its answer is not news to the user.
    void identityRequested() { identityAsked = true; }
    bool takeIdentityRequest()
    {
        const bool asked = identityAsked;
        identityAsked = false;
        return asked;
    }

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
    bool identified = false;
    bool identityAsked = false;
    std::optional<quint32> lastMeter;
    bool following = false;
    FollowedLinkSettings followed;
};
