#include "profile/lut_tag.h"

#include <cstring>
#include <initializer_list>

#include "platform/memory.h"
#include "profile/byteorder.h"
#include "profile/signatures.h"
#include "profile/tag_reader.h"

namespace tnt {

namespace {

constexpr uint32_t kMft1Header = 48;
constexpr uint32_t kMft2Header = 52;
constexpr uint32_t kMft1Entries = 256;
constexpr uint32_t kV4Header = 32;
constexpr uint32_t kV4MatrixSize = 48;  // twelve s15Fixed16Numbers
constexpr uint32_t kV4GridHeader = 20;  // sixteen grid sizes, precision, padding

uint64_t Padded(uint64_t size) { return (size + 3) & ~uint64_t{3}; }

// outputs x g0 x g1 x ..., capped once it passes `limit`, so that it
// cannot overflow whatever the sizes claim.
uint64_t GridValues(uint32_t outputs, const uint8_t* points, uint32_t inputs, uint64_t limit) {
    uint64_t values = outputs;
    for (uint32_t k = 0; k < inputs && values <= limit; ++k) values *= points[k];
    return values;
}

// `count` curves of `entries` values each from `source` (host order), as
// sampled curves; the set is active when an entry differs from the
// identity ramp of its width (k for 8 bits, trunc(k x 65535 / (entries -
// 1)) for 16).
TntStatus ReadMftCurves(const uint8_t* source, uint32_t type, uint32_t count, uint32_t entries, uint32_t offset,
                        LutCurveSet* set) {
    const bool sixteenBit = type == kMft2;
    const double step = sixteenBit ? 65535.0 / (entries - 1) : 1.0;
    set->count = count;
    set->offset = offset;
    for (uint32_t c = 0; c < count; ++c) {
        auto* values = static_cast<double*>(AllocBlock(sizeof(double) * entries));
        if (!values) return TNT_ERR_NO_MEMORY;
        ToneCurve& curve = set->curve[c];
        curve.kind = kCurveSampled;
        curve.type = type;
        curve.table = values;
        curve.length = entries;
        for (uint32_t k = 0; k < entries; ++k) {
            const uint32_t index = c * entries + k;
            uint16_t wide = 0;
            if (sixteenBit) std::memcpy(&wide, source + 2 * index, 2);
            const uint32_t value = sixteenBit ? wide : source[index];
            values[k] = sixteenBit ? value / 65535.0 : value / 255.0;
            if (value != static_cast<uint32_t>(k * step)) set->active = true;
        }
    }
    return TNT_OK;
}

TntStatus ReadMft(const TagReader& reader, uint32_t type, LutTag* t) {
    const bool sixteenBit = type == kMft2;
    const uint32_t header = sixteenBit ? kMft2Header : kMft1Header;
    const uint8_t* base = nullptr;
    if (TntStatus st = TagBytes(reader, 0, header, &base)) return st;
    const uint32_t inputs = base[8], outputs = base[9], grid = base[10];
    if (inputs == 0 || inputs > kMaxLutChannels || outputs == 0 || outputs > kMaxLutChannels || grid < 2)
        return TNT_ERR_TAG_NOT_FOUND;
    uint16_t entries[2] = {kMft1Entries, kMft1Entries};
    if (sixteenBit) std::memcpy(entries, base + 48, 4);
    if (entries[0] < 2 || entries[1] < 2) return TNT_ERR_TAG_NOT_FOUND;
    for (uint32_t k = 0; k < inputs; ++k) t->gridPoints[k] = static_cast<uint8_t>(grid);

    const uint64_t width = sixteenBit ? 2 : 1;
    const uint64_t gridValues = GridValues(outputs, t->gridPoints, inputs, reader.size);
    const uint64_t inputValues = uint64_t{inputs} * entries[0], outputValues = uint64_t{outputs} * entries[1];
    const uint8_t* tables = nullptr;
    if (gridValues > reader.size || TagBytes(reader, header, width * (inputValues + gridValues + outputValues), &tables))
        return TNT_ERR_TAG_RANGE;

    t->inputs = inputs;
    t->outputs = outputs;
    t->hasMatrix = true;
    for (int e = 0; e < 9; ++e) {
        uint32_t raw;
        std::memcpy(&raw, base + 12 + 4 * e, 4);
        t->matrix[e] = S15Fixed16ToDouble(raw);
    }
    t->matrixOffset = 12;
    t->inputEntries = entries[0];
    t->outputEntries = entries[1];
    t->gridWidth = uint32_t(width);
    t->gridValues = gridValues;
    t->gridOffset = uint32_t(header + width * inputValues);
    t->grid = base + t->gridOffset;
    const uint32_t outputOffset = uint32_t(t->gridOffset + width * gridValues);
    TntStatus st = ReadMftCurves(tables, type, inputs, entries[0], header, &t->inputCurves);
    if (!st) st = ReadMftCurves(base + outputOffset, type, outputs, entries[1], outputOffset, &t->outputCurves);
    return st;
}

// Where one element of an 'mAB '/'mBA ' lies in the tag.
struct Element {
    uint32_t offset;
    uint64_t size;
};

// The bytes `count` curves take from `offset`, each after the first
// starting on a 4-byte boundary.
TntStatus CurveSetExtent(const TagReader& reader, uint32_t offset, uint32_t count, uint64_t* size) {
    uint64_t at = offset;
    for (uint32_t c = 0; c < count; ++c) {
        uint64_t length = 0;
        if (TntStatus st = ToneCurveExtent(reader, at, &length)) return st;
        at += c + 1 < count ? Padded(length) : length;
    }
    *size = at - offset;
    return TNT_OK;
}

TntStatus ReadCurveSet(const TagReader& reader, uint32_t offset, uint32_t count, LutCurveSet* set) {
    set->count = count;
    set->offset = offset;
    uint64_t at = offset;
    for (uint32_t c = 0; c < count; ++c) {
        uint64_t length = 0;
        if (TntStatus st = ReadToneCurveAt(reader, at, true, false, &set->curve[c], &length)) return st;
        if (set->curve[c].kind != kCurveIdentity) set->active = true;
        at += Padded(length);
    }
    return TNT_OK;
}

TntStatus ReadV4(const TagReader& reader, uint32_t type, LutTag* t) {
    const uint8_t* base = nullptr;
    if (TntStatus st = TagBytes(reader, 0, kV4Header, &base)) return st;
    const uint32_t inputs = base[8], outputs = base[9];
    if (inputs == 0 || inputs > kMaxLutChannels || outputs == 0 || outputs > kMaxLutChannels)
        return TNT_ERR_TAG_NOT_FOUND;
    const uint32_t bOffset = FileU32(base + 12), matrixOffset = FileU32(base + 16), mOffset = FileU32(base + 20),
                   gridOffset = FileU32(base + 24), aOffset = FileU32(base + 28);
    // 'mAB ': A (inputs), grid, M and matrix (outputs), B (outputs).
    // 'mBA ': B (inputs), matrix and M (inputs), grid, A (outputs).
    const bool aToB = type == kLutAtoB;
    const uint32_t matrixChannels = aToB ? outputs : inputs;
    if (!bOffset || (mOffset && !matrixOffset) || (matrixOffset && matrixChannels != 3) ||
        (!gridOffset && inputs != outputs))
        return TNT_ERR_TAG_NOT_FOUND;

    Element elements[5] = {};
    int count = 0;
    const uint32_t bCount = aToB ? outputs : inputs, aCount = aToB ? inputs : outputs;
    const struct {
        uint32_t offset, curves;
    } sets[3] = {{bOffset, bCount}, {mOffset, matrixChannels}, {aOffset, aCount}};
    for (const auto& set : sets) {
        if (!set.offset) continue;
        elements[count].offset = set.offset;
        if (TntStatus st = CurveSetExtent(reader, set.offset, set.curves, &elements[count].size)) return st;
        ++count;
    }
    if (matrixOffset) elements[count++] = {matrixOffset, kV4MatrixSize};
    if (gridOffset) {
        const uint8_t* grid = nullptr;
        if (TntStatus st = TagBytes(reader, gridOffset, kV4GridHeader, &grid)) return st;
        for (uint32_t k = 0; k < inputs; ++k) {
            if (grid[k] < 2) return TNT_ERR_TAG_NOT_FOUND;
            t->gridPoints[k] = grid[k];
        }
        const uint32_t width = grid[16];
        if (width != 1 && width != 2) return TNT_ERR_TAG_NOT_FOUND;
        t->gridValues = GridValues(outputs, t->gridPoints, inputs, reader.size);
        t->gridWidth = width;
        elements[count++] = {gridOffset, kV4GridHeader + width * t->gridValues};
    }
    for (int i = 0; i < count; ++i) {
        if (elements[i].offset < kV4Header) return TNT_ERR_TAG_NOT_FOUND;
        if (!TagHolds(reader, elements[i].offset, elements[i].size)) return TNT_ERR_TAG_RANGE;
        for (int j = 0; j < i; ++j) {
            const Element &a = elements[i], &b = elements[j];
            if (a.offset < b.offset + b.size && b.offset < a.offset + a.size) return TNT_ERR_TAG_NOT_FOUND;
        }
    }

    t->inputs = inputs;
    t->outputs = outputs;
    if (matrixOffset) {
        t->hasMatrix = true;
        t->matrixOffset = matrixOffset;
        for (int e = 0; e < 12; ++e) t->matrix[e] = S15Fixed16ToDouble(FileU32(base + matrixOffset + 4 * e));
    }
    if (gridOffset) {
        t->gridOffset = gridOffset + kV4GridHeader;
        t->grid = base + t->gridOffset;
        t->gridFileOrder = true;
    }
    LutCurveSet& aCurves = aToB ? t->inputCurves : t->outputCurves;
    LutCurveSet& bCurves = aToB ? t->outputCurves : t->inputCurves;
    TntStatus st = ReadCurveSet(reader, bOffset, bCount, &bCurves);
    if (!st && mOffset) st = ReadCurveSet(reader, mOffset, matrixChannels, &t->middleCurves);
    if (!st && aOffset) st = ReadCurveSet(reader, aOffset, aCount, &aCurves);
    return st;
}

}  // namespace

TntStatus ReadLutTag(const TagReader& reader, LutTag* table) {
    std::memset(table, 0, sizeof *table);
    uint32_t type = 0;
    if (TntStatus st = TagU32(reader, 0, &type)) return st;
    TntStatus st;
    if (type == kMft1 || type == kMft2) {
        st = ReadMft(reader, type, table);
    } else if (type == kLutAtoB || type == kLutBtoA) {
        st = ReadV4(reader, type, table);
    } else {
        return TNT_ERR_TAG_NOT_FOUND;
    }
    if (st) {
        ReleaseLutTag(table);
        return st;
    }
    table->type = type;
    return TNT_OK;
}

void ReleaseLutTag(LutTag* table) {
    for (LutCurveSet* set : {&table->inputCurves, &table->middleCurves, &table->outputCurves})
        for (ToneCurve& curve : set->curve) ReleaseToneCurve(&curve);
}

uint32_t LutGridValue(const LutTag& table, uint64_t index) {
    if (table.gridWidth == 1) return table.grid[index];
    if (table.gridFileOrder) return FileU16(table.grid + 2 * index);
    uint16_t value;
    std::memcpy(&value, table.grid + 2 * index, 2);
    return value;
}

}  // namespace tnt
