// kv3pd-sim: virtual KV-3PD instruments on a pseudo-terminal, so the
// configuration tool can be tried and tested without hardware.

#include "ptyrunner.h"
#include "virtualbus.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};
constexpr int BaudCodeRegister = 43; // the baud code among the user settings

extern "C" void onSignal(int)
{
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

void printError(const QString &message)
{
    std::fprintf(stderr, "kv3pd-sim: %s\n", qPrintable(message));
}

QString defaultLinkPath()
{
    const QByteArray runtimeDir = qgetenv("XDG_RUNTIME_DIR");
    if (!runtimeDir.isEmpty())
        return QString::fromLocal8Bit(runtimeDir) + QStringLiteral("/kv3pd-sim");
    QString user = QString::fromLocal8Bit(qgetenv("USER"));
    if (user.isEmpty())
        user = QString::number(::getuid());
    return QStringLiteral("/tmp/kv3pd-sim-") + user;
}

// The symlink that gives the pty a stable name. A lock file next to it tells a
// link left behind by a dead instance from one that is still being served.
class StableLink
{
public:
    ~StableLink() { release(); }

    bool create(const QString &linkPath, const QString &target, QString *error)
    {
        path = linkPath;
        const QByteArray lockName = QFile::encodeName(path + QStringLiteral(".lock"));
        lockFd = ::open(lockName.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lockFd < 0) {
            *error = QStringLiteral("cannot create %1.lock: %2")
                         .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        if (::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
            *error = QStringLiteral("another kv3pd-sim serves %1; choose another --link").arg(path);
            ::close(lockFd);
            lockFd = -1;
            return false;
        }
        const QByteArray name = QFile::encodeName(path);
        struct stat info;
        if (::lstat(name.constData(), &info) == 0) {
            if (!S_ISLNK(info.st_mode)) {
                *error =
                    QStringLiteral("%1 exists and is not a symlink; not replacing it").arg(path);
                return false;
            }
            ::unlink(name.constData()); // stale: nobody holds the lock
        }
        if (::symlink(QFile::encodeName(target).constData(), name.constData()) != 0) {
            *error = QStringLiteral("cannot create the symlink %1: %2")
                         .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
            return false;
        }
        linked = true;
        return true;
    }

    void release()
    {
        if (linked)
            ::unlink(QFile::encodeName(path).constData());
        linked = false;
        if (lockFd >= 0) {
            ::unlink(QFile::encodeName(path + QStringLiteral(".lock")).constData());
            ::close(lockFd);
        }
        lockFd = -1;
    }

private:
    QString path;
    int lockFd = -1;
    bool linked = false;
};

// Stored images, keyed by the address an instrument was started with. Entries
// for instruments not running now are kept as they were; twins, added after
// the instruments of the address list, start afresh and are not stored.
class StateFile
{
public:
    explicit StateFile(const QString &path) : path(path) {}

    bool load(VirtualBus &bus, const QList<quint8> &startAddresses, QString *error)
    {
        QFile file(path);
        if (!file.exists())
            return true;
        if (!file.open(QIODevice::ReadOnly)) {
            *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
            return false;
        }
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
        if (!document.isObject()) {
            *error = QStringLiteral("%1 is not a state file (%2); not touching it")
                         .arg(path, parseError.errorString());
            return false;
        }
        stored = document.object().value(QStringLiteral("instruments")).toArray();
        int index = 0;
        bool ok = true;
        bus.forEach([&](VirtualInstrument &instrument) {
            if (index >= startAddresses.size())
                return;
            const QJsonObject entry = find(startAddresses.at(index++));
            if (entry.isEmpty())
                return;
            if (!instrument.setImages(toImage(entry.value(QStringLiteral("user"))),
                                      toImage(entry.value(QStringLiteral("factory")))))
                ok = false;
        });
        if (!ok)
            *error = QStringLiteral("%1 holds damaged images; not touching it").arg(path);
        return ok;
    }

    // Stores the images if any save happened since the last store.
    void storeIfChanged(VirtualBus &bus, const QList<quint8> &startAddresses)
    {
        if (revisions(bus) != storedRevisions)
            store(bus, startAddresses);
    }

    void store(VirtualBus &bus, const QList<quint8> &startAddresses)
    {
        storedRevisions = revisions(bus);
        int index = 0;
        bus.forEach([&](VirtualInstrument &instrument) {
            if (index >= startAddresses.size())
                return;
            const int address = startAddresses.at(index++);
            QJsonObject entry;
            entry.insert(QStringLiteral("address"), address);
            entry.insert(QStringLiteral("user"), toJson(instrument.userImage()));
            entry.insert(QStringLiteral("factory"), toJson(instrument.factoryImage()));
            for (int i = 0; i < stored.size(); ++i) {
                if (stored.at(i).toObject().value(QStringLiteral("address")).toInt() == address) {
                    stored.replace(i, entry);
                    return;
                }
            }
            stored.append(entry);
        });
        QJsonObject root;
        root.insert(QStringLiteral("instruments"), stored);
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(root).toJson()) < 0 ||
            !file.commit())
            printError(QStringLiteral("cannot store %1: %2").arg(path, file.errorString()));
    }

private:
    static int revisions(VirtualBus &bus)
    {
        int sum = 0;
        bus.forEach([&](VirtualInstrument &instrument) { sum += instrument.imageRevision(); });
        return sum;
    }

    QJsonObject find(int address) const
    {
        for (const QJsonValue &value : stored) {
            const QJsonObject entry = value.toObject();
            if (entry.value(QStringLiteral("address")).toInt() == address)
                return entry;
        }
        return {};
    }

    static QVector<quint16> toImage(const QJsonValue &value)
    {
        QVector<quint16> image;
        for (const QJsonValue &word : value.toArray()) {
            const int number = word.toInt(-1);
            if (number < 0 || number > 0xFFFF)
                return {};
            image.append(quint16(number));
        }
        return image;
    }

    static QJsonArray toJson(const QVector<quint16> &image)
    {
        QJsonArray array;
        for (quint16 word : image)
            array.append(int(word));
        return array;
    }

    QString path;
    QJsonArray stored;
    int storedRevisions = 0;
};

QString unitName(int code)
{
    static const char *const names[] = {"Pa",  "KPa",     "MPa", "mmH2O", "mH2O", "bar", "psi",
                                        "atm", "kgf/cm2", "mm",  "m",     "℃",    "℉"};
    return code >= 0 && code <= 12 ? QString::fromUtf8(names[code])
                                   : QStringLiteral("(unit code %1)").arg(code);
}

// Lines on standard input set what the sensors of every instrument sense, as
// a pressure standard on a manifold or a bath would: "p 0.8" and "t 25" in
// the unit of each instrument's range, "p off" and "t off" back to the drift.
class Console
{
public:
    static constexpr int RangeUnitRegister[] = {80, 134};
    static constexpr int ReadingRegister[] = {2, 4};
    static constexpr int ReadingUnitRegister[] = {46, 48};

    explicit Console(VirtualBus &bus) : bus(bus), notifier(STDIN_FILENO, QSocketNotifier::Read)
    {
        QObject::connect(&notifier, &QSocketNotifier::activated, [this] { readInput(); });
        retry.setSingleShot(true);
        retry.setInterval(1000);
        QObject::connect(&retry, &QTimer::timeout, [this] { notifier.setEnabled(true); });
    }

    static void printHelp()
    {
        std::printf(
            "Console: p VALUE or t VALUE applies a pressure or a temperature in the unit of "
            "the instrument's range; p off, t off: back to the drift; ?: this and the "
            "readings.\n");
        std::fflush(stdout);
    }

private:
    void readInput()
    {
        char bytes[512];
        const ssize_t n = ::read(STDIN_FILENO, bytes, sizeof bytes);
        if (n == 0) { // end of input: the instruments go on without a console
            notifier.setEnabled(false);
            return;
        }
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                return;
            // EIO: started in the background of a terminal; look again later.
            notifier.setEnabled(false);
            retry.start();
            return;
        }
        pending.append(bytes, int(n));
        for (int end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            run(QString::fromLocal8Bit(pending.left(end)).simplified());
            pending.remove(0, end + 1);
        }
        if (pending.size() > 4096)
            pending.clear();
    }

    void run(const QString &line)
    {
        const QStringList words = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty())
            return;
        if (words.size() == 1 &&
            (words[0] == QLatin1String("?") || words[0] == QLatin1String("help"))) {
            printHelp();
            bus.forEach([](VirtualInstrument &i) { printStatus(i); });
            return;
        }
        const bool pressure = words[0] == QLatin1String("p");
        bool ok = words.size() == 2 && (pressure || words[0] == QLatin1String("t"));
        const double value = ok ? words[1].toDouble(&ok) : 0.0;
        const bool off = words.size() == 2 && words[1] == QLatin1String("off");
        if (!ok && !off) {
            printError(
                QStringLiteral("not understood: %1 (p VALUE, t VALUE, p off, t off, ?)").arg(line));
            return;
        }
        const auto channel = pressure ? SensorModel::Pressure : SensorModel::Temperature;
        bus.forEach([&](VirtualInstrument &i) {
            const QString unit = unitName(i.reg(RangeUnitRegister[channel]));
            if (off)
                i.sensor.release(channel);
            else if (!(pressure ? i.applyPressure(value) : i.applyTemperature(value)))
                printError(QStringLiteral("address %1: %2 has no conversion; nothing applied")
                               .arg(i.address())
                               .arg(unit));
            else
                std::printf("address %d: %s %s applied\n", i.address(),
                            qPrintable(QString::number(value)), qPrintable(unit));
        });
        std::fflush(stdout);
    }

    static void printStatus(VirtualInstrument &i)
    {
        QStringList parts;
        for (auto channel : {SensorModel::Pressure, SensorModel::Temperature}) {
            const QString name = channel == SensorModel::Pressure ? QStringLiteral("pressure")
                                                                  : QStringLiteral("temperature");
            parts << QStringLiteral("%1 %2, reads %3 %4")
                         .arg(name, i.sensor.isApplied(channel) ? QStringLiteral("applied")
                                                                : QStringLiteral("drifting"))
                         .arg(double(i.float32(ReadingRegister[channel])))
                         .arg(unitName(i.reg(ReadingUnitRegister[channel])));
        }
        std::printf("address %d: %s\n", i.address(), qPrintable(parts.join(QStringLiteral("; "))));
    }

    VirtualBus &bus;
    QSocketNotifier notifier;
    QTimer retry;
    QByteArray pending;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("kv3pd-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KV3PD_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Virtual KV-3PD instruments on a pseudo-terminal. Open the printed path in the\n"
        "configuration tool as its serial port (KV3PD_EXTRA_PORTS lists it there).\n"
        "Stop with Ctrl+C.\n"
        "\n"
        "Lines on standard input set what the sensors sense: p VALUE applies a pressure,\n"
        "t VALUE a temperature, in the unit of the instrument's range (as delivered MPa\n"
        "and degrees Celsius); p off and t off return to the slow drift the readings\n"
        "follow otherwise; ? prints the readings."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("addresses"),
        QStringLiteral("Slave addresses (1..255) of the instruments on the line; default 1."),
        QStringLiteral("[address...]"));
    const QCommandLineOption linkOption(
        QStringLiteral("link"),
        QStringLiteral("Stable path to the port: a symlink to the pty, replaced when a dead "
                       "instance left it behind (default %1).")
            .arg(defaultLinkPath()),
        QStringLiteral("path"), defaultLinkPath());
    const QCommandLineOption pacedOption(
        QStringLiteral("paced"),
        QStringLiteral("Keep a real line's time at the baud rate set on the port: a reply starts "
                       "once its request would have arrived and goes out at the line rate, 10 "
                       "bits a character, 11 when the instrument uses odd or even parity."));
    const QCommandLineOption stateOption(
        QStringLiteral("state"),
        QStringLiteral("Keep the saved user and factory settings in this file: loaded at "
                       "start, stored after every save and at exit."),
        QStringLiteral("file"));
    const QCommandLineOption firmwareOption(
        QStringLiteral("firmware"),
        QStringLiteral("Firmware version in register 1 (default 12; 9 or less is refused by the "
                       "tool)."),
        QStringLiteral("n"));
    const QCommandLineOption silentOption(
        QStringLiteral("silent"),
        QStringLiteral("The instruments never answer, like a pulled cable."));
    const QCommandLineOption baudOption(
        QStringLiteral("baud"),
        QStringLiteral("Baud rate the instruments start at, as if saved: 1200, 2400, 4800, "
                       "9600 (default), 19200 or 38400."),
        QStringLiteral("rate"));
    const QCommandLineOption busyOption(
        QStringLiteral("busy-after-save"),
        QStringLiteral("After acknowledging a save or a factory restore, answer nothing for this "
                       "long, as the board does while it stores to flash (default 0)."),
        QStringLiteral("ms"));
    const QCommandLineOption lapseOption(
        QStringLiteral("password-lapse"),
        QStringLiteral("The access password lapses after this long without a request to the "
                       "instrument (default: never)."),
        QStringLiteral("ms"));
    const QCommandLineOption twinOption(
        QStringLiteral("twin"),
        QStringLiteral("A second instrument at this address (one of the addresses): both answer "
                       "every request at once and their replies collide on the line. May be "
                       "given more than once."),
        QStringLiteral("address"));
    const QCommandLineOption settleOption(
        QStringLiteral("settle-ms"),
        QStringLiteral("The readings follow a change of what is applied as a first-order lag "
                       "that has covered 99 % of the step after this long (default 1500)."),
        QStringLiteral("ms"));
    const QCommandLineOption noiseOption(
        QStringLiteral("noise"),
        QStringLiteral("Noise of the sensors as a fraction of their span (1.6 MPa, 100 degrees "
                       "Celsius): each reading lies within plus or minus this of the settled "
                       "value (default 0.0002)."),
        QStringLiteral("fraction"));
    parser.addOptions({linkOption, pacedOption, stateOption, firmwareOption, silentOption,
                       busyOption, lapseOption, twinOption, baudOption, settleOption, noiseOption});
    parser.process(app);

    QList<quint8> addresses;
    for (const QString &argument : parser.positionalArguments()) {
        bool ok = false;
        const uint address = argument.toUInt(&ok);
        if (!ok || address < 1 || address > 255) {
            printError(QStringLiteral("%1 is not a slave address (1..255)").arg(argument));
            return 2;
        }
        if (addresses.contains(quint8(address))) {
            printError(QStringLiteral("address %1 given twice").arg(address));
            return 2;
        }
        addresses.append(quint8(address));
    }
    if (addresses.isEmpty())
        addresses.append(1);

    int firmware = -1;
    if (parser.isSet(firmwareOption)) {
        bool ok = false;
        firmware = parser.value(firmwareOption).toInt(&ok);
        if (!ok || firmware < 0 || firmware > 0xFFFF) {
            printError(QStringLiteral("--firmware wants a number from 0 to 65535"));
            return 2;
        }
    }

    QList<quint8> twins;
    for (const QString &argument : parser.values(twinOption)) {
        bool ok = false;
        const uint address = argument.toUInt(&ok);
        if (!ok || !addresses.contains(quint8(address))) {
            printError(QStringLiteral("--twin %1 is not one of the addresses").arg(argument));
            return 2;
        }
        twins.append(quint8(address));
    }

    VirtualInstrument::Timing timing;
    const auto milliseconds = [&](const QCommandLineOption &option, int *value) {
        if (!parser.isSet(option))
            return true;
        bool ok = false;
        *value = parser.value(option).toInt(&ok);
        if (ok && *value >= 0)
            return true;
        printError(
            QStringLiteral("--%1 wants a number of milliseconds").arg(option.names().constFirst()));
        return false;
    };
    SensorModel::Settings sensor;
    if (!milliseconds(busyOption, &timing.busyAfterSaveMs) ||
        !milliseconds(lapseOption, &timing.passwordLapseMs) ||
        !milliseconds(settleOption, &sensor.settleMs))
        return 2;
    if (parser.isSet(noiseOption)) {
        bool ok = false;
        sensor.noise = parser.value(noiseOption).toDouble(&ok);
        if (!ok || !(sensor.noise >= 0.0 && sensor.noise < 1.0)) {
            printError(QStringLiteral("--noise wants a fraction from 0 to below 1"));
            return 2;
        }
    }

    int baudCode = -1;
    if (parser.isSet(baudOption)) {
        const int rate = parser.value(baudOption).toInt();
        for (int code = 0; VirtualInstrument::baudRateForCode(code) != 0; ++code) {
            if (rate > 0 && VirtualInstrument::baudRateForCode(code) == rate)
                baudCode = code;
        }
        if (baudCode < 0) {
            printError(QStringLiteral("--baud wants 1200, 2400, 4800, 9600, 19200 or 38400"));
            return 2;
        }
    }

    VirtualBus bus;
    for (quint8 address : addresses)
        bus.add(address);

    QString error;
    StateFile state(parser.value(stateOption));
    const bool keepState = parser.isSet(stateOption);
    if (keepState && !state.load(bus, addresses, &error)) {
        printError(error);
        return 1;
    }
    for (quint8 address : twins)
        bus.addTwin(address);
    bus.forEach([&](VirtualInstrument &instrument) {
        if (firmware >= 0)
            instrument.setReg(1, quint16(firmware));
        instrument.faults.silent = parser.isSet(silentOption);
        instrument.timing = timing;
        instrument.sensor.settings = sensor;
        if (baudCode >= 0) {
            QVector<quint16> user = instrument.userImage();
            user[BaudCodeRegister - VirtualInstrument::FirstParam] = quint16(baudCode);
            instrument.setImages(user, instrument.factoryImage());
        }
    });

    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        printError(QStringLiteral("cannot create the signal pipe"));
        return 1;
    }
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;
    ::sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);

    PtyRunner runner(&bus);
    runner.setPaced(parser.isSet(pacedOption));
    if (!runner.open(&error)) {
        printError(error);
        return 1;
    }
    StableLink link;
    const QString linkPath = parser.value(linkOption);
    if (!link.create(linkPath, runner.slavePath(), &error)) {
        printError(error);
        return 1;
    }

    QTimer stateTimer;
    if (keepState) {
        QObject::connect(&stateTimer, &QTimer::timeout, &app,
                         [&] { state.storeIfChanged(bus, addresses); });
        stateTimer.start(100);
    }

    QStringList addressTexts;
    for (quint8 address : addresses)
        addressTexts.append(QString::number(address));
    for (quint8 address : twins)
        addressTexts.append(QStringLiteral("%1 (twin)").arg(address));
    std::printf("KV-3PD virtual instrument on %s (pty %s), addresses %s\n", qPrintable(linkPath),
                qPrintable(runner.slavePath()),
                qPrintable(addressTexts.join(QStringLiteral(", "))));
    std::fflush(stdout);

    // Read in the background of a terminal, standard input gives EIO rather
    // than stopping the whole process.
    ::signal(SIGTTIN, SIG_IGN);
    std::unique_ptr<Console> console;
    if (::fcntl(STDIN_FILENO, F_GETFD) != -1) {
        console = std::make_unique<Console>(bus);
        if (::isatty(STDIN_FILENO))
            Console::printHelp();
    }

    const int status = app.exec();
    if (keepState)
        state.store(bus, addresses);
    runner.close();
    link.release();
    return status;
}
