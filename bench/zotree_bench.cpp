// The B-tree against std::map and SQLite: 4-byte keys and data, 1,000,000 random inserts,
// then 1,000,000 random lookups of present keys, then a full iteration in key order.
#include <zo/zotree.h>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <vector>

namespace {

constexpr size_t Count = 1000000;

struct Workload {
    std::vector<uint32_t> inserts;
    std::vector<uint32_t> lookups;
    Workload() {
        std::mt19937 rng(2024);
        inserts.resize(Count);
        for (uint32_t &k : inserts)
            k = rng();
        lookups = inserts;
        std::shuffle(lookups.begin(), lookups.end(), rng);
    }
};

const Workload &workload() {
    static const Workload w;
    return w;
}

// ---- ZoTree -----------------------------------------------------------------------------

// Null when an add failed.
std::unique_ptr<ZoTree> buildTree(unsigned noLock) {
    auto tree = std::make_unique<ZoTree>(4, 4, treeU32Compare, 0, 0, noLock);
    unsigned found;
    for (uint32_t k : workload().inserts)
        if (tree->add(&k, &k, &found) != ZoSuccess)
            return nullptr;
    return tree;
}

// A tree of the workload's keys with an iterator on it; false (the benchmark skipped) when
// either could not be made.
bool builtTree(benchmark::State &state, std::unique_ptr<ZoTree> &tree, ZoTreeIterator &it) {
    tree = buildTree(static_cast<unsigned>(state.range(0)));
    if (tree == nullptr || it.initialize(tree.get()) != ZoSuccess) {
        state.SkipWithError("the tree could not be built");
        return false;
    }
    return true;
}

void BM_ZoTree_Insert(benchmark::State &state) {
    for (auto _ : state) {
        auto tree = buildTree(static_cast<unsigned>(state.range(0)));
        if (tree == nullptr) {
            state.SkipWithError("the tree could not be built");
            break;
        }
        benchmark::DoNotOptimize(tree->getKeyCount());
        state.PauseTiming();
        tree.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * Count);
}

void BM_ZoTree_Lookup(benchmark::State &state) {
    std::unique_ptr<ZoTree> tree;
    ZoTreeIterator it;
    if (!builtTree(state, tree, it))
        return;
    for (auto _ : state) {
        uint64_t sum = 0;
        unsigned found;
        uint32_t data;
        bool read = true;
        for (uint32_t k : workload().lookups) {
            read &= tree->getData(&k, &data, &found, &it) == ZoSuccess;
            sum += data;
        }
        if (!read) {
            state.SkipWithError("a page could not be read");
            break;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * Count);
}

void BM_ZoTree_Iterate(benchmark::State &state) {
    std::unique_ptr<ZoTree> tree;
    ZoTreeIterator it;
    if (!builtTree(state, tree, it))
        return;
    for (auto _ : state) {
        uint64_t sum = 0;
        unsigned found = 0;
        uint32_t key, data;
        ZoStatus step = tree->getFirst(&key, &data, &found, &it);
        for (; step == ZoSuccess && found != 0; step = tree->getNext(&key, &data, &found, &it))
            sum += data;
        if (step != ZoSuccess) {
            state.SkipWithError("a page could not be read");
            break;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * tree->getKeyCount());
}

// ---- std::map ---------------------------------------------------------------------------

std::map<uint32_t, uint32_t> buildMap() {
    std::map<uint32_t, uint32_t> map;
    for (uint32_t k : workload().inserts)
        map.emplace(k, k);
    return map;
}

void BM_StdMap_Insert(benchmark::State &state) {
    for (auto _ : state) {
        auto map = buildMap();
        benchmark::DoNotOptimize(map.size());
        state.PauseTiming();
        map.clear();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * Count);
}

void BM_StdMap_Lookup(benchmark::State &state) {
    auto map = buildMap();
    for (auto _ : state) {
        uint64_t sum = 0;
        for (uint32_t k : workload().lookups)
            sum += map.find(k)->second;
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * Count);
}

void BM_StdMap_Iterate(benchmark::State &state) {
    auto map = buildMap();
    for (auto _ : state) {
        uint64_t sum = 0;
        for (const auto &entry : map)
            sum += entry.second;
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * map.size());
}

// ---- SQLite: a temporary on-disk database with its default cache -------------------------

struct Sqlite {
    sqlite3 *db = nullptr;
    Sqlite() {
        sqlite3_open("", &db); // "" = a temporary database on disk
        sqlite3_exec(db, "CREATE TABLE t(k INTEGER PRIMARY KEY, v INTEGER)", nullptr, nullptr, nullptr);
    }
    ~Sqlite() { sqlite3_close(db); }
    void fill() {
        sqlite3_stmt *insert;
        sqlite3_prepare_v2(db, "INSERT OR IGNORE INTO t VALUES(?, ?)", -1, &insert, nullptr);
        sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
        for (uint32_t k : workload().inserts) {
            sqlite3_bind_int64(insert, 1, k);
            sqlite3_bind_int64(insert, 2, k);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_finalize(insert);
    }
};

void BM_Sqlite_Insert(benchmark::State &state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto db = std::make_unique<Sqlite>();
        state.ResumeTiming();
        db->fill();
        state.PauseTiming();
        db.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * Count);
}

void BM_Sqlite_Lookup(benchmark::State &state) {
    Sqlite db;
    db.fill();
    sqlite3_stmt *select;
    sqlite3_prepare_v2(db.db, "SELECT v FROM t WHERE k = ?", -1, &select, nullptr);
    for (auto _ : state) {
        uint64_t sum = 0;
        for (uint32_t k : workload().lookups) {
            sqlite3_bind_int64(select, 1, k);
            if (sqlite3_step(select) == SQLITE_ROW)
                sum += static_cast<uint64_t>(sqlite3_column_int64(select, 0));
            sqlite3_reset(select);
        }
        benchmark::DoNotOptimize(sum);
    }
    sqlite3_finalize(select);
    state.SetItemsProcessed(state.iterations() * Count);
}

void BM_Sqlite_Iterate(benchmark::State &state) {
    Sqlite db;
    db.fill();
    sqlite3_stmt *scan;
    sqlite3_prepare_v2(db.db, "SELECT k, v FROM t ORDER BY k", -1, &scan, nullptr);
    int64_t rows = 0;
    for (auto _ : state) {
        uint64_t sum = 0;
        rows = 0;
        while (sqlite3_step(scan) == SQLITE_ROW) {
            sum += static_cast<uint64_t>(sqlite3_column_int64(scan, 1));
            ++rows;
        }
        sqlite3_reset(scan);
        benchmark::DoNotOptimize(sum);
    }
    sqlite3_finalize(scan);
    state.SetItemsProcessed(state.iterations() * rows);
}

// Each phase is seconds long: a few iterations suffice. Argument: noLock.
BENCHMARK(BM_ZoTree_Insert)->Arg(1)->Arg(0)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZoTree_Lookup)->Arg(1)->Arg(0)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ZoTree_Iterate)->Arg(1)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdMap_Insert)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdMap_Lookup)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StdMap_Iterate)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sqlite_Insert)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sqlite_Lookup)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sqlite_Iterate)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace
