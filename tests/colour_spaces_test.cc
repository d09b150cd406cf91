#include <gtest/gtest.h>

#include "colour/spaces.h"
#include "tintwell.h"

namespace tnt {
namespace {

constexpr uint32_t Sig(const char (&s)[5]) { return TNT_SIG(s[0], s[1], s[2], s[3]); }

struct Expected {
    uint32_t space;
    uint16_t channels;
    double min[4];
    double max[4];
    bool convertible;
};

// Every listed row, written out again by hand, so a slip in one range shows.
const Expected kRows[] = {
    {Sig("XYZ "), 3, {0, 0, 0}, {199.997, 199.997, 199.997}, true},
    {Sig("Lab "), 3, {0, -128, -128}, {100, 128, 128}, true},
    {Sig("Luv "), 3, {0, -128, -128}, {100, 128, 128}, true},
    {Sig("Yxy "), 3, {0, 0, 0}, {199.997, 1, 1}, true},
    {Sig("LCh "), 3, {0, 0, 0}, {100, 181, 360}, true},
    {Sig("LChu"), 3, {0, 0, 0}, {100, 181, 360}, true},
    {Sig("LChm"), 3, {0, 0, 0}, {112.22, 181, 360}, true},
    {Sig("Labm"), 3, {0, -128, -128}, {112.22, 128, 128}, true},
    {Sig("LMSh"), 3, {0, 0, 0}, {100, 100, 100}, true},
    {Sig("LMSj"), 3, {0, 0, 0}, {100, 100, 100}, true},
    {Sig("cie1"), 3, {0, 0, 0}, {100, 100, 100}, true},
    {Sig("Tnt "), 3, {0, -128, -128}, {100, 128, 128}, true},
    {Sig("TntL"), 3, {0, -128, -128}, {100, 128, 128}, true},
    {Sig("Tntx"), 3, {0, 0, 0}, {199.997, 199.997, 199.997}, true},
    {Sig("LabK"), 4, {0, -128, -128, 0}, {100, 128, 128, 100}, false},
    {Sig("RGB "), 3, {0, 0, 0}, {255, 255, 255}, false},
    {Sig("RGBL"), 3, {0, 0, 0}, {255, 255, 255}, false},
    {Sig("HLS "), 3, {0, 0, 0}, {360, 100, 100}, false},
    {Sig("HSV "), 3, {0, 0, 0}, {360, 100, 100}, false},
    {Sig("CMY "), 3, {0, 0, 0}, {100, 100, 100}, false},
    {Sig("CMYK"), 4, {0, 0, 0, 0}, {100, 100, 100, 100}, false},
    {Sig("GRAY"), 1, {0}, {100}, false},
    {0x47524160u, 1, {0}, {100}, false},
    {Sig("dens"), 4, {0, 0, 0, 0}, {4, 4, 4, 4}, false},
    {Sig("stat"), 4, {0, 0, 0, 0}, {100, 100, 100, 100}, false},
    {Sig("nrm1"), 1, {0}, {1}, false},
    {Sig("nrm3"), 3, {0, 0, 0}, {1, 1, 1}, false},
    {Sig("nrm4"), 4, {0, 0, 0, 0}, {1, 1, 1, 1}, false},
};

TEST(SpaceTable, ListedRowsHaveTheirCountsRangesAndConvertibility) {
    for (const Expected& row : kRows) {
        SCOPED_TRACE(testing::Message() << std::hex << row.space);
        EXPECT_EQ(SpaceChannelCount(row.space), row.channels);
        EXPECT_EQ(IsConvertibleSpace(row.space), row.convertible);
        for (uint16_t c = 0; c < row.channels; ++c) {
            EXPECT_EQ(SpaceChannelMin(row.space, c), row.min[c]) << "channel " << c;
            EXPECT_EQ(SpaceChannelMax(row.space, c), row.max[c]) << "channel " << c;
        }
    }
    // Spectral data: 36 channels, every one 0 to 200, the last included.
    EXPECT_EQ(SpaceChannelCount(Sig("spkt")), 36);
    for (uint16_t c = 0; c < 36; ++c) {
        EXPECT_EQ(SpaceChannelMin(Sig("spkt"), c), 0.0);
        EXPECT_EQ(SpaceChannelMax(Sig("spkt"), c), 200.0);
    }
}

TEST(SpaceTable, MultichannelFamiliesTakeTheirCountFromTheDigit) {
    const char digits[] = "23456789ABCDEF";
    for (int i = 0; digits[i] != 0; ++i) {
        const uint32_t space = TNT_SIG(digits[i], 'C', 'L', 'R');
        EXPECT_EQ(SpaceChannelCount(space), i + 2) << digits[i];
        EXPECT_FALSE(IsConvertibleSpace(space));
        for (uint16_t c = 0; c < i + 2; ++c) {
            EXPECT_EQ(SpaceChannelMin(space, c), 0.0);
            EXPECT_EQ(SpaceChannelMax(space, c), 100.0);
        }
    }
    for (char d = '2'; d <= '8'; ++d) {
        EXPECT_EQ(SpaceChannelCount(TNT_SIG('M', 'C', 'H', d)), d - '0') << d;
        EXPECT_EQ(SpaceChannelMax(TNT_SIG('M', 'C', 'H', d), static_cast<uint16_t>(d - '1')), 100.0);
    }
    // Only the listed members count: neighbours fall to the default row.
    const uint32_t strays[] = {Sig("MCH9"), Sig("MCHF"), Sig("MCH1"), Sig("1CLR"), Sig("GCLR"),
                               Sig("aCLR"), Sig("nrm2"), Sig("lab "), Sig(" Lab"), Sig("XYZ\0"),
                               Sig("cmyk"), Sig("LChM")};
    for (uint32_t space : strays) {
        SCOPED_TRACE(testing::Message() << std::hex << space);
        EXPECT_EQ(SpaceChannelCount(space), 3);
        EXPECT_FALSE(IsConvertibleSpace(space));
        for (uint16_t c = 0; c < 3; ++c) {
            EXPECT_EQ(SpaceChannelMin(space, c), 0.0);
            EXPECT_EQ(SpaceChannelMax(space, c), 100.0);
        }
    }
}

TEST(SpaceTable, BareNumbersAreAnonymousSpacesWithoutARange) {
    for (uint32_t n = 1; n <= 8; ++n) {
        EXPECT_EQ(SpaceChannelCount(n), n);
        EXPECT_FALSE(IsConvertibleSpace(n));
        for (uint16_t c = 0; c < n; ++c) {
            EXPECT_EQ(SpaceChannelMin(n, c), 3.4e38);
            EXPECT_EQ(SpaceChannelMax(n, c), -3.4e38);
        }
    }
    for (uint32_t n : {0u, 9u, 36u, 0xFFFFFFFFu}) {
        EXPECT_EQ(SpaceChannelCount(n), 3) << n;
        EXPECT_EQ(SpaceChannelMin(n, 0), 0.0) << n;
        EXPECT_EQ(SpaceChannelMax(n, 2), 100.0) << n;
        EXPECT_FALSE(IsConvertibleSpace(n)) << n;
    }
}

TEST(SpaceTable, ExactlyFourteenSpacesAreConvertible) {
    int convertible = 0;
    for (const Expected& row : kRows) convertible += IsConvertibleSpace(row.space) ? 1 : 0;
    EXPECT_EQ(convertible, 14);
    // Every convertible space has three channels: the engine converts triples.
    for (const Expected& row : kRows) {
        if (IsConvertibleSpace(row.space)) {
            EXPECT_EQ(SpaceChannelCount(row.space), 3);
        }
    }
    // No space outside the table sneaks in: sweep all signatures built from
    // the characters that the listed ones use.
    const char alphabet[] = " 123456789ABCDEFGHJKLMNRSTUVXYZabcehijklmnrstuvxyz";
    int sweptTrue = 0;
    for (const char* a = alphabet; *a; ++a)
        for (const char* b = alphabet; *b; ++b)
            for (const char* c = alphabet; *c; ++c)
                for (const char* d = alphabet; *d; ++d)
                    sweptTrue += IsConvertibleSpace(TNT_SIG(*a, *b, *c, *d)) ? 1 : 0;
    EXPECT_EQ(sweptTrue, 14);
}

}  // namespace
}  // namespace tnt
