// The step encoding of 8-bit output curves: every value of every curve
// through the encoding equals the curve, the coarsest block size that holds
// the curves is chosen, curves it cannot hold fall back to the full curves,
// and the routines that read it agree with the generic routine, on
// synthetic step curves and on real links.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "link/fast_kernels.h"
#include "link/kernels.h"
#include "link/lookups.h"
#include "link/table.h"
#include "platform/memory.h"
#include "support/link_runs.h"
#include "support/random_links.h"
#include "tintwell.h"

namespace tnt_test {
namespace {

using tnt::LinkTable;

// Every 16-bit value of every channel through the encoding, four channels
// per call as the routines do.
void ExpectStepsReproduceCurves(const LinkTable* table, const std::string& what) {
    const tnt::LinkLookups* lookups = table->lookups;
    ASSERT_NE(lookups, nullptr) << what;
    ASSERT_NE(lookups->outputSteps, nullptr) << what;
    const auto* curves = static_cast<const uint8_t*>(table->outputCurves);
    const tnt::fast::RunFields fields = tnt::fast::Fields(table);
    const int outputs = table->outputChannels;
    int wrong = 0;
    for (uint32_t v = 0; v < 65536; ++v) {
        // Each channel at a different value, so that a mixed-up channel shows.
        uint16_t r[8] = {};
        for (int j = 0; j < outputs; ++j) r[j] = static_cast<uint16_t>(v + 9973u * j);
        __m128i packed = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r));
        uint32_t got = static_cast<uint32_t>(_mm_cvtsi128_si32(
            outputs == 3 ? tnt::fast::StepOutputs(fields, packed, std::make_integer_sequence<int, 3>())
                         : tnt::fast::StepOutputs(fields, packed, std::make_integer_sequence<int, 4>())));
        for (int j = 0; j < outputs; ++j)
            if (((got >> (8 * j)) & 0xFF) != curves[j * 65536 + r[j]] && ++wrong < 5)
                ADD_FAILURE() << what << ": channel " << j << " at " << r[j];
    }
    EXPECT_EQ(wrong, 0) << what;
}

// Fills channel j's curve with a step function: round(top x (v / 65535)^gamma)
// rising, or falling when `falling`. With gamma 1 it would be a line, which
// the routines compute instead.
void StepCurve(LinkTable* table, int j, double gamma, bool falling, double top = 200) {
    auto* curve = static_cast<uint8_t*>(table->outputCurves) + j * 65536;
    for (uint32_t v = 0; v < 65536; ++v) {
        double x = std::pow(v / 65535.0, gamma);
        curve[v] = static_cast<uint8_t>(std::lround(top * (falling ? 1 - x : x)));
    }
}

// Runs every routine of the table against the generic one, and the encoded
// routine against the full-curve one on pixels that hit switch points.
void CheckRoutines(Noise& noise, LinkTable* table, const std::string& what) {
    const int count = 3000;
    std::vector<uint16_t> pixels = TestPixels(noise, table, count, 0);
    std::vector<uint16_t> expected = RunKernel(tnt::GenericLinkKernel(1), table, pixels, count, 0, 0);
    tnt::LinkKernel kernels[8];
    int variants = tnt::LinkKernelVariants(table, kernels, 8);
    for (int v = 0; v < variants; ++v)
        EXPECT_EQ(RunKernel(kernels[v], table, pixels, count, 0, 0), expected) << what << ", variant " << v;
    const tnt::RoutineForm form = table->lookups->form;
    EXPECT_EQ(RunKernel(tnt::PortableFastKernel(table, {form.inputCurves, tnt::OutputForm::kCurves}), table, pixels,
                        count, 0, 0),
              expected)
        << what;
    for (tnt::LinkKernel blocks : {tnt::Avx2FastKernel(table, form), tnt::Avx512FastKernel(table, form)}) {
        if (blocks) {
            EXPECT_EQ(RunKernel(blocks, table, pixels, count, 0, 0), expected) << what << ", blocks";
        }
    }
}

TEST(LinkOutputSteps, SyntheticCurvesEncodeExactlyOrFallBack) {
    Noise noise{0x5851F42D4C957F2Dull};
    int64_t live = tnt::LiveBlockCount();
    const int pairs[][2] = {{3, 3}, {3, 4}, {4, 3}, {4, 4}};
    for (const auto& pair : pairs) {
        LinkTable* table = RandomTable(noise, pair[0], pair[1], pair[0] == 3 ? 17 : 9, 1);
        // Gentle curves change at most once in 256 values.
        for (int j = 0; j < pair[1]; ++j) StepCurve(table, j, 1.2, j == 2);
        std::string what = std::to_string(pair[0]) + " to " + std::to_string(pair[1]);
        ASSERT_EQ(tnt::PrepareLinkTable(table), 0);
        EXPECT_EQ(table->lookups->outputShift, 8u) << what;
        ExpectStepsReproduceCurves(table, what + ", gentle");
        CheckRoutines(noise, table, what + ", gentle");
        // Identity input curves, which the AVX2 routines compute.
        for (int c = 0; c < pair[0]; ++c)
            for (uint32_t v = 0; v < 256; ++v) table->inputCurves[c * 256 + v] = static_cast<uint16_t>(v * 257);
        ASSERT_TRUE(tnt::IdentityInputCurves(table)) << what;
        ASSERT_EQ(tnt::PrepareLinkTable(table), 0);
        CheckRoutines(noise, table, what + ", gentle, identity input");

        // A steeper curve needs smaller blocks: slope near 2.6 codes per 256
        // values at the top asks for blocks of 64.
        StepCurve(table, 0, 2.6, false, 255);
        ASSERT_EQ(tnt::PrepareLinkTable(table), 0);
        EXPECT_EQ(table->lookups->outputShift, 6u) << what;
        ExpectStepsReproduceCurves(table, what + ", steep");
        CheckRoutines(noise, table, what + ", steep");

        // One stray entry inside a block changes it twice: no block size
        // above one value holds it.
        auto* curve = static_cast<uint8_t*>(table->outputCurves) + 65536;
        curve[40001] ^= 0x40;
        ASSERT_EQ(tnt::PrepareLinkTable(table), 0);
        EXPECT_EQ(table->lookups->outputSteps, nullptr) << what;
        CheckRoutines(noise, table, what + ", stray entry");
        curve[40001] ^= 0x40;

        // Noise cannot be encoded at any block size; the full curves serve.
        for (uint32_t v = 0; v < 65536; ++v) curve[v] = static_cast<uint8_t>(noise.Next());
        ASSERT_EQ(tnt::PrepareLinkTable(table), 0);
        EXPECT_EQ(table->lookups->outputSteps, nullptr) << what;
        CheckRoutines(noise, table, what + ", noise");

        // Without output curves there is nothing to encode.
        StepCurve(table, 1, 1.2, false);
        table->hasOutputCurves = 0;
        ASSERT_EQ(tnt::PrepareLinkTable(table), 0);
        EXPECT_EQ(table->lookups->outputSteps, nullptr) << what;
        tnt::ReleaseLinkTable(table);
    }
    // Six outputs and 16-bit links keep their full curves.
    LinkTable* wide = RandomTable(noise, 4, 6, 5, 1);
    for (int j = 0; j < 6; ++j) StepCurve(wide, j, 1.2, false);
    ASSERT_EQ(tnt::PrepareLinkTable(wide), 0);
    EXPECT_EQ(wide->lookups->outputSteps, nullptr);
    tnt::ReleaseLinkTable(wide);
    EXPECT_EQ(tnt::LiveBlockCount(), live);
}

// The encoding against a plain scan of every block, for each block size:
// blocks that switch once at every position (the scan goes eight bytes at
// a time, so a switch may fall anywhere in a word), and one block that
// switches twice, wherever the second switch falls, refusing the size.
TEST(LinkOutputSteps, EncodingMatchesAPlainScan) {
    Noise noise{99};
    int64_t live = tnt::LiveBlockCount();
    LinkTable* table = RandomTable(noise, 3, 3, 9, 1);
    auto* curves = static_cast<uint8_t*>(table->outputCurves);
    auto plain = [&](uint32_t shift, std::vector<uint32_t>* entries) {
        const uint32_t size = 1u << shift, blocks = 65536u >> shift;
        entries->clear();
        for (int c = 0; c < 3; ++c)
            for (uint32_t b = 0; b < blocks; ++b) {
                const uint8_t* v = curves + c * 65536 + b * size;
                uint32_t i = 1;
                while (i < size && v[i] == v[0]) ++i;
                uint32_t entry = uint32_t{v[0]} << 16;
                for (uint32_t k = i + 1; k < size; ++k)
                    if (v[k] != v[i]) return false;
                if (i < size) entry |= (b * size + i) | uint32_t(uint8_t(v[i] - v[0])) << 24;
                entries->push_back(entry);
            }
        return true;
    };
    std::vector<uint32_t> expected;
    for (uint32_t shift : {8u, 7u, 6u, 5u, 4u}) {
        const uint32_t size = 1u << shift;
        for (int c = 0; c < 3; ++c)
            for (uint32_t b = 0; b < (65536u >> shift); ++b) {
                uint8_t* v = curves + c * 65536 + b * size;
                const uint32_t at = (b * 7 + c) % size;  // 0: no switch
                const auto low = static_cast<uint8_t>(noise.Next()), high = static_cast<uint8_t>(noise.Next());
                for (uint32_t k = 0; k < size; ++k) v[k] = k < at ? low : high;
            }
        ASSERT_TRUE(plain(shift, &expected)) << shift;
        uint32_t* steps = tnt::EncodeOutputSteps(table, shift);
        ASSERT_NE(steps, nullptr) << shift;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), steps)) << shift;
        tnt::FreeBlock(steps);
        uint8_t* block = curves + 65536 + 5 * size;
        for (uint32_t second = 2; second < size; ++second) {
            for (uint32_t k = 0; k < size; ++k) block[k] = k < 1 ? 10 : k < second ? 20 : 30;
            ASSERT_FALSE(plain(shift, &expected));
            steps = tnt::EncodeOutputSteps(table, shift);
            EXPECT_EQ(steps, nullptr) << shift << " " << second;
            tnt::FreeBlock(steps);
        }
    }
    tnt::ReleaseLinkTable(table);
    EXPECT_EQ(tnt::LiveBlockCount(), live);
}

// Identity input curves are found for both precisions, and a single entry
// off by one anywhere, in any channel, spoils them.
TEST(LinkOutputSteps, IdentityInputCurvesSeeEveryEntry) {
    Noise noise{31};
    int64_t live = tnt::LiveBlockCount();
    for (uint32_t precision : {1u, 2u}) {
        LinkTable* table = RandomTable(noise, 3, 4, 9, precision);
        const uint32_t length = table->inputCurveLength, scale = precision == 1 ? 257 : 1;
        for (int c = 0; c < 3; ++c)
            for (uint32_t v = 0; v < length; ++v) table->inputCurves[c * length + v] = static_cast<uint16_t>(v * scale);
        table->hasInputCurves = 1;
        EXPECT_TRUE(tnt::IdentityInputCurves(table)) << precision;
        int missed = 0;
        for (int c = 0; c < 3; ++c)
            for (uint32_t v : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 100u, length / 2 + 1, length - 2, length - 1}) {
                uint16_t& entry = table->inputCurves[c * length + v];
                entry = static_cast<uint16_t>(entry + (v == length - 1 ? -1 : 1));
                missed += tnt::IdentityInputCurves(table);
                entry = static_cast<uint16_t>(v * scale);
            }
        EXPECT_EQ(missed, 0) << precision;
        EXPECT_TRUE(tnt::IdentityInputCurves(table)) << precision;
        table->hasInputCurves = 0;
        EXPECT_FALSE(tnt::IdentityInputCurves(table)) << precision;
        tnt::ReleaseLinkTable(table);
    }
    EXPECT_EQ(tnt::LiveBlockCount(), live);
}

// A shortage while encoding only costs the encoding.
TEST(LinkOutputSteps, MemoryShortageKeepsTheFullCurves) {
    Noise noise{77};
    LinkTable* table = RandomTable(noise, 3, 4, 9, 1);
    for (int j = 0; j < 4; ++j) StepCurve(table, j, 1.2, false);
    int64_t live = tnt::LiveBlockCount();
    // Lookups first, then their grid, then the encoding.
    tnt::FailAllocationAt(3);
    ASSERT_EQ(tnt::PrepareLinkTable(table), 0);
    tnt::FailAllocationAt(0);
    ASSERT_NE(table->lookups, nullptr);
    EXPECT_EQ(table->lookups->outputShift, 7u);  // the next block size took over
    ExpectStepsReproduceCurves(table, "after a shortage");
    tnt::ReleaseLinkLookups(table);
    EXPECT_EQ(tnt::LiveBlockCount(), live);
    tnt::ReleaseLinkTable(table);
}

// Real links: curves into CMYK are step-encoded and reproduced, curves into
// a matrix profile are the plain v >> 8, and every link converts noise
// exactly as the generic routine does.
TEST(LinkOutputSteps, RealLinksEncodeTheirCurves) {
    const std::string sRGB = "/usr/share/color/icc/sRGB.icc";
    const std::string cmyk = "/usr/share/color/icc/ghostscript/default_cmyk.icc";
    const std::string adobe = "/usr/share/color/icc/compatibleWithAdobeRGB1998.icc";
    const std::string pairs[][2] = {{sRGB, cmyk}, {sRGB, adobe}, {cmyk, sRGB}, {cmyk, cmyk}};
    Noise noise{4242};
    for (const auto& pair : pairs) {
        ProfileLocation locations[2] = {};
        std::snprintf(locations[0].path, sizeof locations[0].path, "%s", pair[0].c_str());
        std::snprintf(locations[1].path, sizeof locations[1].path, "%s", pair[1].c_str());
        uint16_t intents[2] = {0, 0};
        ProfLink* link = nullptr;
        ASSERT_EQ(TntProfiles2Link(0, 0, 2, locations, intents, 0, &link), 0) << pair[0] << " " << pair[1];
        std::string what = pair[0] + " to " + pair[1];
        if (pair[1] == cmyk) {
            ExpectStepsReproduceCurves(link->table, what);
        } else {
            EXPECT_EQ(link->table->lookups->form.output, tnt::OutputForm::kPlain) << what;
        }
        CheckRoutines(noise, link->table, what);
        TntDisposeProfLink(link);
    }
}

}  // namespace
}  // namespace tnt_test
