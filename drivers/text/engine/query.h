// Queries: a SELECT is planned once (tables bound, expressions compiled, result columns
// known) and run on each execute, streaming rows from the files when nothing has to be
// sorted, grouped or made distinct, and through the sort stage otherwise.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "expr.h"
#include "sql/ast.h"

namespace zotext {

// How a statement finds its tables: the connection's view (its own pending copies, else the
// committed files).
class TableCatalog {
public:
    virtual ~TableCatalog() = default;
    // Fills name, path, format and layout of the table; false with NoTable recorded when
    // the connection sees no such table.
    virtual bool bindTable(const std::string &name, TableBinding *table) = 0;
    // Brackets the opening of a statement's files, so that a commit that replaces several
    // files at once is seen either before or after, never half.
    virtual void beginOpen() = 0;
    virtual void endOpen() = 0;
};

class QueryPlan;
struct QueryPlanDelete {
    void operator()(QueryPlan *plan) const;
};
using QueryPlanPtr = std::unique_ptr<QueryPlan, QueryPlanDelete>;

// Plans the query; null with an error recorded (no such table or column, an aggregate
// where none may stand, an unsupported construct ...).
QueryPlanPtr planQuery(const sql::Query &query, TableCatalog &catalog, uint16_t parameterCount);
const std::vector<ColumnInfo> &resultColumnsOf(const QueryPlan &plan);

// One execution of a planned query.
class QueryRun {
public:
    QueryRun(QueryPlan &plan, TableCatalog &catalog, const std::vector<Val> *parameters,
             const std::atomic<bool> *cancel);
    ~QueryRun();
    QueryRun(const QueryRun &) = delete;
    QueryRun &operator=(const QueryRun &) = delete;

    // Opens the files and does the work that must precede the first row (sorting,
    // grouping); false with an error recorded.
    bool start();
    // The values of the next row (valid until the next call); false at the end or on a
    // failure (then failed() is true and an error recorded).
    bool next(const Val **values);
    bool failed() const { return failed_; }

private:
    struct State;
    std::unique_ptr<State> state_;
    bool failed_ = false;
};

} // namespace zotext
