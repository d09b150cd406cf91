// The transform: a chain of at most ten stages from a source colour space
// to a destination colour space.
#pragma once

#include <cstdint>

#include "stage/stage.h"
#include "tintwell.h"

namespace tnt {

constexpr int kMaxStages = 10;

}  // namespace tnt

struct MatchTransform {
    uint32_t sourceSpace;
    uint32_t destinationSpace;
    int16_t stageCount;
    tnt::TransformStage stages[tnt::kMaxStages];
    ColorManipulationProc manipulation;
    ColorManipulationDispose dispose;
    uintptr_t userData;
    // 1 when the caller owns the profiles the stages run; 0 when the
    // transform opened them and closes them on release.
    uint32_t profilesBorrowed;
};

namespace tnt {

// Releases every stage in use: frees their tables and closes the profiles
// the transform owns, each once.
void ReleaseStages(MatchTransform* transform);
bool HasManipulation(const MatchTransform* transform);

}  // namespace tnt
