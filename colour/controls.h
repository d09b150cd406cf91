// Lightness, contrast, chroma and a/b shifts, applied in Lab to one colour
// at a time through a transform's manipulation hook.
#pragma once

#include <cstdint>

#include "tintwell.h"

namespace tnt {

struct ColorControls {
    double lightness;
    double contrast;
    double chroma;
    double abShift;
    double aShift;
    double bShift;
    uint32_t space;  // always 'Lab '
};

// The hooks. DefaultColorManipulation applies the process-wide controls;
// LinkColorManipulation reads six int16 control values at `userData`. Each
// applies its controls once per colour, at the first convertible space it
// sees, and returns the conversion status (ignored by matching).
uint32_t TNT_CALL DefaultColorManipulation(uint16_t index, uint16_t count, uint32_t space, uint16_t* codes,
                                           uintptr_t userData);
uint32_t TNT_CALL LinkColorManipulation(uint16_t index, uint16_t count, uint32_t space, uint16_t* codes,
                                        uintptr_t userData);

void ApplyLabControls(double lab[3], ColorControls* controls);
double ContrastCurve(double x, ColorControls* controls);

using BisectionFunction = double (*)(double x, void* context);
TntStatus SolveByBisection(BisectionFunction function, double target, double low, double high, int maximumSteps,
                           double* result, void* context);

// What link building reads of the process-wide state.
bool ColorControlsEnabled();
ColorManipulationProc ProcessColorManipulation(uintptr_t* userData);

}  // namespace tnt
