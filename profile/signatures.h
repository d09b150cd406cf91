// Four-character codes the library itself tests for: colour spaces, profile
// classes, tags and tag types. Included by source files only, so that
// callers' own short names never meet these.
#pragma once

#include <cstdint>

#include "tintwell.h"

namespace tnt {

// Colour spaces.
constexpr uint32_t kXYZ = TNT_SIG('X', 'Y', 'Z', ' ');
constexpr uint32_t kLab = TNT_SIG('L', 'a', 'b', ' ');
constexpr uint32_t kLuv = TNT_SIG('L', 'u', 'v', ' ');
constexpr uint32_t kYxy = TNT_SIG('Y', 'x', 'y', ' ');
constexpr uint32_t kLCh = TNT_SIG('L', 'C', 'h', ' ');
constexpr uint32_t kLChu = TNT_SIG('L', 'C', 'h', 'u');
constexpr uint32_t kLChm = TNT_SIG('L', 'C', 'h', 'm');
constexpr uint32_t kLabm = TNT_SIG('L', 'a', 'b', 'm');
constexpr uint32_t kLMSh = TNT_SIG('L', 'M', 'S', 'h');
constexpr uint32_t kLMSj = TNT_SIG('L', 'M', 'S', 'j');
constexpr uint32_t kCie1 = TNT_SIG('c', 'i', 'e', '1');
constexpr uint32_t kTnt = TNT_SIG('T', 'n', 't', ' ');
constexpr uint32_t kTntL = TNT_SIG('T', 'n', 't', 'L');
constexpr uint32_t kTntx = TNT_SIG('T', 'n', 't', 'x');
constexpr uint32_t kRGB = TNT_SIG('R', 'G', 'B', ' ');
constexpr uint32_t kCMYK = TNT_SIG('C', 'M', 'Y', 'K');
constexpr uint32_t kGray = TNT_SIG('G', 'R', 'A', 'Y');
constexpr uint32_t kThreeColour = TNT_SIG('3', 'C', 'L', 'R');

// Profile classes.
constexpr uint32_t kAbstract = TNT_SIG('a', 'b', 's', 't');
constexpr uint32_t kColorSpaceClass = TNT_SIG('s', 'p', 'a', 'c');

// Tags.
constexpr uint32_t kA2B0 = TNT_SIG('A', '2', 'B', '0');
constexpr uint32_t kB2A0 = TNT_SIG('B', '2', 'A', '0');
constexpr uint32_t kWhitePoint = TNT_SIG('w', 't', 'p', 't');
constexpr uint32_t kGrayCurve = TNT_SIG('k', 'T', 'R', 'C');

// Tag types.
constexpr uint32_t kMft1 = TNT_SIG('m', 'f', 't', '1');
constexpr uint32_t kMft2 = TNT_SIG('m', 'f', 't', '2');
constexpr uint32_t kCurve = TNT_SIG('c', 'u', 'r', 'v');
constexpr uint32_t kParametric = TNT_SIG('p', 'a', 'r', 'a');
constexpr uint32_t kLutAtoB = TNT_SIG('m', 'A', 'B', ' ');
constexpr uint32_t kLutBtoA = TNT_SIG('m', 'B', 'A', ' ');
constexpr uint32_t kMultiLocalized = TNT_SIG('m', 'l', 'u', 'c');

}  // namespace tnt
