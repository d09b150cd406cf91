// The profile container and the streams under it: opening, lazy loading,
// sharing, layout, saving over memory blocks, movable handles and files,
// and every real profile saved back byte for byte.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <vector>

#include "platform/memory.h"
#include "profile/container.h"
#include "profile/stream.h"
#include "support/profile_images.h"
#include "support/v4_profiles.h"

using namespace tnt;
using namespace tnt_test;

extern "C" uint32_t TntHeaderCheckFromC(void);

namespace {

ProfileLocation MemLocation(void* p, uint32_t size) {
    ProfileLocation loc;
    std::memset(&loc, 0xAB, sizeof loc);  // untouched bytes stay untouched
    TntMakeMemFile(&loc, p, size);
    return loc;
}

}  // namespace

TEST(Header, CompilesAsC) { EXPECT_EQ(TntHeaderCheckFromC(), 0x4C616220u); }

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
    EXPECT_EQ(TntUpdateProfile(p), 0) << "an unbound profile is not written";

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
    // Size, the five offsets, the last entry's size.
    for (auto [offset, value] : {std::pair{0u, base + 32}, {136u, base}, {148u, base + 8}, {160u, base + 16},
                                 {172u, base + 20}, {184u, base + 20}, {188u, 10u}})
        EXPECT_EQ(BigU32(file, offset), value) << offset;
    for (uint32_t zero : {base + 5, base + 7, base + 17, base + 30, base + 31}) EXPECT_EQ(file[zero], 0) << zero;
    EXPECT_EQ(file[base + 24], 5);
    EXPECT_TRUE(p->directory[4].offset == base + 20 && p->header.size == p->profileSize) << "describes what was written";
    TntCloseProfile(p);
}

TEST(Container, OpenRefusesWhatIsNotAProfile) {
    Profile* untouched = reinterpret_cast<Profile*>(0x10);
    Profile* out = untouched;
    const Bytes good = MakeImage({{Sig("wtpt"), 144, 20}}, 164);
    // {offset, value, status}; offset 1000 cuts the image to `value` bytes.
    const struct { size_t offset; uint32_t value; TntStatus status; } cases[] = {
        {1000, 128, TNT_ERR_PROFILE_TOO_SHORT}, {1000, 129, TNT_ERR_PROFILE_SIZE}, {0, 165, TNT_ERR_PROFILE_SIZE},
        {36, 0x78637370, TNT_ERR_NOT_ICC}, {8, 0x02400000, TNT_OK}, {8, 0x04400000, TNT_OK},
        {8, 0x05000000, TNT_ERR_PROFILE_VERSION}, {8, 0xFF000000, TNT_ERR_PROFILE_VERSION},
        {128, 100, TNT_ERR_SHORT_READ}, {128, 101, TNT_ERR_NO_MEMORY}, {128, 0xFFFFFFFF, TNT_ERR_NO_MEMORY},
        {128, 3, TNT_ERR_SHORT_READ}, {128, 2, TNT_OK}};
    for (const auto& c : cases) {
        Bytes bad = good;
        if (c.offset == 1000) bad.resize(c.value); else PutBigU32(bad, c.offset, c.value);
        ProfileLocation loc = MemoryLocationOf(bad);
        EXPECT_EQ(TntOpenProfile(&out, &loc), c.status) << c.offset << " " << c.value;
        if (c.status == TNT_OK) TntCloseProfile(out);
        else EXPECT_EQ(out, untouched);
        out = untouched;
    }
    ProfileLocation missing = FileLocationOf(TempPath("no-such-profile.icc"));
    EXPECT_EQ(TntOpenProfile(&out, &missing), TNT_ERR_CANNOT_OPEN_PROFILE);
    EXPECT_EQ(out, untouched);

    // The caller's record is read, never written; nothing loads yet.
    Bytes image = good;
    ProfileLocation loc = MemoryLocationOf(image), before = loc;
    ASSERT_EQ(TntOpenProfile(&out, &loc), 0);
    EXPECT_EQ(std::memcmp(&loc, &before, sizeof loc), 0);
    EXPECT_TRUE(out->flags == kBoundToLocation && out->profileSize == 164 && out->data[0] == nullptr);
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
    EXPECT_TRUE(p->data[0] == p->data[1] && p->data[2] == nullptr);
    ASSERT_TRUE(LoadTagData(p, 2) == 0 && LoadTagData(p, 3) == 0 && LoadTagData(p, 4) == 0);
    EXPECT_NE(p->data[2], p->data[0]);
    EXPECT_NE(p->data[3], p->data[4]) << "a zero-size tag never lends its block to a real one";
    int64_t live = LiveBlockCount();
    EXPECT_EQ(LoadTagData(p, 5), TNT_ERR_SHORT_READ);
    EXPECT_EQ(LiveBlockCount(), live) << "nothing is allocated for a tag past the end";
    EXPECT_EQ(LoadTagData(p, 6), TNT_ERR_TAG_NOT_FOUND);
    EXPECT_EQ(LoadAllTags(p), TNT_ERR_SHORT_READ);
    Bytes out(4096);
    ProfileLocation target = MemoryLocationOf(out);
    EXPECT_EQ(TntSaveProfile(p, &target), TNT_ERR_CANNOT_SAVE);
    TntCloseProfile(p);
}

TEST(Container, SavesAndUpdates) {
    // Every real profile saves back byte for byte, and v4 tables and curves
    // as Little CMS writes them ('mAB ', 'mBA ', 'para', 'mluc') too.
    std::vector<std::string> paths = RealProfilePaths();
    const std::string folder = TempPath("v4");
    std::filesystem::create_directories(folder);
    const MadeProfiles& v4 = MakeV4Profiles(folder, TNT_TEST_PROFILES);
    for (const std::string& made : {v4.srgb, v4.cmykLab, v4.cmykXyz, v4.link, v4.rgbPara[3]})
        if (!made.empty()) paths.push_back(made);
    for (const std::string& path : paths) {
        Bytes original = ReadFileBytes(path);
        Profile* p = OpenImage(original);
        SCOPED_TRACE(path);
        ExpectSavesAndReopensEqual(p);
        TntCloseProfile(p);
    }
    // Saved over the file it was opened from: every tag must be loaded
    // before the file is cut. The same through TntUpdateProfile on a block.
    for (const char* name : {"fogra29-cmyk-xyz-v2.icc", "srgb-to-fogra39-link-mft1-linkicc.icc"}) {
        Bytes original = ReadFileBytes(TestProfile(name)), block = original;
        std::string path = TempPath(name);
        ASSERT_TRUE(WriteFileBytes(path, original));
        ProfileLocation loc = FileLocationOf(path), mem = MemoryLocationOf(block);
        Profile *p = nullptr, *q = nullptr, *o = OpenImage(original);
        ASSERT_TRUE(TntOpenProfile(&p, &loc) == 0 && TntSaveProfile(p, &loc) == 0 && TntOpenProfile(&q, &mem) == 0);
        q->flags |= kModified;
        ASSERT_EQ(TntUpdateProfile(q), 0);
        EXPECT_FALSE(IsModified(q));
        EXPECT_EQ(ReadFileBytes(path), block) << "file and memory targets get the same bytes";
        TntCloseProfile(q);
        q = OpenImage(block);
        ExpectSameTags(Snapshot(o), Snapshot(q));
        for (Profile* x : {o, p, q}) TntCloseProfile(x);
        std::remove(path.c_str());
    }
    // A new profile bound to a file is written once per change.
    std::string path = TempPath("update.icc");
    ProfileLocation loc = FileLocationOf(path);
    Profile* p = nullptr;
    ASSERT_EQ(TntNewProfile(&p, &loc), 0);
    EXPECT_EQ(p->flags, kModified | kBoundToLocation);
    ASSERT_TRUE(TntSetProfileElement(p, Sig("cprt"), 9, "cccccccc") == 0 && TntUpdateProfile(p) == 0);
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

TEST(Streams, MemoryBlocksRefuseWhatDoesNotFit) {
    std::vector<uint8_t> block(150);
    for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(i);
    ProfileLocation loc = MemLocation(block.data(), 150);
    EXPECT_TRUE(std::strcmp(loc.memory.name, "MemFile") == 0 && loc.memory.reserved2[100] == 0xAB);
    ProfileStream* s = nullptr;
    uint8_t buf[200] = {};
    uint32_t actual = 999;
    ASSERT_TRUE(OpenStream(&loc, TNT_MODE_READ, &s) == 0 && SeekStream(s, 100, true) == 0);
    EXPECT_EQ(ReadStream(s, 200, &actual, buf), TNT_ERR_SHORT_READ);
    EXPECT_TRUE(actual == 50 && s->record.position == 150 && buf[49] == 149);
    EXPECT_EQ(loc.memory.position, 0u) << "the caller's record keeps its own position";
    EXPECT_EQ(WriteStream(s, 1, nullptr, buf), TNT_ERR_STREAM_MODE);
    ASSERT_EQ(SeekStream(s, -2000, false), 0);  // wraps far past the end
    EXPECT_TRUE(ReadStream(s, 4, &actual, buf) == TNT_ERR_SHORT_READ && actual == 0);
    CloseStream(s);

    std::vector<uint8_t> target(100, 7);
    loc = MemLocation(target.data(), 100);
    ASSERT_TRUE(OpenStream(&loc, TNT_MODE_WRITE, &s) == 0 && SeekStream(s, 50, true) == 0);
    EXPECT_EQ(WriteStream(s, 51, &actual, buf), TNT_ERR_SHORT_WRITE);
    EXPECT_TRUE(actual == 0 && target[50] == 7) << "nothing is written when it does not fit";
    EXPECT_EQ(WriteStream(s, 50, &actual, buf), 0);
    EXPECT_TRUE(actual == 50 && target[99] == buf[49]);
    EXPECT_EQ(ReadStream(s, 1, nullptr, buf), TNT_ERR_STREAM_MODE);
    ASSERT_EQ(SeekStream(s, 0xFFFFFFF0, true), 0);
    EXPECT_EQ(WriteStream(s, 0x20, nullptr, buf), TNT_ERR_SHORT_WRITE) << "no wrap-around past 4 GiB";
    CloseStream(s);
}

TEST(Streams, MovableBlocksAreLockedPerAccessAndStaleHandlesFailCleanly) {
    Bytes original = ReadFileBytes(TestProfile("gray-gamma1-mntr-xyz-v2.icc"));
    void* source = AllocMovableBlock(original.size());
    std::memcpy(LockHandle(source), original.data(), original.size());
    UnlockHandleFully(source);
    void* target = AllocMovableBlock(original.size());
    ProfileLocation from = MemLocation(nullptr, uint32_t(original.size())), to = from;
    from.memory.handle = source, to.memory.handle = target;
    Profile* p = nullptr;
    ASSERT_TRUE(TntOpenProfile(&p, &from) == 0 && TntSaveProfile(p, &to) == 0);
    EXPECT_EQ(HandleLockCount(source) + HandleLockCount(target), 0u) << "fully unlocked after each access";
    EXPECT_EQ(std::memcmp(static_cast<uint8_t*>(LockHandle(target)) + 128, original.data() + 128, original.size() - 128), 0);
    UnlockHandleFully(target);
    TntCloseProfile(p);
    for (void* h : {source, target}) FreeMovableBlock(h);
    EXPECT_EQ(LockHandle(target), nullptr);
    ProfileStream* s = nullptr;
    uint8_t buf[4];
    ASSERT_EQ(OpenStream(&to, TNT_MODE_READ_WRITE, &s), 0);
    EXPECT_EQ(ReadStream(s, 4, nullptr, buf), TNT_ERR_SHORT_READ);
    EXPECT_EQ(WriteStream(s, 4, nullptr, buf), TNT_ERR_SHORT_WRITE);
    CloseStream(s);
}

TEST(Streams, FileModesPathsAndSizes) {
    std::string path = TempPath("stream.bin");
    ProfileLocation loc = FileLocationOf(path);
    ProfileStream* s = nullptr;
    for (auto [mode, text] : {std::pair{TNT_MODE_WRITE, "0123456789"}, {TNT_MODE_APPEND, "abc"}}) {
        ASSERT_EQ(OpenStream(&loc, mode, &s), 0);
        ASSERT_EQ(WriteStream(s, uint32_t(std::strlen(text)), nullptr, text), 0);
        CloseStream(s);
    }
    ASSERT_EQ(OpenStream(&loc, TNT_MODE_READ, &s), 0);
    uint32_t size = 0, actual = 0;
    ASSERT_TRUE(SeekStream(s, 4, true) == 0 && StreamSize(s, &size) == 0);
    EXPECT_EQ(size, 13u);
    char buf[32] = {};
    EXPECT_EQ(ReadStream(s, 20, &actual, buf), TNT_ERR_SHORT_READ) << "the size query kept the position";
    EXPECT_STREQ(buf, "456789abc");
    CloseStream(s);
    ProfileLocation missing = FileLocationOf(path + ".missing"), unterminated, empty{};
    std::memset(unterminated.path, 'a', sizeof unterminated.path);
    for (auto [where, mode] : {std::pair{&empty, TNT_MODE_READ}, {&loc, 5}, {&loc, 0}, {&missing, TNT_MODE_READ},
                               {&unterminated, TNT_MODE_READ}})
        EXPECT_EQ(OpenStream(where, mode, &s), TNT_ERR_CANNOT_OPEN_STREAM);
    EXPECT_EQ(s, nullptr);
}

TEST(MemoryHelpers, AllocationFailureSwitchAndCounts) {
    int64_t live = LiveBlockCount();
    FailAllocationAt(2);
    void* a = AllocBlock(10);
    void* b = AllocBlock(10);
    void* c = AllocBlock(0);
    FailAllocationAt(0);
    EXPECT_TRUE(a && !b && c) << "only the second fails; a zero-size block is still a block";
    EXPECT_EQ(LiveBlockCount(), live + 2);
    for (void* x : {a, c, static_cast<void*>(nullptr)}) FreeBlock(x);
    EXPECT_EQ(LiveBlockCount(), live);
}
