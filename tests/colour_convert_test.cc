#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

#include "colour/convert.h"
#include "colour/numeric.h"
#include "tintwell.h"

namespace tnt {
namespace {

constexpr uint32_t Sig(const char (&s)[5]) { return TNT_SIG(s[0], s[1], s[2], s[3]); }
uint32_t SigOf(const char* s) { return TNT_SIG(s[0], s[1], s[2], s[3]); }

const uint32_t kXYZ = Sig("XYZ ");
const uint32_t kLab = Sig("Lab ");
const uint32_t kLCh = Sig("LCh ");
const uint32_t kLuv = Sig("Luv ");
const uint32_t kLChu = Sig("LChu");
const uint32_t kYxy = Sig("Yxy ");

// ------------------------------------------------------------ numeric

TEST(Numeric, MatrixInverseIntervalsAndLinearMaps) {
    // A display's RGB-to-XYZ matrix: M * M^-1 must be the identity, in place too.
    double m[9] = {0.4361, 0.3851, 0.1431, 0.2225, 0.7169, 0.0606, 0.0139, 0.0971, 0.7141};
    double inv[9];
    ASSERT_EQ(InvertMatrix3x3(m, inv), TNT_OK);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            double s = 0;
            for (int k = 0; k < 3; ++k) s += m[r * 3 + k] * inv[k * 3 + c];
            EXPECT_NEAR(s, r == c ? 1.0 : 0.0, 1e-12) << r << "," << c;
        }
    ASSERT_EQ(InvertMatrix3x3(m, m), TNT_OK);
    EXPECT_EQ(std::memcmp(m, inv, sizeof m), 0);
    // Singular (two equal rows, or tiny elements): the output is left alone.
    const double twin[9] = {1, 2, 3, 1, 2, 3 + 1e-8, 0, 1, 5}, tiny[9] = {1e-4, 0, 0, 0, 1e-4, 0, 0, 0, 1e-4};
    double out[9] = {-7};
    EXPECT_EQ(InvertMatrix3x3(twin, out), TNT_ERR_SINGULAR_MATRIX);
    EXPECT_EQ(InvertMatrix3x3(tiny, out), TNT_ERR_SINGULAR_MATRIX);
    EXPECT_EQ(out[0], -7.0);

    // Bisection against a linear search on an uneven table of every size.
    double table[40];
    for (int i = 0; i < 40; ++i) table[i] = i * i * 0.25 - 3.0;
    for (int n = 2; n <= 40; ++n)
        for (double x = -4.0; x < table[n - 1]; x += 0.37) {
            int expect = 0;
            for (int i = 0; i + 1 < n; ++i)
                if (table[i] <= x && x < table[i + 1]) expect = i;
            EXPECT_EQ(FindInterval(n, table, x), expect) << n << " " << x;
        }
    EXPECT_EQ(FindInterval(4, table, std::numeric_limits<double>::quiet_NaN()), 0);

    EXPECT_DOUBLE_EQ(MapLinear(0, 10, 1, 20, 2), 30.0);  // extrapolates
    EXPECT_EQ(MapLinear(5, 0, 5 + 1.0e-7, 1, 7), 7.0);   // degenerate interval keeps y0
    const double a[2] = {1, 6}, b[2] = {0, -3};
    double q[2];
    DivideVectors(2, a, b, q);
    EXPECT_EQ(q[0], 3.4e38);
    EXPECT_EQ(q[1], -2.0);
}

// ------------------------------------------------------------ ConvertColor

void ExpectNear3(const double* got, double a, double b, double c, double tolerance) {
    EXPECT_NEAR(got[0], a, tolerance);
    EXPECT_NEAR(got[1], b, tolerance);
    EXPECT_NEAR(got[2], c, tolerance);
}

TEST(ConvertColor, UnsupportedSpacesReportAndLeaveWhatTheyReached) {
    const double rgb[3] = {10, 20, 30};
    double out[3] = {0, 0, 0};
    EXPECT_EQ(ConvertColor(Sig("RGB "), rgb, Sig("RGB "), out), TNT_OK);
    EXPECT_EQ(std::memcmp(rgb, out, sizeof out), 0);
    EXPECT_EQ(ConvertColor(Sig("RGB "), rgb, kLab, out), TNT_ERR_UNSUPPORTED_SPACE);
    EXPECT_EQ(std::memcmp(rgb, out, sizeof out), 0);
    // Converting from a destination-only space fails and keeps the input.
    EXPECT_EQ(ConvertColor(Sig("LChm"), rgb, kXYZ, out), TNT_ERR_UNSUPPORTED_SPACE);
    EXPECT_EQ(std::memcmp(rgb, out, sizeof out), 0);
    EXPECT_EQ(ConvertColor(Sig("Labm"), rgb, kLab, out), TNT_ERR_UNSUPPORTED_SPACE);
    EXPECT_EQ(ConvertColor(Sig("LChm"), rgb, Sig("LChm"), out), TNT_OK);

    // A failed destination leaves the colour as XYZ.
    const double lab[3] = {100, 0, 0};
    EXPECT_EQ(ConvertColor(kLab, lab, Sig("RGB "), out), TNT_ERR_UNSUPPORTED_SPACE);
    ExpectNear3(out, 96.42, 100.0, 82.49, 1e-12);
    EXPECT_EQ(ConvertColor(kLab, lab, Sig("LabK"), out), TNT_ERR_UNSUPPORTED_SPACE);
    EXPECT_EQ(ConvertColor(kLab, lab, 3, out), TNT_ERR_UNSUPPORTED_SPACE);
}

TEST(ConvertColor, WhiteAndBlackLandOnTheirKnownValues) {
    double out[3];
    struct Case { const char* space; double a, b, c, tolerance; };
    for (const Case& w : {Case{"Lab ", 100, 0, 0, 1e-12}, {"Tnt ", 100, 0, 0, 1e-12}, {"cie1", 100, 0, 0, 1e-9},
                          {"Tntx", 100, 100, 100, 1e-7}, {"Luv ", 100, 0, 0, 1e-12}, {"LMSj", 96.42, 100, 82.49, 1e-12}}) {
        ASSERT_EQ(ConvertColor(kXYZ, kD50White, SigOf(w.space), out), TNT_OK);
        ExpectNear3(out, w.a, w.b, w.c, w.tolerance);
    }
    // The stored 'LMSh' inverse's first row sums to 0.9999.
    ASSERT_EQ(ConvertColor(Sig("LMSh"), kD50White, kXYZ, out), TNT_OK);
    ExpectNear3(out, 96.42 * 0.9999, 100, 82.49, 1e-12);
    // Black has no chromaticity: Yxy reports the white's; Luv avoids 0/0.
    const double black[3] = {0, 0, 0};
    ASSERT_EQ(ConvertColor(kXYZ, black, kYxy, out), TNT_OK);
    ExpectNear3(out, 0, 96.42 / 278.91, 100.0 / 278.91, 1e-15);
    ASSERT_EQ(ConvertColor(kXYZ, black, kLuv, out), TNT_OK);
    ExpectNear3(out, 0, 0, 0, 0);
}

// The stored degrees per radian, 57.29577951289617, is the reciprocal of the
// stored 0.01745329252 and 3.2e-12 below 180/pi, so angles in degrees are
// that much (relatively) small: the hue 270, reached as -90 + 360, comes out
// 2.9e-10 high.
TEST(ConvertColor, PolarFormsAndInPlaceUse) {
    double c[3] = {50, 0, -10};
    ASSERT_EQ(ConvertColor(kLab, c, kLCh, c), TNT_OK);
    ExpectNear3(c, 50, 10, 270, 1e-9);
    ASSERT_EQ(ConvertColor(kLCh, c, kLab, c), TNT_OK);
    ExpectNear3(c, 50, 0, -10, 1e-9);
    // Each quadrant's hue, and the direct Luv pair.
    const double cases[][3] = {{1, 1, 45}, {-1, 1, 135}, {-1, -1, 225}, {1, -1, 315}, {-1, 0, 180}};
    for (const auto& q : cases) {
        double v[3] = {40, q[0], q[1]};
        ASSERT_EQ(ConvertColor(kLuv, v, kLChu, v), TNT_OK);
        ExpectNear3(v, 40, std::sqrt(q[0] * q[0] + q[1] * q[1]), q[2], 1e-9);
    }
    // The direct pairs do not pass through XYZ: an L that XYZ would clamp
    // (negative) survives.
    double negative[3] = {-5, 3, 4};
    ASSERT_EQ(ConvertColor(kLab, negative, kLCh, negative), TNT_OK);
    ExpectNear3(negative, -5, 5, 53.13010235415598, 1e-9);
    // Lab to LChu is not a direct pair: it goes through XYZ and Luv.
    double lab[3] = {60, 20, -30};
    double luv[3];
    double lchu[3];
    ASSERT_EQ(ConvertColor(kLab, lab, kLuv, luv), TNT_OK);
    ASSERT_EQ(ConvertColor(kLab, lab, kLChu, lchu), TNT_OK);
    EXPECT_NEAR(lchu[1], std::hypot(luv[1], luv[2]), 1e-12);
}

TEST(ConvertColor, GuardsAndCorrectedLCh) {
    double out[3];
    // y = 0 is read as y = 0.01; the X it implies is then limited to 200.
    const double flat[3] = {50, 0.3, 0};
    ASSERT_EQ(ConvertColor(kYxy, flat, kXYZ, out), TNT_OK);
    ExpectNear3(out, 200, 50, 200, 0);
    // Below L = 0.1 Luv gives X = 0 and Z clamped to 0.
    const double dark[3] = {0.05, 30, -40};
    ASSERT_EQ(ConvertColor(kLuv, dark, kXYZ, out), TNT_OK);
    EXPECT_EQ(out[0], 0.0);
    EXPECT_EQ(out[2], 0.0);
    // 'Tnt ' reads negative XYZ as 0; 'Tntx' continues linearly below 0.
    const double below[3] = {-1, -1, -1};
    ASSERT_EQ(ConvertColor(kXYZ, below, Sig("Tnt "), out), TNT_OK);
    ExpectNear3(out, 0, 0, 0, 0);
    ASSERT_EQ(ConvertColor(kXYZ, below, Sig("Tntx"), out), TNT_OK);
    ExpectNear3(out, -1000 / 96.42, -10.0, -1000 / 82.49, 1e-12);

    // The corrected white: L' about 112.22 and a hue the correction moves
    // below 0 without wrapping it.
    ASSERT_EQ(ConvertColor(kXYZ, kD50White, Sig("LChm"), out), TNT_OK);
    EXPECT_NEAR(out[0], 112.22, 0.01);
    EXPECT_NEAR(out[2], 57.29577951289617 * (0.17914 - 0.09622 - 0.06742 - 0.02137 - 0.00587), 1e-12);
    // Labm is LChm in rectangular form, and the chroma is compressed.
    for (double h = 0; h < 360; h += 15) {
        double lch[3] = {55, 40, h}, xyz[3], m[3], r[3];
        ASSERT_EQ(ConvertColor(kLCh, lch, kXYZ, xyz), TNT_OK);
        ASSERT_EQ(ConvertColor(kXYZ, xyz, Sig("LChm"), m), TNT_OK);
        ASSERT_EQ(ConvertColor(kXYZ, xyz, Sig("Labm"), r), TNT_OK);
        ExpectNear3(r, m[0], m[1] * std::cos(m[2] * 0.01745329252), m[1] * std::sin(m[2] * 0.01745329252), 1e-9);
        EXPECT_NEAR(m[1], 12.253 * std::log(1 + 0.1131 * 40) + 0.181547 * 40, 1e-6);
    }
}

// XYZ -> space -> XYZ over a grid that is denser near black (cubic spacing),
// so the companding thresholds and the guards are crossed. The error is
// measured relative to the colour's largest component.
struct RoundTrip {
    const char* name;
    double tolerance;
};

TEST(ConvertColor, RoundTripsThroughEverySpaceThatConvertsBothWays) {
    const RoundTrip spaces[] = {
        // The Lab family: the forward piece below 0.008856 has slope 7.787,
        // the inverse's 841/108, so dark values come back 4.76e-6 short.
        {"Lab ", 5e-6}, {"LCh ", 5e-6}, {"Luv ", 5e-6}, {"LChu", 5e-6},
        {"Yxy ", 1e-12},
        // The stored cone and 'cie1' inverses are rounded to four or five
        // digits (2.954 for 2.9543..., -2.174 for -2.1739...), which bounds
        // these round trips.
        {"LMSh", 2e-4}, {"LMSj", 6e-4}, {"cie1", 4e-5},
        {"Tnt ", 1e-12}, {"TntL", 1e-12}, {"Tntx", 1e-12},
    };
    const int n = 24;
    auto level = [&](int i) {
        const double u = static_cast<double>(i) / n;
        return 199.997 * u * u * u;
    };
    for (const RoundTrip& rt : spaces) {
        const uint32_t space = SigOf(rt.name);
        SCOPED_TRACE(rt.name);
        int checked = 0;
        for (int i = 0; i <= n; ++i)
            for (int j = 0; j <= n; ++j)
                for (int k = 0; k <= n; ++k) {
                    const double xyz[3] = {level(i), level(j), level(k)};
                    const double sum = xyz[0] + xyz[1] + xyz[2];
                    const bool luvFamily = space == kLuv || space == kLChu;
                    // Luv: below L = 0.1 (Y < 0.0111) the inverse sets X = 0
                    // and Z = 0, and for D <= 0.001 the forward drops u, v.
                    if (luvFamily && xyz[1] < 0.0111) continue;
                    // Yxy: y <= 0.01 is read as 0.01, and black (sum < 0.01)
                    // becomes the white's chromaticity, so X and Z are lost.
                    if (space == kYxy && (xyz[1] <= 0.01 * sum || sum < 0.01)) continue;
                    double v[3];
                    ASSERT_EQ(ConvertColor(kXYZ, xyz, space, v), TNT_OK);
                    ASSERT_EQ(ConvertColor(space, v, kXYZ, v), TNT_OK);
                    const double scale = std::fmax(std::fmax(xyz[0], xyz[1]), std::fmax(xyz[2], 1e-3));
                    for (int c = 0; c < 3; ++c) {
                        ASSERT_NEAR(v[c], xyz[c], rt.tolerance * scale)
                            << xyz[0] << " " << xyz[1] << " " << xyz[2] << " channel " << c;
                    }
                    ++checked;
                }
        EXPECT_GT(checked, 10000);
    }
    // What the guards cost: Luv loses X and Z of a colour with no Y.
    const double noY[3] = {10, 0, 10};
    double v[3];
    ASSERT_EQ(ConvertColor(kXYZ, noY, kLuv, v), TNT_OK);
    ASSERT_EQ(ConvertColor(kLuv, v, kXYZ, v), TNT_OK);
    ExpectNear3(v, 0, 0, 0, 0);
}

// ------------------------------------------------------------ Little CMS
//
// Little CMS works in XYZ with Y = 1 and its D50 white is 0.9642, 1, 0.8249,
// the same white as ours scaled by 1/100. Its Lab companding switches at
// (6/29)^3 = 0.0088564517 with slope 841/108; ours switches at 0.008856 with
// slope 7.787. Away from the threshold the two agree to rounding; at it,
// they differ by 3.8e-5 in L.

cmsCIEXYZ ToLcms(const double* xyz) { return {xyz[0] / 100.0, xyz[1] / 100.0, xyz[2] / 100.0}; }

// Our degrees per radian is 3.2e-12 (relative) below 180/pi.
constexpr double kHueSlack = 3.3e-12;

double HueGap(double a, double b) {
    double d = std::fabs(a - b);
    return d > 180 ? 360 - d : d;
}

// Little CMS has no Luv, so that reference is the CIE 1976 definition, with
// the exact CIE constants; above the threshold it matches ours to rounding.
void CieLuv(const double* xyz, double* out) {
    const double* w = kD50White;
    const double t = xyz[1] / w[1];
    const double lightness = t > 216.0 / 24389.0 ? 116.0 * std::cbrt(t) - 16.0 : 24389.0 / 27.0 * t;
    const double d = xyz[0] + 15 * xyz[1] + 3 * xyz[2];
    const double dw = w[0] + 15 * w[1] + 3 * w[2];
    out[0] = lightness;
    out[1] = 13 * lightness * (4 * xyz[0] / d - 4 * w[0] / dw);
    out[2] = 13 * lightness * (9 * xyz[1] / d - 9 * w[1] / dw);
}

// Hue is judged as arc length, since it is ill-defined near C = 0, allowing
// for our degrees-per-radian constant.
void ExpectPolar(const double* ours, double l, double c, double h) {
    EXPECT_NEAR(ours[0], l, 1e-9);
    EXPECT_NEAR(ours[1], c, 1e-9);
    EXPECT_LT(HueGap(ours[2], h) * c, 1e-9 + kHueSlack * h * c);
}

TEST(LittleCmsReference, ForwardFromXyzAgreesAwayFromTheLabThreshold) {
    const cmsCIEXYZ* white = cmsD50_XYZ();
    int compared = 0;
    for (double x = 1.0; x <= 190.0; x *= 1.23)
        for (double y = 1.0; y <= 190.0; y *= 1.19)
            for (double z = 1.0; z <= 190.0; z *= 1.21) {
                const double xyz[3] = {x, y, z};
                double lab[3], lch[3], yxy[3], luv[3], lchu[3], ref[3];
                ASSERT_EQ(ConvertColor(kXYZ, xyz, kLab, lab), TNT_OK);
                ASSERT_EQ(ConvertColor(kXYZ, xyz, kLCh, lch), TNT_OK);
                ASSERT_EQ(ConvertColor(kXYZ, xyz, kYxy, yxy), TNT_OK);
                ASSERT_EQ(ConvertColor(kXYZ, xyz, kLuv, luv), TNT_OK);
                ASSERT_EQ(ConvertColor(kXYZ, xyz, kLChu, lchu), TNT_OK);
                const cmsCIEXYZ in = ToLcms(xyz);
                cmsCIELab refLab;
                cmsXYZ2Lab(white, &refLab, &in);
                cmsCIELCh refLch;
                cmsLab2LCh(&refLch, &refLab);
                cmsCIExyY refYxy;
                cmsXYZ2xyY(&refYxy, &in);
                ExpectNear3(lab, refLab.L, refLab.a, refLab.b, 1e-9);
                ExpectPolar(lch, refLch.L, refLch.C, refLch.h);
                ExpectNear3(yxy, refYxy.Y * 100, refYxy.x, refYxy.y, 1e-12);
                CieLuv(xyz, ref);
                ExpectNear3(luv, ref[0], ref[1], ref[2], 1e-9);
                double hue = std::atan2(ref[2], ref[1]) * 180.0 / std::numbers::pi;
                ExpectPolar(lchu, ref[0], std::hypot(ref[1], ref[2]), hue < 0 ? hue + 360 : hue);
                ++compared;
            }
    EXPECT_GT(compared, 10000);
}

TEST(LittleCmsReference, LabAndLChBackToXyzAgreeEverywhere) {
    // Both inverses switch at 6/29 with slope 108/841, so the dark piece is
    // included. LCh differs only by the stored radians-per-degree constant
    // (0.01745329252 against pi/180, 3e-12 relative).
    const cmsCIEXYZ* white = cmsD50_XYZ();
    for (double l = 0; l <= 100; l += 2.5)
        for (double a = -120; a <= 120; a += 7.5)
            for (double b = -120; b <= 120; b += 7.5) {
                const double lab[3] = {l, a, b};
                double xyz[3];
                ASSERT_EQ(ConvertColor(kLab, lab, kXYZ, xyz), TNT_OK);
                const cmsCIELab in = {l, a, b};
                cmsCIEXYZ ref;
                cmsLab2XYZ(white, &ref, &in);
                ExpectNear3(xyz, ref.X * 100, ref.Y * 100, ref.Z * 100, 1e-9);

                cmsCIELCh lch;
                cmsLab2LCh(&lch, &in);
                const double ours[3] = {lch.L, lch.C, lch.h};
                ASSERT_EQ(ConvertColor(kLCh, ours, kXYZ, xyz), TNT_OK);
                cmsCIELab back;
                cmsLCh2Lab(&back, &lch);
                cmsLab2XYZ(white, &ref, &back);
                ExpectNear3(xyz, ref.X * 100, ref.Y * 100, ref.Z * 100, 1e-6);
            }
}

}  // namespace
}  // namespace tnt
