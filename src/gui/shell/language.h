#pragma once

// The interface language. Chinese is the language the program is written in
// and the default; the English translation is used only when asked for (the
// --lang option or KV3PD_LANG), never because of the system locale.

#include <QString>

namespace language {

// "zh" or "en" for a name such as "en", "EN" or "en_GB.UTF-8"; empty for a
// language the program has no texts in.
QString normalised(const QString &name);
// Puts the program's texts into the language ("zh" or "en") for every widget
// created from now on; "zh" removes a translation installed before. False,
// and nothing changed, for any other language or a translation that cannot
// be loaded.
bool install(const QString &language);
// "en" while the English translation is installed, else "zh".
QString current();
// Installs the language of the --lang value, else of KV3PD_LANG, else
// Chinese. An unknown --lang value is an error (false, reported on stderr);
// an unknown KV3PD_LANG only a warning, and the texts stay Chinese.
bool installRequested(const QString &option);

} // namespace language
