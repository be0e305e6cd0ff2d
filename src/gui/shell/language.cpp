#include "shell/language.h"

#include <QCoreApplication>
#include <QPointer>
#include <QRegularExpression>
#include <QTranslator>

#include <cstdio>

// Outside any namespace: the macro declares the resource's initialiser, which
// lives in the kv3pd_translations library.
static void initTranslationResources()
{
    Q_INIT_RESOURCE(translations);
}

namespace language {

namespace {

// Owned by the application object, so a test that builds another one starts
// without it.
QPointer<QTranslator> installed;

} // namespace

QString normalised(const QString &name)
{
    // A locale name counts by its language: "en_GB.UTF-8" is English.
    static const QRegularExpression separator(QStringLiteral("[-_.@]"));
    const QString code = name.section(separator, 0, 0).toLower();
    if (code == QLatin1String("zh") || code == QLatin1String("en"))
        return code;
    return QString();
}

bool install(const QString &language)
{
    if (language == QLatin1String("zh")) {
        if (installed) {
            QCoreApplication::removeTranslator(installed);
            delete installed;
        }
        return true;
    }
    if (language != QLatin1String("en") || !QCoreApplication::instance())
        return false;
    if (installed)
        return true;
    initTranslationResources();
    auto *translator = new QTranslator(QCoreApplication::instance());
    if (!translator->load(QStringLiteral(":/translations/kv3pd_en.qm")) ||
        !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    installed = translator;
    return true;
}

QString current()
{
    return installed ? QStringLiteral("en") : QStringLiteral("zh");
}

bool installRequested(const QString &option)
{
    const QString asked = option.isEmpty() ? qEnvironmentVariable("KV3PD_LANG") : option;
    if (asked.isEmpty())
        return true;
    const QString code = normalised(asked);
    if (code.isEmpty() && !option.isEmpty()) {
        std::fprintf(stderr, "kv3pd: unknown language '%s' (choose zh or en)\n",
                     qPrintable(option));
        return false;
    }
    if (code.isEmpty() || !install(code))
        std::fprintf(stderr, "kv3pd: no '%s' interface, staying in Chinese\n", qPrintable(asked));
    return true;
}

} // namespace language
