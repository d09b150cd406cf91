// Editing profiles under exhausted memory and editing real profiles that
// Little CMS then reads back.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "platform/memory.h"
#include "profile/byteorder.h"
#include "profile/container.h"
#include "profile/elements.h"
#include "support/allocation_sweep.h"
#include "support/profile_images.h"
#include "tintwell.h"

namespace {

using namespace tnt_test;

struct SweepCase {
    const char* name;
    bool fromFile;               // an opened real profile, else a new one
    TntStatus failure;           // what an allocation failure reports
    bool failureKeepsTags;       // a failed run leaves every tag as it was
    void (*prepare)(Profile*);
    TntStatus (*run)(Profile*);
};

void PrepareNothing(Profile*) {}
void PrepareNew(Profile* p) {
    uint8_t bytes[10] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    EXPECT_EQ(TntSetProfileElement(p, Sig("aaaa"), 10, bytes), 0);
    EXPECT_EQ(TntSetProfileElementReference(p, Sig("aaaa"), Sig("aref")), 0);
}
void PrepareLoaded(Profile* p) { EXPECT_NE(TntProfileGetTagDataPtr(p, Sig("B2A0")), nullptr); }

Bytes gSweepTarget(300000);

const SweepCase kSweep[] = {
    {"resize new tag", true, TNT_ERR_NO_MEMORY, true, PrepareNothing,
     [](Profile* p) -> TntStatus { return TntSetProfileElementSize(p, Sig("newt"), 64); }},
    {"resize unloaded shared tag", true, TNT_ERR_NO_MEMORY, true, PrepareNothing,
     [](Profile* p) -> TntStatus { return TntSetProfileElementSize(p, Sig("A2B1"), 64); }},
    {"resize loaded tag", true, TNT_ERR_NO_MEMORY, true, PrepareLoaded,
     [](Profile* p) -> TntStatus { return TntSetProfileElementSize(p, Sig("B2A0"), 10); }},
    {"resize shared tag without location", false, TNT_ERR_NO_MEMORY, true, PrepareNew,
     [](Profile* p) -> TntStatus { return TntSetProfileElementSize(p, Sig("aref"), 30); }},
    {"set new tag without location", false, TNT_ERR_NO_MEMORY, true, PrepareNew,
     [](Profile* p) -> TntStatus {
         uint8_t bytes[16] = {9};
         return TntSetProfileElement(p, Sig("bbbb"), 16, bytes);
     }},
    {"set unloaded tag", true, TNT_ERR_TAG_NOT_FOUND, true, PrepareNothing,
     [](Profile* p) -> TntStatus {
         uint32_t type = Sig("XYZ ");
         return TntSetProfileElement(p, Sig("wtpt"), 4, &type);
     }},
    {"partial write", true, TNT_ERR_TAG_NOT_FOUND, true, PrepareNothing,
     [](Profile* p) -> TntStatus {
         uint8_t zeros[4] = {};
         return TntSetPartialProfileElement(p, Sig("desc"), 4, 4, zeros);
     }},
    {"get element", true, TNT_ERR_TAG_NOT_FOUND, true, PrepareNothing,
     [](Profile* p) -> TntStatus {
         static uint8_t buffer[20000];
         uint32_t size = sizeof buffer;
         return TntGetProfileElement(p, Sig("B2A1"), &size, buffer);
     }},
    {"partial read", true, TNT_ERR_TAG_NOT_FOUND, true, PrepareNothing,
     [](Profile* p) -> TntStatus {
         uint8_t buffer[4];
         uint32_t count = 4;
         return TntGetPartialProfileElement(p, Sig("gamt"), 8, &count, buffer);
     }},
    {"data pointer", true, TNT_ERR_TAG_NOT_FOUND, true, PrepareNothing,
     [](Profile* p) -> TntStatus {
         return TntProfileGetTagDataPtr(p, Sig("A2B2")) ? TNT_OK : TNT_ERR_TAG_NOT_FOUND;
     }},
    {"tag type", true, TNT_ERR_TAG_NOT_FOUND, true, PrepareNothing,
     [](Profile* p) -> TntStatus {
         uint32_t type = 0;
         TntStatus st = tnt::ReadTagType(p, Sig("arts"), &type);
         return st ? st : (type == Sig("sf32") ? TNT_OK : TNT_ERR_TAG_RANGE);
     }},
    {"reference then read", true, TNT_ERR_TAG_NOT_FOUND, false, PrepareNothing,
     [](Profile* p) -> TntStatus {
         TntStatus st = TntSetProfileElementReference(p, Sig("B2A2"), Sig("B2AX"));
         if (st) return st;
         return TntProfileGetTagDataPtr(p, Sig("B2AX")) == TntProfileGetTagDataPtr(p, Sig("B2A2"))
                    ? TNT_OK
                    : TNT_ERR_TAG_NOT_FOUND;
     }},
    {"save", true, TNT_ERR_CANNOT_SAVE, true, PrepareNothing,
     [](Profile* p) -> TntStatus {
         ProfileLocation location{};
         TntMakeMemFile(&location, gSweepTarget.data(), static_cast<uint32_t>(gSweepTarget.size()));
         return TntSaveProfile(p, &location);
     }},
};

TEST(ProfileElements, AllocationFailuresAreCleanAndRecoverable) {
    Bytes image = ReadFileBytes(TestProfile("tr003-cmyk-lab-low-v2.icc"));
    ASSERT_EQ(image.size(), 54500u);
    auto make = [&](const SweepCase& c) {
        Profile* p = nullptr;
        if (c.fromFile) {
            p = OpenImage(image);
        } else {
            EXPECT_EQ(TntNewProfile(&p, nullptr), 0);
        }
        if (p) c.prepare(p);
        return p;
    };
    for (const SweepCase& c : kSweep) {
        SCOPED_TRACE(c.name);
        const uint64_t calls = Sweep([&](uint64_t k) {
            SweepRun run;
            Profile* pristine = make(c);
            Profile* p = make(c);
            ProfileHeader before{};
            TntGetProfileHeader(p, &before);
            Armed(k, run, [&] { return c.run(p); });
            if (run.reached && c.failureKeepsTags) {
                ProfileHeader after{};
                TntGetProfileHeader(p, &after);
                EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
                ExpectSameTags(Snapshot(pristine), Snapshot(p));
            }
            ExpectSavesAndReopensEqual(p);
            TntCloseProfile(p);
            TntCloseProfile(pristine);
            return run;
        }, {c.failure});
        EXPECT_GT(calls, 0u);
    }
}

// Copies every tag of a real profile into a new one (tags listed at one
// place become references), edits the copy, saves it to memory and has
// Little CMS read every tag back in ICC order.
void CopyEditAndCheckWithLittleCms(const std::string& path) {
    SCOPED_TRACE(path);
    Bytes original = ReadFileBytes(path);
    ASSERT_GT(original.size(), 132u);
    const std::vector<RawTag> dir = FileDirectory(original);
    const int64_t base = tnt::LiveBlockCount();
    Profile* src = OpenImage(original);
    ASSERT_NE(src, nullptr);
    Profile* dst = nullptr;
    ASSERT_EQ(TntNewProfile(&dst, nullptr), 0);
    ProfileHeader header{};
    ASSERT_EQ(TntGetProfileHeader(src, &header), 0);
    ASSERT_EQ(TntSetProfileHeader(dst, &header), 0);

    // Expected file bytes per signature, in the order of the copy.
    std::vector<std::pair<uint32_t, Bytes>> expect;
    auto fileBytes = [&](const RawTag& t) {
        return Bytes(original.begin() + t.offset, original.begin() + t.offset + t.size);
    };
    for (size_t i = 0; i < dir.size(); ++i) {
        const RawTag& t = dir[i];
        size_t first = i;
        for (size_t j = 0; j < i; ++j)
            if (dir[j].offset == t.offset && dir[j].size == t.size) first = std::min(first, j);
        if (first < i) {
            ASSERT_EQ(TntSetProfileElementReference(dst, dir[first].signature, t.signature), 0);
        } else {
            Bytes host = TagBytes(src, t.signature);
            ASSERT_EQ(host.size(), t.size);
            ASSERT_EQ(TntSetProfileElement(dst, t.signature, t.size, host.data()), 0);
        }
        expect.emplace_back(t.signature, fileBytes(t));
    }
    auto drop = [&](uint32_t signature) {
        ASSERT_EQ(TntRemoveProfileElement(dst, signature), 0);
        std::erase_if(expect, [&](const auto& e) { return e.first == signature; });
    };

    // A second name for the description.
    ASSERT_EQ(TntSetProfileElementReference(dst, Sig("desc"), Sig("dsc2")), 0);
    expect.emplace_back(Sig("dsc2"), expect[tnt::FindTagIndex(dst, Sig("desc"))].second);
    // The copyright, shared under two names, replaced by a longer text.
    ASSERT_EQ(TntSetProfileElementReference(dst, Sig("cprt"), Sig("cpr2")), 0);
    const std::string text = "Copyright: edited by the Tintwell tests, resized through one of two names";
    const uint32_t textSize = static_cast<uint32_t>(8 + text.size() + 1);
    ASSERT_EQ(TntSetProfileElementSize(dst, Sig("cpr2"), textSize), 0);
    uint32_t type = Sig("text");  // host order, like all tag data here
    ASSERT_EQ(TntSetPartialProfileElement(dst, Sig("cprt"), 0, 4, &type), 0);
    ASSERT_EQ(TntSetPartialProfileElement(dst, Sig("cpr2"), 8, static_cast<uint32_t>(text.size()), text.data()), 0);
    Bytes textFile(textSize, 0);
    PutBigU32(textFile, 0, Sig("text"));
    std::memcpy(textFile.data() + 8, text.data(), text.size());
    for (auto& e : expect)
        if (e.first == Sig("cprt")) e.second = textFile;
    expect.emplace_back(Sig("cpr2"), textFile);
    // Removals: a tag of its own, and one name of a shared table if any.
    for (size_t i = dir.size(); i-- > 0;) {
        const RawTag& t = dir[i];
        bool alone = std::count_if(dir.begin(), dir.end(), [&](const RawTag& o) { return o.offset == t.offset; }) == 1;
        if (alone && t.signature != Sig("desc") && t.signature != Sig("cprt")) {
            drop(t.signature);
            break;
        }
    }
    uint32_t exists = 0;
    ASSERT_EQ(TntProfileElementExists(dst, Sig("A2B1"), &exists), 0);
    if (exists) drop(Sig("A2B1"));
    // A tag that is grown and then removed leaves nothing behind.
    ASSERT_EQ(TntSetProfileElementSize(dst, Sig("tmp "), 5000), 0);
    ASSERT_EQ(TntRemoveProfileElement(dst, Sig("tmp ")), 0);

    Bytes saved = SaveToMemory(dst);
    ASSERT_FALSE(saved.empty());
    // Entries of one block keep one offset in the file.
    std::vector<RawTag> out = FileDirectory(saved);
    ASSERT_EQ(out.size(), expect.size());
    auto offsetOf = [&](uint32_t s) {
        for (const RawTag& t : out)
            if (t.signature == s) return t.offset;
        return 0u;
    };
    EXPECT_EQ(offsetOf(Sig("cprt")), offsetOf(Sig("cpr2")));
    EXPECT_EQ(offsetOf(Sig("desc")), offsetOf(Sig("dsc2")));
    if (exists) {
        EXPECT_EQ(offsetOf(Sig("A2B0")), offsetOf(Sig("A2B2")));
    }

    cmsHPROFILE lcms = cmsOpenProfileFromMem(saved.data(), static_cast<cmsUInt32Number>(saved.size()));
    ASSERT_NE(lcms, nullptr);
    EXPECT_EQ(cmsGetTagCount(lcms), static_cast<cmsInt32Number>(expect.size()));
    EXPECT_EQ(static_cast<uint32_t>(cmsGetColorSpace(lcms)), header.colorSpace);
    EXPECT_EQ(static_cast<uint32_t>(cmsGetDeviceClass(lcms)), header.deviceClass);
    for (const auto& [signature, bytes] : expect) {
        auto s = static_cast<cmsTagSignature>(signature);
        ASSERT_TRUE(cmsIsTag(lcms, s)) << std::hex << signature;
        Bytes raw(bytes.size() + 16);
        cmsUInt32Number n = cmsReadRawTag(lcms, s, raw.data(), static_cast<cmsUInt32Number>(raw.size()));
        ASSERT_EQ(n, bytes.size()) << std::hex << signature;
        raw.resize(n);
        EXPECT_EQ(raw, bytes) << std::hex << signature;
    }
    EXPECT_FALSE(cmsIsTag(lcms, static_cast<cmsTagSignature>(Sig("tmp "))));
    cmsCloseProfile(lcms);

    ExpectSavesAndReopensEqual(dst);
    TntCloseProfile(dst);
    TntCloseProfile(src);
    EXPECT_EQ(tnt::LiveBlockCount(), base);
}

TEST(ProfileElements, EditedRealProfilesReadBackInLittleCms) {
    CopyEditAndCheckWithLittleCms(TestProfile("fogra39-cmyk-lab-v2.icc"));
    CopyEditAndCheckWithLittleCms(TestProfile("srgb-to-fogra39-link-mft1-linkicc.icc"));
    CopyEditAndCheckWithLittleCms(TestProfile("gray-gamma1-mntr-xyz-v2.icc"));
    // Debian's reference profiles, when installed: one with three curves at
    // one place and many tag types.
    for (const char* path : {"/usr/share/color/icc/sRGB.icc", "/usr/share/color/argyll/ref/sRGB.icm"})
        if (std::ifstream(path).good()) CopyEditAndCheckWithLittleCms(path);
}

}  // namespace
