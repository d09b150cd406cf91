// The link handle and its sampled table: input curves, a regular grid over
// the input space, output curves. The builder fills a table once; the
// pixel routines only read it, so any number of threads may convert through
// one link at the same time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "tintwell.h"

namespace tnt {

struct LinkLookups;

// Field order and widths are those of the original 32-bit record; the
// asserts below pin them on hosts with 4-byte pointers.
struct LinkTable {
    uint32_t inputCurveLength;   // 256 (8-bit link) or 65536 (16-bit link)
    uint32_t outputCurveLength;  // always 65536
    uint32_t gridPoints;         // n nodes along every input dimension
    uint32_t precision;          // sample size in bytes: 1 or 2
    int32_t inputChannels;
    int32_t outputChannels;
    // inputChannels x inputCurveLength entries; curve c starts at c x length.
    uint16_t* inputCurves;
    // outputChannels x 65536 entries, uint8_t for an 8-bit link and uint16_t
    // for a 16-bit one; curve c starts at entry c x 65536.
    void* outputCurves;
    // n^inputChannels nodes of outputChannels values, the last input channel
    // varying fastest.
    uint16_t* grid;
    uint16_t indexShift;    // 16 - log2(n - 1)
    uint16_t fractionMask;  // 65535 >> log2(n - 1)
    uint32_t hasInputCurves;
    uint32_t hasOutputCurves;
    // Row d, entry i: i x outputChannels x n^(inputChannels - 1 - d), the
    // position in grid values of node i along dimension d.
    uint32_t gridOffsets[16][65];
    // Derived lookups for the fast routines (PrepareLinkTable); null means
    // the plain routines are used. Not part of the sampled data.
    LinkLookups* lookups;
};

constexpr int kLinkMaxChannels = 16;
constexpr uint32_t kLinkMaxGridPoints = 65;

// The fixed prefix must keep the 32-bit record's offsets.
static_assert(offsetof(LinkTable, inputCurveLength) == 0);
static_assert(offsetof(LinkTable, outputCurveLength) == 4);
static_assert(offsetof(LinkTable, gridPoints) == 8);
static_assert(offsetof(LinkTable, precision) == 12);
static_assert(offsetof(LinkTable, inputChannels) == 16);
static_assert(offsetof(LinkTable, outputChannels) == 20);
static_assert(offsetof(LinkTable, inputCurves) == 24);
static_assert(sizeof(void*) != 4 || offsetof(LinkTable, outputCurves) == 28);
static_assert(sizeof(void*) != 4 || offsetof(LinkTable, grid) == 32);
static_assert(sizeof(void*) != 4 || offsetof(LinkTable, indexShift) == 36);
static_assert(sizeof(void*) != 4 || offsetof(LinkTable, fractionMask) == 38);
static_assert(sizeof(void*) != 4 || offsetof(LinkTable, hasInputCurves) == 40);
static_assert(sizeof(void*) != 4 || offsetof(LinkTable, hasOutputCurves) == 44);
static_assert(sizeof(void*) != 4 || offsetof(LinkTable, gridOffsets) == 48);
static_assert(sizeof(void*) != 4 || offsetof(LinkTable, lookups) == 48 + 16 * 65 * 4);

// The position of the highest set bit of value (0 for 0 and 1).
uint32_t HighestBit(uint32_t value);

// Fills the scalar fields, nulls the three buffers and the lookups, clears
// both curve flags and fills shift, mask and offset rows. Channel counts must
// be 1 to 16 and gridPoints 2 to 65; the caller must refuse larger grids
// before allocating them (n^inputChannels x outputChannels can exceed 32 bits).
void InitLinkTable(LinkTable* table, uint32_t gridPoints, uint32_t precision, int32_t inputChannels,
                   int32_t outputChannels);

// Index shift, fraction mask and grid offset rows from gridPoints and the
// channel counts. Rows and entries beyond the table's shape are zero.
void FillLinkGeometry(LinkTable* table);

// Builds the derived lookups of the fast routines from the sampled table;
// call once after every section is filled (and again if the table is
// changed). Tables that the fast routines do not cover get none and are
// converted by the plain routines. 21002 when memory is short (the table
// stays usable without lookups).
TntStatus PrepareLinkTable(LinkTable* table);

// Frees the derived lookups alone; the table stays usable.
void ReleaseLinkLookups(LinkTable* table);

// Frees the three buffers (each if present), the lookups and the record.
// Null is accepted.
void ReleaseLinkTable(LinkTable* table);

}  // namespace tnt

// The handle callers receive; opaque to them.
struct ProfLink {
    tnt::LinkTable* table;
    TntSignature sourceSpace;
    TntSignature destinationSpace;
};
