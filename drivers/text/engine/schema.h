// Table layouts: column types by name, and the header line of a table file, which names
// the columns and may type them (`id:INTEGER,name:VARCHAR(40),price:DOUBLE,day:DATE`).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine.h"

namespace zotext {

// The type a declared type name stands for (words in any case, one blank between them:
// INTEGER, INT, SMALLINT, TINYINT, BIGINT, BIT; DOUBLE, DOUBLE PRECISION, FLOAT, REAL,
// NUMERIC, DECIMAL; VARCHAR, CHAR, CHARACTER, TEXT, LONG VARCHAR, LONGVARCHAR; DATE; TIME;
// TIMESTAMP, DATETIME). False for any other name.
bool columnTypeOf(std::string_view name, ColumnType *type);
// The name a type is written with in a typed header: INTEGER, DOUBLE, VARCHAR(n), DATE ...
std::string typeNameOf(ColumnType type, uint32_t declaredSize);
// ColumnInfo::size of a type: the declared size for VARCHAR (255 when none), else the
// display size.
uint32_t columnSizeOf(ColumnType type, uint32_t declaredSize);

// Reads a type written as NAME or NAME(n) or NAME(n,m): false when it is not one.
bool parseTypeText(std::string_view text, ColumnType *type, uint32_t *size);

// The columns of a header line whose fields are given. A field "name:TYPE" with a type
// parseTypeText accepts declares the type; any other field is the name of a VARCHAR
// column. An empty name becomes C<n> (n counting from 1).
void columnsFromHeader(const std::vector<std::string> &fields, const std::string &table,
                       std::vector<ColumnInfo> *columns);
// Columns C1 .. Cn for a table without a header line.
void numberedColumns(size_t count, const std::string &table, std::vector<ColumnInfo> *columns);
// The header field of a column: its name, with ":TYPE" when the table is typed.
std::string headerFieldOf(const ColumnInfo &column, bool typed);

// ASCII case-blind equality, as column and table names match.
bool sameName(std::string_view a, std::string_view b);

} // namespace zotext
