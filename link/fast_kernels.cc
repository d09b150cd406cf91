// The baseline (SSE2) instances of the fast routines.
#include "link/fast_kernels.h"

namespace tnt {

LinkKernel PortableFastKernel(const LinkTable* table, bool outputSteps, bool identityInput) {
    return fast::ForTable(table, outputSteps, identityInput);
}

}  // namespace tnt
