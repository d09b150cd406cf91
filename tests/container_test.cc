// The profile container: opening, lazy loading, sharing, layout, saving.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/memory.h"
#include "profile/container.h"
#include "support/profile_images.h"

using namespace tnt;
using namespace tnt_test;

TEST(Container, NewProfileDefaultsAndLayout) {
    Profile* p = nullptr;
    ASSERT_EQ(TntNewProfile(&p, nullptr), 0);
    EXPECT_GE(p->header.date[0], 2024);
    Bytes file = SaveToMemory(p);
    ASSERT_EQ(file.size(), 132u);
    // Size, version, class, signature, D50 illuminant, creator, tag count.
    for (auto [offset, value] : {std::pair{0, 132u}, {8, 0x02100000u}, {12, kUnsetSignature}, {36, Sig("acsp")},
                                 {68, 0xF6D6u}, {72, 0x10000u}, {76, 0xD32Du}, {80, Sig("TINT")}, {128, 0u}})
        EXPECT_EQ(BigU32(file, offset), value) << offset;
    EXPECT_TRUE(IsModified(p)) << "saving elsewhere keeps Modified";

    // Blocks padded to 4 bytes with zeros; a second name for the 10-byte
    // block points at the one copy.
    uint8_t bytes[10];
    for (uint8_t i = 0; i < 10; ++i) bytes[i] = uint8_t(i + 1);
    for (auto [name, size] : {std::pair{"aaaa", 5u}, {"bbbb", 8u}, {"cccc", 1u}, {"dddd", 10u}})
        ASSERT_EQ(TntSetProfileElement(p, TNT_SIG(name[0], name[1], name[2], name[3]), size, bytes), 0);
    ASSERT_EQ(TntSetProfileElementReference(p, Sig("dddd"), Sig("eeee")), 0);
    file = SaveToMemory(p);
    const uint32_t base = 132 + 12 * 5;
    ASSERT_EQ(file.size(), base + 8 + 8 + 4 + 12);
    EXPECT_EQ(BigU32(file, 0), base + 32u);
    const uint32_t offsets[] = {base, base + 8, base + 16, base + 20, base + 20};
    for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(BigU32(file, 136 + 12 * i), offsets[i]) << i;
    EXPECT_EQ(BigU32(file, 140 + 48), 10u);
    for (uint32_t zero : {base + 5, base + 7, base + 17, base + 30, base + 31}) EXPECT_EQ(file[zero], 0) << zero;
    EXPECT_EQ(file[base + 24], 5);
    EXPECT_EQ(p->directory[4].offset, base + 20) << "the directory describes what was written";
    EXPECT_EQ(p->header.size, p->profileSize);
    TntCloseProfile(p);
}

TEST(Container, OpenRefusesWhatIsNotAProfile) {
    Profile* untouched = reinterpret_cast<Profile*>(0x10);
    Profile* out = untouched;
    const Bytes good = MakeImage({{Sig("wtpt"), 144, 20}}, 164);
    // {offset, value, status}; offset 1000 cuts the image to `value` bytes.
    const struct { size_t offset; uint32_t value; TntStatus status; } cases[] = {
        {1000, 128, TNT_ERR_PROFILE_TOO_SHORT}, {1000, 129, TNT_ERR_PROFILE_SIZE}, {0, 165, TNT_ERR_PROFILE_SIZE}, {36, 0x78637370, TNT_ERR_NOT_ICC},
        {8, 0x02400000, TNT_OK}, {8, 0x04400000, TNT_OK}, {8, 0x05000000, TNT_ERR_PROFILE_VERSION},
        {8, 0xFF000000, TNT_ERR_PROFILE_VERSION}, {128, 100, TNT_ERR_SHORT_READ}, {128, 101, TNT_ERR_NO_MEMORY},
        {128, 0xFFFFFFFF, TNT_ERR_NO_MEMORY}, {128, 3, TNT_ERR_SHORT_READ}, {128, 2, TNT_OK}};
    for (const auto& c : cases) {
        Bytes bad = good;
        if (c.offset == 1000) bad.resize(c.value); else PutBigU32(bad, c.offset, c.value);
        ProfileLocation loc = MemoryLocationOf(bad);
        EXPECT_EQ(TntOpenProfile(&out, &loc), c.status) << c.offset << " " << c.value;
        if (c.status == TNT_OK) TntCloseProfile(out);
        else EXPECT_EQ(out, untouched);
        out = untouched;
    }
    ProfileLocation missing = FileLocationOf(TempPath("no-such-profile.icc")), empty{};
    EXPECT_EQ(TntOpenProfile(&out, &missing), TNT_ERR_CANNOT_OPEN_PROFILE);
    EXPECT_EQ(TntOpenProfile(&out, &empty), TNT_ERR_CANNOT_OPEN_PROFILE);
    EXPECT_EQ(out, untouched);

    // The caller's record is read, never written; nothing loads yet.
    Bytes image = good;
    ProfileLocation loc = MemoryLocationOf(image), before = loc;
    ASSERT_EQ(TntOpenProfile(&out, &loc), 0);
    EXPECT_EQ(std::memcmp(&loc, &before, sizeof loc), 0);
    EXPECT_EQ(out->flags, kBoundToLocation);
    EXPECT_EQ(out->profileSize, 164u);
    EXPECT_EQ(out->data[0], nullptr);
    TntCloseProfile(out);
}

TEST(Container, TagsThatLieAboutTheirPlace) {
    // Two entries at one offset with one size share; another size at the
    // same offset gets its own block; zero-size tags and a tag reaching past
    // the end of the data.
    Bytes bytes = MakeImage({{Sig("A2B0"), 180, 40}, {Sig("A2B1"), 180, 40}, {Sig("part"), 180, 12},
                             {Sig("zero"), 220, 0}, {Sig("nxt "), 220, 8}, {Sig("far "), 200, 0x7FFFFFF0}}, 228);
    Profile* p = OpenImage(bytes);
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
    EXPECT_EQ(LoadTagData(p, 6), TNT_ERR_TAG_NOT_FOUND);
    EXPECT_EQ(LoadAllTags(p), TNT_ERR_SHORT_READ);
    Bytes out(4096);
    ProfileLocation target = MemoryLocationOf(out);
    EXPECT_EQ(TntSaveProfile(p, &target), TNT_ERR_CANNOT_SAVE);
    // Without the lying tag, everything survives a save and reopen.
    p->tagCount = 5;
    Bytes saved = SaveToMemory(p);
    Profile* q = OpenImage(saved);
    ASSERT_EQ(LoadAllTags(q), 0);
    EXPECT_EQ(q->data[0], q->data[1]);
    EXPECT_EQ(q->data[4][4], bytes[224]);
    ExpectSameTags(Snapshot(p), Snapshot(q));
    TntCloseProfile(q);
    TntCloseProfile(p);
}

TEST(Container, UpdateAndFailedSaves) {
    std::string path = TempPath("update.icc");
    ProfileLocation loc = FileLocationOf(path);
    Profile* p = nullptr;
    ASSERT_EQ(TntNewProfile(&p, &loc), 0);
    EXPECT_EQ(p->flags, kModified | kBoundToLocation);
    ASSERT_EQ(TntSetProfileElement(p, Sig("cprt"), 9, "cccccccc"), 0);
    ASSERT_EQ(TntUpdateProfile(p), 0);
    EXPECT_EQ(p->flags, kBoundToLocation);
    EXPECT_EQ(ReadFileBytes(path).size(), 132u + 12 + 12);
    std::remove(path.c_str());
    ASSERT_EQ(TntUpdateProfile(p), 0);
    EXPECT_TRUE(ReadFileBytes(path).empty()) << "an unmodified profile is not written";
    ProfileLocation nowhere = FileLocationOf("/nonexistent-dir/x.icc");
    EXPECT_EQ(TntSaveProfile(p, &nowhere), TNT_ERR_CANNOT_SAVE);
    TntCloseProfile(p);

    // Targets that cut the write off in the header, the table and the data
    // leave the profile as read, in host order.
    Bytes original = ReadFileBytes(TestProfile("tr003-cmyk-lab-low-v2.icc"));
    p = OpenImage(original);
    ASSERT_EQ(LoadAllTags(p), 0);
    const Content before = Snapshot(p);
    for (uint32_t room : {100u, 140u, 20000u}) {
        Bytes small(room);
        ProfileLocation cut = MemoryLocationOf(small);
        EXPECT_EQ(TntSaveProfile(p, &cut), TNT_ERR_SHORT_WRITE) << room;
        ExpectSameTags(before, Snapshot(p));
    }
    TntCloseProfile(p);
}

TEST(Container, MovableBlocksWorkAsLocations) {
    Bytes original = ReadFileBytes(TestProfile("gray-gamma1-mntr-xyz-v2.icc"));
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
    EXPECT_EQ(HandleLockCount(source) + HandleLockCount(target), 0u);
    EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(LockHandle(target)) + 128, original.data() + 128, original.size() - 128), 0);
    UnlockHandleFully(target);
    TntCloseProfile(p);
    FreeMovableBlock(source);
    FreeMovableBlock(target);
}
