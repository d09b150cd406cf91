// Allocation failures, one row per export that allocates: allocation
// k = 1, 2, ... fails in turn until the call needs fewer than k. Every
// failure must give one of the row's statuses, free what it took and leave
// the caller's profiles, transforms and links as usable as before; each row
// checks that the way its export allows. Calls that allocate nothing
// (matching, converting through a link) are rows too, swept to prove it.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "profile/container.h"
#include "support/allocation_sweep.h"
#include "support/profile_builder.h"
#include "support/v4_profiles.h"

namespace {

using namespace tnt_test;

const std::string kRgb = "/usr/share/color/icc/sRGB.icc";
const std::string kPrinter = TestProfile("tr003-cmyk-lab-low-v2.icc");
const std::string kCmykLink = TestProfile("fogra39-to-fogra29-link-mft2-collink.icc");
const uint32_t kSmallLink = SetOptions(0, TNT_OPTION_GRID_QUALITY, 1);

Profile* OpenFile(const std::string& path) {
    ProfileLocation location = FileLocationOf(path);
    Profile* p = nullptr;
    EXPECT_EQ(TntOpenProfile(&p, &location), TNT_OK) << path;
    return p;
}

// A few colours of `in` channels through a transform, 8-bit.
Bytes Matched(MatchTransform* t, int in, int out) {
    const uint8_t colours[4][4] = {{0, 0, 0, 0}, {255, 255, 255, 255}, {200, 30, 90, 10}, {12, 140, 250, 77}};
    Bytes source, result(4 * out, 0);
    for (const auto& c : colours) source.insert(source.end(), c, c + in);
    EXPECT_EQ(TntICCMatchColors(t, 0, source.data(), result.data(), 4, int16_t(in), int16_t(out), 0, 0, 1), TNT_OK);
    return result;
}

Bytes Converted(ProfLink* link) {
    const uint8_t rgb[4][3] = {{0, 0, 0}, {255, 255, 255}, {200, 30, 90}, {12, 140, 250}};
    Bytes out(16, 0);
    EXPECT_EQ(TntLinkMatchColors(link, 4, rgb, out.data(), 0, 0, 0, nullptr), TNT_OK);
    return out;
}

// Tag edits on a real printer profile (or a new one holding a tag and a
// reference to it): a failure leaves the header and every tag as they
// were, and the profile still saves and reopens equal.
struct EditRow {
    const char* name;
    bool fromFile;
    TntStatus failure;
    bool failureKeepsTags;
    std::function<TntStatus(Profile*)> run;
};

Bytes gSaveTarget(300000);

const EditRow kEdits[] = {
    {"SetProfileElementSize new tag", true, TNT_ERR_NO_MEMORY, true,
     [](Profile* p) { return TntSetProfileElementSize(p, Sig("newt"), 64); }},
    {"SetProfileElementSize unloaded shared tag", true, TNT_ERR_NO_MEMORY, true,
     [](Profile* p) { return TntSetProfileElementSize(p, Sig("A2B1"), 64); }},
    {"SetProfileElementSize loaded tag", true, TNT_ERR_NO_MEMORY, true,
     [](Profile* p) { return TntSetProfileElementSize(p, Sig("B2A0"), 10); }},
    {"SetProfileElementSize reference without location", false, TNT_ERR_NO_MEMORY, true,
     [](Profile* p) { return TntSetProfileElementSize(p, Sig("aref"), 30); }},
    {"SetProfileElement new tag", false, TNT_ERR_NO_MEMORY, true,
     [](Profile* p) {
         uint8_t bytes[16] = {9};
         return TntSetProfileElement(p, Sig("bbbb"), 16, bytes);
     }},
    {"SetProfileElement unloaded tag", true, TNT_ERR_TAG_NOT_FOUND, true,
     [](Profile* p) {
         uint32_t type = Sig("XYZ ");
         return TntSetProfileElement(p, Sig("wtpt"), 4, &type);
     }},
    {"SetPartialProfileElement", true, TNT_ERR_TAG_NOT_FOUND, true,
     [](Profile* p) {
         uint8_t zeros[4] = {};
         return TntSetPartialProfileElement(p, Sig("desc"), 4, 4, zeros);
     }},
    {"GetProfileElement", true, TNT_ERR_TAG_NOT_FOUND, true,
     [](Profile* p) {
         static uint8_t buffer[20000];
         uint32_t size = sizeof buffer;
         return TntGetProfileElement(p, Sig("B2A1"), &size, buffer);
     }},
    {"GetPartialProfileElement", true, TNT_ERR_TAG_NOT_FOUND, true,
     [](Profile* p) {
         uint8_t buffer[4];
         uint32_t count = 4;
         return TntGetPartialProfileElement(p, Sig("gamt"), 8, &count, buffer);
     }},
    {"ProfileGetTagDataPtr", true, TNT_ERR_TAG_NOT_FOUND, true,
     [](Profile* p) -> TntStatus { return TntProfileGetTagDataPtr(p, Sig("A2B2")) ? TNT_OK : TNT_ERR_TAG_NOT_FOUND; }},
    {"SetProfileElementReference then read", true, TNT_ERR_TAG_NOT_FOUND, false,
     [](Profile* p) -> TntStatus {
         TntStatus st = TntSetProfileElementReference(p, Sig("B2A2"), Sig("B2AX"));
         if (st) return st;
         return TntProfileGetTagDataPtr(p, Sig("B2AX")) == TntProfileGetTagDataPtr(p, Sig("B2A2"))
                    ? TNT_OK
                    : TNT_ERR_TAG_NOT_FOUND;
     }},
    {"SaveProfile", true, TNT_ERR_CANNOT_SAVE, true,
     [](Profile* p) {
         ProfileLocation location = MemoryLocationOf(gSaveTarget);
         return TntSaveProfile(p, &location);
     }},
};

TEST(AllocationSweep, TagEditsLeaveTheProfileAsItWas) {
    Bytes image = ReadFileBytes(kPrinter);
    ASSERT_EQ(image.size(), 54500u);
    auto make = [&](const EditRow& row) {
        if (row.fromFile) {
            Profile* p = OpenImage(image);
            EXPECT_NE(TntProfileGetTagDataPtr(p, Sig("B2A0")), nullptr);  // one tag loaded beforehand
            return p;
        }
        Profile* p = nullptr;
        EXPECT_EQ(TntNewProfile(&p, nullptr), 0);
        uint8_t bytes[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        EXPECT_EQ(TntSetProfileElement(p, Sig("aaaa"), 10, bytes), 0);
        EXPECT_EQ(TntSetProfileElementReference(p, Sig("aaaa"), Sig("aref")), 0);
        return p;
    };
    for (const EditRow& row : kEdits) {
        SCOPED_TRACE(row.name);
        const uint64_t calls = Sweep([&](uint64_t k) {
            SweepRun run;
            Profile* pristine = make(row);
            Profile* p = make(row);
            ProfileHeader before{}, after{};
            TntGetProfileHeader(p, &before);
            Armed(k, run, [&] { return row.run(p); });
            if (run.reached && row.failureKeepsTags) {
                TntGetProfileHeader(p, &after);
                EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
                ExpectSameTags(Snapshot(pristine), Snapshot(p));
            }
            ExpectSavesAndReopensEqual(p);
            TntCloseProfile(p);
            TntCloseProfile(pristine);
            return run;
        }, {row.failure});
        EXPECT_GT(calls, 0u);
    }
}

TEST(AllocationSweep, OpeningCreatingLoadingAndUpdating) {
    Bytes original = ReadFileBytes(TestProfile("fogra39-cmyk-lab-v2.icc"));
    ProfileLocation location = MemoryLocationOf(original);
    SweepCall([&] {
        Profile* p = nullptr;
        TntStatus st = TntNewProfile(&p, &location);
        TntCloseProfile(p);
        return st;
    }, {TNT_ERR_NO_MEMORY});
    // Opening, then every tag loaded lazily: a failed load is retried later.
    SweepCall([&] {
        Profile* p = nullptr;
        TntStatus st = TntOpenProfile(&p, &location);
        if (st) return st;
        st = tnt::LoadAllTags(p);
        EXPECT_EQ(tnt::LoadAllTags(p), 0);
        TntCloseProfile(p);
        return st;
    }, {TNT_ERR_CANNOT_OPEN_PROFILE, TNT_ERR_NO_MEMORY});

    // An update that fails keeps the profile modified: a retry writes it.
    const uint8_t stamp[4] = {'T', 'e', 's', 't'};
    Sweep([&](uint64_t k) {
        SweepRun run;
        Bytes block = original;
        ProfileLocation own = MemoryLocationOf(block);
        Profile* p = nullptr;
        EXPECT_EQ(TntOpenProfile(&p, &own), TNT_OK);
        EXPECT_EQ(TntSetPartialProfileElement(p, Sig("desc"), 12, 4, stamp), TNT_OK);
        if (Armed(k, run, [&] { return TntUpdateProfile(p); })) {
            EXPECT_EQ(TntUpdateProfile(p), TNT_OK);
        }
        TntCloseProfile(p);
        Profile* q = nullptr;
        EXPECT_EQ(TntOpenProfile(&q, &own), TNT_OK);
        uint8_t read[4] = {};
        uint32_t count = 4;
        EXPECT_EQ(TntGetPartialProfileElement(q, Sig("desc"), 12, &count, read), TNT_OK);
        EXPECT_EQ(std::memcmp(read, stamp, 4), 0);
        TntCloseProfile(q);
        return run;
    }, {TNT_ERR_CANNOT_SAVE});
}

// Chains over profiles of every stage kind, each run forward and then in
// reverse ([p, p]): a failed build keeps no table and leaves the caller's
// profiles able to build the same transform again; matching allocates
// nothing.
TEST(AllocationSweep, ConcatenationOfEveryStageKind) {
    const std::string folder = TempPath("v4");
    std::filesystem::create_directories(folder);
    const MadeProfiles& v4 = MakeV4Profiles(folder, TNT_TEST_PROFILES);
    LutContents mft1;
    mft1.sixteenBit = false;
    struct Kind {
        const char* name;
        std::function<Profile*()> make;
        int in, out;
    };
    const Kind kinds[] = {
        {"matrix", [] { return MatrixProfile(Sig("mntr"), SampledCurveTag(64, [](double x) { return x; })); }, 3, 3},
        {"gray", [] { return GrayProfile(Sig("mntr"), SampledCurveTag(8, [](double x) { return x; })); }, 1, 1},
        {"mft1", [&] { return LutProfile(Sig("spac"), Sig("Lab "), Sig("XYZ "), {{Sig("A2B0"), mft1}, {Sig("B2A0"), mft1}}); },
         3, 3},
        {"mft2", [] { return OpenFile(kPrinter); }, 4, 4},
        {"falling para", [] { return MatrixProfile(Sig("mntr"), ParaTag(4, {1.0, 1.0, 0.0, -0.5, 0.2, 0.0, 0.3})); },
         3, 3},
        {"mAB and mBA", [&] { return v4.cmykXyz.empty() ? nullptr : OpenFile(v4.cmykXyz); }, 4, 4},
    };
    for (const Kind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        Profile* clean[2] = {kind.make(), nullptr};
        if (!clean[0]) continue;  // no Little CMS to make it
        clean[1] = clean[0];
        MatchTransform* t = TntNewTransformPtr();
        ASSERT_EQ(TntConcatProfileRefs(t, 0, 0, 2, clean, nullptr), TNT_OK);
        const Bytes expected = Matched(t, kind.in, kind.out);
        TntDisposeMatchTransform(t);
        TntCloseProfile(clean[0]);

        const uint64_t calls = Sweep([&](uint64_t k) {
            SweepRun run;
            Profile* p = kind.make();
            Profile* chain[2] = {p, p};
            MatchTransform* failing = TntNewTransformPtr();
            Armed(k, run, [&] { return TntConcatProfileRefs(failing, 0, 0, 2, chain, nullptr); });
            EXPECT_EQ(TntDisposeMatchTransform(failing), TNT_OK);
            MatchTransform* retry = TntNewTransformPtr();
            EXPECT_EQ(TntConcatProfileRefs(retry, 0, 0, 2, chain, nullptr), TNT_OK);
            EXPECT_EQ(Matched(retry, kind.in, kind.out), expected);
            EXPECT_EQ(SweepCall([&] { return Matched(retry, kind.in, kind.out) == expected ? TNT_OK : 1; }, {}), 0u)
                << "matching allocates";
            TntDisposeMatchTransform(retry);
            TntCloseProfile(p);
            return run;
        }, {TNT_OK, TNT_ERR_NO_MEMORY, TNT_ERR_TAG_NOT_FOUND});
        EXPECT_GT(calls, 0u);
    }
    // Locations opened by the transform itself, through to Lab.
    std::vector<ProfileLocation> locations = {FileLocationOf(kRgb), FileLocationOf(kPrinter)};
    SweepCall([&] {
        MatchTransform* t = TntNewTransformPtr();
        TntStatus st = t ? TntConcatProfiles(t, 0, 0, 2, locations.data(), nullptr) : TNT_ERR_NO_MEMORY;
        TntDisposeMatchTransform(t);
        return st;
    }, {TNT_ERR_NO_MEMORY, TNT_ERR_CANNOT_OPEN_PROFILE, TNT_ERR_TAG_NOT_FOUND});
}

// Every way to a link: a failure hands back no link; the transform or
// profiles given stay usable; a link built once memory is back converts
// exactly as a clean one (the fast routines' lookups are optional, so 0 is
// a possible result of a failing run). Converting allocates nothing.
TEST(AllocationSweep, LinksFromEveryBuilder) {
    ProfileLocation locations[2] = {FileLocationOf(kRgb), FileLocationOf(kPrinter)};
    const int16_t controls[6] = {10, -5, 20, 0, 3, -3};
    ProfLink* clean = nullptr;
    ASSERT_EQ(TntProfiles2Link(0, 0, 2, locations, nullptr, kSmallLink, &clean), TNT_OK);
    const Bytes expected = Converted(clean);
    MatchTransform* built = TntNewTransformPtr();
    ASSERT_EQ(TntConcatProfiles(built, 0, 0, 2, locations, nullptr), TNT_OK);
    Profile* profiles[2] = {OpenFile(kRgb), OpenFile(kPrinter)};
    // The transform and the profiles load their tags once, before the sweeps.
    ProfLink* first = nullptr;
    ASSERT_EQ(TntMatchTrans2Link(built, kSmallLink, &first), TNT_OK);
    TntDisposeProfLink(first);
    ASSERT_EQ(TntBuildLinkFromProfileRefs(0, 0, 2, profiles, nullptr, kSmallLink, nullptr, 0, &first), TNT_OK);
    TntDisposeProfLink(first);
    struct Builder {
        const char* name;
        std::function<TntStatus(ProfLink**)> build;
        bool plain;  // converts as `clean` does
    };
    const Builder builders[] = {
        {"MatchTrans2Link", [&](ProfLink** l) { return TntMatchTrans2Link(built, kSmallLink, l); }, true},
        {"Profiles2Link", [&](ProfLink** l) { return TntProfiles2Link(0, 0, 2, locations, nullptr, kSmallLink, l); },
         true},
        {"NewProfLink", [&](ProfLink** l) { return TntNewProfLink(kRgb.c_str(), kPrinter.c_str(), nullptr, kSmallLink, l); },
         true},
        {"Profiles2LinkWithControls",
         [&](ProfLink** l) { return TntProfiles2LinkWithControls(0, 0, 2, locations, nullptr, kSmallLink, controls, l); },
         false},
        {"BuildLink", [&](ProfLink** l) { return TntBuildLink(0, 0, 2, locations, nullptr, kSmallLink, nullptr, 0, l); },
         true},
        {"BuildLinkFromProfileRefs",
         [&](ProfLink** l) { return TntBuildLinkFromProfileRefs(0, 0, 2, profiles, nullptr, kSmallLink, nullptr, 0, l); },
         true},
    };
    for (const Builder& b : builders) {
        SCOPED_TRACE(b.name);
        const uint64_t calls = Sweep([&](uint64_t k) {
            SweepRun run;
            ProfLink* link = reinterpret_cast<ProfLink*>(1);
            Armed(k, run, [&] { return b.build(&link); });
            EXPECT_EQ(run.status != TNT_OK, link == nullptr);
            if (run.status) {
                EXPECT_EQ(b.build(&link), TNT_OK);
            }
            if (b.plain) {
                EXPECT_EQ(Converted(link), expected);  // with or without the fast routines' lookups
            }
            TntDisposeProfLink(link);
            return run;
        }, {TNT_OK, TNT_ERR_NO_MEMORY, TNT_ERR_CANNOT_OPEN_PROFILE, TNT_ERR_TAG_NOT_FOUND});
        EXPECT_GT(calls, 4u);  // at least the handle, the table, its curves and grid
    }
    Sweep([&](uint64_t k) {
        SweepRun run;
        MatchTransform* t = TntNewTransformPtr();
        Armed(k, run, [&] {
            return TntCreateMatchTransformation(t, kRgb.c_str(), kPrinter.c_str(), nullptr, kSmallLink, 0, 0, 0, 0);
        });
        EXPECT_EQ(TntDeleteMatchTransformation(t), TNT_OK);
        return run;
    }, {TNT_ERR_NO_MEMORY, TNT_ERR_CANNOT_OPEN_PROFILE, TNT_ERR_TAG_NOT_FOUND});

    // Converting, interleaved or planar.
    EXPECT_EQ(SweepCall([&] {
        uint8_t planes[3][4] = {{0, 255, 200, 12}, {0, 255, 30, 140}, {0, 255, 90, 250}};
        uint8_t outPlanes[4][4] = {};
        const uint8_t* from[3] = {planes[0], planes[1], planes[2]};
        uint8_t* to[4] = {outPlanes[0], outPlanes[1], outPlanes[2], outPlanes[3]};
        EXPECT_EQ(Converted(clean), expected);
        EXPECT_EQ(TntLinkMatchColorPlanes(clean, 4, from, 1, to, 1, nullptr), TNT_OK);
        for (int pixel = 0; pixel < 4; ++pixel)
            for (int c = 0; c < 4; ++c) EXPECT_EQ(outPlanes[c][pixel], expected[4 * pixel + c]);
        return TntStatus(TNT_OK);
    }, {}), 0u);
    TntDisposeProfLink(clean);
    TntDisposeMatchTransform(built);
    TntCloseProfile(profiles[0]);
    TntCloseProfile(profiles[1]);
    SetColorControls(0, 0, 0, 0, 0, 0);
}

// Black preservation without memory for its state stays a plain transform.
TEST(AllocationSweep, PreserveBlackWithoutMemory) {
    ProfileLocation location = FileLocationOf(kCmykLink);
    const double parameters[2] = {0, 50};
    MatchTransform* plain = TntNewTransformPtr();
    ASSERT_EQ(TntConcatProfiles(plain, 0, 0, 1, &location, nullptr), TNT_OK);
    const Bytes expected = Matched(plain, 4, 4);
    TntDisposeMatchTransform(plain);
    const uint64_t calls = Sweep([&](uint64_t k) {
        SweepRun run;
        MatchTransform* t = TntNewTransformPtr();
        EXPECT_EQ(TntConcatProfiles(t, 0, 0, 1, &location, nullptr), TNT_OK);
        Matched(t, 4, 4);  // tables loaded before arming
        Armed(k, run, [&] { return TntSetPreserveBlack(t, parameters); });
        if (run.reached) {
            EXPECT_EQ(Matched(t, 4, 4), expected);
        }
        TntDisposeMatchTransform(t);
        return run;
    }, {TNT_OK});
    EXPECT_EQ(calls, 1u);  // the hook's state
}

// Rendering dictionaries from a table, colorants with sampled and
// parametric curves, and an 'mBA ' table: a failure ends the text; once
// memory is back the text is what a clean run gives.
TEST(AllocationSweep, RenderingDictionaries) {
    const std::string folder = TempPath("v4");
    std::filesystem::create_directories(folder);
    const std::string v4 = MakeV4Profiles(folder, TNT_TEST_PROFILES).cmykXyz;
    Bytes para = ParaTag(4, {2.2, 0.9, 0.1, 0.2, 0.1, 0.0, 0.0059});
    const std::vector<std::function<Profile*()>> makers = {
        [] { return OpenFile(kPrinter); },
        [] { return OpenFile(kRgb); },
        [&] { return MatrixProfile(Sig("mntr"), para); },
        [&] { return v4.empty() ? nullptr : OpenFile(v4); },
    };
    auto text = [](Profile* p, std::string* out) {
        return TntSaveCRD(p, 3, [](uintptr_t user, const char* piece) -> TntStatus {
            *reinterpret_cast<std::string*>(user) += piece;
            return TNT_OK;
        }, reinterpret_cast<uintptr_t>(out));
    };
    uint64_t calls = 0;
    for (const auto& make : makers) {
        Profile* p = make();
        if (!p) continue;
        std::string clean;
        ASSERT_EQ(text(p, &clean), TNT_OK);
        calls += Sweep([&](uint64_t k) {
            SweepRun run;
            std::string got;
            if (!Armed(k, run, [&] { return text(p, &got); })) {
                EXPECT_EQ(got, clean);
            }
            return run;
        }, {TNT_ERR_NO_MEMORY});
        TntCloseProfile(p);
    }
    EXPECT_GT(calls, 0u);
}

}  // namespace
