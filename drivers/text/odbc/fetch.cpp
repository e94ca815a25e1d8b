// Results: describing the columns, binding them, fetching rows and reading values in pieces.
#include "odbc/convert.h"
#include "odbc/driver.h"
#include "odbc/entries.h"

namespace zotext::odbc {
namespace {

// readOffset per column: kUntouched before SQLGetData reads it, kDone once all of it was
// returned (the next SQLGetData answers SQL_NO_DATA), else the bytes returned so far.
constexpr SQLLEN kUntouched = -1;
constexpr SQLLEN kDone = -2;

bool isDateTime(SQLSMALLINT t) { return t == SQL_TYPE_DATE || t == SQL_TYPE_TIME || t == SQL_TYPE_TIMESTAMP; }
bool isText(SQLSMALLINT t) { return t == SQL_WVARCHAR || t == SQL_VARCHAR; }
bool isNumeric(SQLSMALLINT t) { return t == SQL_BIGINT || t == SQL_INTEGER || t == SQL_SMALLINT || t == SQL_DOUBLE; }

SQLRETURN needResult(const Stmt &stmt) {
    if (stmt.state == Stmt::State::Executed)
        return fail(OdbcError::CursorState, "The statement made no result.");
    return fail(OdbcError::Sequence, "The statement has not been executed.");
}

// The column's description, or null with 07009 recorded.
const Column *columnAt(const Stmt &stmt, SQLUSMALLINT number) {
    const std::vector<Column> &columns = stmt.columns();
    if (number == 0 || number > columns.size()) {
        report(OdbcError::DescriptorIndex, "There is no column " + std::to_string(number) + ".");
        return nullptr;
    }
    return &columns[number - 1];
}

SQLRETURN describeCol(Stmt &stmt, SQLUSMALLINT number, void *name, SQLSMALLINT capacity, SQLSMALLINT *nameLength,
                      SQLSMALLINT *type, SQLULEN *size, SQLSMALLINT *digits, SQLSMALLINT *nullable, TextKind kind) {
    if (stmt.state == Stmt::State::Allocated)
        return fail(OdbcError::Sequence, "No statement is prepared.");
    if (capacity < 0)
        return fail(OdbcError::BufferLength, "The buffer length is negative.");
    const Column *column = columnAt(stmt, number);
    if (column == nullptr)
        return SQL_ERROR;
    bool truncated = false;
    const SQLLEN full = putText(column->info.name, kind, name, capacity, false, &truncated);
    if (nameLength != nullptr)
        *nameLength = static_cast<SQLSMALLINT>(full);
    if (truncated)
        report(OdbcError::Truncated, "The column name did not fit.");
    if (type != nullptr)
        *type = column->sqlType;
    if (size != nullptr)
        *size = column->size;
    if (digits != nullptr)
        *digits = column->digits;
    if (nullable != nullptr)
        *nullable = column->info.nullable ? SQL_NULLABLE : SQL_NO_NULLS;
    return SQL_SUCCESS;
}

} // namespace

// A numeric field of a column's description; false when the field is not a number.
bool columnNumber(const Column &c, SQLUSMALLINT field, SQLLEN *out) {
    switch (field) {
    case SQL_DESC_TYPE: *out = isDateTime(c.sqlType) ? SQL_DATETIME : c.sqlType; return true;
    case SQL_DESC_CONCISE_TYPE: // also SQL_COLUMN_TYPE
        *out = c.sqlType;
        return true;
    case SQL_DESC_LENGTH: *out = isText(c.sqlType) ? static_cast<SQLLEN>(c.size) : c.octetLength; return true;
    case SQL_DESC_OCTET_LENGTH:
    case SQL_COLUMN_LENGTH: *out = c.octetLength; return true;
    case SQL_DESC_PRECISION: *out = isDateTime(c.sqlType) ? c.digits : static_cast<SQLLEN>(c.size); return true;
    case SQL_COLUMN_PRECISION: *out = static_cast<SQLLEN>(c.size); return true;
    case SQL_DESC_SCALE:
    case SQL_COLUMN_SCALE: *out = c.digits; return true;
    case SQL_DESC_DISPLAY_SIZE: *out = c.displaySize; return true;
    case SQL_DESC_NULLABLE:
    case SQL_COLUMN_NULLABLE: *out = c.info.nullable ? SQL_NULLABLE : SQL_NO_NULLS; return true;
    case SQL_DESC_UNSIGNED: *out = isNumeric(c.sqlType) ? SQL_FALSE : SQL_TRUE; return true;
    case SQL_DESC_FIXED_PREC_SCALE:
    case SQL_DESC_AUTO_UNIQUE_VALUE: *out = SQL_FALSE; return true;
    case SQL_DESC_CASE_SENSITIVE: *out = isText(c.sqlType) ? SQL_TRUE : SQL_FALSE; return true;
    case SQL_DESC_SEARCHABLE: *out = SQL_PRED_SEARCHABLE; return true;
    case SQL_DESC_UPDATABLE: *out = SQL_ATTR_READONLY; return true;
    case SQL_DESC_NUM_PREC_RADIX: *out = isNumeric(c.sqlType) ? 10 : 0; return true;
    case SQL_DESC_UNNAMED: *out = c.info.name.empty() ? SQL_UNNAMED : SQL_NAMED; return true;
    case SQL_DESC_DATETIME_INTERVAL_CODE:
        *out = c.sqlType == SQL_TYPE_DATE        ? SQL_CODE_DATE
               : c.sqlType == SQL_TYPE_TIME      ? SQL_CODE_TIME
               : c.sqlType == SQL_TYPE_TIMESTAMP ? SQL_CODE_TIMESTAMP
                                                 : 0;
        return true;
    default: return false;
    }
}

// A text field of a column's description; false when the field is not a text.
bool columnText(const Column &c, SQLUSMALLINT field, std::string *out) {
    switch (field) {
    case SQL_DESC_NAME:
    case SQL_DESC_LABEL:
    case SQL_COLUMN_NAME:
    case SQL_DESC_BASE_COLUMN_NAME: *out = c.info.name; return true;
    case SQL_DESC_TABLE_NAME:
    case SQL_DESC_BASE_TABLE_NAME: *out = c.info.table; return true;
    case SQL_DESC_CATALOG_NAME:
    case SQL_DESC_SCHEMA_NAME: out->clear(); return true;
    case SQL_DESC_TYPE_NAME:
    case SQL_DESC_LOCAL_TYPE_NAME: *out = c.typeName; return true;
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX: *out = isNumeric(c.sqlType) ? "" : "'"; return true;
    default: return false;
    }
}

namespace {

SQLRETURN colAttribute(Stmt &stmt, SQLUSMALLINT number, SQLUSMALLINT field, SQLPOINTER text, SQLSMALLINT capacity,
                       SQLSMALLINT *length, SQLLEN *numeric, TextKind kind) {
    if (stmt.state == Stmt::State::Allocated)
        return fail(OdbcError::Sequence, "No statement is prepared.");
    if (field == SQL_DESC_COUNT || field == SQL_COLUMN_COUNT) {
        if (numeric != nullptr)
            *numeric = static_cast<SQLLEN>(stmt.columns().size());
        return SQL_SUCCESS;
    }
    const Column *column = columnAt(stmt, number);
    if (column == nullptr)
        return SQL_ERROR;
    SQLLEN value = 0;
    if (columnNumber(*column, field, &value)) {
        if (numeric != nullptr)
            *numeric = value;
        return SQL_SUCCESS;
    }
    std::string out;
    if (!columnText(*column, field, &out))
        return fail(OdbcError::DescriptorField, "Unknown column attribute.");
    if (capacity < 0)
        return fail(OdbcError::BufferLength, "The buffer length is negative.");
    bool truncated = false;
    const SQLLEN full = putText(out, kind, text, capacity, true, &truncated);
    if (length != nullptr)
        *length = static_cast<SQLSMALLINT>(full > 0x7FFF ? 0x7FFF : full);
    if (truncated)
        report(OdbcError::Truncated, "The attribute did not fit.");
    return SQL_SUCCESS;
}

SQLRETURN bindCol(Stmt &stmt, SQLUSMALLINT number, SQLSMALLINT cType, SQLPOINTER data, SQLLEN capacity,
                  SQLLEN *indicator) {
    if (number == 0)
        return fail(OdbcError::DescriptorIndex, "Bookmarks are not supported: columns are numbered from 1.");
    if (capacity < 0)
        return fail(OdbcError::BufferLength, "The buffer length is negative.");
    if (cType != SQL_C_DEFAULT && !isKnownCType(cType))
        return fail(OdbcError::BufferType, "The C type is not supported.");
    if (stmt.columnBindings.size() <= number)
        stmt.columnBindings.resize(number + 1u);
    Binding &b = stmt.columnBindings[number];
    if (data == nullptr && indicator == nullptr) {
        b = Binding{};
        return SQL_SUCCESS;
    }
    b.cType = cType;
    b.data = data;
    b.bufferLength = capacity;
    b.length = b.indicator = indicator;
    b.bound = true;
    return SQL_SUCCESS;
}

SQLSMALLINT resolvedType(SQLSMALLINT cType, const Column &column) {
    return cType == SQL_C_DEFAULT ? defaultCType(column.sqlType) : cType;
}

// The target of a bound column for the row at index i of the rowset.
Target boundTarget(const Stmt &stmt, const Binding &b, const Column &column, SQLULEN i) {
    const StmtAttributes &a = stmt.attributes;
    const SQLSMALLINT cType = resolvedType(b.cType, column);
    const SQLULEN offset = a.rowBindOffset != nullptr ? *a.rowBindOffset : 0;
    SQLULEN dataStep, lengthStep;
    if (a.rowBindType == SQL_BIND_BY_COLUMN) {
        const SQLLEN fixed = fixedSize(cType);
        dataStep = static_cast<SQLULEN>(fixed != 0 ? fixed : b.bufferLength);
        lengthStep = sizeof(SQLLEN);
    } else {
        dataStep = lengthStep = a.rowBindType;
    }
    Target t{cType, nullptr, b.bufferLength, nullptr, nullptr};
    if (b.data != nullptr)
        t.data = static_cast<char *>(b.data) + offset + i * dataStep;
    if (b.length != nullptr)
        t.length = t.indicator =
            reinterpret_cast<SQLLEN *>(reinterpret_cast<char *>(b.length) + offset + i * lengthStep);
    return t;
}

// Puts the current row into the bound columns at rowset index i.
SQLRETURN putRow(Stmt &stmt, SQLULEN i) {
    const std::vector<Column> &columns = stmt.columns();
    SQLRETURN result = SQL_SUCCESS;
    for (size_t n = 1; n < stmt.columnBindings.size(); ++n) {
        const Binding &b = stmt.columnBindings[n];
        if (!b.bound)
            continue;
        if (n > columns.size())
            return fail(OdbcError::DescriptorIndex, "Column " + std::to_string(n) + " is bound but the result has " +
                                                        std::to_string(columns.size()) + " columns.");
        const SQLRETURN rc = putValue(stmt.row[n - 1], boundTarget(stmt, b, columns[n - 1], i));
        if (rc == SQL_ERROR)
            return rc;
        if (rc == SQL_SUCCESS_WITH_INFO)
            result = rc;
    }
    return result;
}

SQLUSMALLINT rowStatusOf(SQLRETURN rc) {
    return rc == SQL_SUCCESS             ? SQL_ROW_SUCCESS
           : rc == SQL_SUCCESS_WITH_INFO ? SQL_ROW_SUCCESS_WITH_INFO
                                         : SQL_ROW_ERROR;
}

SQLRETURN fetch(Stmt &stmt) {
    if (stmt.state != Stmt::State::Open)
        return needResult(stmt);
    const StmtAttributes &a = stmt.attributes;
    SQLULEN fetched = 0;
    SQLULEN errors = 0;
    bool failed = false;
    while (fetched < a.rowArraySize) {
        if (a.maxRows != 0 && stmt.rowNumber >= a.maxRows)
            break;
        stmt.busy = true;
        const bool got = stmt.result->next(&stmt.row);
        stmt.busy = false;
        if (!got) {
            failed = stmt.result->failed();
            break;
        }
        ++stmt.rowNumber;
        const SQLRETURN rc = putRow(stmt, fetched);
        if (rc == SQL_ERROR)
            ++errors;
        if (a.rowStatus != nullptr)
            a.rowStatus[fetched] = rowStatusOf(rc);
        ++fetched;
    }
    if (a.rowsFetched != nullptr)
        *a.rowsFetched = fetched;
    for (SQLULEN i = fetched; a.rowStatus != nullptr && i < a.rowArraySize; ++i)
        a.rowStatus[i] = SQL_ROW_NOROW;
    stmt.readOffset.assign(stmt.columns().size(), kUntouched);
    stmt.pieceColumn = 0;
    stmt.onRow = fetched != 0;
    if (fetched == 0)
        return failed ? SQL_ERROR : SQL_NO_DATA;
    return errors == fetched ? SQL_ERROR : SQL_SUCCESS; // warnings and errors of single rows make it _WITH_INFO
}

SQLRETURN getData(Stmt &stmt, SQLUSMALLINT number, SQLSMALLINT cType, SQLPOINTER data, SQLLEN capacity,
                  SQLLEN *indicator) {
    if (stmt.state != Stmt::State::Open || !stmt.onRow)
        return fail(OdbcError::CursorState, "No row is fetched.");
    if (stmt.attributes.rowArraySize != 1)
        return fail(OdbcError::NotImplemented, "SQLGetData reads one row at a time (row array size 1).");
    if (capacity < 0)
        return fail(OdbcError::BufferLength, "The buffer length is negative.");
    if (data == nullptr)
        return fail(OdbcError::NullPointer, "The buffer is null.");
    const Column *column = columnAt(stmt, number);
    if (column == nullptr)
        return SQL_ERROR;
    if (cType == SQL_ARD_TYPE)
        cType = number < stmt.columnBindings.size() ? stmt.columnBindings[number].cType : SQL_C_DEFAULT;
    cType = resolvedType(cType, *column);
    if (!isKnownCType(cType))
        return fail(OdbcError::BufferType, "The C type is not supported.");
    const Value &value = stmt.row[number - 1];
    SQLLEN &offset = stmt.readOffset[number - 1];
    if (offset == kDone)
        return SQL_NO_DATA;
    const Target target{cType, data, capacity, indicator, indicator};
    if (value.kind == Value::Kind::Null || !isVariableCType(cType)) {
        const SQLRETURN rc = putValue(value, target);
        if (rc != SQL_ERROR)
            offset = kDone;
        return rc;
    }
    // Text and binary come in pieces: the encoded value is kept while its column is read.
    if (offset == kUntouched || stmt.pieceColumn != number || stmt.pieceType != cType) {
        stmt.pieceText = encodedValue(value, cType);
        stmt.pieceColumn = number;
        stmt.pieceType = cType;
        offset = 0;
    }
    bool truncated = false;
    const size_t copied = putPiece(stmt.pieceText, static_cast<size_t>(offset), target, &truncated);
    offset = truncated ? offset + static_cast<SQLLEN>(copied) : kDone;
    return truncated ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

} // namespace

Column describeColumn(const ColumnInfo &info) {
    Column c;
    c.info = info;
    c.digits = 0;
    switch (info.type) {
    case ColumnType::Integer:
        c.sqlType = SQL_BIGINT, c.size = 19, c.displaySize = 20, c.octetLength = 8, c.typeName = "INTEGER";
        break;
    case ColumnType::Double:
        c.sqlType = SQL_DOUBLE, c.size = 15, c.displaySize = 24, c.octetLength = 8, c.typeName = "DOUBLE";
        break;
    case ColumnType::Date:
        c.sqlType = SQL_TYPE_DATE, c.size = 10, c.displaySize = 10, c.octetLength = 6, c.typeName = "DATE";
        break;
    case ColumnType::Time:
        c.sqlType = SQL_TYPE_TIME, c.size = 8, c.displaySize = 8, c.octetLength = 6, c.typeName = "TIME";
        break;
    case ColumnType::Timestamp:
        c.sqlType = SQL_TYPE_TIMESTAMP, c.digits = info.decimalDigits;
        c.size = c.digits > 0 ? 20u + static_cast<SQLULEN>(c.digits) : 19u;
        c.displaySize = static_cast<SQLLEN>(c.size), c.octetLength = 16, c.typeName = "TIMESTAMP";
        break;
    case ColumnType::Varchar:
    default:
        c.sqlType = SQL_WVARCHAR, c.size = info.size, c.displaySize = info.size, c.typeName = "VARCHAR";
        c.octetLength = static_cast<SQLLEN>(info.size) * 2;
        break;
    }
    return c;
}

Column catalogColumn(const char *name, SQLSMALLINT sqlType) {
    ColumnInfo info;
    info.name = name;
    Column c;
    switch (sqlType) {
    case SQL_SMALLINT:
        info.type = ColumnType::Integer;
        c.info = info;
        c.sqlType = SQL_SMALLINT, c.size = 5, c.displaySize = 6, c.octetLength = 2, c.typeName = "SMALLINT";
        return c;
    case SQL_INTEGER:
        info.type = ColumnType::Integer;
        c.info = info;
        c.sqlType = SQL_INTEGER, c.size = 10, c.displaySize = 11, c.octetLength = 4, c.typeName = "INTEGER";
        return c;
    default: info.size = 128; return describeColumn(info);
    }
}

SQLRETURN describeColEntry(SQLHSTMT handle, SQLUSMALLINT column, void *name, SQLSMALLINT capacity,
                           SQLSMALLINT *nameLength, SQLSMALLINT *type, SQLULEN *size, SQLSMALLINT *digits,
                           SQLSMALLINT *nullable, TextKind kind) {
    return call(asStmt(handle), "SQLDescribeCol", [&](Stmt &stmt, CallScope &) {
        return describeCol(stmt, column, name, capacity, nameLength, type, size, digits, nullable, kind);
    });
}

SQLRETURN colAttributeEntry(SQLHSTMT handle, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                            SQLSMALLINT capacity, SQLSMALLINT *length, SQLLEN *number, TextKind kind) {
    return call(asStmt(handle), "SQLColAttribute", [&](Stmt &stmt, CallScope &) {
        return colAttribute(stmt, column, field, text, capacity, length, number, kind);
    });
}

} // namespace zotext::odbc

using namespace zotext::odbc;

extern "C" {

SQLRETURN SQL_API SQLNumResultCols(SQLHSTMT StatementHandle, SQLSMALLINT *ColumnCount) {
    return call(asStmt(StatementHandle), "SQLNumResultCols", [&](Stmt &stmt, CallScope &) {
        if (stmt.state == Stmt::State::Allocated)
            return fail(OdbcError::Sequence, "No statement is prepared.");
        if (ColumnCount != nullptr)
            *ColumnCount = static_cast<SQLSMALLINT>(stmt.columns().size());
        return SQLRETURN(SQL_SUCCESS);
    });
}

SQLRETURN SQL_API SQLDescribeCol(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber, SQLCHAR *ColumnName,
                                 SQLSMALLINT BufferLength, SQLSMALLINT *NameLength, SQLSMALLINT *DataType,
                                 SQLULEN *ColumnSize, SQLSMALLINT *DecimalDigits, SQLSMALLINT *Nullable) {
    return describeColEntry(StatementHandle, ColumnNumber, ColumnName, BufferLength, NameLength, DataType, ColumnSize,
                            DecimalDigits, Nullable, TextKind::Ansi);
}

SQLRETURN SQL_API SQLColAttribute(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber, SQLUSMALLINT FieldIdentifier,
                                  SQLPOINTER CharacterAttribute, SQLSMALLINT BufferLength, SQLSMALLINT *StringLength,
                                  SQLLEN *NumericAttribute) {
    return colAttributeEntry(StatementHandle, ColumnNumber, FieldIdentifier, CharacterAttribute, BufferLength,
                             StringLength, NumericAttribute, TextKind::Ansi);
}

SQLRETURN SQL_API SQLBindCol(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber, SQLSMALLINT TargetType,
                             SQLPOINTER TargetValue, SQLLEN BufferLength, SQLLEN *StrLen_or_Ind) {
    return call(asStmt(StatementHandle), "SQLBindCol", [&](Stmt &stmt, CallScope &) {
        return bindCol(stmt, ColumnNumber, TargetType, TargetValue, BufferLength, StrLen_or_Ind);
    });
}

SQLRETURN SQL_API SQLFetch(SQLHSTMT StatementHandle) {
    return call(asStmt(StatementHandle), "SQLFetch", [](Stmt &stmt, CallScope &) { return fetch(stmt); });
}

SQLRETURN SQL_API SQLFetchScroll(SQLHSTMT StatementHandle, SQLSMALLINT FetchOrientation, SQLLEN FetchOffset) {
    (void)FetchOffset; // forward only: the offset of the other orientations has no use
    return call(asStmt(StatementHandle), "SQLFetchScroll", [&](Stmt &stmt, CallScope &) {
        if (FetchOrientation != SQL_FETCH_NEXT)
            return fail(OdbcError::FetchOrientation, "Cursors are forward-only: only SQL_FETCH_NEXT.");
        return fetch(stmt);
    });
}

SQLRETURN SQL_API SQLGetData(SQLHSTMT StatementHandle, SQLUSMALLINT Col_or_Param_Num, SQLSMALLINT TargetType,
                             SQLPOINTER TargetValue, SQLLEN BufferLength, SQLLEN *StrLen_or_Ind) {
    return call(asStmt(StatementHandle), "SQLGetData", [&](Stmt &stmt, CallScope &) {
        return getData(stmt, Col_or_Param_Num, TargetType, TargetValue, BufferLength, StrLen_or_Ind);
    });
}

} // extern "C"
