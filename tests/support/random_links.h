// Link tables for the pixel-routine tests: random grids and curves, built
// through the library's own allocator so the library can release them.
#pragma once

#include <cstdint>
#include <vector>

#include "link/table.h"

namespace tnt_test {

// A small, fast generator; tests fill megabytes of curves.
struct Noise {
    uint64_t state;
    uint64_t Next() {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    }
    uint32_t Below(uint32_t limit) { return static_cast<uint32_t>((Next() >> 11) % limit); }
};

// The 16-bit values where cells meet for a table: every multiple of the
// cell size, one either side of it, 65535, 65280 and their neighbours.
std::vector<uint16_t> EdgeValues(const tnt::LinkTable* table);

// A table with every buffer allocated and filled with noise; both curve
// flags set. About a fifth of the input-curve entries hold edge values so
// that pixels land on nodes and cell borders through the curves too.
tnt::LinkTable* RandomTable(Noise& noise, int inputs, int outputs, uint32_t gridPoints, uint32_t precision);

// The largest of 33, 17, 9, 5, 3 grid points whose grid stays under
// `limit` values for this channel pair.
uint32_t GridPointsFor(int inputs, int outputs, uint64_t limit);

// `count` pixels of `inputs` samples (8-bit samples in the low byte) with
// `extra` samples after each: random samples, edge values, runs of repeated
// pixels and pixels that differ from the one before in one channel.
std::vector<uint16_t> TestPixels(Noise& noise, const tnt::LinkTable* table, int count, int extra);

}  // namespace tnt_test
