#pragma once

// The calibration certificate of one record, as a PDF drawn with Qt's own
// QPdfWriter and QPainter (the plot by QCustomPlot), in Chinese or English.
// It states what ISO/IEC 17025 asks of a calibration certificate: title,
// certificate number and "page x of y" on every page, the issuing
// organisation, the item, the reference standard, the method, the ambient
// conditions, the dates and the technician, the as-found and as-left results
// with the expanded uncertainty (k = 2) of each and the verdict, whether an
// adjustment was made, how the uncertainty was combined, the decision rule,
// a plot of the errors against the tolerance band, a signature line and an
// end mark. Its text is real text (a CJK font embedded), so pdftotext and a
// reader's search find the numbers.
//
// For the window (the wizard's certificate button and its history list) and
// kv3pd-cli:
//
//   CalibrationRecord record;
//   store.loadCalibration(certificate, &record);     // the whole record
//   QString reason;
//   const auto result = CertificateWriter::write(record,
//       CertificateIssuer::load(settingsPath), QStringLiteral("zh"), fileName, &reason);
//   if (result != CertificateWriter::Result::Written) ... tell the user reason
//
// write() runs in the GUI thread of a QApplication (QCustomPlot is a widget;
// kv3pd-cli makes an offscreen one) and takes a fraction of a second. The
// file is replaced only once the whole document is written. The window's
// settings file is MainWindow's settingsPath; CertificateIssuer::save() keeps
// what the wizard's fields change.
//
// What the certificate states comes from the record alone, so the wizard
// fills before beginCalibration() also board ("KV-3PD"), firmwareVersion
// (as the window shows register 1), decimals (register 45 or 47: the
// resolution part of U; -1 leaves U unstated), settleWindowSeconds and
// settleBandPct, and for each point stddev and sampleCount of its window.

#include "calibration/calibrationrecord.h"
#include "certificateissuer.h"

#include <QDate>
#include <QString>

class CertificateWriter
{
public:
    enum class Result
    {
        Written,
        CannotRender, // no QApplication, no font with Chinese characters, or no English texts
        CannotWrite   // the file cannot be written: a folder that is missing or read-only, a full
                      // disk
    };

    // language: "en" for English, anything else ("zh") for Chinese, as the
    // interface's language codes. issued is the date of issue printed on it.
    // On failure *reason (when given) says why, in English, naming the file.
    static Result write(const CalibrationRecord &record, const CertificateIssuer &issuer,
                        const QString &language, const QString &path, QString *reason = nullptr,
                        const QDate &issued = QDate::currentDate());
};
