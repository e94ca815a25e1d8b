#include <zo/zodictio.h>
#include <zo/zoseqdic.h>
#include <zo/zostring.h>

#include <gtest/gtest.h>

#include <random>
#include <unordered_map>
#include <vector>

#include "containers/counted.h"
#include "support/alloc_failure.h"

using zotest::Keyed;

namespace {

// Exposes the table for checks of where records land.
class InspectableDictionary : public ZoDictionary {
public:
    using ZoSet::slotElement;
    const ZoAssociation *recordAt(uint32_t slot) const { return static_cast<const ZoAssociation *>(slotElement(slot)); }
};

uint32_t startSlot(uint32_t hash, uint32_t tableSize) { return (hash * 0x9E3779B9u) % tableSize; }

class ZoDictionaryTest : public ::testing::Test {
protected:
    void SetUp() override { Keyed::live = 0; }
    void TearDown() override { EXPECT_EQ(Keyed::live, 0); }
};

TEST_F(ZoDictionaryTest, GrowthFromTheSmallestTable) {
    ZoDictionary dictionary;
    ASSERT_EQ(dictionary.initialize(0), ZoSuccess);
    EXPECT_EQ(dictionary.getTableSize(), 1);
    std::vector<uint16_t> sizes;
    for (uint32_t key = 1; key <= 3; ++key) {
        ASSERT_EQ(dictionary.addAssoc(key, key * 10), ZoSuccess);
        sizes.push_back(dictionary.getTableSize());
    }
    EXPECT_EQ(sizes, (std::vector<uint16_t>{2, 3, 5}));
    for (uint32_t key = 1; key <= 3; ++key)
        EXPECT_EQ(dictionary.getIntForKey(key), key * 10);
}

TEST_F(ZoDictionaryTest, GrowthPastTheLoadLimit) {
    ZoDictionary dictionary;
    ASSERT_EQ(dictionary.initialize(100), ZoSuccess);
    EXPECT_EQ(dictionary.getTableSize(), 134);
    for (uint32_t key = 0; key < 100; ++key)
        ASSERT_EQ(dictionary.addAssoc(key, key + 1), ZoSuccess);
    EXPECT_EQ(dictionary.getTableSize(), 134) << "100 entries are the limit, not past it";
    ASSERT_EQ(dictionary.addAssoc(100u, 101u), ZoSuccess);
    EXPECT_EQ(dictionary.getTableSize(), 169);
    EXPECT_EQ(dictionary.getEntryCount(), 101);
    EXPECT_EQ(dictionary.getHighWater(), 101);
    for (uint32_t key = 0; key <= 100; ++key)
        ASSERT_EQ(dictionary.getIntForKey(key), key + 1);
}

TEST_F(ZoDictionaryTest, UnsizedDictionaryAnswersAbsentAndGrowsOnFirstAdd) {
    ZoDictionary dictionary;
    EXPECT_EQ(dictionary.doesExist(5u), 0u);
    EXPECT_EQ(dictionary.getPtrForKey(5u), nullptr);
    ASSERT_EQ(dictionary.addAssoc(5u, 50u), ZoSuccess);
    EXPECT_EQ(dictionary.getTableSize(), 2);
    EXPECT_EQ(dictionary.getIntForKey(5u), 50u);
}

TEST_F(ZoDictionaryTest, RecordsLandOnTheirFibonacciSlotAndProbeDownwards) {
    InspectableDictionary dictionary;
    ASSERT_EQ(dictionary.initialize(100), ZoSuccess);
    const uint32_t size = dictionary.getTableSize();
    // Two keys that start at slot 0: the second wraps to the top slot.
    std::vector<uint32_t> atZero;
    for (uint32_t key = 0; atZero.size() < 2; ++key)
        if (startSlot(key, size) == 0)
            atZero.push_back(key);
    ASSERT_EQ(dictionary.addAssoc(atZero[0], 1u), ZoSuccess);
    ASSERT_EQ(dictionary.addAssoc(atZero[1], 2u), ZoSuccess);
    EXPECT_EQ(dictionary.recordAt(0)->getIntKey(), atZero[0]);
    EXPECT_EQ(dictionary.recordAt(size - 1)->getIntKey(), atZero[1]);
    EXPECT_EQ(dictionary.getIntForKey(atZero[1]), 2u);
}

TEST_F(ZoDictionaryTest, AbsentKeyReadsLikeZeroButDoesNotExist) {
    ZoDictionary dictionary;
    ASSERT_EQ(dictionary.initialize(4), ZoSuccess);
    ASSERT_EQ(dictionary.addAssoc(7u, 0u), ZoSuccess);
    EXPECT_EQ(dictionary.getIntForKey(7u), 0u);
    EXPECT_EQ(dictionary.getIntForKey(8u), 0u);
    EXPECT_EQ(dictionary.doesExist(7u), 1u);
    EXPECT_EQ(dictionary.doesExist(8u), 0u);
}

TEST_F(ZoDictionaryTest, ReAddingAKeyReplacesTheRecordButCountsTheAdd) {
    ZoDictionary dictionary;
    ASSERT_EQ(dictionary.initialize(10), ZoSuccess);
    Keyed first(1), second(2);
    ASSERT_EQ(dictionary.addAssoc(3u, &first), ZoSuccess);
    ASSERT_EQ(dictionary.addAssoc(3u, &second), ZoSuccess);
    EXPECT_EQ(dictionary.getPtrForKey(3u), &second);
    EXPECT_EQ(dictionary.getEntryCount(), 2);
    EXPECT_EQ(Keyed::live, 2) << "the replaced datum belongs to the caller";
}

TEST_F(ZoDictionaryTest, CaseBlindDictionaryStillMatchesNumberKeys) {
    ZoDictionary dictionary;
    dictionary.setNoCase(true);
    ASSERT_EQ(dictionary.initialize(10), ZoSuccess);
    ASSERT_EQ(dictionary.addAssoc(3u, 30u), ZoSuccess);
    ASSERT_EQ(dictionary.addAssoc(3u, 31u), ZoSuccess);
    EXPECT_EQ(dictionary.getIntForKey(3u), 31u);
}

TEST_F(ZoDictionaryTest, OwnershipOfKeysAndData) {
    {
        ZoDictionary dictionary;
        ASSERT_EQ(dictionary.initialize(4), ZoSuccess);
        Keyed kept(1);
        ASSERT_EQ(dictionary.addAssoc(1u, &kept), ZoSuccess);
        // Destroying the dictionary destroys the records only.
    }
    ZoDictionary dictionary;
    ASSERT_EQ(dictionary.initialize(4), ZoSuccess);
    for (uint32_t key = 0; key < 20; ++key)
        ASSERT_EQ(dictionary.addAssoc(key, new Keyed(static_cast<int>(key))), ZoSuccess);
    ASSERT_EQ(dictionary.addAssoc(99u, static_cast<ZoObject *>(nullptr)), ZoSuccess);
    const uint16_t size = dictionary.getTableSize();
    dictionary.deleteKeyAndData();
    EXPECT_EQ(Keyed::live, 0);
    EXPECT_EQ(dictionary.getEntryCount(), 0);
    EXPECT_EQ(dictionary.getTableSize(), size);
    EXPECT_EQ(dictionary.doesExist(3u), 0u);
    ASSERT_EQ(dictionary.addAssoc(3u, 4u), ZoSuccess) << "refilled at once";
    EXPECT_EQ(dictionary.getIntForKey(3u), 4u);
}

TEST_F(ZoDictionaryTest, InitializeAndReset) {
    ZoDictionary dictionary;
    ASSERT_EQ(dictionary.initialize(10), ZoSuccess);
    ASSERT_EQ(dictionary.addAssoc(1u, 1u), ZoSuccess);
    EXPECT_EQ(dictionary.initialize(50), ZoFailure) << "only an empty dictionary is sized";
    EXPECT_EQ(dictionary.getIntForKey(1u), 1u);
    dictionary.deleteKeyAndData();
    dictionary.reset();
    EXPECT_EQ(dictionary.getTableSize(), 0);
    EXPECT_EQ(dictionary.getHighWater(), 0);
    ASSERT_EQ(dictionary.initialize(3), ZoSuccess);
    EXPECT_EQ(dictionary.getTableSize(), 5);
    EXPECT_EQ(dictionary.initialize(49152), ZoFailure) << "65,535 slots at most";
    EXPECT_EQ(dictionary.getTableSize(), 5);
}

// Reset destroys the records the dictionary made (a leak checker sees any it loses) but
// leaves keys and data to the caller; the dictionary is usable again afterwards.
TEST_F(ZoDictionaryTest, ResetOfAFilledDictionaryDestroysItsRecordsOnly) {
    static const unsigned char name[] = "alpha";
    ZoSubString key(name, 5);
    Keyed byNumber(1), byName(2);
    ZoDictionary dictionary;
    ASSERT_EQ(dictionary.addAssoc(1u, 10u), ZoSuccess);
    ASSERT_EQ(dictionary.addAssoc(2u, &byNumber), ZoSuccess);
    ASSERT_EQ(dictionary.addAssoc(&key, &byName), ZoSuccess);
    dictionary.reset();
    EXPECT_EQ(Keyed::live, 2);
    EXPECT_EQ(key.length(), 5u);
    EXPECT_EQ(dictionary.getTableSize(), 0);
    EXPECT_EQ(dictionary.getEntryCount(), 0);
    EXPECT_EQ(dictionary.doesExist(&key), 0u);
    ASSERT_EQ(dictionary.addAssoc(&key, &byNumber), ZoSuccess);
    EXPECT_EQ(dictionary.getPtrForKey(&key), &byNumber);
}

TEST_F(ZoDictionaryTest, GrowthStopsCleanlyAtTheSixteenBitLimit) {
    ZoDictionary dictionary;
    ASSERT_EQ(dictionary.initialize(0), ZoSuccess);
    uint32_t key = 0;
    while (dictionary.addAssoc(key, key ^ 0x5A5A5A5Au) == ZoSuccess)
        ++key;
    EXPECT_GE(key, 39000u);
    EXPECT_LE(key, 49152u);
    EXPECT_EQ(dictionary.getEntryCount(), key);
    for (uint32_t k = 0; k < key; ++k)
        ASSERT_EQ(dictionary.getIntForKey(k), k ^ 0x5A5A5A5Au);
    EXPECT_EQ(dictionary.doesExist(key), 0u);
}

TEST_F(ZoDictionaryTest, FailedAddsKeepTheDictionaryAsItWas) {
    ZoDictionary dictionary;
    ASSERT_EQ(dictionary.initialize(0), ZoSuccess);
    std::unordered_map<uint32_t, Keyed *> oracle;
    for (uint32_t key = 0; key < 40; ++key) {
        uint16_t sizeBefore = dictionary.getTableSize();
        uint16_t countBefore = dictionary.getEntryCount();
        uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
            auto *datum = new Keyed(static_cast<int>(key));
            point.arm();
            ZoStatus status = dictionary.addAssoc(key, datum);
            if (point.disarm()) {
                EXPECT_EQ(status, ZoFailure);
                EXPECT_EQ(dictionary.getTableSize(), sizeBefore);
                EXPECT_EQ(dictionary.getEntryCount(), countBefore);
                EXPECT_EQ(dictionary.doesExist(key), 0u);
                delete datum;
            } else {
                ASSERT_EQ(status, ZoSuccess);
                oracle[key] = datum;
            }
        });
        EXPECT_EQ(points, dictionary.getTableSize() != sizeBefore ? 2u : 1u) << key;
        for (auto &[k, datum] : oracle)
            ASSERT_EQ(dictionary.getPtrForKey(k), datum);
    }
    dictionary.deleteKeyAndData();
}

TEST_F(ZoDictionaryTest, RandomisedAgainstUnorderedMap) {
    std::mt19937 rng(42);
    for (int round = 0; round < 4; ++round) {
        ZoDictionary dictionary;
        dictionary.setNoCase(round % 2 == 1);
        ASSERT_EQ(dictionary.initialize(static_cast<uint16_t>(rng() % 64)), ZoSuccess);
        std::unordered_map<uint32_t, uint32_t> oracle;
        const uint32_t keySpace = round < 2 ? 300 : 0xFFFFFFFFu;
        for (int op = 0; op < 6000; ++op) {
            uint32_t key = keySpace == 0xFFFFFFFFu && op % 3 == 0 ? oracle.size() : rng() % keySpace;
            if (rng() % 3 != 0) {
                uint32_t datum = rng();
                ASSERT_EQ(dictionary.addAssoc(key, datum), ZoSuccess);
                oracle[key] = datum;
            } else {
                auto found = oracle.find(key);
                ASSERT_EQ(dictionary.doesExist(key), found != oracle.end() ? 1u : 0u);
                ASSERT_EQ(dictionary.getIntForKey(key), found != oracle.end() ? found->second : 0u);
            }
            if (op == 3000) {
                dictionary.deleteKeyAndData();
                oracle.clear();
            }
        }
        for (auto &[key, datum] : oracle)
            ASSERT_EQ(dictionary.getIntForKey(key), datum);
    }
}

class ZoSeqDictionaryTest : public ZoDictionaryTest {};

TEST_F(ZoSeqDictionaryTest, LookupsFindTheFirstEntry) {
    ZoSeqDictionary dictionary;
    ASSERT_EQ(dictionary.addAssoc(5u, 50u), ZoSuccess);
    ASSERT_EQ(dictionary.addAssoc(6u, 60u), ZoSuccess);
    ASSERT_EQ(dictionary.addAssoc(5u, 51u), ZoSuccess);
    EXPECT_EQ(dictionary.getCount(), 3u);
    EXPECT_EQ(dictionary.getIndexForKey(5u), 0u);
    EXPECT_EQ(dictionary.getIntForKey(5u), 50u);
    EXPECT_EQ(dictionary.getIndexForKey(7u), 3u);
    EXPECT_EQ(dictionary.doesExist(7u), 0u);
    EXPECT_EQ(dictionary.getIntForKey(7u), 0u);
    EXPECT_EQ(dictionary.getPtrForKey(7u), nullptr);
    dictionary.changeData(6u, 61u);
    EXPECT_EQ(dictionary.getIntDataAtIndex(1), 61u);
    EXPECT_EQ(dictionary.getIntKeyAtIndex(2), 5u);
    EXPECT_EQ(dictionary.getSubKeyAtIndex(2), nullptr);
}

TEST_F(ZoSeqDictionaryTest, DeleteAtIndexDestroysKeyDataAndRecord) {
    ZoSeqDictionary dictionary;
    for (uint32_t key = 0; key < 3; ++key)
        ASSERT_EQ(dictionary.addAssoc(key, new Keyed(static_cast<int>(key))), ZoSuccess);
    dictionary.deleteKeyAndDataAtIndex(0);
    EXPECT_EQ(Keyed::live, 2);
    ASSERT_EQ(dictionary.getCount(), 2u);
    EXPECT_EQ(dictionary.getIntKeyAtIndex(0), 1u);
    EXPECT_EQ(static_cast<Keyed *>(dictionary.getPtrDataAtIndex(1))->key, 2);
    EXPECT_EQ(dictionary.getPtrForKey(2u), dictionary.getPtrDataAtIndex(1));
    dictionary.deleteKeyAndData();
    EXPECT_EQ(dictionary.getCount(), 0u);
    EXPECT_EQ(Keyed::live, 0);
}

TEST_F(ZoSeqDictionaryTest, DestructionLeavesDataAlive) {
    Keyed datum(1);
    {
        ZoSeqDictionary dictionary;
        ASSERT_EQ(dictionary.addAssoc(1u, &datum), ZoSuccess);
    }
    EXPECT_EQ(Keyed::live, 1);
}

TEST_F(ZoSeqDictionaryTest, FailedAddsKeepTheEntries) {
    ZoSeqDictionary dictionary;
    for (uint32_t key = 0; key < 16; ++key)
        ASSERT_EQ(dictionary.addAssoc(key, key), ZoSuccess);
    uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        point.arm();
        ZoStatus status = dictionary.addAssoc(16u, 160u);
        if (point.disarm()) {
            EXPECT_EQ(status, ZoFailure);
            EXPECT_EQ(dictionary.getCount(), 16u);
            EXPECT_EQ(dictionary.doesExist(16u), 0u);
        }
    });
    EXPECT_EQ(points, 2u) << "the record, then the array's growth";
    EXPECT_EQ(dictionary.getIntForKey(16u), 160u);
    for (uint32_t key = 0; key < 16; ++key)
        EXPECT_EQ(dictionary.getIntDataAtIndex(key), key);
}

TEST_F(ZoSeqDictionaryTest, RandomisedAgainstVector) {
    std::mt19937 rng(9);
    ZoSeqDictionary dictionary;
    std::vector<std::pair<uint32_t, uint32_t>> oracle;
    for (int op = 0; op < 4000; ++op) {
        uint32_t key = rng() % 40;
        switch (rng() % 4) {
        case 0:
        case 1:
            ASSERT_EQ(dictionary.addAssoc(key, static_cast<uint32_t>(op)), ZoSuccess);
            oracle.emplace_back(key, op);
            break;
        case 2:
            if (!oracle.empty()) {
                uint32_t index = rng() % oracle.size();
                dictionary.deleteKeyAndDataAtIndex(index);
                oracle.erase(oracle.begin() + index);
            }
            break;
        default: {
            uint32_t expected = 0;
            while (expected < oracle.size() && oracle[expected].first != key)
                ++expected;
            ASSERT_EQ(dictionary.getIndexForKey(key), expected);
            ASSERT_EQ(dictionary.getIntForKey(key), expected < oracle.size() ? oracle[expected].second : 0u);
        }
        }
        ASSERT_EQ(dictionary.getCount(), oracle.size());
    }
}

} // namespace
