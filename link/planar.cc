#include <cstddef>

#include "link/kernels.h"

extern "C" TNT_API TntStatus TNT_CALL TntLinkMatchColorPlanes(ProfLink* link, int32_t count,
                                                              const uint8_t* const* sourcePlanes, int32_t sourceStep,
                                                              uint8_t* const* destinationPlanes,
                                                              int32_t destinationStep, LinkProgressProc progress) {
    using namespace tnt;
    if (!link) return TNT_ERR_NULL_ARGUMENT;
    const LinkTable* table = link->table;
    if (!table || table->precision != 1) return TNT_ERR_PLANAR_NOT_8BIT;
    if (count <= 0) return TNT_OK;
    if (!sourcePlanes || !destinationPlanes) return TNT_ERR_NULL_ARGUMENT;
    const int inputs = table->inputChannels;
    const int outputs = table->outputChannels;
    LinkKernel kernel = ChooseLinkKernel(table);
    // Planes are addressed by index, so the caller's arrays stay as they were.
    uint8_t pixel[kLinkMaxChannels];
    for (int32_t i = 0; i < count; ++i) {
        const ptrdiff_t from = static_cast<ptrdiff_t>(i) * sourceStep;
        const ptrdiff_t to = static_cast<ptrdiff_t>(i) * destinationStep;
        for (int c = 0; c < inputs; ++c) pixel[c] = sourcePlanes[c][from];
        // One pixel in place: the routine reads it fully before writing.
        TntStatus status = kernel(table, pixel, pixel, 1, inputs, inputs, nullptr);
        if (status != TNT_OK) return status;
        for (int j = 0; j < outputs; ++j) destinationPlanes[j][to] = pixel[j];
        if (progress && (i & 1023) == 0) progress(i, count);
    }
    return TNT_OK;
}
