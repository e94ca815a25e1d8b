// Statements of the text driver's SQL dialect as the translator builds them from the parse:
// plain structures that the engine compiles into executable plans.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"

namespace zotext::sql {

// A constant written in the statement (or made by an escape clause).
struct Literal {
    enum class Kind : uint8_t { Null, Integer, Real, Text, Date, Time, Timestamp } kind = Kind::Null;
    int64_t integer = 0;
    double real = 0;
    std::string text;
};

enum class ExprOp : uint8_t {
    Literal,
    Param,  // parameter marker; `param` is its 0-based index
    Column, // `name`, qualified by `qualifier` when not empty
    Negate,
    Not,
    Add,
    Subtract,
    Multiply,
    Divide,
    Modulo,
    Concat,
    Equal,
    NotEqual,
    Less,
    LessEqual,
    Greater,
    GreaterEqual,
    And,
    Or,
    IsNull,  // args[0]; `negated` for IS NOT NULL
    Like,    // args: text, pattern [, escape]; `negated` for NOT LIKE
    In,      // args: value, candidates...; `negated` for NOT IN
    Between, // args: value, low, high; `negated` for NOT BETWEEN
    Call,    // function `name` over args; `star` for COUNT(*), `distinct` for f(DISTINCT x)
    Case,    // [operand] (when then)+ [else]: see hasOperand / hasElse
    Cast     // args[0] as castType
};

struct Expr {
    ExprOp op = ExprOp::Literal;
    bool negated = false;
    bool distinct = false;
    bool star = false;
    bool hasOperand = false;
    bool hasElse = false;
    uint16_t param = 0;
    uint32_t height = 1; // levels of the tree this expression is the root of
    ColumnType castType = ColumnType::Varchar;
    std::string name;
    std::string qualifier;
    Literal literal;
    std::vector<std::unique_ptr<Expr>> args;
};
using ExprPtr = std::unique_ptr<Expr>;

struct SelectItem {
    ExprPtr expr;       // null for a star
    std::string alias;  // as written after AS, or empty
    bool star = false;  // * or t.*
    std::string starOf; // the table (or alias) of t.*
};

struct TableRef {
    std::string name;
    std::string alias;
};

// How a FROM item is joined to the items before it.
enum class JoinKind : uint8_t { First, Comma, Inner, Left, Right, Full, Cross };

struct FromItem {
    TableRef table;
    JoinKind join = JoinKind::First;
    ExprPtr on;
};

struct OrderKey {
    ExprPtr expr;
    bool descending = false;
};

struct QueryBlock {
    bool distinct = false;
    std::vector<SelectItem> items;
    std::vector<FromItem> from;
    ExprPtr where;
    std::vector<ExprPtr> groupBy;
    ExprPtr having;
};

// Blocks joined by UNION (unionAll[i] tells how block i+1 joins the ones before), then the
// ORDER BY of the whole.
struct Query {
    std::vector<QueryBlock> blocks;
    std::vector<bool> unionAll;
    std::vector<OrderKey> orderBy;
};

struct ColumnDef {
    std::string name;
    ColumnType type = ColumnType::Varchar;
    uint32_t size = 0; // declared size, 0 when none
};

struct Statement {
    enum class Kind : uint8_t { Select, Insert, Update, Delete, Create, Drop } kind = Kind::Select;
    std::unique_ptr<Query> query; // SELECT, and INSERT ... SELECT
    TableRef table;               // the table changed, created or dropped
    std::vector<std::string> columns;
    std::vector<ExprPtr> values; // INSERT ... VALUES
    std::vector<std::pair<std::string, ExprPtr>> assignments;
    ExprPtr where;
    std::vector<ColumnDef> columnDefs;
    uint16_t parameterCount = 0;
};

} // namespace zotext::sql
