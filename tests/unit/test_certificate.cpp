// The calibration certificate rendered from a stored record, read back as
// text with pdftotext (poppler-utils) as a reader or another program would.

#include "certificateissuer.h"
#include "certificatewriter.h"
#include "samplecalibration.h"

#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The text of each page, without white space (pdftotext spaces CJK text as it likes).
QStringList pagesOf(const QString &pdf)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(30000) || p.exitCode() != 0)
        return {};
    QString text = QString::fromUtf8(p.readAllStandardOutput());
    text.remove(QRegularExpression(QStringLiteral("[^\\S\\f]"))); // all but page breaks
    return text.split(QLatin1Char('\f'), Qt::SkipEmptyParts);
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
        QTest::addColumn<QString>("page"); // "page x of y"
        QTest::addColumn<QString>("texts");
        QTest::newRow("Chinese") << "zh"
                                 << "第%1页共%2页"
                                 << "校准证书|不合格|已调整|仅与被校准的对象有关|证书结束|签发日期";
        QTest::newRow("English")
            << "en"
            << "Page%1of%2"
            << "Calibrationcertificate|Fail|Asleft|relateonlytotheitemcalibrated|Endofcertificate"
               "|Dateofissue";
    }

    void holdsEveryItem()
    {
        QFETCH(QString, language);
        QFETCH(QString, page);
        QFETCH(QString, texts);
        const CalibrationRecord record = storeSampleCalibration(dir.filePath(language + ".db"));
        const CertificateIssuer issuer{QStringLiteral("华东计量校准中心"),
                                       QStringLiteral("上海市 浦东新区 科苑路 88 号")};
        // The README's picture: KV3PD_SCREENSHOTS=DIR writes DIR/certificate.pdf.
        const QString shots = qEnvironmentVariable("KV3PD_SCREENSHOTS");
        const QString pdf = shots.isEmpty() || language == "en" ? dir.filePath(language + ".pdf")
                                                                : shots + "/certificate.pdf";
        QCOMPARE(CertificateWriter::write(record, issuer, language, pdf, nullptr, {2026, 12, 7}),
                 CertificateWriter::Result::Written);

        const QStringList pages = pagesOf(pdf);
        QVERIFY2(pages.size() >= 2, "pdftotext (poppler-utils) read no pages");
        for (int i = 0; i < pages.size(); ++i) {
            QVERIFY2(pages[i].contains(record.certificate), qPrintable(pages[i]));
            QVERIFY2(pages[i].contains(page.arg(i + 1).arg(pages.size())), qPrintable(pages[i]));
        }
        // The item, the standard, the conditions, the organisation, every nominal,
        // an error, the tolerance and U = 2 * sqrt(0.0005^2 + 0.0001^2 + (0.0005 /
        // sqrt(3))^2) rounded up.
        texts += "|1911140042|KV-3PD|V0.12|0.1~1.6MPa|0.001MPa|Fluke700G07|SN-4711|CNAS-2026-0815"
                 "|李工|23.1℃,45%RH|2026-12-07|华东计量校准中心|上海市浦东新区科苑路88号|0.1|0.85"
                 "|1.6|0.0061|±0.00375|0.0012";
        const QString all = pages.join(QString());
        for (const QString &text : texts.split('|'))
            QVERIFY2(all.contains(text), qPrintable(text));
    }

    // The window's settings file: the section typed by hand in UTF-8 reads as
    // it stands; written, it keeps the window's own setting.
    void issuerSection()
    {
        const QString ini = dir.filePath("settings.ini");
        QSettings(ini, QSettings::IniFormat).setValue("LastFilePath", "/home/李工/备份");
        QFile file(ini);
        QVERIFY(file.open(QIODevice::Append) && file.write("[certificate]\nname=华东计量\n") > 0);
        file.close();
        CertificateIssuer issuer = CertificateIssuer::load(ini);
        QCOMPARE(issuer.name, QStringLiteral("华东计量"));
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
