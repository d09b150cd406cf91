// The baseline (SSE2) instances of the fast routines.
#include "link/fast_kernels.h"

namespace tnt {

namespace {

template <typename Sample, int kIn, int kOut>
LinkKernel ForFlags(bool inputCurves, bool outputCurves, bool outputSteps) {
    using namespace fast;
    if constexpr (sizeof(Sample) == 1 && kOut <= 4) {
        if (outputCurves && outputSteps) return &FastRun<Sample, kIn, kOut, false, true, true>;
    }

    if constexpr (sizeof(Sample) == 1) {
        // 8-bit input curves live in the input entries.
        return outputCurves ? &FastRun<Sample, kIn, kOut, false, true> : &FastRun<Sample, kIn, kOut, false, false>;
    } else {
        if (inputCurves)
            return outputCurves ? &FastRun<Sample, kIn, kOut, true, true> : &FastRun<Sample, kIn, kOut, true, false>;
        return outputCurves ? &FastRun<Sample, kIn, kOut, false, true> : &FastRun<Sample, kIn, kOut, false, false>;
    }
}

template <typename Sample>
LinkKernel ForKey(int32_t key, bool inputCurves, bool outputCurves, bool outputSteps) {
    switch (key) {
        case 3 * 256 + 3: return ForFlags<Sample, 3, 3>(inputCurves, outputCurves, outputSteps);
        case 3 * 256 + 4: return ForFlags<Sample, 3, 4>(inputCurves, outputCurves, outputSteps);
        case 4 * 256 + 3: return ForFlags<Sample, 4, 3>(inputCurves, outputCurves, outputSteps);
        case 4 * 256 + 4: return ForFlags<Sample, 4, 4>(inputCurves, outputCurves, outputSteps);
        case 4 * 256 + 6: return ForFlags<Sample, 4, 6>(inputCurves, outputCurves, outputSteps);
        default: return nullptr;
    }
}

}  // namespace

LinkKernel PortableFastKernel(const LinkTable* table, bool outputSteps, bool identityInput) {
    int32_t key = table->inputChannels * 256 + table->outputChannels;
    bool inputCurves = table->hasInputCurves != 0 && !identityInput, outputCurves = table->hasOutputCurves != 0;
    if (table->precision == 1) return ForKey<uint8_t>(key, inputCurves, outputCurves, outputSteps);
    return ForKey<uint16_t>(key, inputCurves, outputCurves, false);
}

}  // namespace tnt
