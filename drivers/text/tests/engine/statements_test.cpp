// Statements of every kind against table files.
#include "engine_support.h"

namespace enginetest {
namespace {

class Statements : public ::testing::Test {
protected:
    void SetUp() override {
        dir.write("people.csv", "id:INTEGER,name:VARCHAR(40),age:INTEGER,city\n"
                                "1,Ann,34,Oslo\n2,Bob,,Rome\n3,\"Carl, Jr.\",51,Oslo\n4,dora,27,\n");
        session = std::make_unique<Session>(dir.path());
        ASSERT_TRUE(session->db);
    }
    Directory dir;
    std::unique_ptr<Session> session;
};

TEST_F(Statements, SelectsWithWhere) {
    EXPECT_EQ(session->rows("SELECT * FROM people WHERE city = 'Oslo'"),
              (Rows{{"1", "Ann", "34", "Oslo"}, {"3", "Carl, Jr.", "51", "Oslo"}}));
    EXPECT_EQ(session->rows("SELECT name FROM people WHERE age IS NULL"), (Rows{{"Bob"}}));
}

TEST_F(Statements, Inserts) {
    EXPECT_EQ(session->exec("INSERT INTO people VALUES (5, 'Eve', 40, 'Bern')"), 1);
    EXPECT_EQ(session->rows("SELECT name FROM people WHERE id = 5"), (Rows{{"Eve"}}));
}

} // namespace
} // namespace enginetest

namespace enginetest {
namespace {

TEST(StatementKinds, CreateInsertUpdateDeleteDrop) {
    Directory dir;
    Session s(dir.path());
    ASSERT_TRUE(s.db);
    s.exec("CREATE TABLE t (id INTEGER, name VARCHAR(20), price DOUBLE, day DATE)");
    EXPECT_EQ(dir.read("t.csv"), "id:INTEGER,name:VARCHAR(20),price:DOUBLE,day:DATE\n");
    EXPECT_EQ(s.exec("INSERT INTO t VALUES (1, 'a', 1.5, {d '2024-01-31'})"), 1);
    EXPECT_EQ(s.exec("INSERT INTO t (id, name) VALUES (?, ?)", {integer(2), text("b,\"q\"")}), 1);
    EXPECT_EQ(s.exec("UPDATE t SET price = price * 2 WHERE id = 1"), 1);
    EXPECT_EQ(s.rows("SELECT id, name, price, day FROM t"),
              (Rows{{"1", "a", "3.0", "2024-01-31"}, {"2", "b,\"q\"", "NULL", "NULL"}}));
    EXPECT_EQ(s.exec("DELETE FROM t WHERE id = 1"), 1);
    EXPECT_EQ(s.rows("SELECT COUNT(*) FROM t"), (Rows{{"1"}}));
    s.exec("DROP TABLE t");
    EXPECT_EQ(s.error("SELECT * FROM t"), zotext::EngineError::NoTable);
}

TEST(StatementKinds, TransactionsCommitAndRollBack) {
    Directory dir;
    dir.write("t.csv", "a\n1\n");
    Session writer(dir.path()), reader(dir.path());
    ASSERT_TRUE(writer.db->setAutocommit(false));
    writer.exec("INSERT INTO t VALUES (2)");
    EXPECT_EQ(writer.rows("SELECT a FROM t"), (Rows{{"1"}, {"2"}}));
    EXPECT_EQ(reader.rows("SELECT a FROM t"), (Rows{{"1"}}));
    ASSERT_TRUE(writer.db->endTransaction(true));
    EXPECT_EQ(reader.rows("SELECT a FROM t"), (Rows{{"1"}, {"2"}}));
    writer.exec("DELETE FROM t");
    EXPECT_EQ(writer.rows("SELECT a FROM t"), Rows{});
    ASSERT_TRUE(writer.db->endTransaction(false));
    EXPECT_EQ(writer.rows("SELECT a FROM t"), (Rows{{"1"}, {"2"}}));
}

} // namespace
} // namespace enginetest
