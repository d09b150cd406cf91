// The baseline (SSE2) instances of the fast routines.
#include "link/fast_kernels.h"

namespace tnt {

LinkKernel PortableFastKernel(const LinkTable* table, RoutineForm form) {
    return fast::ForTable(table, form);
}

}  // namespace tnt
