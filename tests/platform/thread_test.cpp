#include "platform/thread.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace plat = zo::plat;

namespace {

using Clock = std::chrono::steady_clock;

TEST(PlatformSemaphore, CountStaysWithinItsMaximum) {
    EXPECT_EQ(plat::semaphoreCreate(0, 0), nullptr);
    EXPECT_EQ(plat::semaphoreCreate(3, 2), nullptr);
    void *s = plat::semaphoreCreate(1, 3);
    ASSERT_NE(s, nullptr);
    EXPECT_TRUE(plat::semaphoreRelease(s));
    EXPECT_TRUE(plat::semaphoreRelease(s));
    EXPECT_FALSE(plat::semaphoreRelease(s));
    EXPECT_EQ(plat::semaphoreCount(s), 3u);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(plat::semaphoreWait(s, 0));
    auto began = Clock::now();
    EXPECT_FALSE(plat::semaphoreWait(s, 30));
    EXPECT_GE(Clock::now() - began, std::chrono::milliseconds(30));
    plat::semaphoreClose(s);
}

TEST(PlatformSemaphore, ReleaseWakesASleepingWaiter) {
    void *s = plat::semaphoreCreate(0, 1);
    std::atomic<int> woke{0};
    std::thread waiter([&] { woke = plat::semaphoreWait(s, plat::kWaitForever) ? 1 : 2; });
    std::this_thread::sleep_for(std::chrono::milliseconds(20)); // long past spinning
    EXPECT_EQ(woke.load(), 0);
    EXPECT_TRUE(plat::semaphoreRelease(s));
    waiter.join();
    EXPECT_EQ(woke.load(), 1);
    plat::semaphoreClose(s);
}

// Producers and consumers through a small semaphore: every unit released is taken once,
// nobody sleeps through a release, and the run ends.
TEST(PlatformSemaphore, NoUnitLostOrDuplicated) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    constexpr int kPairs = 4, kUnits = 2000;
#else
    constexpr int kPairs = 4, kUnits = 20000;
#endif
    void *s = plat::semaphoreCreate(0, 2);
    std::atomic<long> taken{0};
    std::vector<std::thread> threads;
    for (int p = 0; p < kPairs; ++p) {
        threads.emplace_back([&] {
            for (int i = 0; i < kUnits; ++i)
                while (!plat::semaphoreRelease(s))
                    std::this_thread::yield();
        });
        threads.emplace_back([&] {
            for (int i = 0; i < kUnits; ++i) {
                ASSERT_TRUE(plat::semaphoreWait(s, plat::kWaitForever));
                ++taken;
            }
        });
    }
    for (auto &thread : threads)
        thread.join();
    EXPECT_EQ(taken.load(), long{kPairs} * kUnits);
    EXPECT_EQ(plat::semaphoreCount(s), 0u);
    plat::semaphoreClose(s);
}

// The taker may close the semaphore the moment it has its unit: the releaser touches
// nothing of it after the release (the address sanitizer watches).
TEST(PlatformSemaphore, ClosedRightAfterTheUnitIsTaken) {
    for (int round = 0; round < 100; ++round) {
        void *s = plat::semaphoreCreate(0, 1);
        std::thread releaser([s] { EXPECT_TRUE(plat::semaphoreRelease(s)); });
        EXPECT_TRUE(plat::semaphoreWait(s, plat::kWaitForever));
        plat::semaphoreClose(s);
        releaser.join();
    }
}

uint32_t waitForRelease(void *argument) {
    auto *release = static_cast<std::atomic<int> *>(argument);
    while (release->load() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 0;
}

TEST(PlatformThread, StartKnowsTheIdAndJoinWaitsAtMostAsLongAsAsked) {
    std::atomic<int> release{0};
    uint32_t id = 0;
    void *thread = plat::threadStart(waitForRelease, &release, &id);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(id, 0u);
    EXPECT_NE(id, plat::currentThreadId());
    EXPECT_FALSE(plat::threadJoin(thread, 20));
    release = 1;
    EXPECT_TRUE(plat::threadJoin(thread, plat::kWaitForever));
}

TEST(PlatformThread, IdsAreThePerThreadKernelIds) {
    EXPECT_EQ(plat::currentThreadId(), static_cast<uint32_t>(gettid()));
    EXPECT_EQ(plat::currentProcessId(), static_cast<uint32_t>(getpid()));
    uint32_t other = 0;
    std::thread([&] { other = plat::currentThreadId(); }).join();
    EXPECT_NE(other, plat::currentThreadId());
    // A forked child's thread has an id of its own, not the one its parent's thread kept.
    pid_t child = fork();
    if (child == 0)
        _exit(plat::currentThreadId() == static_cast<uint32_t>(getpid()) ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

} // namespace
