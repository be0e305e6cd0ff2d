#pragma once

// The status texts and warnings the window has shown, with their times, so a
// result read a moment too late (the status line clears itself) is not lost.

#include <QDateTime>
#include <QString>

#include <deque>

class MessageLog
{
public:
    static constexpr int Capacity = 200;

    enum class Kind
    {
        Status,
        Warning,
    };
    struct Entry
    {
        QDateTime time;
        Kind kind;
        QString text;
    };

    // The oldest entry goes once Capacity are kept; an empty text is not kept.
    void add(Kind kind, const QString &text, const QDateTime &time = QDateTime::currentDateTime());
    int size() const { return int(entries.size()); }
    // Oldest first.
    const Entry &at(int index) const { return entries[std::size_t(index)]; }

private:
    std::deque<Entry> entries;
};
