// Values against SQLite itself: the affinities a typed column gives a text, the text of
// numbers, arithmetic on text, and the string functions on text that is not ASCII.
#include "engine_support.h"

#include <sqlite3.h>

#include "engine/value.h"

namespace enginetest {
namespace {

using zotext::Affinity;
using zotext::Val;

// "type:text" of a value, as SQLite's typeof() and text give it.
std::string described(const Val &v) {
    std::string buffer;
    switch (v.type) {
    case Val::Null: return "null";
    case Val::Int: return "integer:" + std::to_string(v.i);
    case Val::Real: return "real:" + std::string(zotext::textOf(v, &buffer));
    case Val::Text: return "text:" + std::string(v.view());
    }
    return "";
}

class SqliteValues {
public:
    SqliteValues() { sqlite3_open(":memory:", &db_); }
    ~SqliteValues() { sqlite3_close(db_); }
    // The value SQLite stores for the text in a column of the declared type.
    std::string stored(const std::string &text, const char *type) {
        std::string table = std::string("CREATE TABLE IF NOT EXISTS v_") + type + " (x " + type + ")";
        sqlite3_exec(db_, table.c_str(), nullptr, nullptr, nullptr);
        sqlite3_exec(db_, (std::string("DELETE FROM v_") + type).c_str(), nullptr, nullptr, nullptr);
        sqlite3_stmt *insert = nullptr;
        sqlite3_prepare_v2(db_, (std::string("INSERT INTO v_") + type + " VALUES (?)").c_str(), -1, &insert, nullptr);
        sqlite3_bind_text(insert, 1, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_finalize(insert);
        return one(std::string("SELECT typeof(x) || ':' || x FROM v_") + type);
    }
    // The first column of the first row, as text.
    std::string one(const std::string &sql, const std::string &parameter = std::string()) {
        sqlite3_stmt *statement = nullptr;
        sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr);
        if (sqlite3_bind_parameter_count(statement) > 0)
            sqlite3_bind_text(statement, 1, parameter.data(), static_cast<int>(parameter.size()), SQLITE_TRANSIENT);
        std::string out = "null";
        if (sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_type(statement, 0) != SQLITE_NULL)
            out = reinterpret_cast<const char *>(sqlite3_column_text(statement, 0));
        sqlite3_finalize(statement);
        return out;
    }

private:
    sqlite3 *db_ = nullptr;
};

const char *const kTexts[] = {"0",
                              "12",
                              "-7",
                              "+5",
                              " 8 ",
                              "3.0",
                              "3.5",
                              "1e3",
                              "1E-2",
                              ".5",
                              "5.",
                              "-0",
                              "12abc",
                              "abc",
                              "",
                              " ",
                              "0x10",
                              "9223372036854775807",
                              "9223372036854775808",
                              "-9223372036854775808",
                              "1e400",
                              "00012",
                              "1.0e+20",
                              "2024-01-31",
                              "13:45:00",
                              "- 1",
                              "1 2",
                              "\t4\n"};

TEST(Values, AffinitiesAreSqlites) {
    SqliteValues sqlite;
    struct Column {
        const char *type;
        Affinity affinity;
    };
    for (const Column &column : {Column{"INTEGER", Affinity::Integer}, Column{"REAL", Affinity::Real},
                                 Column{"NUMERIC", Affinity::Numeric}, Column{"TEXT", Affinity::Text}}) {
        for (const char *text : kTexts) {
            std::string buffer;
            Val v = zotext::withAffinity(Val::text(text), column.affinity, &buffer);
            EXPECT_EQ(described(v), sqlite.stored(text, column.type)) << column.type << " '" << text << "'";
        }
    }
}

TEST(Values, ArithmeticOnTextIsSqlites) {
    SqliteValues sqlite;
    for (const char *text : kTexts) {
        Val n = zotext::numericOf(Val::text(text));
        std::string expected = sqlite.one("SELECT typeof(x) || ':' || x FROM (SELECT ? + 0 AS x)", text);
        EXPECT_EQ(described(n), expected) << "'" << text << "'";
    }
}

TEST(Values, NumbersAreWrittenAsSqliteWritesThem) {
    SqliteValues sqlite;
    for (double d : {0.0, 1.0, -2.5, 0.1, 1e20, 1e-5, 123456789012345678.0, 1.0 / 3, 2.675, -0.0, 1e15, 1e16}) {
        std::string buffer;
        char exact[40];
        std::snprintf(exact, sizeof exact, "%.17g", d);
        EXPECT_EQ(std::string(zotext::textOf(Val::real(d), &buffer)), sqlite.one("SELECT CAST(? AS REAL) || ''", exact))
            << d;
    }
}

TEST(Values, StringFunctionsCountCharacters) {
    Directory dir;
    dir.write("t.csv", "s\nÉmile\nZoë é\nabc\n日本語テキスト\n");
    Session session(dir.path());
    SqliteValues sqlite;
    for (const char *expression : {"LENGTH(s)", "SUBSTR(s, 2, 3)", "SUBSTR(s, -2)", "UPPER(s)", "LOWER(s)",
                                   "INSTR(s, 'é')", "TRIM(' ' || s || ' ')"}) {
        Rows rows = session.rows(std::string("SELECT ") + expression + " FROM t");
        const char *texts[] = {"Émile", "Zoë é", "abc", "日本語テキスト"};
        ASSERT_EQ(rows.size(), 4u);
        for (size_t i = 0; i < 4; ++i)
            EXPECT_EQ(rows[i][0], sqlite.one(std::string("SELECT ") + expression + " FROM (SELECT ? AS s)", texts[i]))
                << expression << " of " << texts[i];
    }
}

} // namespace
} // namespace enginetest
