// Streams over memory blocks, movable handles and files.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/memory.h"
#include "profile/stream.h"
#include "support/real_profiles.h"
#include "tintwell.h"

using namespace tnt;

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

TEST(MemoryStream, ShortReadsAndWritesThatDoNotFit) {
    std::vector<uint8_t> block(150);
    for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(i);
    ProfileLocation loc = MemLocation(block.data(), 150);
    EXPECT_STREQ(loc.memory.name, "MemFile");
    EXPECT_EQ(loc.memory.reserved2[100], 0xAB);
    ProfileStream* s = nullptr;
    ASSERT_EQ(OpenStream(&loc, TNT_MODE_READ, &s), 0);
    uint8_t buf[200] = {};
    uint32_t actual = 999;
    ASSERT_EQ(SeekStream(s, 100, true), 0);
    EXPECT_EQ(ReadStream(s, 200, &actual, buf), TNT_ERR_SHORT_READ);
    EXPECT_EQ(actual, 50u);
    EXPECT_EQ(s->record.position, 150u);
    EXPECT_EQ(buf[49], 149);
    EXPECT_EQ(loc.memory.position, 0u) << "the caller's record keeps its own position";
    EXPECT_EQ(WriteStream(s, 1, nullptr, buf), TNT_ERR_STREAM_MODE);
    ASSERT_EQ(SeekStream(s, -2000, false), 0);  // wraps far past the end
    EXPECT_EQ(ReadStream(s, 4, &actual, buf), TNT_ERR_SHORT_READ);
    EXPECT_EQ(actual, 0u);
    CloseStream(s);

    std::vector<uint8_t> target(100, 7);
    loc = MemLocation(target.data(), 100);
    ASSERT_EQ(OpenStream(&loc, TNT_MODE_WRITE, &s), 0);
    ASSERT_EQ(SeekStream(s, 50, true), 0);
    EXPECT_EQ(WriteStream(s, 51, &actual, buf), TNT_ERR_SHORT_WRITE);
    EXPECT_EQ(actual, 0u);
    EXPECT_EQ(target[50], 7) << "nothing is written when it does not fit";
    EXPECT_EQ(WriteStream(s, 50, &actual, buf), 0);
    EXPECT_EQ(actual, 50u);
    EXPECT_EQ(target[99], buf[49]);
    EXPECT_EQ(ReadStream(s, 1, nullptr, buf), TNT_ERR_STREAM_MODE);
    ASSERT_EQ(SeekStream(s, 0xFFFFFFF0, true), 0);
    EXPECT_EQ(WriteStream(s, 0x20, nullptr, buf), TNT_ERR_SHORT_WRITE) << "no wrap-around past 4 GiB";
    CloseStream(s);
}

TEST(MemoryStream, MovableBlocksAreLockedPerAccessAndStaleHandlesFailCleanly) {
    void* handle = AllocMovableBlock(64);
    auto* p = static_cast<uint8_t*>(LockHandle(handle));
    for (int i = 0; i < 64; ++i) p[i] = uint8_t(i * 3);
    UnlockHandleFully(handle);
    ProfileLocation loc = MemLocation(nullptr, 64);
    loc.memory.handle = handle;
    ProfileStream* s = nullptr;
    ASSERT_EQ(OpenStream(&loc, TNT_MODE_READ_WRITE, &s), 0);
    uint8_t buf[16];
    ASSERT_EQ(SeekStream(s, 10, true), 0);
    ASSERT_EQ(ReadStream(s, 16, nullptr, buf), 0);
    EXPECT_EQ(buf[0], 30);
    buf[0] = 0xEE;
    ASSERT_EQ(WriteStream(s, 1, nullptr, buf), 0);
    EXPECT_EQ(HandleLockCount(handle), 0u) << "fully unlocked after each access";
    EXPECT_EQ(static_cast<uint8_t*>(LockHandle(handle))[26], 0xEE);
    UnlockHandleFully(handle);
    CloseStream(s);
    FreeMovableBlock(handle);
    EXPECT_EQ(LockHandle(handle), nullptr);
    ASSERT_EQ(OpenStream(&loc, TNT_MODE_READ_WRITE, &s), 0);
    EXPECT_EQ(ReadStream(s, 4, nullptr, buf), TNT_ERR_SHORT_READ);
    EXPECT_EQ(WriteStream(s, 4, nullptr, buf), TNT_ERR_SHORT_WRITE);
    CloseStream(s);
}

TEST(FileStream, ModesPathsAndSizes) {
    std::string path = tnt_test::TempPath("stream.bin");
    ProfileLocation loc = tnt_test::FileLocationOf(path);
    ProfileStream* s = nullptr;
    ASSERT_EQ(OpenStream(&loc, TNT_MODE_WRITE, &s), 0);
    ASSERT_EQ(WriteStream(s, 10, nullptr, "0123456789"), 0);
    CloseStream(s);
    ASSERT_EQ(OpenStream(&loc, TNT_MODE_APPEND, &s), 0);
    ASSERT_EQ(WriteStream(s, 3, nullptr, "abc"), 0);
    CloseStream(s);
    ASSERT_EQ(OpenStream(&loc, TNT_MODE_READ, &s), 0);
    uint32_t size = 0, actual = 0;
    ASSERT_EQ(SeekStream(s, 4, true), 0);
    ASSERT_EQ(StreamSize(s, &size), 0);
    EXPECT_EQ(size, 13u);
    char buf[32] = {};
    EXPECT_EQ(ReadStream(s, 20, &actual, buf), TNT_ERR_SHORT_READ) << "the size query kept the position";
    EXPECT_STREQ(buf, "456789abc");
    CloseStream(s);

    ProfileLocation missing = tnt_test::FileLocationOf(path + ".missing"), unterminated, empty{};
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
    EXPECT_NE(a, nullptr);
    EXPECT_EQ(b, nullptr);
    EXPECT_NE(c, nullptr) << "a zero-size block is still a block";
    EXPECT_EQ(LiveBlockCount(), live + 2);
    FreeBlock(a);
    FreeBlock(c);
    FreeBlock(nullptr);
    EXPECT_EQ(LiveBlockCount(), live);
}
