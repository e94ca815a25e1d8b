// Catalog calls: tables by pattern and type, columns, types, and the empty answers.
#include "odbc_fixture.h"

namespace zotext::testing {
namespace {

using fake::column;

class CatalogTest : public OdbcTest {
protected:
    void SetUp() override {
        OdbcTest::SetUp();
        fake::world().tables["orders"] = {column("id", ColumnType::Integer), column("day", ColumnType::Date),
                                          column("note", ColumnType::Varchar, 40)};
        fake::world().tables["Items"] = {column("price", ColumnType::Double)};
        connect();
    }

    // All rows of the open result as text (NULL as "-"), column by column.
    std::vector<std::vector<std::string>> rows() {
        SQLSMALLINT count = 0;
        EXPECT_EQ(SQLNumResultCols(stmt, &count), SQL_SUCCESS);
        std::vector<std::vector<std::string>> out;
        while (SQLFetch(stmt) == SQL_SUCCESS) {
            std::vector<std::string> row;
            for (SQLUSMALLINT i = 1; i <= SQLUSMALLINT(count); ++i) {
                char text[256];
                SQLLEN length = 0;
                EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(stmt, i, SQL_C_CHAR, text, sizeof text, &length)));
                row.push_back(length == SQL_NULL_DATA ? "-" : text);
            }
            out.push_back(row);
        }
        EXPECT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
        return out;
    }
    SQLSMALLINT columnCount() {
        SQLSMALLINT count = 0;
        EXPECT_EQ(SQLNumResultCols(stmt, &count), SQL_SUCCESS);
        return count;
    }

    using Rows = std::vector<std::vector<std::string>>;
};

SQLRETURN tables(SQLHSTMT stmt, const char *catalog, const char *schema, const char *table, const char *type) {
    return SQLTables(stmt, sql(catalog), SQL_NTS, sql(schema), SQL_NTS, sql(table), SQL_NTS, sql(type), SQL_NTS);
}

TEST_F(CatalogTest, Tables) {
    ASSERT_EQ(tables(stmt, nullptr, nullptr, nullptr, nullptr), SQL_SUCCESS);
    EXPECT_EQ(rows(), (Rows{{"-", "-", "Items", "TABLE", "-"}, {"-", "-", "orders", "TABLE", "-"}}));
    ASSERT_EQ(tables(stmt, nullptr, nullptr, "ORDERS", nullptr), SQL_SUCCESS); // names ignore case
    EXPECT_EQ(rows(), (Rows{{"-", "-", "orders", "TABLE", "-"}}));
    ASSERT_EQ(tables(stmt, nullptr, nullptr, "%", "'VIEW','TABLE'"), SQL_SUCCESS);
    EXPECT_EQ(rows().size(), 2u);
    ASSERT_EQ(tables(stmt, nullptr, nullptr, "%", "VIEW"), SQL_SUCCESS);
    EXPECT_EQ(rows(), Rows{});
    ASSERT_EQ(tables(stmt, "other", nullptr, nullptr, nullptr), SQL_SUCCESS); // no catalogs
    EXPECT_EQ(rows(), Rows{});
    ASSERT_EQ(tables(stmt, "", "", "", "%"), SQL_SUCCESS);
    EXPECT_EQ(rows(), (Rows{{"-", "-", "-", "TABLE", "-"}}));
    ASSERT_EQ(tables(stmt, "%", "", "", nullptr), SQL_SUCCESS);
    EXPECT_EQ(columnCount(), 5);
    EXPECT_EQ(rows(), Rows{});

    // With the metadata-id attribute the name is an identifier: quoted means exact case.
    ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_METADATA_ID, reinterpret_cast<SQLPOINTER>(SQL_TRUE), 0), SQL_SUCCESS);
    ASSERT_EQ(tables(stmt, nullptr, nullptr, "\"ITEMS\"", nullptr), SQL_SUCCESS);
    EXPECT_EQ(rows(), Rows{});
    ASSERT_EQ(tables(stmt, nullptr, nullptr, "items", nullptr), SQL_SUCCESS);
    EXPECT_EQ(rows().size(), 1u);

    // A catalog call while a cursor is open.
    ASSERT_EQ(tables(stmt, nullptr, nullptr, nullptr, nullptr), SQL_SUCCESS);
    EXPECT_EQ(tables(stmt, nullptr, nullptr, nullptr, nullptr), SQL_ERROR);
    EXPECT_EQ(stmtStates(), States{"24000"});
}

TEST_F(CatalogTest, Columns) {
    ASSERT_EQ(SQLColumns(stmt, nullptr, 0, nullptr, 0, sql("orders"), SQL_NTS, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(columnCount(), 18);
    const Rows got = rows();
    ASSERT_EQ(got.size(), 3u);
    // TABLE_NAME COLUMN_NAME DATA_TYPE TYPE_NAME COLUMN_SIZE ... SQL_DATA_TYPE SQL_DATETIME_SUB ...
    // ORDINAL_POSITION IS_NULLABLE
    EXPECT_EQ(got[0], (std::vector<std::string>{"-", "-", "orders", "id", "-5", "INTEGER", "19", "8", "0", "10", "1",
                                                "-", "-", "-5", "-", "-", "1", "YES"}));
    EXPECT_EQ(got[1], (std::vector<std::string>{"-", "-", "orders", "day", "91", "DATE", "10", "6", "-", "-", "1", "-",
                                                "-", "9", "1", "-", "2", "YES"}));
    EXPECT_EQ(got[2][4], "-9");
    EXPECT_EQ(got[2][6], "40");
    EXPECT_EQ(got[2][15], "80");
    ASSERT_EQ(SQLColumns(stmt, nullptr, 0, nullptr, 0, sql("%"), SQL_NTS, sql("PRICE"), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(rows().size(), 1u);
    ASSERT_EQ(SQLColumnsW(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0), SQL_SUCCESS);
    EXPECT_EQ(rows().size(), 4u);
}

TEST_F(CatalogTest, TypesAndEmptyAnswers) {
    ASSERT_EQ(SQLGetTypeInfo(stmt, SQL_ALL_TYPES), SQL_SUCCESS);
    EXPECT_EQ(columnCount(), 19);
    const Rows all = rows();
    std::vector<int> types;
    for (const auto &row : all)
        types.push_back(std::stoi(row[1]));
    EXPECT_TRUE(std::is_sorted(types.begin(), types.end()));
    EXPECT_EQ(all.size(), 8u);
    ASSERT_EQ(SQLGetTypeInfo(stmt, SQL_TYPE_TIMESTAMP), SQL_SUCCESS);
    SQLINTEGER size = 0;
    ASSERT_EQ(SQLFetch(stmt), SQL_SUCCESS);
    ASSERT_EQ(SQLGetData(stmt, 3, SQL_C_SLONG, &size, 0, nullptr), SQL_SUCCESS); // as a client reads it
    EXPECT_EQ(size, 19);
    ASSERT_EQ(SQLCloseCursor(stmt), SQL_SUCCESS);
    ASSERT_EQ(SQLGetTypeInfo(stmt, SQL_TIMESTAMP), SQL_SUCCESS); // the ODBC 2 name
    EXPECT_EQ(rows().size(), 1u);
    ASSERT_EQ(SQLGetTypeInfo(stmt, SQL_GUID), SQL_SUCCESS);
    EXPECT_EQ(rows(), Rows{});

    ASSERT_EQ(SQLStatistics(stmt, nullptr, 0, nullptr, 0, sql("orders"), SQL_NTS, SQL_INDEX_ALL, SQL_QUICK),
              SQL_SUCCESS);
    EXPECT_EQ(columnCount(), 13);
    EXPECT_EQ(rows(), Rows{});
    ASSERT_EQ(SQLPrimaryKeys(stmt, nullptr, 0, nullptr, 0, sql("orders"), SQL_NTS), SQL_SUCCESS);
    EXPECT_EQ(columnCount(), 6);
    EXPECT_EQ(rows(), Rows{});
    ASSERT_EQ(SQLSpecialColumns(stmt, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, sql("orders"), SQL_NTS, SQL_SCOPE_SESSION,
                                SQL_NULLABLE),
              SQL_SUCCESS);
    EXPECT_EQ(columnCount(), 8);
    EXPECT_EQ(rows(), Rows{});
}

} // namespace
} // namespace zotext::testing
