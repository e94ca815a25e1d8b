// strLike with %-patterns over 10,000 short texts, beside SQLite's LIKE over the same texts
// (a scan of an in-memory table). Both fold ASCII letters and keep trailing blanks.
#include <zo/strfuncs.h>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> &texts() {
    static const std::vector<std::string> all = [] {
        static const char *const words[] = {"customer", "Order",  "line", "item",   "price", "total", "ship",
                                            "date",     "region", "NAME", "status", "abc",   "key",   "note"};
        std::mt19937 rng(3);
        std::vector<std::string> out;
        for (int i = 0; i < 10000; ++i) {
            std::string text;
            for (int n = 1 + static_cast<int>(rng() % 4); n > 0; --n)
                text += std::string(words[rng() % std::size(words)]) + (n > 1 ? "_" : "");
            out.push_back(text);
        }
        return out;
    }();
    return all;
}

const char *const kPatterns[] = {"%order%", "cust%", "%date", "%a%b%c%", "%_item_%"};

void BM_StrLike(benchmark::State &state) {
    const std::string pattern = kPatterns[state.range(0)];
    const auto *p = reinterpret_cast<const unsigned char *>(pattern.data());
    for (auto _ : state) {
        int matches = 0;
        for (const std::string &text : texts())
            matches += static_cast<int>(strLike(reinterpret_cast<const unsigned char *>(text.data()),
                                                static_cast<uint32_t>(text.size()), p,
                                                static_cast<uint32_t>(pattern.size()), '%', '_', '\\', 0, 1));
        benchmark::DoNotOptimize(matches);
        state.counters["matches"] = matches;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * texts().size()));
    state.SetLabel(pattern);
}

// The texts in a table of an in-memory database, counted with LIKE.
class LikeTable {
public:
    LikeTable() {
        sqlite3_open(":memory:", &db_);
        sqlite3_exec(db_, "CREATE TABLE t(s TEXT); BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt *insert = nullptr;
        sqlite3_prepare_v2(db_, "INSERT INTO t VALUES(?1)", -1, &insert, nullptr);
        for (const std::string &text : texts()) {
            sqlite3_bind_text(insert, 1, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_prepare_v2(db_, "SELECT count(*) FROM t WHERE s LIKE ?1 ESCAPE '\\'", -1, &count_, nullptr);
    }
    ~LikeTable() {
        sqlite3_finalize(count_);
        sqlite3_close(db_);
    }
    LikeTable(const LikeTable &) = delete;
    LikeTable &operator=(const LikeTable &) = delete;
    int count(const std::string &pattern) {
        sqlite3_bind_text(count_, 1, pattern.data(), static_cast<int>(pattern.size()), SQLITE_STATIC);
        if (sqlite3_step(count_) != SQLITE_ROW)
            std::abort();
        int n = sqlite3_column_int(count_, 0);
        sqlite3_reset(count_);
        return n;
    }

private:
    sqlite3 *db_ = nullptr;
    sqlite3_stmt *count_ = nullptr;
};

void BM_SqliteLike(benchmark::State &state) {
    static LikeTable table;
    const std::string pattern = kPatterns[state.range(0)];
    for (auto _ : state) {
        int matches = table.count(pattern);
        benchmark::DoNotOptimize(matches);
        state.counters["matches"] = matches;
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * texts().size()));
    state.SetLabel(pattern);
}

BENCHMARK(BM_StrLike)->DenseRange(0, 4);
BENCHMARK(BM_SqliteLike)->DenseRange(0, 4);

} // namespace
