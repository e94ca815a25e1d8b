// Drives an operation through each of its allocation failures in turn.
#pragma once

#include <zo/ramalloc.h>

#include <cstdint>

namespace zotest {

// Runs `operation(k)` with the k-th allocation failing, for k = 1, 2, ... until a run makes
// fewer than k allocations (that run has no failure injected and must succeed). Then runs
// it once with `every` set so that all allocations from the k-th on fail, when `every` is
// true. Returns the number of allocation points seen. `operation` builds its own fixture,
// runs the step under test and checks the outcome; it is told whether an allocation failed.
template <class Operation>
uint32_t forEachAllocationFailure(Operation operation) {
    for (uint32_t k = 1;; ++k) {
        ramTestFailAllocation(k, false);
        operation(k);
        uint32_t attempts = ramTestFailAllocation(0, false);
        if (attempts < k)
            return k - 1;
    }
}

// Fails every allocation while alive.
struct NoMemory {
    NoMemory() { ramTestFailAllocation(1, true); }
    ~NoMemory() { ramTestFailAllocation(0, false); }
};

} // namespace zotest
