// Every input the fuzzers found a fault with is kept in fuzz/regressions/
// <harness>/ and run here through the same harness body, without libFuzzer.
// A body aborts on a leak or a broken invariant; the sanitizer build adds
// the address and undefined-behaviour checks the fuzzers ran with.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/harnesses.h"
#include "platform/memory.h"
#include "support/real_profiles.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> InputsOf(const char* harness) {
    std::vector<fs::path> inputs;
    const fs::path folder = fs::path(TNT_SOURCE_DIR) / "fuzz" / "regressions" / harness;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

TEST(FuzzRegressions, KeptInputsRunCleanThroughTheirHarness) {
    size_t total = 0;
    for (const char* harness : {"profile_tags", "transforms", "links", "crd"}) {
        tnt_fuzz::HarnessFunction body = tnt_fuzz::HarnessByName(harness);
        ASSERT_NE(body, nullptr) << harness;
        for (const fs::path& input : InputsOf(harness)) {
            SCOPED_TRACE(input.string());
            std::vector<uint8_t> bytes = tnt_test::ReadFileBytes(input.string());
            const int64_t live = tnt::LiveBlockCount();
            EXPECT_EQ(body(bytes.data(), bytes.size()), 0);
            EXPECT_EQ(tnt::LiveBlockCount(), live);
            ++total;
        }
    }
    EXPECT_GT(total, 0u) << "no regression inputs found under fuzz/regressions";
}

TEST(FuzzRegressions, HarnessesTakeEmptyAndTinyInputs) {
    const uint8_t bytes[200] = {};
    for (const char* harness : {"profile_tags", "transforms", "links", "crd"}) {
        tnt_fuzz::HarnessFunction body = tnt_fuzz::HarnessByName(harness);
        ASSERT_NE(body, nullptr);
        for (size_t size : {size_t(0), size_t(1), size_t(128), size_t(200)}) EXPECT_EQ(body(bytes, size), 0);
    }
    EXPECT_EQ(tnt_fuzz::HarnessByName("nonesuch"), nullptr);
}

}  // namespace
