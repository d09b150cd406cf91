// Converts one three-channel colour between the device-independent spaces.
// Every conversion runs through XYZ relative to D50 (Y = 100 at the white),
// except the direct steps between 'Lab '/'LCh ' and 'Luv '/'LChu'.
#pragma once

#include <cstdint>

#include "tintwell.h"

namespace tnt {

struct PowerTable;

// The reference white of every conversion: D50 with Y = 100.
extern const double kD50White[3];

// Converts `input` from `source` to `destination`; `input` and `output` may
// be the same array. Equal spaces copy the colour whatever they are.
// TNT_ERR_UNSUPPORTED_SPACE when the engine cannot read `source` (the output
// then holds the input) or cannot write `destination` (the output then
// holds the colour as XYZ). 'LChm' and 'Labm' are destinations only.
TntStatus ConvertColor(uint32_t source, const double input[3], uint32_t destination,
                       double output[3]);

// XYZ to 'Lab ' in place as ConvertColor does it, except that the cube
// roots come from `cubeRoot` (a table for LabCompandExponent()) wherever it
// covers them: the companded values are then within kPowerRelativeError of
// ConvertColor's, for callers that check their quantized results.
void XyzToLabTabulated(double c[3], const PowerTable* cubeRoot);
// 'Lab ' to XYZ in place, exactly as ConvertColor does it.
void LabToXyzValues(double c[3]);
// The exponent of the cube root in the 'Lab ' companding, as stored.
double LabCompandExponent();

}  // namespace tnt
