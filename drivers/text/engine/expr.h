// Expressions compiled once per statement into trees of nodes that evaluate row after row
// without allocating: column references read their field from the current record and apply
// the column's affinity, operators and functions follow SQLite's rules.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "sql/ast.h"
#include "tablefile.h"
#include "value.h"

namespace zotext {

// A table of the FROM clause as a statement sees it.
struct TableBinding {
    std::string name;  // as the statement names it
    std::string alias; // empty when none
    std::string path;  // the file read (the committed file or this connection's pending copy)
    TableFormat format;
    TableLayout layout;
};

// What column references read while an expression is evaluated.
struct RowFrame {
    // The current record of each source; null for the missing side of an outer join (its
    // columns are NULL).
    const RecordReader *records[2] = {nullptr, nullptr};
    const std::vector<Val> *parameters = nullptr;
    // In the group phase of an aggregate query: the group's key values, then its aggregates.
    const Val *group = nullptr;
};

class Node {
public:
    virtual ~Node() = default;
    // The value for the current row into *out; false with an error recorded.
    virtual bool eval(const RowFrame &frame, Val *out) = 0;
    // The affinity comparisons see (a column's, a CAST's, else none).
    Affinity affinity = Affinity::None;
    // What the result is described as.
    ColumnType type = ColumnType::Varchar;
    uint32_t size = 255;
    // True when the node only reads columns of source 0 (or no column at all): it can be
    // evaluated before a join looks at source 1.
    uint8_t sourcesUsed = 0; // bit i: reads source i
    bool constant = false;   // no column, parameter or group value

protected:
    // The node reads what its operands (null ones skipped) read, and is constant when they
    // all are.
    void dependsOn(std::initializer_list<const Node *> operands) {
        constant = true;
        addOperands(operands);
    }
    void addOperands(std::initializer_list<const Node *> operands) {
        for (const Node *operand : operands) {
            if (operand != nullptr) {
                sourcesUsed |= operand->sourcesUsed;
                constant = constant && operand->constant;
            }
        }
    }
    // Comparisons and logic: an integer 0 or 1, or NULL.
    void describeAsCondition() {
        type = ColumnType::Integer;
        size = 1;
    }
};
using NodePtr = std::unique_ptr<Node>;

enum class AggFunction : uint8_t { CountStar, Count, Sum, Avg, Min, Max };

// One aggregate call of an aggregate query: its argument is evaluated per input row.
struct AggregateSpec {
    AggFunction function = AggFunction::CountStar;
    bool distinct = false;
    NodePtr argument; // null for COUNT(*)
    const sql::Expr *source = nullptr;
};

// Grouping of an aggregate query while its expressions are compiled: GROUP BY expressions
// and the aggregate calls met so far, each turned into a slot of the group's values.
struct GroupScope {
    std::vector<const sql::Expr *> keys;
    std::vector<Node *> keyNodes; // the keys compiled for rows (their type and affinity)
    std::vector<AggregateSpec> aggregates;
};

class Compiler {
public:
    Compiler(const std::vector<TableBinding *> &sources, uint16_t parameterCount)
        : sources_(sources), parameterCount_(parameterCount) {}

    // Compiles for rows of the sources; aggregates are refused with the clause's name.
    NodePtr compileRow(const sql::Expr &expr, const char *clause);
    // Compiles for the groups of an aggregate query: GROUP BY expressions and aggregates
    // become slots of the group, other column references are refused.
    NodePtr compileGroup(const sql::Expr &expr, GroupScope *group);

    // The source and column an unqualified or qualified name refers to; false with an
    // error recorded (no such column, ambiguous).
    bool resolveColumn(const std::string &qualifier, const std::string &name, int *source, int *column);

    bool isAggregateCall(const sql::Expr &expr) const;
    bool containsAggregate(const sql::Expr &expr) const;

private:
    enum class Lookup : uint8_t { Found, Missing, Ambiguous };
    Lookup findColumn(const std::string &qualifier, const std::string &name, int *source, int *column) const;
    NodePtr compile(const sql::Expr &expr);
    NodePtr compileCall(const sql::Expr &expr);
    NodePtr compileAggregate(const sql::Expr &expr);
    NodePtr compileComparison(const sql::Expr &expr, sql::ExprOp op, NodePtr left, NodePtr right);
    bool compileArgs(const sql::Expr &expr, std::vector<NodePtr> *args);
    bool sameExpr(const sql::Expr &a, const sql::Expr &b);

    const std::vector<TableBinding *> &sources_;
    uint16_t parameterCount_;
    GroupScope *group_ = nullptr; // set while compiling for groups
    bool inAggregate_ = false;    // compiling an aggregate's argument
    const char *rowClause_ = nullptr;
};

// The SQL text an expression is shown as (the name of a result column without alias).
std::string renderExpr(const sql::Expr &expr);

} // namespace zotext
