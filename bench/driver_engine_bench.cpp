// The text driver's engine against SQLite on the same data: a table of 1,000,000 rows and
// six columns, as a CSV file for the engine and as an SQLite database file, queried with a
// full scan with a WHERE filter, a GROUP BY with COUNT and SUM, and an ORDER BY on two
// columns; every row of the result is fetched and its values taken as the engine hands them
// out (SQLite's through its column accessors). ZOTEXT_BENCH_ROWS changes the row count.
#include "engine/engine.h"

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <zo/cntdblib.h>
#include <zo/zoerror.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

struct Data {
    std::filesystem::path dir;
    std::string database;
    size_t rows = 1000000;
    bool ok = false;

    Data() {
        if (const char *n = std::getenv("ZOTEXT_BENCH_ROWS"))
            rows = std::strtoul(n, nullptr, 10);
        dir = std::filesystem::temp_directory_path() / ("zotext-bench-" + std::to_string(std::random_device()()));
        std::filesystem::create_directories(dir);
        database = (dir / "bench.db").string();
        ok = write();
    }
    ~Data() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    bool write() {
        std::mt19937 random(42);
        std::ofstream csv(dir / "t.csv", std::ios::binary);
        csv << "id:INTEGER,name:VARCHAR(20),qty:INTEGER,price:DOUBLE,cat:VARCHAR(10),day:DATE\n";
        sqlite3 *db = nullptr;
        if (sqlite3_open(database.c_str(), &db) != SQLITE_OK)
            return false;
        sqlite3_exec(db,
                     "PRAGMA journal_mode=OFF; CREATE TABLE t (id INTEGER, name VARCHAR(20), qty INTEGER, "
                     "price DOUBLE, cat VARCHAR(10), day DATE); BEGIN",
                     nullptr, nullptr, nullptr);
        sqlite3_stmt *insert = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO t VALUES (?, ?, ?, ?, ?, ?)", -1, &insert, nullptr);
        char name[24], price[32], cat[16], day[16];
        for (size_t i = 1; i <= rows; ++i) {
            std::snprintf(name, sizeof name, "name%07u", static_cast<unsigned>(random() % 5000000));
            int qty = static_cast<int>(random() % 1000);
            std::snprintf(price, sizeof price, "%.2f", static_cast<double>(random() % 100000) / 100);
            std::snprintf(cat, sizeof cat, "cat%02u", static_cast<unsigned>(random() % 20));
            std::snprintf(day, sizeof day, "2024-%02u-%02u", static_cast<unsigned>(random() % 12 + 1),
                          static_cast<unsigned>(random() % 28 + 1));
            csv << i << ',' << name << ',' << qty << ',' << price << ',' << cat << ',' << day << '\n';
            sqlite3_bind_int64(insert, 1, static_cast<sqlite3_int64>(i));
            sqlite3_bind_text(insert, 2, name, -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(insert, 3, qty);
            sqlite3_bind_double(insert, 4, std::strtod(price, nullptr));
            sqlite3_bind_text(insert, 5, cat, -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(insert, 6, day, -1, SQLITE_TRANSIENT);
            sqlite3_step(insert);
            sqlite3_reset(insert);
        }
        sqlite3_finalize(insert);
        bool committed = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
        sqlite3_close(db);
        return committed && csv.good();
    }
};

const Data &data() {
    static const Data d;
    return d;
}

const char *const kQueries[] = {
    "SELECT * FROM t WHERE qty < 500 AND cat <> 'cat07'",
    "SELECT cat, COUNT(*), SUM(qty) FROM t GROUP BY cat",
    "SELECT * FROM t ORDER BY cat, price",
};

void BM_Engine(benchmark::State &state) {
    const Data &d = data();
    ZoErrorList errors(nullptr, 1);
    mdsPerTaskInit();
    ZoErrorKeeper::setErrorList(&errors);
    zotext::ConnectOptions options;
    options.directory = d.dir.string();
    std::unique_ptr<zotext::Database> db = d.ok ? zotext::Database::open(options) : nullptr;
    size_t rows = 0;
    for (auto _ : state) {
        std::unique_ptr<zotext::Statement> statement = db ? db->prepare(kQueries[state.range(0)]) : nullptr;
        if (!statement || !statement->execute()) {
            state.SkipWithError("the query failed");
            break;
        }
        std::vector<zotext::Value> row;
        rows = 0;
        while (statement->fetch(&row))
            ++rows;
        if (statement->failed()) {
            state.SkipWithError("fetching failed");
            break;
        }
    }
    state.counters["rows"] = static_cast<double>(rows);
    db.reset();
    ZoErrorKeeper::giveUpErrorList();
    mdsPerTaskTerm();
}

void BM_SQLite(benchmark::State &state) {
    const Data &d = data();
    sqlite3 *db = nullptr;
    if (!d.ok || sqlite3_open_v2(d.database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        state.SkipWithError("the database could not be opened");
        return;
    }
    size_t rows = 0;
    for (auto _ : state) {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db, kQueries[state.range(0)], -1, &statement, nullptr) != SQLITE_OK) {
            state.SkipWithError("the query failed");
            break;
        }
        rows = 0;
        int columns = sqlite3_column_count(statement);
        while (sqlite3_step(statement) == SQLITE_ROW) {
            // Each value taken as its type gives it, as a driver hands it out.
            for (int c = 0; c < columns; ++c) {
                switch (sqlite3_column_type(statement, c)) {
                case SQLITE_INTEGER: benchmark::DoNotOptimize(sqlite3_column_int64(statement, c)); break;
                case SQLITE_FLOAT: benchmark::DoNotOptimize(sqlite3_column_double(statement, c)); break;
                default:
                    benchmark::DoNotOptimize(std::string(reinterpret_cast<const char *>(
                        sqlite3_column_text(statement, c) ? sqlite3_column_text(statement, c)
                                                          : reinterpret_cast<const unsigned char *>(""))));
                }
            }
            ++rows;
        }
        sqlite3_finalize(statement);
    }
    state.counters["rows"] = static_cast<double>(rows);
    sqlite3_close(db);
}

} // namespace

// 0: scan with WHERE, 1: GROUP BY with COUNT and SUM, 2: ORDER BY on two columns.
BENCHMARK(BM_Engine)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SQLite)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(3);
