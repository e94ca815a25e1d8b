#include "schema.h"

#include <cctype>
#include <cstdlib>

namespace zotext {

namespace {

struct TypeName {
    const char *name;
    ColumnType type;
};

constexpr TypeName kTypeNames[] = {
    {"INTEGER", ColumnType::Integer},
    {"INT", ColumnType::Integer},
    {"SMALLINT", ColumnType::Integer},
    {"TINYINT", ColumnType::Integer},
    {"BIGINT", ColumnType::Integer},
    {"BIT", ColumnType::Integer},
    {"DOUBLE", ColumnType::Double},
    {"DOUBLE PRECISION", ColumnType::Double},
    {"FLOAT", ColumnType::Double},
    {"REAL", ColumnType::Double},
    {"NUMERIC", ColumnType::Double},
    {"DECIMAL", ColumnType::Double},
    {"VARCHAR", ColumnType::Varchar},
    {"CHAR", ColumnType::Varchar},
    {"CHARACTER", ColumnType::Varchar},
    {"TEXT", ColumnType::Varchar},
    {"LONG VARCHAR", ColumnType::Varchar},
    {"LONGVARCHAR", ColumnType::Varchar},
    {"DATE", ColumnType::Date},
    {"TIME", ColumnType::Time},
    {"TIMESTAMP", ColumnType::Timestamp},
    {"DATETIME", ColumnType::Timestamp},
};

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Digits only, at most 9 of them (sizes stay far below 32 bits).
bool smallNumber(std::string_view text, uint32_t *value) {
    text = trimmed(text);
    if (text.empty() || text.size() > 9)
        return false;
    uint32_t n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + static_cast<uint32_t>(c - '0');
    }
    *value = n;
    return true;
}

// Collapses runs of blanks to one so that "DOUBLE   PRECISION" names the type too.
std::string collapsedBlanks(std::string_view text) {
    std::string out;
    for (char c : trimmed(text)) {
        if (c == ' ' || c == '\t') {
            if (!out.empty() && out.back() != ' ')
                out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

} // namespace

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]);
        unsigned char y = static_cast<unsigned char>(b[i]);
        if (x != y && std::tolower(x) != std::tolower(y))
            return false;
    }
    return true;
}

bool columnTypeOf(std::string_view name, ColumnType *type) {
    std::string words = collapsedBlanks(name);
    for (const TypeName &entry : kTypeNames) {
        if (sameName(words, entry.name)) {
            *type = entry.type;
            return true;
        }
    }
    return false;
}

bool parseTypeText(std::string_view text, ColumnType *type, uint32_t *size) {
    text = trimmed(text);
    *size = 0;
    size_t open = text.find('(');
    if (open == std::string_view::npos)
        return columnTypeOf(text, type);
    if (text.back() != ')' || !columnTypeOf(text.substr(0, open), type))
        return false;
    std::string_view inside = text.substr(open + 1, text.size() - open - 2);
    size_t comma = inside.find(',');
    uint32_t scale = 0;
    if (comma != std::string_view::npos && !smallNumber(inside.substr(comma + 1), &scale))
        return false;
    return smallNumber(inside.substr(0, comma), size);
}

std::string typeNameOf(ColumnType type, uint32_t declaredSize) {
    switch (type) {
    case ColumnType::Integer: return "INTEGER";
    case ColumnType::Double: return "DOUBLE";
    case ColumnType::Date: return "DATE";
    case ColumnType::Time: return "TIME";
    case ColumnType::Timestamp: return "TIMESTAMP";
    case ColumnType::Varchar: break;
    }
    return declaredSize == 0 ? std::string("VARCHAR") : "VARCHAR(" + std::to_string(declaredSize) + ")";
}

uint32_t columnSizeOf(ColumnType type, uint32_t declaredSize) {
    switch (type) {
    case ColumnType::Integer: return 20;
    case ColumnType::Double: return 24;
    case ColumnType::Date: return 10;
    case ColumnType::Time: return 8;
    case ColumnType::Timestamp: return 26;
    case ColumnType::Varchar: break;
    }
    return declaredSize == 0 ? 255 : declaredSize;
}

void columnsFromHeader(const std::vector<std::string> &fields, const std::string &table,
                       std::vector<ColumnInfo> *columns) {
    columns->clear();
    for (size_t i = 0; i < fields.size(); ++i) {
        ColumnInfo column;
        column.table = table;
        std::string_view field = fields[i];
        size_t colon = field.rfind(':');
        uint32_t declared = 0;
        if (colon != std::string_view::npos && parseTypeText(field.substr(colon + 1), &column.type, &declared))
            field = field.substr(0, colon);
        column.size = columnSizeOf(column.type, declared);
        column.decimalDigits = 0;
        column.name = std::string(trimmed(field));
        if (column.name.empty())
            column.name = "C" + std::to_string(i + 1);
        columns->push_back(std::move(column));
    }
}

void numberedColumns(size_t count, const std::string &table, std::vector<ColumnInfo> *columns) {
    columns->clear();
    for (size_t i = 0; i < count; ++i) {
        ColumnInfo column;
        column.name = "C" + std::to_string(i + 1);
        column.table = table;
        column.size = columnSizeOf(ColumnType::Varchar, 0);
        columns->push_back(std::move(column));
    }
}

std::string headerFieldOf(const ColumnInfo &column, bool typed) {
    if (!typed)
        return column.name;
    uint32_t declared = column.type == ColumnType::Varchar && column.size != 255 ? column.size : 0;
    return column.name + ":" + typeNameOf(column.type, declared);
}

} // namespace zotext
