// Conformance against an independent colour engine: the same colours go
// through Tintwell (16-bit matching) and through Little CMS, and the two
// results are compared as CIE dE2000 in the destination profile's PCS.
// Shared by the conformance test and the tintwell_conformance program.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tintwell.h"

namespace tnt_test {

enum class ConformanceKind { kRgbToRgb, kRgbToCmyk, kCmykToRgb, kCmykToCmyk, kGrayToRgb, kLabToCmyk };

// "RGB->CMYK" and the like.
const char* ConformanceKindName(ConformanceKind kind);

struct ConformancePair {
    ConformanceKind kind;
    std::string source;       // profile path; empty when the source is Lab
    std::string destination;  // profile path
    // The source is a device link run alone; the destination only measures.
    bool link = false;
};

struct ConformanceOptions {
    uint16_t intent = TNT_INTENT_RELATIVE;
    // Samples per device axis (RGB steps^3, CMYK steps^4); gray takes
    // 32 * steps + 1 levels, Lab 2 * steps - 1 lightness levels by steps^2
    // a, b pairs in -100..100.
    int steps = 9;
    // Tintwell reads a gray device value as ink (0 is the lightest), Little
    // CMS as light (0 is black); Little CMS then gets 65535 - g.
    bool grayAsInk = true;
    // Give Tintwell copies of the v2 display profiles whose media white is
    // D50, which is how Little CMS reads every v2 display profile.
    bool displayWhiteAsD50 = false;
    // Make Little CMS interpolate its colour lookup tables multilinearly,
    // as Tintwell does, instead of tetrahedrally (an interpolation plug-in
    // in a context of its own).
    bool lcmsMultilinear = false;
};

struct ConformanceStats {
    TntStatus status = 0;  // Tintwell's first failure (building or matching)
    std::string error;     // anything else that kept the pair from running
    size_t count = 0;
    double mean = 0.0, p95 = 0.0, max = 0.0;
    // The source colour where the difference was largest (device values
    // 0..1, or L, a, b) and both engines' device results there (0..1).
    std::vector<double> worstInput, worstTintwell, worstLcms;
};

// Converts the pair's samples through both engines with the options'
// intent (no black-point compensation) and measures dE2000 between the
// two device results, each taken to Lab D50 through the destination
// profile by Little CMS (relative colorimetric).
ConformanceStats CompareWithLittleCms(const ConformancePair& pair, const ConformanceOptions& options);

// The pairs compared: a representative set, or with `extended` every
// sensible combination of the profiles found. Pairs whose files are
// missing are left out.
std::vector<ConformancePair> ConformancePairs(const std::string& sharedProfiles, bool extended);

// Pairs of the ICC v4 profiles: colord-data's and ghostscript's, and those
// MakeV4Profiles makes in `folder` from the committed test profiles in
// `sharedProfiles`, each to and from sRGB (icc-profiles-free's v2 sRGB.icc).
// Pairs whose files are missing are left out.
std::vector<ConformancePair> V4ConformancePairs(const std::string& sharedProfiles, const std::string& folder);

// True when the pair involves a v2 display profile whose media white is not
// D50 (absolute-intent results then differ by design).
bool HasNonD50DisplayWhite(const ConformancePair& pair);

// The file name without its folder; "Lab" for an empty path.
std::string ProfileShortName(const std::string& path);

}  // namespace tnt_test
