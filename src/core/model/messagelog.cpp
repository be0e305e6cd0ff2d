#include "model/messagelog.h"

void MessageLog::add(Kind kind, const QString &text, const QDateTime &time)
{
    if (text.isEmpty())
        return;
    if (entries.size() >= std::size_t(Capacity))
        entries.pop_front();
    entries.push_back({time, kind, text});
}
