// The AVX-512 instances of the fast routines: sixteen pixels at a time, the
// same samples as the baseline routines. Everything here is compiled for
// AVX-512 (F and BW) and lives in this file's own anonymous namespace, so
// no function built for it can be merged with a baseline one of the same
// name; nothing here runs unless Avx512FastKernel found both on this CPU.
//
// A block of sixteen pixels goes as in the AVX2 routines
// (link/fast_kernels_avx2.cc): samples to node positions and sort keys,
// keys sorted lane by lane, each vertex's padded nodes gathered eight at a
// time (one 64-bit node per pixel) and two vertices weighted per
// multiply-add, then the output form. Packed pixels are loaded and
// permuted, not gathered; masked loads and stores keep every access inside
// the runs. Instead of a repeat cache, runs of equal pixels are computed
// once (see Run).
//
// On noise the block's vector operations set the pace as much as its
// gathers (512-bit operations issue on two ports, which the gathers use
// too; on the Xeon measured, a dozen more operations per block cost 8 %):
// 8-bit links whose input is arithmetic turn the bytes of all channels
// into positions and keys at once (KeysFromBytes), weights are 16-bit
// differences two to a lane, and plain 8-bit outputs come straight out of
// the sums.
//
// GCC 12's AVX-512 intrinsics start many results from an "undefined"
// vector, which its own uninitialized-use warning then reports.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "link/lookups.h"

#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,avx512f,avx512bw"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,avx512f,avx512bw")
#endif

namespace tnt::avx512 {
namespace {

#define TNT_AVX512_INLINE inline __attribute__((always_inline))

// Up to four channels of sixteen pixels, one 32-bit lane per pixel.
struct Channels {
    __m512i c[4];
};

// The outputs of a block: 8-bit links, sixteen pixels of four bytes in a;
// 16-bit links, eight pixels of four values in each of a and b.
struct Outputs {
    __m512i a, b;
};

TNT_AVX512_INLINE __m512i Set1(uint32_t value) { return _mm512_set1_epi32(static_cast<int>(value)); }

// The same 16 bytes in every 128-bit lane.
TNT_AVX512_INLINE __m512i LanePattern(const int8_t (&bytes)[16]) {
    return _mm512_broadcast_i32x4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes)));
}

// A pixel's samples as two 32-bit keys: 8-bit pixels as their bytes (key1
// zero), 16-bit ones as samples 0 and 1, then 2 and 3 (1 and 2 for a 6-byte
// pixel). Equal keys are equal pixels.
struct Keys {
    __m512i k0, k1;
};

// Reads the keys of a block's sixteen pixels; `offsets` are the pixels'
// byte offsets, `packed` says that pixels follow one another without extra
// samples.
template <typename Sample, int kIn>
TNT_AVX512_INLINE Keys LoadKeys(const Sample* pixels, __m512i offsets, bool packed) {
    Keys keys;
    keys.k1 = _mm512_setzero_si512();
    if constexpr (sizeof(Sample) == 1) {
        if (packed && kIn == 3) {
            // 48 bytes; lane L takes bytes 12L to 12L + 11, one pixel per
            // 32-bit lane with a zero fourth byte.
            static constexpr int8_t kSpread[16] = {0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1};
            __m512i raw = _mm512_maskz_loadu_epi8(0xFFFFFFFFFFFFull, pixels);
            raw = _mm512_permutexvar_epi32(_mm512_setr_epi32(0, 1, 2, 3, 3, 4, 5, 6, 6, 7, 8, 9, 9, 10, 11, 12), raw);
            keys.k0 = _mm512_shuffle_epi8(raw, LanePattern(kSpread));
        } else if (packed) {
            keys.k0 = _mm512_loadu_si512(pixels);
        } else {
            // Four bytes from every pixel; a 3-sample pixel's fourth byte is
            // the next pixel's or an extra (the caller makes sure there is
            // one) and is masked off.
            keys.k0 = _mm512_i32gather_epi32(offsets, pixels, 1);
            if constexpr (kIn == 3) keys.k0 = _mm512_and_si512(keys.k0, Set1(0xFFFFFF));
        }
    } else if (packed && kIn == 4) {
        const __m512i low = _mm512_loadu_si512(pixels), high = _mm512_loadu_si512(pixels + 32);
        const __m512i even = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
        keys.k0 = _mm512_permutex2var_epi32(low, even, high);
        keys.k1 = _mm512_permutex2var_epi32(low, _mm512_add_epi32(even, Set1(1)), high);
    } else if (packed) {
        const __m512i low = _mm512_loadu_si512(pixels), high = _mm512_maskz_loadu_epi16(0xFFFF, pixels + 32);
        // Sample 3i + s goes to word 2i; word 2i + 1 takes the next one.
        const __m512i three = _mm512_setr_epi32(0, 3, 6, 9, 12, 15, 18, 21, 24, 27, 30, 33, 36, 39, 42, 45);
        const __m512i pairs = _mm512_or_si512(three, _mm512_slli_epi32(_mm512_add_epi32(three, Set1(1)), 16));
        keys.k0 = _mm512_permutex2var_epi16(low, pairs, high);
        keys.k1 = _mm512_permutex2var_epi16(low, _mm512_add_epi16(pairs, _mm512_set1_epi16(1)), high);
    } else {
        const auto* bytes = reinterpret_cast<const uint8_t*>(pixels);
        keys.k0 = _mm512_i32gather_epi32(offsets, bytes, 1);
        keys.k1 = _mm512_i32gather_epi32(offsets, bytes + (kIn == 3 ? 2 : 4), 1);
    }
    return keys;
}

// The channels of sixteen pixels from their keys, one 32-bit lane each.
template <typename Sample, int kIn>
TNT_AVX512_INLINE Channels FromKeys(const Keys& keys) {
    Channels ch;
    if constexpr (sizeof(Sample) == 1) {
#pragma GCC unroll 4
        for (int c = 0; c < kIn; ++c) ch.c[c] = _mm512_and_si512(_mm512_srli_epi32(keys.k0, 8 * c), Set1(0xFF));
    } else {
        ch.c[0] = _mm512_and_si512(keys.k0, Set1(0xFFFF));
        ch.c[1] = _mm512_srli_epi32(keys.k0, 16);
        if constexpr (kIn == 3) {
            ch.c[2] = _mm512_srli_epi32(keys.k1, 16);
        } else {
            ch.c[2] = _mm512_and_si512(keys.k1, Set1(0xFFFF));
            ch.c[3] = _mm512_srli_epi32(keys.k1, 16);
        }
    }
    return ch;
}

// Entry `index` of a table of 16-bit or 8-bit entries, from the aligned
// 32-bit word that holds it, in the lanes of `fetch`.
TNT_AVX512_INLINE __m512i Gather16(const uint16_t* table, __m512i index, __mmask16 fetch) {
    __m512i bytes = _mm512_add_epi32(index, index);
    __m512i word = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), fetch, _mm512_andnot_si512(Set1(3), bytes),
                                               table, 1);
    __m512i shift = _mm512_slli_epi32(_mm512_and_si512(bytes, Set1(2)), 3);
    return _mm512_and_si512(_mm512_srlv_epi32(word, shift), Set1(0xFFFF));
}

TNT_AVX512_INLINE __m512i Gather8(const uint8_t* table, __m512i index, __mmask16 fetch) {
    __m512i word = _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), fetch, _mm512_andnot_si512(Set1(3), index),
                                               table, 1);
    __m512i shift = _mm512_slli_epi32(_mm512_and_si512(index, Set1(3)), 3);
    return _mm512_and_si512(_mm512_srlv_epi32(word, shift), Set1(0xFF));
}

TNT_AVX512_INLINE void Exchange(__m512i& high, __m512i& low) {
    __m512i a = high;
    high = _mm512_max_epu32(a, low);
    low = _mm512_min_epu32(a, low);
}

// The padded nodes of pixels 8h to 8h + 7 at the positions in `at`.
template <int kHalf>
TNT_AVX512_INLINE __m512i GatherNodes(const int16_t* grid, __m512i at) {
    const __m256i half = kHalf ? _mm512_extracti64x4_epi64(at, 1) : _mm512_castsi512_si256(at);
    return _mm512_i32gather_epi64(half, grid, 8);
}

// Weighted sum of two vertices' nodes into the accumulators of pixels 8h to
// 8h + 7: lane L of the low unpack pairs the two nodes of pixel 8h + 2L
// channel by channel, the high unpack those of pixel 8h + 2L + 1, and each
// takes its pixel's two weights.
template <int kHalf>
TNT_AVX512_INLINE void AddPair(__m512i na, __m512i nb, __m512i weights, __m512i& even, __m512i& odd) {
    constexpr int p = 8 * kHalf;
    const __m512i pickEven =
        _mm512_setr_epi32(p, p, p, p, p + 2, p + 2, p + 2, p + 2, p + 4, p + 4, p + 4, p + 4, p + 6, p + 6, p + 6, p + 6);
    const __m512i pickOdd = _mm512_add_epi32(pickEven, Set1(1));
    even = _mm512_add_epi32(even, _mm512_madd_epi16(_mm512_unpacklo_epi16(na, nb),
                                                    _mm512_permutexvar_epi32(pickEven, weights)));
    odd = _mm512_add_epi32(odd, _mm512_madd_epi16(_mm512_unpackhi_epi16(na, nb),
                                                  _mm512_permutexvar_epi32(pickOdd, weights)));
}

// The lanes a 3-output link fetches from its curves: channel 3 of every
// pixel is left out.
template <int kOut>
constexpr __mmask16 kFetch = kOut == 3 ? 0x7777 : 0xFFFF;

// What every block of a run uses, made once before the first: a store of
// 8-bit samples may alias anything, so values read through the table's
// pointers would be read again for every block.
struct RunConstants {
    __m128i shiftCount;
    __m128i byteResult;  // shift + 8: plain 8-bit outputs from the sums
    __m512i fractionMask;
    __m512i steps[4];
    // 8-bit links whose input is arithmetic, every channel's byte at once:
    __m128i byteShift;     // shift - 8
    __m512i indexMask;     // each channel's byte 0xFF >> (shift - 8)
    __m512i rowWeights;    // bytes n, 1 (and n, 1 again for four inputs)
    __m512i planeWeights;  // words n^(inputs - 2), 1
    __m512i lowMask;       // all ones through identity input curves, else 0
    __m512i highMask;      // every byte fractionMask >> 8
};

RunConstants Constants(const LinkTable* table, int inputs) {
    RunConstants k;
    const uint32_t n = table->gridPoints, d = table->indexShift - 8u;
    k.shiftCount = _mm_cvtsi32_si128(table->indexShift);
    k.byteResult = _mm_cvtsi32_si128(table->indexShift + 8);
    k.fractionMask = Set1(table->fractionMask);
    for (int c = 0; c < 4; ++c) k.steps[c] = Set1(table->lookups->steps[c]);
    k.byteShift = _mm_cvtsi32_si128(static_cast<int>(d));
    k.indexMask = Set1((inputs == 3 ? 0x010101u : 0x01010101u) * (0xFFu >> d));
    k.rowWeights = Set1(inputs == 3 ? n | 1u << 8 | 1u << 16 : n | 1u << 8 | n << 16 | 1u << 24);
    k.planeWeights = Set1((inputs == 3 ? n : n * n) | 1u << 16);
    k.lowMask = Set1(table->hasInputCurves ? ~0u : 0u);
    k.highMask = Set1(0x01010101u * (table->fractionMask >> 8));
    return k;
}

// The node position of each pixel's cell and the channels' sort keys
// (fraction << 16 | step), one 32-bit lane per pixel.
template <int kIn>
struct CellKeys {
    __m512i node;
    __m512i k[kIn];
};

// 8-bit pixels whose input is arithmetic, all channels at once from the
// pixels' bytes s. The value is s x 257 (identity curves) or s x 256, so the
// node index is s >> (shift - 8); the fraction's high byte is
// s & (mask >> 8), its low byte s or 0. Full scale (255 through identity
// curves) makes a whole cell: both bytes one more, the low one wrapping.
// The grid is at most 65 points, so shift - 8 is 2 to 6 and the rows fit
// the signed bytes and words of the multiply-adds.
template <int kIn>
TNT_AVX512_INLINE CellKeys<kIn> KeysFromBytes(const RunConstants& constants, __m512i s) {
    CellKeys<kIn> cell;
    const __m512i index = _mm512_and_si512(_mm512_srl_epi32(s, constants.byteShift), constants.indexMask);
    // Words i0 n + i1 and i2 n + i3, then (i0 n + i1) x n^(k - 2) + i2 n + i3.
    cell.node = _mm512_madd_epi16(_mm512_maddubs_epi16(index, constants.rowWeights), constants.planeWeights);
    const __m512i one = _mm512_set1_epi8(1);
    const __m512i low = _mm512_and_si512(s, constants.lowMask), high = _mm512_and_si512(s, constants.highMask);
    const __mmask64 full = _mm512_cmpeq_epi8_mask(low, _mm512_set1_epi8(-1));
    const __m512i lowBytes = _mm512_mask_add_epi8(low, full, low, one);
    const __m512i highBytes = _mm512_mask_add_epi8(high, full, high, one);
    // Byte c of each pixel to bytes 2 (low) and 3 (high) of its lane; bytes
    // 0 and 1 keep the step.
    const __m512i pixel = _mm512_setr_epi32(0, 0x04040404, 0x08080808, 0x0C0C0C0C, 0, 0x04040404, 0x08080808,
                                            0x0C0C0C0C, 0, 0x04040404, 0x08080808, 0x0C0C0C0C, 0, 0x04040404,
                                            0x08080808, 0x0C0C0C0C);
#pragma GCC unroll 4
    for (int c = 0; c < kIn; ++c) {
        const __m512i pick = _mm512_add_epi32(pixel, Set1(0x01010101u * uint32_t(c)));
        const __m512i withLow = _mm512_mask_shuffle_epi8(constants.steps[c], 0x4444444444444444ull, lowBytes, pick);
        cell.k[c] = _mm512_mask_shuffle_epi8(withLow, 0x8888888888888888ull, highBytes, pick);
    }
    return cell;
}

// Any other pixels, channel by channel: 8-bit ones through their input
// curves, 16-bit ones through theirs or as they are.
template <typename Sample, int kIn, bool kInCurves>
TNT_AVX512_INLINE CellKeys<kIn> KeysFromChannels(const LinkTable* table, const RunConstants& constants,
                                                 const Channels& ch) {
    CellKeys<kIn> cell;
    cell.node = _mm512_setzero_si512();
#pragma GCC unroll 4
    for (int c = 0; c < kIn; ++c) {
        __m512i v = ch.c[c];
        if constexpr (kInCurves)
            v = Gather16(table->inputCurves, _mm512_add_epi32(v, Set1(uint32_t(c) * table->inputCurveLength)), 0xFFFF);
        // 65535 & mask is mask, so full scale adds one to make a whole cell.
        const __m512i fraction = _mm512_add_epi32(_mm512_and_si512(v, constants.fractionMask),
                                                  _mm512_srli_epi32(_mm512_add_epi32(v, Set1(1)), 16));
        const __m512i step = constants.steps[c];
        cell.node = _mm512_add_epi32(cell.node, _mm512_mullo_epi32(_mm512_srl_epi32(v, constants.shiftCount), step));
        cell.k[c] = _mm512_or_si512(_mm512_slli_epi32(fraction, 16), step);
    }
    return cell;
}

// One block of sixteen pixels from their keys.
template <typename Sample, int kIn, int kOut, bool kInCurves, OutputForm kOutput>
TNT_AVX512_INLINE Outputs ComputeBlock(const LinkTable* table, const LinkLookups* lookups, const Keys& keys,
                                       const RunConstants& constants) {
    const __m128i shiftCount = constants.shiftCount;
    CellKeys<kIn> cell;
    if constexpr (sizeof(Sample) == 1 && !kInCurves)
        cell = KeysFromBytes<kIn>(constants, keys.k0);
    else
        cell = KeysFromChannels<Sample, kIn, kInCurves>(table, constants, FromKeys<Sample, kIn>(keys));
    const __m512i node = cell.node;
    __m512i* k = cell.k;
    if constexpr (kIn == 3) {
        __m512i high = _mm512_max_epu32(_mm512_max_epu32(k[0], k[1]), k[2]);
        __m512i low = _mm512_min_epu32(_mm512_min_epu32(k[0], k[1]), k[2]);
        k[1] = _mm512_ternarylogic_epi32(_mm512_ternarylogic_epi32(k[0], k[1], k[2], 0x96), high, low, 0x96);
        k[0] = high;
        k[2] = low;
    } else {
        Exchange(k[0], k[1]);
        Exchange(k[2], k[3]);
        Exchange(k[0], k[2]);
        Exchange(k[1], k[3]);
        Exchange(k[1], k[2]);
    }
    const __m512i stepMask = Set1(0xFFFF);
    const __m512i f0 = _mm512_srli_epi32(k[0], 16), f1 = _mm512_srli_epi32(k[1], 16),
                  f2 = _mm512_srli_epi32(k[2], 16);
    const __m512i p1 = _mm512_add_epi32(node, _mm512_and_si512(k[0], stepMask));
    const __m512i p2 = _mm512_add_epi32(p1, _mm512_and_si512(k[1], stepMask));
    const __m512i last = _mm512_add_epi32(node, Set1(lookups->stepSum));
    // Weights two to a lane as 16-bit differences: [cell, f0] - [f0, f1].
    constexpr __mmask32 kLowWords = 0x55555555, kHighWords = 0xAAAAAAAA;
    const __m512i w01 = _mm512_sub_epi16(_mm512_mask_mov_epi16(k[0], kLowWords, Set1(lookups->cell)),
                                         _mm512_mask_mov_epi16(f0, kHighWords, k[1]));
    const int16_t* grid = lookups->grid;
    __m512i even0 = _mm512_setzero_si512(), odd0 = even0, even1 = even0, odd1 = even0;
    AddPair<0>(GatherNodes<0>(grid, node), GatherNodes<0>(grid, p1), w01, even0, odd0);
    AddPair<1>(GatherNodes<1>(grid, node), GatherNodes<1>(grid, p1), w01, even1, odd1);
    if constexpr (kIn == 3) {
        const __m512i w23 = _mm512_sub_epi16(_mm512_mask_mov_epi16(f1, kHighWords, k[2]), f2);
        AddPair<0>(GatherNodes<0>(grid, p2), GatherNodes<0>(grid, last), w23, even0, odd0);
        AddPair<1>(GatherNodes<1>(grid, p2), GatherNodes<1>(grid, last), w23, even1, odd1);
    } else {
        const __m512i f3 = _mm512_srli_epi32(k[3], 16);
        const __m512i p3 = _mm512_add_epi32(p2, _mm512_and_si512(k[2], stepMask));
        const __m512i w23 = _mm512_sub_epi16(_mm512_mask_mov_epi16(f1, kHighWords, k[2]),
                                             _mm512_mask_mov_epi16(f2, kHighWords, k[3]));
        const __m512i zero = _mm512_setzero_si512();
        AddPair<0>(GatherNodes<0>(grid, p2), GatherNodes<0>(grid, p3), w23, even0, odd0);
        AddPair<1>(GatherNodes<1>(grid, p2), GatherNodes<1>(grid, p3), w23, even1, odd1);
        AddPair<0>(GatherNodes<0>(grid, last), zero, f3, even0, odd0);
        AddPair<1>(GatherNodes<1>(grid, last), zero, f3, even1, odd1);
    }
    // Sums are (value - 32768) x 2^shift plus a remainder below 2^shift, so
    // the arithmetic shift is exact; the pack puts pixels 8h to 8h + 7 in
    // order, four 16-bit values each.
    const __m512i bias = _mm512_set1_epi16(static_cast<int16_t>(0x8000));
    const __m512i r0 = _mm512_xor_si512(
        _mm512_packs_epi32(_mm512_sra_epi32(even0, shiftCount), _mm512_sra_epi32(odd0, shiftCount)), bias);
    const __m512i r1 = _mm512_xor_si512(
        _mm512_packs_epi32(_mm512_sra_epi32(even1, shiftCount), _mm512_sra_epi32(odd1, shiftCount)), bias);

    // Other forms than the plain one work on each value in a 32-bit lane:
    // lane L of the low unpack holds the channels of pixel 8h + 2L, of the
    // high unpack those of pixel 8h + 2L + 1; the pack restores the order.
    const __m512i zero = _mm512_setzero_si512();
    auto apply = [&](__m512i values) __attribute__((always_inline)) {
        const __m512i curve = _mm512_setr_epi32(0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3);
        if constexpr (kOutput == OutputForm::kAffine) {
            const __m512i scale = _mm512_broadcast_i32x4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lookups->outputScale)));
            const __m512i offset = _mm512_broadcast_i32x4(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lookups->outputOffset)));
            return _mm512_srli_epi32(_mm512_add_epi32(_mm512_mullo_epi32(values, scale), offset),
                                     AffineShift(sizeof(Sample)));
        } else if constexpr (kOutput == OutputForm::kSteps) {
            // The block entry of every value, then the sample below or from
            // the block's switch point.
            const __m128i stepShift = _mm_cvtsi32_si128(static_cast<int>(lookups->outputShift));
            const __m512i start = _mm512_mullo_epi32(curve, Set1(65536u >> lookups->outputShift));
            const __m512i entries = _mm512_mask_i32gather_epi32(
                zero, kFetch<kOut>, _mm512_add_epi32(_mm512_srl_epi32(values, stepShift), start), lookups->outputSteps, 4);
            const __mmask16 before = _mm512_cmpgt_epi32_mask(_mm512_and_si512(entries, Set1(0xFFFF)), values);
            const __m512i step = _mm512_maskz_srli_epi32(static_cast<__mmask16>(~before), entries, 24);
            return _mm512_and_si512(_mm512_add_epi32(_mm512_srli_epi32(entries, 16), step), Set1(0xFF));
        } else {
            const __m512i index = _mm512_add_epi32(values, _mm512_slli_epi32(curve, 16));
            if constexpr (sizeof(Sample) == 1)
                return Gather8(static_cast<const uint8_t*>(table->outputCurves), index, kFetch<kOut>);
            else
                return Gather16(static_cast<const uint16_t*>(table->outputCurves), index, kFetch<kOut>);
        }
    };
    auto finish = [&](__m512i r) __attribute__((always_inline)) {
        if constexpr (kOutput == OutputForm::kPlain)
            return sizeof(Sample) == 1 ? _mm512_srli_epi16(r, 8) : r;
        else
            return _mm512_packus_epi32(apply(_mm512_unpacklo_epi16(r, zero)), apply(_mm512_unpackhi_epi16(r, zero)));
    };
    Outputs out;
    if constexpr (sizeof(Sample) == 1 && kOutput == OutputForm::kPlain && kIn == 3) {
        // value >> 8 straight from the sums: shifting them by shift + 8
        // leaves (value >> 8) - 128, which fits a signed byte. (Four inputs
        // keep the form below: there the one more shift count left GCC short
        // of registers, and the routine measured slower.)
        const __m128i byteShift = constants.byteResult;
        const __m512i low = _mm512_packs_epi32(_mm512_sra_epi32(even0, byteShift), _mm512_sra_epi32(odd0, byteShift));
        const __m512i high = _mm512_packs_epi32(_mm512_sra_epi32(even1, byteShift), _mm512_sra_epi32(odd1, byteShift));
        out.a = _mm512_permutexvar_epi64(_mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7),
                                         _mm512_xor_si512(_mm512_packs_epi16(low, high), _mm512_set1_epi8(-128)));
        out.b = zero;
    } else if constexpr (sizeof(Sample) == 1) {
        // Lane L holds pixels 2L, 2L + 1, 2L + 8 and 2L + 9.
        out.a = _mm512_permutexvar_epi64(_mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7),
                                         _mm512_packus_epi16(finish(r0), finish(r1)));
        out.b = zero;
    } else {
        out.a = finish(r0);
        out.b = finish(r1);
    }
    return out;
}

// Drops the fourth sample of every pixel of four samples (of `bytes` bytes
// each), leaving 48 bytes at the bottom.
template <int kBytes>
TNT_AVX512_INLINE __m512i Compact(__m512i v) {
    static constexpr int8_t kEight[16] = {0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1};
    static constexpr int8_t kSixteen[16] = {0, 1, 2, 3, 4, 5, 8, 9, 10, 11, 12, 13, -1, -1, -1, -1};
    v = _mm512_shuffle_epi8(v, LanePattern(kBytes == 1 ? kEight : kSixteen));
    return _mm512_permutexvar_epi32(_mm512_setr_epi32(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, 15, 15, 15, 15), v);
}

constexpr __mmask64 k48Bytes = 0xFFFFFFFFFFFFull;

// Writes a block's sixteen pixels; `packed` when pixels follow one another
// without extra samples.
template <typename Sample, int kOut>
TNT_AVX512_INLINE void StoreBlock(Sample* result, ptrdiff_t step, bool packed, const Outputs& out) {
    if (packed) {
        if constexpr (kOut == 4) {
            _mm512_storeu_si512(result, out.a);
            if constexpr (sizeof(Sample) == 2) _mm512_storeu_si512(result + 32, out.b);
        } else {
            _mm512_mask_storeu_epi8(result, k48Bytes, Compact<sizeof(Sample)>(out.a));
            if constexpr (sizeof(Sample) == 2) _mm512_mask_storeu_epi8(result + 24, k48Bytes, Compact<2>(out.b));
        }
        return;
    }
    alignas(64) Sample samples[64];
    _mm512_store_si512(samples, out.a);
    if constexpr (sizeof(Sample) == 2) _mm512_store_si512(samples + 32, out.b);
    for (int p = 0; p < 16; ++p) std::memcpy(result + p * step, samples + 4 * p, kOut * sizeof(Sample));
}

// Pixels go in windows of up to 256, whole blocks. Where most pixels in a
// window are new colours (noise), every block is computed as it comes.
// Elsewhere (photographs, smooth images) only the first pixel of every run
// of equal pixels is computed: those are packed into full blocks, and each
// pixel then takes the output of its run's colour. Either way every pixel
// gets exactly its computed output; the first kind of window tells which
// kind the next one is.
constexpr int32_t kWindow = 256;

// What goes from one window to the next: the keys of the last pixel, in
// every lane, and whether there is one.
struct Carry {
    Keys last;
    bool valid;
};

// For each lane, how many of the lanes up to it are set in `start`: the
// set lanes' ranks spread to the lanes after them.
TNT_AVX512_INLINE __m512i Ranks(__mmask16 start) {
    const __m512i zero = _mm512_setzero_si512();
    __m512i rank = _mm512_maskz_expand_epi32(start, _mm512_setr_epi32(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16));
    rank = _mm512_max_epu32(rank, _mm512_alignr_epi32(rank, zero, 15));
    rank = _mm512_max_epu32(rank, _mm512_alignr_epi32(rank, zero, 14));
    rank = _mm512_max_epu32(rank, _mm512_alignr_epi32(rank, zero, 12));
    return _mm512_max_epu32(rank, _mm512_alignr_epi32(rank, zero, 8));
}

// The lanes whose pixel differs from the one before it (lane 0 from the
// carried pixel, or always when there is none).
TNT_AVX512_INLINE __mmask16 NewColours(const Keys& keys, const Carry& carry) {
    const __mmask16 changed =
        _mm512_cmpneq_epi32_mask(keys.k0, _mm512_alignr_epi32(keys.k0, carry.last.k0, 15)) |
        _mm512_cmpneq_epi32_mask(keys.k1, _mm512_alignr_epi32(keys.k1, carry.last.k1, 15));
    return carry.valid ? changed : static_cast<__mmask16>(changed | 1);
}

TNT_AVX512_INLINE Keys LastLane(const Keys& keys) {
    return {_mm512_permutexvar_epi32(Set1(15), keys.k0), _mm512_permutexvar_epi32(Set1(15), keys.k1)};
}

template <typename Sample, int kIn, int kOut, bool kInCurves, OutputForm kOutput>
TntStatus Run(const LinkTable* table, const void* source, void* destination, int32_t count, int32_t sourceStep,
              int32_t destinationStep, LinkProgressProc progress) {
    const LinkLookups* lookups = table->lookups;
    const LinkKernel baseline = lookups->perPixel;
    // Short runs (the planar entry converts one pixel per call) and steps
    // that make pixels overlap are the per-pixel routine's.
    if (count < 32 || sourceStep < kIn || destinationStep < kOut)
        return baseline(table, source, destination, count, sourceStep, destinationStep, progress);
    const Sample* in = static_cast<const Sample*>(source);
    Sample* out = static_cast<Sample*>(destination);
    const ptrdiff_t inStep = sourceStep, outStep = destinationStep;
    const bool packed = destinationStep == kOut, packedIn = sourceStep == kIn;
    const RunConstants constants = Constants(table, kIn);
    const int step = sourceStep * static_cast<int>(sizeof(Sample));
    const __m512i offsets = _mm512_mullo_epi32(_mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                                               Set1(static_cast<uint32_t>(step)));
    // A gathered 3-byte pixel is read as four bytes, so its block needs a
    // pixel after it.
    const int32_t blockEnd = sizeof(Sample) * kIn < 4 && step < 4 ? count - 1 : count;
    auto compute = [&](const Keys& keys) __attribute__((always_inline)) {
        return ComputeBlock<Sample, kIn, kOut, kInCurves, kOutput>(table, lookups, keys, constants);
    };
    // The new colours of a window (the carried pixel's first, so that runs
    // from the window before have a colour), the colour of every pixel,
    // and the colours' outputs (four samples each). The slack takes whole
    // blocks past the last colour; zeroed so that no lane reads garbage.
    alignas(64) uint32_t colours0[kWindow + 32] = {}, colours1[kWindow + 32] = {};
    alignas(64) uint32_t colourOf[kWindow];
    alignas(64) Sample outputs[(kWindow + 32) * 4] = {};

    Carry carry = {{_mm512_setzero_si512(), _mm512_setzero_si512()}, false};
    bool direct = true;
    uint32_t status = 0;
    int32_t i = 0;
    while (i < count) {
        const int32_t end = progress ? (count - i > 1024 ? i + 1024 : count) : count;
        int32_t at = i;
        if (progress) {
            baseline(table, in + i * inStep, out + i * outStep, 1, sourceStep, destinationStep, nullptr);
            status = progress(i, count) & 0xFFFFu;
            ++at;
            carry.valid = false;
        }
        const int32_t limit = end < blockEnd ? end : blockEnd;
        while (limit - at >= 16) {
            const int32_t blocks = (limit - at < kWindow ? limit - at : kWindow) / 16;
            int32_t colours = 0;
            if (direct) {
                for (int32_t b = 0; b < blocks; ++b) {
                    const Keys keys = LoadKeys<Sample, kIn>(in + (at + 16 * b) * inStep, offsets, packedIn);
                    colours += __builtin_popcount(NewColours(keys, carry));
                    carry = {LastLane(keys), true};
                    StoreBlock<Sample, kOut>(out + (at + 16 * b) * outStep, outStep, packed, compute(keys));
                }
            } else {
                if (carry.valid) {
                    colours0[0] = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm512_castsi512_si128(carry.last.k0)));
                    colours1[0] = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm512_castsi512_si128(carry.last.k1)));
                    colours = 1;
                }
                for (int32_t b = 0; b < blocks; ++b) {
                    const Keys keys = LoadKeys<Sample, kIn>(in + (at + 16 * b) * inStep, offsets, packedIn);
                    const __mmask16 start = NewColours(keys, carry);
                    _mm512_storeu_si512(colours0 + colours, _mm512_maskz_compress_epi32(start, keys.k0));
                    if constexpr (sizeof(Sample) == 2)
                        _mm512_storeu_si512(colours1 + colours, _mm512_maskz_compress_epi32(start, keys.k1));
                    _mm512_store_si512(colourOf + 16 * b, _mm512_add_epi32(Ranks(start), Set1(uint32_t(colours - 1))));
                    colours += __builtin_popcount(start);
                    carry = {LastLane(keys), true};
                }
                for (int32_t c = 0; c < colours; c += 16) {
                    const Outputs o = compute({_mm512_load_si512(colours0 + c), _mm512_load_si512(colours1 + c)});
                    _mm512_store_si512(outputs + 4 * c, o.a);
                    if constexpr (sizeof(Sample) == 2) _mm512_store_si512(outputs + 4 * c + 32, o.b);
                }
                // A block's pixels take at most sixteen colours in a row,
                // from the first pixel's on.
                for (int32_t b = 0; b < blocks; ++b) {
                    const __m512i colour = _mm512_load_si512(colourOf + 16 * b);
                    const uint32_t first = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm512_castsi512_si128(colour)));
                    const __m512i lane = _mm512_sub_epi32(colour, Set1(first));
                    const Sample* from = outputs + 4 * size_t{first};
                    Outputs o;
                    if constexpr (sizeof(Sample) == 1) {
                        o.a = _mm512_permutexvar_epi32(lane, _mm512_loadu_si512(from));
                        o.b = o.a;
                    } else {
                        const __m512i low = _mm512_loadu_si512(from), high = _mm512_loadu_si512(from + 32);
                        o.a = _mm512_permutex2var_epi64(low, _mm512_cvtepu32_epi64(_mm512_castsi512_si256(lane)), high);
                        o.b = _mm512_permutex2var_epi64(low, _mm512_cvtepu32_epi64(_mm512_extracti64x4_epi64(lane, 1)), high);
                    }
                    StoreBlock<Sample, kOut>(out + (at + 16 * b) * outStep, outStep, packed, o);
                }
            }
            direct = 4 * colours > 3 * 16 * blocks;
            at += 16 * blocks;
        }
        if (at < end)
            baseline(table, in + at * inStep, out + at * outStep, end - at, sourceStep, destinationStep, nullptr);
        i = end;
    }
    return static_cast<TntStatus>(status);
}

// 4 to 6 stays with the per-pixel routine.
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
}  // namespace tnt::avx512

#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

namespace tnt {

LinkKernel Avx512FastKernel(const LinkTable* table, RoutineForm form) {
    if (!__builtin_cpu_supports("avx512f") || !__builtin_cpu_supports("avx512bw")) return nullptr;
    // Curve entries are fetched as the aligned word that holds them.
    if ((reinterpret_cast<uintptr_t>(table->inputCurves) | reinterpret_cast<uintptr_t>(table->outputCurves)) & 3)
        return nullptr;
    return table->precision == 1 ? avx512::ForTable<uint8_t>(table, form) : avx512::ForTable<uint16_t>(table, form);
}

}  // namespace tnt
