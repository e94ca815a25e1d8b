#include <zo/cntdblib.h>
#include <zo/pertask.h>
#include <zo/zosemaph.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "platform/thread.h"
#include "platform/window.h"
#include "support/alloc_failure.h"
#include "support/child_process.h"
#include "support/status.h"

namespace {

ZoSemaphore *marker(uintptr_t value) { return reinterpret_cast<ZoSemaphore *>(value); }

// Fewer rounds under the sanitizers keep the suites fast.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kRounds = 4000;
constexpr int kLazyVariables = 150;
#else
constexpr int kRounds = 100000;
constexpr int kLazyVariables = 2000;
#endif
constexpr int kThreads = 16;

// Runs `body(thread)` on kThreads threads released together.
template <class Body>
void together(Body body) {
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, t] {
            ready.fetch_add(1);
            while (ready.load() < kThreads)
                std::this_thread::yield();
            body(t);
        });
    for (auto &thread : threads)
        thread.join();
}

// A guarded region: a plain counter that loses updates when two threads are in at once,
// and the most threads ever seen inside.
struct Region {
    void pass() {
        int now = inside.fetch_add(1) + 1;
        int seen = most.load();
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        ++counter;
        inside.fetch_sub(1);
    }
    std::atomic<int> inside{0};
    std::atomic<int> most{0};
    long counter = 0;
};

// 16 threads x kRounds enter/exit on one variable: no update lost, never two inside.
void expectMutualExclusion(ZoSemaphore **var) {
    Region region;
    together([&](int) {
        for (int i = 0; i < kRounds; ++i) {
            zoSemaphoreEnter(var);
            region.pass();
            zoSemaphoreExit(var);
        }
    });
    EXPECT_EQ(region.counter, long{kThreads} * kRounds);
    EXPECT_EQ(region.most.load(), 1);
}

// The kinds of the next `count` semaphores made on fresh variables (kept in `made`).
std::vector<int> makeSemaphores(int count, std::vector<ZoSemaphore *> &made) {
    std::vector<int> kinds;
    for (int i = 0; i < count; ++i) {
        ZoSemaphore *var = nullptr;
        zoSemaphoreEnter(&var);
        zoSemaphoreExit(&var);
        made.push_back(var);
        kinds.push_back(var->kind());
    }
    return kinds;
}

void deleteAll(std::vector<ZoSemaphore *> &made) {
    for (ZoSemaphore *semaphore : made)
        delete semaphore;
    made.clear();
}

ZoSemaphoreInfo *registry() {
    return static_cast<ZoSemaphoreInfo *>(static_cast<ZoObject *>(mdsGetPerTaskData(PerTaskSemaphoreTable)));
}

constexpr int P = ZoSemaphore::PlatformSemaphore;
constexpr int S = ZoSemaphore::SpinLock;

// --- In the test process, whatever its settings ---

TEST(ZoSemaphore, ExitOnAVariableWithoutSemaphoreDoesNothing) {
    for (uintptr_t value : {0, 1, 2}) {
        ZoSemaphore *var = marker(value);
        zoSemaphoreExit(&var);
        EXPECT_EQ(var, marker(value));
    }
}

TEST(ZoSemaphore, OnlyAVariableStartingAtTwoIsToldOfTheDestruction) {
    ZoSemaphore *told = marker(2);
    ZoSemaphore *untold = nullptr;
    for (ZoSemaphore **var : {&told, &untold}) {
        zoSemaphoreEnter(var);
        EXPECT_EQ((*var)->owner(), zo::plat::currentThreadId());
        zoSemaphoreExit(var);
        EXPECT_EQ((*var)->owner(), 0u);
    }
    EXPECT_EQ(told->ownerVariable(), &told);
    EXPECT_EQ(untold->ownerVariable(), nullptr);
    delete untold;
    ZoSemaphore *first = told;
    delete told;
    EXPECT_EQ(told, marker(2));
    // The next entry makes a new semaphore, again with its owner recorded.
    zoSemaphoreEnter(&told);
    zoSemaphoreExit(&told);
    ASSERT_NE(told, marker(2));
    EXPECT_EQ(told->ownerVariable(), &told);
    EXPECT_TRUE(first != nullptr);
    delete told;
    EXPECT_EQ(told, marker(2));
}

TEST(SemArray, IndexesAreCheckedUnderTheLockWord) {
    SemArray array;
    ZoObject a, b;
    EXPECT_EQ(array.addAtIndex(&a, 1), ZoFailure);
    zotest::ok(array.addAtIndex(&a, 0));
    zotest::ok(array.append(&b));
    EXPECT_EQ(array.getAt(2), nullptr);
    array.removeAtIndex(5);
    array.deleteAtIndex(5);
    EXPECT_EQ(array.getCount(), 2u);
    EXPECT_TRUE(array.removeElement(&a));
    EXPECT_FALSE(array.removeElement(&a));
    EXPECT_EQ(array.removeLast(), &b);
    EXPECT_EQ(array.removeLast(), nullptr);
}

// --- Each in a process of its own, with the settings given ---

TEST(SemaphoreChild, Defaults) {
    ZO_CHILD_ONLY();
    std::vector<ZoSemaphore *> made;
    EXPECT_EQ(makeSemaphores(3, made), (std::vector<int>{P, P, P}));
    ZoSemaphoreInfo *info = registry();
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->settingsRead());
    EXPECT_EQ(info->spinCount(), 25);
    EXPECT_EQ(info->spinSleep(), 0);
    EXPECT_EQ(info->control(), 0u);
    EXPECT_EQ(info->semaphores().getCount(), 3u);
    // Maximum count 25: from its free count of 1, 24 more releases go through.
    void *handle = made[0]->platformSemaphore();
    int accepted = 0;
    while (zo::plat::semaphoreRelease(handle))
        ++accepted;
    EXPECT_EQ(accepted, 24);
    deleteAll(made);
    EXPECT_EQ(info->semaphores().getCount(), 0u);

    ZoSemaphore *var = nullptr;
    zoSemaphoreEnter(&var);
    zoSemaphoreExit(&var);
    ASSERT_EQ(var->kind(), P);
    expectMutualExclusion(&var);
    delete var;
}

TEST(SemaphoreChild, LimitOfTwo) {
    ZO_CHILD_ONLY();
    std::vector<ZoSemaphore *> made;
    EXPECT_EQ(makeSemaphores(3, made), (std::vector<int>{P, P, S}));
    EXPECT_EQ(registry()->budget(), 0);
    delete made[0];
    made.erase(made.begin());
    EXPECT_EQ(registry()->budget(), 1);
    // The freed place goes to the next one made; destroying a spin lock frees none.
    EXPECT_EQ(makeSemaphores(2, made), (std::vector<int>{P, S}));
    delete made[1];
    made.erase(made.begin() + 1);
    EXPECT_EQ(makeSemaphores(1, made), (std::vector<int>{S}));
    deleteAll(made);
    EXPECT_EQ(registry()->budget(), 2);
}

// ZO_SEMCONTROL 0x80002: spin locks only, whatever the low byte says.
TEST(SemaphoreChild, SpinLocksOnly) {
    ZO_CHILD_ONLY();
    std::vector<ZoSemaphore *> made;
    EXPECT_EQ(makeSemaphores(4, made), (std::vector<int>{S, S, S, S}));
    deleteAll(made);
    ZoSemaphore *var = nullptr;
    expectMutualExclusion(&var);
    EXPECT_EQ(var->kind(), S);
    EXPECT_EQ(var->platformSemaphore(), nullptr);
    delete var;
}

// ZO_SPIN_COUNT 0 is one attempt per pass.
TEST(SemaphoreChild, SpinCountZero) {
    ZO_CHILD_ONLY();
    ZoSemaphore *var = nullptr;
    expectMutualExclusion(&var);
    EXPECT_EQ(var->kind(), S);
    EXPECT_EQ(registry()->spinCount(), 0);
    delete var;
}

// Settings that are not plain numbers: a negative attempt count still spins (once per
// pass), a negative sleep yields, and a value that starts with no number is the default.
TEST(SemaphoreChild, OddSettings) {
    ZO_CHILD_ONLY();
    ZoSemaphore *var = nullptr;
    zoSemaphoreEnter(&var);
    zoSemaphoreExit(&var);
    ZoSemaphoreInfo *info = registry();
    EXPECT_EQ(info->spinCount(), -4);
    EXPECT_EQ(info->spinSleep(), -7);
    EXPECT_EQ(info->control(), 0x80000u); // " 524288 locks": blanks and the tail ignored
    Region region;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < kRounds / 10; ++i) {
                zoSemaphoreEnter(&var);
                region.pass();
                zoSemaphoreExit(&var);
            }
        });
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(region.counter, 4L * (kRounds / 10));
    delete var;
}

// Message boxes of ZO_SEMCONTROL 0x10001 (reports, a limit of one).
struct Box {
    std::string caption, text;
    uint32_t style;
};

int recordBox(void *context, void *owner, const unsigned char *text, const unsigned char *caption, uint32_t style) {
    EXPECT_EQ(owner, nullptr);
    static_cast<std::vector<Box> *>(context)->push_back(
        {reinterpret_cast<const char *>(caption), reinterpret_cast<const char *>(text), style});
    return zo::plat::kAnswerOk;
}

TEST(SemaphoreChild, Reports) {
    ZO_CHILD_ONLY();
    ASSERT_NE(mdsPerTaskInit(), 0); // the message texts are needed
    std::vector<Box> boxes;
    zo::plat::setMessageBoxSink(recordBox, &boxes);
    std::vector<ZoSemaphore *> made;
    EXPECT_EQ(makeSemaphores(2, made), (std::vector<int>{P, S}));
    deleteAll(made);
    zo::plat::setMessageBoxSink(nullptr, nullptr);
    mdsPerTaskTerm();

    const uint32_t warning = zo::plat::kBoxOk | zo::plat::kBoxIconWarning;
    std::vector<std::pair<std::string, std::string>> expected = {
        {"Semaphore settings", "Spin locks only: No\r\nLimit: 1\r\nSpin count: 25\r\nSpin sleep: 0\r\n"},
        {"Semaphore created", "Platform semaphore: Yes\r\n"},
        {"Semaphore created", "Platform semaphore: No\r\n"},
        {"Semaphore destroyed", "Platform semaphore: Yes:\n\n"},
        {"Semaphore destroyed", "Platform semaphore: No:\n\n"},
    };
    ASSERT_EQ(boxes.size(), expected.size());
    for (size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_EQ(boxes[i].caption, expected[i].first) << i;
        EXPECT_EQ(boxes[i].text, expected[i].second) << i;
        EXPECT_EQ(boxes[i].style, warning) << i;
    }
}

// The registry's end (process detach) deletes what is left, last first, and sets a variable
// that started at 2 back to 2; the next entry makes a new registry.
TEST(SemaphoreChild, RegistryEndDeletesTheRest) {
    ZO_CHILD_ONLY();
    ZoSemaphore *told = marker(2);
    ZoSemaphore *untold = nullptr;
    zoSemaphoreEnter(&told);
    zoSemaphoreExit(&told);
    zoSemaphoreEnter(&untold);
    zoSemaphoreExit(&untold);
    ZoSemaphoreInfo *info = registry();
    ASSERT_EQ(info->semaphores().getCount(), 2u);
    mdsSetPerTaskData(PerTaskSemaphoreTable, nullptr);
    delete info;
    EXPECT_EQ(told, marker(2));
    zoSemaphoreEnter(&told);
    zoSemaphoreExit(&told);
    ASSERT_NE(registry(), nullptr);
    EXPECT_EQ(registry()->semaphores().getCount(), 1u);
    delete told;
}

// Each allocation of a first entry failing in turn: the variable keeps its value (the
// caller runs unlocked), or holds a working semaphore; a platform semaphore that cannot be
// made leaves a spin lock.
TEST(SemaphoreChild, AllocationFailures) {
    ZO_CHILD_ONLY();
    for (uintptr_t start : {0, 2}) {
        bool sawSpinFallback = false;
        uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
            ZoSemaphore *var = marker(start);
            point.arm();
            zoSemaphoreEnter(&var);
            point.disarm();
            if (var == marker(start)) {
                EXPECT_TRUE(point.hit());
                zoSemaphoreExit(&var);
                return;
            }
            zoSemaphoreExit(&var);
            sawSpinFallback |= var->kind() == S;
            EXPECT_EQ(var->ownerVariable(), start == 2 ? &var : nullptr);
            zoSemaphoreEnter(&var);
            zoSemaphoreExit(&var);
            delete var;
        });
        EXPECT_GE(points, 2u); // the semaphore and its platform semaphore, at least
        EXPECT_TRUE(sawSpinFallback);
    }
}

// Many variables entered by all threads at the same moment: each semaphore is made once,
// and every thread that finds one being made waits for it.
TEST(SemaphoreChild, ManyMadeAtOnce) {
    ZO_CHILD_ONLY();
    std::vector<ZoSemaphore *> vars(kLazyVariables, nullptr);
    std::vector<Region> regions(kLazyVariables);
    together([&](int t) {
        for (int i = 0; i < kLazyVariables; ++i) {
            int v = (i + (t % 2) * 7) % kLazyVariables;
            zoSemaphoreEnter(&vars[v]);
            regions[v].pass();
            zoSemaphoreExit(&vars[v]);
        }
    });
    for (int v = 0; v < kLazyVariables; ++v) {
        EXPECT_EQ(regions[v].counter, kThreads) << v;
        EXPECT_EQ(regions[v].most.load(), 1) << v;
    }
    EXPECT_EQ(registry()->semaphores().getCount(), static_cast<uint32_t>(kLazyVariables));
    for (ZoSemaphore *semaphore : vars)
        delete semaphore;
    EXPECT_EQ(registry()->semaphores().getCount(), 0u);
}

// A second thread that enters while the first is still making the semaphore (its creation
// report is held open) gets in only after the first has left.
std::atomic<int> g_reportHeld{0};
std::atomic<bool> g_releaseReport{false};

int holdCreationReport(void *, void *, const unsigned char *, const unsigned char *caption, uint32_t) {
    if (std::string(reinterpret_cast<const char *>(caption)) == "Semaphore created") {
        g_reportHeld = 1;
        while (!g_releaseReport.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return zo::plat::kAnswerOk;
}

TEST(SemaphoreChild, SecondEntrantWaitsForTheMaker) {
    ZO_CHILD_ONLY();
    ASSERT_NE(mdsPerTaskInit(), 0); // the message texts are needed
    zo::plat::setMessageBoxSink(holdCreationReport, nullptr);
    ZoSemaphore *var = nullptr;
    std::atomic<int> firstInside{0}, secondInside{0};
    std::thread first([&] {
        zoSemaphoreEnter(&var);
        firstInside = 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_EQ(secondInside.load(), 0);
        firstInside = 2;
        zoSemaphoreExit(&var);
    });
    while (g_reportHeld.load() == 0)
        std::this_thread::yield();
    EXPECT_EQ(std::atomic_ref<ZoSemaphore *>(var).load(), marker(1));
    std::thread second([&] {
        zoSemaphoreEnter(&var);
        EXPECT_EQ(firstInside.load(), 2);
        secondInside = 1;
        zoSemaphoreExit(&var);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(secondInside.load(), 0); // still waiting for the semaphore to be made
    g_releaseReport = true;
    first.join();
    second.join();
    EXPECT_EQ(secondInside.load(), 1);
    delete var;
    zo::plat::setMessageBoxSink(nullptr, nullptr);
    mdsPerTaskTerm();
}

struct ChildCase {
    const char *name;
    zotest::Environment environment;
};

void PrintTo(const ChildCase &c, std::ostream *out) { *out << c.name; }

class SemaphoreSettings : public ::testing::TestWithParam<ChildCase> {};

TEST_P(SemaphoreSettings, InAFreshProcess) {
    EXPECT_TRUE(zotest::runInChild(std::string("SemaphoreChild.") + GetParam().name, GetParam().environment));
}

INSTANTIATE_TEST_SUITE_P(
    Each, SemaphoreSettings,
    ::testing::Values(ChildCase{"Defaults", {}}, ChildCase{"LimitOfTwo", {{"ZO_SEMCONTROL", "2"}}},
                      ChildCase{"SpinLocksOnly", {{"ZO_SEMCONTROL", "524290"}}},
                      ChildCase{"SpinCountZero", {{"ZO_SPIN_COUNT", "0"}, {"ZO_SEMCONTROL", "524288"}}},
                      ChildCase{"OddSettings",
                                {{"ZO_SPIN_COUNT", "-4"}, {"ZO_SPIN_SLEEP", "-7"}, {"ZO_SEMCONTROL", " 524288 locks"}}},
                      ChildCase{"Reports", {{"ZO_SEMCONTROL", "65537"}}}, ChildCase{"RegistryEndDeletesTheRest", {}},
                      ChildCase{"AllocationFailures", {}}, ChildCase{"ManyMadeAtOnce", {}},
                      ChildCase{"SecondEntrantWaitsForTheMaker", {{"ZO_SEMCONTROL", "65536"}}}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
