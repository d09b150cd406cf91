// The PostScript colour rendering dictionary (type 1) of an RGB or CMYK
// output profile. The text is never collected: each piece goes straight to
// the caller's write function, and the first failing write ends the work.
#pragma once

#include <cstdint>

#include "tintwell.h"

namespace tnt {

// `value` with `decimals` digits ("%.4f" is 4, "%.2f" is 2), then `suffix`
// in a call of its own (the empty string when null).
TntStatus WriteCrdNumber(double value, int decimals, CrdWriteProc write, uintptr_t user, const char* suffix);

// A procedure that maps [0, 1] linearly onto `count` 16-bit table values
// and leaves the interpolated value / 65535. `prefix` (may be null) is
// PostScript run on the operand first.
TntStatus WriteTableProc(const uint16_t* values, uint32_t count, const char* prefix, CrdWriteProc write,
                         uintptr_t user);

// What the dictionary needs of a PCS-to-device 'mft1' or 'mft2' table.
struct CrdTable {
    uint32_t tag;
    bool wide;              // 'mft2': 16-bit values
    uint32_t inputs;        // always 3 once accepted
    uint32_t outputs;
    uint32_t gridPoints;
    uint32_t inputEntries;  // per input curve
    uint32_t outputEntries;
    double matrix[9];       // row-major
    uint32_t gridOffset;    // from the start of the tag
    uint32_t outputOffset;
};

// Reads and checks the table facts of `tag`. 5005 absent, unloadable, not
// 'mft1'/'mft2', or unusable as a three-input table (fewer than two grid
// points or curve entries, no outputs); 5015 the tag is shorter than its
// counts make it, so nothing past its end is ever read.
TntStatus ReadCrdTable(Profile* profile, uint32_t tag, CrdTable* table);
// EncodeLMN / MatrixABC / EncodeABC / RenderTable from a checked table.
TntStatus WriteTableBody(Profile* profile, const CrdTable& table, CrdWriteProc write, uintptr_t user);

// The XYZ number of an 'XYZ ' tag, times 100. 20003 null argument; 5005
// absent or unloadable; 5015 shorter than 20 bytes.
TntStatus ReadXYZTag(Profile* profile, uint32_t signature, double xyz[3]);
// Where in [0, 1] a rising sampled curve of `count` values reaches `y`.
double InvertCurveAt(const double* table, uint32_t count, double y);
// MatrixABC and EncodeABC from the colorant and tone curve tags.
TntStatus WriteMatrixBody(Profile* profile, CrdWriteProc write, uintptr_t user);

}  // namespace tnt
