// Bounded reads of one tag's data (host byte order). Every lookup-table,
// tone-curve and XYZ reader goes through here, so a tag whose counts claim
// more than it holds is refused in one place and with one status, before
// anything is allocated for what the counts claim.
#pragma once

#include <cstdint>

#include "tintwell.h"

namespace tnt {

// A loaded tag: its block inside the profile and the directory size. Valid
// while the tag is neither resized nor removed and the profile stays open.
struct TagReader {
    const uint8_t* data;
    uint32_t size;
};

// Loads the tag (first entry with `signature`). 20003 for a null profile or
// reader; 5005 when the tag is absent or cannot be loaded.
TntStatus OpenTagReader(Profile* profile, uint32_t signature, TagReader* reader);

// Whether `length` bytes from `offset` lie inside the tag. Taken in 64 bits
// so that sums and products of counts cannot wrap round.
bool TagHolds(const TagReader& reader, uint64_t offset, uint64_t length);

// The `length` bytes at `offset`; 5015 when they reach past the tag.
TntStatus TagBytes(const TagReader& reader, uint64_t offset, uint64_t length, const uint8_t** bytes);
TntStatus TagU8(const TagReader& reader, uint64_t offset, uint8_t* value);
TntStatus TagU16(const TagReader& reader, uint64_t offset, uint16_t* value);
TntStatus TagU32(const TagReader& reader, uint64_t offset, uint32_t* value);

// Values as stored in the file (big-endian), for the parts of tags that
// the container leaves in file order.
TntStatus TagFileU16(const TagReader& reader, uint64_t offset, uint16_t* value);
TntStatus TagFileU32(const TagReader& reader, uint64_t offset, uint32_t* value);
// A big-endian s15Fixed16Number.
TntStatus TagFileS15Fixed16(const TagReader& reader, uint64_t offset, double* value);
inline uint16_t FileU16(const uint8_t* p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t FileU32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// The first XYZNumber (bytes 8 to 19) as three s15Fixed16 values; a longer
// tag is read no further. 5015 when the tag is shorter.
TntStatus TagXYZNumber(const TagReader& reader, double xyz[3]);

// The 'curv' layout whatever the type: the count at byte 8 and the u16
// entries from byte 12. 5015 when the count or the entries reach past the
// tag.
TntStatus TagCurveEntries(const TagReader& reader, uint32_t* count, const uint8_t** entries);

}  // namespace tnt
