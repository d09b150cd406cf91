#include "support/profile_images.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "profile/elements.h"
#include "support/real_profiles.h"

namespace tnt_test {

std::vector<RawTag> FileDirectory(const Bytes& image) {
    std::vector<RawTag> tags;
    uint32_t n = BigU32(image, 128);
    for (uint32_t i = 0; i < n; ++i)
        tags.push_back({BigU32(image, 132 + 12 * i), BigU32(image, 136 + 12 * i), BigU32(image, 140 + 12 * i)});
    return tags;
}

Bytes MakeImage(const std::vector<RawTag>& tags, uint32_t total) {
    Bytes b(total);
    for (uint32_t i = 0; i < total; ++i) b[i] = static_cast<uint8_t>(i * 7 + 3);
    std::memset(b.data(), 0, 132);
    PutBigU32(b, 0, total);
    PutBigU32(b, 8, 0x02100000u);
    PutBigU32(b, 12, Sig("mntr"));
    PutBigU32(b, 16, Sig("RGB "));
    PutBigU32(b, 20, Sig("XYZ "));
    PutBigU32(b, 36, Sig("acsp"));
    PutBigU32(b, 128, static_cast<uint32_t>(tags.size()));
    for (size_t i = 0; i < tags.size(); ++i) {
        PutBigU32(b, 132 + 12 * i, tags[i].signature);
        PutBigU32(b, 136 + 12 * i, tags[i].offset);
        PutBigU32(b, 140 + 12 * i, tags[i].size);
    }
    for (const RawTag& t : tags) {
        if (t.size < 8 || uint64_t{t.offset} + 8 > total) continue;
        PutBigU32(b, t.offset, Sig("text"));
        PutBigU32(b, t.offset + 4, 0);
    }
    return b;
}

Bytes HostTextBytes(const Bytes& image, uint32_t offset, uint32_t size) {
    Bytes b(image.begin() + offset, image.begin() + offset + size);
    if (size >= 8) {
        uint32_t type = Sig("text");
        std::memcpy(b.data(), &type, 4);
    }
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
    if (size) {
        EXPECT_EQ(TntGetProfileElement(p, signature, nullptr, b.data()), 0);
    }
    return b;
}

// Saves into a memory block of exactly the laid-out size: a first attempt
// into an empty block lays the profile out and fails to fit.
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
    Content c;
    c.header.resize(sizeof(ProfileHeader));
    EXPECT_EQ(TntGetProfileHeader(p, c.header.data()), 0);
    std::memset(c.header.data(), 0, 4);
    uint32_t count = 0;
    EXPECT_EQ(TntCountProfileElements(p, &count), 0);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t signature = tnt::TagEntryAt(p, i)->signature;
        c.tags.emplace_back(signature, TagBytes(p, signature));
    }
    return c;
}

void ExpectSameTags(const Content& a, const Content& b) {
    ASSERT_EQ(a.tags.size(), b.tags.size());
    for (size_t i = 0; i < a.tags.size(); ++i) {
        EXPECT_EQ(a.tags[i].first, b.tags[i].first) << "entry " << i;
        EXPECT_EQ(a.tags[i].second, b.tags[i].second) << "entry " << i;
    }
}

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

bool IsModified(const Profile* p) { return (p->flags & tnt::kModified) != 0; }

}  // namespace tnt_test
