// Drives an operation through each of its allocation failures in turn.
#pragma once

#include <zo/ramalloc.h>

#include <cstdint>

namespace zotest {

// One run of an operation with its k-th allocation failing. The test builds its fixture
// with the hook off, calls arm() right before the step under test and disarm() right
// after; disarm() tells whether the failure was injected.
class FailurePoint {
public:
    explicit FailurePoint(uint32_t k) : k_(k) {}
    void arm() { ramTestFailAllocation(k_, false); }
    // True when the step made at least k allocations, so the k-th one failed.
    bool disarm() {
        hit_ = ramTestFailAllocation(0, false) >= k_;
        return hit_;
    }
    uint32_t k() const { return k_; }
    bool hit() const { return hit_; }

private:
    uint32_t k_;
    bool hit_ = false;
};

// Runs `run(point)` for k = 1, 2, ... until a run makes fewer than k allocations (that last
// run had no failure and must succeed). Returns the number of allocation points found.
template <class Run>
uint32_t forEachAllocationFailure(Run run) {
    for (uint32_t k = 1;; ++k) {
        FailurePoint point(k);
        run(point);
        ramTestFailAllocation(0, false);
        if (!point.hit())
            return k - 1;
    }
}

// Fails every allocation while alive.
struct NoMemory {
    NoMemory() { ramTestFailAllocation(1, true); }
    ~NoMemory() { ramTestFailAllocation(0, false); }
};

} // namespace zotest
