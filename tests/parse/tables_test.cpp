// Transitions and states: matching, ambiguity marks and lookups with a skip count.
#include <zo/zoparse.h>

#include <gtest/gtest.h>

#include <memory>

#include "support/alloc_failure.h"
#include "support/status.h"

namespace {

const unsigned char *u(const char *s) { return reinterpret_cast<const unsigned char *>(s); }

ZoStateTransition *transition(short type, const char *text = nullptr, ActionType action = actionShift) {
    auto *t = new ZoStateTransition;
    zotest::ok(t->setTokenType(type));
    zotest::ok(t->setTokenString(text != nullptr ? u(text) : nullptr));
    zotest::ok(t->setAction(action));
    return t;
}

// Which listed transition (0-based) a lookup takes; -1 for the default, -2 for none.
int pick(const ZoParseState &state, short type, const char *text, short skip) {
    ZoStateTransition *out = nullptr;
    if (state.nextState(type, text != nullptr ? u(text) : nullptr, &out, skip) != ZoSuccess)
        return -2;
    ZoStateTransition *def = nullptr;
    if (state.getDefaultTransition(&def) == ZoSuccess && out == def)
        return -1;
    ZoStateTransition *t = nullptr;
    zotest::ok(state.getFirstTransition(&t));
    for (int i = 0; t != nullptr; ++i) {
        if (t == out)
            return i;
        if (t->getNextTransition(&t) != ZoSuccess)
            break;
    }
    return -3;
}

TEST(ZoStateTransitionTest, ConstructionDefaults) {
    ZoStateTransition t;
    EXPECT_EQ(t.getAction(), actionGoto);
    EXPECT_EQ(t.getTokenType(), 0);
    EXPECT_EQ(t.getTokenString(), nullptr);
    EXPECT_FALSE(t.isAmbiguous());
    ZoStateTransition *link = nullptr;
    EXPECT_EQ(t.getNextTransition(&link), ZoFailure);
    EXPECT_EQ(t.getPrevTransition(&link), ZoFailure);
}

TEST(ZoStateTransitionTest, MatchRules) {
    std::unique_ptr<ZoStateTransition> anyWord(transition(2));
    std::unique_ptr<ZoStateTransition> all(transition(2, "ALL"));
    std::unique_ptr<ZoStateTransition> contents(transition(41));
    std::unique_ptr<ZoStateTransition> dq(transition(32)), sq(transition(33)), bq(transition(9));
    std::unique_ptr<ZoStateTransition> quoteItem(transition(40));
    std::unique_ptr<ZoStateTransition> comma(transition(35, ","));

    EXPECT_EQ(anyWord->match(2, u("x")), ZoSuccess);
    EXPECT_EQ(anyWord->match(2, nullptr), ZoSuccess);
    EXPECT_EQ(all->match(2, u("all")), ZoSuccess) << "words match ignoring case";
    EXPECT_EQ(all->match(2, u("ALLX")), ZoFailure);
    EXPECT_EQ(all->match(2, nullptr), ZoFailure);
    EXPECT_EQ(all->match(300, u("ALL")), ZoFailure) << "different types never match";
    EXPECT_EQ(comma->match(35, u(";")), ZoSuccess) << "equal non-word types ignore the text";
    for (short type : {1, 2, 5, 35, 40, 300})
        EXPECT_EQ(contents->match(type, u("x")), ZoSuccess) << type;

    EXPECT_EQ(dq->match(40, u("\"")), ZoSuccess);
    EXPECT_EQ(sq->match(40, u("\"")), ZoFailure);
    EXPECT_EQ(sq->match(40, u("'")), ZoSuccess);
    EXPECT_EQ(bq->match(40, u("`")), ZoSuccess);
    EXPECT_EQ(quoteItem->match(40, u("\"")), ZoFailure) << "a type-40 item matches no quote";
    EXPECT_EQ(dq->match(40, nullptr), ZoFailure);
}

TEST(ZoStateTransitionTest, CopyKeepsFieldsButNotLinksOrMarks) {
    ZoParseState target, back;
    std::unique_ptr<ZoStateTransition> t(transition(2, "TOP", actionPush));
    zotest::ok(t->setNextParseState(&target));
    zotest::ok(t->setPushState(&back));
    zotest::ok(t->setProductionNumber(1234));
    std::unique_ptr<ZoStateTransition> other(transition(2, "top"));
    zotest::ok(t->addToListEnd(other.release()));
    ASSERT_TRUE(t->isAmbiguous());
    std::unique_ptr<ZoStateTransition> c(t->copy());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->getTokenType(), 2);
    EXPECT_STREQ(reinterpret_cast<const char *>(c->getTokenString()), "TOP");
    EXPECT_NE(c->getTokenString(), t->getTokenString());
    EXPECT_EQ(c->getAction(), actionPush);
    EXPECT_EQ(c->getNextParseState(), &target);
    EXPECT_EQ(c->getPushState(), &back);
    EXPECT_EQ(c->getProductionNumber(), 1234);
    EXPECT_FALSE(c->isAmbiguous());
    ZoStateTransition *link = nullptr;
    EXPECT_EQ(c->getNextTransition(&link), ZoFailure);
}

TEST(ZoParseStateTest, OverlappingWordsAreAmbiguousAndTriedInOrder) {
    ZoParseState state;
    zotest::ok(state.addTransition(transition(2)));
    zotest::ok(state.addTransition(transition(2, "TOP")));
    zotest::ok(state.addTransition(transition(35)));
    ZoStateTransition *first = nullptr, *second = nullptr, *third = nullptr;
    zotest::ok(state.getFirstTransition(&first));
    zotest::ok(first->getNextTransition(&second));
    zotest::ok(second->getNextTransition(&third));
    EXPECT_TRUE(first->isAmbiguous());
    EXPECT_TRUE(second->isAmbiguous());
    EXPECT_FALSE(third->isAmbiguous());
    ZoStateTransition *prev = nullptr;
    ASSERT_EQ(third->getPrevTransition(&prev), ZoSuccess);
    EXPECT_EQ(prev, second);

    EXPECT_EQ(pick(state, 2, "top", 0), 0);
    EXPECT_EQ(pick(state, 2, "top", 1), 1);
    EXPECT_EQ(pick(state, 2, "top", 2), -2) << "no default transition";
    EXPECT_EQ(pick(state, 2, "other", 1), -2);
    EXPECT_EQ(pick(state, 35, ",", 0), 2);

    zotest::ok(state.setDefaultTransition(transition(0, nullptr, actionReduce)));
    EXPECT_EQ(pick(state, 2, "top", 2), -1) << "the default is the last candidate";
    EXPECT_EQ(pick(state, 2, "top", 3), -2);
    EXPECT_EQ(pick(state, 2, "other", 1), -1);
    EXPECT_EQ(pick(state, 99, nullptr, 0), -1);
    EXPECT_EQ(pick(state, 99, nullptr, 1), -2);
}

TEST(ZoParseStateTest, AmbiguityIsJudgedByTheListedTransitionsMatchingTheNewOne) {
    // A word with a string listed first does not accept a later string-less word transition.
    ZoParseState state;
    zotest::ok(state.addTransition(transition(2, "TOP")));
    zotest::ok(state.addTransition(transition(2)));
    ZoStateTransition *first = nullptr, *second = nullptr;
    zotest::ok(state.getFirstTransition(&first));
    zotest::ok(first->getNextTransition(&second));
    EXPECT_FALSE(first->isAmbiguous());
    EXPECT_FALSE(second->isAmbiguous());
    // A literal-contents transition accepts everything added after it.
    ZoParseState literal;
    zotest::ok(literal.addTransition(transition(41)));
    zotest::ok(literal.addTransition(transition(40)));
    zotest::ok(literal.getFirstTransition(&first));
    zotest::ok(first->getNextTransition(&second));
    EXPECT_TRUE(first->isAmbiguous());
    EXPECT_TRUE(second->isAmbiguous());
    EXPECT_EQ(pick(literal, 5, "1", 0), 0);
}

TEST(ZoParseStateTest, LinkAccessorsFailOnNull) {
    ZoParseState a, b;
    ZoParseState *out = nullptr;
    EXPECT_EQ(a.getNextState(&out), ZoFailure);
    EXPECT_EQ(a.getPrevState(&out), ZoFailure);
    zotest::ok(a.setPrevState(&b));
    EXPECT_EQ(a.getPrevState(&out), ZoSuccess);
    EXPECT_EQ(out, &b);
    ZoStateTransition *t = nullptr;
    EXPECT_EQ(a.getFirstTransition(&t), ZoFailure);
    EXPECT_EQ(a.getDefaultTransition(&t), ZoFailure);
}

TEST(ZoParseStateTest, DeletingAStateDeletesItsLongChain) {
    auto *start = new ZoParseState;
    ZoParseState *last = start;
    for (int i = 0; i < 100000; ++i) {
        auto *s = new ZoParseState;
        zotest::ok(s->addTransition(transition(2)));
        zotest::ok(s->setDefaultTransition(transition(0, nullptr, actionReduce)));
        zotest::ok(last->setNextState(s));
        last = s;
    }
    delete start;
}

TEST(ZoStateTransitionTest, FailedStringCopyKeepsTheOldString) {
    std::unique_ptr<ZoStateTransition> t(transition(2, "OLD"));
    {
        zotest::NoMemory none;
        EXPECT_EQ(t->setTokenString(u("NEW")), ZoFailure);
        EXPECT_EQ(t->copy(), nullptr);
    }
    EXPECT_STREQ(reinterpret_cast<const char *>(t->getTokenString()), "OLD");
}

} // namespace
