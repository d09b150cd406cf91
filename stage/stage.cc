#include "stage/stage.h"

#include <cstring>

#include "colour/convert.h"
#include "profile/byteorder.h"
#include "profile/elements.h"
#include "profile/tag_reader.h"
#include "profile/signatures.h"

namespace tnt {

namespace {

// The wtpt tag's first XYZNumber on the Y = 100 scale; D50 without the tag.
TntStatus ReadMediaWhite(Profile* profile, double white[3]) {
    for (int k = 0; k < 3; ++k) white[k] = kD50White[k];
    if (!TagPresent(profile, kWhitePoint)) return TNT_OK;
    TagReader reader;
    double xyz[3];
    TntStatus st = OpenTagReader(profile, kWhitePoint, &reader);
    if (!st) st = TagXYZNumber(reader, xyz);
    if (st) return st;
    for (int k = 0; k < 3; ++k) white[k] = xyz[k] * 100.0;
    return TNT_OK;
}

}  // namespace

void ClearStage(TransformStage* stage) {
    std::memset(stage, 0, sizeof *stage);
    for (int k = 0; k < 3; ++k) stage->mediaWhite[k] = kD50White[k];
}

TntStatus BuildStage(TransformStage* stage, Profile* profile, uint32_t direction, uint16_t intent) {
    if (!stage || !profile) return TNT_ERR_NULL_PARAMETER;
    std::memset(&stage->data, 0, sizeof stage->data);
    // The profile is recorded before anything can fail: whoever releases
    // the stage finds through it the profile to close.
    stage->profile = profile;
    stage->direction = direction;
    stage->intent = intent;
    stage->kind = kStageEmpty;
    TntStatus st = ReadMediaWhite(profile, stage->mediaWhite);
    if (st) return st;
    st = ClassifyProfile(profile, direction, &stage->kind);
    if (st) return st;
    switch (stage->kind) {
        case kStageMatrixForward:
        case kStageMatrixReverse:
            return ReadMatrixStage(&stage->data.matrix, profile, direction);
        case kStageGrayForward:
        case kStageGrayReverse:
            return ReadGrayStage(&stage->data.gray, profile);
        case kStageLookupTable:
            return ReadLutStage(&stage->data.lut, profile, direction, intent);
        default:
            return TNT_ERR_TOO_MANY_STAGES;
    }
}

void ReleaseStageTables(TransformStage* stage) {
    if (!stage) return;
    switch (stage->kind) {
        case kStageMatrixForward:
        case kStageMatrixReverse:
            ReleaseMatrixStage(&stage->data.matrix);
            break;
        case kStageGrayForward:
        case kStageGrayReverse:
            ReleaseGrayStage(&stage->data.gray);
            break;
        case kStageLookupTable:
            ReleaseLutStage(&stage->data.lut);
            break;
        default:
            break;
    }
}

TntStatus ApplyStage(const TransformStage* stage, const WorkColor* in, WorkColor* out, uint16_t passFlags) {
    if (!stage || !in || !out) return TNT_ERR_NULL_PARAMETER;
    switch (stage->kind) {
        case kStageMatrixForward:
            return ApplyMatrixForward(&stage->data.matrix, in, out, passFlags);
        case kStageMatrixReverse:
            return ApplyMatrixReverse(&stage->data.matrix, in, out, passFlags);
        case kStageGrayForward:
            return ApplyGrayForward(&stage->data.gray, stage->profile, in, out, passFlags);
        case kStageGrayReverse:
            return ApplyGrayReverse(&stage->data.gray, stage->profile, in, out, passFlags);
        case kStageLookupTable:
            return ApplyLutStage(stage, in, out, passFlags);
        default:
            return TNT_ERR_STAGE_KIND;
    }
}

TntStatus StageSpaces(const TransformStage* stage, uint16_t passFlags, uint32_t* in, uint32_t* out) {
    if (!stage || !in || !out) return TNT_ERR_NULL_PARAMETER;
    if (stage->kind == kStageSpaceConversion) {
        *in = stage->data.conversion.fromSpace;
        *out = stage->data.conversion.toSpace;
        return TNT_OK;
    }
    if (!stage->profile) return TNT_ERR_NULL_PARAMETER;
    const uint32_t cs = GetProfileColorSpace(stage->profile);
    const uint32_t pcs = GetProfilePCS(stage->profile);
    // Forward runs data space to PCS; reverse the other way round.
    const bool forward = stage->direction == kDirectionForward;
    const uint32_t first = forward ? cs : pcs;
    const uint32_t last = forward ? pcs : cs;
    if (passFlags == kPassInputCurves) {
        *in = *out = first;
    } else if (passFlags == kPassOutputCurves) {
        *in = *out = last;
    } else {
        *in = first;
        *out = last;
    }
    if (stage->kind == kStageMatrixForward && *out == kLab) *out = kXYZ;
    if (stage->kind == kStageMatrixReverse && *in == kLab) *in = kXYZ;
    return TNT_OK;
}

}  // namespace tnt
