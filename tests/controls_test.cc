// Colour controls: the Lab adjustment, the contrast curve and its inverse,
// and the once-per-colour hooks.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "colour/controls.h"
#include "colour/encoding.h"

using namespace tnt;

namespace {

constexpr uint32_t kLab = TNT_SIG('L', 'a', 'b', ' ');

ColorControls Controls(double lightness, double contrast, double chroma, double ab, double a, double b) {
    return ColorControls{lightness, contrast, chroma, ab, a, b, kLab};
}

void Apply(ColorControls c, double L, double a, double b, double out[3]) {
    out[0] = L;
    out[1] = a;
    out[2] = b;
    ApplyLabControls(out, &c);
}

}  // namespace

TEST(ColourControls, LabAdjustments) {
    double v[3];
    Apply(Controls(0, 0, 0, 0, 0, 0), 37.5, -20.25, 61, v);
    EXPECT_DOUBLE_EQ(v[0], 37.5);
    EXPECT_DOUBLE_EQ(v[1], -20.25);
    EXPECT_DOUBLE_EQ(v[2], 61);
    Apply(Controls(1, 0, 0, 0, 0, 0), 40, 10, 10, v);
    EXPECT_DOUBLE_EQ(v[0], 60);
    Apply(Controls(-1, 0, 0, 0, 0, 0), 40, 10, 10, v);
    EXPECT_DOUBLE_EQ(v[0], 20);
    Apply(Controls(0, 0, -1, 0, 0, 0), 40, 10, -30, v);
    EXPECT_EQ(v[1], 0);
    EXPECT_EQ(v[2], 0);
    Apply(Controls(0, 0, 0, 0, 1, 0), 40, 10, -30, v);
    EXPECT_DOUBLE_EQ(v[1], 22.8);
    EXPECT_DOUBLE_EQ(v[2], -30);
    Apply(Controls(0, 0, 0, 1, 0, 0), 40, 10, -30, v);
    EXPECT_NEAR(v[1], 10 - 5.12, 1e-12);
    EXPECT_NEAR(v[2], -30 - 7.68, 1e-12);
    Apply(Controls(0, 0, 0, 0, 0, 1.5), 40, 0, 0, v);
    EXPECT_DOUBLE_EQ(v[2], 19.2) << "values beyond 1 are not clamped";
}

TEST(ColourControls, ContrastCurveAndItsInverse) {
    ColorControls up = Controls(0, 1, 0, 0, 0, 0);
    for (double fixed : {0.0, 0.5, 1.0}) EXPECT_DOUBLE_EQ(ContrastCurve(fixed, &up), fixed);
    EXPECT_DOUBLE_EQ(ContrastCurve(0.25, &up), 0.125);
    EXPECT_DOUBLE_EQ(ContrastCurve(0.75, &up), 0.875);
    ColorControls down = Controls(0, -1, 0, 0, 0, 0);
    EXPECT_NEAR(ContrastCurve(0.125, &down), 0.25, 1e-6);
    EXPECT_EQ(down.contrast, -1) << "the record is restored after the solver";
    // Lowering by c undoes raising by c. The solver stops when the curve
    // value is within 1.2e-7 of its target, which is what it guarantees;
    // where the curve is flat (slope 1 - c at the ends) the argument itself
    // can be off by up to sqrt(1.2e-7 / c).
    for (double c : {0.2, 0.7, 1.0}) {
        ColorControls raise = Controls(0, c, 0, 0, 0, 0), lower = Controls(0, -c, 0, 0, 0, 0);
        for (double x = 0; x <= 1.0; x += 1.0 / 64) {
            double y = ContrastCurve(x, &raise);
            double back = ContrastCurve(y, &lower);
            EXPECT_NEAR(ContrastCurve(back, &raise), y, 1.2e-7) << c << " " << x;
            EXPECT_NEAR(back, x, 3e-4) << c << " " << x;
        }
    }
    // A target outside the range converges to the nearer end.
    double r = -1;
    SolveByBisection([](double x, void*) { return x * x; }, 4.0, 0, 1, 100, &r, nullptr);
    EXPECT_NEAR(r, 1.0, 1e-6);
    SolveByBisection([](double x, void*) { return x * x; }, -1.0, 0, 1, 100, &r, nullptr);
    EXPECT_NEAR(r, 0.0, 1e-6);
}

TEST(ColourControls, HooksApplyOncePerColourAtTheFirstConvertibleSpace) {
    EXPECT_EQ(SetColorManipulationFunction(nullptr, 42), &DefaultColorManipulation);
    uintptr_t user = 0;
    EXPECT_EQ(ProcessColorManipulation(&user), nullptr);
    EXPECT_EQ(user, 42u);
    EXPECT_EQ(SetColorManipulationFunction(DefaultColorManipulation, 0), nullptr);
    EXPECT_EQ(EnableColorControls(7), 1);
    EXPECT_TRUE(ColorControlsEnabled());
    EXPECT_EQ(EnableColorControls(0), 0);

    SetColorControls(0, 0, 0, 0, 100, 0);  // a + 12.8
    uint16_t rgb[8] = {100, 200, 300, 0, 0, 0, 0, 0};
    EXPECT_EQ(DefaultColorManipulation(0, 2, TNT_SIG('R', 'G', 'B', ' '), rgb, 0), 0u);
    EXPECT_EQ(rgb[0], 100) << "a device colour is left alone";
    uint16_t lab[8] = {};
    EncodeColor16(kLab, std::array<double, 3>{50, 0, 0}.data(), lab);
    uint16_t before[8];
    std::copy(lab, lab + 8, before);
    EXPECT_EQ(DefaultColorManipulation(1, 2, kLab, lab, 0), 0u);
    double v[3];
    DecodeColor16(kLab, lab, v);
    EXPECT_NEAR(v[1], 12.8, 0.01);
    uint16_t after[8];
    std::copy(lab, lab + 8, after);
    EXPECT_EQ(DefaultColorManipulation(2, 2, kLab, lab, 0), 1u) << "once per colour";
    EXPECT_TRUE(std::equal(lab, lab + 8, after));
    // The next colour starts with index 0 and is adjusted again.
    std::copy(before, before + 8, lab);
    EXPECT_EQ(DefaultColorManipulation(0, 2, kLab, lab, 0), 0u);
    EXPECT_TRUE(std::equal(lab, lab + 8, after));
    SetColorControls(0, 0, 0, 0, 0, 0);

    // The link hook reads its six values at every call.
    int16_t values[6] = {0, 0, -100, 0, 0, 0};
    uint16_t colour[8] = {};
    EncodeColor16(kLab, std::array<double, 3>{60, 40, -40}.data(), colour);
    EXPECT_EQ(LinkColorManipulation(0, 1, kLab, colour, reinterpret_cast<uintptr_t>(values)), 0u);
    DecodeColor16(kLab, colour, v);
    EXPECT_NEAR(v[1], 0, 0.01);
    EXPECT_NEAR(v[2], 0, 0.01);
    EXPECT_NEAR(v[0], 60, 0.01);
}
