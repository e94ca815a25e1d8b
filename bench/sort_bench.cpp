// The record sort beside its anchors: 1,000,000 records of 32 bytes with one 8-byte key
// sorted in memory against std::sort of the same records; and, only when ZO_BENCH_BIG is
// set (they take minutes), 10,000,000 records of 32 bytes spilled and merged against
// SQLite's ORDER BY over the same rows. bench/sort_external.sh times GNU sort on the same
// lines beside these.
#include <zo/sort.h>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Record32 {
    unsigned char bytes[32];
};

uint64_t splitmix(uint64_t &state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::vector<Record32> randomRecords(std::size_t count) {
    std::vector<Record32> records(count);
    uint64_t state = 42;
    for (Record32 &r : records)
        for (int w = 0; w < 4; ++w) {
            uint64_t v = splitmix(state);
            std::memcpy(r.bytes + 8 * w, &v, 8);
        }
    return records;
}

constexpr std::size_t kInMemory = 1000000;

void BM_ZoSortInMemory1M(benchmark::State &state) {
    const std::vector<Record32> original = randomRecords(kInMemory);
    std::vector<Record32> work;
    for (auto _ : state) {
        state.PauseTiming();
        work = original;
        state.ResumeTiming();
        ZoSort sort(32);
        if (sort.addKey(ZoSortBytes, 0, 8) != ZoSuccess) {
            state.SkipWithError("the key could not be added");
            break;
        }
        sort.setBuf(static_cast<uint32_t>(work.size()), work.data());
        if (sort.sortBuf() != ZoSuccess) {
            state.SkipWithError("the block could not be sorted");
            break;
        }
        benchmark::DoNotOptimize(work.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kInMemory));
}
BENCHMARK(BM_ZoSortInMemory1M)->Unit(benchmark::kMillisecond);

void BM_StdSortInMemory1M(benchmark::State &state) {
    const std::vector<Record32> original = randomRecords(kInMemory);
    std::vector<Record32> work;
    for (auto _ : state) {
        state.PauseTiming();
        work = original;
        state.ResumeTiming();
        std::sort(work.begin(), work.end(),
                  [](const Record32 &a, const Record32 &b) { return std::memcmp(a.bytes, b.bytes, 8) < 0; });
        benchmark::DoNotOptimize(work.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kInMemory));
}
BENCHMARK(BM_StdSortInMemory1M)->Unit(benchmark::kMillisecond);

// ---- spilled: 10,000,000 fixed-width lines -------------------------------------------------

// Line i of the big data set, 32 bytes: a key of 16 hexadecimal digits, 15 bytes of
// payload and a line feed (bench/sort_external.sh writes the same lines for GNU sort).
constexpr std::size_t kBig = 10000000;

void bigLine(uint64_t i, unsigned char *line) {
    static const char digits[] = "0123456789abcdef";
    uint64_t state = i;
    uint64_t key = splitmix(state);
    for (int d = 0; d < 16; ++d)
        line[d] = static_cast<unsigned char>(digits[(key >> (60 - 4 * d)) & 0xF]);
    for (int p = 0; p < 15; ++p)
        line[16 + p] = static_cast<unsigned char>('a' + (i + p) % 26);
    line[31] = '\n';
}

void BM_Big_ZoSortSpilled10M(benchmark::State &state) {
    for (auto _ : state) {
        ZoSort sort(32);
        bool fine = sort.addKey(ZoSortBytes, 0, 16) == ZoSuccess;
        for (uint64_t i = 0; fine && i < kBig; ++i) {
            void *slot;
            fine = sort.nextSlot(&slot) == ZoSuccess;
            if (fine)
                bigLine(i, static_cast<unsigned char *>(slot));
        }
        uint64_t sum = 0;
        uint64_t count = 0;
        for (void *record = nullptr; fine && sort.getSorted(&record) == ZoSuccess && record != nullptr; ++count)
            sum += static_cast<unsigned char *>(record)[7];
        if (!fine || count != kBig) {
            state.SkipWithError("the records could not be sorted");
            break;
        }
        benchmark::DoNotOptimize(sum);
        state.counters["runs"] = sort.getRunCount();
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBig));
}

void sqliteOk(int rc, int expected = SQLITE_OK) {
    if (rc != expected) {
        std::fprintf(stderr, "sqlite step failed: %d\n", rc);
        std::abort();
    }
}

// The rows are inserted once, outside the timing; the timed part is the ORDER BY read to
// its end, which SQLite sorts with its external sorter (default cache and temporary files).
void BM_Big_SqliteOrderBy10M(benchmark::State &state) {
    std::string path = (std::filesystem::temp_directory_path() / "zo_sort_bench.db").string();
    std::filesystem::remove(path);
    sqlite3 *db = nullptr;
    sqliteOk(sqlite3_open(path.c_str(), &db));
    sqliteOk(sqlite3_exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA temp_store=FILE;", nullptr,
                          nullptr, nullptr));
    sqliteOk(sqlite3_exec(db, "CREATE TABLE t(k TEXT, p TEXT); BEGIN", nullptr, nullptr, nullptr));
    sqlite3_stmt *insert = nullptr;
    sqliteOk(sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?, ?)", -1, &insert, nullptr));
    unsigned char line[32];
    for (uint64_t i = 0; i < kBig; ++i) {
        bigLine(i, line);
        sqlite3_bind_text(insert, 1, reinterpret_cast<char *>(line), 16, SQLITE_STATIC);
        sqlite3_bind_text(insert, 2, reinterpret_cast<char *>(line) + 16, 15, SQLITE_STATIC);
        sqliteOk(sqlite3_step(insert), SQLITE_DONE);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqliteOk(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr));
    for (auto _ : state) {
        sqlite3_stmt *select = nullptr;
        sqliteOk(sqlite3_prepare_v2(db, "SELECT k, p FROM t ORDER BY k", -1, &select, nullptr));
        uint64_t sum = 0;
        while (sqlite3_step(select) == SQLITE_ROW)
            sum += sqlite3_column_text(select, 0)[7];
        sqlite3_finalize(select);
        benchmark::DoNotOptimize(sum);
    }
    sqlite3_close(db);
    std::filesystem::remove(path);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * kBig));
}

// The big ones run only when asked for: each takes a minute or more.
const bool kBigRegistered = [] {
    if (std::getenv("ZO_BENCH_BIG") == nullptr)
        return false;
    benchmark::RegisterBenchmark("BM_Big_ZoSortSpilled10M", BM_Big_ZoSortSpilled10M)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    benchmark::RegisterBenchmark("BM_Big_SqliteOrderBy10M", BM_Big_SqliteOrderBy10M)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1);
    return true;
}();

} // namespace
