// Lookup-table stages: one table tag ('mft1', 'mft2', 'mAB ' or 'mBA ')
// run in the order ICC gives: an 'mft1'/'mft2' as an optional 3x3 matrix,
// input curves, a multilinear grid and output curves; an 'mAB ' as A
// curves, grid, M curves, matrix with offsets, B curves; an 'mBA ' as B
// curves, matrix with offsets, M curves, grid, A curves. The curves are
// owned by the stage; the grid is read in place from the profile's tag
// data (16-bit values of the ICC v4 types from a host-order copy the stage
// owns), so the profile must outlive the stage.
#pragma once

#include <cstdint>

#include "profile/lut_tag.h"
#include "profile/tone_curve.h"
#include "tintwell.h"

namespace tnt {

struct WorkColor;
struct TransformStage;

struct LutStageData {
    uint32_t type;        // 'mft1', 'mft2', 'mAB ' or 'mBA '
    uint32_t sixteenBit;  // grid values of 16 bits
    uint8_t inputChannels;
    uint8_t outputChannels;
    uint8_t gridPoints[kMaxLutChannels];  // along each input
    // 'mft1'/'mft2': e00..e22 row by row. 'mAB '/'mBA ': the same and
    // three offsets.
    double matrix[12];
    // Curves met first and last: the input and output curves of an
    // 'mft1'/'mft2', the A and B curves of an 'mAB ', the B and A curves
    // of an 'mBA '. Their M curves in between.
    ToneCurve inputCurves[kMaxLutChannels];
    ToneCurve middleCurves[kMaxLutChannels];
    ToneCurve outputCurves[kMaxLutChannels];
    // u16 (host order) or u8 values; null for a table without a grid,
    // whose values pass through unchanged.
    const uint8_t* grid;
    uint16_t* ownedGrid;  // an ICC v4 table's 16-bit values in host order
    uint32_t gridSize;    // outputChannels x the product of gridPoints
    // Channels mix in front of the grid (the 3x3 matrix of a three-input
    // 'mft1'/'mft2' that is not the identity; the matrix of an 'mBA '), so
    // the input curves cannot run on their own. An 'mBA ''s B curves then
    // run with the grid, as part of the core.
    uint32_t useMatrix;
    // An 'mAB ''s M curves and matrix, run after the grid in the core.
    uint32_t matrixAfterGrid;
    uint32_t inputCurvesActive;
    uint32_t outputCurvesActive;
    // 'Lab ' crosses the table's boundaries in the ICC v4 encoding (L 100
    // and a, b 127 at 65535), converted to and from the stage encoding
    // (L 100 at 65280) there; 'mft1'/'mft2' keep the legacy encoding.
    uint32_t v4Encoding;
    // stride[k]: entries between grid neighbours along input inputChannels-1-k.
    uint32_t stride[kMaxLutChannels];
};

// The table tag for `direction` (A2Bx forward, B2Ax reverse) and `intent`:
// perceptual (0, 1028) the '0' table; relative (1) and absolute (3) the '1'
// table, saturation (2) the '2' table, each falling back to '0' when
// absent. 8001 for any other intent. Whether the chosen tag exists is left
// to the reader.
TntStatus ChooseLutTag(Profile* profile, uint32_t direction, uint16_t intent, uint32_t* tag);

// Reads table `tag` into `data` (ReadLutTag). 5005 when the tag is absent
// or the reader refuses it for any reason but memory, 21002 when curve
// samples or the grid's copy cannot be had. On failure `data` owns
// nothing.
TntStatus ReadLutTable(LutStageData* data, Profile* profile, uint32_t tag);
// ChooseLutTag, then ReadLutTable.
TntStatus ReadLutStage(LutStageData* data, Profile* profile, uint32_t direction, uint16_t intent);
void ReleaseLutStage(LutStageData* data);

// A table's curve at v (clamped to 0..1), its value clamped to 0..1; a
// sampled curve linear between samples.
double LookupCurve(const ToneCurve& curve, double v);

// Multilinear interpolation in the grid: inputChannels values in 0..1 (out
// of range values are clamped) to outputChannels values in 0..1. Without a
// grid the values pass through.
void InterpolateGrid(const LutStageData* data, const double* in, double* out);

// InterpolateGrid for a row of colours that share every input but the
// last: inputs 0 to inputChannels - 2 at `fixed`, the last at last[i] for
// colour i (count of them). out[i x outputChannels + k] is output k of
// colour i, exactly as InterpolateGrid gives it. `entries` may hold the
// table's entries as ConvertGridEntries writes them, for callers that
// interpolate many rows, or be null.
void InterpolateGridRow(const LutStageData* data, const double* entries, const double* fixed, const double* last,
                        uint32_t count, double* out);
// The grid's gridSize entries as doubles, in the table's order.
void ConvertGridEntries(const LutStageData* data, double* entries);

// The two ends of ApplyLutStageBetween for a table without a matrix in
// front of its input curves, where each channel reaches the grid on its
// own: the value that channel k (code `code`, in `inSpace`) enters the
// grid with under `passFlags`, and the codes the stage writes for the
// grid's outputChannels values v (the rest of the core, an 'mAB ''s M
// curves and matrix, and then the output curves run on v in place when
// passFlags asks for them).
double LutCoreInput(const LutStageData* lut, uint32_t inSpace, uint32_t k, uint16_t code, uint16_t passFlags);
void LutOutputCodes(const LutStageData* lut, uint32_t outSpace, double* v, uint16_t passFlags, uint16_t* codes);

// What the stage does to channel k of a colour in `space` under its input
// curves alone (passFlags kPassInputCurves, `space` its input side) or its
// output curves alone (kPassOutputCurves, its output side), for the codes
// first, first + step, ... (count of them, each below 65536): codes[i] is
// the result for first + i x step. Under either pass each channel reads
// and writes its own code alone, so a link's curve sections can be filled
// channel by channel. k must lie below the table's channel count on that
// side.
void LutCurvePass(const LutStageData* lut, uint32_t space, uint32_t k, uint16_t passFlags, uint32_t first,
                  uint32_t step, uint32_t count, uint16_t* codes);

// Applies a kind-5 stage to one colour with the given pass flags; `in` and
// `out` may be the same. 6022 when output curves are asked of a colour with
// another channel count than the table's outputs.
TntStatus ApplyLutStage(const TransformStage* stage, const WorkColor* in, WorkColor* out, uint16_t passFlags);
// ApplyLutStage with the spaces that StageSpaces gives for passFlags found
// beforehand, for callers that apply a stage to many colours.
TntStatus ApplyLutStageBetween(const TransformStage* stage, uint32_t inSpace, uint32_t outSpace, const WorkColor* in,
                               WorkColor* out, uint16_t passFlags);

}  // namespace tnt
