#include "tag_description.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common.h"
#include "profile/byteorder.h"
#include "profile/lut_tag.h"
#include "profile/tag_reader.h"
#include "profile/text_tag.h"
#include "profile/tone_curve.h"

namespace tool {

namespace {

constexpr TntSignature kCurv = TNT_SIG('c', 'u', 'r', 'v'), kPara = TNT_SIG('p', 'a', 'r', 'a');
constexpr TntSignature kMft1 = TNT_SIG('m', 'f', 't', '1'), kMft2 = TNT_SIG('m', 'f', 't', '2');
constexpr TntSignature kAtoB = TNT_SIG('m', 'A', 'B', ' '), kBtoA = TNT_SIG('m', 'B', 'A', ' ');
constexpr TntSignature kDesc = TNT_SIG('d', 'e', 's', 'c'), kText = TNT_SIG('t', 'e', 'x', 't');
constexpr TntSignature kMluc = TNT_SIG('m', 'l', 'u', 'c'), kXYZ = TNT_SIG('X', 'Y', 'Z', ' ');
constexpr TntSignature kSf32 = TNT_SIG('s', 'f', '3', '2'), kSig = TNT_SIG('s', 'i', 'g', ' ');
constexpr TntSignature kDtim = TNT_SIG('d', 't', 'i', 'm');

std::string Format(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

std::string Status(TntStatus status) {
    return Format("the library cannot read it: status %u (%s)", status, StatusWords(status));
}

// The parameters of a 'para' form by name: "g 2.4, a 0.947861, ...".
std::string Parameters(const tnt::ToneCurve& c) {
    static const char kNames[] = "gabcdef";
    std::string out;
    for (uint32_t k = 0; k < tnt::ParametricParameterCount(c.function); ++k)
        out += Format("%s%c %.6g", k ? ", " : "", kNames[k], c.param[k]);
    return out;
}

std::string CurveWords(const tnt::ToneCurve& c, bool full) {
    if (c.type == kPara) {
        static const char* const kFormulas[5] = {
            "Y = X^g",
            "Y = (aX + b)^g from X = -b/a, 0 below",
            "Y = (aX + b)^g + c from X = -b/a, c below",
            "Y = (aX + b)^g from X = d, cX below",
            "Y = (aX + b)^g + e from X = d, cX + f below",
        };
        std::string out = Format("'para' form %u", c.function);
        if (full) out += Format(", %s", kFormulas[c.function]);
        out += ": " + Parameters(c);
        if (full && c.kind == tnt::kCurveParametric && !c.invertible)
            out += "; falls or stays level, so inverted through its samples";
        return out;
    }
    switch (c.kind) {
        case tnt::kCurveIdentity: return "identity (no entries)";
        case tnt::kCurveGamma: return Format("gamma %.6g", c.param[0]);
        case tnt::kCurveSampled:
            return Format("%u samples: %.4f at 0, %.4f at 0.5, %.4f at 1", c.length, c.table[0],
                          tnt::EvaluateToneCurve(c, 0.5), c.table[c.length - 1]);
        default: return "";
    }
}

std::string MatrixRows(const double* m, bool offsets) {
    std::string out;
    for (int r = 0; r < 3; ++r) {
        out += Format("%s[%.6g %.6g %.6g", r ? " " : "", m[3 * r], m[3 * r + 1], m[3 * r + 2]);
        out += offsets ? Format(" + %.6g]", m[9 + r]) : "]";
    }
    return out;
}

std::string GridWords(const tnt::LutTag& t) {
    std::string points;
    for (uint32_t k = 0; k < t.inputs; ++k) points += Format("%s%u", k ? " x " : "", t.gridPoints[k]);
    return Format("grid %s points, %u-bit values", points.c_str(), 8 * t.gridWidth);
}

void CurveSetLines(const char* name, const tnt::LutCurveSet& set, bool placed, std::vector<std::string>* lines) {
    if (!set.count) {
        lines->push_back(Format("  no %s", name));
        return;
    }
    lines->push_back(placed ? Format("  %s at %u:", name, set.offset) : Format("  %s:", name));
    for (uint32_t k = 0; k < set.count; ++k)
        lines->push_back(Format("    %u: %s", k + 1, CurveWords(set.curve[k], true).c_str()));
}

// The elements in the order a colour meets them.
std::vector<std::string> TableLines(const tnt::LutTag& t) {
    std::vector<std::string> lines;
    lines.push_back(Format("%s: %u inputs -> %u outputs", SigText(t.type).c_str(), t.inputs, t.outputs));
    const std::string grid = t.grid ? Format("  %s at %u", GridWords(t).c_str(), t.gridOffset) : "  no grid";
    const std::string matrix =
        t.hasMatrix ? Format("  matrix at %u: %s", t.matrixOffset, MatrixRows(t.matrix, true).c_str()) : "  no matrix";
    if (t.type == kAtoB) {
        CurveSetLines("A curves", t.inputCurves, true, &lines);
        lines.push_back(grid);
        CurveSetLines("M curves", t.middleCurves, true, &lines);
        lines.push_back(matrix);
        CurveSetLines("B curves", t.outputCurves, true, &lines);
    } else if (t.type == kBtoA) {
        CurveSetLines("B curves", t.inputCurves, true, &lines);
        lines.push_back(matrix);
        CurveSetLines("M curves", t.middleCurves, true, &lines);
        lines.push_back(grid);
        CurveSetLines("A curves", t.outputCurves, true, &lines);
    } else {
        lines.push_back(Format("  matrix: %s", MatrixRows(t.matrix, false).c_str()));
        CurveSetLines("input curves", t.inputCurves, false, &lines);
        lines.push_back(Format("  %s", GridWords(t).c_str()));
        CurveSetLines("output curves", t.outputCurves, false, &lines);
    }
    return lines;
}

std::string TableSummary(const tnt::LutTag& t) {
    std::string parts;
    auto add = [&](const std::string& part) { parts += (parts.empty() ? "" : ", ") + part; };
    const char* first = t.type == kAtoB ? "A curves" : t.type == kBtoA ? "B curves" : "input curves";
    const char* last = t.type == kAtoB ? "B curves" : t.type == kBtoA ? "A curves" : "output curves";
    if (t.inputCurves.count) add(first);
    if (t.type == kBtoA && t.hasMatrix) add("matrix");
    if (t.type == kBtoA && t.middleCurves.count) add("M curves");
    if (t.grid) add(GridWords(t));
    if (t.type == kAtoB && t.middleCurves.count) add("M curves");
    if (t.type == kAtoB && t.hasMatrix) add("matrix");
    if (t.outputCurves.count) add(last);
    return Format("%u -> %u: %s", t.inputs, t.outputs, parts.c_str());
}

// The text in quotes on one line: line breaks and other control
// characters become spaces, a long text is cut.
std::string Quoted(std::string text, size_t limit) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    return "\"" + (text.size() > limit ? text.substr(0, limit) + "..." : text) + "\"";
}

// Summary (one line) or details of a loaded tag.
std::vector<std::string> Describe(const tnt::TagReader& reader, bool full) {
    uint32_t type = 0;
    if (tnt::TagU32(reader, 0, &type)) return {Status(TNT_ERR_TAG_RANGE)};
    std::vector<std::string> lines;
    if (type == kCurv || type == kPara) {
        tnt::ToneCurve curve;
        const TntStatus st = tnt::ReadToneCurveAt(reader, 0, false, false, &curve, nullptr);
        lines.push_back(st ? Status(st) : CurveWords(curve, full));
        tnt::ReleaseToneCurve(&curve);
    } else if (type == kMft1 || type == kMft2 || type == kAtoB || type == kBtoA) {
        tnt::LutTag table;
        const TntStatus st = tnt::ReadLutTag(reader, &table);
        if (st) {
            lines.push_back(Status(st));
        } else if (full) {
            lines = TableLines(table);
        } else {
            lines.push_back(TableSummary(table));
        }
        tnt::ReleaseLutTag(&table);
    } else if (type == kDesc || type == kText || type == kMluc) {
        char text[1024];
        const TntStatus st = tnt::ReadTagText(reader, text, sizeof text, nullptr);
        if (st) return {Status(st)};
        if (!full || type != kMluc) return {full ? Quoted(text, 1000) : Quoted(text, 40)};
        constexpr uint32_t kShown = 32;
        tnt::TextRecord records[kShown];
        uint32_t count = 0;
        tnt::ReadTextRecords(reader, records, kShown, &count);
        lines.push_back(Format("%u text%s, shown: %s", count, count == 1 ? "" : "s", Quoted(text, 1000).c_str()));
        for (uint32_t i = 0; i < count && i < kShown; ++i) {
            char own[1024];
            tnt::ReadTextRecord(reader, records[i], own, sizeof own, nullptr);
            lines.push_back(Format("  %s-%s: %s", records[i].language, records[i].country, Quoted(own, 900).c_str()));
        }
    } else if (type == kXYZ) {
        for (uint64_t at = 8; at + 12 <= reader.size; at += 12) {
            double xyz[3];
            for (int k = 0; k < 3; ++k) {
                uint32_t raw;
                std::memcpy(&raw, reader.data + at + 4 * k, 4);
                xyz[k] = tnt::S15Fixed16ToDouble(raw);
            }
            lines.push_back(Format("X %.4f, Y %.4f, Z %.4f", xyz[0], xyz[1], xyz[2]));
            if (!full) break;
        }
    } else if (type == kSf32) {
        double m[9];
        const uint64_t count = reader.size >= 8 ? (reader.size - 8) / 4 : 0;
        for (uint64_t k = 0; k < count && k < 9; ++k) {
            uint32_t raw;
            std::memcpy(&raw, reader.data + 8 + 4 * k, 4);
            m[k] = tnt::S15Fixed16ToDouble(raw);
        }
        if (count == 9) {
            lines.push_back((full ? "3 x 3 matrix " : "") + MatrixRows(m, false));
        } else {
            lines.push_back(Format("%llu numbers", static_cast<unsigned long long>(count)));
        }
    } else if (type == kSig && reader.size >= 12) {
        uint32_t value;
        std::memcpy(&value, reader.data + 8, 4);
        lines.push_back(SigText(value));
    } else if (type == kDtim && reader.size >= 20) {
        uint16_t d[6];
        std::memcpy(d, reader.data + 8, sizeof d);
        lines.push_back(Format("%04u-%02u-%02u %02u:%02u:%02u", d[0], d[1], d[2], d[3], d[4], d[5]));
    } else if (full) {
        lines.push_back(Format("type %s, %u bytes, kept as stored", SigText(type).c_str(), reader.size));
    }
    return lines;
}

}  // namespace

std::string TagSummary(Profile* profile, TntSignature tag) {
    tnt::TagReader reader;
    if (TntStatus st = tnt::OpenTagReader(profile, tag, &reader)) return Status(st);
    const std::vector<std::string> lines = Describe(reader, false);
    return lines.empty() ? "" : lines[0];
}

std::vector<std::string> TagDetails(Profile* profile, TntSignature tag) {
    tnt::TagReader reader;
    if (TntStatus st = tnt::OpenTagReader(profile, tag, &reader)) return {Status(st)};
    uint32_t type = 0;
    tnt::TagU32(reader, 0, &type);
    std::vector<std::string> lines = {
        Format("%s: type %s, %u bytes", SigText(tag).c_str(), SigText(type).c_str(), reader.size)};
    for (std::string& line : Describe(reader, true)) lines.push_back("  " + line);
    return lines;
}

std::string TagText(Profile* profile, TntSignature tag) {
    tnt::TagReader reader;
    char text[1024];
    if (tnt::OpenTagReader(profile, tag, &reader) || tnt::ReadTagText(reader, text, sizeof text, nullptr)) return "";
    return text;
}

}  // namespace tool
