#include "colour/spaces.h"
#include "profile/elements.h"
#include "stage/stage.h"
#include "profile/signatures.h"

namespace tnt {

namespace {

// Each class reports its failures with its own codes.
struct ClassCodes {
    TntStatus pcs;
    TntStatus tag;
    TntStatus space;
};

bool HasMatrixTags(Profile* p) {
    static constexpr uint32_t kTags[6] = {TNT_SIG('r', 'X', 'Y', 'Z'), TNT_SIG('g', 'X', 'Y', 'Z'),
                                          TNT_SIG('b', 'X', 'Y', 'Z'), TNT_SIG('r', 'T', 'R', 'C'),
                                          TNT_SIG('g', 'T', 'R', 'C'), TNT_SIG('b', 'T', 'R', 'C')};
    for (uint32_t tag : kTags)
        if (!TagPresent(p, tag)) return false;
    return true;
}

// Input and display profiles: gray, three-channel (matrix or table) and,
// for input profiles only, CMYK tables that run forward alone.
TntStatus ClassifyInputOrDisplay(Profile* p, bool input, bool forward, const ClassCodes& codes, uint32_t* kind) {
    const uint32_t space = GetProfileColorSpace(p);
    if (space == kGray) {
        if (!TagPresent(p, kGrayCurve)) return codes.tag;
        *kind = forward ? kStageGrayForward : kStageGrayReverse;
        return TNT_OK;
    }
    if (space == kRGB || (input && space == kThreeColour)) {
        if (TagPresent(p, forward ? kA2B0 : kB2A0)) {
            *kind = kStageLookupTable;
        } else if (HasMatrixTags(p)) {
            *kind = forward ? kStageMatrixForward : kStageMatrixReverse;
        } else {
            return codes.tag;
        }
        return TNT_OK;
    }
    if (input && space == kCMYK) {
        if (!TagPresent(p, kA2B0)) return codes.tag;
        if (!forward) return TNT_ERR_CHAIN_MISMATCH;
        *kind = kStageLookupTable;
        return TNT_OK;
    }
    return codes.space;
}

}  // namespace

bool TagPresent(Profile* profile, uint32_t signature) {
    uint32_t exists = 0;
    return TntProfileElementExists(profile, signature, &exists) == TNT_OK && exists != 0;
}

TntStatus ClassifyProfile(Profile* profile, uint32_t direction, uint32_t* kind) {
    if (!profile || !kind) return TNT_ERR_NULL_PARAMETER;
    *kind = kStageEmpty;
    const bool forward = direction == kDirectionForward;
    const uint32_t cls = GetProfileClass(profile);
    ClassCodes codes;
    switch (cls) {
        case TNT_SIG('s', 'c', 'n', 'r'):
            codes = {TNT_ERR_PCS_INPUT, TNT_ERR_TAG_MISSING_INPUT, TNT_ERR_SPACE_INPUT};
            break;
        case TNT_SIG('m', 'n', 't', 'r'):
            codes = {TNT_ERR_PCS_DISPLAY, TNT_ERR_TAG_MISSING_DISPLAY, TNT_ERR_SPACE_DISPLAY};
            break;
        case TNT_SIG('p', 'r', 't', 'r'):
            codes = {TNT_ERR_PCS_OUTPUT, TNT_ERR_TAG_MISSING_OUTPUT, TNT_OK};
            break;
        case TNT_SIG('s', 'p', 'a', 'c'):
            codes = {TNT_ERR_PCS_COLORSPACE, TNT_ERR_TAG_MISSING_COLORSPACE, TNT_OK};
            break;
        case TNT_SIG('a', 'b', 's', 't'):
            codes = {TNT_ERR_PCS_ABSTRACT, TNT_ERR_TAG_MISSING_ABSTRACT, TNT_ERR_ABSTRACT_DEVICE};
            break;
        case TNT_SIG('l', 'i', 'n', 'k'):
            // A device link's "PCS" is its output device space and it needs
            // no white point.
            if (!TagPresent(profile, kA2B0)) return TNT_ERR_TAG_MISSING_LINK;
            *kind = kStageLookupTable;
            return TNT_OK;
        default:
            return TNT_ERR_PROFILE_CLASS;
    }

    const uint32_t pcs = GetProfilePCS(profile);
    if (pcs != kXYZ && pcs != kLab) return codes.pcs;
    if (!TagPresent(profile, kWhitePoint)) return codes.tag;

    switch (cls) {
        case TNT_SIG('s', 'c', 'n', 'r'):
            return ClassifyInputOrDisplay(profile, true, forward, codes, kind);
        case TNT_SIG('m', 'n', 't', 'r'):
            return ClassifyInputOrDisplay(profile, false, forward, codes, kind);
        case TNT_SIG('p', 'r', 't', 'r'):
            if (GetProfileColorSpace(profile) == kGray) {
                if (!TagPresent(profile, kGrayCurve)) return codes.tag;
                *kind = forward ? kStageGrayForward : kStageGrayReverse;
                return TNT_OK;
            }
            // The kind is known even when a table is missing; the caller
            // gets both.
            *kind = kStageLookupTable;
            if (!TagPresent(profile, kA2B0) || !TagPresent(profile, kB2A0)) return codes.tag;
            return TNT_OK;
        case TNT_SIG('s', 'p', 'a', 'c'):
            if (!TagPresent(profile, kA2B0) || !TagPresent(profile, kB2A0)) return codes.tag;
            *kind = kStageLookupTable;
            return TNT_OK;
        default:  // 'abst'
            if (!IsConvertibleSpace(GetProfileColorSpace(profile))) return codes.space;
            if (!TagPresent(profile, kA2B0)) return codes.tag;
            *kind = kStageLookupTable;
            return TNT_OK;
    }
}

}  // namespace tnt
