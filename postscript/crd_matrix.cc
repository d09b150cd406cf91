// The matrix form of the dictionary, for a profile without a PCS-to-device
// table: the inverse colorant matrix as MatrixABC and the inverted tone
// curves as EncodeABC.
#include <cstring>

#include "colour/numeric.h"
#include "platform/memory.h"
#include "postscript/crd.h"
#include "profile/byteorder.h"
#include "profile/elements.h"
#include "profile/tag_reader.h"
#include "profile/tone_curve.h"
#include "profile/signatures.h"

namespace tnt {

namespace {

// Points at which a 'para' curve's inverse is sampled.
constexpr uint32_t kParametricInverseEntries = 1024;

// The inverse of one sampled curve (`entries` u16 values at `raw`), sampled
// at as many points as it has.
TntStatus WriteSampledInverse(const uint8_t* raw, uint32_t entries, CrdWriteProc write, uintptr_t user) {
    auto* samples = static_cast<double*>(AllocBlock(sizeof(double) * entries));
    auto* inverse = static_cast<uint16_t*>(AllocBlock(sizeof(uint16_t) * entries));
    TntStatus st = samples && inverse ? TNT_OK : TNT_ERR_NO_MEMORY;
    if (!st) {
        for (uint32_t j = 0; j < entries; ++j) {
            uint16_t value;
            std::memcpy(&value, raw + 2 * j, 2);
            samples[j] = value;
        }
        for (uint32_t j = 0; j < entries; ++j) {
            const double y = static_cast<double>(j) / (entries - 1) * 65535.0;
            // A curve that falls somewhere can invert outside [0, 1].
            double x = InvertCurveAt(samples, entries, y) * 65535.0;
            x = x < 0.0 ? 0.0 : (x > 65535.0 ? 65535.0 : x);
            inverse[j] = static_cast<uint16_t>(x);
        }
        st = WriteTableProc(inverse, entries, nullptr, write, user);
    }
    FreeBlock(inverse);
    FreeBlock(samples);
    return st;
}

TntStatus WriteGammaInverse(double gamma, CrdWriteProc write, uintptr_t user) {
    if (TntStatus st = write(user, "{dup 0 lt {pop 0} if dup 1 gt {pop 1} if ")) return st;
    return WriteCrdNumber(1.0 / gamma, 4, write, user, " exp}\n");
}

// A 'para' curve's inverse: a gamma's as a power, any other form sampled
// at kParametricInverseEntries points.
TntStatus WriteParametricInverse(Profile* profile, uint32_t tag, CrdWriteProc write, uintptr_t user) {
    ToneCurve curve;
    if (TntStatus st = ReadToneCurveTag(profile, tag, &curve)) return st;
    TntStatus st = TNT_OK;
    if (curve.kind == kCurveGamma) {
        st = WriteGammaInverse(curve.param[0], write, user);
    } else {
        uint16_t inverse[kParametricInverseEntries];
        for (uint32_t j = 0; j < kParametricInverseEntries; ++j) {
            const double x = InvertToneCurve(curve, double(j) / (kParametricInverseEntries - 1));
            inverse[j] = static_cast<uint16_t>(x * 65535.0 + 0.5);
        }
        st = WriteTableProc(inverse, kParametricInverseEntries, nullptr, write, user);
    }
    ReleaseToneCurve(&curve);
    return st;
}

TntStatus WriteInverseCurve(Profile* profile, uint32_t tag, CrdWriteProc write, uintptr_t user) {
    TagReader reader;
    uint32_t type = 0;
    if (TntStatus st = OpenTagReader(profile, tag, &reader)) return st;
    // Whatever its type, a tag too short for the curve header is out of range.
    if (!TagHolds(reader, 0, 12)) return TNT_ERR_TAG_RANGE;
    TagU32(reader, 0, &type);
    if (type == kParametric) return WriteParametricInverse(profile, tag, write, user);
    if (type != kCurve) return TNT_ERR_TAG_NOT_FOUND;
    // The reader checks the entries against the tag before anything is
    // allocated for the samples.
    uint32_t entries = 0;
    const uint8_t* raw = nullptr;
    if (TntStatus st = TagCurveEntries(reader, &entries, &raw)) return st;
    if (entries == 0) return write(user, "{}\n");
    if (entries == 1) {
        uint16_t gamma;
        std::memcpy(&gamma, raw, 2);
        // A gamma of 0 has no inverse to write.
        if (gamma == 0) return TNT_ERR_TAG_NOT_FOUND;
        return WriteGammaInverse(U8Fixed8ToDouble(gamma), write, user);
    }
    return WriteSampledInverse(raw, entries, write, user);
}

}  // namespace

TntStatus ReadXYZTag(Profile* profile, uint32_t signature, double xyz[3]) {
    if (!profile || !xyz) return TNT_ERR_NULL_PARAMETER;
    TagReader reader;
    if (TntStatus st = OpenTagReader(profile, signature, &reader)) return st;
    if (TntStatus st = TagXYZNumber(reader, xyz)) return st;
    for (int i = 0; i < 3; ++i) xyz[i] *= 100.0;
    return TNT_OK;
}

double InvertCurveAt(const double* table, uint32_t count, double y) {
    if (y <= table[0]) return 0.0;
    if (y >= table[count - 1]) return 1.0;
    uint32_t j = FindInterval(static_cast<int>(count), table, y);
    if (j > count - 2) j = count - 2;
    return MapLinear(table[j], j, table[j + 1], j + 1, y) / (count - 1);
}

TntStatus WriteMatrixBody(Profile* profile, CrdWriteProc write, uintptr_t user) {
    static const uint32_t kColorants[3] = {TNT_SIG('r', 'X', 'Y', 'Z'), TNT_SIG('g', 'X', 'Y', 'Z'),
                                           TNT_SIG('b', 'X', 'Y', 'Z')};
    static const uint32_t kCurves[3] = {TNT_SIG('r', 'T', 'R', 'C'), TNT_SIG('g', 'T', 'R', 'C'),
                                        TNT_SIG('b', 'T', 'R', 'C')};
    double matrix[9];
    for (int r = 0; r < 3; ++r) {
        double row[3];
        if (TntStatus st = ReadXYZTag(profile, kColorants[r], row)) return st;
        CopyVector(3, row, matrix + 3 * r);
    }
    if (TntStatus st = InvertMatrix3x3(matrix, matrix)) return st;
    if (TntStatus st = write(user, "/MatrixABC [")) return st;
    for (int i = 0; i < 9; ++i) {
        if (TntStatus st = WriteCrdNumber(matrix[i] * 100.0, 4, write, user, i < 8 ? " " : "]\n")) return st;
    }
    if (TntStatus st = write(user, "/EncodeABC [")) return st;
    for (uint32_t tag : kCurves) {
        if (TntStatus st = WriteInverseCurve(profile, tag, write, user)) return st;
    }
    return write(user, "]\n");
}

}  // namespace tnt
