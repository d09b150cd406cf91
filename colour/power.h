// Powers x^a for one exponent a, tabulated once for code that meets the
// same power in thousands of colours and quantizes the results (a link's
// grid: a gamma's inverse per channel, the cube roots of 'Lab '). The
// tabulated power is not exact to the last bit, so its users keep std::pow
// as the reference: they take the table's value only where a result lies
// far enough from a quantization step that an error of kPowerRelativeError
// cannot move it to another code, and otherwise compute with std::pow.
#pragma once

#include <cstdint>
#include <cstring>

namespace tnt {

// Bound on the relative error of TablePower; the true error stays near
// 1e-15.
constexpr double kPowerRelativeError = 1e-13;

// Binary exponents of x that a table covers: x in [2^-64, 2^16).
constexpr int kPowerMinExponent = -64;
constexpr int kPowerMaxExponent = 15;

// x = 2^e m with m in [1, 2) is split at the nearest c = 1 + i/256:
// x^a = (2^a)^e c^a (m/c)^a, where m/c lies within 1/512 of 1 and its power
// is a short binomial series.
struct PowerTable {
    double exponent;
    double series[5];    // C(a, k): (1 + r)^a = sum of series[k] r^k
    double inverse[257];  // 1 / (1 + i/256), rounded
    double mantissa[257];  // inverse[i]^-a: c^a for the rounded c
    double scale[kPowerMaxExponent - kPowerMinExponent + 1];  // 2^(e a)
};

// Fills `table` for exponent a with std::pow. False (the table unusable)
// unless 0 < a <= 4, the range in which the series is good to 1e-15.
bool PreparePowerTable(double a, PowerTable* table);

// How close to an integer a quantized value computed from TablePower may
// come before its user falls back to std::pow. The users' errors stay below
// 1e-6 in these units, far inside it, and about one value in two thousand
// falls back.
constexpr double kQuantizeTolerance = 1.0 / 4096;

// x^a within kPowerRelativeError, or false for x that is not a normal
// positive number inside the covered exponents (*result is then unset).
inline bool TablePower(const PowerTable* table, double x, double* result) {
    uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    // The sign bit lands in e too, so negatives fail the range test, as do
    // zero, subnormals, infinities and NaN.
    const int64_t e = int64_t(bits >> 52) - 1023;
    if (e < kPowerMinExponent || e > kPowerMaxExponent) return false;
    const uint64_t fraction = bits & 0x000FFFFFFFFFFFFFull;
    const uint64_t i = (fraction + (uint64_t{1} << 43)) >> 44;
    const uint64_t mBits = fraction | 0x3FF0000000000000ull;
    double m;
    std::memcpy(&m, &mBits, sizeof m);
    const double r = m * table->inverse[i] - 1.0;
    const double* s = table->series;
    const double r2 = r * r;
    const double p = (s[0] + s[1] * r) + r2 * ((s[2] + s[3] * r) + r2 * s[4]);
    *result = p * table->mantissa[i] * table->scale[e - kPowerMinExponent];
    return true;
}

// Whether truncating t (the value a quantizer truncates to a code) could
// give another integer were t off by `tolerance`: t within tolerance of an
// integer, NaN or beyond 2^52.
inline bool NearInteger(double t, double tolerance) {
    if (!(t > -4503599627370496.0 && t < 4503599627370496.0)) return true;
    const double fraction = t - double(int64_t(t));  // exact, in (-1, 1)
    const double distance = fraction < 0.0 ? -fraction : fraction;
    return distance < tolerance || distance > 1.0 - tolerance;
}

}  // namespace tnt
