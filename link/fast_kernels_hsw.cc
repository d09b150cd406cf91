// The fast routines compiled for Haswell-class CPUs (AVX2 and BMI2): the
// same template and the same samples as the baseline instances, 10 to 15 %
// faster from three-operand vector forms and shifts that need no count
// register. The build compiles this file alone with those instruction sets
// (CMakeLists.txt), so nothing here may run before the CPU check in
// PrepareLinkTable, and everything lives in its own namespace.
#define TNT_FAST_NAMESPACE fast_hsw
#include "link/fast_kernels.h"

namespace tnt {

LinkKernel HswFastKernel(const LinkTable* table, RoutineForm form) {
    return fast_hsw::ForTable(table, form);
}

}  // namespace tnt
