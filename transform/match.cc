#include "transform/match.h"

#include <cstring>

#include "colour/convert.h"
#include "colour/encoding.h"
#include "colour/numeric.h"
#include "colour/spaces.h"

namespace tnt {

namespace {

constexpr uint32_t kLab = TNT_SIG('L', 'a', 'b', ' ');
constexpr uint32_t kXYZ = TNT_SIG('X', 'Y', 'Z', ' ');

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

TntStatus MatchChain(const void* source, void* destination, MatchTransform* t, int16_t depth, bool linkMode) {
    if (!source || !destination || !t) return TNT_ERR_NULL_PARAMETER;
    uint16_t work[kMaxWorkChannels] = {};
    TntStatus st = UnpackColor(source, t->sourceSpace, depth, work);
    if (st) return st;
    uint32_t current = t->sourceSpace;
    int n = t->stageCount;
    for (int i = 0; i < n && !st; ++i) {
        uint16_t flags = linkMode ? LinkPassFlags(i, n) : kPassFull;
        if (t->manipulation) t->manipulation(uint16_t(i), uint16_t(n), current, work, t->userData);
        st = ApplyStageStep(&t->stages[i], work, work, &current, flags);
    }
    if (!st && t->manipulation) t->manipulation(uint16_t(n), uint16_t(n), current, work, t->userData);
    // What the colour reached is written even after a failure.
    PackColor(work, current, depth, destination);
    return st;
}

// One end stage alone: its input curves (first stage) or its output curves
// (last stage).
TntStatus MatchEndStage(const void* source, void* destination, MatchTransform* t, int stage, uint32_t space,
                        uint16_t flags, int16_t sourceDepth, int16_t destinationDepth) {
    if (!source || !destination || !t) return TNT_ERR_NULL_PARAMETER;
    uint16_t work[kMaxWorkChannels] = {};
    TntStatus st = UnpackColor(source, space, sourceDepth, work);
    if (st) return st;
    uint32_t current = space;
    if (stage >= 0 && stage < t->stageCount) st = ApplyStageStep(&t->stages[stage], work, work, &current, flags);
    PackColor(work, current, destinationDepth, destination);
    return st;
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
    for (uint16_t c = 0; c < channels; ++c) {
        uint8_t high = uint8_t(work[c] >> 8), low = uint8_t(work[c]);
        // a and b round to the nearest 8-bit code around their 128 zero.
        if (space == kLab && (c == 1 || c == 2) && low >= 128 && high < 255) ++high;
        bytes[c] = high;
    }
}

TntStatus ApplyStageStep(const TransformStage* stage, const uint16_t* in, uint16_t* out, uint32_t* current,
                         uint16_t passFlags) {
    if (stage->kind == kStageSpaceConversion) {
        uint32_t from = stage->data.conversion.fromSpace, to = stage->data.conversion.toSpace;
        uint16_t codes[3] = {in[0], in[1], in[2]};
        TntStatus st = TNT_OK;
        if ((passFlags & kPassCore) && from != to) st = ConvertColor16(from, codes, to);
        std::memcpy(out, codes, sizeof codes);
        *current = to;
        return st;
    }
    if (!stage->profile) return TNT_OK;

    uint32_t inSpace = 0, outSpace = 0;
    StageSpaces(stage, passFlags, &inSpace, &outSpace);
    uint32_t actual = *current ? *current : inSpace;
    *current = outSpace;
    uint16_t inChannels = SpaceChannelCount(inSpace), outChannels = SpaceChannelCount(outSpace);
    if (inChannels > kMaxWorkChannels || outChannels > kMaxWorkChannels ||
        SpaceChannelCount(actual) > kMaxWorkChannels)
        return TNT_ERR_UNSUPPORTED_SPACE;

    uint16_t scratch[kMaxWorkChannels] = {};
    std::memcpy(scratch, in, inChannels * sizeof(uint16_t));
    TntStatus st = TNT_OK;
    if (actual != inSpace) st = ConvertColor16(actual, scratch, inSpace);
    if (!st && IsConvertibleSpace(inSpace) && AbsoluteWhite(stage->intent))
        st = ScaleWhite(inSpace, scratch, stage->mediaWhite, kD50White);
    if (!st) {
        WorkColor work;
        std::memcpy(work.channel, scratch, sizeof scratch);
        st = ApplyStage(stage, &work, &work, passFlags);
        std::memcpy(scratch, work.channel, sizeof scratch);
        if (!st && IsConvertibleSpace(outSpace) && AbsoluteWhite(stage->intent))
            st = ScaleWhite(outSpace, scratch, kD50White, stage->mediaWhite);
    }
    std::memcpy(out, scratch, outChannels * sizeof(uint16_t));
    return st;
}

TntStatus MatchGridColor(const void* source, void* destination, MatchTransform* t, int16_t depth) {
    return MatchChain(source, destination, t, depth, true);
}

TntStatus MatchInputCurves(const void* source, void* destination, MatchTransform* t, int16_t sourceDepth,
                           int16_t destinationDepth) {
    if (!t) return TNT_ERR_NULL_PARAMETER;
    return MatchEndStage(source, destination, t, 0, t->sourceSpace, kPassInputCurves, sourceDepth,
                         destinationDepth);
}

TntStatus MatchOutputCurves(const void* source, void* destination, MatchTransform* t, int16_t sourceDepth,
                            int16_t destinationDepth) {
    if (!t) return TNT_ERR_NULL_PARAMETER;
    return MatchEndStage(source, destination, t, t->stageCount - 1, t->destinationSpace, kPassOutputCurves,
                         sourceDepth, destinationDepth);
}

}  // namespace tnt

using namespace tnt;

extern "C" TNT_API TntStatus TNT_CALL TntICCSingleMatchProc(const void* source, void* destination,
                                                            MatchTransform* t, int16_t depth) {
    return MatchChain(source, destination, t, depth, false);
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
