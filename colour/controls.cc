#include "colour/controls.h"

#include <cmath>

#include "colour/convert.h"
#include "colour/encoding.h"
#include "colour/numeric.h"
#include "colour/spaces.h"
#include "profile/signatures.h"

namespace tnt {

namespace {

// Process-wide settings with fixed initial values. They are unguarded: the
// library takes no locks, and colours are matched one at a time.
ColorControls gControls = {0, 0, 0, 0, 0, 0, kLab};
uint16_t gControlsEnabled = 0;
ColorManipulationProc gCallback = DefaultColorManipulation;
uintptr_t gUserData = 0;
// Per-colour latches: set once a colour has had its controls applied, so
// that the later hook calls of the same colour leave it alone.
uint32_t gDefaultLatch = 0;
uint32_t gLinkLatch = 0;

double ControlFromValue(int16_t v) { return MapLinear(-100, -1, 100, 1, v); }

// Steps 1 to 4 of both hooks; `controls` is only read when the colour is
// in a convertible space and has not been adjusted yet.
uint32_t ManipulateOnce(uint32_t* latch, uint16_t index, uint32_t space, uint16_t* codes,
                        ColorControls* (*controls)(uintptr_t, ColorControls*), uintptr_t userData) {
    if (index == 0) {
        *latch = 0;
    } else if (*latch) {
        return 1;
    }
    if (!IsConvertibleSpace(space)) return 0;
    ColorControls local;
    ColorControls* use = controls(userData, &local);
    double v[3];
    TntStatus st = DecodeColor16(space, codes, v);
    if (!st) st = ConvertColor(space, v, kLab, v);
    if (!st) {
        ApplyLabControls(v, use);
        st = ConvertColor(kLab, v, space, v);
    }
    if (!st) st = EncodeColor16(space, v, codes);
    *latch = 1;
    return st;
}

ColorControls* ProcessWideControls(uintptr_t, ColorControls*) { return &gControls; }

ColorControls* ControlsFromValues(uintptr_t userData, ColorControls* local) {
    const int16_t* values = reinterpret_cast<const int16_t*>(userData);
    *local = ColorControls{0, 0, 0, 0, 0, 0, kLab};
    local->lightness = ControlFromValue(values[0]);
    local->contrast = ControlFromValue(values[1]);
    local->chroma = ControlFromValue(values[2]);
    local->abShift = ControlFromValue(values[3]);
    local->aShift = ControlFromValue(values[4]);
    local->bShift = ControlFromValue(values[5]);
    return local;
}

double RaisingCurve(double x, void* context) { return ContrastCurve(x, static_cast<ColorControls*>(context)); }

}  // namespace

uint32_t TNT_CALL DefaultColorManipulation(uint16_t index, uint16_t, uint32_t space, uint16_t* codes, uintptr_t) {
    return ManipulateOnce(&gDefaultLatch, index, space, codes, ProcessWideControls, 0);
}

uint32_t TNT_CALL LinkColorManipulation(uint16_t index, uint16_t, uint32_t space, uint16_t* codes,
                                        uintptr_t userData) {
    if (!userData) return 0;
    return ManipulateOnce(&gLinkLatch, index, space, codes, ControlsFromValues, userData);
}

double ContrastCurve(double x, ColorControls* controls) {
    double c = controls->contrast;
    if (c >= 0) {
        double d = x - 0.5;
        double s = d >= 0 ? 1.0 : -1.0;
        double m = std::fabs(d);
        return 0.5 + s * m * (1 + c - 2 * c * m);
    }
    // Lowering contrast is the inverse of raising it by as much.
    controls->contrast = -c;
    double y = 0;
    SolveByBisection(RaisingCurve, x, 0.0, 1.0, 100, &y, controls);
    controls->contrast = c;
    return y;
}

void ApplyLabControls(double lab[3], ColorControls* controls) {
    double L = 0.01 * lab[0];
    double a = 0.0078125 * lab[1];
    double b = 0.0078125 * lab[2];
    L = ContrastCurve(L, controls);
    L = (1 + 0.5 * controls->lightness) * L;
    a = (1 + controls->chroma) * a + 0.1 * controls->aShift - 0.04 * controls->abShift;
    b = (1 + controls->chroma) * b + 0.1 * controls->bShift - 0.06 * controls->abShift;
    lab[0] = 100 * L;
    lab[1] = 128 * a;
    lab[2] = 128 * b;
}

TntStatus SolveByBisection(BisectionFunction f, double target, double low, double high, int maximumSteps,
                           double* result, void* context) {
    double mid = (low + high) / 2;
    double fLow = f(low, context), fHigh = f(high, context), fMid = f(mid, context);
    for (int step = 0; step < maximumSteps; ++step) {
        if (std::fabs(fMid - target) < 1.2e-7 || std::fabs(high - low) < 1.2e-7) break;
        if (fMid >= target || fHigh <= fLow) {
            high = mid;
            fHigh = fMid;
        } else {
            low = mid;
            fLow = fMid;
        }
        mid = (low + high) / 2;
        fMid = f(mid, context);
    }
    *result = mid;
    return TNT_OK;
}

bool ColorControlsEnabled() { return gControlsEnabled != 0; }

ColorManipulationProc ProcessColorManipulation(uintptr_t* userData) {
    if (userData) *userData = gUserData;
    return gCallback;
}

}  // namespace tnt

using namespace tnt;

extern "C" TNT_API void TNT_CALL SetColorControls(int16_t lightness, int16_t contrast, int16_t chroma,
                                                  int16_t abShift, int16_t aShift, int16_t bShift) {
    gControls = ColorControls{0, 0, 0, 0, 0, 0, kLab};
    gControls.lightness = ControlFromValue(lightness);
    gControls.contrast = ControlFromValue(contrast);
    gControls.chroma = ControlFromValue(chroma);
    gControls.abShift = ControlFromValue(abShift);
    gControls.aShift = ControlFromValue(aShift);
    gControls.bShift = ControlFromValue(bShift);
}

extern "C" TNT_API uint16_t TNT_CALL EnableColorControls(uint16_t enable) {
    gControlsEnabled = enable ? 1 : 0;
    return gControlsEnabled;
}

extern "C" TNT_API ColorManipulationProc TNT_CALL SetColorManipulationFunction(ColorManipulationProc callback,
                                                                               uintptr_t userData) {
    ColorManipulationProc previous = gCallback;
    gCallback = callback;
    gUserData = userData;
    return previous;
}
