// ICC stores every number big-endian; the library keeps tag data in host
// order. These routines convert between the two, in place.
#pragma once

#include <bit>
#include <cstdint>

#include "tintwell.h"

struct Profile;

namespace tnt {

constexpr bool SwapIccData = std::endian::native == std::endian::little;
constexpr bool HostLittleEndian = std::endian::native == std::endian::little;

// Direction of a tag conversion.
constexpr uint32_t ToHost = 0;
constexpr uint32_t ToFile = 1;

inline uint32_t ReverseU32(uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
}
inline uint16_t ReverseU16(uint16_t v) { return static_cast<uint16_t>((v >> 8) | (v << 8)); }

inline uint32_t ConvertU32(uint32_t v) { return SwapIccData ? ReverseU32(v) : v; }
inline uint16_t ConvertU16(uint16_t v) { return SwapIccData ? ReverseU16(v) : v; }
inline uint32_t ConvertU32If(uint32_t v, uint32_t flag) { return flag ? ReverseU32(v) : v; }

// In-place conversions of values at any alignment.
void ConvertFirstU32(void* block);
void ConvertXYZNumber(void* p);
void ConvertDateTime(void* p);
void ConvertU64(void* p);

// 90 + n + 2m for the 'desc' structure at `p`, its counts read in the order
// valid for `direction`. `available` bytes may be read from `p`; a count
// that lies beyond them reads as 0. The result may exceed `available`.
uint64_t TextDescriptionSize(const void* p, uint64_t available, uint32_t direction);

double S15Fixed16ToDouble(uint32_t value);
double U8Fixed8ToDouble(uint32_t value);

// Converts one tag block of `size` bytes by its type signature. Never reads
// or writes outside the block, whatever its counts claim, and ToFile after
// ToHost restores any block byte for byte.
void ConvertTagBlock(void* block, uint32_t size, uint32_t direction);

// The block of directory entry `index`, sized by that entry. Returns 0.
TntStatus ConvertTagData(Profile* profile, uint32_t index, void* block, uint32_t direction);

// Converts the 128-byte header in place (the conversion is its own inverse).
void ConvertHeader(ProfileHeader* header);

}  // namespace tnt
