// Every comparison with Little CMS within its bound (docs/conformance.md has
// the measured table and the cause of every systematic difference).
#include <gtest/gtest.h>

#include "support/conformance.h"
#include "support/real_profiles.h"

using namespace tnt_test;

TEST(Conformance, AgreesWithLittleCms) {
    for (const Comparison& c : Comparisons(TempPath("v4"))) {
        const ComparisonStats s = CompareWithLittleCms(c.source, c.destination, c.intent, true);
        EXPECT_TRUE(s.status == 0 && s.error.empty()) << c.name << ": status " << s.status << " " << s.error;
        EXPECT_LE(s.max, c.maxDeltaE) << c.name;
    }
}
