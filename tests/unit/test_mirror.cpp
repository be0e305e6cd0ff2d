// Field encodings of the register mirror, the code tables and the text forms
// the pages use.

#include "model/codetables.h"
#include "model/fieldcodec.h"
#include "model/pagestate.h"
#include "model/registermirror.h"

#include <QtTest>

class TestMirror : public QObject
{
    Q_OBJECT

private slots:
    void wideFields_data()
    {
        QTest::addColumn<bool>("isFloat");
        QTest::addColumn<double>("value");
        QTest::addColumn<quint16>("low");
        QTest::addColumn<quint16>("high");
        QTest::newRow("float 12.5") << true << 12.5 << quint16(0x0000) << quint16(0x4148);
        QTest::newRow("float -1") << true << -1.0 << quint16(0x0000) << quint16(0xBF80);
        QTest::newRow("meter number")
            << false << 1911140001.0 << quint16(0xAEA1) << quint16(0x71E9);
        QTest::newRow("top bit set") << false << 3000000000.0 << quint16(0x5E00) << quint16(0xB2D0);
    }

    void wideFields()
    {
        QFETCH(bool, isFloat);
        QFETCH(double, value);
        QFETCH(quint16, low);
        QFETCH(quint16, high);

        // Low half first, also at the last pair of the mirror.
        for (int reg : {76, RegisterMirror::Size - 2}) {
            RegisterMirror mirror;
            if (isFloat)
                mirror.setFloat32(reg, float(value));
            else
                mirror.setUint32(reg, quint32(value));
            QCOMPARE(mirror.at(reg), low);
            QCOMPARE(mirror.at(reg + 1), high);
            QCOMPARE(isFloat ? double(mirror.float32(reg)) : double(mirror.uint32(reg)), value);
        }
    }

    void numbers()
    {
        QCOMPARE(field::formatMeterNumber(1911140001u), QStringLiteral("1911140001"));
        QCOMPARE(field::formatMeterNumber(42u), QStringLiteral("0000000042"));
        QCOMPARE(field::formatMeterNumber(3000000000u), QStringLiteral("3000000000"));
        QCOMPARE(field::parseUint32(QStringLiteral("3000000000")), 3000000000u);
        QCOMPARE(field::parseUint32(QStringLiteral("4294967296")), 0u);
        QCOMPARE(field::parseFloat(QStringLiteral("abc")), 0.0f);
        QCOMPARE(field::formatFloat(100.0f), QStringLiteral("100"));
        QCOMPARE(field::formatFloat(1e6f), QStringLiteral("1e+06"));
        QCOMPARE(field::formatFloat(9.80665f), QStringLiteral("9.80665"));
        // Cut to fit a field, a value at the end of the float range must not round
        // past it ("-3.403e+38"): the field could not take its own text back.
        QCOMPARE(field::formatFloatFitting(-3.40279e38f, 10), QStringLiteral("-3.4e+38"));
    }

    void codeLookups()
    {
        // Codes the instrument may report beyond the tables.
        QCOMPARE(unitName(13), QStringLiteral("未知(13)"));
        QCOMPARE(unitName(65535), QStringLiteral("未知(65535)"));
        QCOMPARE(parityName(3), QStringLiteral("未知(3)"));
        QCOMPARE(baudRateForCode(7), 38400u);
    }

    void textBlock_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("stored");
        const QString a99(99, QLatin1Char('a'));
        QTest::newRow("abc") << "abc"
                             << "abc";
        QTest::newRow("exactly 100")
            << QString(100, QLatin1Char('x')) << QString(100, QLatin1Char('x'));
        QTest::newRow("120 ascii")
            << QString(120, QLatin1Char('y')) << QString(100, QLatin1Char('y'));
        // The three bytes of 中 would straddle byte 100.
        QTest::newRow("cut before character") << a99 + QStringLiteral("中b") << a99;
        QTest::newRow("all multibyte") << QString(40, QChar(0x4E2D)) << QString(33, QChar(0x4E2D));
        QTest::newRow("four-byte character")
            << a99.left(98) + QString::fromUtf8("\xF0\x9F\x98\x80") << a99.left(98);
    }

    void textBlock()
    {
        QFETCH(QString, text);
        QFETCH(QString, stored);

        quint16 regs[field::TextRegisters];
        std::fill(std::begin(regs), std::end(regs), quint16(0xFFFF));
        field::encodeTextBlock(text, regs);
        QCOMPARE(field::decodeTextBlock(regs), stored);
        const int bytes = stored.toUtf8().size();
        if (bytes < field::TextBytes) // what follows the text is zero
            QCOMPARE(regs[bytes / 2] & (bytes % 2 ? 0x00FF : 0xFFFF), 0);
        if (text == QLatin1String("abc")) {
            QCOMPARE(regs[0], quint16(0x6162));
            QCOMPARE(regs[1], quint16(0x6300));
            QCOMPARE(regs[49], quint16(0));
        }
    }

    void customValues_data()
    {
        QTest::addColumn<int>("source");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("handled");
        QTest::addColumn<quint16>("value");
        QTest::addColumn<QString>("shown");
        // A number that does not fit is refused and the register keeps its value.
        QTest::newRow("decimal too big") << 23 << "70000" << true << quint16(0x7777) << "30583";
        QTest::newRow("decimal junk") << 23 << "12x" << true << quint16(0x7777) << "30583";
        QTest::newRow("hex prefix") << 24 << "0x1a" << true << quint16(0x7777) << "7777";
        QTest::newRow("hex") << 24 << "1a2b" << true << quint16(0x1A2B) << "1A2B";
        QTest::newRow("hex small") << 24 << "ff" << true << quint16(255) << "00FF";
        QTest::newRow("chars") << 25 << "AB" << true << quint16(0x4142) << "AB";
        QTest::newRow("one char") << 25 << "A" << true << quint16(0x4100)
                                  << QStringLiteral("A") + QChar(0);
        QTest::newRow("multi-byte char")
            << 25 << "中" << true << quint16(0xE4B8) << QString::fromUtf8("\xE4\xB8", 2);
        QTest::newRow("quantity source") << 8 << "5" << false << quint16(0x7777) << "";
    }

    void customValues()
    {
        QFETCH(int, source);
        QFETCH(QString, text);
        QFETCH(bool, handled);
        QFETCH(quint16, value);
        QFETCH(QString, shown);

        quint16 collected = 0x7777;
        bool valid = false;
        QCOMPARE(field::collectCustomValue(source, text, &collected, &valid), handled);
        QCOMPARE(collected, value);
        QCOMPARE(valid, !handled || value != 0x7777);
        QString display = QStringLiteral("untouched");
        QCOMPARE(field::customValueText(source, value, &display), handled);
        QCOMPARE(display, handled ? shown : QStringLiteral("untouched"));
    }
};

QTEST_APPLESS_MAIN(TestMirror)
#include "test_mirror.moc"
