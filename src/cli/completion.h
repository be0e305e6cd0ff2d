#pragma once

// Bash completion, answered by the program itself so that the words offered
// are always this version's: the commands, options, setting names and values.

#include <QCommandLineOption>
#include <QList>
#include <QString>
#include <QStringList>

namespace cli {

// The words that may end `line`, the command line up to the cursor (e.g.
// "kv3pd-cli -p /dev/ttyUSB0 set pressure_u"), each whole: "pressure_unit=".
// Empty where a file name or a number goes; the shell then offers files.
QStringList completions(const QString &line, const QStringList &commands,
                        const QList<QCommandLineOption> &options);

} // namespace cli
