// The parse engine with the SQL grammar beside SQLite's statement compiler (which also plans
// each statement, so it does more than parse), over a corpus and over statements of growing
// length.
#include <zo/zoparse.h>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "../tests/data/sql/sqlgrammar.h"

namespace {

std::string dataPath() {
    std::string here = __FILE__;
    return here.substr(0, here.rfind('/')) + "/../tests/data/sql/corpus.txt";
}

// The corpus statements that parse with the grammar.
std::vector<std::string> validStatements() {
    std::ifstream in(dataPath());
    std::vector<std::string> valid;
    std::string line, sql;
    while (std::getline(in, line)) {
        if (line.rfind("> ", 0) == 0)
            sql = line.substr(2);
        else if (line.rfind("= ", 0) == 0)
            valid.push_back(sql);
    }
    return valid;
}

// An in-memory database with every table and column the corpus names.
sqlite3 *corpusDatabase() {
    sqlite3 *db = nullptr;
    sqlite3_open(":memory:", &db);
    const char *columns = "(a, b, c, d, id, x, k, name, ts, tm, \"col 1\", \"a b\", \"my col\")";
    for (const char *table : {"t", "u", "v", "t1", "t2", "\"my table\"", "`data.csv`"})
        sqlite3_exec(db, (std::string("CREATE TABLE ") + table + columns).c_str(), nullptr, nullptr, nullptr);
    sqlite3_exec(db, "CREATE TABLE data (csv)", nullptr, nullptr, nullptr);
    return db;
}

// The valid statements that SQLite also compiles: both sides measure the same texts.
const std::vector<std::string> &commonStatements() {
    static const std::vector<std::string> common = [] {
        std::vector<std::string> kept;
        sqlite3 *db = corpusDatabase();
        for (const std::string &sql : validStatements()) {
            sqlite3_stmt *stmt = nullptr;
            if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK)
                kept.push_back(sql);
            sqlite3_finalize(stmt);
        }
        sqlite3_close(db);
        return kept;
    }();
    return common;
}

std::unique_ptr<ZoParser> sqlParser() {
    return std::make_unique<ZoParser>(const_cast<resourceElement *>(zosql::kGrammar), zosql::kGrammarCount,
                                      const_cast<resourceElement *>(zosql::kKeywords), zosql::kKeywordCount);
}

void BM_ZoParseCorpus(benchmark::State &state) {
    auto parser = sqlParser();
    const auto &statements = commonStatements();
    for (auto _ : state) {
        bool parsed = true;
        for (const std::string &sql : statements) {
            ZoReduction *tree = nullptr;
            parsed &= parser->parse(reinterpret_cast<const unsigned char *>(sql.c_str()), &tree) == ZoSuccess;
            delete tree;
        }
        if (!parsed) {
            state.SkipWithError("a corpus statement failed to parse");
            break;
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(statements.size()));
    state.counters["statements"] = double(statements.size());
}
BENCHMARK(BM_ZoParseCorpus);

void BM_SqlitePrepareCorpus(benchmark::State &state) {
    sqlite3 *db = corpusDatabase();
    const auto &statements = commonStatements();
    for (auto _ : state) {
        for (const std::string &sql : statements) {
            sqlite3_stmt *stmt = nullptr;
            sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
            sqlite3_finalize(stmt);
        }
    }
    sqlite3_close(db);
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(statements.size()));
    state.counters["statements"] = double(statements.size());
}
BENCHMARK(BM_SqlitePrepareCorpus);

// A statement of about `bytes` bytes: head, then items joined by sep, then tail.
std::string grow(const std::string &head, const std::string &item, const std::string &sep, const std::string &tail,
                 size_t bytes) {
    std::string text = head;
    for (int i = 0; text.size() + tail.size() < bytes; ++i) {
        if (i > 0)
            text += sep;
        text += item + std::to_string(i);
    }
    return text + tail;
}

void parseLong(benchmark::State &state, ZoParser &parser, const std::string &text) {
    for (auto _ : state) {
        ZoReduction *tree = nullptr;
        ZoStatus parsed = parser.parse(reinterpret_cast<const unsigned char *>(text.c_str()), &tree);
        delete tree;
        if (parsed != ZoSuccess) {
            state.SkipWithError("the long statement failed to parse");
            break;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

// The anchor of a long statement. SQLite refuses expressions nested deeper than 1,000 (a
// chain of ORs is nested as deep as it is long): the anchor then reports SQLite's refusal.
void prepareLong(benchmark::State &state, const std::string &text) {
    sqlite3 *db = corpusDatabase();
    for (auto _ : state) {
        sqlite3_stmt *stmt = nullptr;
        int result = sqlite3_prepare_v2(db, text.c_str(), -1, &stmt, nullptr);
        sqlite3_finalize(stmt);
        if (result != SQLITE_OK) {
            state.SkipWithError(sqlite3_errmsg(db));
            break;
        }
    }
    sqlite3_close(db);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

std::string inList(benchmark::State &state) {
    return grow("SELECT a FROM t WHERE a IN (", "", ", ", ")", size_t(state.range(0)));
}

std::string orChain(benchmark::State &state) {
    return grow("SELECT a FROM t WHERE ", "a = ", " OR ", "", size_t(state.range(0)));
}

// "x0, x1, x2, ..." read by a right-recursive grammar: a list of n items nests n deep.
std::string itemList(benchmark::State &state) { return grow("", "x", ", ", "", size_t(state.range(0))); }

void BM_SqlLongInList(benchmark::State &state) {
    auto parser = sqlParser();
    parseLong(state, *parser, inList(state));
}

void BM_SqliteLongInList(benchmark::State &state) { prepareLong(state, inList(state)); }

void BM_SqlLongOrChain(benchmark::State &state) {
    auto parser = sqlParser();
    parseLong(state, *parser, orChain(state));
}

void BM_SqliteLongOrChain(benchmark::State &state) { prepareLong(state, orChain(state)); }

void BM_RightRecursiveList(benchmark::State &state) {
    const unsigned char g0[] = "goal ::= a-list";
    const unsigned char g1[] = "a-list ::= alphanum \\, a-list | alphanum";
    resourceElement grammar[] = {{g0, 1000}, {g1, 1001}};
    ZoParser parser(grammar, 2, nullptr, 0);
    parseLong(state, parser, itemList(state));
}

// No parser elsewhere reads this toy grammar; its anchor is the same list cut into its items
// with std::string_view, the work that remains without a grammar.
void BM_SplitItemList(benchmark::State &state) {
    const std::string text = itemList(state);
    std::vector<std::string_view> items;
    for (auto _ : state) {
        items.clear();
        std::string_view rest(text);
        for (std::size_t comma = rest.find(", "); comma != std::string_view::npos; comma = rest.find(", ")) {
            items.push_back(rest.substr(0, comma));
            rest.remove_prefix(comma + 2);
        }
        items.push_back(rest);
        benchmark::DoNotOptimize(items.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}

// Statement lengths: 1 KiB to 1 MiB.
void lengths(benchmark::internal::Benchmark *b) {
    b->Arg(1 << 10)->Arg(10 << 10)->Arg(100 << 10)->Arg(1 << 20)->Unit(benchmark::kMicrosecond);
}
BENCHMARK(BM_SqlLongInList)->Apply(lengths);
BENCHMARK(BM_SqliteLongInList)->Apply(lengths);
BENCHMARK(BM_SqlLongOrChain)->Apply(lengths);
BENCHMARK(BM_SqliteLongOrChain)->Apply(lengths);
BENCHMARK(BM_RightRecursiveList)->Apply(lengths);
BENCHMARK(BM_SplitItemList)->Apply(lengths);

} // namespace
