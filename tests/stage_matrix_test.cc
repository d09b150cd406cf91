// Tone curves, matrix/tone-curve stages and gray stages.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/memory.h"
#include "stage/stage.h"
#include "support/profile_builder.h"

using namespace tnt;
using namespace tnt_test;

namespace {

WorkColor Color(uint16_t a, uint16_t b = 0, uint16_t c = 0) {
    WorkColor w{};
    w.channel[0] = a;
    w.channel[1] = b;
    w.channel[2] = c;
    for (int k = 3; k < kWorkChannels; ++k) w.channel[k] = uint16_t(1000 + k);
    return w;
}

// Builds a stage and fails the test when that does not work.
TransformStage Built(Profile* p, uint32_t direction) {
    TransformStage s;
    ClearStage(&s);
    EXPECT_EQ(BuildStage(&s, p, direction, 0), 0);
    return s;
}

}  // namespace

TEST(StageCurves, EvaluateAndInvert) {
    // No entries: identity; one: a u8Fixed8 gamma; two: a line (a flat one
    // inverts to y); more: sampled, clamped, a flat stretch inverting to its start.
    const double line[2] = {0.2, 0.6}, flat[2] = {0.5, 0.5}, t[5] = {0.1, 0.2, 0.5, 0.5, 0.9};
    auto make = [](uint32_t kind, const double* table, uint32_t length) {
        ToneCurve c{};
        c.kind = kind;
        c.table = const_cast<double*>(table);
        c.length = length;
        c.param[0] = 0x0233 / 256.0;
        return c;
    };
    const ToneCurve identity = make(kCurveIdentity, nullptr, 0), gamma = make(kCurveGamma, nullptr, 0);
    const ToneCurve straight = make(kCurveSampled, line, 2), level = make(kCurveSampled, flat, 2);
    const ToneCurve sampled = make(kCurveSampled, t, 5);
    EXPECT_EQ(InvertToneCurve(identity, 0.3), 0.3);
    EXPECT_DOUBLE_EQ(EvaluateToneCurve(gamma, 0.5), std::pow(0.5, 2.19921875));
    EXPECT_DOUBLE_EQ(EvaluateToneCurve(gamma, -0.5), 0.0);
    EXPECT_DOUBLE_EQ(InvertToneCurve(level, 0.3), 0.3);
    EXPECT_DOUBLE_EQ(EvaluateToneCurve(sampled, 2.0), 0.9);
    EXPECT_DOUBLE_EQ(InvertToneCurve(sampled, 0.05), 0.0);
    EXPECT_DOUBLE_EQ(InvertToneCurve(sampled, 0.95), 1.0);
    EXPECT_DOUBLE_EQ(InvertToneCurve(sampled, 0.5), 0.5);
    for (double x = 0; x <= 1.0; x += 1.0 / 64) {
        EXPECT_NEAR(InvertToneCurve(gamma, EvaluateToneCurve(gamma, x)), x, 1e-12);
        EXPECT_NEAR(InvertToneCurve(straight, EvaluateToneCurve(straight, x)), x, 1e-12);
        if (x <= 0.5 || x > 0.75) {
            EXPECT_NEAR(InvertToneCurve(sampled, EvaluateToneCurve(sampled, x)), x, 1e-12) << x;
        }
    }
}

// 'para' of every form, read from its tag, against Little CMS's
// evaluation; its inverse lands back on y wherever the curve reaches y. A
// falling or level curve is inverted through its samples; an unknown form
// or missing parameters are refused.
TEST(StageCurves, ParametricFormsAgreeWithLittleCms) {
    const struct Row {
        uint16_t function;
        std::vector<double> parameters;
        uint32_t kind;
        bool invertible;
    } rows[] = {
        {0, {2.2}, kCurveGamma, false},
        {1, {2.4, 1.1, -0.1}, kCurveParametric, true},
        {2, {1.8, 0.9, 0.05, 0.02}, kCurveParametric, true},
        {3, {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045}, kCurveParametric, true},
        {4, {2.2, 0.9, 0.1, 0.2, 0.1, 0.0, 0.0059}, kCurveParametric, true},
        {3, {2.2, 1.0, 0.0, 0.0, 0.2}, kCurveParametric, true},  // level below the break
        {4, {1.0, 1.0, 0.0, -0.5, 0.2, 0.0, 0.3}, kCurveParametric, false},  // falling first
        {0, {0.0}, kCurveParametric, false},                      // level
    };
    Profile* p = NewTestProfile(Sig("mntr"), Sig("GRAY"), Sig("XYZ "));
    for (const Row& r : rows) {
        SCOPED_TRACE(r.function);
        PutTag(p, Sig("kTRC"), ParaTag(r.function, r.parameters));
        ToneCurve c;
        ASSERT_EQ(ReadToneCurveTag(p, Sig("kTRC"), &c), 0);
        EXPECT_EQ(c.kind, r.kind);
        EXPECT_EQ(c.kind == kCurveParametric && c.invertible, r.invertible);
        cmsToneCurve* theirs = cmsBuildParametricToneCurve(nullptr, r.function + 1, c.param);
        ASSERT_NE(theirs, nullptr);
        for (double x = 0; x <= 1.0; x += 1.0 / 256) {
            const double y = EvaluateToneCurve(c, x);
            EXPECT_NEAR(y, std::clamp<double>(cmsEvalToneCurveFloat(theirs, float(x)), 0.0, 1.0), 2e-6) << x;
            const double back = InvertToneCurve(c, y);
            EXPECT_TRUE(back >= 0.0 && back <= 1.0) << x;
            if (r.invertible || r.kind == kCurveGamma) {
                EXPECT_NEAR(EvaluateToneCurve(c, back), y, 1e-12) << x;
            }
        }
        cmsFreeToneCurve(theirs);
        ReleaseToneCurve(&c);
    }
    ToneCurve c;
    PutTag(p, Sig("kTRC"), ParaTag(5, {1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(ReadToneCurveTag(p, Sig("kTRC"), &c), TNT_ERR_TAG_NOT_FOUND);
    PutTag(p, Sig("kTRC"), ParaTag(3, {2.4, 1, 0, 1}));
    EXPECT_EQ(ReadToneCurveTag(p, Sig("kTRC"), &c), TNT_ERR_TAG_RANGE);
    TntCloseProfile(p);
}

TEST(StageMatrix, ForwardReverseAndPassThrough) {
    const int64_t live = LiveBlockCount();
    Profile* p = MatrixProfile(Sig("mntr"), SampledCurveTag(256, [](double x) { return std::pow(x, 2.2); }));
    TransformStage fwd = Built(p, 0), rev = Built(p, 1);
    ASSERT_EQ(fwd.kind, kStageMatrixForward);
    ASSERT_EQ(rev.kind, kStageMatrixReverse);
    WorkColor c, out;

    // Forward then reverse comes back to the device colour, in place.
    for (uint16_t r : {0, 1000, 20000, 40000, 65535}) {
        for (uint16_t g : {0, 30000, 65535}) {
            WorkColor w = Color(r, g, 50000);
            ASSERT_EQ(ApplyStage(&fwd, &w, &w, 2), 0);
            ASSERT_EQ(ApplyStage(&rev, &w, &w, 2), 0);
            // Dark values sit on the flat foot of the 2.2 curve, where one
            // XYZ code spans many device codes.
            const double tol = r < 2000 ? 1500 : 60;
            EXPECT_NEAR(w.channel[0], r, tol);
            EXPECT_NEAR(w.channel[1], g, g < 2000 ? 1500 : 60);
            EXPECT_NEAR(w.channel[2], 50000, 60);
        }
    }
    // Without the core bit nothing changes.
    for (uint16_t flags : {0, 1, 4, 5}) {
        c = Color(123, 4567, 65535);
        for (TransformStage* s : {&fwd, &rev}) {
            ASSERT_EQ(ApplyStage(s, &c, &out, flags), 0);
            EXPECT_EQ(0, std::memcmp(&c, &out, sizeof c));
        }
    }
    ReleaseStageTables(&fwd);
    ReleaseStageTables(&rev);
    TntCloseProfile(p);

    // Two equal colorants: fine forward, singular in reverse, nothing kept.
    p = MatrixProfile(Sig("scnr"), CurveTag({}));
    PutTag(p, Sig("gXYZ"), XYZTag(kTestColorants[0][0], kTestColorants[0][1], kTestColorants[0][2]));
    fwd = Built(p, 0);
    c = Color(1000, 2000, 3000);
    ASSERT_EQ(ApplyStage(&fwd, &c, &out, kPassFull), 0);  // empty curves: linear
    EXPECT_NEAR(out.channel[1], (1000 + 2000) / 65535.0 * 0.2225 * 32767.5 + 3000 / 65535.0 * 0.0606 * 32767.5, 1.0);
    ReleaseStageTables(&fwd);
    TransformStage bad;
    ClearStage(&bad);
    EXPECT_EQ(BuildStage(&bad, p, 1, 0), TNT_ERR_SINGULAR_MATRIX);
    EXPECT_EQ(bad.data.matrix.curve[0].table, nullptr);
    // A curve count beyond the tag fails before its table is asked for.
    TntRemoveProfileElement(p, Sig("bTRC"));
    Bytes lying = CurveTag({1, 2, 3});
    uint32_t huge = 0x40000000;
    std::memcpy(lying.data() + 8, &huge, 4);
    PutTag(p, Sig("bTRC"), lying);
    EXPECT_EQ(BuildStage(&bad, p, 0, 0), TNT_ERR_TAG_RANGE);
    TntCloseProfile(p);
    EXPECT_EQ(LiveBlockCount(), live);
}

TEST(StageGray, ForwardReverseByPcs) {
    const int64_t live = LiveBlockCount();
    // Identity curve: gray 0 is the lightest value; L 65280 is L 100.
    Profile* lab = GrayProfile(Sig("mntr"), CurveTag({}), Sig("Lab "));
    TransformStage fwd = Built(lab, 0), rev = Built(lab, 1);
    struct Case { TransformStage* stage; WorkColor in; uint16_t l, a; } cases[] = {
        {&fwd, Color(0, 7, 7), 65535, 32768}, {&fwd, Color(65535), 0, 32768},
        {&rev, Color(65280, 32768, 32768), 0, 32768}, {&rev, Color(0), 65535, 0}};
    WorkColor c, out;
    for (const Case& k : cases) {
        ASSERT_EQ(ApplyStage(k.stage, &k.in, &out, kPassFull), 0);
        EXPECT_EQ(out.channel[0], k.l);
        if (k.stage == &fwd) {
            EXPECT_EQ(out.channel[1], k.a);
        }
    }
    c = Color(11, 22, 33);
    ASSERT_EQ(ApplyStage(&rev, &c, &out, 5), 0);  // without the core all channels are copied
    EXPECT_EQ(0, std::memcmp(&c, &out, sizeof c));

    // A PCS changed to something else after building fails, output untouched.
    ProfileHeader h;
    TntGetProfileHeader(lab, &h);
    h.pcs = Sig("RGB ");
    TntSetProfileHeader(lab, &h);
    WorkColor before = Color(9, 9, 9);
    out = before;
    c = Color(5);
    EXPECT_EQ(ApplyStage(&fwd, &c, &out, kPassFull), TNT_ERR_GRAY_PCS);
    EXPECT_EQ(ApplyStage(&rev, &c, &out, kPassFull), TNT_ERR_GRAY_PCS);
    EXPECT_EQ(0, std::memcmp(&before, &out, sizeof out));
    ReleaseStageTables(&fwd);
    ReleaseStageTables(&rev);
    TntCloseProfile(lab);

    // XYZ: the D50 white scaled by the curve value; gamma 2 and back.
    Profile* xyz = GrayProfile(Sig("prtr"), GammaCurveTag(2.0));
    fwd = Built(xyz, 0);
    rev = Built(xyz, 1);
    ASSERT_EQ(fwd.kind, kStageGrayForward);
    c = Color(65535 / 2);
    ASSERT_EQ(ApplyStage(&fwd, &c, &out, kPassFull), 0);
    const double y = std::pow(1.0 - (65535 / 2) / 65535.0, 2.0);
    EXPECT_NEAR(out.channel[0], y * 0.9642 * 32767.5, 1);
    EXPECT_NEAR(out.channel[1], y * 32767.5, 1);
    EXPECT_NEAR(out.channel[2], y * 0.8249 * 32767.5, 1);
    ASSERT_EQ(ApplyStage(&rev, &out, &out, kPassFull), 0);
    EXPECT_NEAR(out.channel[0], 65535 / 2, 2);
    ReleaseStageTables(&fwd);
    ReleaseStageTables(&rev);
    TntCloseProfile(xyz);
    EXPECT_EQ(LiveBlockCount(), live);
}

// The forward matrix stage of real display profiles against Little CMS's
// RGB -> XYZ of the same file (relative colorimetric, no optimisation).
// Ours writes XYZ on a scale where 65535 is 2.0, rounded: half a code is
// 1.5e-5. Little CMS evaluates sampled curves through 16-bit interpolation
// and rounds each curve output to 16 bits (up to a code, 1.5e-5, times a
// matrix row sum of at most about 1). Together: 1.5 codes, 4.6e-5.
// Negative XYZ (wide-gamut colorants) is compared as 0, which the
// encoding makes of it.
TEST(StageMatrix, AgreesWithLittleCms) {
    int checked = 0;
    cmsHPROFILE xyzProfile = cmsCreateXYZProfile();
    for (const std::string& path : RealProfilePaths()) {
        ProfileLocation loc = FileLocationOf(path);
        Profile* p = nullptr;
        ASSERT_EQ(TntOpenProfile(&p, &loc), 0);
        TransformStage s;
        ClearStage(&s);
        if (BuildStage(&s, p, 0, 1) != 0 || s.kind != kStageMatrixForward) {
            ReleaseStageTables(&s);
            TntCloseProfile(p);
            continue;
        }
        SCOPED_TRACE(path);
        cmsHPROFILE h = cmsOpenProfileFromFile(path.c_str(), "r");
        ASSERT_NE(h, nullptr);
        cmsHTRANSFORM t = cmsCreateTransform(h, TYPE_RGB_16, xyzProfile, TYPE_XYZ_DBL,
                                             INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOOPTIMIZE);
        ASSERT_NE(t, nullptr);
        double worst = 0;
        for (uint32_t r = 0; r <= 65535; r += 4369)
            for (uint32_t g = 0; g <= 65535; g += 4369)
                for (uint32_t b = 0; b <= 65535; b += 13107) {
                    uint16_t rgb[3] = {uint16_t(r), uint16_t(g), uint16_t(b)};
                    cmsCIEXYZ ref;
                    cmsDoTransform(t, rgb, &ref, 1);
                    WorkColor c = Color(rgb[0], rgb[1], rgb[2]);
                    ASSERT_EQ(ApplyStage(&s, &c, &c, kPassFull), 0);
                    const double ours[3] = {c.channel[0] * 2 / 65535.0, c.channel[1] * 2 / 65535.0,
                                            c.channel[2] * 2 / 65535.0};
                    // Wide-gamut colorants reach slightly negative XYZ,
                    // which the 16-bit encoding holds as 0.
                    const double theirs[3] = {std::max(ref.X, 0.0), std::max(ref.Y, 0.0), std::max(ref.Z, 0.0)};
                    for (int k = 0; k < 3; ++k) worst = std::max(worst, std::fabs(ours[k] - theirs[k]));
                }
        EXPECT_LE(worst, 4.6e-5);
        cmsDeleteTransform(t);
        cmsCloseProfile(h);
        ReleaseStageTables(&s);
        TntCloseProfile(p);
        ++checked;
    }
    cmsCloseProfile(xyzProfile);
    EXPECT_GE(checked, 20);
}
