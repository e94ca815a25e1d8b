// Reading a statement's descriptors: the row descriptors (the bound columns, the result's
// columns) and the parameter descriptors (the bound parameters, their SQL types). They are
// views of the statement, so they always agree with SQLBindCol, SQLBindParameter and
// SQLDescribeCol. Setting descriptor fields is not supported.
#include <cstring>

#include "odbc/driver.h"
#include "odbc/text.h"

namespace zotext::odbc {
namespace {

// How wide a descriptor field is in the application's buffer.
enum class Width : uint8_t { Small, Integer, Length, Pointer, Text };

Width widthOf(SQLSMALLINT field) {
    switch (field) {
    case SQL_DESC_ARRAY_SIZE:
    case SQL_DESC_LENGTH:
    case SQL_DESC_OCTET_LENGTH:
    case SQL_DESC_DISPLAY_SIZE: return Width::Length;
    case SQL_DESC_BIND_TYPE:
    case SQL_DESC_CASE_SENSITIVE:
    case SQL_DESC_AUTO_UNIQUE_VALUE:
    case SQL_DESC_NUM_PREC_RADIX: return Width::Integer;
    case SQL_DESC_ARRAY_STATUS_PTR:
    case SQL_DESC_BIND_OFFSET_PTR:
    case SQL_DESC_ROWS_PROCESSED_PTR:
    case SQL_DESC_DATA_PTR:
    case SQL_DESC_INDICATOR_PTR:
    case SQL_DESC_OCTET_LENGTH_PTR: return Width::Pointer;
    case SQL_DESC_NAME:
    case SQL_DESC_LABEL:
    case SQL_DESC_TYPE_NAME:
    case SQL_DESC_LOCAL_TYPE_NAME:
    case SQL_DESC_TABLE_NAME:
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_BASE_COLUMN_NAME:
    case SQL_DESC_CATALOG_NAME:
    case SQL_DESC_SCHEMA_NAME:
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX: return Width::Text;
    default: return Width::Small;
    }
}

// A field's value: a number, a pointer or a text.
struct Field {
    SQLLEN number = 0;
    const void *pointer = nullptr;
    std::string text;
};

bool isRow(const Desc &d) { return d.role == Desc::Role::RowApp || d.role == Desc::Role::RowImpl; }
bool isApp(const Desc &d) { return d.role == Desc::Role::RowApp || d.role == Desc::Role::ParamApp; }

SQLSMALLINT highestBound(const std::vector<Binding> &bindings) {
    for (size_t i = bindings.size(); i-- > 1;)
        if (bindings[i].bound)
            return static_cast<SQLSMALLINT>(i);
    return 0;
}
SQLSMALLINT highestBound(const std::vector<Parameter> &parameters) {
    for (size_t i = parameters.size(); i-- > 1;)
        if (parameters[i].bound)
            return static_cast<SQLSMALLINT>(i);
    return 0;
}

bool headerField(const Desc &d, SQLSMALLINT field, Field *out) {
    const Stmt &s = d.stmt;
    const StmtAttributes &a = s.attributes;
    switch (field) {
    case SQL_DESC_ALLOC_TYPE: out->number = SQL_DESC_ALLOC_AUTO; return true;
    case SQL_DESC_COUNT:
        out->number = d.role == Desc::Role::RowImpl  ? static_cast<SQLLEN>(s.columns().size())
                      : d.role == Desc::Role::RowApp ? highestBound(s.columnBindings)
                      : s.statement != nullptr && d.role == Desc::Role::ParamImpl
                          ? static_cast<SQLLEN>(s.statement->parameterCount())
                          : highestBound(s.parameters);
        return true;
    case SQL_DESC_ARRAY_SIZE:
        out->number = static_cast<SQLLEN>(isRow(d) ? a.rowArraySize : a.paramsetSize);
        return isApp(d);
    case SQL_DESC_BIND_TYPE:
        out->number = static_cast<SQLLEN>(isRow(d) ? a.rowBindType : a.paramBindType);
        return isApp(d);
    case SQL_DESC_BIND_OFFSET_PTR: out->pointer = isRow(d) ? a.rowBindOffset : a.paramBindOffset; return isApp(d);
    case SQL_DESC_ARRAY_STATUS_PTR:
        out->pointer = d.role == Desc::Role::RowImpl     ? a.rowStatus
                       : d.role == Desc::Role::ParamImpl ? a.paramStatus
                                                         : nullptr;
        return true;
    case SQL_DESC_ROWS_PROCESSED_PTR:
        out->pointer = isRow(d) ? static_cast<const void *>(a.rowsFetched) : a.paramsProcessed;
        return !isApp(d);
    default: return false;
    }
}

bool bindingField(const Binding &b, SQLSMALLINT field, Field *out) {
    switch (field) {
    case SQL_DESC_TYPE:
    case SQL_DESC_CONCISE_TYPE: out->number = b.cType; return true;
    case SQL_DESC_DATA_PTR: out->pointer = b.data; return true;
    case SQL_DESC_INDICATOR_PTR: out->pointer = b.indicator; return true;
    case SQL_DESC_OCTET_LENGTH_PTR: out->pointer = b.length; return true;
    case SQL_DESC_OCTET_LENGTH: out->number = b.bufferLength; return true;
    default: return false;
    }
}

bool parameterTypeField(const Parameter &p, SQLSMALLINT field, Field *out) {
    switch (field) {
    case SQL_DESC_TYPE:
    case SQL_DESC_CONCISE_TYPE: out->number = p.sqlType; return true;
    case SQL_DESC_LENGTH:
    case SQL_DESC_PRECISION: out->number = static_cast<SQLLEN>(p.columnSize); return true;
    case SQL_DESC_SCALE: out->number = p.digits; return true;
    case SQL_DESC_PARAMETER_TYPE: out->number = p.ioType; return true;
    case SQL_DESC_NULLABLE: out->number = SQL_NULLABLE; return true;
    default: return false;
    }
}

enum class Lookup : uint8_t { Found, NoRecord, NoField };

Lookup lookUpRecordField(const Desc &d, SQLSMALLINT record, SQLSMALLINT field, Field *out) {
    const Stmt &s = d.stmt;
    switch (d.role) {
    case Desc::Role::RowImpl: {
        const std::vector<Column> &columns = s.columns();
        if (static_cast<size_t>(record) > columns.size())
            return Lookup::NoRecord;
        const Column &c = columns[record - 1];
        return columnNumber(c, static_cast<SQLUSMALLINT>(field), &out->number) ||
                       columnText(c, static_cast<SQLUSMALLINT>(field), &out->text)
                   ? Lookup::Found
                   : Lookup::NoField;
    }
    case Desc::Role::RowApp:
    case Desc::Role::ParamApp: {
        const bool row = d.role == Desc::Role::RowApp;
        const size_t count = row ? s.columnBindings.size() : s.parameters.size();
        if (static_cast<size_t>(record) >= count)
            return Lookup::NoRecord;
        const Binding &b = row ? s.columnBindings[record] : static_cast<const Binding &>(s.parameters[record]);
        return bindingField(b, field, out) ? Lookup::Found : Lookup::NoField;
    }
    case Desc::Role::ParamImpl:
    default:
        if (static_cast<size_t>(record) >= s.parameters.size())
            return Lookup::NoRecord;
        return parameterTypeField(s.parameters[record], field, out) ? Lookup::Found : Lookup::NoField;
    }
}

// A record field; false with the error recorded.
bool recordField(const Desc &d, SQLSMALLINT record, SQLSMALLINT field, Field *out) {
    switch (lookUpRecordField(d, record, field, out)) {
    case Lookup::Found: return true;
    case Lookup::NoRecord:
        report(OdbcError::DescriptorIndex, "There is no record " + std::to_string(record) + ".");
        return false;
    default: report(OdbcError::DescriptorField, "The descriptor has no such field."); return false;
    }
}

SQLRETURN putField(const Field &value, Width width, SQLPOINTER out, SQLINTEGER capacity, SQLINTEGER *length,
                   TextKind kind) {
    SQLINTEGER size = 0;
    switch (width) {
    case Width::Small: {
        const auto v = static_cast<SQLSMALLINT>(value.number);
        if (out != nullptr)
            std::memcpy(out, &v, sizeof v);
        size = sizeof v;
        break;
    }
    case Width::Integer: {
        const auto v = static_cast<SQLINTEGER>(value.number);
        if (out != nullptr)
            std::memcpy(out, &v, sizeof v);
        size = sizeof v;
        break;
    }
    case Width::Length:
        if (out != nullptr)
            std::memcpy(out, &value.number, sizeof value.number);
        size = sizeof value.number;
        break;
    case Width::Pointer:
        if (out != nullptr)
            std::memcpy(out, &value.pointer, sizeof value.pointer);
        size = sizeof value.pointer;
        break;
    case Width::Text: {
        if (capacity < 0)
            return fail(OdbcError::BufferLength, "The buffer length is negative.");
        bool truncated = false;
        size = static_cast<SQLINTEGER>(putText(value.text, kind, out, capacity, true, &truncated));
        if (truncated)
            report(OdbcError::Truncated, "The field did not fit.");
        break;
    }
    }
    if (length != nullptr)
        *length = size;
    return SQL_SUCCESS;
}

SQLRETURN getDescField(Desc &d, SQLSMALLINT record, SQLSMALLINT field, SQLPOINTER out, SQLINTEGER capacity,
                       SQLINTEGER *length, TextKind kind) {
    Field value;
    if (headerField(d, field, &value))
        return putField(value, widthOf(field), out, capacity, length, kind);
    if (record <= 0)
        return fail(OdbcError::DescriptorIndex, "Records are numbered from 1 (bookmarks are not supported).");
    if (!recordField(d, record, field, &value))
        return SQL_ERROR;
    return putField(value, widthOf(field), out, capacity, length, kind);
}

SQLRETURN getDescRec(Desc &d, SQLSMALLINT record, void *name, SQLSMALLINT capacity, SQLSMALLINT *nameLength,
                     SQLSMALLINT *type, SQLSMALLINT *subType, SQLLEN *length, SQLSMALLINT *precision,
                     SQLSMALLINT *scale, SQLSMALLINT *nullable, TextKind kind) {
    if (record <= 0)
        return fail(OdbcError::DescriptorIndex, "Records are numbered from 1 (bookmarks are not supported).");
    Field count;
    (void)headerField(d, SQL_DESC_COUNT, &count); // always answered
    if (record > count.number)
        return SQL_NO_DATA;
    // A field this kind of descriptor does not have reads as 0.
    auto number = [&](SQLSMALLINT field) {
        Field f;
        return lookUpRecordField(d, record, field, &f) == Lookup::Found ? f.number : 0;
    };
    if (type != nullptr)
        *type = static_cast<SQLSMALLINT>(number(SQL_DESC_TYPE));
    if (subType != nullptr)
        *subType = static_cast<SQLSMALLINT>(number(SQL_DESC_DATETIME_INTERVAL_CODE));
    if (length != nullptr)
        *length = number(SQL_DESC_OCTET_LENGTH);
    if (precision != nullptr)
        *precision = static_cast<SQLSMALLINT>(number(SQL_DESC_PRECISION));
    if (scale != nullptr)
        *scale = static_cast<SQLSMALLINT>(number(SQL_DESC_SCALE));
    if (nullable != nullptr)
        *nullable = static_cast<SQLSMALLINT>(number(SQL_DESC_NULLABLE));
    std::string text;
    if (d.role == Desc::Role::RowImpl)
        (void)columnText(d.stmt.columns()[record - 1], SQL_DESC_NAME, &text); // the name is always there
    if (capacity < 0)
        return fail(OdbcError::BufferLength, "The buffer length is negative.");
    bool truncated = false;
    const SQLLEN full = putText(text, kind, name, capacity, false, &truncated);
    if (nameLength != nullptr)
        *nameLength = static_cast<SQLSMALLINT>(full);
    if (truncated)
        report(OdbcError::Truncated, "The name did not fit.");
    return SQL_SUCCESS;
}

} // namespace
} // namespace zotext::odbc

using namespace zotext::odbc;

extern "C" {

SQLRETURN SQL_API SQLGetDescField(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber, SQLSMALLINT FieldIdentifier,
                                  SQLPOINTER Value, SQLINTEGER BufferLength, SQLINTEGER *StringLength) {
    return call(asDesc(DescriptorHandle), "SQLGetDescField", [&](Desc &d, CallScope &) {
        return getDescField(d, RecNumber, FieldIdentifier, Value, BufferLength, StringLength, TextKind::Ansi);
    });
}

SQLRETURN SQL_API SQLGetDescFieldW(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber, SQLSMALLINT FieldIdentifier,
                                   SQLPOINTER Value, SQLINTEGER BufferLength, SQLINTEGER *StringLength) {
    return call(asDesc(DescriptorHandle), "SQLGetDescField", [&](Desc &d, CallScope &) {
        return getDescField(d, RecNumber, FieldIdentifier, Value, BufferLength, StringLength, TextKind::Wide);
    });
}

SQLRETURN SQL_API SQLGetDescRec(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber, SQLCHAR *Name,
                                SQLSMALLINT BufferLength, SQLSMALLINT *StringLength, SQLSMALLINT *Type,
                                SQLSMALLINT *SubType, SQLLEN *Length, SQLSMALLINT *Precision, SQLSMALLINT *Scale,
                                SQLSMALLINT *Nullable) {
    return call(asDesc(DescriptorHandle), "SQLGetDescRec", [&](Desc &d, CallScope &) {
        return getDescRec(d, RecNumber, Name, BufferLength, StringLength, Type, SubType, Length, Precision, Scale,
                          Nullable, TextKind::Ansi);
    });
}

SQLRETURN SQL_API SQLGetDescRecW(SQLHDESC DescriptorHandle, SQLSMALLINT RecNumber, SQLWCHAR *Name,
                                 SQLSMALLINT BufferLength, SQLSMALLINT *StringLength, SQLSMALLINT *Type,
                                 SQLSMALLINT *SubType, SQLLEN *Length, SQLSMALLINT *Precision, SQLSMALLINT *Scale,
                                 SQLSMALLINT *Nullable) {
    return call(asDesc(DescriptorHandle), "SQLGetDescRec", [&](Desc &d, CallScope &) {
        return getDescRec(d, RecNumber, Name, BufferLength, StringLength, Type, SubType, Length, Precision, Scale,
                          Nullable, TextKind::Wide);
    });
}

} // extern "C"
