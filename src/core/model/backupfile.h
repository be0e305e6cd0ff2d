#pragma once

// The backup file: registers 42..318 of the mirror, each low byte first,
// followed by the CRC-16/MODBUS of those 554 bytes stored high byte first
// (the reverse of a Modbus frame). No header and no version field.

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace backup {
constexpr int FirstRegister = 42;
constexpr int RegisterCount = 277;
constexpr int ImageBytes = 2 * RegisterCount;
constexpr int FileBytes = ImageBytes + 2;
} // namespace backup

// The whole file, 556 bytes, from the 277 registers 42..318.
QByteArray backupImage(const quint16 *regs42to318);

// Reads a file's contents into the 277 registers. A short file is taken as
// zero-filled and bytes past the CRC are ignored. False, with the registers
// untouched, when the CRC does not match.
bool parseBackup(const QByteArray &fileBytes, quint16 *regs42to318);

// Replaces the file with the image, whole or not at all: a write that fails
// (a full disk) keeps the old file. False, with the reason in *error, when the
// file does not hold the image.
bool writeBackupFile(const QString &path, const QByteArray &image, QString *error = nullptr);

// Reads a backup file as the window loads one: its first 556 bytes, a longer
// file's extra bytes ignored. *reason gets the file's error when it cannot be
// opened.
enum class BackupRead
{
    Ok,
    CannotOpen,
    Damaged, // the CRC does not match (also a short or foreign file)
};
BackupRead readBackupFile(const QString &path, quint16 *regs42to318, QString *reason = nullptr);
