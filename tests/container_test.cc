// The profile container: opening, lazy loading, sharing, layout, saving.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/memory.h"
#include "profile/byteorder.h"
#include "profile/container.h"
#include "support/allocation_sweep.h"
#include "support/profile_images.h"
#include "support/real_profiles.h"

using namespace tnt;
using tnt_test::BigU32;
using tnt_test::PutBigU32;
using tnt_test::Sig;

namespace {

// Gives a fresh profile a tag whose block holds `bytes` (host order).
void AddTag(Profile* p, uint32_t signature, const std::vector<uint8_t>& bytes) {
    uint32_t i = p->tagCount++;
    p->directory[i] = TagEntry{signature, p->profileSize, uint32_t(bytes.size())};
    p->profileSize += uint32_t(bytes.size());
    p->data[i] = static_cast<uint8_t*>(AllocBlock(bytes.size()));
    if (!bytes.empty()) std::memcpy(p->data[i], bytes.data(), bytes.size());
}

std::vector<uint8_t> Text(uint32_t size, uint8_t fill) {
    std::vector<uint8_t> b(size, fill);
    if (size >= 4) {
        uint32_t type = Sig("zzzz");
        std::memcpy(b.data(), &type, 4);
    }
    return b;
}

std::vector<uint8_t> SaveToMemory(Profile* p, TntStatus* status = nullptr) {
    std::vector<uint8_t> out(1 << 20);
    ProfileLocation loc = tnt_test::MemoryLocationOf(out);
    TntStatus st = TntSaveProfile(p, &loc);
    if (status) *status = st;
    out.resize(st ? 0 : p->profileSize);
    return out;
}

}  // namespace

TEST(Container, NewProfileHasDefaultsAndSavesAs132Bytes) {
    Profile* p = nullptr;
    ASSERT_EQ(TntNewProfile(&p, nullptr), 0);
    EXPECT_EQ(p->flags, kModified);
    EXPECT_GE(p->header.date[0], 2024);
    std::vector<uint8_t> file = SaveToMemory(p);
    ASSERT_EQ(file.size(), 132u);
    // Size, version, class, signature, D50 illuminant, creator, tag count.
    for (auto [offset, value] : {std::pair{0, 132u}, {8, 0x02100000u}, {12, kUnsetSignature}, {36, Sig("acsp")},
                                 {68, 0xF6D6u}, {72, 0x10000u}, {76, 0xD32Du}, {80, Sig("TINT")}, {128, 0u}})
        EXPECT_EQ(BigU32(file, offset), value) << offset;
    EXPECT_EQ(p->flags, kModified) << "saving elsewhere keeps Modified";
    EXPECT_EQ(TntUpdateProfile(p), 0) << "an unbound profile is not written";
    TntCloseProfile(p);
    EXPECT_EQ(LiveBlockCount(), 0);
}

TEST(Container, LayoutPadsBlocksAndWritesSharedBlocksOnce) {
    Profile* p = nullptr;
    ASSERT_EQ(TntNewProfile(&p, nullptr), 0);
    AddTag(p, Sig("aaaa"), Text(5, 1));
    AddTag(p, Sig("bbbb"), Text(8, 2));
    AddTag(p, Sig("cccc"), Text(1, 3));
    AddTag(p, Sig("dddd"), Text(10, 4));
    // A second name for the 10-byte block.
    p->directory[p->tagCount] = p->directory[3];
    p->directory[p->tagCount].signature = Sig("eeee");
    p->data[p->tagCount++] = p->data[3];

    std::vector<uint8_t> file = SaveToMemory(p);
    uint32_t base = 132 + 12 * 5;
    ASSERT_EQ(file.size(), base + 8 + 8 + 4 + 12);
    EXPECT_EQ(BigU32(file, 0), base + 32u);
    auto entry = [&](int i, int field) { return BigU32(file, 132 + 12 * i + 4 * field); };
    EXPECT_EQ(entry(0, 1), base);
    EXPECT_EQ(entry(1, 1), base + 8);
    EXPECT_EQ(entry(2, 1), base + 16);
    EXPECT_EQ(entry(3, 1), base + 20);
    EXPECT_EQ(entry(4, 1), base + 20) << "the shared entry points at the one block";
    EXPECT_EQ(entry(4, 2), 10u);
    EXPECT_EQ(file[base + 5], 0);
    EXPECT_EQ(file[base + 7], 0);
    EXPECT_EQ(file[base + 16 + 1], 0);
    EXPECT_EQ(file[base + 20 + 4], 4);
    EXPECT_EQ(file[base + 30], 0);
    EXPECT_EQ(file[base + 31], 0);
    EXPECT_EQ(p->directory[4].offset, base + 20) << "the directory describes what was written";
    EXPECT_EQ(p->header.size, p->profileSize);
    TntCloseProfile(p);
    EXPECT_EQ(LiveBlockCount(), 0);
}

TEST(Container, OpenRefusesWhatIsNotAProfile) {
    Profile* untouched = reinterpret_cast<Profile*>(0x10);
    Profile* out = untouched;
    auto open = [&](std::vector<uint8_t> bytes) {
        ProfileLocation loc = tnt_test::MemoryLocationOf(bytes);
        return TntOpenProfile(&out, &loc);
    };
    std::vector<uint8_t> good = tnt_test::MakeImage({{Sig("wtpt"), 144, 20}}, 164);
    EXPECT_EQ(open(std::vector<uint8_t>(good.begin(), good.begin() + 128)), TNT_ERR_PROFILE_TOO_SHORT);
    EXPECT_EQ(open({}), TNT_ERR_PROFILE_TOO_SHORT);
    std::vector<uint8_t> bad = good;
    PutBigU32(bad, 0, 165);
    EXPECT_EQ(open(bad), TNT_ERR_PROFILE_SIZE);
    bad = good;
    bad[36] = 'x';
    EXPECT_EQ(open(bad), TNT_ERR_NOT_ICC);
    // Versions 2 and 4 open; 5 and later are another format.
    for (uint32_t version : {0x02400000u, 0x04400000u, 0x05000000u, 0xFF000000u}) {
        bad = good;
        PutBigU32(bad, 8, version);
        const TntStatus st = open(bad);
        EXPECT_EQ(st, version >= 0x05000000u ? TNT_ERR_PROFILE_VERSION : TNT_OK) << std::hex << version;
        if (!st) {
            TntCloseProfile(out);
            out = untouched;
        }
    }
    bad = good;
    PutBigU32(bad, 128, 101);
    EXPECT_EQ(open(bad), TNT_ERR_NO_MEMORY) << "a directory never holds more than 100 tags";
    PutBigU32(bad, 128, 0xFFFFFFFF);
    EXPECT_EQ(open(bad), TNT_ERR_NO_MEMORY);
    PutBigU32(bad, 128, 3);
    EXPECT_EQ(open(bad), TNT_ERR_SHORT_READ) << "the tag table runs past the data";
    EXPECT_EQ(out, untouched);

    ProfileLocation missing = tnt_test::FileLocationOf(tnt_test::TempPath("no-such-profile.icc"));
    EXPECT_EQ(TntOpenProfile(&out, &missing), TNT_ERR_CANNOT_OPEN_PROFILE);
    ProfileLocation empty{};
    EXPECT_EQ(TntOpenProfile(&out, &empty), TNT_ERR_CANNOT_OPEN_PROFILE);
    EXPECT_EQ(out, untouched);

    // The caller's record is read, never written.
    ProfileLocation loc = tnt_test::MemoryLocationOf(good);
    ProfileLocation before = loc;
    ASSERT_EQ(TntOpenProfile(&out, &loc), 0);
    EXPECT_EQ(std::memcmp(&loc, &before, sizeof loc), 0);
    EXPECT_EQ(out->tagCount, 1u);
    EXPECT_EQ(out->flags, kBoundToLocation);
    EXPECT_EQ(out->header.deviceClass, Sig("mntr"));
    EXPECT_EQ(out->profileSize, 164u);
    TntCloseProfile(out);
    EXPECT_EQ(LiveBlockCount(), 0);
}

TEST(Container, TagsThatLieAboutTheirPlace) {
    // Two entries at one offset with one size share; another size at the
    // same offset gets its own block; zero-size tags and a tag reaching past
    // the end of the data.
    std::vector<uint8_t> bytes = tnt_test::MakeImage({{Sig("A2B0"), 180, 40},
                                               {Sig("A2B1"), 180, 40},
                                               {Sig("part"), 180, 12},
                                               {Sig("zero"), 220, 0},
                                               {Sig("nxt "), 220, 8},
                                               {Sig("far "), 200, 0x7FFFFFF0}},
                                              228);
    ProfileLocation loc = tnt_test::MemoryLocationOf(bytes);
    Profile* p = nullptr;
    ASSERT_EQ(TntOpenProfile(&p, &loc), 0);
    ASSERT_EQ(LoadTagData(p, 1), 0);
    EXPECT_EQ(p->data[0], p->data[1]);
    EXPECT_EQ(p->data[2], nullptr);
    ASSERT_EQ(LoadTagData(p, 2), 0);
    EXPECT_NE(p->data[2], p->data[0]);
    ASSERT_EQ(LoadTagData(p, 3), 0);
    ASSERT_EQ(LoadTagData(p, 4), 0);
    EXPECT_NE(p->data[3], p->data[4]) << "a zero-size tag never lends its block to a real one";
    int64_t live = LiveBlockCount();
    EXPECT_EQ(LoadTagData(p, 5), TNT_ERR_SHORT_READ);
    EXPECT_EQ(LiveBlockCount(), live) << "nothing is allocated for a tag past the end";
    EXPECT_EQ(p->data[5], nullptr);
    EXPECT_EQ(LoadTagData(p, 6), TNT_ERR_TAG_NOT_FOUND);
    EXPECT_EQ(LoadAllTags(p), TNT_ERR_SHORT_READ);
    std::vector<uint8_t> out(4096);
    ProfileLocation target = tnt_test::MemoryLocationOf(out);
    EXPECT_EQ(TntSaveProfile(p, &target), TNT_ERR_CANNOT_SAVE);

    // Without the lying tag, everything survives a save and reopen.
    p->tagCount = 5;
    TntStatus st;
    std::vector<uint8_t> saved = SaveToMemory(p, &st);
    ASSERT_EQ(st, 0);
    ProfileLocation again = tnt_test::MemoryLocationOf(saved);
    Profile* q = nullptr;
    ASSERT_EQ(TntOpenProfile(&q, &again), 0);
    ASSERT_EQ(LoadAllTags(q), 0);
    EXPECT_EQ(q->data[0], q->data[1]);
    for (uint32_t i = 0; i < 5; ++i) {
        ASSERT_EQ(q->directory[i].size, p->directory[i].size) << i;
        EXPECT_EQ(std::memcmp(q->data[i], p->data[i], p->directory[i].size), 0) << i;
    }
    EXPECT_EQ(q->data[4][4], bytes[224]);
    TntCloseProfile(q);
    TntCloseProfile(p);
    EXPECT_EQ(LiveBlockCount(), 0);
}

TEST(Container, UpdateWritesOnlyModifiedBoundProfiles) {
    std::string path = tnt_test::TempPath("update.icc");
    ProfileLocation loc = tnt_test::FileLocationOf(path);
    Profile* p = nullptr;
    ASSERT_EQ(TntNewProfile(&p, &loc), 0);
    EXPECT_EQ(p->flags, kModified | kBoundToLocation);
    AddTag(p, Sig("cprt"), Text(9, 'c'));
    ASSERT_EQ(TntUpdateProfile(p), 0);
    EXPECT_EQ(p->flags, kBoundToLocation);
    EXPECT_EQ(tnt_test::ReadFileBytes(path).size(), 132u + 12 + 12);
    std::remove(path.c_str());
    ASSERT_EQ(TntUpdateProfile(p), 0);
    EXPECT_TRUE(tnt_test::ReadFileBytes(path).empty()) << "an unmodified profile is not written";
    ProfileLocation nowhere = tnt_test::FileLocationOf("/nonexistent-dir/x.icc");
    EXPECT_EQ(TntSaveProfile(p, &nowhere), TNT_ERR_CANNOT_SAVE);
    TntCloseProfile(p);
    EXPECT_EQ(LiveBlockCount(), 0);
}

TEST(Container, FailedSaveLeavesTheProfileInHostOrder) {
    std::vector<uint8_t> original = tnt_test::ReadFileBytes(tnt_test::TestProfile("tr003-cmyk-lab-low-v2.icc"));
    ProfileLocation loc = tnt_test::MemoryLocationOf(original);
    Profile* p = nullptr;
    ASSERT_EQ(TntOpenProfile(&p, &loc), 0);
    ASSERT_EQ(LoadAllTags(p), 0);
    ProfileHeader header = p->header;
    std::vector<TagEntry> directory(p->directory, p->directory + p->tagCount);
    std::vector<std::vector<uint8_t>> blocks;
    for (uint32_t i = 0; i < p->tagCount; ++i) blocks.emplace_back(p->data[i], p->data[i] + p->directory[i].size);
    // Targets that cut the write off in the header, the table, and the data.
    for (uint32_t room : {100u, 140u, 20000u}) {
        std::vector<uint8_t> small(room);
        ProfileLocation target = tnt_test::MemoryLocationOf(small);
        EXPECT_EQ(TntSaveProfile(p, &target), TNT_ERR_SHORT_WRITE) << room;
        // The size field follows the layout; everything after it is as read.
        EXPECT_EQ(std::memcmp(reinterpret_cast<uint8_t*>(&p->header) + 4, reinterpret_cast<uint8_t*>(&header) + 4, 124), 0);
        for (uint32_t i = 0; i < p->tagCount; ++i) {
            EXPECT_EQ(p->directory[i].signature, directory[i].signature);
            EXPECT_EQ(std::memcmp(p->data[i], blocks[i].data(), blocks[i].size()), 0) << i;
        }
    }
    TntCloseProfile(p);
    EXPECT_EQ(LiveBlockCount(), 0);
}

TEST(Container, MovableBlocksWorkAsLocations) {
    std::vector<uint8_t> original = tnt_test::ReadFileBytes(tnt_test::TestProfile("gray-gamma1-mntr-xyz-v2.icc"));
    void* source = AllocMovableBlock(original.size());
    std::memcpy(LockHandle(source), original.data(), original.size());
    UnlockHandleFully(source);
    void* target = AllocMovableBlock(original.size());

    ProfileLocation from{}, to{};
    TntMakeMemFile(&from, nullptr, uint32_t(original.size()));
    from.memory.handle = source;
    TntMakeMemFile(&to, nullptr, uint32_t(original.size()));
    to.memory.handle = target;
    Profile* p = nullptr;
    ASSERT_EQ(TntOpenProfile(&p, &from), 0);
    ASSERT_EQ(TntSaveProfile(p, &to), 0);
    EXPECT_EQ(HandleLockCount(source), 0u);
    EXPECT_EQ(HandleLockCount(target), 0u);
    auto* written = static_cast<uint8_t*>(LockHandle(target));
    EXPECT_EQ(std::memcmp(written + 128, original.data() + 128, original.size() - 128), 0);
    UnlockHandleFully(target);
    TntCloseProfile(p);
    FreeMovableBlock(source);
    FreeMovableBlock(target);
}

