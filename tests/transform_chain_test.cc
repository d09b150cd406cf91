// Chains of real profiles: which stages concatenation builds, in which
// direction and with which intent, and how chains fail.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/memory.h"
#include "support/real_profiles.h"
#include "transform/match.h"
#include "transform/transform.h"

using namespace tnt;

namespace {

constexpr uint32_t kRGB = TNT_SIG('R', 'G', 'B', ' ');
constexpr uint32_t kCMYK = TNT_SIG('C', 'M', 'Y', 'K');
constexpr uint32_t kLab = TNT_SIG('L', 'a', 'b', ' ');
constexpr uint32_t kXYZ = TNT_SIG('X', 'Y', 'Z', ' ');

const std::string kSRGB = "/usr/share/color/icc/sRGB.icc";
const std::string kPrinter = tnt_test::TestProfile("fogra39-cmyk-lab-v2.icc");
const std::string kLink = tnt_test::TestProfile("srgb-to-fogra39-link-mft2-collink.icc");

// Locations for a list of paths, laid 1024 bytes apart as callers lay them.
std::vector<ProfileLocation> Locations(const std::vector<std::string>& paths) {
    std::vector<ProfileLocation> out;
    for (const auto& p : paths) out.push_back(tnt_test::FileLocationOf(p));
    return out;
}

struct Chain {
    MatchTransform* t = nullptr;
    TntStatus status = 0;
    ~Chain() { TntDisposeMatchTransform(t); }
};

void Build(Chain& c, const std::vector<std::string>& paths, uint32_t src = 0, uint32_t dst = 0,
           const std::vector<uint16_t>& intents = {}) {
    c.t = TntNewTransformPtr();
    ASSERT_NE(c.t, nullptr);
    std::vector<ProfileLocation> locs = Locations(paths);
    c.status = TntConcatProfiles(c.t, src, dst, int16_t(paths.size()), locs.data(),
                                 intents.empty() ? nullptr : intents.data());
}

// Kind, direction and intent of every stage, as "1/0/0 6/0/1 ...".
std::string Shape(const MatchTransform* t) {
    std::string s;
    for (int i = 0; i < t->stageCount; ++i) {
        const TransformStage& st = t->stages[i];
        s += (i ? " " : "") + std::to_string(st.kind) + "/" + std::to_string(st.direction) + "/" +
             std::to_string(st.intent);
    }
    return s;
}

}  // namespace

TEST(TransformChain, ShapesAndFailuresOfRealChains) {
    const std::string missing = "/no/such/profile.icc";
    struct Case {
        std::vector<std::string> paths;
        uint32_t src, dst;
        std::vector<uint16_t> intents;
        TntStatus status;
        const char* shape;  // kind/direction/intent of every stage
        uint32_t srcSpace, dstSpace;
    } cases[] = {
        {{kSRGB}, 0, 0, {}, 0, "1/0/0", kRGB, kXYZ},
        // A Lab destination closes an XYZ chain with a conversion.
        {{kSRGB}, 0, kLab, {}, 0, "1/0/0 6/0/0", kRGB, kLab},
        // Proofing: source, printer (in reverse, then forward), display.
        {{kSRGB, kPrinter, kSRGB}, 0, 0, {0, 2, 1}, 0, "1/0/0 5/1/0 5/0/2 2/1/2", kRGB, kRGB},
        // A Lab source: conversion, first profile in reverse with intents[0],
        // forward with intents[1], second in reverse.
        {{kPrinter, kPrinter}, kLab, 0, {1, 2}, 0, "6/0/0 5/1/1 5/0/2 5/1/2", kLab, kCMYK},
        // No intent list: the first profile's header intent rules; 0xFFFF
        // takes the profile's own intent.
        {{kPrinter, kSRGB}, 0, 0, {}, 0, "5/0/1 2/1/1", kCMYK, kRGB},
        {{kSRGB, kPrinter}, 0, 0, {0xFFFF, 3}, 0, "1/0/0 5/1/0", kRGB, kCMYK},
        // A device link runs once and is used up.
        {{kLink, kPrinter}, 0, kLab, {}, 0, "5/0/0 5/0/0 6/0/0", kRGB, kLab},
        // The link ends in CMYK: not the RGB the next profile or the caller
        // wants, nor a connection space.
        {{kLink, kSRGB}, 0, 0, {}, TNT_ERR_CHAIN_MISMATCH, nullptr, 0, 0},
        {{kLink}, 0, kRGB, {}, TNT_ERR_UNSUPPORTED_SPACE, nullptr, 0, 0},
        {{kLink}, 0, kLab, {}, TNT_ERR_UNSUPPORTED_SPACE, nullptr, 0, 0},
        // A device destination renames the last space, which a display refuses.
        {{kSRGB, kSRGB}, 0, kCMYK, {}, TNT_ERR_SPACE_DISPLAY, nullptr, 0, 0},
        // 1 + 2 x 5 + 1 stages; ten profile stages leaving no slot for the
        // closing conversion.
        {{kSRGB, kPrinter, kPrinter, kPrinter, kPrinter, kPrinter, kSRGB}, 0, 0, {}, TNT_ERR_TOO_MANY_STAGES, nullptr,
         0, 0},
        {{kLink, kPrinter, kPrinter, kPrinter, kPrinter, kPrinter}, 0, kLab, {}, TNT_ERR_TOO_MANY_STAGES, nullptr, 0, 0},
        {{kSRGB, missing}, 0, 0, {}, TNT_ERR_CANNOT_OPEN_PROFILE, nullptr, 0, 0},
    };
    for (const Case& k : cases) {
        Chain c;
        Build(c, k.paths, k.src, k.dst, k.intents);
        SCOPED_TRACE(k.paths.size());
        ASSERT_EQ(c.status, k.status) << (k.shape ? k.shape : "");
        if (!k.shape) continue;
        EXPECT_EQ(Shape(c.t), k.shape);
        EXPECT_EQ(TntTransGetSrcSpace(c.t), k.srcSpace);
        EXPECT_EQ(TntTransGetDstSpace(c.t), k.dstSpace);
    }
    EXPECT_EQ(LiveBlockCount(), 0) << "failed chains close what they opened";
}

TEST(TransformChain, BorrowedProfilesStayTheCallers) {
    std::vector<ProfileLocation> locs = Locations({kSRGB, kPrinter});
    Profile* profiles[2];
    ASSERT_EQ(TntOpenProfile(&profiles[0], &locs[0]), 0);
    ASSERT_EQ(TntOpenProfile(&profiles[1], &locs[1]), 0);
    MatchTransform* t = TntNewTransformPtr();
    ASSERT_EQ(TntConcatProfileRefs(t, 0, 0, 2, profiles, nullptr), 0);
    EXPECT_EQ(t->profilesBorrowed, 1u);
    EXPECT_EQ(TntDisposeMatchTransform(t), 0);
    // Still open and usable after the transform is gone.
    uint32_t count = 0;
    EXPECT_EQ(TntCountProfileElements(profiles[1], &count), 0);
    EXPECT_GT(count, 0u);
    TntCloseProfile(profiles[0]);
    TntCloseProfile(profiles[1]);
    EXPECT_EQ(LiveBlockCount(), 0);
}
