#include "cli/completion.h"

#include "cli/commands.h"
#include "cli/usersettings.h"
#include "model/codetables.h"

#include <QRegularExpression>

namespace cli {

namespace {

const QCommandLineOption *optionNamed(const QString &word, const QList<QCommandLineOption> &options)
{
    if (!word.startsWith(QLatin1Char('-')))
        return nullptr;
    // "--baud=9600" names its option too.
    const QString name = word.section(QLatin1Char('='), 0, 0).remove(QRegularExpression("^--?"));
    for (const QCommandLineOption &o : options) {
        if (o.names().contains(name))
            return &o;
    }
    return nullptr;
}

QStringList optionValues(const QCommandLineOption &o)
{
    const QStringList names = o.names();
    if (names.contains(QStringLiteral("port")))
        return portNames();
    if (names.contains(QStringLiteral("baud")))
        return settingValues(QStringLiteral("baud"));
    if (names.contains(QStringLiteral("parity")))
        return settingValues(QStringLiteral("parity"));
    if (names.contains(QStringLiteral("lang")))
        return {QStringLiteral("zh"), QStringLiteral("en")};
    return {};
}

// Every word that may stand where current is, after words (the program's
// name taken off).
QStringList candidates(QStringList words, const QString &current, const QStringList &commands,
                       const QList<QCommandLineOption> &options)
{

    if (!words.isEmpty()) {
        const QCommandLineOption *previous = optionNamed(words.last(), options);
        if (previous && !previous->valueName().isEmpty() && !words.last().contains('='))
            return optionValues(*previous);
    }
    if (current.startsWith(QLatin1Char('-'))) {
        QStringList names;
        for (const QCommandLineOption &o : options) {
            for (const QString &name : o.names())
                names << (name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name;
        }
        return names;
    }

    QString command;
    QStringList arguments;
    for (int i = 0; i < words.size(); ++i) {
        if (const QCommandLineOption *o = optionNamed(words[i], options)) {
            if (!o->valueName().isEmpty() && !words[i].contains(QLatin1Char('=')))
                ++i; // its value
        } else if (command.isEmpty()) {
            command = words[i];
        } else {
            arguments << words[i];
        }
    }
    if (command.isEmpty())
        return commands;
    if (command == QLatin1String("set")) {
        const int eq = current.indexOf(QLatin1Char('='));
        QStringList out;
        if (eq < 0) {
            for (const QString &name : settingNames())
                out << name + QLatin1Char('=');
        } else {
            const QString name = current.left(eq);
            for (const QString &value : settingValues(name))
                out << name + QLatin1Char('=') + value;
        }
        return out;
    }
    if (command == QLatin1String("regs") && arguments.isEmpty())
        return {QStringLiteral("read")};
    return {};
}

} // namespace

QStringList completions(const QString &line, const QStringList &commands,
                        const QList<QCommandLineOption> &options)
{
    QStringList words = line.split(QRegularExpression(QStringLiteral("\\s+")));
    const QString current = words.takeLast();
    if (!words.isEmpty())
        words.removeFirst(); // the program
    QStringList out;
    for (const QString &word : candidates(words, current, commands, options)) {
        if (word.startsWith(current))
            out << word;
    }
    return out;
}

} // namespace cli
