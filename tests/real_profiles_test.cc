// Every real profile on the machine survives open, lazy load, save and
// reopen byte for byte; damaged copies of them give statuses, never crashes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <vector>

#include "platform/memory.h"
#include "profile/byteorder.h"
#include "profile/container.h"
#include "support/real_profiles.h"
#include "support/v4_profiles.h"

using namespace tnt;
using tnt_test::BigU32;
using tnt_test::PutBigU32;

namespace {

// Checks that `saved` holds the same header (after the size field), the same
// directory signatures in order, and for every tag the same bytes as
// `original`.
void ExpectSameProfile(const std::vector<uint8_t>& original, const std::vector<uint8_t>& saved,
                       const std::string& what) {
    ASSERT_GE(saved.size(), 132u) << what;
    EXPECT_EQ(std::memcmp(original.data() + 4, saved.data() + 4, 124), 0) << what << ": header";
    uint32_t count = BigU32(original, 128);
    ASSERT_EQ(BigU32(saved, 128), count) << what;
    EXPECT_EQ(BigU32(saved, 0), saved.size()) << what << ": size field";
    for (uint32_t i = 0; i < count; ++i) {
        size_t e = 132 + 12 * i;
        EXPECT_EQ(BigU32(saved, e), BigU32(original, e)) << what << ": signature " << i;
        uint32_t size = BigU32(original, e + 8);
        ASSERT_EQ(BigU32(saved, e + 8), size) << what << ": size of tag " << i;
        uint32_t from = BigU32(original, e + 4), to = BigU32(saved, e + 4);
        ASSERT_LE(uint64_t(to) + size, saved.size()) << what;
        EXPECT_EQ(to % 4, 0u) << what << ": tag " << i << " is aligned";
        EXPECT_EQ(std::memcmp(original.data() + from, saved.data() + to, size), 0)
            << what << ": bytes of tag " << i;
    }
}

std::vector<uint8_t> SaveToMemory(Profile* p, size_t room, TntStatus* status) {
    std::vector<uint8_t> out(room);
    ProfileLocation loc = tnt_test::MemoryLocationOf(out);
    *status = TntSaveProfile(p, &loc);
    out.resize(*status ? 0 : p->profileSize);
    return out;
}

}  // namespace

TEST(RealProfiles, RoundTripByteForByte) {
    std::vector<std::string> paths = tnt_test::RealProfilePaths();
    ASSERT_GE(paths.size(), 8u) << "the committed test profiles at least";
    // ICC v4 tables and curves as Little CMS writes them ('mAB ', 'mBA ',
    // 'para', 'mluc') keep their bytes and the header its version, too.
    const std::string folder = tnt_test::TempPath("v4");
    std::filesystem::create_directories(folder);
    const tnt_test::MadeProfiles& v4 = tnt_test::MakeV4Profiles(folder, TNT_TEST_PROFILES);
    for (const std::string& made : {v4.srgb, v4.cmykLab, v4.cmykXyz, v4.link, v4.rgbPara[3]})
        if (!made.empty()) paths.push_back(made);
    int sharedBlocks = 0;
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        std::vector<uint8_t> original = tnt_test::ReadFileBytes(path);
        ASSERT_GT(original.size(), 132u);

        // From the file, lazily: nothing is loaded until asked for.
        ProfileLocation fileLoc = tnt_test::FileLocationOf(path);
        Profile* p = nullptr;
        ASSERT_EQ(TntOpenProfile(&p, &fileLoc), 0);
        EXPECT_EQ(p->tagCount, BigU32(original, 128));
        for (uint32_t i = 0; i < p->tagCount; ++i) EXPECT_EQ(p->data[i], nullptr);
        ASSERT_EQ(LoadAllTags(p), 0);
        std::set<uint8_t*> blocks(p->data, p->data + p->tagCount);
        sharedBlocks += int(p->tagCount - blocks.size());
        TntStatus st;
        std::vector<uint8_t> fromFile = SaveToMemory(p, original.size() + 4096, &st);
        ASSERT_EQ(st, 0);
        ExpectSameProfile(original, fromFile, "saved from a file");

        // From a memory block, saved to a file, reopened.
        std::vector<uint8_t> copy = original;
        ProfileLocation memLoc = tnt_test::MemoryLocationOf(copy);
        Profile* q = nullptr;
        ASSERT_EQ(TntOpenProfile(&q, &memLoc), 0);
        std::string out = tnt_test::TempPath("roundtrip.icc");
        ProfileLocation outLoc = tnt_test::FileLocationOf(out);
        ASSERT_EQ(TntSaveProfile(q, &outLoc), 0);
        std::vector<uint8_t> onDisk = tnt_test::ReadFileBytes(out);
        ExpectSameProfile(original, onDisk, "saved to a file");
        EXPECT_EQ(onDisk, fromFile) << "file and memory targets get the same bytes";
        Profile* r = nullptr;
        ASSERT_EQ(TntOpenProfile(&r, &outLoc), 0);
        ASSERT_EQ(LoadAllTags(r), 0);
        for (uint32_t i = 0; i < r->tagCount; ++i) {
            ASSERT_EQ(r->directory[i].size, p->directory[i].size);
            EXPECT_EQ(std::memcmp(r->data[i], p->data[i], p->directory[i].size), 0)
                << "host-order tag " << i << " reads back the same";
        }
        TntCloseProfile(r);
        TntCloseProfile(q);
        TntCloseProfile(p);
        std::remove(out.c_str());
    }
    EXPECT_GT(sharedBlocks, 0) << "the printer profiles list A2B0/A2B1/A2B2 at one offset";
    EXPECT_EQ(LiveBlockCount(), 0);
}

TEST(RealProfiles, SaveOverTheFileItWasOpenedFrom) {
    for (const char* name : {"fogra29-cmyk-xyz-v2.icc", "srgb-to-fogra39-link-mft1-linkicc.icc"}) {
        std::vector<uint8_t> original = tnt_test::ReadFileBytes(tnt_test::TestProfile(name));
        std::string path = tnt_test::TempPath(name);
        ASSERT_TRUE(tnt_test::WriteFileBytes(path, original));
        ProfileLocation loc = tnt_test::FileLocationOf(path);
        Profile* p = nullptr;
        ASSERT_EQ(TntOpenProfile(&p, &loc), 0);
        // No tag is loaded yet: the save must load them all before it
        // truncates the file.
        ASSERT_EQ(TntSaveProfile(p, &loc), 0);
        TntCloseProfile(p);
        ExpectSameProfile(original, tnt_test::ReadFileBytes(path), name);

        // The same through a memory block, and through TntUpdateProfile.
        std::vector<uint8_t> block = original;
        block.resize(original.size() + 64);
        ProfileLocation mem = tnt_test::MemoryLocationOf(block);
        ASSERT_EQ(TntOpenProfile(&p, &mem), 0);
        p->flags |= kModified;
        ASSERT_EQ(TntUpdateProfile(p), 0);
        EXPECT_EQ(p->flags & kModified, 0u);
        TntCloseProfile(p);
        block.resize(BigU32(block, 0));
        ExpectSameProfile(original, block, name);
        std::remove(path.c_str());
    }
    EXPECT_EQ(LiveBlockCount(), 0);
}

TEST(RealProfiles, TruncatedAndBentCopiesGiveStatuses) {
    // Cut every committed test profile at every 97th byte, bend the size field and
    // every tag offset and size: each copy sits in an exactly sized heap
    // block, so a stray read is caught by the sanitizer build.
    std::map<TntStatus, int> seen;
    auto tryOpen = [&](const std::vector<uint8_t>& bytes) {
        auto* heap = static_cast<uint8_t*>(std::malloc(bytes.size() ? bytes.size() : 1));
        if (!bytes.empty()) std::memcpy(heap, bytes.data(), bytes.size());
        ProfileLocation loc{};
        TntMakeMemFile(&loc, heap, uint32_t(bytes.size()));
        Profile* p = nullptr;
        TntStatus st = TntOpenProfile(&p, &loc);
        if (!st) {
            st = LoadAllTags(p);
            std::vector<uint8_t> out(4 * bytes.size() + 8192);  // bent offsets can undo sharing
            ProfileLocation target = tnt_test::MemoryLocationOf(out);
            TntStatus saved = TntSaveProfile(p, &target);
            if (!st) {
                EXPECT_EQ(saved, 0);
            }
            TntCloseProfile(p);
        }
        std::free(heap);
        ++seen[st];
    };
    for (const std::string& path : tnt_test::TestProfilePaths()) {
        std::vector<uint8_t> original = tnt_test::ReadFileBytes(path);
        for (size_t cut = 0; cut < original.size(); cut += 97)
            tryOpen(std::vector<uint8_t>(original.begin(), original.begin() + cut));
        uint32_t count = BigU32(original, 128);
        for (uint32_t bend : {0u, 1u, 3u, 0x7FFFFFFFu, 0xFFFFFFFFu, uint32_t(original.size())}) {
            std::vector<uint8_t> bent = original;
            PutBigU32(bent, 0, bend);
            tryOpen(bent);
            for (uint32_t i = 0; i < count; ++i) {
                for (size_t field : {4u, 8u}) {
                    bent = original;
                    PutBigU32(bent, 132 + 12 * i + field, bend);
                    tryOpen(bent);
                }
            }
        }
    }
    EXPECT_GT(seen[TNT_ERR_PROFILE_TOO_SHORT], 0);
    EXPECT_GT(seen[TNT_ERR_PROFILE_SIZE], 0);
    EXPECT_GT(seen[TNT_ERR_SHORT_READ], 0);
    EXPECT_GT(seen[0], 0);
    for (const auto& [status, n] : seen) {
        static const std::set<TntStatus> expected = {0, TNT_ERR_PROFILE_TOO_SHORT, TNT_ERR_PROFILE_SIZE,
                                                     TNT_ERR_SHORT_READ, TNT_ERR_NO_MEMORY};
        EXPECT_TRUE(expected.count(status)) << "unexpected status " << status << " (" << n << " times)";
    }
    EXPECT_EQ(LiveBlockCount(), 0);
}
