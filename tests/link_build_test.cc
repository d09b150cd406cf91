// Sampling transforms into links: the options word, the table's shape, the
// samplers, and links against direct matching on real profile pairs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "colour/controls.h"
#include "link/table.h"
#include "platform/memory.h"
#include "support/real_profiles.h"
#include "transform/transform.h"

using namespace tnt;

namespace {

constexpr uint32_t kRGB = TNT_SIG('R', 'G', 'B', ' ');
constexpr uint32_t kCMYK = TNT_SIG('C', 'M', 'Y', 'K');

const std::string kSRGB = "/usr/share/color/icc/sRGB.icc";
const std::string kDefaultCmyk = "/usr/share/color/icc/ghostscript/default_cmyk.icc";
const std::string kFogra39 = tnt_test::TestProfile("fogra39-cmyk-lab-v2.icc");
const std::string kFogra29 = tnt_test::TestProfile("fogra29-cmyk-xyz-v2.icc");
const std::string kAdobe = "/usr/share/color/icc/compatibleWithAdobeRGB1998.icc";

std::vector<ProfileLocation> Locations(const std::vector<std::string>& paths) {
    std::vector<ProfileLocation> out;
    for (const auto& p : paths) out.push_back(tnt_test::FileLocationOf(p));
    return out;
}

ProfLink* Link(const std::vector<std::string>& paths, uint32_t options, TntStatus* status = nullptr) {
    std::vector<ProfileLocation> locs = Locations(paths);
    ProfLink* link = reinterpret_cast<ProfLink*>(1);
    TntStatus st = TntProfiles2Link(0, 0, int16_t(paths.size()), locs.data(), nullptr, options, &link);
    if (status) *status = st;
    return link;
}

uint32_t TNT_CALL Nothing(uint16_t, uint16_t, uint32_t, uint16_t*, uintptr_t) { return 0; }

}  // namespace

TEST(LinkOptions, FieldsOfTheWord) {
    EXPECT_EQ(GetOptions(5, 0xFFF), 65535u);  // no such field
    EXPECT_EQ(GetOptions(4, SetOptions(0, 4, 6)), 2u);
    EXPECT_EQ(SetOptions(0, 0, 3), 4u);
    EXPECT_EQ(SetOptions(4, 0, 7), 0u) << "7 clears an intent";
    EXPECT_EQ(SetOptions(0, 3, 9), 16u);
    EXPECT_EQ(SetOptions(0xFFFFF000u, 3, 5) & 0xFFFFF000u, 0xFFFFF000u) << "high bits are never touched";
}

TEST(LinkBuild, ShapeOfAnRgbToCmykLink) {
    ProfLink* link = Link({kSRGB, kDefaultCmyk}, 0);
    ASSERT_NE(link, nullptr);
    const LinkTable* t = link->table;
    EXPECT_EQ(TntLinkSourceType(link), kRGB);
    EXPECT_EQ(TntLinkDestType(link), kCMYK);
    EXPECT_EQ(t->gridPoints, 33u);
    EXPECT_EQ(t->precision, 1u);
    EXPECT_EQ(t->hasInputCurves & t->hasOutputCurves, 1u);

    // Grid quality 0 builds the same link as 7.
    ProfLink* seven = Link({kSRGB, kDefaultCmyk}, SetOptions(0, 3, 7));
    ASSERT_NE(seven, nullptr);
    size_t gridValues = size_t(33 * 33 * 33) * 4;
    EXPECT_EQ(std::memcmp(seven->table->grid, t->grid, gridValues * 2), 0);
    EXPECT_EQ(std::memcmp(seven->table->outputCurves, t->outputCurves, 4 * 65536), 0);
    EXPECT_EQ(TntDisposeProfLink(seven), 0);
    EXPECT_EQ(TntDisposeProfLink(link), 0);

    // 16-bit, grid quality 1: five points, 65536-entry curves both ways.
    ProfLink* wide = Link({kFogra39, kFogra29}, SetOptions(SetOptions(0, 2, 1), 3, 1));
    ASSERT_NE(wide, nullptr);
    EXPECT_EQ(wide->table->gridPoints, 5u);
    EXPECT_EQ(wide->table->precision, 2u);
    EXPECT_EQ(wide->table->inputCurveLength, 65536u);
    TntDisposeProfLink(wide);
    ProfLink* cmyk = Link({kFogra39, kFogra29}, 0);
    EXPECT_EQ(cmyk->table->gridPoints, 17u) << "four inputs default to 17 points";
    TntDisposeProfLink(cmyk);

    EXPECT_EQ(LiveBlockCount(), 0);
}

TEST(LinkBuild, GridNodesSitOnEvenlySpacedSamples) {
    // An identity-like RGB -> RGB chain: the same matrix profile there and
    // back, sampled without curves because a hook is installed, so every
    // node holds (nearly) its own sample.
    for (uint32_t quality : {0u, 1u, 3u}) {
        std::vector<ProfileLocation> locs = Locations({kSRGB, kSRGB});
        ProfLink* link = nullptr;
        ASSERT_EQ(TntBuildLink(0, 0, 2, locs.data(), nullptr, SetOptions(0, 3, quality), Nothing, 0, &link), 0);
        const LinkTable* t = link->table;
        EXPECT_EQ(t->hasInputCurves, 0u) << "a hook puts the whole chain in the grid";
        EXPECT_EQ(t->hasOutputCurves, 0u);
        uint32_t n = t->gridPoints;
        std::vector<uint16_t> expected;
        if (n == 3) expected = {0, 32768, 65535};
        if (n == 5) expected = {0, 16384, 32768, 49151, 65535};
        for (uint32_t r = 0; r < n; ++r) {
            uint16_t got = t->grid[t->gridOffsets[0][r]];  // red along the first axis, others 0
            if (!expected.empty()) {
                EXPECT_NEAR(got, expected[r], 3) << n << " " << r;
            }
        }
        if (n == 17) {
            EXPECT_NEAR(t->grid[t->gridOffsets[0][9]], 36863, 3);
        }
        EXPECT_EQ(t->grid[0], 0);
        TntDisposeProfLink(link);
    }
}

TEST(LinkBuild, FailuresHandBackNothing) {
    TntStatus st;
    ProfLink* link = Link({kSRGB, "/no/such.icc"}, 0, &st);
    EXPECT_EQ(st, TNT_ERR_CANNOT_OPEN_PROFILE);
    EXPECT_EQ(link, nullptr);
    EXPECT_EQ(TntNewProfLink(kSRGB.c_str(), kDefaultCmyk.c_str(), nullptr, 0, &link), 0);
    EXPECT_EQ(TntLinkDestType(link), kCMYK);
    TntDisposeProfLink(link);
    std::string tooLong(1100, 'a');
    EXPECT_EQ(TntNewProfLink(tooLong.c_str(), nullptr, nullptr, 0, &link), TNT_ERR_CANNOT_OPEN_PROFILE);
    EXPECT_EQ(link, nullptr);
}

TEST(LinkBuild, LinksAgreeWithDirectMatchingOnRealPairs) {
    // The link interpolates what the transform computes exactly; print how
    // far apart they are on random pixels and bound it. The largest single
    // differences sit in the shadows, where the chain is steepest. The
    // CMYK -> CMYK pair into an XYZ-connection printer is the worst by far:
    // that profile's B2A input curves are perceptually shaped (nearly cube
    // roots of X, Y, Z), so the sampled composite bends sharply between the
    // 17 nodes near black; doubling the grid to 33 points halves the error.
    struct Pair {
        std::vector<std::string> profiles;
        double maxMean, maxMax;  // in 8-bit codes
    };
    std::vector<Pair> pairs = {
        {{kSRGB, kDefaultCmyk}, 0.3, 12}, {{kSRGB, kFogra39}, 0.2, 8},    {{kFogra39, kFogra29}, 7.5, 130},
        {{kSRGB, kAdobe}, 0.1, 6},        {{kFogra39, kSRGB}, 0.2, 12},   {{kDefaultCmyk, kSRGB}, 0.2, 13},
    };
    std::mt19937 rng(7);
    for (const Pair& pair : pairs) {
        std::vector<ProfileLocation> locs = Locations(pair.profiles);
        MatchTransform* t = TntNewTransformPtr();
        ASSERT_EQ(TntConcatProfiles(t, 0, 0, int16_t(locs.size()), locs.data(), nullptr), 0);
        ProfLink* link = nullptr;
        ASSERT_EQ(TntMatchTrans2Link(t, 0, &link), 0);
        int in = link->table->inputChannels, out = link->table->outputChannels;
        const int count = 4000;
        std::vector<uint8_t> src(size_t(count) * in), viaLink(size_t(count) * out), direct(size_t(count) * out);
        for (auto& b : src) b = uint8_t(rng());
        ASSERT_EQ(TntLinkMatchColors(link, count, src.data(), viaLink.data(), 0, 0, 0, nullptr), 0);
        ASSERT_EQ(TntICCMatchColors(t, 0, src.data(), direct.data(), count, int16_t(in), int16_t(out), 0, 0, 1), 0);
        double sum = 0;
        int worst = 0;
        for (size_t i = 0; i < viaLink.size(); ++i) {
            int d = std::abs(int(viaLink[i]) - int(direct[i]));
            sum += d;
            worst = std::max(worst, d);
        }
        double mean = sum / viaLink.size();
        std::printf("link vs direct %s -> %s: mean %.3f, max %d (8-bit codes)\n", pair.profiles[0].c_str(),
                    pair.profiles[1].c_str(), mean, worst);
        EXPECT_LE(mean, pair.maxMean);
        EXPECT_LE(worst, pair.maxMax);
        TntDisposeProfLink(link);
        TntDisposeMatchTransform(t);
    }
}
