// Matching colours through transforms: packing, the hook, runs, white
// scaling, black preservation and colour controls on real profiles.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "colour/controls.h"
#include "colour/encoding.h"
#include "platform/memory.h"
#include "support/allocation_sweep.h"
#include "support/real_profiles.h"
#include "transform/match.h"
#include "transform/transform.h"

using namespace tnt;

namespace {

constexpr uint32_t kRGB = TNT_SIG('R', 'G', 'B', ' ');
constexpr uint32_t kLab = TNT_SIG('L', 'a', 'b', ' ');
constexpr uint32_t kCMYK = TNT_SIG('C', 'M', 'Y', 'K');

const std::string kSRGB = "/usr/share/color/icc/sRGB.icc";
const std::string kPrinter = tnt_test::TestProfile("fogra39-cmyk-lab-v2.icc");

MatchTransform* Make(const std::vector<std::string>& paths, uint32_t src = 0, uint32_t dst = 0,
                     const std::vector<uint16_t>& intents = {}, TntStatus* status = nullptr) {
    MatchTransform* t = TntNewTransformPtr();
    std::vector<ProfileLocation> locs;
    for (const auto& p : paths) locs.push_back(tnt_test::FileLocationOf(p));
    TntStatus st = TntConcatProfiles(t, src, dst, int16_t(paths.size()), locs.data(),
                                     intents.empty() ? nullptr : intents.data());
    if (status) *status = st;
    EXPECT_EQ(st, 0);
    return t;
}

struct HookCall {
    uint16_t index, count;
    uint32_t space;
};

uint32_t TNT_CALL RecordHook(uint16_t index, uint16_t count, uint32_t space, uint16_t*, uintptr_t user) {
    reinterpret_cast<std::vector<HookCall>*>(user)->push_back({index, count, space});
    return 0;
}

int gDisposed = 0;
uint32_t TNT_CALL CountDispose(uintptr_t user) {
    EXPECT_EQ(user, 77u);
    ++gDisposed;
    return 0;
}

}  // namespace

TEST(TransformMatch, PackingOfCallerColours) {
    uint16_t w[8] = {};
    uint8_t lab8[3] = {255, 128, 128};
    ASSERT_EQ(UnpackColor(lab8, kLab, 1, w), 0);
    EXPECT_EQ(w[0], 65280);
    EXPECT_EQ(w[1], 32768);
    EXPECT_EQ(w[2], 32768);
    uint8_t rgb8[3] = {255, 0, 128};
    ASSERT_EQ(UnpackColor(rgb8, kRGB, 1, w), 0);
    EXPECT_EQ(w[0], 65535);
    EXPECT_EQ(w[2], 32896);
    uint16_t lab16[3] = {0x12FF, 0x7F80, 0xFF90};
    uint8_t out[4] = {9, 9, 9, 9};
    PackColor(lab16, kLab, 1, out);
    EXPECT_EQ(out[0], 0x12);
    EXPECT_EQ(out[1], 0x80);
    EXPECT_EQ(out[2], 0xFF);
    EXPECT_EQ(out[3], 9) << "only the space's channels are written";
    EXPECT_EQ(UnpackColor(rgb8, TNT_SIG('F', 'C', 'L', 'R'), 1, w), TNT_ERR_UNSUPPORTED_SPACE)
        << "fifteen channels do not fit the working colour";
}

TEST(TransformMatch, HookIsCalledAroundEveryStageAndDisposedOnce) {
    MatchTransform* t = Make({kSRGB, kPrinter}, 0, kLab);
    std::vector<HookCall> calls;
    gDisposed = 0;
    TntUseColorManipulation(t, RecordHook, CountDispose, 77);
    // The dispose proc gets the user data it was installed with: swap in a
    // recorder for the calls, keeping the dispose check for the end.
    TntUseColorManipulation(t, RecordHook, CountDispose, reinterpret_cast<uintptr_t>(&calls));
    uint8_t rgb[3] = {10, 200, 30}, cmyk[4];
    ASSERT_EQ(TntICCSingleMatchProc(rgb, cmyk, t, 1), 0);
    ASSERT_EQ(calls.size(), size_t(t->stageCount) + 1);
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i].index, i);
        EXPECT_EQ(calls[i].count, t->stageCount);
    }
    EXPECT_EQ(calls[0].space, kRGB);
    EXPECT_EQ(calls.back().space, TntTransGetDstSpace(t));
    TntUseColorManipulation(t, RecordHook, CountDispose, 77);
    EXPECT_EQ(TntDisposeMatchTransform(t), 0);
    EXPECT_EQ(gDisposed, 1);
}

TEST(TransformMatch, RunsUseStridesAndLeaveExtrasAlone) {
    MatchTransform* t = Make({kSRGB, kPrinter});
    // 16-bit RGB with one extra channel: 8 bytes per colour; CMYK with one
    // extra: 10 bytes.
    std::vector<uint16_t> src = {0, 0, 0, 111, 65535, 65535, 65535, 222, 65535, 0, 0, 333};
    std::vector<uint16_t> dst(15, 0xBEEF);
    ASSERT_EQ(TntICCMatchColors(t, 0, src.data(), dst.data(), 3, 3, 4, 1, 1, 2), 0);
    for (int i = 0; i < 3; ++i) {
        uint16_t one[4];
        ASSERT_EQ(TntICCSingleMatchProc(&src[4 * i], one, t, 2), 0);
        EXPECT_EQ(std::memcmp(one, &dst[5 * i], 8), 0) << i;
        EXPECT_EQ(dst[5 * i + 4], 0xBEEF) << "extra channels are left untouched";
    }
    EXPECT_GT(dst[0 + 3], 60000) << "black has plenty of K";
    EXPECT_LT(dst[5 + 3], 2000) << "white has almost none";
    std::vector<uint16_t> untouched(dst);
    EXPECT_EQ(TntICCMatchColors(t, 0, src.data(), dst.data(), 0, 3, 4, 1, 1, 2), 0);
    EXPECT_EQ(TntICCMatchColors(t, 0, src.data(), dst.data(), -5, 3, 4, 1, 1, 2), 0);
    EXPECT_EQ(dst, untouched);
    EXPECT_EQ(TntDisposeMatchTransform(t), 0);
    EXPECT_EQ(LiveBlockCount(), 0);
}

TEST(TransformMatch, BlackPreservationOnARealPrinter) {
    MatchTransform* t = Make({kPrinter, kPrinter});
    double params[2] = {0, 50.0};
    ASSERT_EQ(TntSetPreserveBlack(t, params), 0);
    uint16_t kOnly[4] = {0, 0, 0, 60000}, out[4];
    ASSERT_EQ(TntICCSingleMatchProc(kOnly, out, t, 2), 0);
    EXPECT_EQ(out[3], 60000) << "K above the threshold comes back as it was";
    EXPECT_LT(out[0] + out[1] + out[2], 1500) << "the chain of a paper white adds little ink";
    uint16_t lowK[4] = {0, 0, 0, 20000}, low[4];
    ASSERT_EQ(TntICCSingleMatchProc(lowK, low, t, 2), 0);
    MatchTransform* plain = Make({kPrinter, kPrinter});
    uint16_t expect[4];
    ASSERT_EQ(TntICCSingleMatchProc(lowK, expect, plain, 2), 0);
    EXPECT_EQ(std::memcmp(low, expect, 8), 0) << "below the threshold the chain decides";
    ASSERT_EQ(TntICCSingleMatchProc(kOnly, expect, plain, 2), 0);
    EXPECT_NE(expect[3], 60000) << "without preservation K is rebuilt by the tables";
    TntDisposeMatchTransform(plain);
    TntDisposeMatchTransform(t);

    // Thresholds outside 0..100 % disable the hook; 0 % keeps every K.
    for (double percent : {-10.0, 150.0}) {
        MatchTransform* off = Make({kPrinter, kPrinter});
        double p[2] = {0, percent};
        TntSetPreserveBlack(off, p);
        ASSERT_EQ(TntICCSingleMatchProc(kOnly, out, off, 2), 0);
        EXPECT_NE(out[3], 60000) << percent;
        TntDisposeMatchTransform(off);
    }
    EXPECT_EQ(LiveBlockCount(), 0) << "the state is freed with the transform";
}

TEST(TransformMatch, ColourControlsThroughARealRgbToCmykTransform) {
    // Lab of an sRGB colour after a round trip through the printer, with and
    // without lightness raised by half.
    auto labOf = [](bool lighter) {
        MatchTransform* t = Make({kSRGB, kPrinter});
        if (lighter) {
            SetColorControls(60, 0, 0, 0, 0, 0);
            TntUseColorManipulation(t, DefaultColorManipulation, nullptr, 0);
        }
        uint16_t rgb[3] = {90 * 257, 110 * 257, 70 * 257};
        uint16_t cmyk[4];
        EXPECT_EQ(TntICCSingleMatchProc(rgb, cmyk, t, 2), 0);
        TntDisposeMatchTransform(t);
        SetColorControls(0, 0, 0, 0, 0, 0);
        MatchTransform* back = Make({kPrinter}, 0, kLab);
        uint16_t lab[3];
        EXPECT_EQ(TntICCSingleMatchProc(cmyk, lab, back, 2), 0);
        TntDisposeMatchTransform(back);
        std::array<double, 3> v;
        DecodeColor16(kLab, lab, v.data());
        return v;
    };
    std::array<double, 3> plain = labOf(false), lighter = labOf(true);
    EXPECT_NEAR(lighter[0] / plain[0], 1.3, 0.05) << plain[0] << " -> " << lighter[0];
    EXPECT_NEAR(lighter[1], plain[1], 2.0);
    EXPECT_NEAR(lighter[2], plain[2], 2.0);
}

TEST(TransformMatch, AbsoluteIntentScalesByTheMediaWhite) {
    // Debian's sRGB.icc keeps its D65 media white in 'wtpt'. Relative
    // intents put device white on D50; the absolute intent moves it to the
    // media white. Matrix stages write XYZ at 65535 / 2 per unit.
    for (uint16_t intent : {1, 3}) {
        MatchTransform* t = Make({kSRGB}, 0, 0, {intent});
        uint16_t white[3] = {65535, 65535, 65535};
        uint16_t xyz[3];
        ASSERT_EQ(TntICCSingleMatchProc(white, xyz, t, 2), 0);
        double X = xyz[0] / 32767.5, Y = xyz[1] / 32767.5, Z = xyz[2] / 32767.5;
        EXPECT_NEAR(Y, 1.0, 0.002);
        if (intent == 1) {
            EXPECT_NEAR(X, 0.9642, 0.002);
            EXPECT_NEAR(Z, 0.8249, 0.002);
        } else {
            EXPECT_NEAR(X, 0.9501, 0.002);
            EXPECT_NEAR(Z, 1.0883, 0.002);
        }
        TntDisposeMatchTransform(t);
    }
}

