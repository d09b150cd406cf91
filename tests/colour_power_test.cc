// Tabulated powers: their error bound and range, and the conversions that
// use them, which must give exactly the codes of the std::pow versions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "colour/encoding.h"
#include "colour/convert.h"
#include "colour/power.h"
#include "platform/memory.h"
#include "profile/signatures.h"
#include "stage/matrix.h"
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

    // Matrix-reverse stages with gamma curves, a sampled one, a gamma of
    // 1.0 and 'para' curves of form 3, through colours inside and far
    // outside their gamuts (negative values and values above 1 clamp).
    const std::string paths[] = {"/usr/share/color/icc/compatibleWithAdobeRGB1998.icc",
                                 "/usr/share/color/argyll/ref/ProPhoto.icm", "/usr/share/color/argyll/ref/ProPhotoLin.icm",
                                 "/usr/share/color/icc/sRGB.icc", "/usr/share/color/icc/colord/sRGB.icc",
                                 "/usr/share/color/icc/colord/ECI-RGBv2.icc"};
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
        CurveSearch searches[3];
        CurveInverses inverses{};
        for (int ch = 0; ch < 3; ++ch) {
            if (HasRootPower(matrix.curve[ch]) && PreparePowerTable(1.0 / matrix.curve[ch].param[0], &tables[ch]))
                inverses.power[ch] = &tables[ch];
            if (PrepareCurveSearch(SampledTable(matrix.curve[ch]), matrix.curve[ch].length, &searches[ch]))
                inverses.search[ch] = &searches[ch];
        }
        // sRGB.icc's curves are sampled: each must get its search.
        if (path == "/usr/share/color/icc/sRGB.icc") {
            for (int ch = 0; ch < 3; ++ch) EXPECT_NE(inverses.search[ch], nullptr);
        }
        // A row through the row function and colour by colour.
        uint16_t xyz[3 * 65], row[4 * 65];
        differing = 0;
        for (int r = 0; r < 4000; ++r) {
            const uint32_t count = 1 + rng() % 65;
            for (uint32_t i = 0; i < 3 * count; ++i) xyz[i] = uint16_t(r % 2 ? rng() : rng() % 34000);
            MatrixReverseRow(&matrix, &inverses, xyz, count, row, 4);
            for (uint32_t i = 0; i < count; ++i) {
                WorkColor in{}, exact{}, tabulated{};
                for (int ch = 0; ch < 3; ++ch) in.channel[ch] = xyz[3 * i + ch];
                ApplyMatrixReverse(&matrix, &in, &exact, kPassCore);
                ApplyMatrixReverseTabulated(&matrix, &inverses, &in, &tabulated, kPassCore);
                for (int ch = 0; ch < 3; ++ch)
                    differing += exact.channel[ch] != tabulated.channel[ch] || exact.channel[ch] != row[4 * i + ch];
            }
        }
        EXPECT_EQ(differing, 0) << path;
        // A search serves only the curve it was made over.
        CurveInverses swapped{};
        for (int ch = 0; ch < 3; ++ch) swapped.search[ch] = inverses.search[(ch + 1) % 3];
        WorkColor in{}, exact{}, other{};
        in.channel[0] = 20000, in.channel[1] = 21000, in.channel[2] = 15000;
        ApplyMatrixReverse(&matrix, &in, &exact, kPassCore);
        ApplyMatrixReverseTabulated(&matrix, &swapped, &in, &other, kPassCore);
        for (int ch = 0; ch < 3; ++ch) EXPECT_EQ(exact.channel[ch], other.channel[ch]) << path;
        ReleaseStageTables(&stage);
        TntCloseProfile(profile);
    }
    EXPECT_EQ(LiveBlockCount(), live);
}

// A curve search must end in the very interval the bisection of the whole
// table ends in, so its inverses are InvertCurve's to the last bit: for
// samples of every shape a sampled tone curve takes (flat stretches,
// steep and shallow pieces, repeated ends), at the samples themselves,
// next to them and between them. Tables it cannot serve are refused.
TEST(CurveSearch, InvertsExactlyAsTheBisection) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<std::vector<double>> tables;
    std::vector<double> srgb(1024), flat(300), steps(40), three = {0.1, 0.1, 0.9};
    for (size_t i = 0; i < srgb.size(); ++i) {
        const double x = double(i) / 1023;
        srgb[i] = std::round(65535 * (x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4))) / 65535;
    }
    // Level at both ends, rising in flat steps of seven samples between.
    for (size_t i = 0; i < flat.size(); ++i) flat[i] = i < 50 ? 0.0 : i > 250 ? 1.0 : double(i - i % 7) / 300.0;
    for (size_t i = 0; i < steps.size(); ++i) steps[i] = std::pow(i / 39.0, 6.0);
    tables = {srgb, flat, steps, three};
    for (int r = 0; r < 20; ++r) {
        std::vector<double> random(3 + rng() % 5000);
        double v = unit(rng) * 0.1;
        for (double& e : random) e = v += (rng() % 4 == 0 ? 0.0 : unit(rng) * unit(rng));
        tables.push_back(random);
    }
    for (const auto& table : tables) {
        const uint32_t length = uint32_t(table.size());
        auto search = std::make_unique<CurveSearch>();
        ASSERT_TRUE(PrepareCurveSearch(table.data(), length, search.get())) << length;
        std::vector<double> ys = {-1.0, 0.0, table[0], table[length - 1], 2.0, std::nan("")};
        for (double e : table) {
            ys.push_back(e);
            ys.push_back(std::nextafter(e, -1.0));
            ys.push_back(std::nextafter(e, 2.0));
        }
        for (uint32_t b = 0; b <= kCurveSearchBuckets; ++b) {
            const double edge = table[0] + b / search->scale;
            ys.push_back(edge);
            ys.push_back(std::nextafter(edge, -1.0));
            ys.push_back(std::nextafter(edge, 2.0));
        }
        for (int i = 0; i < 20000; ++i) ys.push_back(table[0] + (table[length - 1] - table[0]) * unit(rng));
        int differing = 0;
        for (double y : ys) {
            ToneCurve curve{};
            curve.kind = kCurveSampled;
            curve.table = const_cast<double*>(table.data());
            curve.length = length;
            const double a = InvertToneCurve(curve, y), b = InvertCurveSearched(search.get(), y);
            differing += std::memcmp(&a, &b, sizeof a) != 0;
        }
        EXPECT_EQ(differing, 0) << length;
    }
    CurveSearch search;
    const double falling[] = {0.0, 0.5, 0.4, 1.0}, level[] = {0.3, 0.3, 0.3}, two[] = {0.0, 1.0};
    EXPECT_FALSE(PrepareCurveSearch(falling, 4, &search));
    EXPECT_FALSE(PrepareCurveSearch(level, 3, &search));
    EXPECT_FALSE(PrepareCurveSearch(two, 2, &search));
    EXPECT_FALSE(PrepareCurveSearch(nullptr, 0, &search));
    std::vector<double> long_(65537);
    for (size_t i = 0; i < long_.size(); ++i) long_[i] = double(i) / 65536;
    EXPECT_FALSE(PrepareCurveSearch(long_.data(), uint32_t(long_.size()), &search));
    EXPECT_TRUE(PrepareCurveSearch(long_.data(), 65536, &search));
}

}  // namespace
