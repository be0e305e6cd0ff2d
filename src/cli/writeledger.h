#pragma once

// What the instrument acknowledged of the parameter writes and saves of a
// session, and how it refused the last request, read off the line itself. The worker's replies say
// only that a command failed, not how far its chunks got, whether the instrument refused or fell
// silent, nor whether a save it was waiting on had been acknowledged.

#include "model/registermirror.h"
#include "traffic/framedecoder.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QVector>

namespace cli {

class WriteLedger
{
public:
    struct Range
    {
        int first;
        int last;
    };

    // Every frame written to the line, and every chunk read from it.
    void sent(const QByteArray &frame);
    void received(const QByteArray &bytes);

    // Acknowledged writes, saved or not.
    QVector<Range> written() const;
    // Acknowledged writes that an acknowledged save followed.
    QVector<Range> saved() const;
    // Writes that got no answer: the instrument may or may not hold them.
    QVector<Range> unanswered() const;
    // The last write or save was answered with an exception.
    bool refused() const { return lastRefused; }
    // The exception code the last request was answered with; 0 for none.
    int lastException() const { return exceptionCode; }

    // One clause for an error line, e.g. "written and saved: registers 42..71",
    // "written but not saved: registers 42..141; sent without an answer:
    // registers 142..241", or "nothing was written".
    QString summary() const;
    // {"written": [...], "saved": [...], "unanswered": [...]}, each a list of
    // {"first": N, "last": N}.
    QJsonObject json() const;

private:
    enum State : quint8
    {
        Untouched,
        Unanswered,
        Written,
        Saved
    };
    void onEvent(const TrafficEvent &e);
    void mark(const Range &range, State state);
    QVector<Range> ranges(bool (*wanted)(quint8 state)) const;

    FrameDecoder decoder;
    QVector<quint8> states = QVector<quint8>(RegisterMirror::Size, Untouched);
    Range inFlight{-1, -1};
    bool saveInFlight = false;
    bool saveUnanswered = false;
    bool lastRefused = false;
    int exceptionCode = 0;
};

} // namespace cli
