// Tag and header access: bounds, writes, sharing, removal, the directory
// limit, header copies and the header accessors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/memory.h"
#include "profile/byteorder.h"
#include "profile/container.h"
#include "profile/elements.h"
#include "support/profile_images.h"
#include "tintwell.h"

namespace {

using namespace tnt_test;

uint32_t Exists(Profile* p, uint32_t signature) {
    uint32_t value = 7;
    EXPECT_EQ(TntProfileElementExists(p, signature, &value), 0);
    return value;
}

TEST(ProfileElements, QueriesAndPartialReads) {
    const uint32_t aaaa = Sig("aaaa"), bbbb = Sig("bbbb"), tiny = Sig("tiny"), lng = Sig("long"), none = Sig("zzzz");
    // 'long' claims 1000 bytes from 236 in a 240-byte image.
    Bytes image = MakeImage({{aaaa, 180, 40}, {bbbb, 220, 10}, {tiny, 232, 3}, {lng, 236, 1000}}, 240);
    Profile* p = OpenImage(image);
    ASSERT_NE(p, nullptr);
    uint32_t value = 0;
    EXPECT_EQ(TntCountProfileElements(p, &value), 0);
    EXPECT_TRUE(value == 4 && Exists(p, aaaa) == 1 && Exists(p, none) == 0);
    EXPECT_TRUE(TntGetProfileElementSize(p, lng) == 1000 && TntGetProfileElementSize(p, none) == 0);

    // Size first; a smaller size copies only that much.
    const Bytes expectA = HostTextBytes(image, 180, 40);
    uint8_t buf[64];
    EXPECT_TRUE(TntGetProfileElement(p, aaaa, &value, nullptr) == 0 && value == 40);
    value = 16;
    std::memset(buf, 0xEE, sizeof buf);
    EXPECT_EQ(TntGetProfileElement(p, aaaa, &value, buf), 0);
    EXPECT_TRUE(std::equal(buf, buf + 16, expectA.begin()) && buf[16] == 0xEE);
    EXPECT_EQ(TagBytes(p, aaaa), expectA);
    EXPECT_EQ(TntGetProfileElement(p, none, &value, buf), TNT_ERR_TAG_NOT_FOUND);

    // Partial reads {tag, offset, count, status}, counts that would wrap in
    // 32 bits included. The range is judged from the directory: a request
    // outside 'bbbb' does not load it, and 'long' cannot be loaded.
    const struct { uint32_t tag, offset, count; TntStatus status; } reads[] = {
        {aaaa, 0, 40, 0}, {aaaa, 0, 41, TNT_ERR_TAG_RANGE}, {aaaa, 40, 0, TNT_ERR_TAG_RANGE}, {aaaa, 39, 1, 0},
        {aaaa, 1, 0xFFFFFFFFu, TNT_ERR_TAG_RANGE}, {aaaa, 0xFFFFFFFFu, 1, TNT_ERR_TAG_RANGE},
        {none, 0, 4, TNT_ERR_TAG_NOT_FOUND}, {bbbb, 0, 11, TNT_ERR_TAG_RANGE}, {lng, 1000, 4, TNT_ERR_TAG_RANGE},
        {lng, 0, 4, TNT_ERR_TAG_NOT_FOUND}};
    for (const auto& r : reads) {
        uint32_t count = r.count;
        buf[0] = 0;
        EXPECT_EQ(TntGetPartialProfileElement(p, r.tag, r.offset, &count, buf), r.status) << r.offset << " " << r.count;
        EXPECT_EQ(count, r.count);
        EXPECT_TRUE(r.status || buf[0] == expectA[r.offset]) << r.offset;
    }
    EXPECT_EQ(p->data[tnt::FindTagIndex(p, bbbb)], nullptr);
    uint32_t count = 4000;
    EXPECT_EQ(TntGetPartialProfileElement(p, aaaa, 0, &count, nullptr), 0);
    EXPECT_EQ(TntProfileGetTagDataPtr(p, lng), nullptr);
    static uint8_t whole[1024];
    EXPECT_EQ(TntGetProfileElement(p, lng, nullptr, whole), TNT_ERR_TAG_NOT_FOUND);

    // The data pointer is the profile's own block, loaded once.
    EXPECT_EQ(TntProfileGetTagDataPtr(p, bbbb), TntProfileGetTagDataPtr(p, bbbb));
    EXPECT_EQ(TagBytes(p, bbbb), HostTextBytes(image, 220, 10));
    // The type signature comes back in host order; a tag too short to have
    // one is out of range.
    EXPECT_EQ(tnt::ReadTagType(p, aaaa, &value), 0);
    EXPECT_EQ(value, Sig("text"));
    EXPECT_EQ(tnt::ReadTagType(p, tiny, &value), TNT_ERR_TAG_RANGE);
    EXPECT_EQ(tnt::ReadTagType(nullptr, aaaa, &value), TNT_ERR_NULL_ARGUMENT);
    EXPECT_FALSE(IsModified(p));
    TntCloseProfile(p);
}

TEST(ProfileElements, WritesAndResizes) {
    const uint32_t aaaa = Sig("aaaa"), lng = Sig("long");
    Bytes image = MakeImage({{aaaa, 156, 40}, {lng, 196, 1000}}, 200);
    Profile* p = OpenImage(image);
    ASSERT_NE(p, nullptr);
    uint8_t bytes[64];
    for (int i = 0; i < 64; ++i) bytes[i] = static_cast<uint8_t>(0xA0 + i);

    // A new tag: zero-filled, placed after everything, not yet a change;
    // size 0 creates the entry and finds nothing to copy into; a null buffer
    // gives zeros.
    EXPECT_EQ(TntSetProfileElementSize(p, Sig("new1"), 12), 0);
    EXPECT_EQ(TagBytes(p, Sig("new1")), Bytes(12, 0));
    EXPECT_TRUE(tnt::TagEntryAt(p, 2)->offset == 200 && p->profileSize == 212);
    EXPECT_EQ(TntSetProfileElement(p, Sig("zero"), 0, bytes), TNT_ERR_TAG_RANGE);
    EXPECT_EQ(Exists(p, Sig("zero")), 1u);
    EXPECT_EQ(TntSetProfileElement(p, Sig("nulb"), 8, nullptr), 0);
    EXPECT_TRUE(TagBytes(p, Sig("nulb")) == Bytes(8, 0) && !IsModified(p));
    EXPECT_EQ(TntSetProfileElement(p, Sig("new2"), 40, bytes), 0);
    EXPECT_TRUE(TagBytes(p, Sig("new2")) == Bytes(bytes, bytes + 40) && IsModified(p));

    // On an existing tag the size stays: shorter overwrites the start,
    // longer is refused and leaves the bytes alone.
    Bytes expectA = HostTextBytes(image, 156, 40);
    EXPECT_EQ(TntSetProfileElement(p, aaaa, 16, bytes), 0);
    std::memcpy(expectA.data(), bytes, 16);
    EXPECT_EQ(TntSetProfileElement(p, aaaa, 41, bytes), TNT_ERR_TAG_RANGE);
    EXPECT_EQ(TntSetProfileElement(p, aaaa, 20, nullptr), 0);
    const struct { uint32_t tag, offset, count; TntStatus status; } writes[] = {{aaaa, 38, 2, 0},
        {aaaa, 39, 2, TNT_ERR_TAG_RANGE}, {aaaa, 40, 0, TNT_ERR_TAG_RANGE}, {aaaa, 1, 0xFFFFFFFFu, TNT_ERR_TAG_RANGE},
        {Sig("zzzz"), 0, 1, TNT_ERR_TAG_NOT_FOUND}, {lng, 0, 4, TNT_ERR_TAG_NOT_FOUND}};
    std::memcpy(expectA.data() + 38, bytes, 2);
    for (const auto& w : writes) EXPECT_EQ(TntSetPartialProfileElement(p, w.tag, w.offset, w.count, bytes), w.status);
    EXPECT_EQ(TntSetPartialProfileElement(p, aaaa, 0, 4000, nullptr), 0);
    EXPECT_EQ(TagBytes(p, aaaa), expectA);
    // A block may be copied within itself.
    auto* ptr = static_cast<uint8_t*>(TntProfileGetTagDataPtr(p, aaaa));
    EXPECT_EQ(TntSetPartialProfileElement(p, aaaa, 8, 16, ptr + 4), 0);
    std::memmove(expectA.data() + 8, expectA.data() + 4, 16);
    EXPECT_EQ(TagBytes(p, aaaa), expectA);

    // A tag that cannot be read: writes into it fail, replacing it works;
    // resizing gives fresh zeros.
    EXPECT_EQ(TntSetProfileElement(p, lng, 4, bytes), TNT_ERR_TAG_NOT_FOUND);
    EXPECT_TRUE(TntSetProfileElementSize(p, lng, 16) == 0 && TntSetProfileElementSize(p, aaaa, 8) == 0);
    EXPECT_TRUE(TagBytes(p, lng) == Bytes(16, 0) && TagBytes(p, aaaa) == Bytes(8, 0));
    ExpectSavesAndReopensEqual(p);
    TntCloseProfile(p);
}

TEST(ProfileElements, SharedTagsStayOneBlock) {
    uint8_t bytes[64];
    for (int i = 0; i < 64; ++i) bytes[i] = static_cast<uint8_t>(i + 1);
    const uint32_t a2b0 = Sig("A2B0"), a2b1 = Sig("A2B1"), a2b2 = Sig("A2B2"), othr = Sig("othr");

    Profile* p = nullptr;
    ASSERT_EQ(TntNewProfile(&p, nullptr), 0);
    ASSERT_EQ(TntSetProfileElement(p, a2b0, 10, bytes), 0);
    p->flags &= ~tnt::kModified;
    EXPECT_EQ(TntSetProfileElementReference(p, a2b0, a2b1), 0);
    EXPECT_TRUE(IsModified(p));
    EXPECT_EQ(TntSetPartialProfileElement(p, a2b1, 2, 3, bytes + 40), 0);
    EXPECT_EQ(TagBytes(p, a2b0), Bytes({1, 2, 41, 42, 43, 6, 7, 8, 9, 10}));
    const int64_t oneBlock = tnt::LiveBlockCount();
    // Resizing through one name resizes both; removing one name keeps the
    // block for the other; a reference replaces a tag under that name; an
    // absent original still removes the name.
    EXPECT_EQ(TntSetProfileElementSize(p, a2b1, 20), 0);
    EXPECT_TRUE(TntGetProfileElementSize(p, a2b0) == 20 && TntProfileGetTagDataPtr(p, a2b0) == TntProfileGetTagDataPtr(p, a2b1));
    EXPECT_TRUE(TntSetProfileElement(p, a2b0, 20, bytes + 20) == 0 && TntRemoveProfileElement(p, a2b0) == 0);
    EXPECT_EQ(tnt::LiveBlockCount(), oneBlock);
    EXPECT_TRUE(TntSetProfileElement(p, othr, 5, bytes) == 0 && TntSetProfileElementReference(p, a2b1, othr) == 0);
    EXPECT_EQ(tnt::LiveBlockCount(), oneBlock);
    EXPECT_EQ(TagBytes(p, othr), Bytes(bytes + 20, bytes + 40));
    EXPECT_EQ(TntSetProfileElementReference(p, Sig("none"), othr), TNT_ERR_TAG_NOT_FOUND);
    EXPECT_TRUE(Exists(p, othr) == 0 && tnt::LiveBlockCount() == oneBlock);
    // Saved once, both entries pointing at it, in ICC order.
    EXPECT_TRUE(TntSetProfileElementReference(p, a2b1, a2b2) == 0 && TntSetProfileElement(p, Sig("last"), 5, bytes) == 0);
    Bytes saved = SaveToMemory(p);
    ASSERT_EQ(saved.size(), 132u + 36 + 20 + 8);
    std::vector<RawTag> dir = FileDirectory(saved);
    ASSERT_EQ(dir.size(), 3u);
    EXPECT_TRUE(dir[0].offset == 168 && dir[1].offset == 168 && dir[2].offset == 188);
    Bytes fileOrder(bytes + 20, bytes + 40);
    if (tnt::SwapIccData) std::reverse(fileOrder.begin(), fileOrder.begin() + 4);
    EXPECT_EQ(Bytes(saved.begin() + 168, saved.begin() + 188), fileOrder);
    Profile* q = OpenImage(saved);
    EXPECT_EQ(TntProfileGetTagDataPtr(q, a2b2), TntProfileGetTagDataPtr(q, a2b1));
    for (Profile* x : {p, q}) TntCloseProfile(x);

    // A zero-size tag shares a provisional offset with the next tag, and
    // written first the offset of the block after it, but never its block.
    ASSERT_EQ(TntNewProfile(&p, nullptr), 0);
    ASSERT_TRUE(TntSetProfileElementSize(p, Sig("zer1"), 0) == 0 && TntSetProfileElement(p, Sig("next"), 20, bytes) == 0);
    EXPECT_EQ(tnt::TagEntryAt(p, 0)->offset, tnt::TagEntryAt(p, 1)->offset);
    saved = SaveToMemory(p);
    EXPECT_EQ(FileDirectory(saved)[0].offset, FileDirectory(saved)[1].offset);
    q = OpenImage(saved);
    EXPECT_NE(TntProfileGetTagDataPtr(q, Sig("zer1")), TntProfileGetTagDataPtr(q, Sig("next")));
    EXPECT_EQ(TntSetProfileElementSize(q, Sig("zer1"), 4), 0);
    EXPECT_EQ(TagBytes(q, Sig("next")), Bytes(bytes, bytes + 20));
    for (Profile* x : {p, q}) TntCloseProfile(x);

    // A real printer profile lists A2B0, A2B1 and A2B2 at one place:
    // resized before loading, all three follow.
    Bytes image = ReadFileBytes(TestProfile("fogra39-cmyk-lab-v2.icc"));
    p = OpenImage(image);
    EXPECT_EQ(TntSetProfileElementSize(p, a2b1, 100), 0);
    EXPECT_EQ(TntProfileGetTagDataPtr(p, a2b0), TntProfileGetTagDataPtr(p, a2b2)) << "all three follow";
    EXPECT_EQ(TagBytes(p, a2b2), Bytes(100, 0));
    TntCloseProfile(p);

    // Two entries at one offset with different sizes are two tags.
    const uint32_t big = Sig("big "), sml = Sig("smal");
    Bytes mixed = MakeImage({{big, 156, 40}, {sml, 156, 16}}, 196);
    for (uint32_t first : {big, sml}) {
        const uint32_t second = first == big ? sml : big;
        p = OpenImage(mixed);
        ASSERT_TRUE(TntProfileGetTagDataPtr(p, first) && TntRemoveProfileElement(p, first) == 0);
        EXPECT_EQ(TagBytes(p, second), HostTextBytes(mixed, 156, TntGetProfileElementSize(p, second)));
        TntCloseProfile(p);
    }
    p = OpenImage(mixed);
    EXPECT_EQ(TntSetProfileElementSize(p, sml, 40), 0);
    EXPECT_EQ(TagBytes(p, big), HostTextBytes(mixed, 156, 40));
    ExpectSavesAndReopensEqual(p);
    TntCloseProfile(p);
}

TEST(ProfileElements, RemovalTakesEveryEntryOfASignature) {
    const uint32_t dupl = Sig("dupl");
    Bytes image = MakeImage({{Sig("aaaa"), 204, 12}, {dupl, 216, 12}, {Sig("bbbb"), 228, 12}, {dupl, 240, 12},
                             {Sig("cccc"), 252, 12}, {dupl, 264, 12}}, 276);
    Profile* p = OpenImage(image);
    // Some entries loaded, some not: both kinds go without a trace.
    ASSERT_TRUE(tnt::LoadTagData(p, 3) == 0 && tnt::LoadTagData(p, 4) == 0);
    EXPECT_EQ(TntRemoveProfileElement(p, dupl), 0);
    EXPECT_TRUE(IsModified(p));
    ASSERT_EQ(p->tagCount, 3u);
    for (uint32_t i = 0; i < 6; ++i) {
        EXPECT_EQ(tnt::TagEntryAt(p, i)->signature, i < 3 ? Sig("aaaa") + i * 0x01010101u : tnt::kUnsetSignature);
        EXPECT_TRUE(i < 3 || p->data[i] == nullptr) << i;
    }
    EXPECT_EQ(TagBytes(p, Sig("cccc")), HostTextBytes(image, 252, 12));
    EXPECT_EQ(TntRemoveProfileElement(p, dupl), TNT_ERR_TAG_NOT_FOUND);
    ExpectSavesAndReopensEqual(p);
    TntCloseProfile(p);
}

TEST(ProfileElements, DirectoryHoldsAHundredTags) {
    Profile* p = nullptr;
    ASSERT_EQ(TntNewProfile(&p, nullptr), 0);
    auto name = [](uint32_t i) { return TNT_SIG('t', '0' + i / 100, '0' + i / 10 % 10, '0' + i % 10); };
    for (uint32_t i = 0; i < 100; ++i) ASSERT_EQ(TntSetProfileElement(p, name(i), 4, &i), 0);
    uint8_t bytes[8] = {};
    for (TntStatus st : {TntSetProfileElementSize(p, name(100), 4), TntSetProfileElement(p, name(100), 4, bytes),
                         TntSetProfileElementReference(p, name(0), name(100))})
        EXPECT_EQ(st, TNT_ERR_NO_MEMORY);
    // Existing tags can still be resized and re-pointed when full.
    EXPECT_TRUE(TntSetProfileElementSize(p, name(99), 8) == 0 && TntSetProfileElementReference(p, name(0), name(50)) == 0);
    EXPECT_EQ(p->tagCount, 100u);
    EXPECT_EQ(SaveToMemory(p).size(), 132u + 1200 + 98 * 4 + 8);
    // A removal makes room again.
    EXPECT_TRUE(TntRemoveProfileElement(p, name(7)) == 0 && TntSetProfileElement(p, name(100), 4, bytes) == 0);
    ExpectSavesAndReopensEqual(p);
    TntCloseProfile(p);
}

TEST(ProfileElements, HeaderCopiesAndAccessors) {
    Bytes image = MakeImage({{Sig("aaaa"), 144, 8}}, 152);
    Profile* p = OpenImage(image);
    ProfileHeader h{}, back{};
    EXPECT_TRUE(TntGetProfileHeader(p, &h) == 0 && h.size == 152);
    EXPECT_EQ(TntSetProfileHeader(p, nullptr), 0);
    tnt::SetProfileColorSpace(p, Sig("Lab "));
    EXPECT_TRUE(p->header.colorSpace == Sig("Lab ") && !IsModified(p));
    h.deviceClass = Sig("prtr"), h.colorSpace = Sig("MCH6"), h.pcs = Sig("MCHB");
    h.renderingIntent = 0x00050003u, h.attributes = 0x0102030405060708ull, h.illuminant[0] = -0x8000;
    for (int i = 0; i < 44; ++i) h.reserved[i] = static_cast<uint8_t>(i + 1);
    EXPECT_TRUE(TntSetProfileHeader(p, &h) == 0 && IsModified(p));
    EXPECT_TRUE(TntGetProfileHeader(p, &back) == 0 && std::memcmp(&back, &h, sizeof h) == 0);
    EXPECT_TRUE(tnt::GetProfileClass(p) == Sig("prtr") && tnt::GetProfileColorSpace(p) == Sig("6CLR") &&
                tnt::GetProfilePCS(p) == Sig("BCLR") && tnt::GetProfileIntent(p) == 3);
    EXPECT_EQ(p->header.colorSpace, Sig("MCH6"));  // only the accessors rename
    // What is set is what is written, in ICC order.
    Bytes saved = SaveToMemory(p);
    for (auto [offset, value] : {std::pair{12, Sig("prtr")}, {16, Sig("MCH6")}, {56, 0x01020304u}, {60, 0x05060708u},
                                 {64, 0x00050003u}, {68, 0xFFFF8000u}, {84, 0x01020304u}, {124, 0x292A2B2Cu}})
        EXPECT_EQ(BigU32(saved, offset), value) << offset;
    EXPECT_EQ(tnt::GetProfileClass(nullptr) | tnt::GetProfileColorSpace(nullptr) | tnt::GetProfilePCS(nullptr) |
                  tnt::GetProfileIntent(nullptr), 0u);
    tnt::SetProfileColorSpace(nullptr, Sig("Lab "));
    TntCloseProfile(p);

    // MCH1..MCHF become 1CLR..FCLR (the digit range starts at 0x01, not '1');
    // everything else, near misses included, stays as it is.
    for (auto [from, to] : {std::pair{Sig("MCH5"), Sig("5CLR")}, {Sig("MCHF"), Sig("FCLR")},
                            {TNT_SIG('M', 'C', 'H', 0x01), TNT_SIG(0x01, 'C', 'L', 'R')}, {Sig("MCH0"), Sig("0CLR")}})
        EXPECT_EQ(tnt::NormalizeSpaceSignature(from), to) << std::hex << from;
    for (uint32_t s : {TNT_SIG('M', 'C', 'H', 0), Sig("MCH:"), Sig("MCHG"), Sig("MCHa"), Sig("mCH5"), Sig("MCI5"),
                       Sig("RGB "), 0u, 0xFFFFFFFFu})
        EXPECT_EQ(tnt::NormalizeSpaceSignature(s), s) << std::hex << s;
}

}  // namespace
