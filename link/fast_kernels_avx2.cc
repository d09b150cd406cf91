// The AVX2 instances of the fast routines: eight pixels at a time, the same
// samples as the baseline routines. Everything here is compiled for AVX2
// and lives in this file's own anonymous namespace, so no function built
// for AVX2 can be merged with a baseline one of the same name; nothing here
// runs unless Avx2FastKernel found AVX2 on this CPU.
//
// A block of eight pixels: gather each pixel's samples, turn them into node
// positions and sort keys (the input entries for 8-bit links, arithmetic
// for 16-bit ones), sort the keys lane by lane, gather the vertices' padded
// nodes four pixels at a time and weight two vertices per multiply-add, then
// gather the output curves. Curve entries are fetched as the aligned 32-bit
// word that holds them, so no gather reads outside a curve buffer.
//
// The repeat cache is kept per block: a block whose eight pixels all equal
// the last computed pixel takes its output, a block with a run of equal
// pixels inside goes to the baseline routine, any other block is computed
// whole; every way gives the same samples. Short runs, the tail of a run, the
// pixel before each progress call and unusual steps go to the baseline
// routine.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "link/lookups.h"

// Everything below is compiled for AVX2; clang and GCC spell that apart.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2")
#endif

namespace tnt::avx2 {
namespace {

#define TNT_AVX2_INLINE inline __attribute__((always_inline))

// Up to four channels of eight pixels, one 32-bit lane per pixel.
struct Channels {
    __m256i c[4];
};

// The outputs of a block: 8-bit links, eight pixels of four bytes in one
// vector; 16-bit links, four pixels of four values in each of two.
struct Outputs {
    __m256i a, b;
};

TNT_AVX2_INLINE __m256i Set1(uint32_t value) { return _mm256_set1_epi32(static_cast<int>(value)); }

// Reads the eight pixels of a block; `offsets` are the pixels' byte offsets,
// `packed` says that pixels follow one another without extra samples.
// The pixel key for the repeat test comes back in key0 and key1.
template <typename Sample, int kIn>
TNT_AVX2_INLINE Channels LoadPixels(const Sample* pixels, __m256i offsets, bool packed, __m256i& key0,
                                    __m256i& key1) {
    Channels ch;
    const __m256i low16 = Set1(0xFFFF);
    if constexpr (sizeof(Sample) == 1) {
        __m256i raw;
        if (packed && kIn == 3) {
            // Bytes 0-15 and 8-23 of the block; each lane's four pixels
            // spread to one per 32-bit lane with a zero fourth byte.
            const auto* bytes = reinterpret_cast<const __m128i*>(pixels);
            raw = _mm256_setr_m128i(_mm_loadu_si128(bytes),
                                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixels + 8)));
            raw = _mm256_shuffle_epi8(raw, _mm256_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 4, 5,
                                                            6, -1, 7, 8, 9, -1, 10, 11, 12, -1, 13, 14, 15, -1));
        } else if (packed) {
            raw = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(pixels));
        } else {
            // Four bytes from every pixel; a 3-sample pixel's fourth byte is
            // the next pixel's (the caller makes sure there is one) and is
            // masked off.
            raw = _mm256_i32gather_epi32(reinterpret_cast<const int*>(pixels), offsets, 1);
            if constexpr (kIn == 3) raw = _mm256_and_si256(raw, Set1(0xFFFFFF));
        }
        const __m256i low8 = Set1(0xFF);
#pragma GCC unroll 4
        for (int c = 0; c < kIn; ++c) ch.c[c] = _mm256_and_si256(_mm256_srli_epi32(raw, 8 * c), low8);
        key0 = raw;
        key1 = _mm256_setzero_si256();
    } else {
        // Samples 0 and 1, then 2 and 3 (or 1 and 2 for a 6-byte pixel).
        const auto* bytes = reinterpret_cast<const uint8_t*>(pixels);
        __m256i first = _mm256_i32gather_epi32(reinterpret_cast<const int*>(bytes), offsets, 1);
        __m256i second = _mm256_i32gather_epi32(reinterpret_cast<const int*>(bytes + (kIn == 3 ? 2 : 4)), offsets, 1);
        ch.c[0] = _mm256_and_si256(first, low16);
        ch.c[1] = _mm256_srli_epi32(first, 16);
        if constexpr (kIn == 3) {
            ch.c[2] = _mm256_srli_epi32(second, 16);
        } else {
            ch.c[2] = _mm256_and_si256(second, low16);
            ch.c[3] = _mm256_srli_epi32(second, 16);
        }
        key0 = first;
        key1 = second;
    }
    return ch;
}

// The 16-bit entry `index` of a table of 16-bit entries, from the aligned
// 32-bit word that holds it.
TNT_AVX2_INLINE __m256i Gather16(const uint16_t* table, __m256i index) {
    __m256i bytes = _mm256_add_epi32(index, index);
    __m256i word = _mm256_i32gather_epi32(reinterpret_cast<const int*>(table),
                                          _mm256_andnot_si256(Set1(3), bytes), 1);
    __m256i shift = _mm256_slli_epi32(_mm256_and_si256(bytes, Set1(2)), 3);
    return _mm256_and_si256(_mm256_srlv_epi32(word, shift), Set1(0xFFFF));
}

// The same for a table of bytes.
TNT_AVX2_INLINE __m256i Gather8(const uint8_t* table, __m256i index) {
    __m256i word = _mm256_i32gather_epi32(reinterpret_cast<const int*>(table),
                                          _mm256_andnot_si256(Set1(3), index), 1);
    __m256i shift = _mm256_slli_epi32(_mm256_and_si256(index, Set1(3)), 3);
    return _mm256_and_si256(_mm256_srlv_epi32(word, shift), Set1(0xFF));
}

// Compare-exchange: high keeps the larger key, low the smaller.
TNT_AVX2_INLINE void Exchange(__m256i& high, __m256i& low) {
    __m256i a = high;
    high = _mm256_max_epu32(a, low);
    low = _mm256_min_epu32(a, low);
}

// Weighted sum of a pair of vertices into the accumulators of four pixels
// (pixels 4h to 4h + 3): each 64-bit gather brings two pixels' nodes per
// 128-bit lane, the unpacks pair vertex a with vertex b channel by channel,
// and every lane takes its pixel's two weights.
template <int kHalf>
TNT_AVX2_INLINE void AddPair(const int16_t* grid, const uint32_t* a, const uint32_t* b, __m256i weights,
                             bool second, __m256i& even, __m256i& odd) {
    // Separate 64-bit loads beat a gather on the CPUs at hand.
    auto load = [grid](uint32_t node) __attribute__((always_inline)) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(grid + size_t{node} * 4));
    };
    constexpr int p = 4 * kHalf;
    __m256i na = _mm256_setr_m128i(_mm_unpacklo_epi64(load(a[p]), load(a[p + 1])),
                                   _mm_unpacklo_epi64(load(a[p + 2]), load(a[p + 3])));
    __m256i nb = _mm256_setzero_si256();
    if (second)
        nb = _mm256_setr_m128i(_mm_unpacklo_epi64(load(b[p]), load(b[p + 1])),
                               _mm_unpacklo_epi64(load(b[p + 2]), load(b[p + 3])));
    // Lane 0 of the low unpack is pixel 4h, lane 1 pixel 4h + 2; the high
    // unpack has pixels 4h + 1 and 4h + 3.
    const __m256i pickEven = _mm256_setr_epi32(p, p, p, p, p + 2, p + 2, p + 2, p + 2);
    const __m256i pickOdd = _mm256_add_epi32(pickEven, _mm256_set1_epi32(1));
    even = _mm256_add_epi32(even, _mm256_madd_epi16(_mm256_unpacklo_epi16(na, nb),
                                                    _mm256_permutevar8x32_epi32(weights, pickEven)));
    odd = _mm256_add_epi32(odd, _mm256_madd_epi16(_mm256_unpackhi_epi16(na, nb),
                                                  _mm256_permutevar8x32_epi32(weights, pickOdd)));
}

// The lanes of a vector of node positions, for the loads above.
struct Nodes {
    alignas(32) uint32_t at[8];
};

TNT_AVX2_INLINE Nodes Spill(__m256i v) {
    Nodes n;
    _mm256_store_si256(reinterpret_cast<__m256i*>(n.at), v);
    return n;
}

// The output curve index of every value of a result vector whose lanes are
// channels 0 to 3 of successive pixels; a 3-channel link's unused lane reads
// entry 0 of curve 0 instead of a curve it does not have.
template <int kOut>
TNT_AVX2_INLINE __m256i CurveIndex(__m256i values) {
    const __m256i start = _mm256_setr_epi32(0, 65536, 2 * 65536, 3 * 65536, 0, 65536, 2 * 65536, 3 * 65536);
    __m256i index = _mm256_add_epi32(values, start);
    if constexpr (kOut == 3) index = _mm256_blend_epi32(index, _mm256_setzero_si256(), 0x88);
    return index;
}

// 8-bit output curves through their step encoding (link/lookups.h), for a
// result vector laid out as for CurveIndex: the block entry of every value,
// then the sample below or from the block's switch point.
template <int kOut>
TNT_AVX2_INLINE __m256i StepSamples(const uint32_t* steps, uint32_t blocks, __m256i values, __m128i stepShift) {
    const __m256i start = _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 0, 1, 2, 3), Set1(blocks));
    __m256i index = _mm256_add_epi32(_mm256_srl_epi32(values, stepShift), start);
    __m256i entries;
    if constexpr (kOut == 3) {
        // The fourth lane of each pixel is not fetched.
        const __m256i fetch = _mm256_setr_epi32(-1, -1, -1, 0, -1, -1, -1, 0);
        entries = _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), reinterpret_cast<const int*>(steps), index,
                                              fetch, 4);
    } else {
        entries = _mm256_i32gather_epi32(reinterpret_cast<const int*>(steps), index, 4);
    }
    // Switch points and values are below 2^16, so a signed compare is exact.
    const __m256i before = _mm256_cmpgt_epi32(_mm256_and_si256(entries, Set1(0xFFFF)), values);
    const __m256i step = _mm256_andnot_si256(before, _mm256_srli_epi32(entries, 24));
    return _mm256_and_si256(_mm256_add_epi32(_mm256_srli_epi32(entries, 16), step), Set1(0xFF));
}

// One block of eight pixels from their channels.
template <typename Sample, int kIn, int kOut, bool kInCurves, OutputForm kOutput>
TNT_AVX2_INLINE Outputs ComputeBlock(const LinkTable* table, const LinkLookups* lookups, const Channels& ch,
                                     __m128i shiftCount, __m256i lowByte) {
    __m256i node = _mm256_setzero_si256();
    __m256i k[4];
#pragma GCC unroll 4
    for (int c = 0; c < kIn; ++c) {
        {
            __m256i v = ch.c[c];
            if constexpr (kInCurves) {
                v = Gather16(table->inputCurves, _mm256_add_epi32(v, Set1(uint32_t(c) * table->inputCurveLength)));
            } else if constexpr (sizeof(Sample) == 1) {
                // An 8-bit sample as 16 bits: x 257 through identity curves,
                // x 256 without curves.
                v = _mm256_or_si256(_mm256_slli_epi32(v, 8), _mm256_and_si256(v, lowByte));
            }
            // 65535 & mask is mask, so full scale adds one to make a whole cell.
            __m256i fraction = _mm256_add_epi32(_mm256_and_si256(v, Set1(table->fractionMask)),
                                                _mm256_srli_epi32(_mm256_add_epi32(v, Set1(1)), 16));
            const __m256i step = Set1(lookups->steps[c]);
            node = _mm256_add_epi32(node, _mm256_mullo_epi32(_mm256_srl_epi32(v, shiftCount), step));
            k[c] = _mm256_or_si256(_mm256_slli_epi32(fraction, 16), step);
        }
    }
    if constexpr (kIn == 3) {
        __m256i high = _mm256_max_epu32(_mm256_max_epu32(k[0], k[1]), k[2]);
        __m256i low = _mm256_min_epu32(_mm256_min_epu32(k[0], k[1]), k[2]);
        k[1] = _mm256_xor_si256(_mm256_xor_si256(_mm256_xor_si256(k[0], k[1]), _mm256_xor_si256(k[2], high)), low);
        k[0] = high;
        k[2] = low;
    } else {
        Exchange(k[0], k[1]);
        Exchange(k[2], k[3]);
        Exchange(k[0], k[2]);
        Exchange(k[1], k[3]);
        Exchange(k[1], k[2]);
    }
    const __m256i stepMask = Set1(0xFFFF);
    const __m256i f0 = _mm256_srli_epi32(k[0], 16), f1 = _mm256_srli_epi32(k[1], 16),
                  f2 = _mm256_srli_epi32(k[2], 16);
    const __m256i p1 = _mm256_add_epi32(node, _mm256_and_si256(k[0], stepMask));
    const __m256i p2 = _mm256_add_epi32(p1, _mm256_and_si256(k[1], stepMask));
    const __m256i last = _mm256_add_epi32(node, Set1(lookups->stepSum));
    const __m256i w01 = _mm256_or_si256(_mm256_sub_epi32(Set1(lookups->cell), f0),
                                        _mm256_slli_epi32(_mm256_sub_epi32(f0, f1), 16));
    const int16_t* grid = lookups->grid;
    __m256i even0 = _mm256_setzero_si256(), odd0 = even0, even1 = even0, odd1 = even0;
    const Nodes n0 = Spill(node), n1 = Spill(p1), n2 = Spill(p2), nLast = Spill(last);
    AddPair<0>(grid, n0.at, n1.at, w01, true, even0, odd0);
    AddPair<1>(grid, n0.at, n1.at, w01, true, even1, odd1);
    if constexpr (kIn == 3) {
        const __m256i w23 = _mm256_or_si256(_mm256_sub_epi32(f1, f2), _mm256_slli_epi32(f2, 16));
        AddPair<0>(grid, n2.at, nLast.at, w23, true, even0, odd0);
        AddPair<1>(grid, n2.at, nLast.at, w23, true, even1, odd1);
    } else {
        const __m256i f3 = _mm256_srli_epi32(k[3], 16);
        const Nodes n3 = Spill(_mm256_add_epi32(p2, _mm256_and_si256(k[2], stepMask)));
        const __m256i w23 = _mm256_or_si256(_mm256_sub_epi32(f1, f2), _mm256_slli_epi32(_mm256_sub_epi32(f2, f3), 16));
        AddPair<0>(grid, n2.at, n3.at, w23, true, even0, odd0);
        AddPair<1>(grid, n2.at, n3.at, w23, true, even1, odd1);
        AddPair<0>(grid, nLast.at, nLast.at, f3, false, even0, odd0);
        AddPair<1>(grid, nLast.at, nLast.at, f3, false, even1, odd1);
    }
    // Sums are (value - 32768) x 2^shift plus a remainder below 2^shift, so
    // the arithmetic shift is exact. Each result vector then holds four
    // pixels in order, four 16-bit values each.
    const __m256i bias = _mm256_set1_epi16(static_cast<int16_t>(0x8000));
    __m256i r0 = _mm256_xor_si256(
        _mm256_packs_epi32(_mm256_sra_epi32(even0, shiftCount), _mm256_sra_epi32(odd0, shiftCount)), bias);
    __m256i r1 = _mm256_xor_si256(
        _mm256_packs_epi32(_mm256_sra_epi32(even1, shiftCount), _mm256_sra_epi32(odd1, shiftCount)), bias);

    // Curves other than the plain ones turn each value into its sample in a
    // 32-bit lane, laid out as for CurveIndex.
    const __m256i zero = _mm256_setzero_si256();
    auto apply = [&](__m256i values) __attribute__((always_inline)) {
        if constexpr (kOutput == OutputForm::kAffine) {
            const __m256i scale = _mm256_broadcastsi128_si256(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(lookups->outputScale)));
            const __m256i offset = _mm256_broadcastsi128_si256(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(lookups->outputOffset)));
            return _mm256_srli_epi32(_mm256_add_epi32(_mm256_mullo_epi32(values, scale), offset),
                                     AffineShift(sizeof(Sample)));
        } else if constexpr (kOutput == OutputForm::kSteps) {
            const __m128i stepShift = _mm_cvtsi32_si128(static_cast<int>(lookups->outputShift));
            return StepSamples<kOut>(lookups->outputSteps, 65536u >> lookups->outputShift, values, stepShift);
        } else if constexpr (sizeof(Sample) == 1) {
            return Gather8(static_cast<const uint8_t*>(table->outputCurves), CurveIndex<kOut>(values));
        } else {
            return Gather16(static_cast<const uint16_t*>(table->outputCurves), CurveIndex<kOut>(values));
        }
    };
    // Widened, the low unpack holds pixels 4h and 4h + 2, the high one
    // 4h + 1 and 4h + 3; packing them back restores the order.
    auto finish = [&](__m256i r) __attribute__((always_inline)) {
        if constexpr (kOutput == OutputForm::kPlain) {
            return sizeof(Sample) == 1 ? _mm256_srli_epi16(r, 8) : r;
        } else {
            return _mm256_packus_epi32(apply(_mm256_unpacklo_epi16(r, zero)), apply(_mm256_unpackhi_epi16(r, zero)));
        }
    };
    Outputs out;
    if constexpr (sizeof(Sample) == 1) {
        // Pixels 0, 1, 4, 5 in lane 0 and 2, 3, 6, 7 in lane 1.
        out.a = _mm256_permute4x64_epi64(_mm256_packus_epi16(finish(r0), finish(r1)), 0xD8);
        out.b = zero;
    } else {
        out.a = finish(r0);
        out.b = finish(r1);
    }
    return out;
}

// The block's output for every pixel equal to its last one.
template <typename Sample>
TNT_AVX2_INLINE Outputs LastPixel(const Outputs& out) {
    Outputs last;
    if constexpr (sizeof(Sample) == 1) {
        last.a = _mm256_permutevar8x32_epi32(out.a, _mm256_set1_epi32(7));
        last.b = last.a;
    } else {
        last.a = _mm256_permute4x64_epi64(out.b, 0xFF);
        last.b = last.a;
    }
    return last;
}

// Drops the fourth sample of every pixel: four pixels of four samples in
// each 128-bit lane become twelve bytes at the bottom of the vector.
TNT_AVX2_INLINE __m256i Compact(__m256i v, __m256i shuffle) {
    v = _mm256_shuffle_epi8(v, shuffle);
    return _mm256_permutevar8x32_epi32(v, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7));
}

TNT_AVX2_INLINE void Store24(void* destination, __m256i v) {
    auto* d = static_cast<uint8_t*>(destination);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm256_castsi256_si128(v));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(d + 16), _mm256_extracti128_si256(v, 1));
}

// Writes a block's eight pixels; `packed` when pixels follow one another
// without extra samples.
template <typename Sample, int kOut>
TNT_AVX2_INLINE void StoreBlock(Sample* result, ptrdiff_t step, bool packed, const Outputs& out) {
    if (packed) {
        if constexpr (sizeof(Sample) == 1 && kOut == 4) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(result), out.a);
        } else if constexpr (sizeof(Sample) == 1) {
            const __m256i shuffle = _mm256_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1, 0, 1, 2,
                                                     4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
            Store24(result, Compact(out.a, shuffle));
        } else if constexpr (kOut == 4) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(result), out.a);
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(result + 16), out.b);
        } else {
            const __m256i shuffle = _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, -1, -1, -1, -1, 0, 1,
                                                     2, 3, 4, 5, 8, 9, 10, 11, 12, 13, -1, -1, -1, -1);
            Store24(result, Compact(out.a, shuffle));
            Store24(result + 12, Compact(out.b, shuffle));
        }
        return;
    }
    alignas(32) Sample samples[32];
    _mm256_store_si256(reinterpret_cast<__m256i*>(samples), out.a);
    if constexpr (sizeof(Sample) == 2) _mm256_store_si256(reinterpret_cast<__m256i*>(samples + 16), out.b);
    for (int p = 0; p < 8; ++p) std::memcpy(result + p * step, samples + 4 * p, kOut * sizeof(Sample));
}

template <typename Sample, int kIn, int kOut, bool kInCurves, OutputForm kOutput>
TntStatus Run(const LinkTable* table, const void* source, void* destination, int32_t count, int32_t sourceStep,
              int32_t destinationStep, LinkProgressProc progress) {
    const LinkLookups* lookups = table->lookups;
    const LinkKernel baseline = lookups->perPixel;
    // Short runs (the planar entry converts one pixel per call) and steps
    // that make pixels overlap are the baseline routine's.
    if (count < 16 || sourceStep < kIn || destinationStep < kOut)
        return baseline(table, source, destination, count, sourceStep, destinationStep, progress);
    const Sample* in = static_cast<const Sample*>(source);
    Sample* out = static_cast<Sample*>(destination);
    const ptrdiff_t inStep = sourceStep, outStep = destinationStep;
    const bool packed = destinationStep == kOut, packedIn = sourceStep == kIn;
    const __m128i shiftCount = _mm_cvtsi32_si128(table->indexShift);
    const __m256i lowByte = Set1(table->hasInputCurves ? 0xFF : 0);
    const int step = sourceStep * static_cast<int>(sizeof(Sample));
    const __m256i offsets = _mm256_mullo_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(step));
    // A 3-byte pixel is read as four bytes, so its block needs a pixel after it.
    const int32_t blockEnd = sizeof(Sample) * kIn < 4 && step < 4 ? count - 1 : count;

    bool haveLast = false;
    __m256i lastKey0 = _mm256_setzero_si256(), lastKey1 = lastKey0;
    Outputs lastOut = {lastKey0, lastKey0};
    uint32_t status = 0;
    int32_t i = 0;
    while (i < count) {
        const int32_t end = progress ? (count - i > 1024 ? i + 1024 : count) : count;
        int32_t at = i;
        if (progress) {
            baseline(table, in + i * inStep, out + i * outStep, 1, sourceStep, destinationStep, nullptr);
            status = progress(i, count) & 0xFFFFu;
            ++at;
        }
        const int32_t limit = end < blockEnd ? end : blockEnd;
        for (; at + 8 <= limit; at += 8) {
            __m256i key0, key1;
            Channels ch = LoadPixels<Sample, kIn>(in + at * inStep, offsets, packedIn, key0, key1);
            Outputs result;
            __m256i same = _mm256_and_si256(_mm256_cmpeq_epi32(key0, lastKey0), _mm256_cmpeq_epi32(key1, lastKey1));
            // A block with a run in it starts a stretch of 64 pixels for the
            // per-pixel routine: its repeat cache computes each colour once,
            // which beats computing all eight on smooth images, and a
            // stretch pays for the call.
            const __m256i previous = _mm256_setr_epi32(0, 0, 1, 2, 3, 4, 5, 6);
            __m256i repeats = _mm256_and_si256(
                _mm256_cmpeq_epi32(key0, _mm256_permutevar8x32_epi32(key0, previous)),
                _mm256_cmpeq_epi32(key1, _mm256_permutevar8x32_epi32(key1, previous)));
            if (haveLast && _mm256_movemask_epi8(same) == -1) {
                result = lastOut;
            } else if (_mm256_movemask_ps(_mm256_castsi256_ps(repeats)) & 0xFE) {
                const int32_t stretch = limit - at < 256 ? limit - at : 256;
                baseline(table, in + at * inStep, out + at * outStep, stretch, sourceStep, destinationStep, nullptr);
                at += stretch - 8;
                continue;
            } else {
                result = ComputeBlock<Sample, kIn, kOut, kInCurves, kOutput>(table, lookups, ch, shiftCount, lowByte);
                const __m256i seven = _mm256_set1_epi32(7);
                lastKey0 = _mm256_permutevar8x32_epi32(key0, seven);
                lastKey1 = _mm256_permutevar8x32_epi32(key1, seven);
                lastOut = LastPixel<Sample>(result);
                haveLast = true;
            }
            StoreBlock<Sample, kOut>(out + at * outStep, outStep, packed, result);
        }
        if (at < end)
            baseline(table, in + at * inStep, out + at * outStep, end - at, sourceStep, destinationStep, nullptr);
        i = end;
    }
    return static_cast<TntStatus>(status);
}

// 8-bit input curves that are the identity (or none) are arithmetic;
// others are read. 4 to 6 stays with the per-pixel routine.
template <typename Sample>
LinkKernel ForTable(const LinkTable* table, RoutineForm form) {
    return ForChannelPair(table->inputChannels * 256 + table->outputChannels, [&]<int kIn, int kOut>() {
        return ForForm(form, [&]<bool kInCurves, OutputForm kOutput>() -> LinkKernel {
            if constexpr (kOut == 6 || (kOutput == OutputForm::kSteps && sizeof(Sample) == 2)) return nullptr;
            else return &Run<Sample, kIn, kOut, kInCurves, kOutput>;
        });
    });
}

}  // namespace
}  // namespace tnt::avx2

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace tnt {

LinkKernel Avx2FastKernel(const LinkTable* table, RoutineForm form) {
    if (!__builtin_cpu_supports("avx2")) return nullptr;
    // Curve entries are fetched as the aligned word that holds them.
    if ((reinterpret_cast<uintptr_t>(table->inputCurves) | reinterpret_cast<uintptr_t>(table->outputCurves)) & 3)
        return nullptr;
    return table->precision == 1 ? avx2::ForTable<uint8_t>(table, form) : avx2::ForTable<uint16_t>(table, form);
}

}  // namespace tnt
