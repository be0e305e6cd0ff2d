#pragma once

// What the window's pages hold: for each register block whether its page shows
// data of the connected instrument, a loaded backup not yet written, or
// nothing that may be written; and, for every field, the text it was shown with
// and the exact registers behind that text. No widgets: fields are keys.

#include <QHash>
#include <QString>
#include <QVector>
#include <QtGlobal>

#include <array>

enum class Page
{
    UserSettings,
    MeterParam,
    PressureCalibration,
    TemperatureCalibration,
    PressureSecondary,
    TemperatureSecondary,
    RegisterConfiguration,
};
constexpr int PageCount = 7;

enum class PageSource
{
    Empty,      // nothing to write: never read, a failed read, another link's data
    Instrument, // read from (or written to) the connected instrument
    Backup,     // loaded from a backup file and not written yet
};

class PageStates
{
public:
    PageSource source(Page page) const { return sources[index(page)]; }
    void fill(Page page, PageSource source) { sources[index(page)] = source; }
    void fillAll(PageSource source) { sources.fill(source); }
    // A page that was written now holds what the instrument holds.
    void written(Page page);
    void writtenAll();
    bool writable(Page page) const { return source(page) != PageSource::Empty; }
    bool allWritable() const;
    bool holdsBackup() const;
    // The link ended or changed: what was read belongs to the previous one; a
    // loaded backup stays until it is written or replaced.
    void linkEnded();

private:
    static int index(Page page) { return static_cast<int>(page); }
    std::array<PageSource, PageCount> sources{};
};

// The text each field was last shown with and the registers it came from. A
// field whose text still reads the same is collected as those registers, so a
// write of untouched fields sends back exactly what was read, whatever the
// display format rounded away.
class ShownValues
{
public:
    void remember(const void *field, const QString &text, const quint16 *words, int count);
    // True, with the words, when the field still shows the remembered text.
    bool recall(const void *field, const QString &text, quint16 *words, int count) const;
    void forget(const void *field) { entries.remove(field); }

    void rememberFloat(const void *field, const QString &text, float value);
    bool recallFloat(const void *field, const QString &text, float *value) const;

private:
    struct Entry
    {
        QString text;
        QVector<quint16> words;
    };
    QHash<const void *, Entry> entries;
};

namespace field {
// A float field's text as typed: a finite number that a float holds, the
// whole text (surrounding blanks aside) and nothing else.
bool parseFiniteFloat(const QString &text, float *value);
// 'g' with 6 significant digits, or fewer when the text must fit maxChars
// (0: no limit). The magnitude is never cut off, and the text of a finite value
// reads back as a float.
QString formatFloatFitting(float value, int maxChars);
} // namespace field
