// The translator over every statement of the library's SQL corpus: a statement the grammar
// accepts becomes a statement or is refused as not supported (never a crash, never a
// syntax error); one it rejects is a syntax error.
#include "engine_support.h"

#include <fstream>

#include "sql/parser.h"

namespace enginetest {
namespace {

TEST(Parser, EveryCorpusStatementTranslatesOrIsRefused) {
    zotest::ErrorCapture capture;
    const char *data = std::getenv("ZO_TEST_DATA");
    std::ifstream corpus(std::string(data != nullptr ? data : ZOTEXT_TEST_DATA) + "/sql/corpus.txt");
    ASSERT_TRUE(corpus.good());
    std::string line, statement;
    int accepted = 0, refused = 0;
    while (std::getline(corpus, line)) {
        if (line.rfind("> ", 0) == 0) {
            statement = line.substr(2);
            continue;
        }
        if (statement.empty() || line.empty() || (line[0] != '=' && line[0] != '!'))
            continue;
        while (ZoErrorKeeper::getLastError() != nullptr)
            ZoErrorKeeper::clearLastError();
        std::unique_ptr<zotext::sql::Statement> parsed = zotext::sql::parseStatement(statement);
        auto code = static_cast<zotext::EngineError>(capture.lastNumber());
        if (line[0] == '=') {
            EXPECT_TRUE(parsed != nullptr || code == zotext::EngineError::NotSupported) << statement;
            ++accepted;
        } else {
            EXPECT_EQ(parsed, nullptr) << statement;
            EXPECT_EQ(code, zotext::EngineError::Syntax) << statement << ": " << capture.lastText();
            ++refused;
        }
        statement.clear();
    }
    EXPECT_GT(accepted, 150);
    EXPECT_GT(refused, 20);
}

TEST(Parser, LiteralsAndNamesAreReadAsWritten) {
    zotest::ErrorCapture capture;
    auto parsed = zotext::sql::parseStatement("SELECT 'it''s', \"a \"\"b\"\"\", 12, 1.5, .5, 9223372036854775808, ? "
                                              "FROM \"my table\"");
    ASSERT_TRUE(parsed);
    const auto &items = parsed->query->blocks[0].items;
    ASSERT_EQ(items.size(), 7u);
    EXPECT_EQ(items[0].expr->literal.text, "it's");
    EXPECT_EQ(items[1].expr->name, "a \"b\"");
    EXPECT_EQ(items[2].expr->literal.integer, 12);
    EXPECT_EQ(items[3].expr->literal.real, 1.5);
    EXPECT_EQ(items[4].expr->literal.real, 0.5);
    EXPECT_EQ(items[5].expr->literal.kind, zotext::sql::Literal::Kind::Real);
    EXPECT_EQ(items[6].expr->op, zotext::sql::ExprOp::Param);
    EXPECT_EQ(parsed->parameterCount, 1);
    EXPECT_EQ(parsed->query->blocks[0].from[0].table.name, "my table");
}

TEST(Parser, LongChainsStayShallowAndDeepNestingIsRefused) {
    Directory dir;
    dir.write("t.csv", "a\n1\n2\n");
    Session s(dir.path());
    std::string chain = "SELECT a FROM t WHERE a = 0";
    for (int i = 0; i < 5000; ++i)
        chain += " OR a = " + std::to_string(i % 3 == 0 ? 2 : 9);
    EXPECT_EQ(s.rows(chain), (Rows{{"2"}}));
    std::string nested = "SELECT ";
    for (int i = 0; i < 1500; ++i)
        nested += "-(";
    nested += "1" + std::string(1500, ')');
    EXPECT_EQ(s.error(nested), zotext::EngineError::Syntax);
    // A long chain of operators nests on the left: refused before it is built deeper.
    std::string sum = "SELECT 1";
    for (int i = 0; i < 100000; ++i)
        sum += " + 1";
    EXPECT_EQ(s.error(sum), zotext::EngineError::Syntax);
    // Parentheses alone add no level.
    EXPECT_EQ(s.rows("SELECT " + std::string(20000, '(') + "7" + std::string(20000, ')')), (Rows{{"7"}}));
}

} // namespace
} // namespace enginetest
