#pragma once

// One instrument session of kv3pd-cli: the serial link, the worker thread and
// the waits for its replies. Main-level code calls one method at a time; each
// runs an event loop until the reply it waits for arrives, the port is lost,
// Ctrl-C is pressed or the time runs out. Exit codes come back as values.

#include "cli/writeledger.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>

class SerialLink;
class modbusThread;
class QEventLoop;

namespace cli {

enum Exit : int
{
    Done = 0,
    Usage = 1,
    PortFailed = 2,
    NoAnswer = 3,
    Mismatch = 4,
    BadFile = 5,
    Refused = 6,
    OtherMeter = 7,
    OutputFailed = 8,
    Interrupted = 130
};

struct LinkOptions
{
    QString port;
    quint32 baud = 9600;
    int parity = 0; // 0 none, 1 odd, 2 even
    int address = 1;
    bool quiet = false;
};

class Session : public QObject
{
    Q_OBJECT

public:
    explicit Session(const LinkOptions &options, QObject *parent = nullptr);
    // Stops the worker after its current transaction, then closes the port.
    ~Session() override;

    modbusThread *worker() const { return thread; }
    int address() const { return linkAddress; }
    // Why the last step failed, one line for stderr.
    QString error() const { return lastError; }

    int open();
    int connectTo(int address);
    int search(int first, int last, QList<int> *found);
    // Errors and interrupts from now on also say what was written and saved.
    void expectWrites() { writesExpected = true; }
    const WriteLedger &writes() const { return ledger; }
    // A read or write command; writes also wait for the save that follows. A
    // first Ctrl-C lets a write and its save finish (then Interrupted), a
    // second one stops the worker at once.
    int command(const QString &cmd, bool write);
    // Waits for n live readings; each is passed to onSample right after its
    // "read measured succeed". onSample returns Done to go on, or the code
    // that ends the wait. n polls whose measured values failed end it too.
    int live(int count, int intervalMs, const std::function<int()> &onSample);
    void disconnectLink();

    // Called from the signal handler's notifier.
    void interrupt();

private:
    // A write or its save failed: refused or unanswered, and how far it got.
    int writeFailed(const QString &what);
    // The ledger's summary, and where the instrument answers after a save that
    // moved the link.
    QString writeReport() const;
    // The line, followed by the report once this session writes.
    QString withWrites(const QString &line) const;
    void onReply(const QString &message);
    void followLink(const QString &argument);
    void showProgress(int percent);
    void endProgress();
    // Runs the loop until classify() gives a result for a reply (-1: keep
    // waiting); returns it, or the exit code of what ended the wait. A
    // negative timeout waits without limit.
    int waitFor(const std::function<int(const QString &)> &classify, int timeoutMs);

    LinkOptions options;
    SerialLink *link;
    modbusThread *thread;
    QEventLoop *loop = nullptr;
    std::function<int(const QString &)> classifier;
    int waitResult = -1;
    // Set once Ctrl-C or a lost port ended the session: no wait starts after.
    int ended = -1;
    int linkAddress = 1;
    WriteLedger ledger;
    QString runningCommand;
    QString movedLink;
    bool writesExpected = false;
    bool writing = false;
    bool finishing = false;
    bool progressShown = false;
    bool progressWanted = false;
    QString progressLabel;
    QString lastError;
};

// "9600 baud, no parity"; parity 0 none, 1 odd, 2 even.
QString lineText(qint32 baud, int parity);

// One line on stderr, after whatever stdout holds.
void printError(const QString &line);

} // namespace cli
