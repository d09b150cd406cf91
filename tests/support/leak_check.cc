// One leak check after every test: the library's live block count must be
// what it was when the test started, and no test may leave an allocation
// failure armed for the next one. Tests that keep blocks on purpose (a
// cache that outlives the test) do not exist; a test that needs one says
// so by releasing it before it ends.
#include <gtest/gtest.h>

#include "platform/memory.h"

namespace {

class LeakCheck : public testing::EmptyTestEventListener {
    int64_t live_ = 0;

    void OnTestStart(const testing::TestInfo&) override {
        tnt::FailAllocationAt(0);
        live_ = tnt::LiveBlockCount();
    }
    void OnTestEnd(const testing::TestInfo&) override {
        tnt::FailAllocationAt(0);
        EXPECT_EQ(tnt::LiveBlockCount(), live_) << "blocks the test left allocated";
    }
};

// Installed before main runs, whichever main the program has.
const bool kInstalled = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new LeakCheck);
    return true;
}();

}  // namespace
