#include "calibration/uncertainty.h"

#include <QtGlobal>

#include <algorithm>
#include <cmath>

PointUncertainty PointUncertainty::of(double standardExpanded, double stddev, int samples,
                                      int decimals)
{
    PointUncertainty u;
    u.reference = standardExpanded >= 0 ? standardExpanded / CoverageFactor : qQNaN();
    u.mean = samples >= 2 && stddev >= 0 ? stddev / std::sqrt(double(samples)) : qQNaN();
    u.resolution = decimals >= 0 ? 0.5 * std::pow(10.0, -decimals) / std::sqrt(3.0) : qQNaN();
    // NaN propagates through the sum: one unknown part, no combined value.
    u.combined =
        std::sqrt(u.reference * u.reference + u.mean * u.mean + u.resolution * u.resolution);
    u.expanded = CoverageFactor * u.combined;
    return u;
}

namespace {

// The exponent of the second significant digit of a positive value.
int secondDigitExponent(double value)
{
    return int(std::floor(std::log10(value))) - 1;
}

} // namespace

double roundUpUncertainty(double value)
{
    if (!(value > 0) || !std::isfinite(value))
        return value;
    const int exponent = secondDigitExponent(value);
    const double scaled = value * std::pow(10.0, -exponent);
    // A value already on two digits stays (0.25 is not 0.26 for a stray last bit).
    const double nearest = std::round(scaled);
    const double digits = std::abs(scaled - nearest) < 1e-9 ? nearest : std::ceil(scaled);
    // Divided rather than multiplied by a power below one: 12 / 10000 is the
    // double nearest 0.0012, 12 * 0.0001 is not.
    return exponent < 0 ? digits / std::pow(10.0, -exponent) : digits * std::pow(10.0, exponent);
}

int uncertaintyDecimals(double rounded)
{
    if (!(rounded > 0) || !std::isfinite(rounded))
        return -1;
    return std::max(0, -secondDigitExponent(rounded * (1 + 1e-12)));
}
