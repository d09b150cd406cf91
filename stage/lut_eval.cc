#include <cstring>
#include <utility>

#include "colour/power.h"
#include "stage/lut.h"
#include "stage/stage.h"
#include "profile/signatures.h"

namespace tnt {

namespace {

constexpr double kScale16 = 1.5259021896696422e-5;  // 1 / 65535
constexpr double kScale8 = 0.00392156862745098;     // 1 / 255
// L = 100 in the 16-bit Lab encoding; an input at or above it counts as 1.0.
constexpr uint32_t kLabWhiteCode = 65280;
constexpr double kLabWhiteValue = 0.9961089494163424;
constexpr uint32_t kMaxCorners = 1u << kMaxLutChannels;

double Clamp01(double v) {
    if (!(v >= 0.0)) return 0.0;
    return v > 1.0 ? 1.0 : v;
}

// trunc(v * scale), kept inside 0..limit.
uint16_t Truncate(double v, double scale, uint32_t limit) {
    const double t = v * scale;
    if (!(t >= 0.0)) return 0;
    if (t >= limit) return static_cast<uint16_t>(limit);
    return static_cast<uint16_t>(t);
}

// LookupCurve, inline for the loops over every colour and channel.
inline double CurveAt(const double* curve, uint32_t entries, double v) {
    const double p = (entries - 1) * Clamp01(v);
    uint32_t i = static_cast<uint32_t>(p);
    if (i > entries - 2) i = entries - 2;
    return curve[i] + (curve[i + 1] - curve[i]) * (p - i);
}

// A table curve at v: samples linear between them, other curves by their
// kind; both clamped to 0..1.
inline double CurveValue(const ToneCurve& curve, double v) {
    if (curve.kind == kCurveSampled) return CurveAt(curve.table, curve.length, v);
    return Clamp01(EvaluateToneCurve(curve, Clamp01(v)));
}

// Whether 'Lab ' channel k is scaled by 65280 at the table's boundary: an
// 8-bit 'mft1' reaches L = 100 at its top entry, and the ICC v4 types
// encode L 100 and a, b 127 as 65535.
inline bool LabScaled(const LutStageData* lut, uint32_t space, uint32_t k) {
    return space == kLab && k < 3 && (lut->v4Encoding || !lut->sixteenBit);
}

// The value channel k (code `code`, in `space`) enters the table with.
inline double DecodeInput(const LutStageData* lut, uint32_t space, uint32_t k, uint16_t code) {
    if (lut->v4Encoding && space == kLab && k < 3) {
        const double v = code * (1.0 / kLabWhiteCode);
        return v > 1.0 ? 1.0 : v;
    }
    const double v = code * kScale16;
    return space == kLab && k == 0 && v >= kLabWhiteValue ? 1.0 : v;
}

// The codes of n values leaving a table stage in `outSpace`. Lab scaled at
// the boundary (LabScaled) is written on the 65280 scale throughout; a
// 16-bit 'mft2' only has L capped there.
inline void WriteCodes(const LutStageData* lut, uint32_t outSpace, const double* v, uint32_t n, uint16_t* codes) {
    uint32_t k = 0;
    if (LabScaled(lut, outSpace, 0)) {
        for (; k < n && k < 3; ++k) codes[k] = Truncate(v[k], kLabWhiteCode, 65535);
        if (codes[0] > kLabWhiteCode) codes[0] = kLabWhiteCode;
    }
    for (; k < n; ++k) codes[k] = Truncate(v[k], 65535.0, 65535);
    if (outSpace == kLab && n > 0 && codes[0] > kLabWhiteCode) codes[0] = kLabWhiteCode;
}

// Three values through a matrix with offsets (an ICC v4 table's), each
// clamped to 0..1.
inline void MatrixWithOffsets(const double* m, double* v) {
    double r[3];
    for (int i = 0; i < 3; ++i) r[i] = m[3 * i] * v[0] + m[3 * i + 1] * v[1] + m[3 * i + 2] * v[2] + m[9 + i];
    for (int i = 0; i < 3; ++i) v[i] = Clamp01(r[i]);
}

// An 'mAB ''s M curves and matrix, between its grid and its B curves.
inline void AfterGrid(const LutStageData* lut, double* v) {
    for (uint32_t k = 0; k < 3; ++k) v[k] = CurveValue(lut->middleCurves[k], v[k]);
    MatrixWithOffsets(lut->matrix, v);
}

// LutOutputCodes, inline for the stage applied colour by colour.
inline void OutputCodes(const LutStageData* lut, uint32_t outSpace, double* v, uint16_t passFlags, uint16_t* codes) {
    const uint32_t n = lut->outputChannels;
    if (lut->matrixAfterGrid && (passFlags & kPassCore)) AfterGrid(lut, v);
    if (lut->outputCurvesActive && (passFlags & kPassOutputCurves)) {
        for (uint32_t k = 0; k < n; ++k) v[k] = CurveValue(lut->outputCurves[k], v[k]);
    }
    WriteCodes(lut, outSpace, v, n, codes);
}

}  // namespace

double LookupCurve(const ToneCurve& curve, double v) { return CurveValue(curve, v); }

namespace {

uint16_t Entry16(const uint8_t* node, uint32_t k) {
    uint16_t entry;
    std::memcpy(&entry, node + 2 * k, 2);
    return entry;
}

// One corner's weighted entries added to each output's sum, written out
// per output so that the sums stay in registers.
template <size_t... K>
void AddCorner16(double* sum, const uint8_t* node, double weight, std::index_sequence<K...>) {
    ((sum[K] += Entry16(node, K) * weight), ...);
}

template <size_t... K>
void AddCorner8(double* sum, const uint8_t* node, double weight, std::index_sequence<K...>) {
    ((sum[K] += node[K] * weight), ...);
}

// Where value v (clamped to 0..1) falls along an axis of g points: the
// lower node and the fraction of the cell beyond it; the top value lies at
// the far end of the last cell.
inline void LocateOnAxis(uint32_t g, double v, uint32_t* index, double* fraction) {
    const double p = (g - 1) * Clamp01(v);
    uint32_t i = static_cast<uint32_t>(p);
    *fraction = p - i;
    if (i >= g - 1) {
        i = g - 2;
        *fraction = 1.0;
    }
    *index = i;
}

// Corners 2s and 2s + 1 of RowFromEntries: the entries at `at` and at the
// next node along the last axis, `step` further, in that order.
template <size_t... K>
inline void AddPair(double* sum, const double* at, uint32_t step, double low, double high, std::index_sequence<K...>) {
    ((sum[K] += at[K] * low), ...);
    ((sum[K] += at[step + K] * high), ...);
}

// The colours of InterpolateRowFor from the table's entries as doubles
// (exact), so that no colour converts them again. Corner 2s + b of a
// colour whose last input falls at node m is the entry of shared corner s
// at node m + b; sums take the same products in the same order.
template <uint32_t kInputs, uint32_t kOutputs>
void RowFromEntries(const LutStageData* data, const double* entries, uint32_t base, const double* shared,
                    const uint32_t* offset, const double* last, uint32_t count, double* out) {
    constexpr uint32_t kHalf = 1u << (kInputs - 1);
    const uint32_t g = data->gridPoints[kInputs - 1], step = data->stride[0];
    const double* corner[kHalf];
    for (uint32_t s = 0; s < kHalf; ++s) corner[s] = entries + base + offset[2 * s];
    const double scale = data->sixteenBit ? kScale16 : kScale8;
    for (uint32_t i = 0; i < count; ++i, out += kOutputs) {
        uint32_t index;
        double fraction;
        LocateOnAxis(g, last[i], &index, &fraction);
        const double rest = 1.0 - fraction;
        const size_t at = static_cast<size_t>(index) * step;
        double sum[kOutputs] = {};
        for (uint32_t s = 0; s < kHalf; ++s)
            AddPair(sum, corner[s] + at, step, shared[s] * rest, shared[s] * fraction,
                    std::make_index_sequence<kOutputs>());
        for (uint32_t k = 0; k < kOutputs; ++k) out[k] = sum[k] * scale;
    }
}

// Multilinear interpolation along a row of colours that share every input
// but the last: inputs 0 to inputs - 2 at `fixed`, the last at last[i] for
// colour i. Everything that depends on the shared inputs alone (their
// nodes, the products of their weights, the corner offsets) is found once;
// each colour's sums are the same products added in the same order as for
// a colour on its own. kInputs and kOutputs fix the shape at compile time
// (0: as the table says), so that the common shapes run unrolled.
template <uint32_t kInputs, uint32_t kOutputs>
void InterpolateRowFor(const LutStageData* data, const double* entries, const double* fixed, const double* last,
                       uint32_t count, double* out) {
    const uint32_t inputs = kInputs ? kInputs : data->inputChannels;
    const uint32_t outputs = kOutputs ? kOutputs : data->outputChannels;
    const uint8_t* g = data->gridPoints;
    // Bit b of a corner number steps along input inputs-1-b: doubling the
    // weight list once per input, first input first, puts each input's bit
    // where it belongs. Offsets add the stride of a corner's lowest bit to
    // the corner without it.
    uint32_t base = 0;
    double shared[kMaxCorners / 2];
    shared[0] = 1.0;
    for (uint32_t j = 0, filled = 1; j + 1 < inputs; ++j, filled *= 2) {
        uint32_t index;
        double fraction;
        LocateOnAxis(g[j], fixed[j], &index, &fraction);
        base += index * data->stride[inputs - 1 - j];
        for (uint32_t c = filled; c-- > 0;) {
            shared[2 * c + 1] = shared[c] * fraction;
            shared[2 * c] = shared[c] * (1.0 - fraction);
        }
    }
    const uint32_t corners = 1u << inputs, half = corners / 2;
    uint32_t offset[kMaxCorners];
    offset[0] = 0;
    for (uint32_t c = 1; c < corners; ++c)
        offset[c] = offset[c & (c - 1)] + data->stride[static_cast<uint32_t>(__builtin_ctz(c))];
    if constexpr (kInputs != 0 && kOutputs != 0) {
        if (entries) {
            RowFromEntries<kInputs, kOutputs>(data, entries, base, shared, offset, last, count, out);
            return;
        }
    }
    for (uint32_t i = 0; i < count; ++i, out += outputs) {
        uint32_t index;
        double fraction;
        LocateOnAxis(g[inputs - 1], last[i], &index, &fraction);
        const uint32_t at = base + index * data->stride[0];
        double weight[kMaxCorners];
        for (uint32_t c = 0; c < half; ++c) {
            weight[2 * c + 1] = shared[c] * fraction;
            weight[2 * c] = shared[c] * (1.0 - fraction);
        }
        double sum[kMaxLutChannels] = {};
        if (data->sixteenBit) {
            for (uint32_t c = 0; c < corners; ++c) {
                const uint8_t* node = data->grid + 2 * (static_cast<size_t>(at) + offset[c]);
                if constexpr (kOutputs != 0) {
                    AddCorner16(sum, node, weight[c], std::make_index_sequence<kOutputs>());
                } else {
                    for (uint32_t k = 0; k < outputs; ++k) sum[k] += Entry16(node, k) * weight[c];
                }
            }
            for (uint32_t k = 0; k < outputs; ++k) out[k] = sum[k] * kScale16;
        } else {
            for (uint32_t c = 0; c < corners; ++c) {
                const uint8_t* node = data->grid + at + offset[c];
                if constexpr (kOutputs != 0) {
                    AddCorner8(sum, node, weight[c], std::make_index_sequence<kOutputs>());
                } else {
                    for (uint32_t k = 0; k < outputs; ++k) sum[k] += node[k] * weight[c];
                }
            }
            for (uint32_t k = 0; k < outputs; ++k) out[k] = sum[k] * kScale8;
        }
    }
}

}  // namespace

void InterpolateGridRow(const LutStageData* data, const double* entries, const double* fixed, const double* last,
                        uint32_t count, double* out) {
    if (!data->grid) {
        // No grid: as many outputs as inputs, passed through.
        const uint32_t n = data->inputChannels;
        for (uint32_t i = 0; i < count; ++i, out += n) {
            for (uint32_t k = 0; k + 1 < n; ++k) out[k] = Clamp01(fixed[k]);
            out[n - 1] = Clamp01(last[i]);
        }
        return;
    }
    switch (data->inputChannels * 16 + data->outputChannels) {
        case 3 * 16 + 3: return InterpolateRowFor<3, 3>(data, entries, fixed, last, count, out);
        case 3 * 16 + 4: return InterpolateRowFor<3, 4>(data, entries, fixed, last, count, out);
        case 4 * 16 + 3: return InterpolateRowFor<4, 3>(data, entries, fixed, last, count, out);
        case 4 * 16 + 4: return InterpolateRowFor<4, 4>(data, entries, fixed, last, count, out);
        default: return InterpolateRowFor<0, 0>(data, entries, fixed, last, count, out);
    }
}

void ConvertGridEntries(const LutStageData* data, double* entries) {
    if (data->sixteenBit) {
        for (uint32_t i = 0; i < data->gridSize; ++i) entries[i] = Entry16(data->grid, i);
    } else {
        for (uint32_t i = 0; i < data->gridSize; ++i) entries[i] = data->grid[i];
    }
}

void InterpolateGrid(const LutStageData* data, const double* in, double* out) {
    // A row of one colour; `out` may be `in`, so the inputs are kept apart.
    double v[kMaxLutChannels];
    std::memcpy(v, in, sizeof(double) * data->inputChannels);
    InterpolateGridRow(data, nullptr, v, v + data->inputChannels - 1, 1, out);
}

void LutCurvePass(const LutStageData* lut, uint32_t space, uint32_t k, uint16_t passFlags, uint32_t first,
                  uint32_t step, uint32_t count, uint16_t* codes) {
    // The steps of ApplyLutStage with one curve pass alone, for one channel:
    // every channel reads and writes only its own code.
    const bool input = passFlags == kPassInputCurves;
    if (input && lut->useMatrix) {
        for (uint32_t i = 0; i < count; ++i) codes[i] = uint16_t(first + i * step);
        return;
    }
    const bool active = input ? lut->inputCurvesActive : lut->outputCurvesActive;
    const ToneCurve& curve = (input ? lut->inputCurves : lut->outputCurves)[k];
    const bool lightness = space == kLab && k == 0;
    const bool labScale = LabScaled(lut, space, k);
    // A gamma's powers come from a table wherever the code they give cannot
    // change by the table's error; the rest from std::pow.
    PowerTable powers;
    const bool tabulated = active && curve.kind == kCurveGamma && PreparePowerTable(curve.param[0], &powers);
    const double scale = labScale ? kLabWhiteCode : 65535.0;
    for (uint32_t i = 0; i < count; ++i) {
        double v = DecodeInput(lut, space, k, uint16_t(first + i * step));
        double power;
        if (tabulated && TablePower(&powers, Clamp01(v), &power) && power < 1.0 &&
            !NearInteger(power * scale, kQuantizeTolerance)) {
            v = power;
        } else if (active) {
            v = CurveValue(curve, v);
        }
        uint16_t result = labScale ? Truncate(v, kLabWhiteCode, 65535) : Truncate(v, 65535.0, 65535);
        if (lightness && result > kLabWhiteCode) result = kLabWhiteCode;
        codes[i] = result;
    }
}

TntStatus ApplyLutStage(const TransformStage* stage, const WorkColor* in, WorkColor* out, uint16_t passFlags) {
    uint32_t inSpace = 0, outSpace = 0;
    StageSpaces(stage, passFlags, &inSpace, &outSpace);
    return ApplyLutStageBetween(stage, inSpace, outSpace, in, out, passFlags);
}

double LutCoreInput(const LutStageData* lut, uint32_t inSpace, uint32_t k, uint16_t code, uint16_t passFlags) {
    double v = DecodeInput(lut, inSpace, k, code);
    if (lut->inputCurvesActive && (passFlags & kPassInputCurves)) v = CurveValue(lut->inputCurves[k], v);
    return v;
}

void LutOutputCodes(const LutStageData* lut, uint32_t outSpace, double* v, uint16_t passFlags, uint16_t* codes) {
    OutputCodes(lut, outSpace, v, passFlags, codes);
}

TntStatus ApplyLutStageBetween(const TransformStage* stage, uint32_t inSpace, uint32_t outSpace, const WorkColor* in,
                               WorkColor* out, uint16_t passFlags) {
    const LutStageData* lut = &stage->data.lut;
    uint32_t n = (passFlags & (kPassInputCurves | kPassCore)) ? lut->inputChannels : lut->outputChannels;

    WorkColor result = *in;
    // The input curves cannot be run apart from the matrix in front of them.
    if (lut->useMatrix && passFlags == kPassInputCurves) {
        *out = result;
        return TNT_OK;
    }

    double v[kMaxLutChannels];
    if (lut->useMatrix && passFlags != kPassOutputCurves) {
        for (uint32_t k = 0; k < n; ++k) v[k] = DecodeInput(lut, inSpace, k, in->channel[k]);
        if (lut->v4Encoding) {
            // An 'mBA ''s B curves, matrix and M curves: all of them core.
            if (passFlags & kPassCore) {
                for (uint32_t k = 0; k < 3; ++k) v[k] = CurveValue(lut->inputCurves[k], v[k]);
                MatrixWithOffsets(lut->matrix, v);
                for (uint32_t k = 0; k < 3; ++k) v[k] = CurveValue(lut->middleCurves[k], v[k]);
            }
        } else {
            double m[3];
            for (int r = 0; r < 3; ++r)
                m[r] = lut->matrix[3 * r] * v[0] + lut->matrix[3 * r + 1] * v[1] + lut->matrix[3 * r + 2] * v[2];
            for (int r = 0; r < 3; ++r) v[r] = m[r];
            for (uint32_t k = 0; k < n; ++k) v[k] = Clamp01(v[k]);
            if (lut->inputCurvesActive && (passFlags & kPassInputCurves)) {
                for (uint32_t k = 0; k < n; ++k) v[k] = CurveAt(lut->inputCurves[k].table, lut->inputCurves[k].length, v[k]);
            }
        }
    } else {
        // Without a matrix every channel reaches the grid on its own.
        for (uint32_t k = 0; k < n; ++k) v[k] = LutCoreInput(lut, inSpace, k, in->channel[k], passFlags);
    }
    if (passFlags & kPassCore) {
        InterpolateGrid(lut, v, v);
        n = lut->outputChannels;
    }
    if (n == lut->outputChannels) {
        OutputCodes(lut, outSpace, v, passFlags, result.channel);
        *out = result;
        return TNT_OK;
    }
    // Output curves cannot be run on a colour of another channel count;
    // its values are written as they are.
    WriteCodes(lut, outSpace, v, n, result.channel);
    *out = result;
    return lut->outputCurvesActive && (passFlags & kPassOutputCurves) ? TNT_ERR_OUTPUT_CURVES : TNT_OK;
}

}  // namespace tnt
