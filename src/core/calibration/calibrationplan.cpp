#include "calibration/calibrationplan.h"

#include <QStringList>

#include <cmath>

namespace {

// As the page and the prompt show it.
double shown(float value)
{
    return QString::number(double(value), 'g', 6).toDouble();
}

bool distinct(const QVector<double> &values)
{
    for (int i = 0; i < values.size(); ++i) {
        for (int j = i + 1; j < values.size(); ++j) {
            if (values[i] == values[j])
                return false;
        }
    }
    return true;
}

// Values of the standard unit into the range's unit; false when one does not convert.
bool toRangeUnit(const ChannelPage &page, const QVector<float> &standard, QVector<double> *out)
{
    QVector<double> converted;
    for (float value : standard) {
        float inRange = 0.0f;
        if (!std::isfinite(value) ||
            !convertUnit(value, page.standardUnit, page.rangeUnit, page.medium, &inRange) ||
            !std::isfinite(inRange))
            return false;
        converted << shown(inRange);
    }
    *out = converted;
    return true;
}

} // namespace

PlanError nominalPoints(const ChannelPage &page, QVector<double> *nominals)
{
    if (page.points < 2 || page.points > 5)
        return PlanError::PointCount;
    if (!std::isfinite(page.rangeLow) || !std::isfinite(page.rangeHigh) ||
        !(page.rangeHigh > page.rangeLow))
        return PlanError::Range;

    QVector<double> fromPage;
    if (page.standard.size() >= page.points &&
        toRangeUnit(page, page.standard.mid(0, page.points), &fromPage) && distinct(fromPage)) {
        *nominals = fromPage;
        return PlanError::None;
    }

    float low = page.rangeLow;
    float high = page.rangeHigh;
    if (!convertRange(&low, &high, page.rangeUnit, page.standardUnit, page.medium))
        return PlanError::Units;
    const uint n = uint(page.points);
    const QStringList texts = page.channel == CalibrationChannel::Pressure
                                  ? evenDivisionPressureTexts(low, high, n)
                                  : evenDivisionTemperatureTexts(low, high, n);
    QVector<float> standard;
    for (int k = 0; k < page.points && k < texts.size(); ++k)
        standard << texts[k].toFloat();
    QVector<double> divided;
    if (standard.size() != page.points || !toRangeUnit(page, standard, &divided) ||
        !distinct(divided))
        return PlanError::Units;
    *nominals = divided;
    return PlanError::None;
}

int decimalsInUnit(int decimals, uint displayUnit, uint rangeUnit, const LevelMedium &medium)
{
    if (decimals < 0 || displayUnit == rangeUnit)
        return decimals;
    // A difference, so the offset of a temperature scale drops out.
    const float digit = float(std::pow(10.0, -decimals));
    float zero = 0.0f;
    float one = 0.0f;
    if (!convertUnit(0.0f, displayUnit, rangeUnit, medium, &zero) ||
        !convertUnit(digit, displayUnit, rangeUnit, medium, &one) || !(one != zero))
        return -1;
    const double places = std::floor(-std::log10(std::fabs(double(one) - double(zero))) + 1e-6);
    return int(qBound(0.0, places, 9.0));
}

void judgePoint(CalibrationPoint *point, double span, double tolerancePct)
{
    point->error = point->reading - point->reference;
    point->errorPctSpan = point->error / span * 100.0;
    if (point->phase == CalibrationPhase::Adjust || !std::isfinite(point->error)) {
        point->pass.reset();
        return;
    }
    // Simple acceptance: within the tolerance, its edge included. The edge
    // is widened by rounding only, so 0.25 % of a span of 1.6 is 0.004.
    const double tolerance = tolerancePct / 100.0 * span;
    point->pass = std::fabs(point->error) <= tolerance * (1.0 + 1e-9);
}
