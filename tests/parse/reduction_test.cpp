#include <zo/zoreduct.h>

#include <gtest/gtest.h>

#include "support/alloc_failure.h"
#include "support/status.h"

namespace {

const unsigned char *u(const char *s) { return reinterpret_cast<const unsigned char *>(s); }

ZoReduction *childOf(ZoReduction *node) {
    ZoReduction *child = nullptr;
    EXPECT_EQ(node->getChild(&child), ZoSuccess);
    return child;
}

ZoReduction *nextOf(ZoReduction *node) {
    ZoReduction *next = nullptr;
    EXPECT_EQ(node->getNextSibling(&next), ZoSuccess);
    return next;
}

TEST(ZoReductionTest, TerminalFlagFollowsTheNumber) {
    ZoReduction token(2, u("abc"));
    EXPECT_TRUE(token.terminal());
    EXPECT_STREQ(reinterpret_cast<const char *>(token.string()), "abc");
    ZoReduction production(1500, nullptr);
    EXPECT_FALSE(production.terminal());
    EXPECT_EQ(production.string(), nullptr);
    ZoReduction none(0, nullptr);
    EXPECT_FALSE(none.terminal()) << "number 0 from the constructor is not terminal";
    none.setReductNumber(0);
    EXPECT_TRUE(none.terminal()) << "setReductNumber marks every number below 1000 terminal";
    none.setReductNumber(1000);
    EXPECT_FALSE(none.terminal());
}

TEST(ZoReductionTest, SetStringCopiesAndClears) {
    ZoReduction node;
    char text[] = "xyz";
    ASSERT_EQ(node.setString(u(text)), ZoSuccess);
    text[0] = 'Q';
    EXPECT_STREQ(reinterpret_cast<const char *>(node.string()), "xyz");
    ASSERT_EQ(node.setString(nullptr), ZoSuccess);
    EXPECT_EQ(node.string(), nullptr);
}

TEST(ZoReductionTest, FailedSetStringKeepsTheOldText) {
    ZoReduction node(2, u("old"));
    zotest::NoMemory none;
    EXPECT_EQ(node.setString(u("new")), ZoFailure);
    EXPECT_STREQ(reinterpret_cast<const char *>(node.string()), "old");
}

TEST(ZoReductionTest, AddChildKeepsOrderAndLinksBothWays) {
    auto *root = new ZoReduction(1000, nullptr);
    auto *a = new ZoReduction(2, u("a"));
    auto *b = new ZoReduction(2, u("b"));
    auto *c = new ZoReduction(2, u("c"));
    EXPECT_EQ(root->addChild(nullptr), ZoSuccess);
    for (ZoReduction *child : {a, b, c})
        ASSERT_EQ(root->addChild(child), ZoSuccess);
    EXPECT_EQ(childOf(root), a);
    EXPECT_EQ(nextOf(a), b);
    EXPECT_EQ(nextOf(b), c);
    EXPECT_EQ(nextOf(c), nullptr);
    ZoReduction *prev = nullptr, *parent = nullptr;
    zotest::ok(c->getPrevSibling(&prev));
    EXPECT_EQ(prev, b);
    zotest::ok(a->getPrevSibling(&prev));
    EXPECT_EQ(prev, nullptr);
    zotest::ok(b->getParent(&parent));
    EXPECT_EQ(parent, root);
    delete root; // frees all four (checked by the leak sanitizer)
}

TEST(ZoReductionTest, GetGoalFindsTheRoot) {
    auto *root = new ZoReduction(1000, nullptr);
    auto *mid = new ZoReduction(1001, nullptr);
    auto *low = new ZoReduction(1002, nullptr);
    auto *leaf = new ZoReduction(2, u("x"));
    zotest::ok(root->addChild(mid));
    zotest::ok(mid->addChild(low));
    zotest::ok(low->addChild(leaf));
    ZoReduction *goal = nullptr;
    ASSERT_EQ(leaf->getGoal(&goal), ZoSuccess);
    EXPECT_EQ(goal, root);
    ASSERT_EQ(root->getGoal(&goal), ZoSuccess);
    EXPECT_EQ(goal, root);
    ZoReduction *untouched = leaf;
    EXPECT_EQ(root->getNextReduction(&untouched), ZoSuccess);
    EXPECT_EQ(untouched, leaf);
    delete root;
}

TEST(ZoReductionTest, DeletingAChildUnlinksItFromItsSiblings) {
    auto *root = new ZoReduction(1000, nullptr);
    auto *a = new ZoReduction(2, u("a"));
    auto *b = new ZoReduction(1001, nullptr);
    auto *c = new ZoReduction(2, u("c"));
    zotest::ok(root->addChild(a));
    zotest::ok(root->addChild(b));
    zotest::ok(root->addChild(c));
    zotest::ok(b->addChild(new ZoReduction(2, u("inner"))));
    delete b;
    EXPECT_EQ(nextOf(a), c);
    ZoReduction *prev = nullptr;
    zotest::ok(c->getPrevSibling(&prev));
    EXPECT_EQ(prev, a);
    // Deleting the first child leaves the parent's link to the caller.
    delete a;
    EXPECT_EQ(childOf(root), a);
    zotest::ok(root->setChild(c));
    delete root;
}

TEST(ZoReductionTest, DeepAndWideTreesAreDeletedWithoutRecursion) {
    auto *root = new ZoReduction(1000, nullptr);
    ZoReduction *node = root;
    for (int i = 0; i < 200000; ++i) { // a chain far deeper than the call stack allows
        auto *child = new ZoReduction(1000, nullptr);
        zotest::ok(node->addChild(new ZoReduction(2, u("x"))));
        zotest::ok(node->addChild(child));
        node = child;
    }
    delete root;
}

TEST(ZoReductionTest, AdoptChildrenSetsEveryParent) {
    auto *a = new ZoReduction(2, u("a"));
    auto *b = new ZoReduction(2, u("b"));
    zotest::ok(a->setNextSibling(b));
    zotest::ok(b->setPrevSibling(a));
    ZoReduction parent(1000, nullptr);
    parent.adoptChildren(a);
    ZoReduction *p = nullptr;
    zotest::ok(b->getParent(&p));
    EXPECT_EQ(p, &parent);
    EXPECT_EQ(childOf(&parent), a);
}

} // namespace
