// Every pixel routine of a link against the generic routine, bit for bit:
// random tables for every channel pair up to 8 by 8, both precisions, with
// and without curves; random pixels, pixels on nodes and cell borders, runs
// of repeats, in place, planar.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "link/kernels.h"
#include "link/lookups.h"
#include "link/table.h"
#include "platform/memory.h"
#include "support/link_runs.h"
#include "support/random_links.h"

namespace tnt_test {
namespace {

using tnt::LinkKernel;
using tnt::LinkTable;

bool IsUnrolledPair(int inputs, int outputs) {
    int key = inputs * 256 + outputs;
    return key == 771 || key == 772 || key == 1027 || key == 1028 || key == 1030;
}

// Planar conversion with steps equal to the channel counts must give the
// interleaved samples.
std::vector<uint16_t> RunPlanar(ProfLink* link, const std::vector<uint16_t>& pixels, int count) {
    const int inputs = link->table->inputChannels, outputs = link->table->outputChannels;
    std::vector<uint8_t> source(pixels.begin(), pixels.end());
    std::vector<uint8_t> destination(static_cast<size_t>(count) * outputs, 0);
    const uint8_t* from[16];
    uint8_t* to[16];
    for (int c = 0; c < inputs; ++c) from[c] = source.data() + c;
    for (int j = 0; j < outputs; ++j) to[j] = destination.data() + j;
    EXPECT_EQ(TntLinkMatchColorPlanes(link, count, from, inputs, to, outputs, nullptr), 0);
    return std::vector<uint16_t>(destination.begin(), destination.end());
}

// Checks every routine for one table in its current curve setting.
void CheckTable(Noise& noise, LinkTable* table, const std::string& what) {
    ASSERT_EQ(tnt::PrepareLinkTable(table), 0) << what;
    const int inputs = table->inputChannels, outputs = table->outputChannels;
    const int count = 1500;
    const LinkKernel generic = tnt::GenericLinkKernel(table->precision);
    LinkKernel kernels[8];
    int variants = tnt::LinkKernelVariants(table, kernels, 8);
    ASSERT_GE(variants, 1);
    if (IsUnrolledPair(inputs, outputs)) {
        EXPECT_NE(kernels[0], generic) << what;
    }

    for (int extras : {0, 1}) {
        std::vector<uint16_t> pixels = TestPixels(noise, table, count, extras);
        std::vector<uint16_t> expected = RunKernel(generic, table, pixels, count, extras, 2 * extras);
        for (int v = 0; v < variants; ++v) {
            std::vector<uint16_t> got = RunKernel(kernels[v], table, pixels, count, extras, 2 * extras);
            ASSERT_EQ(got, expected) << what << ", variant " << v << ", extras " << extras;
        }
        ProfLink link{table, 0, 0};
        ASSERT_EQ(RunLink(&link, pixels, count, extras, 2 * extras), expected) << what;
    }

    std::vector<uint16_t> pixels = TestPixels(noise, table, count, 0);
    std::vector<uint16_t> expected = RunKernel(generic, table, pixels, count, 0, 0);
    for (int v = 0; v < variants; ++v)
        ASSERT_EQ(RunInPlace(kernels[v], table, pixels, count), expected) << what << ", in place, variant " << v;
    if (table->precision == 1) {
        ProfLink link{table, 0, 0};
        ASSERT_EQ(RunPlanar(&link, pixels, count), expected) << what << ", planar";
    }
}

void CheckPair(Noise& noise, int inputs, int outputs, uint32_t precision, uint32_t gridPoints) {
    LinkTable* table = RandomTable(noise, inputs, outputs, gridPoints, precision);
    for (uint32_t curves = 0; curves < 4; ++curves) {
        table->hasInputCurves = curves & 1;
        table->hasOutputCurves = curves >> 1;
        std::string what = std::to_string(inputs) + " to " + std::to_string(outputs) + ", " +
                           std::to_string(precision * 8) + "-bit, n " + std::to_string(gridPoints) +
                           ", curves " + std::to_string(curves);
        CheckTable(noise, table, what);
        if (testing::Test::HasFatalFailure()) break;
    }
    tnt::ReleaseLinkTable(table);
}

TEST(LinkKernels, EveryRoutineMatchesTheGenericRoutine) {
    Noise noise{0x9E3779B97F4A7C15ull};
    int64_t live = tnt::LiveBlockCount();
    for (int inputs = 1; inputs <= 8; ++inputs)
        for (int outputs = 1; outputs <= 8; ++outputs)
            for (uint32_t precision : {1u, 2u}) {
                CheckPair(noise, inputs, outputs, precision, GridPointsFor(inputs, outputs, 1u << 21));
                ASSERT_FALSE(HasFatalFailure());
            }
    EXPECT_EQ(tnt::LiveBlockCount(), live);
}

TEST(LinkKernels, CommonPairsAtEveryGridSize) {
    Noise noise{0x2545F4914F6CDD1Dull};
    const int pairs[][2] = {{3, 3}, {3, 4}, {4, 3}, {4, 4}, {4, 6}};
    for (const auto& pair : pairs)
        for (uint32_t gridPoints : {3u, 5u, 9u, 17u, 33u}) {
            if (pair[0] == 4 && gridPoints == 33 && pair[1] == 6) continue;  // 14 MB, nothing new
            for (uint32_t precision : {1u, 2u}) {
                CheckPair(noise, pair[0], pair[1], precision, gridPoints);
                ASSERT_FALSE(HasFatalFailure());
            }
        }
}

// Grids that are not 2^k + 1 points wide still split values with a shift
// and a mask; the routines must agree there too.
TEST(LinkKernels, OddGridSizesAgree) {
    Noise noise{12345};
    for (uint32_t gridPoints : {2u, 4u, 7u, 12u, 65u})
        for (uint32_t precision : {1u, 2u}) {
            CheckPair(noise, 3, 3, precision, gridPoints);
            CheckPair(noise, 4, 3, precision, gridPoints == 65 ? 12 : gridPoints);
            ASSERT_FALSE(HasFatalFailure());
        }
}

// Runs of one colour long enough to fill whole eight-pixel blocks, broken by
// single changes, so that blocks are copied, computed and split.
std::vector<uint16_t> RunsOfPixels(Noise& noise, const LinkTable* table, int count, int extra) {
    std::vector<uint16_t> pixels = TestPixels(noise, table, count, extra);
    const int step = table->inputChannels + extra;
    for (int i = 1; i < count;) {
        int length = static_cast<int>(noise.Below(40));
        for (int k = 0; k < length && i < count; ++k, ++i)
            for (int c = 0; c < step; ++c) pixels[static_cast<size_t>(i) * step + c] = pixels[static_cast<size_t>(i - 1) * step + c];
        i += 1 + static_cast<int>(noise.Below(3));
    }
    return pixels;
}

std::vector<int32_t> progressCalls;
uint32_t TNT_CALL RecordProgress(int32_t index, int32_t count) {
    progressCalls.push_back(index);
    return static_cast<uint32_t>(index + count) | 0x70000u;  // only the low 16 bits count
}

// The routine a prepared table converts with, against the generic routine
// over many run lengths (short runs, tails of every length, progress
// chunks), with and without extras and in place; for one table.
void CheckChosenRoutine(Noise& noise, LinkTable* table, const std::string& what) {
    const LinkKernel generic = tnt::GenericLinkKernel(table->precision);
    const LinkKernel chosen = tnt::ChooseLinkKernel(table);
    // Around the block sizes (8 and 16 pixels) and the shortest runs the
    // block routines take (16 and 32 pixels), and longer runs.
    for (int count : {1, 7, 15, 16, 17, 25, 31, 32, 33, 47, 49, 1025, 3001})
        for (int extras : {0, 1}) {
            std::vector<uint16_t> pixels = RunsOfPixels(noise, table, count, extras);
            std::vector<uint16_t> expected = RunKernel(generic, table, pixels, count, extras, 2 * extras);
            ASSERT_EQ(RunKernel(chosen, table, pixels, count, extras, 2 * extras), expected)
                << what << ", " << count << " pixels, extras " << extras;
            if (extras == 0) {
                ASSERT_EQ(RunInPlace(chosen, table, pixels, count), Channels(expected, table->outputChannels, 0))
                    << what << ", in place, " << count << " pixels";
            }
        }
    // Progress after the first pixel of every 1024, with the last result
    // returned, whatever the routine does between the calls.
    const int count = 2049;
    std::vector<uint16_t> pixels = RunsOfPixels(noise, table, count, 0);
    std::vector<uint16_t> expected = RunKernel(generic, table, pixels, count, 0, 0);
    std::vector<uint8_t> source8(pixels.begin(), pixels.end());
    std::vector<uint16_t> source16(pixels.begin(), pixels.end());
    std::vector<uint16_t> destination(static_cast<size_t>(count) * table->outputChannels);
    std::vector<uint8_t> destination8(destination.size());
    progressCalls.clear();
    TntStatus status;
    if (table->precision == 1) {
        status = chosen(table, source8.data(), destination8.data(), count, table->inputChannels,
                        table->outputChannels, RecordProgress);
        destination.assign(destination8.begin(), destination8.end());
    } else {
        status = chosen(table, source16.data(), destination.data(), count, table->inputChannels,
                        table->outputChannels, RecordProgress);
    }
    EXPECT_EQ(progressCalls, (std::vector<int32_t>{0, 1024, 2048})) << what;
    EXPECT_EQ(status, static_cast<TntStatus>(2048 + count)) << what;
    EXPECT_EQ(destination, expected) << what << ", with progress";
}

// Output curves in each form the routines apply: none, noise (the full
// curves), plain (v >> 8, or v for 16-bit links), affine (per channel a
// staircase of one step width, a falling line, a line of random slope) and
// gentle curves that only the step encoding holds.
enum CurveKind { kNoCurves, kNoiseCurves, kPlainCurves, kAffineCurves, kGentleCurves };

void FillOutputCurves(Noise& noise, LinkTable* table, CurveKind kind) {
    table->hasOutputCurves = kind != kNoCurves;
    const bool eight = table->precision == 1;
    const uint32_t shift = tnt::AffineShift(table->precision), top = eight ? 255 : 65535;
    for (int j = 0; j < table->outputChannels; ++j) {
        // Staircases wider than about 530 have no 24-bit form; a line's
        // largest value must stay below 2^32.
        const uint32_t width = eight ? 258 + noise.Below(250) : 2 + noise.Below(3), start = noise.Below(width);
        const uint32_t scale = 16384 + noise.Below(49152), room = ~0u - 65535 * scale;
        const uint32_t offset = noise.Below(std::min(room, eight ? 1u << 24 : 1u << 16));
        for (uint32_t v = 0; v < 65536; ++v) {
            uint32_t value = static_cast<uint32_t>(noise.Next()) & top;
            if (kind == kPlainCurves) value = v << 16 >> shift;
            if (kind == kGentleCurves) value = static_cast<uint32_t>(std::lround(200 * std::pow(v / 65535.0, 1.2 + 0.1 * j)));
            if (kind == kAffineCurves)
                value = j % 3 == 0 ? (v + start) / width : j % 3 == 1 ? (65535 - v) << 16 >> shift : (v * scale + offset) >> shift;
            if (eight)
                static_cast<uint8_t*>(table->outputCurves)[j * 65536 + v] = static_cast<uint8_t>(value);
            else
                static_cast<uint16_t*>(table->outputCurves)[j * 65536 + v] = static_cast<uint16_t>(value);
        }
    }
}

// Every routine PrepareLinkTable can choose, in every family this CPU has
// (baseline, AVX2 and BMI2 per pixel, AVX2 blocks, AVX-512 blocks), for
// input curves absent, present and the identity (16-bit values to
// themselves, 8-bit samples s to s x 257) and every output form, each
// checked against the generic routine. The forms are found exactly: one
// entry off spoils an affine curve.
TEST(LinkKernels, EveryChoosableRoutineAgreesWithTheGenericRoutine) {
    using tnt::KernelFamily;
    using tnt::OutputForm;
    Noise noise{0xD1B54A32D192ED03ull};
    const bool hsw = tnt::HasHswInstructions();
    int64_t live = tnt::LiveBlockCount();
    const int pairs[][2] = {{3, 3}, {3, 4}, {4, 3}, {4, 4}, {4, 6}};
    for (const auto& pair : pairs)
        for (uint32_t precision : {1u, 2u})
            for (uint32_t gridPoints : {5u, pair[0] == 3 ? 33u : 17u}) {
                LinkTable* table = RandomTable(noise, pair[0], pair[1], gridPoints, precision);
                const uint32_t length = table->inputCurveLength;
                for (int input = 0; input < 3; ++input) {
                    table->hasInputCurves = input > 0;
                    if (input == 2)
                        for (int c = 0; c < pair[0]; ++c)
                            for (uint32_t v = 0; v < length; ++v)
                                table->inputCurves[c * length + v] = uint16_t(v * (precision == 1 ? 257 : 1));
                    for (CurveKind kind : {kNoCurves, kNoiseCurves, kPlainCurves, kAffineCurves, kGentleCurves}) {
                        FillOutputCurves(noise, table, kind);
                        const bool steps = kind == kGentleCurves && precision == 1 && pair[1] <= 4;
                        const OutputForm expected = kind == kNoCurves || kind == kPlainCurves ? OutputForm::kPlain
                                                    : kind == kAffineCurves                  ? OutputForm::kAffine
                                                    : steps                                  ? OutputForm::kSteps
                                                                                             : OutputForm::kCurves;
                        std::string what = std::to_string(pair[0]) + " to " + std::to_string(pair[1]) + ", " +
                                           std::to_string(precision * 8) + "-bit, n " + std::to_string(gridPoints) +
                                           ", input " + std::to_string(input) + ", output " + std::to_string(kind);
                        for (KernelFamily family : {KernelFamily::kBaseline, KernelFamily::kPerPixel,
                                                    KernelFamily::kAvx2, KernelFamily::kAvx512}) {
                            tnt::UseLinkKernelFamily(family);
                            ASSERT_EQ(tnt::PrepareLinkTable(table), 0);
                            tnt::UseLinkKernelFamily(KernelFamily::kDefault);
                            const tnt::LinkLookups* lookups = table->lookups;
                            ASSERT_NE(lookups, nullptr) << what;
                            ASSERT_EQ(lookups->form.output, expected) << what;
                            ASSERT_EQ(lookups->form.inputCurves, input == 1) << what;
                            const tnt::LinkKernel perPixel =
                                family != KernelFamily::kBaseline && hsw ? tnt::HswFastKernel(table, lookups->form)
                                                                         : lookups->portable;
                            tnt::LinkKernel blocks = nullptr;
                            if (family == KernelFamily::kAvx2) blocks = tnt::Avx2FastKernel(table, lookups->form);
                            if (family == KernelFamily::kAvx512) blocks = tnt::Avx512FastKernel(table, lookups->form);
                            EXPECT_EQ(lookups->kernel, blocks ? blocks : perPixel) << what;
                            EXPECT_EQ(lookups->portable, tnt::PortableFastKernel(table, lookups->form)) << what;
                            CheckChosenRoutine(noise, table, what + ", family " + std::to_string(int(family)));
                            if (HasFatalFailure()) break;
                        }
                        if (kind == kAffineCurves && input == 0) {
                            // Inside a step of channel 1's falling line.
                            const uint32_t entry = 65536 + 256 * noise.Below(256) + 100;
                            if (precision == 1) static_cast<uint8_t*>(table->outputCurves)[entry] ^= 1;
                            else static_cast<uint16_t*>(table->outputCurves)[entry] ^= 1;
                            ASSERT_EQ(tnt::PrepareLinkTable(table), 0);
                            EXPECT_NE(table->lookups->form.output, OutputForm::kAffine) << what;
                        }
                        if (HasFatalFailure()) break;
                    }
                    if (HasFatalFailure()) break;
                }
                tnt::ReleaseLinkTable(table);
                ASSERT_FALSE(HasFatalFailure());
            }
    EXPECT_EQ(tnt::LiveBlockCount(), live);
}

}  // namespace
}  // namespace tnt_test
