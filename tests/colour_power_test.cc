// Tabulated powers: their error bound and range, and the conversions that
// use them, which must give exactly the codes of the std::pow versions.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "colour/encoding.h"
#include "colour/convert.h"
#include "colour/power.h"
#include "platform/memory.h"
#include "profile/signatures.h"
#include "stage/stage.h"
#include "support/real_profiles.h"

using namespace tnt;

namespace {

TEST(PowerTable, StaysWithinItsBoundAndRefusesWhatItDoesNotCover) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> octave(kPowerMinExponent, kPowerMaxExponent + 0.999);
    // The cube root of 'Lab ', gammas from the profiles at hand, the ends of
    // the range.
    const double exponents[] = {LabCompandExponent(), 1 / 2.19921875, 1 / 1.8, 1 / 2.4, 1.0, 2.2, 4.0, 0.01};
    PowerTable table;
    for (double a : exponents) {
        ASSERT_TRUE(PreparePowerTable(a, &table)) << a;
        EXPECT_EQ(table.exponent, a);
        double worst = 0;
        for (int i = 0; i < 200000; ++i) {
            // Every mantissa cell and its edges come up, 1 and 2^k - 1 ulp too.
            double x = std::exp2(octave(rng));
            if (i % 1000 == 0) x = std::exp2(double(kPowerMinExponent + i / 1000 % 80));
            if (i % 1000 == 1) x = std::nextafter(std::exp2(double(kPowerMinExponent + 1 + i / 1000 % 79)), 0.0);
            double value = 0;
            ASSERT_TRUE(TablePower(&table, x, &value)) << x;
            const double exact = std::pow(x, a);
            worst = std::max(worst, std::fabs(value - exact) / exact);
        }
        EXPECT_LT(worst, kPowerRelativeError) << a;
    }
    // Outside the table: zero, negatives, subnormals, beyond the exponents,
    // infinities, NaN.
    ASSERT_TRUE(PreparePowerTable(0.5, &table));
    const double refused[] = {0.0,
                              -0.0,
                              -0.25,
                              std::numeric_limits<double>::denorm_min(),
                              std::ldexp(1.0, kPowerMinExponent) * 0.999,
                              std::ldexp(1.0, kPowerMaxExponent + 1),
                              std::numeric_limits<double>::infinity(),
                              std::numeric_limits<double>::quiet_NaN()};
    for (double x : refused) {
        double value = 12345;
        EXPECT_FALSE(TablePower(&table, x, &value)) << x;
        EXPECT_EQ(value, 12345);
    }
    // Exponents whose series would not hold, and nonsense ones.
    for (double a : {0.0, -0.5, 4.01, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()})
        EXPECT_FALSE(PreparePowerTable(a, &table)) << a;

    EXPECT_FALSE(NearInteger(10.5, kQuantizeTolerance));
    EXPECT_FALSE(NearInteger(-3.5, kQuantizeTolerance));
    EXPECT_TRUE(NearInteger(10.0, kQuantizeTolerance));
    EXPECT_TRUE(NearInteger(std::nextafter(11.0, 0.0), kQuantizeTolerance));
    EXPECT_TRUE(NearInteger(-2.0 + kQuantizeTolerance / 2, kQuantizeTolerance));
    EXPECT_TRUE(NearInteger(std::ldexp(1.0, 53), kQuantizeTolerance));
    EXPECT_TRUE(NearInteger(std::numeric_limits<double>::quiet_NaN(), kQuantizeTolerance));
}

// The users of the tables check their quantized results against the
// table's error; these must come out code for code as with std::pow, also
// next to every quantization step and outside the range the tables cover.
TEST(PowerTable, TabulatedConversionsGiveTheExactCodes) {
    PowerTable cubeRoot;
    ASSERT_TRUE(PreparePowerTable(LabCompandExponent(), &cubeRoot));
    std::mt19937 rng(11);
    auto same = [&](uint16_t x, uint16_t y, uint16_t z) {
        uint16_t exact[3] = {x, y, z}, tabulated[3] = {x, y, z};
        EXPECT_EQ(ConvertColor16(kXYZ, exact, kLab), TNT_OK);
        EXPECT_EQ(ConvertXyzToLab16(tabulated, &cubeRoot), TNT_OK);
        return exact[0] == tabulated[0] && exact[1] == tabulated[1] && exact[2] == tabulated[2];
    };
    int differing = 0;
    // Every neutral (where L steps fastest), every code on each axis, and
    // random colours far beyond the white.
    for (uint32_t y = 0; y < 65536; ++y) {
        const uint16_t x = uint16_t(y * 0.9642), z = uint16_t(y * 0.8249);
        differing += !same(x, uint16_t(y), z);
        differing += !same(uint16_t(y), 0, 0) + !same(0, uint16_t(y), 0) + !same(0, 0, uint16_t(y));
    }
    for (int i = 0; i < 300000; ++i) differing += !same(uint16_t(rng()), uint16_t(rng()), uint16_t(rng()));
    EXPECT_EQ(differing, 0);
    // Without a table, or with one for another power, the exact path runs.
    PowerTable other;
    ASSERT_TRUE(PreparePowerTable(0.5, &other));
    uint16_t a[3] = {1234, 40000, 7}, b[3] = {1234, 40000, 7}, c[3] = {1234, 40000, 7};
    ConvertColor16(kXYZ, a, kLab);
    ConvertXyzToLab16(b, nullptr);
    ConvertXyzToLab16(c, &other);
    for (int k = 0; k < 3; ++k) EXPECT_TRUE(a[k] == b[k] && a[k] == c[k]);

    // Matrix-reverse stages with gamma curves, a sampled one and a gamma of
    // 1.0, through colours inside and far outside their gamuts (negative
    // values and values above 1 clamp).
    const std::string paths[] = {"/usr/share/color/icc/compatibleWithAdobeRGB1998.icc",
                                 "/usr/share/color/argyll/ref/ProPhoto.icm", "/usr/share/color/argyll/ref/ProPhotoLin.icm",
                                 "/usr/share/color/icc/sRGB.icc"};
    const int64_t live = LiveBlockCount();
    for (const std::string& path : paths) {
        ProfileLocation location = tnt_test::FileLocationOf(path);
        Profile* profile = nullptr;
        ASSERT_EQ(TntOpenProfile(&profile, &location), TNT_OK) << path;
        TransformStage stage;
        ClearStage(&stage);
        ASSERT_EQ(BuildStage(&stage, profile, kDirectionReverse, 0), TNT_OK) << path;
        ASSERT_EQ(stage.kind, kStageMatrixReverse) << path;
        const MatrixStageData& matrix = stage.data.matrix;
        PowerTable tables[3];
        const PowerTable* powers[3] = {};
        for (int ch = 0; ch < 3; ++ch)
            if (matrix.curveLength[ch] == 1 && PreparePowerTable(1.0 / matrix.curve[ch][0], &tables[ch]))
                powers[ch] = &tables[ch];
        // A row through the row function and colour by colour.
        uint16_t xyz[3 * 65], row[4 * 65];
        differing = 0;
        for (int r = 0; r < 4000; ++r) {
            const uint32_t count = 1 + rng() % 65;
            for (uint32_t i = 0; i < 3 * count; ++i) xyz[i] = uint16_t(r % 2 ? rng() : rng() % 34000);
            MatrixReverseRow(&matrix, powers, xyz, count, row, 4);
            for (uint32_t i = 0; i < count; ++i) {
                WorkColor in{}, exact{}, tabulated{};
                for (int ch = 0; ch < 3; ++ch) in.channel[ch] = xyz[3 * i + ch];
                ApplyMatrixReverse(&matrix, &in, &exact, kPassCore);
                ApplyMatrixReverseTabulated(&matrix, powers, &in, &tabulated, kPassCore);
                for (int ch = 0; ch < 3; ++ch)
                    differing += exact.channel[ch] != tabulated.channel[ch] || exact.channel[ch] != row[4 * i + ch];
            }
        }
        EXPECT_EQ(differing, 0) << path;
        ReleaseStageTables(&stage);
        TntCloseProfile(profile);
    }
    EXPECT_EQ(LiveBlockCount(), live);
}

}  // namespace
