#include "colour/spaces.h"

namespace tnt {

namespace {

// One row of the table. Channels past the fourth repeat the fourth entry,
// which covers the wide uniform spaces ('spkt', 'nCLR', 'MCHn').
struct SpaceRow {
    uint16_t channels;
    bool convertible;
    double min[4];
    double max[4];
};

constexpr double kXyzMax = 199.997;
// An anonymous n-channel space has no usable range: its minimum lies above
// its maximum, and both are handed out as they stand.
constexpr double kNoRangeLow = 3.4e38;
constexpr double kNoRangeHigh = -3.4e38;

constexpr SpaceRow kXyz{3, true, {0, 0, 0, 0}, {kXyzMax, kXyzMax, kXyzMax, kXyzMax}};
constexpr SpaceRow kLabLike{3, true, {0, -128, -128, -128}, {100, 128, 128, 128}};
constexpr SpaceRow kYxy{3, true, {0, 0, 0, 0}, {kXyzMax, 1, 1, 1}};
constexpr SpaceRow kLCh{3, true, {0, 0, 0, 0}, {100, 181, 360, 360}};
constexpr SpaceRow kLChm{3, true, {0, 0, 0, 0}, {112.22, 181, 360, 360}};
constexpr SpaceRow kLabm{3, true, {0, -128, -128, -128}, {112.22, 128, 128, 128}};
constexpr SpaceRow kUnit100Convertible{3, true, {0, 0, 0, 0}, {100, 100, 100, 100}};
constexpr SpaceRow kLabK{4, false, {0, -128, -128, 0}, {100, 128, 128, 100}};
constexpr SpaceRow kRgb{3, false, {0, 0, 0, 0}, {255, 255, 255, 255}};
constexpr SpaceRow kHue{3, false, {0, 0, 0, 0}, {360, 100, 100, 100}};
constexpr SpaceRow kThree100{3, false, {0, 0, 0, 0}, {100, 100, 100, 100}};
constexpr SpaceRow kFour100{4, false, {0, 0, 0, 0}, {100, 100, 100, 100}};
constexpr SpaceRow kOne100{1, false, {0, 0, 0, 0}, {100, 100, 100, 100}};
constexpr SpaceRow kDensity{4, false, {0, 0, 0, 0}, {4, 4, 4, 4}};
constexpr SpaceRow kNorm1{1, false, {0, 0, 0, 0}, {1, 1, 1, 1}};
constexpr SpaceRow kNorm3{3, false, {0, 0, 0, 0}, {1, 1, 1, 1}};
constexpr SpaceRow kNorm4{4, false, {0, 0, 0, 0}, {1, 1, 1, 1}};
constexpr SpaceRow kSpectral{36, false, {0, 0, 0, 0}, {200, 200, 200, 200}};

#define TNT_ANONYMOUS_ROW(n) \
    SpaceRow { n, false, {kNoRangeLow, kNoRangeLow, kNoRangeLow, kNoRangeLow}, \
        {kNoRangeHigh, kNoRangeHigh, kNoRangeHigh, kNoRangeHigh} }
constexpr SpaceRow kAnonymous[9] = {
    TNT_ANONYMOUS_ROW(0), TNT_ANONYMOUS_ROW(1), TNT_ANONYMOUS_ROW(2),
    TNT_ANONYMOUS_ROW(3), TNT_ANONYMOUS_ROW(4), TNT_ANONYMOUS_ROW(5),
    TNT_ANONYMOUS_ROW(6), TNT_ANONYMOUS_ROW(7), TNT_ANONYMOUS_ROW(8)};
#undef TNT_ANONYMOUS_ROW

// Rows for 0..15 channels, 0 to 100 each; the 'nCLR' and 'MCHn' families
// index it by the digit they carry.
#define TNT_UNIFORM_ROW(n) SpaceRow { n, false, {0, 0, 0, 0}, {100, 100, 100, 100} }
constexpr SpaceRow kUniform[16] = {
    TNT_UNIFORM_ROW(0),  TNT_UNIFORM_ROW(1),  TNT_UNIFORM_ROW(2),  TNT_UNIFORM_ROW(3),
    TNT_UNIFORM_ROW(4),  TNT_UNIFORM_ROW(5),  TNT_UNIFORM_ROW(6),  TNT_UNIFORM_ROW(7),
    TNT_UNIFORM_ROW(8),  TNT_UNIFORM_ROW(9),  TNT_UNIFORM_ROW(10), TNT_UNIFORM_ROW(11),
    TNT_UNIFORM_ROW(12), TNT_UNIFORM_ROW(13), TNT_UNIFORM_ROW(14), TNT_UNIFORM_ROW(15)};
#undef TNT_UNIFORM_ROW

// The gray space some old profiles carry: 'G', 'R', 'A' and the byte 0x60.
constexpr uint32_t kOldGray = 0x47524160u;

const SpaceRow& FindRow(uint32_t space) {
    switch (space) {
        case TNT_SIG('X', 'Y', 'Z', ' '):
        case TNT_SIG('T', 'n', 't', 'x'):
            return kXyz;
        case TNT_SIG('L', 'a', 'b', ' '):
        case TNT_SIG('L', 'u', 'v', ' '):
        case TNT_SIG('T', 'n', 't', ' '):
        case TNT_SIG('T', 'n', 't', 'L'):
            return kLabLike;
        case TNT_SIG('Y', 'x', 'y', ' '):
            return kYxy;
        case TNT_SIG('L', 'C', 'h', ' '):
        case TNT_SIG('L', 'C', 'h', 'u'):
            return kLCh;
        case TNT_SIG('L', 'C', 'h', 'm'):
            return kLChm;
        case TNT_SIG('L', 'a', 'b', 'm'):
            return kLabm;
        case TNT_SIG('L', 'M', 'S', 'h'):
        case TNT_SIG('L', 'M', 'S', 'j'):
        case TNT_SIG('c', 'i', 'e', '1'):
            return kUnit100Convertible;
        case TNT_SIG('L', 'a', 'b', 'K'):
            return kLabK;
        case TNT_SIG('R', 'G', 'B', ' '):
        case TNT_SIG('R', 'G', 'B', 'L'):
            return kRgb;
        case TNT_SIG('H', 'L', 'S', ' '):
        case TNT_SIG('H', 'S', 'V', ' '):
            return kHue;
        case TNT_SIG('C', 'M', 'Y', 'K'):
        case TNT_SIG('s', 't', 'a', 't'):
            return kFour100;
        case TNT_SIG('G', 'R', 'A', 'Y'):
        case kOldGray:
            return kOne100;
        case TNT_SIG('d', 'e', 'n', 's'):
            return kDensity;
        case TNT_SIG('n', 'r', 'm', '1'):
            return kNorm1;
        case TNT_SIG('n', 'r', 'm', '3'):
            return kNorm3;
        case TNT_SIG('n', 'r', 'm', '4'):
            return kNorm4;
        case TNT_SIG('s', 'p', 'k', 't'):
            return kSpectral;
        case TNT_SIG('2', 'C', 'L', 'R'): return kUniform[2];
        case TNT_SIG('3', 'C', 'L', 'R'): return kUniform[3];
        case TNT_SIG('4', 'C', 'L', 'R'): return kUniform[4];
        case TNT_SIG('5', 'C', 'L', 'R'): return kUniform[5];
        case TNT_SIG('6', 'C', 'L', 'R'): return kUniform[6];
        case TNT_SIG('7', 'C', 'L', 'R'): return kUniform[7];
        case TNT_SIG('8', 'C', 'L', 'R'): return kUniform[8];
        case TNT_SIG('9', 'C', 'L', 'R'): return kUniform[9];
        case TNT_SIG('A', 'C', 'L', 'R'): return kUniform[10];
        case TNT_SIG('B', 'C', 'L', 'R'): return kUniform[11];
        case TNT_SIG('C', 'C', 'L', 'R'): return kUniform[12];
        case TNT_SIG('D', 'C', 'L', 'R'): return kUniform[13];
        case TNT_SIG('E', 'C', 'L', 'R'): return kUniform[14];
        case TNT_SIG('F', 'C', 'L', 'R'): return kUniform[15];
        case TNT_SIG('M', 'C', 'H', '2'): return kUniform[2];
        case TNT_SIG('M', 'C', 'H', '3'): return kUniform[3];
        case TNT_SIG('M', 'C', 'H', '4'): return kUniform[4];
        case TNT_SIG('M', 'C', 'H', '5'): return kUniform[5];
        case TNT_SIG('M', 'C', 'H', '6'): return kUniform[6];
        case TNT_SIG('M', 'C', 'H', '7'): return kUniform[7];
        case TNT_SIG('M', 'C', 'H', '8'): return kUniform[8];
        case 1: case 2: case 3: case 4: case 5: case 6: case 7: case 8:
            return kAnonymous[space];
        default:
            // 0, 'CMY ' and every unlisted signature.
            return kThree100;
    }
}

}  // namespace

uint16_t SpaceChannelCount(uint32_t space) { return FindRow(space).channels; }

double SpaceChannelMin(uint32_t space, uint16_t channel) {
    return FindRow(space).min[channel < 3 ? channel : 3];
}

double SpaceChannelMax(uint32_t space, uint16_t channel) {
    return FindRow(space).max[channel < 3 ? channel : 3];
}

bool IsConvertibleSpace(uint32_t space) { return FindRow(space).convertible; }

}  // namespace tnt
