// The parse engine: trees, backtracking, replay, ReductProc and FailProc order.
#include <zo/zoparse.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "parse/grammar_support.h"
#include "support/alloc_failure.h"
#include "support/status.h"

using zotest::Built;
using zotest::productions;

namespace {

TEST(ZoParserTest, SingleWordGoal) {
    Built<> b(productions({"goal ::= alphanum"}), {});
    ASSERT_TRUE(b.parser->isOK());
    EXPECT_EQ(b.parse("abc"), "1000(abc)");
    EXPECT_EQ(b.parse("abc def"), "FAIL") << "the goal reduces only at the end of text";
}

TEST(ZoParserTest, RightRecursiveListWithAmbiguousAlternatives) {
    Built<> b(productions({"goal ::= a-list", "a-list ::= alphanum \\, a-list | alphanum"}), {});
    ASSERT_TRUE(b.parser->isOK());
    EXPECT_EQ(b.parse("x, y"), "1000(1001(x , 1001(y)))");
    EXPECT_EQ(b.parse("x"), "1000(1001(x))");
    EXPECT_EQ(b.parse("x, y, z"), "1000(1001(x , 1001(y , 1001(z))))");
    EXPECT_EQ(b.parse("x,"), "FAIL");
}

TEST(ZoParserTest, CompletedProductionsCommitToTheirFirstAlternative) {
    Built<> b(productions({"goal ::= a-list", "a-list ::= alphanum | alphanum \\, a-list"}), {});
    ASSERT_TRUE(b.parser->isOK());
    EXPECT_EQ(b.parse("x"), "1000(1001(x))");
    EXPECT_EQ(b.parse("x, y"), "FAIL");
}

} // namespace

namespace {

const unsigned char *u(const char *s) { return reinterpret_cast<const unsigned char *>(s); }
std::string str(const unsigned char *s) { return s != nullptr ? reinterpret_cast<const char *>(s) : "(null)"; }

// Records every ReductProc and FailProc call.
class Recorder : public ZoParser {
public:
    ZoReduction *ReductProc(short number, ZoReduction *children) override {
        ++reductions;
        if (quiet)
            return ZoParser::ReductProc(number, children);
        std::string call = "R";
        call += std::to_string(number);
        call += "[";
        call += zotest::show(children);
        call += "]";
        calls.push_back(call);
        if (number == dropped) {
            ZoReduction holder; // the children are ours: free them with a parent
            holder.adoptChildren(children);
            return nullptr;
        }
        return ZoParser::ReductProc(number, children);
    }
    int FailProc(short type, const unsigned char *text, short number, const unsigned char *name,
                 ZoStateTransition *expected) override {
        std::string call = "F";
        for (const std::string &part : {std::to_string(type), str(text), std::to_string(number), str(name)}) {
            call += part;
            call += ":";
        }
        call += expected != nullptr ? std::to_string(expected->getTokenType()) : "-";
        calls.push_back(call);
        return failResult;
    }
    std::string log() const {
        std::string out;
        for (const auto &c : calls)
            out += (out.empty() ? "" : " ") + c;
        return out;
    }
    std::vector<std::string> calls;
    int failResult = 1;
    short dropped = 0;
    bool quiet = false; // count reductions only
    size_t reductions = 0;
};

const zotest::Records kWords = {{"SELECT", 300}, {"FROM", 301}, {"WHERE", 302}};

TEST(ZoParserTest, ReductProcRunsOncePerReductionInnermostFirst) {
    Built<Recorder> b(productions({"goal ::= a-list", "a-list ::= alphanum \\, a-list | alphanum"}), {});
    EXPECT_EQ(b.parse("x, y, z"), "1000(1001(x , 1001(y , 1001(z))))");
    EXPECT_EQ(b.parser->log(), "R1001[z] R1001[y , 1001(z)] R1001[x , 1001(y , 1001(z))] "
                               "R1000[1001(x , 1001(y , 1001(z)))]");
}

TEST(ZoParserTest, ReductProcReturningNullDropsTheSubtree) {
    Built<Recorder> b(productions({"goal ::= SELECT cols [ FROM alphanum ]", "cols ::= alphanum { , alphanum }*"}),
                      kWords);
    b.parser->dropped = 1001;
    EXPECT_EQ(b.parse("select a, b from t"), "1000(select from t)");
}

TEST(ZoParserTest, DefaultFailProcReportsOnlyTheOutermostProduction) {
    Built<Recorder> b(productions({"goal ::= SELECT cols FROM alphanum", "cols ::= alphanum { , alphanum }*"}), kWords);
    EXPECT_EQ(b.parse("SELECT a, FROM t"), "FAIL");
    EXPECT_EQ(b.parser->log(), "F301:FROM:1000:goal:2");
}

TEST(ZoParserTest, FailProcReturningZeroIsCalledForEveryProductionOutermostFirst) {
    Built<Recorder> b(productions({"goal ::= SELECT cols FROM alphanum", "cols ::= col { , col }*",
                                   "col ::= alphanum [ ( number ) ]"}),
                      kWords);
    b.parser->failResult = 0;
    EXPECT_EQ(b.parse("SELECT a(3 FROM t"), "FAIL");
    EXPECT_EQ(b.parser->log(), "F301:FROM:1000:goal:19 F301:FROM:1001:cols:19 F301:FROM:1002:col:19");
}

TEST(ZoParserTest, FailureAfterBacktrackingReportsTheLastPositionTried) {
    Built<Recorder> b(productions({"goal ::= x", "x ::= alphanum ; | alphanum , number"}), {});
    EXPECT_EQ(b.parse("a , b"), "FAIL");
    EXPECT_EQ(b.parser->log(), "F2:a:1000:goal:2") << "back at the choice between the alternatives";
}

TEST(ZoParserTest, LiteralContentsTakeTheWholeInside) {
    Built<> b(productions({"goal ::= SELECT \\' literal-contents \\'"}), kWords);
    ASSERT_TRUE(b.parser->isOK());
    EXPECT_EQ(b.parse("SELECT 'it''s'"), "1000(SELECT ' it''s ')");
    ZoReduction *tree = nullptr;
    ASSERT_EQ(b.parser->parse(u("SELECT 'a b'"), &tree), ZoSuccess);
    ZoReduction *node = nullptr;
    zotest::ok(tree->getChild(&node));
    zotest::ok(node->getNextSibling(&node));
    zotest::ok(node->getNextSibling(&node));
    EXPECT_EQ(node->reductNumber(), 41);
    EXPECT_EQ(str(node->string()), "a b");
    delete tree;
    EXPECT_EQ(b.parse("SELECT x"), "FAIL");
}

TEST(ZoParserTest, LiteralContentsOutsideALiteralFailsWithoutReport) {
    Built<Recorder> b(productions({"goal ::= SELECT literal-contents"}), kWords);
    EXPECT_EQ(b.parse("SELECT x"), "FAIL");
    EXPECT_EQ(b.parser->log(), "");
}

TEST(ZoParserTest, QuotedWordsAreSplit) {
    Built<> b(productions({"goal ::= alphanum = \\' alphanum \\' | alphanum = \\\" alphanum \\\""}), {});
    EXPECT_EQ(b.parse("a = 'b'"), "1000(a = ' b ')");
    EXPECT_EQ(b.parse("a = \"b\""), "1000(a = \" b \")");
    EXPECT_EQ(b.parse("a = 'b\""), "FAIL");
}

TEST(ZoParserTest, OperatorsArriveOneCharacterAtATime) {
    Built<> b(productions({"goal ::= alphanum op alphanum", "op ::= < > | < = | < | > = | ( + )"}), {});
    EXPECT_EQ(b.parse("a<>b"), "1000(a 1001(< >) b)");
    EXPECT_EQ(b.parse("a <= b"), "1000(a 1001(< =) b)");
    EXPECT_EQ(b.parse("a < b"), "1000(a 1001(<) b)");
    EXPECT_EQ(b.parse("a(+)b"), "1000(a 1001(( + )) b)");
}

TEST(ZoParserTest, ClosuresAndOptionalItems) {
    Built<> b(productions({"goal ::= { alphanum }+ [ ; ] { , number }*"}), {});
    EXPECT_EQ(b.parse("a"), "1000(a)");
    EXPECT_EQ(b.parse("a b c ;"), "1000(a b c ;)");
    EXPECT_EQ(b.parse("a , 1 , 2"), "1000(a , 1 , 2)");
    EXPECT_EQ(b.parse(";"), "FAIL");
    EXPECT_EQ(b.parse("a , x"), "FAIL");
}

TEST(ZoParserTest, KeywordsMatchIgnoringCaseAndTildeWordsToo) {
    Built<> b(productions({"goal ::= SELECT ~top number alphanum"}), kWords);
    EXPECT_EQ(b.parse("select TOP 5 x"), "1000(select TOP 5 x)");
    EXPECT_EQ(b.parse("Select Top 5 x"), "1000(Select Top 5 x)");
    EXPECT_EQ(b.parse("SELECT bottom 5 x"), "FAIL");
    EXPECT_EQ(b.parse("SELECT top 5 from"), "FAIL") << "a keyword is no alphanum";
}

TEST(ZoParserTest, ChangeGoalAndSettings) {
    Built<> b(productions({"goal ::= SELECT alphanum", "other ::= number"}), kWords);
    EXPECT_EQ(b.parse("7"), "FAIL");
    ASSERT_EQ(b.parser->changeGoal(u("other")), ZoSuccess);
    EXPECT_EQ(b.parse("7"), "1001(7)");
    EXPECT_EQ(b.parser->changeGoal(u("nothing")), ZoFailure);
    ASSERT_EQ(b.parser->changeGoal(u("goal")), ZoSuccess);
    EXPECT_EQ(b.parse("SELECT #t"), "FAIL");
    ASSERT_EQ(b.parser->setValidFirstChars(u("#")), ZoSuccess);
    EXPECT_EQ(b.parse("SELECT #t"), "1000(SELECT #t)");
    ASSERT_EQ(b.parser->setValidChars(u("$")), ZoSuccess);
    ASSERT_EQ(b.parser->setValidMiddleChars(u("@")), ZoSuccess);
    EXPECT_EQ(b.parse("SELECT a$b@c"), "1000(SELECT a$b@c)");
}

TEST(ZoParserTest, LiteralQuoteCharacters) {
    Built<> b(productions({"goal ::= alphanum \\' literal-contents \\'"}), {});
    EXPECT_EQ(b.parse("a 'x y'"), "1000(a ' x y ')");
    b.parser->setLiteralQuoteChars('"', '"', '"');
    EXPECT_EQ(b.parse("a 'x y'"), "FAIL") << "' no longer opens a literal";
}

TEST(ZoParserTest, ParserWithoutGoalIsNotOk) {
    Built<> b(productions({"start ::= alphanum"}), {});
    EXPECT_FALSE(b.parser->isOK());
    ZoReduction *tree = reinterpret_cast<ZoReduction *>(&b);
    EXPECT_EQ(b.parser->parse(u("x"), &tree), ZoFailure);
    EXPECT_EQ(tree, nullptr);
    ZoParser empty;
    EXPECT_FALSE(empty.isOK());
    EXPECT_EQ(empty.changeGoal(u("goal")), ZoFailure);
}

TEST(ZoParserTest, FailedParseLeavesTheResultUnchanged) {
    Built<> b(productions({"goal ::= alphanum"}), {});
    ZoReduction *tree = reinterpret_cast<ZoReduction *>(&b);
    EXPECT_EQ(b.parser->parse(u("1"), &tree), ZoFailure);
    EXPECT_EQ(tree, reinterpret_cast<ZoReduction *>(&b));
    EXPECT_EQ(b.parse("\x01"), "FAIL") << "a character without a lexer type";
}

TEST(ZoParserTest, RecordArrayInit) {
    resourceElement grammar[] = {{u("goal ::= SELECT alphanum"), 1000}};
    resourceElement keywords[] = {{u("SELECT"), 300}};
    ZoParser p(grammar, 1, keywords, 1);
    ASSERT_TRUE(p.isOK());
    resourceElement bad[] = {{u("goal ::= SELECT"), 1000}};
    EXPECT_EQ(p.init(bad, 1, nullptr, 0), ZoFailure) << "SELECT is no keyword without the list";
    EXPECT_FALSE(p.isOK());
    EXPECT_EQ(p.init(grammar, 1, keywords, 1), ZoSuccess);
}

TEST(ZoParserTest, BacktrackingAcrossNestedProductions) {
    // Every level tries a parenthesised condition first and falls back to an expression.
    Built<> b(productions({"goal ::= cond", "cond ::= ( cond ) | expr = expr", "expr ::= term { + term }*",
                           "term ::= ( expr ) | alphanum | number"}),
              {});
    EXPECT_EQ(b.parse("a = 1"), "1000(1001(1002(1003(a)) = 1002(1003(1))))");
    EXPECT_EQ(b.parse("((a = 1))"), "1000(1001(( 1001(( 1001(1002(1003(a)) = 1002(1003(1))) )) )))");
    EXPECT_EQ(b.parse("(a + 1) = 2"), "1000(1001(1002(1003(( 1002(1003(a) + 1003(1)) ))) = 1002(1003(2))))");
}

TEST(ZoParserTest, LongRightRecursiveListsParseInOnePassPerLevel) {
    Built<Recorder> b(productions({"goal ::= a-list", "a-list ::= alphanum \\, a-list | alphanum"}), {});
    std::string text = "x0";
    const int n = 20000;
    for (int i = 1; i < n; ++i)
        text += ", x" + std::to_string(i);
    b.parser->quiet = true;
    ZoReduction *tree = nullptr;
    ASSERT_EQ(b.parser->parse(u(text.c_str()), &tree), ZoSuccess);
    EXPECT_EQ(b.parser->reductions, size_t(n + 1)) << "one ReductProc per reduction";
    delete tree;
}

TEST(ZoParserTest, ParseFailsCleanlyWhenMemoryRunsOut) {
    Built<> b(productions({"goal ::= SELECT cols FROM alphanum [ WHERE cond ]", "cols ::= alphanum { , alphanum }*",
                           "cond ::= ( cond ) | alphanum = \\' literal-contents \\' | alphanum = number"}),
              kWords);
    const unsigned char *text = u("SELECT a, b FROM t WHERE ((x = 'it''s'))");
    uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        ZoReduction *tree = nullptr;
        point.arm();
        ZoStatus status = b.parser->parse(text, &tree);
        bool injected = point.disarm();
        EXPECT_EQ(status == ZoSuccess, !injected);
        delete tree;
    });
    EXPECT_GT(points, 30u);
}

} // namespace

namespace {

TEST(ZoParserTest, AllChoicesInsideACompletedProductionAreConfirmedTogether) {
    // inner makes two ambiguous choices; when it completes both are final, and a later dead
    // end goes back to the choice in outer (a choice in the completed inner is never retried).
    Built<Recorder> b(productions({"goal ::= outer", "outer ::= inner ; | inner ,",
                                   "inner ::= { alphanum | alphanum ! } { number | number ! }"}),
                      {});
    EXPECT_EQ(b.parse("a 1 ,"), "1000(1001(1002(a 1) ,))");
    EXPECT_EQ(b.parser->log(), "R1002[a 1] R1001[1002(a 1) ,] R1000[1001(1002(a 1) ,)]")
        << "inner is reduced once, on the committed path only";
    EXPECT_EQ(b.parse("a ! 1 ;"), "1000(1001(1002(a ! 1) ;))");
    EXPECT_EQ(b.parse("a 1 ! ;"), "FAIL") << "inner completed with number before the !";
}

TEST(ZoParserTest, NestedOptionalGroupsInClosuresDoNotLoop) {
    Built<> b(productions({"goal ::= { [ alphanum ] }* ;", "other ::= { [ number ] { , }* }+ alphanum"}), {});
    ASSERT_TRUE(b.parser->isOK());
    EXPECT_EQ(b.parse("a b c ;"), "1000(a b c ;)");
    EXPECT_EQ(b.parse(";"), "1000(;)");
    EXPECT_EQ(b.parse("a 1"), "FAIL");
    ASSERT_EQ(b.parser->changeGoal(reinterpret_cast<const unsigned char *>("other")), ZoSuccess);
    EXPECT_EQ(b.parse("1 , , 2 x"), "1001(1 , , 2 x)");
    EXPECT_EQ(b.parse("x"), "FAIL") << "the group must be taken once";
}

} // namespace

namespace {

TEST(ZoParserThreadTest, DistinctParsersRunOnTheirOwnThreads) {
    std::vector<std::thread> threads;
    std::atomic<int> parsed{0};
    for (int i = 0; i < 4; ++i)
        threads.emplace_back([&parsed] {
            Built<> b(productions({"goal ::= SELECT cols FROM alphanum", "cols ::= alphanum { , alphanum }*"}), kWords);
            for (int n = 0; n < 200; ++n)
                parsed += b.parse("SELECT a, b, c FROM t") == "1000(SELECT 1001(a , b , c) FROM t)";
        });
    for (auto &t : threads)
        t.join();
    EXPECT_EQ(parsed.load(), 800);
}

} // namespace

namespace {

TEST(ZoParserTest, ExponentialBacktrackingIsCutOffAsASyntaxError) {
    // Each level offers two equivalent guesses and the input fails only at its end: without a
    // bound the engine would try 2^60 combinations before giving up.
    Built<Recorder> b(productions({"goal ::= s", "s ::= alphanum s | alphanum s | alphanum ;"}), {});
    b.parser->quiet = true;
    std::string text;
    for (int i = 0; i < 60; ++i)
        text += "a ";
    EXPECT_EQ(b.parse(text + ":"), "FAIL");
    ASSERT_EQ(b.parser->calls.size(), 1u) << "reported once, like any dead end";
    EXPECT_EQ(b.parser->calls[0].substr(0, 1), "F");
    EXPECT_NE(b.parse(text + ";"), "FAIL") << "the same statement ending well still parses";
}

} // namespace
