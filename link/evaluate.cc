#include "link/kernels.h"
#include "link/lookups.h"

namespace tnt {

namespace {

struct KernelEntry {
    int32_t key;
    LinkKernel eight;
    LinkKernel sixteen;
};

template <int kIn, int kOut>
constexpr KernelEntry Entry() {
    return {kIn * 256 + kOut, &InterpolateRun<uint8_t, kIn, kOut>, &InterpolateRun<uint16_t, kIn, kOut>};
}

constexpr KernelEntry kUnrolled[] = {Entry<3, 3>(), Entry<3, 4>(), Entry<4, 3>(), Entry<4, 4>(), Entry<4, 6>()};

}  // namespace

LinkKernel GenericLinkKernel(uint32_t precision) {
    return precision == 1 ? &InterpolateRun<uint8_t, 0, 0> : &InterpolateRun<uint16_t, 0, 0>;
}

LinkKernel PlainLinkKernel(uint32_t precision, int32_t key) {
    for (const KernelEntry& entry : kUnrolled)
        if (entry.key == key) return precision == 1 ? entry.eight : entry.sixteen;
    return GenericLinkKernel(precision);
}

LinkKernel ChooseLinkKernel(const LinkTable* table) {
    if (table->lookups && table->lookups->kernel) return table->lookups->kernel;
    return PlainLinkKernel(table->precision, table->inputChannels * 256 + table->outputChannels);
}

int LinkKernelVariants(const LinkTable* table, LinkKernel* kernels, int capacity) {
    int count = 0;
    if (count < capacity)
        kernels[count++] = PlainLinkKernel(table->precision, table->inputChannels * 256 + table->outputChannels);
    count += FastLinkKernels(table, kernels + count, capacity - count);
    return count;
}

}  // namespace tnt

extern "C" TNT_API TntStatus TNT_CALL TntLinkMatchColors(ProfLink* link, int32_t count, const void* source,
                                                         void* destination, int16_t sourceExtra,
                                                         int16_t destinationExtra, uint32_t /*reserved*/,
                                                         LinkProgressProc progress) {
    if (!link || !link->table) return TNT_ERR_NULL_ARGUMENT;
    const tnt::LinkTable* table = link->table;
    if (count <= 0) return TNT_OK;
    return tnt::ChooseLinkKernel(table)(table, source, destination, count, table->inputChannels + sourceExtra,
                                        table->outputChannels + destinationExtra, progress);
}
