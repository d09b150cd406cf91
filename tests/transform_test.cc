// Transforms: the stages chains build and how they fail, packing, the hook,
// runs, black preservation. Matched colours are in the golden results.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "platform/memory.h"
#include "support/real_profiles.h"
#include "transform/match.h"
#include "transform/transform.h"

using namespace tnt;

namespace {

constexpr uint32_t kRGB = TNT_SIG('R', 'G', 'B', ' '), kCMYK = TNT_SIG('C', 'M', 'Y', 'K');
constexpr uint32_t kLab = TNT_SIG('L', 'a', 'b', ' '), kXYZ = TNT_SIG('X', 'Y', 'Z', ' ');
const std::string kSRGB = "/usr/share/color/icc/sRGB.icc";
const std::string kPrinter = tnt_test::TestProfile("fogra39-cmyk-lab-v2.icc");
const std::string kLink = tnt_test::TestProfile("srgb-to-fogra39-link-mft2-collink.icc");

MatchTransform* Make(const std::vector<std::string>& paths, uint32_t src = 0, uint32_t dst = 0,
                     const std::vector<uint16_t>& intents = {}, TntStatus* status = nullptr) {
    MatchTransform* t = TntNewTransformPtr();
    std::vector<ProfileLocation> locs;
    for (const auto& p : paths) locs.push_back(tnt_test::FileLocationOf(p));
    const TntStatus st = TntConcatProfiles(t, src, dst, int16_t(paths.size()), locs.data(), intents.empty() ? nullptr : intents.data());
    EXPECT_TRUE(status ? (*status = st, true) : st == 0) << st;
    return t;
}

std::vector<uint32_t> gHookSpaces;
uint16_t gHookCount = 0;
int gDisposed = 0;
uint32_t TNT_CALL RecordHook(uint16_t index, uint16_t count, uint32_t space, uint16_t*, uintptr_t) {
    EXPECT_EQ(index, gHookSpaces.size());
    gHookSpaces.push_back(space), gHookCount = count;
    return 0;
}
uint32_t TNT_CALL CountDispose(uintptr_t user) { return gDisposed += user == 77u, 0; }

}  // namespace

TEST(Transform, ShapesAndFailuresOfRealChains) {
    // The kind/direction/intent of every stage, or the status that stops the chain.
    struct Case { std::vector<std::string> paths; uint32_t src, dst; std::vector<uint16_t> intents; TntStatus status; const char* shape; uint32_t srcSpace, dstSpace; } cases[] = {
        {{kSRGB}, 0, kLab, {}, 0, "1/0/0 6/0/0", kRGB, kLab},  // closed by a conversion
        // Proofing: source, printer (in reverse, then forward), display.
        {{kSRGB, kPrinter, kSRGB}, 0, 0, {0, 2, 1}, 0, "1/0/0 5/1/0 5/0/2 2/1/2", kRGB, kRGB},
        // A Lab source: conversion, first profile in reverse with intents[0], forward with intents[1].
        {{kPrinter, kPrinter}, kLab, 0, {1, 2}, 0, "6/0/0 5/1/1 5/0/2 5/1/2", kLab, kCMYK},
        // No intents: the first header's intent rules; 0xFFFF takes the profile's own.
        {{kPrinter, kSRGB}, 0, 0, {}, 0, "5/0/1 2/1/1", kCMYK, kRGB},
        {{kSRGB, kPrinter}, 0, 0, {0xFFFF, 3}, 0, "1/0/0 5/1/0", kRGB, kCMYK},
        {{kLink, kPrinter}, 0, kLab, {}, 0, "5/0/0 5/0/0 6/0/0", kRGB, kLab},  // a link runs once
        {{kLink, kSRGB}, 0, 0, {}, TNT_ERR_CHAIN_MISMATCH, nullptr, 0, 0},
        {{kLink}, 0, kLab, {}, TNT_ERR_UNSUPPORTED_SPACE, nullptr, 0, 0},
        {{kSRGB, kSRGB}, 0, kCMYK, {}, TNT_ERR_SPACE_DISPLAY, nullptr, 0, 0},
        // 1 + 2 x 5 + 1 stages; ten profile stages leaving no slot for the closing conversion.
        {{kSRGB, kPrinter, kPrinter, kPrinter, kPrinter, kPrinter, kSRGB}, 0, 0, {}, TNT_ERR_TOO_MANY_STAGES, nullptr, 0, 0},
        {{kLink, kPrinter, kPrinter, kPrinter, kPrinter, kPrinter}, 0, kLab, {}, TNT_ERR_TOO_MANY_STAGES, nullptr, 0, 0},
        {{kSRGB, "/no/such/profile.icc"}, 0, 0, {}, TNT_ERR_CANNOT_OPEN_PROFILE, nullptr, 0, 0},
    };
    for (const Case& k : cases) {
        TntStatus status = 0;
        MatchTransform* t = Make(k.paths, k.src, k.dst, k.intents, &status);
        ASSERT_EQ(status, k.status) << (k.shape ? k.shape : "") << " " << k.paths.size();
        if (k.shape) {
            std::string shape;
            for (int i = 0; i < t->stageCount; ++i)
                shape += (i ? " " : "") + std::to_string(t->stages[i].kind) + "/" + std::to_string(t->stages[i].direction) + "/" + std::to_string(t->stages[i].intent);
            EXPECT_TRUE(shape == k.shape && TntTransGetSrcSpace(t) == k.srcSpace && TntTransGetDstSpace(t) == k.dstSpace) << shape;
        }
        TntDisposeMatchTransform(t);
    }
}

TEST(Transform, PackingHookAndRuns) {
    uint16_t w[8] = {}, v[8] = {}, one[4];
    uint8_t lab8[3] = {255, 128, 128}, rgb8[3] = {255, 0, 128}, out[4] = {9, 9, 9, 9};
    ASSERT_TRUE(UnpackColor(lab8, kLab, 1, w) == 0 && UnpackColor(rgb8, kRGB, 1, v) == 0);
    EXPECT_TRUE(w[0] == 65280 && w[1] == 32768 && w[2] == 32768 && v[0] == 65535 && v[1] == 0 && v[2] == 32896);
    PackColor(std::array<uint16_t, 3>{0x12FF, 0x7F80, 0xFF90}.data(), kLab, 1, out);
    EXPECT_TRUE(out[0] == 0x12 && out[1] == 0x80 && out[2] == 0xFF && out[3] == 9);
    EXPECT_EQ(UnpackColor(rgb8, TNT_SIG('F', 'C', 'L', 'R'), 1, w), TNT_ERR_UNSUPPORTED_SPACE);

    // The hook runs around every stage; its dispose proc gets its user data, once.
    MatchTransform* t = Make({kSRGB, kPrinter}, 0, kLab);
    gDisposed = 0, gHookSpaces.clear(), TntUseColorManipulation(t, RecordHook, CountDispose, 77);
    uint8_t rgb[3] = {10, 200, 30}, lab[3];
    ASSERT_TRUE(TntICCSingleMatchProc(rgb, lab, t, 1) == 0 && gHookSpaces.size() == size_t(t->stageCount) + 1);
    EXPECT_TRUE(gHookSpaces.front() == kRGB && gHookSpaces.back() == kLab && gHookCount == t->stageCount);
    EXPECT_TRUE(TntDisposeMatchTransform(t) == 0 && gDisposed == 1);

    // Runs with an extra channel each side: as colour by colour, extras untouched.
    t = Make({kSRGB, kPrinter});
    std::vector<uint16_t> src = {0, 0, 0, 111, 65535, 65535, 65535, 222, 65535, 0, 0, 333}, dst(15, 0xBEEF);
    ASSERT_EQ(TntICCMatchColors(t, 0, src.data(), dst.data(), 3, 3, 4, 1, 1, 2), 0);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(TntICCSingleMatchProc(&src[4 * i], one, t, 2), 0);
        EXPECT_TRUE(std::memcmp(one, &dst[5 * i], 8) == 0 && dst[5 * i + 4] == 0xBEEF) << i;
    }
    const std::vector<uint16_t> untouched(dst);
    for (int32_t count : {0, -5}) EXPECT_EQ(TntICCMatchColors(t, 0, src.data(), dst.data(), count, 3, 4, 1, 1, 2), 0);
    EXPECT_EQ(dst, untouched);
    TntDisposeMatchTransform(t);
}

TEST(Transform, BlackPreservationOnARealPrinter) {
    // K above the threshold comes back as it was, adding little ink; below
    // it, or with a threshold outside 0..100 %, the tables decide.
    uint16_t kOnly[4] = {0, 0, 0, 60000}, lowK[4] = {0, 0, 0, 20000}, plainLow[4], out[4];
    for (double percent : {-1.0, 50.0, 0.0, -10.0, 150.0}) {  // -1: not set, the tables' own answer first
        MatchTransform* t = Make({kPrinter, kPrinter});
        double params[2] = {0, percent};
        if (percent != -1.0) TntSetPreserveBlack(t, params);
        ASSERT_EQ(TntICCSingleMatchProc(kOnly, out, t, 2), 0);
        EXPECT_EQ(out[3] == 60000 && out[0] + out[1] + out[2] < 1500, percent >= 0 && percent <= 100) << percent;
        ASSERT_EQ(TntICCSingleMatchProc(lowK, percent == -1.0 ? plainLow : out, t, 2), 0);
        EXPECT_TRUE(percent == 0.0 ? out[3] == 20000 : percent == -1.0 || std::memcmp(out, plainLow, 8) == 0) << percent;
        TntDisposeMatchTransform(t);
    }
}
