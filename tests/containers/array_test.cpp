#include <zo/zoarray.h>

#include <gtest/gtest.h>

#include <vector>

#include "containers/counted.h"
#include "support/alloc_failure.h"
#include "support/status.h"

using zotest::Keyed;

namespace {

std::vector<int> keysOf(const ZoArray &array) {
    std::vector<int> keys;
    for (uint32_t i = 0; i < array.getCount(); ++i)
        keys.push_back(static_cast<const Keyed *>(array.getAt(i))->key);
    return keys;
}

class ZoArrayTest : public ::testing::Test {
protected:
    void SetUp() override { Keyed::live = 0; }
    void TearDown() override { EXPECT_EQ(Keyed::live, 0) << "objects leaked or destroyed twice"; }
};

TEST_F(ZoArrayTest, GrowsBySixteenSlotsFromNothing) {
    ZoArray array;
    array.setDeleteContents(true);
    EXPECT_EQ(array.getAllocated(), 0u);
    EXPECT_EQ(array.getGrowBy(), 16);
    for (int i = 0; i < 33; ++i) {
        ASSERT_EQ(array.append(new Keyed(i)), ZoSuccess);
        uint32_t expected = i < 16 ? 16 : (i < 32 ? 32 : 48);
        EXPECT_EQ(array.getAllocated(), expected) << "after " << i + 1 << " appends";
    }
    EXPECT_EQ(array.getCount(), 33u);
    // Slots beyond the elements are null after growth.
    for (uint32_t i = 33; i < array.getAllocated(); ++i)
        EXPECT_EQ(array.getAt(i), nullptr);
}

TEST_F(ZoArrayTest, InsertAtFrontAndEndMovesTheRightSlots) {
    ZoArray array;
    array.setDeleteContents(true);
    for (int i = 1; i <= 3; ++i)
        zotest::ok(array.append(new Keyed(i)));
    ASSERT_EQ(array.addAtIndex(new Keyed(0), 0), ZoSuccess);
    ASSERT_EQ(array.addAtIndex(new Keyed(9), array.getCount()), ZoSuccess);
    ASSERT_EQ(array.addAtIndex(new Keyed(5), 2), ZoSuccess);
    EXPECT_EQ(keysOf(array), (std::vector<int>{0, 1, 5, 2, 3, 9}));
}

TEST_F(ZoArrayTest, RemoveUnlinksAndClearsTheVacatedSlot) {
    ZoArray array;
    Keyed a(1), b(2), c(3);
    zotest::ok(array.append(&a));
    zotest::ok(array.append(&b));
    zotest::ok(array.append(&c));
    array.removeAtIndex(0);
    EXPECT_EQ(keysOf(array), (std::vector<int>{2, 3}));
    EXPECT_EQ(array.getAt(2), nullptr);
    array.removeAtIndex(1);
    EXPECT_EQ(keysOf(array), (std::vector<int>{2}));
    EXPECT_EQ(Keyed::live, 3);
}

TEST_F(ZoArrayTest, DeleteAtIndexDestroysOneAndSkipsNull) {
    ZoArray array;
    zotest::ok(array.append(new Keyed(1)));
    zotest::ok(array.append(nullptr));
    zotest::ok(array.append(new Keyed(3)));
    array.deleteAtIndex(1);
    EXPECT_EQ(array.getCount(), 2u);
    array.deleteAtIndex(0);
    EXPECT_EQ(keysOf(array), (std::vector<int>{3}));
    EXPECT_EQ(Keyed::live, 1);
    array.deleteContents();
}

TEST_F(ZoArrayTest, SparseDeleteContentsReachesSlotsBeyondTheCount) {
    ZoArray sparse;
    ASSERT_EQ(sparse.setInitialSize(8), ZoSuccess);
    EXPECT_EQ(sparse.getAllocated(), 8u);
    EXPECT_EQ(sparse.getCount(), 0u);
    sparse.setSparse(true);
    sparse.setAt(2, new Keyed(2));
    sparse.setAt(7, new Keyed(7));
    sparse.deleteContents();
    EXPECT_EQ(Keyed::live, 0);
    EXPECT_EQ(sparse.getAt(2), nullptr);
    EXPECT_EQ(sparse.getAt(7), nullptr);

    // A plain array visits only its elements: a slot written beyond them survives.
    ZoArray plain;
    Keyed outside(5);
    zotest::ok(plain.append(new Keyed(0)));
    plain.setAt(3, &outside);
    plain.deleteContents();
    EXPECT_EQ(plain.getCount(), 0u);
    EXPECT_EQ(plain.getAt(3), &outside);
    EXPECT_EQ(Keyed::live, 1);
}

TEST_F(ZoArrayTest, SetInitialSizeOnlyOnAnArrayWithoutBuffer) {
    ZoArray array;
    ASSERT_EQ(array.setInitialSize(65535), ZoSuccess);
    EXPECT_EQ(array.getAllocated(), 65535u);
    EXPECT_EQ(array.setInitialSize(4), ZoFailure);
    EXPECT_EQ(array.getAllocated(), 65535u);
}

TEST_F(ZoArrayTest, ShrinkToZeroFreesAndLaterAppendAllocatesAgain) {
    ZoArray array;
    Keyed a(1);
    zotest::ok(array.append(&a));
    ASSERT_EQ(array.shrink(0), ZoSuccess);
    EXPECT_EQ(array.getAllocated(), 0u);
    EXPECT_EQ(array.getCount(), 0u);
    EXPECT_EQ(array.getOptions() & ZoArray::OwnsBuffer, 0u);
    ASSERT_EQ(array.append(&a), ZoSuccess);
    EXPECT_EQ(array.getAllocated(), 16u);
}

TEST_F(ZoArrayTest, ShrinkKeepsTheFirstSlots) {
    ZoArray array;
    array.setDeleteContents(true);
    for (int i = 0; i < 5; ++i)
        zotest::ok(array.append(new Keyed(i)));
    Keyed *dropped[2] = {static_cast<Keyed *>(array.getAt(3)), static_cast<Keyed *>(array.getAt(4))};
    ASSERT_EQ(array.shrink(3), ZoSuccess);
    EXPECT_EQ(array.getAllocated(), 3u);
    EXPECT_EQ(keysOf(array), (std::vector<int>{0, 1, 2}));
    delete dropped[0];
    delete dropped[1];
    // The next add grows from the shrunk size.
    ASSERT_EQ(array.append(new Keyed(3)), ZoSuccess);
    EXPECT_EQ(array.getAllocated(), 19u);
}

TEST_F(ZoArrayTest, DoubleGrowthNeedsABufferFirst) {
    ZoArray array;
    Keyed a(1);
    array.setGrowBy(0);
    EXPECT_EQ(array.append(&a), ZoFailure) << "doubling nothing gives no room";
    EXPECT_EQ(array.getCount(), 0u);
    ASSERT_EQ(array.setInitialSize(1), ZoSuccess);
    for (uint32_t n = 1; n <= 5; ++n)
        ASSERT_EQ(array.append(&a), ZoSuccess);
    EXPECT_EQ(array.getAllocated(), 8u);
}

TEST_F(ZoArrayTest, DoesExistIsIdentityNotEquality) {
    ZoArray array;
    Keyed a(1), twin(1);
    zotest::ok(array.append(&a));
    EXPECT_EQ(array.doesExist(&a), 1u);
    EXPECT_EQ(array.doesExist(&twin), 0u);
    EXPECT_EQ(a.compare(&twin), 0);
}

TEST_F(ZoArrayTest, OutsideBufferIsCopiedOnGrowthAndNeverFreed) {
    std::vector<void *> outside(2, nullptr);
    Keyed a(1), b(2), c(3);
    outside[0] = &a;
    outside[1] = &b;
    {
        ZoArray array;
        array.useBuffer(outside.data(), 2, 2);
        EXPECT_EQ(array.getOptions() & ZoArray::OwnsBuffer, 0u);
        ASSERT_EQ(array.append(&c), ZoSuccess);
        EXPECT_NE(array.getOptions() & ZoArray::OwnsBuffer, 0u);
        EXPECT_EQ(array.getAllocated(), 18u);
        EXPECT_EQ(keysOf(array), (std::vector<int>{1, 2, 3}));
        array.removeAtIndex(0);
    }
    EXPECT_EQ(outside[0], &a) << "growth copied out of the outside buffer, not into it";
    ZoArray other;
    other.useBuffer(outside.data(), 2, 2);
    EXPECT_EQ(other.shrink(1), ZoSuccess);
    EXPECT_EQ(other.getAllocated(), 1u);
}

TEST_F(ZoArrayTest, ExchangeSwapsBuffersButNotOptions) {
    ZoArray a, b;
    a.setDeleteContents(true);
    zotest::ok(a.append(new Keyed(1)));
    a.exchange(b);
    EXPECT_EQ(a.getCount(), 0u);
    EXPECT_EQ(a.getAllocated(), 0u);
    ASSERT_EQ(b.getCount(), 1u);
    EXPECT_NE(b.getOptions() & ZoArray::OwnsBuffer, 0u);
    EXPECT_EQ(b.getOptions() & ZoArray::OwnsContents, 0u);
    b.deleteContents();
}

TEST_F(ZoArrayTest, DestructorDeletesOnlyWhenOwningContents) {
    Keyed kept(1);
    {
        ZoArray borrowed;
        zotest::ok(borrowed.append(&kept));
    }
    EXPECT_EQ(kept.key, 1);
    {
        ZoArray owning;
        owning.setDeleteContents(true);
        zotest::ok(owning.append(new Keyed(2)));
        zotest::ok(owning.append(new Keyed(3)));
    }
    EXPECT_EQ(Keyed::live, 1);
}

TEST_F(ZoArrayTest, NumberKindsHoldFullThirtyTwoBitValues) {
    ZoArrayU32 u;
    zotest::ok(u.append(0xFFFFFFFFu));
    zotest::ok(u.addAtIndex(7u, 0));
    EXPECT_EQ(u.getAt(0), 7u);
    EXPECT_EQ(u.getAt(1), 0xFFFFFFFFu);
    EXPECT_EQ(u.doesExist(0xFFFFFFFFu), 1u);
    EXPECT_EQ(u.doesExist(8u), 0u);

    ZoArrayS32 s;
    zotest::ok(s.append(INT32_MIN));
    zotest::ok(s.append(-1));
    zotest::ok(s.append(5));
    EXPECT_EQ(s.getAt(0), INT32_MIN);
    EXPECT_EQ(s.getAt(1), -1);
    EXPECT_EQ(s.doesExist(-1), 1u);
    EXPECT_EQ(s.doesExist(1), 0u);
}

// Blocks freed by the array itself are checked by the leak sanitizer; a double free
// would abort the run.
TEST_F(ZoArrayTest, PVoidArrayFreesEachBlockOnce) {
    {
        auto *blocks = new ZoArrayPVoid;
        blocks->setDeleteContents(true);
        for (int i = 0; i < 20; ++i)
            ASSERT_EQ(blocks->append(ramAlloc(32)), ZoSuccess);
        zotest::ok(blocks->append(nullptr));
        blocks->deleteAtIndex(0);
        EXPECT_EQ(blocks->getCount(), 20u);
        delete static_cast<ZoArray *>(blocks);
    }
    ZoArrayPVoid sparse;
    ASSERT_EQ(sparse.setInitialSize(4), ZoSuccess);
    sparse.setSparse(true);
    sparse.setAt(3, ramAlloc(8));
    sparse.deleteContents();
    EXPECT_EQ(sparse.getAt(3), nullptr);
}

TEST_F(ZoArrayTest, FailedGrowthKeepsContents) {
    ZoArray array;
    array.setDeleteContents(true);
    for (int i = 0; i < 16; ++i)
        zotest::ok(array.append(new Keyed(i)));
    std::vector<int> before = keysOf(array);
    uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        Keyed *extra = new Keyed(99);
        point.arm();
        ZoStatus status = array.addAtIndex(extra, 3);
        if (point.disarm()) {
            EXPECT_EQ(status, ZoFailure);
            EXPECT_EQ(keysOf(array), before);
            EXPECT_EQ(array.getAllocated(), 16u);
            delete extra;
        } else {
            EXPECT_EQ(status, ZoSuccess);
            EXPECT_EQ(array.getAllocated(), 32u);
        }
    });
    EXPECT_EQ(points, 1u);
    EXPECT_EQ(array.getCount(), 17u);
}

TEST_F(ZoArrayTest, FailedInitialSizeAndShrinkKeepTheArray) {
    ZoArray array;
    {
        zotest::NoMemory none;
        EXPECT_EQ(array.setInitialSize(10), ZoFailure);
    }
    EXPECT_EQ(array.getAllocated(), 0u);
    ASSERT_EQ(array.setInitialSize(10), ZoSuccess);
    Keyed a(1);
    zotest::ok(array.append(&a));
    {
        zotest::NoMemory none;
        EXPECT_EQ(array.shrink(5), ZoFailure);
    }
    EXPECT_EQ(array.getAllocated(), 10u);
    EXPECT_EQ(array.getCount(), 1u);
}

} // namespace
