// Allocation-failure sweeps: allocation k = 1, 2, ... fails in turn until a
// scenario asks for fewer than k allocations.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "platform/memory.h"
#include "tintwell.h"

namespace tnt_test {

struct SweepRun {
    TntStatus status = TNT_OK;
    bool reached = false;  // the k-th allocation was asked for
};

// Every failure must give one of `allowed` (0 among them when the function
// may absorb the failure) and leak nothing; the clean run must succeed.
// Returns the number of allocations the call makes.
uint64_t Sweep(const std::function<SweepRun(uint64_t k)>& scenario, const std::vector<TntStatus>& allowed);

// Arms the failure, runs `call`, disarms, and records whether it got there.
template <typename Call>
TntStatus Armed(uint64_t k, SweepRun& run, Call call) {
    tnt::FailAllocationAt(k);
    run.status = call();
    run.reached = tnt::AllocationCalls() >= k;
    tnt::FailAllocationAt(0);
    return run.status;
}

// A sweep whose scenario runs armed from start to end.
uint64_t SweepCall(const std::function<TntStatus()>& call, const std::vector<TntStatus>& allowed);

}  // namespace tnt_test
