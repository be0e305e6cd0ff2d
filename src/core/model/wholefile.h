#pragma once

// Writes a file whole or not at all: the bytes go to a temporary file beside
// it, which replaces the old file only once everything is written, so a full
// disk or a crash half way keeps the old file. A path that exists but is no
// regular file (a device such as /dev/full, a pipe) cannot be replaced: it is
// written in place, and a failure is reported all the same.

#include <QString>

#include <functional>

class QFileDevice;
class QIODevice;

// write puts the contents into the device it is given; false when it could not.
// False, with the reason in *error, when the file does not hold them afterwards.
bool writeWholeFile(const QString &path, const std::function<bool(QIODevice &)> &write,
                    QString *error = nullptr);

// Writes out everything buffered; false, with the file's errorString set, when
// it cannot. A write cut short (a disk filling up) fails QFileDevice::flush()
// without a reason, and QSaveFile::commit() does not notice it at all.
bool flushFully(QFileDevice &file);
