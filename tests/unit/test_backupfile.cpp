#include "model/backupfile.h"

#include <QByteArray>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QVector>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>

namespace {

// CRC-16/MODBUS, bit by bit, kept apart from the program's own table.
quint16 referenceCrc(const QByteArray &bytes)
{
    quint16 crc = 0xFFFF;
    for (char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

QVector<quint16> sampleRegisters()
{
    QVector<quint16> regs(backup::RegisterCount);
    for (int i = 0; i < regs.size(); ++i)
        regs[i] = quint16(0x1234 + i * 0x0107);
    return regs;
}

} // namespace

class TestBackupFile : public QObject
{
    Q_OBJECT

private slots:
    void layoutAndRoundTrip()
    {
        QCOMPARE(referenceCrc("123456789"), quint16(0x4B37));

        const QVector<quint16> regs = sampleRegisters();
        const QByteArray image = backupImage(regs.constData());
        QCOMPARE(image.size(), 556);
        for (int i = 0; i < regs.size(); ++i) {
            QCOMPARE(quint8(image[2 * i]), quint8(regs[i] & 0xFF));
            QCOMPARE(quint8(image[2 * i + 1]), quint8(regs[i] >> 8));
        }
        const quint16 crc = referenceCrc(image.left(554));
        QCOMPARE(quint8(image[554]), quint8(crc >> 8));
        QCOMPARE(quint8(image[555]), quint8(crc & 0xFF));

        // Bytes after the CRC (an older, longer file saved over) are ignored.
        QVector<quint16> read(backup::RegisterCount, 0);
        QVERIFY(parseBackup(image + QByteArray(40, 'x'), read.data()));
        QCOMPARE(read, regs);
    }

    void damagedFilesAreRefused_data()
    {
        QTest::addColumn<QByteArray>("file");

        const QByteArray image = backupImage(sampleRegisters().constData());
        for (int offset : {0, 553, 554}) {
            QByteArray damaged = image;
            damaged[offset] = char(damaged[offset] ^ 0x01);
            QTest::addRow("byte %d changed", offset) << damaged;
        }
        QByteArray frameOrder = image;
        QVERIFY(image[554] != image[555]);
        frameOrder[554] = image[555];
        frameOrder[555] = image[554];
        QTest::newRow("CRC low byte first") << frameOrder;
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("one byte short") << image.left(555);
    }

    void damagedFilesAreRefused()
    {
        QFETCH(QByteArray, file);
        QVector<quint16> regs(backup::RegisterCount, 0xBEEF);
        QVERIFY(!parseBackup(file, regs.data()));
        QCOMPARE(regs, QVector<quint16>(backup::RegisterCount, 0xBEEF));
    }

    void failedWriteKeepsTheOldFile()
    {
        QTemporaryDir dir;
        QFile old(dir.filePath(QStringLiteral("old.qvdbk")));
        QVERIFY(old.open(QIODevice::WriteOnly) && old.write(QByteArray(600, 'x')) == 600);
        old.close();
        const QByteArray image = backupImage(sampleRegisters().constData());

        // A disk with room for 100 bytes: the image is cut short.
        rlimit before{};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &before), 0);
        const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tight{100, before.rlim_max};
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
        QString error;
        const bool written = writeBackupFile(old.fileName(), image, &error);
        setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, oldSignal);
        QVERIFY(!written && !error.isEmpty());
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray(600, 'x'));
        old.close();

        QVERIFY(writeBackupFile(old.fileName(), image)); // replaced whole, nothing of the old left
        QCOMPARE(QFileInfo(old).size(), qint64(image.size()));
    }

    void writeFailuresAreReported_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("device full") << "/dev/full";
        QTest::newRow("missing folder") << "/nonexistent-kv3pd/x.qvdbk";
        QTest::newRow("a folder") << "/tmp";
        QTest::newRow("cancelled dialog") << "";
    }

    void writeFailuresAreReported()
    {
        QFETCH(QString, path);
        QString error;
        QVERIFY(!writeBackupFile(path, backupImage(sampleRegisters().constData()), &error));
        QVERIFY(!error.isEmpty());
        // Written in place, never replaced by a file of its own.
        QVERIFY(!QFileInfo(QStringLiteral("/dev/full")).isFile());
    }
};

QTEST_APPLESS_MAIN(TestBackupFile)

#include "test_backupfile.moc"
