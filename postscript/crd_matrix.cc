// The matrix form of the dictionary, for a profile without a PCS-to-device
// table: the inverse colorant matrix as MatrixABC and the inverted tone
// curves as EncodeABC.
#include <cstring>

#include "colour/numeric.h"
#include "platform/memory.h"
#include "postscript/crd.h"
#include "profile/byteorder.h"
#include "profile/elements.h"

namespace tnt {

namespace {

constexpr uint32_t kCurve = TNT_SIG('c', 'u', 'r', 'v');

// The inverse of one sampled curve, sampled at as many points as it has.
TntStatus WriteSampledInverse(Profile* profile, uint32_t tag, uint32_t entries, CrdWriteProc write,
                              uintptr_t user) {
    auto* samples = static_cast<double*>(AllocBlock(sizeof(double) * entries));
    auto* inverse = static_cast<uint16_t*>(AllocBlock(sizeof(uint16_t) * entries));
    TntStatus st = samples && inverse ? TNT_OK : TNT_ERR_NO_MEMORY;
    if (!st) {
        // Fetched through the inverse buffer, which has room for the raw values.
        uint32_t bytes = 2 * entries;
        st = TntGetPartialProfileElement(profile, tag, 12, &bytes, inverse);
    }
    if (!st) {
        for (uint32_t j = 0; j < entries; ++j) samples[j] = inverse[j];
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

TntStatus WriteInverseCurve(Profile* profile, uint32_t tag, CrdWriteProc write, uintptr_t user) {
    uint32_t head[3];
    uint32_t count = 12;
    if (TntStatus st = TntGetPartialProfileElement(profile, tag, 0, &count, head)) return st;
    if (head[0] != kCurve) return TNT_ERR_TAG_NOT_FOUND;
    const uint32_t entries = head[2];
    if (entries == 0) return write(user, "{}\n");
    // Checked before anything is allocated for the samples.
    if (12 + 2 * uint64_t{entries} > TntGetProfileElementSize(profile, tag)) return TNT_ERR_TAG_RANGE;
    if (entries == 1) {
        uint16_t gamma;
        count = 2;
        if (TntStatus st = TntGetPartialProfileElement(profile, tag, 12, &count, &gamma)) return st;
        // A gamma of 0 has no inverse to write.
        if (gamma == 0) return TNT_ERR_TAG_NOT_FOUND;
        if (TntStatus st = write(user, "{dup 0 lt {pop 0} if dup 1 gt {pop 1} if ")) return st;
        return WriteCrdNumber(1.0 / U8Fixed8ToDouble(gamma), 4, write, user, " exp}\n");
    }
    return WriteSampledInverse(profile, tag, entries, write, user);
}

}  // namespace

TntStatus ReadXYZTag(Profile* profile, uint32_t signature, double xyz[3]) {
    if (!profile || !xyz) return TNT_ERR_NULL_PARAMETER;
    uint32_t fixed[3];
    uint32_t count = sizeof fixed;
    if (TntStatus st = TntGetPartialProfileElement(profile, signature, 8, &count, fixed)) return st;
    for (int i = 0; i < 3; ++i) xyz[i] = S15Fixed16ToDouble(fixed[i]) * 100.0;
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
