// The SQL grammar against its corpus: every valid statement with its tree, every invalid one
// with its failure report.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "parse/sql_support.h"

namespace {

struct Case {
    std::string sql;
    std::string expected;
    int line;
};

std::string corpusPath() {
    const char *dir = std::getenv("ZO_TEST_DATA");
    if (dir != nullptr)
        return std::string(dir) + "/sql/corpus.txt";
    std::string here = __FILE__;
    return here.substr(0, here.rfind('/')) + "/../data/sql/corpus.txt";
}

// Blocks of "> statement" followed by "= tree" or "! report"; '#' lines are comments.
std::vector<Case> readCorpus() {
    std::ifstream in(corpusPath());
    std::vector<Case> cases;
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        if (line.rfind("> ", 0) == 0)
            cases.push_back({line.substr(2), "", n});
        else if (!cases.empty() && (line.rfind("= ", 0) == 0 || line.rfind("! ", 0) == 0))
            cases.back().expected = line;
    }
    return cases;
}

TEST(ZoSqlCorpusTest, GrammarCompiles) {
    zosql::CompactParser parser;
    EXPECT_TRUE(parser.isOK());
}

TEST(ZoSqlCorpusTest, EveryStatementGivesItsTreeOrReport) {
    zosql::CompactParser parser;
    ASSERT_TRUE(parser.isOK());
    std::vector<Case> cases = readCorpus();
    ASSERT_GE(cases.size(), 200u) << corpusPath();
    int valid = 0, invalid = 0;
    // ZO_SQL_CORPUS_WRITE=file writes the current results in corpus form for review.
    const char *write = std::getenv("ZO_SQL_CORPUS_WRITE");
    std::ofstream out(write != nullptr ? write : "/dev/null");
    for (const Case &c : cases) {
        std::string got = parser.run(c.sql);
        out << "> " << c.sql << "\n" << got << "\n\n";
        if (write == nullptr) {
            EXPECT_EQ(got, c.expected) << "corpus line " << c.line << ": " << c.sql;
        }
        (got[0] == '=' ? valid : invalid)++;
    }
    EXPECT_GE(valid, 150);
    EXPECT_GE(invalid, 50);
}

} // namespace
