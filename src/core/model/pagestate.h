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
#include <optional>

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
    Empty,      // nothing to write: never read, a failed read
    Instrument, // read from (or written to) the meter named by its meter number
    Backup,     // loaded from a backup file of the meter it names, not written yet
};

// Why a page's data may not be written to the connected meter.
enum class WriteRefusal
{
    None,
    NothingRead,  // the page holds nothing to write: read it first
    NotConnected, // no meter is connected, or which meter answers is not known yet
    OtherMeter,   // the data belongs to another meter
};

// Whose data each page holds: the meter it was read from, a loaded backup
// (with the file's meter number) or nothing. A write checks it against the
// meter connected now, known by its meter number (registers 72..73).
class PageStates
{
public:
    using Meter = std::optional<quint32>;

    PageSource source(Page page) const { return pages[index(page)].source; }
    // The meter number the page's data belongs to; nothing for an empty page.
    Meter meter(Page page) const;

    void read(Page page, quint32 meter) { pages[index(page)] = {PageSource::Instrument, meter}; }
    void readAll(quint32 meter);
    void clear(Page page) { pages[index(page)] = {}; }
    void clearAll();
    void loaded(quint32 fileMeter);
    // The meter now carries another number (a write of the meter parameters):
    // what was its data stays its data.
    void renumbered(quint32 from, quint32 to);

    WriteRefusal refusal(Page page, Meter connected) const;
    bool writable(Page page, Meter connected) const
    {
        return refusal(page, connected) == WriteRefusal::None;
    }
    // Write all: with another meter's backup the connected meter keeps its
    // own identity and calibration, so only the other pages must be writable.
    WriteRefusal writeAllRefusal(Meter connected) const;
    bool holdsBackup() const;
    // A backup of a meter other than the connected one, on any page.
    bool holdsForeignBackup(Meter connected) const;
    // The meter number of the loaded backup, when a page still holds it.
    Meter backupMeter() const;
    // Any page holds data at all.
    bool holdsData() const;
    // The pages with the meter's own identity and calibration (registers
    // 72..192), which another meter's data never reaches.
    static bool isMeterOwn(Page page);

private:
    struct State
    {
        PageSource source = PageSource::Empty;
        quint32 meter = 0;
    };
    static int index(Page page) { return static_cast<int>(page); }
    std::array<State, PageCount> pages{};
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
