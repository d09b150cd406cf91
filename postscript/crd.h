// The PostScript colour rendering dictionary (type 1) of an RGB or CMYK
// output profile. The text is never collected: each piece goes straight to
// the caller's write function, and the first failing write ends the work.
#pragma once

#include <cstdint>

#include "profile/lut_tag.h"
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

// The PCS-to-device table the dictionary is made from: 'mft1', 'mft2' or
// 'mBA ', three inputs.
struct CrdTable {
    uint32_t tag;
    LutTag lut;  // owned: ReleaseCrdTable
};

// Reads and checks table `tag` (ReadLutTag). 5005 absent, unloadable, not
// one of the three types, or not three inputs; 5015 the tag is shorter
// than its counts make it, so nothing past its end is ever read; 21002
// no memory for its curves.
TntStatus ReadCrdTable(Profile* profile, uint32_t tag, CrdTable* table);
void ReleaseCrdTable(CrdTable* table);
// EncodeLMN / MatrixABC / EncodeABC / RenderTable from a checked table.
// An 'mft1'/'mft2' is written as it is stored; an 'mBA ', whose matrix, M
// curves and functions the dictionary has no place for, is sampled
// through the table stage into the same form.
TntStatus WriteTableBody(Profile* profile, const CrdTable& table, CrdWriteProc write, uintptr_t user);

// The XYZ number of an 'XYZ ' tag, times 100. 20003 null argument; 5005
// absent or unloadable; 5015 shorter than 20 bytes.
TntStatus ReadXYZTag(Profile* profile, uint32_t signature, double xyz[3]);
// Where in [0, 1] a rising sampled curve of `count` values reaches `y`.
double InvertCurveAt(const double* table, uint32_t count, double y);
// MatrixABC and EncodeABC from the colorant and tone curve tags.
TntStatus WriteMatrixBody(Profile* profile, CrdWriteProc write, uintptr_t user);

}  // namespace tnt
