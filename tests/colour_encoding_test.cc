#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "colour/convert.h"
#include "colour/encoding.h"
#include "colour/spaces.h"
#include "tintwell.h"

namespace tnt {
namespace {

constexpr uint32_t Sig(const char (&s)[5]) { return TNT_SIG(s[0], s[1], s[2], s[3]); }

const uint32_t kLab = Sig("Lab ");
const uint32_t kXYZ = Sig("XYZ ");

// One signature for every row of the table, the families and bare numbers
// included, plus an unlisted one for the default row.
std::vector<uint32_t> EveryRow() {
    std::vector<uint32_t> rows = {
        Sig("XYZ "), Sig("Lab "), Sig("Luv "), Sig("Yxy "), Sig("LCh "), Sig("LChu"), Sig("LChm"),
        Sig("Labm"), Sig("LMSh"), Sig("LMSj"), Sig("cie1"), Sig("Tnt "), Sig("TntL"), Sig("Tntx"),
        Sig("LabK"), Sig("RGB "), Sig("RGBL"), Sig("HLS "), Sig("HSV "), Sig("CMY "), Sig("CMYK"),
        Sig("GRAY"), 0x47524160u, Sig("dens"), Sig("stat"), Sig("nrm1"), Sig("nrm3"), Sig("nrm4"),
        Sig("spkt"), 0, Sig("abcd")};
    for (char d : {'2', '3', '4', '5', '6', '7', '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'})
        rows.push_back(TNT_SIG(d, 'C', 'L', 'R'));
    for (char d = '2'; d <= '8'; ++d) rows.push_back(TNT_SIG('M', 'C', 'H', d));
    for (uint32_t n = 1; n <= 8; ++n) rows.push_back(n);
    return rows;
}

TEST(EncodeValue16, RoundsHalfUpAndClamps) {
    EXPECT_EQ(EncodeValue16(0.5, 0, 65535), 1);      // half-way goes up
    EXPECT_EQ(EncodeValue16(1.5, 0, 65535), 2);
    EXPECT_EQ(EncodeValue16(1.4999, 0, 65535), 1);
    EXPECT_EQ(EncodeValue16(-0.4, 0, 65535), 0);     // rounds to 0, not below
    EXPECT_EQ(EncodeValue16(-1e300, 0, 1), 0);
    EXPECT_EQ(EncodeValue16(1e300, 0, 1), 65535);
    EXPECT_EQ(EncodeValue16(65534.6, 0, 65535), 65535);
    EXPECT_EQ(EncodeValue16(std::numeric_limits<double>::quiet_NaN(), 0, 1), 0);
    EXPECT_EQ(EncodeValue16(std::numeric_limits<double>::infinity(), 0, 1), 65535);
    EXPECT_EQ(EncodeValue16(-std::numeric_limits<double>::infinity(), 0, 1), 0);
    // A falling range counts from `low` down.
    EXPECT_EQ(EncodeValue16(25, 100, 0), 49151);
    // A degenerate range divides by zero: above low saturates, below is 0.
    EXPECT_EQ(EncodeValue16(6, 5, 5), 65535);
    EXPECT_EQ(EncodeValue16(4, 5, 5), 0);
    EXPECT_EQ(EncodeValue16(5, 5, 5), 0);            // 0/0 is not a number
}

TEST(DecodeValue, SixteenAndEightBit) {
    EXPECT_EQ(DecodeValue16(0, -128, 127.996), -128.0);
    EXPECT_DOUBLE_EQ(DecodeValue16(65535, -128, 127.996), 127.996);
    EXPECT_DOUBLE_EQ(DecodeValue16(32768, 0, 65535), 32768.0);
    EXPECT_DOUBLE_EQ(DecodeValue16(65535, 100, 0), 0.0);
    EXPECT_EQ(DecodeValue8(0, -128, 127), -128.0);
    EXPECT_NEAR(DecodeValue8(255, 0, 1), 1.0, 1e-15);
    EXPECT_NEAR(DecodeValue8(51, 0, 255), 51.0, 1e-12);
    EXPECT_NEAR(DecodeValue8(128, 0, 100), 50.19607843137255, 1e-12);
    // The 8-bit and 16-bit scales meet at codes n and 257 n.
    for (int n = 0; n < 256; ++n)
        EXPECT_NEAR(DecodeValue8(static_cast<uint8_t>(n), -3, 7),
                    DecodeValue16(static_cast<uint16_t>(257 * n), -3, 7), 1e-12);
}

TEST(StageColour, LabUsesItsOwnRanges) {
    uint16_t codes[3];
    const double white[3] = {100, 0, 0};
    EXPECT_EQ(EncodeColor16(kLab, white, codes), TNT_OK);
    EXPECT_EQ(codes[0], 65280);
    EXPECT_EQ(codes[1], 32768);
    EXPECT_EQ(codes[2], 32768);
    const double top[3] = {100.390625, 128, 127.996};
    EncodeColor16(kLab, top, codes);
    EXPECT_EQ(codes[0], 65535);
    EXPECT_EQ(codes[1], 65535);
    EXPECT_EQ(codes[2], 65535);
    const double under[3] = {-1, -129, -128};
    EncodeColor16(kLab, under, codes);
    EXPECT_EQ(codes[0], 0);
    EXPECT_EQ(codes[1], 0);
    EXPECT_EQ(codes[2], 0);

    double values[3];
    const uint16_t full[3] = {65535, 65535, 65535};
    EXPECT_EQ(DecodeColor16(kLab, full, values), TNT_OK);
    EXPECT_DOUBLE_EQ(values[0], 100.390625);
    EXPECT_DOUBLE_EQ(values[1], 127.996);
    EXPECT_DOUBLE_EQ(values[2], 127.996);
    const uint16_t zero[3] = {0, 0, 0};
    DecodeColor16(kLab, zero, values);
    EXPECT_EQ(values[0], 0.0);
    EXPECT_EQ(values[1], -128.0);
    EXPECT_EQ(values[2], -128.0);

    // Other Lab-like spaces keep the table's -128 to 128.
    const double luv[3] = {100, 0, 128};
    EncodeColor16(Sig("Luv "), luv, codes);
    EXPECT_EQ(codes[0], 65535);
    EXPECT_EQ(codes[1], 32768);
    EXPECT_EQ(codes[2], 65535);
    const double tnt[3] = {50, 127.996, 0};
    EncodeColor16(Sig("Tnt "), tnt, codes);
    EXPECT_EQ(codes[1], 65534);  // 127.996 is not the top here
}

TEST(StageColour, TableRangesForOtherSpaces) {
    uint16_t codes[4];
    const double xyz[3] = {96.42, 100, 0};
    EncodeColor16(kXYZ, xyz, codes);
    EXPECT_EQ(codes[0], 31595);
    EXPECT_EQ(codes[1], 32768);
    EXPECT_EQ(codes[2], 0);
    const double rgb[3] = {128, 255, 0.5};
    EncodeColor16(Sig("RGB "), rgb, codes);
    EXPECT_EQ(codes[0], 32896);
    EXPECT_EQ(codes[1], 65535);
    EXPECT_EQ(codes[2], 129);
    const double lch[3] = {50, 90.5, 180};
    EncodeColor16(Sig("LCh "), lch, codes);
    EXPECT_EQ(codes[0], 32768);
    EXPECT_EQ(codes[1], 32768);
    EXPECT_EQ(codes[2], 32768);
    // Only the space's own channels are written.
    const double cmyk[4] = {100, 50, 0, 25};
    uint16_t guard[6] = {1, 1, 1, 1, 7, 7};
    EncodeColor16(Sig("CMYK"), cmyk, guard);
    EXPECT_EQ(guard[0], 65535);
    EXPECT_EQ(guard[1], 32768);
    EXPECT_EQ(guard[3], 16384);
    EXPECT_EQ(guard[4], 7);
    double gray[2] = {0, -1};
    const uint16_t g[1] = {65535};
    DecodeColor16(Sig("GRAY"), g, gray);
    EXPECT_DOUBLE_EQ(gray[0], 100.0);
    EXPECT_EQ(gray[1], -1.0);
}

TEST(StageColour, EveryRowRoundTripsItsCodes) {
    for (uint32_t space : EveryRow()) {
        SCOPED_TRACE(testing::Message() << std::hex << space);
        const uint16_t count = SpaceChannelCount(space);
        ASSERT_LE(count, kMaxSpaceChannels);
        uint16_t codes[kMaxSpaceChannels];
        uint16_t again[kMaxSpaceChannels];
        double values[kMaxSpaceChannels];
        // decode -> encode is the identity on every code of every channel.
        for (uint32_t c = 0; c < 65536; ++c) {
            for (uint16_t i = 0; i < count; ++i) codes[i] = static_cast<uint16_t>(c + 4099u * i);
            DecodeColor16(space, codes, values);
            EncodeColor16(space, values, again);
            ASSERT_EQ(std::memcmp(codes, again, count * sizeof(uint16_t)), 0) << "code " << c;
        }
        // encode -> decode -> encode is stable for values across and beyond
        // the range (those outside clamp to 0 or 65535 and stay there).
        for (int k = -500; k <= 10500; ++k) {
            for (uint16_t i = 0; i < count; ++i) {
                const double low = space == kLab ? (i == 0 ? 0.0 : -128.0) : SpaceChannelMin(space, i);
                const double high = space == kLab ? (i == 0 ? 100.390625 : 127.996) : SpaceChannelMax(space, i);
                values[i] = low + (high - low) * ((k + 0.37 * i) / 10000.0);
            }
            EncodeColor16(space, values, codes);
            DecodeColor16(space, codes, values);
            EncodeColor16(space, values, again);
            ASSERT_EQ(std::memcmp(codes, again, count * sizeof(uint16_t)), 0) << "step " << k;
        }
    }
}

TEST(StageColour, LabCodesAgreeWithLittleCmsVersion2Encoding) {
    // Little CMS rounds with its own L and a/b factors (652.8 and 256), ours
    // divides by the range; the codes may differ by one at rounding edges.
    for (double l = 0; l <= 100; l += 0.7)
        for (double a = -128; a <= 127.9; a += 1.3)
            for (double b = -128; b <= 127.9; b += 9.1) {
                const double lab[3] = {l, a, b};
                uint16_t ours[3];
                EncodeColor16(kLab, lab, ours);
                const cmsCIELab in = {l, a, b};
                cmsUInt16Number ref[3];
                cmsFloat2LabEncodedV2(ref, &in);
                for (int i = 0; i < 3; ++i) EXPECT_LE(std::abs(ours[i] - ref[i]), 1) << l << " " << a << " " << b;
            }
}

TEST(StageColour, ConvertColor16MovesCodesBetweenSpaces) {
    uint16_t codes[3] = {65280, 32768, 32768};  // Lab white
    ASSERT_EQ(ConvertColor16(kLab, codes, kXYZ), TNT_OK);
    EXPECT_EQ(codes[0], 31595);
    EXPECT_EQ(codes[1], 32768);
    EXPECT_EQ(codes[2], EncodeValue16(82.49, 0, 199.997));
    ASSERT_EQ(ConvertColor16(kXYZ, codes, kLab), TNT_OK);
    EXPECT_EQ(codes[0], 65280);
    EXPECT_EQ(codes[1], 32768);
    EXPECT_EQ(codes[2], 32768);
    // Failures leave the codes as they were.
    uint16_t cmyk[4] = {1, 2, 3, 4};
    EXPECT_EQ(ConvertColor16(Sig("CMYK"), cmyk, kLab), TNT_ERR_UNSUPPORTED_SPACE);
    EXPECT_EQ(cmyk[0], 1);
    EXPECT_EQ(cmyk[3], 4);
    uint16_t lab[3] = {30000, 20000, 40000};
    EXPECT_EQ(ConvertColor16(kLab, lab, Sig("RGB ")), TNT_ERR_UNSUPPORTED_SPACE);
    EXPECT_EQ(lab[0], 30000);
    EXPECT_EQ(lab[1], 20000);
    EXPECT_EQ(lab[2], 40000);
    // A wide space into itself keeps all its channels.
    uint16_t wide[kMaxSpaceChannels];
    for (uint16_t i = 0; i < kMaxSpaceChannels; ++i) wide[i] = static_cast<uint16_t>(1000 * i + 7);
    ASSERT_EQ(ConvertColor16(Sig("spkt"), wide, Sig("spkt")), TNT_OK);
    for (uint16_t i = 0; i < kMaxSpaceChannels; ++i) EXPECT_EQ(wide[i], 1000 * i + 7);
}

}  // namespace
}  // namespace tnt
