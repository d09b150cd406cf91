// Colour spaces, their 16-bit encodings, conversions, tabulated powers and
// the colour controls: tables of exact values at the boundaries.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "colour/controls.h"
#include "colour/convert.h"
#include "colour/encoding.h"
#include "colour/numeric.h"
#include "colour/power.h"
#include "colour/spaces.h"
#include "tintwell.h"

namespace tnt {
namespace {

constexpr uint32_t Sig(const char (&s)[5]) { return TNT_SIG(s[0], s[1], s[2], s[3]); }
const uint32_t kXYZ = Sig("XYZ "), kLab = Sig("Lab "), kLCh = Sig("LCh "), kLuv = Sig("Luv "), kYxy = Sig("Yxy ");
const double kNaN = std::numeric_limits<double>::quiet_NaN(), kInf = std::numeric_limits<double>::infinity();

void ExpectNear3(const double* got, const double* want, double tolerance) {
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(got[k], want[k], tolerance * std::max(1.0, std::fabs(want[k]))) << k;
}

// The lookup (the rows are data): families, near misses falling to the
// default row, and that nothing outside the table converts.
TEST(Colour, SpaceLookupFamiliesAndStrays) {
    EXPECT_TRUE(SpaceChannelCount(Sig("MCH8")) == 8 && SpaceChannelCount(Sig("FCLR")) == 15 && SpaceChannelCount(5) == 5);
    EXPECT_TRUE(SpaceChannelMin(5, 1) == 3.4e38 && SpaceChannelMax(5, 1) == -3.4e38 && SpaceChannelMin(Sig("Lab "), 1) == -128);
    EXPECT_TRUE(SpaceChannelMax(Sig("Lab "), 0) == 100.0 && SpaceChannelMax(Sig("LChm"), 0) == 112.22);
    // The ranges that define each space's 16-bit encoding, channel by channel.
    struct Range { uint32_t space; uint16_t channels; double low[4], high[4]; };
    const Range ranges[] = {
        {Sig("XYZ "), 3, {0, 0, 0, 0}, {199.997, 199.997, 199.997, 199.997}}, {Sig("Luv "), 3, {0, -128, -128, -128}, {100, 128, 128, 128}},
        {Sig("Yxy "), 3, {0, 0, 0, 0}, {199.997, 1, 1, 1}}, {Sig("LCh "), 3, {0, 0, 0, 0}, {100, 181, 360, 360}},
        {Sig("LChm"), 3, {0, 0, 0, 0}, {112.22, 181, 360, 360}}, {Sig("Labm"), 3, {0, -128, -128, -128}, {112.22, 128, 128, 128}},
        {Sig("cie1"), 3, {0, 0, 0, 0}, {100, 100, 100, 100}}, {Sig("LabK"), 4, {0, -128, -128, 0}, {100, 128, 128, 100}},
        {Sig("RGB "), 3, {0, 0, 0, 0}, {255, 255, 255, 255}}, {Sig("HSV "), 3, {0, 0, 0, 0}, {360, 100, 100, 100}},
        {Sig("CMYK"), 4, {0, 0, 0, 0}, {100, 100, 100, 100}}, {Sig("GRAY"), 1, {0, 0, 0, 0}, {100, 100, 100, 100}},
        {Sig("dens"), 4, {0, 0, 0, 0}, {4, 4, 4, 4}}, {Sig("nrm3"), 3, {0, 0, 0, 0}, {1, 1, 1, 1}},
        {Sig("spkt"), 36, {0, 0, 0, 0}, {200, 200, 200, 200}}, {Sig("DCLR"), 13, {0, 0, 0, 0}, {100, 100, 100, 100}},
    };
    for (const Range& row : ranges) {
        EXPECT_EQ(SpaceChannelCount(row.space), row.channels) << std::hex << row.space;
        for (uint16_t c = 0; c < 5; ++c) {
            EXPECT_EQ(SpaceChannelMin(row.space, c), row.low[c < 3 ? c : 3]) << std::hex << row.space << c;
            EXPECT_EQ(SpaceChannelMax(row.space, c), row.high[c < 3 ? c : 3]) << std::hex << row.space << c;
        }
    }
    for (uint32_t s : {Sig("MCH9"), Sig("MCH1"), Sig("1CLR"), Sig("GCLR"), Sig("nrm2"), Sig("lab "), Sig("LChM"), 9u, 0xFFFFFFFFu})
        EXPECT_TRUE(SpaceChannelCount(s) == 3 && !IsConvertibleSpace(s) && SpaceChannelMax(s, 2) == 100.0) << std::hex << s;
    const char alphabet[] = " 123456789ABCDEFGHJKLMNRSTUVXYZabcehijklmnrstuvxyz";
    size_t n = sizeof alphabet - 1, convertible = 0;
    for (size_t i = 0; i < n * n * n * n; ++i)
        convertible += IsConvertibleSpace(TNT_SIG(alphabet[i / (n * n * n)], alphabet[i / (n * n) % n], alphabet[i / n % n], alphabet[i % n]));
    EXPECT_EQ(convertible, 14u);
}

TEST(Colour, EncodingsPinTheirCodes) {
    struct Value { double v, low, high; uint16_t code; } values[] = {
        {0.5, 0, 65535, 1}, {1.4999, 0, 65535, 1}, {-0.4, 0, 65535, 0}, {65534.6, 0, 65535, 65535}, {1e300, 0, 1, 65535},
        {kNaN, 0, 1, 0},    {-kInf, 0, 1, 0},      {25, 100, 0, 49151}, {6, 5, 5, 65535},           {5, 5, 5, 0}};
    for (const Value& c : values) EXPECT_EQ(EncodeValue16(c.v, c.low, c.high), c.code) << c.v;
    for (int n = 0; n < 256; ++n) EXPECT_NEAR(DecodeValue8(uint8_t(n), -3, 7), DecodeValue16(uint16_t(257 * n), -3, 7), 1e-12);
    struct Colour { uint32_t space; double values[4]; uint16_t codes[4]; } colours[] = {
        {kLab, {100, 0, 0}, {65280, 32768, 32768}},  // L 100 is 0xFF00, not the top
        {kLab, {100.390625, 128, 127.996}, {65535, 65535, 65535}}, {kLab, {-1, -129, -128}, {0, 0, 0}},
        {kLuv, {100, 0, 128}, {65535, 32768, 65535}}, {Sig("RGB "), {128, 255, 0.5}, {32896, 65535, 129}},
        {Sig("CMYK"), {100, 50, 0, 25}, {65535, 32768, 0, 16384}},
    };
    for (const Colour& c : colours) {
        uint16_t codes[6] = {1, 1, 1, 1, 7, 7};  // only the space's own channels are written
        EXPECT_TRUE(EncodeColor16(c.space, c.values, codes) == TNT_OK && codes[4] == 7);
        for (uint16_t i = 0; i < SpaceChannelCount(c.space); ++i) EXPECT_EQ(codes[i], c.codes[i]) << std::hex << c.space << i;
    }
    double decoded[3];
    DecodeColor16(kLab, std::array<uint16_t, 3>{65535, 65535, 65535}.data(), decoded);
    ExpectNear3(decoded, std::array<double, 3>{100.390625, 127.996, 127.996}.data(), 1e-14);
    // Every code of every kind of row decodes and encodes back to itself.
    for (const char* space : {"XYZ ", "Lab ", "Luv ", "Yxy ", "LCh ", "LChm", "Labm", "cie1", "Tntx", "LabK", "RGB ", "HLS ",
                              "CMYK", "GRAY", "dens", "nrm4", "spkt", "abcd", "FCLR", "MCH5", "\0\0\0\3"}) {
        const uint32_t sig = TNT_SIG(space[0], space[1], space[2], space[3]);
        uint16_t codes[kMaxSpaceChannels], again[kMaxSpaceChannels];
        double v[kMaxSpaceChannels];
        for (uint32_t c = 0; c < 65536; ++c) {
            for (uint16_t i = 0; i < SpaceChannelCount(sig); ++i) codes[i] = static_cast<uint16_t>(c + 4099u * i);
            DecodeColor16(sig, codes, v), EncodeColor16(sig, v, again);
            ASSERT_EQ(std::memcmp(codes, again, SpaceChannelCount(sig) * sizeof(uint16_t)), 0) << std::hex << sig << " code " << c;
        }
    }
    // 16-bit conversions; failures leave the codes as they were.
    uint16_t codes[3] = {65280, 32768, 32768}, lab[3] = {30000, 20000, 40000}, wide[kMaxSpaceChannels];
    EXPECT_TRUE(ConvertColor16(kLab, codes, kXYZ) == 0 && codes[0] == 31595 && codes[1] == 32768 && codes[2] == EncodeValue16(82.49, 0, 199.997));
    EXPECT_TRUE(ConvertColor16(kXYZ, codes, kLab) == 0 && codes[0] == 65280 && codes[1] == 32768 && codes[2] == 32768);
    EXPECT_TRUE(ConvertColor16(kLab, lab, Sig("RGB ")) == TNT_ERR_UNSUPPORTED_SPACE && lab[0] == 30000 && lab[2] == 40000);
    for (uint16_t i = 0; i < kMaxSpaceChannels; ++i) wide[i] = static_cast<uint16_t>(1000 * i + 7);
    ASSERT_EQ(ConvertColor16(Sig("spkt"), wide, Sig("spkt")), TNT_OK);
    for (uint16_t i = 0; i < kMaxSpaceChannels; ++i) EXPECT_EQ(wide[i], 1000 * i + 7);  // every channel, untouched
}

TEST(Colour, NumericHelpers) {
    double m[9] = {0.4361, 0.3851, 0.1431, 0.2225, 0.7169, 0.0606, 0.0139, 0.0971, 0.7141}, inv[9];
    ASSERT_EQ(InvertMatrix3x3(m, inv), TNT_OK);
    for (int e = 0; e < 9; ++e) EXPECT_NEAR(m[e / 3 * 3] * inv[e % 3] + m[e / 3 * 3 + 1] * inv[3 + e % 3] + m[e / 3 * 3 + 2] * inv[6 + e % 3], e % 4 == 0, 1e-12);
    EXPECT_TRUE(InvertMatrix3x3(m, m) == TNT_OK && std::memcmp(m, inv, sizeof m) == 0);  // in place
    const double twin[9] = {1, 2, 3, 1, 2, 3 + 1e-8, 0, 1, 5}, tiny[9] = {1e-4, 0, 0, 0, 1e-4, 0, 0, 0, 1e-4};
    double out[9] = {-7};
    EXPECT_TRUE(InvertMatrix3x3(twin, out) == TNT_ERR_SINGULAR_MATRIX && InvertMatrix3x3(tiny, out) == TNT_ERR_SINGULAR_MATRIX && out[0] == -7.0);
    // Intervals of an uneven table: below, at and between entries, beyond, NaN.
    const double table[6] = {-3, -2.75, -2, -0.75, 1, 3.25};
    struct Interval { int n; double x; int index; } intervals[] = {
        {6, -4, 0}, {6, -3, 0}, {6, -2.75, 1}, {6, -2.1, 1}, {6, -2, 2}, {6, 0.99, 3}, {6, 1, 4}, {6, 3.2, 4},
        {6, 9, 5},  {2, 5, 1},  {3, -2, 1},    {5, 1, 3},    {4, kNaN, 0}};
    for (const Interval& r : intervals) EXPECT_EQ(FindInterval(r.n, table, r.x), r.index) << r.n << " " << r.x;
    EXPECT_DOUBLE_EQ(MapLinear(0, 10, 1, 20, 2), 30.0);  // extrapolates
    EXPECT_EQ(MapLinear(5, 0, 5 + 1.0e-7, 1, 7), 7.0);   // degenerate interval keeps y0
    double a[2] = {1, 6}, b[2] = {0, -3}, q[2];
    DivideVectors(2, a, b, q);
    EXPECT_TRUE(q[0] == 3.4e38 && q[1] == -2.0);
}

// Every space from XYZ (a red, a colour below the Lab threshold, one beyond
// the white) and back (an ordinary colour, a dark one that clamps or goes negative).
TEST(Colour, ConversionsAndPowerTablesPinTheirValues) {
    const double from[3][3] = {{41.24, 21.26, 1.93}, {0.5, 0.4, 0.3}, {150, 60, 190}}, back[2][3] = {{50, 20, -30}, {5, -60, 70}};
    struct Row { const char* space; double to[3][3]; double from[2][3]; } rows[] = {
        {"Lab ", {{53.2328817858425, 78.3039993271131, 62.1644952793113}, {3.613168, 4.61631321302633, 0.565640732209965}, {81.8381891750029, 157.638608077834, -95.4412552448061}},
                 {{21.7743515895002, 18.4186518512444, 30.6567059195232}, {-0.952142064045266, 0.553528229939727, -3.25103071056624}}},
        {"LCh ", {{53.2328817858425, 99.9797018596878, 38.4455896894671}, {3.613168, 4.65083832429128, 6.98567828875763}, {81.8381891750029, 184.279580961704, 328.807467628089}},
                 {{21.2045432861296, 18.4186518512444, 19.5614330984907}, {0.0255199269659666, 0.553528229939727, 8.18430510704299}}},
        {"Luv ", {{53.2328817858425, 167.214672083312, 24.0745005977521}, {3.613168, 2.87011688696561, -0.0757196311663665}, {81.8381891750029, 171.504237112445, -164.654145628708}},
                 {{22.4992142768084, 18.4186518512444, 25.4361238752333}, {-0.568127332167222, 0.553528229939727, 0}}},
        {"LChu", {{53.2328817858425, 168.938829577338, 8.19278221585976}, {3.613168, 2.87111553361915, 358.48876915093}, {81.8381891750029, 237.749218758425, 316.167387278333}},
                 {{20.6733328903963, 18.4186518512444, 17.9065309132864}, {0.349831269017132, 0.553528229939727, 0}}},
        {"Yxy ", {{21.26, 0.640074499456775, 0.329970510631693}, {0.4, 0.416666666666667, 0.333333333333333}, {60, 0.375, 0.15}},
                 {{200, 50, -95050}, {-4.28571428571429, 5, -0.642857142857143}}},
        {"LMSh", {{30.0174239137364, 15.4388211422442, 1.93}, {0.432986524000485, 0.371068624597668, 0.3}, {80.8369305336404, 45.9415116125407, 190}},
                 {{66.9824959467572, 31.8155615017631, -30}, {90.4136193242333, -35.8226438498237, 70}}},
        {"LMSj", {{20.498892, 9.45389115657196, 1.93}, {0.38568, 0.341792003008215, 0.3}, {57.852, 33.2415092549922, 190}},
                 {{98.0620489048369, 51.8564613150799, -30}, {158.540829888714, 5.18564613150799, 70}}},
        {"cie1", {{59.6835187808987, 109.741014561719, 79.2597314811219}, {16.9079034482759, 6.20295750808485, 0.721191933567709}, {84.3432665301749, 201.94476673123, -121.687600437128}},
                 {{14.6031493855927, 12.5, 19.4367846097588}, {-2.29102630178523, -1.12919758907704, -3.83944827439255}}},
        {"Tnt ", {{46.108567533594, 96.4556687991003, 61.625126066986}, {6.32455532033676, 4.38293867904625, 0.587925854514562}, {77.4596669241483, 236.338947670094, -148.613826914058}},
                 {{28.116072, 25, 34.852025}, {0.472458, 0.25, 7.4241}}},
        {"TntL", {{49.4078205122897, 106.498063562278, 79.5205489391082}, {1.82785620195192, 2.62866226213711, 0.324949815500595}, {82.0341403048687, 170.544375785685, -97.5192898057564}},
                 {{24.0657582698114, 21.7129272885995, 29.5410783512019}, {-0.67494, 1.1402858152447, -2.4747}}},
        {"Tntx", {{70.7074332247453, 49.4078205122897, 9.64754604273559}, {2.35358865437934, 1.82785620195192, 1.66538129420163}, {116.143015462006, 82.0341403048687, 130.793785207747}},
                 {{20.9356044916677, 5.58564710150526, -2.4747}, {1.09946358305894, -6, 34.5239328335062}}},
        // Destination only: converting from them fails and leaves the input.
        {"LChm", {{76.6918372541732, 48.9088071340338, 35.3287972122578}, {7.07077886497065, 6.02315417760452, 5.2534918805825}, {99.5102360319059, 71.2416434908205, 333.948795720529}},
                 {{50, 20, -30}, {5, -60, 70}}},
        {"Labm", {{76.6918372541732, 39.9021061269577, 28.2823857180952}, {7.07077886497065, 5.99785301004669, 0.551493895767412}, {99.5102360319059, 64.0036294728469, -31.287492414313}},
                 {{50, 20, -30}, {5, -60, 70}}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.space);
        const uint32_t space = TNT_SIG(r.space[0], r.space[1], r.space[2], r.space[3]);
        double out[3];
        for (int i = 0; i < 5; ++i) {  // three to the space, two back (refused by the destination-only ones)
            EXPECT_EQ(i < 3 ? ConvertColor(kXYZ, from[i], space, out) : ConvertColor(space, back[i - 3], kXYZ, out),
                      i >= 3 && r.space[3] == 'm' ? TNT_ERR_UNSUPPORTED_SPACE : TNT_OK);
            ExpectNear3(out, i < 3 ? r.to[i] : r.from[i - 3], 1e-12);
        }
    }
    // White, black, guards, direct polar pairs, in place.
    struct Pin { uint32_t from; double in[3]; uint32_t to; double out[3]; TntStatus status; } pins[] = {
        {kXYZ, {96.42, 100, 82.49}, Sig("Tntx"), {100, 100, 100}, 0}, {kXYZ, {96.42, 100, 82.49}, Sig("LChm"), {112.22523808838, 0, -0.672652451481401}, 0},
        {Sig("LMSh"), {96.42, 100, 82.49}, kXYZ, {96.42 * 0.9999, 100, 82.49}, 0}, {kXYZ, {0, 0, 0}, kYxy, {0, 96.42 / 278.91, 100.0 / 278.91}, 0},
        {kXYZ, {0, 0, 0}, kLuv, {0, 0, 0}, 0}, {kXYZ, {-1, -1, -1}, Sig("Tnt "), {0, 0, 0}, 0},
        {kYxy, {50, 0.3, 0}, kXYZ, {200, 50, 200}, 0}, {kLuv, {0.05, 30, -40}, kXYZ, {0, 0.00553528229939727, 0}, 0},
        {kLab, {50, 0, -10}, kLCh, {50, 10, 270}, 0}, {kLab, {-5, 3, 4}, kLCh, {-5, 5, 53.13010235415598}, 0},
        {kLCh, {50, 10, 270}, kLab, {50, 0, -10}, 0}, {kLuv, {40, -1, 1}, Sig("LChu"), {40, std::sqrt(2.0), 135}, 0},
        {kLuv, {40, -1, 0}, Sig("LChu"), {40, 1, 180}, 0}, {Sig("LChu"), {40, 1, 180}, kLuv, {40, -1, 0}, 0},
        {Sig("RGB "), {10, 20, 30}, Sig("RGB "), {10, 20, 30}, 0}, {Sig("RGB "), {10, 20, 30}, kLab, {10, 20, 30}, TNT_ERR_UNSUPPORTED_SPACE},
        {kLab, {100, 0, 0}, Sig("RGB "), {96.42, 100, 82.49}, TNT_ERR_UNSUPPORTED_SPACE},  // left as XYZ
    };
    for (const Pin& p : pins) {
        double v[3] = {p.in[0], p.in[1], p.in[2]};
        EXPECT_EQ(ConvertColor(p.from, v, p.to, v), p.status) << std::hex << p.from << " " << p.to;
        ExpectNear3(v, p.out, 1e-6);
    }

    // Tabulated powers refuse what they cannot serve; the Lab users equal the exact code.
    PowerTable table;
    ASSERT_TRUE(PreparePowerTable(0.5, &table));
    for (double x : {0.0, -0.0, -0.25, std::numeric_limits<double>::denorm_min(), std::ldexp(1.0, kPowerMinExponent) * 0.999,
                     std::ldexp(1.0, kPowerMaxExponent + 1), kInf, kNaN}) {
        double value = 12345;
        EXPECT_TRUE(!TablePower(&table, x, &value) && value == 12345) << x;
    }
    for (double a : {0.0, -0.5, 4.01, kInf, kNaN}) EXPECT_FALSE(PreparePowerTable(a, &table)) << a;
    // The edges it covers: exponent 4, and the lowest and highest binades of x.
    ASSERT_TRUE(PreparePowerTable(4.0, &table));
    for (double x : {std::ldexp(1.0, kPowerMinExponent), std::ldexp(1.75, kPowerMaxExponent)}) {
        double value = 0;
        EXPECT_TRUE(TablePower(&table, x, &value)) << x;
        EXPECT_NEAR(value / std::pow(x, 4.0), 1.0, 1e-12) << x;
    }
    for (double t : {10.5, -3.5}) EXPECT_FALSE(NearInteger(t, kQuantizeTolerance)) << t;
    for (double t : {10.0, std::nextafter(11.0, 0.0), -2.0 + kQuantizeTolerance / 2, std::ldexp(1.0, 53), kNaN})
        EXPECT_TRUE(NearInteger(t, kQuantizeTolerance)) << t;

    // Lab codes with the cube-root table (or one for another power) equal those without.
    PowerTable cubeRoot;
    ASSERT_TRUE(PreparePowerTable(LabCompandExponent(), &cubeRoot));
    auto differs = [&](uint16_t x, uint16_t y, uint16_t z, const PowerTable* t) {
        uint16_t exact[3] = {x, y, z}, tabulated[3] = {x, y, z};
        ConvertXyzToLab16(exact, nullptr), ConvertXyzToLab16(tabulated, t);
        return std::memcmp(exact, tabulated, sizeof exact) != 0;
    };
    int differing = 0;
    for (uint32_t y = 0; y < 65536; ++y) {
        differing += differs(uint16_t(y * 0.9642), uint16_t(y), uint16_t(y * 0.8249), &cubeRoot);
        differing += differs(uint16_t(y), 0, 0, &cubeRoot) + differs(0, uint16_t(y), 0, &cubeRoot) + differs(0, 0, uint16_t(y), &cubeRoot);
    }
    for (uint32_t i = 0; i < 100000; ++i) differing += differs(uint16_t(i * 7919), uint16_t(i * 104729), uint16_t(i * 1299709), &cubeRoot);
    differing += differs(1234, 40000, 7, &table);
    EXPECT_EQ(differing, 0);
}

ColorControls Controls(double lightness, double contrast, double chroma, double ab, double a, double b) {
    return ColorControls{lightness, contrast, chroma, ab, a, b, kLab};
}

TEST(Colour, ControlsAndTheirHooks) {
    struct Row { ColorControls c; double in[3], out[3]; } rows[] = {
        {Controls(0, 0, 0, 0, 0, 0), {37.5, -20.25, 61}, {37.5, -20.25, 61}}, {Controls(1, 0, 0, 0, 0, 0), {40, 10, 10}, {60, 10, 10}},
        {Controls(-1, 0, 0, 0, 0, 0), {40, 10, 10}, {20, 10, 10}}, {Controls(0, 0, -1, 0, 0, 0), {40, 10, -30}, {40, 0, 0}},
        {Controls(0, 0, 0, 0, 1, 0), {40, 10, -30}, {40, 22.8, -30}}, {Controls(0, 0, 0, 1, 0, 0), {40, 10, -30}, {40, 10 - 5.12, -30 - 7.68}},
        {Controls(0, 0, 0, 0, 0, 1.5), {40, 0, 0}, {40, 0, 19.2}},  // beyond 1 is not clamped
    };
    for (Row& r : rows) ApplyLabControls(r.in, &r.c), ExpectNear3(r.in, r.out, 1e-12);
    ColorControls up = Controls(0, 1, 0, 0, 0, 0), down = Controls(0, -1, 0, 0, 0, 0), raise = Controls(0, 0.2, 0, 0, 0, 0), lower = Controls(0, -0.2, 0, 0, 0, 0);
    for (auto [x, y] : {std::pair{0.0, 0.0}, {0.5, 0.5}, {1.0, 1.0}, {0.25, 0.125}, {0.75, 0.875}})
        EXPECT_DOUBLE_EQ(ContrastCurve(x, &up), y) << x;
    EXPECT_TRUE(std::fabs(ContrastCurve(0.125, &down) - 0.25) < 1e-6 && down.contrast == -1);  // the record restored after the solver
    for (double x = 0; x <= 1.0; x += 1.0 / 16)  // lowering by c undoes raising by c
        EXPECT_NEAR(ContrastCurve(ContrastCurve(x, &raise), &lower), x, 3e-4) << x;
    for (auto [target, root] : {std::pair{4.0, 1.0}, {-1.0, 0.0}}) {  // beyond either end: that end
        double r = -1;
        SolveByBisection([](double x, void*) { return x * x; }, target, 0, 1, 100, &r, nullptr);
        EXPECT_NEAR(r, root, 1e-6);
    }

    EXPECT_EQ(SetColorManipulationFunction(nullptr, 42), &DefaultColorManipulation);
    uintptr_t user = 0;
    EXPECT_TRUE(ProcessColorManipulation(&user) == nullptr && user == 42u);
    EXPECT_EQ(SetColorManipulationFunction(DefaultColorManipulation, 0), nullptr);
    EXPECT_TRUE(EnableColorControls(7) == 1 && ColorControlsEnabled() && EnableColorControls(0) == 0);
    // Once per colour (index 0 starts the next), at its first convertible space.
    SetColorControls(0, 0, 0, 0, 100, 0);  // a + 12.8
    uint16_t rgb[8] = {100, 200, 300}, lab[8] = {}, again[8] = {};
    EXPECT_TRUE(DefaultColorManipulation(0, 2, Sig("RGB "), rgb, 0) == 0u && rgb[0] == 100);
    EncodeColor16(kLab, std::array<double, 3>{50, 0, 0}.data(), lab);
    std::copy(lab, lab + 8, again);  // the first colour again, after index 0
    EXPECT_TRUE(DefaultColorManipulation(1, 2, kLab, lab, 0) == 0u && lab[1] == 32768 + 3277);
    EXPECT_TRUE(DefaultColorManipulation(2, 2, kLab, lab, 0) == 1u && DefaultColorManipulation(0, 2, kLab, again, 0) == 0u);
    EXPECT_TRUE(std::equal(lab, lab + 8, again));
    SetColorControls(0, 0, 0, 0, 0, 0);
    // The link hook reads its six values at every call.
    int16_t values[6] = {0, 0, -100, 0, 0, 0};
    uint16_t colour[8] = {};
    double v[3];
    EncodeColor16(kLab, std::array<double, 3>{60, 40, -40}.data(), colour);
    EXPECT_EQ(LinkColorManipulation(0, 1, kLab, colour, reinterpret_cast<uintptr_t>(values)), 0u);
    DecodeColor16(kLab, colour, v);
    ExpectNear3(v, std::array<double, 3>{60, 0, 0}.data(), 2e-4);
}

}  // namespace
}  // namespace tnt
