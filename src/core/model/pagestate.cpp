#include "model/pagestate.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

void PageStates::written(Page page)
{
    fill(page, PageSource::Instrument);
}

void PageStates::writtenAll()
{
    fillAll(PageSource::Instrument);
}

bool PageStates::allWritable() const
{
    return std::all_of(sources.begin(), sources.end(),
                       [](PageSource s) { return s != PageSource::Empty; });
}

bool PageStates::holdsBackup() const
{
    return std::any_of(sources.begin(), sources.end(),
                       [](PageSource s) { return s == PageSource::Backup; });
}

void PageStates::linkEnded()
{
    for (PageSource &s : sources) {
        if (s == PageSource::Instrument)
            s = PageSource::Empty;
    }
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
