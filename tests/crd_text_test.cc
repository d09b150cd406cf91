// The colour rendering dictionary as text: samples of every piece against
// text formatted here with the C library, intent names and table choice,
// refusals, and a write function that fails at each of its calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/memory.h"
#include "postscript/crd.h"
#include "support/allocation_sweep.h"
#include "support/profile_builder.h"
#include "support/v4_profiles.h"
#include "tintwell.h"

namespace {

using namespace tnt_test;

constexpr TntStatus kWriteFailed = 4242;

struct Recorder {
    std::vector<std::string> pieces;
    uint64_t calls = 0, failAt = 0;
    std::string Text() const {
        std::string t;
        for (const std::string& s : pieces) t += s;
        return t;
    }
};

TntStatus TNT_CALL Record(uintptr_t user, const char* text) {
    auto* r = reinterpret_cast<Recorder*>(user);
    if (++r->calls == r->failAt) return kWriteFailed;
    r->pieces.push_back(text);
    return TNT_OK;
}

std::string Save(Profile* p, uint32_t intent, TntStatus expected = TNT_OK) {
    Recorder r;
    EXPECT_EQ(TntSaveCRD(p, intent, Record, reinterpret_cast<uintptr_t>(&r)), expected) << "intent " << intent;
    return r.Text();
}

// A random table over three inputs; 'mft1' values stay below 256.
LutContents RandomTable(bool wide, uint8_t outputs, uint8_t grid, uint16_t n, uint16_t m, uint32_t seed) {
    LutContents t;
    t.sixteenBit = wide;
    t.outputs = outputs;
    t.grid = grid;
    t.inputEntries = wide ? n : 256;
    t.outputEntries = wide ? m : 256;
    const double matrix[9] = {1.0, 0.25, -0.5, 0.0, 1.5, 0.125, -1.25, 0.0, 2.0};
    std::memcpy(t.matrix, matrix, sizeof matrix);
    const uint32_t top = wide ? 65536 : 256;
    auto next = [&] { return static_cast<uint16_t>((seed = seed * 1103515245u + 12345u) >> 8) % top; };
    for (uint32_t i = 0; i < 3u * t.inputEntries; ++i) t.inputCurves.push_back(next());
    for (uint32_t i = 0; i < uint32_t(outputs) * grid * grid * grid; ++i) t.gridValues.push_back(next());
    for (uint32_t i = 0; i < uint32_t(outputs) * t.outputEntries; ++i) t.outputCurves.push_back(next());
    return t;
}

// A curve procedure as the dictionary writes it: 16 values a line.
std::string Proc(const uint16_t* values, size_t count, double scale, const char* prefix) {
    std::string out = "2 dict begin /table\n[";
    for (size_t i = 0; i < count; ++i)
        out += std::to_string(uint16_t(values[i] * scale)) + (i + 1 == count ? "] " : (i + 1) % 16 ? " " : "\n");
    out += "def\n/count table length 1 sub def\n{";
    if (prefix) out += prefix;
    return out + " //count mul dup 0 lt {pop 0} if dup //count gt {pop count} if dup cvi\tdup //count ge "
                 "{pop //count 1 sub} if 2 copy sub exch dup //table exch get exch 1 add //table exch get 2 index "
                 "mul 3 1 roll exch 1 exch sub mul add exch pop 65535 div} bind end\n";
}

std::string Hex(uint16_t v) {
    char text[8];
    std::snprintf(text, sizeof text, "%02x", v);
    return text;
}

const std::string kPlainPQR = "/TransformPQR [\n{4 { exch pop } repeat } bind dup dup ]\n";

TEST(CrdText, TableDictionariesAndIntents) {
    // Whites exact in s15Fixed16. 20 input entries: a line of 16, then 4.
    // Six grid points of 4 outputs: strings of 144 values, broken after 128.
    const LutContents lab = RandomTable(true, 4, 6, 20, 3, 7);
    Profile* p = NewTestProfile(Sig("prtr"), Sig("CMYK"), Sig("Lab "));
    PutTag(p, Sig("wtpt"), XYZTag(0.875, 0.9375, 0.75));
    PutTag(p, Sig("B2A0"), MftTag(lab));
    const std::string text = Save(p, 0);
    const std::string opening = "<<\n/ColorRenderingType 1\n/RenderingIntent /Perceptual\n"
                                "/WhitePoint [0.9333 1.0000 0.8000]\n" + kPlainPQR;
    EXPECT_EQ(text.substr(0, opening.size()), opening);
    EXPECT_NE(text.find("/EncodeLMN [\n{ 0.9642 div dup 0 lt {pop 0} if dup 0.008856 gt {1 3 div exp 16 116 div "
                        "sub}{7.787 mul}ifelse} bind\n{ 1.0000 div "), std::string::npos);
    EXPECT_NE(text.find("/MatrixABC [0 500 0 116 -500 200 0 0 -200]\n/EncodeABC [\n" +
                        Proc(&lab.inputCurves[0], 20, 1, "100 div")), std::string::npos);
    EXPECT_NE(text.find(Proc(&lab.inputCurves[20], 20, 1, "128 add 255 div")), std::string::npos);
    std::string grid = "]\n/RenderTable [6 6 6\n[\n<";
    for (int v = 0; v < 128; ++v) grid += Hex(lab.gridValues[v] >> 8);
    grid += "\n" + Hex(lab.gridValues[128] >> 8);
    EXPECT_NE(text.find(grid), std::string::npos);
    const size_t last = lab.gridValues.size() - 1;
    EXPECT_NE(text.find(Hex(lab.gridValues[last] >> 8) + ">\n]\n4\n" + Proc(&lab.outputCurves[0], 3, 1, nullptr)),
              std::string::npos);
    EXPECT_EQ(text.substr(text.size() - 9), "end\n]\n>>\n");
    // Saturation without 'B2A2' renders from 'B2A0' under its own name.
    std::string saturation = Save(p, 2);
    const size_t name = saturation.find("Saturation");
    ASSERT_NE(name, std::string::npos);
    EXPECT_EQ(saturation.replace(name, 10, "Perceptual"), text);
    TntCloseProfile(p);

    // XYZ tables: the matrix transposed at two decimals; 8-bit entries
    // scaled by 257; the absolute intent scales by the white in PQR.
    const LutContents narrow = RandomTable(false, 3, 3, 256, 256, 13);
    p = NewTestProfile(Sig("prtr"), Sig("RGB "), Sig("XYZ "));
    PutTag(p, Sig("wtpt"), XYZTag(0.875, 0.9375, 0.75));
    PutTag(p, Sig("B2A0"), MftTag(RandomTable(true, 3, 2, 2, 2, 11)));
    PutTag(p, Sig("B2A1"), MftTag(narrow));
    const std::string absolute = Save(p, 3);
    EXPECT_NE(absolute.find("/RenderingIntent /AbsoluteColorimetric\n"), std::string::npos);
    EXPECT_NE(absolute.find("/TransformPQR [\n{4 index 0 get mul 2 index 0 get div 4 { exch pop } repeat } bind\n"
                            "{4 index 1 get mul"), std::string::npos);
    EXPECT_NE(absolute.find("/MatrixABC [1.00 0.00 -1.25 0.25 1.50 0.00 -0.50 0.12 2.00]\n/EncodeABC [\n" +
                            Proc(&narrow.inputCurves[0], 256, 257, nullptr)), std::string::npos);
    EXPECT_NE(absolute.find("/RenderTable [3 3 3\n[\n<" + Hex(narrow.gridValues[0]) + Hex(narrow.gridValues[1])),
              std::string::npos);
    const std::string relative = Save(p, 1);
    EXPECT_EQ(relative.substr(relative.find("/MatrixABC")), absolute.substr(absolute.find("/MatrixABC")));
    EXPECT_NE(Save(p, 0).substr(Save(p, 0).find("/MatrixABC")), relative.substr(relative.find("/MatrixABC")));
    // An unknown intent stops after the text that precedes its name.
    EXPECT_EQ(Save(p, 4, TNT_ERR_NULL_PARAMETER), "<<\n/ColorRenderingType 1\n/RenderingIntent /");
    TntRemoveProfileElement(p, Sig("B2A0"));  // nothing to fall back on, and no colorants
    EXPECT_EQ(Save(p, 0, TNT_ERR_TAG_NOT_FOUND).find("/MatrixABC"), std::string::npos);
    TntCloseProfile(p);
}

// rXYZ, gXYZ, bXYZ as rows [[0.5 0.25 0] [0 0.5 0] [0 0 1]], whose inverse
// times 100 is [[2 -1 0] [0 2 0] [0 0 1]].
Profile* MatrixCrdProfile(const std::vector<uint16_t>& greenCurve) {
    Profile* p = NewTestProfile(Sig("mntr"), Sig("RGB "), Sig("XYZ "));
    PutWhitePoint(p);
    const double colorants[3][3] = {{0.5, 0.25, 0.0}, {0.0, 0.5, 0.0}, {0.0, 0.0, 1.0}};
    PutMatrixTags(p, colorants, CurveTag({}));
    PutTag(p, Sig("rTRC"), CurveTag({0x0233}));
    PutTag(p, Sig("gTRC"), CurveTag(greenCurve));
    return p;
}

TEST(CrdText, MatrixDictionary) {
    // The inverse of the green curve, sampled at as many points, is found
    // between the samples that bracket each level: 39011 is
    // (2 + 8383.75 / 22000) / 4 of 65535.
    Profile* p = MatrixCrdProfile({0, 1000, 8000, 30000, 65535});
    const uint16_t inverse[] = {0, 39011, 50427, 57981, 65535};
    const std::string text = Save(p, 1);
    EXPECT_NE(text.find("/WhitePoint [0.9642 1.0000 0.8249]\n" + kPlainPQR +
                        "/MatrixABC [2.0000 -1.0000 0.0000 0.0000 2.0000 0.0000 0.0000 0.0000 1.0000]\n"
                        "/EncodeABC [{dup 0 lt {pop 0} if dup 1 gt {pop 1} if 0.4547 exp}\n" +
                        Proc(inverse, 5, 1, nullptr) + "{}\n]\n>>\n"), std::string::npos) << text;
    TntCloseProfile(p);

    // 'para' curves: a gamma is written as its inverse power like a 'curv'
    // gamma; any other form as its inverse sampled at 1024 points.
    p = MatrixCrdProfile({0, 65535});
    PutTag(p, Sig("rTRC"), ParaTag(0, {2.2}));
    PutTag(p, Sig("gTRC"), ParaTag(3, {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045}));
    const std::string para = Save(p, 1);
    EXPECT_NE(para.find("/EncodeABC [{dup 0 lt {pop 0} if dup 1 gt {pop 1} if 0.4545 exp}\n2 dict begin /table\n[0 "),
              std::string::npos) << para;
    const size_t table = para.find("/table\n[") + 8;
    const size_t end = para.find("]", table);
    EXPECT_EQ(std::count(para.begin() + table, para.begin() + end, ' ') + std::count(para.begin() + table, para.begin() + end, '\n'),
              1023) << "1024 values";
    TntCloseProfile(p);

    const double rising[] = {0.0, 10.0, 20.0, 40.0};
    EXPECT_EQ(tnt::InvertCurveAt(rising, 4, -1.0), 0.0);
    EXPECT_EQ(tnt::InvertCurveAt(rising, 4, 40.0), 1.0);
    EXPECT_DOUBLE_EQ(tnt::InvertCurveAt(rising, 4, 30.0), 2.5 / 3.0);
}

TEST(CrdText, Refusals) {
    Recorder r;
    const auto user = reinterpret_cast<uintptr_t>(&r);
    for (uint32_t space : {Sig("Lab "), Sig("GRAY")}) {
        Profile* p = NewTestProfile(Sig("prtr"), space, Sig("XYZ "));
        EXPECT_EQ(TntSaveCRD(p, 0, Record, user), TNT_ERR_UNSUPPORTED_SPACE);
        TntCloseProfile(p);
    }
    EXPECT_EQ(r.calls, 0u);

    Profile* p = NewTestProfile(Sig("prtr"), Sig("CMYK"), Sig("Lab "));
    PutTag(p, Sig("wtpt"), XYZTag(0.875, 0.9375, 0.75));
    double xyz[3];
    EXPECT_EQ(tnt::ReadXYZTag(nullptr, Sig("wtpt"), xyz), TNT_ERR_NULL_PARAMETER);
    EXPECT_EQ(tnt::ReadXYZTag(p, Sig("rXYZ"), xyz), TNT_ERR_TAG_NOT_FOUND);
    ASSERT_EQ(tnt::ReadXYZTag(p, Sig("wtpt"), xyz), TNT_OK);
    EXPECT_DOUBLE_EQ(xyz[1], 93.75);

    // Table tags that cannot be used are refused before the white point.
    const std::string intro = "<<\n/ColorRenderingType 1\n/RenderingIntent /Perceptual\n";
    const Bytes tag = MftTag(RandomTable(true, 4, 3, 4, 4, 5));
    auto refuse = [&](Bytes bytes, size_t offset, uint8_t value, TntStatus status) {
        if (offset) bytes[offset] = value;
        PutTag(p, Sig("B2A0"), bytes);
        EXPECT_EQ(Save(p, 0, status), intro) << offset;
    };
    refuse(Bytes(tag.begin(), tag.end() - 1), 0, 0, TNT_ERR_TAG_RANGE);
    refuse(Bytes(tag.begin(), tag.begin() + 40), 0, 0, TNT_ERR_TAG_RANGE);
    // Inputs other than 3, no outputs, one grid point, another type, one entry.
    for (auto [offset, value] : {std::pair{8, 4}, {8, 1}, {9, 0}, {10, 1}, {3, 'A'}, {48, 1}})
        refuse(tag, offset, uint8_t(value), TNT_ERR_TAG_NOT_FOUND);
    PutTag(p, Sig("B2A0"), tag);
    PutTag(p, Sig("wtpt"), XYZTag(0.9, 0.0, 0.8));
    EXPECT_EQ(Save(p, 0, TNT_ERR_WHITE_POINT), intro);
    TntCloseProfile(p);

    // Matrix profiles: a singular colorant matrix, and unusable curves.
    p = MatrixCrdProfile({0, 65535});
    PutTag(p, Sig("bXYZ"), XYZTag(0.5, 0.25, 0.0));
    EXPECT_EQ(TntSaveCRD(p, 0, Record, user), TNT_ERR_SINGULAR_MATRIX);
    TntCloseProfile(p);
    Bytes shortCurve = CurveTag({1});
    shortCurve[8] = 100;  // claims 100 entries (host order, either end)
    shortCurve[11] = 0;
    for (auto [curve, status] : {std::pair{CurveTag({0}), TNT_ERR_TAG_NOT_FOUND}, {Bytes(10, 0), TNT_ERR_TAG_RANGE},
                                 {XYZTag(1, 1, 1), TNT_ERR_TAG_NOT_FOUND},
                                 {shortCurve, TNT_ERR_TAG_RANGE}}) {
        Profile* q = MatrixCrdProfile({0, 65535});
        PutTag(q, Sig("rTRC"), curve);
        EXPECT_EQ(TntSaveCRD(q, 0, Record, user), status);
        TntCloseProfile(q);
    }
}

// Stops at the k-th write, for every k: the status comes back, nothing
// more is written, nothing is left allocated.
TEST(CrdText, StopsAtTheFirstFailure) {
    Profile* lab = NewTestProfile(Sig("prtr"), Sig("CMYK"), Sig("Lab "));
    PutTag(lab, Sig("wtpt"), XYZTag(0.875, 0.9375, 0.75));
    PutTag(lab, Sig("B2A0"), MftTag(RandomTable(true, 4, 5, 20, 18, 3)));
    Profile* para = MatrixCrdProfile({0, 300, 9000, 65535});
    PutTag(para, Sig("bTRC"), ParaTag(4, {2.2, 0.9, 0.1, 0.2, 0.1, 0.0, 0.0059}));
    for (Profile* p : {lab, MatrixCrdProfile({0, 300, 9000, 65535}), para}) {
        if (!p) continue;
        Recorder all;
        ASSERT_EQ(TntSaveCRD(p, 3, Record, reinterpret_cast<uintptr_t>(&all)), TNT_OK);
        const int64_t live = tnt::LiveBlockCount();
        for (uint64_t k = 1; k <= all.calls; ++k) {
            Recorder r;
            r.failAt = k;
            ASSERT_EQ(TntSaveCRD(p, 3, Record, reinterpret_cast<uintptr_t>(&r)), kWriteFailed) << k;
            ASSERT_EQ(r.calls, k);
            ASSERT_EQ(tnt::LiveBlockCount(), live);
        }
        TntCloseProfile(p);
    }
}

}  // namespace
