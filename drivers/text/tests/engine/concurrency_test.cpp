// Eight readers with connections of their own while one writer changes the tables: every
// reader sees each table whole (all rows of one version: a file is replaced, never edited
// where it is read) and a commit of two tables either before or after, never half.
#include "engine_support.h"

#include <atomic>
#include <thread>

namespace enginetest {
namespace {

// Each table holds 200 rows "i,v,2v" of one version v.
std::string versionTable(int version) {
    std::string csv = "i:INTEGER,v:INTEGER,w:INTEGER\n";
    for (int i = 0; i < 200; ++i)
        csv += std::to_string(i) + "," + std::to_string(version) + "," + std::to_string(2 * version) + "\n";
    return csv;
}

TEST(Concurrency, ReadersNeverSeeTornTablesOrHalfCommits) {
    Directory dir;
    dir.write("a.csv", versionTable(0));
    dir.write("b.csv", versionTable(0));
    dir.write("c.csv", versionTable(0));
    std::atomic<bool> done{false};
    std::atomic<int> problems{0};
    std::atomic<int> reads{0};

    auto reader = [&] {
        Session s(dir.path());
        if (!s.db) {
            ++problems;
            return;
        }
        while (!done.load()) {
            // One table: all rows of one version, each row whole.
            for (const char *table : {"a", "c"}) {
                Outcome one = s.run(std::string("SELECT COUNT(*), MIN(v), MAX(v), SUM(w - 2 * v) FROM ") + table);
                if (!one.ok || one.rows.size() != 1 || one.rows[0][0] != "200" || one.rows[0][1] != one.rows[0][2] ||
                    one.rows[0][3] != "0")
                    ++problems;
            }
            // Two tables changed by one commit: the same version in both.
            Outcome both = s.run("SELECT COUNT(*) FROM a JOIN b ON a.i = b.i WHERE a.v <> b.v");
            if (!both.ok || both.rows.size() != 1 || both.rows[0][0] != "0")
                ++problems;
            ++reads;
        }
    };
    std::vector<std::thread> readers;
    for (int r = 0; r < 8; ++r)
        readers.emplace_back(reader);

    std::thread writer([&] {
        Session s(dir.path());
        if (!s.db) {
            ++problems;
            done = true;
            return;
        }
        for (int version = 1; version <= 4; ++version) {
            // With autocommit each statement replaces one file; a transaction changes two
            // tables together.
            if (s.run("UPDATE c SET v = v + 1, w = w + 2").rowCount != 200 || !s.db->setAutocommit(false))
                ++problems;
            for (const char *table : {"a", "b"})
                if (s.run(std::string("UPDATE ") + table + " SET v = v + 1, w = w + 2").rowCount != 200)
                    ++problems;
            if (!s.db->endTransaction(true) || !s.db->setAutocommit(true))
                ++problems;
        }
        done = true;
    });
    writer.join();
    for (std::thread &t : readers)
        t.join();
    EXPECT_EQ(problems.load(), 0);
    EXPECT_GT(reads.load(), 8);
    EXPECT_EQ(dir.read("a.csv"), versionTable(4));
    EXPECT_EQ(dir.read("c.csv"), versionTable(4));
}

TEST(Concurrency, SecondWriterWaitsThenTimesOut) {
    Directory dir;
    dir.write("t.csv", "a\n1\n");
    Session first(dir.path()), second(dir.path(), ',', true, zotext::Charset::Utf8, 200);
    ASSERT_TRUE(first.db->setAutocommit(false));
    first.exec("INSERT INTO t VALUES (2)");
    // The first connection holds the table until its transaction ends.
    EXPECT_EQ(second.error("INSERT INTO t VALUES (3)"), zotext::EngineError::Busy);
    ASSERT_TRUE(first.db->endTransaction(true));
    EXPECT_EQ(second.exec("INSERT INTO t VALUES (3)"), 1);
    EXPECT_EQ(first.rows("SELECT a FROM t"), (Rows{{"1"}, {"2"}, {"3"}}));
}

} // namespace
} // namespace enginetest
