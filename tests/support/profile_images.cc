#include "support/profile_images.h"

#include <gtest/gtest.h>

#include <cstring>

#include "profile/elements.h"

namespace tnt_test {

std::vector<RawTag> FileDirectory(const Bytes& image) {
    std::vector<RawTag> tags;
    for (uint32_t i = 0, at = 132; i < BigU32(image, 128); ++i, at += 12)
        tags.push_back({BigU32(image, at), BigU32(image, at + 4), BigU32(image, at + 8)});
    return tags;
}

Bytes MakeImage(const std::vector<RawTag>& tags, uint32_t total) {
    Bytes b(total);
    for (uint32_t i = 0; i < total; ++i) b[i] = i < 132 ? 0 : uint8_t(i * 7 + 3);
    const uint32_t header[][2] = {{0, total}, {8, 0x02100000u}, {12, Sig("mntr")}, {16, Sig("RGB ")}, {20, Sig("XYZ ")}, {36, Sig("acsp")}, {128, uint32_t(tags.size())}};
    for (const auto& field : header) PutBigU32(b, field[0], field[1]);
    for (size_t i = 0; i < tags.size(); ++i)
        for (uint32_t k = 0, field[3] = {tags[i].signature, tags[i].offset, tags[i].size}; k < 3; ++k) PutBigU32(b, 132 + 12 * i + 4 * k, field[k]);
    for (const RawTag& t : tags) {  // after the whole table: tags may lie over it
        if (t.size < 8 || uint64_t{t.offset} + 8 > total) continue;
        PutBigU32(b, t.offset, Sig("text"));
        PutBigU32(b, t.offset + 4, 0);
    }
    return b;
}

Bytes HostTextBytes(const Bytes& image, uint32_t offset, uint32_t size) {
    Bytes b(image.begin() + offset, image.begin() + offset + size);
    const uint32_t type = Sig("text");
    if (size >= 8) std::memcpy(b.data(), &type, 4);
    return b;
}

Profile* OpenImage(Bytes& image) {
    ProfileLocation location{};
    TntMakeMemFile(&location, image.data(), static_cast<uint32_t>(image.size()));
    Profile* p = nullptr;
    EXPECT_EQ(TntOpenProfile(&p, &location), 0);
    return p;
}

Bytes TagBytes(Profile* p, uint32_t signature) {
    uint32_t size = 0;
    EXPECT_EQ(TntGetProfileElement(p, signature, &size, nullptr), 0);
    Bytes b(size);
    EXPECT_TRUE(!size || TntGetProfileElement(p, signature, nullptr, b.data()) == 0);
    return b;
}

// A first attempt into an empty block lays the profile out and fails to fit.
Bytes SaveToMemory(Profile* p) {
    ProfileLocation location{};
    TntMakeMemFile(&location, nullptr, 0);
    EXPECT_EQ(TntSaveProfile(p, &location), TNT_ERR_SHORT_WRITE);
    Bytes out(p->profileSize);
    TntMakeMemFile(&location, out.data(), static_cast<uint32_t>(out.size()));
    EXPECT_EQ(TntSaveProfile(p, &location), 0);
    return out;
}

Content Snapshot(Profile* p) {
    Content c{Bytes(sizeof(ProfileHeader)), {}};
    EXPECT_EQ(TntGetProfileHeader(p, c.header.data()), 0);
    std::memset(c.header.data(), 0, 4);
    uint32_t count = 0;
    EXPECT_EQ(TntCountProfileElements(p, &count), 0);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t signature = tnt::TagEntryAt(p, i)->signature;
        c.tags.emplace_back(signature, TagBytes(p, signature));
    }
    return c;
}

void ExpectSameTags(const Content& a, const Content& b) { EXPECT_EQ(a.tags, b.tags); }

void ExpectSavesAndReopensEqual(Profile* p) {
    Bytes saved = SaveToMemory(p);
    ASSERT_GE(saved.size(), 132u);
    EXPECT_EQ(BigU32(saved, 0), saved.size());
    Profile* q = OpenImage(saved);
    ASSERT_NE(q, nullptr);
    Content a = Snapshot(p), b = Snapshot(q);
    EXPECT_EQ(a.header, b.header);
    ExpectSameTags(a, b);
    TntCloseProfile(q);
}

}  // namespace tnt_test
