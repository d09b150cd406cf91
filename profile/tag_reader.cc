#include "profile/tag_reader.h"

#include <cstring>

#include "profile/byteorder.h"
#include "profile/container.h"

namespace tnt {

TntStatus OpenTagReader(Profile* profile, uint32_t signature, TagReader* reader) {
    if (!profile || !reader) return TNT_ERR_NULL_PARAMETER;
    *reader = TagReader{nullptr, 0};
    const uint32_t index = FindTagIndex(profile, signature);
    if (index == kNoTag || LoadTagData(profile, index) != TNT_OK) return TNT_ERR_TAG_NOT_FOUND;
    *reader = TagReader{profile->data[index], profile->directory[index].size};
    return TNT_OK;
}

bool TagHolds(const TagReader& reader, uint64_t offset, uint64_t length) {
    return reader.data && offset <= reader.size && length <= reader.size - offset;
}

TntStatus TagBytes(const TagReader& reader, uint64_t offset, uint64_t length, const uint8_t** bytes) {
    if (!TagHolds(reader, offset, length)) return TNT_ERR_TAG_RANGE;
    *bytes = reader.data + offset;
    return TNT_OK;
}

namespace {

// The value of the `size` bytes at `offset`, as `decode` reads them.
template <typename T, typename Decode>
TntStatus TagValue(const TagReader& reader, uint64_t offset, uint64_t size, T* value, Decode decode) {
    const uint8_t* p = nullptr;
    if (TntStatus st = TagBytes(reader, offset, size, &p)) return st;
    *value = decode(p);
    return TNT_OK;
}

template <typename T>
T HostValue(const uint8_t* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

}  // namespace

TntStatus TagU8(const TagReader& reader, uint64_t offset, uint8_t* value) {
    return TagValue(reader, offset, 1, value, [](const uint8_t* p) { return *p; });
}

TntStatus TagU16(const TagReader& reader, uint64_t offset, uint16_t* value) {
    return TagValue(reader, offset, 2, value, HostValue<uint16_t>);
}

TntStatus TagU32(const TagReader& reader, uint64_t offset, uint32_t* value) {
    return TagValue(reader, offset, 4, value, HostValue<uint32_t>);
}

TntStatus TagFileU16(const TagReader& reader, uint64_t offset, uint16_t* value) {
    return TagValue(reader, offset, 2, value, FileU16);
}

TntStatus TagFileU32(const TagReader& reader, uint64_t offset, uint32_t* value) {
    return TagValue(reader, offset, 4, value, FileU32);
}

TntStatus TagFileS15Fixed16(const TagReader& reader, uint64_t offset, double* value) {
    uint32_t raw = 0;
    if (TntStatus st = TagFileU32(reader, offset, &raw)) return st;
    *value = S15Fixed16ToDouble(raw);
    return TNT_OK;
}

TntStatus TagXYZNumber(const TagReader& reader, double xyz[3]) {
    const uint8_t* p = nullptr;
    if (TntStatus st = TagBytes(reader, 8, 12, &p)) return st;
    for (int k = 0; k < 3; ++k) {
        uint32_t raw;
        std::memcpy(&raw, p + 4 * k, 4);
        xyz[k] = S15Fixed16ToDouble(raw);
    }
    return TNT_OK;
}

TntStatus TagCurveEntries(const TagReader& reader, uint32_t* count, const uint8_t** entries) {
    uint32_t n = 0;
    if (TntStatus st = TagU32(reader, 8, &n)) return st;
    if (TntStatus st = TagBytes(reader, 12, 2 * uint64_t{n}, entries)) return st;
    *count = n;
    return TNT_OK;
}

}  // namespace tnt
