#pragma once

// Calibration arithmetic of the two measuring channels: the polynomial that
// turns a raw ADC reading into an engineering value, the PT100 conversion of
// the temperature channel and the even division of a range into standard
// values. No widgets and no locks: callers that pass the mirror hold its lock.

#include "model/registermirror.h"

#include <QStringList>
#include <QtGlobal>

// Solves the n x n row-major system a * x = b by Gaussian elimination with
// partial pivoting; a and b are overwritten. False when the matrix is singular
// or the result is not finite.
bool solveLinearSystem(int n, double *a, double *x, double *b);

// Least-squares polynomial of the given degree through count points (x, y):
// coeff receives degree + 1 values, a0 first, in ascending powers of x. False,
// with coeff untouched, when the points cannot determine the polynomial (fewer
// distinct abscissae than degree + 1, a value that is not finite) or when a
// coefficient does not fit a float.
bool fitPolynomial(int count, const float *x, const float *y, int degree, float *coeff);

// PT100 (IEC 60751, R0 = 100 ohm). Resistance of t degrees Celsius; t above
// 850 counts as 850; NaN below -200 or for NaN.
float pt100Resistance(float t);
// Temperature of r ohm by Newton's method; r is clamped to 18.52 .. 390.481.
float pt100Temperature(float r);

// Density (g/cm3) and gravitational acceleration (m/s2) of the user settings:
// a liquid level of h metres stands for density * 1000 * gravity * h pascal.
struct LevelMedium
{
    float density;
    float gravity;
};

// Unit code of item index of a unit list whose first item is the code
// unitOffset; no item (-1, an unknown code was read) gives a code no
// conversion knows.
uint unitCodeOfItem(int index, int unitOffset);

// value, in the unit of code from (unitNames), expressed in the unit of code
// to. False where no conversion exists: an unknown code, a pressure or level
// against a temperature, a level against a pressure without a positive finite
// density and gravity, or a result beyond a float.
bool convertUnit(float value, uint from, uint to, const LevelMedium &medium, float *result);
// Both ends of a range; false, with low and high untouched, where either end
// has no conversion.
bool convertRange(float *low, float *high, uint from, uint to, const LevelMedium &medium);

// Standard-value texts of the five points when a pressure range is divided
// evenly into n points (n = 2..5); the points above n read "0". Empty when n
// is outside 2..5.
QStringList evenDivisionPressureTexts(float low, float high, uint n);
// The same for a temperature range in degrees Celsius, stepped in whole
// multiples of 10 ohm of the PT100 so a resistance decade can stand in for the
// sensor, as long as those points are distinct, increasing and inside the
// range; otherwise divided evenly in degrees. Empty when n is outside 2..5 or
// a range end has no PT100 resistance (below -200).
QStringList evenDivisionTemperatureTexts(float low, float high, uint n);

// The channel's multi-point calibration from the points in the mirror: coeff
// receives a0..a4, those above degree points - 1 as 0. False when the point
// count is outside 2..5 or the fit refuses the points.
bool fitChannel(const RegisterMirror &mirror, const Reg::Channel &channel, float coeff[5]);
// Stores the coefficients and resets what they make stale: the secondary line
// becomes the identity (offset 0, gain 1) through the range ends converted into
// the standard-value unit (as the range reads when there is no conversion; 0
// and 1 when an end is not a finite number), and the zero offset 0.
void storeChannelCalibration(RegisterMirror &mirror, const Reg::Channel &channel,
                             const float coeff[5]);
// Write all: fits and stores the channels the meter type (register 74) uses:
// 0 pressure only, 1 temperature only, 2 or an unknown type both. The unused
// channel keeps its stored coefficients and secondary line. False, with the
// mirror untouched, when a used channel's points are refused.
bool fitChannelsForWriteAll(RegisterMirror &mirror);
// Fits the secondary line through the channel's two points into its offset and
// gain and clears the zero offset. False, with the mirror untouched, when the
// points cannot define a line.
bool applySecondaryCalibration(RegisterMirror &mirror, const Reg::Channel &channel);
