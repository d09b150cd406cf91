// Stages: classification, building, curves, every kind applied. Real profiles
// are in the golden results; these tables pin boundaries and rare branches.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "platform/memory.h"
#include "stage/matrix.h"
#include "stage/stage.h"
#include "support/profile_builder.h"

using namespace tnt;
using namespace tnt_test;

namespace {

uint32_t SigOf(const char* s) { return TNT_SIG(s[0], s[1], s[2], s[3]); }

TransformStage Built(Profile* p, uint32_t direction, uint16_t intent = 0) {
    TransformStage s;
    ClearStage(&s);
    EXPECT_EQ(BuildStage(&s, p, direction, intent), 0);
    return s;
}

// Tags named by letters (only presence matters): w wtpt, k kTRC, m the six
// matrix tags, n those but bTRC, a A2B0, b B2A0.
Profile* Described(const char* cls, const char* space, const char* pcs, const std::string& tags) {
    Profile* p = NewTestProfile(SigOf(cls), SigOf(space), SigOf(pcs));
    for (char t : tags) {
        const char* names = t == 'w' ? "wtpt" : t == 'k' ? "kTRC" : t == 'a' ? "A2B0" : t == 'b' ? "B2A0" : t == 'm' ? "rXYZgXYZbXYZrTRCgTRCbTRC" : "rXYZgXYZbXYZrTRCgTRC";
        for (size_t i = 0; names[i]; i += 4) PutTag(p, SigOf(names + i), XYZTag(0.5, 0.5, 0.5));
    }
    return p;
}

// A table whose grid holds one constant, so the value read shows which tag was chosen.
LutContents Constant(uint8_t inputs, uint8_t outputs, uint16_t value) {
    LutContents s;
    s.inputs = inputs, s.outputs = outputs;
    s.gridValues.assign(size_t(outputs) << inputs, value);
    return s;
}

}  // namespace

TEST(Stage, ClassifiesAndBuildsEveryClassAndDirection) {
    const TntStatus ok = 0;
    struct Case { const char *cls, *space, *pcs, *tags; uint32_t kind0; TntStatus st0; uint32_t kind1; TntStatus st1; } cases[] = {
        {"scnr", "RGB ", "XYZ ", "wmab", 5, ok, 5, ok}, {"scnr", "RGB ", "XYZ ", "wma", 5, ok, 2, ok}, {"scnr", "RGB ", "XYZ ", "wmb", 1, ok, 5, ok},
        {"scnr", "RGB ", "Lab ", "wm", 1, ok, 2, ok}, {"scnr", "3CLR", "XYZ ", "wm", 1, ok, 2, ok}, {"scnr", "RGB ", "XYZ ", "wn", 0, 5050, 0, 5050},
        {"scnr", "RGB ", "XYZ ", "wa", 5, ok, 0, 5050}, {"scnr", "GRAY", "XYZ ", "wk", 3, ok, 4, ok}, {"scnr", "GRAY", "XYZ ", "wm", 0, 5050, 0, 5050},
        {"scnr", "CMYK", "Lab ", "wab", 5, ok, 0, 6003}, {"scnr", "CMYK", "Lab ", "wb", 0, 5050, 0, 5050}, {"scnr", "Lab ", "Lab ", "wab", 0, 5040, 0, 5040},
        {"scnr", "RGB ", "RGB ", "wm", 0, 5030, 0, 5030}, {"scnr", "RGB ", "XYZ ", "mab", 0, 5050, 0, 5050}, {"mntr", "GRAY", "Lab ", "wk", 3, ok, 4, ok},
        {"mntr", "GRAY", "Lab ", "w", 0, 5051, 0, 5051}, {"mntr", "3CLR", "XYZ ", "wm", 0, 5041, 0, 5041}, {"mntr", "CMYK", "XYZ ", "wab", 0, 5041, 0, 5041},
        {"mntr", "RGB ", "Luv ", "wm", 0, 5031, 0, 5031}, {"mntr", "RGB ", "XYZ ", "m", 0, 5051, 0, 5051}, {"prtr", "CMYK", "Lab ", "wa", 5, 5052, 5, 5052},
        {"prtr", "6CLR", "XYZ ", "wb", 5, 5052, 5, 5052}, {"prtr", "GRAY", "XYZ ", "wk", 3, ok, 4, ok}, {"prtr", "GRAY", "XYZ ", "wab", 0, 5052, 0, 5052},
        {"prtr", "CMYK", "CMYK", "wab", 0, 5032, 0, 5032}, {"prtr", "CMYK", "Lab ", "ab", 0, 5052, 0, 5052}, {"spac", "Luv ", "Lab ", "wab", 5, ok, 5, ok},
        {"spac", "RGB ", "XYZ ", "wa", 0, 5053, 0, 5053}, {"spac", "Lab ", "GRAY", "wab", 0, 5033, 0, 5033}, {"spac", "Lab ", "Lab ", "ab", 0, 5053, 0, 5053},
        {"abst", "Lab ", "Lab ", "wa", 5, ok, 5, ok}, {"abst", "RGB ", "Lab ", "wa", 0, 5044, 0, 5044}, {"abst", "Lab ", "Lab ", "wb", 0, 5054, 0, 5054},
        {"abst", "Lab ", "CMYK", "wa", 0, 5034, 0, 5034}, {"abst", "Lab ", "Lab ", "a", 0, 5054, 0, 5054}, {"link", "RGB ", "CMYK", "wb", 0, 5055, 0, 5055},
        {"nmcl", "RGB ", "Lab ", "wmab", 0, 5008, 0, 5008},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.cls) + " " + c.space + " " + c.pcs + " tags " + c.tags);
        Profile* p = Described(c.cls, c.space, c.pcs, c.tags);
        uint32_t kind[2] = {99, 99};
        EXPECT_EQ(ClassifyProfile(p, 0, &kind[0]), c.st0);
        EXPECT_EQ(ClassifyProfile(p, 1, &kind[1]), c.st1);
        EXPECT_TRUE(kind[0] == c.kind0 && kind[1] == c.kind1) << kind[0] << " " << kind[1];
        TntCloseProfile(p);
    }
    uint32_t kind = 0;
    EXPECT_EQ(ClassifyProfile(nullptr, 0, &kind), TNT_ERR_NULL_PARAMETER);

    // A conversion stage's spaces are its own; a table stage without a profile has none.
    TransformStage conversion;
    ClearStage(&conversion);
    conversion.kind = kStageSpaceConversion;
    conversion.data.conversion = {SigOf("XYZ "), SigOf("Luv ")};
    uint32_t in = 0, out = 0;
    EXPECT_TRUE(StageSpaces(&conversion, 2, &in, &out) == 0 && in == SigOf("XYZ ") && out == SigOf("Luv "));
    conversion.kind = kStageLookupTable;
    EXPECT_EQ(StageSpaces(&conversion, 7, &in, &out), TNT_ERR_NULL_PARAMETER);

    // A built stage records its profile, kind and white point (a failing one its
    // profile); a too-short white point is refused; an empty stage applies nothing.
    TransformStage stage;
    ClearStage(&stage);
    WorkColor c{};
    EXPECT_TRUE(stage.kind == kStageEmpty && stage.mediaWhite[2] == 82.49 && ApplyStage(&stage, &c, &c, kPassFull) == TNT_ERR_STAGE_KIND);
    EXPECT_EQ(BuildStage(&stage, nullptr, 0, 0), TNT_ERR_NULL_PARAMETER);
    Profile* p = MatrixProfile(SigOf("mntr"), SampledCurveTag(16, [](double x) { return x * x; }));
    PutWhitePoint(p, 0.9505, 1.0, 1.089);
    ASSERT_EQ(BuildStage(&stage, p, 1, 3), 0);
    EXPECT_TRUE(stage.kind == kStageMatrixReverse && stage.direction == 1 && stage.intent == 3);
    EXPECT_TRUE(std::fabs(stage.mediaWhite[0] - 95.05) < 1e-3 && stage.mediaWhite[1] == 100.0 && std::fabs(stage.mediaWhite[2] - 108.9) < 1e-3);
    ReleaseStageTables(&stage);
    PutTag(p, SigOf("wtpt"), Bytes(12, 0));
    ClearStage(&stage);
    EXPECT_TRUE(BuildStage(&stage, p, 0, 0) == TNT_ERR_TAG_RANGE && stage.profile == p);
    TntCloseProfile(p);
}

TEST(Stage, ToneCurvesPinTheirValues) {
    // No entries: identity; one: a u8Fixed8 gamma; two: a line (a flat one
    // inverts to y); more: sampled, clamped, a flat stretch inverting to its start.
    const double line[2] = {0.2, 0.6}, flat[2] = {0.5, 0.5}, t[5] = {0.1, 0.2, 0.5, 0.5, 0.9};
    auto make = [](uint32_t kind, const double* table, uint32_t length) {
        ToneCurve c{};
        c.kind = kind, c.table = const_cast<double*>(table), c.length = length, c.param[0] = 0x0233 / 256.0;
        return c;
    };
    const ToneCurve identity = make(kCurveIdentity, nullptr, 0), gamma = make(kCurveGamma, nullptr, 0), straight = make(kCurveSampled, line, 2),
                    level = make(kCurveSampled, flat, 2), sampled = make(kCurveSampled, t, 5);
    struct Row { const ToneCurve* c; bool invert; double x, y; } rows[] = {
        {&identity, true, 0.3, 0.3}, {&gamma, false, 0.5, std::pow(0.5, 2.19921875)}, {&gamma, false, -0.5, 0},
        {&level, true, 0.3, 0.3},    {&sampled, false, 2.0, 0.9}, {&sampled, true, 0.05, 0}, {&sampled, true, 0.95, 1},
        {&sampled, true, 0.5, 0.5},  {&sampled, false, 0.3, 0.26}, {&straight, true, 0.5, 0.75}, {&straight, false, 0.25, 0.3},
    };
    for (const Row& r : rows) EXPECT_DOUBLE_EQ(r.invert ? InvertToneCurve(*r.c, r.x) : EvaluateToneCurve(*r.c, r.x), r.y) << r.x;
    // 'para' shapes the conformance comparison's profiles lack (level below
    // the break, both segments offset, falling first, level): values, and
    // the inverse back on y.
    struct Para { uint16_t function; std::vector<double> parameters; bool invertible; double y[3]; } paras[] = {
        {3, {2.2, 1.0, 0.0, 0.0, 0.2}, true, {0, 0.21763810119719, 0.956527352137049}},
        {4, {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045, 0.02, 0.02}, true, {0.0223260498046875, 0.234049465149043, 0.975109290793737}},
        {4, {1.0, 1.0, 0.0, -0.5, 0.2, 0.0, 0.3}, false, {0.285003051757812, 0.5, 0.98}}, {0, {0.0}, false, {1, 1, 1}},
    };
    Profile* p = NewTestProfile(SigOf("mntr"), SigOf("GRAY"), SigOf("XYZ "));
    for (const Para& r : paras) {
        SCOPED_TRACE(r.function);
        PutTag(p, SigOf("kTRC"), ParaTag(r.function, r.parameters));
        ToneCurve c;
        ASSERT_EQ(ReadToneCurveTag(p, SigOf("kTRC"), &c), 0);
        EXPECT_TRUE(c.kind == kCurveParametric && c.invertible == r.invertible);
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(EvaluateToneCurve(c, std::array{0.03, 0.5, 0.98}[i]), r.y[i], 1e-12) << i;
        for (double x = 0; x <= 1.0; x += 1.0 / 64) {
            const double y = EvaluateToneCurve(c, x), back = InvertToneCurve(c, y);
            EXPECT_TRUE(back >= 0.0 && back <= 1.0 && (!r.invertible || std::fabs(EvaluateToneCurve(c, back) - y) <= 1e-12)) << x;
        }
        ReleaseToneCurve(&c);
    }
    ToneCurve c;  // an unknown function; too few parameters for its function
    for (auto [function, count, status] : {std::tuple{5, 7, TNT_ERR_TAG_NOT_FOUND}, {3, 4, TNT_ERR_TAG_RANGE}}) {
        PutTag(p, SigOf("kTRC"), ParaTag(uint16_t(function), std::vector<double>(size_t(count), 1.0)));
        EXPECT_EQ(ReadToneCurveTag(p, SigOf("kTRC"), &c), status) << function;
    }
    TntCloseProfile(p);
    // Curve searches are compared with the bisection when links are sampled
    // directly and plainly (the link tests); here, the tables they refuse.
    CurveSearch search;
    std::vector<double> ramp(65537);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = double(i) / 65536;
    const std::vector<double> tables[] = {{0.0, 0.5, 0.4, 1.0}, {0.3, 0.3, 0.3}, {0.0, 1.0}, {}, ramp};
    for (const auto& t : tables) EXPECT_FALSE(PrepareCurveSearch(t.empty() ? nullptr : t.data(), uint32_t(t.size()), &search)) << t.size();
    EXPECT_TRUE(PrepareCurveSearch(ramp.data(), 65536, &search));
}

// Codes through every stage kind, each pass alone and together, pinned: a 2.2
// matrix stage in and far outside its gamut, gray on Lab and XYZ, a table with
// curves, a matrix before the input curves, Lab written by 16- and 8-bit tables.
TEST(Stage, ApplyPinsTheCodesOfEveryKind) {
    LutContents link, perm, labIn, lab8 = Constant(4, 3, 0);
    link.outputs = 4, link.grid = 9;
    link.inputCurves = CurveEntries(3, 256, true, [](uint32_t, double x) { return x * x; });
    link.outputCurves = CurveEntries(4, 256, true, [](uint32_t, double x) { return x / 2; });
    link.gridValues = GridEntries(link, [](const double* x, double* y) { y[0] = x[0], y[1] = 1 - x[1], y[2] = (x[0] + x[2]) / 2, y[3] = 0.5; });
    std::copy_n(std::array<double, 9>{0, 1, 0, 0, 0, 1, 1, 0, 0}.data(), 9, perm.matrix);
    perm.gridValues = GridEntries(perm, [](const double* x, double* y) { std::copy(x, x + 3, y); });
    labIn.outputs = 4, labIn.gridValues = GridEntries(labIn, [](const double* x, double* y) { y[0] = x[0]; });
    lab8.sixteenBit = false, lab8.gridValues = GridEntries(lab8, [](const double*, double* y) { y[0] = 1.0, y[1] = y[2] = 128 / 255.0; });
    Profile* equalColorants = MatrixProfile(SigOf("scnr"), CurveTag({}));
    PutTag(equalColorants, SigOf("gXYZ"), XYZTag(kTestColorants[0][0], kTestColorants[0][1], kTestColorants[0][2]));
    Profile* profiles[] = {
        MatrixProfile(SigOf("mntr"), SampledCurveTag(256, [](double x) { return std::pow(x, 2.2); })), equalColorants,
        GrayProfile(SigOf("mntr"), CurveTag({}), SigOf("Lab ")), GrayProfile(SigOf("prtr"), GammaCurveTag(2.0)),
        LutProfile(SigOf("link"), SigOf("RGB "), SigOf("CMYK"), {{SigOf("A2B0"), link}}),
        LutProfile(SigOf("abst"), SigOf("XYZ "), SigOf("XYZ "), {{SigOf("A2B0"), perm}}),
        LutProfile(SigOf("prtr"), SigOf("CMYK"), SigOf("Lab "), {{SigOf("A2B0"), Constant(4, 3, 65535)}, {SigOf("B2A0"), labIn}}),
        LutProfile(SigOf("prtr"), SigOf("CMYK"), SigOf("Lab "), {{SigOf("A2B0"), lab8}, {SigOf("B2A0"), labIn}}),
    };
    struct Row { int profile; uint32_t direction; uint16_t flags; uint16_t in[5], out[5]; TntStatus status = 0; } rows[] = {
        {0, 0, 5, {40000, 30000, 50000, 777, 888}, {40000, 30000, 50000, 777, 888}}, {0, 0, 7, {1000, 0, 65535, 777, 888}, {4690, 1986, 23399, 777, 888}},
        {0, 1, 7, {65535, 65535, 65535, 777, 888}, {65535, 65535, 65535, 777, 888}}, {0, 1, 1, {20000, 21000, 15000, 777, 888}, {20000, 21000, 15000, 777, 888}},
        {1, 0, 7, {1000, 2000, 3000, 777, 888}, {869, 425, 1092, 777, 888}}, {2, 0, 7, {0, 7, 7, 0, 0}, {65535, 32768, 32768, 0, 0}},
        {2, 0, 7, {65535, 0, 0, 0, 0}, {0, 32768, 32768, 0, 0}}, {2, 1, 7, {65280, 32768, 32768, 0, 0}, {0, 32768, 32768, 0, 0}},
        {2, 1, 7, {0, 0, 0, 0, 0}, {65535, 0, 0, 0, 0}}, {2, 1, 5, {11, 22, 33, 0, 0}, {11, 22, 33, 0, 0}},
        {3, 0, 7, {32767, 0, 0, 0, 0}, {7898, 8192, 6757, 0, 0}}, {3, 1, 7, {16000, 20000, 14000, 0, 0}, {14335, 20000, 14000, 0, 0}},
        {4, 0, 1, {40000, 10000, 65535, 777, 888}, {24414, 1526, 65535, 777, 888}}, {4, 0, 2, {40000, 10000, 65535, 777, 888}, {39999, 55534, 52767, 32768, 888}},
        {4, 0, 4, {40000, 10000, 65535, 777, 888}, {20000, 5000, 32768, 388, 888}}, {4, 0, 7, {40000, 10000, 65535, 777, 888}, {12207, 32004, 22487, 16384, 888}},
        {4, 0, 7, {0, 65535, 32767, 777, 888}, {0, 0, 4096, 16384, 888}}, {4, 0, 5, {40000, 10000, 65535, 777, 888}, {24414, 1526, 65535, 777, 888}, TNT_ERR_OUTPUT_CURVES},
        {5, 0, 7, {1000, 2000, 3000, 0, 0}, {2000, 3000, 1000, 0, 0}}, {5, 0, 1, {1000, 2000, 3000, 0, 0}, {1000, 2000, 3000, 0, 0}},
        {5, 0, 4, {1000, 2000, 3000, 0, 0}, {1000, 2000, 3000, 0, 0}}, {6, 0, 7, {1, 2, 3, 4, 0}, {65280, 65535, 65535, 4, 0}},
        {6, 1, 7, {65280, 32768, 32768, 0, 0}, {65535, 0, 0, 0, 0}}, {6, 1, 7, {65279, 32768, 32768, 0, 0}, {65279, 0, 0, 0, 0}},
        {7, 0, 7, {5, 6, 7, 8, 0}, {65280, 32768, 32768, 8, 0}},
    };
    for (const Row& r : rows) {
        TransformStage s = Built(profiles[r.profile], r.direction);
        WorkColor in{{r.in[0], r.in[1], r.in[2], r.in[3], r.in[4]}}, out{{9, 9, 9, 9, 9}};
        EXPECT_EQ(ApplyStage(&s, &in, &out, r.flags), r.status);
        for (int k = 0; k < 5; ++k) EXPECT_EQ(out.channel[k], r.out[k]) << r.profile << "/" << r.direction << "/" << r.flags << " " << k;
        ReleaseStageTables(&s);
    }
    // A gray stage whose PCS changed after building fails, output untouched.
    TransformStage gray[2] = {Built(profiles[2], 0), Built(profiles[2], 1)};
    ProfileHeader h;
    TntGetProfileHeader(profiles[2], &h), h.pcs = SigOf("RGB "), TntSetProfileHeader(profiles[2], &h);
    for (TransformStage& g : gray) {
        WorkColor c{{5}}, out{{9, 9, 9}};
        EXPECT_EQ(ApplyStage(&g, &c, &out, kPassFull), TNT_ERR_GRAY_PCS);
        EXPECT_TRUE(out.channel[0] == 9 && out.channel[1] == 9 && out.channel[2] == 9);
        ReleaseStageTables(&g);
    }
    // Two equal colorants are singular in reverse, and nothing is kept; a
    // curve count beyond the tag fails before its table is asked for.
    TransformStage bad;
    ClearStage(&bad);
    EXPECT_TRUE(BuildStage(&bad, equalColorants, 1, 0) == TNT_ERR_SINGULAR_MATRIX && bad.data.matrix.curve[0].table == nullptr);
    TntRemoveProfileElement(equalColorants, SigOf("bTRC"));
    Bytes lying = CurveTag({1, 2, 3});
    lying[11] = 0x40;  // 64 entries in a tag holding 3
    PutTag(equalColorants, SigOf("bTRC"), lying);
    EXPECT_EQ(BuildStage(&bad, equalColorants, 0, 0), TNT_ERR_TAG_RANGE);
    for (Profile* p : profiles) TntCloseProfile(p);
}

TEST(Stage, LookupTableChoiceReadingAndGrids) {
    Profile* p = LutProfile(SigOf("prtr"), SigOf("CMYK"), SigOf("Lab "),
                            {{SigOf("A2B0"), Constant(4, 3, 1000)}, {SigOf("A2B2"), Constant(4, 3, 1002)},
                             {SigOf("B2A0"), Constant(3, 4, 2000)}, {SigOf("B2A1"), Constant(3, 4, 2001)}});
    struct Choice { uint32_t direction; uint16_t intent, grid; } choices[] = {
        {0, 0, 1000}, {0, 1028, 1000}, {0, 1, 1000}, {0, 3, 1000}, {0, 2, 1002},
        {1, 0, 2000}, {1, 1, 2001},    {1, 3, 2001}, {1, 2, 2000}, {1, 1028, 2000}};
    for (const Choice& r : choices) {
        TransformStage s = Built(p, r.direction, r.intent);
        EXPECT_EQ(std::memcmp(s.data.lut.grid, &r.grid, 2), 0) << r.direction << "/" << r.intent;
        ReleaseStageTables(&s);
    }
    TransformStage s;
    ClearStage(&s);
    for (uint16_t intent : {4, 1027, 0xFFFF}) EXPECT_EQ(BuildStage(&s, p, 0, intent), TNT_ERR_UNKNOWN_INTENT);
    TntRemoveProfileElement(p, SigOf("B2A0"));  // nothing left to fall back on
    EXPECT_TRUE(ReadLutStage(&s.data.lut, p, 1, 2) == TNT_ERR_TAG_NOT_FOUND && ReadLutStage(&s.data.lut, p, 1, 0) == TNT_ERR_TAG_NOT_FOUND);
    EXPECT_EQ(ReadLutStage(&s.data.lut, p, 1, 1), 0);
    ReleaseLutStage(&s.data.lut);
    TntCloseProfile(p);

    // Identity curves and matrices are recognised and skipped; one changed
    // entry is not an identity; the matrix counts only for three inputs.
    p = NewTestProfile(SigOf("link"), SigOf("CMYK"), SigOf("Lab "));
    LutStageData d;
    auto read = [&](const Bytes& tag) {
        TntRemoveProfileElement(p, SigOf("A2B0"));
        PutTag(p, SigOf("A2B0"), tag);
        const TntStatus st = ReadLutTable(&d, p, SigOf("A2B0"));
        EXPECT_TRUE(st == 0 || st == TNT_ERR_TAG_NOT_FOUND) << st;
        EXPECT_TRUE(!st || d.inputCurves[0].table == nullptr);
        return st;
    };
    LutContents s8, s16, zero, fourIn;
    s8.sixteenBit = false, s16.outputEntries = 1024;
    s16.outputCurves = CurveEntries(3, 1024, true, [](uint32_t, double x) { return x; }), s16.outputCurves[3 * 1024 - 2] ^= 1;  // one entry off
    std::fill_n(zero.matrix, 9, 0.0), std::fill_n(fourIn.matrix, 9, 0.0), fourIn.inputs = 4;
    struct Flags { const LutContents* table; uint32_t inputCurves, outputCurves, matrix; } flags[] = {
        {&s8, 0, 0, 0}, {&s16, 0, 1, 0}, {&zero, 0, 0, 1}, {&fourIn, 0, 0, 0}};
    for (const Flags& r : flags) {
        ASSERT_EQ(read(MftTag(*r.table)), 0);
        EXPECT_TRUE(d.inputCurvesActive == r.inputCurves && d.outputCurvesActive == r.outputCurves && d.useMatrix == r.matrix);
        ReleaseLutStage(&d);
    }
    // Tables that lie about their size or shape are refused, never read past.
    const Bytes good = MftTag(LutContents{});
    std::vector<Bytes> lies = {Bytes(good.begin(), good.end() - 1), Bytes(good.begin(), good.begin() + 50), XYZTag(1, 1, 1)};
    for (auto [offset, value] : {std::pair{8, 0}, {8, 9}, {9, 0}, {9, 9}, {10, 1}, {10, 200}, {3, 'A'}})
        lies.push_back(good), lies.back()[offset] = uint8_t(value);
    for (uint16_t entries : {1, 60000})  // one input entry, entries beyond the tag
        lies.push_back(good), std::memcpy(lies.back().data() + 48, &entries, 2);
    for (const Bytes& lie : lies) EXPECT_EQ(read(lie), TNT_ERR_TAG_NOT_FOUND) << lie.size();
    EXPECT_EQ(ReadLutTable(&d, p, SigOf("B2A0")), TNT_ERR_TAG_NOT_FOUND);
    TntCloseProfile(p);

    // Multilinear functions through 1 to 8 inputs and outputs, both widths:
    // exact up to the rounding of the stored grid.
    for (int n = 0; n < 16; ++n) {
        const bool sixteen = n < 8;
        const int inputs = n % 8 + 1, outputs = 9 - inputs;
        auto f = [&](const double* x, double* y) {
            for (int k = 0; k < outputs; ++k)
                y[k] = inputs == 1 ? 0.25 + 0.5 * x[0] : 0.5 * x[k % inputs] * (1 - x[(k + 1) % inputs]) + 0.25 * x[(k + 2) % inputs] + 0.125 * (k % 3);
        };
        LutContents table;
        table.sixteenBit = sixteen, table.inputs = uint8_t(inputs), table.outputs = uint8_t(outputs), table.grid = inputs <= 4 ? 5 : 2;
        table.gridValues = GridEntries(table, f);
        Profile* p = LutProfile(SigOf("link"), TNT_SIG(char('0' + inputs), 'C', 'L', 'R'), TNT_SIG(char('0' + outputs), 'C', 'L', 'R'), {{SigOf("A2B0"), table}});
        TransformStage s = Built(p, 0);
        for (uint32_t i = 0, seed = 12345; i < 100; ++i) {  // the top corner, the bottom one, then spread
            WorkColor c{};
            double x[8], y[8];
            for (int j = 0; j < inputs; ++j) seed = seed * 1103515245u + 12345u, c.channel[j] = uint16_t(i == 0 ? 65535 : i == 1 ? 0 : seed >> 16), x[j] = c.channel[j] / 65535.0;
            f(x, y);
            ASSERT_EQ(ApplyStage(&s, &c, &c, kPassFull), 0);
            for (int k = 0; k < outputs; ++k) ASSERT_NEAR(c.channel[k], y[k] * 65535, sixteen ? 2.0 : 0.5 * 257 + 2) << inputs << " in, output " << k;
        }
        ReleaseStageTables(&s);
        TntCloseProfile(p);
    }
}
