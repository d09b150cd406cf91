// The fast routines: the same function as the plain routines, from the
// lookups of a prepared table (link/lookups.h). One pixel at a time, with
// branch-free ordering of the fractions and whole-node vector fetches.
// Included by the translation units that instantiate it for one
// instruction set each, each in its own namespace (TNT_FAST_NAMESPACE), so
// that no routine built for one set can stand in for another's.
#pragma once

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "link/lookups.h"

#define TNT_INLINE inline __attribute__((always_inline))

#ifndef TNT_FAST_NAMESPACE
#define TNT_FAST_NAMESPACE fast
#endif

namespace tnt::TNT_FAST_NAMESPACE {

TNT_INLINE uint32_t Max(uint32_t a, uint32_t b) { return a > b ? a : b; }
TNT_INLINE uint32_t Min(uint32_t a, uint32_t b) { return a > b ? b : a; }

// Falling order of the keys; equal fractions may come in any order.
template <int kIn>
TNT_INLINE void SortKeys(uint32_t* k) {
    if constexpr (kIn == 3) {
        uint32_t high = Max(Max(k[0], k[1]), k[2]);
        uint32_t low = Min(Min(k[0], k[1]), k[2]);
        // The one left over: every key cancels out but the middle one.
        k[1] = k[0] ^ k[1] ^ k[2] ^ high ^ low;
        k[0] = high;
        k[2] = low;
    } else {
        auto exchange = [](uint32_t& high, uint32_t& low) {
            uint32_t a = high, b = low;
            high = Max(a, b);
            low = Min(a, b);
        };
        exchange(k[0], k[1]);
        exchange(k[2], k[3]);
        exchange(k[0], k[2]);
        exchange(k[1], k[3]);
        exchange(k[1], k[2]);
    }
}

template <int kOut>
TNT_INLINE __m128i LoadNode(const int16_t* grid, size_t node) {
    if constexpr (kOut <= 4)
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(grid + node * 4));
    else
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(grid + node * 8));
}

// w0 x a + w1 x b per channel, as 32-bit sums; the high half of an
// 8-value node goes to a second sum.
template <int kOut>
TNT_INLINE void MultiplyAdd(__m128i a, __m128i b, uint32_t weights, __m128i& low, __m128i& high) {
    __m128i w = _mm_set1_epi32(static_cast<int>(weights));
    low = _mm_add_epi32(low, _mm_madd_epi16(_mm_unpacklo_epi16(a, b), w));
    if constexpr (kOut > 4) high = _mm_add_epi32(high, _mm_madd_epi16(_mm_unpackhi_epi16(a, b), w));
}

// A pixel's samples as one number for the repeat test, from loads of the
// exact pixel width.
template <typename Sample, int kIn>
TNT_INLINE uint64_t PixelKey(const Sample* p) {
    if constexpr (sizeof(Sample) * kIn == 3) {
        uint16_t low;
        std::memcpy(&low, p, 2);
        return low | uint64_t{p[2]} << 16;
    } else if constexpr (sizeof(Sample) * kIn == 6) {
        uint32_t low;
        std::memcpy(&low, p, 4);
        return low | uint64_t{p[2]} << 32;
    } else if constexpr (sizeof(Sample) * kIn == 4) {
        uint32_t key;
        std::memcpy(&key, p, 4);
        return key;
    } else {
        uint64_t key;
        std::memcpy(&key, p, 8);
        return key;
    }
}

// The low 64 bits of v; 32-bit hosts have no 64-bit register move.
TNT_INLINE uint64_t LowQuad(__m128i v) {
#if defined(__x86_64__) || defined(_M_X64)
    return static_cast<uint64_t>(_mm_cvtsi128_si64(v));
#else
    uint64_t q;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(&q), v);
    return q;
#endif
}

// Stores the low kBytes bytes of v.
template <int kBytes>
TNT_INLINE void StoreBytes(void* destination, __m128i v) {
    auto* d = static_cast<uint8_t*>(destination);
    if constexpr (kBytes <= 8) {
        uint64_t q = LowQuad(v);
        std::memcpy(d, &q, kBytes);
    } else {
        uint64_t q = LowQuad(v);
        uint32_t t = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(v, 8)));
        std::memcpy(d, &q, 8);
        std::memcpy(d + 8, &t, kBytes - 8);
    }
}

// The output curves at the interpolated values, packed sample after sample.
// The lane numbers must be constants, hence the index pack.
template <typename Sample, int... kJ>
TNT_INLINE __m128i CurveOutputs(const Sample* curves, __m128i r, std::integer_sequence<int, kJ...>) {
    constexpr int kPerWord = 8 / sizeof(Sample);
    uint64_t packed[2] = {0, 0};
    ((packed[kJ / kPerWord] |= uint64_t{(curves + kJ * 65536)[static_cast<size_t>(static_cast<uint32_t>(_mm_extract_epi16(r, kJ)))]}
                               << (8 * sizeof(Sample) * (kJ % kPerWord))),
     ...);
    return _mm_set_epi64x(static_cast<int64_t>(packed[1]), static_cast<int64_t>(packed[0]));
}

// What a run reads from the table and its lookups, copied once before the
// first pixel: a store of 8-bit samples may alias anything, so fields read
// through the pointers would be loaded again for every pixel.
struct RunFields {
    const LinkInputEntry* input;
    const uint16_t* inputCurves;
    const uint32_t (*nodes)[65];
    uint32_t steps[4];
    uint32_t fractionMask, indexShift;
    const int16_t* grid;
    uint32_t cell, stepSum;
    const void* outputCurves;
    const uint32_t* outputSteps;
    size_t outputBlocks;
    __m128i shiftCount, stepShift;
    uint32_t outputScale[8], outputOffset[8];
};

TNT_INLINE RunFields Fields(const LinkTable* table) {
    const LinkLookups* lookups = table->lookups;
    RunFields f;
    f.input = lookups->input;
    f.inputCurves = table->inputCurves;
    f.nodes = lookups->nodes;
    for (int c = 0; c < 4; ++c) f.steps[c] = lookups->steps[c];
    f.fractionMask = table->fractionMask;
    f.indexShift = table->indexShift;
    f.grid = lookups->grid;
    f.cell = lookups->cell;
    f.stepSum = lookups->stepSum;
    f.outputCurves = table->outputCurves;
    f.outputSteps = lookups->outputSteps;
    f.outputBlocks = size_t{65536} >> lookups->outputShift;
    f.shiftCount = _mm_cvtsi32_si128(table->indexShift);
    f.stepShift = _mm_cvtsi32_si128(static_cast<int>(lookups->outputShift));
    for (int j = 0; j < 8; ++j) {
        f.outputScale[j] = lookups->outputScale[j];
        f.outputOffset[j] = lookups->outputOffset[j];
    }
    return f;
}

// 8-bit output curves through their step encoding (link/lookups.h): each
// channel's block entry gives the sample below and from the block's switch
// point, picked by an unsigned compare of the value with the switch point.
template <int... kJ>
TNT_INLINE __m128i StepOutputs(const RunFields& f, __m128i r, std::integer_sequence<int, kJ...>) {
    const uint32_t* steps = f.outputSteps;
    const size_t blocks = f.outputBlocks;
    const __m128i index = _mm_srl_epi16(r, f.stepShift);
    uint32_t e[4] = {0, 0, 0, 0};
    ((e[kJ] = steps[kJ * blocks + static_cast<uint32_t>(_mm_extract_epi16(index, kJ))]), ...);
    const __m128i entries = _mm_set_epi32(static_cast<int>(e[3]), static_cast<int>(e[2]), static_cast<int>(e[1]),
                                          static_cast<int>(e[0]));
    const __m128i zero = _mm_setzero_si128();
    // Low halves: all ones where the switch point is at most the value.
    const __m128i reached = _mm_cmpeq_epi16(_mm_subs_epu16(entries, _mm_unpacklo_epi16(r, zero)), zero);
    const __m128i step = _mm_and_si128(_mm_srli_epi32(entries, 24), reached);
    __m128i samples = _mm_add_epi8(_mm_srli_epi32(entries, 16), step);
    samples = _mm_and_si128(samples, _mm_set1_epi32(0xFF));
    samples = _mm_packs_epi32(samples, samples);
    return _mm_packus_epi16(samples, samples);
}

// Output curves of the affine form, channel by channel, packed sample after
// sample.
template <typename Sample, int... kJ>
TNT_INLINE __m128i AffineOutputs(const RunFields& f, __m128i r, std::integer_sequence<int, kJ...>) {
    constexpr int kPerWord = 8 / sizeof(Sample);
    constexpr uint32_t shift = AffineShift(sizeof(Sample));
    uint64_t packed[2] = {0, 0};
    ((packed[kJ / kPerWord] |= uint64_t{(static_cast<uint32_t>(_mm_extract_epi16(r, kJ)) * f.outputScale[kJ] +
                                         f.outputOffset[kJ]) >> shift}
                               << (8 * sizeof(Sample) * (kJ % kPerWord))),
     ...);
    return _mm_set_epi64x(static_cast<int64_t>(packed[1]), static_cast<int64_t>(packed[0]));
}

// One pixel up to its interpolated 16-bit values, before the output curves.
template <typename Sample, int kIn, int kOut, bool kInCurves>
TNT_INLINE __m128i Interpolate(const RunFields& f, const Sample* pixel) {
    size_t node = 0;
    uint32_t k[kIn];
#pragma GCC unroll 4
    for (int c = 0; c < kIn; ++c) {
        if constexpr (sizeof(Sample) == 1) {
            const LinkInputEntry& entry = f.input[c * 256 + pixel[c]];
            node += entry.node;
            k[c] = entry.key;
        } else {
            uint32_t v = kInCurves ? f.inputCurves[c * 65536 + pixel[c]] : pixel[c];
            // 65535 & mask is mask, so full scale adds one to make a whole cell.
            uint32_t fraction = (v & f.fractionMask) + ((v + 1) >> 16);
            node += f.nodes[c][v >> f.indexShift];
            k[c] = fraction << 16 | f.steps[c];
        }
    }
    SortKeys<kIn>(k);
    const int16_t* grid = f.grid;
    const uint32_t f0 = k[0] >> 16, f1 = k[1] >> 16, f2 = k[2] >> 16;
    const size_t p1 = node + (k[0] & 0xFFFF), p2 = p1 + (k[1] & 0xFFFF);
    const size_t last = node + f.stepSum;
    __m128i low = _mm_setzero_si128(), high = _mm_setzero_si128();
    MultiplyAdd<kOut>(LoadNode<kOut>(grid, node), LoadNode<kOut>(grid, p1), (f.cell - f0) | (f0 - f1) << 16,
                      low, high);
    if constexpr (kIn == 3) {
        MultiplyAdd<kOut>(LoadNode<kOut>(grid, p2), LoadNode<kOut>(grid, last), (f1 - f2) | f2 << 16, low, high);
    } else {
        const uint32_t f3 = k[3] >> 16;
        const size_t p3 = p2 + (k[2] & 0xFFFF);
        MultiplyAdd<kOut>(LoadNode<kOut>(grid, p2), LoadNode<kOut>(grid, p3), (f1 - f2) | (f2 - f3) << 16, low, high);
        MultiplyAdd<kOut>(LoadNode<kOut>(grid, last), _mm_setzero_si128(), f3, low, high);
    }
    // Sums are (value - 32768) x 2^shift plus a remainder below 2^shift,
    // so the arithmetic shift is exact and the results fit signed lanes.
    __m128i r = _mm_packs_epi32(_mm_sra_epi32(low, f.shiftCount), _mm_sra_epi32(high, f.shiftCount));
    return _mm_xor_si128(r, _mm_set1_epi16(static_cast<int16_t>(0x8000)));
}

// Interpolated values to output samples, packed in the low bytes.
template <typename Sample, int kOut, OutputForm kOutput>
TNT_INLINE __m128i Output(const RunFields& f, __m128i r) {
    if constexpr (kOutput == OutputForm::kSteps) {
        return StepOutputs(f, r, std::make_integer_sequence<int, kOut>());
    } else if constexpr (kOutput == OutputForm::kCurves) {
        return CurveOutputs<Sample>(static_cast<const Sample*>(f.outputCurves), r,
                                    std::make_integer_sequence<int, kOut>());
    } else if constexpr (kOutput == OutputForm::kAffine) {
        return AffineOutputs<Sample>(f, r, std::make_integer_sequence<int, kOut>());
    } else if constexpr (sizeof(Sample) == 1) {
        return _mm_packus_epi16(_mm_srli_epi16(r, 8), r);
    } else {
        return r;
    }
}

// Output curves are read a batch of pixels at a time, after the batch is
// interpolated: the reads of a batch do not wait for one another, so on
// noise images their cache misses overlap instead of following one pixel
// after another.
template <OutputForm kOutput>
constexpr int kBatch = kOutput == OutputForm::kCurves || kOutput == OutputForm::kSteps ? 16 : 1;

// The routine. Sample: uint8_t or uint16_t; kInCurves only matters for
// 16-bit links (8-bit input curves are folded into the input entries).
template <typename Sample, int kIn, int kOut, bool kInCurves, OutputForm kOutput>
TntStatus FastRun(const LinkTable* table, const void* source, void* destination, int32_t count, int32_t sourceStep,
                  int32_t destinationStep, LinkProgressProc progress) {
    const RunFields f = Fields(table);
    const Sample* in = static_cast<const Sample*>(source);
    Sample* out = static_cast<Sample*>(destination);
    const ptrdiff_t inStep = sourceStep, outStep = destinationStep;
    constexpr int batch = kBatch<kOutput>;

    uint32_t status = 0;
    // The repeat cache keeps the last computed pixel's samples and output,
    // so it never reads the run again; repeated pixels skip the output
    // curves too.
    uint64_t lastKey = PixelKey<Sample, kIn>(in) ^ 1;  // the first pixel is always computed
    __m128i lastOutput = _mm_setzero_si128();
    auto output = [&](__m128i values) __attribute__((always_inline)) {
        return Output<Sample, kOut, kOutput>(f, values);
    };
    auto convert = [&](const Sample* pixel, Sample* result) __attribute__((always_inline)) {
        uint64_t key = PixelKey<Sample, kIn>(pixel);
        if (key != lastKey) {
            lastKey = key;
            lastOutput = output(Interpolate<Sample, kIn, kOut, kInCurves>(f, pixel));
        }
        StoreBytes<kOut * sizeof(Sample)>(result, lastOutput);
    };
    // Where most pixels repeat the one before (smooth images), the batch's
    // second pass costs more than it saves: after a batch that interpolated
    // at most half its pixels, the rest of the 1024 go one at a time.
    int32_t singleUntil = 0;
    // Progress comes after the first pixel of every 1024, so the inner loop
    // runs without checks.
    int32_t i = 0;
    while (i < count) {
        const int32_t end = count - i > 1024 ? i + 1024 : count;
        convert(in + i * inStep, out + i * outStep);
        if (progress) status = progress(i, count) & 0xFFFFu;
        for (int32_t at = i + 1; at < end; at += batch) {
            const Sample* pixel = in + at * inStep;
            Sample* result = out + at * outStep;
            if constexpr (batch == 1) {
                convert(pixel, result);
            } else {
                const int32_t n = end - at < batch ? end - at : batch;
                if (at < singleUntil) {
                    for (; at < end; ++at, pixel += inStep, result += outStep) convert(pixel, result);
                    break;
                }
                __m128i values[batch];
                uint32_t computed = 0;  // bit k: pixel k was interpolated
                for (int32_t k = 0; k < n; ++k, pixel += inStep) {
                    uint64_t key = PixelKey<Sample, kIn>(pixel);
                    if (key != lastKey) {
                        lastKey = key;
                        values[k] = Interpolate<Sample, kIn, kOut, kInCurves>(f, pixel);
                        computed |= 1u << k;
                    }
                }
                for (int32_t k = 0; k < n; ++k, result += outStep) {
                    if (computed >> k & 1) lastOutput = output(values[k]);
                    StoreBytes<kOut * sizeof(Sample)>(result, lastOutput);
                }
                if (2 * __builtin_popcount(computed) <= n) singleUntil = end;
            }
        }
        i = end;
    }
    return static_cast<TntStatus>(status);
}

// The routine for a table's shape in a form (see PortableFastKernel).
// 8-bit input curves live in the input entries, so 8-bit routines never
// read the curves themselves; the step encoding is for three or four
// 8-bit outputs.
inline LinkKernel ForTable(const LinkTable* table, RoutineForm form) {
    const bool eight = table->precision == 1;
    return ForChannelPair(table->inputChannels * 256 + table->outputChannels, [&]<int kIn, int kOut>() {
        return ForForm(form, [&]<bool kInCurves, OutputForm kOutput>() -> LinkKernel {
            if (eight) {
                if constexpr (kOutput == OutputForm::kSteps && kOut > 4) return nullptr;
                else return &FastRun<uint8_t, kIn, kOut, false, kOutput>;
            }
            if constexpr (kOutput == OutputForm::kSteps) return nullptr;
            else return &FastRun<uint16_t, kIn, kOut, kInCurves, kOutput>;
        });
    });
}

}  // namespace tnt::TNT_FAST_NAMESPACE
