// Conversions between the engine's values and the application's C buffers: column values
// out (SQLBindCol, SQLGetData) and parameter values in (SQLBindParameter), with ODBC's
// rules for truncation, ranges and invalid text.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

#include "engine/engine.h"
#include "odbc/text.h"

namespace zotext::odbc {

// The C type that SQL_C_DEFAULT stands for with a column or parameter of the SQL type.
SQLSMALLINT defaultCType(SQLSMALLINT sqlType);
// Bytes of a fixed-size C type; 0 for text and binary (their buffer length counts).
SQLLEN fixedSize(SQLSMALLINT cType);
// C types the driver converts to and from (others are refused with HY003).
bool isKnownCType(SQLSMALLINT cType);
// Text, wide text and binary: the types that come in pieces.
bool isVariableCType(SQLSMALLINT cType);
TextKind textKindOf(SQLSMALLINT cType);

// A value in the form the engine would show it: integers in decimal, doubles in their
// shortest exact form (with ".0" when integral), dates and times in ISO form.
std::string textOf(const Value &value);

// An application buffer a value goes into.
struct Target {
    SQLSMALLINT cType; // resolved (no SQL_C_DEFAULT)
    SQLPOINTER data;   // may be null: only the length is then reported
    SQLLEN capacity;   // bytes, for text and binary
    SQLLEN *length;    // bytes available (may be null)
    SQLLEN *indicator; // SQL_NULL_DATA for NULL (may be the same word as length)
};

// The bytes a value has in a text or binary buffer (ANSI, UCS-2 or the UTF-8 bytes).
std::string encodedValue(const Value &value, SQLSMALLINT cType);

// Puts a non-NULL value into a fixed-size target. SQL_SUCCESS, SQL_SUCCESS_WITH_INFO with
// a warning recorded (fractional truncation), or SQL_ERROR with the error recorded.
SQLRETURN putFixed(const Value &value, const Target &target);
// Puts the part of an encoded value from offset on into a text or binary target; returns
// the bytes copied (not counting a terminator) and records 01004 when it did not all fit.
size_t putPiece(const std::string &encoded, size_t offset, const Target &target, bool *truncated);
// Puts a whole value (NULL included) into a target: bound columns and the first SQLGetData.
SQLRETURN putValue(const Value &value, const Target &target);

// Reads a parameter's value from its buffer: length is the byte count (SQL_NTS for
// NUL-terminated text); NULL is the caller's. False with the error recorded.
bool readValue(SQLSMALLINT cType, const void *data, SQLLEN length, Value *out);
// Converts a parameter's value to the SQL type the application declared for it.
bool toSqlType(Value *value, SQLSMALLINT sqlType);

} // namespace zotext::odbc
