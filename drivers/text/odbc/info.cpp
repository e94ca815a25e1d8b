// What the driver tells about itself: SQLGetInfo and SQLGetFunctions.
#include <cstring>

#include "odbc/driver.h"
#include "odbc/entries.h"

namespace zotext::odbc {
namespace {

enum class InfoKind : uint8_t { Text, Small, Number };

struct Info {
    SQLUSMALLINT type;
    InfoKind kind;
    SQLUINTEGER number;
    const char *text;
};

constexpr Info text(SQLUSMALLINT type, const char *value) { return {type, InfoKind::Text, 0, value}; }
constexpr Info small(SQLUSMALLINT type, SQLUINTEGER value) { return {type, InfoKind::Small, value, nullptr}; }
constexpr Info number(SQLUSMALLINT type, SQLUINTEGER value) { return {type, InfoKind::Number, value, nullptr}; }

// The answers that do not depend on the connection.
constexpr Info kInfo[] = {
    text(SQL_DRIVER_NAME, "libzotext.so"),
    text(SQL_DRIVER_VER, "01.00.0000"),
    text(SQL_DRIVER_ODBC_VER, "03.51"),
    text(SQL_ODBC_VER, "03.51"),
    text(SQL_DBMS_NAME, "ZoText"),
    text(SQL_DBMS_VER, "01.00.0000"),
    text(SQL_SERVER_NAME, ""),
    text(SQL_USER_NAME, ""),
    text(SQL_DATA_SOURCE_READ_ONLY, "N"),
    text(SQL_ACCESSIBLE_TABLES, "Y"),
    text(SQL_ACCESSIBLE_PROCEDURES, "N"),
    text(SQL_IDENTIFIER_QUOTE_CHAR, "\""),
    text(SQL_SEARCH_PATTERN_ESCAPE, "\\"),
    text(SQL_CATALOG_NAME, "N"),
    text(SQL_CATALOG_NAME_SEPARATOR, ""),
    text(SQL_CATALOG_TERM, ""),
    text(SQL_SCHEMA_TERM, ""),
    text(SQL_TABLE_TERM, "table"),
    text(SQL_PROCEDURE_TERM, ""),
    text(SQL_COLUMN_ALIAS, "Y"),
    text(SQL_DESCRIBE_PARAMETER, "N"),
    text(SQL_EXPRESSIONS_IN_ORDERBY, "Y"),
    text(SQL_LIKE_ESCAPE_CLAUSE, "Y"),
    text(SQL_MAX_ROW_SIZE_INCLUDES_LONG, "Y"),
    text(SQL_MULT_RESULT_SETS, "N"),
    text(SQL_MULTIPLE_ACTIVE_TXN, "Y"),
    text(SQL_NEED_LONG_DATA_LEN, "N"),
    text(SQL_ORDER_BY_COLUMNS_IN_SELECT, "N"),
    text(SQL_OUTER_JOINS, "Y"),
    text(SQL_PROCEDURES, "N"),
    text(SQL_ROW_UPDATES, "N"),
    text(SQL_SPECIAL_CHARACTERS, ""),
    text(SQL_INTEGRITY, "N"),
    text(SQL_KEYWORDS, ""),
    text(SQL_COLLATION_SEQ, ""),
    text(SQL_XOPEN_CLI_YEAR, "1995"),
    text(SQL_ODBC_SQL_OPT_IEF, "N"),
    small(SQL_MAX_DRIVER_CONNECTIONS, 0),
    small(SQL_MAX_CONCURRENT_ACTIVITIES, 0),
    small(SQL_ACTIVE_ENVIRONMENTS, 0),
    small(SQL_TXN_CAPABLE, SQL_TC_ALL),
    small(SQL_CURSOR_COMMIT_BEHAVIOR, SQL_CB_PRESERVE),
    small(SQL_CURSOR_ROLLBACK_BEHAVIOR, SQL_CB_PRESERVE),
    small(SQL_IDENTIFIER_CASE, SQL_IC_MIXED),
    small(SQL_QUOTED_IDENTIFIER_CASE, SQL_IC_SENSITIVE),
    small(SQL_NULL_COLLATION, SQL_NC_LOW),
    small(SQL_CONCAT_NULL_BEHAVIOR, SQL_CB_NULL),
    small(SQL_NON_NULLABLE_COLUMNS, SQL_NNC_NULL),
    small(SQL_FILE_USAGE, SQL_FILE_TABLE),
    small(SQL_GROUP_BY, SQL_GB_GROUP_BY_CONTAINS_SELECT),
    small(SQL_CORRELATION_NAME, SQL_CN_ANY),
    small(SQL_CATALOG_LOCATION, 0),
    small(SQL_MAX_COLUMN_NAME_LEN, 128),
    small(SQL_MAX_TABLE_NAME_LEN, 128),
    small(SQL_MAX_IDENTIFIER_LEN, 128),
    small(SQL_MAX_CURSOR_NAME_LEN, 0),
    small(SQL_MAX_SCHEMA_NAME_LEN, 0),
    small(SQL_MAX_CATALOG_NAME_LEN, 0),
    small(SQL_MAX_PROCEDURE_NAME_LEN, 0),
    small(SQL_MAX_USER_NAME_LEN, 0),
    small(SQL_MAX_COLUMNS_IN_GROUP_BY, 0),
    small(SQL_MAX_COLUMNS_IN_INDEX, 0),
    small(SQL_MAX_COLUMNS_IN_ORDER_BY, 0),
    small(SQL_MAX_COLUMNS_IN_SELECT, 0),
    small(SQL_MAX_COLUMNS_IN_TABLE, 0),
    small(SQL_MAX_TABLES_IN_SELECT, 2),
    small(SQL_ODBC_API_CONFORMANCE, SQL_OAC_LEVEL1),
    small(SQL_ODBC_SQL_CONFORMANCE, SQL_OSC_MINIMUM),
    small(SQL_ODBC_SAG_CLI_CONFORMANCE, SQL_OSCC_NOT_COMPLIANT),
    number(SQL_ODBC_INTERFACE_CONFORMANCE, SQL_OIC_CORE),
    number(SQL_SQL_CONFORMANCE, SQL_SC_SQL92_ENTRY),
    number(SQL_DEFAULT_TXN_ISOLATION, SQL_TXN_READ_COMMITTED),
    number(SQL_TXN_ISOLATION_OPTION, SQL_TXN_READ_COMMITTED),
    number(SQL_GETDATA_EXTENSIONS, SQL_GD_ANY_COLUMN | SQL_GD_ANY_ORDER | SQL_GD_BOUND),
    number(SQL_SCROLL_OPTIONS, SQL_SO_FORWARD_ONLY),
    number(SQL_SCROLL_CONCURRENCY, SQL_SCCO_READ_ONLY),
    number(SQL_FETCH_DIRECTION, SQL_FD_FETCH_NEXT),
    number(SQL_CURSOR_SENSITIVITY, SQL_INSENSITIVE),
    number(SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES1, SQL_CA1_NEXT),
    number(SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2, SQL_CA2_READ_ONLY_CONCURRENCY | SQL_CA2_MAX_ROWS_SELECT),
    number(SQL_STATIC_CURSOR_ATTRIBUTES1, 0),
    number(SQL_STATIC_CURSOR_ATTRIBUTES2, 0),
    number(SQL_DYNAMIC_CURSOR_ATTRIBUTES1, 0),
    number(SQL_DYNAMIC_CURSOR_ATTRIBUTES2, 0),
    number(SQL_KEYSET_CURSOR_ATTRIBUTES1, 0),
    number(SQL_KEYSET_CURSOR_ATTRIBUTES2, 0),
    number(SQL_STATIC_SENSITIVITY, 0),
    number(SQL_POS_OPERATIONS, 0),
    number(SQL_POSITIONED_STATEMENTS, 0),
    number(SQL_LOCK_TYPES, 0),
    number(SQL_BOOKMARK_PERSISTENCE, 0),
    number(SQL_ASYNC_MODE, SQL_AM_NONE),
    number(SQL_MAX_ASYNC_CONCURRENT_STATEMENTS, 0),
    number(SQL_BATCH_SUPPORT, 0),
    number(SQL_BATCH_ROW_COUNT, 0),
    number(SQL_PARAM_ARRAY_ROW_COUNTS, SQL_PARC_NO_BATCH),
    number(SQL_PARAM_ARRAY_SELECTS, SQL_PAS_NO_SELECT),
    number(SQL_MAX_ROW_SIZE, 0),
    number(SQL_MAX_STATEMENT_LEN, 0),
    number(SQL_MAX_CHAR_LITERAL_LEN, 0),
    number(SQL_MAX_BINARY_LITERAL_LEN, 0),
    number(SQL_MAX_INDEX_SIZE, 0),
    number(SQL_SCHEMA_USAGE, 0),
    number(SQL_CATALOG_USAGE, 0),
    number(SQL_SUBQUERIES, 0),
    number(SQL_UNION, 0),
    number(SQL_ALTER_TABLE, 0),
    number(SQL_ALTER_DOMAIN, 0),
    number(SQL_CREATE_ASSERTION, 0),
    number(SQL_CREATE_CHARACTER_SET, 0),
    number(SQL_CREATE_COLLATION, 0),
    number(SQL_CREATE_DOMAIN, 0),
    number(SQL_CREATE_SCHEMA, 0),
    number(SQL_CREATE_TRANSLATION, 0),
    number(SQL_CREATE_VIEW, 0),
    number(SQL_CREATE_TABLE, SQL_CT_CREATE_TABLE | SQL_CT_COLUMN_CONSTRAINT),
    number(SQL_DROP_TABLE, SQL_DT_DROP_TABLE),
    number(SQL_DROP_ASSERTION, 0),
    number(SQL_DROP_CHARACTER_SET, 0),
    number(SQL_DROP_COLLATION, 0),
    number(SQL_DROP_DOMAIN, 0),
    number(SQL_DROP_SCHEMA, 0),
    number(SQL_DROP_TRANSLATION, 0),
    number(SQL_DROP_VIEW, 0),
    number(SQL_DDL_INDEX, 0),
    number(SQL_INDEX_KEYWORDS, SQL_IK_NONE),
    number(SQL_INFO_SCHEMA_VIEWS, 0),
    number(SQL_INSERT_STATEMENT, SQL_IS_INSERT_LITERALS),
    number(SQL_OJ_CAPABILITIES, SQL_OJ_LEFT | SQL_OJ_INNER | SQL_OJ_NOT_ORDERED | SQL_OJ_ALL_COMPARISON_OPS),
    number(SQL_SQL92_RELATIONAL_JOIN_OPERATORS, SQL_SRJO_INNER_JOIN | SQL_SRJO_LEFT_OUTER_JOIN),
    number(SQL_SQL92_PREDICATES,
           SQL_SP_BETWEEN | SQL_SP_COMPARISON | SQL_SP_IN | SQL_SP_ISNULL | SQL_SP_ISNOTNULL | SQL_SP_LIKE),
    number(SQL_AGGREGATE_FUNCTIONS, SQL_AF_ALL | SQL_AF_AVG | SQL_AF_COUNT | SQL_AF_MAX | SQL_AF_MIN | SQL_AF_SUM),
    number(SQL_STRING_FUNCTIONS, SQL_FN_STR_UCASE | SQL_FN_STR_LCASE | SQL_FN_STR_LENGTH | SQL_FN_STR_SUBSTRING |
                                     SQL_FN_STR_CONCAT | SQL_FN_STR_LTRIM | SQL_FN_STR_RTRIM | SQL_FN_STR_LOCATE),
    number(SQL_NUMERIC_FUNCTIONS, SQL_FN_NUM_ABS | SQL_FN_NUM_ROUND | SQL_FN_NUM_MOD),
    number(SQL_TIMEDATE_FUNCTIONS, SQL_FN_TD_CURDATE | SQL_FN_TD_NOW),
    number(SQL_SYSTEM_FUNCTIONS, SQL_FN_SYS_IFNULL),
    number(SQL_CONVERT_FUNCTIONS, 0),
    number(SQL_TIMEDATE_ADD_INTERVALS, 0),
    number(SQL_TIMEDATE_DIFF_INTERVALS, 0),
    number(SQL_DATETIME_LITERALS, 0),
    number(SQL_SQL92_STRING_FUNCTIONS, 0),
    number(SQL_SQL92_NUMERIC_VALUE_FUNCTIONS, 0),
    number(SQL_SQL92_DATETIME_FUNCTIONS, 0),
    number(SQL_SQL92_VALUE_EXPRESSIONS, 0),
    number(SQL_SQL92_ROW_VALUE_CONSTRUCTOR, 0),
    number(SQL_SQL92_GRANT, 0),
    number(SQL_SQL92_REVOKE, 0),
    number(SQL_SQL92_FOREIGN_KEY_DELETE_RULE, 0),
    number(SQL_SQL92_FOREIGN_KEY_UPDATE_RULE, 0),
    number(SQL_STANDARD_CLI_CONFORMANCE, 0),
    number(SQL_CONVERT_BIGINT, 0),
    number(SQL_CONVERT_CHAR, 0),
    number(SQL_CONVERT_DATE, 0),
    number(SQL_CONVERT_DOUBLE, 0),
    number(SQL_CONVERT_INTEGER, 0),
    number(SQL_CONVERT_VARCHAR, 0),
    number(SQL_CONVERT_WVARCHAR, 0),
    number(SQL_CONVERT_TIMESTAMP, 0),
    number(SQL_DRIVER_AWARE_POOLING_SUPPORTED, SQL_DRIVER_AWARE_POOLING_NOT_CAPABLE),
    number(SQL_ASYNC_DBC_FUNCTIONS, SQL_ASYNC_DBC_NOT_CAPABLE),
    number(SQL_ASYNC_NOTIFICATION, SQL_ASYNC_NOTIFICATION_NOT_CAPABLE),
};

const Info *findInfo(SQLUSMALLINT type) {
    for (const Info &info : kInfo)
        if (info.type == type)
            return &info;
    return nullptr;
}

SQLRETURN putInfoText(const std::string &value, SQLPOINTER out, SQLSMALLINT capacity, SQLSMALLINT *length,
                      TextKind kind) {
    if (capacity < 0)
        return fail(OdbcError::BufferLength, "The buffer length is negative.");
    bool truncated = false;
    const SQLLEN full = putText(value, kind, out, capacity, true, &truncated);
    if (length != nullptr)
        *length = static_cast<SQLSMALLINT>(full > 0x7FFF ? 0x7FFF : full);
    if (truncated)
        report(OdbcError::Truncated, "The information did not fit.");
    return SQL_SUCCESS;
}

SQLRETURN getInfo(Dbc &dbc, SQLUSMALLINT type, SQLPOINTER out, SQLSMALLINT capacity, SQLSMALLINT *length,
                  TextKind kind) {
    // Answers that depend on the connection.
    switch (type) {
    case SQL_DATA_SOURCE_NAME: return putInfoText(dbc.settings.dsn, out, capacity, length, kind);
    case SQL_DATABASE_NAME:
        return putInfoText(dbc.connected() ? dbc.settings.options.directory : "", out, capacity, length, kind);
    default: break;
    }
    const Info *info = findInfo(type);
    if (info == nullptr)
        return fail(OdbcError::InfoType, "Unknown information type " + std::to_string(type) + ".");
    switch (info->kind) {
    case InfoKind::Text: return putInfoText(info->text, out, capacity, length, kind);
    case InfoKind::Small: {
        const auto v = static_cast<SQLUSMALLINT>(info->number);
        if (out != nullptr)
            std::memcpy(out, &v, sizeof v);
        if (length != nullptr)
            *length = sizeof v;
        return SQL_SUCCESS;
    }
    default: {
        const SQLUINTEGER v = info->number;
        if (out != nullptr)
            std::memcpy(out, &v, sizeof v);
        if (length != nullptr)
            *length = sizeof v;
        return SQL_SUCCESS;
    }
    }
}

// The functions the driver has; everything else is answered as missing.
constexpr SQLUSMALLINT kFunctions[] = {
    SQL_API_SQLALLOCHANDLE,    SQL_API_SQLFREEHANDLE,    SQL_API_SQLSETENVATTR,   SQL_API_SQLGETENVATTR,
    SQL_API_SQLCONNECT,        SQL_API_SQLDRIVERCONNECT, SQL_API_SQLDISCONNECT,   SQL_API_SQLSETCONNECTATTR,
    SQL_API_SQLGETCONNECTATTR, SQL_API_SQLGETINFO,       SQL_API_SQLGETFUNCTIONS, SQL_API_SQLNATIVESQL,
    SQL_API_SQLPREPARE,        SQL_API_SQLEXECUTE,       SQL_API_SQLEXECDIRECT,   SQL_API_SQLNUMPARAMS,
    SQL_API_SQLBINDPARAMETER,  SQL_API_SQLNUMRESULTCOLS, SQL_API_SQLDESCRIBECOL,  SQL_API_SQLCOLATTRIBUTE,
    SQL_API_SQLBINDCOL,        SQL_API_SQLFETCH,         SQL_API_SQLFETCHSCROLL,  SQL_API_SQLGETDATA,
    SQL_API_SQLROWCOUNT,       SQL_API_SQLMORERESULTS,   SQL_API_SQLCLOSECURSOR,  SQL_API_SQLFREESTMT,
    SQL_API_SQLCANCEL,         SQL_API_SQLENDTRAN,       SQL_API_SQLSETSTMTATTR,  SQL_API_SQLGETSTMTATTR,
    SQL_API_SQLGETDIAGREC,     SQL_API_SQLGETDIAGFIELD,  SQL_API_SQLTABLES,       SQL_API_SQLCOLUMNS,
    SQL_API_SQLGETTYPEINFO,    SQL_API_SQLSTATISTICS,    SQL_API_SQLPRIMARYKEYS,  SQL_API_SQLSPECIALCOLUMNS,
    SQL_API_SQLFOREIGNKEYS,    SQL_API_SQLPROCEDURES,
};

bool hasFunction(SQLUSMALLINT id) {
    for (SQLUSMALLINT f : kFunctions)
        if (f == id)
            return true;
    return false;
}

SQLRETURN getFunctions(SQLUSMALLINT id, SQLUSMALLINT *out) {
    if (out == nullptr)
        return fail(OdbcError::NullPointer, "The output pointer is null.");
    if (id == SQL_API_ODBC3_ALL_FUNCTIONS) {
        std::memset(out, 0, SQL_API_ODBC3_ALL_FUNCTIONS_SIZE * sizeof(SQLUSMALLINT));
        for (SQLUSMALLINT f : kFunctions)
            out[f >> 4] = static_cast<SQLUSMALLINT>(out[f >> 4] | (1u << (f & 0xF)));
        return SQL_SUCCESS;
    }
    if (id == SQL_API_ALL_FUNCTIONS) { // the ODBC 2 list: one word per function below 100
        for (SQLUSMALLINT f = 0; f < 100; ++f)
            out[f] = hasFunction(f) ? SQL_TRUE : SQL_FALSE;
        return SQL_SUCCESS;
    }
    *out = hasFunction(id) ? SQL_TRUE : SQL_FALSE;
    return SQL_SUCCESS;
}

} // namespace

SQLRETURN getInfoEntry(SQLHDBC handle, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT capacity, SQLSMALLINT *length,
                       TextKind kind) {
    return call(asDbc(handle), "SQLGetInfo", [&](Dbc &dbc, CallScope &scope) {
        scope.traceDetail("type " + std::to_string(type));
        return getInfo(dbc, type, value, capacity, length, kind);
    });
}

} // namespace zotext::odbc

using namespace zotext::odbc;

extern "C" {

SQLRETURN SQL_API SQLGetInfo(SQLHDBC ConnectionHandle, SQLUSMALLINT InfoType, SQLPOINTER InfoValue,
                             SQLSMALLINT BufferLength, SQLSMALLINT *StringLength) {
    return getInfoEntry(ConnectionHandle, InfoType, InfoValue, BufferLength, StringLength, TextKind::Ansi);
}

SQLRETURN SQL_API SQLGetFunctions(SQLHDBC ConnectionHandle, SQLUSMALLINT FunctionId, SQLUSMALLINT *Supported) {
    return call(asDbc(ConnectionHandle), "SQLGetFunctions",
                [&](Dbc &, CallScope &) { return getFunctions(FunctionId, Supported); });
}

} // extern "C"
