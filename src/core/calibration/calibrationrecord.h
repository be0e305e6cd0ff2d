#pragma once

// One calibration of one channel as the records keep it: what was calibrated
// against what, and every point of each phase with the window of readings it
// was taken from. The calibration record store writes and reads these; the
// wizard fills them, the certificate and the history print them.
//
// A number that was not measured is NaN (NULL in the database); a verdict
// that was not reached is an empty std::optional (NULL).

#include "calibration/timedvalue.h"

#include <QDateTime>
#include <QString>
#include <QVector>
#include <QtGlobal>

#include <optional>

enum class CalibrationPhase
{
    AsFound,
    Adjust,
    AsLeft
};
// "as_found", "adjust", "as_left": the names in the database.
QString calibrationPhaseName(CalibrationPhase phase);
bool calibrationPhaseFromName(const QString &name, CalibrationPhase *phase);

enum class CalibrationChannel
{
    Pressure,
    Temperature
};
// "pressure", "temperature".
QString calibrationChannelName(CalibrationChannel channel);
bool calibrationChannelFromName(const QString &name, CalibrationChannel *channel);

// The meter type of register 74 as the records keep it, in words that do not
// depend on the interface language: "pressure", "temperature", "combined",
// or "unknown (N)".
QString meterTypeName(quint16 code);

struct CalibrationPoint
{
    CalibrationPhase phase = CalibrationPhase::AsFound;
    int idx = 1;                // the point's number: 1 for the first point of the phase
    double nominal = qQNaN();   // the value the technician was asked to apply
    double reference = qQNaN(); // what the reference standard showed
    double reading = qQNaN();   // the instrument's reading recorded for it
    double error = qQNaN();     // reading - reference, in the calibration's unit
    double errorPctSpan = qQNaN();
    std::optional<bool> pass; // none for the adjust phase
    // Statistics of the window the point was taken from.
    double mean = qQNaN();
    double stddev = qQNaN();
    double peakToPeak = qQNaN();
    int sampleCount = 0;
    double settleSeconds = qQNaN(); // from the prompt until the point was taken
    bool manual = false;            // taken by hand before the reading had settled
    double rawAdc = qQNaN();        // mean raw ADC reading over the window
    // The window itself, oldest first: the samples table.
    QVector<TimedValue> window;
};

struct CalibrationRecord
{
    qint64 id = 0;           // assigned by the store
    QString certificate;     // "KV<year>-<six digits>", assigned by the store
    QString meterNumber;     // ten digits, as the instrument shows it
    QString meterType;       // meterTypeName()
    QString board;           // the board model the instrument reports, "KV-3PD"
    QString firmwareVersion; // as the window shows it, "V1.05"
    CalibrationChannel channel = CalibrationChannel::Pressure;
    double rangeLow = qQNaN();
    double rangeHigh = qQNaN();
    QString unit;                  // of the range, the readings, the references and the errors
    int decimals = -1;             // the display's decimals in that unit; -1 when not known
    double tolerancePct = qQNaN(); // of span
    // The settling rule the points were taken by: the window in seconds and
    // the band in % of span.
    double settleWindowSeconds = qQNaN();
    double settleBandPct = qQNaN();
    QString standard; // the reference standard: name, serial, its certificate
    QString standardSerial;
    QString standardCertificate;
    double standardUncertainty = qQNaN(); // expanded, k = 2, in the unit
    QString technician;
    QString ambient;
    QDateTime startedAt;  // the store takes the present time when it is not valid
    QDateTime finishedAt; // not valid while the calibration runs
    std::optional<bool> asFoundPass;
    std::optional<bool> adjusted; // whether the adjustment was written
    std::optional<bool> asLeftPass;
    QVector<CalibrationPoint> points; // by phase, then by idx
};
