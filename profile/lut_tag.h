// Lookup-table tags, read in one place for the table stages, the
// PostScript writer and the tool: 'mft1' and 'mft2' (ICC v2), and 'mAB '
// and 'mBA ' (lutAtoBType and lutBtoAType of ICC v4).
//
// The container converts 'mft1' and 'mft2' to host order when it loads
// them and leaves 'mAB ' and 'mBA ' as stored (big-endian); the reader
// knows which is which. Every count, offset and size is checked against
// the tag before anything is read or allocated, so nothing outside the tag
// is ever touched.
#pragma once

#include <cstdint>

#include "profile/tone_curve.h"
#include "tintwell.h"

namespace tnt {

struct TagReader;

// Tables of up to eight inputs and outputs are read, the channels of the
// working colour.
constexpr uint32_t kMaxLutChannels = 8;

// One of a table's sets of per-channel curves.
struct LutCurveSet {
    uint32_t count;   // curves in the set; 0 when the table has none there
    uint32_t offset;  // where the set starts in the tag
    bool active;      // some curve is not the identity
    ToneCurve curve[kMaxLutChannels];
};

struct LutTag {
    uint32_t type;  // 'mft1', 'mft2', 'mAB ' or 'mBA '
    uint32_t inputs, outputs;
    // 'mft1'/'mft2': e00..e22, run on the input before the input curves.
    // 'mAB '/'mBA ': e1..e9 row by row and the offsets e10..e12, run
    // between the M and B curves ('mAB ') or the B and M curves ('mBA ').
    double matrix[12];
    bool hasMatrix;  // always for 'mft1'/'mft2'
    uint32_t matrixOffset;
    // The grid, in place in the tag; null for an 'mAB '/'mBA ' without one.
    const uint8_t* grid;
    uint32_t gridOffset;  // of the grid values
    uint8_t gridPoints[kMaxLutChannels];
    uint32_t gridWidth;     // bytes per value: 1 or 2
    bool gridFileOrder;     // 16-bit values big-endian ('mAB ', 'mBA '), else host order
    uint64_t gridValues;    // outputs x the product of the grid points
    // Curves in the order a colour meets them. 'mft1'/'mft2': input and
    // output curves, no middle ones. 'mAB ': A, M, B. 'mBA ': B, M, A.
    LutCurveSet inputCurves, middleCurves, outputCurves;
    // 'mft1'/'mft2': entries per input and per output curve.
    uint32_t inputEntries, outputEntries;
};

// Whether the tag type is one of the ICC v4 table types.
inline bool IsV4LutType(uint32_t type) { return type == 0x6D414220u || type == 0x6D424120u; }

// Reads the table tag of `reader` into `table`. 5005 for another type, 0
// or more than eight channels, fewer than two grid points or curve
// entries, a missing or unknown element ('mAB '/'mBA ': no B curves, M
// curves without a matrix, a matrix where the channels are not three,
// differing channel counts without a grid, a precision other than 1 or 2,
// an element inside the header or over another element, a curve that is
// neither 'curv' nor 'para'); 5015 when anything reaches past the tag;
// 21002 when curve samples cannot be allocated. On failure `table` owns
// nothing.
TntStatus ReadLutTag(const TagReader& reader, LutTag* table);
void ReleaseLutTag(LutTag* table);

// Grid value `index` (0 to gridValues - 1) as stored, 0..255 or 0..65535.
uint32_t LutGridValue(const LutTag& table, uint64_t index);

}  // namespace tnt
