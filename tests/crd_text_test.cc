// What the rendering-dictionary writer refuses, the inverse-curve arithmetic, a
// writer that fails at each call. The golden files and Ghostscript check the text.
#include <gtest/gtest.h>

#include "postscript/crd.h"
#include "support/profile_builder.h"

namespace {

using namespace tnt_test;

struct Recorder { std::string text; uint64_t calls = 0, failAt = 0; };  // the text written, the call to fail at

TntStatus TNT_CALL Record(uintptr_t user, const char* text) {
    auto* r = reinterpret_cast<Recorder*>(user);
    if (++r->calls == r->failAt) return 4242;
    return r->text += text, TNT_OK;
}

const Bytes kTable = MftTag(
    {.outputs = 4, .grid = 3, .inputEntries = 4, .outputEntries = 4, .inputCurves = {}, .gridValues = {}, .outputCurves = {}});

// 'T' a CMYK printer profile with a Lab 'B2A0', 'M' an RGB matrix profile,
// 'L' and 'G' printer profiles of Lab and gray.
Profile* Base(char kind) {
    if (kind == 'M') return MatrixProfile(Sig("mntr"), CurveTag({0, 300, 9000, 65535}));
    Profile* p = NewTestProfile(Sig("prtr"), kind == 'T' ? Sig("CMYK") : kind == 'L' ? Sig("Lab ") : Sig("GRAY"), Sig("Lab "));
    PutTag(p, Sig("wtpt"), XYZTag(0.875, 0.9375, 0.75));
    PutTag(p, Sig("B2A0"), kTable);
    return p;
}

Bytes Edit(Bytes b, size_t offset, uint8_t value) { return b[offset] = value, b; }

TEST(CrdText, Refusals) {
    const std::string intro = "<<\n/ColorRenderingType 1\n/RenderingIntent /Perceptual\n", any = "?";
    const Bytes white = XYZTag(0.875, 0.9375, 0.75), red = XYZTag(kTestColorants[0][0], kTestColorants[0][1], kTestColorants[0][2]);
    // The tag is replaced by the image (removed when it is empty); the text is what comes before the refusal.
    struct Row { char kind, tag[5]; Bytes image; uint32_t intent; TntStatus status; std::string text; };
    const Row rows[] = {
        {'L', "wtpt", white, 0, TNT_ERR_UNSUPPORTED_SPACE, ""}, {'G', "wtpt", white, 0, TNT_ERR_UNSUPPORTED_SPACE, ""},
        {'T', "wtpt", white, 4, TNT_ERR_NULL_PARAMETER, "<<\n/ColorRenderingType 1\n/RenderingIntent /"},
        // Tables refused before the white point: truncated, a header alone, 4 or 1
        // inputs, no outputs, one grid point, another type, one curve entry.
        {'T', "B2A0", Bytes(kTable.begin(), kTable.end() - 1), 0, TNT_ERR_TAG_RANGE, intro},
        {'T', "B2A0", Bytes(kTable.begin(), kTable.begin() + 40), 0, TNT_ERR_TAG_RANGE, intro},
        {'T', "B2A0", Edit(kTable, 8, 4), 0, TNT_ERR_TAG_NOT_FOUND, intro}, {'T', "B2A0", Edit(kTable, 8, 1), 0, TNT_ERR_TAG_NOT_FOUND, intro},
        {'T', "B2A0", Edit(kTable, 9, 0), 0, TNT_ERR_TAG_NOT_FOUND, intro}, {'T', "B2A0", Edit(kTable, 10, 1), 0, TNT_ERR_TAG_NOT_FOUND, intro},
        {'T', "B2A0", Edit(kTable, 3, 'A'), 0, TNT_ERR_TAG_NOT_FOUND, intro}, {'T', "B2A0", Edit(kTable, 48, 1), 0, TNT_ERR_TAG_NOT_FOUND, intro},
        {'T', "wtpt", XYZTag(0.9, 0.0, 0.8), 0, TNT_ERR_WHITE_POINT, intro},
        {'T', "B2A0", {}, 0, TNT_ERR_TAG_NOT_FOUND, any},  // no table, no colorants
        // Matrices: singular; a zero gamma, a short tag, another type, a curve claiming 100 entries.
        {'M', "bXYZ", red, 0, TNT_ERR_SINGULAR_MATRIX, any}, {'M', "rTRC", CurveTag({0}), 0, TNT_ERR_TAG_NOT_FOUND, any},
        {'M', "rTRC", Bytes(10, 0), 0, TNT_ERR_TAG_RANGE, any}, {'M', "rTRC", white, 0, TNT_ERR_TAG_NOT_FOUND, any},
        {'M', "rTRC", Edit(Edit(CurveTag({1}), 8, 100), 11, 0), 0, TNT_ERR_TAG_RANGE, any},
    };
    for (const Row& row : rows) {
        Profile* p = Base(row.kind);
        if (row.image.empty()) TntRemoveProfileElement(p, Sig(row.tag));
        else PutTag(p, Sig(row.tag), row.image);
        Recorder r;
        EXPECT_EQ(TntSaveCRD(p, row.intent, Record, reinterpret_cast<uintptr_t>(&r)), row.status) << &row - rows;
        EXPECT_TRUE(row.text == any || r.text == row.text) << &row - rows << ": " << r.text;
        TntCloseProfile(p);
    }
    // The inverse of a sampled curve, clamped at its ends.
    const double rising[] = {0.0, 10.0, 20.0, 40.0};
    EXPECT_EQ(tnt::InvertCurveAt(rising, 4, -1.0), 0.0);
    EXPECT_EQ(tnt::InvertCurveAt(rising, 4, 40.0), 1.0);
    EXPECT_DOUBLE_EQ(tnt::InvertCurveAt(rising, 4, 30.0), 2.5 / 3.0);
}

// Stops at the k-th write, for every k, and writes nothing more.
TEST(CrdText, StopsAtTheFirstFailure) {
    Profile* para = Base('M');
    PutTag(para, Sig("bTRC"), ParaTag(4, {2.2, 0.9, 0.1, 0.2, 0.1, 0.0, 0.0059}));
    for (Profile* p : {Base('T'), para}) {
        Recorder all, r;
        ASSERT_EQ(TntSaveCRD(p, 3, Record, reinterpret_cast<uintptr_t>(&all)), TNT_OK);
        for (r.failAt = 1; r.failAt <= all.calls; r = {"", 0, r.failAt + 1}) {
            ASSERT_EQ(TntSaveCRD(p, 3, Record, reinterpret_cast<uintptr_t>(&r)), 4242) << r.failAt;
            ASSERT_EQ(r.calls, r.failAt);
        }
        TntCloseProfile(p);
    }
}

}  // namespace
