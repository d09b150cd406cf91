// The interpolation routines of a link: input curves, simplex interpolation
// in the grid in fixed point, output curves. One template makes all twelve:
// kIn == 0 is the generic routine for any channel pair; fixed counts give
// the unrolled routines with their ordering shortcuts and repeat cache.
//
// Every routine computes the same function of a pixel's samples. The sum of
// weights times node values is exact in 32 bits, so any falling order of the
// fractions (ties included: equal fractions give a zero weight to the vertex
// between them) yields the same bits.
//
// The repeat cache keeps the last computed input samples and output samples
// in locals instead of pointing back into the runs. So a copied pixel is
// exactly what computing it would give, and a run may be converted in place
// when no destination pixel reaches into a later source pixel: every routine
// reads a pixel completely before writing it, and never reads it again.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/table.h"
#include "tintwell.h"

namespace tnt {

// table, source run, destination run, pixel count, source step and
// destination step in samples (channels plus extras), progress or null.
using LinkKernel = TntStatus (*)(const LinkTable* table, const void* source, void* destination, int32_t count,
                                 int32_t sourceStep, int32_t destinationStep, LinkProgressProc progress);

// The routine TntLinkMatchColors uses for the table: the prepared fast
// routine when the table has lookups for one, else the plain routine.
LinkKernel ChooseLinkKernel(const LinkTable* table);

// The plain routines, by precision (1 = 8-bit set, anything else 16-bit) and
// key (inputChannels x 256 + outputChannels). PlainLinkKernel gives the
// unrolled routine for the five common keys and the generic one otherwise.
LinkKernel PlainLinkKernel(uint32_t precision, int32_t key);
LinkKernel GenericLinkKernel(uint32_t precision);

// Every routine that can convert this table on this CPU, the plain one
// first, then each fast variant its lookups allow (tests check them all
// against the generic routine). Returns how many were stored.
int LinkKernelVariants(const LinkTable* table, LinkKernel* kernels, int capacity);

namespace kernel_detail {

// Puts the channels in falling order of fraction. The generic form is an
// exchange sort; three and four channels use fixed decision trees.
template <int kIn>
inline void OrderFractions(const uint32_t* f, int inputs, int* order) {
    if constexpr (kIn == 3) {
        if (f[0] < f[1]) {
            if (f[0] < f[2]) {
                if (f[1] < f[2]) {
                    order[0] = 2, order[1] = 1, order[2] = 0;
                } else {
                    order[0] = 1, order[1] = 2, order[2] = 0;
                }
            } else {
                order[0] = 1, order[1] = 0, order[2] = 2;
            }
        } else {
            if (f[0] < f[2]) {
                order[0] = 2, order[1] = 0, order[2] = 1;
            } else if (f[1] < f[2]) {
                order[0] = 0, order[1] = 2, order[2] = 1;
            } else {
                order[0] = 0, order[1] = 1, order[2] = 2;
            }
        }
    } else if constexpr (kIn == 4) {
        // Order each pair, take the larger of the two larger ones and the
        // smaller of the two smaller ones, then order the two left over.
        int a = 0, b = 1, c = 2, d = 3;
        if (f[a] < f[b]) a = 1, b = 0;
        if (f[c] < f[d]) c = 3, d = 2;
        int high, low;
        if (f[a] < f[c]) {
            order[0] = c, high = a;
        } else {
            order[0] = a, high = c;
        }
        if (f[b] < f[d]) {
            order[3] = b, low = d;
        } else {
            order[3] = d, low = b;
        }
        if (f[high] < f[low]) {
            order[1] = low, order[2] = high;
        } else {
            order[1] = high, order[2] = low;
        }
    } else {
        for (int i = 0; i < inputs; ++i) order[i] = i;
        for (int i = 0; i + 1 < inputs; ++i)
            for (int j = i + 1; j < inputs; ++j)
                if (f[order[i]] < f[order[j]]) {
                    int t = order[i];
                    order[i] = order[j];
                    order[j] = t;
                }
    }
}

// One pixel: input values v (16-bit, after the input curves) to the
// interpolated 16-bit results r.
template <int kIn, int kOut>
inline void InterpolatePixel(const LinkTable* table, int inputs, int outputs, const uint32_t* v, uint32_t* r) {
    const uint32_t shift = table->indexShift;
    const uint32_t mask = table->fractionMask;
    uint32_t f[kLinkMaxChannels] = {};
    uint32_t base = 0;
    for (int c = 0; c < inputs; ++c) {
        // Full scale lands on the last node: its fraction is one whole cell.
        f[c] = v[c] == 65535 ? mask + 1 : (v[c] & mask);
        base += table->gridOffsets[c][v[c] >> shift];
    }
    int order[kLinkMaxChannels] = {};
    OrderFractions<kIn>(f, inputs, order);

    const uint16_t* grid = table->grid;
    uint32_t a[kLinkMaxChannels];
    uint32_t weight = mask + 1 - f[order[0]];
    const uint16_t* node = grid + base;
    for (int j = 0; j < outputs; ++j) a[j] = weight * node[j];
    uint32_t position = base;
    for (int k = 1; k <= inputs; ++k) {
        weight = k < inputs ? f[order[k - 1]] - f[order[k]] : f[order[inputs - 1]];
        position += table->gridOffsets[order[k - 1]][1];
        node = grid + position;
        for (int j = 0; j < outputs; ++j) a[j] += weight * node[j];
    }
    for (int j = 0; j < outputs; ++j) r[j] = a[j] >> shift;
}

template <typename Sample>
inline uint32_t InputValue(const LinkTable* table, int c, Sample sample) {
    // The curve length follows the sample width, so a sample never indexes
    // past its curve.
    constexpr uint32_t kLength = sizeof(Sample) == 1 ? 256 : 65536;
    if (table->hasInputCurves) return table->inputCurves[c * kLength + sample];
    return sizeof(Sample) == 1 ? uint32_t{sample} << 8 : uint32_t{sample};
}

template <typename Sample>
inline Sample OutputSample(const LinkTable* table, int j, uint32_t r) {
    if (table->hasOutputCurves) return static_cast<const Sample*>(table->outputCurves)[(size_t)j * 65536 + r];
    return static_cast<Sample>(sizeof(Sample) == 1 ? r >> 8 : r);
}

}  // namespace kernel_detail

// The routine template. kIn == 0: the generic routine (channel counts from
// the table, exchange sort, no repeat cache).
template <typename Sample, int kIn, int kOut>
TntStatus InterpolateRun(const LinkTable* table, const void* source, void* destination, int32_t count,
                         int32_t sourceStep, int32_t destinationStep, LinkProgressProc progress) {
    using namespace kernel_detail;
    constexpr bool kUnrolled = kIn > 0;
    const int inputs = kUnrolled ? kIn : table->inputChannels;
    const int outputs = kUnrolled ? kOut : table->outputChannels;
    const Sample* in = static_cast<const Sample*>(source);
    Sample* out = static_cast<Sample*>(destination);
    Sample lastIn[kLinkMaxChannels];
    Sample lastOut[kLinkMaxChannels];
    uint32_t status = 0;
    for (int32_t i = 0; i < count; ++i) {
        const Sample* pixel = in + static_cast<ptrdiff_t>(i) * sourceStep;
        Sample* result = out + static_cast<ptrdiff_t>(i) * destinationStep;
        bool repeat = false;
        if constexpr (kUnrolled) {
            repeat = i > 0;
            for (int c = 0; c < inputs && repeat; ++c) repeat = pixel[c] == lastIn[c];
        }
        if (repeat) {
            for (int j = 0; j < outputs; ++j) result[j] = lastOut[j];
        } else {
            uint32_t v[kLinkMaxChannels];
            for (int c = 0; c < inputs; ++c) {
                lastIn[c] = pixel[c];
                v[c] = InputValue<Sample>(table, c, pixel[c]);
            }
            uint32_t r[kLinkMaxChannels];
            InterpolatePixel<kIn, kOut>(table, inputs, outputs, v, r);
            for (int j = 0; j < outputs; ++j) {
                lastOut[j] = OutputSample<Sample>(table, j, r[j]);
                result[j] = lastOut[j];
            }
        }
        if (progress && (i & 1023) == 0) status = progress(i, count) & 0xFFFFu;
    }
    return static_cast<TntStatus>(status);
}

}  // namespace tnt
