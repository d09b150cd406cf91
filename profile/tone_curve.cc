#include "profile/tone_curve.h"

#include <cmath>
#include <cstring>

#include "colour/numeric.h"
#include "platform/memory.h"
#include "profile/byteorder.h"
#include "profile/signatures.h"
#include "profile/tag_reader.h"

namespace tnt {

namespace {

double Clamp01(double v) {
    if (!(v >= 0.0)) return 0.0;
    return v > 1.0 ? 1.0 : v;
}

// t^g on the rising side of a power segment; nothing below its start.
double Power(double t, double g) { return t > 0.0 ? std::pow(t, g) : 0.0; }
double Root(double y, double g) { return y > 0.0 ? std::pow(y, 1.0 / g) : 0.0; }

constexpr double kBreakTolerance = 1.0 / 4096;

// The two segments of forms 3 and 4 at the break point d: the linear one
// (c d, plus f) and the power one ((a d + b)^g, plus e).
double BelowBreak(const ToneCurve& c) {
    const double* p = c.param;
    return p[3] * p[4] + (c.function == 4 ? p[6] : 0.0);
}

double AboveBreak(const ToneCurve& c) {
    const double* p = c.param;
    return Power(p[1] * p[4] + p[2], p[0]) + (c.function == 4 ? p[5] : 0.0);
}

// The function as ICC defines it, before the result is clamped.
double ParametricValue(const ToneCurve& c, double x) {
    const double* p = c.param;  // g a b c d e f
    switch (c.function) {
        case 0: return std::pow(x < 0.0 ? 0.0 : x, p[0]);
        // From x = -b/a on: nothing for a falling a.
        case 1: return p[1] < 0.0 ? 0.0 : Power(p[1] * x + p[2], p[0]);
        case 2: return (p[1] < 0.0 ? 0.0 : Power(p[1] * x + p[2], p[0])) + p[3];
        case 3: return x >= p[4] ? Power(p[1] * x + p[2], p[0]) : p[3] * x;
        default: return x >= p[4] ? Power(p[1] * x + p[2], p[0]) + p[5] : p[3] * x + p[6];
    }
}

// Whether the curve rises (or stays level) all along 0..1 and ends above
// its start, each segment on its own and across the break. Parameters
// rounded to 16 fractional bits leave the segments of a continuous curve
// a hair apart at the break, either way; a step down that small is no
// fall (values in it invert to the break).
bool RisesThroughout(const ToneCurve& c) {
    const double* p = c.param;
    const double g = p[0], a = p[1], d = p[4];
    const bool piecewise = c.function >= 3;
    const bool powerUsed = !piecewise || d < 1.0;
    if (powerUsed && (!(g > 0.0) || (c.function > 0 && !(a > 0.0)))) return false;
    if (piecewise && d > 0.0) {
        if (!(p[3] >= 0.0)) return false;
        if (powerUsed && !(c.belowBreak <= c.aboveBreak + kBreakTolerance)) return false;
    }
    return ParametricValue(c, 1.0) > ParametricValue(c, 0.0);
}

double InvertSampled(const double* table, uint32_t length, double y) {
    if (length == 2) return MapLinear(table[0], 0.0, table[1], 1.0, y);
    if (!(y > table[0])) return 0.0;
    if (y >= table[length - 1]) return 1.0;
    return InvertSampledWithin(table, length, 0, length - 1, y);
}

double InvertParametric(const ToneCurve& c, double y) {
    if (!c.invertible) return InvertSampled(c.table, c.length, y);
    const double g = c.param[0];
    return InvertParametricWith(c, y, [g](double v) { return Root(v, g); });
}

// The 'curv' layout: a count at 8 and 16-bit entries from 12.
TntStatus ReadSampledCurve(const TagReader& reader, uint64_t offset, bool fileOrder, ToneCurve* curve,
                           uint64_t* size) {
    uint32_t count = 0;
    const uint8_t* entries = nullptr;
    TntStatus st = fileOrder ? TagFileU32(reader, offset + 8, &count) : TagU32(reader, offset + 8, &count);
    if (!st) st = TagBytes(reader, offset + 12, 2 * uint64_t{count}, &entries);
    if (st) return st;
    if (size) *size = 12 + 2 * uint64_t{count};
    auto entry = [&](uint32_t j) {
        if (fileOrder) return FileU16(entries + 2 * j);
        uint16_t value;
        std::memcpy(&value, entries + 2 * j, 2);
        return value;
    };
    if (count == 0) return TNT_OK;
    if (count == 1) {
        curve->kind = kCurveGamma;
        curve->param[0] = U8Fixed8ToDouble(entry(0));
        return TNT_OK;
    }
    auto* values = static_cast<double*>(AllocBlock(sizeof(double) * count));
    if (!values) return TNT_ERR_NO_MEMORY;
    for (uint32_t j = 0; j < count; ++j) values[j] = entry(j) / 65535.0;
    curve->kind = kCurveSampled;
    curve->table = values;
    curve->length = count;
    return TNT_OK;
}

TntStatus ReadParametricCurve(const TagReader& reader, uint64_t offset, ToneCurve* curve, uint64_t* size) {
    uint16_t function = 0;
    if (TntStatus st = TagFileU16(reader, offset + 8, &function)) return st;
    if (function > 4) return TNT_ERR_TAG_NOT_FOUND;
    const uint32_t count = ParametricParameterCount(function);
    for (uint32_t k = 0; k < count; ++k) {
        if (TntStatus st = TagFileS15Fixed16(reader, offset + 12 + 4 * k, &curve->param[k])) return st;
    }
    if (size) *size = 12 + 4 * uint64_t{count};
    curve->function = function;
    if (function == 0 && curve->param[0] > 0.0) {
        // A gamma of exactly 1 is the identity and costs nothing.
        curve->kind = curve->param[0] == 1.0 ? kCurveIdentity : kCurveGamma;
        return TNT_OK;
    }
    curve->kind = kCurveParametric;
    if (function >= 3) {
        curve->belowBreak = BelowBreak(*curve);
        curve->aboveBreak = AboveBreak(*curve);
    }
    curve->invertible = RisesThroughout(*curve);
    if (curve->invertible) return TNT_OK;
    auto* samples = static_cast<double*>(AllocBlock(sizeof(double) * kParametricSamples));
    if (!samples) return TNT_ERR_NO_MEMORY;
    for (uint32_t j = 0; j < kParametricSamples; ++j)
        samples[j] = Clamp01(ParametricValue(*curve, j / double(kParametricSamples - 1)));
    curve->table = samples;
    curve->length = kParametricSamples;
    return TNT_OK;
}

}  // namespace

uint32_t ParametricParameterCount(uint32_t function) {
    static constexpr uint32_t kCounts[5] = {1, 3, 4, 5, 7};
    return function < 5 ? kCounts[function] : 0;
}

TntStatus ReadToneCurveAt(const TagReader& reader, uint64_t offset, bool fileOrder, bool anyType, ToneCurve* curve,
                          uint64_t* size) {
    std::memset(curve, 0, sizeof *curve);
    uint32_t type = 0;
    TntStatus st = fileOrder ? TagFileU32(reader, offset, &type) : TagU32(reader, offset, &type);
    if (st) return st;
    if (type != kParametric && type != kCurve && !anyType) return TNT_ERR_TAG_NOT_FOUND;
    st = type == kParametric ? ReadParametricCurve(reader, offset, curve, size)
                             : ReadSampledCurve(reader, offset, fileOrder, curve, size);
    if (st) {
        ReleaseToneCurve(curve);
        return st;
    }
    curve->type = type;
    return TNT_OK;
}

TntStatus ToneCurveExtent(const TagReader& reader, uint64_t offset, uint64_t* size) {
    uint32_t type = 0, count = 0;
    if (TntStatus st = TagFileU32(reader, offset, &type)) return st;
    if (type == kCurve) {
        if (TntStatus st = TagFileU32(reader, offset + 8, &count)) return st;
        *size = 12 + 2 * uint64_t{count};
    } else if (type == kParametric) {
        uint16_t function = 0;
        if (TntStatus st = TagFileU16(reader, offset + 8, &function)) return st;
        if (function > 4) return TNT_ERR_TAG_NOT_FOUND;
        *size = 12 + 4 * uint64_t{ParametricParameterCount(function)};
    } else {
        return TNT_ERR_TAG_NOT_FOUND;
    }
    return TagHolds(reader, offset, *size) ? TNT_OK : TNT_ERR_TAG_RANGE;
}

TntStatus ReadToneCurveTag(Profile* profile, uint32_t signature, ToneCurve* curve) {
    std::memset(curve, 0, sizeof *curve);
    TagReader reader;
    if (TntStatus st = OpenTagReader(profile, signature, &reader)) return st;
    return ReadToneCurveAt(reader, 0, false, true, curve, nullptr);
}

void ReleaseToneCurve(ToneCurve* curve) {
    FreeBlock(curve->table);
    std::memset(curve, 0, sizeof *curve);
}

double EvaluateToneCurve(const ToneCurve& curve, double x) {
    switch (curve.kind) {
        case kCurveGamma:
            return std::pow(x < 0.0 ? 0.0 : x, curve.param[0]);
        case kCurveSampled: {
            const double* table = curve.table;
            const uint32_t length = curve.length;
            if (length == 2) return MapLinear(0.0, table[0], 1.0, table[1], x);
            x = Clamp01(x);
            const double p = (length - 1) * x;
            uint32_t i = static_cast<uint32_t>(p);
            if (i > length - 2) i = length - 2;
            return table[i] + (table[i + 1] - table[i]) * (p - i);
        }
        case kCurveParametric:
            return Clamp01(ParametricValue(curve, Clamp01(x)));
        default:
            return x;
    }
}

double InvertToneCurve(const ToneCurve& curve, double y) {
    switch (curve.kind) {
        case kCurveGamma:
            return std::pow(y < 0.0 ? 0.0 : y, 1.0 / curve.param[0]);
        case kCurveSampled:
            return InvertSampled(curve.table, curve.length, y);
        case kCurveParametric:
            return InvertParametric(curve, y);
        default:
            return y;
    }
}

}  // namespace tnt
