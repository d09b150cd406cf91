// The 16-bit encoding of colours between stages: code 0 and 65535 stand for
// a channel's nominal minimum and maximum, linearly in between. 'Lab ' uses
// its own ranges so that L = 100 is 0xFF00 and a = b = 0 is 0x8000.
#pragma once

#include <cstdint>

#include "tintwell.h"

namespace tnt {

struct PowerTable;

// Rounds half-way values up; clamps to 0 (also for NaN) and 65535.
uint16_t EncodeValue16(double value, double low, double high);
double DecodeValue16(uint16_t code, double low, double high);
double DecodeValue8(uint8_t code, double low, double high);

// One value per channel of `space`. Both always return TNT_OK.
TntStatus DecodeColor16(uint32_t space, const uint16_t* codes, double* values);
TntStatus EncodeColor16(uint32_t space, const double* values, uint16_t* codes);

// Moves a stage colour from `source` to `destination` in place: decode,
// convert, encode. On failure the status of the conversion is returned and
// `codes` is left as it was.
TntStatus ConvertColor16(uint32_t source, uint16_t* codes, uint32_t destination);

// ConvertColor16 from 'XYZ ' to 'Lab ' with the same codes as a result, the
// cube roots taken from `cubeRoot` (a table for LabCompandExponent(), or
// null) where they cannot change a code.
TntStatus ConvertXyzToLab16(uint16_t* codes, const PowerTable* cubeRoot);
// ConvertColor16 from 'Lab ' to 'XYZ ', the same codes without the
// dispatch over spaces, for the joins that run once per colour.
void ConvertLabToXyz16(uint16_t* codes);

}  // namespace tnt
