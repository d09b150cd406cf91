// A stage is one step of a transform: one profile run in one direction with
// one rendering intent, or a pure conversion between two colour spaces.
// This header holds the stage record, its kinds and pass flags, the
// classification of a profile into a kind and the dispatch of a colour to
// the kind's apply operation.
#pragma once

#include <cstdint>

#include "stage/lut.h"
#include "stage/matrix.h"
#include "tintwell.h"

namespace tnt {

// Stage kinds.
constexpr uint32_t kStageEmpty = 0;
constexpr uint32_t kStageMatrixForward = 1;
constexpr uint32_t kStageMatrixReverse = 2;
constexpr uint32_t kStageGrayForward = 3;
constexpr uint32_t kStageGrayReverse = 4;
constexpr uint32_t kStageLookupTable = 5;
constexpr uint32_t kStageSpaceConversion = 6;

// Directions: forward runs device data into the PCS, reverse the PCS into
// device data. Any non-zero direction counts as reverse.
constexpr uint32_t kDirectionForward = 0;
constexpr uint32_t kDirectionReverse = 1;

// Pass flags: which parts of a stage to apply. A part left out leaves the
// values as they are; link building splits a chain along these parts.
constexpr uint16_t kPassInputCurves = 1;
constexpr uint16_t kPassCore = 2;  // matrix, grid, tone curves, space conversion
constexpr uint16_t kPassOutputCurves = 4;
constexpr uint16_t kPassFull = 7;

// The colour carried through the stages: eight 16-bit codes whose meaning
// the current colour space gives.
constexpr int kWorkChannels = 8;
struct WorkColor {
    uint16_t channel[kWorkChannels];
};

struct SpaceConversionData {
    uint32_t fromSpace;
    uint32_t toSpace;
};

union StageData {
    MatrixStageData matrix;            // kinds 1, 2
    GrayStageData gray;                // kinds 3, 4
    LutStageData lut;                  // kind 5
    SpaceConversionData conversion;    // kind 6
};

struct TransformStage {
    Profile* profile;  // null for a space conversion
    StageData data;
    uint32_t kind;
    uint32_t direction;
    uint16_t intent;
    double mediaWhite[3];  // X, Y, Z with Y = 100
};

// An empty slot: no profile, kind 0, zeroed data, D50 media white.
void ClearStage(TransformStage* stage);

// Builds `stage` from `profile` run in `direction` with `intent`. The slot
// must be empty or released: its kind data is overwritten. 20003 for a null
// stage or profile; classification and reader statuses as they come. On
// failure the stage owns no table (the kind may still be recorded), so a
// release is harmless but not needed.
TntStatus BuildStage(TransformStage* stage, Profile* profile, uint32_t direction, uint16_t intent);

// The stage kind `profile` becomes in `direction`. *kind is 0 on failure,
// except for a printer profile lacking a table, which reports kind 5 with
// its missing-tag status.
TntStatus ClassifyProfile(Profile* profile, uint32_t direction, uint32_t* kind);

// Whether the profile has the tag (a failing lookup counts as absent).
bool TagPresent(Profile* profile, uint32_t signature);

// Frees the tables the kind owns and clears their pointers; safe twice and
// on empty slots. The profile is left alone.
void ReleaseStageTables(TransformStage* stage);

// Applies a stage of kind 1 to 5 to one colour; `in` and `out` may be the
// same. 6001 for any other kind, 20003 for null arguments.
TntStatus ApplyStage(const TransformStage* stage, const WorkColor* in, WorkColor* out, uint16_t passFlags);

// The colour spaces on either side of `stage` for `passFlags`: the data
// space and PCS swap places by direction; only the input curves (flags 1)
// stay on the input side, only the output curves (flags 4) on the output
// side. Matrix stages work in XYZ whatever PCS the profile names. 20003 for
// null arguments or a profile stage without profile.
TntStatus StageSpaces(const TransformStage* stage, uint16_t passFlags, uint32_t* in, uint32_t* out);

}  // namespace tnt
