// All-or-nothing checks of one step under every failure the test seams can inject.
//
// A fault table lists what to break: allocations (ramTestFailAllocation) and file calls
// (zo::plat::fileTestInjectFault: an open, read, write, sync or rename fails, a write comes
// back short, the disk is full). For each row the step runs with its 1st, 2nd, 3rd ... call
// of that kind failing, each time on a freshly set-up fixture, until a run no longer reaches
// the k-th call. Every run must be all or nothing:
//   - the step fails (ZoFailure) and the state equals the snapshot taken just before it;
//     the failure left the fixture usable: the same step run again without a fault
//     succeeds and the after-state holds (set retryAfterFailure false to skip this);
//   - or the step succeeds, and the after-state holds; a success in a run that met the
//     fault is an error unless absorbsFaults says the step may recover from it.
// The last run, which meets no fault, must succeed. A failure without a fault is an error.
//
//     zotest::AllOrNothing<ZoString, std::string> append{
//         .setUp = [](ZoString &s) { ASSERT_EQ(s.initialize(u("ab"), 2), ZoSuccess); },
//         .state = [](const ZoString &s) { return textOf(s); },
//         .step = [](ZoString &s) { return s.concat(u("cd")); },
//         .after = [](const ZoString &s) { EXPECT_EQ(textOf(s), "abcd"); },
//     };
//     EXPECT_EQ(append.run(zotest::allocationFailure()), 1u);   // failure points found
//     append.run(zotest::fileFaults());                          // one count per row
//
// The fixture is default-constructed for every run (wrap it in a struct or std::optional
// when it needs arguments); setUp, state and after run with no fault armed.
#pragma once

#include <zo/ramalloc.h>
#include <zo/zoobject.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/file.h"

namespace zotest {

// One row of a fault table: which seam fails and how.
struct Fault {
    enum class Seam { Allocation, File };

    const char *name;
    Seam seam = Seam::Allocation;
    zo::plat::FileOp op = zo::plat::FileOp::Open;
    zo::plat::FileFault kind = zo::plat::FileFault::Fail;
    int error = zo::plat::FileOtherError;

    // Makes the k-th call of the seam (1 = the next one) fail.
    void arm(uint32_t k) const {
        if (seam == Seam::Allocation)
            ramTestFailAllocation(k, false);
        else
            zo::plat::fileTestInjectFault(op, k, kind, error);
    }
    // Switches the fault off; true when the k-th call came, so the fault was injected.
    bool disarm(uint32_t k) const {
        if (seam == Seam::Allocation)
            return ramTestFailAllocation(0, false) >= k;
        bool hit = !zo::plat::fileTestFaultPending(op);
        zo::plat::fileTestClearFaults();
        return hit;
    }
};

inline Fault allocationFailure() { return {"allocation"}; }

inline Fault fileFault(const char *name, zo::plat::FileOp op, zo::plat::FileFault kind = zo::plat::FileFault::Fail,
                       int error = zo::plat::FileOtherError) {
    return {name, Fault::Seam::File, op, kind, error};
}

// Every file call failing in turn, plus the two partial writes.
inline std::vector<Fault> fileFaults() {
    using zo::plat::FileFault;
    using zo::plat::FileOp;
    return {fileFault("open", FileOp::Open),
            fileFault("read", FileOp::Read),
            fileFault("write", FileOp::Write),
            fileFault("short write", FileOp::Write, FileFault::ShortWrite),
            fileFault("disk full", FileOp::Write, FileFault::DiskFull),
            fileFault("sync", FileOp::Sync),
            fileFault("rename", FileOp::Rename)};
}

// Allocation failures and every file fault.
inline std::vector<Fault> everyFault() {
    std::vector<Fault> faults{allocationFailure()};
    for (const Fault &f : fileFaults())
        faults.push_back(f);
    return faults;
}

template <class Fixture, class State = int>
struct AllOrNothing {
    // Builds the fixture before each run.
    std::function<void(Fixture &)> setUp = [](Fixture &) {};
    // What a failed step must leave as it was (empty: nothing beyond the status and retry).
    std::function<State(const Fixture &)> state = nullptr;
    std::function<ZoStatus(Fixture &)> step;
    // Checks the fixture after a successful step.
    std::function<void(const Fixture &)> after = [](const Fixture &) {};
    bool retryAfterFailure = true;
    bool absorbsFaults = false;

    // The number of failure points of the step for this fault.
    uint32_t run(const Fault &fault) const {
        for (uint32_t k = 1; k <= MaxFailurePoints; ++k) {
            SCOPED_TRACE(testing::Message() << fault.name << " fault at call " << k);
            if (!runWithFailureAt(fault, k))
                return k - 1;
        }
        ADD_FAILURE() << fault.name << ": the step never stops reaching new calls";
        return MaxFailurePoints;
    }

    // The number of failure points for each row of the table.
    std::vector<uint32_t> run(const std::vector<Fault> &faults) const {
        std::vector<uint32_t> points;
        for (const Fault &fault : faults)
            points.push_back(run(fault));
        return points;
    }

private:
    static constexpr uint32_t MaxFailurePoints = 10000;

    // One run with the k-th call failing; true when the step reached that call.
    bool runWithFailureAt(const Fault &fault, uint32_t k) const {
        Fixture fixture;
        setUp(fixture);
        if (testing::Test::HasFatalFailure())
            return false; // no fixture to run on
        std::optional<State> before;
        if (state)
            before = state(fixture);
        fault.arm(k);
        ZoStatus status = step(fixture);
        bool hit = fault.disarm(k);
        if (status == ZoSuccess) {
            EXPECT_TRUE(!hit || absorbsFaults) << "the step met the fault and reported success";
            after(fixture);
            return hit;
        }
        EXPECT_TRUE(hit) << "the step failed with no fault injected";
        if (state) {
            EXPECT_EQ(state(fixture), *before) << "the failed step changed the state";
        }
        if (retryAfterFailure) {
            EXPECT_EQ(step(fixture), ZoSuccess) << "the step fails again with the fault gone";
            after(fixture);
        }
        return hit;
    }
};

} // namespace zotest
