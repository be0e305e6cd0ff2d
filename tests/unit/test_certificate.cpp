// The calibration certificate rendered from a stored record, read back as
// text with pdftotext (poppler-utils) as a reader or another program would.

#include "calibration/calibrationstore.h"
#include "certificateissuer.h"
#include "certificatewriter.h"

#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A pressure calibration as the wizard keeps it: as found (the middle point
// out of tolerance, the last taken by hand), an adjustment, as left.
CalibrationRecord storedRecord(const QString &path)
{
    CalibrationStore store(path);
    CalibrationRecord r;
    r.meterNumber = QStringLiteral("1911140042");
    r.meterType = QStringLiteral("pressure");
    r.board = QStringLiteral("KV-3PD");
    r.firmwareVersion = QStringLiteral("V0.12");
    r.rangeLow = 0.1;
    r.rangeHigh = 1.6;
    r.unit = QStringLiteral("MPa");
    r.decimals = 3;
    r.tolerancePct = 0.25;
    r.settleWindowSeconds = 3;
    r.settleBandPct = 0.0625;
    r.standard = QStringLiteral("Fluke 700G07");
    r.standardSerial = QStringLiteral("SN-4711");
    r.standardCertificate = QStringLiteral("CNAS-2026-0815");
    r.standardUncertainty = 0.001;
    r.technician = QStringLiteral("李工");
    r.ambient = QStringLiteral("23.1 ℃, 45 %RH");
    if (!store.open() || !store.beginCalibration(&r))
        return {};
    const double nominals[] = {0.1, 0.85, 1.6};
    const double found[] = {0.0014, 0.0061, -0.0009};
    for (CalibrationPhase phase :
         {CalibrationPhase::AsFound, CalibrationPhase::Adjust, CalibrationPhase::AsLeft}) {
        for (int i = 0; i < 3; ++i) {
            CalibrationPoint p;
            p.phase = phase;
            p.idx = i + 1;
            p.nominal = nominals[i];
            p.reference = nominals[i] + 0.0002;
            p.error = phase == CalibrationPhase::AsFound ? found[i] : 0.0003;
            p.reading = p.reference + p.error;
            p.errorPctSpan = p.error / 1.5 * 100;
            if (phase != CalibrationPhase::Adjust)
                p.pass = std::abs(p.error) <= 0.00375;
            p.stddev = 0.0004;
            p.sampleCount = 16;
            p.manual = phase == CalibrationPhase::AsFound && i == 2;
            p.window = {{0, p.reading}, {100, p.reading}};
            store.savePoint(r.id, p);
        }
    }
    store.setPhaseResult(r.id, CalibrationPhase::AsFound, false);
    store.setPhaseResult(r.id, CalibrationPhase::Adjust, true);
    store.setPhaseResult(r.id, CalibrationPhase::AsLeft, true);
    store.finishCalibration(r.id, r.startedAt.addSecs(900));
    CalibrationRecord loaded;
    store.loadCalibration(r.certificate, &loaded);
    return loaded;
}

// The text of each page, without white space (pdftotext spaces CJK text as it likes).
QStringList pagesOf(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    QString text = QString::fromUtf8(p.readAllStandardOutput());
    text.remove(QRegularExpression(QStringLiteral("[ \\t\\n\\r]")));
    QStringList pages = text.split(QLatin1Char('\f'));
    if (pages.last().isEmpty())
        pages.removeLast();
    return pages;
}

} // namespace

class TestCertificate : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void holdsEveryItem_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("page"); // "page x of y", with %1 and %2
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("Chinese")
            << "zh"
            << "第%1页共%2页"
            << QStringList{"校准证书", "合格",    "不合格", "已调整", "仅与被校准的对象有关",
                           "证书结束", "签发日期"};
        QTest::newRow("English")
            << "en"
            << "Page%1of%2"
            << QStringList{"Calibrationcertificate",        "Asfound",          "Asleft",
                           "relateonlytotheitemcalibrated", "Endofcertificate", "Dateofissue"};
    }

    void holdsEveryItem()
    {
        QFETCH(QString, language);
        QFETCH(QString, page);
        QFETCH(QStringList, texts);
        const CalibrationRecord record = storedRecord(dir.filePath(language + ".sqlite"));
        QCOMPARE(record.points.size(), 9);
        const CertificateIssuer issuer{QStringLiteral("华东计量校准中心"),
                                       QStringLiteral("上海市 浦东新区 科苑路 88 号")};
        const QString pdf = dir.filePath(language + ".pdf");
        QString reason;
        QCOMPARE(
            CertificateWriter::write(record, issuer, language, pdf, &reason, QDate(2026, 12, 7)),
            CertificateWriter::Result::Written);

        // The README's picture: KV3PD_SCREENSHOTS=DIR writes DIR/certificate.pdf.
        const QString shots = qEnvironmentVariable("KV3PD_SCREENSHOTS");
        if (!shots.isEmpty() && language == QLatin1String("zh")) {
            QFile::remove(shots + "/certificate.pdf");
            QVERIFY(QFile::copy(pdf, shots + "/certificate.pdf"));
        }
        const QStringList pages = pagesOf(pdf);
        QVERIFY2(pages.size() >= 2, "pdftotext (poppler-utils) read no pages");
        for (int i = 0; i < pages.size(); ++i) {
            QVERIFY2(pages[i].contains(record.certificate), qPrintable(pages[i]));
            QVERIFY2(pages[i].contains(page.arg(i + 1).arg(pages.size())), qPrintable(pages[i]));
        }
        const QString all = pages.join(QString());
        // U of each point: 2 * sqrt(0.0005^2 + 0.0001^2 + (0.0005 / sqrt(3))^2), rounded up.
        texts << record.meterNumber << "KV-3PD"
              << "V0.12"
              << "0.1~1.6MPa"
              << "0.001MPa"
              << "Fluke700G07"
              << "SN-4711"
              << "CNAS-2026-0815"
              << "李工"
              << "23.1℃,45%RH"
              << "2026-12-07" << issuer.name << "上海市浦东新区科苑路88号"
              << "0.0012"
              << "±0.00375"
              << "0.85"
              << "1.6"
              << "0.1"
              << "0.0061";
        for (const QString &text : texts)
            QVERIFY2(all.contains(text), qPrintable(text));
    }

    void unwritableFile()
    {
        const CalibrationRecord record = storedRecord(dir.filePath("unwritable.sqlite"));
        const QString pdf = dir.filePath("missing/folder/c.pdf");
        QString reason;
        QCOMPARE(CertificateWriter::write(record, {}, "zh", pdf, &reason),
                 CertificateWriter::Result::CannotWrite);
        QVERIFY2(reason.startsWith(pdf), qPrintable(reason));
        QVERIFY(!QFile::exists(pdf));
    }

    // The window's settings file: the section typed by hand in UTF-8 reads as
    // it stands; written, it keeps the window's own setting.
    void issuerSection()
    {
        const QString ini = dir.filePath("settings.ini");
        {
            QSettings window(ini, QSettings::IniFormat);
            window.setValue(QStringLiteral("LastFilePath"), QStringLiteral("/home/李工/备份"));
        }
        QFile file(ini);
        QVERIFY(file.open(QIODevice::Append));
        file.write("\n[certificate]\nname=华东计量\naddress=上海\n");
        file.close();
        CertificateIssuer issuer = CertificateIssuer::load(ini);
        QCOMPARE(issuer.name + issuer.address, QStringLiteral("华东计量上海"));
        issuer.address = QStringLiteral("杭州");
        QString error;
        QVERIFY(issuer.save(ini, &error));
        QCOMPARE(CertificateIssuer::load(ini).address, issuer.address);
        QCOMPARE(QSettings(ini, QSettings::IniFormat).value("LastFilePath").toString(),
                 QStringLiteral("/home/李工/备份"));
    }
};

QTEST_MAIN(TestCertificate)
#include "test_certificate.moc"
