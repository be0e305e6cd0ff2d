#pragma once

// What a guided calibration of one channel is set up with: the points it
// asks for (taken from the channel's calibration page), the tolerance, the
// settling rule and the reference standard. No widgets: the wizard fills it.

#include "calibration/calibration.h"
#include "calibration/calibrationrecord.h"

#include <QString>
#include <QVector>
#include <QtGlobal>

// The channel's multi-point calibration page as it stands: the range and its
// unit, the unit of the standard values, the number of points and their
// standard values (NaN where the text is not a number).
struct ChannelPage
{
    CalibrationChannel channel = CalibrationChannel::Pressure;
    float rangeLow = qQNaN();
    float rangeHigh = qQNaN();
    uint rangeUnit = 0; // unit codes of unitNames
    uint standardUnit = 0;
    LevelMedium medium{1.0f, 9.8f}; // of the user settings, for a level range
    int points = 0;
    QVector<float> standard;
};

enum class PlanError
{
    None,
    Range,      // the range ends are not numbers, or high is not above low
    PointCount, // not 2..5 points
    Units       // the range's unit has no conversion into the standard unit
};

// The nominal values of the points, in the range's unit: the page's standard
// values when they are that many distinct numbers, otherwise the range divided
// as the page's even division does it. Rounded to the six digits shown.
PlanError nominalPoints(const ChannelPage &page, QVector<double> *nominals);

struct CalibrationPlan
{
    ChannelPage page;
    QVector<double> nominals; // nominalPoints() of the page
    double tolerancePct = 0.25;
    double windowSeconds = 3.0;
    double bandPct = 0.0625;
    QString standard;
    QString standardSerial;
    QString standardCertificate;
    double standardUncertainty = qQNaN(); // expanded, k = 2, in the range's unit
    QString technician;
    QString ambient;
    quint32 meter = 0;     // the meter number of the instrument calibrated
    quint16 meterType = 0; // register 74
    QString board;         // as the window shows the item
    QString firmwareVersion;
    int decimals = -1; // of the display, in the range's unit; -1 when not known
    double span() const { return double(page.rangeHigh) - double(page.rangeLow); }
};

// The display's resolution in the range's unit, as decimals: the decimals
// of the display unit when it is the range's, otherwise the coarsest whole
// number of decimals whose digit is no finer than the display's (a digit of
// 0.01 psi is 6.9e-5 MPa: 4). -1 when there is no conversion.
int decimalsInUnit(int decimals, uint displayUnit, uint rangeUnit, const LevelMedium &medium);

// Error of the point (reading - reference) in the unit and in % of the span
// and, outside the adjust phase, whether it is within the tolerance.
void judgePoint(CalibrationPoint *point, double span, double tolerancePct);
