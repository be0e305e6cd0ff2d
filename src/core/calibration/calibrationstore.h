#pragma once

// The calibration records: one SQLite file (Qt SQL, driver QSQLITE) that
// keeps every calibration, each point the moment it is taken, so that nothing
// of a run lives only in a window. Users query the tables directly:
//
//   calibrations(id INTEGER PRIMARY KEY, certificate TEXT UNIQUE,
//                meter_number TEXT, meter_type TEXT, channel TEXT,
//                range_low REAL, range_high REAL, unit TEXT, tolerance_pct REAL,
//                standard TEXT, standard_serial TEXT, standard_certificate TEXT,
//                standard_uncertainty REAL, technician TEXT, ambient TEXT,
//                started_at TEXT, finished_at TEXT, as_found_pass INTEGER,
//                adjusted INTEGER, as_left_pass INTEGER, board TEXT,
//                firmware_version TEXT, decimals INTEGER, settle_window_s REAL,
//                settle_band_pct REAL)
//   points(calibration_id, phase, idx, nominal, reference, reading, error,
//          error_pct_span, pass, mean, stddev, peak_to_peak, samples, settle_s,
//          manual, raw_adc)
//   samples(calibration_id, phase, idx, t_ms, value)
//
// Times are ISO 8601 local times with their UTC offset; verdicts are 0 or 1,
// NULL while not reached; numbers not measured are NULL. The schema version is
// PRAGMA user_version: an empty file gets the current schema, an older one is
// migrated on open, a newer one is refused. Every write is one transaction.
//
// One store is one connection, usable from the thread that made it. Failures
// are false with error() and errorString() (the reason, in English, as the
// database gives it); the caller names path() when it tells the user.

#include "calibration/calibrationrecord.h"

#include <QDateTime>
#include <QString>
#include <QVariant>
#include <QVector>

#include <optional>

class QSqlQuery;

class CalibrationStore
{
public:
    static constexpr int SchemaVersion = 2;

    enum class Error
    {
        None,
        CannotOpen,   // missing driver, folder or file that cannot be made or opened
        Damaged,      // not a database, or a damaged one
        TooNew,       // written by a newer program: a schema this one does not know
        NotOurs,      // a database of some other program
        ReadOnly,     // the file or its folder may not be written
        Locked,       // another program holds the database past the wait
        WriteFailed,  // any other failure to write (a full disk, say)
        ReadFailed,   // any other failure to read
        NotFound,     // no calibration with that certificate or id
        NotOpen,      // open() has not succeeded
        InvalidRecord // a record the schema would refuse (say, no ten-digit meter number)
    };

    enum class Access
    {
        ReadWrite, // creates the file (and its folder) when missing
        ReadOnly   // the file must exist and is never written, not even migrated
    };

    struct Filter
    {
        QString meterNumber; // empty: every meter
        std::optional<CalibrationChannel> channel;
        QDateTime startedFrom;  // not valid: no lower limit
        QDateTime startedUntil; // not valid: no upper limit
    };

    // The file named by KV3PD_DB, else calibrations.sqlite in the data
    // folder of the application kv3pd (~/.local/share/kv3pd), whichever
    // program asks.
    static QString defaultPath();

    explicit CalibrationStore(const QString &path = defaultPath());
    ~CalibrationStore();
    CalibrationStore(const CalibrationStore &) = delete;
    CalibrationStore &operator=(const CalibrationStore &) = delete;

    QString path() const { return filePath; }
    Error error() const { return lastError; }
    QString errorString() const { return lastErrorText; }
    bool isOpen() const;

    // Opens the file, creating or migrating the schema where the access allows.
    bool open(Access access = Access::ReadWrite);
    // Whether a calibration could be kept now: takes the write lock and writes
    // without keeping anything. Call before a calibration starts.
    bool checkWritable();

    // Inserts the record's header (its points are not written): assigns id,
    // the next certificate number of the year it started in and, when not
    // valid, startedAt = now.
    bool beginCalibration(CalibrationRecord *record);
    // Stores the point and its window at once; a point of the same phase and
    // number taken before is replaced by it.
    bool savePoint(qint64 calibrationId, const CalibrationPoint &point);
    // The verdict of a phase: as_found_pass, adjusted or as_left_pass.
    bool setPhaseResult(qint64 calibrationId, CalibrationPhase phase, bool value);
    bool finishCalibration(qint64 calibrationId, const QDateTime &finishedAt);

    // The headers (without points) of the calibrations the filter lets
    // through, in the order they were started.
    bool listCalibrations(const Filter &filter, QVector<CalibrationRecord> *records);
    // A whole record with its points and their windows; Error::NotFound when
    // there is no such calibration.
    bool loadCalibration(const QString &certificate, CalibrationRecord *record);
    bool loadCalibration(qint64 id, CalibrationRecord *record);

private:
    bool fail(Error error, const QString &text);
    bool failQuery(const QSqlQuery &query, Error fallback);
    bool exec(QSqlQuery &query, Error fallback);
    bool migrate(Access access);
    bool loadWhere(const QString &column, const QVariant &value, CalibrationRecord *record);
    bool loadPoints(CalibrationRecord *record);

    QString filePath;
    QString connectionName;
    Error lastError = Error::None;
    QString lastErrorText;
};
