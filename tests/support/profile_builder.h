// Profiles made in memory through the library's own tag functions, for
// tests of stages, transforms and writers. Tag images are built in host
// byte order, as the tag interface takes them.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "support/profile_images.h"
#include "tintwell.h"
#include "tools/icc_writer.h"

namespace tnt_test {

// The tool's writer: 'XYZ ', and 'curv' with the entries as given (none
// is the identity, one a u8Fixed8 gamma, more a sampled curve).
using tool::CurveTag;
using tool::XYZTag;
inline Bytes GammaCurveTag(double gamma) { return tool::GammaTag(gamma); }
// 'para' of ICC form `function` with the parameters as given. As the tag
// interface hands the type out: its signature in host order, the rest as
// stored in the file (big-endian).
Bytes ParaTag(uint16_t function, const std::vector<double>& parameters);
// `count` samples of f over 0..1, each rounded to 16 bits.
Bytes SampledCurveTag(uint32_t count, const std::function<double(double)>& f);

// An 'mft1' or 'mft2' table. Empty curve or grid vectors are filled when the
// tag is made: identity ramps for the curves (entry k = k for 8-bit tables,
// trunc(k * 65535 / (m - 1)) for 16-bit ones) and zeros for the grid. All
// entries are stored values: 0..255 for 'mft1', 0..65535 for 'mft2'.
struct LutContents {
    bool sixteenBit = true;
    uint8_t inputs = 3;
    uint8_t outputs = 3;
    uint8_t grid = 2;
    double matrix[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    uint16_t inputEntries = 256;  // 'mft2' only; 'mft1' always has 256
    uint16_t outputEntries = 256;
    std::vector<uint16_t> inputCurves;
    std::vector<uint16_t> gridValues;
    std::vector<uint16_t> outputCurves;
};

// Curves of `entries` samples of f (0..1 to 0..1), one per channel.
std::vector<uint16_t> CurveEntries(uint32_t channels, uint32_t entries, bool sixteenBit,
                                   const std::function<double(uint32_t channel, double)>& f);
// The grid of f sampled at the nodes (first input slowest), rounded to the
// table's width. f maps `inputs` values in 0..1 to `outputs` values in 0..1.
std::vector<uint16_t> GridEntries(const LutContents& table, const std::function<void(const double*, double*)>& f);
Bytes MftTag(LutContents table);

// A new profile (no location) with a version 2.1 header of the given class,
// data space, PCS and rendering intent. Closed by the caller.
Profile* NewTestProfile(uint32_t deviceClass, uint32_t colorSpace, uint32_t pcs, uint32_t intent = 0);
void PutTag(Profile* p, uint32_t signature, const Bytes& tag);
void PutWhitePoint(Profile* p, double x = 0.9642, double y = 1.0, double z = 0.8249);

// sRGB-like D50 colorants (rows red, green, blue; X, Y, Z each).
extern const double kTestColorants[3][3];

// Ready-made profiles with a D50 white point: an RGB matrix profile, a gray
// profile with 'kTRC', and a profile holding the given tables.
Profile* MatrixProfile(uint32_t deviceClass, const Bytes& curve, uint32_t pcs = Sig("XYZ "));
Profile* GrayProfile(uint32_t deviceClass, const Bytes& curve, uint32_t pcs = Sig("XYZ "));
Profile* LutProfile(uint32_t deviceClass, uint32_t colorSpace, uint32_t pcs,
                    const std::vector<std::pair<uint32_t, LutContents>>& tables);

}  // namespace tnt_test
