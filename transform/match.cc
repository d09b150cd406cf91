#include "transform/match.h"

#include <cstring>

#include "colour/convert.h"
#include "colour/encoding.h"
#include "colour/numeric.h"
#include "colour/power.h"
#include "colour/spaces.h"
#include "profile/signatures.h"

namespace tnt {

namespace {

bool AbsoluteWhite(uint16_t intent) {
    return intent == TNT_INTENT_ABSOLUTE || intent == TNT_INTENT_PERCEPTUAL_ABSOLUTE_WHITE;
}

// Moves a colour in a connection-like space from one white to another
// through XYZ.
TntStatus ScaleWhite(uint32_t space, uint16_t* codes, const double* fromWhite, const double* toWhite) {
    double v[3];
    TntStatus st = DecodeColor16(space, codes, v);
    if (!st) st = ConvertColor(space, v, kXYZ, v);
    if (st) return st;
    ScaleByWhiteRatio(fromWhite, v, toWhite, v);
    st = ConvertColor(kXYZ, v, space, v);
    if (!st) st = EncodeColor16(space, v, codes);
    return st;
}

uint16_t LinkPassFlags(int index, int count) {
    bool first = index == 0, last = index == count - 1;
    if (first && last) return kPassCore;
    if (first) return kPassCore | kPassOutputCurves;
    if (last) return kPassInputCurves | kPassCore;
    return kPassFull;
}

}  // namespace

TntStatus UnpackColor(const void* source, uint32_t space, int16_t depth, uint16_t* work) {
    uint16_t channels = SpaceChannelCount(space);
    if (channels > kMaxWorkChannels) return TNT_ERR_UNSUPPORTED_SPACE;
    if (depth == 1) {
        auto* bytes = static_cast<const uint8_t*>(source);
        // 8-bit Lab keeps L 100 at 255 << 8 and a, b 0 at 128 << 8.
        uint16_t scale = space == kLab ? 256 : 257;
        for (uint16_t c = 0; c < channels; ++c) work[c] = uint16_t(bytes[c] * scale);
    } else {
        std::memcpy(work, source, channels * sizeof(uint16_t));
    }
    return TNT_OK;
}

void PackColor(const uint16_t* work, uint32_t space, int16_t depth, void* destination) {
    uint16_t channels = SpaceChannelCount(space);
    if (channels > kMaxWorkChannels) channels = kMaxWorkChannels;
    if (depth != 1) {
        std::memcpy(destination, work, channels * sizeof(uint16_t));
        return;
    }
    auto* bytes = static_cast<uint8_t*>(destination);
    for (uint16_t c = 0; c < channels; ++c) bytes[c] = PackChannel8(space, c, work[c]);
}

uint8_t PackChannel8(uint32_t space, uint16_t channel, uint16_t code) {
    uint8_t high = uint8_t(code >> 8), low = uint8_t(code);
    // a and b round to the nearest 8-bit code around their 128 zero.
    if (space == kLab && (channel == 1 || channel == 2) && low >= 128 && high < 255) ++high;
    return high;
}

namespace {

StepPlan PlanStep(const TransformStage* stage, uint16_t passFlags, uint32_t current) {
    StepPlan plan{};
    plan.stage = stage;
    plan.passFlags = passFlags;
    plan.before = plan.after = current;
    if (stage->kind == kStageSpaceConversion) {
        plan.inSpace = stage->data.conversion.fromSpace;
        plan.after = plan.outSpace = stage->data.conversion.toSpace;
        return plan;
    }
    if (!stage->profile) return plan;
    StageSpaces(stage, passFlags, &plan.inSpace, &plan.outSpace);
    if (!current) plan.before = plan.inSpace;
    plan.after = plan.outSpace;
    plan.inChannels = SpaceChannelCount(plan.inSpace);
    plan.outChannels = SpaceChannelCount(plan.outSpace);
    if (plan.inChannels > kMaxWorkChannels || plan.outChannels > kMaxWorkChannels ||
        SpaceChannelCount(plan.before) > kMaxWorkChannels)
        plan.refusal = TNT_ERR_UNSUPPORTED_SPACE;
    plan.scaleIn = IsConvertibleSpace(plan.inSpace) && AbsoluteWhite(stage->intent);
    plan.scaleOut = IsConvertibleSpace(plan.outSpace) && AbsoluteWhite(stage->intent);
    return plan;
}

// A conversion between stages; a cube-root table is attached only to
// steps whose conversion runs from 'XYZ ' to 'Lab '.
TntStatus Convert16(uint32_t from, uint16_t* codes, uint32_t to, const PowerTable* cubeRoot) {
    if (cubeRoot) return ConvertXyzToLab16(codes, cubeRoot);
    if (from == kLab && to == kXYZ) {
        ConvertLabToXyz16(codes);
        return TNT_OK;
    }
    return ConvertColor16(from, codes, to);
}

TntStatus RunStep(const StepPlan& plan, const uint16_t* in, uint16_t* out) {
    const TransformStage* stage = plan.stage;
    if (stage->kind == kStageSpaceConversion) {
        uint16_t codes[3] = {in[0], in[1], in[2]};
        TntStatus st = TNT_OK;
        if ((plan.passFlags & kPassCore) && plan.inSpace != plan.outSpace)
            st = Convert16(plan.inSpace, codes, plan.outSpace, plan.cubeRoot);
        std::memcpy(out, codes, sizeof codes);
        return st;
    }
    if (!stage->profile) return TNT_OK;
    if (plan.refusal) return plan.refusal;

    uint16_t scratch[kMaxWorkChannels] = {};
    std::memcpy(scratch, in, plan.inChannels * sizeof(uint16_t));
    TntStatus st = TNT_OK;
    if (plan.before != plan.inSpace) st = Convert16(plan.before, scratch, plan.inSpace, plan.cubeRoot);
    if (!st && plan.scaleIn) st = ScaleWhite(plan.inSpace, scratch, stage->mediaWhite, kD50White);
    if (!st) {
        WorkColor work;
        std::memcpy(work.channel, scratch, sizeof scratch);
        // The plan already knows a table stage's spaces.
        if (stage->kind == kStageLookupTable) {
            st = ApplyLutStageBetween(stage, plan.inSpace, plan.outSpace, &work, &work, plan.passFlags);
        } else if (stage->kind == kStageMatrixReverse) {
            st = ApplyMatrixReverseTabulated(&stage->data.matrix, &plan.inverse, &work, &work, plan.passFlags);
        } else {
            st = ApplyStage(stage, &work, &work, plan.passFlags);
        }
        std::memcpy(scratch, work.channel, sizeof scratch);
        if (!st && plan.scaleOut) st = ScaleWhite(plan.outSpace, scratch, kD50White, stage->mediaWhite);
    }
    std::memcpy(out, scratch, plan.outChannels * sizeof(uint16_t));
    return st;
}

// The colour reached is packed even after a failure.
uint32_t SpaceReached(const MatchPlan* plan, int executed) {
    return executed == 0 ? plan->sourceSpace : plan->steps[executed - 1].after;
}

// Steps `first` onwards on a working colour, then the pack.
TntStatus RunSteps(const MatchPlan* plan, int first, uint16_t* work, void* destination, int16_t depth) {
    MatchTransform* t = plan->transform;
    const bool hook = plan->manipulate && t->manipulation;
    const uint16_t n = uint16_t(plan->count);
    TntStatus st = TNT_OK;
    int executed = first;
    while (executed < plan->count && !st) {
        const StepPlan& step = plan->steps[executed];
        if (hook) t->manipulation(uint16_t(executed), n, SpaceReached(plan, executed), work, t->userData);
        st = RunStep(step, work, work);
        ++executed;
    }
    if (!st && hook) t->manipulation(n, n, SpaceReached(plan, executed), work, t->userData);
    PackColor(work, SpaceReached(plan, executed), depth, destination);
    return st;
}

}  // namespace

TntStatus ApplyStageStep(const TransformStage* stage, const uint16_t* in, uint16_t* out, uint32_t* current,
                         uint16_t passFlags) {
    StepPlan plan = PlanStep(stage, passFlags, *current);
    *current = plan.after;
    return RunStep(plan, in, out);
}

TntStatus PlanMatch(MatchTransform* t, MatchKind kind, MatchPlan* plan) {
    if (!t || !plan) return TNT_ERR_NULL_PARAMETER;
    plan->transform = t;
    plan->manipulate = kind == MatchKind::kSingle || kind == MatchKind::kGrid;
    int first = 0, count = t->stageCount;
    uint16_t endFlags = 0;
    if (kind == MatchKind::kInputCurves) {
        plan->sourceSpace = t->sourceSpace;
        count = t->stageCount > 0 ? 1 : 0;
        endFlags = kPassInputCurves;
    } else if (kind == MatchKind::kOutputCurves) {
        plan->sourceSpace = t->destinationSpace;
        first = t->stageCount - 1;
        count = t->stageCount > 0 ? 1 : 0;
        endFlags = kPassOutputCurves;
    } else {
        plan->sourceSpace = t->sourceSpace;
    }
    if (count < 0) count = 0;
    plan->sourceChannels = SpaceChannelCount(plan->sourceSpace);
    plan->count = count;
    uint32_t current = plan->sourceSpace;
    for (int i = 0; i < count; ++i) {
        uint16_t flags = kind == MatchKind::kGrid ? LinkPassFlags(i, count)
                         : kind == MatchKind::kSingle ? kPassFull
                                                      : endFlags;
        plan->steps[i] = PlanStep(&t->stages[first + i], flags, current);
        current = plan->steps[i].after;
    }
    return TNT_OK;
}

TntStatus MatchPlanned(const MatchPlan* plan, const void* source, void* destination, int16_t sourceDepth,
                       int16_t destinationDepth) {
    if (!source || !destination) return TNT_ERR_NULL_PARAMETER;
    if (plan->sourceChannels > kMaxWorkChannels) return TNT_ERR_UNSUPPORTED_SPACE;
    uint16_t work[kMaxWorkChannels] = {};
    UnpackColor(source, plan->sourceSpace, sourceDepth, work);
    return RunSteps(plan, 0, work, destination, destinationDepth);
}

TntStatus MatchPlannedFrom(const MatchPlan* plan, int first, uint16_t* work, void* destination, int16_t depth) {
    if (!plan || !work || !destination) return TNT_ERR_NULL_PARAMETER;
    if (first < 0 || first > plan->count) return TNT_ERR_NULL_PARAMETER;
    return RunSteps(plan, first, work, destination, depth);
}

namespace {

// The table for exponent a among the first `*filled`, or a new one; null
// when there is no room or a table cannot serve a.
const PowerTable* TableFor(double a, PowerTable* tables, int capacity, int* filled) {
    for (int i = 0; i < *filled; ++i)
        if (tables[i].exponent == a) return &tables[i];
    if (*filled >= capacity || !PreparePowerTable(a, &tables[*filled])) return nullptr;
    return &tables[(*filled)++];
}

}  // namespace

int AttachPowerTables(MatchPlan* plan, PowerTable* tables, int capacity) {
    int filled = 0;
    for (int i = 0; i < plan->count; ++i) {
        StepPlan& step = plan->steps[i];
        const TransformStage* stage = step.stage;
        bool toLab;
        if (stage->kind == kStageSpaceConversion) {
            toLab = (step.passFlags & kPassCore) && step.inSpace == kXYZ && step.outSpace == kLab;
        } else {
            toLab = stage->profile && step.before == kXYZ && step.inSpace == kLab;
        }
        if (toLab) step.cubeRoot = TableFor(LabCompandExponent(), tables, capacity, &filled);
        if (stage->kind == kStageMatrixReverse && stage->profile && (step.passFlags & kPassCore)) {
            const MatrixStageData& matrix = stage->data.matrix;
            for (int c = 0; c < 3; ++c)
                if (HasRootPower(matrix.curve[c]))
                    step.inverse.power[c] = TableFor(1.0 / matrix.curve[c].param[0], tables, capacity, &filled);
        }
    }
    return filled;
}

int AttachCurveSearches(MatchPlan* plan, CurveSearch* searches, int capacity) {
    int filled = 0;
    for (int i = 0; i < plan->count; ++i) {
        StepPlan& step = plan->steps[i];
        const TransformStage* stage = step.stage;
        if (stage->kind != kStageMatrixReverse || !stage->profile || !(step.passFlags & kPassCore)) continue;
        const MatrixStageData& matrix = stage->data.matrix;
        for (int c = 0; c < 3 && filled < capacity; ++c)
            if (PrepareCurveSearch(SampledTable(matrix.curve[c]), matrix.curve[c].length, &searches[filled]))
                step.inverse.search[c] = &searches[filled++];
    }
    return filled;
}

TntStatus MatchGridColor(const void* source, void* destination, MatchTransform* t, int16_t depth) {
    MatchPlan plan;
    TntStatus st = PlanMatch(t, MatchKind::kGrid, &plan);
    return st ? st : MatchPlanned(&plan, source, destination, depth, depth);
}

TntStatus MatchInputCurves(const void* source, void* destination, MatchTransform* t, int16_t sourceDepth,
                           int16_t destinationDepth) {
    MatchPlan plan;
    TntStatus st = PlanMatch(t, MatchKind::kInputCurves, &plan);
    return st ? st : MatchPlanned(&plan, source, destination, sourceDepth, destinationDepth);
}

TntStatus MatchOutputCurves(const void* source, void* destination, MatchTransform* t, int16_t sourceDepth,
                            int16_t destinationDepth) {
    MatchPlan plan;
    TntStatus st = PlanMatch(t, MatchKind::kOutputCurves, &plan);
    return st ? st : MatchPlanned(&plan, source, destination, sourceDepth, destinationDepth);
}

}  // namespace tnt

using namespace tnt;

extern "C" TNT_API TntStatus TNT_CALL TntICCSingleMatchProc(const void* source, void* destination,
                                                            MatchTransform* t, int16_t depth) {
    MatchPlan plan;
    TntStatus st = PlanMatch(t, MatchKind::kSingle, &plan);
    return st ? st : MatchPlanned(&plan, source, destination, depth, depth);
}

extern "C" TNT_API TntStatus TNT_CALL TntICCMatchColors(MatchTransform* t, uint32_t, const void* source,
                                                        void* destination, int32_t count, int16_t sourceChannels,
                                                        int16_t destinationChannels, int16_t sourceExtra,
                                                        int16_t destinationExtra, int16_t depth) {
    if (count < 1) return TNT_OK;
    if (!t || !source || !destination) return TNT_ERR_NULL_PARAMETER;
    if (depth < 1) return TNT_ERR_NULL_PARAMETER;
    ptrdiff_t sourceStride = ptrdiff_t(sourceChannels + sourceExtra) * depth;
    ptrdiff_t destinationStride = ptrdiff_t(destinationChannels + destinationExtra) * depth;
    auto* from = static_cast<const uint8_t*>(source);
    auto* to = static_cast<uint8_t*>(destination);
    for (int32_t i = 0; i < count; ++i) {
        TntStatus st = TntICCSingleMatchProc(from, to, t, depth);
        if (st) return st;
        from += sourceStride;
        to += destinationStride;
    }
    return TNT_OK;
}
