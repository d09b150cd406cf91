// Numbers in PostScript text. The C library's formatted output follows the
// process locale (a host may have set a comma as decimal separator) and its
// rounding differs between runtimes, so the dictionary text is formatted
// here: the same bytes on every host and in every locale.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tnt {

// Room for the longest result: a sign, the 309 integer digits of the
// largest double, a point, up to 9 decimals and the NUL.
struct NumberText {
    char text[324];
    size_t length;
};

// `value` with `decimals` (0 to 9) digits after a '.', as "%.Nf" writes it
// in the C locale with glibc: the exact binary value rounded to nearest,
// ties to even; a '-' whenever the sign bit is set, so -0.0 and values
// that round to zero from below come out as "-0.0000"; "inf" and "nan"
// (with their sign) for those values.
NumberText FormatFixed(double value, int decimals);
// "%d".
NumberText FormatInteger(int64_t value);
// "%02x": at least two lower-case hex digits.
NumberText FormatHex2(uint32_t value);

}  // namespace tnt
