// Lookups derived from a sampled link table for the fast routines. They
// hold nothing new: every entry is computed from the table, and the fast
// routines give exactly the plain routines' samples.
//
// The fast routines turn each input channel into a node position and a
// sort key (fraction << 16 | step to the next node along that channel), so
// that ordering the keys orders the fractions and carries the vertex steps
// along. They fetch a node's channels as one vector from a copy of the grid
// padded to 4 or 8 values per node and stored minus 32768, so that signed
// 16-bit multiply-adds weight two vertices at once; the weights of a cell
// sum to 2^shift, which makes the bias an exact shift of the result.
#pragma once

#include <cstdint>

#include "link/kernels.h"
#include "link/table.h"

namespace tnt {

struct LinkInputEntry {
    uint32_t node;  // padded-node position of the cell's low corner along the channel
    uint32_t key;   // fraction << 16 | padded-node step along the channel
};

struct LinkLookups {
    LinkKernel kernel;    // the best routine for this table on this CPU
    LinkKernel portable;  // the baseline routine (the other one, for tests)
    LinkKernel perPixel;  // the best one-pixel-at-a-time routine, to which
                          // the AVX2 block routines hand short runs
    uint32_t width;       // values per padded node: 4 or 8
    uint32_t cell;        // fraction mask + 1: the weight of a whole cell
    uint32_t steps[4];    // padded-node step along each input channel
    uint32_t stepSum;     // from a cell's low corner to its high corner
    uint32_t nodes[4][65];  // padded-node position of node i along channel c
    // 8-bit links: entry c x 256 + sample, the input curve folded in.
    LinkInputEntry input[4 * 256];
    int16_t* grid;        // nodes x width values, each grid value - 32768
    // 8-bit links with 3 or 4 output curves that are step functions in
    // blocks of 2^outputShift values (at most one change per block): entry
    // c x (65536 >> outputShift) + block is switch << 0 | below << 16 |
    // (from - below mod 256) << 24, where the curve is `below` before the
    // value `switch` and `from` from it on. A few kilobytes instead of 64 KB
    // per channel, which noise images otherwise miss in cache. Null when the
    // curves do not encode so.
    uint32_t* outputSteps;
    uint32_t outputShift;
};


// The step encoding of a table's 8-bit output curves in blocks of 2^shift
// values, or null when some block changes more than once (or memory is
// short). Entries as in LinkLookups::outputSteps.
uint32_t* EncodeOutputSteps(const LinkTable* table, uint32_t shift);

// Calls pick.template operator()<kIn, kOut>() for the channel pair of a
// key (inputs x 256 + outputs) that has unrolled routines; null for others.
// Each instruction set's routines choose their instance through it.
template <typename Pick>
LinkKernel ForChannelPair(int32_t key, Pick pick) {
    switch (key) {
        case 3 * 256 + 3: return pick.template operator()<3, 3>();
        case 3 * 256 + 4: return pick.template operator()<3, 4>();
        case 4 * 256 + 3: return pick.template operator()<4, 3>();
        case 4 * 256 + 4: return pick.template operator()<4, 4>();
        case 4 * 256 + 6: return pick.template operator()<4, 6>();
        default: return nullptr;
    }
}

// The fast variants usable for a prepared table on this CPU, best first.
int FastLinkKernels(const LinkTable* table, LinkKernel* kernels, int capacity);

// The baseline routine for a table's shape and flags, or null when the
// fast routines do not cover it (then no lookups are built).
// With outputSteps, the routine that reads the output curves through the
// lookups' step encoding (8-bit, 3 or 4 outputs, curves on); with
// identityInput (16-bit links whose input curves return every value as it
// is), the routine that reads no input curves.
LinkKernel PortableFastKernel(const LinkTable* table, bool outputSteps = false, bool identityInput = false);

// Whether a table's input curves are all the identity: every 16-bit value
// to itself, or every 8-bit sample s to s x 257.
bool IdentityInputCurves(const LinkTable* table);
// The same routine compiled for AVX2 and BMI2 (link/fast_kernels_hsw.cc).
// Only for a CPU that has both: see HasHswInstructions.
LinkKernel HswFastKernel(const LinkTable* table, bool outputSteps = false, bool identityInput = false);
bool HasHswInstructions();

// The AVX2 routine for a covered table (link/fast_kernels_avx2.cc), or null
// when this CPU lacks AVX2 or the channel pair has none (4 to 6). Whether
// the table's lookups exist is not checked: the routine needs them only
// when it runs. Flags as for PortableFastKernel; identityInput applies to
// 8-bit links too (curves that map a sample s to s x 257).
LinkKernel Avx2FastKernel(const LinkTable* table, bool outputSteps = false, bool identityInput = false);

// Which fast routine PrepareLinkTable chooses for tables prepared from then
// on. By default, where the CPU has AVX2: the AVX2 block routine for 8-bit
// links with arithmetic input and step-encoded (or no) output curves, the
// per-pixel routine compiled for AVX2 and BMI2 otherwise; else the baseline
// one. With baselineOnly, always the baseline (SSE2) routine; with gathers
// (and baselineOnly clear), the AVX2 block routines wherever they exist.
// Tests switch these to check every routine in one run.
void UseBaselineLinkKernelsOnly(bool baselineOnly);
void UseGatherLinkKernels(bool gathers);

}  // namespace tnt
