#pragma once

// Two images of registers 42..318 (an instrument's and a backup's, or two
// backups) compared field by field, and which blocks a write of chosen fields
// takes. The compare window and kv3pd-cli diff both use these, so they cannot
// disagree about what differs.

#include "model/fieldtable.h"
#include "model/registermirror.h"

#include <QString>
#include <QVector>
#include <QtGlobal>

namespace compare {

enum class State
{
    Same,
    Approx, // floats that read the same at the display's precision: equal
    Different,
};

struct Row
{
    const fields::Field *field;
    QString a;
    QString b;
    State state;
    bool equal() const { return state != State::Different; }
};

// One row per compared field, in the table's order (grouped by page). The
// images hold 277 registers, 42..318. Registers 0..41 are the poll's and
// never compared; the access password is not part of an image.
QVector<Row> compareImages(const quint16 *a42to318, const quint16 *b42to318,
                           fields::Style style = fields::Style::Window);
bool allEqual(const QVector<Row> &rows);

// Registers 72..73 of an image.
quint32 meterNumberOf(const quint16 *image42to318);
// Another meter's identity (72..75) and calibration (76..192) never reach an
// instrument from its file: those fields may be written only when the meter
// numbers agree.
constexpr int OtherMeterFirst = 72;
constexpr int OtherMeterLast = 192;
bool mayWrite(const fields::Field &field, bool sameMeter);

// A block the instrument takes with one of its write commands, which saves,
// and the read command that brings it back into the window's page.
struct WriteBlock
{
    RegisterBlock block;
    QString writeCommand;
    QString readCommand; // empty when no page shows the block on its own
};
// The smallest blocks that carry the chosen fields, each once, in register
// order. Everything else in a block goes back as the instrument holds it.
QVector<WriteBlock> blocksFor(const QVector<const fields::Field *> &chosen);

} // namespace compare
