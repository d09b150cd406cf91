// Lookups derived from a sampled link table for the fast routines. They
// hold nothing new: every entry is computed from the table, and the fast
// routines give exactly the plain routines' samples.
#pragma once

#include <cstdint>

#include "link/kernels.h"
#include "link/table.h"

namespace tnt {

struct LinkLookups {
    LinkKernel kernel;  // the routine chosen for this table and this CPU
};

// The fast variants usable for a prepared table on this CPU, best first.
int FastLinkKernels(const LinkTable* table, LinkKernel* kernels, int capacity);

}  // namespace tnt
