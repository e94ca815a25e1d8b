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

namespace enginetest {
namespace {

TEST_F(Statements, ErrorsCarryTheirCodes) {
    struct ErrorCase {
        const char *sql;
        zotext::EngineError code;
    };
    const ErrorCase cases[] = {
        {"SELECT * FORM people", zotext::EngineError::Syntax},
        {"SELECT * FROM nowhere", zotext::EngineError::NoTable},
        {"SELECT nope FROM people", zotext::EngineError::NoColumn},
        {"SELECT id FROM people a, people b", zotext::EngineError::AmbiguousColumn},
        {"SELECT city, COUNT(*) FROM people", zotext::EngineError::NotGrouped},
        {"SELECT name FROM people GROUP BY city", zotext::EngineError::NotGrouped},
        {"SELECT * FROM people WHERE COUNT(*) > 1", zotext::EngineError::Syntax},
        {"SELECT MAX(COUNT(*)) FROM people", zotext::EngineError::Syntax},
        {"SELECT FROB(id) FROM people", zotext::EngineError::UnknownFunction},
        {"SELECT SUBSTRING(name) FROM people", zotext::EngineError::Syntax},
        {"SELECT id / 0 FROM people", zotext::EngineError::DivisionByZero},
        {"SELECT id % 0 FROM people", zotext::EngineError::DivisionByZero},
        {"SELECT {d '2024-02-30'}", zotext::EngineError::BadDateTime},
        {"SELECT CAST('x' AS DATE)", zotext::EngineError::BadDateTime},
        {"INSERT INTO people VALUES (1, 2)", zotext::EngineError::WrongValueCount},
        {"INSERT INTO people (id, nope) VALUES (1, 2)", zotext::EngineError::NoColumn},
        {"CREATE TABLE people (a INTEGER)", zotext::EngineError::TableExists},
        {"CREATE TABLE x (a BLOB)", zotext::EngineError::NotSupported},
        {"DROP TABLE nowhere", zotext::EngineError::NoTable},
        {"UPDATE people SET nope = 1", zotext::EngineError::NoColumn},
        {"SELECT * FROM people WHERE id IN (SELECT id FROM people)", zotext::EngineError::NotSupported},
        {"SELECT * FROM people a JOIN people b ON a.id = b.id JOIN people c ON c.id = a.id",
         zotext::EngineError::NotSupported},
        {"SELECT * FROM people a FULL OUTER JOIN people b ON a.id = b.id", zotext::EngineError::NotSupported},
        {"{call p}", zotext::EngineError::NotSupported},
        {"SELECT SUM(9223372036854775807) FROM people", zotext::EngineError::IntegerOverflow},
        {"SELECT id FROM people ORDER BY 9", zotext::EngineError::Syntax},
    };
    for (const ErrorCase &c : cases)
        EXPECT_EQ(session->error(c.sql), c.code) << c.sql;
    EXPECT_STREQ(zotext::sqlStateOf(static_cast<uint16_t>(zotext::EngineError::NoTable)), "42S02");
    EXPECT_STREQ(zotext::sqlStateOf(static_cast<uint16_t>(zotext::EngineError::ParameterCount)), "07002");
}

TEST_F(Statements, SyntaxErrorsTellWhere) {
    Outcome got = session->run("SELECT id, name FROM people WHERE id = = 1");
    EXPECT_EQ(got.message, "syntax error at position 40 near \"= 1\"");
    got = session->run("SELECT id FROM people WHERE");
    EXPECT_EQ(got.message, "syntax error: the statement ends too early");
    got = session->run("SELECT id FROM people u v");
    EXPECT_EQ(got.message, "syntax error at position 25 near \"v\"");
}

TEST_F(Statements, DateAndTimeEscapesAndTheClock) {
    EXPECT_EQ(session->rows("SELECT {t '13:45:00'}, {ts '2024-03-01 13:45:00'}, {d '2024-02-29'} < {d '2024-03-01'}"),
              (Rows{{"13:45:00", "2024-03-01 13:45:00", "1"}}));
    EXPECT_EQ(session->error("SELECT {t '25:00:00'}"), zotext::EngineError::BadDateTime);
    EXPECT_EQ(session->error("SELECT {ts '2023-02-29 00:00:00'}"), zotext::EngineError::BadDateTime);
    // The clock's values are in ISO form, so they compare with stored dates as text does.
    Rows now = session->rows("SELECT {fn CURDATE()}, {fn NOW()}, LENGTH({fn CURDATE()}), LENGTH({fn NOW()})");
    ASSERT_EQ(now.size(), 1u);
    EXPECT_EQ(now[0][2], "10");
    EXPECT_EQ(now[0][3], "19");
    EXPECT_EQ(now[0][0].substr(4, 1) + now[0][0].substr(7, 1), "--");
    EXPECT_EQ(now[0][1].substr(10, 1) + now[0][1].substr(13, 1) + now[0][1].substr(16, 1), " ::");
    EXPECT_EQ(session->rows("SELECT COUNT(*) FROM people WHERE {fn CURDATE()} > {d '2024-01-01'}"), (Rows{{"4"}}));
}

TEST_F(Statements, ParametersOfEachKind) {
    zotext::Value day;
    day.kind = zotext::Value::Kind::Date;
    day.text = "2024-05-01";
    EXPECT_EQ(session->rows("SELECT ?, ?, ?, ?, ?", {integer(-7), real(2.5), text("O'x"), null(), day}),
              (Rows{{"-7", "2.5", "O'x", "NULL", "2024-05-01"}}));
    EXPECT_EQ(session->rows("SELECT name FROM people WHERE id = ? OR name = ?", {text("2"), text("dora")}),
              (Rows{{"Bob"}, {"dora"}}));
    // An unset parameter is refused at execute.
    std::unique_ptr<zotext::Statement> statement = session->db->prepare("SELECT ? + ?");
    ASSERT_TRUE(statement);
    EXPECT_EQ(statement->parameterCount(), 2);
    ASSERT_TRUE(statement->setParameter(1, integer(1)));
    EXPECT_FALSE(statement->execute());
    EXPECT_EQ(session->capture.lastNumber(), static_cast<unsigned short>(zotext::EngineError::ParameterCount));
    EXPECT_FALSE(statement->setParameter(3, integer(1)));
    ASSERT_TRUE(statement->setParameter(2, integer(2)));
    ASSERT_TRUE(statement->execute());
    std::vector<zotext::Value> row;
    ASSERT_TRUE(statement->fetch(&row));
    EXPECT_EQ(show(row[0]), "3");
    EXPECT_FALSE(statement->fetch(&row));
    EXPECT_FALSE(statement->failed());
}

TEST_F(Statements, CatalogDescribesTables) {
    session->exec("CREATE TABLE extra (a INTEGER)");
    std::vector<std::string> names;
    ASSERT_TRUE(session->db->listTables(&names));
    EXPECT_EQ(names, (std::vector<std::string>{"extra", "people"}));
    std::vector<zotext::ColumnInfo> columns;
    ASSERT_TRUE(session->db->describeTable("PEOPLE", &columns));
    ASSERT_EQ(columns.size(), 4u);
    EXPECT_EQ(columns[1].name, "name");
    EXPECT_EQ(columns[1].type, zotext::ColumnType::Varchar);
    EXPECT_EQ(columns[1].size, 40u);
    EXPECT_EQ(columns[2].type, zotext::ColumnType::Integer);
    EXPECT_EQ(columns[3].size, 255u);
    EXPECT_FALSE(session->db->describeTable("nowhere", &columns));
    std::unique_ptr<zotext::Statement> statement =
        session->db->prepare("SELECT name AS who, age + 1, COUNT(*) FROM people GROUP BY name, age");
    ASSERT_TRUE(statement);
    const std::vector<zotext::ColumnInfo> &result = statement->resultColumns();
    ASSERT_EQ(result.size(), 3u);
    EXPECT_EQ(result[0].name, "who");
    EXPECT_EQ(result[0].table, "people");
    EXPECT_EQ(result[1].name, "age + 1");
    EXPECT_EQ(result[1].type, zotext::ColumnType::Integer);
    EXPECT_EQ(result[2].name, "COUNT(*)");
}

TEST_F(Statements, CancelStopsALongQuery) {
    std::string csv = "n\n";
    for (int i = 0; i < 20000; ++i)
        csv += std::to_string(i) + "\n";
    dir.write("big.csv", csv);
    std::unique_ptr<zotext::Statement> statement = session->db->prepare("SELECT n FROM big");
    ASSERT_TRUE(statement && statement->execute());
    statement->cancel();
    std::vector<zotext::Value> row;
    int rows = 0;
    while (statement->fetch(&row))
        ++rows;
    EXPECT_TRUE(statement->failed());
    EXPECT_LT(rows, 20000);
    EXPECT_EQ(session->capture.lastNumber(), static_cast<unsigned short>(zotext::EngineError::Cancelled));
}

TEST_F(Statements, ChangesKeepWhatTheyDoNotTouch) {
    // Quoting, line ends and the fields of other columns stay as they were written.
    dir.write("raw.csv", "a,b\r\n\"x\"\"y\",1\r\nplain,2\r\n");
    EXPECT_EQ(session->exec("UPDATE raw SET b = b + 10 WHERE a = 'plain'"), 1);
    EXPECT_EQ(dir.read("raw.csv"), "a,b\r\n\"x\"\"y\",1\r\nplain,12\r\n");
    EXPECT_EQ(session->exec("INSERT INTO raw (b) VALUES (3)"), 1);
    EXPECT_EQ(dir.read("raw.csv"), "a,b\r\n\"x\"\"y\",1\r\nplain,12\r\n,3\r\n");
    EXPECT_EQ(session->exec("UPDATE raw SET a = '' WHERE b = 3"), 1);
    EXPECT_EQ(session->rows("SELECT a IS NULL, LENGTH(a) FROM raw WHERE b = 3"), (Rows{{"0", "0"}}));
    // Reals are stored so that they read back exactly.
    session->exec("CREATE TABLE reals (r DOUBLE)");
    session->exec("INSERT INTO reals VALUES (0.1 + 0.2)");
    EXPECT_EQ(session->rows("SELECT r = 0.1 + 0.2, r = 0.3 FROM reals"), (Rows{{"1", "0"}}));
}

} // namespace
} // namespace enginetest
