// The link conversion entries on hand-made tables: interpolation results
// of linear grids, full scale, extras, progress, bad arguments, planar.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "link/kernels.h"
#include "link/table.h"
#include "platform/memory.h"
#include "support/link_runs.h"
#include "support/random_links.h"

namespace tnt_test {
namespace {

using tnt::LinkTable;

// A table whose grid value of channel j at node (i_0, ..., i_{N-1}) is
// sum over d of slope[j][d] x i_d: simplex interpolation reproduces such a
// grid exactly, so the result is known without any ordering.
LinkTable* LinearTable(int inputs, int outputs, uint32_t n, uint32_t precision, const uint32_t slope[][4]) {
    Noise noise{7};
    LinkTable* table = RandomTable(noise, inputs, outputs, n, precision);
    table->hasInputCurves = 0;
    table->hasOutputCurves = 0;
    size_t nodes = 1;
    for (int c = 0; c < inputs; ++c) nodes *= n;
    for (size_t k = 0; k < nodes; ++k) {
        size_t rest = k;
        uint32_t index[4] = {0, 0, 0, 0};
        for (int d = inputs - 1; d >= 0; --d) {
            index[d] = static_cast<uint32_t>(rest % n);
            rest /= n;
        }
        for (int j = 0; j < outputs; ++j) {
            uint32_t value = 0;
            for (int d = 0; d < inputs; ++d) value += slope[j][d] * index[d];
            table->grid[k * outputs + j] = static_cast<uint16_t>(value);
        }
    }
    return table;
}

TEST(LinkEvaluate, LinearGridsAreReproducedExactly) {
    // With n = 17 a node index step is 4096 in value; slopes keep the
    // largest node below 65536.
    const uint32_t slope[4][4] = {{1000, 2000, 500, 300}, {4000, 0, 10, 7}, {1, 2, 3, 4}, {0, 0, 3000, 900}};
    for (int inputs : {1, 3, 4})
        for (uint32_t precision : {1u, 2u}) {
            LinkTable* table = LinearTable(inputs, 4, 17, precision, slope);
            ProfLink link{table, 0, 0};
            ASSERT_EQ(tnt::PrepareLinkTable(table), 0);
            Noise noise{99};
            std::vector<uint16_t> pixels = TestPixels(noise, table, 4000, 0);
            std::vector<uint16_t> result = RunLink(&link, pixels, 4000, 0, 0);
            for (int i = 0; i < 4000; ++i)
                for (int j = 0; j < 4; ++j) {
                    uint64_t sum = 0;
                    for (int d = 0; d < inputs; ++d) {
                        uint32_t v = pixels[i * inputs + d];
                        if (precision == 1) v <<= 8;
                        // Full scale is one whole cell past the last cell's start.
                        sum += uint64_t{slope[j][d]} * (v == 65535 ? 65536 : v);
                    }
                    uint32_t r = static_cast<uint32_t>(sum >> 12);
                    ASSERT_EQ(result[i * 4 + j], precision == 1 ? r >> 8 : r)
                        << inputs << " inputs, pixel " << i << ", channel " << j;
                }
            tnt::ReleaseLinkTable(table);
        }
}

TEST(LinkEvaluate, NodesReturnTheirValuesAndExtrasStayUntouched) {
    Noise noise{11};
    for (uint32_t precision : {1u, 2u}) {
        LinkTable* table = RandomTable(noise, 4, 6, 9, precision);
        table->hasInputCurves = 0;
        ASSERT_EQ(tnt::PrepareLinkTable(table), 0);
        ProfLink link{table, 0, 0};
        // Every node along the diagonal and the axes, as 16-bit or 8-bit
        // samples (node k of 9 is 8192 k, 32 k in 8 bits).
        std::vector<uint16_t> pixels;
        std::vector<uint32_t> nodes;
        for (uint32_t k = 0; k < 8; ++k)
            for (int axis = -1; axis < 4; ++axis) {
                uint32_t node = 0;
                for (int c = 0; c < 4; ++c) {
                    uint32_t index = axis < 0 || axis == c ? k : 0;
                    pixels.push_back(static_cast<uint16_t>(precision == 1 ? index * 32 : index * 8192));
                    node += table->gridOffsets[c][index];
                }
                pixels.push_back(precision == 1 ? 0x5A : 0x5A5A);  // the source extra
                nodes.push_back(node);
            }
        const int count = static_cast<int>(nodes.size());
        std::vector<uint16_t> run = RunLink(&link, pixels, count, 1, 3);
        for (int i = 0; i < count; ++i)
            for (int j = 0; j < 9; ++j) {
                uint16_t got = run[i * 9 + j];
                if (j >= 6) {
                    EXPECT_EQ(got, precision == 1 ? (kUntouched & 255) : kUntouched);
                    continue;
                }
                uint16_t r = table->grid[nodes[i] + j];
                uint16_t want = precision == 1 ? static_cast<const uint8_t*>(table->outputCurves)[j * 65536 + r]
                                               : static_cast<const uint16_t*>(table->outputCurves)[j * 65536 + r];
                EXPECT_EQ(got, want) << precision << " " << i << " " << j;
            }
        tnt::ReleaseLinkTable(table);
    }
}

std::vector<int32_t> gCalls;
uint32_t TNT_CALL Progress(int32_t index, int32_t count) {
    gCalls.push_back(index);
    gCalls.push_back(count);
    return 0x10000u + static_cast<uint32_t>(index);  // only the low 16 bits count
}

TEST(LinkEvaluate, ProgressCountsAndBadArguments) {
    Noise noise{5};
    for (int outputs : {4, 5}) {  // an unrolled pair and the generic routine
        LinkTable* table = RandomTable(noise, 3, outputs, 9, 1);
        ASSERT_EQ(tnt::PrepareLinkTable(table), 0);
        ProfLink link{table, 0, 0};
        std::vector<uint8_t> source(2049 * 3, 7), destination(2049 * outputs);
        gCalls.clear();
        EXPECT_EQ(TntLinkMatchColors(&link, 2049, source.data(), destination.data(), 0, 0, 0, Progress), 2048);
        EXPECT_EQ(gCalls, (std::vector<int32_t>{0, 2049, 1024, 2049, 2048, 2049}));
        gCalls.clear();
        EXPECT_EQ(TntLinkMatchColors(&link, 1, source.data(), destination.data(), 0, 0, 0, Progress), 0);
        EXPECT_EQ(gCalls, (std::vector<int32_t>{0, 1}));
        gCalls.clear();
        destination.assign(destination.size(), 0xEE);
        EXPECT_EQ(TntLinkMatchColors(&link, 0, source.data(), destination.data(), 0, 0, 0, Progress), 0);
        EXPECT_EQ(TntLinkMatchColors(&link, -5, source.data(), destination.data(), 0, 0, 0, Progress), 0);
        EXPECT_TRUE(gCalls.empty());
        EXPECT_EQ(destination[0], 0xEE);
        tnt::ReleaseLinkTable(table);
    }
    uint8_t pixel[16] = {};
    ProfLink empty{nullptr, 0, 0};
    EXPECT_EQ(TntLinkMatchColors(&empty, 1, pixel, pixel, 0, 0, 0, nullptr), TNT_ERR_NULL_ARGUMENT);
    const uint8_t* from[1] = {pixel};
    uint8_t* to[1] = {pixel};
    EXPECT_EQ(TntLinkMatchColorPlanes(&empty, 1, from, 1, to, 1, nullptr), TNT_ERR_PLANAR_NOT_8BIT);
}

TEST(LinkEvaluate, Planar) {
    Noise noise{17};
    LinkTable* wide = RandomTable(noise, 3, 3, 5, 2);
    ProfLink wideLink{wide, 0, 0};
    uint8_t plane[3][8] = {};
    const uint8_t* from[3] = {plane[0], plane[1], plane[2]};
    uint8_t* to[3] = {plane[0], plane[1], plane[2]};
    EXPECT_EQ(TntLinkMatchColorPlanes(&wideLink, 8, from, 1, to, 1, nullptr), TNT_ERR_PLANAR_NOT_8BIT);
    for (auto& p : plane)
        for (uint8_t v : p) EXPECT_EQ(v, 0);
    tnt::ReleaseLinkTable(wide);

    // Separate planes, converted in place, against interleaved pixels.
    LinkTable* table = RandomTable(noise, 4, 4, 17, 1);
    ASSERT_EQ(tnt::PrepareLinkTable(table), 0);
    ProfLink link{table, 0, 0};
    const int count = 1025;
    std::vector<uint16_t> pixels = TestPixels(noise, table, count, 0);
    std::vector<uint16_t> expected = RunLink(&link, pixels, count, 0, 0);
    std::vector<uint8_t> planes(4 * count);
    for (int i = 0; i < count; ++i)
        for (int c = 0; c < 4; ++c) planes[c * count + i] = static_cast<uint8_t>(pixels[i * 4 + c]);
    const uint8_t* sources[4];
    uint8_t* destinations[4];
    for (int c = 0; c < 4; ++c) sources[c] = destinations[c] = &planes[c * count];
    const uint8_t* sourcesBefore[4];
    std::memcpy(sourcesBefore, sources, sizeof sources);
    gCalls.clear();
    EXPECT_EQ(TntLinkMatchColorPlanes(&link, count, sources, 1, destinations, 1, Progress), 0);
    EXPECT_EQ(gCalls, (std::vector<int32_t>{0, count, 1024, count}));
    EXPECT_EQ(std::memcmp(sourcesBefore, sources, sizeof sources), 0);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(destinations[c], &planes[c * count]);
    for (int i = 0; i < count; ++i)
        for (int j = 0; j < 4; ++j) ASSERT_EQ(planes[j * count + i], expected[i * 4 + j]) << i << " " << j;
    EXPECT_EQ(TntLinkMatchColorPlanes(&link, 0, sources, 1, destinations, 1, Progress), 0);
    tnt::ReleaseLinkTable(table);
}

}  // namespace
}  // namespace tnt_test
