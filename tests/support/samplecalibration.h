#pragma once

// A finished pressure calibration of meter 1911140042 (0.1..1.6 MPa, three
// points a phase), stored through the records' own API: as found with the
// middle point out of tolerance and the last taken by hand, an adjustment,
// as left within tolerance. Returns the record as loaded back, or an empty
// one when the store failed.

#include "calibration/calibrationrecord.h"

#include <QString>

CalibrationRecord storeSampleCalibration(const QString &databasePath);
