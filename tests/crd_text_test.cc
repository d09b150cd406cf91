// The colour rendering dictionary as text: every piece against an expected
// text built here with the C library's formatting, intent names and table
// choice, refusals, and a write function that fails at each of its calls.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/memory.h"
#include "postscript/crd.h"
#include "support/profile_images.h"
#include "tintwell.h"

namespace {

using namespace tnt_test;
using Pieces = std::vector<std::string>;

constexpr TntStatus kWriteFailed = 4242;

// ---------------------------------------------------------------- tags

// Tag data crosses the element interface in host byte order.
struct HostBytes {
    Bytes b;
    template <typename T>
    HostBytes& Put(T v) {
        const auto* p = reinterpret_cast<const uint8_t*>(&v);
        b.insert(b.end(), p, p + sizeof v);
        return *this;
    }
    HostBytes& Fixed(double v) { return Put(static_cast<int32_t>(std::lround(v * 65536.0))); }
};

Bytes XYZTag(double x, double y, double z) {
    return HostBytes{}.Put(Sig("XYZ ")).Put(0u).Fixed(x).Fixed(y).Fixed(z).b;
}

Bytes CurveTag(const std::vector<uint16_t>& values) {
    HostBytes t;
    t.Put(Sig("curv")).Put(0u).Put(static_cast<uint32_t>(values.size()));
    for (uint16_t v : values) t.Put(v);
    return t.b;
}

// A lookup table; 'mft1' values are kept below 256.
struct Table {
    bool wide;
    uint8_t inputs, outputs, grid;
    uint16_t inputEntries, outputEntries;
    double matrix[9];
    std::vector<uint16_t> inputCurves, gridValues, outputCurves;
};

Table MakeTable(bool wide, uint8_t outputs, uint8_t grid, uint16_t n, uint16_t m, uint32_t seed) {
    Table t{wide, 3, outputs, grid, wide ? n : uint16_t(256), wide ? m : uint16_t(256),
            {1.0, 0.25, -0.5, 0.0, 1.5, 0.125, -1.25, 0.0, 2.0}, {}, {}, {}};
    const uint32_t top = wide ? 65536 : 256;
    auto next = [&] { return static_cast<uint16_t>((seed = seed * 1103515245u + 12345u) >> 8) % top; };
    for (uint32_t i = 0; i < 3u * t.inputEntries; ++i) t.inputCurves.push_back(next());
    for (uint32_t i = 0; i < uint32_t(outputs) * grid * grid * grid; ++i) t.gridValues.push_back(next());
    for (uint32_t i = 0; i < uint32_t(outputs) * t.outputEntries; ++i) t.outputCurves.push_back(next());
    return t;
}

Bytes TableTag(const Table& t) {
    HostBytes h;
    h.Put(Sig(t.wide ? "mft2" : "mft1")).Put(0u).Put(t.inputs).Put(t.outputs).Put(t.grid).Put(uint8_t(0));
    for (double e : t.matrix) h.Fixed(e);
    if (t.wide) h.Put(t.inputEntries).Put(t.outputEntries);
    for (const auto* run : {&t.inputCurves, &t.gridValues, &t.outputCurves}) {
        for (uint16_t v : *run) t.wide ? h.Put(v) : h.Put(static_cast<uint8_t>(v));
    }
    return h.b;
}

Profile* NewProfile(uint32_t space, uint32_t pcs, uint32_t cls = Sig("prtr")) {
    Profile* p = nullptr;
    EXPECT_EQ(TntNewProfile(&p, nullptr), TNT_OK);
    ProfileHeader h{};
    TntGetProfileHeader(p, &h);
    h.deviceClass = cls;
    h.colorSpace = space;
    h.pcs = pcs;
    h.version = 0x02100000u;
    TntSetProfileHeader(p, &h);
    return p;
}

void SetTag(Profile* p, uint32_t sig, const Bytes& data) {
    ASSERT_EQ(TntSetProfileElementSize(p, sig, static_cast<uint32_t>(data.size())), TNT_OK);
    ASSERT_EQ(TntSetProfileElement(p, sig, static_cast<uint32_t>(data.size()), data.data()), TNT_OK);
}

// ------------------------------------------------------------ recording

struct Recorder {
    Pieces pieces;
    uint64_t calls = 0;
    uint64_t failAt = 0;
};

TntStatus TNT_CALL Record(uintptr_t user, const char* text) {
    auto* r = reinterpret_cast<Recorder*>(user);
    if (++r->calls == r->failAt) return kWriteFailed;
    r->pieces.push_back(text);
    return TNT_OK;
}

Pieces Save(Profile* p, uint32_t intent, TntStatus expected = TNT_OK) {
    Recorder r;
    EXPECT_EQ(TntSaveCRD(p, intent, Record, reinterpret_cast<uintptr_t>(&r)), expected) << "intent " << intent;
    return r.pieces;
}

// ------------------------------------------------------- expected text

std::string Format(const char* format, double v) {
    char text[64];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

std::string Int(long v) { return std::to_string(v); }

const char* const kProcBody =
    " //count mul dup 0 lt {pop 0} if dup //count gt {pop count} if dup cvi\tdup //count ge {pop //count 1 sub} if "
    "2 copy sub exch dup //table exch get exch 1 add //table exch get 2 index mul 3 1 roll exch 1 exch sub mul add "
    "exch pop 65535 div} bind ";

void AddProc(Pieces& out, const std::vector<uint16_t>& values, const char* prefix) {
    out.insert(out.end(), {"2 dict begin /table\n", "["});
    for (size_t i = 0; i < values.size(); ++i) {
        out.push_back(Int(values[i]));
        out.push_back(i + 1 == values.size() ? "] " : ((i + 1) % 16 == 0 ? "\n" : " "));
    }
    out.insert(out.end(), {"def\n", "/count table length 1 sub def\n", "{"});
    if (prefix) out.push_back(prefix);
    out.insert(out.end(), {kProcBody, "end\n"});
}

const char* const kIntentNames[] = {"Perceptual", "RelativeColorimetric", "Saturation", "AbsoluteColorimetric"};

Pieces Opening(uint32_t intent, double x, double y, double z) {
    Pieces out = {"<<\n", "/ColorRenderingType 1\n", "/RenderingIntent /", kIntentNames[intent], "\n",
                  "/WhitePoint [", Format("%.4f", x / y), " ", Format("%.4f", 1.0), " ", Format("%.4f", z / y), "]\n",
                  "/TransformPQR [\n"};
    if (intent != 3) {
        out.push_back("{4 { exch pop } repeat } bind dup dup ]\n");
    } else {
        for (int k = 0; k < 3; ++k) {
            out.push_back("{4 index " + Int(k) + " get mul 2 index " + Int(k) +
                          " get div 4 { exch pop } repeat } bind" + (k < 2 ? "\n" : "]\n"));
        }
    }
    return out;
}

Pieces TableBody(const Table& t, bool lab) {
    Pieces out;
    const double entryScale = t.wide ? 1.0 : 257.0;
    if (lab) {
        out.push_back("/EncodeLMN [\n");
        const char* divisors[] = {"0.9642", "1.0000", "0.8249"};
        for (int k = 0; k < 3; ++k) {
            out.insert(out.end(), {"{ ", divisors[k], " div ",
                                   "dup 0 lt {pop 0} if dup 0.008856 gt {1 3 div exp 16 116 div sub}{7.787 mul}ifelse} "
                                   "bind",
                                   k < 2 ? "\n" : "]\n"});
        }
        out.push_back("/MatrixABC [0 500 0 116 -500 200 0 0 -200]\n");
    } else {
        out.push_back("/MatrixABC [");
        for (int c = 0; c < 3; ++c) {
            for (int r = 0; r < 3; ++r) {
                out.push_back(Format("%.2f", t.matrix[3 * r + c]));
                out.push_back(c == 2 && r == 2 ? "]\n" : " ");
            }
        }
    }
    out.push_back("/EncodeABC [\n");
    const char* prefixes[] = {"100 div", "128 add 255 div", "128 add 255 div"};
    for (int c = 0; c < 3; ++c) {
        std::vector<uint16_t> curve;
        for (int j = 0; j < t.inputEntries; ++j) {
            curve.push_back(uint16_t(t.inputCurves[c * t.inputEntries + j] * entryScale));
        }
        AddProc(out, curve, lab ? prefixes[c] : nullptr);
    }
    out.push_back("]\n");
    out.push_back("/RenderTable [" + Int(t.grid) + " " + Int(t.grid) + " " + Int(t.grid) + "\n");
    out.push_back("[\n");
    const size_t perString = size_t(t.outputs) * t.grid * t.grid;
    for (size_t a = 0; a < t.grid; ++a) {
        out.push_back("<");
        for (size_t v = 0; v < perString; ++v) {
            const uint16_t value = t.gridValues[a * perString + v];
            char hex[8];
            std::snprintf(hex, sizeof hex, "%02x", t.wide ? value >> 8 : value);
            out.push_back(hex);
            if ((v + 1) % 128 == 0) out.push_back("\n");
        }
        out.push_back(">\n");
    }
    out.push_back("]\n");
    out.push_back(Int(t.outputs) + "\n");
    for (int k = 0; k < t.outputs; ++k) {
        std::vector<uint16_t> curve;
        for (int j = 0; j < t.outputEntries; ++j) {
            curve.push_back(uint16_t(t.outputCurves[k * t.outputEntries + j] * entryScale));
        }
        AddProc(out, curve, nullptr);
    }
    out.push_back("]\n");
    return out;
}

Pieces Join(Pieces a, const Pieces& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void ExpectSamePieces(const Pieces& actual, const Pieces& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < actual.size(); ++i) ASSERT_EQ(actual[i], expected[i]) << "piece " << i;
}

// Whites exact in s15Fixed16, so X/Y and Z/Y are the same however computed.
constexpr double kWhite[3] = {0.875, 0.9375, 0.75};

Profile* LabTableProfile(const Table& t) {
    Profile* p = NewProfile(Sig("CMYK"), Sig("Lab "));
    SetTag(p, Sig("wtpt"), XYZTag(kWhite[0], kWhite[1], kWhite[2]));
    SetTag(p, Sig("B2A0"), TableTag(t));
    return p;
}

// rXYZ, gXYZ, bXYZ as rows: [[0.5 0.25 0] [0 0.5 0] [0 0 1]], whose
// inverse times 100 is [[2 -1 0] [0 2 0] [0 0 1]].
Profile* MatrixProfile(const std::vector<uint16_t>& greenCurve) {
    Profile* p = NewProfile(Sig("RGB "), Sig("XYZ "), Sig("mntr"));
    SetTag(p, Sig("wtpt"), XYZTag(0.9642, 1.0, 0.8249));
    SetTag(p, Sig("rXYZ"), XYZTag(0.5, 0.25, 0.0));
    SetTag(p, Sig("gXYZ"), XYZTag(0.0, 0.5, 0.0));
    SetTag(p, Sig("bXYZ"), XYZTag(0.0, 0.0, 1.0));
    SetTag(p, Sig("rTRC"), HostBytes{}.Put(Sig("curv")).Put(0u).Put(1u).Put(uint16_t(0x0233)).b);
    SetTag(p, Sig("gTRC"), CurveTag(greenCurve));
    SetTag(p, Sig("bTRC"), CurveTag({}));
    return p;
}

Pieces MatrixBody(const std::vector<uint16_t>& greenInverse) {
    Pieces out = {"/MatrixABC ["};
    const char* inverse[] = {"2.0000", "-1.0000", "0.0000", "0.0000", "2.0000", "0.0000", "0.0000", "0.0000", "1.0000"};
    for (int i = 0; i < 9; ++i) out.insert(out.end(), {inverse[i], i < 8 ? " " : "]\n"});
    // 0x0233 is a gamma of 2.19921875.
    out.insert(out.end(), {"/EncodeABC [", "{dup 0 lt {pop 0} if dup 1 gt {pop 1} if ", "0.4547", " exp}\n"});
    AddProc(out, greenInverse, nullptr);
    out.insert(out.end(), {"{}\n", "]\n"});
    return out;
}

// --------------------------------------------------------------- tests

TEST(CrdText, LabTableDictionary) {
    // 20 input entries: a line of 16 values, then 4. Six grid points of 4
    // outputs: strings of 144 values, broken after the 128th.
    const Table t = MakeTable(true, 4, 6, 20, 3, 7);
    Profile* p = LabTableProfile(t);
    const Pieces expected = Join(Join(Opening(0, kWhite[0], kWhite[1], kWhite[2]), TableBody(t, true)), {">>\n"});
    ExpectSamePieces(Save(p, 0), expected);

    std::string text;
    for (const std::string& s : expected) text += s;
    EXPECT_NE(text.find("/WhitePoint [0.9333 1.0000 0.8000]\n"), std::string::npos);
    EXPECT_NE(text.find("/RenderTable [6 6 6\n[\n<"), std::string::npos);
    // The first hex string: "<", 128 values, a line feed, 16 values, ">\n".
    const size_t open = text.find("[\n<") + 2;
    EXPECT_EQ(text[open + 1 + 256], '\n');
    EXPECT_EQ(text.substr(open + 1 + 256 + 1 + 32, 2), ">\n");
    // Saturation without 'B2A2' renders from 'B2A0' under its own name.
    ExpectSamePieces(Save(p, 2),
                     Join(Join(Opening(2, kWhite[0], kWhite[1], kWhite[2]), TableBody(t, true)), {">>\n"}));
    TntCloseProfile(p);
}

TEST(CrdText, XYZTablesAndIntents) {
    const Table perceptual = MakeTable(true, 3, 2, 2, 2, 11);
    const Table relative = MakeTable(false, 3, 3, 256, 256, 13);
    Profile* p = NewProfile(Sig("RGB "), Sig("XYZ "));
    SetTag(p, Sig("wtpt"), XYZTag(kWhite[0], kWhite[1], kWhite[2]));
    SetTag(p, Sig("B2A0"), TableTag(perceptual));
    SetTag(p, Sig("B2A1"), TableTag(relative));
    auto expected = [&](uint32_t intent, const Table& t) {
        return Join(Join(Opening(intent, kWhite[0], kWhite[1], kWhite[2]), TableBody(t, false)), {">>\n"});
    };
    ExpectSamePieces(Save(p, 0), expected(0, perceptual));
    ExpectSamePieces(Save(p, 1), expected(1, relative));
    ExpectSamePieces(Save(p, 2), expected(2, perceptual));
    ExpectSamePieces(Save(p, 3), expected(3, relative));
    // An unknown intent stops after the text that precedes its name.
    ExpectSamePieces(Save(p, 4, TNT_ERR_NULL_PARAMETER), {"<<\n", "/ColorRenderingType 1\n", "/RenderingIntent /"});
    TntCloseProfile(p);

    // Without 'B2A0' to fall back on, another intent renders from the
    // colorants, which this profile lacks.
    p = NewProfile(Sig("RGB "), Sig("XYZ "));
    SetTag(p, Sig("wtpt"), XYZTag(kWhite[0], kWhite[1], kWhite[2]));
    SetTag(p, Sig("B2A1"), TableTag(relative));
    ExpectSamePieces(Save(p, 0, TNT_ERR_TAG_NOT_FOUND), Opening(0, kWhite[0], kWhite[1], kWhite[2]));
    TntCloseProfile(p);
}

TEST(CrdText, MatrixDictionary) {
    // Samples at 0, 1/4 .. 1 of 65535: the inverse, sampled at as many
    // points, is found between the samples that bracket each level.
    const std::vector<uint16_t> green = {0, 1000, 8000, 30000, 65535};
    std::vector<uint16_t> inverse;
    for (int j = 0; j < 5; ++j) {
        const double y = j / 4.0 * 65535.0;
        int i = 0;
        while (i < 3 && green[i + 1] <= y) ++i;
        const double x = y <= 0 ? 0.0 : (y >= 65535 ? 1.0 : (i + (y - green[i]) / (green[i + 1] - green[i])) / 4.0);
        inverse.push_back(uint16_t(x * 65535.0));
    }
    EXPECT_EQ(inverse[1], 39011);  // (2 + 8383.75 / 22000) / 4 of 65535
    Profile* p = MatrixProfile(green);
    const Pieces frame = Opening(1, 0.9642, 1.0, 0.8249);
    ExpectSamePieces(Save(p, 1), Join(Join(frame, MatrixBody(inverse)), {">>\n"}));
    TntCloseProfile(p);

    p = MatrixProfile({0, 65535});
    ExpectSamePieces(Save(p, 1), Join(Join(frame, MatrixBody({0, 65535})), {">>\n"}));
    TntCloseProfile(p);

    const double rising[] = {0.0, 10.0, 20.0, 40.0};
    EXPECT_EQ(tnt::InvertCurveAt(rising, 4, -1.0), 0.0);
    EXPECT_EQ(tnt::InvertCurveAt(rising, 4, 40.0), 1.0);
    EXPECT_DOUBLE_EQ(tnt::InvertCurveAt(rising, 4, 30.0), 2.5 / 3.0);
    EXPECT_DOUBLE_EQ(tnt::InvertCurveAt(rising, 4, 10.0), 1.0 / 3.0);
}

TEST(CrdText, Refusals) {
    Recorder r;
    const auto user = reinterpret_cast<uintptr_t>(&r);
    EXPECT_EQ(TntSaveCRD(nullptr, 0, Record, user), TNT_ERR_UNSUPPORTED_SPACE);
    for (uint32_t space : {Sig("Lab "), Sig("GRAY")}) {
        Profile* p = NewProfile(space, Sig("XYZ "));
        EXPECT_EQ(TntSaveCRD(p, 0, Record, user), TNT_ERR_UNSUPPORTED_SPACE);
        TntCloseProfile(p);
    }
    EXPECT_EQ(r.calls, 0u);

    const Table t = MakeTable(true, 4, 3, 4, 4, 5);
    Profile* p = LabTableProfile(t);
    EXPECT_EQ(TntSaveCRD(p, 0, nullptr, 0), TNT_ERR_NULL_PARAMETER);
    double xyz[3];
    EXPECT_EQ(tnt::ReadXYZTag(nullptr, Sig("wtpt"), xyz), TNT_ERR_NULL_PARAMETER);
    EXPECT_EQ(tnt::ReadXYZTag(p, Sig("wtpt"), nullptr), TNT_ERR_NULL_PARAMETER);
    EXPECT_EQ(tnt::ReadXYZTag(p, Sig("rXYZ"), xyz), TNT_ERR_TAG_NOT_FOUND);
    ASSERT_EQ(tnt::ReadXYZTag(p, Sig("wtpt"), xyz), TNT_OK);
    EXPECT_DOUBLE_EQ(xyz[1], 93.75);

    const Pieces intro = {"<<\n", "/ColorRenderingType 1\n", "/RenderingIntent /", "Perceptual", "\n"};
    // Table tags that cannot be used are refused before the white point.
    Bytes tag = TableTag(t);
    auto refuse = [&](const Bytes& bytes, TntStatus status) {
        SetTag(p, Sig("B2A0"), bytes);
        ExpectSamePieces(Save(p, 0, status), intro);
    };
    refuse(Bytes(tag.begin(), tag.end() - 1), TNT_ERR_TAG_RANGE);  // one byte short of its counts
    refuse(Bytes(tag.begin(), tag.begin() + 40), TNT_ERR_TAG_RANGE);
    for (auto [offset, value] : {std::pair{8, 4}, {8, 1}, {9, 0}, {10, 1}}) {
        Bytes bad = tag;
        bad[offset] = uint8_t(value);
        refuse(bad, TNT_ERR_TAG_NOT_FOUND);  // inputs other than 3, no outputs, one grid point
    }
    Bytes mAB = tag;
    const uint32_t other = Sig("mAB ");
    std::memcpy(mAB.data(), &other, 4);
    refuse(mAB, TNT_ERR_TAG_NOT_FOUND);
    Bytes oneEntry = tag;
    const uint16_t oneInputEntry = 1;
    std::memcpy(oneEntry.data() + 48, &oneInputEntry, 2);
    refuse(oneEntry, TNT_ERR_TAG_NOT_FOUND);

    SetTag(p, Sig("B2A0"), tag);
    SetTag(p, Sig("wtpt"), XYZTag(0.9, 0.0, 0.8));
    ExpectSamePieces(Save(p, 0, TNT_ERR_WHITE_POINT), intro);
    TntRemoveProfileElement(p, Sig("wtpt"));
    ExpectSamePieces(Save(p, 0, TNT_ERR_TAG_NOT_FOUND), intro);
    TntCloseProfile(p);

    // Matrix profiles: a singular colorant matrix, and unusable curves.
    const Pieces matrixIntro = Opening(0, 0.9642, 1.0, 0.8249);
    p = MatrixProfile({0, 65535});
    SetTag(p, Sig("bXYZ"), XYZTag(0.5, 0.25, 0.0));
    ExpectSamePieces(Save(p, 0, TNT_ERR_SINGULAR_MATRIX), matrixIntro);
    TntCloseProfile(p);
    auto curveStatus = [&](const Bytes& rTRC) {
        Profile* q = MatrixProfile({0, 65535});
        SetTag(q, Sig("rTRC"), rTRC);
        const TntStatus st = TntSaveCRD(q, 0, Record, user);
        TntCloseProfile(q);
        return st;
    };
    EXPECT_EQ(curveStatus(HostBytes{}.Put(Sig("curv")).Put(0u).Put(100u).Put(uint16_t(1)).b), TNT_ERR_TAG_RANGE);
    EXPECT_EQ(curveStatus(HostBytes{}.Put(Sig("curv")).Put(0u).Put(1u).Put(uint16_t(0)).b), TNT_ERR_TAG_NOT_FOUND);
    EXPECT_EQ(curveStatus(HostBytes{}.Put(Sig("para")).Put(0u).Put(0u).Put(0u).b), TNT_ERR_TAG_NOT_FOUND);
    EXPECT_EQ(curveStatus(Bytes(10, 0)), TNT_ERR_TAG_RANGE);
}

// Stops at the k-th write, for every k, and at the k-th allocation: the
// status comes back, nothing more is written, nothing is left allocated.
TEST(CrdText, StopsAtTheFirstFailure) {
    const Table t = MakeTable(true, 4, 5, 20, 18, 3);
    Profile* profiles[] = {LabTableProfile(t), MatrixProfile({0, 300, 9000, 65535})};
    for (Profile* p : profiles) {
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
        for (uint64_t k = 1;; ++k) {
            Recorder r;
            tnt::FailAllocationAt(k);
            const TntStatus st = TntSaveCRD(p, 3, Record, reinterpret_cast<uintptr_t>(&r));
            const uint64_t allocations = tnt::AllocationCalls();
            tnt::FailAllocationAt(0);
            ASSERT_EQ(tnt::LiveBlockCount(), live);
            if (allocations < k) {
                EXPECT_EQ(st, TNT_OK);
                EXPECT_EQ(r.pieces, all.pieces);
                break;
            }
            EXPECT_EQ(st, TNT_ERR_NO_MEMORY);
        }
        TntCloseProfile(p);
    }
}

}  // namespace
