// Channel counts and nominal channel ranges of every colour space signature.
// The ranges are what a 16-bit stage code of 0 and 65535 stand for.
#pragma once

#include <cstdint>

#include "tintwell.h"

namespace tnt {

// The widest space in the table ('spkt'); a buffer this long holds a colour
// of any space.
constexpr uint16_t kMaxSpaceChannels = 36;

// Channel count; unlisted signatures have 3 channels.
uint16_t SpaceChannelCount(uint32_t space);

// Nominal minimum and maximum of one channel. The channel index is not
// checked against the channel count.
double SpaceChannelMin(uint32_t space, uint16_t channel);
double SpaceChannelMax(uint32_t space, uint16_t channel);

// True for the device-independent spaces the conversion engine knows,
// including the two it only converts into ('LChm', 'Labm').
bool IsConvertibleSpace(uint32_t space);

}  // namespace tnt
