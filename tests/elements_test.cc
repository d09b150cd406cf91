// Tag and header access: bounds, writes, sharing, removal, the directory
// limit, header copies and the header accessors.
#include <gtest/gtest.h>

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
#include "support/profile_images.h"
#include "tintwell.h"

namespace {

using namespace tnt_test;

TEST(ProfileElements, QueriesAndPartialReads) {
    const uint32_t aaaa = Sig("aaaa"), bbbb = Sig("bbbb"), tiny = Sig("tiny"), lng = Sig("long");
    // 'long' claims 1000 bytes from 236 in a 240-byte image.
    Bytes image = MakeImage({{aaaa, 180, 40}, {bbbb, 220, 10}, {tiny, 232, 3}, {lng, 236, 1000}}, 240);
    const int64_t base = tnt::LiveBlockCount();
    Profile* p = OpenImage(image);
    ASSERT_NE(p, nullptr);
    uint32_t value = 7;
    uint8_t buf[64];

    // Null arguments.
    EXPECT_EQ(tnt::ReadTagType(nullptr, aaaa, &value), TNT_ERR_NULL_ARGUMENT);

    EXPECT_EQ(TntProfileElementExists(p, aaaa, &value), 0);
    EXPECT_EQ(value, 1u);
    EXPECT_EQ(TntProfileElementExists(p, Sig("zzzz"), &value), 0);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(TntCountProfileElements(p, &value), 0);
    EXPECT_EQ(value, 4u);
    EXPECT_EQ(TntGetProfileElementSize(p, aaaa), 40u);
    EXPECT_EQ(TntGetProfileElementSize(p, lng), 1000u);
    EXPECT_EQ(TntGetProfileElementSize(p, Sig("zzzz")), 0u);

    // Size first, then the whole tag with that size.
    const Bytes expectA = HostTextBytes(image, 180, 40);
    uint32_t size = 0;
    EXPECT_EQ(TntGetProfileElement(p, aaaa, &size, nullptr), 0);
    EXPECT_EQ(size, 40u);
    std::memset(buf, 0xEE, sizeof buf);
    EXPECT_EQ(TntGetProfileElement(p, aaaa, &size, buf), 0);
    EXPECT_EQ(size, 40u);
    EXPECT_EQ(Bytes(buf, buf + 40), expectA);
    EXPECT_EQ(buf[40], 0xEE);
    // A smaller size copies only that much; the size is left alone.
    std::memset(buf, 0xEE, sizeof buf);
    size = 16;
    EXPECT_EQ(TntGetProfileElement(p, aaaa, &size, buf), 0);
    EXPECT_EQ(size, 16u);
    EXPECT_EQ(Bytes(buf, buf + 16), Bytes(expectA.begin(), expectA.begin() + 16));
    EXPECT_EQ(buf[16], 0xEE);
    EXPECT_EQ(TntGetProfileElement(p, Sig("zzzz"), &size, nullptr), TNT_ERR_TAG_NOT_FOUND);
    EXPECT_EQ(TntGetProfileElement(p, Sig("zzzz"), &size, buf), TNT_ERR_TAG_NOT_FOUND);

    // Bounds of partial reads, including counts that would wrap in 32 bits.
    uint32_t count = 40;
    EXPECT_EQ(TntGetPartialProfileElement(p, aaaa, 0, &count, buf), 0);
    EXPECT_EQ(count, 40u);
    count = 41;
    EXPECT_EQ(TntGetPartialProfileElement(p, aaaa, 0, &count, buf), TNT_ERR_TAG_RANGE);
    EXPECT_EQ(count, 41u);
    count = 0;
    EXPECT_EQ(TntGetPartialProfileElement(p, aaaa, 40, &count, buf), TNT_ERR_TAG_RANGE);
    count = 1;
    buf[0] = 0;
    EXPECT_EQ(TntGetPartialProfileElement(p, aaaa, 39, &count, buf), 0);
    EXPECT_EQ(buf[0], expectA[39]);
    count = 0xFFFFFFFFu;
    EXPECT_EQ(TntGetPartialProfileElement(p, aaaa, 1, &count, buf), TNT_ERR_TAG_RANGE);
    count = 1;
    EXPECT_EQ(TntGetPartialProfileElement(p, aaaa, 0xFFFFFFFFu, &count, buf), TNT_ERR_TAG_RANGE);
    count = 4;
    EXPECT_EQ(TntGetPartialProfileElement(p, Sig("zzzz"), 0, &count, nullptr), TNT_ERR_TAG_NOT_FOUND);
    count = 4000;
    EXPECT_EQ(TntGetPartialProfileElement(p, aaaa, 0, &count, nullptr), 0);

    // The range is judged from the directory: a request outside a tag does
    // not load it, and one outside a tag that cannot be loaded says so.
    const uint32_t bIndex = tnt::FindTagIndex(p, bbbb);
    count = 11;
    EXPECT_EQ(TntGetPartialProfileElement(p, bbbb, 0, &count, buf), TNT_ERR_TAG_RANGE);
    EXPECT_EQ(p->data[bIndex], nullptr);
    count = 4;
    EXPECT_EQ(TntGetPartialProfileElement(p, lng, 1000, &count, buf), TNT_ERR_TAG_RANGE);
    EXPECT_EQ(TntGetPartialProfileElement(p, lng, 0, &count, buf), TNT_ERR_TAG_NOT_FOUND);
    EXPECT_EQ(TntProfileGetTagDataPtr(p, lng), nullptr);
    static uint8_t whole[1024];
    EXPECT_EQ(TntGetProfileElement(p, lng, nullptr, whole), TNT_ERR_TAG_NOT_FOUND);

    // The data pointer is the profile's own block, loaded once.
    auto* ptr = static_cast<uint8_t*>(TntProfileGetTagDataPtr(p, bbbb));
    ASSERT_NE(ptr, nullptr);
    EXPECT_EQ(ptr, TntProfileGetTagDataPtr(p, bbbb));
    EXPECT_EQ(Bytes(ptr, ptr + 10), HostTextBytes(image, 220, 10));

    // The type signature comes back in host order; a tag too short to have
    // one is out of range.
    value = 0;
    EXPECT_EQ(tnt::ReadTagType(p, aaaa, &value), 0);
    EXPECT_EQ(value, Sig("text"));
    EXPECT_EQ(tnt::ReadTagType(p, tiny, &value), TNT_ERR_TAG_RANGE);
    EXPECT_EQ(tnt::ReadTagType(p, Sig("zzzz"), &value), TNT_ERR_TAG_NOT_FOUND);

    EXPECT_FALSE(IsModified(p));
    TntCloseProfile(p);
    EXPECT_EQ(tnt::LiveBlockCount(), base);
}

TEST(ProfileElements, WritesAndResizes) {
    const uint32_t aaaa = Sig("aaaa"), lng = Sig("long");
    Bytes image = MakeImage({{aaaa, 156, 40}, {lng, 196, 1000}}, 200);
    const int64_t base = tnt::LiveBlockCount();
    Profile* p = OpenImage(image);
    ASSERT_NE(p, nullptr);
    ASSERT_FALSE(IsModified(p));
    uint8_t bytes[64];
    for (int i = 0; i < 64; ++i) bytes[i] = static_cast<uint8_t>(0xA0 + i);

    // A new tag: zero-filled, placed after everything, not yet a change.
    EXPECT_EQ(TntSetProfileElementSize(p, Sig("new1"), 12), 0);
    EXPECT_EQ(TagBytes(p, Sig("new1")), Bytes(12, 0));
    EXPECT_EQ(tnt::TagEntryAt(p, 2)->offset, 200u);
    EXPECT_EQ(p->profileSize, 212u);
    EXPECT_FALSE(IsModified(p));

    // Size 0 creates the entry, then the copy finds nothing to write into.
    EXPECT_EQ(TntSetProfileElement(p, Sig("zero"), 0, bytes), TNT_ERR_TAG_RANGE);
    EXPECT_EQ(TntGetProfileElementSize(p, Sig("zero")), 0u);
    uint32_t exists = 0;
    EXPECT_EQ(TntProfileElementExists(p, Sig("zero"), &exists), 0);
    EXPECT_EQ(exists, 1u);
    EXPECT_FALSE(IsModified(p));

    // A null buffer creates a zero-filled tag and changes nothing else.
    EXPECT_EQ(TntSetProfileElement(p, Sig("nulb"), 8, nullptr), 0);
    EXPECT_EQ(TagBytes(p, Sig("nulb")), Bytes(8, 0));
    EXPECT_FALSE(IsModified(p));

    EXPECT_EQ(TntSetProfileElement(p, Sig("new2"), 40, bytes), 0);
    EXPECT_EQ(TagBytes(p, Sig("new2")), Bytes(bytes, bytes + 40));
    EXPECT_TRUE(IsModified(p));

    // On an existing tag the size stays: shorter overwrites the start,
    // longer is refused and leaves the bytes alone.
    Bytes expectA = HostTextBytes(image, 156, 40);
    EXPECT_EQ(TntSetProfileElement(p, aaaa, 16, bytes), 0);
    std::memcpy(expectA.data(), bytes, 16);
    EXPECT_EQ(TagBytes(p, aaaa), expectA);
    EXPECT_EQ(TntSetProfileElement(p, aaaa, 41, bytes), TNT_ERR_TAG_RANGE);
    EXPECT_EQ(TntSetProfileElement(p, aaaa, 20, nullptr), 0);
    EXPECT_EQ(TagBytes(p, aaaa), expectA);

    EXPECT_EQ(TntSetPartialProfileElement(p, aaaa, 38, 2, bytes + 50), 0);
    expectA[38] = bytes[50];
    expectA[39] = bytes[51];
    EXPECT_EQ(TntSetPartialProfileElement(p, aaaa, 39, 2, bytes), TNT_ERR_TAG_RANGE);
    EXPECT_EQ(TntSetPartialProfileElement(p, aaaa, 40, 0, bytes), TNT_ERR_TAG_RANGE);
    EXPECT_EQ(TntSetPartialProfileElement(p, aaaa, 1, 0xFFFFFFFFu, bytes), TNT_ERR_TAG_RANGE);
    EXPECT_EQ(TntSetPartialProfileElement(p, aaaa, 0, 4000, nullptr), 0);
    EXPECT_EQ(TntSetPartialProfileElement(p, Sig("zzzz"), 0, 1, bytes), TNT_ERR_TAG_NOT_FOUND);
    EXPECT_EQ(TagBytes(p, aaaa), expectA);
    // A block may be copied within itself.
    auto* ptr = static_cast<uint8_t*>(TntProfileGetTagDataPtr(p, aaaa));
    EXPECT_EQ(TntSetPartialProfileElement(p, aaaa, 8, 16, ptr + 4), 0);
    std::memmove(expectA.data() + 8, expectA.data() + 4, 16);
    EXPECT_EQ(TagBytes(p, aaaa), expectA);

    // A tag that cannot be read: writes into it fail, replacing it works.
    EXPECT_EQ(TntSetPartialProfileElement(p, lng, 0, 4, bytes), TNT_ERR_TAG_NOT_FOUND);
    EXPECT_EQ(TntSetProfileElement(p, lng, 4, bytes), TNT_ERR_TAG_NOT_FOUND);
    EXPECT_EQ(TntSetProfileElementSize(p, lng, 16), 0);
    EXPECT_EQ(TagBytes(p, lng), Bytes(16, 0));

    // Resizing an existing tag gives it fresh zeros.
    EXPECT_EQ(TntSetProfileElementSize(p, aaaa, 8), 0);
    EXPECT_EQ(TagBytes(p, aaaa), Bytes(8, 0));

    ExpectSavesAndReopensEqual(p);
    TntCloseProfile(p);
    EXPECT_EQ(tnt::LiveBlockCount(), base);
}

TEST(ProfileElements, SharedTagsStayOneBlock) {
    const int64_t base = tnt::LiveBlockCount();
    uint8_t bytes[64];
    for (int i = 0; i < 64; ++i) bytes[i] = static_cast<uint8_t>(i + 1);
    const uint32_t a2b0 = Sig("A2B0"), a2b1 = Sig("A2B1"), a2b2 = Sig("A2B2");

    {  // References in a profile without a location.
        Profile* p = nullptr;
        ASSERT_EQ(TntNewProfile(&p, nullptr), 0);
        ASSERT_EQ(TntSetProfileElement(p, a2b0, 10, bytes), 0);
        p->flags &= ~tnt::kModified;
        EXPECT_EQ(TntSetProfileElementReference(p, a2b0, a2b1), 0);
        EXPECT_TRUE(IsModified(p));
        EXPECT_EQ(TntProfileGetTagDataPtr(p, a2b0), TntProfileGetTagDataPtr(p, a2b1));
        EXPECT_EQ(TntSetPartialProfileElement(p, a2b1, 2, 3, bytes + 40), 0);
        Bytes expect(bytes, bytes + 10);
        std::memcpy(expect.data() + 2, bytes + 40, 3);
        EXPECT_EQ(TagBytes(p, a2b0), expect);
        const int64_t oneBlock = tnt::LiveBlockCount();

        // Resizing through one name resizes both, still one block.
        EXPECT_EQ(TntSetProfileElementSize(p, a2b1, 20), 0);
        EXPECT_EQ(TntGetProfileElementSize(p, a2b0), 20u);
        EXPECT_EQ(TntProfileGetTagDataPtr(p, a2b0), TntProfileGetTagDataPtr(p, a2b1));
        EXPECT_EQ(tnt::LiveBlockCount(), oneBlock);
        EXPECT_EQ(TntSetProfileElement(p, a2b0, 20, bytes + 20), 0);

        // Removing one name keeps the block for the other.
        EXPECT_EQ(TntRemoveProfileElement(p, a2b0), 0);
        EXPECT_EQ(tnt::LiveBlockCount(), oneBlock);
        EXPECT_EQ(TagBytes(p, a2b1), Bytes(bytes + 20, bytes + 40));

        // A reference replaces a tag already under that name.
        EXPECT_EQ(TntSetProfileElement(p, Sig("othr"), 5, bytes), 0);
        EXPECT_EQ(tnt::LiveBlockCount(), oneBlock + 1);
        EXPECT_EQ(TntSetProfileElementReference(p, a2b1, Sig("othr")), 0);
        EXPECT_EQ(tnt::LiveBlockCount(), oneBlock);
        EXPECT_EQ(TagBytes(p, Sig("othr")), Bytes(bytes + 20, bytes + 40));
        // An absent original: the name is still removed first.
        EXPECT_EQ(TntSetProfileElementReference(p, Sig("none"), Sig("othr")), TNT_ERR_TAG_NOT_FOUND);
        uint32_t exists = 1;
        EXPECT_EQ(TntProfileElementExists(p, Sig("othr"), &exists), 0);
        EXPECT_EQ(exists, 0u);
        EXPECT_EQ(tnt::LiveBlockCount(), oneBlock);

        // Saved once, both entries pointing at it.
        EXPECT_EQ(TntSetProfileElementReference(p, a2b1, a2b2), 0);
        EXPECT_EQ(TntSetProfileElement(p, Sig("last"), 5, bytes), 0);
        Bytes saved = SaveToMemory(p);
        ASSERT_EQ(saved.size(), 132u + 36 + 20 + 8);
        std::vector<RawTag> dir = FileDirectory(saved);
        ASSERT_EQ(dir.size(), 3u);
        EXPECT_EQ(dir[0].offset, 168u);
        EXPECT_EQ(dir[1].offset, 168u);
        EXPECT_EQ(dir[1].size, 20u);
        EXPECT_EQ(dir[2].offset, 188u);
        // In the file the block is in ICC order: its type signature reversed.
        Bytes fileOrder(bytes + 20, bytes + 40);
        if (tnt::SwapIccData) std::reverse(fileOrder.begin(), fileOrder.begin() + 4);
        EXPECT_EQ(Bytes(saved.begin() + 168, saved.begin() + 188), fileOrder);
        Profile* q = OpenImage(saved);
        EXPECT_EQ(TntProfileGetTagDataPtr(q, a2b2), TntProfileGetTagDataPtr(q, a2b1));
        TntCloseProfile(q);
        TntCloseProfile(p);
        EXPECT_EQ(tnt::LiveBlockCount(), base);
    }

    {  // Zero-size tags share a provisional offset with the next tag but
       // never its block.
        Profile* p = nullptr;
        ASSERT_EQ(TntNewProfile(&p, nullptr), 0);
        ASSERT_EQ(TntSetProfileElementSize(p, Sig("zer0"), 0), 0);
        ASSERT_EQ(TntSetProfileElement(p, Sig("next"), 10, bytes), 0);
        EXPECT_EQ(tnt::TagEntryAt(p, 0)->offset, tnt::TagEntryAt(p, 1)->offset);
        EXPECT_EQ(TntSetProfileElementSize(p, Sig("next"), 20), 0);
        EXPECT_EQ(TntGetProfileElementSize(p, Sig("zer0")), 0u);
        EXPECT_EQ(TntSetProfileElement(p, Sig("next"), 20, bytes), 0);
        EXPECT_EQ(TntRemoveProfileElement(p, Sig("zer0")), 0);
        EXPECT_EQ(TagBytes(p, Sig("next")), Bytes(bytes, bytes + 20));
        ASSERT_EQ(TntSetProfileElementSize(p, Sig("zer1"), 0), 0);
        ASSERT_EQ(TntSetProfileElementReference(p, Sig("next"), Sig("nxt2")), 0);

        // Written first, the zero-size tag takes the offset of the block
        // after it; reopened, each entry still gets its own bytes.
        Profile* front = nullptr;
        ASSERT_EQ(TntNewProfile(&front, nullptr), 0);
        ASSERT_EQ(TntSetProfileElementSize(front, Sig("zer1"), 0), 0);
        ASSERT_EQ(TntSetProfileElement(front, Sig("next"), 20, bytes), 0);
        ASSERT_EQ(TntSetProfileElementReference(front, Sig("next"), Sig("nxt2")), 0);
        Bytes saved = SaveToMemory(front);
        std::vector<RawTag> dir = FileDirectory(saved);
        ASSERT_EQ(dir.size(), 3u);
        EXPECT_EQ(dir[0].offset, dir[1].offset);
        Profile* q = OpenImage(saved);
        EXPECT_EQ(TagBytes(q, Sig("next")), Bytes(bytes, bytes + 20));
        EXPECT_EQ(TntGetProfileElementSize(q, Sig("zer1")), 0u);
        EXPECT_NE(TntProfileGetTagDataPtr(q, Sig("zer1")), TntProfileGetTagDataPtr(q, Sig("next")));
        EXPECT_EQ(TntProfileGetTagDataPtr(q, Sig("nxt2")), TntProfileGetTagDataPtr(q, Sig("next")));
        // Growing the empty tag leaves the tag at its offset alone.
        EXPECT_EQ(TntSetProfileElementSize(q, Sig("zer1"), 4), 0);
        EXPECT_EQ(TntGetProfileElementSize(q, Sig("next")), 20u);
        EXPECT_EQ(TagBytes(q, Sig("nxt2")), Bytes(bytes, bytes + 20));
        EXPECT_EQ(TntRemoveProfileElement(q, Sig("zer1")), 0);
        ExpectSavesAndReopensEqual(q);
        TntCloseProfile(q);
        ExpectSavesAndReopensEqual(p);
        TntCloseProfile(front);
        TntCloseProfile(p);
        EXPECT_EQ(tnt::LiveBlockCount(), base);
    }

    // A real printer profile lists A2B0, A2B1 and A2B2 at one place.
    Bytes image = ReadFileBytes(TestProfile("fogra39-cmyk-lab-v2.icc"));
    ASSERT_EQ(image.size(), 227532u);
    Profile* ref = OpenImage(image);
    ASSERT_NE(ref, nullptr);
    const Bytes table = TagBytes(ref, a2b0), b2a0 = TagBytes(ref, Sig("B2A0"));
    const int64_t withRef = tnt::LiveBlockCount();

    {  // Loaded through one name, held by all three, freed once.
        Profile* p = OpenImage(image);
        void* block = TntProfileGetTagDataPtr(p, a2b2);
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(TntProfileGetTagDataPtr(p, a2b0), block);
        EXPECT_EQ(TntProfileGetTagDataPtr(p, a2b1), block);
        EXPECT_EQ(tnt::LiveBlockCount(), withRef + 2);
        // Removing names one by one frees the block with the last of them.
        EXPECT_EQ(TntRemoveProfileElement(p, a2b0), 0);
        EXPECT_EQ(TntRemoveProfileElement(p, a2b1), 0);
        EXPECT_EQ(tnt::LiveBlockCount(), withRef + 2);
        EXPECT_EQ(TagBytes(p, a2b2), table);
        EXPECT_EQ(TntRemoveProfileElement(p, a2b2), 0);
        EXPECT_EQ(tnt::LiveBlockCount(), withRef + 1);
        TntCloseProfile(p);
        EXPECT_EQ(tnt::LiveBlockCount(), withRef);
    }
    {  // Resized before any of them was loaded: all three follow.
        Profile* p = OpenImage(image);
        EXPECT_EQ(TntSetProfileElementSize(p, a2b1, 100), 0);
        EXPECT_EQ(TntGetProfileElementSize(p, a2b0), 100u);
        EXPECT_EQ(TntGetProfileElementSize(p, a2b2), 100u);
        EXPECT_EQ(TntProfileGetTagDataPtr(p, a2b0), TntProfileGetTagDataPtr(p, a2b1));
        EXPECT_EQ(TntProfileGetTagDataPtr(p, a2b2), TntProfileGetTagDataPtr(p, a2b1));
        EXPECT_EQ(TagBytes(p, a2b2), Bytes(100, 0));
        EXPECT_EQ(TagBytes(p, Sig("B2A0")), b2a0);
        TntCloseProfile(p);
        EXPECT_EQ(tnt::LiveBlockCount(), withRef);
    }
    {  // A reference to a tag not loaded yet shares what either name loads.
        Profile* p = OpenImage(image);
        EXPECT_EQ(TntSetProfileElementReference(p, Sig("B2A0"), Sig("B2AX")), 0);
        void* block = TntProfileGetTagDataPtr(p, Sig("B2AX"));
        ASSERT_NE(block, nullptr);
        EXPECT_EQ(TntProfileGetTagDataPtr(p, Sig("B2A0")), block);
        EXPECT_EQ(TagBytes(p, Sig("B2AX")), b2a0);
        Bytes saved = SaveToMemory(p);
        std::vector<RawTag> dir = FileDirectory(saved);
        uint64_t distinct = 0;
        for (size_t i = 0; i < dir.size(); ++i) {
            bool earlier = false;
            for (size_t j = 0; j < i; ++j) earlier |= dir[j].offset == dir[i].offset;
            if (!earlier) distinct += (dir[i].size + 3) / 4 * 4;
        }
        EXPECT_EQ(saved.size(), 132 + 12 * dir.size() + distinct);
        EXPECT_EQ(dir.back().signature, Sig("B2AX"));
        EXPECT_EQ(dir.back().offset, dir[tnt::FindTagIndex(p, Sig("B2A0"))].offset);
        TntCloseProfile(p);
        EXPECT_EQ(tnt::LiveBlockCount(), withRef);
    }
    TntCloseProfile(ref);

    // Two entries at one offset with different sizes are two tags: removing
    // the loaded one frees its block, and the other still loads its bytes.
    const uint32_t big = Sig("big "), sml = Sig("smal");
    Bytes mixed = MakeImage({{big, 156, 40}, {sml, 156, 16}}, 196);
    for (uint32_t first : {big, sml}) {
        const uint32_t second = first == big ? sml : big;
        Profile* p = OpenImage(mixed);
        ASSERT_NE(TntProfileGetTagDataPtr(p, first), nullptr);
        EXPECT_EQ(p->data[tnt::FindTagIndex(p, second)], nullptr);
        EXPECT_EQ(TntRemoveProfileElement(p, first), 0);
        EXPECT_EQ(tnt::LiveBlockCount(), base + 1);
        EXPECT_EQ(TagBytes(p, second), HostTextBytes(mixed, 156, TntGetProfileElementSize(p, second)));
        TntCloseProfile(p);
        EXPECT_EQ(tnt::LiveBlockCount(), base);
    }
    {  // Resizing one of them leaves the other as stored.
        Profile* p = OpenImage(mixed);
        EXPECT_EQ(TntSetProfileElementSize(p, sml, 40), 0);
        EXPECT_EQ(TagBytes(p, big), HostTextBytes(mixed, 156, 40));
        EXPECT_NE(TntProfileGetTagDataPtr(p, big), TntProfileGetTagDataPtr(p, sml));
        ExpectSavesAndReopensEqual(p);
        TntCloseProfile(p);
        EXPECT_EQ(tnt::LiveBlockCount(), base);
    }
}

TEST(ProfileElements, RemovalTakesEveryEntryOfASignature) {
    const uint32_t aaaa = Sig("aaaa"), bbbb = Sig("bbbb"), cccc = Sig("cccc"), dupl = Sig("dupl");
    Bytes image = MakeImage(
        {{aaaa, 204, 12}, {dupl, 216, 12}, {bbbb, 228, 12}, {dupl, 240, 12}, {cccc, 252, 12}, {dupl, 264, 12}}, 276);
    const int64_t base = tnt::LiveBlockCount();
    Profile* p = OpenImage(image);
    ASSERT_NE(p, nullptr);
    // Some entries loaded, some not: both kinds go without a trace.
    ASSERT_EQ(tnt::LoadTagData(p, 3), 0);
    ASSERT_EQ(tnt::LoadTagData(p, 4), 0);
    EXPECT_EQ(TntRemoveProfileElement(p, dupl), 0);
    EXPECT_TRUE(IsModified(p));
    uint32_t count = 0;
    EXPECT_EQ(TntCountProfileElements(p, &count), 0);
    ASSERT_EQ(count, 3u);
    EXPECT_EQ(tnt::TagEntryAt(p, 0)->signature, aaaa);
    EXPECT_EQ(tnt::TagEntryAt(p, 1)->signature, bbbb);
    EXPECT_EQ(tnt::TagEntryAt(p, 2)->signature, cccc);
    for (uint32_t i = 3; i < 6; ++i) {
        EXPECT_EQ(tnt::TagEntryAt(p, i)->signature, tnt::kUnsetSignature);
        EXPECT_EQ(p->data[i], nullptr);
    }
    EXPECT_EQ(tnt::LiveBlockCount(), base + 2);  // the profile and 'cccc'
    EXPECT_EQ(TagBytes(p, aaaa), HostTextBytes(image, 204, 12));
    EXPECT_EQ(TagBytes(p, bbbb), HostTextBytes(image, 228, 12));
    EXPECT_EQ(TagBytes(p, cccc), HostTextBytes(image, 252, 12));
    EXPECT_EQ(TntRemoveProfileElement(p, dupl), TNT_ERR_TAG_NOT_FOUND);
    ExpectSavesAndReopensEqual(p);
    TntCloseProfile(p);
    EXPECT_EQ(tnt::LiveBlockCount(), base);
}

TEST(ProfileElements, DirectoryHoldsAHundredTags) {
    const int64_t base = tnt::LiveBlockCount();
    Profile* p = nullptr;
    ASSERT_EQ(TntNewProfile(&p, nullptr), 0);
    auto name = [](uint32_t i) { return TNT_SIG('t', '0' + i / 100, '0' + i / 10 % 10, '0' + i % 10); };
    for (uint32_t i = 0; i < 100; ++i) ASSERT_EQ(TntSetProfileElement(p, name(i), 4, &i), 0);
    const int64_t full = tnt::LiveBlockCount();
    uint8_t bytes[8] = {};
    EXPECT_EQ(TntSetProfileElementSize(p, name(100), 4), TNT_ERR_NO_MEMORY);
    EXPECT_EQ(TntSetProfileElement(p, name(100), 4, bytes), TNT_ERR_NO_MEMORY);
    EXPECT_EQ(TntSetProfileElementReference(p, name(0), name(100)), TNT_ERR_NO_MEMORY);
    EXPECT_EQ(tnt::LiveBlockCount(), full);
    uint32_t count = 0;
    EXPECT_EQ(TntCountProfileElements(p, &count), 0);
    EXPECT_EQ(count, 100u);
    // Existing tags can still be resized and re-pointed when full.
    EXPECT_EQ(TntSetProfileElementSize(p, name(99), 8), 0);
    EXPECT_EQ(TntSetProfileElementReference(p, name(0), name(50)), 0);
    EXPECT_EQ(TntCountProfileElements(p, &count), 0);
    EXPECT_EQ(count, 100u);

    Bytes saved = SaveToMemory(p);
    EXPECT_EQ(saved.size(), 132u + 1200 + 98 * 4 + 8);
    Profile* q = OpenImage(saved);
    ASSERT_NE(q, nullptr);
    ExpectSameTags(Snapshot(p), Snapshot(q));
    uint32_t value = 0;
    std::memcpy(&value, TntProfileGetTagDataPtr(q, name(50)), 4);
    EXPECT_EQ(value, 0u);
    std::memcpy(&value, TntProfileGetTagDataPtr(q, name(42)), 4);
    EXPECT_EQ(value, 42u);
    // A removal makes room again.
    EXPECT_EQ(TntRemoveProfileElement(q, name(7)), 0);
    EXPECT_EQ(TntSetProfileElement(q, name(100), 4, bytes), 0);
    TntCloseProfile(q);
    TntCloseProfile(p);
    EXPECT_EQ(tnt::LiveBlockCount(), base);
}

TEST(ProfileElements, HeaderCopiesAndAccessors) {
    Bytes image = MakeImage({{Sig("aaaa"), 144, 8}}, 152);
    Profile* p = OpenImage(image);
    ASSERT_NE(p, nullptr);
    ProfileHeader h{};
    EXPECT_EQ(TntGetProfileHeader(p, &h), 0);
    EXPECT_EQ(h.size, 152u);
    EXPECT_EQ(h.deviceClass, Sig("mntr"));
    EXPECT_EQ(TntSetProfileHeader(p, nullptr), 0);
    EXPECT_FALSE(IsModified(p));

    h.deviceClass = Sig("prtr");
    h.colorSpace = Sig("MCH6");
    h.pcs = Sig("MCHB");
    h.renderingIntent = 0x00050003u;
    h.attributes = 0x0102030405060708ull;
    h.illuminant[0] = -0x8000;
    for (int i = 0; i < 44; ++i) h.reserved[i] = static_cast<uint8_t>(i + 1);
    EXPECT_EQ(TntSetProfileHeader(p, &h), 0);
    EXPECT_TRUE(IsModified(p));
    ProfileHeader back{};
    EXPECT_EQ(TntGetProfileHeader(p, &back), 0);
    EXPECT_EQ(std::memcmp(&back, &h, sizeof h), 0);

    EXPECT_EQ(tnt::GetProfileClass(p), Sig("prtr"));
    EXPECT_EQ(tnt::GetProfileColorSpace(p), Sig("6CLR"));
    EXPECT_EQ(tnt::GetProfilePCS(p), Sig("BCLR"));
    EXPECT_EQ(tnt::GetProfileIntent(p), 3u);
    EXPECT_EQ(p->header.colorSpace, Sig("MCH6"));  // only the accessors rename

    // What is set is what is written, in ICC order.
    Bytes saved = SaveToMemory(p);
    EXPECT_EQ(BigU32(saved, 12), Sig("prtr"));
    EXPECT_EQ(BigU32(saved, 16), Sig("MCH6"));
    EXPECT_EQ(BigU32(saved, 56), 0x01020304u);
    EXPECT_EQ(BigU32(saved, 60), 0x05060708u);
    EXPECT_EQ(BigU32(saved, 64), 0x00050003u);
    EXPECT_EQ(BigU32(saved, 68), 0xFFFF8000u);
    EXPECT_EQ(saved[84], 1);
    EXPECT_EQ(saved[127], 44);
    ExpectSavesAndReopensEqual(p);

    Profile* clean = OpenImage(image);
    tnt::SetProfileColorSpace(clean, Sig("Lab "));
    EXPECT_EQ(clean->header.colorSpace, Sig("Lab "));
    EXPECT_EQ(tnt::GetProfileColorSpace(clean), Sig("Lab "));
    EXPECT_FALSE(IsModified(clean));
    clean->header.colorSpace = Sig("MCHG");
    EXPECT_EQ(tnt::GetProfileColorSpace(clean), Sig("MCHG"));

    EXPECT_EQ(tnt::GetProfileClass(nullptr), 0u);
    EXPECT_EQ(tnt::GetProfileColorSpace(nullptr), 0u);
    EXPECT_EQ(tnt::GetProfilePCS(nullptr), 0u);
    EXPECT_EQ(tnt::GetProfileIntent(nullptr), 0u);
    tnt::SetProfileColorSpace(nullptr, Sig("Lab "));
    TntSetUserFunc(1, 2, 3);  // recorded for the host; nothing here changes
    EXPECT_EQ(tnt::GetProfileClass(clean), Sig("mntr"));
    TntCloseProfile(clean);
    TntCloseProfile(p);
}

TEST(ProfileElements, MultichannelSpaceNames) {
    // MCH1..MCHF become 1CLR..FCLR (the digit range starts at 0x01, not '1');
    // everything else, near misses included, stays as it is.
    for (auto [from, to] : {std::pair{Sig("MCH5"), Sig("5CLR")}, {Sig("MCHF"), Sig("FCLR")},
                            {TNT_SIG('M', 'C', 'H', 0x01), TNT_SIG(0x01, 'C', 'L', 'R')}, {Sig("MCH0"), Sig("0CLR")}})
        EXPECT_EQ(tnt::NormalizeSpaceSignature(from), to) << std::hex << from;
    for (uint32_t s : {TNT_SIG('M', 'C', 'H', 0), Sig("MCH:"), Sig("MCHG"), Sig("MCHa"), Sig("mCH5"), Sig("MCI5"),
                       Sig("5CLR"), Sig("RGB "), 0u, 0xFFFFFFFFu})
        EXPECT_EQ(tnt::NormalizeSpaceSignature(s), s) << std::hex << s;
}

}  // namespace
