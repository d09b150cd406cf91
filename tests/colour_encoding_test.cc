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

TEST(EncodeValue16, RoundsHalfUpClampsAndMeetsTheEightBitScale) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    struct Case { double v, low, high; uint16_t code; };
    for (const Case& c : std::vector<Case>{{0.5, 0, 65535, 1}, {1.4999, 0, 65535, 1}, {-0.4, 0, 65535, 0},
                                           {65534.6, 0, 65535, 65535}, {1e300, 0, 1, 65535}, {nan, 0, 1, 0},
                                           {-inf, 0, 1, 0}, {25, 100, 0, 49151}, {6, 5, 5, 65535}, {5, 5, 5, 0}})
        EXPECT_EQ(EncodeValue16(c.v, c.low, c.high), c.code) << c.v << " in " << c.low << ".." << c.high;
    EXPECT_DOUBLE_EQ(DecodeValue16(65535, -128, 127.996), 127.996);
    for (int n = 0; n < 256; ++n)
        EXPECT_NEAR(DecodeValue8(uint8_t(n), -3, 7), DecodeValue16(uint16_t(257 * n), -3, 7), 1e-12);
}

TEST(StageColour, LabRangesAndOtherSpaces) {
    struct Case { uint32_t space; double values[4]; uint16_t codes[4]; };
    const Case cases[] = {
        {kLab, {100, 0, 0}, {65280, 32768, 32768}},            // L 100 is 0xFF00, not the top
        {kLab, {100.390625, 128, 127.996}, {65535, 65535, 65535}},
        {kLab, {-1, -129, -128}, {0, 0, 0}},
        {Sig("Luv "), {100, 0, 128}, {65535, 32768, 65535}},   // other Lab-like spaces keep -128..128
        {kXYZ, {96.42, 100, 0}, {31595, 32768, 0}},
        {Sig("RGB "), {128, 255, 0.5}, {32896, 65535, 129}},
        {Sig("CMYK"), {100, 50, 0, 25}, {65535, 32768, 0, 16384}},
    };
    for (const Case& c : cases) {
        uint16_t codes[6] = {1, 1, 1, 1, 7, 7};
        EXPECT_EQ(EncodeColor16(c.space, c.values, codes), TNT_OK);
        const uint16_t n = SpaceChannelCount(c.space);
        for (uint16_t i = 0; i < n; ++i) EXPECT_EQ(codes[i], c.codes[i]) << std::hex << c.space << " channel " << i;
        EXPECT_EQ(codes[4], 7);  // only the space's own channels are written
    }
    double values[3];
    const uint16_t full[3] = {65535, 65535, 65535};
    DecodeColor16(kLab, full, values);
    EXPECT_DOUBLE_EQ(values[0], 100.390625);
    EXPECT_DOUBLE_EQ(values[1], 127.996);
}

TEST(StageColour, EveryRowRoundTripsItsCodes) {
    std::vector<uint32_t> rows = {Sig("XYZ "), Sig("Lab "), Sig("Luv "), Sig("Yxy "), Sig("LCh "), Sig("LChm"),
                                  Sig("Labm"), Sig("cie1"), Sig("Tntx"), Sig("LabK"), Sig("RGB "), Sig("HLS "),
                                  Sig("CMYK"), Sig("GRAY"), Sig("dens"), Sig("nrm4"), Sig("spkt"), Sig("abcd"),
                                  Sig("FCLR"), Sig("MCH5"), 3};
    for (uint32_t space : rows) {
        SCOPED_TRACE(testing::Message() << std::hex << space);
        const uint16_t count = SpaceChannelCount(space);
        uint16_t codes[kMaxSpaceChannels], again[kMaxSpaceChannels];
        double values[kMaxSpaceChannels];
        for (uint32_t c = 0; c < 65536; ++c) {
            for (uint16_t i = 0; i < count; ++i) codes[i] = static_cast<uint16_t>(c + 4099u * i);
            DecodeColor16(space, codes, values);
            EncodeColor16(space, values, again);
            ASSERT_EQ(std::memcmp(codes, again, count * sizeof(uint16_t)), 0) << "code " << c;
        }
    }
}

TEST(StageColour, LabCodesAgreeWithLittleCmsVersion2Encoding) {
    // Little CMS rounds with its own L and a/b factors; codes may differ by
    // one at rounding edges.
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
    EXPECT_EQ(codes[2], EncodeValue16(82.49, 0, 199.997));
    ASSERT_EQ(ConvertColor16(kXYZ, codes, kLab), TNT_OK);
    EXPECT_EQ(codes[0], 65280);
    EXPECT_EQ(codes[1], 32768);
    // Failures leave the codes as they were.
    uint16_t lab[3] = {30000, 20000, 40000};
    EXPECT_EQ(ConvertColor16(kLab, lab, Sig("RGB ")), TNT_ERR_UNSUPPORTED_SPACE);
    EXPECT_EQ(lab[2], 40000);
    uint16_t wide[kMaxSpaceChannels];
    for (uint16_t i = 0; i < kMaxSpaceChannels; ++i) wide[i] = static_cast<uint16_t>(1000 * i + 7);
    ASSERT_EQ(ConvertColor16(Sig("spkt"), wide, Sig("spkt")), TNT_OK);
    for (uint16_t i = 0; i < kMaxSpaceChannels; ++i) EXPECT_EQ(wide[i], 1000 * i + 7);
}

}  // namespace
}  // namespace tnt
