#pragma once

// The one time format of every machine-readable output (the CSV files, the
// command line's JSON): RFC 3339 in UTC with milliseconds,
// "2026-12-06T15:57:26.501Z". UTC, so files from machines in other zones, or
// rows either side of a clock change, sort and compare as they are.

#include <QDateTime>
#include <QString>

// Empty for an invalid time.
QString rfc3339Utc(const QDateTime &time);
