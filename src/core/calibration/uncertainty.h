#pragma once

// The uncertainty a certificate states for one calibration point, combined as
// EA-4/02 does: three standard uncertainties in the calibration's unit, added
// in quadrature, expanded with k = 2.
//   reference:  the reference standard's stated expanded uncertainty (k = 2) / 2
//   mean:       the standard deviation of the mean of the recorded window, s / sqrt(n)
//   resolution: half a digit of the display's last decimal, rectangular: 0.5 * 10^-d / sqrt(3)
// A part that cannot be known (no stated uncertainty, fewer than two samples,
// unknown decimals) makes the combined and the expanded uncertainty NaN: a
// certificate then states none rather than one too small.

struct PointUncertainty
{
    static constexpr double CoverageFactor = 2.0;

    double reference = 0.0;
    double mean = 0.0;
    double resolution = 0.0;
    double combined = 0.0; // u_c
    double expanded = 0.0; // U = CoverageFactor * u_c

    static PointUncertainty of(double standardExpanded, double stddev, int samples, int decimals);
};

// A positive number rounded up to two significant digits, as a stated
// uncertainty is; NaN and non-positive numbers are returned as they are.
double roundUpUncertainty(double value);
// The decimal places a value rounded by roundUpUncertainty() needs (0 for 12,
// 3 for 0.012); -1 for NaN.
int uncertaintyDecimals(double rounded);
