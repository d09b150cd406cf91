#include "link/lookups.h"

#include <climits>
#include <cstring>

#include "platform/memory.h"

namespace tnt {

namespace {

KernelFamily family = KernelFamily::kDefault;

// The fast routines need: a common channel pair; weights that fit a signed
// 16-bit lane (a whole cell at most 16384, so at least 5 grid points); steps
// that fit the low half of a key; every buffer the flags ask for.
bool Covered(const LinkTable* table) {
    if (!table->grid || !PortableFastKernel(table, {false, OutputForm::kCurves})) return false;
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

template <typename Entry>
uint32_t AffineValue(uint32_t v, uint32_t scale, uint32_t offset) {
    return (v * scale + offset) >> AffineShift(sizeof(Entry));
}

// Whether a curve could be affine at all, in one pass: the differences
// between neighbouring entries take at most two adjacent values, and so do
// the lengths of the runs of equal entries between the first and the last
// run. Curves sampled from profiles fail at once.
template <typename Entry>
bool NearlyAffine(const Entry* curve) {
    int32_t lowStep = 1 << 30, highStep = -(1 << 30);
    uint32_t lowRun = 1u << 30, highRun = 0, runStart = 0;
    bool firstRun = true;
    for (uint32_t v = 1; v < 65536; ++v) {
        const int32_t step = int32_t(curve[v]) - int32_t(curve[v - 1]);
        lowStep = step < lowStep ? step : lowStep;
        highStep = step > highStep ? step : highStep;
        if (step == 0) continue;
        if (!firstRun) {
            const uint32_t run = v - runStart;
            lowRun = run < lowRun ? run : lowRun;
            highRun = run > highRun ? run : highRun;
        }
        firstRun = false;
        runStart = v;
        if (highStep - lowStep > 1 || (highRun > lowRun + 1 && lowRun < (1u << 30))) return false;
    }
    return true;
}

// The extremes of the offset bounds for one scale: every entry asks
// (entry << shift) - scale x v <= offset <= ((entry + 1) << shift) - 1 -
// scale x v. `low` is the largest lower bound, reached at v from lowFirst to
// lowLast; `high` the smallest upper bound, reached from highFirst to
// highLast.
struct OffsetBounds {
    int64_t low, high;
    uint32_t lowFirst, lowLast, highFirst, highLast;
};

template <typename Entry>
OffsetBounds BoundsFor(const Entry* curve, int64_t scale) {
    const uint32_t shift = AffineShift(sizeof(Entry));
    OffsetBounds b = {INT64_MIN, INT64_MAX, 0, 0, 0, 0};
    for (uint32_t v = 0; v < 65536; ++v) {
        const int64_t at = (int64_t(curve[v]) << shift) - scale * v;
        const int64_t top = at + (int64_t{1} << shift) - 1;
        if (at > b.low) b.low = at, b.lowFirst = v;
        if (at == b.low) b.lowLast = v;
        if (top < b.high) b.high = top, b.highFirst = v;
        if (top == b.high) b.highLast = v;
    }
    return b;
}

// The affine form of a curve, exactly. The gap low - high is a convex
// function of the scale whose slope lies between highFirst - lowLast and
// highLast - lowFirst, so a bisection on the scale finds where it is <= 0,
// or learns that its minimum lies above 0.
template <typename Entry>
bool FindAffine(const Entry* curve, uint32_t* scale, uint32_t* offset) {
    if (!NearlyAffine(curve)) return false;
    const int64_t limit = int64_t{1} << 17;  // above any slope a curve can have
    int64_t low = -limit, high = limit;
    while (low <= high) {
        const int64_t middle = low + (high - low) / 2;
        const OffsetBounds b = BoundsFor(curve, middle);
        if (b.low <= b.high) {
            *scale = static_cast<uint32_t>(middle);
            *offset = static_cast<uint32_t>(b.low);
            // Checked once more in the routines' own 32-bit arithmetic.
            for (uint32_t v = 0; v < 65536; ++v)
                if (AffineValue<Entry>(v, *scale, *offset) != curve[v]) return false;
            return true;
        }
        if (int64_t(b.highFirst) > int64_t(b.lowLast)) {
            high = middle - 1;  // the gap grows with the scale
        } else if (int64_t(b.highLast) < int64_t(b.lowFirst)) {
            low = middle + 1;
        } else {
            return false;  // the smallest gap is here, and it is positive
        }
    }
    return false;
}

// Whether a curve is the plain one (v >> 8 for 8-bit entries, v for
// 16-bit ones), eight bytes at a time.
template <typename Entry>
bool PlainCurve(const Entry* curve) {
    constexpr uint32_t kPer = 8 / sizeof(Entry);
    for (uint32_t v = 0; v < 65536; v += kPer) {
        Entry expected[kPer];
        for (uint32_t k = 0; k < kPer; ++k) expected[k] = static_cast<Entry>(sizeof(Entry) == 1 ? (v + k) >> 8 : v + k);
        if (std::memcmp(curve + v, expected, sizeof expected) != 0) return false;
    }
    return true;
}

template <typename Entry>
bool AffineOf(const Entry* curve, uint32_t* scale, uint32_t* offset) {
    if (PlainCurve(curve)) {
        *scale = 65536;
        *offset = 0;
        return true;
    }
    return FindAffine(curve, scale, offset);
}

}  // namespace

bool AffineCurve(const void* curve, uint32_t precision, uint32_t* scale, uint32_t* offset) {
    if (precision == 1) return AffineOf(static_cast<const uint8_t*>(curve), scale, offset);
    return AffineOf(static_cast<const uint16_t*>(curve), scale, offset);
}

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
    // Output curves: arithmetic where every channel allows it, else the step
    // encoding (three or four 8-bit outputs), else the full curves.
    OutputForm output = OutputForm::kPlain;
    for (uint32_t j = 0; j < 8; ++j) lookups->outputScale[j] = lookups->outputOffset[j] = 0;
    if (table->hasOutputCurves) {
        bool plain = true;
        for (int32_t j = 0; j < outputs && output == OutputForm::kPlain; ++j) {
            const void* curve = static_cast<const uint8_t*>(table->outputCurves) + size_t(j) * 65536 * table->precision;
            uint32_t& scale = lookups->outputScale[j];
            uint32_t& offset = lookups->outputOffset[j];
            if (!AffineCurve(curve, table->precision, &scale, &offset)) output = OutputForm::kCurves;
            plain = plain && scale == 65536 && offset == 0;
        }
        if (output == OutputForm::kPlain && !plain) output = OutputForm::kAffine;
    }
    if (output == OutputForm::kCurves && table->precision == 1 && outputs <= 4)
        for (uint32_t shift : kStepShifts)
            if ((lookups->outputSteps = EncodeOutputSteps(table, shift))) {
                lookups->outputShift = shift;
                output = OutputForm::kSteps;
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
    // Links from matrix sources often carry input curves that change
    // nothing; skipping them spares noise images 128 KB of cache misses per
    // channel (16-bit links) and makes the block routines' input arithmetic.
    const RoutineForm form = {table->hasInputCurves && !IdentityInputCurves(table), output};
    lookups->form = form;
    lookups->portable = PortableFastKernel(table, form);
    lookups->perPixel = lookups->portable;
    if (family != KernelFamily::kBaseline && HasHswInstructions()) lookups->perPixel = HswFastKernel(table, form);
    // The AVX-512 block routines win for every covered table on the CPUs
    // measured. The AVX2 ones win where they need no gathers from large
    // tables (8-bit links whose input is arithmetic and whose output curves
    // are arithmetic or step-encoded); elsewhere the per-pixel routine is as
    // fast or faster on CPUs whose gathers are slow.
    const bool avx2Pays = table->precision == 1 && !form.inputCurves && output != OutputForm::kCurves;
    LinkKernel best = nullptr;
    switch (family) {
        case KernelFamily::kDefault:
            best = Avx512FastKernel(table, form);
            if (!best && avx2Pays) best = Avx2FastKernel(table, form);
            break;
        case KernelFamily::kAvx2: best = Avx2FastKernel(table, form); break;
        case KernelFamily::kAvx512: best = Avx512FastKernel(table, form); break;
        case KernelFamily::kBaseline:
        case KernelFamily::kPerPixel: break;
    }
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

void UseLinkKernelFamily(KernelFamily chosen) { family = chosen; }

bool HasHswInstructions() { return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2"); }

void ReleaseLinkLookups(LinkTable* table) {
    if (!table || !table->lookups) return;
    FreeBlock(table->lookups->grid);
    FreeBlock(table->lookups->outputSteps);
    FreeBlock(table->lookups);
    table->lookups = nullptr;
}

}  // namespace tnt
