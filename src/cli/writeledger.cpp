#include "cli/writeledger.h"

#include <QJsonArray>
#include <QStringList>

namespace cli {

namespace {

constexpr int FirstParameter = 42;
// The instrument's command register: the user and factory saves are written there.
constexpr int CommandRegister = 0x5001;

QString rangesText(const QVector<WriteLedger::Range> &ranges)
{
    QStringList parts;
    for (const WriteLedger::Range &r : ranges)
        parts << (r.first == r.last ? QString::number(r.first)
                                    : QStringLiteral("%1..%2").arg(r.first).arg(r.last));
    return QStringLiteral("registers ") + parts.join(QStringLiteral(", "));
}

QJsonArray rangesJson(const QVector<WriteLedger::Range> &ranges)
{
    QJsonArray a;
    for (const WriteLedger::Range &r : ranges)
        a.append(QJsonObject{{QStringLiteral("first"), r.first}, {QStringLiteral("last"), r.last}});
    return a;
}

} // namespace

void WriteLedger::sent(const QByteArray &frame)
{
    const auto events = decoder.written(frame, 0);
    for (const TrafficEvent &e : events)
        onEvent(e);
}

void WriteLedger::received(const QByteArray &bytes)
{
    const auto events = decoder.received(bytes, 0);
    for (const TrafficEvent &e : events)
        onEvent(e);
}

void WriteLedger::onEvent(const TrafficEvent &e)
{
    const bool writeSeveral = e.function == FrameDecoder::FuncWriteMultiple;
    const bool writeOne = e.function == FrameDecoder::FuncWriteSingle;
    const bool parameters = e.address >= FirstParameter && e.address < RegisterMirror::Size;
    if (!e.received) {
        exceptionCode = 0;
        inFlight = {-1, -1};
        if (writeSeveral && parameters && e.count > 0)
            inFlight = {e.address, qMin(e.address + e.count, int(RegisterMirror::Size)) - 1};
        else if (writeOne && parameters)
            inFlight = {e.address, e.address};
        saveInFlight = writeOne && e.address == CommandRegister;
        if (inFlight.first >= 0 || saveInFlight)
            lastRefused = false;
        return;
    }
    switch (e.status) {
    case TrafficEvent::Status::Ok:
        if (saveInFlight && writeOne && e.address == CommandRegister) {
            for (quint8 &state : states) {
                if (state == Written)
                    state = Saved;
            }
            saveInFlight = saveUnanswered = false;
        } else if ((writeSeveral || writeOne) && parameters) {
            // The echo names what was taken, even a late one for an earlier request.
            mark({e.address, writeOne ? e.address : e.address + e.count - 1}, Written);
            if (e.address == inFlight.first)
                inFlight = {-1, -1};
        }
        break;
    case TrafficEvent::Status::Exception:
        exceptionCode = e.exceptionCode;
        lastRefused = inFlight.first >= 0 || saveInFlight;
        inFlight = {-1, -1};
        saveInFlight = false;
        break;
    case TrafficEvent::Status::Timeout:
        if (inFlight.first >= 0)
            mark(inFlight, Unanswered);
        saveUnanswered = saveUnanswered || saveInFlight;
        inFlight = {-1, -1};
        saveInFlight = false;
        break;
    default:
        // A damaged or foreign reply is no answer; the request times out.
        break;
    }
}

void WriteLedger::mark(const Range &range, State state)
{
    for (int reg = qMax(range.first, 0); reg <= range.last && reg < states.size(); ++reg)
        states[reg] = state;
}

QVector<WriteLedger::Range> WriteLedger::ranges(bool (*wanted)(quint8 state)) const
{
    QVector<Range> out;
    for (int reg = 0; reg < states.size(); ++reg) {
        if (!wanted(states[reg]))
            continue;
        if (!out.isEmpty() && out.last().last == reg - 1)
            out.last().last = reg;
        else
            out.append({reg, reg});
    }
    return out;
}

QVector<WriteLedger::Range> WriteLedger::written() const
{
    return ranges([](quint8 s) { return s == Written || s == Saved; });
}

QVector<WriteLedger::Range> WriteLedger::saved() const
{
    return ranges([](quint8 s) { return s == Saved; });
}

QVector<WriteLedger::Range> WriteLedger::unanswered() const
{
    QVector<Range> out = ranges([](quint8 s) { return s == Unanswered; });
    // Still waiting: no answer so far.
    if (inFlight.first >= 0)
        out.append(inFlight);
    return out;
}

QString WriteLedger::summary() const
{
    QStringList parts;
    const QVector<Range> stored = saved();
    const QVector<Range> notSaved = ranges([](quint8 s) { return s == Written; });
    const QVector<Range> unsure = unanswered();
    if (!stored.isEmpty())
        parts << QStringLiteral("written and saved: ") + rangesText(stored);
    if (!notSaved.isEmpty())
        parts << QStringLiteral("written but not saved: ") + rangesText(notSaved);
    if (!unsure.isEmpty())
        parts << QStringLiteral("sent without an answer: ") + rangesText(unsure);
    if ((saveInFlight || saveUnanswered) && !notSaved.isEmpty())
        parts << QStringLiteral("the save got no answer, so whether they are stored is unknown");
    if (parts.isEmpty())
        return QStringLiteral("nothing was written");
    return parts.join(QStringLiteral("; "));
}

QJsonObject WriteLedger::json() const
{
    return {{QStringLiteral("written"), rangesJson(written())},
            {QStringLiteral("saved"), rangesJson(saved())},
            {QStringLiteral("unanswered"), rangesJson(unanswered())}};
}

} // namespace cli
