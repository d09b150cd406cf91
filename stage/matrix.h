// Matrix/tone-curve stages (three colorants, three curves) and gray stages
// (one curve): reading their tags and applying them in either direction.
// Arithmetic is in double precision; colours arrive and leave as 16-bit
// codes.
#pragma once

#include <cstdint>

#include "profile/tone_curve.h"
#include "tintwell.h"

namespace tnt {

struct WorkColor;
struct PowerTable;

struct MatrixStageData {
    double colorants[3][3];  // rXYZ, gXYZ, bXYZ, each X, Y, Z
    double matrix[9];        // row-major; XYZ = M * RGB forward, its inverse in reverse
    ToneCurve curve[3];      // red, green, blue; owned by the stage
};

struct GrayStageData {
    ToneCurve curve;
};

// Fills `data` from rXYZ..bXYZ and rTRC..bTRC; reverse (direction != 0)
// inverts the matrix (20104 when singular). On failure no curve is kept.
TntStatus ReadMatrixStage(MatrixStageData* data, Profile* profile, uint32_t direction);
TntStatus ReadGrayStage(GrayStageData* data, Profile* profile);
void ReleaseMatrixStage(MatrixStageData* data);
void ReleaseGrayStage(GrayStageData* data);

// InvertToneCurve on one sampled curve for many values, with the interval
// found from the value instead of by bisecting the whole table: the values
// from the first sample to the last are cut into kCurveSearchBuckets equal
// buckets, and each bucket knows the last sample lying in an earlier
// bucket. On a curve that never falls the interval that holds a value is
// unique, so the result is InvertToneCurve's to the last bit.
constexpr uint32_t kCurveSearchBuckets = 2048;
struct CurveSearch {
    const double* table;
    uint32_t length;
    double origin;  // table[0]
    double scale;   // buckets per unit of value
    uint16_t below[kCurveSearchBuckets + 1];
};
// False (the search unusable) unless the table has 3 to 65536 samples,
// never falls and ends above its start.
bool PrepareCurveSearch(const double* table, uint32_t length, CurveSearch* search);
double InvertCurveSearched(const CurveSearch* search, double y);

// The samples of a sampled curve, for a search over them; null otherwise.
inline const double* SampledTable(const ToneCurve& curve) {
    return curve.kind == kCurveSampled ? curve.table : nullptr;
}

// Whether a curve's inverse is a root 1/param[0] that a power table can
// take: a gamma, or a parametric curve inverted analytically whose power
// segment is not so flat that the table's error could show.
inline bool HasRootPower(const ToneCurve& curve) {
    if (curve.kind == kCurveGamma) return true;
    return curve.kind == kCurveParametric && curve.invertible && curve.param[1] >= 1.0 / 64;
}

// Where a matrix-reverse core may take its curve inverses from, per
// channel: a power table for a gamma's or a parametric curve's root, or a
// search over a sampled curve. Each serves only the curve it was made for; nulls mean the plain
// computation.
struct CurveInverses {
    const PowerTable* power[3];
    const CurveSearch* search[3];
};

// The core of a matrix-forward stage in two halves: each tone curve reads
// one channel alone, so a sampler that meets the same code again and again
// can keep the curve values and finish each colour from them.
double MatrixForwardCurve(const MatrixStageData* data, int c, uint16_t code);
void MatrixForwardFromCurves(const MatrixStageData* data, const double curves[3], const WorkColor* in,
                             WorkColor* out);

// Rows of a link grid through a matrix-forward stage and then a
// matrix-reverse one: the first two channels fixed, the last running. The
// forward row takes MatrixForwardCurve's values (channels 0 and 1, then
// channel 2 for each of `count` colours) and writes count x 3 XYZ codes;
// the reverse row turns them into codes `stride` apart. Each colour gets
// the codes of ApplyMatrixForward and ApplyMatrixReverseTabulated.
void MatrixForwardRow(const MatrixStageData* data, const double firstCurves[2], const double* lastCurve,
                      uint32_t count, uint16_t* xyz);
void MatrixReverseRow(const MatrixStageData* data, const CurveInverses* inverses, const uint16_t* xyz,
                      uint32_t count, uint16_t* out, uint32_t stride);

// Only the core pass flag (2) does anything here; without it the colour is
// passed through. `in` and `out` may be the same. The gray kinds read the
// profile's PCS and fail with 5007 unless it is 'Lab ' or 'XYZ '.
TntStatus ApplyMatrixForward(const MatrixStageData* data, const WorkColor* in, WorkColor* out, uint16_t passFlags);
TntStatus ApplyMatrixReverse(const MatrixStageData* data, const WorkColor* in, WorkColor* out, uint16_t passFlags);
// ApplyMatrixReverse with the same codes as a result, the curve inverses
// helped by `inverses` (may be null): a gamma's inverse taken from its
// power table where that cannot change the channel's code, a sampled
// curve searched through its index.
TntStatus ApplyMatrixReverseTabulated(const MatrixStageData* data, const CurveInverses* inverses,
                                      const WorkColor* in, WorkColor* out, uint16_t passFlags);
TntStatus ApplyGrayForward(const GrayStageData* data, Profile* profile, const WorkColor* in, WorkColor* out,
                           uint16_t passFlags);
TntStatus ApplyGrayReverse(const GrayStageData* data, Profile* profile, const WorkColor* in, WorkColor* out,
                           uint16_t passFlags);

}  // namespace tnt
