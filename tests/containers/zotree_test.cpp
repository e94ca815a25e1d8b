#include <zo/zotree.h>

#include <gtest/gtest.h>

#include "platform/file.h"
#include "support/all_or_nothing.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <sstream>
#include <random>
#include <string>
#include <vector>
#include "support/status.h"

namespace {

uint32_t u32Of(const unsigned char *bytes) {
    uint32_t value;
    std::memcpy(&value, bytes, 4);
    return value;
}

// A tree of 4-byte unsigned keys and 4-byte data.
struct U32Tree {
    explicit U32Tree(bool deletable = true, bool duplicates = false)
        : tree(4, 4, treeU32Compare, deletable ? 1 : 0, duplicates ? 1 : 0, 0) {
        zotest::ok(it.initialize(&tree));
    }
    unsigned add(uint32_t key, uint32_t data) {
        unsigned found = 99;
        EXPECT_EQ(tree.add(&key, &data, &found), ZoSuccess);
        return found;
    }
    // Key and datum of the entry reached, or found = 0.
    struct Step {
        unsigned found;
        uint32_t key;
        uint32_t data;
    };
    template <class Move>
    Step step(Move move) {
        Step s{0, 0, 0};
        EXPECT_EQ((tree.*move)(&s.key, &s.data, &s.found, &it), ZoSuccess);
        return s;
    }
    Step next() { return step(&ZoTree::getNext); }
    Step previous() { return step(&ZoTree::getPrevious); }
    Step first() { return step(&ZoTree::getFirst); }
    Step last() { return step(&ZoTree::getLast); }
    Step lookup(uint32_t key) {
        Step s{0, key, 0};
        EXPECT_EQ(tree.getData(&key, &s.data, &s.found, &it), ZoSuccess);
        return s;
    }
    std::vector<uint32_t> keys() {
        std::vector<uint32_t> out;
        for (Step s = first(); s.found != 0; s = next())
            out.push_back(s.key);
        return out;
    }
    ZoTree tree;
    ZoTreeIterator it;
};

TEST(ZoTreeGeometry, TriadOrderAndNodeSize) {
    ZoTree small(4, 4, nullptr, 1, 0, 0);
    EXPECT_EQ(small.getTriadSize(), 16);
    EXPECT_EQ(small.getOrder(), 49);
    EXPECT_EQ(small.getNodeSize(), 780);
    ZoTree wide(100, 20, nullptr, 0, 0, 0);
    EXPECT_EQ(wide.getTriadSize(), 124);
    EXPECT_EQ(wide.getOrder(), 17);
    EXPECT_EQ(wide.getNodeSize(), 1996);
    ZoTree odd(5, 0, nullptr, 0, 0, 0); // 9 -> 10 -> 12
    EXPECT_EQ(odd.getTriadSize(), 12);
}

TEST(ZoTreeGeometry, TriadTooLargeForTwoKeysRefusesAdds) {
    ZoTree huge(1000, 100, nullptr, 0, 0, 1);
    std::vector<unsigned char> key(1000, 1), data(100, 2);
    unsigned found;
    EXPECT_EQ(huge.add(key.data(), data.data(), &found), ZoFailure);
    EXPECT_EQ(huge.getKeyCount(), 0u);
    ZoTree largest(1000, 9, nullptr, 0, 0, 1); // triad 1016: three children a node
    EXPECT_EQ(largest.getOrder(), 3);
    std::vector<unsigned char> k(1000), d(9);
    for (int i = 0; i < 200; ++i) {
        k[0] = static_cast<unsigned char>(i * 7);
        k[1] = static_cast<unsigned char>(i);
        ASSERT_EQ(largest.add(k.data(), d.data(), &found), ZoSuccess);
    }
    EXPECT_EQ(largest.getKeyCount(), 200u);
}

TEST(ZoTreeLayout, FirstNodeAndNodeFormatInTheStore) {
    U32Tree t;
    t.add(7, 70);
    EXPECT_EQ(t.tree.getRoot(), 8u);
    unsigned char node[28];
    ASSERT_EQ(t.tree.getStore().tmpRead(8, node, sizeof node), ZoSuccess);
    EXPECT_EQ(node[0] | node[1] << 8, 2); // count = keys + 1
    EXPECT_EQ(u32Of(node + 4), 8u);       // own offset
    EXPECT_EQ(u32Of(node + 8), 0u);       // child 0
    EXPECT_EQ(u32Of(node + 12), 7u);      // key 0
    EXPECT_EQ(u32Of(node + 16), 70u);     // datum 0
    EXPECT_EQ(node[20], 0);               // mark
    EXPECT_EQ(u32Of(node + 24), 0u);      // child 1 at 8 + 1 * 16
}

TEST(ZoTreeSplit, FortyNinthAscendingKeySplitsTheRoot) {
    U32Tree t;
    for (uint32_t k = 1; k <= 48; ++k)
        t.add(k, k * 10);
    EXPECT_EQ(t.tree.getNodeCount(), 1);
    t.add(49, 490);
    EXPECT_EQ(t.tree.getNodeCount(), 3);
    ZoTmpFile &store = t.tree.getStore();
    unsigned char root[28];
    ASSERT_EQ(store.tmpRead(t.tree.getRoot(), root, sizeof root), ZoSuccess);
    EXPECT_EQ(root[0], 2);
    EXPECT_EQ(u32Of(root + 12), 25u);
    uint32_t left = u32Of(root + 8), right = u32Of(root + 24);
    EXPECT_EQ(left, 8u); // the old root keeps the lower keys
    unsigned char node[12 + 48 * 16];
    ASSERT_EQ(store.tmpRead(left, node, sizeof node), ZoSuccess);
    EXPECT_EQ(node[0], 25);
    EXPECT_EQ(u32Of(node + 12), 1u);
    EXPECT_EQ(u32Of(node + 12 + 23 * 16), 24u);
    ASSERT_EQ(store.tmpRead(right, node, sizeof node), ZoSuccess);
    EXPECT_EQ(node[0], 25);
    EXPECT_EQ(u32Of(node + 12), 26u);
    EXPECT_EQ(u32Of(node + 12 + 23 * 16), 49u);
    std::vector<uint32_t> expected;
    for (uint32_t k = 1; k <= 49; ++k)
        expected.push_back(k);
    EXPECT_EQ(t.keys(), expected);
}

TEST(ZoTreeAdd, ExistingKeyIsReportedAndKeepsItsDatum) {
    U32Tree t;
    EXPECT_EQ(t.add(5, 50), 0u);
    EXPECT_EQ(t.add(5, 51), 1u);
    EXPECT_EQ(t.tree.getKeyCount(), 1u);
    EXPECT_EQ(t.lookup(5).data, 50u);
}

TEST(ZoTreeAdd, DuplicatesIterateNewestFirst) {
    U32Tree t(true, true);
    t.add(9, 1);
    EXPECT_EQ(t.add(7, 0xA), 0u);
    EXPECT_EQ(t.add(7, 0xB), 0u);
    EXPECT_EQ(t.add(7, 0xC), 0u);
    EXPECT_EQ(t.tree.getKeyCount(), 4u);
    EXPECT_EQ(t.lookup(7).data, 0xCu);
    EXPECT_EQ(t.next().data, 0xBu);
    EXPECT_EQ(t.next().data, 0xAu);
    EXPECT_EQ(t.next().key, 9u);
}

TEST(ZoTreeOrder, ContextComparisonWhenNoKeyFunction) {
    ZoTree tree(4, 0, nullptr, 0, 0, 1);
    int calls = 0;
    // Descending order of the numbers, counting the calls through the context.
    tree.setCompareWithContext(
        [](void *context, const void *a, const void *b) -> short {
            ++*static_cast<int *>(context);
            return static_cast<short>(-treeU32Compare(a, b, 4));
        },
        &calls);
    unsigned found;
    for (uint32_t k : {5u, 1u, 9u, 3u})
        ASSERT_EQ(tree.add(&k, nullptr, &found), ZoSuccess);
    EXPECT_GT(calls, 0);
    ZoTreeIterator it;
    zotest::ok(it.initialize(&tree));
    std::vector<uint32_t> keys;
    uint32_t key;
    for (zotest::ok(tree.getFirst(&key, nullptr, &found, &it)); found != 0;
         zotest::ok(tree.getNext(&key, nullptr, &found, &it)))
        keys.push_back(key);
    EXPECT_EQ(keys, (std::vector<uint32_t>{9, 5, 3, 1}));
}

TEST(ZoTreeOrder, BytewiseByDefault) {
    ZoTree tree(3, 1, nullptr, 0, 0, 1);
    unsigned found;
    for (const char *k : {"b\x80"
                          "a",
                          "b\x01z", "a\xffz"})
        ASSERT_EQ(tree.add(k, "d", &found), ZoSuccess);
    ZoTreeIterator it;
    zotest::ok(it.initialize(&tree));
    char key[4] = {};
    std::vector<std::string> keys;
    for (zotest::ok(tree.getFirst(key, nullptr, &found, &it)); found != 0;
         zotest::ok(tree.getNext(key, nullptr, &found, &it)))
        keys.emplace_back(key, 3);
    EXPECT_EQ(keys, (std::vector<std::string>{"a\xffz", "b\x01z",
                                              "b\x80"
                                              "a"}));
}

TEST(ZoTreeLookup, MissingKeyLeavesTheIteratorBetweenItsNeighbours) {
    U32Tree t;
    for (uint32_t k = 10; k <= 1000; k += 10)
        t.add(k, k);
    EXPECT_EQ(t.lookup(455).found, 0u);
    EXPECT_EQ(t.next().key, 460u);
    EXPECT_EQ(t.lookup(455).found, 0u);
    EXPECT_EQ(t.previous().key, 450u);
    EXPECT_EQ(t.lookup(5).found, 0u);
    EXPECT_EQ(t.previous().found, 0u);
    EXPECT_EQ(t.next().key, 10u);
    EXPECT_EQ(t.lookup(2000).found, 0u);
    EXPECT_EQ(t.next().found, 0u);
    EXPECT_EQ(t.previous().key, 1000u);
}

TEST(ZoTreeIteration, EndsTurnAroundBothWays) {
    U32Tree t;
    for (uint32_t k = 1; k <= 300; ++k)
        t.add(k * 3 % 301, k);
    EXPECT_EQ(t.last().key, 300u);
    EXPECT_EQ(t.next().found, 0u);
    EXPECT_EQ(t.next().found, 0u);
    EXPECT_EQ(t.previous().key, 300u);
    EXPECT_EQ(t.first().key, 1u);
    EXPECT_EQ(t.previous().found, 0u);
    EXPECT_EQ(t.previous().found, 0u);
    EXPECT_EQ(t.next().key, 1u);
    EXPECT_EQ(t.next().key, 2u);
}

TEST(ZoTreeIteration, EmptyTreeAndUnboundIterator) {
    U32Tree t;
    EXPECT_EQ(t.first().found, 0u);
    EXPECT_EQ(t.next().found, 0u);
    EXPECT_EQ(t.previous().found, 0u);
    EXPECT_EQ(t.lookup(3).found, 0u);
    ZoTreeIterator stranger;
    unsigned found;
    EXPECT_EQ(t.tree.getFirst(nullptr, nullptr, &found, &stranger), ZoFailure);
}

TEST(ZoTreeDelete, LeafRemovalAndMarking) {
    U32Tree t;
    for (uint32_t k = 1; k <= 5; ++k)
        t.add(k, k);
    ASSERT_EQ(t.lookup(3).found, 1u);
    ASSERT_EQ(t.tree.deleteCurrent(&t.it), ZoSuccess);
    EXPECT_EQ(t.next().key, 4u); // the entry that followed
    EXPECT_EQ(t.tree.getKeyCount(), 4u);
    EXPECT_EQ(t.keys(), (std::vector<uint32_t>{1, 2, 4, 5}));

    U32Tree one;
    one.add(42, 1);
    ASSERT_EQ(one.lookup(42).found, 1u);
    ASSERT_EQ(one.tree.deleteCurrent(&one.it), ZoSuccess);
    EXPECT_EQ(one.tree.deleteCurrent(&one.it), ZoFailure); // not deleted twice
    EXPECT_EQ(one.tree.getKeyCount(), 0u);
    EXPECT_EQ(one.first().found, 0u);
    EXPECT_EQ(one.lookup(42).found, 0u);
    EXPECT_EQ(one.add(42, 2), 0u); // reuses the marked triad
    EXPECT_EQ(one.lookup(42).data, 2u);
    EXPECT_EQ(one.tree.getNodeCount(), 1);
}

TEST(ZoTreeDelete, MarkedInternalEntriesAreSkippedBothWays) {
    U32Tree t;
    for (uint32_t k = 1; k <= 49; ++k)
        t.add(k, k);
    ASSERT_EQ(t.lookup(25).found, 1u); // the root's key
    ASSERT_EQ(t.tree.deleteCurrent(&t.it), ZoSuccess);
    EXPECT_EQ(t.lookup(24).found, 1u);
    EXPECT_EQ(t.next().key, 26u);
    EXPECT_EQ(t.previous().key, 24u);
    EXPECT_EQ(t.lookup(25).found, 0u);
    EXPECT_EQ(t.add(25, 250), 0u);
    EXPECT_EQ(t.lookup(25).data, 250u);
    EXPECT_EQ(t.tree.getKeyCount(), 49u);
}

TEST(ZoTreeDelete, NeedsADeletableTree) {
    U32Tree t(false);
    t.add(1, 1);
    unsigned found;
    uint32_t key = 1, data = 1, other = 2;
    EXPECT_EQ(t.tree.deleteKeyAndData(&key, &data, &found), ZoFailure);
    EXPECT_EQ(t.tree.changeKey(&key, &other), ZoFailure);
    ASSERT_EQ(t.lookup(1).found, 1u);
    EXPECT_EQ(t.tree.deleteCurrent(&t.it), ZoFailure);
    EXPECT_EQ(t.tree.getKeyCount(), 1u);
}

TEST(ZoTreeChange, ChangeKeyMovesTheDatum) {
    U32Tree t;
    for (uint32_t k = 1; k <= 100; ++k)
        t.add(k * 2, k);
    uint32_t from = 20, to = 21, absent = 23, taken = 40;
    ASSERT_EQ(t.tree.changeKey(&from, &to), ZoSuccess);
    EXPECT_EQ(t.tree.getKeyCount(), 100u);
    EXPECT_EQ(t.lookup(20).found, 0u);
    EXPECT_EQ(t.lookup(21).data, 10u);
    EXPECT_EQ(t.tree.changeKey(&absent, &to), ZoSuccess);
    // Renaming onto a present key is refused and changes nothing.
    EXPECT_EQ(t.tree.changeKey(&to, &taken), ZoFailure);
    EXPECT_EQ(t.lookup(21).data, 10u);
    EXPECT_EQ(t.lookup(40).data, 20u);
    uint32_t data = 777;
    EXPECT_EQ(t.tree.changeData(&taken, &data), ZoSuccess);
    EXPECT_EQ(t.lookup(40).data, 777u);
    EXPECT_EQ(t.tree.changeData(&absent, &data), ZoSuccess);
    EXPECT_EQ(t.lookup(23).found, 0u);
}

TEST(ZoTreeReset, StartsAgainAtOffsetEight) {
    U32Tree t;
    for (uint32_t k = 0; k < 5000; ++k)
        t.add(k * 7919 % 5000, k);
    t.tree.reset();
    EXPECT_EQ(t.tree.getKeyCount(), 0u);
    EXPECT_EQ(t.tree.getNodeCount(), 0);
    EXPECT_EQ(t.tree.getRoot(), 0u);
    EXPECT_EQ(t.first().found, 0u);
    t.add(3, 4);
    EXPECT_EQ(t.tree.getRoot(), 8u);
    EXPECT_EQ(t.keys(), std::vector<uint32_t>{3});
}

TEST(ZoTreeReset, AnIteratorKeptAcrossAResetFailsOrStaysInside) {
    U32Tree t;
    for (uint32_t k = 0; k < 3000; ++k)
        t.add(k * 7, k);
    ZoTreeIterator stale;
    zotest::ok(stale.initialize(&t.tree));
    unsigned found;
    uint32_t key = 7 * 1500;
    ASSERT_EQ(t.tree.getData(&key, nullptr, &found, &stale), ZoSuccess);
    ASSERT_EQ(found, 1u);
    t.tree.reset();
    t.add(1, 1);
    // Whatever the old path now points at, stepping stays within the store's nodes: a step
    // may fail or land on a node, and either is a sound answer for a stale iterator.
    for (int i = 0; i < 3; ++i) {
        (void)t.tree.getNext(&key, nullptr, &found, &stale);
        (void)t.tree.getPrevious(&key, nullptr, &found, &stale);
    }
    EXPECT_EQ(t.keys(), std::vector<uint32_t>{1});
}

TEST(ZoTreeFailure, FirstAddFailsCleanlyWithoutMemory) {
    struct Tree {
        ZoTree tree{4, 4, treeU32Compare, 1, 0, 0};
    };
    zotest::AllOrNothing<Tree, std::pair<uint32_t, uint32_t>> firstAdd{
        .state = [](const Tree &t) { return std::pair(t.tree.getKeyCount(), t.tree.getRoot()); },
        .step =
            [](Tree &t) {
                uint32_t key = 1, data = 2;
                unsigned found;
                return t.tree.add(&key, &data, &found);
            },
        .after = [](const Tree &t) { EXPECT_EQ(t.tree.getKeyCount(), 1u); },
    };
    EXPECT_EQ(firstAdd.run(zotest::allocationFailure()), 3u); // scratch buffers, page frames, set table
}

// Inner nodes live in pinned pages of the store; with no pins allowed every node goes
// through the two-way cache alone. Either way the tree holds the same keys.
TEST(ZoTreeStore, InnerNodesArePinnedUnlessTheStoreAllowsNone) {
    U32Tree pinned, unpinned;
    unpinned.tree.getStore().setPinLimit(0);
    std::mt19937 rng(5);
    for (int i = 0; i < 20000; ++i) {
        uint32_t key = rng();
        pinned.add(key, i);
        unpinned.add(key, i);
    }
    EXPECT_GT(pinned.tree.getStore().getPinnedPages(), 1u);
    EXPECT_LE(pinned.tree.getStore().getPinnedPages(), ZoTree::PinnedNodePages);
    EXPECT_EQ(unpinned.tree.getStore().getPinnedPages(), 0u);
    EXPECT_EQ(pinned.keys(), unpinned.keys());
    pinned.tree.reset();
    EXPECT_EQ(pinned.tree.getStore().getPinnedPages(), 0u);
}

// A failing page transfer makes the tree operation that needed it fail; the tree stays
// walkable in order afterwards (a failed split may have lost the entries it was moving).
TEST(ZoTreeFaults, FileFailuresFailTheOperationAndLeaveAnOrderedTree) {
    using zo::plat::FileFault;
    using zo::plat::FileOp;
    const FileOp ops[] = {FileOp::Open, FileOp::Read, FileOp::Write};
    for (FileOp op : ops) {
        // The file is opened once (created), then read and written many times.
        uint32_t last = op == FileOp::Open ? 1 : 400;
        for (uint32_t k = 1; k <= last; k += (k < 20 ? 1 : 37)) {
            SCOPED_TRACE(testing::Message() << "op " << static_cast<unsigned>(op) << " k=" << k);
            U32Tree t;
            zo::plat::fileTestInjectFault(op, k, FileFault::Fail);
            int failures = 0;
            for (uint32_t i = 0; i < 3000; ++i) {
                uint32_t key = i * 2654435761u, data = i;
                unsigned found;
                if (t.tree.add(&key, &data, &found) != ZoSuccess)
                    ++failures;
                if (i % 7 == 0 && t.tree.getData(&key, &data, &found, &t.it) != ZoSuccess)
                    ++failures;
            }
            zo::plat::fileTestClearFaults();
            EXPECT_EQ(failures, 1);
            std::vector<uint32_t> keys = t.keys();
            EXPECT_TRUE(std::is_sorted(keys.begin(), keys.end()));
            EXPECT_GE(keys.size() + 100, 3000u - failures);
            uint32_t more = 7, data = 8;
            EXPECT_EQ(t.add(more, data), 0u);
        }
    }
}

// ---- randomized model test -----------------------------------------------------------

struct ModelConfig {
    uint16_t keyLength;
    uint16_t dataLength;
    bool deletable;
    bool duplicates;
    bool u32Keys;
    uint32_t keyRange;
    uint32_t operations;
};

std::ostream &operator<<(std::ostream &out, const ModelConfig &c) {
    return out << "key" << c.keyLength << "_data" << c.dataLength << (c.deletable ? "_del" : "")
               << (c.duplicates ? "_dup" : "") << (c.u32Keys ? "_u32" : "");
}

// Key order of the tree, applied to the oracle's string keys.
struct KeyOrder {
    bool u32;
    bool operator()(const std::string &a, const std::string &b) const {
        if (u32)
            return u32Of(reinterpret_cast<const unsigned char *>(a.data())) <
                   u32Of(reinterpret_cast<const unsigned char *>(b.data()));
        return a < b;
    }
};

// Drives a tree and a std::multimap with the same random operations and compares every
// answer. Equal keys in the tree come newest first, so the oracle inserts at the lower
// bound of the key.
class ZoTreeModel : public ::testing::TestWithParam<ModelConfig> {
protected:
    using Oracle = std::multimap<std::string, std::string, KeyOrder>;

    void SetUp() override {
        const ModelConfig &c = GetParam();
        tree_ = std::make_unique<ZoTree>(c.keyLength, c.dataLength, c.u32Keys ? treeU32Compare : nullptr,
                                         c.deletable ? 1 : 0, c.duplicates ? 1 : 0, 0);
        oracle_ = std::make_unique<Oracle>(KeyOrder{c.u32Keys});
        zotest::ok(it_.initialize(tree_.get()));
    }

    std::string randomKey() {
        const ModelConfig &c = GetParam();
        uint32_t n = rng_() % c.keyRange;
        std::string key(c.keyLength, '\0');
        if (c.u32Keys) {
            std::memcpy(key.data(), &n, 4);
        } else {
            // Big-endian spread over the key so bytewise order follows n, with filler.
            for (size_t i = 0; i < key.size(); ++i)
                key[i] = static_cast<char>(i < 4 ? (n >> (24 - 8 * i)) & 0xFF : (n * 31 + i) & 0xFF);
        }
        return key;
    }
    std::string randomData() {
        // Few distinct data values, so that deleting by key and datum hits among duplicates.
        std::string data(GetParam().dataLength, '\0');
        uint32_t v = rng_() % 4;
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<char>(v + i);
        return data;
    }
    Oracle::iterator firstOf(const std::string &key) {
        auto at = oracle_->lower_bound(key);
        return at != oracle_->end() && !oracle_->key_comp()(key, at->first) ? at : oracle_->end();
    }

    // Compares the entry the iterator reached with the oracle's position (end() = none).
    void expectAt(unsigned found, const std::string &key, const std::string &data, Oracle::iterator expected,
                  const char *what) {
        ASSERT_EQ(found, expected != oracle_->end() ? 1u : 0u) << what;
        if (found != 0) {
            ASSERT_EQ(key, expected->first) << what;
            ASSERT_EQ(data, expected->second) << what;
        }
    }

    // A few steps either way from the iterator's position, against the oracle's.
    void walk(Oracle::iterator at, bool positioned) {
        std::string key(GetParam().keyLength, '\0'), data(GetParam().dataLength, '\0');
        // An unpositioned iterator lies just before `at`.
        Oracle::iterator before = at;
        bool beforeValid = at != oracle_->begin();
        if (beforeValid)
            --before;
        int steps = 1 + rng_() % 4;
        bool forward = rng_() % 2 == 0;
        for (int s = 0; s < steps; ++s) {
            unsigned found;
            if (forward) {
                ASSERT_EQ(tree_->getNext(key.data(), data.data(), &found, &it_), ZoSuccess);
                Oracle::iterator expected = positioned ? (at == oracle_->end() ? at : std::next(at)) : at;
                expectAt(found, key, data, expected, "getNext");
                if (expected == oracle_->end())
                    return;
                at = expected;
            } else {
                ASSERT_EQ(tree_->getPrevious(key.data(), data.data(), &found, &it_), ZoSuccess);
                Oracle::iterator expected;
                if (positioned)
                    expected = at == oracle_->begin() ? oracle_->end() : std::prev(at);
                else
                    expected = beforeValid ? before : oracle_->end();
                expectAt(found, key, data, expected, "getPrevious");
                if (expected == oracle_->end())
                    return;
                at = expected;
            }
            positioned = true;
        }
    }

    void opAdd() {
        std::string key = randomKey(), data = randomData();
        unsigned found = 9;
        ASSERT_EQ(tree_->add(key.data(), data.data(), &found), ZoSuccess);
        bool present = firstOf(key) != oracle_->end();
        if (GetParam().duplicates) {
            ASSERT_EQ(found, 0u);
            oracle_->emplace_hint(oracle_->lower_bound(key), key, data);
        } else {
            ASSERT_EQ(found, present ? 1u : 0u);
            if (!present)
                oracle_->emplace(key, data);
        }
    }

    void opLookupAndWalk() {
        std::string key = randomKey(), data(GetParam().dataLength, '\0');
        unsigned found;
        ASSERT_EQ(tree_->getData(key.data(), data.data(), &found, &it_), ZoSuccess);
        Oracle::iterator first = firstOf(key);
        ASSERT_EQ(found, first != oracle_->end() ? 1u : 0u);
        if (found != 0) {
            ASSERT_EQ(data, first->second);
        }
        walk(found != 0 ? first : oracle_->lower_bound(key), found != 0);
    }

    void opEndsAndWalk() {
        std::string key(GetParam().keyLength, '\0'), data(GetParam().dataLength, '\0');
        unsigned found;
        bool first = rng_() % 2 == 0;
        ASSERT_EQ((first ? tree_->getFirst(key.data(), data.data(), &found, &it_)
                         : tree_->getLast(key.data(), data.data(), &found, &it_)),
                  ZoSuccess);
        Oracle::iterator expected =
            oracle_->empty() ? oracle_->end() : (first ? oracle_->begin() : std::prev(oracle_->end()));
        expectAt(found, key, data, expected, first ? "getFirst" : "getLast");
        if (found != 0)
            walk(expected, true);
    }

    void opDeleteByKeyAndData() {
        std::string key = randomKey(), data = randomData();
        unsigned found = 9;
        ASSERT_EQ(tree_->deleteKeyAndData(key.data(), data.data(), &found), ZoSuccess);
        Oracle::iterator victim = firstOf(key);
        if (GetParam().duplicates)
            while (victim != oracle_->end() && victim->first == key && victim->second != data)
                ++victim;
        bool hit = victim != oracle_->end() && victim->first == key;
        ASSERT_EQ(found, hit ? 1u : 0u);
        if (hit)
            oracle_->erase(victim);
    }

    void opDeleteCurrent() {
        std::string key = randomKey();
        unsigned found;
        ASSERT_EQ(tree_->getData(key.data(), nullptr, &found, &it_), ZoSuccess);
        Oracle::iterator victim = firstOf(key);
        ASSERT_EQ(found, victim != oracle_->end() ? 1u : 0u);
        if (found == 0) {
            ASSERT_EQ(tree_->deleteCurrent(&it_), ZoFailure);
            return;
        }
        ASSERT_EQ(tree_->deleteCurrent(&it_), ZoSuccess);
        Oracle::iterator following = oracle_->erase(victim);
        // Stepping on reaches the entry that followed the deleted one.
        std::string k(GetParam().keyLength, '\0'), d(GetParam().dataLength, '\0');
        ASSERT_EQ(tree_->getNext(k.data(), d.data(), &found, &it_), ZoSuccess);
        expectAt(found, k, d, following, "getNext after deleteCurrent");
    }

    void opChangeKey() {
        std::string from = randomKey(), to = randomKey();
        Oracle::iterator entry = firstOf(from);
        bool refused = entry != oracle_->end() && !GetParam().duplicates && from != to && firstOf(to) != oracle_->end();
        ASSERT_EQ(tree_->changeKey(from.data(), to.data()), refused ? ZoFailure : ZoSuccess);
        if (entry == oracle_->end() || refused || from == to)
            return;
        std::string data = entry->second;
        oracle_->erase(entry);
        oracle_->emplace_hint(oracle_->lower_bound(to), to, data);
    }

    void opChangeData() {
        std::string key = randomKey(), data = randomData();
        ASSERT_EQ(tree_->changeData(key.data(), data.data()), ZoSuccess);
        Oracle::iterator entry = firstOf(key);
        if (entry != oracle_->end())
            entry->second = data;
    }

    void checkWhole() {
        ASSERT_EQ(tree_->getKeyCount(), oracle_->size());
        std::string key(GetParam().keyLength, '\0'), data(GetParam().dataLength, '\0');
        unsigned found = 0;
        auto move = [&](auto step) { return (tree_.get()->*step)(key.data(), data.data(), &found, &it_); };
        auto at = oracle_->begin();
        for (ZoStatus s = move(&ZoTree::getFirst); s == ZoSuccess && found != 0; s = move(&ZoTree::getNext), ++at) {
            ASSERT_NE(at, oracle_->end());
            ASSERT_EQ(key, at->first);
            ASSERT_EQ(data, at->second);
        }
        ASSERT_EQ(at, oracle_->end());
        auto back = oracle_->rbegin();
        for (ZoStatus s = move(&ZoTree::getLast); s == ZoSuccess && found != 0;
             s = move(&ZoTree::getPrevious), ++back) {
            ASSERT_NE(back, oracle_->rend());
            ASSERT_EQ(key, back->first);
        }
        ASSERT_EQ(back, oracle_->rend());
    }

    std::mt19937 rng_{12345};
    std::unique_ptr<ZoTree> tree_;
    std::unique_ptr<Oracle> oracle_;
    ZoTreeIterator it_;
};

TEST_P(ZoTreeModel, MatchesMultimap) {
    const ModelConfig &c = GetParam();
    for (uint32_t op = 0; op < c.operations; ++op) {
        uint32_t dice = rng_() % 100;
        if (dice < 40 || (!c.deletable && dice < 60))
            opAdd();
        else if (dice < 60)
            opLookupAndWalk();
        else if (dice < 66)
            opEndsAndWalk();
        else if (!c.deletable)
            opChangeData();
        else if (dice < 78)
            opDeleteByKeyAndData();
        else if (dice < 86)
            opDeleteCurrent();
        else if (dice < 93)
            opChangeKey();
        else
            opChangeData();
        if (HasFatalFailure()) {
            ADD_FAILURE() << "at operation " << op;
            return;
        }
        if (op % 20000 == 19999)
            checkWhole();
    }
    checkWhole();
    // The tree outgrew the 32 KiB cache: its pages went through the backing file.
    EXPECT_GT(tree_->getStore().getPagesInFile(), 16u);
}

// Fewer operations under the sanitizers keep the run to seconds.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr uint32_t Ops = 60000;
#else
constexpr uint32_t Ops = 200000;
#endif

INSTANTIATE_TEST_SUITE_P(Shapes, ZoTreeModel,
                         ::testing::Values(ModelConfig{4, 4, true, false, true, 20000, Ops},
                                           ModelConfig{4, 4, true, true, true, 3000, Ops},
                                           ModelConfig{13, 7, true, true, false, 2000, Ops / 2},
                                           ModelConfig{100, 20, false, false, false, 3000, Ops / 4},
                                           ModelConfig{30, 0, false, true, false, 500, Ops / 4},
                                           ModelConfig{8, 0, true, false, false, 6000, Ops / 2}),
                         [](const auto &info) {
                             std::ostringstream name;
                             name << info.param;
                             return name.str();
                         });

} // namespace
