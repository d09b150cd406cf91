#include "link/lookups.h"

#include <cstring>

#include "platform/memory.h"

namespace tnt {

namespace {

bool baselineOnly = false;
// Forces the AVX2 block routines wherever they exist (tests).
bool gatherKernels = false;

// The fast routines need: a common channel pair; weights that fit a signed
// 16-bit lane (a whole cell at most 16384, so at least 5 grid points); steps
// that fit the low half of a key; every buffer the flags ask for.
bool Covered(const LinkTable* table) {
    if (!table->grid || !PortableFastKernel(table)) return false;
    if (table->gridPoints < 2 || table->gridPoints > kLinkMaxGridPoints) return false;
    if (table->indexShift > 14) return false;
    uint64_t firstStep = 1;
    for (int32_t c = 1; c < table->inputChannels; ++c) firstStep *= table->gridPoints;
    if (firstStep >= 65536) return false;
    if (table->hasInputCurves && !table->inputCurves) return false;
    if (table->hasOutputCurves && !table->outputCurves) return false;
    return true;
}

// The first of v[from], ..., v[size - 1] that is not `value`, or size;
// eight bytes at a time where they line up, since most blocks of an output
// curve hold one or two values.
uint32_t FirstDiffering(const uint8_t* v, uint32_t from, uint32_t size, uint8_t value) {
    const uint64_t pattern = 0x0101010101010101ull * value;
    uint32_t i = from;
    for (; i < size && (i & 7) != 0; ++i)
        if (v[i] != value) return i;
    for (; i + 8 <= size; i += 8) {
        uint64_t word;
        std::memcpy(&word, v + i, sizeof word);
        if (word != pattern) break;
    }
    for (; i < size; ++i)
        if (v[i] != value) return i;
    return size;
}

// Coarsest first: the smallest encoding that holds every curve wins.
constexpr uint32_t kStepShifts[] = {8, 7, 6, 5, 4};

}  // namespace

bool IdentityInputCurves(const LinkTable* table) {
    if (!table->hasInputCurves || !table->inputCurves) return false;
    const uint32_t length = table->precision == 1 ? 256 : 65536, scale = table->precision == 1 ? 257 : 1;
    // Four entries at a time: each 16-bit lane of the expected word rises
    // by 4 x scale from one word to the next and never carries into the
    // next lane, whatever order the lanes lie in.
    const uint16_t first[4] = {0, uint16_t(scale), uint16_t(2 * scale), uint16_t(3 * scale)};
    uint64_t start;
    std::memcpy(&start, first, sizeof start);
    const uint64_t rise = 0x0001000100010001ull * (4 * scale);
    for (int32_t c = 0; c < table->inputChannels; ++c) {
        const uint16_t* curve = table->inputCurves + size_t(c) * length;
        uint64_t expected = start;
        for (uint32_t v = 0; v < length; v += 4, expected += rise) {
            uint64_t word;
            std::memcpy(&word, curve + v, sizeof word);
            if (word != expected) return false;
        }
    }
    return true;
}

uint32_t* EncodeOutputSteps(const LinkTable* table, uint32_t shift) {
    if (table->precision != 1 || !table->hasOutputCurves || !table->outputCurves || shift > 8) return nullptr;
    const int32_t outputs = table->outputChannels;
    const uint32_t size = 1u << shift, blocks = 65536u >> shift;
    auto* steps = static_cast<uint32_t*>(AllocBlock(size_t(outputs) * blocks * sizeof(uint32_t)));
    if (!steps) return nullptr;
    const auto* curves = static_cast<const uint8_t*>(table->outputCurves);
    for (int32_t c = 0; c < outputs; ++c)
        for (uint32_t b = 0; b < blocks; ++b) {
            const uint8_t* v = curves + size_t(c) * 65536 + b * size;
            const uint32_t i = FirstDiffering(v, 1, size, v[0]);
            // No change: a switch at 0 adds nothing.
            uint32_t entry = uint32_t{v[0]} << 16;
            if (i < size) {
                if (FirstDiffering(v, i + 1, size, v[i]) < size) {
                    FreeBlock(steps);
                    return nullptr;
                }
                entry |= (b * size + i) | uint32_t(uint8_t(v[i] - v[0])) << 24;
            }
            steps[size_t(c) * blocks + b] = entry;
        }
    return steps;
}

TntStatus PrepareLinkTable(LinkTable* table) {
    if (!table) return TNT_ERR_NULL_ARGUMENT;
    ReleaseLinkLookups(table);
    if (!Covered(table)) return TNT_OK;
    const int32_t inputs = table->inputChannels, outputs = table->outputChannels;
    const uint32_t n = table->gridPoints;
    const uint32_t width = outputs <= 4 ? 4 : 8;
    size_t nodes = 1;
    for (int32_t c = 0; c < inputs; ++c) nodes *= n;

    auto* lookups = static_cast<LinkLookups*>(AllocBlock(sizeof(LinkLookups)));
    if (!lookups) return TNT_ERR_NO_MEMORY;
    lookups->grid = static_cast<int16_t*>(AllocBlock(nodes * width * sizeof(int16_t)));
    if (!lookups->grid) {
        FreeBlock(lookups);
        return TNT_ERR_NO_MEMORY;
    }
    lookups->outputSteps = nullptr;
    lookups->outputShift = 0;
    // Only the baseline routine for three or four 8-bit outputs reads them.
    if (table->precision == 1 && table->hasOutputCurves && outputs <= 4)
        for (uint32_t shift : kStepShifts)
            if ((lookups->outputSteps = EncodeOutputSteps(table, shift))) {
                lookups->outputShift = shift;
                break;
            }
    lookups->width = width;
    lookups->cell = uint32_t{table->fractionMask} + 1;
    lookups->stepSum = 0;
    for (int32_t c = 0; c < 4; ++c) {
        uint32_t step = 0;
        if (c < inputs) {
            step = 1;
            for (int32_t e = c + 1; e < inputs; ++e) step *= n;
        }
        lookups->steps[c] = step;
        lookups->stepSum += step;
        for (uint32_t i = 0; i < kLinkMaxGridPoints; ++i) lookups->nodes[c][i] = i < n ? i * step : 0;
    }
    for (int32_t c = 0; c < 4; ++c)
        for (uint32_t sample = 0; sample < 256; ++sample) {
            LinkInputEntry& entry = lookups->input[c * 256 + sample];
            if (c >= inputs || table->precision != 1) {
                entry = {0, 0};
                continue;
            }
            uint32_t v = table->hasInputCurves ? table->inputCurves[c * 256 + sample] : sample << 8;
            uint32_t fraction = v == 65535 ? lookups->cell : (v & table->fractionMask);
            entry.node = lookups->nodes[c][v >> table->indexShift];
            entry.key = fraction << 16 | lookups->steps[c];
        }
    for (size_t k = 0; k < nodes; ++k)
        for (uint32_t j = 0; j < width; ++j) {
            uint16_t value = j < static_cast<uint32_t>(outputs) ? table->grid[k * outputs + j] : 32768;
            lookups->grid[k * width + j] = static_cast<int16_t>(value ^ 0x8000);
        }
    // Links from matrix sources often carry 16-bit input curves that change
    // nothing; skipping them spares noise images 128 KB of cache misses per
    // channel.
    const bool steps = lookups->outputSteps != nullptr, identity = IdentityInputCurves(table);
    lookups->portable = PortableFastKernel(table, steps, identity);
    lookups->perPixel = lookups->portable;
    if (!baselineOnly && HasHswInstructions()) lookups->perPixel = HswFastKernel(table, steps, identity);
    // The AVX2 block routines win where they need no gathers from large
    // tables: 8-bit links whose input is arithmetic (no curves, or identity
    // ones) and whose output curves are step-encoded (or absent). Elsewhere
    // the per-pixel routine is as fast or faster on the CPUs measured.
    const bool blocksPay = table->precision == 1 && (!table->hasInputCurves || identity) &&
                           (!table->hasOutputCurves || steps);
    LinkKernel best = nullptr;
    if (!baselineOnly && (gatherKernels || blocksPay)) best = Avx2FastKernel(table, steps, identity);
    lookups->kernel = best ? best : lookups->perPixel;
    table->lookups = lookups;
    return TNT_OK;
}

int FastLinkKernels(const LinkTable* table, LinkKernel* kernels, int capacity) {
    int count = 0;
    if (!table->lookups) return 0;
    if (count < capacity && table->lookups->kernel != table->lookups->portable) kernels[count++] = table->lookups->kernel;
    if (count < capacity) kernels[count++] = table->lookups->portable;
    return count;
}

void UseBaselineLinkKernelsOnly(bool only) { baselineOnly = only; }

void UseGatherLinkKernels(bool gathers) { gatherKernels = gathers; }

bool HasHswInstructions() { return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2"); }

void ReleaseLinkLookups(LinkTable* table) {
    if (!table || !table->lookups) return;
    FreeBlock(table->lookups->grid);
    FreeBlock(table->lookups->outputSteps);
    FreeBlock(table->lookups);
    table->lookups = nullptr;
}

}  // namespace tnt
