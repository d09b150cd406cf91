// Pushing colours through a transform: unpacking caller colours into the
// eight-channel working colour, one step per stage, packing the result.
#pragma once

#include <cstdint>

#include "transform/transform.h"

namespace tnt {

// Working colours hold eight channels; spaces with more cannot be matched.
constexpr uint16_t kMaxWorkChannels = kWorkChannels;

// 8-bit (depth 1) or 16-bit (any other depth) caller colours.
TntStatus UnpackColor(const void* source, uint32_t space, int16_t depth, uint16_t* work);
void PackColor(const uint16_t* work, uint32_t space, int16_t depth, void* destination);

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

}  // namespace tnt
