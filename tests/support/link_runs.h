// Running link routines over test pixels held as 16-bit values, whatever
// the link's sample width.
#pragma once

#include <cstdint>
#include <vector>

#include "link/kernels.h"

namespace tnt_test {

// Destination samples start as this pattern so untouched extras show.
constexpr uint16_t kUntouched = 0xA5C3;

// Converts `count` pixels with the routine; the destination holds
// count x (outputs + destinationExtra) samples, extras left at kUntouched
// (its low byte for 8-bit links).
std::vector<uint16_t> RunKernel(tnt::LinkKernel kernel, const tnt::LinkTable* table,
                                const std::vector<uint16_t>& pixels, int count, int sourceExtra,
                                int destinationExtra);

// The same through TntLinkMatchColors.
std::vector<uint16_t> RunLink(ProfLink* link, const std::vector<uint16_t>& pixels, int count, int sourceExtra,
                              int destinationExtra);

// The same in place: both steps max(inputs, outputs), one buffer. Returns
// the output channels of each pixel, no extras.
std::vector<uint16_t> RunInPlace(tnt::LinkKernel kernel, const tnt::LinkTable* table,
                                 const std::vector<uint16_t>& pixels, int count);

// The output channels of each pixel of a run with destination extras.
std::vector<uint16_t> Channels(const std::vector<uint16_t>& run, int outputs, int destinationExtra);

}  // namespace tnt_test
