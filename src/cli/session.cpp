#include "cli/session.h"

#include "link/seriallink.h"
#include "modbus/kzmodbus.h"
#include "model/codetables.h"
#include "worker/messages.h"
#include "worker/modbusthread.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace cli {

namespace {

constexpr int Pending = -1;
constexpr int ConnectTimeoutMs = 15000;
constexpr int DisconnectTimeoutMs = 3000;
// Write all at 1200 baud with the save's wait reads takes well under this.
constexpr int TransferTimeoutMs = 120000;

int bitsPerCharacter(int parity)
{
    return (parity == 1 || parity == 2) ? 11 : 10;
}

} // namespace

QString lineText(qint32 baud, int parity)
{
    const char *const parities[] = {"no", "odd", "even"};
    return QStringLiteral("%1 baud, %2 parity")
        .arg(baud)
        .arg(QLatin1String(parities[parity >= 0 && parity <= 2 ? parity : 0]));
}

Session::Session(const LinkOptions &options, QObject *parent)
    : QObject(parent), options(options), link(new SerialLink), thread(new modbusThread),
      linkAddress(options.address)
{
    progressWanted = !options.quiet && isatty(STDERR_FILENO);
    link->attach(thread->modbusMaster());
    connect(thread, &modbusThread::sendMessageToMainThread, this, &Session::onReply);
    connect(link, &SerialLink::traffic, this,
            [this](SerialLink::Direction direction, const QByteArray &bytes) {
                if (direction == SerialLink::Direction::Written)
                    ledger.sent(bytes);
                else
                    ledger.received(bytes);
            });
    connect(link, &SerialLink::portLost, this, [this](const QString &reason) {
        lastError =
            withWrites(QStringLiteral("the port %1 was lost: %2").arg(this->options.port, reason));
        ended = PortFailed;
        if (loop) {
            waitResult = PortFailed;
            loop->quit();
        }
    });
    thread->start();
}

Session::~Session()
{
    // The worker may still be sending frames: it stops before the port closes.
    thread->stop();
    delete thread;
    link->close();
    delete link;
    endProgress();
}

int Session::open()
{
    if (!link->open(options.port, qint32(options.baud), options.parity)) {
        QString reason = link->errorString();
        if (link->portInUse())
            reason = QStringLiteral("the port is in use by another program");
        else if (link->permissionDenied())
            // Serial ports belong to the group dialout on Debian.
            reason = QStringLiteral("permission denied; add the user to the group dialout "
                                    "(sudo adduser $USER dialout) and log in again");
        lastError = QStringLiteral("cannot open the port %1: %2").arg(options.port, reason);
        return PortFailed;
    }
    thread->modbusMaster()->setLineTiming(qint32(options.baud), bitsPerCharacter(options.parity));
    return Done;
}

int Session::connectTo(int address)
{
    linkAddress = address;
    thread->receiveMessageFromMainThread(Cmd::connectFmt.arg(address));
    return waitFor(
        [this, address](const QString &m) {
            if (m == Reply::connectSucceed)
                return int(Done);
            if (m == Reply::connectFailed) {
                // Silence and another device's feature code end the same way.
                lastError = QStringLiteral("no KV-3PD answers at address %1 on %2 (%3); check "
                                           "the address, baud rate and parity, or run "
                                           "`kv3pd-cli scan`")
                                .arg(address)
                                .arg(options.port, lineText(link->baudRate(), link->parityIndex()));
                return int(NoAnswer);
            }
            if (m == Reply::versionError) {
                auto mirror = thread->lockMirror();
                lastError = QStringLiteral("address %1 is not a KV-3PD or its firmware is too "
                                           "old (feature code 0x%2, firmware %3)")
                                .arg(address)
                                .arg(mirror->at(Reg::featureCode), 4, 16, QLatin1Char('0'))
                                .arg(mirror->at(Reg::firmwareVersion));
                return int(NoAnswer);
            }
            return Pending;
        },
        ConnectTimeoutMs);
}

int Session::search(int first, int last, QList<int> *found)
{
    progressLabel = QStringLiteral("scan");
    thread->receiveMessageFromMainThread(Cmd::searchRangeFmt.arg(first).arg(last));
    const int result = waitFor(
        [found](const QString &m) {
            const SplitMessage s = splitMessage(m);
            if (s.key == Reply::foundDevice && s.argument != m)
                found->append(s.argument.toInt());
            else if (m == Reply::searchFinish)
                return int(Done);
            return Pending;
        },
        (last - first + 1) * 2000 + 5000);
    endProgress();
    return result;
}

int Session::command(const QString &cmd, bool write)
{
    progressLabel = cmd;
    runningCommand = cmd;
    writing = write;
    // A command with an argument ("read regs:42,3") answers by its key.
    const QString key = splitMessage(cmd).key;
    thread->receiveMessageFromMainThread(cmd);
    const int result = waitFor(
        [this, cmd, key, write](const QString &m) {
            if (m == Reply::succeed(key))
                return write ? Pending : int(Done);
            if (m == Reply::failed(key)) {
                if (write)
                    return writeFailed(cmd);
                lastError = QStringLiteral("the instrument did not answer (%1)").arg(cmd);
                return int(NoAnswer);
            }
            if (m == Reply::facSaveSucceed || m == Reply::userSaveSucceed)
                return int(Done);
            if (m == Reply::facSaveFailed || m == Reply::userSaveFailed)
                return writeFailed(QStringLiteral("the save after ") + cmd);
            if (m == Reply::commandsNotRun || m == Reply::commandsCancelled) {
                lastError =
                    QStringLiteral("the instrument does not answer; %1 was not run").arg(cmd);
                return int(NoAnswer);
            }
            return Pending;
        },
        TransferTimeoutMs);
    writing = false;
    endProgress();
    if (result == Done && finishing) {
        lastError = QStringLiteral("interrupted after %1: %2").arg(cmd, writeReport());
        ended = Interrupted;
        return Interrupted;
    }
    return result;
}

int Session::writeFailed(const QString &what)
{
    if (ledger.refused()) {
        lastError = QStringLiteral("the instrument refused %1; %2").arg(what, writeReport());
        return Refused;
    }
    lastError = QStringLiteral("no answer from the instrument to %1; %2").arg(what, writeReport());
    return NoAnswer;
}

QString Session::writeReport() const
{
    return movedLink.isEmpty() ? ledger.summary()
                               : ledger.summary() + QStringLiteral("; ") + movedLink;
}

QString Session::withWrites(const QString &line) const
{
    return writesExpected ? line + QStringLiteral("; ") + writeReport() : line;
}

int Session::live(int count, int intervalMs, const std::function<int()> &onSample)
{
    int taken = 0;
    int failed = 0;
    bool failing = false;
    QElapsedTimer sinceLast;
    // A little slack: the poll's own period jitters around 100 ms.
    const auto due = [&] {
        if (sinceLast.isValid() && sinceLast.elapsed() < intervalMs - 20)
            return false;
        sinceLast.start();
        return true;
    };
    return waitFor(
        [&](const QString &m) {
            if (m == Reply::connectFailed) {
                lastError = QStringLiteral("the instrument stopped answering");
                return int(NoAnswer);
            }
            if (m == Reply::readMeasuredFailed && due()) {
                ++failed;
                if (count > 0 && failed >= count) {
                    lastError = QStringLiteral("the instrument answers, but its measured values "
                                               "could not be read (%1 polls failed)")
                                    .arg(failed);
                    return int(NoAnswer);
                }
                // Without a count nothing else would tell why no rows come.
                if (!failing && count == 0)
                    printError(QStringLiteral("the measured values cannot be read; still trying"));
                failing = true;
                return Pending;
            }
            if (m != Reply::readMeasuredSucceed || !due())
                return Pending;
            failing = false;
            const int result = onSample();
            if (result != Done)
                return result;
            return (count > 0 && ++taken >= count) ? int(Done) : Pending;
        },
        -1);
}

void Session::disconnectLink()
{
    thread->receiveMessageFromMainThread(Cmd::disconnect);
    waitFor([](const QString &m) { return m == Reply::disconnectSucceed ? int(Done) : Pending; },
            DisconnectTimeoutMs);
}

void Session::interrupt()
{
    if (writing && !finishing) {
        finishing = true;
        endProgress();
        printError(QStringLiteral("interrupted: finishing %1 and its save (Ctrl-C again aborts)")
                       .arg(runningCommand));
        return;
    }
    if (writing) {
        // Nothing more goes out; the frame on the line is left unanswered.
        thread->stop();
        lastError = QStringLiteral("aborted during %1: %2").arg(runningCommand, writeReport());
    } else {
        lastError = withWrites(QStringLiteral("interrupted"));
    }
    ended = Interrupted;
    if (loop) {
        waitResult = Interrupted;
        loop->quit();
    }
}

void Session::onReply(const QString &message)
{
    qDebug().noquote() << "reply:" << message;
    const SplitMessage s = splitMessage(message);
    if (s.key == Reply::followLink && s.argument != message)
        followLink(s.argument);
    else if (s.key == Reply::setProgressBar && s.argument != message)
        showProgress(s.argument.toInt());
    if (!loop || !classifier)
        return;
    const int result = classifier(message);
    if (result != Pending && waitResult == Pending) {
        waitResult = result;
        loop->quit();
    }
}

void Session::followLink(const QString &argument)
{
    FollowedLinkSettings settings;
    if (!parseFollowLink(argument, &settings))
        return;
    const uint address = settings.address, baudCode = settings.baudCode,
               parityCode = settings.parityCode;
    // At once: the save's wait reads already go out at the new settings.
    const quint32 baud = baudRateForCode(baudCode);
    const bool moved = linkAddress != int(address) || link->baudRate() != qint32(baud) ||
                       link->parityIndex() != int(parityCode);
    link->setBaudRate(qint32(baud));
    link->setParity(int(parityCode));
    thread->modbusMaster()->setLineTiming(qint32(baud), bitsPerCharacter(int(parityCode)));
    linkAddress = int(address);
    if (!moved)
        return;
    movedLink = QStringLiteral("the instrument now answers at address %1, %2")
                    .arg(address)
                    .arg(lineText(qint32(baud), int(parityCode)));
}

void Session::showProgress(int percent)
{
    if (!progressWanted || progressLabel.isEmpty())
        return;
    std::fprintf(stderr, "\r%s %3d%%", qPrintable(progressLabel), percent);
    std::fflush(stderr);
    progressShown = true;
}

void Session::endProgress()
{
    if (progressShown)
        std::fputs("\n", stderr);
    progressShown = false;
    progressLabel.clear();
}

int Session::waitFor(const std::function<int(const QString &)> &classify, int timeoutMs)
{
    if (ended != Pending)
        return ended;
    QEventLoop waitLoop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &waitLoop, [&] {
        if (waitResult == Pending) {
            lastError = withWrites(QStringLiteral("no reply from the instrument in time"));
            waitResult = NoAnswer;
        }
        waitLoop.quit();
    });
    if (timeoutMs >= 0)
        timer.start(timeoutMs);
    classifier = classify;
    waitResult = Pending;
    loop = &waitLoop;
    waitLoop.exec();
    loop = nullptr;
    classifier = nullptr;
    return waitResult;
}

} // namespace cli
