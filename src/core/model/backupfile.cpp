#include "model/backupfile.h"

#include "modbus/kzmodbus.h"
#include "model/wholefile.h"

#include <QFile>

namespace {

quint16 imageCrc(const char *bytes)
{
    return kzModbus::crc16(reinterpret_cast<const quint8 *>(bytes), backup::ImageBytes);
}

} // namespace

QByteArray backupImage(const quint16 *regs42to318)
{
    QByteArray image(backup::FileBytes, '\0');
    for (int i = 0; i < backup::RegisterCount; ++i) {
        image[2 * i] = char(regs42to318[i] & 0xFF);
        image[2 * i + 1] = char(regs42to318[i] >> 8);
    }
    const quint16 crc = imageCrc(image.constData());
    image[backup::ImageBytes] = char(crc >> 8);
    image[backup::ImageBytes + 1] = char(crc & 0xFF);
    return image;
}

bool parseBackup(const QByteArray &fileBytes, quint16 *regs42to318)
{
    QByteArray bytes = fileBytes.left(backup::FileBytes);
    bytes.append(QByteArray(backup::FileBytes - bytes.size(), '\0'));
    const auto byteAt = [&bytes](int i) { return quint16(quint8(bytes[i])); };

    const quint16 stored =
        quint16(byteAt(backup::ImageBytes) << 8) | byteAt(backup::ImageBytes + 1);
    if (imageCrc(bytes.constData()) != stored)
        return false;
    for (int i = 0; i < backup::RegisterCount; ++i)
        regs42to318[i] = quint16(byteAt(2 * i) | (byteAt(2 * i + 1) << 8));
    return true;
}

bool writeBackupFile(const QString &path, const QByteArray &image, QString *error)
{
    return writeWholeFile(
        path, [&image](QIODevice &file) { return file.write(image) == image.size(); }, error);
}

BackupRead readBackupFile(const QString &path, quint16 *regs42to318, QString *reason)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (reason)
            *reason = file.errorString();
        return BackupRead::CannotOpen;
    }
    return parseBackup(file.read(backup::FileBytes), regs42to318) ? BackupRead::Ok
                                                                  : BackupRead::Damaged;
}
