// Lookup-table stages: an 'mft1' (8-bit) or 'mft2' (16-bit) table run as an
// optional 3x3 matrix, input curves, a multilinear grid and output curves.
// The curves are converted to doubles and owned by the stage; the grid is
// read in place from the profile's tag data, so the profile must outlive
// the stage.
#pragma once

#include <cstdint>

#include "tintwell.h"

namespace tnt {

struct WorkColor;
struct TransformStage;

// Tables of up to eight inputs and outputs are accepted, matching the
// eight channels of the working colour.
constexpr uint32_t kMaxLutChannels = 8;

struct LutStageData {
    uint32_t sixteenBit;  // 1 for 'mft2'
    uint8_t inputChannels;
    uint8_t outputChannels;
    uint8_t gridPoints;
    double matrix[9];     // e00..e22, row by row
    double* inputCurves;  // inputChannels x inputEntries values in 0..1
    double* outputCurves; // outputChannels x outputEntries values in 0..1
    uint16_t inputEntries;
    uint16_t outputEntries;
    const uint8_t* grid;  // in the tag data: u16 (host order) or u8 entries
    uint32_t gridSize;    // outputChannels x gridPoints^inputChannels entries
    uint32_t useMatrix;
    uint32_t inputCurvesActive;
    uint32_t outputCurvesActive;
    // stride[k]: entries between grid neighbours along input inputChannels-1-k.
    uint32_t stride[kMaxLutChannels];
};

// The table tag for `direction` (A2Bx forward, B2Ax reverse) and `intent`:
// perceptual (0, 1028) the '0' table; relative (1) and absolute (3) the '1'
// table, saturation (2) the '2' table, each falling back to '0' when
// absent. 8001 for any other intent. Whether the chosen tag exists is left
// to the reader.
TntStatus ChooseLutTag(Profile* profile, uint32_t direction, uint16_t intent, uint32_t* tag);

// Reads table `tag` into `data`. 5005 when the tag is absent, not 'mft1' or
// 'mft2', has 0 or more than 8 inputs or outputs, fewer than 2 grid points
// or curve entries, or is shorter than its own counts say; 21002 when a
// curve table cannot be had. On failure `data` owns nothing.
TntStatus ReadLutTable(LutStageData* data, Profile* profile, uint32_t tag);
// ChooseLutTag, then ReadLutTable.
TntStatus ReadLutStage(LutStageData* data, Profile* profile, uint32_t direction, uint16_t intent);
void ReleaseLutStage(LutStageData* data);

// One curve of `entries` samples at v (clamped to 0..1), linear between
// samples. `entries` must be at least 2.
double LookupCurve(const double* curve, uint32_t entries, double v);

// Multilinear interpolation in the grid: inputChannels values in 0..1 (out
// of range values are clamped) to outputChannels values in 0..1.
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
// grid's outputChannels values v (the output curves run on v in place
// when passFlags asks for them).
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
