#include "model/timestamp.h"

QString rfc3339Utc(const QDateTime &time)
{
    // The ISO form is the same in every locale, and ends in "Z" for UTC.
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QString();
}
