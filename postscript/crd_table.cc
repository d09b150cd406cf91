// The table form of the dictionary: a PCS-to-device 'mft1' or 'mft2' table
// becomes EncodeABC (its input curves), a RenderTable (its grid, 8 bits a
// value) and the RenderTable's procedures (its output curves).
#include <cstring>

#include "colour/convert.h"
#include "platform/memory.h"
#include "postscript/crd.h"
#include "postscript/number_format.h"
#include "profile/byteorder.h"
#include "profile/elements.h"
#include "profile/tag_reader.h"
#include "profile/signatures.h"

namespace tnt {

namespace {

// Hex strings break their line after this many values.
constexpr uint32_t kHexValuesPerLine = 128;

// One curve value of the tag, widened to 16 bits ('mft1' bytes times 257).
TntStatus ReadCurveValue(const TagReader& reader, const CrdTable& table, uint64_t offset, uint16_t* value) {
    if (table.wide) return TagU16(reader, offset, value);
    uint8_t raw = 0;
    if (TntStatus st = TagU8(reader, offset, &raw)) return st;
    *value = static_cast<uint16_t>(raw * 257u);
    return TNT_OK;
}

// `entries` curve values starting at `offset`, then written as a table
// procedure.
TntStatus WriteCurve(Profile* profile, const CrdTable& table, uint32_t offset, uint32_t entries,
                     const char* prefix, uint16_t* buffer, CrdWriteProc write, uintptr_t user) {
    const uint64_t width = table.wide ? 2 : 1;
    TagReader reader;
    if (TntStatus st = OpenTagReader(profile, table.tag, &reader)) return st;
    for (uint32_t j = 0; j < entries; ++j) {
        if (TntStatus st = ReadCurveValue(reader, table, offset + j * width, &buffer[j])) return st;
    }
    return WriteTableProc(buffer, entries, prefix, write, user);
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

TntStatus WriteTableMatrix(const CrdTable& table, CrdWriteProc write, uintptr_t user) {
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

// g strings, one per value of the first grid index, each holding the top 8
// bits of the o * g * g values that follow in table order.
TntStatus WriteGrid(Profile* profile, const CrdTable& table, CrdWriteProc write, uintptr_t user) {
    const uint32_t g = table.gridPoints;
    const uint32_t perString = table.outputs * g * g;
    const uint64_t width = table.wide ? 2 : 1;
    TagReader reader;
    const uint8_t* data = nullptr;
    if (TntStatus st = OpenTagReader(profile, table.tag, &reader)) return st;
    if (TntStatus st = TagBytes(reader, table.gridOffset, width * perString * g, &data)) return st;
    for (uint32_t a = 0; a < g; ++a) {
        if (TntStatus st = write(user, "<")) return st;
        for (uint32_t v = 0; v < perString; ++v) {
            const uint64_t index = uint64_t{a} * perString + v;
            uint32_t top;
            if (table.wide) {
                uint16_t value;
                std::memcpy(&value, data + 2 * index, 2);
                top = value >> 8;
            } else {
                top = data[index];
            }
            if (TntStatus st = write(user, FormatHex2(top).text)) return st;
            if ((v + 1) % kHexValuesPerLine == 0) {
                if (TntStatus st = write(user, "\n")) return st;
            }
        }
        if (TntStatus st = write(user, ">\n")) return st;
    }
    return TNT_OK;
}

TntStatus WriteTableText(Profile* profile, const CrdTable& table, uint16_t* buffer, CrdWriteProc write,
                         uintptr_t user) {
    const uint32_t pcs = GetProfilePCS(profile);
    if (pcs == kLab) {
        if (TntStatus st = WriteLabEncoding(write, user)) return st;
    } else if (pcs == kXYZ) {
        if (TntStatus st = WriteTableMatrix(table, write, user)) return st;
    }

    if (TntStatus st = write(user, "/EncodeABC [\n")) return st;
    const uint32_t width = table.wide ? 2 : 1;
    const uint32_t inputStart = table.wide ? 52 : 48;
    for (uint32_t c = 0; c < table.inputs; ++c) {
        // Lab arrives as L 0..100, a and b -128..127; the curves take 0..1.
        const char* prefix = pcs != kLab ? nullptr : (c == 0 ? "100 div" : "128 add 255 div");
        const uint32_t offset = inputStart + c * table.inputEntries * width;
        if (TntStatus st = WriteCurve(profile, table, offset, table.inputEntries, prefix, buffer, write, user)) {
            return st;
        }
    }
    if (TntStatus st = write(user, "]\n")) return st;

    const uint32_t g = table.gridPoints;
    char line[64] = "/RenderTable [";
    for (int k = 0; k < 3; ++k) {
        std::strcat(line, FormatInteger(g).text);
        std::strcat(line, k < 2 ? " " : "\n");
    }
    if (TntStatus st = write(user, line)) return st;
    if (TntStatus st = write(user, "[\n")) return st;
    if (TntStatus st = WriteGrid(profile, table, write, user)) return st;
    if (TntStatus st = write(user, "]\n")) return st;
    std::strcpy(line, FormatInteger(table.outputs).text);
    std::strcat(line, "\n");
    if (TntStatus st = write(user, line)) return st;
    for (uint32_t k = 0; k < table.outputs; ++k) {
        const uint32_t offset = table.outputOffset + k * table.outputEntries * width;
        if (TntStatus st = WriteCurve(profile, table, offset, table.outputEntries, nullptr, buffer, write, user)) {
            return st;
        }
    }
    return write(user, "]\n");
}

}  // namespace

TntStatus ReadCrdTable(Profile* profile, uint32_t tag, CrdTable* table) {
    TagReader reader;
    const uint8_t* head = nullptr;
    if (TntStatus st = OpenTagReader(profile, tag, &reader)) return st;
    if (TntStatus st = TagBytes(reader, 0, 48, &head)) return st;
    uint32_t type;
    std::memcpy(&type, head, 4);
    if (type != kMft1 && type != kMft2) return TNT_ERR_TAG_NOT_FOUND;
    CrdTable t{};
    t.tag = tag;
    t.wide = type == kMft2;
    t.inputs = head[8];
    t.outputs = head[9];
    t.gridPoints = head[10];
    for (int i = 0; i < 9; ++i) {
        uint32_t fixed;
        std::memcpy(&fixed, head + 12 + 4 * i, 4);
        t.matrix[i] = S15Fixed16ToDouble(fixed);
    }
    uint64_t headerSize = 48;
    t.inputEntries = t.outputEntries = 256;
    if (t.wide) {
        uint16_t entries[2];
        if (TntStatus st = TagU16(reader, 48, &entries[0])) return st;
        if (TntStatus st = TagU16(reader, 50, &entries[1])) return st;
        t.inputEntries = entries[0];
        t.outputEntries = entries[1];
        headerSize = 52;
    }
    // The grid is always written three-dimensional, and the table
    // procedures need two entries to interpolate between.
    if (t.inputs != 3 || t.outputs == 0 || t.gridPoints < 2 || t.inputEntries < 2 || t.outputEntries < 2) {
        return TNT_ERR_TAG_NOT_FOUND;
    }
    // Everything below is read in place or by offset: the tag must hold all
    // that its counts promise before any of it is touched.
    const uint64_t width = t.wide ? 2 : 1;
    const uint64_t g = t.gridPoints;
    const uint64_t gridOffset = headerSize + width * t.inputs * t.inputEntries;
    const uint64_t outputOffset = gridOffset + width * t.outputs * g * g * g;
    const uint64_t end = outputOffset + width * t.outputs * t.outputEntries;
    if (!TagHolds(reader, 0, end)) return TNT_ERR_TAG_RANGE;
    t.gridOffset = static_cast<uint32_t>(gridOffset);
    t.outputOffset = static_cast<uint32_t>(outputOffset);
    *table = t;
    return TNT_OK;
}

TntStatus WriteTableBody(Profile* profile, const CrdTable& table, CrdWriteProc write, uintptr_t user) {
    const uint32_t entries = table.inputEntries > table.outputEntries ? table.inputEntries : table.outputEntries;
    auto* buffer = static_cast<uint16_t*>(AllocBlock(sizeof(uint16_t) * entries));
    if (!buffer) return TNT_ERR_NO_MEMORY;
    const TntStatus st = WriteTableText(profile, table, buffer, write, user);
    FreeBlock(buffer);
    return st;
}

}  // namespace tnt
