#include "model/pagestate.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

PageStates::Meter PageStates::meter(Page page) const
{
    const State &state = pages[index(page)];
    if (state.source == PageSource::Empty)
        return std::nullopt;
    return state.meter;
}

void PageStates::readAll(quint32 meter)
{
    pages.fill({PageSource::Instrument, meter});
}

void PageStates::clearAll()
{
    pages.fill({});
}

void PageStates::loaded(quint32 fileMeter)
{
    pages.fill({PageSource::Backup, fileMeter});
}

void PageStates::renumbered(quint32 from, quint32 to)
{
    for (State &state : pages) {
        if (state.source != PageSource::Empty && state.meter == from)
            state.meter = to;
    }
}

bool PageStates::isMeterOwn(Page page)
{
    return page != Page::UserSettings && page != Page::RegisterConfiguration;
}

WriteRefusal PageStates::refusal(Page page, Meter connected) const
{
    const State &state = pages[index(page)];
    if (!connected)
        return WriteRefusal::NotConnected;
    if (state.source == PageSource::Empty)
        return WriteRefusal::NothingRead;
    if (state.meter == *connected)
        return WriteRefusal::None;
    // Another meter's settings may be copied over, never its identity or
    // calibration; data read from another meter is not written at all.
    if (state.source == PageSource::Backup && !isMeterOwn(page))
        return WriteRefusal::None;
    return WriteRefusal::OtherMeter;
}

WriteRefusal PageStates::writeAllRefusal(Meter connected) const
{
    const bool foreign = holdsForeignBackup(connected);
    for (int i = 0; i < PageCount; ++i) {
        const Page page = Page(i);
        if (foreign && isMeterOwn(page))
            continue;
        const WriteRefusal why = refusal(page, connected);
        if (why != WriteRefusal::None)
            return why;
    }
    return WriteRefusal::None;
}

bool PageStates::holdsBackup() const
{
    return std::any_of(pages.begin(), pages.end(),
                       [](const State &s) { return s.source == PageSource::Backup; });
}

bool PageStates::holdsForeignBackup(Meter connected) const
{
    return connected && std::any_of(pages.begin(), pages.end(), [&](const State &s) {
               return s.source == PageSource::Backup && s.meter != *connected;
           });
}

PageStates::Meter PageStates::backupMeter() const
{
    for (const State &state : pages) {
        if (state.source == PageSource::Backup)
            return state.meter;
    }
    return std::nullopt;
}

bool PageStates::holdsData() const
{
    return std::any_of(pages.begin(), pages.end(),
                       [](const State &s) { return s.source != PageSource::Empty; });
}

void ShownValues::remember(const void *field, const QString &text, const quint16 *words, int count)
{
    Entry &entry = entries[field];
    entry.text = text;
    entry.words = QVector<quint16>(words, words + count);
}

bool ShownValues::recall(const void *field, const QString &text, quint16 *words, int count) const
{
    const auto it = entries.constFind(field);
    if (it == entries.constEnd() || it->text != text || it->words.size() != count)
        return false;
    std::copy(it->words.cbegin(), it->words.cend(), words);
    return true;
}

void ShownValues::rememberFloat(const void *field, const QString &text, float value)
{
    quint16 words[2];
    std::memcpy(words, &value, sizeof value);
    remember(field, text, words, 2);
}

bool ShownValues::recallFloat(const void *field, const QString &text, float *value) const
{
    quint16 words[2];
    if (!recall(field, text, words, 2))
        return false;
    std::memcpy(value, words, sizeof *value);
    return true;
}

namespace field {

bool parseFiniteFloat(const QString &text, float *value)
{
    bool ok = false;
    // Through double: toFloat() turns an overflow into 0 rather than refusing it.
    const double parsed = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(parsed) ||
        std::fabs(parsed) > double(std::numeric_limits<float>::max()))
        return false;
    *value = float(parsed);
    return std::isfinite(*value);
}

QString formatFloatFitting(float value, int maxChars)
{
    QString text;
    for (int digits = 6; digits >= 1; --digits) {
        text = QString::number(double(value), 'g', digits);
        // Rounded up past the largest float ("-3.403e+38"), the text could not
        // be typed back into the field.
        const bool readsBack =
            !std::isfinite(value) ||
            std::fabs(text.toDouble()) <= double(std::numeric_limits<float>::max());
        if ((maxChars <= 0 || text.size() <= maxChars) && readsBack)
            break;
    }
    return text;
}

} // namespace field
