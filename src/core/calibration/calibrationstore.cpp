#include "calibration/calibrationstore.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <cmath>
#include <cstdlib>
#include <iterator>

namespace {

const char *const Driver = "QSQLITE";
// A point is written in milliseconds; a lock held longer than this by another
// program is reported rather than waited out, so a window never hangs on it.
const char *const BusyTimeout = "QSQLITE_BUSY_TIMEOUT=1000";

// Each step takes the schema from version i to i + 1, in one transaction.
const QStringList migrationSteps[] = {
    {QStringLiteral("CREATE TABLE calibrations ("
                    "id INTEGER PRIMARY KEY, certificate TEXT UNIQUE NOT NULL,"
                    " meter_number TEXT CHECK (length(meter_number) = 10"
                    " AND meter_number NOT GLOB '*[^0-9]*'),"
                    " meter_type TEXT, channel TEXT CHECK (channel IN ('pressure', 'temperature')),"
                    " range_low REAL, range_high REAL, unit TEXT, tolerance_pct REAL,"
                    " standard TEXT, standard_serial TEXT, standard_certificate TEXT,"
                    " standard_uncertainty REAL, technician TEXT, ambient TEXT,"
                    " started_at TEXT, finished_at TEXT, as_found_pass INTEGER,"
                    " adjusted INTEGER, as_left_pass INTEGER)"),
     QStringLiteral("CREATE INDEX calibrations_meter ON calibrations (meter_number)"),
     QStringLiteral("CREATE TABLE points ("
                    "calibration_id INTEGER NOT NULL REFERENCES calibrations (id),"
                    " phase TEXT NOT NULL CHECK (phase IN ('as_found', 'adjust', 'as_left')),"
                    " idx INTEGER NOT NULL, nominal REAL, reference REAL, reading REAL,"
                    " error REAL, error_pct_span REAL, pass INTEGER, mean REAL, stddev REAL,"
                    " peak_to_peak REAL, samples INTEGER, settle_s REAL, manual INTEGER,"
                    " raw_adc REAL, PRIMARY KEY (calibration_id, phase, idx))"),
     QStringLiteral("CREATE TABLE samples ("
                    "calibration_id INTEGER NOT NULL, phase TEXT NOT NULL, idx INTEGER NOT NULL,"
                    " t_ms INTEGER, value REAL, FOREIGN KEY (calibration_id, phase, idx)"
                    " REFERENCES points (calibration_id, phase, idx))"),
     QStringLiteral("CREATE INDEX samples_point ON samples (calibration_id, phase, idx)")},
    // What a certificate states besides the results: the item's board and
    // firmware, the display resolution, the settling rule.
    {QStringLiteral("ALTER TABLE calibrations ADD COLUMN board TEXT"),
     QStringLiteral("ALTER TABLE calibrations ADD COLUMN firmware_version TEXT"),
     QStringLiteral("ALTER TABLE calibrations ADD COLUMN decimals INTEGER"),
     QStringLiteral("ALTER TABLE calibrations ADD COLUMN settle_window_s REAL"),
     QStringLiteral("ALTER TABLE calibrations ADD COLUMN settle_band_pct REAL")},
};
static_assert(std::size(migrationSteps) == CalibrationStore::SchemaVersion,
              "one migration step per schema version");

const QString RecordColumns = QStringLiteral(
    "id, certificate, meter_number, meter_type, channel, range_low, range_high, unit,"
    " tolerance_pct, standard, standard_serial, standard_certificate, standard_uncertainty,"
    " technician, ambient, started_at, finished_at, as_found_pass, adjusted, as_left_pass,"
    " board, firmware_version, decimals, settle_window_s, settle_band_pct");

const QString PhaseOrder =
    QStringLiteral("CASE phase WHEN 'as_found' THEN 0 WHEN 'adjust' THEN 1 ELSE 2 END, idx");

QVariant number(double value)
{
    return std::isfinite(value) ? QVariant(value) : QVariant(QVariant::Double);
}

QVariant verdict(const std::optional<bool> &value)
{
    return value ? QVariant(int(*value)) : QVariant(QVariant::Int);
}

QVariant timeText(const QDateTime &time)
{
    if (!time.isValid())
        return QVariant(QVariant::String);
    // The offset always in figures, +00:00 too, as the records promise.
    const int offset = time.offsetFromUtc();
    const QString local = QLocale::c().toString(time.toOffsetFromUtc(offset),
                                                QStringLiteral("yyyy-MM-dd'T'HH:mm:ss"));
    return local + QString::asprintf("%c%02d:%02d", offset < 0 ? '-' : '+', std::abs(offset) / 3600,
                                     std::abs(offset) % 3600 / 60);
}

double toNumber(const QVariant &value)
{
    return value.isNull() ? qQNaN() : value.toDouble();
}

std::optional<bool> toVerdict(const QVariant &value)
{
    return value.isNull() ? std::nullopt : std::optional<bool>(value.toInt() != 0);
}

QDateTime toTime(const QVariant &value)
{
    return value.isNull() ? QDateTime() : QDateTime::fromString(value.toString(), Qt::ISODate);
}

CalibrationRecord recordFrom(const QSqlQuery &q)
{
    CalibrationRecord r;
    r.id = q.value(0).toLongLong();
    r.certificate = q.value(1).toString();
    r.meterNumber = q.value(2).toString();
    r.meterType = q.value(3).toString();
    calibrationChannelFromName(q.value(4).toString(), &r.channel);
    r.rangeLow = toNumber(q.value(5));
    r.rangeHigh = toNumber(q.value(6));
    r.unit = q.value(7).toString();
    r.tolerancePct = toNumber(q.value(8));
    r.standard = q.value(9).toString();
    r.standardSerial = q.value(10).toString();
    r.standardCertificate = q.value(11).toString();
    r.standardUncertainty = toNumber(q.value(12));
    r.technician = q.value(13).toString();
    r.ambient = q.value(14).toString();
    r.startedAt = toTime(q.value(15));
    r.finishedAt = toTime(q.value(16));
    r.asFoundPass = toVerdict(q.value(17));
    r.adjusted = toVerdict(q.value(18));
    r.asLeftPass = toVerdict(q.value(19));
    r.board = q.value(20).toString();
    r.firmwareVersion = q.value(21).toString();
    r.decimals = q.value(22).isNull() ? -1 : q.value(22).toInt();
    r.settleWindowSeconds = toNumber(q.value(23));
    r.settleBandPct = toNumber(q.value(24));
    return r;
}

// SQLite's primary result codes (the low byte of an extended one).
enum SqliteCode
{
    SqlitePerm = 3,
    SqliteBusy = 5,
    SqliteLocked = 6,
    SqliteReadOnly = 8,
    SqliteCorrupt = 11,
    SqliteFull = 13,
    SqliteCantOpen = 14,
    SqliteConstraint = 19,
    SqliteAuth = 23,
    SqliteNotADb = 26
};

CalibrationStore::Error classify(const QSqlError &error, CalibrationStore::Error fallback)
{
    using Error = CalibrationStore::Error;
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok) & 0xFF;
    if (!ok)
        return fallback;
    switch (code) {
    case SqliteBusy:
    case SqliteLocked:
        return Error::Locked;
    case SqlitePerm:
    case SqliteAuth:
    case SqliteReadOnly:
        return Error::ReadOnly;
    case SqliteCorrupt:
    case SqliteNotADb:
        return Error::Damaged;
    case SqliteConstraint:
        return Error::InvalidRecord;
    case SqliteFull:
        return Error::WriteFailed;
    case SqliteCantOpen:
        // Writing needs a journal beside the file: a folder that may not be
        // written shows here.
        return fallback == Error::WriteFailed ? Error::ReadOnly : Error::CannotOpen;
    default:
        return fallback;
    }
}

// BEGIN IMMEDIATE takes the write lock at once, so two programs numbering
// certificates or migrating at the same time take turns; rolled back unless
// committed.
class Transaction
{
public:
    explicit Transaction(const QSqlDatabase &db) : db(db) {}
    ~Transaction()
    {
        if (active)
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
    }
    Transaction(const Transaction &) = delete;
    Transaction &operator=(const Transaction &) = delete;

    bool begin(QSqlQuery &query)
    {
        active = query.exec(QStringLiteral("BEGIN IMMEDIATE"));
        return active;
    }
    bool commit(QSqlQuery &query)
    {
        if (!query.exec(QStringLiteral("COMMIT")))
            return false;
        active = false;
        return true;
    }

private:
    QSqlDatabase db;
    bool active = false;
};

QAtomicInt connectionCounter;

} // namespace

QString CalibrationStore::defaultPath()
{
    const QString named = qEnvironmentVariable("KV3PD_DB");
    if (!named.isEmpty())
        return named;
    // The window's data folder (its AppDataLocation), also when kv3pd-cli
    // asks, whose own folder would be another.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/kv3pd/calibrations.sqlite");
}

CalibrationStore::CalibrationStore(const QString &path)
    : filePath(path),
      connectionName(
          QStringLiteral("kv3pd-calibrations-%1").arg(connectionCounter.fetchAndAddRelaxed(1)))
{
}

CalibrationStore::~CalibrationStore()
{
    if (!QSqlDatabase::contains(connectionName))
        return;
    QSqlDatabase::database(connectionName, false).close();
    QSqlDatabase::removeDatabase(connectionName);
}

bool CalibrationStore::isOpen() const
{
    return QSqlDatabase::contains(connectionName) &&
           QSqlDatabase::database(connectionName, false).isOpen();
}

bool CalibrationStore::fail(Error error, const QString &text)
{
    lastError = error;
    lastErrorText = text;
    return false;
}

bool CalibrationStore::failQuery(const QSqlQuery &query, Error fallback)
{
    const QSqlError e = query.lastError();
    const QString text = e.databaseText().isEmpty() ? e.text() : e.databaseText();
    return fail(classify(e, fallback), text);
}

bool CalibrationStore::exec(QSqlQuery &query, Error fallback)
{
    return query.exec() || failQuery(query, fallback);
}

bool CalibrationStore::open(Access access)
{
    lastError = Error::None;
    lastErrorText.clear();
    if (QSqlDatabase::contains(connectionName)) {
        QSqlDatabase::database(connectionName, false).close();
        QSqlDatabase::removeDatabase(connectionName);
    }
    if (!QSqlDatabase::isDriverAvailable(QLatin1String(Driver)))
        return fail(Error::CannotOpen,
                    QStringLiteral("Qt's SQLite driver is missing (Debian: libqt5sql5-sqlite)"));
    const QFileInfo info(filePath);
    if (access == Access::ReadOnly && !info.exists())
        return fail(Error::CannotOpen, QStringLiteral("no such file"));
    if (access == Access::ReadWrite && !QDir().mkpath(info.absolutePath()))
        return fail(Error::CannotOpen,
                    QStringLiteral("cannot create the folder %1").arg(info.absolutePath()));

    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QLatin1String(Driver), connectionName);
        db.setDatabaseName(filePath);
        QString options = QLatin1String(BusyTimeout);
        if (access == Access::ReadOnly)
            options += QStringLiteral(";QSQLITE_OPEN_READONLY");
        db.setConnectOptions(options);
        if (!db.open()) {
            const QSqlError e = db.lastError();
            return fail(classify(e, Error::CannotOpen),
                        e.databaseText().isEmpty() ? e.text() : e.databaseText());
        }
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("PRAGMA foreign_keys = ON")))
            return failQuery(q, Error::Damaged);
    }
    if (migrate(access))
        return true;
    // Keep the reason, but leave no half-usable connection behind.
    QSqlDatabase::database(connectionName, false).close();
    return false;
}

bool CalibrationStore::migrate(Access access)
{
    const QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    QSqlQuery q(db);
    const auto version = [&](int *v) {
        if (!q.exec(QStringLiteral("PRAGMA user_version")) || !q.next())
            return failQuery(q, Error::Damaged);
        *v = q.value(0).toInt();
        q.finish();
        return true;
    };
    int current = 0;
    if (!version(&current))
        return false;
    if (current > SchemaVersion)
        return fail(Error::TooNew,
                    QStringLiteral("the records have schema version %1, newer than this "
                                   "program's %2; use a newer version of the program")
                        .arg(current)
                        .arg(SchemaVersion));
    if (current == SchemaVersion)
        return true;
    if (access == Access::ReadOnly)
        return current == 0 ? fail(Error::NotOurs, QStringLiteral("holds no calibration records"))
                            : fail(Error::ReadOnly,
                                   QStringLiteral("schema version %1 needs an upgrade, which "
                                                  "read-only access does not make")
                                       .arg(current));

    Transaction transaction(db);
    if (!transaction.begin(q))
        return failQuery(q, Error::WriteFailed);
    // Another program may have migrated while this one waited for the lock.
    if (!version(&current))
        return false;
    if (current == 0) {
        if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")) || !q.next())
            return failQuery(q, Error::Damaged);
        if (q.value(0).toInt() > 0)
            return fail(Error::NotOurs,
                        QStringLiteral("holds tables of another program, not calibration records"));
        q.finish();
    }
    for (int step = current; step < SchemaVersion; ++step) {
        for (const QString &statement : migrationSteps[step]) {
            if (!q.exec(statement))
                return failQuery(q, Error::WriteFailed);
        }
    }
    if (!q.exec(QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion)) ||
        !transaction.commit(q))
        return failQuery(q, Error::WriteFailed);
    return true;
}

bool CalibrationStore::checkWritable()
{
    if (!isOpen())
        return fail(Error::NotOpen, QStringLiteral("the records are not open"));
    const QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    QSqlQuery q(db);
    Transaction transaction(db);
    // Rewriting the version changes the file's first page, so the journal
    // must be made too; the rollback keeps nothing.
    if (!transaction.begin(q) ||
        !q.exec(QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion)))
        return failQuery(q, Error::WriteFailed);
    lastError = Error::None;
    lastErrorText.clear();
    return true;
}

bool CalibrationStore::beginCalibration(CalibrationRecord *record)
{
    if (!isOpen())
        return fail(Error::NotOpen, QStringLiteral("the records are not open"));
    static const QRegularExpression tenDigits(QStringLiteral("^[0-9]{10}$"));
    if (!tenDigits.match(record->meterNumber).hasMatch())
        return fail(
            Error::InvalidRecord,
            QStringLiteral("the meter number %1 is not ten digits").arg(record->meterNumber));
    const QDateTime started =
        record->startedAt.isValid() ? record->startedAt : QDateTime::currentDateTime();

    const QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    QSqlQuery q(db);
    Transaction transaction(db);
    if (!transaction.begin(q))
        return failQuery(q, Error::WriteFailed);
    const QString prefix =
        QStringLiteral("KV%1-").arg(started.date().year(), 4, 10, QLatin1Char('0'));
    q.prepare(QStringLiteral("SELECT max(certificate) FROM calibrations WHERE certificate GLOB ?"));
    q.addBindValue(prefix + QStringLiteral("[0-9][0-9][0-9][0-9][0-9][0-9]"));
    if (!exec(q, Error::ReadFailed) || !q.next())
        return failQuery(q, Error::ReadFailed);
    const int last = q.value(0).isNull() ? 0 : q.value(0).toString().mid(prefix.size()).toInt();
    if (last >= 999999)
        return fail(
            Error::WriteFailed,
            QStringLiteral("no certificate numbers left for %1").arg(started.date().year()));
    const QString certificate =
        prefix + QStringLiteral("%1").arg(last + 1, 6, 10, QLatin1Char('0'));

    q.prepare(QStringLiteral(
        "INSERT INTO calibrations (certificate, meter_number, meter_type, channel, range_low,"
        " range_high, unit, tolerance_pct, standard, standard_serial, standard_certificate,"
        " standard_uncertainty, technician, ambient, started_at, finished_at, as_found_pass,"
        " adjusted, as_left_pass, board, firmware_version, decimals, settle_window_s,"
        " settle_band_pct) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?,"
        " ?, ?, ?)"));
    const CalibrationRecord &r = *record;
    for (const QVariant &value :
         {QVariant(certificate), QVariant(r.meterNumber), QVariant(r.meterType),
          QVariant(calibrationChannelName(r.channel)), number(r.rangeLow), number(r.rangeHigh),
          QVariant(r.unit), number(r.tolerancePct), QVariant(r.standard),
          QVariant(r.standardSerial), QVariant(r.standardCertificate),
          number(r.standardUncertainty), QVariant(r.technician), QVariant(r.ambient),
          timeText(started), timeText(r.finishedAt), verdict(r.asFoundPass), verdict(r.adjusted),
          verdict(r.asLeftPass)})
        q.addBindValue(value);
    const QVariant decimals = r.decimals >= 0 ? QVariant(r.decimals) : QVariant(QVariant::Int);
    for (const QVariant &value : {QVariant(r.board), QVariant(r.firmwareVersion), decimals,
                                  number(r.settleWindowSeconds), number(r.settleBandPct)})
        q.addBindValue(value);
    if (!exec(q, Error::WriteFailed))
        return false;
    const qint64 id = q.lastInsertId().toLongLong();
    if (!transaction.commit(q))
        return failQuery(q, Error::WriteFailed);
    record->id = id;
    record->certificate = certificate;
    record->startedAt = started;
    return true;
}

bool CalibrationStore::savePoint(qint64 calibrationId, const CalibrationPoint &point)
{
    if (!isOpen())
        return fail(Error::NotOpen, QStringLiteral("the records are not open"));
    const QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    QSqlQuery q(db);
    Transaction transaction(db);
    if (!transaction.begin(q))
        return failQuery(q, Error::WriteFailed);
    const QVariantList key{calibrationId, calibrationPhaseName(point.phase), point.idx};
    for (const char *table : {"samples", "points"}) {
        q.prepare(
            QStringLiteral("DELETE FROM %1 WHERE calibration_id = ? AND phase = ? AND idx = ?")
                .arg(QLatin1String(table)));
        for (const QVariant &value : key)
            q.addBindValue(value);
        if (!exec(q, Error::WriteFailed))
            return false;
    }

    q.prepare(QStringLiteral("INSERT INTO points (calibration_id, phase, idx, nominal, reference,"
                             " reading, error, error_pct_span, pass, mean, stddev, peak_to_peak,"
                             " samples, settle_s, manual, raw_adc)"
                             " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const QVariant &value : key)
        q.addBindValue(value);
    for (const QVariant &value :
         {number(point.nominal), number(point.reference), number(point.reading),
          number(point.error), number(point.errorPctSpan), verdict(point.pass), number(point.mean),
          number(point.stddev), number(point.peakToPeak), QVariant(point.sampleCount),
          number(point.settleSeconds), QVariant(int(point.manual)), number(point.rawAdc)})
        q.addBindValue(value);
    if (!exec(q, Error::WriteFailed))
        return false;

    q.prepare(QStringLiteral(
        "INSERT INTO samples (calibration_id, phase, idx, t_ms, value) VALUES (?, ?, ?, ?, ?)"));
    for (const TimedValue &sample : point.window) {
        for (int i = 0; i < key.size(); ++i)
            q.bindValue(i, key.at(i));
        q.bindValue(3, sample.tMs);
        q.bindValue(4, number(sample.value));
        if (!exec(q, Error::WriteFailed))
            return false;
    }
    return transaction.commit(q) || failQuery(q, Error::WriteFailed);
}

bool CalibrationStore::setPhaseResult(qint64 calibrationId, CalibrationPhase phase, bool value)
{
    static const char *const columns[] = {"as_found_pass", "adjusted", "as_left_pass"};
    if (!isOpen())
        return fail(Error::NotOpen, QStringLiteral("the records are not open"));
    QSqlQuery q(QSqlDatabase::database(connectionName, false));
    q.prepare(QStringLiteral("UPDATE calibrations SET %1 = ? WHERE id = ?")
                  .arg(QLatin1String(columns[int(phase)])));
    q.addBindValue(int(value));
    q.addBindValue(calibrationId);
    if (!exec(q, Error::WriteFailed))
        return false;
    return q.numRowsAffected() > 0 ||
           fail(Error::NotFound, QStringLiteral("no calibration %1").arg(calibrationId));
}

bool CalibrationStore::finishCalibration(qint64 calibrationId, const QDateTime &finishedAt)
{
    if (!isOpen())
        return fail(Error::NotOpen, QStringLiteral("the records are not open"));
    QSqlQuery q(QSqlDatabase::database(connectionName, false));
    q.prepare(QStringLiteral("UPDATE calibrations SET finished_at = ? WHERE id = ?"));
    q.addBindValue(timeText(finishedAt));
    q.addBindValue(calibrationId);
    if (!exec(q, Error::WriteFailed))
        return false;
    return q.numRowsAffected() > 0 ||
           fail(Error::NotFound, QStringLiteral("no calibration %1").arg(calibrationId));
}

bool CalibrationStore::listCalibrations(const Filter &filter, QVector<CalibrationRecord> *records)
{
    if (!isOpen())
        return fail(Error::NotOpen, QStringLiteral("the records are not open"));
    QStringList conditions;
    QVariantList values;
    if (!filter.meterNumber.isEmpty()) {
        conditions << QStringLiteral("meter_number = ?");
        values << filter.meterNumber;
    }
    if (filter.channel) {
        conditions << QStringLiteral("channel = ?");
        values << calibrationChannelName(*filter.channel);
    }
    // julianday() reads the offsets, so times of different zones compare right.
    if (filter.startedFrom.isValid()) {
        conditions << QStringLiteral("julianday(started_at) >= julianday(?)");
        values << timeText(filter.startedFrom);
    }
    if (filter.startedUntil.isValid()) {
        conditions << QStringLiteral("julianday(started_at) <= julianday(?)");
        values << timeText(filter.startedUntil);
    }
    QSqlQuery q(QSqlDatabase::database(connectionName, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM calibrations%2 ORDER BY id")
                  .arg(RecordColumns,
                       conditions.isEmpty()
                           ? QString()
                           : QStringLiteral(" WHERE ") + conditions.join(QStringLiteral(" AND "))));
    for (const QVariant &value : values)
        q.addBindValue(value);
    if (!exec(q, Error::ReadFailed))
        return false;
    QVector<CalibrationRecord> found;
    while (q.next())
        found.append(recordFrom(q));
    if (q.lastError().isValid())
        return failQuery(q, Error::ReadFailed);
    *records = found;
    return true;
}

bool CalibrationStore::loadCalibration(const QString &certificate, CalibrationRecord *record)
{
    return loadWhere(QStringLiteral("certificate"), certificate, record);
}

bool CalibrationStore::loadCalibration(qint64 id, CalibrationRecord *record)
{
    return loadWhere(QStringLiteral("id"), id, record);
}

bool CalibrationStore::loadWhere(const QString &column, const QVariant &value,
                                 CalibrationRecord *record)
{
    if (!isOpen())
        return fail(Error::NotOpen, QStringLiteral("the records are not open"));
    const QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    QSqlQuery q(db);
    // One read transaction, so a point written meanwhile is all there or not at all.
    if (!q.exec(QStringLiteral("BEGIN")))
        return failQuery(q, Error::ReadFailed);
    q.prepare(
        QStringLiteral("SELECT %1 FROM calibrations WHERE %2 = ?").arg(RecordColumns, column));
    q.addBindValue(value);
    bool ok = exec(q, Error::ReadFailed);
    if (ok && !q.next())
        ok = q.lastError().isValid()
                 ? failQuery(q, Error::ReadFailed)
                 : fail(Error::NotFound,
                        QStringLiteral("no calibration with %1 %2").arg(column, value.toString()));
    CalibrationRecord loaded;
    if (ok) {
        loaded = recordFrom(q);
        q.finish();
        ok = loadPoints(&loaded);
    }
    QSqlQuery(db).exec(QStringLiteral("COMMIT"));
    if (ok)
        *record = loaded;
    return ok;
}

bool CalibrationStore::loadPoints(CalibrationRecord *record)
{
    QSqlQuery q(QSqlDatabase::database(connectionName, false));
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT phase, idx, nominal, reference, reading, error,"
                             " error_pct_span, pass, mean, stddev, peak_to_peak, samples,"
                             " settle_s, manual, raw_adc FROM points WHERE calibration_id = ?"
                             " ORDER BY ") +
              PhaseOrder);
    q.addBindValue(record->id);
    if (!exec(q, Error::ReadFailed))
        return false;
    QHash<QString, int> pointOf; // "phase/idx" -> index in record->points
    while (q.next()) {
        CalibrationPoint p;
        if (!calibrationPhaseFromName(q.value(0).toString(), &p.phase))
            continue;
        p.idx = q.value(1).toInt();
        p.nominal = toNumber(q.value(2));
        p.reference = toNumber(q.value(3));
        p.reading = toNumber(q.value(4));
        p.error = toNumber(q.value(5));
        p.errorPctSpan = toNumber(q.value(6));
        p.pass = toVerdict(q.value(7));
        p.mean = toNumber(q.value(8));
        p.stddev = toNumber(q.value(9));
        p.peakToPeak = toNumber(q.value(10));
        p.sampleCount = q.value(11).toInt();
        p.settleSeconds = toNumber(q.value(12));
        p.manual = q.value(13).toInt() != 0;
        p.rawAdc = toNumber(q.value(14));
        pointOf.insert(q.value(0).toString() + QLatin1Char('/') + QString::number(p.idx),
                       record->points.size());
        record->points.append(p);
    }
    if (q.lastError().isValid())
        return failQuery(q, Error::ReadFailed);

    q.prepare(QStringLiteral("SELECT phase, idx, t_ms, value FROM samples WHERE calibration_id = ?"
                             " ORDER BY rowid"));
    q.addBindValue(record->id);
    if (!exec(q, Error::ReadFailed))
        return false;
    while (q.next()) {
        const auto point = pointOf.constFind(q.value(0).toString() + QLatin1Char('/') +
                                             QString::number(q.value(1).toInt()));
        if (point != pointOf.constEnd())
            record->points[*point].window.append({q.value(2).toLongLong(), toNumber(q.value(3))});
    }
    if (q.lastError().isValid())
        return failQuery(q, Error::ReadFailed);
    return true;
}
