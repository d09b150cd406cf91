// Tintwell against Little CMS: the same colours through both engines (16 bits,
// no black-point compensation), both results taken to Lab through the
// destination profile by Little CMS and compared as dE2000.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tintwell.h"

namespace tnt_test {

// "" is Lab, "icc/..." lies under /usr/share/color, "lcms-..." is made with
// Little CMS in `folder` (v4_profiles.h), anything else is a committed profile.
std::string ProfileByName(const std::string& name, const std::string& folder);

// A row of the comparison table: profiles (a device link runs alone and the
// destination only measures), intent, bound with Little CMS multilinear.
struct Comparison {
    std::string source, destination, name;
    uint16_t intent;
    double maxDeltaE;
};
std::vector<Comparison> Comparisons(const std::string& folder);

struct ComparisonStats {
    TntStatus status = 0;  // Tintwell's first failure
    std::string error;     // Little CMS's
    size_t count = 0;
    double mean = 0.0, max = 0.0;
};

// `steps` samples a device axis (gray 32 * steps + 1, Lab L 2 * steps - 1); `multilinear`
// makes Little CMS interpolate tables like Tintwell, not tetrahedrally, leaving the arithmetic.
ComparisonStats CompareWithLittleCms(const std::string& source, const std::string& destination, uint16_t intent,
                                     bool multilinear, int steps = 9);

// 16-bit colours through Tintwell: the chain at one intent, between spaces or 0.
TntStatus MatchWithTintwell(const std::vector<std::string>& chain, uint32_t sourceSpace, uint32_t destinationSpace,
                            uint16_t intent, const std::vector<uint16_t>& in, int inChannels, int outChannels,
                            std::vector<uint16_t>& out);

}  // namespace tnt_test
