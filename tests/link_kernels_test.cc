// Every fast pixel routine of a link, in every family chosen through the
// library's own switch, against the generic routine bit for bit; the generic
// routine itself against grids whose results are known exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "link/kernels.h"
#include "link/lookups.h"
#include "link/table.h"
#include "platform/memory.h"

namespace {

using tnt::KernelFamily, tnt::LinkKernel, tnt::LinkTable, tnt::OutputForm;

constexpr uint16_t kUntouched = 0xA5C3;  // destinations start so: untouched extras show
constexpr KernelFamily kFamilies[] = {KernelFamily::kBaseline, KernelFamily::kPerPixel, KernelFamily::kAvx2, KernelFamily::kAvx512};
constexpr int kCommonPairs[][2] = {{3, 3}, {3, 4}, {4, 3}, {4, 4}, {4, 6}};  // with unrolled and fast routines

struct Noise {
    uint64_t state;
    uint64_t Next() { state ^= state << 13; state ^= state >> 7; return state ^= state << 17; }
    uint32_t Below(uint32_t limit) { return uint32_t((Next() >> 11) % limit); }
};

// The 16-bit values where cells meet (every multiple of the cell size and
// one either side), and near full and half scale.
std::vector<uint16_t> EdgeValues(const LinkTable* table) {
    std::vector<uint16_t> values = {65535, 65534, 65281, 65280, 65279, 32768, 32767, 256, 255};
    for (int64_t v = 0; v <= 65536; v += 1 << table->indexShift)
        for (int64_t value : {v - 1, v, v + 1})
            if (value >= 0 && value <= 65535) values.push_back(uint16_t(value));
    return values;
}

// Noise, both curve flags set; input curves often at edge values, nodes often at 0 and 65535.
LinkTable* RandomTable(Noise& noise, int inputs, int outputs, uint32_t gridPoints, uint32_t precision) {
    auto* table = static_cast<LinkTable*>(tnt::AllocBlock(sizeof(LinkTable)));
    tnt::InitLinkTable(table, gridPoints, precision, inputs, outputs);
    const size_t inputEntries = size_t(inputs) * table->inputCurveLength, outputBytes = size_t(outputs) * 65536 * precision;
    const size_t gridValues = size_t(std::pow(gridPoints, inputs)) * outputs;
    table->inputCurves = static_cast<uint16_t*>(tnt::AllocBlock(inputEntries * 2));
    table->outputCurves = tnt::AllocBlock(outputBytes);
    table->grid = static_cast<uint16_t*>(tnt::AllocBlock(gridValues * 2));
    const std::vector<uint16_t> edges = EdgeValues(table);
    for (size_t i = 0; i < inputEntries; ++i) table->inputCurves[i] = noise.Below(8) ? uint16_t(noise.Next()) : edges[noise.Below(uint32_t(edges.size()))];
    for (size_t i = 0; i < gridValues; ++i) table->grid[i] = uint16_t(noise.Below(8) ? noise.Next() : noise.Below(2) * 65535);
    for (size_t i = 0; i < outputBytes; ++i) static_cast<uint8_t*>(table->outputCurves)[i] = uint8_t(noise.Next());
    table->hasInputCurves = table->hasOutputCurves = 1;
    return table;
}

// `count` pixels of inputs and `extra` samples: noise, edge values, runs of
// one colour filling whole blocks, pixels one bit off the one before.
std::vector<uint16_t> TestPixels(Noise& noise, const LinkTable* table, int count, int extra) {
    const int step = table->inputChannels + extra;
    const bool eight = table->precision == 1;
    const std::vector<uint16_t> edges = EdgeValues(table);
    std::vector<uint16_t> pixels(size_t(count) * step);
    for (int i = 0; i < count; ++i) {
        uint16_t* pixel = &pixels[size_t(i) * step];
        const uint32_t kind = noise.Below(8);
        if (i > 0 && kind < 2) {
            const int run = kind == 0 ? std::min(int(noise.Below(40)), count - i - 1) : 0;
            for (int k = 0; k <= run; ++k, pixel += step) std::copy(pixel - step, pixel, pixel);
            uint16_t& flipped = pixel[int(noise.Below(table->inputChannels)) - step];
            if (kind == 1) flipped = uint16_t(flipped ^ (1u << noise.Below(eight ? 8 : 16)));
            i += run;
            continue;
        }
        for (int c = 0; c < step; ++c)
            pixel[c] = uint16_t((kind < 5 ? uint16_t(noise.Next()) : edges[noise.Below(uint32_t(edges.size()))]) >> (eight ? 8 : 0));
    }
    return pixels;
}

// Pixels through convert(source, destination) in the link's sample width:
// into `size` samples, or in place when size is 0.
template <typename Convert>
std::vector<uint16_t> Run(const LinkTable* table, const std::vector<uint16_t>& pixels, size_t size, Convert convert) {
    auto as = [&]<typename Sample>(Sample) {
        std::vector<Sample> source(pixels.begin(), pixels.end()), destination(size, Sample(kUntouched));
        const std::vector<Sample>& out = size ? destination : source;
        convert(source.data(), size ? destination.data() : source.data());
        return std::vector<uint16_t>(out.begin(), out.end());
    };
    return table->precision == 1 ? as(uint8_t{}) : as(uint16_t{});
}

// With `extra` source samples and twice as many destination samples a pixel.
std::vector<uint16_t> RunKernel(LinkKernel kernel, const LinkTable* table, const std::vector<uint16_t>& pixels, int count, int extra) {
    const int in = table->inputChannels + extra, out = table->outputChannels + 2 * extra;
    return Run(table, pixels, size_t(count) * out, [&](const void* s, void* d) { kernel(table, s, d, count, in, out, nullptr); });
}

// In place, both steps max(inputs, outputs): the output channels of each pixel.
std::vector<uint16_t> RunInPlace(LinkKernel kernel, const LinkTable* table, const std::vector<uint16_t>& pixels, int count) {
    const int inputs = table->inputChannels, outputs = table->outputChannels, step = std::max(inputs, outputs);
    std::vector<uint16_t> spread(size_t(count) * step), result;
    for (int i = 0; i < count; ++i) std::copy_n(&pixels[size_t(i) * inputs], inputs, &spread[size_t(i) * step]);
    spread = Run(table, spread, 0, [&](const void*, void* d) { kernel(table, d, d, count, step, step, nullptr); });
    for (int i = 0; i < count; ++i) result.insert(result.end(), spread.begin() + i * step, spread.begin() + i * step + outputs);
    return result;
}

std::vector<int32_t> progressCalls;
uint32_t TNT_CALL RecordProgress(int32_t index, int32_t count) {
    progressCalls.insert(progressCalls.end(), {index, count});
    return uint32_t(index + count) | 0x70000u;  // only the low 16 bits count
}

// Every routine in every family this CPU has against the generic routine:
// with and without extras, in place, through the link's entries (interleaved
// and 8-bit planar) with progress after the first pixel of every 1024.
void CheckRoutines(Noise& noise, LinkTable* table, const std::vector<int>& counts, const std::string& what) {
    ProfLink link{table, 0, 0};
    for (KernelFamily family : kFamilies) {
        tnt::UseLinkKernelFamily(family);
        ASSERT_EQ(tnt::PrepareLinkTable(table), 0);
        tnt::UseLinkKernelFamily(KernelFamily::kDefault);
        LinkKernel kernels[8];
        const int variants = tnt::LinkKernelVariants(table, kernels, 8);
        for (int count : counts)
            for (int extra : {0, 1}) {
                SCOPED_TRACE(what + ", family " + std::to_string(int(family)) + ", " + std::to_string(count) + " pixels, extra " + std::to_string(extra));
                const std::vector<uint16_t> pixels = TestPixels(noise, table, count, extra);
                const std::vector<uint16_t> expected = RunKernel(tnt::GenericLinkKernel(table->precision), table, pixels, count, extra);
                for (int v = 0; v < variants; ++v) {
                    ASSERT_EQ(RunKernel(kernels[v], table, pixels, count, extra), expected) << "variant " << v;
                    ASSERT_TRUE(extra || RunInPlace(kernels[v], table, pixels, count) == expected) << "in place, variant " << v;
                }
                std::vector<int32_t> calls;  // the last answer's low 16 bits are the result
                for (int i = 0; i < count; i += 1024) calls.insert(calls.end(), {i, count});
                progressCalls.clear();
                TntStatus status = 0;
                ASSERT_EQ(Run(table, pixels, expected.size(), [&](const void* s, void* d) {
                              status = TntLinkMatchColors(&link, count, s, d, int16_t(extra), int16_t(2 * extra), 0, RecordProgress);
                          }), expected);
                EXPECT_EQ(progressCalls, calls);
                EXPECT_EQ(status, TntStatus(calls[calls.size() - 2] + count));
                if (table->precision == 1 && extra == 0) {
                    // Planes, each sample a channel count apart: the interleaved result.
                    std::vector<uint8_t> source(pixels.begin(), pixels.end()), destination(expected.size());
                    const uint8_t* from[8]; uint8_t* to[8];
                    for (int c = 0; c < 8; ++c) from[c] = source.data() + c, to[c] = destination.data() + c;
                    progressCalls.clear();
                    ASSERT_EQ(TntLinkMatchColorPlanes(&link, count, from, table->inputChannels, to, table->outputChannels, RecordProgress), 0);
                    EXPECT_EQ(progressCalls, calls);
                    ASSERT_EQ(std::vector<uint16_t>(destination.begin(), destination.end()), expected) << "planar";
                }
            }
        if (!table->lookups) break;  // no fast routines: every family is the same
    }
}

void SetOutputEntry(LinkTable* table, uint32_t entry, uint32_t value) {
    if (table->precision == 1) static_cast<uint8_t*>(table->outputCurves)[entry] = uint8_t(value);
    else static_cast<uint16_t*>(table->outputCurves)[entry] = uint16_t(value);
}

// Output curves of each form: none, noise, plain (v >> 8, or v at 16 bits),
// affine (a staircase, a falling line, a random slope), gentle steps.
enum CurveKind { kNoCurves, kNoiseCurves, kPlainCurves, kAffineCurves, kGentleCurves };

void FillOutputCurves(Noise& noise, LinkTable* table, CurveKind kind) {
    table->hasOutputCurves = kind != kNoCurves;
    const bool eight = table->precision == 1;
    const uint32_t shift = tnt::AffineShift(table->precision);
    for (int j = 0; j < table->outputChannels; ++j) {
        // Staircases wider than about 530 have no 24-bit form; lines stay below 2^32.
        const uint32_t width = eight ? 258 + noise.Below(250) : 2 + noise.Below(3), start = noise.Below(width);
        const uint32_t scale = 16384 + noise.Below(49152), room = ~0u - 65535 * scale;
        const uint32_t offset = noise.Below(std::min(room, eight ? 1u << 24 : 1u << 16));
        for (uint32_t v = 0; v < 65536; ++v) {
            uint32_t value = uint32_t(noise.Next());
            if (kind == kPlainCurves) value = v << 16 >> shift;
            if (kind == kGentleCurves) value = uint32_t(std::lround(200 * std::pow(v / 65535.0, 1.2 + 0.1 * j)));
            if (kind == kAffineCurves)
                value = j % 3 == 0 ? (v + start) / width : j % 3 == 1 ? (65535 - v) << 16 >> shift : (v * scale + offset) >> shift;
            SetOutputEntry(table, j * 65536 + v, value);
        }
    }
}

// Every channel pair up to 8 by 8, the common pairs at every grid size; at 5
// and 17 points every input and output curve form, the form found (one entry
// off spoils it), and runs around the block sizes.
TEST(LinkKernels, EveryRoutineMatchesTheGenericRoutine) {
    Noise noise{0x9E3779B97F4A7C15ull};
    struct Shape { int inputs, outputs; uint32_t gridPoints; bool forms; };
    std::vector<Shape> shapes = {{3, 3, 65, false}};
    for (int inputs = 1; inputs <= 8; ++inputs)
        for (int outputs = 1; outputs <= 8; ++outputs) {
            uint32_t n = 3;
            for (uint32_t points : {5u, 9u, 17u, 33u}) n = std::pow(points, inputs) * outputs <= (1 << 21) ? points : n;
            shapes.push_back({inputs, outputs, n, false});
        }
    for (uint32_t n : {2u, 3u, 4u, 5u, 7u, 9u, 12u, 17u, 33u})
        for (const auto& pair : kCommonPairs)
            if (n != 33 || pair[1] != 6) shapes.push_back({pair[0], pair[1], n, n == 5 || n == 17});
    for (const Shape& shape : shapes)
        for (uint32_t precision : {1u, 2u}) {
            LinkTable* table = RandomTable(noise, shape.inputs, shape.outputs, shape.gridPoints, precision);
            const uint32_t length = table->inputCurveLength, entries = uint32_t(shape.inputs) * length;
            for (int input = 0; input < 3 && !HasFatalFailure(); ++input) {
                table->hasInputCurves = input > 0;
                for (uint32_t i = 0; i < entries && input == 2; ++i) table->inputCurves[i] = uint16_t(i % length * (precision == 1 ? 257 : 1));
                for (CurveKind kind : {kNoCurves, kNoiseCurves, kPlainCurves, kAffineCurves, kGentleCurves}) {
                    if (!shape.forms && (input == 2 || kind > kNoiseCurves)) continue;
                    FillOutputCurves(noise, table, kind);
                    const std::string what = std::to_string(shape.inputs) + " to " + std::to_string(shape.outputs) + ", " + std::to_string(precision * 8) + "-bit, n " + std::to_string(shape.gridPoints) + ", input " + std::to_string(input) + ", output " + std::to_string(kind);
                    CheckRoutines(noise, table, shape.forms ? std::vector<int>{1, 7, 15, 16, 17, 25, 31, 32, 33, 47, 49, 1025, 3001} : std::vector<int>{1500}, what);
                    if (HasFatalFailure() || !shape.forms) continue;
                    ASSERT_NE(table->lookups, nullptr) << what;
                    const OutputForm form = kind == kNoCurves || kind == kPlainCurves ? OutputForm::kPlain : kind == kAffineCurves ? OutputForm::kAffine
                                            : precision == 1 && shape.outputs <= 4 && kind == kGentleCurves ? OutputForm::kSteps : OutputForm::kCurves;
                    EXPECT_EQ(table->lookups->form.output, form) << what;
                    EXPECT_EQ(table->lookups->form.inputCurves, input == 1) << what;
                    if (kind == kAffineCurves && input == 0) {
                        // One entry off inside a step of channel 1's falling line.
                        SetOutputEntry(table, 65536 + 256 * noise.Below(255) + 100, 0);
                        ASSERT_EQ(tnt::PrepareLinkTable(table), 0);
                        EXPECT_NE(table->lookups->form.output, OutputForm::kAffine) << what;
                    }
                    for (uint32_t at : {0u, 5u, length - 1, entries - length + 3, entries - 1}) {
                        if (kind != kNoCurves || input != 2) break;
                        EXPECT_TRUE(tnt::IdentityInputCurves(table)) << what;
                        table->inputCurves[at] ^= 1;
                        EXPECT_FALSE(tnt::IdentityInputCurves(table)) << what << ", entry " << at;
                        table->inputCurves[at] ^= 1;
                    }
                }
            }
            tnt::ReleaseLinkTable(table);
            ASSERT_FALSE(HasFatalFailure());
        }
}

// Curves whose blocks each switch once, anywhere in an 8-byte word, encode at
// exactly that block size; a block switching twice, wherever, refuses the size.
TEST(LinkOutputSteps, CoarsestBlockThatHoldsTheCurvesOrNone) {
    Noise noise{99};
    LinkTable* table = RandomTable(noise, 3, 4, 9, 1);
    table->hasInputCurves = 0;
    auto* curves = static_cast<uint8_t*>(table->outputCurves);
    for (uint32_t shift : {8u, 7u, 6u, 5u, 4u}) {
        const uint32_t size = 1u << shift;
        for (uint32_t c = 0; c < 4; ++c)
            for (uint32_t b = 0; b < (65536u >> shift); ++b)
                for (uint32_t k = 0, at = (b * 7 + c) % size; k < size; ++k) curves[c * 65536 + b * size + k] = uint8_t(2 * b + c + (k < at ? 0 : 1));
        ASSERT_EQ(tnt::PrepareLinkTable(table), 0);
        EXPECT_EQ(table->lookups->form.output, OutputForm::kSteps) << shift;
        EXPECT_EQ(table->lookups->outputShift, shift);
        CheckRoutines(noise, table, {20000}, "block " + std::to_string(size));
        if (shift == 8) {  // the encoding fails (after the lookups and their grid): the next size holds
            tnt::FailAllocationAt(3);
            ASSERT_EQ(tnt::PrepareLinkTable(table), 0);
            tnt::FailAllocationAt(0);
            EXPECT_EQ(table->lookups->outputShift, 7u);
        }
        uint8_t* block = curves + 65536 + 5 * size;
        for (uint32_t second = 2; second < size; ++second) {
            for (uint32_t k = 0; k < size; ++k) block[k] = k < 1 ? 10 : k < second ? 20 : 30;
            uint32_t* steps = tnt::EncodeOutputSteps(table, shift);
            EXPECT_EQ(steps, nullptr) << shift << " " << second;
            tnt::FreeBlock(steps);
        }
    }
    tnt::ReleaseLinkTable(table);
}

// Grids whose channel j < 3 is sum slope[j][d] i_d at node i and channel 3 is
// 3000 max(i_d) (linear on each simplex: only the right fraction order gets it)
// interpolate exactly in the generic routine, through curves too; extras stay untouched.
TEST(LinkKernels, LinearGridsAreReproducedExactly) {
    // 17 points: a node step is 4096 in value; each row keeps nodes below 65536.
    const uint32_t slope[4][5] = {{1000, 2000, 500, 300, 200}, {4000, 0, 10, 7, 3}, {1, 2, 3, 4, 5}, {3000, 3000, 3000, 3000, 3000}};
    Noise noise{7};
    for (int inputs : {1, 2, 3, 4, 5})
        for (uint32_t precision : {1u, 2u})
            for (uint32_t curves = 0; curves < 4; ++curves) {
                LinkTable* t = RandomTable(noise, inputs, 4, 17, precision);
                t->hasInputCurves = curves & 1;
                t->hasOutputCurves = curves >> 1;
                for (size_t k = 0, values = size_t(std::pow(17, inputs)) * 4; k < values; ++k) {
                    t->grid[k] = 0;
                    for (size_t d = inputs, rest = k / 4; d-- > 0; rest /= 17) t->grid[k] = uint16_t(k % 4 == 3 ? std::max<size_t>(t->grid[k], 3000 * (rest % 17)) : t->grid[k] + slope[k % 4][d] * (rest % 17));
                }
                const int count = 3000;
                const std::vector<uint16_t> pixels = TestPixels(noise, t, count, 1);
                const std::vector<uint16_t> result = RunKernel(tnt::GenericLinkKernel(precision), t, pixels, count, 1);
                for (int i = 0; i < count; ++i)
                    for (int j = 0; j < 6; ++j) {
                        uint64_t sum = 0;
                        for (int d = 0; d < inputs && j < 4; ++d) {
                            const uint16_t s = pixels[i * (inputs + 1) + d];
                            const uint32_t v = t->hasInputCurves ? t->inputCurves[d * t->inputCurveLength + s] : precision == 1 ? s << 8 : s;
                            const uint64_t term = uint64_t{slope[j][d]} * (v == 65535 ? 65536 : v);  // full scale: a whole cell past the last cell's start
                            sum = j == 3 ? std::max(sum, term) : sum + term;
                        }
                        const uint32_t r = uint32_t(sum >> 12);
                        const uint16_t want = j >= 4 ? (precision == 1 ? kUntouched & 255 : kUntouched)
                                              : !t->hasOutputCurves ? (precision == 1 ? r >> 8 : r)
                                              : precision == 1 ? static_cast<const uint8_t*>(t->outputCurves)[j * 65536 + r]
                                                               : static_cast<const uint16_t*>(t->outputCurves)[j * 65536 + r];
                        ASSERT_EQ(result[i * 6 + j], want) << inputs << " inputs, " << precision << ", curves " << curves << ", pixel " << i << ", channel " << j;
                    }
                tnt::ReleaseLinkTable(t);
            }
}

// Empty and negative runs touch nothing and call no progress; a link
// without a table, and planar 16-bit links, are refused untouched.
TEST(LinkKernels, RunsWithoutWork) {
    Noise noise{5};
    ProfLink link{RandomTable(noise, 3, 4, 9, 2), 0, 0}, empty{nullptr, 0, 0};
    std::vector<uint8_t> source(64, 7), destination(64, 0xEE);
    const uint8_t* from[4] = {source.data(), source.data() + 8, source.data() + 16};
    uint8_t* to[4] = {destination.data(), destination.data() + 8, destination.data() + 16, destination.data() + 24};
    progressCalls.clear();
    for (int count : {0, -5}) EXPECT_EQ(TntLinkMatchColors(&link, count, source.data(), destination.data(), 0, 0, 0, RecordProgress), 0);
    EXPECT_EQ(TntLinkMatchColors(&empty, 1, source.data(), destination.data(), 0, 0, 0, nullptr), TNT_ERR_NULL_ARGUMENT);
    EXPECT_EQ(TntLinkMatchColorPlanes(&empty, 1, from, 1, to, 1, nullptr), TNT_ERR_PLANAR_NOT_8BIT);
    EXPECT_EQ(TntLinkMatchColorPlanes(&link, 8, from, 1, to, 1, RecordProgress), TNT_ERR_PLANAR_NOT_8BIT);
    EXPECT_TRUE(progressCalls.empty());
    EXPECT_EQ(destination, std::vector<uint8_t>(64, 0xEE));
    tnt::ReleaseLinkTable(link.table);
}

}  // namespace
