#include "calibration/calibration.h"

#include <QString>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <vector>

namespace {

// IEC 60751 coefficients of the Callendar-Van Dusen equation.
constexpr double R0 = 100.0;
constexpr double A = 3.9083e-3;
constexpr double B = -5.775e-7;
constexpr double C = -4.183e-12;

constexpr double Pt100MinOhm = 18.52;
constexpr double Pt100MaxOhm = 390.481;

double pt100Positive(double t)
{
    return R0 * (1.0 + A * t + B * t * t);
}

double pt100PositiveSlope(double t)
{
    return R0 * (A - 1.155e-6 * t);
}

double pt100Negative(double t)
{
    return R0 * (1.0 + A * t + B * t * t + 4.183e-10 * t * t * t + C * t * t * t * t);
}

double pt100NegativeSlope(double t)
{
    return R0 * (A - 1.155e-6 * t + 1.2549e-9 * t * t - 1.6732e-11 * t * t * t);
}

QString pointText(double value)
{
    return QString::number(value, 'g', 6);
}

// Unit codes of unitNames: 0..8 pressures, then two liquid levels and two
// temperatures.
constexpr uint LastPressureUnit = 8;
constexpr uint Millimetre = 9;
constexpr uint Metre = 10;
constexpr uint Celsius = 11;
constexpr uint Fahrenheit = 12;
constexpr uint UnknownUnit = 0xFFFF;

// Pascal per unit of the pressure codes: Pa, KPa, MPa, mmH2O, mH2O, bar, psi,
// atm, kgf/cm2 (conventional water column, standard gravity).
constexpr double PascalPerUnit[LastPressureUnit + 1] = {
    1.0, 1e3, 1e6, 9.80665, 9806.65, 1e5, 6894.757293168361, 101325.0, 98066.5};

bool isLevel(uint code)
{
    return code == Millimetre || code == Metre;
}

bool isTemperature(uint code)
{
    return code == Celsius || code == Fahrenheit;
}

double metresPerLevelUnit(uint code)
{
    return code == Millimetre ? 1e-3 : 1.0;
}

// Points 1..n at equal steps from low to high (exactly high last), "0" above n.
QStringList evenlySpacedTexts(float low, float high, uint n)
{
    const float step = (high - low) / float(n - 1);
    QStringList texts;
    for (uint k = 0; k + 1 < n; ++k)
        texts << pointText(double(low + float(k) * step));
    texts << pointText(double(high));
    while (texts.size() < 5)
        texts << QStringLiteral("0");
    return texts;
}

} // namespace

bool solveLinearSystem(int n, double *a, double *x, double *b)
{
    if (n <= 0)
        return false;
    for (int k = 0; k < n; ++k) {
        int pivot = k;
        for (int i = k + 1; i < n; ++i) {
            if (std::fabs(a[i * n + k]) > std::fabs(a[pivot * n + k]))
                pivot = i;
        }
        const double p = a[pivot * n + k];
        if (p == 0.0 || !std::isfinite(p))
            return false;
        if (pivot != k) {
            std::swap_ranges(a + k * n, a + (k + 1) * n, a + pivot * n);
            std::swap(b[k], b[pivot]);
        }
        for (int i = k + 1; i < n; ++i) {
            const double factor = a[i * n + k] / p;
            a[i * n + k] = 0.0;
            for (int j = k + 1; j < n; ++j)
                a[i * n + j] -= factor * a[k * n + j];
            b[i] -= factor * b[k];
        }
    }
    for (int i = n - 1; i >= 0; --i) {
        double sum = b[i];
        for (int j = i + 1; j < n; ++j)
            sum -= a[i * n + j] * x[j];
        x[i] = sum / a[i * n + i];
        if (!std::isfinite(x[i]))
            return false;
    }
    return true;
}

bool fitPolynomial(int count, const float *x, const float *y, int degree, float *coeff)
{
    const int terms = degree + 1;
    if (degree < 0 || count < terms)
        return false;

    std::vector<double> xs(x, x + count);
    for (int i = 0; i < count; ++i) {
        if (!std::isfinite(xs[i]) || !std::isfinite(double(y[i])))
            return false;
    }
    std::vector<double> distinct = xs;
    std::sort(distinct.begin(), distinct.end());
    if (std::unique(distinct.begin(), distinct.end()) - distinct.begin() < terms)
        return false;

    // Raw ADC readings reach 131071, whose fourth power is far beyond what a
    // float sum can hold accurately; fit on abscissae centred and scaled to
    // -1..1 instead and expand the result afterwards.
    const double centre = (distinct.front() + distinct.back()) / 2.0;
    double scale = (distinct.back() - distinct.front()) / 2.0;
    if (scale == 0.0)
        scale = 1.0;

    const size_t rows = size_t(count);
    const size_t cols = size_t(terms);
    std::vector<double> powers(rows * cols);
    for (size_t i = 0; i < rows; ++i) {
        const double u = (xs[i] - centre) / scale;
        double p = 1.0;
        for (size_t k = 0; k < cols; ++k) {
            powers[i * cols + k] = p;
            p *= u;
        }
    }

    std::vector<double> matrix(cols * cols);
    std::vector<double> rhs(cols);
    std::vector<double> b(cols);
    if (rows == cols) {
        // Interpolation: solve the Vandermonde system itself rather than the
        // normal equations, whose condition is its square.
        matrix = powers;
        for (size_t i = 0; i < rows; ++i)
            rhs[i] = double(y[i]);
    } else {
        for (size_t r = 0; r < cols; ++r) {
            for (size_t s = 0; s < cols; ++s) {
                double sum = 0.0;
                for (size_t i = 0; i < rows; ++i)
                    sum += powers[i * cols + r] * powers[i * cols + s];
                matrix[r * cols + s] = sum;
            }
            double sum = 0.0;
            for (size_t i = 0; i < rows; ++i)
                sum += powers[i * cols + r] * double(y[i]);
            rhs[r] = sum;
        }
    }
    if (!solveLinearSystem(terms, matrix.data(), b.data(), rhs.data()))
        return false;

    // p(u) with u = x / scale - centre / scale, expanded into powers of x by
    // Horner's scheme on polynomials.
    const double alpha = 1.0 / scale;
    const double beta = -centre / scale;
    std::vector<double> a(cols, 0.0);
    a[0] = b[cols - 1];
    for (size_t k = cols - 1; k-- > 0;) {
        for (size_t j = cols - 1; j >= 1; --j)
            a[j] = a[j] * beta + a[j - 1] * alpha;
        a[0] = a[0] * beta + b[k];
    }

    for (double value : a) {
        if (!std::isfinite(value) || std::fabs(value) > double(FLT_MAX))
            return false;
    }
    for (size_t k = 0; k < cols; ++k)
        coeff[k] = float(a[k]);
    return true;
}

float pt100Resistance(float t)
{
    if (std::isnan(t) || t < -200.0f)
        return std::numeric_limits<float>::quiet_NaN();
    const double td = t > 850.0f ? 850.0 : double(t);
    if (td >= 0.0)
        return float(pt100Positive(td));
    return float(R0 * (1.0 + A * td + B * td * td + C * (td - 100.0) * td * td * td));
}

float pt100Temperature(float r)
{
    double ohm = r;
    double t;
    bool positive;
    if (ohm < Pt100MinOhm) {
        ohm = Pt100MinOhm;
        t = -208.47939001611954;
        positive = false;
    } else if (ohm > Pt100MaxOhm) {
        ohm = Pt100MaxOhm;
        t = 743.2413069621063;
        positive = true;
    } else {
        t = (ohm / R0 - 1.0) / A;
        positive = ohm >= 100.0;
    }

    double next = t;
    for (int step = 0; step < 50; ++step) {
        if (positive)
            next = t + (ohm - pt100Positive(t)) / pt100PositiveSlope(t);
        else
            next = t + (ohm - pt100Negative(t)) / pt100NegativeSlope(t);
        if (std::fabs(next - t) < 0.001)
            return float(t);
        t = next;
    }
    return float(next);
}

uint unitCodeOfItem(int index, int unitOffset)
{
    return index < 0 ? UnknownUnit : uint(index + unitOffset);
}

bool convertUnit(float value, uint from, uint to, const LevelMedium &medium, float *result)
{
    if (from > Fahrenheit || to > Fahrenheit)
        return false;
    if (from == to) {
        *result = value;
        return true;
    }
    double converted = double(value);
    if (isTemperature(from) || isTemperature(to)) {
        if (!isTemperature(from) || !isTemperature(to))
            return false;
        converted = from == Fahrenheit ? (converted - 32.0) * 5.0 / 9.0 : converted * 1.8 + 32.0;
    } else if (isLevel(from) && isLevel(to)) {
        converted = converted * metresPerLevelUnit(from) / metresPerLevelUnit(to);
    } else {
        // A level and a pressure meet through the hydrostatic pressure
        // p = rho * g * h of the medium.
        const double density = double(medium.density);
        const double gravity = double(medium.gravity);
        const bool mediumKnown =
            std::isfinite(density) && std::isfinite(gravity) && density > 0.0 && gravity > 0.0;
        if ((isLevel(from) || isLevel(to)) && !mediumKnown)
            return false;
        const auto pascalPerUnit = [&](uint code) {
            return isLevel(code) ? density * 1000.0 * gravity * metresPerLevelUnit(code)
                                 : PascalPerUnit[code];
        };
        converted = converted * pascalPerUnit(from) / pascalPerUnit(to);
    }
    if (std::isfinite(value) && !(std::fabs(converted) <= double(FLT_MAX)))
        return false;
    *result = float(converted);
    return true;
}

bool convertRange(float *low, float *high, uint from, uint to, const LevelMedium &medium)
{
    float convertedLow;
    float convertedHigh;
    if (!convertUnit(*low, from, to, medium, &convertedLow) ||
        !convertUnit(*high, from, to, medium, &convertedHigh))
        return false;
    *low = convertedLow;
    *high = convertedHigh;
    return true;
}

QStringList evenDivisionPressureTexts(float low, float high, uint n)
{
    if (n < 2 || n > 5)
        return {};
    return evenlySpacedTexts(low, high, n);
}

QStringList evenDivisionTemperatureTexts(float low, float high, uint n)
{
    if (n < 2 || n > 5)
        return {};
    const float lowOhm = pt100Resistance(low);
    const float highOhm = pt100Resistance(high);
    if (std::isnan(lowOhm) || std::isnan(highOhm))
        return {};

    // Nearest multiple of 10 ohm, halves up.
    const int lowR = int(double(lowOhm) + 5.0) / 10 * 10;
    const int highR = int(double(highOhm) + 5.0) / 10 * 10;
    std::vector<float> ohms{float(lowR), float(highR)};
    if (n > 2) {
        // The step is rounded so the points land on multiples of 10 ohm.
        const int step = int(double(highR - lowR) / double(n - 1) + 7.0) / 10 * 10;
        ohms.clear();
        for (uint k = 0; k < n; ++k)
            ohms.push_back(float(lowR + int(k) * step));
    }

    // Multiples of 10 ohm lie some 26 degrees apart, so on a narrow range the
    // rounded points collapse or leave it. They are kept while they are
    // distinct, increasing and inside the range, give or take the little the
    // rounding to a decade box step moves an end (5 % of the span: 0..100 C in
    // three points still ends at 140 ohm, 103.94 C); otherwise the range is
    // divided evenly in degrees.
    const float slack = 0.05f * (high - low);
    QStringList texts;
    float previous = low;
    for (size_t k = 0; k < ohms.size(); ++k) {
        const float t = pt100Temperature(ohms[k]);
        if (!(t >= low - slack && t <= high + slack) || (k > 0 && t <= previous))
            return evenlySpacedTexts(low, high, n);
        texts << pointText(double(t));
        previous = t;
    }
    while (texts.size() < 5)
        texts << QStringLiteral("0");
    return texts;
}

bool fitChannel(const RegisterMirror &mirror, const Reg::Channel &channel, float coeff[5])
{
    const quint32 points = mirror.uint32(channel.points);
    if (points < 2 || points > 5)
        return false;
    float x[5], y[5];
    for (int i = 0; i < 5; ++i) {
        x[i] = mirror.float32(channel.captured + 2 * i);
        y[i] = mirror.float32(channel.standard + 2 * i);
    }
    float fitted[5] = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    if (!fitPolynomial(int(points), x, y, int(points) - 1, fitted))
        return false;
    std::copy(fitted, fitted + 5, coeff);
    return true;
}

void storeChannelCalibration(RegisterMirror &mirror, const Reg::Channel &channel,
                             const float coeff[5])
{
    for (int k = 0; k < 5; ++k)
        mirror.setFloat32(channel.coeff + 2 * k, coeff[k]);
    // The secondary line maps standard values, so its points are the range in
    // the standard-value unit. Without a conversion they keep the range as it
    // reads: the line is the identity either way.
    float low = mirror.float32(channel.rangeLow);
    float high = mirror.float32(channel.rangeHigh);
    const LevelMedium medium{mirror.float32(Reg::density), mirror.float32(Reg::gravity)};
    convertRange(&low, &high, mirror.at(channel.rangeUnit), mirror.at(channel.stdUnit), medium);
    // A range end that is no number (erased memory reads as NaN) gives no
    // point; the identity then goes through 0 and 1, so only numbers are sent.
    if (!std::isfinite(low) || !std::isfinite(high)) {
        low = 0.0f;
        high = 1.0f;
    }
    mirror.setFloat32(channel.ecjzOffset, 0.0f);
    mirror.setFloat32(channel.ecjzGain, 1.0f);
    mirror.setFloat32(channel.ecjzCaptured, low);
    mirror.setFloat32(channel.ecjzCaptured + 2, high);
    mirror.setFloat32(channel.ecjzStandard, low);
    mirror.setFloat32(channel.ecjzStandard + 2, high);
    mirror.setFloat32(channel.zero, 0.0f);
}

bool fitChannelsForWriteAll(RegisterMirror &mirror)
{
    const quint16 type = mirror.at(Reg::meterType);
    const bool usesPressure = type != 1;
    const bool usesTemperature = type != 0;
    float pressureCoeff[5];
    float temperatureCoeff[5];
    // Both fits first: a refused channel must not leave the other one
    // half-prepared in the mirror.
    if (usesPressure && !fitChannel(mirror, Reg::pressure, pressureCoeff))
        return false;
    if (usesTemperature && !fitChannel(mirror, Reg::temperature, temperatureCoeff))
        return false;
    if (usesPressure)
        storeChannelCalibration(mirror, Reg::pressure, pressureCoeff);
    if (usesTemperature)
        storeChannelCalibration(mirror, Reg::temperature, temperatureCoeff);
    return true;
}

bool applySecondaryCalibration(RegisterMirror &mirror, const Reg::Channel &channel)
{
    const float x[2] = {mirror.float32(channel.ecjzCaptured),
                        mirror.float32(channel.ecjzCaptured + 2)};
    const float y[2] = {mirror.float32(channel.ecjzStandard),
                        mirror.float32(channel.ecjzStandard + 2)};
    float line[2];
    if (!fitPolynomial(2, x, y, 1, line))
        return false;
    mirror.setFloat32(channel.ecjzOffset, line[0]);
    mirror.setFloat32(channel.ecjzGain, line[1]);
    mirror.setFloat32(channel.zero, 0.0f);
    return true;
}
