#include "colour/encoding.h"

#include "colour/convert.h"
#include "colour/power.h"
#include "colour/spaces.h"
#include "profile/signatures.h"

namespace tnt {

namespace {

// 'Lab ' stage ranges: L = 100 lands on 0xFF00 and 0 on 0x8000 for a and b.
constexpr double kLabLightnessHigh = 100.390625;
constexpr double kLabAxisLow = -128.0;
constexpr double kLabAxisHigh = 127.996;
// The 'XYZ ' row of the space table, written out for the conversions that
// run per colour.
constexpr double kXyzHigh = 199.997;

// EncodeValue16 in two halves: the value the code is truncated from, and
// the truncation.
double EncodePosition(double value, double low, double high) {
    return (value - low) * 65535.0 / (high - low) + 0.5;
}

uint16_t TruncateCode(double t) {
    if (!(t >= 0.0)) return 0;
    if (t <= 65535.0) return static_cast<uint16_t>(t);
    return 65535;
}

// XYZ to 'Lab ' with tabulated cube roots. False when some code could
// differ from the exact conversion's; the codes are then left alone.
bool XyzToLabCodesTabulated(uint16_t* codes, const PowerTable* cubeRoot) {
    double v[3];
    for (int i = 0; i < 3; ++i) v[i] = DecodeValue16(codes[i], 0.0, kXyzHigh);
    XyzToLabTabulated(v, cubeRoot);
    const double t[3] = {EncodePosition(v[0], 0.0, kLabLightnessHigh), EncodePosition(v[1], kLabAxisLow, kLabAxisHigh),
                         EncodePosition(v[2], kLabAxisLow, kLabAxisHigh)};
    // An error e in each companded value moves these by at most 2.6e5 e,
    // and the values stay below 1.3: under 4e-8.
    for (double position : t)
        if (NearInteger(position, kQuantizeTolerance)) return false;
    for (int i = 0; i < 3; ++i) codes[i] = TruncateCode(t[i]);
    return true;
}

}  // namespace

uint16_t EncodeValue16(double value, double low, double high) { return TruncateCode(EncodePosition(value, low, high)); }

double DecodeValue16(uint16_t code, double low, double high) {
    return code * 1.5259021896696422e-05 * (high - low) + low;
}

double DecodeValue8(uint8_t code, double low, double high) {
    return code * 0.00392156862745098 * (high - low) + low;
}

TntStatus DecodeColor16(uint32_t space, const uint16_t* codes, double* values) {
    if (space == kLab) {
        values[0] = DecodeValue16(codes[0], 0.0, kLabLightnessHigh);
        values[1] = DecodeValue16(codes[1], kLabAxisLow, kLabAxisHigh);
        values[2] = DecodeValue16(codes[2], kLabAxisLow, kLabAxisHigh);
        return TNT_OK;
    }
    if (space == kXYZ) {
        for (int i = 0; i < 3; ++i) values[i] = DecodeValue16(codes[i], 0.0, kXyzHigh);
        return TNT_OK;
    }
    const uint16_t count = SpaceChannelCount(space);
    for (uint16_t i = 0; i < count; ++i) {
        values[i] = DecodeValue16(codes[i], SpaceChannelMin(space, i), SpaceChannelMax(space, i));
    }
    return TNT_OK;
}

TntStatus EncodeColor16(uint32_t space, const double* values, uint16_t* codes) {
    if (space == kLab) {
        codes[0] = EncodeValue16(values[0], 0.0, kLabLightnessHigh);
        codes[1] = EncodeValue16(values[1], kLabAxisLow, kLabAxisHigh);
        codes[2] = EncodeValue16(values[2], kLabAxisLow, kLabAxisHigh);
        return TNT_OK;
    }
    if (space == kXYZ) {
        for (int i = 0; i < 3; ++i) codes[i] = EncodeValue16(values[i], 0.0, kXyzHigh);
        return TNT_OK;
    }
    const uint16_t count = SpaceChannelCount(space);
    for (uint16_t i = 0; i < count; ++i) {
        codes[i] = EncodeValue16(values[i], SpaceChannelMin(space, i), SpaceChannelMax(space, i));
    }
    return TNT_OK;
}

TntStatus ConvertColor16(uint32_t source, uint16_t* codes, uint32_t destination) {
    double values[kMaxSpaceChannels];
    TntStatus status = DecodeColor16(source, codes, values);
    if (status != TNT_OK) return status;
    status = ConvertColor(source, values, destination, values);
    if (status != TNT_OK) return status;
    return EncodeColor16(destination, values, codes);
}

TntStatus ConvertXyzToLab16(uint16_t* codes, const PowerTable* cubeRoot) {
    if (cubeRoot && cubeRoot->exponent == LabCompandExponent() && XyzToLabCodesTabulated(codes, cubeRoot))
        return TNT_OK;
    return ConvertColor16(kXYZ, codes, kLab);
}

void ConvertLabToXyz16(uint16_t* codes) {
    double v[3] = {DecodeValue16(codes[0], 0.0, kLabLightnessHigh), DecodeValue16(codes[1], kLabAxisLow, kLabAxisHigh),
                   DecodeValue16(codes[2], kLabAxisLow, kLabAxisHigh)};
    LabToXyzValues(v);
    for (int i = 0; i < 3; ++i) codes[i] = EncodeValue16(v[i], 0.0, kXyzHigh);
}

}  // namespace tnt
