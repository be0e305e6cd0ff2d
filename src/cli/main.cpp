// kv3pd-cli: the KV-3PD from the command line, on the window's core.

#include "calibration/calibrationstore.h"
#include "cli/commands.h"
#include "cli/completion.h"
#include "cli/usersettings.h"
#include "model/codetables.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QRegularExpression>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Nothing to do when the pipe is full: a byte is already waiting.
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

QString helpText()
{
    return QStringLiteral(
               "Usage: kv3pd-cli [options] COMMAND [arguments]\n"
               "\n"
               "Configures a KV-3PD instrument over its serial line.\n"
               "\n"
               "Options:\n"
               "  -p, --port PORT        serial port: a name as 'ports' lists it, or a path\n"
               "  -b, --baud RATE        1200 2400 4800 9600 19200 38400 (default 9600)\n"
               "      --parity P         none, odd or even (default none)\n"
               "  -a, --address N        instrument address 1..255 (default 1)\n"
               "      --json             machine-readable output on stdout\n"
               "  -q, --quiet            no progress and no confirmations\n"
               "      --db FILE          the calibration records (default: KV3PD_DB, else\n"
               "                         ~/.local/share/kv3pd/calibrations.sqlite)\n"
               "  -h, --help             this text\n"
               "      --version          the version\n"
               "\n"
               "Commands:\n"
               "  ports                  the serial ports, one a line (and KV3PD_EXTRA_PORTS)\n"
               "  scan [--from N] [--to N]\n"
               "                         probe the addresses (default 1..255); prints address,\n"
               "                         firmware and meter number of each instrument found\n"
               "                         (exit 3 when none of them can be connected)\n"
               "  info                   board, meter number, type, range and firmware\n"
               "  read                   every field of registers 0..318 as 'name: value unit',\n"
               "                         under a [page] heading; the names and values are\n"
               "                         those set and diff use; --json: an object per block\n"
               "  set NAME=VALUE...      change user settings, then write and save them;\n"
               "                         a changed address, baud rate or parity is followed\n"
               "  live [--count N] [--interval MS] [--csv FILE]\n"
               "                         live values (until Ctrl-C without --count); the CSV\n"
               "                         columns are time,pressure,pressure_unit,temperature,\n"
               "                         temperature_unit,battery_v,battery_percent; times\n"
               "                         in UTC (2026-12-06T15:57:26.501Z), as --json's. With\n"
               "                         a count, as many polls whose values cannot be read\n"
               "                         end it (exit 3)\n"
               "  backup FILE            read registers 42..318 and write a backup file\n"
               "  restore FILE [--clone] [--with-link] [--no-verify]\n"
               "                         check the file, write it with a factory save, read\n"
               "                         everything back and compare. The file must belong to\n"
               "                         the instrument (meter number, registers 72..73).\n"
               "                         Always kept from the instrument: registers 42..44\n"
               "                         (address, baud rate, parity), unless --with-link,\n"
               "                         which writes the file's and follows them.\n"
               "                         --clone: the file may come from another meter; the\n"
               "                         instrument also keeps registers 72..75 (the meter\n"
               "                         parameters: number, type) and 76..192 (calibration\n"
               "                         of both channels).\n"
               "                         --json prints what was written, saved and verified.\n"
               "  diff FILE [--all]      the instrument against FILE, field by field\n"
               "  diff FILE_A FILE_B [--all]\n"
               "                         FILE_A against FILE_B (no port needed). One line per\n"
               "                         differing field: name, registers, value A, value B;\n"
               "                         --all adds the equal fields and a state column (same,\n"
               "                         approx: floats alike at 6 digits, different). --json:\n"
               "                         [{name, registers, a, b, state}]. Exit 0 equal, 4 not.\n"
               "  history [--meter NUMBER]\n"
               "                         the calibrations recorded (of one meter): certificate,\n"
               "                         meter, channel, start and finish (UTC), as found,\n"
               "                         adjusted, as left\n"
               "  certificate CERT -o FILE.pdf [--lang en] [--settings INI]\n"
               "                         the calibration certificate CERT (e.g. KV2026-000001)\n"
               "                         as a PDF, in Chinese or English; the issuing\n"
               "                         organisation comes from the [certificate] section\n"
               "                         (name=, address=) of the window's settings file\n"
               "                         (default ./KV-3PD_setting.ini)\n"
               "  certificate CERT --json\n"
               "                         the whole record (calibration, points, samples)\n"
               "  regs read START COUNT  COUNT (1..125) registers from START (0..65535, or hex\n"
               "                         as 0x5000), any the instrument has, with one request\n"
               "                         (function 0x33); one line each: register, value in\n"
               "                         decimal and hex. --json: [{register, value, hex}]\n"
               "\n"
               "Ctrl-C during the write and the save of set or restore lets them finish, then\n"
               "stops; a second Ctrl-C aborts at once. Either way stderr says which registers\n"
               "were written and which saved.\n"
               "\n"
               "Settings for set (NAME=VALUE, allowed values):\n") +
           cli::settingHelp() +
           QStringLiteral("\n"
                          "Exit codes:\n"
                          "  0 done\n"
                          "  1 bad usage or value\n"
                          "  2 the port cannot be opened (or was lost)\n"
                          "  3 no answer, not this instrument, or firmware too old;\n"
                          "    no calibration with that certificate number\n"
                          "  4 verification mismatch, or diff found a difference\n"
                          "  5 bad or damaged file, or calibration records that cannot be read\n"
                          "  6 the instrument refused a write or the save failed, or\n"
                          "    refused the read of regs\n"
                          "  7 the backup belongs to another meter\n"
                          "  8 an output file cannot be written\n"
                          "  130 interrupted (Ctrl-C)\n");
}

bool wholeNumber(const QString &text, int low, int high, int *value)
{
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    if (!ok || v < low || v > high)
        return false;
    *value = v;
    return true;
}

// Set while the offscreen application for a certificate starts: what Qt
// says then (a missing XDG_RUNTIME_DIR, say) is nothing the user can act on.
bool guiStarting = false;

// The worker's debug trace is for the window's developers; stderr here is
// the program's own one-line errors and progress.

void quietDebug(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    static const bool trace = qEnvironmentVariableIsSet("KV3PD_CLI_TRACE");
    if ((type == QtDebugMsg || type == QtInfoMsg || (type == QtWarningMsg && guiStarting)) &&
        !trace)
        return;
    std::fprintf(stderr, "kv3pd-cli: %s\n", message.toUtf8().constData());
}

} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(quietDebug);
    // Parsed before the application object exists: a certificate needs a
    // QApplication, every other command only a QCoreApplication.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    QCommandLineParser parser;
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
    const QCommandLineOption port(QStringList{QStringLiteral("p"), QStringLiteral("port")},
                                  QString(), QStringLiteral("PORT"));
    const QCommandLineOption baud(QStringList{QStringLiteral("b"), QStringLiteral("baud")},
                                  QString(), QStringLiteral("RATE"));
    const QCommandLineOption parity(QStringLiteral("parity"), QString(), QStringLiteral("P"));
    const QCommandLineOption address(QStringList{QStringLiteral("a"), QStringLiteral("address")},
                                     QString(), QStringLiteral("N"));
    const QCommandLineOption json(QStringList{QStringLiteral("json")});
    const QCommandLineOption quiet(QStringList{QStringLiteral("q"), QStringLiteral("quiet")});
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    const QCommandLineOption from(QStringLiteral("from"), QString(), QStringLiteral("N"));
    const QCommandLineOption to(QStringLiteral("to"), QString(), QStringLiteral("N"));
    const QCommandLineOption count(QStringLiteral("count"), QString(), QStringLiteral("N"));
    const QCommandLineOption interval(QStringLiteral("interval"), QString(), QStringLiteral("MS"));
    const QCommandLineOption csv(QStringLiteral("csv"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption clone(QStringLiteral("clone"));
    const QCommandLineOption withLink(QStringLiteral("with-link"));
    const QCommandLineOption noVerify(QStringLiteral("no-verify"));
    const QCommandLineOption all(QStringLiteral("all"));
    const QCommandLineOption db(QStringLiteral("db"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption meter(QStringLiteral("meter"), QString(), QStringLiteral("NUMBER"));
    const QCommandLineOption output(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                    QString(), QStringLiteral("FILE"));
    const QCommandLineOption lang(QStringLiteral("lang"), QString(), QStringLiteral("LANG"));
    const QCommandLineOption settings(QStringLiteral("settings"), QString(), QStringLiteral("INI"));
    const QList<QCommandLineOption> options = {
        port,     baud, parity, address,  json,     quiet, help, version, from,   to,   count,
        interval, csv,  clone,  withLink, noVerify, all,   db,   meter,   output, lang, settings};
    parser.addOptions(options);
    // For the bash completion: the words that fit the command line given.
    const QCommandLineOption completeWords(QStringLiteral("complete-words"), QString(),
                                           QStringLiteral("LINE"));
    parser.addOption(completeWords);

    using Handler = int (*)(const cli::Options &);
    const QList<QPair<QString, Handler>> commands = {
        {QStringLiteral("ports"), cli::listPorts},
        {QStringLiteral("scan"), cli::scan},
        {QStringLiteral("info"), cli::info},
        {QStringLiteral("read"), cli::readAll},
        {QStringLiteral("set"), cli::setSettings},
        {QStringLiteral("live"), cli::live},
        {QStringLiteral("backup"), cli::backupToFile},
        {QStringLiteral("restore"), cli::restoreFromFile},
        {QStringLiteral("diff"), cli::diff},
        {QStringLiteral("regs"), cli::regs},
        {QStringLiteral("history"), cli::history},
        {QStringLiteral("certificate"), cli::certificate}};

    if (!parser.parse(arguments)) {
        cli::printError(parser.errorText() + QStringLiteral(" (see --help)"));
        return cli::Usage;
    }
    if (parser.isSet(completeWords)) {
        QStringList names;
        for (const auto &c : commands)
            names << c.first;
        for (const QString &word : cli::completions(parser.value(completeWords), names, options))
            std::printf("%s\n", word.toUtf8().constData());
        return cli::Done;
    }
    if (parser.isSet(help)) {
        std::fputs(helpText().toUtf8().constData(), stdout);
        return cli::Done;
    }
    if (parser.isSet(version)) {
        std::printf("kv3pd-cli %s\n", KV3PD_VERSION);
        return cli::Done;
    }

    cli::Options o;
    QStringList positional = parser.positionalArguments();
    if (positional.isEmpty()) {
        cli::printError(QStringLiteral("no command given (see --help)"));
        return cli::Usage;
    }
    const QString command = positional.takeFirst();
    o.arguments = positional;
    o.json = parser.isSet(json);
    o.link.quiet = parser.isSet(quiet);
    o.link.port = parser.value(port);
    o.clone = parser.isSet(clone);
    o.withLink = parser.isSet(withLink);
    o.noVerify = parser.isSet(noVerify);
    o.all = parser.isSet(all);
    o.csvPath = parser.value(csv);
    o.dbPath = parser.isSet(db) ? parser.value(db) : CalibrationStore::defaultPath();
    o.outputPath = parser.value(output);
    o.settingsPath =
        parser.isSet(settings) ? parser.value(settings) : QStringLiteral("./KV-3PD_setting.ini");

    auto bad = [](const QString &what) {
        cli::printError(what);
        return int(cli::Usage);
    };
    if (parser.isSet(baud)) {
        bool known = false;
        for (quint32 rate : baudRates)
            known = known || parser.value(baud) == QString::number(rate);
        if (!known)
            return bad(QStringLiteral("bad baud rate '%1' (1200 2400 4800 9600 19200 38400)")
                           .arg(parser.value(baud)));
        o.link.baud = parser.value(baud).toUInt();
    }
    if (parser.isSet(parity)) {
        const QStringList names = {QStringLiteral("none"), QStringLiteral("odd"),
                                   QStringLiteral("even")};
        o.link.parity = int(names.indexOf(parser.value(parity).toLower()));
        if (o.link.parity < 0)
            return bad(
                QStringLiteral("bad parity '%1' (none, odd, even)").arg(parser.value(parity)));
    }
    if (parser.isSet(address) && !wholeNumber(parser.value(address), 1, 255, &o.link.address))
        return bad(QStringLiteral("bad address '%1' (1..255)").arg(parser.value(address)));
    if (parser.isSet(from) && !wholeNumber(parser.value(from), 1, 255, &o.from))
        return bad(QStringLiteral("bad --from '%1' (1..255)").arg(parser.value(from)));
    if (parser.isSet(to) && !wholeNumber(parser.value(to), 1, 255, &o.to))
        return bad(QStringLiteral("bad --to '%1' (1..255)").arg(parser.value(to)));
    if (o.from > o.to)
        return bad(QStringLiteral("--from %1 is above --to %2").arg(o.from).arg(o.to));
    if (parser.isSet(count) && !wholeNumber(parser.value(count), 1, INT_MAX, &o.count))
        return bad(QStringLiteral("bad --count '%1'").arg(parser.value(count)));
    if (parser.isSet(interval) && !wholeNumber(parser.value(interval), 100, INT_MAX, &o.intervalMs))
        return bad(QStringLiteral("bad --interval '%1' (100 ms or more: the poll's period)")
                       .arg(parser.value(interval)));
    if (parser.isSet(meter)) {
        // As the instrument shows it: ten digits, leading zeros included.
        static const QRegularExpression digits(QStringLiteral("^[0-9]{1,10}$"));
        if (!digits.match(parser.value(meter)).hasMatch())
            return bad(QStringLiteral("bad --meter '%1' (a meter number: up to ten digits)")
                           .arg(parser.value(meter)));
        o.meterNumber = parser.value(meter).rightJustified(10, QLatin1Char('0'));
    }
    if (parser.isSet(lang)) {
        o.language = parser.value(lang).toLower();
        if (o.language != QLatin1String("zh") && o.language != QLatin1String("en"))
            return bad(QStringLiteral("bad --lang '%1' (zh or en)").arg(parser.value(lang)));
    }

    Handler handler = nullptr;
    for (const auto &c : commands) {
        if (c.first == command)
            handler = c.second;
    }
    if (!handler)
        return bad(QStringLiteral("unknown command '%1' (see --help)").arg(command));
    const bool twoFiles = command == QLatin1String("diff") && o.arguments.size() == 2;
    const QStringList withArguments = {QStringLiteral("set"),     QStringLiteral("backup"),
                                       QStringLiteral("restore"), QStringLiteral("diff"),
                                       QStringLiteral("regs"),    QStringLiteral("certificate")};
    if (!withArguments.contains(command) && !o.arguments.isEmpty())
        return bad(QStringLiteral("unexpected argument '%1'").arg(o.arguments.first()));
    const bool records =
        command == QLatin1String("history") || command == QLatin1String("certificate");
    if (command != QLatin1String("ports") && !twoFiles && !records && o.link.port.isEmpty())
        return bad(QStringLiteral("no port given (-p PORT; 'kv3pd-cli ports' lists them)"));

    // The certificate's plot is a widget, drawn offscreen: no display is used.
    const bool pdf = command == QLatin1String("certificate") && !o.json;
    if (pdf)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    guiStarting = pdf;
    const std::unique_ptr<QCoreApplication> app(pdf ? new QApplication(argc, argv)
                                                    : new QCoreApplication(argc, argv));
    guiStarting = false;
    QCoreApplication::setApplicationName(QStringLiteral("kv3pd-cli"));

    // Ctrl-C ends the wait that runs; the session then closes in order.
    if (::pipe(signalPipe) == 0) {
        QSocketNotifier *notifier =
            new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, app.get());
        QObject::connect(notifier, &QSocketNotifier::activated, [] {
            char byte = 0;
            [[maybe_unused]] const ssize_t n = ::read(signalPipe[0], &byte, 1);
            if (cli::runningSession)
                cli::runningSession->interrupt();
        });
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
    }
    const int result = handler(o);
    QString reason;
    if (!cli::outputWritten(&reason)) {
        cli::printError(QStringLiteral("cannot write the standard output: ") + reason);
        return result == cli::Done ? int(cli::OutputFailed) : result;
    }
    return result;
}
