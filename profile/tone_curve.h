// Tone curves as ICC profiles store them, read and evaluated in one place
// for the matrix, gray and table stages, the PostScript writer and the tool:
// 'curv' (the identity, a gamma, or samples) and 'para' (a power function
// of one of five forms, ICC.1:2010 parametricCurveType).
//
// 'curv' keeps its arithmetic to the last bit whatever else changes here.
// A 'para' of form 0 with a positive exponent is a gamma like a 'curv' of
// one entry; the other forms are evaluated and inverted analytically, a
// power and its root with the segments split at the break point. A 'para'
// that falls or stays flat somewhere cannot be inverted that way and is
// inverted through samples of itself, the way sampled curves are.
#pragma once

#include <cstdint>

#include "tintwell.h"

namespace tnt {

struct TagReader;

// Kinds of tone curve.
constexpr uint32_t kCurveIdentity = 0;    // 'curv' of no entries
constexpr uint32_t kCurveGamma = 1;       // 'curv' of one entry, 'para' form 0
constexpr uint32_t kCurveSampled = 2;     // 'curv' of two or more entries
constexpr uint32_t kCurveParametric = 3;  // 'para' forms 1 to 4 (or form 0 that is no gamma)

// Samples taken of a 'para' curve that cannot be inverted analytically.
constexpr uint32_t kParametricSamples = 4096;

struct ToneCurve {
    uint32_t kind;
    uint32_t type;      // 'curv' or 'para', as stored
    uint32_t function;  // 'para' form, 0 to 4
    // Samples in 0..1 equally spaced over 0..1: a sampled curve's entries,
    // or samples of a parametric curve that is inverted through them (then
    // `invertible` is false). Owned by the curve: ReleaseToneCurve.
    double* table;
    uint32_t length;
    bool invertible;  // a parametric curve's inverse is analytic
    // A gamma's exponent in param[0]; a 'para' curve's g, a, b, c, d, e, f
    // (those its form has; the rest 0).
    double param[7];
    // Forms 3 and 4: the linear and the power segment's values at the
    // break d.
    double belowBreak, aboveBreak;
};

// Parameters of each 'para' form 0 to 4.
uint32_t ParametricParameterCount(uint32_t function);

// Reads the 'curv' or 'para' element at `offset` of the tag into `curve`.
// `fileOrder`: the element's numbers are big-endian, as inside the tables
// of ICC v4 types; otherwise a 'curv' is in host order (a tone-curve tag as
// the container loads it) and a 'para' still in file order (the container
// leaves that type alone). With `anyType`, an element that is not 'para'
// is read with the 'curv' layout, as tone-curve tags always were. *size
// (may be null) gets the element's length in bytes. 5015 when the element
// reaches past the tag (a 'para' too short for its form's parameters
// among them), 5005 for another type (unless `anyType`) or an unknown
// 'para' form, 21002 when samples cannot be allocated. On failure the
// curve owns nothing.
TntStatus ReadToneCurveAt(const TagReader& reader, uint64_t offset, bool fileOrder, bool anyType, ToneCurve* curve,
                          uint64_t* size);
// The length in bytes of the 'curv' or 'para' element at `offset`, stored
// in file order, with the checks and statuses of ReadToneCurveAt (any
// other type: 5005) but nothing read beyond the counts and nothing
// allocated.
TntStatus ToneCurveExtent(const TagReader& reader, uint64_t offset, uint64_t* size);
// A tone-curve tag (rTRC, kTRC...): ReadToneCurveAt at 0 with `anyType`.
TntStatus ReadToneCurveTag(Profile* profile, uint32_t signature, ToneCurve* curve);

void ReleaseToneCurve(ToneCurve* curve);

// The curve at x. A sampled curve clamps x to 0..1 (two samples excepted:
// their line runs on), a gamma takes x below 0 as 0, a parametric curve
// clamps x and the result to 0..1.
double EvaluateToneCurve(const ToneCurve& curve, double x);
// The x in 0..1 at which the curve reaches y (a gamma's root may exceed 1
// for y above 1). A value on a flat stretch of a sampled curve inverts to
// the start of the stretch; a parametric curve's flat start, below its
// break, inverts to where its power segment begins, as the root gives.
double InvertToneCurve(const ToneCurve& curve, double y);

// The analytic inverse of a parametric curve that is `invertible`, in
// 0..1, with root(v) giving v^(1/g) for v > 0: InvertToneCurve passes
// std::pow, a caller may pass a tabulated power. Values in a step up at
// the break invert to the break.
template <typename Root>
double InvertParametricWith(const ToneCurve& c, double y, Root root) {
    const double* p = c.param;  // g a b c d e f
    const double a = p[1], b = p[2];
    double x;
    switch (c.function) {
        case 0: x = root(y); break;
        case 1: x = (root(y) - b) / a; break;
        case 2: x = (root(y - p[3]) - b) / a; break;
        default: {
            const bool four = c.function == 4;
            if (p[4] < 1.0 && y >= c.aboveBreak) {
                x = (root(four ? y - p[5] : y) - b) / a;
            } else if (y <= c.belowBreak) {
                x = p[3] > 0.0 ? (four ? y - p[6] : y) / p[3] : 0.0;
            } else {
                x = p[4];
            }
        }
    }
    if (!(x >= 0.0)) return 0.0;
    return x > 1.0 ? 1.0 : x;
}

// The inverse of a sampled curve between samples lo < hi with
// table[lo] < y <= table[hi]: the first interval whose upper entry reaches
// y, so a flat stretch at y resolves to its start.
inline double InvertSampledWithin(const double* table, uint32_t length, uint32_t lo, uint32_t hi, double y) {
    while (hi - lo > 1) {
        const uint32_t mid = lo + (hi - lo) / 2;
        if (table[mid] < y) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    const double fraction = (y - table[lo]) / (table[lo + 1] - table[lo]);
    return (lo + fraction) / (length - 1);
}

}  // namespace tnt
