#include <zo/zolist.h>

#include <gtest/gtest.h>

#include <vector>

#include "containers/counted.h"

using zotest::CountedNode;

namespace {

// Walks the list through its links (not the cursor) and checks the circular shape.
std::vector<int> idsOf(ZoList &list) {
    std::vector<int> ids;
    ZoNode *last = list.getLastNode();
    if (last == nullptr)
        return ids;
    ZoNode *node = last->getLink();
    for (uint32_t i = 0; i < list.getCount(); ++i, node = node->getLink())
        ids.push_back(static_cast<CountedNode *>(node)->id);
    EXPECT_EQ(node, last->getLink()) << "the last node links to the first";
    return ids;
}

class ZoListTest : public ::testing::Test {
protected:
    void SetUp() override { CountedNode::live = 0; }
    void TearDown() override {
        list.deleteNodes();
        EXPECT_EQ(CountedNode::live, 0);
    }
    void fill(int n) {
        for (int i = 0; i < n; ++i)
            list.append(new CountedNode(i));
    }
    ZoList list;
};

TEST_F(ZoListTest, FirstNodeInAnEmptyListLinksToItself) {
    auto *node = new CountedNode(7);
    list.insertAtPos(node, 0);
    EXPECT_EQ(list.getCount(), 1u);
    EXPECT_EQ(node->getLink(), node);
    EXPECT_EQ(list.getLastNode(), node);
    EXPECT_EQ(list.getFirstNode(), node);
}

TEST_F(ZoListTest, InsertAppendAndInsertAtPos) {
    list.append(new CountedNode(2));
    list.insert(new CountedNode(1));
    list.append(new CountedNode(4));
    list.insertAtPos(new CountedNode(3), 2);
    EXPECT_EQ(static_cast<CountedNode *>(list.getCurrent())->id, 2) << "cursor left on the predecessor";
    list.insertAtPos(new CountedNode(5), 4);
    list.insertAtPos(new CountedNode(0), 0);
    EXPECT_EQ(idsOf(list), (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST_F(ZoListTest, NodeAtPosStopsAtTheEnd) {
    EXPECT_EQ(list.getNodeAtPos(0), nullptr);
    fill(3);
    EXPECT_EQ(static_cast<CountedNode *>(list.getNodeAtPos(0))->id, 0);
    EXPECT_EQ(static_cast<CountedNode *>(list.getNodeAtPos(2))->id, 2);
    EXPECT_EQ(list.getNodeAtPos(3), nullptr);
    EXPECT_EQ(list.getNodeAtPos(1000), nullptr) << "no wrap-around past the last node";
    EXPECT_EQ(list.getCurrent(), nullptr);
}

TEST_F(ZoListTest, PositionsBeyondSixteenBits) {
    fill(70000);
    EXPECT_EQ(static_cast<CountedNode *>(list.getNodeAtPos(65536))->id, 65536);
    EXPECT_EQ(static_cast<CountedNode *>(list.getNodeAtPos(69999))->id, 69999);
    list.insertAtPos(new CountedNode(-1), 66000);
    EXPECT_EQ(static_cast<CountedNode *>(list.getNodeAtPos(66000))->id, -1);
    EXPECT_EQ(list.getCount(), 70001u);
}

TEST_F(ZoListTest, IterationVisitsEachNodeOnce) {
    fill(4);
    std::vector<int> seen;
    for (ZoNode *node = list.getFirstNode(); node != nullptr; node = list.getNextNode())
        seen.push_back(static_cast<CountedNode *>(node)->id);
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(list.getNextNode(), nullptr) << "past the end stays at the end";
}

TEST_F(ZoListTest, UnlinkFixesLastAndCursor) {
    fill(3);
    ZoNode *middle = list.getNodeAtPos(1);
    list.unlink(middle);
    EXPECT_EQ(middle->getLink(), nullptr);
    EXPECT_EQ(list.getCurrent(), nullptr);
    delete middle;
    ZoNode *last = list.getLastNode();
    list.unlink(last);
    delete last;
    EXPECT_EQ(idsOf(list), (std::vector<int>{0}));
    EXPECT_EQ(static_cast<CountedNode *>(list.getLastNode())->id, 0);
    ZoNode *only = list.removeFirstNode();
    EXPECT_EQ(list.getCount(), 0u);
    EXPECT_EQ(list.getLastNode(), nullptr);
    EXPECT_EQ(only->getLink(), nullptr);
    delete only;
}

TEST_F(ZoListTest, UnlinkOfAStrangerChangesNothing) {
    fill(2);
    CountedNode stranger(9);
    list.unlink(&stranger);
    EXPECT_EQ(idsOf(list), (std::vector<int>{0, 1}));
    ZoList empty;
    empty.unlink(&stranger);
    EXPECT_EQ(empty.getCount(), 0u);
}

TEST_F(ZoListTest, RemoveFirstAndLast) {
    EXPECT_EQ(list.removeFirstNode(), nullptr);
    EXPECT_EQ(list.removeLastNode(), nullptr);
    fill(3);
    ZoNode *first = list.removeFirstNode();
    ZoNode *last = list.removeLastNode();
    EXPECT_EQ(static_cast<CountedNode *>(first)->id, 0);
    EXPECT_EQ(static_cast<CountedNode *>(last)->id, 2);
    EXPECT_EQ(idsOf(list), (std::vector<int>{1}));
    delete first;
    delete last;
}

TEST_F(ZoListTest, MoveLastNodeToPos) {
    fill(4);
    list.moveLastNodeToPos(0);
    EXPECT_EQ(idsOf(list), (std::vector<int>{3, 0, 1, 2}));
    list.moveLastNodeToPos(2);
    EXPECT_EQ(idsOf(list), (std::vector<int>{3, 0, 2, 1}));
    list.moveLastNodeToPos(3);
    EXPECT_EQ(idsOf(list), (std::vector<int>{3, 0, 2, 1}));

    ZoList single;
    CountedNode only(1);
    single.append(&only);
    single.moveLastNodeToPos(0);
    EXPECT_EQ(single.getCount(), 1u);
    EXPECT_EQ(only.getLink(), &only);
    single.unlink(&only);

    ZoList empty;
    empty.moveLastNodeToPos(0);
    EXPECT_EQ(empty.getCount(), 0u);
}

TEST_F(ZoListTest, DeleteNodesDestroysEveryNode) {
    fill(5);
    list.getNodeAtPos(2);
    list.deleteNodes();
    EXPECT_EQ(CountedNode::live, 0);
    EXPECT_EQ(list.getCount(), 0u);
    EXPECT_EQ(list.getCurrent(), nullptr);
    fill(1);
    EXPECT_EQ(list.getCount(), 1u);
}

} // namespace
