#include "link/lookups.h"

#include "platform/memory.h"

namespace tnt {

TntStatus PrepareLinkTable(LinkTable* table) {
    if (!table) return TNT_ERR_NULL_ARGUMENT;
    ReleaseLinkLookups(table);
    return TNT_OK;
}

int FastLinkKernels(const LinkTable* table, LinkKernel* kernels, int capacity) {
    if (!table->lookups || capacity < 1 || !table->lookups->kernel) return 0;
    kernels[0] = table->lookups->kernel;
    return 1;
}

void ReleaseLinkLookups(LinkTable* table) {
    if (!table || !table->lookups) return;
    FreeBlock(table->lookups);
    table->lookups = nullptr;
}

}  // namespace tnt
