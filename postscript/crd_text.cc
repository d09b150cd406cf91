// The small pieces of dictionary text: numbers and table procedures.
#include "postscript/crd.h"
#include "postscript/number_format.h"

namespace tnt {

TntStatus WriteCrdNumber(double value, int decimals, CrdWriteProc write, uintptr_t user, const char* suffix) {
    const NumberText number = FormatFixed(value, decimals);
    if (TntStatus st = write(user, number.text)) return st;
    return write(user, suffix ? suffix : "");
}

TntStatus WriteTableProc(const uint16_t* values, uint32_t count, const char* prefix, CrdWriteProc write,
                         uintptr_t user) {
    if (TntStatus st = write(user, "2 dict begin /table\n")) return st;
    if (TntStatus st = write(user, "[")) return st;
    for (uint32_t i = 0; i < count; ++i) {
        if (TntStatus st = write(user, FormatInteger(values[i]).text)) return st;
        const char* separator = i + 1 == count ? "] " : ((i + 1) % 16 == 0 ? "\n" : " ");
        if (TntStatus st = write(user, separator)) return st;
    }
    if (TntStatus st = write(user, "def\n")) return st;
    if (TntStatus st = write(user, "/count table length 1 sub def\n")) return st;
    if (TntStatus st = write(user, "{")) return st;
    if (prefix) {
        if (TntStatus st = write(user, prefix)) return st;
    }
    // The clipping branch pushes the operator 'count' (not //count): an
    // input above 1 leaves the stack depth behind. Kept as hosts know it.
    if (TntStatus st = write(user,
                             " //count mul dup 0 lt {pop 0} if dup //count gt {pop count} if dup cvi\tdup //count "
                             "ge {pop //count 1 sub} if 2 copy sub exch dup //table exch get exch 1 add //table "
                             "exch get 2 index mul 3 1 roll exch 1 exch sub mul add exch pop 65535 div} bind ")) {
        return st;
    }
    return write(user, "end\n");
}

}  // namespace tnt
