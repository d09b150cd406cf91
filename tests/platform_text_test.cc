// PostScript text is the same bytes on every platform the library is built
// for. The expectations here are literal, taken on Linux, so the Windows
// build (its suite runs under wine) is held to them too, not merely to its
// own C runtime's printf.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/memory.h"
#include "postscript/number_format.h"
#include "support/real_profiles.h"
#include "tintwell.h"

namespace {

TEST(PlatformText, NumbersAreLiteral) {
    struct Case {
        double value;
        int decimals;
        const char* text;
    };
    // Exact ties go to even, the rest by the exact binary value; the sign
    // survives rounding to zero.
    const Case cases[] = {
        {0.9642, 4, "0.9642"},
        {2.5, 0, "2"},
        {-0.00004, 4, "-0.0000"},
        {1e22, 0, "10000000000000000000000"},
        {0.125, 2, "0.12"},
        {0.375, 2, "0.38"},
        {1.0 / 3, 9, "0.333333333"},
        {5e-324, 9, "0.000000000"},
        {99999.99995, 4, "99999.9999"},
        {0.99995, 4, "1.0000"},
        {-2.0 / 3, 5, "-0.66667"},
        {4.5e15, 1, "4500000000000000.0"},
        {9007199254740993.0, 0, "9007199254740992"},
    };
    for (const Case& c : cases) EXPECT_STREQ(tnt::FormatFixed(c.value, c.decimals).text, c.text) << c.value;
}

// FNV-1a over everything the write function receives.
struct Digest {
    uint64_t hash = 0xcbf29ce484222325ull;
    uint64_t length = 0;
};

TntStatus TNT_CALL Absorb(uintptr_t user, const char* text) {
    auto* d = reinterpret_cast<Digest*>(user);
    for (; *text; ++text, ++d->length) d->hash = (d->hash ^ static_cast<uint8_t>(*text)) * 0x100000001b3ull;
    return TNT_OK;
}

// The dictionaries of the committed printer profiles: the whole numeric path
// (tags, matrix inversion, table sampling, curve inversion, formatting).
// When the writer's output changes on purpose, take the new values from
// the Linux build's failure messages.
TEST(PlatformText, DictionariesOfTheTestProfiles) {
    struct Case {
        const char* profile;
        uint64_t length[4];
        uint64_t hash[4];
    };
    const Case cases[] = {
        {"fogra39-cmyk-lab-v2.icc",
         {84077, 84087, 84077, 84246},
         {0x5de62dcb62fe782eull, 0xf7cc6926525d7c1aull, 0x72f4c813b5ef799dull, 0x61d94c731e212cbeull}},
        {"fogra29-cmyk-xyz-v2.icc",
         {84144, 84154, 84144, 84313},
         {0x8aa8b9eb9f55eb6aull, 0xe142687b529a52d9ull, 0x30e35476b4c534f4ull, 0xd5fbe2345a78464full}},
        {"tr003-cmyk-lab-low-v2.icc",
         {29509, 29519, 29509, 29678},
         {0x556a08a9c2281c53ull, 0xedc725c604f6b20full, 0x806a814c984fc774ull, 0x6a5c2ccd9dd59f09ull}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.profile);
        ProfileLocation where = tnt_test::FileLocationOf(tnt_test::TestProfile(c.profile));
        Profile* profile = nullptr;
        ASSERT_EQ(TntOpenProfile(&profile, &where), TNT_OK);
        for (uint32_t intent = 0; intent < 4; ++intent) {
            Digest d;
            ASSERT_EQ(TntSaveCRD(profile, intent, Absorb, reinterpret_cast<uintptr_t>(&d)), TNT_OK);
            EXPECT_EQ(d.length, c.length[intent]) << "intent " << intent;
            EXPECT_EQ(d.hash, c.hash[intent]) << "intent " << intent << std::hex << " hash 0x" << d.hash;
        }
        TntCloseProfile(profile);
    }
    EXPECT_EQ(tnt::LiveBlockCount(), 0);
}

}  // namespace
