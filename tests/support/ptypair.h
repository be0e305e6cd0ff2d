#pragma once

// A bare pseudo-terminal pair for tests that play the instrument by hand: the
// program under test opens slavePath() as its serial port, the test reads and
// writes the master side.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

class PtyPair
{
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isOpen() const { return masterFd >= 0; }
    QString slavePath() const { return name; }
    bool writeMaster(const QByteArray &bytes);
    // Waits up to timeoutMs for the first byte from the port's user, then
    // reads on until the line has been quiet for 20 ms.
    QByteArray readMaster(int timeoutMs);

private:
    int masterFd = -1;
    int slaveFd = -1; // held open so the master never sees a hang-up
    QString name;
};
