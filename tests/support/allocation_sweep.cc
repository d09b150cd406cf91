#include "support/allocation_sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace tnt_test {

uint64_t Sweep(const std::function<SweepRun(uint64_t)>& scenario, const std::vector<TntStatus>& allowed) {
    const int64_t live = tnt::LiveBlockCount();
    for (uint64_t k = 1;; ++k) {
        SCOPED_TRACE("allocation " + std::to_string(k) + " failing");
        SweepRun run = scenario(k);
        tnt::FailAllocationAt(0);
        EXPECT_EQ(tnt::LiveBlockCount(), live) << "leak";
        if (!run.reached) {
            EXPECT_EQ(run.status, TNT_OK);
            return k - 1;
        }
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), run.status), allowed.end()) << "status " << run.status;
        if (k >= 1000) {
            ADD_FAILURE() << "the sweep does not end";
            return k;
        }
    }
}

uint64_t SweepCall(const std::function<TntStatus()>& call, const std::vector<TntStatus>& allowed) {
    return Sweep([&](uint64_t k) {
        SweepRun run;
        Armed(k, run, call);
        return run;
    }, allowed);
}

}  // namespace tnt_test
