// The table form of the dictionary: a PCS-to-device table becomes
// EncodeABC (its input curves), a RenderTable (its grid, 8 bits a value)
// and the RenderTable's procedures (its output curves).
#include <cmath>
#include <cstring>

#include "colour/convert.h"
#include "platform/memory.h"
#include "postscript/crd.h"
#include "postscript/number_format.h"
#include "profile/byteorder.h"
#include "profile/elements.h"
#include "profile/tag_reader.h"
#include "stage/stage.h"
#include "profile/signatures.h"

namespace tnt {

namespace {

// Hex strings break their line after this many values.
constexpr uint32_t kHexValuesPerLine = 128;

// An 'mBA ' is sampled at its own grid's nodes where nothing stands in
// front of the grid, else at this many points per axis or its own number
// if that is larger; its A curves at 256 points.
constexpr uint32_t kSampledGridPoints = 33;
constexpr uint32_t kSampledCurveEntries = 256;

// A stored 'mft1'/'mft2' curve entry widened to 16 bits ('mft1' bytes
// times 257), back from the reader's samples: each is the entry divided by
// 255 or 65535, so rounding gives the entry exactly.
uint16_t StoredEntry(const LutTag& lut, double sample) {
    if (lut.type == kMft1) return static_cast<uint16_t>(std::lround(sample * 255.0) * 257);
    return static_cast<uint16_t>(std::lround(sample * 65535.0));
}

TntStatus WriteStoredCurve(const LutTag& lut, const ToneCurve& curve, const char* prefix, uint16_t* buffer,
                           CrdWriteProc write, uintptr_t user) {
    for (uint32_t j = 0; j < curve.length; ++j) buffer[j] = StoredEntry(lut, curve.table[j]);
    return WriteTableProc(buffer, curve.length, prefix, write, user);
}

TntStatus WriteLabEncoding(CrdWriteProc write, uintptr_t user) {
    if (TntStatus st = write(user, "/EncodeLMN [\n")) return st;
    for (int k = 0; k < 3; ++k) {
        if (TntStatus st = write(user, "{ ")) return st;
        if (TntStatus st = WriteCrdNumber(kD50White[k] / kD50White[1], 4, write, user, " div ")) return st;
        if (TntStatus st = write(user, "dup 0 lt {pop 0} if dup 0.008856 gt {1 3 div exp 16 116 div sub}"
                                       "{7.787 mul}ifelse} bind")) {
            return st;
        }
        if (TntStatus st = write(user, k < 2 ? "\n" : "]\n")) return st;
    }
    return write(user, "/MatrixABC [0 500 0 116 -500 200 0 0 -200]\n");
}

TntStatus WriteTableMatrix(const LutTag& table, CrdWriteProc write, uintptr_t user) {
    if (TntStatus st = write(user, "/MatrixABC [")) return st;
    // PostScript takes the matrix by columns.
    for (int c = 0; c < 3; ++c) {
        for (int r = 0; r < 3; ++r) {
            const bool last = c == 2 && r == 2;
            if (TntStatus st = WriteCrdNumber(table.matrix[3 * r + c], 2, write, user, last ? "]\n" : " ")) {
                return st;
            }
        }
    }
    return TNT_OK;
}

// "/RenderTable [NA NB NC", then NA strings, one per value of the first
// grid index, each holding the top 8 bits of the o x NB x NC values that
// follow in table order (top(index) gives them), then o.
template <typename TopByte>
TntStatus WriteRenderTable(const uint32_t points[3], uint32_t outputs, TopByte top, CrdWriteProc write,
                           uintptr_t user) {
    char line[64] = "/RenderTable [";
    for (int k = 0; k < 3; ++k) {
        std::strcat(line, FormatInteger(points[k]).text);
        std::strcat(line, k < 2 ? " " : "\n");
    }
    if (TntStatus st = write(user, line)) return st;
    if (TntStatus st = write(user, "[\n")) return st;
    const uint32_t perString = outputs * points[1] * points[2];
    for (uint32_t a = 0; a < points[0]; ++a) {
        if (TntStatus st = write(user, "<")) return st;
        for (uint32_t v = 0; v < perString; ++v) {
            if (TntStatus st = write(user, FormatHex2(top(uint64_t{a} * perString + v)).text)) return st;
            if ((v + 1) % kHexValuesPerLine == 0) {
                if (TntStatus st = write(user, "\n")) return st;
            }
        }
        if (TntStatus st = write(user, ">\n")) return st;
    }
    if (TntStatus st = write(user, "]\n")) return st;
    std::strcpy(line, FormatInteger(outputs).text);
    std::strcat(line, "\n");
    return write(user, line);
}

// Lab arrives as L 0..100, a and b -128..127; the table takes 0..1.
const char* LabPrefix(uint32_t pcs, uint32_t channel) {
    return pcs != kLab ? nullptr : (channel == 0 ? "100 div" : "128 add 255 div");
}

// An 'mft1'/'mft2' as it is stored.
TntStatus WriteStoredTable(uint32_t pcs, const LutTag& lut, uint16_t* buffer, CrdWriteProc write, uintptr_t user) {
    if (pcs == kXYZ) {
        if (TntStatus st = WriteTableMatrix(lut, write, user)) return st;
    }
    if (TntStatus st = write(user, "/EncodeABC [\n")) return st;
    for (uint32_t c = 0; c < lut.inputs; ++c) {
        const ToneCurve& curve = lut.inputCurves.curve[c];
        if (TntStatus st = WriteStoredCurve(lut, curve, LabPrefix(pcs, c), buffer, write, user)) return st;
    }
    if (TntStatus st = write(user, "]\n")) return st;
    const uint32_t points[3] = {lut.gridPoints[0], lut.gridPoints[1], lut.gridPoints[2]};
    auto top = [&](uint64_t index) { return lut.gridWidth == 2 ? LutGridValue(lut, index) >> 8 : LutGridValue(lut, index); };
    if (TntStatus st = WriteRenderTable(points, lut.outputs, top, write, user)) return st;
    for (uint32_t k = 0; k < lut.outputs; ++k) {
        if (TntStatus st = WriteStoredCurve(lut, lut.outputCurves.curve[k], nullptr, buffer, write, user)) return st;
    }
    return write(user, "]\n");
}

// The grid of an 'mBA ' up to its A curves, sampled through the stage at
// `points` per axis of Lab: each node's device codes, top 8 bits.
TntStatus SampleGrid(const TransformStage& stage, uint32_t pcs, uint32_t space, const uint32_t points[3],
                     uint8_t* bytes) {
    const uint32_t outputs = stage.data.lut.outputChannels;
    uint32_t node[3];
    for (node[0] = 0; node[0] < points[0]; ++node[0])
        for (node[1] = 0; node[1] < points[1]; ++node[1])
            for (node[2] = 0; node[2] < points[2]; ++node[2]) {
                // The EncodeABC values u in 0..1 are ICC v4 Lab, L 100 at
                // 65280 in the stage's codes; an XYZ table gets their XYZ, 1
                // at 32768 as the table reads it.
                WorkColor colour{};
                double u[3];
                for (int k = 0; k < 3; ++k) u[k] = double(node[k]) / (points[k] - 1);
                if (pcs == kLab) {
                    for (int k = 0; k < 3; ++k) colour.channel[k] = static_cast<uint16_t>(std::lround(65280.0 * u[k]));
                } else {
                    double xyz[3] = {100.0 * u[0], 255.0 * u[1] - 128.0, 255.0 * u[2] - 128.0};
                    if (TntStatus st = ConvertColor(kLab, xyz, kXYZ, xyz)) return st;
                    for (int k = 0; k < 3; ++k) {
                        const double code = xyz[k] / 100.0 * 32768.0;
                        colour.channel[k] = static_cast<uint16_t>(code <= 0.0 ? 0.0 : code >= 65535.0 ? 65535.0 : std::lround(code));
                    }
                }
                TntStatus st =
                    ApplyLutStageBetween(&stage, pcs, space, &colour, &colour, kPassInputCurves | kPassCore);
                if (st) return st;
                for (uint32_t k = 0; k < outputs; ++k) *bytes++ = static_cast<uint8_t>(colour.channel[k] >> 8);
            }
    return TNT_OK;
}

// An 'mBA ', whatever its PCS: Lab ABC (as for a Lab table), identity
// EncodeABC procedures that only scale Lab to 0..1, a render table sampled
// through the stage at Lab nodes, and its A curves sampled as the
// RenderTable's procedures.
TntStatus WriteSampledTable(Profile* profile, uint32_t pcs, const CrdTable& table, CrdWriteProc write,
                            uintptr_t user) {
    static const uint16_t kIdentity[2] = {0, 65535};
    if (TntStatus st = WriteLabEncoding(write, user)) return st;
    if (TntStatus st = write(user, "/EncodeABC [\n")) return st;
    for (uint32_t c = 0; c < 3; ++c) {
        if (TntStatus st = WriteTableProc(kIdentity, 2, LabPrefix(kLab, c), write, user)) return st;
    }
    if (TntStatus st = write(user, "]\n")) return st;

    TransformStage stage;
    ClearStage(&stage);
    stage.profile = profile;
    stage.kind = kStageLookupTable;
    stage.direction = kDirectionReverse;
    if (TntStatus st = ReadLutTable(&stage.data.lut, profile, table.tag)) return st;
    const LutStageData& lut = stage.data.lut;
    // Lab nodes fall on the table's own where it reads Lab straight into
    // its grid.
    const bool nodesOwn = pcs == kLab && lut.grid && !lut.useMatrix && !lut.inputCurvesActive;
    uint32_t points[3];
    for (int k = 0; k < 3; ++k) {
        const uint32_t own = lut.grid ? lut.gridPoints[k] : 0;
        points[k] = nodesOwn ? own : (own > kSampledGridPoints ? own : kSampledGridPoints);
    }
    const uint32_t space = GetProfileColorSpace(profile), outputs = lut.outputChannels;
    auto* bytes = static_cast<uint8_t*>(AllocBlock(size_t(points[0]) * points[1] * points[2] * outputs));
    TntStatus st = bytes ? SampleGrid(stage, pcs, space, points, bytes) : TNT_ERR_NO_MEMORY;
    if (!st) st = WriteRenderTable(points, outputs, [&](uint64_t index) { return uint32_t(bytes[index]); }, write, user);
    uint16_t codes[kSampledCurveEntries];
    for (uint32_t k = 0; k < outputs && !st; ++k) {
        LutCurvePass(&lut, space, k, kPassOutputCurves, 0, 257, kSampledCurveEntries, codes);
        st = WriteTableProc(codes, kSampledCurveEntries, nullptr, write, user);
    }
    FreeBlock(bytes);
    ReleaseStageTables(&stage);
    return st ? st : write(user, "]\n");
}

}  // namespace

TntStatus ReadCrdTable(Profile* profile, uint32_t tag, CrdTable* table) {
    std::memset(table, 0, sizeof *table);
    TagReader reader;
    if (TntStatus st = OpenTagReader(profile, tag, &reader)) return st;
    uint32_t type = 0;
    if (TntStatus st = TagU32(reader, 0, &type)) return st;
    if (type != kMft1 && type != kMft2 && type != kLutBtoA) return TNT_ERR_TAG_NOT_FOUND;
    // The render table is always three-dimensional; a table of another
    // shape is refused before its size is looked at.
    uint8_t inputs = 0;
    if (TntStatus st = TagU8(reader, 8, &inputs)) return st;
    if (inputs != 3) return TNT_ERR_TAG_NOT_FOUND;
    table->tag = tag;
    return ReadLutTag(reader, &table->lut);
}

void ReleaseCrdTable(CrdTable* table) { ReleaseLutTag(&table->lut); }

TntStatus WriteTableBody(Profile* profile, const CrdTable& table, CrdWriteProc write, uintptr_t user) {
    const uint32_t pcs = GetProfilePCS(profile);
    const LutTag& lut = table.lut;
    if (lut.type == kLutBtoA) return WriteSampledTable(profile, pcs, table, write, user);
    const uint32_t entries = lut.inputEntries > lut.outputEntries ? lut.inputEntries : lut.outputEntries;
    auto* buffer = static_cast<uint16_t*>(AllocBlock(sizeof(uint16_t) * entries));
    if (!buffer) return TNT_ERR_NO_MEMORY;
    TntStatus st = pcs == kLab ? WriteLabEncoding(write, user) : TNT_OK;
    if (!st) st = WriteStoredTable(pcs, lut, buffer, write, user);
    FreeBlock(buffer);
    return st;
}

}  // namespace tnt
