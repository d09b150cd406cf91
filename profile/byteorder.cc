#include "profile/byteorder.h"

#include <cstring>

#include "profile/container.h"

namespace tnt {

namespace {

uint32_t LoadU32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

void StoreU32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

void SwapU32At(uint8_t* p) { StoreU32(p, ReverseU32(LoadU32(p))); }

void SwapU16At(uint8_t* p) {
    uint8_t t = p[0];
    p[0] = p[1];
    p[1] = t;
}

// A view of one block that refuses to touch anything outside it. Counts are
// read as host values whatever the direction, so both directions walk the
// same way and ToFile undoes ToHost exactly.
struct BlockView {
    uint8_t* base;
    uint64_t size;
    uint32_t direction;

    bool Has(uint64_t offset, uint64_t length) const { return offset <= size && length <= size - offset; }

    // Reads the 32-bit count at `offset` as a host value, then converts it.
    // Returns 0 (and converts nothing) when the count is not in the block.
    uint32_t Count32(uint64_t offset) {
        if (!Has(offset, 4)) return 0;
        uint8_t* p = base + offset;
        uint32_t raw = LoadU32(p);
        uint32_t value = direction == ToHost ? ReverseU32(raw) : raw;
        SwapU32At(p);
        return value;
    }

    uint16_t Count16(uint64_t offset) {
        if (!Has(offset, 2)) return 0;
        uint8_t* p = base + offset;
        uint16_t raw;
        std::memcpy(&raw, p, 2);
        uint16_t value = direction == ToHost ? ReverseU16(raw) : raw;
        SwapU16At(p);
        return value;
    }

    void U32s(uint64_t offset, uint64_t count) {
        for (uint64_t i = 0; i < count && Has(offset + 4 * i, 4); ++i) SwapU32At(base + offset + 4 * i);
    }

    void U16s(uint64_t offset, uint64_t count) {
        for (uint64_t i = 0; i < count && Has(offset + 2 * i, 2); ++i) SwapU16At(base + offset + 2 * i);
    }

    void U64(uint64_t offset) {
        if (Has(offset, 8)) ConvertU64(base + offset);
    }
};

uint32_t Sig(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) | (uint32_t(uint8_t(s[2])) << 8) |
           uint32_t(uint8_t(s[3]));
}

// The 'desc' layout at `offset`: type, reserved, ASCII count n and text, a
// Unicode language code and count m, m big-endian UCS-2 characters (left as
// they are), a ScriptCode code, count byte and 67 bytes. Returns its length.
uint64_t ConvertDescription(BlockView& v, uint64_t offset) {
    uint64_t length = TextDescriptionSize(v.base + offset, v.Has(offset, 0) ? v.size - offset : 0, v.direction);
    v.U32s(offset, 1);
    uint64_t n = v.Count32(offset + 8);
    v.U32s(offset + 12 + n, 1);
    uint64_t m = v.Count32(offset + 16 + n);
    v.U16s(offset + 20 + n + 2 * m, 1);
    return length;
}

void ConvertMft2(BlockView& v) {
    v.U32s(12, 9);
    uint64_t inputEntries = v.Count16(48);
    uint64_t outputEntries = v.Count16(50);
    if (!v.Has(8, 3)) return;
    uint64_t inputs = v.base[8], outputs = v.base[9], grid = v.base[10];
    // The grid count only matters as far as the block reaches, so it is
    // capped as it grows instead of being allowed to overflow.
    uint64_t gridValues = outputs;
    for (uint64_t i = 0; i < inputs && gridValues <= v.size; ++i) gridValues *= grid;
    uint64_t offset = 52;
    uint64_t runs[3] = {inputs * inputEntries, gridValues, outputs * outputEntries};
    for (uint64_t run : runs) {
        if (run > v.size) run = v.size;
        v.U16s(offset, run);
        offset += 2 * run;
    }
}

void ConvertNamedColor2(BlockView& v) {
    v.U32s(8, 1);
    uint64_t count = v.Count32(12);
    uint64_t coordinates = v.Count32(16);
    uint64_t entryValues = 3 + coordinates;
    uint64_t entrySize = 32 + 2 * entryValues;
    uint64_t offset = 84;
    for (uint64_t i = 0; i < count && v.Has(offset, entrySize); ++i, offset += entrySize) v.U16s(offset + 32, entryValues);
}

void ConvertProfileSequence(BlockView& v) {
    uint64_t count = v.Count32(8);
    uint64_t offset = 12;
    for (uint64_t i = 0; i < count && v.Has(offset, 20); ++i) {
        v.U32s(offset, 2);
        v.U64(offset + 8);
        v.U32s(offset + 16, 1);
        offset += 20;
        offset += ConvertDescription(v, offset);
        if (!v.Has(offset, 0)) break;
        offset += ConvertDescription(v, offset);
    }
}

}  // namespace

void ConvertFirstU32(void* block) {
    if (SwapIccData) SwapU32At(static_cast<uint8_t*>(block));
}

void ConvertXYZNumber(void* p) {
    if (!SwapIccData) return;
    auto* b = static_cast<uint8_t*>(p);
    for (int i = 0; i < 3; ++i) SwapU32At(b + 4 * i);
}

void ConvertDateTime(void* p) {
    if (!SwapIccData) return;
    auto* b = static_cast<uint8_t*>(p);
    for (int i = 0; i < 6; ++i) SwapU16At(b + 2 * i);
}

void ConvertU64(void* p) {
    if (!SwapIccData) return;
    auto* b = static_cast<uint8_t*>(p);
    uint32_t high = ReverseU32(LoadU32(b));
    uint32_t low = ReverseU32(LoadU32(b + 4));
    StoreU32(b, low);
    StoreU32(b + 4, high);
}

uint64_t TextDescriptionSize(const void* p, uint64_t available, uint32_t direction) {
    auto* b = static_cast<const uint8_t*>(p);
    auto count = [&](uint64_t offset) -> uint64_t {
        if (offset + 4 > available) return 0;
        uint32_t raw = LoadU32(b + offset);
        return (SwapIccData && direction == ToHost) ? ReverseU32(raw) : raw;
    };
    uint64_t n = count(8);
    uint64_t m = count(16 + n);
    return 90 + n + 2 * m;
}

double S15Fixed16ToDouble(uint32_t value) {
    if (value == 0) return 0.0;
    if (value == 0x00010000u) return 1.0;
    return static_cast<double>(static_cast<int32_t>(value)) / 65536.0;
}

double U8Fixed8ToDouble(uint32_t value) {
    uint32_t v = value & 0xFFFFu;
    if (v == 0) return 0.0;
    if (v == 0x0100u) return 1.0;
    return static_cast<double>(v) / 256.0;
}

void ConvertTagBlock(void* block, uint32_t size, uint32_t direction) {
    if (!SwapIccData || !block || size < 4) return;
    BlockView v{static_cast<uint8_t*>(block), size, direction};
    uint32_t type = v.Count32(0);
    if (type == Sig("XYZ ")) {
        v.U32s(8, size >= 8 ? (size - 8) / 12 * 3 : 0);
    } else if (type == Sig("bfd ")) {
        uint64_t c1 = v.Count32(8);
        v.U16s(12, c1);
        uint64_t c2 = v.Count32(12 + 2 * c1);
        v.U16s(16 + 2 * c1, c2);
    } else if (type == Sig("curv")) {
        v.U16s(12, v.Count32(8));
    } else if (type == Sig("data") || type == Sig("sig ")) {
        v.U32s(8, 1);
    } else if (type == Sig("desc")) {
        // The type signature is converted already; undo it, then walk.
        SwapU32At(v.base);
        ConvertDescription(v, 0);
    } else if (type == Sig("dtim")) {
        v.U16s(8, 6);
    } else if (type == Sig("meas")) {
        v.U32s(8, 7);
    } else if (type == Sig("mft1")) {
        v.U32s(12, 9);
    } else if (type == Sig("mft2")) {
        ConvertMft2(v);
    } else if (type == Sig("ncl2")) {
        ConvertNamedColor2(v);
    } else if (type == Sig("ncol")) {
        v.U32s(8, 2);
    } else if (type == Sig("pseq")) {
        ConvertProfileSequence(v);
    } else if (type == Sig("scrn")) {
        v.U32s(16, 3ull * v.Count32(12));
    } else if (type == Sig("sf32")) {
        v.U32s(8, size >= 8 ? (size - 8) / 4 : 0);
    } else if (type == Sig("view")) {
        v.U32s(8, 7);
    }
}

TntStatus ConvertTagData(Profile* profile, uint32_t index, void* block, uint32_t direction) {
    if (!profile || index >= kMaxTags) return TNT_OK;
    ConvertTagBlock(block, profile->directory[index].size, direction);
    return TNT_OK;
}

void ConvertHeader(ProfileHeader* header) {
    if (!SwapIccData) return;
    auto* b = reinterpret_cast<uint8_t*>(header);
    for (int offset = 0; offset < 24; offset += 4) SwapU32At(b + offset);
    ConvertDateTime(b + 24);
    for (int offset = 36; offset < 56; offset += 4) SwapU32At(b + offset);
    ConvertU64(b + 56);
    for (int offset = 64; offset < 84; offset += 4) SwapU32At(b + offset);
}

}  // namespace tnt
