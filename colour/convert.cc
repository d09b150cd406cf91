#include "colour/convert.h"

#include <cmath>

#include "colour/numeric.h"
#include "colour/power.h"
#include "profile/signatures.h"

namespace tnt {

const double kD50White[3] = {96.42, 100.0, 82.49};

namespace {

// The constants as stored; results must match to the last bit, so none of
// them is recomputed from its fraction.
constexpr double kSixteenOver116 = 0.13793103448275862;
constexpr double kOneOver116 = 0.008620689655172414;
constexpr double kSixOver29 = 0.20689655172413793;
constexpr double k108Over841 = 0.12841854934601665;
constexpr double kOneThird = 0.3333333333333333;
constexpr double kDegreesPerRadian = 57.29577951289617;
constexpr double kRadiansPerDegree = 0.01745329252;
// ln 13: the logarithmic companding maps [0, 1] onto [1, 13] before taking
// the logarithm, so that 1 lands on 1 again.
constexpr double kLn13 = 2.564949357;

// Cone responses. Every forward row sums to 1, so the white maps onto
// itself. The inverses are stored rounded, not computed: round trips are
// good to about 5e-4, and the first 'LMSh' inverse row sums to 0.9999, so
// that white comes back 1e-4 short in X.
constexpr double kLMShForward[9] = {0.3897, 0.689, -0.0787, -0.2298, 1.1834, 0.0464, 0, 0, 1};
constexpr double kLMShInverse[9] = {1.9102, -1.1122, 0.2019, 0.3709, 0.6291, 0, 0, 0, 1};
constexpr double kLMSjForward[9] = {0, 1, 0, -0.46, 1.359, 0.101, 0, 0, 1};
constexpr double kLMSjInverse[9] = {2.954, -2.174, 0.22, 1, 0, 0, 0, 0, 1};
constexpr double kCie1Forward[9] = {0, 100, 0, 666.58, -649.37, -17.21, 0, 255, -255};
constexpr double kCie1Inverse[9] = {0.01, 0.0015002, -0.0001012, 0.01, 0, 0, 0.01, 0, -0.0039216};

// Lab companding. The forward and inverse linear pieces do not match
// (thresholds 0.008856 and 6/29, slopes 7.787 and 841/108), so a dark value
// comes back 4.8e-6 (relative) short.
double LabCompand(double t) {
    if (t > 0.008856) return std::pow(t, kOneThird);
    return 7.787 * t + kSixteenOver116;
}

double LabExpand(double t) {
    if (t >= kSixOver29) return t * t * t;
    return (t - kSixteenOver116) * k108Over841;
}

double LogCompand(double t) {
    if (t > 0.0) return MapLinear(0.0, 0.0, kLn13, 1.0, std::log(MapLinear(0.0, 1.0, 1.0, 13.0, t)));
    return 10.0 * t;
}

double LogExpand(double s) {
    if (s > 0.0) return MapLinear(1.0, 0.0, 13.0, 1.0, std::exp(MapLinear(0.0, 0.0, 1.0, kLn13, s)));
    return 0.1 * s;
}

// Channels 1 and 2 only; the first channel passes through.
void RectangularToPolar(double* c) {
    const double a = c[1];
    const double b = c[2];
    double h = std::atan2(b, a) * kDegreesPerRadian;
    if (h < 0.0) h += 360.0;
    c[1] = std::sqrt(a * a + b * b);
    c[2] = h;
}

void PolarToRectangular(double* c) {
    const double chroma = c[1];
    const double angle = c[2] * kRadiansPerDegree;
    c[1] = chroma * std::cos(angle);
    c[2] = chroma * std::sin(angle);
}

template <typename Compand>
void XyzToLabWith(double* c, Compand compand) {
    const double fx = compand(c[0] / kD50White[0]);
    const double fy = compand(c[1] / kD50White[1]);
    const double fz = compand(c[2] / kD50White[2]);
    double lightness = 116.0 * fy - 16.0;
    if (lightness < 0.0) lightness = 0.0;
    c[0] = lightness;
    c[1] = 500.0 * (fx - fy);
    c[2] = 200.0 * (fy - fz);
}

void XyzToLab(double* c) { XyzToLabWith(c, LabCompand); }

void LabToXyz(double* c) {
    const double fy = (c[0] + 16.0) * kOneOver116;
    const double fx = fy + 0.002 * c[1];
    const double fz = fy - 0.005 * c[2];
    c[0] = kD50White[0] * LabExpand(fx);
    c[1] = kD50White[1] * LabExpand(fy);
    c[2] = kD50White[2] * LabExpand(fz);
}

struct UvWhite {
    double u;
    double v;
};

UvWhite WhiteUv() {
    const double dw = kD50White[0] + 15.0 * kD50White[1] + 3.0 * kD50White[2];
    return {4.0 * kD50White[0] / dw, 9.0 * kD50White[1] / dw};
}

void XyzToLuv(double* c) {
    const double x = c[0];
    const double y = c[1];
    const double z = c[2];
    const double d = x + 15.0 * y + 3.0 * z;
    const UvWhite w = WhiteUv();
    double lightness = 116.0 * LabCompand(y / kD50White[1]) - 16.0;
    if (lightness < 0.0) lightness = 0.0;
    c[0] = lightness;
    if (d <= 0.001) {
        c[1] = 0.0;
        c[2] = 0.0;
    } else {
        c[1] = 13.0 * lightness * (4.0 * x / d - w.u);
        c[2] = 13.0 * lightness * (9.0 * y / d - w.v);
    }
}

void LuvToXyz(double* c) {
    const double lightness = c[0];
    const double u = c[1];
    const double v = c[2];
    const UvWhite w = WhiteUv();
    const double y = kD50White[1] * LabExpand((lightness + 16.0) * kOneOver116);
    double x;
    double z;
    if (lightness < 0.1) {
        x = 0.0;
        z = -5.0 * y;
    } else {
        const double up = w.u + u / (13.0 * lightness);
        const double vp = w.v + v / (13.0 * lightness);
        const double q = 9.0 * y / vp;
        x = q * up * 0.25;
        z = (q - x - 15.0 * y) * kOneThird;
    }
    if (z < 0.0) z = 0.0;
    c[0] = x;
    c[1] = y;
    c[2] = z;
}

void XyzToYxy(double* c) {
    const double x = c[0];
    const double y = c[1];
    const double z = c[2];
    const double s = x + y + z;
    c[0] = y;
    if (s < 0.01) {
        // Black has no chromaticity of its own; give it the white's.
        const double sw = kD50White[0] + kD50White[1] + kD50White[2];
        c[1] = kD50White[0] / sw;
        c[2] = kD50White[1] / sw;
    } else {
        c[1] = x / s;
        c[2] = y / s;
    }
}

void YxyToXyz(double* c) {
    const double luminance = c[0];
    const double x = c[1];
    const double y = c[2] > 0.01 ? c[2] : 0.01;
    double bigX = luminance * x / y;
    double bigZ = (1.0 - x - y) * luminance / y;
    if (bigX > 200.0) bigX = 200.0;
    if (bigZ > 200.0) bigZ = 200.0;
    c[0] = bigX;
    c[1] = luminance;
    c[2] = bigZ;
}

// Cone spaces work on white-relative values and scale back, so the white
// keeps its XYZ values.
void ApplyConeMatrix(const double* matrix, double* c) {
    double n[3];
    DivideVectors(3, c, kD50White, n);
    MatrixTimesVector(3, matrix, n, n);
    MultiplyVectors(3, n, kD50White, c);
}

void XyzToCie1(double* c) {
    double f[3];
    f[0] = LabCompand(c[0] / kD50White[0]);
    f[1] = LabCompand(c[1] / kD50White[1]);
    f[2] = LabCompand(c[2] / kD50White[2]);
    MatrixTimesVector(3, kCie1Forward, f, c);
}

void Cie1ToXyz(double* c) {
    double f[3];
    MatrixTimesVector(3, kCie1Inverse, c, f);
    c[0] = kD50White[0] * LabExpand(f[0]);
    c[1] = kD50White[1] * LabExpand(f[1]);
    c[2] = kD50White[2] * LabExpand(f[2]);
}

void XyzToTnt(double* c) {
    const double x = c[0] > 0.0 ? c[0] : 0.0;
    const double y = c[1] > 0.0 ? c[1] : 0.0;
    const double z = c[2] > 0.0 ? c[2] : 0.0;
    const double sy = std::sqrt(y / kD50White[1]);
    c[0] = 100.0 * sy;
    c[1] = 500.0 * (std::sqrt(x / kD50White[0]) - sy);
    c[2] = 200.0 * (sy - std::sqrt(z / kD50White[2]));
}

void TntToXyz(double* c) {
    const double s = 0.01 * c[0];
    const double tx = s + 0.002 * c[1];
    const double tz = s - 0.005 * c[2];
    double z = kD50White[2] * (tz * tz);
    if (z < 0.0) z = 0.0;
    c[0] = kD50White[0] * (tx * tx);
    c[1] = kD50White[1] * (s * s);
    c[2] = z;
}

void XyzToTntx(double* c) {
    for (int i = 0; i < 3; ++i) c[i] = 100.0 * LogCompand(c[i] / kD50White[i]);
}

void TntxToXyz(double* c) {
    for (int i = 0; i < 3; ++i) c[i] = kD50White[i] * LogExpand(0.01 * c[i]);
}

void XyzToTntL(double* c) {
    XyzToTntx(c);
    const double tx = c[0];
    const double ty = c[1];
    const double tz = c[2];
    c[0] = ty;
    c[1] = 5.0 * (tx - ty);
    c[2] = 2.0 * (ty - tz);
}

void TntLToXyz(double* c) {
    const double lightness = c[0];
    c[0] = lightness + 0.2 * c[1];
    c[2] = lightness - 0.5 * c[2];
    c[1] = lightness;
    TntxToXyz(c);
}

// Bends lightness, chroma and hue of an 'LCh ' colour towards equal visual
// steps. The hue is left unwrapped.
void CorrectLCh(double* c) {
    static constexpr double kSin[4] = {0.13893, -0.0539, -0.04029, -0.01043};
    static constexpr double kCos[4] = {-0.09622, -0.06742, -0.02137, -0.00587};
    const double lightness = c[0];
    const double chroma = c[1];
    const double t = kRadiansPerDegree * c[2];
    if (lightness < 16.0) {
        c[0] = 1.9569471624266144 * lightness;
    } else {
        c[0] = 24.407 * std::log(0.17 * lightness) + 0.43075 * lightness;
    }
    double corrected = 12.253 * std::log(1.0 + 0.1131 * chroma) + 0.181547 * chroma;
    if (corrected < 0.0) corrected = 0.0;
    c[1] = corrected;
    // The harmonics run from 0: the first term is the constant kCos[0].
    double harmonics = 0.0;
    for (int k = 0; k < 4; ++k) {
        const double kt = k * t;
        harmonics += kCos[k] * std::cos(kt) + kSin[k] * std::sin(kt);
    }
    c[2] = kDegreesPerRadian * (t + 0.17914 + harmonics);
}

bool ToXyz(uint32_t source, double* c) {
    switch (source) {
        case kXYZ: return true;
        case kLab: LabToXyz(c); return true;
        case kLCh: PolarToRectangular(c); LabToXyz(c); return true;
        case kLuv: LuvToXyz(c); return true;
        case kLChu: PolarToRectangular(c); LuvToXyz(c); return true;
        case kYxy: YxyToXyz(c); return true;
        case kLMSh: ApplyConeMatrix(kLMShInverse, c); return true;
        case kLMSj: ApplyConeMatrix(kLMSjInverse, c); return true;
        case kCie1: Cie1ToXyz(c); return true;
        case kTnt: TntToXyz(c); return true;
        case kTntL: TntLToXyz(c); return true;
        case kTntx: TntxToXyz(c); return true;
        default: return false;
    }
}

bool FromXyz(uint32_t destination, double* c) {
    switch (destination) {
        case kXYZ: return true;
        case kLab: XyzToLab(c); return true;
        case kLCh: XyzToLab(c); RectangularToPolar(c); return true;
        case kLChm: XyzToLab(c); RectangularToPolar(c); CorrectLCh(c); return true;
        case kLabm:
            XyzToLab(c);
            RectangularToPolar(c);
            CorrectLCh(c);
            PolarToRectangular(c);
            return true;
        case kLuv: XyzToLuv(c); return true;
        case kLChu: XyzToLuv(c); RectangularToPolar(c); return true;
        case kYxy: XyzToYxy(c); return true;
        case kLMSh: ApplyConeMatrix(kLMShForward, c); return true;
        case kLMSj: ApplyConeMatrix(kLMSjForward, c); return true;
        case kCie1: XyzToCie1(c); return true;
        case kTnt: XyzToTnt(c); return true;
        case kTntL: XyzToTntL(c); return true;
        case kTntx: XyzToTntx(c); return true;
        default: return false;
    }
}

}  // namespace

void XyzToLabTabulated(double c[3], const PowerTable* cubeRoot) {
    XyzToLabWith(c, [cubeRoot](double t) {
        double power;
        if (t > 0.008856 && TablePower(cubeRoot, t, &power)) return power;
        return LabCompand(t);
    });
}

void LabToXyzValues(double c[3]) { LabToXyz(c); }

double LabCompandExponent() { return kOneThird; }

TntStatus ConvertColor(uint32_t source, const double input[3], uint32_t destination,
                       double output[3]) {
    if (output != input) CopyVector(3, input, output);
    if (source == destination) return TNT_OK;
    if ((source == kLab && destination == kLCh) || (source == kLuv && destination == kLChu)) {
        RectangularToPolar(output);
        return TNT_OK;
    }
    if ((source == kLCh && destination == kLab) || (source == kLChu && destination == kLuv)) {
        PolarToRectangular(output);
        return TNT_OK;
    }
    if (!ToXyz(source, output)) return TNT_ERR_UNSUPPORTED_SPACE;
    if (!FromXyz(destination, output)) return TNT_ERR_UNSUPPORTED_SPACE;
    return TNT_OK;
}

}  // namespace tnt
