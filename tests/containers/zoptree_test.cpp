#include <zo/zoptree.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>
#include "support/status.h"

namespace {

using Entries = std::vector<std::pair<uint32_t, uint32_t>>; // (position, datum)

// A positional tree of 4-byte data, with an iterator of its own.
struct Positions {
    explicit Positions(uint16_t dataLength = 4) : tree(dataLength), datum(dataLength, '\0') {
        zotest::ok(it.initialize(&tree));
    }
    // The datum of value v: v in its first 4 bytes, then bytes that depend on v.
    const char *dataOf(uint32_t v) {
        for (size_t i = 0; i < datum.size(); ++i)
            datum[i] = static_cast<char>(i < 4 ? (v >> (8 * i)) : (v * 31 + i));
        return datum.data();
    }
    uint32_t valueOf(const std::string &d) const {
        uint32_t v = 0;
        std::memcpy(&v, d.data(), d.size() < 4 ? d.size() : 4);
        return v;
    }
    void add(uint32_t position, uint32_t v) { zotest::ok(tree.addAtPos(position, dataOf(v))); }
    unsigned remove(uint32_t position) {
        unsigned found = 9;
        zotest::ok(tree.deleteKeyAtPos(position, &found));
        return found;
    }
    struct Step {
        unsigned found = 0;
        uint32_t position = 0;
        uint32_t value = 0;
    };
    template <class Move>
    Step step(Move move) {
        Step s;
        std::string d(datum.size(), '\0');
        zotest::ok((tree.*move)(&s.position, d.data(), &s.found, &it));
        s.value = valueOf(d);
        return s;
    }
    Step next() { return step(&ZoTree::getNext); }
    Step previous() { return step(&ZoTree::getPrevious); }
    Step lookup(uint32_t position) {
        Step s;
        std::string d(datum.size(), '\0');
        zotest::ok(tree.getData(&position, d.data(), &s.found, &it));
        s.position = position;
        s.value = valueOf(d);
        return s;
    }
    Entries forward() {
        Entries out;
        for (Step s = step(&ZoTree::getFirst); s.found != 0; s = next())
            out.emplace_back(s.position, s.value);
        return out;
    }
    Entries backward() {
        Entries out;
        for (Step s = step(&ZoTree::getLast); s.found != 0; s = previous())
            out.emplace_back(s.position, s.value);
        return {out.rbegin(), out.rend()};
    }
    ZoPTree tree;
    ZoTreeIterator it;
    std::string datum;
};

TEST(ZoPTreeEdges, InsertionsShiftTheEntriesAfterThem) {
    Positions p;
    p.add(0, 'A');
    p.add(0, 'B');
    p.add(1, 'C');
    EXPECT_EQ(p.forward(), (Entries{{0, 'B'}, {1, 'C'}, {2, 'A'}}));
    // An entry beyond the last one just takes its position.
    p.add(10, 'D');
    EXPECT_EQ(p.forward(), (Entries{{0, 'B'}, {1, 'C'}, {2, 'A'}, {10, 'D'}}));
    EXPECT_EQ(p.tree.addAtPos(ZoPTree::MaxPosition + 1, p.dataOf('E')), ZoFailure);
}

TEST(ZoPTreeEdges, HolesOpenAndClose) {
    Positions p;
    for (uint32_t i = 0; i < 3; ++i)
        p.add(i, 'a' + i);
    zotest::ok(p.tree.addHoleAtPos(1));
    EXPECT_EQ(p.forward(), (Entries{{0, 'a'}, {2, 'b'}, {3, 'c'}}));
    // The hole: not found, and the iterator stands between its neighbours.
    EXPECT_EQ(p.lookup(1).found, 0u);
    Positions::Step after = p.next();
    EXPECT_EQ(after.position, 2u);
    EXPECT_EQ(after.value, 'b');
    EXPECT_EQ(p.lookup(1).found, 0u);
    EXPECT_EQ(p.previous().position, 0u);
    // Deleting at the hole finds nothing and closes it.
    EXPECT_EQ(p.remove(1), 0u);
    EXPECT_EQ(p.forward(), (Entries{{0, 'a'}, {1, 'b'}, {2, 'c'}}));
    EXPECT_EQ(p.remove(1), 1u);
    EXPECT_EQ(p.forward(), (Entries{{0, 'a'}, {1, 'c'}}));
    // Nothing lies beyond the last entry or the largest position.
    EXPECT_EQ(p.remove(7), 0u);
    EXPECT_EQ(p.remove(0xFFFFFFFF), 0u);
    EXPECT_EQ(p.forward(), (Entries{{0, 'a'}, {1, 'c'}}));
    // A hole in an empty tree changes nothing.
    Positions empty;
    zotest::ok(empty.tree.addHoleAtPos(0));
    EXPECT_TRUE(empty.forward().empty());
}

// Deleting through an iterator leaves a hole: the later entries keep their positions.
TEST(ZoPTreeEdges, DeletingTheCurrentEntryLeavesAHole) {
    Positions p;
    for (uint32_t i = 0; i < 5; ++i)
        p.add(i, i);
    ASSERT_EQ(p.lookup(2).found, 1u);
    zotest::ok(p.tree.deleteCurrent(&p.it));
    EXPECT_EQ(p.next().position, 3u);
    EXPECT_EQ(p.forward(), (Entries{{0, 0}, {1, 1}, {3, 3}, {4, 4}}));
    p.add(2, 9);
    EXPECT_EQ(p.forward(), (Entries{{0, 0}, {1, 1}, {2, 9}, {4, 3}, {5, 4}}));
}

// Insertions at position 0 split nodes at every level, each split at the front; the tree
// must count on without gaps, in reverse order of insertion, both ways.
TEST(ZoPTreeDepth, FrontInsertionsThroughFourLevels) {
    Positions p(100); // 18 keys a node
    const uint32_t n = 6000;
    for (uint32_t i = 0; i < n; ++i)
        p.add(0, i);
    Entries expected;
    for (uint32_t i = 0; i < n; ++i)
        expected.emplace_back(i, n - 1 - i);
    EXPECT_EQ(p.forward(), expected);
    EXPECT_EQ(p.backward(), expected);
    ASSERT_EQ(p.lookup(1234).found, 1u);
    EXPECT_EQ(p.lookup(1234).value, n - 1 - 1234);
    EXPECT_GE(p.tree.getMaxDepth(), 4u);
    // And away again from the front, down to a few entries, through marked inner triads.
    for (uint32_t i = 0; i + 3 < n; ++i)
        ASSERT_EQ(p.remove(0), 1u) << i;
    EXPECT_EQ(p.forward(), (Entries{{0, 2}, {1, 1}, {2, 0}}));
    p.add(0, 77);
    p.add(2, 78);
    EXPECT_EQ(p.forward(), (Entries{{0, 77}, {1, 2}, {2, 78}, {3, 1}, {4, 0}}));
}

// ---- model test -------------------------------------------------------------------------

// The oracle: a vector of slots holding a value, or Hole. Positions past its end are holes.
constexpr uint32_t Hole = 0xFFFFFFFF;

struct PositionModelConfig {
    uint16_t dataLength;
    uint32_t operations;
    uint32_t targetSize; // inserts outweigh deletes below it, deletes above
};

std::ostream &operator<<(std::ostream &out, const PositionModelConfig &c) {
    return out << "data" << c.dataLength << "_ops" << c.operations;
}

class ZoPTreeModel : public ::testing::TestWithParam<PositionModelConfig> {
protected:
    ZoPTreeModel() : p_(GetParam().dataLength) {}

    uint32_t randomPosition() {
        // Mostly inside, sometimes at or a little past the end.
        return static_cast<uint32_t>(rng_() % (slots_.size() + 3));
    }
    uint32_t liveCount() const {
        uint32_t n = 0;
        for (uint32_t v : slots_)
            n += v != Hole;
        return n;
    }

    // What the tree gives back of a value: data shorter than 4 bytes hold none of it.
    uint32_t visible(uint32_t value) const { return GetParam().dataLength >= 4 ? value : 0; }

    void opAdd() {
        uint32_t position = randomPosition(), value = nextValue_++;
        p_.add(position, value);
        value = visible(value);
        if (position >= slots_.size()) {
            slots_.resize(position, Hole);
            slots_.push_back(value);
        } else {
            slots_.insert(slots_.begin() + position, value);
        }
    }
    void opHole() {
        uint32_t position = randomPosition();
        zotest::ok(p_.tree.addHoleAtPos(position));
        if (position < slots_.size())
            slots_.insert(slots_.begin() + position, Hole);
    }
    void opDelete() {
        uint32_t position = randomPosition();
        unsigned expected = position < slots_.size() && slots_[position] != Hole;
        ASSERT_EQ(p_.remove(position), expected) << "deleteKeyAtPos " << position;
        if (position < slots_.size())
            slots_.erase(slots_.begin() + position);
    }
    // A lookup, then a few steps either way from it, against the oracle's neighbours.
    void opLookupAndWalk() {
        uint32_t position = randomPosition();
        Positions::Step s = p_.lookup(position);
        bool live = position < slots_.size() && slots_[position] != Hole;
        ASSERT_EQ(s.found, live ? 1u : 0u) << "getData " << position;
        if (live) {
            ASSERT_EQ(s.value, slots_[position]);
        }
        bool forward = rng_() % 2 == 0;
        // Past the end, the step back goes to the last slot.
        int64_t at = forward ? position : std::min<int64_t>(position, slots_.size());
        for (int i = 0; i < 4; ++i) {
            Positions::Step t = forward ? p_.next() : p_.previous();
            do
                at += forward ? 1 : -1;
            while (at >= 0 && at < int64_t(slots_.size()) && slots_[at] == Hole);
            bool exists = at >= 0 && at < int64_t(slots_.size());
            ASSERT_EQ(t.found, exists ? 1u : 0u) << "step from " << position;
            if (!exists)
                return;
            ASSERT_EQ(t.position, uint32_t(at));
            ASSERT_EQ(t.value, slots_[at]);
        }
    }
    // Deletes the entry a lookup found without moving the others.
    void opDeleteCurrent() {
        uint32_t position = randomPosition();
        if (p_.lookup(position).found == 0)
            return;
        zotest::ok(p_.tree.deleteCurrent(&p_.it));
        slots_[position] = Hole;
    }
    void checkWhole() {
        Entries expected;
        for (uint32_t i = 0; i < slots_.size(); ++i)
            if (slots_[i] != Hole)
                expected.emplace_back(i, slots_[i]);
        ASSERT_EQ(p_.tree.getKeyCount(), expected.size());
        ASSERT_EQ(p_.forward(), expected);
        ASSERT_EQ(p_.backward(), expected);
    }

    std::mt19937 rng_{2718};
    Positions p_;
    std::vector<uint32_t> slots_;
    uint32_t nextValue_ = 1;
};

TEST_P(ZoPTreeModel, MatchesAVector) {
    const PositionModelConfig &c = GetParam();
    for (uint32_t op = 0; op < c.operations; ++op) {
        uint32_t dice = rng_() % 100;
        bool growing = liveCount() < c.targetSize;
        if (dice < (growing ? 45u : 25u))
            opAdd();
        else if (dice < 50)
            opHole();
        else if (dice < 75)
            opDelete();
        else if (dice < 78)
            opDeleteCurrent();
        else
            opLookupAndWalk();
        if (HasFatalFailure()) {
            ADD_FAILURE() << "at operation " << op;
            return;
        }
        // Trailing holes carry no entry: the oracle drops them so that it stays small.
        while (!slots_.empty() && slots_.back() == Hole)
            slots_.pop_back();
        if (op % 25000 == 24999)
            checkWhole();
    }
    checkWhole();
    // The full runs grow trees of three levels and more, whose leaves outgrow the store's
    // 32 KiB cache and go through its file (the shorter runs under the sanitizers may not).
    if (c.operations >= 50000) {
        EXPECT_GE(p_.tree.getMaxDepth(), 3u);
        EXPECT_GT(p_.tree.getStore().getPagesInFile(), 16u);
    }
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr uint32_t PositionOps = 25000;
#else
constexpr uint32_t PositionOps = 200000;
#endif

INSTANTIATE_TEST_SUITE_P(Shapes, ZoPTreeModel,
                         ::testing::Values(PositionModelConfig{4, PositionOps, 12000},
                                           PositionModelConfig{100, PositionOps / 2, 4000},
                                           PositionModelConfig{0, PositionOps / 4, 3000}),
                         [](const auto &info) {
                             std::ostringstream name;
                             name << info.param;
                             return name.str();
                         });

} // namespace
