// Changes under failing file calls and allocations: each statement, and a commit, either
// happens whole or leaves every table as it was (and the connection able to do it again).
#include "engine_support.h"

#include <filesystem>
#include <map>
#include <optional>

#include "support/all_or_nothing.h"

namespace enginetest {
namespace {

struct Fixture {
    Directory dir;
    std::optional<Session> session;
};

// Every file of the directory with its contents (the lock file aside).
std::map<std::string, std::string> filesOf(const Fixture &f) {
    std::map<std::string, std::string> files;
    for (const auto &entry : std::filesystem::directory_iterator(f.dir.dir.host())) {
        std::string name = entry.path().filename().string();
        if (name != ".zotext.lock")
            files[name] = f.dir.read(name);
    }
    return files;
}

void setUp(Fixture &f) {
    f.dir.write("t.csv", "id:INTEGER,v\n1,a\n2,\"b,c\"\n3,d\n");
    f.dir.write("u.csv", "k\nx\n");
    f.session.emplace(f.dir.path());
    ASSERT_TRUE(f.session->db);
}

ZoStatus statusOf(bool ok) { return ok ? ZoSuccess : ZoFailure; }

using ChangeRun = zotest::AllOrNothing<Fixture, std::map<std::string, std::string>>;

// Every fault row (allocations only when asked: each of their many failure points runs the
// statement again). A file is put in place by a rename that then syncs its directory, as
// far as the host allows: a failure of that sync is not one of the change, so sync faults
// may be absorbed (the sync of the new file itself still fails the change).
void runAll(ChangeRun run, bool allocations) {
    for (const zotest::Fault &fault : allocations ? zotest::everyFault() : zotest::fileFaults()) {
        run.absorbsFaults = std::string(fault.name) == "sync";
        run.run(fault);
    }
}

struct Change {
    const char *sql;
    const char *t;
};

TEST(Faults, EachChangeHappensWholeOrNotAtAll) {
    const Change changes[] = {
        {"UPDATE t SET v = 'z' WHERE id > 1", "id:INTEGER,v\n1,a\n2,z\n3,z\n"},
        {"DELETE FROM t WHERE id = 2", "id:INTEGER,v\n1,a\n3,d\n"},
        {"INSERT INTO t VALUES (4, 'e')", "id:INTEGER,v\n1,a\n2,\"b,c\"\n3,d\n4,e\n"},
        {"DROP TABLE t", nullptr},
    };
    for (const Change &change : changes) {
        SCOPED_TRACE(change.sql);
        ChangeRun run{
            .setUp = setUp,
            .state = filesOf,
            .step = [&](Fixture &f) { return statusOf(f.session->run(change.sql).ok); },
            .after =
                [&](const Fixture &f) {
                    std::map<std::string, std::string> files = filesOf(f);
                    EXPECT_EQ(files.count("t.csv") ? files["t.csv"] : std::string("(none)"),
                              change.t ? change.t : "(none)");
                    EXPECT_EQ(files.size(), change.t ? 2u : 1u); // nothing left behind
                },
        };
        // The allocations of the write path are the same for every change: UPDATE has them all.
        runAll(run, change.sql[0] == 'U');
    }
}

TEST(Faults, ACommitOfTwoTablesHappensWholeOrNotAtAll) {
    ChangeRun run{
        .setUp =
            [](Fixture &f) {
                setUp(f);
                ASSERT_TRUE(f.session->db->setAutocommit(false));
                ASSERT_TRUE(f.session->run("UPDATE t SET v = 'n'").ok);
                ASSERT_TRUE(f.session->run("INSERT INTO u VALUES ('y')").ok);
            },
        .state =
            [](const Fixture &f) {
                std::map<std::string, std::string> files = filesOf(f);
                return std::map<std::string, std::string>{{"t", files["t.csv"]}, {"u", files["u.csv"]}};
            },
        .step = [](Fixture &f) { return statusOf(f.session->db->endTransaction(true)); },
        .after =
            [](const Fixture &f) {
                std::map<std::string, std::string> files = filesOf(f);
                EXPECT_EQ(files["t.csv"], "id:INTEGER,v\n1,n\n2,n\n3,n\n");
                EXPECT_EQ(files["u.csv"], "k\nx\ny\n");
                EXPECT_EQ(files.size(), 2u);
            },
    };
    runAll(run, true);
}

} // namespace
} // namespace enginetest
