// Every real profile on the machine survives open, lazy load, save and
// reopen byte for byte. (Damaged copies are the fuzz harnesses' work.)
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <vector>

#include "platform/memory.h"
#include "profile/container.h"
#include "support/profile_images.h"
#include "support/v4_profiles.h"

using namespace tnt;
using namespace tnt_test;

namespace {

// `saved` holds the same header (after the size field), the same directory
// signatures in order and for every tag the same bytes as `original`, each
// tag at a 4-byte boundary.
void ExpectSameProfile(const Bytes& original, const Bytes& saved) {
    ASSERT_GE(saved.size(), 132u);
    EXPECT_EQ(std::memcmp(original.data() + 4, saved.data() + 4, 124), 0) << "header";
    ASSERT_EQ(BigU32(saved, 128), BigU32(original, 128));
    EXPECT_EQ(BigU32(saved, 0), saved.size()) << "size field";
    for (uint32_t i = 0, e = 132; i < BigU32(original, 128); ++i, e += 12) {
        EXPECT_EQ(BigU32(saved, e), BigU32(original, e)) << "signature " << i;
        const uint32_t size = BigU32(original, e + 8), from = BigU32(original, e + 4), to = BigU32(saved, e + 4);
        ASSERT_EQ(BigU32(saved, e + 8), size) << "size of tag " << i;
        ASSERT_LE(uint64_t(to) + size, saved.size());
        EXPECT_EQ(to % 4, 0u) << "tag " << i << " is aligned";
        EXPECT_EQ(std::memcmp(original.data() + from, saved.data() + to, size), 0) << "bytes of tag " << i;
    }
}

}  // namespace

TEST(RealProfiles, RoundTripByteForByte) {
    std::vector<std::string> paths = RealProfilePaths();
    ASSERT_GE(paths.size(), 8u) << "the committed test profiles at least";
    // ICC v4 tables and curves as Little CMS writes them ('mAB ', 'mBA ',
    // 'para', 'mluc') keep their bytes and the header its version, too.
    const std::string folder = TempPath("v4");
    std::filesystem::create_directories(folder);
    const MadeProfiles& v4 = MakeV4Profiles(folder, TNT_TEST_PROFILES);
    for (const std::string& made : {v4.srgb, v4.cmykLab, v4.cmykXyz, v4.link, v4.rgbPara[3]})
        if (!made.empty()) paths.push_back(made);
    int sharedBlocks = 0;
    const std::string out = TempPath("roundtrip.icc");
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        Bytes original = ReadFileBytes(path);
        // From the file, lazily: nothing is loaded until asked for.
        ProfileLocation fileLoc = FileLocationOf(path), outLoc = FileLocationOf(out);
        Profile* p = nullptr;
        ASSERT_EQ(TntOpenProfile(&p, &fileLoc), 0);
        for (uint32_t i = 0; i < p->tagCount; ++i) EXPECT_EQ(p->data[i], nullptr);
        ASSERT_EQ(LoadAllTags(p), 0);
        sharedBlocks += int(p->tagCount - std::set<uint8_t*>(p->data, p->data + p->tagCount).size());
        const Bytes fromFile = SaveToMemory(p);
        ExpectSameProfile(original, fromFile);
        // From a memory block, saved to a file, reopened.
        Profile* q = OpenImage(original);
        ASSERT_EQ(TntSaveProfile(q, &outLoc), 0);
        EXPECT_EQ(ReadFileBytes(out), fromFile) << "file and memory targets get the same bytes";
        Profile* r = nullptr;
        ASSERT_EQ(TntOpenProfile(&r, &outLoc), 0);
        ExpectSameTags(Snapshot(p), Snapshot(r));
        TntCloseProfile(r);
        TntCloseProfile(q);
        TntCloseProfile(p);
    }
    std::remove(out.c_str());
    EXPECT_GT(sharedBlocks, 0) << "the printer profiles list A2B0/A2B1/A2B2 at one offset";
}

TEST(RealProfiles, SaveOverTheFileItWasOpenedFrom) {
    for (const char* name : {"fogra29-cmyk-xyz-v2.icc", "srgb-to-fogra39-link-mft1-linkicc.icc"}) {
        const Bytes original = ReadFileBytes(TestProfile(name));
        std::string path = TempPath(name);
        ASSERT_TRUE(WriteFileBytes(path, original));
        ProfileLocation loc = FileLocationOf(path);
        Profile* p = nullptr;
        // No tag is loaded yet: the save must load them all before it
        // truncates the file.
        ASSERT_EQ(TntOpenProfile(&p, &loc), 0);
        ASSERT_EQ(TntSaveProfile(p, &loc), 0);
        TntCloseProfile(p);
        ExpectSameProfile(original, ReadFileBytes(path));
        // The same through a memory block, and through TntUpdateProfile.
        Bytes block = original;
        block.resize(original.size() + 64);
        ProfileLocation mem = MemoryLocationOf(block);
        ASSERT_EQ(TntOpenProfile(&p, &mem), 0);
        p->flags |= kModified;
        ASSERT_EQ(TntUpdateProfile(p), 0);
        EXPECT_FALSE(IsModified(p));
        TntCloseProfile(p);
        block.resize(BigU32(block, 0));
        ExpectSameProfile(original, block);
        std::remove(path.c_str());
    }
}
