// The work behind the entry points that come in two forms, plain (ANSI text) and W (UCS-2
// text): the entry points convert their text arguments to UTF-8 and call these, which
// write text results in the caller's kind.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

#include "odbc/text.h"

namespace zotext::odbc {

SQLRETURN connectEntry(SQLHDBC handle, const std::string &dsn);
SQLRETURN driverConnectEntry(SQLHDBC handle, const std::string &text, void *out, SQLSMALLINT capacity,
                             SQLSMALLINT *length, TextKind kind);
SQLRETURN getConnectAttrEntry(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER capacity,
                              SQLINTEGER *length, TextKind kind);
SQLRETURN setConnectAttrEntry(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value);
SQLRETURN getInfoEntry(SQLHDBC handle, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT capacity, SQLSMALLINT *length,
                       TextKind kind);

SQLRETURN prepareEntry(SQLHSTMT handle, const std::string &sql);
SQLRETURN execDirectEntry(SQLHSTMT handle, const std::string &sql);
SQLRETURN nativeSqlEntry(SQLHDBC handle, const std::string &sql, void *out, SQLINTEGER capacity, SQLINTEGER *length,
                         TextKind kind);
SQLRETURN getStmtAttrEntry(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER capacity,
                           SQLINTEGER *length);
SQLRETURN setStmtAttrEntry(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value);

SQLRETURN describeColEntry(SQLHSTMT handle, SQLUSMALLINT column, void *name, SQLSMALLINT capacity,
                           SQLSMALLINT *nameLength, SQLSMALLINT *type, SQLULEN *size, SQLSMALLINT *digits,
                           SQLSMALLINT *nullable, TextKind kind);
SQLRETURN colAttributeEntry(SQLHSTMT handle, SQLUSMALLINT column, SQLUSMALLINT field, SQLPOINTER text,
                            SQLSMALLINT capacity, SQLSMALLINT *length, SQLLEN *number, TextKind kind);

// Catalog calls: each argument is a text or null (std::string plus a flag).
struct CatalogArgument {
    std::string text;
    bool given = false;
};
CatalogArgument catalogArgument(const SQLCHAR *text, SQLSMALLINT length);
CatalogArgument catalogArgument(const SQLWCHAR *text, SQLSMALLINT length);
SQLRETURN tablesEntry(SQLHSTMT handle, const CatalogArgument &catalog, const CatalogArgument &schema,
                      const CatalogArgument &table, const CatalogArgument &types);
SQLRETURN columnsEntry(SQLHSTMT handle, const CatalogArgument &catalog, const CatalogArgument &schema,
                       const CatalogArgument &table, const CatalogArgument &column);
SQLRETURN statisticsEntry(SQLHSTMT handle, const CatalogArgument &table);
SQLRETURN primaryKeysEntry(SQLHSTMT handle, const CatalogArgument &table);
SQLRETURN specialColumnsEntry(SQLHSTMT handle, SQLUSMALLINT identifierType, const CatalogArgument &table);
SQLRETURN foreignKeysEntry(SQLHSTMT handle);
SQLRETURN proceduresEntry(SQLHSTMT handle);
SQLRETURN typeInfoEntry(SQLHSTMT handle, SQLSMALLINT type);

SQLRETURN freeStatement(struct Stmt *stmt);

} // namespace zotext::odbc
