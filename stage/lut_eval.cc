#include <cstring>
#include <utility>

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

}  // namespace

double LookupCurve(const double* curve, uint32_t entries, double v) { return CurveAt(curve, entries, v); }

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

// The interpolation for kInputs inputs and kOutputs outputs fixed at compile
// time (0: as the table says), so that the common shapes run unrolled; the
// arithmetic is the same in every instance.
template <uint32_t kInputs, uint32_t kOutputs>
void InterpolateGridFor(const LutStageData* data, const double* in, double* out) {
    const uint32_t inputs = kInputs ? kInputs : data->inputChannels;
    const uint32_t outputs = kOutputs ? kOutputs : data->outputChannels;
    const uint32_t g = data->gridPoints;
    uint32_t base = 0;
    double fraction[kMaxLutChannels];
    for (uint32_t j = 0; j < inputs; ++j) {
        const double p = (g - 1) * Clamp01(in[j]);
        uint32_t index = static_cast<uint32_t>(p);
        fraction[j] = p - index;
        if (index >= g - 1) {
            index = g - 2;
            fraction[j] = 1.0;
        }
        base += index * data->stride[inputs - 1 - j];
    }
    // Bit b of a corner number steps along input inputs-1-b: doubling the
    // weight list once per input, first input first, puts each input's bit
    // where it belongs. Offsets add the stride of a corner's lowest bit to
    // the corner without it.
    const uint32_t corners = 1u << inputs;
    double weight[kMaxCorners];
    uint32_t offset[kMaxCorners];
    weight[0] = 1.0;
    for (uint32_t j = 0, filled = 1; j < inputs; ++j, filled *= 2) {
        for (uint32_t c = filled; c-- > 0;) {
            weight[2 * c + 1] = weight[c] * fraction[j];
            weight[2 * c] = weight[c] * (1.0 - fraction[j]);
        }
    }
    offset[0] = 0;
    for (uint32_t c = 1; c < corners; ++c)
        offset[c] = offset[c & (c - 1)] + data->stride[static_cast<uint32_t>(__builtin_ctz(c))];
    double sum[kMaxLutChannels] = {};
    if (data->sixteenBit) {
        for (uint32_t c = 0; c < corners; ++c) {
            const uint8_t* node = data->grid + 2 * (static_cast<size_t>(base) + offset[c]);
            if constexpr (kOutputs != 0) {
                AddCorner16(sum, node, weight[c], std::make_index_sequence<kOutputs>());
            } else {
                for (uint32_t k = 0; k < outputs; ++k) sum[k] += Entry16(node, k) * weight[c];
            }
        }
        for (uint32_t k = 0; k < outputs; ++k) out[k] = sum[k] * kScale16;
    } else {
        for (uint32_t c = 0; c < corners; ++c) {
            const uint8_t* node = data->grid + base + offset[c];
            if constexpr (kOutputs != 0) {
                AddCorner8(sum, node, weight[c], std::make_index_sequence<kOutputs>());
            } else {
                for (uint32_t k = 0; k < outputs; ++k) sum[k] += node[k] * weight[c];
            }
        }
        for (uint32_t k = 0; k < outputs; ++k) out[k] = sum[k] * kScale8;
    }
}

}  // namespace

void InterpolateGrid(const LutStageData* data, const double* in, double* out) {
    switch (data->inputChannels * 16 + data->outputChannels) {
        case 3 * 16 + 3: return InterpolateGridFor<3, 3>(data, in, out);
        case 3 * 16 + 4: return InterpolateGridFor<3, 4>(data, in, out);
        case 4 * 16 + 3: return InterpolateGridFor<4, 3>(data, in, out);
        case 4 * 16 + 4: return InterpolateGridFor<4, 4>(data, in, out);
        default: return InterpolateGridFor<0, 0>(data, in, out);
    }
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
    const uint32_t entries = input ? lut->inputEntries : lut->outputEntries;
    const double* curve = (input ? lut->inputCurves : lut->outputCurves) + k * entries;
    const bool lightness = space == kLab && k == 0;
    const bool labScale = !lut->sixteenBit && space == kLab && k < 3;
    for (uint32_t i = 0; i < count; ++i) {
        double v = uint16_t(first + i * step) * kScale16;
        if (lightness && v >= kLabWhiteValue) v = 1.0;
        if (active) v = CurveAt(curve, entries, v);
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
    for (uint32_t k = 0; k < n; ++k) v[k] = in->channel[k] * kScale16;
    if (inSpace == kLab && v[0] >= kLabWhiteValue) v[0] = 1.0;

    if (lut->useMatrix && passFlags != kPassOutputCurves) {
        double m[3];
        for (int r = 0; r < 3; ++r)
            m[r] = lut->matrix[3 * r] * v[0] + lut->matrix[3 * r + 1] * v[1] + lut->matrix[3 * r + 2] * v[2];
        for (int r = 0; r < 3; ++r) v[r] = m[r];
        for (uint32_t k = 0; k < n; ++k) v[k] = Clamp01(v[k]);
    }
    if (lut->inputCurvesActive && (passFlags & kPassInputCurves)) {
        for (uint32_t k = 0; k < n; ++k)
            v[k] = CurveAt(lut->inputCurves + k * lut->inputEntries, lut->inputEntries, v[k]);
    }
    if (passFlags & kPassCore) {
        InterpolateGrid(lut, v, v);
        n = lut->outputChannels;
    }
    TntStatus st = TNT_OK;
    if (lut->outputCurvesActive && (passFlags & kPassOutputCurves)) {
        if (n == lut->outputChannels) {
            for (uint32_t k = 0; k < n; ++k)
                v[k] = CurveAt(lut->outputCurves + k * lut->outputEntries, lut->outputEntries, v[k]);
        } else {
            st = TNT_ERR_OUTPUT_CURVES;
        }
    }

    // An 8-bit table reaches L = 100 at its top entry, so its Lab output is
    // scaled to 65280 throughout; a 16-bit table only has L capped there.
    uint32_t k = 0;
    if (!lut->sixteenBit && outSpace == kLab) {
        for (; k < n && k < 3; ++k) result.channel[k] = Truncate(v[k], kLabWhiteCode, 65535);
        if (result.channel[0] > kLabWhiteCode) result.channel[0] = kLabWhiteCode;
    }
    for (; k < n; ++k) result.channel[k] = Truncate(v[k], 65535.0, 65535);
    if (outSpace == kLab && n > 0 && result.channel[0] > kLabWhiteCode) result.channel[0] = kLabWhiteCode;
    *out = result;
    return st;
}

}  // namespace tnt
