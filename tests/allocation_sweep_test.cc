// Allocation failures in the exported functions that allocate and that the
// other tests' sweeps do not reach: every k-th allocation fails in turn,
// each failure must give a documented status, free what it took and leave
// the caller's profiles, transforms and links usable. Covered elsewhere:
// opening, creating, loading and saving profiles and tag edits
// (container_test, elements_edit_test), TntConcatProfiles with matching
// (transform_match_test), stage building (stage_reference_test) and
// TntSaveCRD (crd_text_test).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/allocation_sweep.h"
#include "support/real_profiles.h"
#include "tintwell.h"

namespace {

using tnt_test::Armed;
using tnt_test::Sweep;
using tnt_test::SweepRun;
using Bytes = std::vector<uint8_t>;

const std::string kRgb = "/usr/share/color/icc/sRGB.icc";
const std::string kCmyk = tnt_test::TestProfile("tr003-cmyk-lab-low-v2.icc");
const std::string kCmykLink = tnt_test::TestProfile("fogra39-to-fogra29-link-mft2-collink.icc");

// Small grids keep each of the many builds quick.
const uint32_t kSmallLink = SetOptions(0, TNT_OPTION_GRID_QUALITY, 1);

Profile* OpenFile(const std::string& path) {
    ProfileLocation location = tnt_test::FileLocationOf(path);
    Profile* p = nullptr;
    EXPECT_EQ(TntOpenProfile(&p, &location), TNT_OK) << path;
    return p;
}

// What a clean transform makes of a few RGB colours, to compare against.
std::vector<uint8_t> MatchedColours(MatchTransform* t, int outChannels) {
    const uint8_t rgb[4][3] = {{0, 0, 0}, {255, 255, 255}, {200, 30, 90}, {12, 140, 250}};
    std::vector<uint8_t> out(4 * outChannels, 0);
    EXPECT_EQ(TntICCMatchColors(t, 0, rgb, out.data(), 4, 3, int16_t(outChannels), 0, 0, 1), TNT_OK);
    return out;
}

std::vector<uint8_t> ConvertedPixels(ProfLink* link) {
    const uint8_t rgb[4][3] = {{0, 0, 0}, {255, 255, 255}, {200, 30, 90}, {12, 140, 250}};
    std::vector<uint8_t> out(16, 0);
    EXPECT_EQ(TntLinkMatchColors(link, 4, rgb, out.data(), 0, 0, 0, nullptr), TNT_OK);
    return out;
}

TEST(AllocationSweep, UpdateProfileKeepsTheProfileModifiedAndSavable) {
    const Bytes original = tnt_test::ReadFileBytes(kCmyk);
    ASSERT_FALSE(original.empty());
    const uint8_t stamp[4] = {'T', 'e', 's', 't'};
    const uint64_t calls = Sweep([&](uint64_t k) {
        SweepRun run;
        Bytes block = original;
        ProfileLocation location = tnt_test::MemoryLocationOf(block);
        Profile* p = nullptr;
        EXPECT_EQ(TntOpenProfile(&p, &location), TNT_OK);
        EXPECT_EQ(TntSetPartialProfileElement(p, TNT_SIG('d', 'e', 's', 'c'), 12, 4, stamp), TNT_OK);
        if (Armed(k, run, [&] { return TntUpdateProfile(p); })) {
            // Still modified: a plain retry writes it.
            EXPECT_EQ(TntUpdateProfile(p), TNT_OK);
        }
        TntCloseProfile(p);
        // Whatever happened first, the block now holds the edited profile.
        Profile* q = nullptr;
        ProfileLocation again = tnt_test::MemoryLocationOf(block);
        EXPECT_EQ(TntOpenProfile(&q, &again), TNT_OK);
        uint8_t read[4] = {};
        uint32_t count = 4;
        EXPECT_EQ(TntGetPartialProfileElement(q, TNT_SIG('d', 'e', 's', 'c'), 12, &count, read), TNT_OK);
        EXPECT_EQ(std::memcmp(read, stamp, 4), 0);
        TntCloseProfile(q);
        return run;
    }, {TNT_ERR_CANNOT_SAVE});
    EXPECT_GT(calls, 0u);
}

TEST(AllocationSweep, ConcatProfileRefsLeavesTheCallersProfilesUsable) {
    // The clean result, for comparison after each failure.
    Profile* rgb = OpenFile(kRgb);
    Profile* cmyk = OpenFile(kCmyk);
    Profile* chain[2] = {rgb, cmyk};
    MatchTransform* clean = TntNewTransformPtr();
    ASSERT_EQ(TntConcatProfileRefs(clean, 0, 0, 2, chain, nullptr), TNT_OK);
    const std::vector<uint8_t> expected = MatchedColours(clean, 4);
    TntDisposeMatchTransform(clean);
    TntCloseProfile(rgb);
    TntCloseProfile(cmyk);

    const uint64_t calls = Sweep([&](uint64_t k) {
        SweepRun run;
        Profile* profiles[2] = {OpenFile(kRgb), OpenFile(kCmyk)};
        MatchTransform* t = TntNewTransformPtr();
        Armed(k, run, [&] { return TntConcatProfileRefs(t, 0, 0, 2, profiles, nullptr); });
        EXPECT_EQ(TntDisposeMatchTransform(t), TNT_OK);
        // The same open profiles build the transform once memory is back.
        MatchTransform* retry = TntNewTransformPtr();
        EXPECT_EQ(TntConcatProfileRefs(retry, 0, 0, 2, profiles, nullptr), TNT_OK);
        EXPECT_EQ(MatchedColours(retry, 4), expected);
        EXPECT_EQ(TntDisposeMatchTransform(retry), TNT_OK);
        TntCloseProfile(profiles[0]);
        TntCloseProfile(profiles[1]);
        return run;
    }, {TNT_OK, TNT_ERR_NO_MEMORY, TNT_ERR_TAG_NOT_FOUND});
    EXPECT_GT(calls, 0u);

    // Matching a run allocates nothing, so it cannot fail for memory.
    const uint64_t matchCalls = Sweep([&](uint64_t k) {
        SweepRun run;
        Profile* profiles[2] = {OpenFile(kRgb), OpenFile(kCmyk)};
        MatchTransform* t = TntNewTransformPtr();
        EXPECT_EQ(TntConcatProfileRefs(t, 0, 0, 2, profiles, nullptr), TNT_OK);
        MatchedColours(t, 4);  // loads every table first
        std::vector<uint8_t> got;
        Armed(k, run, [&] {
            got = MatchedColours(t, 4);
            return TntStatus(TNT_OK);
        });
        EXPECT_EQ(got, expected);
        TntDisposeMatchTransform(t);
        TntCloseProfile(profiles[0]);
        TntCloseProfile(profiles[1]);
        return run;
    }, {});
    EXPECT_EQ(matchCalls, 0u);
}

TEST(AllocationSweep, SamplingALinkLeavesTheTransformWorking) {
    const uint64_t calls = Sweep([&](uint64_t k) {
        SweepRun run;
        ProfileLocation locations[2] = {tnt_test::FileLocationOf(kRgb), tnt_test::FileLocationOf(kCmyk)};
        MatchTransform* t = TntNewTransformPtr();
        EXPECT_EQ(TntConcatProfiles(t, 0, 0, 2, locations, nullptr), TNT_OK);
        const std::vector<uint8_t> before = MatchedColours(t, 4);
        ProfLink* link = reinterpret_cast<ProfLink*>(1);
        Armed(k, run, [&] { return TntMatchTrans2Link(t, kSmallLink, &link); });
        if (run.status) {
            EXPECT_EQ(link, nullptr);
            EXPECT_EQ(TntMatchTrans2Link(t, kSmallLink, &link), TNT_OK);
        }
        EXPECT_EQ(MatchedColours(t, 4), before);
        EXPECT_EQ(TntLinkDestType(link), TNT_SIG('C', 'M', 'Y', 'K'));
        TntDisposeProfLink(link);
        EXPECT_EQ(TntDisposeMatchTransform(t), TNT_OK);
        return run;
    }, {TNT_OK, TNT_ERR_NO_MEMORY});  // 0: the fast routines' lookups are optional
    EXPECT_GE(calls, 4u);  // handle, table and its curves and grid
}

TEST(AllocationSweep, CreateMatchTransformationFailsCleanly) {
    const uint64_t calls = Sweep([&](uint64_t k) {
        SweepRun run;
        MatchTransform* t = TntNewTransformPtr();
        Armed(k, run, [&] {
            return TntCreateMatchTransformation(t, kRgb.c_str(), kCmyk.c_str(), nullptr, kSmallLink, 0, 0, 0, 0);
        });
        // Whatever it holds, the transform disposes.
        EXPECT_EQ(TntDeleteMatchTransformation(t), TNT_OK);
        return run;
    }, {TNT_ERR_NO_MEMORY, TNT_ERR_CANNOT_OPEN_PROFILE, TNT_ERR_TAG_NOT_FOUND});
    EXPECT_GT(calls, 0u);
}

TEST(AllocationSweep, LinkBuildersHandBackNothingOnFailure) {
    ProfileLocation locations[2] = {tnt_test::FileLocationOf(kRgb), tnt_test::FileLocationOf(kCmyk)};
    const int16_t controls[6] = {10, -5, 20, 0, 3, -3};
    // 0 too: the fast routines' lookups are optional, and a link whose
    // lookups could not be had converts through the plain routines.
    const std::vector<TntStatus> allowed = {TNT_OK, TNT_ERR_NO_MEMORY, TNT_ERR_CANNOT_OPEN_PROFILE,
                                            TNT_ERR_TAG_NOT_FOUND};
    struct Builder {
        const char* name;
        std::function<TntStatus(ProfLink**)> build;
    };
    const Builder builders[] = {
        {"TntProfiles2Link",
         [&](ProfLink** l) { return TntProfiles2Link(0, 0, 2, locations, nullptr, kSmallLink, l); }},
        {"TntNewProfLink",
         [&](ProfLink** l) { return TntNewProfLink(kRgb.c_str(), kCmyk.c_str(), nullptr, kSmallLink, l); }},
        {"TntProfiles2LinkWithControls",
         [&](ProfLink** l) {
             return TntProfiles2LinkWithControls(0, 0, 2, locations, nullptr, kSmallLink, controls, l);
         }},
        {"TntBuildLink",
         [&](ProfLink** l) { return TntBuildLink(0, 0, 2, locations, nullptr, kSmallLink, nullptr, 0, l); }},
    };
    for (const Builder& b : builders) {
        SCOPED_TRACE(b.name);
        const uint64_t calls = Sweep([&](uint64_t k) {
            SweepRun run;
            ProfLink* link = reinterpret_cast<ProfLink*>(1);
            Armed(k, run, [&] { return b.build(&link); });
            EXPECT_EQ(run.status != TNT_OK, link == nullptr);
            TntDisposeProfLink(link);
            return run;
        }, allowed);
        EXPECT_GT(calls, 4u);
    }
    SetColorControls(0, 0, 0, 0, 0, 0);
}

TEST(AllocationSweep, LinkFromProfileRefsLeavesTheProfilesAndLinksUsable) {
    const uint64_t calls = Sweep([&](uint64_t k) {
        SweepRun run;
        Profile* profiles[2] = {OpenFile(kRgb), OpenFile(kCmyk)};
        ProfLink* link = nullptr;
        Armed(k, run, [&] {
            return TntBuildLinkFromProfileRefs(0, 0, 2, profiles, nullptr, kSmallLink, nullptr, 0, &link);
        });
        if (run.status) {
            EXPECT_EQ(link, nullptr);
            EXPECT_EQ(TntBuildLinkFromProfileRefs(0, 0, 2, profiles, nullptr, kSmallLink, nullptr, 0, &link),
                      TNT_OK);
        }
        EXPECT_EQ(TntLinkSourceType(link), TNT_SIG('R', 'G', 'B', ' '));
        TntDisposeProfLink(link);
        TntCloseProfile(profiles[0]);
        TntCloseProfile(profiles[1]);
        return run;
    }, {TNT_OK, TNT_ERR_NO_MEMORY, TNT_ERR_TAG_NOT_FOUND});
    EXPECT_GT(calls, 4u);

    // Converting through a built link allocates nothing, interleaved or
    // planar, so a link always converts.
    ProfLink* link = nullptr;
    ASSERT_EQ(TntNewProfLink(kRgb.c_str(), kCmyk.c_str(), nullptr, kSmallLink, &link), TNT_OK);
    const std::vector<uint8_t> expected = ConvertedPixels(link);
    const uint64_t convertCalls = Sweep([&](uint64_t k) {
        SweepRun run;
        std::vector<uint8_t> got;
        uint8_t planes[3][4] = {{0, 255, 200, 12}, {0, 255, 30, 140}, {0, 255, 90, 250}};
        uint8_t outPlanes[4][4] = {};
        const uint8_t* from[3] = {planes[0], planes[1], planes[2]};
        uint8_t* to[4] = {outPlanes[0], outPlanes[1], outPlanes[2], outPlanes[3]};
        Armed(k, run, [&] {
            got = ConvertedPixels(link);
            return TntLinkMatchColorPlanes(link, 4, from, 1, to, 1, nullptr);
        });
        EXPECT_EQ(got, expected);
        for (int pixel = 0; pixel < 4; ++pixel)
            for (int c = 0; c < 4; ++c) EXPECT_EQ(outPlanes[c][pixel], expected[4 * pixel + c]);
        return run;
    }, {});
    EXPECT_EQ(convertCalls, 0u);
    TntDisposeProfLink(link);
}

TEST(AllocationSweep, PreserveBlackWithoutMemoryStaysAPlainTransform) {
    ProfileLocation location = tnt_test::FileLocationOf(kCmykLink);
    const double parameters[2] = {0, 50};
    const uint8_t cmyk[4] = {10, 20, 30, 200};
    uint8_t plain[4] = {};
    {
        MatchTransform* t = TntNewTransformPtr();
        ASSERT_EQ(TntConcatProfiles(t, 0, 0, 1, &location, nullptr), TNT_OK);
        ASSERT_EQ(TntICCSingleMatchProc(cmyk, plain, t, 1), TNT_OK);
        TntDisposeMatchTransform(t);
    }
    const uint64_t calls = Sweep([&](uint64_t k) {
        SweepRun run;
        MatchTransform* t = TntNewTransformPtr();
        EXPECT_EQ(TntConcatProfiles(t, 0, 0, 1, &location, nullptr), TNT_OK);
        uint8_t out[4] = {};
        EXPECT_EQ(TntICCSingleMatchProc(cmyk, out, t, 1), TNT_OK);  // tables loaded before arming
        Armed(k, run, [&] { return TntSetPreserveBlack(t, parameters); });
        EXPECT_EQ(TntICCSingleMatchProc(cmyk, out, t, 1), TNT_OK);
        // Without its state the hook is not installed: the colour comes out
        // as without black preservation.
        if (run.reached) {
            EXPECT_EQ(std::memcmp(out, plain, 4), 0);
        }
        EXPECT_EQ(TntDisposeMatchTransform(t), TNT_OK);
        return run;
    }, {TNT_OK});
    EXPECT_EQ(calls, 1u);  // the hook's state
}

}  // namespace
