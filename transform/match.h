// Pushing colours through a transform: unpacking caller colours into the
// eight-channel working colour, one step per stage, packing the result.
#pragma once

#include <cstdint>

#include "transform/transform.h"

namespace tnt {

struct PowerTable;

// Working colours hold eight channels; spaces with more cannot be matched.
constexpr uint16_t kMaxWorkChannels = kWorkChannels;

// 8-bit (depth 1) or 16-bit (any other depth) caller colours.
TntStatus UnpackColor(const void* source, uint32_t space, int16_t depth, uint16_t* work);
void PackColor(const uint16_t* work, uint32_t space, int16_t depth, void* destination);
// The 8-bit code PackColor writes for one channel of a colour in `space`.
uint8_t PackChannel8(uint32_t space, uint16_t channel, uint16_t code);

// One stage applied to a working colour; `current` is the space the colour
// is in, updated to the stage's output space.
TntStatus ApplyStageStep(const TransformStage* stage, const uint16_t* in, uint16_t* out, uint32_t* current,
                         uint16_t passFlags);

// The three sampling procedures of link building. The grid proc runs the
// whole chain with the link-mode pass flags: the first stage without its
// input curves, the last without its output curves.
TntStatus MatchGridColor(const void* source, void* destination, MatchTransform* transform, int16_t depth);
TntStatus MatchInputCurves(const void* source, void* destination, MatchTransform* transform, int16_t sourceDepth,
                           int16_t destinationDepth);
TntStatus MatchOutputCurves(const void* source, void* destination, MatchTransform* transform, int16_t sourceDepth,
                            int16_t destinationDepth);

// What one stage step needs that does not change from colour to colour:
// its spaces, channel counts and white scaling, found once.
struct StepPlan {
    const TransformStage* stage;
    uint16_t passFlags;
    uint32_t before;  // the space the colour is in when the step starts
    uint32_t after;   // the space it is in afterwards (also after a failure)
    uint32_t inSpace, outSpace;
    uint16_t inChannels, outChannels;
    bool scaleIn, scaleOut;  // absolute intents move the white on either side
    TntStatus refusal;       // a space the working colour cannot hold
    // Tables that a sampler may attach (AttachPowerTables,
    // AttachCurveSearches); null means the plain computation. The step's
    // codes are the same either way.
    const PowerTable* cubeRoot;  // its conversion from 'XYZ ' to 'Lab ', join or stage
    CurveInverses inverse;       // a matrix-reverse core's curve inverses
};

// A whole sampling: unpack in one space, the steps, pack in the space the
// colour reached. Plans only read the transform, which must stay unchanged
// while they are used.
struct MatchPlan {
    MatchTransform* transform;
    uint32_t sourceSpace;
    uint16_t sourceChannels;
    bool manipulate;  // call the transform's manipulation proc around the steps
    int count;
    StepPlan steps[kMaxStages];
};

enum class MatchKind { kSingle, kGrid, kInputCurves, kOutputCurves };

// The plan of TntICCSingleMatchProc, MatchGridColor, MatchInputCurves or
// MatchOutputCurves for a transform; those functions plan every colour
// anew, samplers plan once. Null transform: TNT_ERR_NULL_PARAMETER.
TntStatus PlanMatch(MatchTransform* transform, MatchKind kind, MatchPlan* plan);
// One colour through a plan: the same samples and status as the function
// the plan was made for.
TntStatus MatchPlanned(const MatchPlan* plan, const void* source, void* destination, int16_t sourceDepth,
                       int16_t destinationDepth);
// The rest of a colour's way through a plan: `work` holds what steps 0 to
// first - 1 made of it (all eight channels, as MatchPlanned would hold
// them); steps `first` onwards run on it, manipulation hook included, and
// the result is packed. For samplers that do the first steps their own way.
TntStatus MatchPlannedFrom(const MatchPlan* plan, int first, uint16_t* work, void* destination, int16_t depth);

// Fills up to `capacity` tables for the powers the plan's steps meet in
// every colour (the cube roots of an 'XYZ ' to 'Lab ' conversion, the
// inverses of a matrix-reverse stage's gamma curves) and attaches them to
// the steps. Worth it for a section of thousands of colours; the tables
// must outlive the plan's use. Returns how many were filled.
int AttachPowerTables(MatchPlan* plan, PowerTable* tables, int capacity);
// The same for the searches over a matrix-reverse core's sampled curves
// (at most three per step), worth it where each curve is inverted for
// thousands of colours.
int AttachCurveSearches(MatchPlan* plan, CurveSearch* searches, int capacity);

}  // namespace tnt
