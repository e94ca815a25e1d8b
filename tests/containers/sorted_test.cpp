#include <zo/zosorted.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "containers/counted.h"
#include "support/alloc_failure.h"
#include "support/status.h"

using zotest::Keyed;

namespace {

std::vector<uint32_t> valuesOf(const ZoSortedArrayU32 &array) {
    std::vector<uint32_t> values;
    for (uint32_t i = 0; i < array.getCount(); ++i)
        values.push_back(array.getAt(i));
    return values;
}

std::vector<std::pair<int, int>> keysAndTags(const ZoSortedArray &array) {
    std::vector<std::pair<int, int>> out;
    for (uint32_t i = 0; i < array.getCount(); ++i) {
        auto *k = static_cast<const Keyed *>(array.getAt(i));
        out.emplace_back(k->key, k->tag);
    }
    return out;
}

TEST(ZoSortedArrayU32Test, OrdersAndFindsInsertionPoints) {
    ZoSortedArrayU32 array;
    uint32_t index = 99;
    EXPECT_EQ(array.findIndexOf(1, index), 0u);
    EXPECT_EQ(index, 0u);
    for (uint32_t v : {5u, 3u, 5u, 1u})
        ASSERT_EQ(array.add(v), ZoSuccess);
    EXPECT_EQ(valuesOf(array), (std::vector<uint32_t>{1, 3, 5, 5}));
    EXPECT_EQ(array.findIndexOf(4, index), 0u);
    EXPECT_EQ(index, 2u);
    EXPECT_EQ(array.findIndexOf(0, index), 0u);
    EXPECT_EQ(index, 0u);
    EXPECT_EQ(array.findIndexOf(6, index), 0u);
    EXPECT_EQ(index, 4u);
    EXPECT_EQ(array.findIndexOf(3, index), 1u);
    EXPECT_EQ(index, 1u);
}

TEST(ZoSortedArrayU32Test, ComparesUnsigned) {
    ZoSortedArrayU32 array;
    for (uint32_t v : {0x80000000u, 1u, 0xFFFFFFFFu, 0u})
        zotest::ok(array.add(v));
    EXPECT_EQ(valuesOf(array), (std::vector<uint32_t>{0u, 1u, 0x80000000u, 0xFFFFFFFFu}));
}

TEST(ZoSortedArrayU32Test, MatchesASortedOracle) {
    std::mt19937 rng(7);
    ZoSortedArrayU32 array;
    std::vector<uint32_t> oracle;
    for (int i = 0; i < 3000; ++i) {
        uint32_t v = rng() % 500;
        ASSERT_EQ(array.add(v), ZoSuccess);
        oracle.insert(std::upper_bound(oracle.begin(), oracle.end(), v), v);
    }
    ASSERT_EQ(valuesOf(array), oracle);
    for (uint32_t v = 0; v < 510; ++v) {
        uint32_t index = 0;
        bool found = array.findIndexOf(v, index) != 0;
        auto range = std::equal_range(oracle.begin(), oracle.end(), v);
        EXPECT_EQ(found, range.first != range.second) << v;
        if (found)
            EXPECT_EQ(oracle[index], v);
        else
            EXPECT_EQ(index, static_cast<uint32_t>(range.first - oracle.begin())) << v;
    }
}

class ZoSortedArrayTest : public ::testing::Test {
protected:
    void SetUp() override { Keyed::live = 0; }
    void TearDown() override { EXPECT_EQ(Keyed::live, 0); }
};

TEST_F(ZoSortedArrayTest, EqualElementsKeepArrivalOrder) {
    ZoSortedArray array;
    array.setDeleteContents(true);
    zotest::ok(array.add(new Keyed(5, 1)));
    zotest::ok(array.add(new Keyed(2, 1)));
    zotest::ok(array.add(new Keyed(5, 2)));
    zotest::ok(array.add(new Keyed(5, 3)));
    zotest::ok(array.add(new Keyed(2, 2)));
    zotest::ok(array.add(new Keyed(9, 1)));
    EXPECT_EQ(keysAndTags(array), (std::vector<std::pair<int, int>>{{2, 1}, {2, 2}, {5, 1}, {5, 2}, {5, 3}, {9, 1}}));
}

TEST_F(ZoSortedArrayTest, DeleteDuplicatesKeepsTheFirstOfEachRun) {
    ZoSortedArray array;
    array.setDeleteContents(true);
    zotest::ok(array.add(new Keyed(1, 1)));
    zotest::ok(array.add(new Keyed(1, 2)));
    zotest::ok(array.add(new Keyed(3, 1)));
    zotest::ok(array.add(new Keyed(1, 3)));
    zotest::ok(array.add(new Keyed(4, 1)));
    zotest::ok(array.add(new Keyed(4, 2)));
    array.deleteDuplicates();
    EXPECT_EQ(keysAndTags(array), (std::vector<std::pair<int, int>>{{1, 1}, {3, 1}, {4, 1}}));
    EXPECT_EQ(Keyed::live, 3);
}

TEST_F(ZoSortedArrayTest, RemoveDuplicatesOnlyUnlinks) {
    Keyed a(1, 1), b(1, 2), c(2, 1);
    ZoSortedArray array;
    zotest::ok(array.add(&a));
    zotest::ok(array.add(&b));
    zotest::ok(array.add(&c));
    array.removeDuplicates();
    EXPECT_EQ(keysAndTags(array), (std::vector<std::pair<int, int>>{{1, 1}, {2, 1}}));
    EXPECT_EQ(Keyed::live, 3);
}

TEST_F(ZoSortedArrayTest, FindReportsInsertionPoint) {
    Keyed e[] = {Keyed(10), Keyed(20), Keyed(30)};
    ZoSortedArray array;
    for (auto &k : e)
        zotest::ok(array.add(&k));
    uint32_t index = 0;
    Keyed probe(25);
    EXPECT_EQ(array.findIndexOf(&probe, index), 0u);
    EXPECT_EQ(index, 2u);
    probe.key = 5;
    EXPECT_EQ(array.findIndexOf(&probe, index), 0u);
    EXPECT_EQ(index, 0u);
    probe.key = 31;
    EXPECT_EQ(array.findIndexOf(&probe, index), 0u);
    EXPECT_EQ(index, 3u);
    probe.key = 20;
    EXPECT_EQ(array.findIndexOf(&probe, index), 1u);
    EXPECT_EQ(index, 1u);
}

TEST_F(ZoSortedArrayTest, AppendModeKeepsArrivalOrder) {
    Keyed a(3), b(1), c(2);
    ZoSortedArray array;
    array.setSortMode(ZoSortedArray::DeferredSort);
    zotest::ok(array.add(&a));
    zotest::ok(array.add(&b));
    zotest::ok(array.add(&c));
    EXPECT_EQ(keysAndTags(array), (std::vector<std::pair<int, int>>{{3, 0}, {1, 0}, {2, 0}}));
    uint32_t index = 99;
    Keyed probe(1);
    EXPECT_EQ(array.seqFindIndexOf(&probe, index), 1u);
    EXPECT_EQ(index, 1u);
    probe.key = 7;
    EXPECT_EQ(array.seqFindIndexOf(&probe, index), 0u);
    array.setSortMode(0);
    zotest::ok(array.add(&probe));
    EXPECT_EQ(static_cast<Keyed *>(array.getAt(3))->key, 7);
}

TEST_F(ZoSortedArrayTest, FailedAddKeepsOrderAndContents) {
    ZoSortedArray array;
    array.setDeleteContents(true);
    for (int i = 0; i < 16; ++i)
        zotest::ok(array.add(new Keyed(i * 2)));
    auto before = keysAndTags(array);
    uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        auto *extra = new Keyed(7, 1);
        point.arm();
        ZoStatus status = array.add(extra);
        if (point.disarm()) {
            EXPECT_EQ(status, ZoFailure);
            EXPECT_EQ(keysAndTags(array), before);
            delete extra;
        } else {
            EXPECT_EQ(status, ZoSuccess);
        }
    });
    EXPECT_EQ(points, 1u);
    EXPECT_EQ(static_cast<Keyed *>(array.getAt(4))->key, 7);
}

} // namespace
