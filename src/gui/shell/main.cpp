#include "shell/language.h"
#include "shell/mainwindow.h"
#include "shell/windowfont.h"

#include <QApplication>
#include <QByteArray>
#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QIcon>

#include <cstdio>

namespace {

// The options of both passes below, so that they accept the same command line.
void addOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(
        QStringLiteral("Sets up and calibrates the KV-3PD pressure and temperature instrument\n"
                       "over its serial line (Modbus RTU). Extra serial ports, such as the\n"
                       "virtual instrument of kv3pd-sim, are taken from KV3PD_EXTRA_PORTS\n"
                       "(paths separated by ':')."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({QStringLiteral("lang"),
                      QStringLiteral("Interface language: zh (Chinese, the default) or en "
                                     "(English). Without it, KV3PD_LANG is used; the system "
                                     "locale never changes the language."),
                      QStringLiteral("language")});
    parser.addOption({QStringLiteral("port"),
                      QStringLiteral("Choose this serial port (a name or a path) at start."),
                      QStringLiteral("port")});
    parser.addOption({QStringLiteral("address"),
                      QStringLiteral("Put this instrument address (1 to 255) into the address "
                                     "box at start, so that connecting needs no search."),
                      QStringLiteral("address")});
    parser.addOption({QStringLiteral("factory"),
                      QStringLiteral("The factory variant: the meter parameters, multi-point "
                                     "calibration, read/write all and register configuration "
                                     "pages, and the calibration wizard. KV3PD_FACTORY=1 does "
                                     "the same.")});
}

// --help and --version only print: they must work without a display, e.g.
// over ssh or in a package check, where QApplication would abort.
bool onlyPrints(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument == "--")
            return false;
        if (argument == "-h" || argument == "--help" || argument == "-?" || argument == "-v" ||
            argument == "--version")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication::setApplicationName(QStringLiteral("kv3pd"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KV3PD_VERSION));

    if (onlyPrints(argc, argv)) {
        QCoreApplication app(argc, argv);
        QCommandLineParser parser;
        addOptions(parser);
        // Qt's own options (-platform ...) are unknown here; they do not matter
        // for what is printed.
        parser.parse(app.arguments());
        if (parser.isSet(QStringLiteral("version")))
            parser.showVersion();
        parser.showHelp();
    }

    QApplication a(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral(KV3PD_APP_ID));
    QCommandLineParser parser;
    addOptions(parser);
    parser.process(a);

    // Before the window, whose texts are translated as it is built.
    if (!language::installRequested(parser.value(QStringLiteral("lang"))))
        return 2;

    int address = 0;
    if (parser.isSet(QStringLiteral("address"))) {
        bool isNumber = false;
        address = parser.value(QStringLiteral("address")).toInt(&isNumber);
        if (!isNumber || address < 1 || address > 255) {
            std::fprintf(stderr, "kv3pd: --address takes 1 to 255, not '%s'\n",
                         qPrintable(parser.value(QStringLiteral("address"))));
            return 2;
        }
    }

    windowfont::install();
    MainWindow w(parser.isSet(QStringLiteral("factory")) ? MainWindow::Variant::Factory
                                                         : MainWindow::variantFromEnvironment());
    w.preselect(parser.value(QStringLiteral("port")), address);
    // After the window: it registers the resources the icon comes from.
    a.setWindowIcon(QIcon(QStringLiteral(":/icon/system_software_update.ico")));
    w.show();
    return a.exec();
}
