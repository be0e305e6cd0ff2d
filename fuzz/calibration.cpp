// The calibration arithmetic (calibration/calibration) fed any points, ranges and
// units, finite or not, directly and through a mirror of any register values.
//
// Input: point count, degree, six abscissae and six values (floats, any bits);
// a range (two floats), its unit and target unit codes, density and gravity;
// then registers 42 on, high byte first (the rest read 0).
//
// Properties: each fit either refuses, leaving its output untouched, or gives
// finite coefficients; a conversion of finite ends gives finite ends or
// refuses; write all and the secondary calibration either refuse with the
// mirror untouched or store no value that is not finite, and touch nothing
// outside the channels they work on.

#include "calibration/calibration.h"

#include "fuzzsupport.h"

#include <cfloat>
#include <cmath>
#include <cstring>

namespace {

constexpr float Unset = 1234.5f;

bool finiteFloat(float value)
{
    return std::isfinite(value) && std::fabs(value) <= FLT_MAX;
}

bool sameMirror(const RegisterMirror &a, const RegisterMirror &b)
{
    return std::memcmp(a.data(), b.data(), sizeof(quint16) * RegisterMirror::Size) == 0;
}

// The registers a channel's calibration may change: coefficients, the
// secondary line and its points, the zero offset.
bool calibrationRegister(const Reg::Channel &c, int reg)
{
    return (reg >= c.coeff && reg < c.coeff + 10) ||
           (reg >= c.ecjzCaptured && reg < c.ecjzCaptured + 4) ||
           (reg >= c.ecjzStandard && reg < c.ecjzStandard + 4) ||
           (reg >= c.ecjzOffset && reg < c.ecjzOffset + 4) || reg == c.zero || reg == c.zero + 1;
}

void checkStoredFloats(const RegisterMirror &m, const Reg::Channel &c)
{
    for (int k = 0; k < 5; ++k)
        FUZZ_CHECK(finiteFloat(m.float32(c.coeff + 2 * k)));
    for (int reg : {c.ecjzCaptured, c.ecjzCaptured + 2, c.ecjzStandard, c.ecjzStandard + 2,
                    c.ecjzOffset, c.ecjzGain, c.zero})
        FUZZ_CHECK(finiteFloat(m.float32(reg)));
}

void checkFit(FuzzInput &in)
{
    const int count = in.byte() % 7;
    const int degree = int(in.byte() % 7) - 1;
    float x[6], y[6];
    for (float &v : x)
        v = in.float32();
    for (float &v : y)
        v = in.float32();
    float coeff[6] = {Unset, Unset, Unset, Unset, Unset, Unset};
    const bool fitted = fitPolynomial(count, x, y, degree, coeff);
    FUZZ_CHECK(!fitted || (degree >= 0 && count > degree));
    for (int k = 0; k < 6; ++k)
        FUZZ_CHECK(fitted && k <= degree ? finiteFloat(coeff[k]) : coeff[k] == Unset);
}

void checkConversion(FuzzInput &in)
{
    const float low = in.float32();
    const float high = in.float32();
    const uint from = in.byte() % 16;
    const uint to = in.byte() % 16;
    const LevelMedium medium{in.float32(), in.float32()};
    float newLow = low;
    float newHigh = high;
    if (!convertRange(&newLow, &newHigh, from, to, medium)) {
        FUZZ_CHECK(std::memcmp(&newLow, &low, sizeof low) == 0);
        FUZZ_CHECK(std::memcmp(&newHigh, &high, sizeof high) == 0);
        return;
    }
    FUZZ_CHECK(!finiteFloat(low) || finiteFloat(newLow));
    FUZZ_CHECK(!finiteFloat(high) || finiteFloat(newHigh));

    for (uint n = 0; n < 7; ++n) {
        const int texts = evenDivisionPressureTexts(newLow, newHigh, n).size();
        FUZZ_CHECK(texts == 0 || texts == 5);
        const int temperatures = evenDivisionTemperatureTexts(newLow, newHigh, n).size();
        FUZZ_CHECK(temperatures == 0 || temperatures == 5);
    }
}

void checkChannels(const RegisterMirror &mirror)
{
    for (const Reg::Channel *c : {&Reg::pressure, &Reg::temperature}) {
        float coeff[5] = {Unset, Unset, Unset, Unset, Unset};
        const bool fitted = fitChannel(mirror, *c, coeff);
        for (float v : coeff)
            FUZZ_CHECK(fitted ? finiteFloat(v) : v == Unset);

        RegisterMirror secondary = mirror;
        if (applySecondaryCalibration(secondary, *c)) {
            FUZZ_CHECK(finiteFloat(secondary.float32(c->ecjzOffset)));
            FUZZ_CHECK(finiteFloat(secondary.float32(c->ecjzGain)));
            FUZZ_CHECK(secondary.float32(c->zero) == 0.0f);
            for (int reg = 0; reg < RegisterMirror::Size; ++reg)
                FUZZ_CHECK(secondary.at(reg) == mirror.at(reg) || calibrationRegister(*c, reg));
        } else {
            FUZZ_CHECK(sameMirror(secondary, mirror));
        }
    }

    RegisterMirror all = mirror;
    if (!fitChannelsForWriteAll(all)) {
        FUZZ_CHECK(sameMirror(all, mirror));
        return;
    }
    const quint16 type = mirror.at(Reg::meterType);
    const bool pressure = type != 1;
    const bool temperature = type != 0;
    if (pressure)
        checkStoredFloats(all, Reg::pressure);
    if (temperature)
        checkStoredFloats(all, Reg::temperature);
    for (int reg = 0; reg < RegisterMirror::Size; ++reg) {
        FUZZ_CHECK(all.at(reg) == mirror.at(reg) ||
                   (pressure && calibrationRegister(Reg::pressure, reg)) ||
                   (temperature && calibrationRegister(Reg::temperature, reg)));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    FuzzInput in(data, size);
    checkFit(in);
    checkConversion(in);
    RegisterMirror mirror;
    for (int reg = Reg::address; reg < RegisterMirror::Size; ++reg)
        mirror.set(reg, in.word());
    checkChannels(mirror);
    return 0;
}
