// The grammar compiler: notation, references, first lists, goals and rejected grammars.
#include <zo/zoparse.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "parse/grammar_support.h"
#include "support/alloc_failure.h"
#include "support/status.h"

using zotest::Records;

namespace {

const unsigned char *u(const char *s) { return reinterpret_cast<const unsigned char *>(s); }

const Records kKeywords = {{"SELECT", 300}, {"FROM", 301}, {"DISTINCT", 302}};

// A compiled grammar with its keyword list.
struct Compiled {
    explicit Compiled(const std::vector<std::string> &texts, const Records &keywords = kKeywords) {
        unsigned char *k = zotest::pack(keywords);
        list = std::make_unique<ZoKeywordList>(k);
        ramFree(k);
        unsigned char *g = zotest::pack(zotest::productions(texts));
        grammar = std::make_unique<ZoGrammar>(g, list.get());
        ramFree(g);
    }
    bool ok() const { return grammar->isOK() != 0; }
    ZoProduction *find(const char *name) const {
        for (ZoProduction *p = grammar->getProductions(); p != nullptr;) {
            const unsigned char *own = nullptr;
            if (p->getName(&own) == ZoSuccess && std::string(reinterpret_cast<const char *>(own)) == name)
                return p;
            if (p->getNextProduction(&p) != ZoSuccess)
                break;
        }
        return nullptr;
    }
    // First list as "type[:text]" entries in list order.
    std::string firsts(const char *name) const {
        std::string out;
        ZoTokenNode *node = nullptr;
        for (ZoStatus more = find(name)->getFirstList(&node); more == ZoSuccess; more = node->nextNode(&node)) {
            if (!out.empty())
                out += ' ';
            out += std::to_string(node->getTokenType());
            if (node->getTokenString() != nullptr)
                out += std::string(":") + reinterpret_cast<const char *>(node->getTokenString());
        }
        return out;
    }
    std::unique_ptr<ZoKeywordList> list;
    std::unique_ptr<ZoGrammar> grammar;
};

TEST(ZoGrammarTest, ReferencesMustBeDefined) {
    EXPECT_FALSE(Compiled({"goal ::= SELECT select-list FROM alphanum"}).ok());
    Compiled c({"goal ::= SELECT select-list FROM alphanum", "select-list ::= alphanum { , alphanum }*"});
    ASSERT_TRUE(c.ok());
    ZoBNFElement *item = nullptr, *ref = nullptr;
    ASSERT_EQ(c.find("goal")->getCompiledProduction(&item), ZoSuccess);
    EXPECT_EQ(item->getTokenType(), 300);
    ASSERT_EQ(item->getNextSequential(&ref), ZoSuccess);
    ZoProduction *target = nullptr;
    ASSERT_EQ(ref->getNonTerminal(&target), ZoSuccess);
    EXPECT_EQ(target, c.find("select-list"));
    EXPECT_EQ(c.grammar->getGoal(), c.find("goal"));
    EXPECT_EQ(c.find("select-list")->getNumber(), 1001);
}

TEST(ZoGrammarTest, RejectsTextsThatBreakTheNotation) {
    for (const char *text : {"goal ::= a | | b",
                             "goal := a",
                             "goal ::= ",
                             "goal ::= | a",
                             "goal ::= alphanum |",
                             "goal ::= Foo",
                             "goal ::= foo_bar",
                             "goal ::= [ alphanum",
                             "goal ::= { alphanum ]",
                             "goal ::= [ alphanum }",
                             "goal ::= alphanum ]",
                             "Goal ::= alphanum",
                             "goal-::= alphanum",
                             "number ::= alphanum",
                             "alphanum ::= number",
                             "goal ::= \\",
                             "goal ::= ~",
                             "goal ::= alphanum \x01",
                             "goal ::= [ ]",
                             "goal ::= { }*",
                             "goal alphanum",
                             "goal ::= alphanum trailing-"})
        EXPECT_FALSE(Compiled({text}).ok()) << text;
}

TEST(ZoGrammarTest, EmptyBlocksAndMissingKeywordListsFail) {
    ZoKeywordList list;
    ZoGrammar empty(nullptr, &list);
    EXPECT_FALSE(empty.isOK());
    const unsigned char nothing[] = {0};
    EXPECT_EQ(empty.compile(nothing), ZoFailure);
    ZoGrammar noKeywords(nothing, nullptr);
    EXPECT_FALSE(noKeywords.isOK());
    ZoGrammar bare;
    EXPECT_FALSE(bare.isOK());
    EXPECT_EQ(bare.compile(nothing), ZoFailure);
}

TEST(ZoGrammarTest, BracketNestingIsBounded) {
    std::string deep = "goal ::= " + std::string(60, '[') + " alphanum " + std::string(60, ']');
    EXPECT_TRUE(Compiled({deep}).ok());
    std::string tooDeep = "goal ::= " + std::string(2000, '[') + " alphanum " + std::string(2000, ']');
    EXPECT_FALSE(Compiled({tooDeep}).ok());
}

TEST(ZoGrammarTest, BracketsAndClosuresAreRecorded) {
    Compiled c({"goal ::= { alphanum }* { number }+ { , } [ ; ]"});
    ASSERT_TRUE(c.ok());
    ZoBNFElement *item = nullptr;
    zotest::ok(c.find("goal")->getCompiledProduction(&item));
    const std::pair<BracketType, ClosureType> expected[] = {{bracketGroup, closureZeroOrMore},
                                                            {bracketGroup, closureOneOrMore},
                                                            {bracketGroup, closureOnce},
                                                            {bracketOptional, closureOnce}};
    for (const auto &[bracket, closure] : expected) {
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->getBracket(), bracket);
        EXPECT_EQ(item->getClosure(), closure);
        ZoBNFElement *inside = nullptr;
        EXPECT_EQ(item->getContains(&inside), ZoSuccess);
        if (item->getNextSequential(&item) != ZoSuccess)
            item = nullptr;
    }
}

TEST(ZoGrammarTest, AnEscapedLowercaseWordStillNamesAProduction) {
    EXPECT_FALSE(Compiled({"goal ::= \\abc"}).ok());
    EXPECT_TRUE(Compiled({"goal ::= \\abc", "abc ::= number"}).ok());
    EXPECT_TRUE(Compiled({"goal ::= ~abc"}).ok()) << "a ~ word is never a name";
}

TEST(ZoGrammarTest, EscapedAndTildeWords) {
    Compiled c({"goal ::= \\| ~Top number literal-contents literal-quote-char = 42 x-y", "x-y ::= alphanum"});
    ASSERT_TRUE(c.ok());
    ZoBNFElement *item = nullptr;
    zotest::ok(c.find("goal")->getCompiledProduction(&item));
    struct Want {
        short type;
        const char *text;
        int literal;
    };
    const Want wants[] = {{24, "|", 0},     {2, "Top", 1}, {5, nullptr, 0}, {41, nullptr, 0},
                          {40, nullptr, 0}, {23, "=", 0},  {5, "42", 0},    {2, "x-y", 0}};
    for (const Want &w : wants) {
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->getTokenType(), w.type);
        if (w.text == nullptr)
            EXPECT_EQ(item->getTokenStringPtr(), nullptr);
        else
            EXPECT_STREQ(reinterpret_cast<const char *>(item->getTokenStringPtr()), w.text);
        EXPECT_EQ(item->getLiteral(), w.literal);
        if (item->getNextSequential(&item) != ZoSuccess)
            item = nullptr;
    }
    unsigned char buffer[3];
    zotest::ok(c.find("goal")->getCompiledProduction(&item));
    zotest::ok(item->getNextSequential(&item));
    ASSERT_EQ(item->getTokenString(buffer, sizeof buffer), ZoSuccess);
    EXPECT_STREQ(reinterpret_cast<const char *>(buffer), "To") << "truncated to the buffer";
}

TEST(ZoGrammarTest, FirstLists) {
    Compiled a({"x ::= [ DISTINCT ] alphanum", "goal ::= x"});
    ASSERT_TRUE(a.ok());
    EXPECT_EQ(a.firsts("x"), "302:DISTINCT 2");
    Compiled b({"x ::= ~top y | alphanum", "y ::= number", "goal ::= x"});
    ASSERT_TRUE(b.ok());
    EXPECT_EQ(b.firsts("x"), "2:top") << "a type already present is not added again";
    Compiled c({"goal ::= [ , ] { ; }* [ = ] alphanum | number", "other ::= goal"});
    ASSERT_TRUE(c.ok());
    EXPECT_EQ(c.firsts("goal"), "35:, 5 2 23:= 31:;") << "new types go right after the first";
    EXPECT_EQ(c.firsts("other"), "35:, 31:; 23:= 2 5");
}

TEST(ZoGrammarTest, LeftRecursionIsRejected) {
    const std::vector<std::vector<std::string>> grammars = {
        {"goal ::= goal alphanum | alphanum"},
        {"goal ::= a", "a ::= b , ", "b ::= [ number ] a"},
        {"goal ::= [ , ] goal"},
        {"goal ::= { ; }* x", "x ::= goal"},
        {"goal ::= x", "x ::= { x }"},
    };
    for (const auto &g : grammars)
        EXPECT_FALSE(Compiled(g).ok()) << g[0];
    EXPECT_TRUE(Compiled({"goal ::= alphanum [ goal ]"}).ok()) << "right recursion is fine";
}

TEST(ZoGrammarTest, GoalHandling) {
    Compiled none({"start ::= alphanum", "other ::= number"});
    EXPECT_FALSE(none.ok());
    EXPECT_EQ(none.grammar->getGoal(), nullptr);
    EXPECT_EQ(none.grammar->changeGoal(u("other")), ZoSuccess);
    EXPECT_EQ(none.grammar->getGoal(), none.find("other"));
    EXPECT_FALSE(none.ok()) << "a goal change does not make a failed grammar usable";

    Compiled two({"goal ::= alphanum", "goal ::= number", "sub ::= number"});
    ASSERT_TRUE(two.ok());
    EXPECT_EQ(two.grammar->getGoal(), two.grammar->getProductions()) << "the first goal wins";
    EXPECT_EQ(two.grammar->changeGoal(u("missing")), ZoFailure);
    EXPECT_EQ(two.grammar->getGoal(), two.grammar->getProductions());
    EXPECT_EQ(two.grammar->changeGoal(u("sub")), ZoSuccess);
    EXPECT_EQ(two.grammar->getGoal(), two.find("sub"));
}

TEST(ZoGrammarTest, KeywordsMatchExactlyInGrammarsAndIgnoringCaseAfterwards) {
    Compiled c({"goal ::= select", "select ::= SELECT"});
    ASSERT_TRUE(c.ok()) << "lowercase select is a name, SELECT the keyword";
    uint16_t type = 0;
    EXPECT_EQ(c.list->findKeyword(u("select"), &type), 1u);
    EXPECT_EQ(type, 300);
}

TEST(ZoGrammarTest, RecordArrayConstructor) {
    unsigned char *k = zotest::pack(kKeywords);
    ZoKeywordList list(k);
    ramFree(k);
    resourceElement records[] = {{u("goal ::= SELECT alphanum"), 1000}};
    ZoGrammar g(records, 1, &list);
    EXPECT_TRUE(g.isOK());
    EXPECT_EQ(g.getGoal()->getNumber(), 1000);
}

TEST(ZoGrammarTest, CompileFailsCleanlyWhenMemoryRunsOut) {
    unsigned char *k = zotest::pack(kKeywords);
    unsigned char *g = zotest::pack(zotest::productions(
        {"goal ::= SELECT [ DISTINCT ] x { , x }* [ FROM alphanum ]", "x ::= alphanum | number | ~top x"}));
    ZoKeywordList list(k);
    uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        ZoGrammar grammar;
        ZoGrammar *compiled = nullptr;
        point.arm();
        compiled = new ZoGrammar(g, &list);
        bool injected = point.disarm();
        if (compiled == nullptr)
            return;
        EXPECT_EQ(compiled->isOK() != 0, !injected);
        EXPECT_EQ(list.isCaseSensitive(), 0u) << "statements match keywords ignoring case";
        delete compiled;
    });
    EXPECT_GT(points, 20u);
    ramFree(k);
    ramFree(g);
}

} // namespace

namespace {

// The listed transitions of a state as "type:action" entries.
std::string transitionsOf(const ZoParseState *state) {
    std::string out;
    ZoStateTransition *t = nullptr;
    for (ZoStatus more = state->getFirstTransition(&t); more == ZoSuccess; more = t->getNextTransition(&t)) {
        out += out.empty() ? "" : " ";
        out += std::to_string(t->getTokenType());
        out += ":";
        out += std::to_string(t->getAction());
    }
    ZoStateTransition *d = nullptr;
    if (state->getDefaultTransition(&d) == ZoSuccess)
        out += " default:" + std::to_string(d->getAction());
    return out;
}

ZoParseState *stateAfter(ZoParseState *state, short type) {
    ZoStateTransition *t = nullptr;
    if (state->nextState(type, nullptr, &t, 0) != ZoSuccess)
        return nullptr;
    return t->getNextParseState();
}

TEST(ZoGrammarTest, StateBeforeAnOptionalItemOffersItAndSkipsIt) {
    Compiled c({"goal ::= SELECT [ DISTINCT ] FROM"});
    ASSERT_TRUE(c.ok());
    ZoParseState *start = c.find("goal")->getParseState();
    EXPECT_EQ(transitionsOf(start), "300:3") << "a goto into the only alternative";
    ZoParseState *alt = stateAfter(start, 300);
    EXPECT_EQ(transitionsOf(alt), "300:2");
    ZoParseState *beforeOptional = stateAfter(alt, 300);
    EXPECT_EQ(transitionsOf(beforeOptional), "302:3 default:3") << "DISTINCT, else past the bracket";
    ZoStateTransition *t = nullptr;
    ASSERT_EQ(beforeOptional->nextState(301, nullptr, &t, 0), ZoSuccess);
    EXPECT_EQ(transitionsOf(t->getNextParseState()), "301:2");
}

TEST(ZoGrammarTest, ReferencesPushOnEveryFirstType) {
    Compiled c({"goal ::= x ;", "x ::= [ DISTINCT ] alphanum | number"});
    ASSERT_TRUE(c.ok());
    ZoParseState *alt = stateAfter(c.find("goal")->getParseState(), 302);
    ASSERT_NE(alt, nullptr);
    EXPECT_EQ(transitionsOf(alt), "302:0 5:0 2:0");
    ZoStateTransition *push = nullptr;
    ASSERT_EQ(alt->nextState(5, nullptr, &push, 0), ZoSuccess);
    EXPECT_EQ(push->getNextParseState(), c.find("x")->getParseState());
    EXPECT_EQ(push->getProductionNumber(), 1001);
    EXPECT_EQ(transitionsOf(push->getPushState()), "31:2");
    EXPECT_GT(c.grammar->getStateCount(), 5u);
}

TEST(ZoTokenNodeTest, ListsKeepOneNodePerType) {
    ZoTokenNode list(2, u("top"));
    EXPECT_EQ(list.addToList(2, u("other")), ZoSuccess);
    EXPECT_EQ(list.addToList(5, nullptr), ZoSuccess);
    EXPECT_EQ(list.addToList(35, u(",")), ZoSuccess);
    ZoTokenNode other(40, nullptr);
    zotest::ok(other.addToList(5, nullptr));
    ASSERT_EQ(list.addToList(&other), ZoSuccess);
    std::string seen;
    ZoTokenNode *node = &list;
    do
        seen += std::to_string(node->getTokenType()) + " ";
    while (node->nextNode(&node) == ZoSuccess);
    EXPECT_EQ(seen, "2 40 35 5 ") << "new types go right after the first node";
    ZoTokenNode copy(&list);
    EXPECT_STREQ(reinterpret_cast<const char *>(copy.getTokenString()), "top");
    EXPECT_NE(copy.getTokenString(), list.getTokenString());
    zotest::NoMemory none;
    EXPECT_EQ(list.addToList(99, u("x")), ZoFailure);
    EXPECT_EQ(list.addToList(2, nullptr), ZoSuccess) << "a present type needs no memory";
}

TEST(ZoProductionTest, ChainsAndLookups) {
    auto *a = new ZoProduction;
    auto *b = new ZoProduction;
    auto *c = new ZoProduction;
    zotest::ok(a->setNumber(1000));
    zotest::ok(b->setNumber(1001));
    zotest::ok(c->setNumber(1002));
    zotest::ok(a->addToEnd(b));
    zotest::ok(a->addToEnd(c));
    EXPECT_EQ(a->findByNumber(1002), c);
    EXPECT_EQ(b->findByNumber(1000), nullptr) << "only the chain from here on";
    const unsigned char *name = nullptr;
    EXPECT_EQ(a->getName(&name), ZoFailure);
    ASSERT_EQ(a->setName(u("abc")), ZoSuccess);
    ASSERT_EQ(a->getName(&name), ZoSuccess);
    EXPECT_STREQ(reinterpret_cast<const char *>(name), "abc");
    ZoBNFElement *e = nullptr;
    ZoTokenNode *l = nullptr;
    EXPECT_EQ(a->getCompiledProduction(&e), ZoFailure);
    EXPECT_EQ(a->getFirstList(&l), ZoFailure);
    EXPECT_NE(a->getParseState(), nullptr);
    delete a; // deletes the chain
}

TEST(ZoBNFElementTest, DeletingTheFirstItemDeletesTheTree) {
    auto *first = new ZoBNFElement;
    ZoBNFElement *last = first;
    for (int i = 0; i < 50000; ++i) { // a long sequence is deleted without deep recursion
        auto *item = new ZoBNFElement;
        auto *inner = new ZoBNFElement;
        zotest::ok(inner->setNextAlternation(new ZoBNFElement));
        zotest::ok(item->setBracket(bracketOptional));
        zotest::ok(item->setContains(inner));
        zotest::ok(last->setNextSequential(item));
        zotest::ok(item->setPrevSequential(last));
        last = item;
    }
    ZoBNFElement *link = nullptr;
    EXPECT_EQ(first->getContainedBy(&link), ZoFailure);
    EXPECT_EQ(first->setContainedBy(last), ZoSuccess);
    EXPECT_EQ(first->getContainedBy(&link), ZoSuccess);
    zotest::ok(first->setContainedBy(nullptr));
    delete first;
}

} // namespace
