// Many threads come and go while each uses its slots; run under ThreadSanitizer too.
#include <zo/pertask.h>

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <thread>
#include <vector>

#include "frame/libstate.h"

namespace {

constexpr int kThreads = 32;
constexpr int kWaves = 40;

// Each thread stores distinct values of its own in every slot and reads them back many
// times while the others do the same; any sharing of records shows up as a wrong value.
void useSlots(int id, std::atomic<int> &errors) {
    int values[PerThreadSlotCount];
    for (int round = 0; round < 50; ++round) {
        for (int slot = 0; slot < PerThreadSlotCount; ++slot) {
            if (slot == PerThreadCharMode)
                continue;
            values[slot] = id * 100 + slot;
            mdsSetPerThreadData(static_cast<PerThreadData>(slot), &values[slot]);
        }
        for (int slot = 0; slot < PerThreadSlotCount; ++slot) {
            if (slot == PerThreadCharMode)
                continue;
            void *seen = mdsGetPerThreadData(static_cast<PerThreadData>(slot));
            if (seen != &values[slot])
                ++errors;
        }
    }
    for (int slot = 0; slot < PerThreadSlotCount; ++slot)
        mdsSetPerThreadData(static_cast<PerThreadData>(slot), nullptr);
}

TEST(PerThreadStress, ThreadsComeAndGoWithoutLosingOrLeakingRecords) {
    ASSERT_EQ(mdsLibraryEntry(ZoProcessDetach), 1);
    ASSERT_EQ(mdsLibraryEntry(ZoProcessAttach), 1);
    std::atomic<int> errors{0};
    uint32_t longest = 0;
    for (int wave = 0; wave < kWaves; ++wave) {
        std::barrier start(kThreads);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t)
            threads.emplace_back([&, t] {
                start.arrive_and_wait();
                // A first call from each thread makes or reuses its record concurrently.
                if (mdsGetPerThreadDataAddress(PerThreadSlot1) == nullptr)
                    ++errors;
                useSlots(wave * kThreads + t, errors);
            });
        for (auto &t : threads)
            t.join();
        uint32_t length = mdsThreadRecordCount();
        longest = std::max(longest, length);
        // Every thread of the wave has ended and released its record: the list holds at most
        // one record per thread that was alive at once, plus this thread's.
        ASSERT_LE(length, uint32_t{kThreads + 1}) << "wave " << wave;
    }
    EXPECT_EQ(errors.load(), 0);
    EXPECT_GE(longest, 2u);
}

TEST(PerThreadStress, StaggeredThreadsReuseReleasedRecords) {
    ASSERT_EQ(mdsLibraryEntry(ZoProcessDetach), 1);
    ASSERT_EQ(mdsLibraryEntry(ZoProcessAttach), 1);
    std::atomic<int> errors{0};
    // At most four threads live at a time, started as others end.
    std::vector<std::thread> live;
    for (int i = 0; i < 200; ++i) {
        if (live.size() == 4) {
            live.front().join();
            live.erase(live.begin());
        }
        live.emplace_back([&, i] { useSlots(i, errors); });
    }
    for (auto &t : live)
        t.join();
    EXPECT_EQ(errors.load(), 0);
    EXPECT_LE(mdsThreadRecordCount(), 5u + 1u);
}

} // namespace
