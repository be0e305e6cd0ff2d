// kv3pd-cli history and certificate: the calibration records the wizard
// keeps, listed, exported as JSON and rendered as certificates. No instrument
// is involved.

#include "calibration/calibrationstore.h"
#include "calibration/uncertainty.h"
#include "certificatewriter.h"
#include "cli/commands.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QTextStream>

#include <cmath>

namespace cli {

namespace {

// RFC 3339 in UTC with milliseconds, as every machine-readable output.
QJsonValue jsonTime(const QDateTime &time)
{
    return time.isValid() ? QJsonValue(time.toUTC().toString(Qt::ISODateWithMs))
                          : QJsonValue(QJsonValue::Null);
}

QJsonValue jsonNumber(double value)
{
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue(QJsonValue::Null);
}

QJsonValue jsonVerdict(const std::optional<bool> &value)
{
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

QJsonObject headerJson(const CalibrationRecord &r)
{
    return {{QStringLiteral("certificate"), r.certificate},
            {QStringLiteral("meter_number"), r.meterNumber},
            {QStringLiteral("meter_type"), r.meterType},
            {QStringLiteral("channel"), calibrationChannelName(r.channel)},
            {QStringLiteral("started_at"), jsonTime(r.startedAt)},
            {QStringLiteral("finished_at"), jsonTime(r.finishedAt)},
            {QStringLiteral("as_found_pass"), jsonVerdict(r.asFoundPass)},
            {QStringLiteral("adjusted"), jsonVerdict(r.adjusted)},
            {QStringLiteral("as_left_pass"), jsonVerdict(r.asLeftPass)}};
}

// The three tables of one calibration under their own names and columns,
// each point with the uncertainty its certificate states.
QJsonObject recordJson(const CalibrationRecord &r)
{
    QJsonObject calibration = headerJson(r);
    const QList<QPair<QString, QJsonValue>> more{
        {QStringLiteral("board"), r.board},
        {QStringLiteral("firmware_version"), r.firmwareVersion},
        {QStringLiteral("range_low"), jsonNumber(r.rangeLow)},
        {QStringLiteral("range_high"), jsonNumber(r.rangeHigh)},
        {QStringLiteral("unit"), r.unit},
        {QStringLiteral("decimals"),
         r.decimals >= 0 ? QJsonValue(r.decimals) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("tolerance_pct"), jsonNumber(r.tolerancePct)},
        {QStringLiteral("settle_window_s"), jsonNumber(r.settleWindowSeconds)},
        {QStringLiteral("settle_band_pct"), jsonNumber(r.settleBandPct)},
        {QStringLiteral("standard"), r.standard},
        {QStringLiteral("standard_serial"), r.standardSerial},
        {QStringLiteral("standard_certificate"), r.standardCertificate},
        {QStringLiteral("standard_uncertainty"), jsonNumber(r.standardUncertainty)},
        {QStringLiteral("technician"), r.technician},
        {QStringLiteral("ambient"), r.ambient}};
    for (const auto &field : more)
        calibration.insert(field.first, field.second);

    QJsonArray points;
    QJsonArray samples;
    for (const CalibrationPoint &p : r.points) {
        const QString phase = calibrationPhaseName(p.phase);
        const double u = roundUpUncertainty(
            PointUncertainty::of(r.standardUncertainty, p.stddev, p.sampleCount, r.decimals)
                .expanded);
        points.append(QJsonObject{
            {QStringLiteral("phase"), phase},
            {QStringLiteral("idx"), p.idx},
            {QStringLiteral("nominal"), jsonNumber(p.nominal)},
            {QStringLiteral("reference"), jsonNumber(p.reference)},
            {QStringLiteral("reading"), jsonNumber(p.reading)},
            {QStringLiteral("error"), jsonNumber(p.error)},
            {QStringLiteral("error_pct_span"), jsonNumber(p.errorPctSpan)},
            {QStringLiteral("pass"), jsonVerdict(p.pass)},
            {QStringLiteral("mean"), jsonNumber(p.mean)},
            {QStringLiteral("stddev"), jsonNumber(p.stddev)},
            {QStringLiteral("peak_to_peak"), jsonNumber(p.peakToPeak)},
            {QStringLiteral("samples"), p.sampleCount},
            {QStringLiteral("settle_s"), jsonNumber(p.settleSeconds)},
            {QStringLiteral("manual"), p.manual},
            {QStringLiteral("raw_adc"), jsonNumber(p.rawAdc)},
            {QStringLiteral("expanded_uncertainty"),
             p.phase == CalibrationPhase::Adjust ? QJsonValue(QJsonValue::Null) : jsonNumber(u)}});
        for (const TimedValue &s : p.window)
            samples.append(QJsonObject{{QStringLiteral("phase"), phase},
                                       {QStringLiteral("idx"), p.idx},
                                       {QStringLiteral("t_ms"), s.tMs},
                                       {QStringLiteral("value"), jsonNumber(s.value)}});
    }
    return {{QStringLiteral("calibration"), calibration},
            {QStringLiteral("points"), points},
            {QStringLiteral("samples"), samples}};
}

// Read-only, so a mistyped --db makes no file; a file of an older schema is
// migrated, as the window would on its next start.
bool openRecords(CalibrationStore &store)
{
    if (store.open(CalibrationStore::Access::ReadOnly))
        return true;
    return store.error() == CalibrationStore::Error::ReadOnly && QFileInfo::exists(store.path()) &&
           store.open(CalibrationStore::Access::ReadWrite);
}

int unreadable(const CalibrationStore &store)
{
    printError(QStringLiteral("cannot read the calibration records %1: %2")
                   .arg(store.path(), store.errorString()));
    return BadFile;
}

QString verdictText(const std::optional<bool> &value, const char *yes, const char *no)
{
    return value ? QLatin1String(*value ? yes : no) : QStringLiteral("-");
}

} // namespace

int history(const Options &o)
{
    CalibrationStore store(o.dbPath);
    if (!openRecords(store))
        return unreadable(store);
    CalibrationStore::Filter filter;
    filter.meterNumber = o.meterNumber;
    QVector<CalibrationRecord> records;
    if (!store.listCalibrations(filter, &records))
        return unreadable(store);
    if (o.json) {
        QJsonArray list;
        for (const CalibrationRecord &r : records)
            list.append(headerJson(r));
        printJson(list);
        return Done;
    }
    if (records.isEmpty()) {
        out() << "no calibrations"
              << (o.meterNumber.isEmpty() ? QString() : " of meter " + o.meterNumber) << " in "
              << store.path() << '\n';
        out().flush();
        return Done;
    }
    const auto row = [](const QStringList &cells) {
        static const int widths[] = {14, 11, 12, 25, 25, 9, 9, 0};
        QString line;
        for (int i = 0; i < cells.size(); ++i)
            line += cells[i].leftJustified(widths[i]) + QLatin1Char(' ');
        out() << line.trimmed() << '\n';
    };
    row({QStringLiteral("certificate"), QStringLiteral("meter"), QStringLiteral("channel"),
         QStringLiteral("started"), QStringLiteral("finished"), QStringLiteral("as found"),
         QStringLiteral("adjusted"), QStringLiteral("as left")});
    for (const CalibrationRecord &r : records) {
        const auto time = [](const QDateTime &t) {
            return t.isValid() ? t.toUTC().toString(Qt::ISODateWithMs) : QStringLiteral("-");
        };
        row({r.certificate, r.meterNumber, calibrationChannelName(r.channel), time(r.startedAt),
             time(r.finishedAt), verdictText(r.asFoundPass, "pass", "fail"),
             verdictText(r.adjusted, "yes", "no"), verdictText(r.asLeftPass, "pass", "fail")});
    }
    out().flush();
    return Done;
}

int certificate(const Options &o)
{
    if (o.arguments.size() != 1) {
        printError(QStringLiteral("certificate needs one certificate number, e.g. KV2026-000001"));
        return Usage;
    }
    if (o.json == !o.outputPath.isEmpty()) {
        printError(QStringLiteral("certificate needs either -o FILE.pdf or --json"));
        return Usage;
    }
    const QString number = o.arguments.first();
    CalibrationStore store(o.dbPath);
    if (!openRecords(store))
        return unreadable(store);
    CalibrationRecord record;
    if (!store.loadCalibration(number, &record)) {
        if (store.error() == CalibrationStore::Error::NotFound) {
            printError(QStringLiteral("no calibration with certificate %1 in %2 ('kv3pd-cli "
                                      "history' lists them)")
                           .arg(number, store.path()));
            return NoAnswer;
        }
        return unreadable(store);
    }
    if (o.json) {
        printJson(recordJson(record));
        return Done;
    }

    const CertificateIssuer issuer = CertificateIssuer::load(o.settingsPath);
    if (issuer.name.trimmed().isEmpty())
        printError(QStringLiteral("warning: no issuing organisation (name= in the [certificate] "
                                  "section of %1); the certificate names none")
                       .arg(o.settingsPath));
    QString reason;
    switch (CertificateWriter::write(record, issuer, o.language, o.outputPath, &reason)) {
    case CertificateWriter::Result::Written:
        break;
    case CertificateWriter::Result::CannotWrite:
        printError(QStringLiteral("cannot write %1").arg(reason));
        return OutputFailed;
    case CertificateWriter::Result::CannotRender:
        printError(QStringLiteral("cannot make the certificate: %1").arg(reason));
        return OutputFailed;
    }
    if (!o.link.quiet)
        out() << "certificate " << record.certificate << " written to " << o.outputPath << '\n';
    out().flush();
    return Done;
}

} // namespace cli
