#include <zo/ramalloc.h>
#include <zo/zoobject.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "support/alloc_failure.h"

namespace {

TEST(RamAlloc, ZeroByteRequestsGiveFreeableBlocks) {
    void *a = ramAlloc(0);
    void *z = ramAllocZ(0);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(*static_cast<unsigned char *>(z), 0);
    ramFree(a);
    ramFree(z);
    ramFree(nullptr);
}

TEST(RamAlloc, ZeroFilledBlockIsZero) {
    auto *block = static_cast<unsigned char *>(ramAllocZ(4096));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 4096; ++i)
        ASSERT_EQ(block[i], 0) << i;
    ramFree(block);
}

TEST(RamAlloc, CountedStringCopiesEmbeddedNulsAndTerminates) {
    const unsigned char bytes[] = {'a', 0, 'b'};
    unsigned char *copy = ramAllocStr(bytes, 3);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::memcmp(copy, "a\0b\0", 4), 0);
    ramFree(copy);

    unsigned char *plain = ramAllocStr(reinterpret_cast<const unsigned char *>("driver"));
    ASSERT_NE(plain, nullptr);
    EXPECT_STREQ(reinterpret_cast<char *>(plain), "driver");
    ramFree(plain);
}

TEST(RamResize, GrowsKeepingPrefixAndMakesNewBlockFromNull) {
    void *block = nullptr;
    ASSERT_EQ(ramResize(&block, 8), ZoSuccess);
    std::memcpy(block, "0123456", 8);
    ASSERT_EQ(ramResize(&block, 100000), ZoSuccess);
    EXPECT_STREQ(static_cast<char *>(block), "0123456");
    ASSERT_EQ(ramResize(&block, 3), ZoSuccess);
    EXPECT_EQ(std::memcmp(block, "012", 3), 0);
    // A resize to 0 keeps a valid block rather than freeing the caller's pointer behind it.
    ASSERT_EQ(ramResize(&block, 0), ZoSuccess);
    ASSERT_NE(block, nullptr);
    ramFree(block);
}

TEST(RamResize, FailureKeepsOldBlockIntact) {
    void *block = ramAllocStr(reinterpret_cast<const unsigned char *>("precious"));
    void *before = block;
    {
        zotest::NoMemory noMemory;
        EXPECT_EQ(ramResize(&block, 1 << 20), ZoFailure);
    }
    EXPECT_EQ(block, before);
    EXPECT_STREQ(static_cast<char *>(block), "precious");
    ramFree(block);
}

TEST(RamAllocHook, FailsExactlyTheNthAllocationOrEveryOneFromIt) {
    ramTestFailAllocation(3, false);
    std::vector<void *> blocks;
    for (int i = 0; i < 5; ++i)
        blocks.push_back(ramAlloc(16));
    EXPECT_EQ(ramTestFailAllocation(0, false), 5u);
    EXPECT_NE(blocks[0], nullptr);
    EXPECT_NE(blocks[1], nullptr);
    EXPECT_EQ(blocks[2], nullptr);
    EXPECT_NE(blocks[3], nullptr);
    EXPECT_NE(blocks[4], nullptr);
    for (void *b : blocks)
        ramFree(b);

    ramTestFailAllocation(2, true);
    void *first = ramAllocZ(1);
    unsigned char *second = ramAllocStr(reinterpret_cast<const unsigned char *>("x"));
    void *third = ramAlloc(1);
    ramTestFailAllocation(0, false);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(third, nullptr);
    ramFree(first);
}

struct Probe : ZoObject {
    int value = 7;
};

TEST(ZoObjectTest, RootCompareIsEqualAndNewReportsExhaustionAsNull) {
    Probe a, b;
    EXPECT_EQ(a.compare(&b), 0);
    EXPECT_EQ(b.compare(nullptr), 0);
    {
        zotest::NoMemory noMemory;
        EXPECT_EQ(new Probe, nullptr);
    }
    Probe *p = new Probe;
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->value, 7);
    delete p;
}

TEST(AllocationFailureDriver, VisitsEveryAllocationOfAStep) {
    std::vector<uint32_t> failedAt;
    uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        point.arm();
        void *a = ramAlloc(1);
        void *b = ramAlloc(1);
        point.disarm();
        if (point.hit())
            failedAt.push_back(a == nullptr ? 1 : b == nullptr ? 2 : 0);
        ramFree(a);
        ramFree(b);
    });
    EXPECT_EQ(points, 2u);
    EXPECT_EQ(failedAt, (std::vector<uint32_t>{1, 2}));
}

} // namespace
