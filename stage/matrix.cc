#include "stage/matrix.h"

#include <cmath>
#include <cstring>

#include "colour/convert.h"
#include "colour/numeric.h"
#include "colour/power.h"
#include "platform/memory.h"
#include "profile/byteorder.h"
#include "profile/elements.h"
#include "profile/tag_reader.h"
#include "stage/stage.h"
#include "profile/signatures.h"

namespace tnt {

namespace {

// XYZ leaves a matrix-forward stage on a scale where code 65535 is 2.0, and
// enters a reverse stage with a factor a hair larger than 2 / 65535; the two
// are kept as they are so that stored colours keep their meaning.
constexpr double kXyzOutScale = 65535.0 / 2.0;
constexpr double kXyzInScale = 3.0517586022735946e-5;
// A gray-forward stage writes the D50 white scaled by the curve value.
constexpr double kGrayX = 31594.89742346135;
constexpr double kGrayY = 32767.991519872798;
constexpr double kGrayZ = 27030.31620474307;
// L of Lab: 65280 is L = 100.
constexpr double kLabLIn = 1.5318627450980392e-5;

// 0.5 is added and the result clamped before truncation; NaN gives 0.
uint16_t Quantize(double t) {
    t += 0.5;
    if (!(t >= 0.0)) return 0;
    if (t > 65535.0) return 65535;
    return static_cast<uint16_t>(t);
}

// What of `inverses` serves channel c's curve: a power table for a gamma
// whose inverse is the table's power, a search made over this very curve.
struct Serving {
    const PowerTable* power;
    const CurveSearch* search;
};

Serving ServingFor(const MatrixStageData* data, int c, const CurveInverses* inverses) {
    Serving serving{};
    if (!inverses) return serving;
    const ToneCurve& curve = data->curve[c];
    const PowerTable* power = inverses->power[c];
    if (power && HasRootPower(curve) && 1.0 / curve.param[0] == power->exponent) serving.power = power;
    const CurveSearch* search = inverses->search[c];
    const double* table = SampledTable(curve);
    if (search && table && search->table == table && search->length == curve.length) serving.search = search;
    return serving;
}

// Colours per batch of the row functions.
constexpr uint32_t kMaxRow = 64;

inline uint32_t BucketOf(const CurveSearch* search, double y) {
    const double t = (y - search->origin) * search->scale;
    return t < kCurveSearchBuckets ? static_cast<uint32_t>(t) : kCurveSearchBuckets - 1;
}

// InvertCurveSearched, inline for the loops over a row's colours.
inline double SearchedInverse(const CurveSearch* search, double y) {
    const double* table = search->table;
    const uint32_t length = search->length;
    if (!(y > table[0])) return 0.0;
    if (y >= table[length - 1]) return 1.0;
    // below[b] lies in an earlier bucket than y (or is sample 0, which lies
    // below y); the sample after below[b + 1] lies in a later one.
    const uint32_t b = BucketOf(search, y);
    const uint32_t lo = search->below[b];
    const uint32_t after = uint32_t{search->below[b + 1]} + 1;
    return InvertSampledWithin(table, length, lo, after < length ? after : length - 1, y);
}

// Quantize(InvertToneCurve(curve, y) * 65535.0), the power of a gamma's
// inverse taken from a serving power table wherever its error cannot reach
// another code, a sampled curve searched through its index.
uint16_t QuantizeInverse(const ToneCurve& curve, double y, Serving serving) {
    const PowerTable* power = serving.power;
    if (serving.search) return Quantize(SearchedInverse(serving.search, y) * 65535.0);
    if (power && curve.kind == kCurveParametric) {
        // The root taken from the table where it can be; the code kept
        // where an error of the table's size cannot move it.
        bool tabulated = true;
        const double x = InvertParametricWith(curve, y, [&](double v) {
            double r;
            if (TablePower(power, v, &r)) return r;
            tabulated = false;
            return v > 0.0 ? std::pow(v, 1.0 / curve.param[0]) : 0.0;
        });
        if (tabulated && !NearInteger(x * 65535.0 + 0.5, kQuantizeTolerance)) return Quantize(x * 65535.0);
        return Quantize(InvertToneCurve(curve, y) * 65535.0);
    }
    double value;
    if (power && TablePower(power, y, &value)) {
        // value > 0, so t > 0.5; codes up to 65534 truncate, anything from
        // 65535 on is 65535.
        const double t = value * 65535.0 + 0.5;
        if (t < 65534.5) {
            const int32_t code = static_cast<int32_t>(t);
            const double fraction = t - code;
            if (fraction > kQuantizeTolerance && fraction < 1.0 - kQuantizeTolerance) return static_cast<uint16_t>(code);
        } else if (t > 65535.0 + kQuantizeTolerance) {
            return 65535;
        }
    } else if (power && y <= 0.0) {
        // pow(+0, a) is +0 for every a > 0, and tables hold such a.
        return 0;
    }
    return Quantize(InvertToneCurve(curve, y) * 65535.0);
}

// The linear half of a matrix-reverse core: three codes to the values the
// curves are inverted at.
inline void ReverseLinear(const MatrixStageData* data, const uint16_t* in, double* v) {
    for (int c = 0; c < 3; ++c) v[c] = in[c] * kXyzInScale;
    MatrixTimesVector3(data->matrix, v, v);
}

double Clamp01(double v) {
    if (!(v >= 0.0)) return 0.0;
    return v > 1.0 ? 1.0 : v;
}

// Only the first XYZNumber (bytes 8 to 19) counts; a longer tag is read no
// further and a shorter one fails with 5015.
TntStatus ReadColorant(Profile* profile, uint32_t signature, double xyz[3]) {
    TagReader reader;
    if (TntStatus st = OpenTagReader(profile, signature, &reader)) return st;
    return TagXYZNumber(reader, xyz);
}

}  // namespace

TntStatus ReadMatrixStage(MatrixStageData* data, Profile* profile, uint32_t direction) {
    static constexpr uint32_t kColorants[3] = {TNT_SIG('r', 'X', 'Y', 'Z'), TNT_SIG('g', 'X', 'Y', 'Z'),
                                               TNT_SIG('b', 'X', 'Y', 'Z')};
    static constexpr uint32_t kCurves[3] = {TNT_SIG('r', 'T', 'R', 'C'), TNT_SIG('g', 'T', 'R', 'C'),
                                            TNT_SIG('b', 'T', 'R', 'C')};
    std::memset(data, 0, sizeof *data);
    TntStatus st = TNT_OK;
    for (int c = 0; c < 3 && !st; ++c) st = ReadColorant(profile, kColorants[c], data->colorants[c]);
    for (int c = 0; c < 3 && !st; ++c) st = ReadToneCurveTag(profile, kCurves[c], &data->curve[c]);
    if (!st) {
        // Each colorant is a column: XYZ = M * RGB.
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 3; ++col) data->matrix[3 * row + col] = data->colorants[col][row];
        if (direction != kDirectionForward) st = InvertMatrix3x3(data->matrix, data->matrix);
    }
    if (st) ReleaseMatrixStage(data);
    return st;
}

TntStatus ReadGrayStage(GrayStageData* data, Profile* profile) {
    return ReadToneCurveTag(profile, kGrayCurve, &data->curve);
}

void ReleaseMatrixStage(MatrixStageData* data) {
    for (ToneCurve& curve : data->curve) ReleaseToneCurve(&curve);
}

void ReleaseGrayStage(GrayStageData* data) {
    ReleaseToneCurve(&data->curve);
}

bool PrepareCurveSearch(const double* table, uint32_t length, CurveSearch* search) {
    if (!table || length < 3 || length > 65536) return false;
    for (uint32_t i = 0; i + 1 < length; ++i)
        if (!(table[i] <= table[i + 1])) return false;
    if (!(table[length - 1] > table[0])) return false;
    search->table = table;
    search->length = length;
    search->origin = table[0];
    search->scale = kCurveSearchBuckets / (table[length - 1] - table[0]);
    // BucketOf never falls as the value rises, so a sample in an earlier
    // bucket than a value lies below it, one in a later bucket above it.
    uint32_t last = 0;
    for (uint32_t b = 0; b <= kCurveSearchBuckets; ++b) {
        while (last + 1 < length && BucketOf(search, table[last + 1]) < b) ++last;
        search->below[b] = static_cast<uint16_t>(last);
    }
    return true;
}

double InvertCurveSearched(const CurveSearch* search, double y) { return SearchedInverse(search, y); }

double MatrixForwardCurve(const MatrixStageData* data, int c, uint16_t code) {
    return EvaluateToneCurve(data->curve[c], code / 65535.0);
}

void MatrixForwardFromCurves(const MatrixStageData* data, const double curves[3], const WorkColor* in,
                             WorkColor* out) {
    double v[3];
    MatrixTimesVector3(data->matrix, curves, v);
    *out = *in;
    for (int c = 0; c < 3; ++c) out->channel[c] = Quantize(v[c] * kXyzOutScale);
}

TntStatus ApplyMatrixForward(const MatrixStageData* data, const WorkColor* in, WorkColor* out, uint16_t passFlags) {
    if (!(passFlags & kPassCore)) {
        *out = *in;
        return TNT_OK;
    }
    double v[3];
    for (int c = 0; c < 3; ++c) v[c] = MatrixForwardCurve(data, c, in->channel[c]);
    MatrixForwardFromCurves(data, v, in, out);
    return TNT_OK;
}

TntStatus ApplyMatrixReverse(const MatrixStageData* data, const WorkColor* in, WorkColor* out, uint16_t passFlags) {
    return ApplyMatrixReverseTabulated(data, nullptr, in, out, passFlags);
}

TntStatus ApplyMatrixReverseTabulated(const MatrixStageData* data, const CurveInverses* inverses,
                                      const WorkColor* in, WorkColor* out, uint16_t passFlags) {
    if (!(passFlags & kPassCore)) {
        *out = *in;
        return TNT_OK;
    }
    double v[3];
    ReverseLinear(data, in->channel, v);
    *out = *in;
    for (int c = 0; c < 3; ++c)
        out->channel[c] = QuantizeInverse(data->curve[c], v[c], ServingFor(data, c, inverses));
    return TNT_OK;
}

void MatrixForwardRow(const MatrixStageData* data, const double firstCurves[2], const double* lastCurve,
                      uint32_t count, uint16_t* xyz) {
    // MatrixTimesVector3 adds the three products in order; the first two
    // are the same all along the row.
    const double* m = data->matrix;
    double partial[3];
    for (int r = 0; r < 3; ++r) {
        double s = 0.0;
        s += m[3 * r] * firstCurves[0];
        s += m[3 * r + 1] * firstCurves[1];
        partial[r] = s;
    }
    for (uint32_t i = 0; i < count; ++i)
        for (int r = 0; r < 3; ++r) xyz[3 * i + r] = Quantize((partial[r] + m[3 * r + 2] * lastCurve[i]) * kXyzOutScale);
}

void MatrixReverseRow(const MatrixStageData* data, const CurveInverses* inverses, const uint16_t* xyz,
                      uint32_t count, uint16_t* out, uint32_t stride) {
    // The linear halves first, then one channel at a time: short loops of
    // independent colours overlap where one long body per colour would
    // wait on each power in turn.
    double v[3 * kMaxRow];
    for (uint32_t first = 0; first < count; first += kMaxRow) {
        const uint32_t rows = count - first < kMaxRow ? count - first : kMaxRow;
        for (uint32_t i = 0; i < rows; ++i) ReverseLinear(data, xyz + 3 * (first + i), v + 3 * i);
        for (int c = 0; c < 3; ++c) {
            const ToneCurve& curve = data->curve[c];
            const Serving serving = ServingFor(data, c, inverses);
            uint16_t* channel = out + size_t(first) * stride + c;
            if (serving.search) {
                for (uint32_t i = 0; i < rows; ++i)
                    channel[size_t(i) * stride] = Quantize(SearchedInverse(serving.search, v[3 * i + c]) * 65535.0);
                continue;
            }
            for (uint32_t i = 0; i < rows; ++i) channel[size_t(i) * stride] = QuantizeInverse(curve, v[3 * i + c], serving);
        }
    }
}

TntStatus ApplyGrayForward(const GrayStageData* data, Profile* profile, const WorkColor* in, WorkColor* out,
                           uint16_t passFlags) {
    if (!(passFlags & kPassCore)) {
        *out = *in;
        return TNT_OK;
    }
    const uint32_t pcs = GetProfilePCS(profile);
    if (pcs != kLab && pcs != kXYZ) return TNT_ERR_GRAY_PCS;
    // Gray is ink: code 0 is the lightest value.
    const double x = 1.0 - in->channel[0] / 65535.0;
    const double y = Clamp01(EvaluateToneCurve(data->curve, x));
    *out = *in;
    if (pcs == kLab) {
        out->channel[0] = static_cast<uint16_t>(y * 65535.0);
        out->channel[1] = 32768;
        out->channel[2] = 32768;
    } else {
        out->channel[0] = static_cast<uint16_t>(y * kGrayX);
        out->channel[1] = static_cast<uint16_t>(y * kGrayY);
        out->channel[2] = static_cast<uint16_t>(y * kGrayZ);
    }
    return TNT_OK;
}

TntStatus ApplyGrayReverse(const GrayStageData* data, Profile* profile, const WorkColor* in, WorkColor* out,
                           uint16_t passFlags) {
    if (!(passFlags & kPassCore)) {
        *out = *in;
        return TNT_OK;
    }
    const uint32_t pcs = GetProfilePCS(profile);
    double y;
    if (pcs == kLab) {
        y = in->channel[0] * kLabLIn;
    } else if (pcs == kXYZ) {
        y = in->channel[1] * kXyzInScale;
    } else {
        return TNT_ERR_GRAY_PCS;
    }
    const double x = InvertToneCurve(data->curve, Clamp01(y));
    *out = *in;
    out->channel[0] = static_cast<uint16_t>(Clamp01(1.0 - x) * 65535.0);
    return TNT_OK;
}

}  // namespace tnt
