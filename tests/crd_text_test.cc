// What the rendering-dictionary writer refuses and where it stops, a write
// function that fails at each of its calls, and the inverse-curve arithmetic.
// The text itself is checked by the golden files (tests/tool/golden.sh,
// tests/golden_results_test.cc) and by Ghostscript (crd_ghostscript_test.cc).
#include <gtest/gtest.h>

#include <string>

#include "postscript/crd.h"
#include "support/profile_builder.h"
#include "tintwell.h"

namespace {

using namespace tnt_test;

struct Recorder {
    std::string text;
    uint64_t calls = 0, failAt = 0;
};

TntStatus TNT_CALL Record(uintptr_t user, const char* text) {
    auto* r = reinterpret_cast<Recorder*>(user);
    if (++r->calls == r->failAt) return 4242;
    r->text += text;
    return TNT_OK;
}

Bytes TableTag() {
    LutContents table;
    table.outputs = 4;
    table.grid = 3;
    table.inputEntries = table.outputEntries = 4;
    return MftTag(table);
}

// A CMYK printer profile with a Lab 'B2A0' ('T'), an RGB matrix profile ('M'),
// or a printer profile of a space the writer does not take ('L', 'G').
Profile* Base(char kind) {
    if (kind == 'M') return MatrixProfile(Sig("mntr"), CurveTag({0, 300, 9000, 65535}));
    Profile* p = NewTestProfile(Sig("prtr"), kind == 'T' ? Sig("CMYK") : kind == 'L' ? Sig("Lab ") : Sig("GRAY"), Sig("Lab "));
    PutTag(p, Sig("wtpt"), XYZTag(0.875, 0.9375, 0.75));
    PutTag(p, Sig("B2A0"), TableTag());
    return p;
}

TEST(CrdText, Refusals) {
    const Bytes table = TableTag();
    auto edit = [&](size_t offset, uint8_t value) { Bytes b = table; b[offset] = value; return b; };
    Bytes lyingCurve = CurveTag({1});
    lyingCurve[8] = 100;  // claims 100 entries (host order, either end)
    lyingCurve[11] = 0;
    const std::string intro = "<<\n/ColorRenderingType 1\n/RenderingIntent /Perceptual\n";
    struct Row {
        char kind;
        char tag[5];  // replaced by `image`; removed when the image is empty
        Bytes image;
        uint32_t intent;
        TntStatus status;
        std::string text;  // written before the refusal; "?" not checked
    };
    const Row rows[] = {
        {'L', "wtpt", XYZTag(0.9642, 1, 0.8249), 0, TNT_ERR_UNSUPPORTED_SPACE, ""},
        {'G', "wtpt", XYZTag(0.9642, 1, 0.8249), 0, TNT_ERR_UNSUPPORTED_SPACE, ""},
        {'T', "wtpt", XYZTag(0.875, 0.9375, 0.75), 4, TNT_ERR_NULL_PARAMETER, "<<\n/ColorRenderingType 1\n/RenderingIntent /"},
        // Table tags that cannot be used are refused before the white point.
        {'T', "B2A0", Bytes(table.begin(), table.end() - 1), 0, TNT_ERR_TAG_RANGE, intro},
        {'T', "B2A0", Bytes(table.begin(), table.begin() + 40), 0, TNT_ERR_TAG_RANGE, intro},
        {'T', "B2A0", edit(8, 4), 0, TNT_ERR_TAG_NOT_FOUND, intro},  // four inputs
        {'T', "B2A0", edit(8, 1), 0, TNT_ERR_TAG_NOT_FOUND, intro},  // one input
        {'T', "B2A0", edit(9, 0), 0, TNT_ERR_TAG_NOT_FOUND, intro},  // no outputs
        {'T', "B2A0", edit(10, 1), 0, TNT_ERR_TAG_NOT_FOUND, intro},  // one grid point
        {'T', "B2A0", edit(3, 'A'), 0, TNT_ERR_TAG_NOT_FOUND, intro},  // another type
        {'T', "B2A0", edit(48, 1), 0, TNT_ERR_TAG_NOT_FOUND, intro},  // one curve entry
        {'T', "wtpt", XYZTag(0.9, 0.0, 0.8), 0, TNT_ERR_WHITE_POINT, intro},
        {'T', "B2A0", {}, 0, TNT_ERR_TAG_NOT_FOUND, "?"},  // no table, and no colorants
        // Matrix profiles: a singular colorant matrix, and unusable curves.
        {'M', "bXYZ", XYZTag(kTestColorants[0][0], kTestColorants[0][1], kTestColorants[0][2]), 0,
         TNT_ERR_SINGULAR_MATRIX, "?"},
        {'M', "rTRC", CurveTag({0}), 0, TNT_ERR_TAG_NOT_FOUND, "?"},
        {'M', "rTRC", Bytes(10, 0), 0, TNT_ERR_TAG_RANGE, "?"},
        {'M', "rTRC", XYZTag(1, 1, 1), 0, TNT_ERR_TAG_NOT_FOUND, "?"},
        {'M', "rTRC", lyingCurve, 0, TNT_ERR_TAG_RANGE, "?"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(1, row.kind) + " " + row.tag + " " + std::to_string(&row - rows));
        Profile* p = Base(row.kind);
        if (row.image.empty()) TntRemoveProfileElement(p, Sig(row.tag));
        else PutTag(p, Sig(row.tag), row.image);
        Recorder r;
        EXPECT_EQ(TntSaveCRD(p, row.intent, Record, reinterpret_cast<uintptr_t>(&r)), row.status);
        if (row.text != "?") {
            EXPECT_EQ(r.text, row.text);
        }
        TntCloseProfile(p);
    }
}

// Stops at the k-th write, for every k: the status comes back and nothing
// more is written (the listener checks that nothing is left allocated).
TEST(CrdText, StopsAtTheFirstFailure) {
    Profile* para = Base('M');
    PutTag(para, Sig("bTRC"), ParaTag(4, {2.2, 0.9, 0.1, 0.2, 0.1, 0.0, 0.0059}));
    for (Profile* p : {Base('T'), para}) {
        Recorder all;
        ASSERT_EQ(TntSaveCRD(p, 3, Record, reinterpret_cast<uintptr_t>(&all)), TNT_OK);
        for (uint64_t k = 1; k <= all.calls; ++k) {
            Recorder r;
            r.failAt = k;
            ASSERT_EQ(TntSaveCRD(p, 3, Record, reinterpret_cast<uintptr_t>(&r)), 4242) << k;
            ASSERT_EQ(r.calls, k);
        }
        TntCloseProfile(p);
    }
}

TEST(CrdText, InverseCurve) {
    const double rising[] = {0.0, 10.0, 20.0, 40.0};
    EXPECT_EQ(tnt::InvertCurveAt(rising, 4, -1.0), 0.0);
    EXPECT_EQ(tnt::InvertCurveAt(rising, 4, 40.0), 1.0);
    EXPECT_DOUBLE_EQ(tnt::InvertCurveAt(rising, 4, 30.0), 2.5 / 3.0);
    EXPECT_DOUBLE_EQ(tnt::InvertCurveAt(rising, 4, 10.0), 1.0 / 3.0);
}

}  // namespace
