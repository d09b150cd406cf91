// Every row of the comparison table within its bound, Little CMS
// interpolating its tables multilinearly as Tintwell does (docs/conformance.md
// gives the measured table and the cause of every systematic difference).
#include <gtest/gtest.h>

#include <filesystem>

#include "support/conformance.h"
#include "support/real_profiles.h"

using namespace tnt_test;

TEST(Conformance, AgreesWithLittleCms) {
    const std::string folder = TempPath("v4");
    std::filesystem::create_directories(folder);
    for (const ComparisonRow& row : kComparisonRows) {
        for (const char* intent = row.intents; *intent; ++intent) {
            SCOPED_TRACE(std::string(row.source) + " -> " + row.destination + ", intent " + *intent);
            const ComparisonStats s = CompareWithLittleCms(ProfileByName(row.source, folder),
                                                           ProfileByName(row.destination, folder), uint16_t(*intent - '0'), true);
            ASSERT_EQ(s.status, 0);
            ASSERT_EQ(s.error, "");
            EXPECT_LE(s.max, row.maxDeltaE);
        }
    }
}
