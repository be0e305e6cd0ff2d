// The backup file loader (parseBackup) fed any bytes of any length, as a file
// chosen by the user can hold.
//
// Properties: the file is taken only when the CRC stored after the image
// matches the image (a short file counts as zero-filled, bytes past the CRC are
// ignored); then the registers hold the image, low byte first, and saving them
// gives the same 556 bytes back. Otherwise the registers are untouched.

#include "fuzzsupport.h"
#include "model/backupfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray file(reinterpret_cast<const char *>(data), int(size));
    QByteArray image = file.left(backup::FileBytes);
    image.append(QByteArray(backup::FileBytes - image.size(), '\0'));
    const quint16 stored =
        quint16(quint8(image[backup::ImageBytes]) << 8 | quint8(image[backup::ImageBytes + 1]));
    const bool crcGood = referenceCrc(image.constData(), backup::ImageBytes) == stored;

    quint16 regs[backup::RegisterCount];
    for (int i = 0; i < backup::RegisterCount; ++i)
        regs[i] = quint16(0xA5C3 ^ i);
    const bool accepted = parseBackup(file, regs);
    FUZZ_CHECK(accepted == crcGood);
    for (int i = 0; i < backup::RegisterCount; ++i) {
        const quint16 fromFile = quint16(quint8(image[2 * i]) | quint8(image[2 * i + 1]) << 8);
        FUZZ_CHECK(regs[i] == (accepted ? fromFile : quint16(0xA5C3 ^ i)));
    }
    if (accepted)
        FUZZ_CHECK(backupImage(regs) == image);
    return 0;
}
