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

// How a prepared table's output curves are applied, found when the table is
// prepared and checked there entry by entry.
enum class OutputForm : uint8_t {
    // No output curves, or curves that give what the routines give without
    // them: v >> 8 for 8-bit links (links between matrix profiles), v for
    // 16-bit ones.
    kPlain,
    // Each curve is (v x scale + offset) >> kAffineShift in 32-bit unsigned
    // arithmetic, scale and offset per channel: lines, and staircases whose
    // steps all have one width (such as the rounding v x 255 / 65535).
    kAffine,
    // 8-bit curves through their step encoding (outputSteps).
    kSteps,
    // The full curves.
    kCurves,
};

// The shift of the affine form: 24 for 8-bit links, 16 for 16-bit ones.
constexpr uint32_t AffineShift(uint32_t precision) { return precision == 1 ? 24 : 16; }

// What a routine is specialised for: whether it reads the input curves
// (false when there are none or they are the identity, so the input is
// arithmetic) and how it applies the output curves.
struct RoutineForm {
    bool inputCurves;
    OutputForm output;
};

// The routine families PrepareLinkTable chooses among (tests switch them).
enum class KernelFamily : uint8_t {
    kDefault,    // the fastest family for the table on this CPU
    kBaseline,   // the per-pixel routine in baseline x86 (SSE2)
    kPerPixel,   // the per-pixel routine built for AVX2 and BMI2
    kAvx2,       // the AVX2 block routines, eight pixels at a time
    kAvx512,     // the AVX-512 block routines, sixteen pixels at a time
};

struct LinkInputEntry {
    uint32_t node;  // padded-node position of the cell's low corner along the channel
    uint32_t key;   // fraction << 16 | padded-node step along the channel
};

struct LinkLookups {
    LinkKernel kernel;    // the routine of the chosen family
    LinkKernel portable;  // the baseline routine (the other one, for tests)
    LinkKernel perPixel;  // the best one-pixel-at-a-time routine, to which
                          // the block routines hand short runs
    RoutineForm form;
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
    // The affine form's scale and offset per output channel.
    uint32_t outputScale[8];
    uint32_t outputOffset[8];
};

// Finds scale and offset such that every entry v of the curve (65536
// entries of 8 bits when precision is 1, else 16) is
// (v x scale + offset) >> AffineShift(precision) in 32-bit unsigned
// arithmetic; false when none does.
bool AffineCurve(const void* curve, uint32_t precision, uint32_t* scale, uint32_t* offset);


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

// Calls pick.template operator()<kInCurves, kOutput>() for a routine form:
// with ForChannelPair, how each instruction set's routines choose their
// instance. The pick returns null for forms it has no routine for.
template <typename Pick>
LinkKernel ForForm(RoutineForm form, Pick pick) {
    switch (form.output) {
        case OutputForm::kPlain:
            return form.inputCurves ? pick.template operator()<true, OutputForm::kPlain>()
                                    : pick.template operator()<false, OutputForm::kPlain>();
        case OutputForm::kAffine:
            return form.inputCurves ? pick.template operator()<true, OutputForm::kAffine>()
                                    : pick.template operator()<false, OutputForm::kAffine>();
        case OutputForm::kSteps:
            return form.inputCurves ? pick.template operator()<true, OutputForm::kSteps>()
                                    : pick.template operator()<false, OutputForm::kSteps>();
        case OutputForm::kCurves: break;
    }
    return form.inputCurves ? pick.template operator()<true, OutputForm::kCurves>()
                            : pick.template operator()<false, OutputForm::kCurves>();
}

// The fast variants usable for a prepared table on this CPU, best first.
int FastLinkKernels(const LinkTable* table, LinkKernel* kernels, int capacity);

// The baseline routine for a table's shape in a form, or null when the
// fast routines do not cover the shape (then no lookups are built).
LinkKernel PortableFastKernel(const LinkTable* table, RoutineForm form);

// Whether a table's input curves are all the identity: every 16-bit value
// to itself, or every 8-bit sample s to s x 257.
bool IdentityInputCurves(const LinkTable* table);
// The same routine compiled for AVX2 and BMI2 (link/fast_kernels_hsw.cc).
// Only for a CPU that has both: see HasHswInstructions.
LinkKernel HswFastKernel(const LinkTable* table, RoutineForm form);
bool HasHswInstructions();

// The block routines for a covered table (link/fast_kernels_avx2.cc,
// link/fast_kernels_avx512.cc), or null when this CPU lacks the
// instruction set or the channel pair has none (4 to 6). Whether the
// table's lookups exist is not checked: the routines need them only when
// they run.
LinkKernel Avx2FastKernel(const LinkTable* table, RoutineForm form);
LinkKernel Avx512FastKernel(const LinkTable* table, RoutineForm form);

// Which family PrepareLinkTable chooses from for tables prepared from then
// on; a family this CPU or table lacks gives the per-pixel routine. By
// default: the AVX-512 block routines for every table they cover where the
// CPU has AVX-512; else the AVX2 ones for 8-bit links whose input is
// arithmetic and whose output needs no full curves; else the per-pixel
// routine (AVX2 and BMI2 build where the CPU has them). Tests switch
// families to check every routine in one run.
void UseLinkKernelFamily(KernelFamily family);

}  // namespace tnt
