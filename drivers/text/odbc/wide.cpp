// The W entry points: the same work as the plain ones, with text in UCS-2.
#include "odbc/driver.h"
#include "odbc/entries.h"

using namespace zotext::odbc;

extern "C" {

SQLRETURN SQL_API SQLConnectW(SQLHDBC ConnectionHandle, SQLWCHAR *ServerName, SQLSMALLINT NameLength1,
                              SQLWCHAR *UserName, SQLSMALLINT NameLength2, SQLWCHAR *Authentication,
                              SQLSMALLINT NameLength3) {
    (void)UserName, (void)NameLength2, (void)Authentication, (void)NameLength3; // files know no users
    return connectEntry(ConnectionHandle, fromWide(ServerName, NameLength1));
}

SQLRETURN SQL_API SQLDriverConnectW(SQLHDBC ConnectionHandle, SQLHWND WindowHandle, SQLWCHAR *InConnectionString,
                                    SQLSMALLINT StringLength1, SQLWCHAR *OutConnectionString, SQLSMALLINT BufferLength,
                                    SQLSMALLINT *StringLength2Ptr, SQLUSMALLINT DriverCompletion) {
    (void)WindowHandle, (void)DriverCompletion; // no dialogs: every completion connects with what is given
    return driverConnectEntry(ConnectionHandle, fromWide(InConnectionString, StringLength1), OutConnectionString,
                              BufferLength, StringLength2Ptr, TextKind::Wide);
}

SQLRETURN SQL_API SQLGetConnectAttrW(SQLHDBC ConnectionHandle, SQLINTEGER Attribute, SQLPOINTER Value,
                                     SQLINTEGER BufferLength, SQLINTEGER *StringLength) {
    return getConnectAttrEntry(ConnectionHandle, Attribute, Value, BufferLength, StringLength, TextKind::Wide);
}

SQLRETURN SQL_API SQLSetConnectAttrW(SQLHDBC ConnectionHandle, SQLINTEGER Attribute, SQLPOINTER Value,
                                     SQLINTEGER StringLength) {
    (void)StringLength; // the settable attributes are numbers
    return setConnectAttrEntry(ConnectionHandle, Attribute, Value);
}

SQLRETURN SQL_API SQLGetInfoW(SQLHDBC ConnectionHandle, SQLUSMALLINT InfoType, SQLPOINTER InfoValue,
                              SQLSMALLINT BufferLength, SQLSMALLINT *StringLength) {
    return getInfoEntry(ConnectionHandle, InfoType, InfoValue, BufferLength, StringLength, TextKind::Wide);
}

SQLRETURN SQL_API SQLPrepareW(SQLHSTMT StatementHandle, SQLWCHAR *StatementText, SQLINTEGER TextLength) {
    return prepareEntry(StatementHandle, fromWide(StatementText, TextLength));
}

SQLRETURN SQL_API SQLExecDirectW(SQLHSTMT StatementHandle, SQLWCHAR *StatementText, SQLINTEGER TextLength) {
    return execDirectEntry(StatementHandle, fromWide(StatementText, TextLength));
}

SQLRETURN SQL_API SQLNativeSqlW(SQLHDBC ConnectionHandle, SQLWCHAR *InStatementText, SQLINTEGER TextLength1,
                                SQLWCHAR *OutStatementText, SQLINTEGER BufferLength, SQLINTEGER *TextLength2Ptr) {
    return nativeSqlEntry(ConnectionHandle, fromWide(InStatementText, TextLength1), OutStatementText, BufferLength,
                          TextLength2Ptr, TextKind::Wide);
}

SQLRETURN SQL_API SQLGetStmtAttrW(SQLHSTMT StatementHandle, SQLINTEGER Attribute, SQLPOINTER Value,
                                  SQLINTEGER BufferLength, SQLINTEGER *StringLength) {
    return getStmtAttrEntry(StatementHandle, Attribute, Value, BufferLength, StringLength);
}

SQLRETURN SQL_API SQLSetStmtAttrW(SQLHSTMT StatementHandle, SQLINTEGER Attribute, SQLPOINTER Value,
                                  SQLINTEGER StringLength) {
    (void)StringLength; // statement attributes are numbers and pointers
    return setStmtAttrEntry(StatementHandle, Attribute, Value);
}

SQLRETURN SQL_API SQLDescribeColW(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber, SQLWCHAR *ColumnName,
                                  SQLSMALLINT BufferLength, SQLSMALLINT *NameLength, SQLSMALLINT *DataType,
                                  SQLULEN *ColumnSize, SQLSMALLINT *DecimalDigits, SQLSMALLINT *Nullable) {
    return describeColEntry(StatementHandle, ColumnNumber, ColumnName, BufferLength, NameLength, DataType, ColumnSize,
                            DecimalDigits, Nullable, TextKind::Wide);
}

SQLRETURN SQL_API SQLColAttributeW(SQLHSTMT StatementHandle, SQLUSMALLINT ColumnNumber, SQLUSMALLINT FieldIdentifier,
                                   SQLPOINTER CharacterAttribute, SQLSMALLINT BufferLength, SQLSMALLINT *StringLength,
                                   SQLLEN *NumericAttribute) {
    return colAttributeEntry(StatementHandle, ColumnNumber, FieldIdentifier, CharacterAttribute, BufferLength,
                             StringLength, NumericAttribute, TextKind::Wide);
}

SQLRETURN SQL_API SQLTablesW(SQLHSTMT StatementHandle, SQLWCHAR *CatalogName, SQLSMALLINT NameLength1,
                             SQLWCHAR *SchemaName, SQLSMALLINT NameLength2, SQLWCHAR *TableName,
                             SQLSMALLINT NameLength3, SQLWCHAR *TableType, SQLSMALLINT NameLength4) {
    return tablesEntry(StatementHandle, catalogArgument(CatalogName, NameLength1),
                       catalogArgument(SchemaName, NameLength2), catalogArgument(TableName, NameLength3),
                       catalogArgument(TableType, NameLength4));
}

SQLRETURN SQL_API SQLColumnsW(SQLHSTMT StatementHandle, SQLWCHAR *CatalogName, SQLSMALLINT NameLength1,
                              SQLWCHAR *SchemaName, SQLSMALLINT NameLength2, SQLWCHAR *TableName,
                              SQLSMALLINT NameLength3, SQLWCHAR *ColumnName, SQLSMALLINT NameLength4) {
    return columnsEntry(StatementHandle, catalogArgument(CatalogName, NameLength1),
                        catalogArgument(SchemaName, NameLength2), catalogArgument(TableName, NameLength3),
                        catalogArgument(ColumnName, NameLength4));
}

SQLRETURN SQL_API SQLStatisticsW(SQLHSTMT StatementHandle, SQLWCHAR *CatalogName, SQLSMALLINT NameLength1,
                                 SQLWCHAR *SchemaName, SQLSMALLINT NameLength2, SQLWCHAR *TableName,
                                 SQLSMALLINT NameLength3, SQLUSMALLINT Unique, SQLUSMALLINT Reserved) {
    (void)CatalogName, (void)NameLength1, (void)SchemaName, (void)NameLength2, (void)Unique, (void)Reserved;
    return statisticsEntry(StatementHandle, catalogArgument(TableName, NameLength3));
}

SQLRETURN SQL_API SQLPrimaryKeysW(SQLHSTMT StatementHandle, SQLWCHAR *CatalogName, SQLSMALLINT NameLength1,
                                  SQLWCHAR *SchemaName, SQLSMALLINT NameLength2, SQLWCHAR *TableName,
                                  SQLSMALLINT NameLength3) {
    (void)CatalogName, (void)NameLength1, (void)SchemaName, (void)NameLength2;
    return primaryKeysEntry(StatementHandle, catalogArgument(TableName, NameLength3));
}

SQLRETURN SQL_API SQLSpecialColumnsW(SQLHSTMT StatementHandle, SQLUSMALLINT IdentifierType, SQLWCHAR *CatalogName,
                                     SQLSMALLINT NameLength1, SQLWCHAR *SchemaName, SQLSMALLINT NameLength2,
                                     SQLWCHAR *TableName, SQLSMALLINT NameLength3, SQLUSMALLINT Scope,
                                     SQLUSMALLINT Nullable) {
    (void)CatalogName, (void)NameLength1, (void)SchemaName, (void)NameLength2, (void)Scope, (void)Nullable;
    return specialColumnsEntry(StatementHandle, IdentifierType, catalogArgument(TableName, NameLength3));
}

SQLRETURN SQL_API SQLForeignKeysW(SQLHSTMT StatementHandle, SQLWCHAR *PKCatalogName, SQLSMALLINT NameLength1,
                                  SQLWCHAR *PKSchemaName, SQLSMALLINT NameLength2, SQLWCHAR *PKTableName,
                                  SQLSMALLINT NameLength3, SQLWCHAR *FKCatalogName, SQLSMALLINT NameLength4,
                                  SQLWCHAR *FKSchemaName, SQLSMALLINT NameLength5, SQLWCHAR *FKTableName,
                                  SQLSMALLINT NameLength6) {
    (void)PKCatalogName, (void)NameLength1, (void)PKSchemaName, (void)NameLength2, (void)PKTableName, (void)NameLength3,
        (void)FKCatalogName, (void)NameLength4, (void)FKSchemaName, (void)NameLength5, (void)FKTableName,
        (void)NameLength6;
    return foreignKeysEntry(StatementHandle);
}

SQLRETURN SQL_API SQLProceduresW(SQLHSTMT StatementHandle, SQLWCHAR *CatalogName, SQLSMALLINT NameLength1,
                                 SQLWCHAR *SchemaName, SQLSMALLINT NameLength2, SQLWCHAR *ProcName,
                                 SQLSMALLINT NameLength3) {
    (void)CatalogName, (void)NameLength1, (void)SchemaName, (void)NameLength2, (void)ProcName, (void)NameLength3;
    return proceduresEntry(StatementHandle);
}

SQLRETURN SQL_API SQLGetTypeInfoW(SQLHSTMT StatementHandle, SQLSMALLINT DataType) {
    return typeInfoEntry(StatementHandle, DataType);
}

} // extern "C"
