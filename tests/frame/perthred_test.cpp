#include <zo/pertask.h>
#include <zo/zocritse.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "frame/libstate.h"
#include "platform/codepage.h"
#include "support/alloc_failure.h"

namespace {

TEST(PerTask, SlotsStoreAndOutOfRangeIsHarmless) {
    int value = 5;
    mdsSetPerTaskData(PerTaskSlot16, &value);
    EXPECT_EQ(mdsGetPerTaskData(PerTaskSlot16), &value);
    EXPECT_EQ(*mdsGetPerTaskDataAddress(PerTaskSlot16), &value);
    mdsSetPerTaskData(PerTaskSlot16, nullptr);
    mdsSetPerTaskData(static_cast<PerTaskData>(17), &value);
    EXPECT_EQ(mdsGetPerTaskData(static_cast<PerTaskData>(17)), nullptr);
    EXPECT_EQ(mdsGetPerTaskDataAddress(static_cast<PerTaskData>(-1)), nullptr);
    // The library keeps the head of the thread list in its own slot.
    EXPECT_NE(mdsGetPerTaskData(PerTaskThreadList), nullptr);
    EXPECT_NE(mdsPerTaskRecord().ownModule, nullptr);
}

TEST(PerThread, EachThreadHasItsOwnSlots) {
    int mine = 1;
    mdsSetPerThreadData(PerThreadSlot3, &mine);
    void *seenByOther = &mine;
    std::thread([&] { seenByOther = mdsGetPerThreadData(PerThreadSlot3); }).join();
    EXPECT_EQ(seenByOther, nullptr);
    EXPECT_EQ(mdsGetPerThreadData(PerThreadSlot3), &mine);
    EXPECT_EQ(*mdsGetPerThreadDataAddress(PerThreadSlot3), &mine);
    mdsSetPerThreadData(PerThreadSlot3, nullptr);
    EXPECT_EQ(mdsGetPerThreadData(static_cast<PerThreadData>(7)), nullptr);
    EXPECT_EQ(mdsGetPerThreadDataAddress(static_cast<PerThreadData>(-1)), nullptr);
}

// Starts over with a list that holds only the calling thread's record.
void freshList() {
    ASSERT_EQ(mdsLibraryEntry(ZoProcessDetach), 1);
    ASSERT_EQ(mdsLibraryEntry(ZoProcessAttach), 1);
}

// A thread's slots live in its record, so the address of a slot identifies the record.
TEST(PerThread, RecordOfAnEndedThreadIsReusedWithClearedSlots) {
    freshList();
    static int marker;
    void **firstAddress = nullptr;
    std::thread([&] {
        mdsSetPerThreadData(PerThreadSlot1, &marker);
        firstAddress = mdsGetPerThreadDataAddress(PerThreadSlot1);
    }).join();
    void **secondAddress = nullptr;
    void *secondValue = &marker;
    std::thread([&] {
        secondValue = mdsGetPerThreadData(PerThreadSlot1);
        secondAddress = mdsGetPerThreadDataAddress(PerThreadSlot1);
    }).join();
    EXPECT_EQ(secondAddress, firstAddress) << "the released record is reused";
    EXPECT_EQ(secondValue, nullptr) << "a reused record reads null slots";
}

TEST(PerThread, ExplicitThreadDetachReleasesAndNextCallGetsFreshRecord) {
    static int marker;
    std::thread([&] {
        mdsSetPerThreadData(PerThreadSlot2, &marker);
        EXPECT_EQ(mdsLibraryEntry(ZoThreadDetach), 1);
        // The thread's record is released; asking again claims a record with clear slots.
        EXPECT_EQ(mdsGetPerThreadData(PerThreadSlot2), nullptr);
        EXPECT_EQ(mdsLibraryEntry(ZoThreadAttach), 1);
    }).join();
}

TEST(PerThread, AllocationFailureYieldsNullAndStoresNothing) {
    freshList();
    std::thread([] {
        // The list holds only the main thread's record, so this thread needs a new one.
        zotest::NoMemory noMemory;
        int value = 3;
        mdsSetPerThreadData(PerThreadSlot1, &value);
        EXPECT_EQ(mdsGetPerThreadDataAddress(PerThreadSlot1), nullptr);
        EXPECT_EQ(mdsGetPerThreadData(PerThreadSlot1), nullptr);
        EXPECT_EQ(mdsLibraryEntry(ZoThreadAttach), 0);
    }).join();
}

TEST(PerThread, NullAfterProcessDetachAndBackAfterAttach) {
    int value = 9;
    mdsSetPerThreadData(PerThreadSlot4, &value);
    ASSERT_EQ(mdsLibraryEntry(ZoProcessDetach), 1);
    EXPECT_EQ(mdsGetPerThreadData(PerThreadSlot4), nullptr);
    EXPECT_EQ(mdsGetPerThreadDataAddress(PerThreadSlot4), nullptr);
    mdsSetPerThreadData(PerThreadSlot4, &value); // no list: nothing is stored, nothing breaks
    ASSERT_EQ(mdsLibraryEntry(ZoProcessAttach), 1);
    EXPECT_EQ(mdsGetPerThreadData(PerThreadSlot4), nullptr);
    mdsSetPerThreadData(PerThreadSlot4, &value);
    EXPECT_EQ(mdsGetPerThreadData(PerThreadSlot4), &value);
    mdsSetPerThreadData(PerThreadSlot4, nullptr);
}

TEST(PerThread, ProcessAttachFailsWithoutMemory) {
    ASSERT_EQ(mdsLibraryEntry(ZoProcessDetach), 1);
    {
        zotest::NoMemory noMemory;
        EXPECT_EQ(mdsLibraryEntry(ZoProcessAttach), 0);
    }
    EXPECT_EQ(mdsGetPerThreadData(PerThreadSlot1), nullptr);
    ASSERT_EQ(mdsLibraryEntry(ZoProcessAttach), 1);
}

class CharStepping : public ::testing::Test {
protected:
    void TearDown() override {
        mdsSetPerThreadData(PerThreadCharMode, nullptr);
        zo::plat::setCodePageForTest(1252);
    }
    uint32_t utf8 = ZoCharModeUtf8;
    uint32_t other = 1;
};

TEST_F(CharStepping, Utf8ModeStepsByLeadByteRanges) {
    mdsSetPerThreadData(PerThreadCharMode, &utf8);
    EXPECT_EQ(mdsCharLength(0x41), 1u);
    EXPECT_EQ(mdsCharLength(0x80), 1u);
    EXPECT_EQ(mdsCharLength(0xBF), 1u);
    EXPECT_EQ(mdsCharLength(0xC0), 2u);
    EXPECT_EQ(mdsCharLength(0xDF), 2u);
    EXPECT_EQ(mdsCharLength(0xE3), 3u);
    EXPECT_EQ(mdsCharLength(0xEF), 3u);
    EXPECT_EQ(mdsCharLength(0xF0), 1u) << "four-byte forms are stepped one byte at a time";
    EXPECT_EQ(mdsCharLength(0xFF), 1u);
    // The lead-byte rule ignores the thread's mode.
    EXPECT_EQ(mdsLeadByteLengthTable()[0xE3], 1);
}

TEST_F(CharStepping, AnsiModeFollowsTheCodePage) {
    EXPECT_EQ(mdsCharLength(0xE3), 1u) << "code page 1252 has no lead bytes";
    mdsSetPerThreadData(PerThreadCharMode, &other);
    EXPECT_EQ(mdsCharLength(0xE3), 1u) << "a mode word other than 2 means the ANSI code page";
    ASSERT_TRUE(zo::plat::setCodePageForTest(932));
    EXPECT_EQ(mdsCharLength(0xE3), 2u);
    EXPECT_EQ(mdsCharLength(0x81), 2u);
    EXPECT_EQ(mdsCharLength(0x9F), 2u);
    EXPECT_EQ(mdsCharLength(0xA0), 1u) << "half-width katakana is single-byte";
    EXPECT_EQ(mdsCharLength(0xFC), 2u);
    EXPECT_EQ(mdsCharLength(0xFD), 1u);
    EXPECT_EQ(mdsCharLength(0x5C), 1u);
}

TEST_F(CharStepping, WalkNeverSplitsDoubleByteCharacters) {
    ASSERT_TRUE(zo::plat::setCodePageForTest(932));
    // "a", ideographic space 0x81 0x40, a character whose trail byte is 0x5C, "b".
    const unsigned char text[] = {'a', 0x81, 0x40, 0x95, 0x5C, 'b', 0};
    std::vector<const unsigned char *> starts;
    const unsigned char *len = mdsCharLengthTable();
    for (const unsigned char *p = text; *p != 0; p += len[*p])
        starts.push_back(p);
    EXPECT_EQ(starts, (std::vector<const unsigned char *>{text, text + 1, text + 3, text + 5}));
}

TEST(CodePage, SelectionAndLeadBytesOfEachDoubleBytePage) {
    EXPECT_FALSE(zo::plat::setCodePageForTest(65001));
    EXPECT_FALSE(zo::plat::setCodePageForTest(1249));
    for (unsigned cp : {936u, 949u, 950u}) {
        ASSERT_TRUE(zo::plat::setCodePageForTest(cp));
        EXPECT_EQ(zo::plat::ansiCodePage(), cp);
        EXPECT_EQ(zo::plat::oemCodePage(), cp);
        EXPECT_FALSE(zo::plat::isLeadByte(0x80));
        EXPECT_TRUE(zo::plat::isLeadByte(0x81));
        EXPECT_TRUE(zo::plat::isLeadByte(0xFE));
        EXPECT_FALSE(zo::plat::isLeadByte(0xFF));
    }
    for (unsigned cp = 1250; cp <= 1258; ++cp) {
        ASSERT_TRUE(zo::plat::setCodePageForTest(cp));
        EXPECT_EQ(zo::plat::oemCodePage(), 437u);
        for (unsigned b = 0; b < 256; ++b)
            ASSERT_FALSE(zo::plat::isLeadByte(static_cast<unsigned char>(b)));
    }
    zo::plat::setCodePageForTest(1252);
}

TEST(CriticalSections, DisabledSectionOwnsNoLockAndIsSkipped) {
    ZoCriticalSection disabled(1);
    EXPECT_EQ(disabled.flags(), uint32_t{ZoCriticalSection::Disabled});
    disabled.enter();
    disabled.leave();
    EXPECT_EQ(disabled.entryCount(), 0u);

    ZoCriticalSection enabled(0);
    EXPECT_EQ(enabled.flags(), uint32_t{ZoCriticalSection::Initialised});
    enabled.enter();
    enabled.enter(); // recursive
    enabled.leave();
    enabled.leave();
    EXPECT_EQ(enabled.entryCount(), 2u);
}

TEST(CriticalSections, StaticSectionsAreEnabledUntilDisabled) {
    for (auto which : {ZoStaticLock::DbLibCount, ZoStaticLock::ThreadList, ZoStaticLock::BlockCache,
                       ZoStaticLock::GeneralMemory, ZoStaticLock::Registry})
        EXPECT_EQ(zoStaticCriticalSection(which).flags() & ZoCriticalSection::Disabled, 0u);
}

// Disabling is for good, so it runs in a child process.
void disableAndCheckWhichSectionsAreSkipped() {
    zoDisableStaticCriticalSections();
    ZoCriticalSection &threadList = zoStaticCriticalSection(ZoStaticLock::ThreadList);
    EXPECT_NE(threadList.flags() & ZoCriticalSection::Disabled, 0u);
    EXPECT_NE(zoStaticCriticalSection(ZoStaticLock::BlockCache).flags() & ZoCriticalSection::Disabled, 0u);
    EXPECT_NE(zoStaticCriticalSection(ZoStaticLock::GeneralMemory).flags() & ZoCriticalSection::Disabled, 0u);
    EXPECT_EQ(zoStaticCriticalSection(ZoStaticLock::DbLibCount).flags() & ZoCriticalSection::Disabled, 0u);
    EXPECT_EQ(zoStaticCriticalSection(ZoStaticLock::Registry).flags() & ZoCriticalSection::Disabled, 0u);
    uint32_t before = threadList.entryCount();
    std::thread([] { mdsGetPerThreadData(PerThreadSlot1); }).join(); // creates or reuses a record
    EXPECT_EQ(threadList.entryCount(), before);
    ZoCriticalSection &dbLibCount = zoStaticCriticalSection(ZoStaticLock::DbLibCount);
    uint32_t dbLibBefore = dbLibCount.entryCount();
    ZoLockGuard guard(dbLibCount);
    EXPECT_EQ(dbLibCount.entryCount(), dbLibBefore + 1);
}

TEST(CriticalSections, DisablingSkipsThreadListLockButNotTheOthers) {
    EXPECT_EXIT(
        {
            disableAndCheckWhichSectionsAreSkipped();
            std::exit(::testing::Test::HasFailure() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
