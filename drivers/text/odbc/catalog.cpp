// Catalog calls: the tables of the directory and their columns, the types, and the empty
// answers for what text files do not have (indexes, keys, procedures).
#include <algorithm>
#include <cctype>

#include <zo/strfuncs.h>

#include "odbc/driver.h"
#include "odbc/entries.h"

namespace zotext::odbc {
namespace {

bool equalNoCase(const std::string &a, const std::string &b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Catalog patterns: '%' any text, '_' one character, '\\' the escape; ignoring case.
bool likePattern(const std::string &name, const std::string &pattern) {
    return strLike(reinterpret_cast<const unsigned char *>(name.data()), uint32_t(name.size()),
                   reinterpret_cast<const unsigned char *>(pattern.data()), uint32_t(pattern.size()), '%', '_', '\\', 0,
                   1) != 0;
}

// Whether a name passes a catalog argument: a pattern (or, with SQL_ATTR_METADATA_ID on,
// an identifier: equal ignoring case, or exactly when quoted). A null argument passes all.
bool passes(const std::string &name, const CatalogArgument &arg, bool identifier) {
    if (!arg.given)
        return true;
    if (!identifier)
        return likePattern(name, arg.text);
    if (arg.text.size() >= 2 && arg.text.front() == '"' && arg.text.back() == '"')
        return name == arg.text.substr(1, arg.text.size() - 2);
    return equalNoCase(name, arg.text);
}

// Catalogs and schemas: tables have neither, so only a null, empty or all-matching
// argument lets them through.
bool passesEmpty(const CatalogArgument &arg) { return !arg.given || arg.text.empty() || arg.text == "%"; }

Value text(const std::string &s) {
    Value v;
    v.kind = Value::Kind::Text;
    v.text = s;
    return v;
}
Value integer(int64_t n) {
    Value v;
    v.kind = Value::Kind::Integer;
    v.integer = n;
    return v;
}
const Value kNull{};

Column varchar(const char *name) { return catalogColumn(name, SQL_WVARCHAR); }
Column smallint(const char *name) { return catalogColumn(name, SQL_SMALLINT); }
Column integerColumn(const char *name) { return catalogColumn(name, SQL_INTEGER); }

std::unique_ptr<ListResult> tablesList() {
    return std::make_unique<ListResult>(std::vector<Column>{varchar("TABLE_CAT"), varchar("TABLE_SCHEM"),
                                                            varchar("TABLE_NAME"), varchar("TABLE_TYPE"),
                                                            varchar("REMARKS")});
}

// Whether the table type list ("TABLE", "'TABLE','VIEW'", ...) asks for tables.
bool asksForTables(const CatalogArgument &types) {
    if (!types.given || types.text.empty() || types.text == "%")
        return true;
    size_t start = 0;
    while (start <= types.text.size()) {
        size_t end = types.text.find(',', start);
        if (end == std::string::npos)
            end = types.text.size();
        std::string item = types.text.substr(start, end - start);
        item.erase(std::remove_if(item.begin(), item.end(), [](char c) { return c == '\'' || c == ' '; }), item.end());
        if (equalNoCase(item, "TABLE"))
            return true;
        start = end + 1;
    }
    return false;
}

bool isAll(const CatalogArgument &arg) { return arg.given && arg.text == "%"; }
bool isEmpty(const CatalogArgument &arg) { return arg.given && arg.text.empty(); }

SQLRETURN tables(Stmt &stmt, const CatalogArgument &catalog, const CatalogArgument &schema,
                 const CatalogArgument &table, const CatalogArgument &types) {
    auto list = tablesList();
    const bool identifier = stmt.attributes.metadataId == SQL_TRUE;
    if (isAll(types) && isEmpty(catalog) && isEmpty(schema) && isEmpty(table)) {
        list->rows.push_back({kNull, kNull, kNull, text("TABLE"), kNull});
    } else if ((isAll(catalog) && isEmpty(schema) && isEmpty(table)) ||
               (isAll(schema) && isEmpty(catalog) && isEmpty(table))) {
        // The lists of catalogs and of schemas: there are none.
    } else if (passesEmpty(catalog) && passesEmpty(schema) && asksForTables(types)) {
        std::vector<std::string> names;
        if (!stmt.dbc.database->listTables(&names))
            return SQL_ERROR;
        std::sort(names.begin(), names.end());
        for (const std::string &name : names)
            if (passes(name, table, identifier))
                list->rows.push_back({kNull, kNull, text(name), text("TABLE"), kNull});
    }
    openList(stmt, std::move(list));
    return SQL_SUCCESS;
}

bool isDateTime(SQLSMALLINT t) { return t == SQL_TYPE_DATE || t == SQL_TYPE_TIME || t == SQL_TYPE_TIMESTAMP; }
bool isNumber(SQLSMALLINT t) { return t == SQL_BIGINT || t == SQL_DOUBLE; }

SQLSMALLINT datetimeSub(SQLSMALLINT t) {
    return t == SQL_TYPE_DATE ? SQL_CODE_DATE : t == SQL_TYPE_TIME ? SQL_CODE_TIME : SQL_CODE_TIMESTAMP;
}

std::vector<Value> columnRow(const std::string &table, const Column &c, int position) {
    const bool text_ = c.sqlType == SQL_WVARCHAR;
    return {kNull,
            kNull,
            text(table),
            text(c.info.name),
            integer(c.sqlType),
            text(c.typeName),
            integer(static_cast<int64_t>(c.size)),
            integer(c.octetLength),
            isNumber(c.sqlType) || c.sqlType == SQL_TYPE_TIMESTAMP ? integer(c.digits) : kNull,
            isNumber(c.sqlType) ? integer(10) : kNull,
            integer(c.info.nullable ? SQL_NULLABLE : SQL_NO_NULLS),
            kNull,
            kNull,
            integer(isDateTime(c.sqlType) ? SQL_DATETIME : c.sqlType),
            isDateTime(c.sqlType) ? integer(datetimeSub(c.sqlType)) : kNull,
            text_ ? integer(c.octetLength) : kNull,
            integer(position),
            text(c.info.nullable ? "YES" : "NO")};
}

SQLRETURN columns(Stmt &stmt, const CatalogArgument &catalog, const CatalogArgument &schema,
                  const CatalogArgument &table, const CatalogArgument &column) {
    auto list = std::make_unique<ListResult>(std::vector<Column>{
        varchar("TABLE_CAT"), varchar("TABLE_SCHEM"), varchar("TABLE_NAME"), varchar("COLUMN_NAME"),
        smallint("DATA_TYPE"), varchar("TYPE_NAME"), integerColumn("COLUMN_SIZE"), integerColumn("BUFFER_LENGTH"),
        smallint("DECIMAL_DIGITS"), smallint("NUM_PREC_RADIX"), smallint("NULLABLE"), varchar("REMARKS"),
        varchar("COLUMN_DEF"), smallint("SQL_DATA_TYPE"), smallint("SQL_DATETIME_SUB"),
        integerColumn("CHAR_OCTET_LENGTH"), integerColumn("ORDINAL_POSITION"), varchar("IS_NULLABLE")});
    const bool identifier = stmt.attributes.metadataId == SQL_TRUE;
    if (passesEmpty(catalog) && passesEmpty(schema)) {
        std::vector<std::string> names;
        if (!stmt.dbc.database->listTables(&names))
            return SQL_ERROR;
        std::sort(names.begin(), names.end());
        for (const std::string &name : names) {
            if (!passes(name, table, identifier))
                continue;
            std::vector<ColumnInfo> infos;
            if (!stmt.dbc.database->describeTable(name, &infos))
                return SQL_ERROR; // the engine recorded why the table cannot be read
            int position = 0;
            for (const ColumnInfo &info : infos) {
                ++position;
                if (passes(info.name, column, identifier))
                    list->rows.push_back(columnRow(name, describeColumn(info), position));
            }
        }
    }
    openList(stmt, std::move(list));
    return SQL_SUCCESS;
}

// One row of SQLGetTypeInfo.
struct TypeRow {
    SQLSMALLINT dataType;
    const char *name;
    int64_t size;
    const char *prefix;
    const char *suffix;
    const char *createParams;
    bool caseSensitive;
    bool numeric;
};

// Ordered by data type, as the answer must be. Text is VARCHAR under both its wide and its
// narrow type, integers INTEGER under BIGINT (64 bits, as stored) and INTEGER.
constexpr TypeRow kTypes[] = {
    {SQL_WVARCHAR, "VARCHAR", 1073741823, "'", "'", "max length", true, false},
    {SQL_BIGINT, "INTEGER", 19, nullptr, nullptr, nullptr, false, true},
    {SQL_INTEGER, "INTEGER", 10, nullptr, nullptr, nullptr, false, true},
    {SQL_DOUBLE, "DOUBLE", 15, nullptr, nullptr, nullptr, false, true},
    {SQL_VARCHAR, "VARCHAR", 1073741823, "'", "'", "max length", true, false},
    {SQL_TYPE_DATE, "DATE", 10, "{d '", "'}", nullptr, false, false},
    {SQL_TYPE_TIME, "TIME", 8, "{t '", "'}", nullptr, false, false},
    {SQL_TYPE_TIMESTAMP, "TIMESTAMP", 19, "{ts '", "'}", nullptr, false, false},
};

Value optionalText(const char *s) { return s != nullptr ? text(s) : kNull; }

std::vector<Value> typeRow(const TypeRow &t) {
    return {text(t.name),
            integer(t.dataType),
            integer(t.size),
            optionalText(t.prefix),
            optionalText(t.suffix),
            optionalText(t.createParams),
            integer(SQL_NULLABLE),
            integer(t.caseSensitive ? SQL_TRUE : SQL_FALSE),
            integer(SQL_SEARCHABLE),
            t.numeric ? integer(SQL_FALSE) : kNull,
            integer(SQL_FALSE),
            t.numeric ? integer(SQL_FALSE) : kNull,
            text(t.name),
            t.numeric || t.dataType == SQL_TYPE_TIMESTAMP ? integer(0) : kNull,
            t.numeric || t.dataType == SQL_TYPE_TIMESTAMP ? integer(0) : kNull,
            integer(isDateTime(t.dataType) ? SQL_DATETIME : t.dataType),
            isDateTime(t.dataType) ? integer(datetimeSub(t.dataType)) : kNull,
            t.numeric ? integer(10) : kNull,
            kNull};
}

// The ODBC 2 names of the date and time types ask for the same rows.
SQLSMALLINT odbc3Type(SQLSMALLINT t) {
    return t == SQL_DATE ? SQL_TYPE_DATE : t == SQL_TIME ? SQL_TYPE_TIME : t == SQL_TIMESTAMP ? SQL_TYPE_TIMESTAMP : t;
}

SQLRETURN typeInfo(Stmt &stmt, SQLSMALLINT type) {
    auto list = std::make_unique<ListResult>(std::vector<Column>{
        varchar("TYPE_NAME"), smallint("DATA_TYPE"), integerColumn("COLUMN_SIZE"), varchar("LITERAL_PREFIX"),
        varchar("LITERAL_SUFFIX"), varchar("CREATE_PARAMS"), smallint("NULLABLE"), smallint("CASE_SENSITIVE"),
        smallint("SEARCHABLE"), smallint("UNSIGNED_ATTRIBUTE"), smallint("FIXED_PREC_SCALE"),
        smallint("AUTO_UNIQUE_VALUE"), varchar("LOCAL_TYPE_NAME"), smallint("MINIMUM_SCALE"), smallint("MAXIMUM_SCALE"),
        smallint("SQL_DATA_TYPE"), smallint("SQL_DATETIME_SUB"), integerColumn("NUM_PREC_RADIX"),
        integerColumn("INTERVAL_PRECISION")});
    for (const TypeRow &t : kTypes)
        if (type == SQL_ALL_TYPES || odbc3Type(type) == t.dataType)
            list->rows.push_back(typeRow(t));
    openList(stmt, std::move(list));
    return SQL_SUCCESS;
}

// A result with the columns and no rows.
SQLRETURN empty(Stmt &stmt, std::vector<Column> columns) {
    openList(stmt, std::make_unique<ListResult>(std::move(columns)));
    return SQL_SUCCESS;
}

template <class F>
SQLRETURN catalogCall(SQLHSTMT handle, const char *function, F &&body) {
    return call(asStmt(handle), function, [&](Stmt &stmt, CallScope &) {
        if (stmt.state == Stmt::State::Open)
            return fail(OdbcError::CursorState, "A cursor is open: close it first (SQLCloseCursor).");
        return body(stmt);
    });
}

} // namespace

CatalogArgument catalogArgument(const SQLCHAR *s, SQLSMALLINT length) {
    return s == nullptr ? CatalogArgument{} : CatalogArgument{fromAnsi(s, length), true};
}

CatalogArgument catalogArgument(const SQLWCHAR *s, SQLSMALLINT length) {
    return s == nullptr ? CatalogArgument{} : CatalogArgument{fromWide(s, length), true};
}

SQLRETURN tablesEntry(SQLHSTMT handle, const CatalogArgument &catalog, const CatalogArgument &schema,
                      const CatalogArgument &table, const CatalogArgument &types) {
    return catalogCall(handle, "SQLTables", [&](Stmt &stmt) { return tables(stmt, catalog, schema, table, types); });
}

SQLRETURN columnsEntry(SQLHSTMT handle, const CatalogArgument &catalog, const CatalogArgument &schema,
                       const CatalogArgument &table, const CatalogArgument &column) {
    return catalogCall(handle, "SQLColumns", [&](Stmt &stmt) { return columns(stmt, catalog, schema, table, column); });
}

SQLRETURN statisticsEntry(SQLHSTMT handle, const CatalogArgument &) {
    return catalogCall(handle, "SQLStatistics", [](Stmt &stmt) {
        return empty(stmt, {varchar("TABLE_CAT"), varchar("TABLE_SCHEM"), varchar("TABLE_NAME"), smallint("NON_UNIQUE"),
                            varchar("INDEX_QUALIFIER"), varchar("INDEX_NAME"), smallint("TYPE"),
                            smallint("ORDINAL_POSITION"), varchar("COLUMN_NAME"), varchar("ASC_OR_DESC"),
                            integerColumn("CARDINALITY"), integerColumn("PAGES"), varchar("FILTER_CONDITION")});
    });
}

SQLRETURN primaryKeysEntry(SQLHSTMT handle, const CatalogArgument &) {
    return catalogCall(handle, "SQLPrimaryKeys", [](Stmt &stmt) {
        return empty(stmt, {varchar("TABLE_CAT"), varchar("TABLE_SCHEM"), varchar("TABLE_NAME"), varchar("COLUMN_NAME"),
                            smallint("KEY_SEQ"), varchar("PK_NAME")});
    });
}

SQLRETURN specialColumnsEntry(SQLHSTMT handle, SQLUSMALLINT, const CatalogArgument &) {
    return catalogCall(handle, "SQLSpecialColumns", [](Stmt &stmt) {
        return empty(stmt, {smallint("SCOPE"), varchar("COLUMN_NAME"), smallint("DATA_TYPE"), varchar("TYPE_NAME"),
                            integerColumn("COLUMN_SIZE"), integerColumn("BUFFER_LENGTH"), smallint("DECIMAL_DIGITS"),
                            smallint("PSEUDO_COLUMN")});
    });
}

SQLRETURN foreignKeysEntry(SQLHSTMT handle) {
    return catalogCall(handle, "SQLForeignKeys", [](Stmt &stmt) {
        return empty(stmt,
                     {varchar("PKTABLE_CAT"), varchar("PKTABLE_SCHEM"), varchar("PKTABLE_NAME"),
                      varchar("PKCOLUMN_NAME"), varchar("FKTABLE_CAT"), varchar("FKTABLE_SCHEM"),
                      varchar("FKTABLE_NAME"), varchar("FKCOLUMN_NAME"), smallint("KEY_SEQ"), smallint("UPDATE_RULE"),
                      smallint("DELETE_RULE"), varchar("FK_NAME"), varchar("PK_NAME"), smallint("DEFERRABILITY")});
    });
}

SQLRETURN proceduresEntry(SQLHSTMT handle) {
    return catalogCall(handle, "SQLProcedures", [](Stmt &stmt) {
        return empty(stmt, {varchar("PROCEDURE_CAT"), varchar("PROCEDURE_SCHEM"), varchar("PROCEDURE_NAME"),
                            varchar("NUM_INPUT_PARAMS"), varchar("NUM_OUTPUT_PARAMS"), varchar("NUM_RESULT_SETS"),
                            varchar("REMARKS"), smallint("PROCEDURE_TYPE")});
    });
}

SQLRETURN typeInfoEntry(SQLHSTMT handle, SQLSMALLINT type) {
    return catalogCall(handle, "SQLGetTypeInfo", [&](Stmt &stmt) { return typeInfo(stmt, type); });
}

} // namespace zotext::odbc

using namespace zotext::odbc;

extern "C" {

SQLRETURN SQL_API SQLTables(SQLHSTMT StatementHandle, SQLCHAR *CatalogName, SQLSMALLINT NameLength1,
                            SQLCHAR *SchemaName, SQLSMALLINT NameLength2, SQLCHAR *TableName, SQLSMALLINT NameLength3,
                            SQLCHAR *TableType, SQLSMALLINT NameLength4) {
    return tablesEntry(StatementHandle, catalogArgument(CatalogName, NameLength1),
                       catalogArgument(SchemaName, NameLength2), catalogArgument(TableName, NameLength3),
                       catalogArgument(TableType, NameLength4));
}

SQLRETURN SQL_API SQLColumns(SQLHSTMT StatementHandle, SQLCHAR *CatalogName, SQLSMALLINT NameLength1,
                             SQLCHAR *SchemaName, SQLSMALLINT NameLength2, SQLCHAR *TableName, SQLSMALLINT NameLength3,
                             SQLCHAR *ColumnName, SQLSMALLINT NameLength4) {
    return columnsEntry(StatementHandle, catalogArgument(CatalogName, NameLength1),
                        catalogArgument(SchemaName, NameLength2), catalogArgument(TableName, NameLength3),
                        catalogArgument(ColumnName, NameLength4));
}

SQLRETURN SQL_API SQLStatistics(SQLHSTMT StatementHandle, SQLCHAR *CatalogName, SQLSMALLINT NameLength1,
                                SQLCHAR *SchemaName, SQLSMALLINT NameLength2, SQLCHAR *TableName,
                                SQLSMALLINT NameLength3, SQLUSMALLINT Unique, SQLUSMALLINT Reserved) {
    (void)CatalogName, (void)NameLength1, (void)SchemaName, (void)NameLength2, (void)Unique, (void)Reserved;
    return statisticsEntry(StatementHandle, catalogArgument(TableName, NameLength3));
}

SQLRETURN SQL_API SQLPrimaryKeys(SQLHSTMT StatementHandle, SQLCHAR *CatalogName, SQLSMALLINT NameLength1,
                                 SQLCHAR *SchemaName, SQLSMALLINT NameLength2, SQLCHAR *TableName,
                                 SQLSMALLINT NameLength3) {
    (void)CatalogName, (void)NameLength1, (void)SchemaName, (void)NameLength2;
    return primaryKeysEntry(StatementHandle, catalogArgument(TableName, NameLength3));
}

SQLRETURN SQL_API SQLSpecialColumns(SQLHSTMT StatementHandle, SQLUSMALLINT IdentifierType, SQLCHAR *CatalogName,
                                    SQLSMALLINT NameLength1, SQLCHAR *SchemaName, SQLSMALLINT NameLength2,
                                    SQLCHAR *TableName, SQLSMALLINT NameLength3, SQLUSMALLINT Scope,
                                    SQLUSMALLINT Nullable) {
    (void)CatalogName, (void)NameLength1, (void)SchemaName, (void)NameLength2, (void)Scope, (void)Nullable;
    return specialColumnsEntry(StatementHandle, IdentifierType, catalogArgument(TableName, NameLength3));
}

SQLRETURN SQL_API SQLForeignKeys(SQLHSTMT StatementHandle, SQLCHAR *PKCatalogName, SQLSMALLINT NameLength1,
                                 SQLCHAR *PKSchemaName, SQLSMALLINT NameLength2, SQLCHAR *PKTableName,
                                 SQLSMALLINT NameLength3, SQLCHAR *FKCatalogName, SQLSMALLINT NameLength4,
                                 SQLCHAR *FKSchemaName, SQLSMALLINT NameLength5, SQLCHAR *FKTableName,
                                 SQLSMALLINT NameLength6) {
    (void)PKCatalogName, (void)NameLength1, (void)PKSchemaName, (void)NameLength2, (void)PKTableName, (void)NameLength3,
        (void)FKCatalogName, (void)NameLength4, (void)FKSchemaName, (void)NameLength5, (void)FKTableName,
        (void)NameLength6;
    return foreignKeysEntry(StatementHandle);
}

SQLRETURN SQL_API SQLProcedures(SQLHSTMT StatementHandle, SQLCHAR *CatalogName, SQLSMALLINT NameLength1,
                                SQLCHAR *SchemaName, SQLSMALLINT NameLength2, SQLCHAR *ProcName,
                                SQLSMALLINT NameLength3) {
    (void)CatalogName, (void)NameLength1, (void)SchemaName, (void)NameLength2, (void)ProcName, (void)NameLength3;
    return proceduresEntry(StatementHandle);
}

SQLRETURN SQL_API SQLGetTypeInfo(SQLHSTMT StatementHandle, SQLSMALLINT DataType) {
    return typeInfoEntry(StatementHandle, DataType);
}

} // extern "C"
