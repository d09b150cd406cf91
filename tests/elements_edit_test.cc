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
