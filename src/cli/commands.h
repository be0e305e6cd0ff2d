#pragma once

// The commands of kv3pd-cli. Each returns the program's exit code; errors go
// to stderr as one line, results to stdout.

#include "cli/session.h"
#include "model/registermirror.h"

#include <QJsonValue>
#include <QString>
#include <QStringList>

class QTextStream;

namespace cli {

struct Options
{
    LinkOptions link;
    bool json = false;
    int from = 1;
    int to = 255;
    int count = 0;
    int intervalMs = 100;
    QString csvPath;
    bool clone = false;
    bool withLink = false;
    bool noVerify = false;
    bool all = false;      // diff: the equal fields too
    QStringList arguments; // after the command name
    // The calibration records and the certificate.
    QString dbPath;
    QString meterNumber; // ten digits; empty: every meter
    QString outputPath;
    QString language = QStringLiteral("zh");
    QString settingsPath; // the window's settings file, for the issuing organisation
};

// What --clone takes from the target instead of the file: the meter's
// identity (number and type, 72..75) and the calibration of both channels
// (ranges, gains, captured points, coefficients, secondary calibrations and
// zero offsets, 76..192).
constexpr int CloneKeepsFirst = Blocks::meterParamBlock.first;
constexpr int CloneKeepsLast = Blocks::tempParamBlock.first + Blocks::tempParamBlock.count - 1;

// Ctrl-C goes to the session that is running, if any.
extern Session *runningSession;

// The serial ports as ports lists them: the system's, then KV3PD_EXTRA_PORTS.
QStringList portNames();

int listPorts(const Options &o);
int scan(const Options &o);
int info(const Options &o);
int readAll(const Options &o);
int setSettings(const Options &o);
int live(const Options &o);
int backupToFile(const Options &o);
int restoreFromFile(const Options &o);
int history(const Options &o);
int certificate(const Options &o);
// FILE against the instrument, or FILE_A against FILE_B, field by field.
int diff(const Options &o);
// "regs read START COUNT": raw registers by number, any of them.
int regs(const Options &o);

// Standard output in UTF-8, and a JSON document on it.
QTextStream &out();
void printJson(const QJsonValue &value);
// Flushes stdout; false (and *reason) when what the commands printed did not
// all get written.
bool outputWritten(QString *reason);

} // namespace cli
