#include "model/wholefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {

bool fail(const QFileDevice &file, QString *error)
{
    if (error)
        *error = file.errorString();
    return false;
}

} // namespace

bool flushFully(QFileDevice &file)
{
    qint64 left = file.bytesToWrite();
    // Tried again while it moves on: the attempt that moves nothing sets the reason.
    while (!file.flush()) {
        const qint64 now = file.bytesToWrite();
        if (now == 0 || now >= left)
            return false;
        left = now;
    }
    return true;
}

bool writeWholeFile(const QString &path, const std::function<bool(QIODevice &)> &write,
                    QString *error)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile() && !info.isDir()) {
        // Renaming a temporary file over a device would replace the device.
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return fail(file, error);
        if (!write(file) || !flushFully(file))
            return fail(file, error);
        file.close();
        return file.error() == QFileDevice::NoError || fail(file, error);
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file, error);
    if (!write(file) || !flushFully(file)) {
        // Read before cancelling, which puts its own text in its place.
        const QString reason = file.errorString();
        file.cancelWriting();
        if (error)
            *error = reason;
        return false;
    }
    return file.commit() || fail(file, error);
}
