// Stages: classification, building, tone curves, matrix and gray stages,
// lookup tables. Real profiles are covered by the golden results; these
// tables pin the boundaries and the rarely used branches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "colour/power.h"
#include "platform/memory.h"
#include "stage/matrix.h"
#include "stage/stage.h"
#include "support/profile_builder.h"
#include "support/real_profiles.h"
#include "support/v4_profiles.h"

using namespace tnt;
using namespace tnt_test;

namespace {

uint32_t SigOf(const char* s) { return TNT_SIG(s[0], s[1], s[2], s[3]); }

WorkColor Color(std::initializer_list<uint16_t> values) {
    WorkColor w{};
    int k = 0;
    for (uint16_t v : values) w.channel[k++] = v;
    return w;
}

TransformStage Built(Profile* p, uint32_t direction, uint16_t intent = 0) {
    TransformStage s;
    ClearStage(&s);
    EXPECT_EQ(BuildStage(&s, p, direction, intent), 0);
    return s;
}

// A profile whose tags are named by letters: w wtpt, k kTRC, m all six
// matrix tags, n the matrix tags but bTRC, a A2B0, b B2A0. Only presence
// matters to the classification.
Profile* Described(const char* cls, const char* space, const char* pcs, const std::string& tags) {
    Profile* p = NewTestProfile(SigOf(cls), SigOf(space), SigOf(pcs));
    const Bytes any = XYZTag(0.5, 0.5, 0.5);
    for (char t : tags) {
        const char* names = t == 'w' ? "wtpt" : t == 'k' ? "kTRC" : t == 'a' ? "A2B0" : t == 'b' ? "B2A0"
                          : t == 'm' ? "rXYZgXYZbXYZrTRCgTRCbTRC" : "rXYZgXYZbXYZrTRCgTRC";
        for (size_t i = 0; names[i]; i += 4) PutTag(p, SigOf(names + i), any);
    }
    return p;
}

// A table whose grid holds one constant, so the value read shows which tag was chosen.
LutContents Constant(uint8_t inputs, uint8_t outputs, uint16_t value) {
    LutContents s;
    s.inputs = inputs;
    s.outputs = outputs;
    s.gridValues.assign(size_t(outputs) << inputs, value);
    return s;
}

}  // namespace

TEST(Stage, ClassifiesEveryClassAndDirection) {
    const TntStatus ok = 0;
    struct Case { const char *cls, *space, *pcs, *tags; uint32_t kind0; TntStatus st0; uint32_t kind1; TntStatus st1; } cases[] = {
        {"scnr", "RGB ", "XYZ ", "wmab", 5, ok, 5, ok},     {"scnr", "RGB ", "XYZ ", "wma", 5, ok, 2, ok},
        {"scnr", "RGB ", "XYZ ", "wmb", 1, ok, 5, ok},      {"scnr", "RGB ", "Lab ", "wm", 1, ok, 2, ok},
        {"scnr", "3CLR", "XYZ ", "wm", 1, ok, 2, ok},       {"scnr", "MCH3", "XYZ ", "wm", 1, ok, 2, ok},
        {"scnr", "RGB ", "XYZ ", "wn", 0, 5050, 0, 5050},   {"scnr", "RGB ", "XYZ ", "wa", 5, ok, 0, 5050},
        {"scnr", "GRAY", "XYZ ", "wk", 3, ok, 4, ok},       {"scnr", "GRAY", "XYZ ", "wm", 0, 5050, 0, 5050},
        {"scnr", "CMYK", "Lab ", "wab", 5, ok, 0, 6003},    {"scnr", "CMYK", "Lab ", "wb", 0, 5050, 0, 5050},
        {"scnr", "Lab ", "Lab ", "wab", 0, 5040, 0, 5040},  {"scnr", "RGB ", "RGB ", "wm", 0, 5030, 0, 5030},
        {"scnr", "RGB ", "XYZ ", "mab", 0, 5050, 0, 5050},  {"mntr", "RGB ", "XYZ ", "wm", 1, ok, 2, ok},
        {"mntr", "RGB ", "XYZ ", "wmab", 5, ok, 5, ok},     {"mntr", "GRAY", "Lab ", "wk", 3, ok, 4, ok},
        {"mntr", "GRAY", "Lab ", "w", 0, 5051, 0, 5051},    {"mntr", "3CLR", "XYZ ", "wm", 0, 5041, 0, 5041},
        {"mntr", "CMYK", "XYZ ", "wab", 0, 5041, 0, 5041},  {"mntr", "RGB ", "Luv ", "wm", 0, 5031, 0, 5031},
        {"mntr", "RGB ", "XYZ ", "m", 0, 5051, 0, 5051},    {"prtr", "CMYK", "Lab ", "wab", 5, ok, 5, ok},
        {"prtr", "CMYK", "Lab ", "wa", 5, 5052, 5, 5052},   {"prtr", "6CLR", "XYZ ", "wb", 5, 5052, 5, 5052},
        {"prtr", "GRAY", "XYZ ", "wk", 3, ok, 4, ok},       {"prtr", "GRAY", "XYZ ", "wab", 0, 5052, 0, 5052},
        {"prtr", "CMYK", "CMYK", "wab", 0, 5032, 0, 5032},  {"prtr", "CMYK", "Lab ", "ab", 0, 5052, 0, 5052},
        {"spac", "Luv ", "Lab ", "wab", 5, ok, 5, ok},      {"spac", "RGB ", "XYZ ", "wa", 0, 5053, 0, 5053},
        {"spac", "Lab ", "GRAY", "wab", 0, 5033, 0, 5033},  {"spac", "Lab ", "Lab ", "ab", 0, 5053, 0, 5053},
        {"abst", "Lab ", "Lab ", "wa", 5, ok, 5, ok},       {"abst", "RGB ", "Lab ", "wa", 0, 5044, 0, 5044},
        {"abst", "Lab ", "Lab ", "wb", 0, 5054, 0, 5054},   {"abst", "Lab ", "CMYK", "wa", 0, 5034, 0, 5034},
        {"abst", "Lab ", "Lab ", "a", 0, 5054, 0, 5054},    {"link", "RGB ", "CMYK", "a", 5, ok, 5, ok},
        {"link", "RGB ", "CMYK", "wb", 0, 5055, 0, 5055},   {"nmcl", "RGB ", "Lab ", "wmab", 0, 5008, 0, 5008},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.cls) + " " + c.space + " " + c.pcs + " tags " + c.tags);
        Profile* p = Described(c.cls, c.space, c.pcs, c.tags);
        uint32_t kind = 99;
        EXPECT_EQ(ClassifyProfile(p, 0, &kind), c.st0);
        EXPECT_EQ(kind, c.kind0);
        kind = 99;
        EXPECT_EQ(ClassifyProfile(p, 1, &kind), c.st1);
        EXPECT_EQ(kind, c.kind1);
        TntCloseProfile(p);
    }
    uint32_t kind = 0;
    EXPECT_EQ(ClassifyProfile(nullptr, 0, &kind), TNT_ERR_NULL_PARAMETER);

    // The spaces a stage reads and writes follow its direction and pass flags;
    // matrix stages work in XYZ whatever PCS the profile names.
    Profile* printer = Described("prtr", "CMYK", "Lab ", "wab");
    Profile* display = Described("mntr", "RGB ", "Lab ", "wm");
    const uint32_t cmyk = SigOf("CMYK"), lab = SigOf("Lab "), rgb = SigOf("RGB "), xyz = SigOf("XYZ ");
    struct Row { Profile* p; uint32_t kind, direction; uint16_t flags; uint32_t in, out; } rows[] = {
        {printer, 5, 0, 1, cmyk, cmyk}, {printer, 5, 0, 4, lab, lab},   {printer, 5, 0, 6, cmyk, lab},
        {printer, 5, 1, 3, lab, cmyk},  {printer, 5, 1, 4, cmyk, cmyk}, {display, 1, 0, 7, rgb, xyz},
        {display, 1, 0, 1, rgb, rgb},   {display, 2, 1, 1, xyz, lab},   {display, 3, 0, 7, rgb, lab},
    };
    for (const Row& r : rows) {
        TransformStage s;
        ClearStage(&s);
        s.profile = r.p, s.kind = r.kind, s.direction = r.direction;
        uint32_t in = 0, out = 0;
        ASSERT_EQ(StageSpaces(&s, r.flags, &in, &out), 0);
        EXPECT_TRUE(in == r.in && out == r.out) << r.kind << "/" << r.direction << "/" << r.flags;
    }
    TransformStage conversion;
    ClearStage(&conversion);
    conversion.kind = kStageSpaceConversion;
    conversion.data.conversion = {xyz, SigOf("Luv ")};
    uint32_t in = 0, out = 0;
    ASSERT_EQ(StageSpaces(&conversion, 2, &in, &out), 0);
    EXPECT_TRUE(in == xyz && out == SigOf("Luv "));
    conversion.kind = kStageLookupTable;
    EXPECT_EQ(StageSpaces(&conversion, 7, &in, &out), TNT_ERR_NULL_PARAMETER);
    TntCloseProfile(printer);
    TntCloseProfile(display);
}

TEST(Stage, BuildRecordsWhitePointAndReleases) {
    TransformStage stage;
    ClearStage(&stage);
    EXPECT_EQ(stage.kind, kStageEmpty);
    EXPECT_DOUBLE_EQ(stage.mediaWhite[2], 82.49);
    EXPECT_EQ(BuildStage(&stage, nullptr, 0, 0), TNT_ERR_NULL_PARAMETER);
    Profile* p = MatrixProfile(SigOf("mntr"), SampledCurveTag(16, [](double x) { return x * x; }));
    PutWhitePoint(p, 0.9505, 1.0, 1.089);
    ASSERT_EQ(BuildStage(&stage, p, 1, 3), 0);
    EXPECT_TRUE(stage.profile == p && stage.kind == kStageMatrixReverse && stage.direction == 1 && stage.intent == 3);
    EXPECT_NEAR(stage.mediaWhite[0], 95.05, 1e-3);
    EXPECT_DOUBLE_EQ(stage.mediaWhite[1], 100.0);
    EXPECT_NEAR(stage.mediaWhite[2], 108.9, 1e-3);
    EXPECT_EQ(stage.data.matrix.curve[1].length, 16u);
    ReleaseStageTables(&stage);
    ReleaseStageTables(&stage);
    EXPECT_EQ(stage.data.matrix.curve[0].table, nullptr);
    // A failing build still records its profile; a too-short white point is refused.
    TntRemoveProfileElement(p, SigOf("wtpt"));
    PutTag(p, SigOf("wtpt"), Bytes(12, 0));
    ClearStage(&stage);
    EXPECT_EQ(BuildStage(&stage, p, 0, 0), TNT_ERR_TAG_RANGE);
    EXPECT_EQ(stage.profile, p);
    TntCloseProfile(p);
    // A device link needs no white point and keeps D50; in reverse it has no B2A0.
    LutContents rgbToCmyk;
    rgbToCmyk.outputs = 4;
    p = LutProfile(SigOf("link"), SigOf("RGB "), SigOf("CMYK"), {{SigOf("A2B0"), rgbToCmyk}});
    TntRemoveProfileElement(p, SigOf("wtpt"));
    stage = Built(p, 0);
    EXPECT_EQ(stage.kind, kStageLookupTable);
    EXPECT_DOUBLE_EQ(stage.mediaWhite[0], 96.42);
    ReleaseStageTables(&stage);
    EXPECT_EQ(BuildStage(&stage, p, 1, 0), TNT_ERR_TAG_NOT_FOUND);
    ReleaseStageTables(&stage);
    TntCloseProfile(p);
    WorkColor c{};
    ClearStage(&stage);
    EXPECT_EQ(ApplyStage(&stage, &c, &c, kPassFull), TNT_ERR_STAGE_KIND);
    stage.kind = kStageSpaceConversion;
    EXPECT_EQ(ApplyStage(&stage, &c, &c, kPassFull), TNT_ERR_STAGE_KIND);
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
    const ToneCurve identity = make(kCurveIdentity, nullptr, 0), gamma = make(kCurveGamma, nullptr, 0),
                    straight = make(kCurveSampled, line, 2), level = make(kCurveSampled, flat, 2),
                    sampled = make(kCurveSampled, t, 5);
    struct Row { const ToneCurve* c; bool invert; double x, y; } rows[] = {
        {&identity, true, 0.3, 0.3}, {&gamma, false, 0.5, std::pow(0.5, 2.19921875)}, {&gamma, false, -0.5, 0},
        {&level, true, 0.3, 0.3},    {&sampled, false, 2.0, 0.9}, {&sampled, true, 0.05, 0}, {&sampled, true, 0.95, 1},
        {&sampled, true, 0.5, 0.5},  {&sampled, false, 0.3, 0.26}, {&straight, true, 0.5, 0.75}, {&straight, false, 0.25, 0.3},
    };
    for (const Row& r : rows) EXPECT_DOUBLE_EQ(r.invert ? InvertToneCurve(*r.c, r.x) : EvaluateToneCurve(*r.c, r.x), r.y) << r.x;
    // 'para' of every form, read from its tag: values below and above the
    // break, and the inverse back on y.
    struct Para { uint16_t function; std::vector<double> parameters; uint32_t kind; bool invertible; double y[3]; } paras[] = {
        {0, {2.2}, kCurveGamma, false, {0.000446345754071364, 0.21763810119719, 0.956527352137049}},
        {1, {2.4, 1.1, -0.1}, kCurveParametric, true, {0, 0.147131302988809, 0.948010571654082}},
        {2, {1.8, 0.9, 0.05, 0.02}, kCurveParametric, true, {0.0299059557300131, 0.307178253745456, 0.90094378876567}},
        {3, {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045}, kCurveParametric, true, {0.00232177734375, 0.214045192688106, 0.955105018332799}},
        {4, {2.2, 0.9, 0.1, 0.2, 0.1, 0.0, 0.0059}, kCurveParametric, true, {0.0119050598144531, 0.268413287110264, 0.960827480949027}},
        {3, {2.2, 1.0, 0.0, 0.0, 0.2}, kCurveParametric, true, {0, 0.21763810119719, 0.956527352137049}},
        {4, {1.0, 1.0, 0.0, -0.5, 0.2, 0.0, 0.3}, kCurveParametric, false, {0.285003051757812, 0.5, 0.98}},
        {0, {0.0}, kCurveParametric, false, {1, 1, 1}},
    };
    Profile* p = NewTestProfile(SigOf("mntr"), SigOf("GRAY"), SigOf("XYZ "));
    for (const Para& r : paras) {
        SCOPED_TRACE(r.function);
        PutTag(p, SigOf("kTRC"), ParaTag(r.function, r.parameters));
        ToneCurve c;
        ASSERT_EQ(ReadToneCurveTag(p, SigOf("kTRC"), &c), 0);
        EXPECT_EQ(c.kind, r.kind);
        EXPECT_EQ(c.kind == kCurveParametric && c.invertible, r.invertible);
        const double xs[3] = {0.03, 0.5, 0.98};
        for (int i = 0; i < 3; ++i) EXPECT_NEAR(EvaluateToneCurve(c, xs[i]), r.y[i], 1e-12) << xs[i];
        for (double x = 0; x <= 1.0; x += 1.0 / 64) {
            const double y = EvaluateToneCurve(c, x), back = InvertToneCurve(c, y);
            EXPECT_TRUE(back >= 0.0 && back <= 1.0) << x;
            EXPECT_TRUE(!(r.invertible || r.kind == kCurveGamma) || std::fabs(EvaluateToneCurve(c, back) - y) <= 1e-12) << x;
        }
        ReleaseToneCurve(&c);
    }
    ToneCurve c;
    PutTag(p, SigOf("kTRC"), ParaTag(5, {1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(ReadToneCurveTag(p, SigOf("kTRC"), &c), TNT_ERR_TAG_NOT_FOUND);
    PutTag(p, SigOf("kTRC"), ParaTag(3, {2.4, 1, 0, 1}));
    EXPECT_EQ(ReadToneCurveTag(p, SigOf("kTRC"), &c), TNT_ERR_TAG_RANGE);
    TntCloseProfile(p);
}

TEST(Stage, MatrixAndGrayStages) {
    Profile* p = MatrixProfile(SigOf("mntr"), SampledCurveTag(256, [](double x) { return std::pow(x, 2.2); }));
    TransformStage fwd = Built(p, 0), rev = Built(p, 1);
    ASSERT_TRUE(fwd.kind == kStageMatrixForward && rev.kind == kStageMatrixReverse);
    for (uint16_t r : {1000, 40000, 65535}) {
        WorkColor w = Color({r, 30000, 50000}), out;
        ASSERT_EQ(ApplyStage(&fwd, &w, &w, 2), 0);
        ASSERT_EQ(ApplyStage(&rev, &w, &w, 2), 0);
        EXPECT_NEAR(w.channel[0], r, r < 2000 ? 1500 : 60);  // the flat foot of the 2.2 curve
        EXPECT_NEAR(w.channel[1], 30000, 60);
        EXPECT_NEAR(w.channel[2], 50000, 60);
        for (uint16_t flags : {0, 1, 4, 5})  // without the core bit nothing changes
            for (TransformStage* s : {&fwd, &rev}) {
                ASSERT_EQ(ApplyStage(s, &w, &out, flags), 0);
                EXPECT_EQ(0, std::memcmp(&w, &out, sizeof w));
            }
    }
    ReleaseStageTables(&fwd);
    ReleaseStageTables(&rev);
    TntCloseProfile(p);
    // Two equal colorants: fine forward (empty curves are linear), singular in reverse.
    p = MatrixProfile(SigOf("scnr"), CurveTag({}));
    PutTag(p, SigOf("gXYZ"), XYZTag(kTestColorants[0][0], kTestColorants[0][1], kTestColorants[0][2]));
    fwd = Built(p, 0);
    WorkColor c = Color({1000, 2000, 3000}), out;
    ASSERT_EQ(ApplyStage(&fwd, &c, &out, kPassFull), 0);
    EXPECT_NEAR(out.channel[1], (1000 + 2000) / 65535.0 * 0.2225 * 32767.5 + 3000 / 65535.0 * 0.0606 * 32767.5, 1.0);
    ReleaseStageTables(&fwd);
    TransformStage bad;
    ClearStage(&bad);
    EXPECT_EQ(BuildStage(&bad, p, 1, 0), TNT_ERR_SINGULAR_MATRIX);
    EXPECT_EQ(bad.data.matrix.curve[0].table, nullptr);
    // A curve count beyond the tag fails before its table is asked for.
    TntRemoveProfileElement(p, SigOf("bTRC"));
    Bytes lying = CurveTag({1, 2, 3});
    const uint32_t huge = 0x40000000;
    std::memcpy(lying.data() + 8, &huge, 4);
    PutTag(p, SigOf("bTRC"), lying);
    EXPECT_EQ(BuildStage(&bad, p, 0, 0), TNT_ERR_TAG_RANGE);
    TntCloseProfile(p);

    // Gray on Lab, identity curve: gray 0 is the lightest; L 65280 is L 100.
    Profile* lab = GrayProfile(SigOf("mntr"), CurveTag({}), SigOf("Lab "));
    fwd = Built(lab, 0), rev = Built(lab, 1);
    struct Case { TransformStage* stage; WorkColor in; uint16_t l, a; } cases[] = {
        {&fwd, Color({0, 7, 7}), 65535, 32768}, {&fwd, Color({65535}), 0, 32768},
        {&rev, Color({65280, 32768, 32768}), 0, 0}, {&rev, Color({0}), 65535, 0}};
    for (const Case& k : cases) {
        ASSERT_EQ(ApplyStage(k.stage, &k.in, &out, kPassFull), 0);
        EXPECT_EQ(out.channel[0], k.l);
        EXPECT_TRUE(k.stage != &fwd || out.channel[1] == k.a);
    }
    c = Color({11, 22, 33});
    ASSERT_EQ(ApplyStage(&rev, &c, &out, 5), 0);  // without the core all channels are copied
    EXPECT_EQ(0, std::memcmp(&c, &out, sizeof c));
    // A PCS changed to something else after building fails, output untouched.
    ProfileHeader h;
    TntGetProfileHeader(lab, &h);
    h.pcs = SigOf("RGB ");
    TntSetProfileHeader(lab, &h);
    const WorkColor before = Color({9, 9, 9});
    out = before;
    EXPECT_EQ(ApplyStage(&fwd, &c, &out, kPassFull), TNT_ERR_GRAY_PCS);
    EXPECT_EQ(ApplyStage(&rev, &c, &out, kPassFull), TNT_ERR_GRAY_PCS);
    EXPECT_EQ(0, std::memcmp(&before, &out, sizeof out));
    ReleaseStageTables(&fwd);
    ReleaseStageTables(&rev);
    TntCloseProfile(lab);
    // Gray on XYZ: the D50 white scaled by the curve value; gamma 2 and back.
    Profile* xyz = GrayProfile(SigOf("prtr"), GammaCurveTag(2.0));
    fwd = Built(xyz, 0), rev = Built(xyz, 1);
    ASSERT_EQ(fwd.kind, kStageGrayForward);
    c = Color({65535 / 2});
    ASSERT_EQ(ApplyStage(&fwd, &c, &out, kPassFull), 0);
    const double y = std::pow(1.0 - (65535 / 2) / 65535.0, 2.0);
    EXPECT_NEAR(out.channel[0], y * 0.9642 * 32767.5, 1);
    EXPECT_NEAR(out.channel[1], y * 32767.5, 1);
    EXPECT_NEAR(out.channel[2], y * 0.8249 * 32767.5, 1);
    ASSERT_EQ(ApplyStage(&rev, &out, &out, kPassFull), 0);
    EXPECT_NEAR(out.channel[0], 65535 / 2, 2);
    ReleaseStageTables(&fwd);
    ReleaseStageTables(&rev);
    TntCloseProfile(xyz);
}

// The fast inverses of a matrix-reverse stage (power tables, curve
// searches, the row function) give the plain stage's codes, colour for
// colour, inside and far outside the gamut.
TEST(Stage, MatrixReverseFastPathsEqualThePlainOne) {
    std::mt19937 rng(11);
    const Bytes curves[] = {GammaCurveTag(2.2), CurveTag({256}), ParaTag(3, {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045}),
                            SampledCurveTag(1024, [](double x) { return x <= 0.04045 ? x / 12.92 : std::pow((x + 0.055) / 1.055, 2.4); })};
    for (const Bytes& curve : curves) {
        Profile* profile = MatrixProfile(SigOf("mntr"), curve);
        TransformStage stage = Built(profile, kDirectionReverse);
        const MatrixStageData& matrix = stage.data.matrix;
        PowerTable tables[3];
        CurveSearch searches[3];
        CurveInverses inverses{}, swapped{};
        int fast = 0;
        for (int ch = 0; ch < 3; ++ch) {
            if (HasRootPower(matrix.curve[ch]) && PreparePowerTable(1.0 / matrix.curve[ch].param[0], &tables[ch]))
                inverses.power[ch] = &tables[ch], ++fast;
            if (PrepareCurveSearch(SampledTable(matrix.curve[ch]), matrix.curve[ch].length, &searches[ch]))
                inverses.search[ch] = &searches[ch], ++fast;
        }
        EXPECT_EQ(fast, 3);
        for (int ch = 0; ch < 3; ++ch) swapped.search[ch] = inverses.search[(ch + 1) % 3];  // a search serves its own curve only
        uint16_t xyz[3 * 65], row[4 * 65];
        int differing = 0;
        for (int r = 0; r < 1000; ++r) {
            const uint32_t count = 1 + rng() % 65;
            for (uint32_t i = 0; i < 3 * count; ++i) xyz[i] = uint16_t(r % 2 ? rng() : rng() % 34000);
            MatrixReverseRow(&matrix, &inverses, xyz, count, row, 4);
            for (uint32_t i = 0; i < count; ++i) {
                WorkColor in{}, exact{}, tabulated{}, other{};
                for (int ch = 0; ch < 3; ++ch) in.channel[ch] = xyz[3 * i + ch];
                ApplyMatrixReverse(&matrix, &in, &exact, kPassCore);
                ApplyMatrixReverseTabulated(&matrix, &inverses, &in, &tabulated, kPassCore);
                ApplyMatrixReverseTabulated(&matrix, &swapped, &in, &other, kPassCore);
                for (int ch = 0; ch < 3; ++ch)
                    differing += exact.channel[ch] != tabulated.channel[ch] || exact.channel[ch] != row[4 * i + ch] ||
                                 exact.channel[ch] != other.channel[ch];
            }
        }
        EXPECT_EQ(differing, 0);
        ReleaseStageTables(&stage);
        TntCloseProfile(profile);
    }
    // A curve search ends in the interval the bisection ends in, on flat
    // stretches, steep pieces and random rising tables; unusable tables are refused.
    std::mt19937_64 rng64(5);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    std::vector<std::vector<double>> tables = {{0.1, 0.1, 0.9}, std::vector<double>(300), std::vector<double>(40)};
    for (size_t i = 0; i < 300; ++i) tables[1][i] = i < 50 ? 0.0 : i > 250 ? 1.0 : double(i - i % 7) / 300.0;
    for (size_t i = 0; i < 40; ++i) tables[2][i] = std::pow(i / 39.0, 6.0);
    for (int r = 0; r < 8; ++r) {
        std::vector<double> random(3 + rng64() % 5000);
        double v = unit(rng64) * 0.1;
        for (double& e : random) e = v += (rng64() % 4 == 0 ? 0.0 : unit(rng64) * unit(rng64));
        tables.push_back(random);
    }
    for (const auto& table : tables) {
        const uint32_t length = uint32_t(table.size());
        auto search = std::make_unique<CurveSearch>();
        ASSERT_TRUE(PrepareCurveSearch(table.data(), length, search.get())) << length;
        std::vector<double> ys = {-1.0, 0.0, 2.0, std::nan("")};
        for (double e : table) ys.insert(ys.end(), {e, std::nextafter(e, -1.0), std::nextafter(e, 2.0)});
        for (uint32_t b = 0; b <= kCurveSearchBuckets; ++b) {
            const double edge = table[0] + b / search->scale;
            ys.insert(ys.end(), {edge, std::nextafter(edge, -1.0), std::nextafter(edge, 2.0)});
        }
        for (int i = 0; i < 5000; ++i) ys.push_back(table[0] + (table[length - 1] - table[0]) * unit(rng64));
        ToneCurve curve{};
        curve.kind = kCurveSampled, curve.table = const_cast<double*>(table.data()), curve.length = length;
        int differing = 0;
        for (double y : ys) {
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
    std::vector<double> ramp(65537);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = double(i) / 65536;
    EXPECT_FALSE(PrepareCurveSearch(ramp.data(), uint32_t(ramp.size()), &search));
    EXPECT_TRUE(PrepareCurveSearch(ramp.data(), 65536, &search));
}

TEST(Stage, LookupTableChoiceAndReading) {
    Profile* p = LutProfile(SigOf("prtr"), SigOf("CMYK"), SigOf("Lab "),
                            {{SigOf("A2B0"), Constant(4, 3, 1000)}, {SigOf("A2B2"), Constant(4, 3, 1002)},
                             {SigOf("B2A0"), Constant(3, 4, 2000)}, {SigOf("B2A1"), Constant(3, 4, 2001)}});
    struct Choice { uint32_t direction; uint16_t intent, grid; } choices[] = {
        {0, 0, 1000}, {0, 1028, 1000}, {0, 1, 1000}, {0, 3, 1000}, {0, 2, 1002},
        {1, 0, 2000}, {1, 1, 2001},    {1, 3, 2001}, {1, 2, 2000}, {1, 1028, 2000}};
    for (const Choice& r : choices) {
        TransformStage s = Built(p, r.direction, r.intent);
        uint16_t first;
        std::memcpy(&first, s.data.lut.grid, 2);
        EXPECT_EQ(first, r.grid) << r.direction << "/" << r.intent;
        ReleaseStageTables(&s);
    }
    TransformStage s;
    ClearStage(&s);
    for (uint16_t intent : {4, 1027, 0xFFFF}) EXPECT_EQ(BuildStage(&s, p, 0, intent), TNT_ERR_UNKNOWN_INTENT);
    TntRemoveProfileElement(p, SigOf("B2A0"));  // nothing left to fall back on
    EXPECT_EQ(ReadLutStage(&s.data.lut, p, 1, 2), TNT_ERR_TAG_NOT_FOUND);
    EXPECT_EQ(ReadLutStage(&s.data.lut, p, 1, 0), TNT_ERR_TAG_NOT_FOUND);
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
    s8.sixteenBit = false;
    s16.outputEntries = 1024;
    s16.outputCurves = CurveEntries(3, 1024, true, [](uint32_t, double x) { return x; });
    s16.outputCurves[3 * 1024 - 2] ^= 1;
    std::fill(std::begin(zero.matrix), std::end(zero.matrix), 0.0);
    std::copy(std::begin(zero.matrix), std::end(zero.matrix), fourIn.matrix);
    fourIn.inputs = 4;
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
    for (auto [offset, value] : {std::pair{8, 0}, {8, 9}, {9, 0}, {9, 9}, {10, 1}, {10, 200}, {3, 'A'}}) {
        lies.push_back(good);
        lies.back()[offset] = uint8_t(value);
    }
    for (uint16_t entries : {1, 60000}) {  // one input entry, entries beyond the tag
        lies.push_back(good);
        std::memcpy(lies.back().data() + 48, &entries, 2);
    }
    for (const Bytes& lie : lies) EXPECT_EQ(read(lie), TNT_ERR_TAG_NOT_FOUND) << lie.size();
    EXPECT_EQ(ReadLutTable(&d, p, SigOf("B2A0")), TNT_ERR_TAG_NOT_FOUND);

    // 'mAB ' with every element, cut short and with offsets, counts and sizes
    // bent: a status, never a read outside the tag.
    const std::string folder = TempPath("v4");
    std::filesystem::create_directories(folder);
    const std::string made = MakeV4Profiles(folder, TNT_TEST_PROFILES).cmykXyz;
    if (made.empty()) GTEST_SKIP() << "no Little CMS to make the 'mAB ' profile";
    const Bytes image = ReadFileBytes(made);
    int refused = 0;
    for (const RawTag& t : FileDirectory(image)) {
        if (t.signature != SigOf("A2B0") && t.signature != SigOf("B2A0")) continue;
        Bytes tag(image.begin() + t.offset, image.begin() + t.offset + t.size);
        const uint32_t type = BigU32(tag, 0);  // as the tag interface holds it: the type in host order
        std::memcpy(tag.data(), &type, 4);
        auto attempt = [&](const Bytes& bent) {
            refused += read(bent) != 0;
            ReleaseLutStage(&d);
        };
        EXPECT_EQ(read(tag), 0);
        ReleaseLutStage(&d);
        for (size_t cut = 0; cut < tag.size(); cut += 29) attempt(Bytes(tag.begin(), tag.begin() + cut));
        for (uint32_t field : {12u, 16u, 20u, 24u, 28u}) {
            const uint32_t was = BigU32(tag, field);
            for (uint32_t value : {0u, 8u, uint32_t(tag.size()), uint32_t(tag.size()) - 2, 0xFFFFFFF0u, was + 4}) {
                Bytes bent = tag;
                PutBigU32(bent, field, value);
                attempt(bent);
                PutBigU32(bent, field == 28 ? 12 : field + 4, value);  // two elements at one place
                attempt(bent);
            }
            for (uint32_t at = was; was && at < was + 24 && at < tag.size(); ++at)  // counts, sizes, types inside
                for (uint8_t value : {uint8_t(0), uint8_t(1), uint8_t(3), uint8_t(0xFF)}) {
                    Bytes bent = tag;
                    bent[at] = value;
                    attempt(bent);
                }
        }
        for (uint32_t at : {8u, 9u})
            for (uint8_t value : {uint8_t(0), uint8_t(4), uint8_t(9)}) {
                Bytes bent = tag;
                bent[at] = value;
                attempt(bent);
            }
    }
    EXPECT_GT(refused, 100);
    TntCloseProfile(p);
}

TEST(Stage, LookupTableEvaluation) {
    // Multilinear functions through 1 to 8 inputs and outputs, both widths:
    // exact up to the rounding of the stored grid.
    for (bool sixteen : {true, false})
        for (int inputs = 1; inputs <= 8; ++inputs) {
            const int outputs = 9 - inputs;
            auto f = [&](const double* x, double* y) {
                for (int k = 0; k < outputs; ++k)
                    y[k] = inputs == 1 ? 0.25 + 0.5 * x[0]
                                       : 0.5 * x[k % inputs] * (1 - x[(k + 1) % inputs]) + 0.25 * x[(k + 2) % inputs] + 0.125 * (k % 3);
            };
            LutContents table;
            table.sixteenBit = sixteen, table.inputs = uint8_t(inputs), table.outputs = uint8_t(outputs);
            table.grid = inputs <= 4 ? 5 : 2;
            table.gridValues = GridEntries(table, f);
            Profile* p = LutProfile(SigOf("link"), TNT_SIG(char('0' + inputs), 'C', 'L', 'R'),
                                    TNT_SIG(char('0' + outputs), 'C', 'L', 'R'), {{SigOf("A2B0"), table}});
            TransformStage s = Built(p, 0);
            uint32_t seed = 12345;
            for (int n = 0; n < 100; ++n) {
                WorkColor c{};
                double x[8], y[8];
                for (int j = 0; j < inputs; ++j) {
                    seed = seed * 1103515245u + 12345u;
                    c.channel[j] = uint16_t(n == 0 ? 65535 : n == 1 ? 0 : seed >> 16);
                    x[j] = c.channel[j] / 65535.0;
                }
                f(x, y);
                ASSERT_EQ(ApplyStage(&s, &c, &c, kPassFull), 0);
                for (int k = 0; k < outputs; ++k)
                    ASSERT_NEAR(c.channel[k], y[k] * 65535, sixteen ? 2.0 : 0.5 * 257 + 2) << inputs << " in, output " << k;
            }
            ReleaseStageTables(&s);
            TntCloseProfile(p);
        }

    // RGB -> CMYK link: squared input curves, an affine grid, halving output
    // curves; each pass alone and together.
    LutContents table;
    table.outputs = 4;
    table.grid = 9;
    table.inputCurves = CurveEntries(3, 256, true, [](uint32_t, double x) { return x * x; });
    table.outputCurves = CurveEntries(4, 256, true, [](uint32_t, double x) { return x / 2; });
    table.gridValues = GridEntries(table, [](const double* x, double* y) {
        y[0] = x[0], y[1] = 1 - x[1], y[2] = (x[0] + x[2]) / 2, y[3] = 0.5;
    });
    Profile* p = LutProfile(SigOf("link"), SigOf("RGB "), SigOf("CMYK"), {{SigOf("A2B0"), table}});
    TransformStage s = Built(p, 0);
    const WorkColor in = Color({40000, 10000, 65535, 777, 888});
    const double r = 40000 / 65535.0, g = 10000 / 65535.0;
    struct Pass { uint16_t flags; double expect[4]; } passes[] = {
        {1, {r * r, g * g, 1, 777 / 65535.0}},        {2, {r, 1 - g, (r + 1) / 2, 0.5}},
        {4, {r / 2, g / 2, 0.5, 777 / 131070.0}},     {3, {r * r, 1 - g * g, (r * r + 1) / 2, 0.5}},
        {6, {r / 2, (1 - g) / 2, (r + 1) / 4, 0.25}}, {7, {r * r / 2, (1 - g * g) / 2, (r * r + 1) / 4, 0.25}},
    };
    for (const Pass& row : passes) {
        WorkColor out = in;
        ASSERT_EQ(ApplyStage(&s, &in, &out, row.flags), 0);
        for (int k = 0; k < (row.flags == 1 ? 3 : 4); ++k) EXPECT_NEAR(out.channel[k], row.expect[k] * 65535, 70) << row.flags << " " << k;
        EXPECT_EQ(out.channel[4], 888);
    }
    WorkColor out;
    EXPECT_EQ(ApplyStage(&s, &in, &out, 5), TNT_ERR_OUTPUT_CURVES);  // output curves on three input values
    EXPECT_NEAR(out.channel[0], r * r * 65535, 70);
    ReleaseStageTables(&s);
    TntCloseProfile(p);

    // A permuting matrix runs before the input curves, and only in the core pass.
    LutContents perm;
    const double m[9] = {0, 1, 0, 0, 0, 1, 1, 0, 0};
    std::copy(m, m + 9, perm.matrix);
    perm.gridValues = GridEntries(perm, [](const double* x, double* y) { std::copy(x, x + 3, y); });
    p = LutProfile(SigOf("abst"), SigOf("XYZ "), SigOf("XYZ "), {{SigOf("A2B0"), perm}});
    s = Built(p, 0);
    ASSERT_EQ(s.data.lut.useMatrix, 1u);
    const WorkColor abc = Color({1000, 2000, 3000});
    for (auto [flags, a, b, c] : {std::tuple{7, 2000, 3000, 1000}, {1, 1000, 2000, 3000}, {4, 1000, 2000, 3000}}) {
        ASSERT_EQ(ApplyStage(&s, &abc, &out, uint16_t(flags)), 0);
        EXPECT_NEAR(out.channel[0], a, 1) << flags;
        EXPECT_NEAR(out.channel[1], b, 1) << flags;
        EXPECT_NEAR(out.channel[2], c, 1) << flags;
    }
    ReleaseStageTables(&s);
    TntCloseProfile(p);

    // Lab: L at or above 65280 reads as 1.0; a 16-bit table caps L at 65280;
    // an 8-bit one writes Lab on the 65280 scale.
    LutContents labIn, lab8 = Constant(4, 3, 0);
    labIn.outputs = 4;
    labIn.gridValues = GridEntries(labIn, [](const double* x, double* y) { y[0] = x[0]; });
    lab8.sixteenBit = false;
    lab8.gridValues = GridEntries(lab8, [](const double*, double* y) { y[0] = 1.0, y[1] = y[2] = 128 / 255.0; });
    for (const LutContents& forward : {Constant(4, 3, 65535), lab8}) {
        p = LutProfile(SigOf("prtr"), SigOf("CMYK"), SigOf("Lab "), {{SigOf("A2B0"), forward}, {SigOf("B2A0"), labIn}});
        s = Built(p, 0);
        WorkColor c = forward.sixteenBit ? Color({1, 2, 3, 4}) : Color({5, 6, 7, 8});
        ASSERT_EQ(ApplyStage(&s, &c, &c, 7), 0);
        EXPECT_EQ(c.channel[0], 65280) << forward.sixteenBit;
        EXPECT_EQ(c.channel[1], forward.sixteenBit ? 65535 : 32768);
        ReleaseStageTables(&s);
        if (forward.sixteenBit) TntCloseProfile(p);
    }
    s = Built(p, 1);
    for (auto [l, expect] : {std::pair{65280, 65535}, {65279, 65278}, {65535, 65535}}) {
        WorkColor c = Color({uint16_t(l), 32768, 32768});
        ASSERT_EQ(ApplyStage(&s, &c, &c, 7), 0);
        EXPECT_NEAR(c.channel[0], expect, 1) << l;
    }
    ReleaseStageTables(&s);
    TntCloseProfile(p);
}
