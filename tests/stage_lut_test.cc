// Lookup-table stages: table choice, reading, evaluation, and agreement
// with Little CMS on real tables.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/memory.h"
#include "stage/stage.h"
#include "support/profile_builder.h"
#include "support/profile_images.h"

using namespace tnt;
using namespace tnt_test;

namespace {

WorkColor Color(std::initializer_list<uint16_t> values) {
    WorkColor w{};
    int k = 0;
    for (uint16_t v : values) w.channel[k++] = v;
    return w;
}

// A table whose grid holds one constant, so the value read shows which tag
// was chosen.
LutContents Constant(uint8_t inputs, uint8_t outputs, uint16_t value) {
    LutContents s;
    s.inputs = inputs;
    s.outputs = outputs;
    s.gridValues.assign(size_t(outputs) << inputs, value);
    return s;
}

// Each output a product-and-sum of inputs: multilinear, so any grid
// reproduces it exactly between nodes, and every output depends on the
// inputs differently, which exposes a mix-up of axes, corners or strides.
void Multilinear(int inputs, int outputs, const double* x, double* y) {
    for (int k = 0; k < outputs; ++k) {
        const int a = k % inputs, b = (k + 1) % inputs, c = (k + 2) % inputs;
        y[k] = inputs == 1 ? (0.25 + 0.5 * x[0]) : 0.5 * x[a] * (1 - x[b]) + 0.25 * x[c] + 0.125 * (k % 3);
    }
}

struct Built {
    Profile* profile;
    TransformStage stage;
};

Built BuildFrom(Profile* p, uint32_t direction, uint16_t intent = 0) {
    Built b{p, {}};
    ClearStage(&b.stage);
    EXPECT_EQ(BuildStage(&b.stage, p, direction, intent), 0);
    return b;
}

void Dispose(Built& b) {
    ReleaseStageTables(&b.stage);
    TntCloseProfile(b.profile);
}

// A grid of an affine function, which tetrahedral and multilinear
// interpolation both reproduce exactly.
cmsInt32Number Affine(const cmsUInt16Number in[], cmsUInt16Number out[], void*) {
    for (int k = 0; k < 3; ++k) {
        const double v = 0.05 + 0.1 * k + 0.4 * in[k] / 65535.0 + 0.2 * in[(k + 1) % 3] / 65535.0 +
                         0.15 * in[(k + 2) % 3] / 65535.0;
        out[k] = cmsUInt16Number(std::lround(v * 65535.0));
    }
    return 1;
}

cmsStage* CurveSet(const std::vector<cmsToneCurve*>& curves) {
    cmsStage* stage = cmsStageAllocToneCurves(nullptr, 3, curves.data());
    for (cmsToneCurve* c : curves) cmsFreeToneCurve(c);
    return stage;
}

// Three 'para' forms, or 'para' and a sampled 'curv', all rising in 0..1.
cmsStage* Curves(int set) {
    static const double kForm1[] = {2.4, 1.1, -0.1}, kForm3[] = {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045};
    static const double kForm4[] = {2.2, 0.9, 0.1, 0.2, 0.1, 0.0, 0.0059}, kForm2[] = {1.8, 0.9, 0.05, 0.02};
    static const double kForm0[] = {0.8};
    std::vector<cmsUInt16Number> table(256);
    for (size_t i = 0; i < table.size(); ++i) table[i] = cmsUInt16Number(std::lround(65535.0 * std::sqrt(i / 255.0)));
    if (set == 0)
        return CurveSet({cmsBuildParametricToneCurve(nullptr, 2, kForm1), cmsBuildParametricToneCurve(nullptr, 4, kForm3),
                         cmsBuildTabulatedToneCurve16(nullptr, 256, table.data())});
    return CurveSet({cmsBuildParametricToneCurve(nullptr, 5, kForm4), cmsBuildParametricToneCurve(nullptr, 1, kForm0),
                     cmsBuildParametricToneCurve(nullptr, 3, kForm2)});
}

cmsStage* MatrixWithOffsets() {
    const double m[9] = {0.7, 0.1, 0.1, 0.1, 0.6, 0.2, 0.05, 0.15, 0.7}, offset[3] = {0.02, 0.01, 0.03};
    return cmsStageAllocMatrix(nullptr, 3, 3, m, offset);
}

// An ICC v4 RGB printer profile with a Lab PCS whose A2B0 ('mAB ') and B2A0
// ('mBA ') hold every element: curves, grids of unequal sizes (8- or
// 16-bit), M curves and a matrix with offsets. Little CMS writes it.
Bytes V4TableProfile(bool eightBit) {
    const cmsUInt32Number forwardGrid[3] = {5, 9, 7}, reverseGrid[3] = {9, 5, 7};
    cmsHPROFILE h = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(h, 4.3);
    cmsSetDeviceClass(h, cmsSigOutputClass);
    cmsSetColorSpace(h, cmsSigRgbData);
    cmsSetPCS(h, cmsSigLabData);
    cmsWriteTag(h, cmsSigMediaWhitePointTag, cmsD50_XYZ());
    cmsPipeline* a2b = cmsPipelineAlloc(nullptr, 3, 3);
    cmsPipeline* b2a = cmsPipelineAlloc(nullptr, 3, 3);
    cmsStage* grids[2] = {cmsStageAllocCLut16bitGranular(nullptr, forwardGrid, 3, 3, nullptr),
                          cmsStageAllocCLut16bitGranular(nullptr, reverseGrid, 3, 3, nullptr)};
    for (cmsStage* grid : grids) cmsStageSampleCLut16bit(grid, Affine, nullptr, 0);
    for (cmsStage* stage : {Curves(0), grids[0], Curves(1), MatrixWithOffsets(), Curves(0)})
        cmsPipelineInsertStage(a2b, cmsAT_END, stage);
    for (cmsStage* stage : {Curves(1), MatrixWithOffsets(), Curves(0), grids[1], Curves(1)})
        cmsPipelineInsertStage(b2a, cmsAT_END, stage);
    cmsPipelineSetSaveAs8bitsFlag(a2b, eightBit);
    cmsPipelineSetSaveAs8bitsFlag(b2a, eightBit);
    EXPECT_TRUE(cmsWriteTag(h, cmsSigAToB0Tag, a2b) && cmsWriteTag(h, cmsSigBToA0Tag, b2a));
    cmsPipelineFree(a2b);
    cmsPipelineFree(b2a);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(h, nullptr, &size);
    Bytes image(size);
    cmsSaveProfileToMem(h, image.data(), &size);
    cmsCloseProfile(h);
    return image;
}

}  // namespace

// Each table against Little CMS's evaluation of what it stored, forward
// (device in, ICC v4 Lab out) and in reverse (Lab in, device out). Lab
// enters and leaves Tintwell's stages with L 100 at 65280.
TEST(StageLut, V4TablesAgreeWithLittleCms) {
    const int64_t live = LiveBlockCount();
    for (bool eightBit : {false, true}) {
        SCOPED_TRACE(eightBit ? "8-bit grids" : "16-bit grids");
        Bytes image = V4TableProfile(eightBit);
        Profile* p = OpenImage(image);
        cmsHPROFILE h = cmsOpenProfileFromMem(image.data(), cmsUInt32Number(image.size()));
        for (uint32_t direction : {0u, 1u}) {
            Built b = BuildFrom(p, direction);
            ASSERT_EQ(b.stage.kind, kStageLookupTable);
            EXPECT_EQ(b.stage.data.lut.sixteenBit, eightBit ? 0u : 1u);
            auto* lut = static_cast<cmsPipeline*>(cmsReadTag(h, direction ? cmsSigBToA0Tag : cmsSigAToB0Tag));
            ASSERT_NE(lut, nullptr);
            const double inScale = direction ? 65280.0 : 65535.0, outScale = direction ? 65535.0 : 65280.0;
            double worst = 0.0;
            for (int i = 0; i < 7 * 7 * 7; ++i) {
                WorkColor c{};
                float in[3], theirs[3];
                for (int k = 0, rest = i; k < 3; ++k, rest /= 7) {
                    c.channel[k] = uint16_t(std::lround(inScale * (rest % 7) / 6.0 * 0.999));
                    in[k] = float(c.channel[k] / inScale);
                }
                cmsPipelineEvalFloat(in, theirs, lut);
                ASSERT_EQ(ApplyStage(&b.stage, &c, &c, kPassFull), 0);
                for (int k = 0; k < 3; ++k) worst = std::max(worst, std::fabs(c.channel[k] / outScale - theirs[k]));
            }
            // 8-bit grid values are the affine function rounded, which the two
            // interpolations no longer reproduce alike.
            EXPECT_LT(worst, eightBit ? 2.5e-3 : 4e-5) << "direction " << direction;
            ReleaseStageTables(&b.stage);
        }
        cmsCloseProfile(h);
        TntCloseProfile(p);
    }
    EXPECT_EQ(LiveBlockCount(), live);
}

// The same tables cut short, with offsets, counts and sizes bent: a
// status, never a read outside the tag (each tag is a block of its own
// size, which the sanitizer build watches).
TEST(StageLut, V4TablesThatLieAreRefused) {
    const int64_t live = LiveBlockCount();
    Bytes image = V4TableProfile(false);
    Profile* p = NewTestProfile(Sig("prtr"), Sig("RGB "), Sig("Lab "));
    int refused = 0;
    for (const RawTag& t : FileDirectory(image)) {
        if (t.signature != Sig("A2B0") && t.signature != Sig("B2A0")) continue;
        // As the tag interface holds it: the type in host order, the rest as stored.
        Bytes good(image.begin() + t.offset, image.begin() + t.offset + t.size);
        const uint32_t type = BigU32(good, 0);
        std::memcpy(good.data(), &type, 4);
        auto attempt = [&](const Bytes& tag) {
            TntRemoveProfileElement(p, Sig("A2B0"));
            PutTag(p, Sig("A2B0"), tag);
            LutStageData d;
            const TntStatus st = ReadLutTable(&d, p, Sig("A2B0"));
            EXPECT_TRUE(st == 0 || st == TNT_ERR_TAG_NOT_FOUND) << st;
            if (st) {
                EXPECT_EQ(d.inputCurves[0].table, nullptr);
                ++refused;
            }
            ReleaseLutStage(&d);
        };
        attempt(good);
        for (size_t cut = 0; cut < good.size(); cut += 29) attempt(Bytes(good.begin(), good.begin() + cut));
        const uint32_t elements[] = {12, 16, 20, 24, 28};
        for (uint32_t field : elements) {
            const uint32_t was = BigU32(good, field);
            for (uint32_t value : {0u, 8u, uint32_t(good.size()), uint32_t(good.size()) - 2, 0xFFFFFFF0u, was + 4}) {
                Bytes bent = good;
                PutBigU32(bent, field, value);
                attempt(bent);
                for (uint32_t other : elements) {  // two elements at one place
                    if (other == field) continue;
                    PutBigU32(bent, other, value);
                    attempt(bent);
                    PutBigU32(bent, other, BigU32(good, other));
                }
            }
            // Counts, grid sizes, precision and curve types inside the element.
            for (uint32_t at = was; was && at < was + 24 && at < good.size(); ++at) {
                for (uint8_t value : {uint8_t(0), uint8_t(1), uint8_t(3), uint8_t(0xFF)}) {
                    Bytes bent = good;
                    bent[at] = value;
                    attempt(bent);
                }
            }
        }
        for (uint32_t at : {8u, 9u}) {
            for (uint8_t value : {uint8_t(0), uint8_t(4), uint8_t(9)}) {
                Bytes bent = good;
                bent[at] = value;
                attempt(bent);
            }
        }
    }
    EXPECT_GT(refused, 100);
    TntCloseProfile(p);
    EXPECT_EQ(LiveBlockCount(), live);
}

TEST(StageLut, TableChoiceByIntentAndDirection) {
    const int64_t live = LiveBlockCount();
    Profile* p = LutProfile(Sig("prtr"), Sig("CMYK"), Sig("Lab "),
                            {{Sig("A2B0"), Constant(4, 3, 1000)},
                             {Sig("A2B2"), Constant(4, 3, 1002)},
                             {Sig("B2A0"), Constant(3, 4, 2000)},
                             {Sig("B2A1"), Constant(3, 4, 2001)}});
    struct Row {
        uint32_t direction;
        uint16_t intent;
        uint16_t grid;
    } rows[] = {{0, 0, 1000}, {0, 1028, 1000}, {0, 1, 1000}, {0, 3, 1000}, {0, 2, 1002},
                {1, 0, 2000}, {1, 1, 2001},    {1, 3, 2001}, {1, 2, 2000}, {1, 1028, 2000}};
    for (const Row& r : rows) {
        Built b = BuildFrom(p, r.direction, r.intent);
        const LutStageData& lut = b.stage.data.lut;
        uint16_t first;
        std::memcpy(&first, lut.grid, 2);
        EXPECT_EQ(first, r.grid) << r.direction << "/" << r.intent;
        ReleaseStageTables(&b.stage);
    }
    TransformStage s;
    ClearStage(&s);
    for (uint16_t intent : {4, 1027, 0xFFFF}) EXPECT_EQ(BuildStage(&s, p, 0, intent), TNT_ERR_UNKNOWN_INTENT);
    // Without the perceptual table nothing is left to fall back on.
    TntRemoveProfileElement(p, Sig("B2A0"));
    EXPECT_EQ(ReadLutStage(&s.data.lut, p, 1, 2), TNT_ERR_TAG_NOT_FOUND);
    EXPECT_EQ(ReadLutStage(&s.data.lut, p, 1, 0), TNT_ERR_TAG_NOT_FOUND);
    EXPECT_EQ(ReadLutStage(&s.data.lut, p, 1, 1), 0);
    ReleaseLutStage(&s.data.lut);
    TntCloseProfile(p);
    EXPECT_EQ(LiveBlockCount(), live);
}

TEST(StageLut, ReadingFlagsStridesAndRefusals) {
    const int64_t live = LiveBlockCount();
    Profile* p = NewTestProfile(Sig("link"), Sig("CMYK"), Sig("Lab "));
    LutStageData d;
    auto read = [&](const LutContents& table) {
        TntRemoveProfileElement(p, Sig("A2B0"));
        PutTag(p, Sig("A2B0"), MftTag(table));
        return ReadLutTable(&d, p, Sig("A2B0"));
    };

    // Identity curves and matrices are recognised and skipped; one changed
    // entry is not an identity; the matrix counts only for three inputs.
    LutContents s8, s16, zero, fourIn;
    s8.sixteenBit = false;
    s16.outputEntries = 1024;
    s16.outputCurves = CurveEntries(3, 1024, true, [](uint32_t, double x) { return x; });
    s16.outputCurves[3 * 1024 - 2] ^= 1;
    std::fill(std::begin(zero.matrix), std::end(zero.matrix), 0.0);
    std::copy(std::begin(zero.matrix), std::end(zero.matrix), fourIn.matrix);
    fourIn.inputs = 4;
    struct Row { const LutContents* table; uint32_t inputCurves, outputCurves, matrix; } rows[] = {
        {&s8, 0, 0, 0}, {&s16, 0, 1, 0}, {&zero, 0, 0, 1}, {&fourIn, 0, 0, 0}};
    for (const Row& r : rows) {
        ASSERT_EQ(read(*r.table), 0);
        EXPECT_EQ(d.inputCurvesActive, r.inputCurves);
        EXPECT_EQ(d.outputCurvesActive, r.outputCurves);
        EXPECT_EQ(d.useMatrix, r.matrix);
        ReleaseLutStage(&d);
    }

    // Tables that lie about their size or shape are refused, never read past.
    const Bytes good = MftTag(LutContents{});
    auto refuse = [&](Bytes tag, const char* what) {
        TntRemoveProfileElement(p, Sig("A2B0"));
        PutTag(p, Sig("A2B0"), tag);
        EXPECT_EQ(ReadLutTable(&d, p, Sig("A2B0")), TNT_ERR_TAG_NOT_FOUND) << what;
        EXPECT_EQ(d.inputCurves[0].table, nullptr) << what;
    };
    refuse(Bytes(good.begin(), good.end() - 1), "one byte short");
    refuse(Bytes(good.begin(), good.begin() + 50), "header only");
    for (auto [offset, value] : {std::pair{8, 0}, {8, 9}, {9, 0}, {9, 9}, {10, 1}, {10, 200}}) {
        Bytes t = good;
        t[offset] = uint8_t(value);
        refuse(t, "counts");
    }
    // One input entry, entries beyond the tag, another table type.
    for (uint16_t entries : {1, 60000}) {
        Bytes t = good;
        std::memcpy(t.data() + 48, &entries, 2);
        refuse(t, "input entries");
    }
    Bytes other = good;
    other[3] = 'A';
    refuse(other, "another type");
    refuse(XYZTag(1, 1, 1), "not a table");
    EXPECT_EQ(ReadLutTable(&d, p, Sig("B2A0")), TNT_ERR_TAG_NOT_FOUND);
    TntCloseProfile(p);
    EXPECT_EQ(LiveBlockCount(), live);
}

TEST(StageLut, GridInterpolationUpToEightChannels) {
    // Multilinear functions through 1 to 8 inputs and outputs, both widths;
    // exact up to the rounding of the stored grid and the final truncation.
    for (bool sixteen : {true, false}) {
        for (int inputs = 1; inputs <= 8; ++inputs) {
            const int outputs = 9 - inputs;
            LutContents table;
            table.sixteenBit = sixteen;
            table.inputs = uint8_t(inputs);
            table.outputs = uint8_t(outputs);
            table.grid = inputs <= 4 ? 5 : 2;
            table.gridValues = GridEntries(table, [&](const double* x, double* y) { Multilinear(inputs, outputs, x, y); });
            Profile* p = LutProfile(Sig("link"), TNT_SIG(char('0' + inputs), 'C', 'L', 'R'),
                                    TNT_SIG(char('0' + outputs), 'C', 'L', 'R'), {{Sig("A2B0"), table}});
            Built b = BuildFrom(p, 0);
            // An 8-bit grid rounds each node by up to half of 1/255.
            const double tolerance = sixteen ? 2.0 : 0.5 * 257 + 2;
            uint32_t seed = 12345;
            for (int n = 0; n < 200; ++n) {
                WorkColor c{};
                double x[8], y[8];
                for (int j = 0; j < inputs; ++j) {
                    seed = seed * 1103515245u + 12345u;
                    c.channel[j] = uint16_t(n == 0 ? 65535 : n == 1 ? 0 : seed >> 16);
                    x[j] = c.channel[j] / 65535.0;
                }
                Multilinear(inputs, outputs, x, y);
                ASSERT_EQ(ApplyStage(&b.stage, &c, &c, kPassFull), 0);
                for (int k = 0; k < outputs; ++k)
                    ASSERT_NEAR(c.channel[k], y[k] * 65535, tolerance) << inputs << " in, output " << k;
            }
            Dispose(b);
        }
    }
}

TEST(StageLut, PassFlagsCurvesMatrixAndLabEncodings) {
    // RGB -> CMYK link: squared input curves, an affine grid, halving
    // output curves.
    LutContents table;
    table.outputs = 4;
    table.grid = 9;
    table.inputCurves = CurveEntries(3, 256, true, [](uint32_t, double x) { return x * x; });
    table.outputCurves = CurveEntries(4, 256, true, [](uint32_t, double x) { return x / 2; });
    table.gridValues = GridEntries(table, [](const double* x, double* y) {
        y[0] = x[0];
        y[1] = 1 - x[1];
        y[2] = (x[0] + x[2]) / 2;
        y[3] = 0.5;
    });
    Built b = BuildFrom(LutProfile(Sig("link"), Sig("RGB "), Sig("CMYK"), {{Sig("A2B0"), table}}), 0);
    const WorkColor in = Color({40000, 10000, 65535, 777, 888});
    const double r = 40000 / 65535.0, g = 10000 / 65535.0, bl = 1.0;
    struct Row {
        uint16_t flags;
        double expect[4];
    } rows[] = {
        {1, {r * r * 65535, g * g * 65535, bl * 65535, 777}},
        {2, {r * 65535, (1 - g) * 65535, (r + bl) / 2 * 65535, 32767.5}},
        {4, {r / 2 * 65535, g / 2 * 65535, bl / 2 * 65535, 777 / 2.0}},
        {3, {r * r * 65535, (1 - g * g) * 65535, (r * r + 1) / 2 * 65535, 32767.5}},
        {6, {r / 2 * 65535, (1 - g) / 2 * 65535, (r + bl) / 4 * 65535, 16383.75}},
        {7, {r * r / 2 * 65535, (1 - g * g) / 2 * 65535, (r * r + 1) / 4 * 65535, 16383.75}},
    };
    for (const Row& row : rows) {
        WorkColor out = in;
        ASSERT_EQ(ApplyStage(&b.stage, &in, &out, row.flags), 0);
        for (int k = 0; k < (row.flags == 1 ? 3 : 4); ++k)
            EXPECT_NEAR(out.channel[k], row.expect[k], 70) << "flags " << row.flags << " channel " << k;
        EXPECT_EQ(out.channel[4], 888);
    }
    // The split a link makes (input curves, then core and output curves)
    // gives the full pass.
    for (uint16_t v : {0, 1000, 33333, 65535}) {
        WorkColor whole = Color({v, uint16_t(65535 - v), uint16_t(v / 2)}), split = whole;
        ASSERT_EQ(ApplyStage(&b.stage, &whole, &whole, 7), 0);
        ASSERT_EQ(ApplyStage(&b.stage, &split, &split, 1), 0);
        ASSERT_EQ(ApplyStage(&b.stage, &split, &split, 6), 0);
        for (int k = 0; k < 4; ++k) EXPECT_NEAR(split.channel[k], whole.channel[k], 1);
    }
    // Output curves on the three input values of a 3-in, 4-out table.
    WorkColor out;
    EXPECT_EQ(ApplyStage(&b.stage, &in, &out, 5), TNT_ERR_OUTPUT_CURVES);
    EXPECT_NEAR(out.channel[0], r * r * 65535, 70);
    Dispose(b);

    // A permuting matrix runs before the input curves; with flags 1 alone
    // the colour passes unchanged, with flags 4 the matrix is skipped.
    LutContents perm;
    const double m[9] = {0, 1, 0, 0, 0, 1, 1, 0, 0};
    std::copy(m, m + 9, perm.matrix);
    perm.gridValues = GridEntries(perm, [](const double* x, double* y) { std::copy(x, x + 3, y); });
    b = BuildFrom(LutProfile(Sig("abst"), Sig("XYZ "), Sig("XYZ "), {{Sig("A2B0"), perm}}), 0);
    ASSERT_EQ(b.stage.data.lut.useMatrix, 1u);
    const WorkColor abc = Color({1000, 2000, 3000});
    ASSERT_EQ(ApplyStage(&b.stage, &abc, &out, 7), 0);
    EXPECT_NEAR(out.channel[0], 2000, 1);
    EXPECT_NEAR(out.channel[1], 3000, 1);
    EXPECT_NEAR(out.channel[2], 1000, 1);
    for (uint16_t flags : {1, 4}) {
        ASSERT_EQ(ApplyStage(&b.stage, &abc, &out, flags), 0);
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(out.channel[k], abc.channel[k], 1) << flags;
    }
    Dispose(b);

    // Lab: L at or above 65280 reads as 1.0; an 8-bit table writes Lab on
    // the 65280 scale; a 16-bit one caps L at 65280.
    LutContents labIn;
    labIn.outputs = 4;
    labIn.gridValues = GridEntries(labIn, [](const double* x, double* y) { y[0] = x[0]; });
    b = BuildFrom(LutProfile(Sig("prtr"), Sig("CMYK"), Sig("Lab "),
                             {{Sig("A2B0"), Constant(4, 3, 65535)}, {Sig("B2A0"), labIn}}),
                  1);
    for (auto [l, expect] : {std::pair{65280, 65535}, {65279, 65278}, {65535, 65535}}) {
        WorkColor c = Color({uint16_t(l), 32768, 32768});
        ASSERT_EQ(ApplyStage(&b.stage, &c, &c, 7), 0);
        EXPECT_NEAR(c.channel[0], expect, 1) << l;
    }
    ReleaseStageTables(&b.stage);
    b.stage = BuildFrom(b.profile, 0).stage;
    WorkColor c = Color({1, 2, 3, 4});
    ASSERT_EQ(ApplyStage(&b.stage, &c, &c, 7), 0);
    EXPECT_EQ(c.channel[0], 65280);
    EXPECT_EQ(c.channel[1], 65535);
    Dispose(b);

    LutContents lab8 = Constant(4, 3, 0);
    lab8.sixteenBit = false;
    lab8.gridValues = GridEntries(lab8, [](const double*, double* y) {
        y[0] = 1.0;
        y[1] = y[2] = 128 / 255.0;
    });
    b = BuildFrom(LutProfile(Sig("prtr"), Sig("CMYK"), Sig("Lab "), {{Sig("A2B0"), lab8}, {Sig("B2A0"), labIn}}), 0);
    c = Color({5, 6, 7, 8});
    ASSERT_EQ(ApplyStage(&b.stage, &c, &c, 7), 0);
    EXPECT_EQ(c.channel[0], 65280);
    EXPECT_EQ(c.channel[1], 32768);
    EXPECT_EQ(c.channel[2], 32768);
    Dispose(b);
}
