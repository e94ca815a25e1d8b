#include "query.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include <zo/zotree.h>

#include "errors.h"
#include "grouping.h"
#include "rowsort.h"
#include "schema.h"

namespace zotext {

using sql::Expr;
using sql::ExprOp;

namespace {

// An equality between the two tables of a join that an index can serve: the value of
// `outer` (over the first source) must equal that of `inner` (over the second).
struct EquiKey {
    NodePtr outer;
    NodePtr inner;
    Affinity applyOuter = Affinity::None;
    Affinity applyInner = Affinity::None;
};

struct BlockPlan {
    std::vector<std::unique_ptr<TableBinding>> tables; // by source index
    bool leftOuter = false;
    NodePtr on;
    std::vector<EquiKey> keys;
    NodePtr where;
    bool aggregate = false;
    std::vector<NodePtr> keyNodes;
    GroupScope group;
    NodePtr having;
    std::vector<NodePtr> outputs; // the select list, then hidden ORDER BY values
    bool distinct = false;
    std::vector<const Expr *> outputExprs;
    std::vector<std::string> outputNames;
};

bool failPlan(EngineError code, const std::string &text) { return fail(code, text); }

// The conjuncts of a condition (a AND b AND c).
void conjuncts(const Expr &e, std::vector<const Expr *> *out) {
    if (e.op == ExprOp::And) {
        conjuncts(*e.args[0], out);
        conjuncts(*e.args[1], out);
    } else {
        out->push_back(&e);
    }
}

} // namespace

class QueryPlan {
public:
    std::vector<BlockPlan> blocks;
    std::vector<bool> unionAll;
    std::vector<ColumnInfo> columns;
    uint32_t visible = 0;
    std::vector<SortKeySpec> order;
};

const std::vector<ColumnInfo> &resultColumnsOf(const QueryPlan &plan) { return plan.columns; }

void QueryPlanDelete::operator()(QueryPlan *plan) const { delete plan; }

namespace {

class Planner {
public:
    Planner(TableCatalog &catalog, uint16_t parameterCount) : catalog_(catalog), parameters_(parameterCount) {}

    bool planBlock(const sql::QueryBlock &block, BlockPlan *plan, const std::vector<sql::OrderKey> *order,
                   QueryPlan *query);
    bool planCompoundOrder(const sql::Query &query, QueryPlan *plan);

private:
    bool bindSources(const sql::QueryBlock &block, BlockPlan *plan, std::vector<size_t> *textual);
    bool planOutputs(const sql::QueryBlock &block, BlockPlan *plan, Compiler &compiler,
                     const std::vector<size_t> &textual, QueryPlan *query);
    bool planJoinKeys(const Expr &condition, BlockPlan *plan, Compiler &compiler);
    bool planOrder(const std::vector<sql::OrderKey> &order, BlockPlan *plan, Compiler &compiler, QueryPlan *query);
    NodePtr compileOutput(const Expr &expr, BlockPlan *plan, Compiler &compiler);

    TableCatalog &catalog_;
    uint16_t parameters_;
};

bool Planner::bindSources(const sql::QueryBlock &block, BlockPlan *plan, std::vector<size_t> *textual) {
    if (block.from.size() > 2)
        return failPlan(EngineError::NotSupported, "a query of more than two tables is not supported");
    bool swap = false;
    if (block.from.size() == 2) {
        sql::JoinKind kind = block.from[1].join;
        if (kind == sql::JoinKind::Full)
            return failPlan(EngineError::NotSupported, "FULL OUTER JOIN is not supported");
        plan->leftOuter = kind == sql::JoinKind::Left || kind == sql::JoinKind::Right;
        swap = kind == sql::JoinKind::Right;
    }
    for (const sql::FromItem &item : block.from) {
        auto table = std::make_unique<TableBinding>();
        if (!catalog_.bindTable(item.table.name, table.get()))
            return false;
        table->alias = item.table.alias;
        plan->tables.push_back(std::move(table));
    }
    if (swap)
        std::swap(plan->tables[0], plan->tables[1]);
    textual->clear();
    for (size_t i = 0; i < plan->tables.size(); ++i)
        textual->push_back(swap ? 1 - i : i);
    return true;
}

NodePtr Planner::compileOutput(const Expr &expr, BlockPlan *plan, Compiler &compiler) {
    return plan->aggregate ? compiler.compileGroup(expr, &plan->group) : compiler.compileRow(expr, "the select list");
}

bool Planner::planOutputs(const sql::QueryBlock &block, BlockPlan *plan, Compiler &compiler,
                          const std::vector<size_t> &textual, QueryPlan *query) {
    for (const sql::SelectItem &item : block.items) {
        if (!item.star) {
            NodePtr node = compileOutput(*item.expr, plan, compiler);
            if (!node)
                return false;
            ColumnInfo info;
            info.type = node->type;
            info.size = node->size;
            info.decimalDigits = 0;
            if (item.expr->op == ExprOp::Column) {
                int source = 0, column = 0;
                if (compiler.resolveColumn(item.expr->qualifier, item.expr->name, &source, &column)) {
                    const TableBinding &table = *plan->tables[static_cast<size_t>(source)];
                    info.name = table.layout.columns[static_cast<size_t>(column)].name;
                    info.table = table.name;
                }
            }
            if (!item.alias.empty())
                info.name = item.alias;
            if (info.name.empty())
                info.name = renderExpr(*item.expr);
            plan->outputNames.push_back(item.alias.empty() ? info.name : item.alias);
            plan->outputExprs.push_back(item.expr.get());
            plan->outputs.push_back(std::move(node));
            query->columns.push_back(std::move(info));
            continue;
        }
        bool matched = false;
        for (size_t t : textual) {
            const TableBinding &table = *plan->tables[t];
            if (!item.starOf.empty() && !sameName(item.starOf, table.alias.empty() ? table.name : table.alias))
                continue;
            matched = true;
            for (const ColumnInfo &column : table.layout.columns) {
                if (plan->aggregate)
                    return failPlan(EngineError::NotGrouped, "column " + column.name +
                                                                 " must appear in GROUP BY or be used in an "
                                                                 "aggregate function");
                sql::Expr ref;
                ref.op = ExprOp::Column;
                ref.name = column.name;
                ref.qualifier = table.alias.empty() ? table.name : table.alias;
                NodePtr node = compiler.compileRow(ref, "the select list");
                if (!node)
                    return false;
                plan->outputNames.push_back(column.name);
                plan->outputExprs.push_back(nullptr);
                plan->outputs.push_back(std::move(node));
                query->columns.push_back(column);
            }
        }
        if (!matched)
            return failPlan(EngineError::NoTable, "no such table: " + item.starOf);
    }
    return true;
}

// Equalities between the two sources become index keys; the condition is still evaluated
// in full for every candidate pair, so an index key only narrows the search.
bool Planner::planJoinKeys(const Expr &condition, BlockPlan *plan, Compiler &compiler) {
    std::vector<const Expr *> parts;
    conjuncts(condition, &parts);
    for (const Expr *part : parts) {
        if (part->op != ExprOp::Equal)
            continue;
        NodePtr left = compiler.compileRow(*part->args[0], "ON");
        NodePtr right = compiler.compileRow(*part->args[1], "ON");
        if (!left || !right)
            return false;
        if (left->sourcesUsed == 2 && right->sourcesUsed == 1)
            std::swap(left, right);
        if (left->sourcesUsed != 1 || right->sourcesUsed != 2)
            continue;
        EquiKey key;
        comparisonAffinities(left->affinity, right->affinity, &key.applyOuter, &key.applyInner);
        key.outer = std::move(left);
        key.inner = std::move(right);
        plan->keys.push_back(std::move(key));
    }
    return true;
}

// Whether an output's name is its own (an alias, or the text of an expression) rather than
// the name of the column it shows, which ORDER BY resolves as a column like any other.
bool isAliasOrExpression(const Expr *output, const std::string &name) {
    return output != nullptr && (output->op != ExprOp::Column || !sameName(output->name, name));
}

// ORDER BY of one block: a position, a select alias, a select expression, or any
// expression (computed as a hidden output).
bool Planner::planOrder(const std::vector<sql::OrderKey> &order, BlockPlan *plan, Compiler &compiler,
                        QueryPlan *query) {
    for (const sql::OrderKey &key : order) {
        const Expr &e = *key.expr;
        int64_t index = -1;
        if (e.op == ExprOp::Literal && e.literal.kind == sql::Literal::Kind::Integer) {
            if (e.literal.integer < 1 || e.literal.integer > static_cast<int64_t>(query->visible))
                return failPlan(EngineError::Syntax,
                                "ORDER BY term out of range: " + std::to_string(e.literal.integer));
            index = e.literal.integer - 1;
        }
        for (size_t i = 0; index < 0 && i < query->visible; ++i) {
            if (e.op == ExprOp::Column && e.qualifier.empty() &&
                isAliasOrExpression(plan->outputExprs[i], plan->outputNames[i]) &&
                sameName(plan->outputNames[i], e.name))
                index = static_cast<int64_t>(i);
        }
        if (index < 0) {
            NodePtr node = compileOutput(e, plan, compiler);
            if (!node)
                return false;
            index = static_cast<int64_t>(plan->outputs.size());
            plan->outputs.push_back(std::move(node));
        }
        query->order.push_back(SortKeySpec{static_cast<uint32_t>(index), key.descending});
    }
    return true;
}

bool Planner::planBlock(const sql::QueryBlock &block, BlockPlan *plan, const std::vector<sql::OrderKey> *order,
                        QueryPlan *query) {
    std::vector<size_t> textual;
    if (!bindSources(block, plan, &textual))
        return false;
    std::vector<TableBinding *> sources;
    for (auto &table : plan->tables)
        sources.push_back(table.get());
    Compiler compiler(sources, parameters_);
    plan->distinct = block.distinct;
    if (block.where) {
        plan->where = compiler.compileRow(*block.where, "WHERE");
        if (!plan->where)
            return false;
    }
    if (block.from.size() == 2) {
        const sql::FromItem &joined = block.from[1];
        if (joined.on) {
            plan->on = compiler.compileRow(*joined.on, "ON");
            if (!plan->on || !planJoinKeys(*joined.on, plan, compiler))
                return false;
        }
        // For inner joins the WHERE clause may carry the equalities as well.
        if (!plan->leftOuter && block.where && !planJoinKeys(*block.where, plan, compiler))
            return false;
    }
    plan->aggregate = !block.groupBy.empty() || block.having != nullptr;
    for (const sql::SelectItem &item : block.items)
        plan->aggregate = plan->aggregate || (item.expr && compiler.containsAggregate(*item.expr));
    if (order != nullptr)
        for (const sql::OrderKey &key : *order)
            plan->aggregate = plan->aggregate || compiler.containsAggregate(*key.expr);
    for (const sql::ExprPtr &key : block.groupBy) {
        NodePtr node = compiler.compileRow(*key, "GROUP BY");
        if (!node)
            return false;
        plan->group.keys.push_back(key.get());
        plan->group.keyNodes.push_back(node.get());
        plan->keyNodes.push_back(std::move(node));
    }
    bool first = query->columns.empty();
    size_t columnsBefore = query->columns.size();
    if (!planOutputs(block, plan, compiler, textual, query))
        return false;
    if (!first) {
        // A later block of a UNION: its columns must match the first block's in number.
        size_t added = query->columns.size() - columnsBefore;
        query->columns.resize(columnsBefore);
        if (added != query->visible)
            return failPlan(EngineError::Syntax, "SELECTs to the left and right of UNION do not have the same "
                                                 "number of result columns");
    } else {
        query->visible = static_cast<uint32_t>(query->columns.size());
    }
    if (block.having) {
        plan->having = compiler.compileGroup(*block.having, &plan->group);
        if (!plan->having)
            return false;
    }
    if (order != nullptr && !planOrder(*order, plan, compiler, query))
        return false;
    return true;
}

// ORDER BY of a UNION: positions, or names of the result columns.
bool Planner::planCompoundOrder(const sql::Query &query, QueryPlan *plan) {
    for (const sql::OrderKey &key : query.orderBy) {
        const Expr &e = *key.expr;
        int64_t index = -1;
        if (e.op == ExprOp::Literal && e.literal.kind == sql::Literal::Kind::Integer && e.literal.integer >= 1 &&
            e.literal.integer <= static_cast<int64_t>(plan->visible))
            index = e.literal.integer - 1;
        for (size_t i = 0; index < 0 && e.op == ExprOp::Column && i < plan->visible; ++i)
            if (sameName(plan->blocks[0].outputNames[i], e.name))
                index = static_cast<int64_t>(i);
        if (index < 0)
            return failPlan(EngineError::Syntax,
                            "ORDER BY term does not match any column of the UNION: " + renderExpr(e));
        plan->order.push_back(SortKeySpec{static_cast<uint32_t>(index), key.descending});
    }
    return true;
}

} // namespace

QueryPlanPtr planQuery(const sql::Query &query, TableCatalog &catalog, uint16_t parameterCount) {
    QueryPlanPtr plan(new QueryPlan());
    Planner planner(catalog, parameterCount);
    bool single = query.blocks.size() == 1;
    plan->unionAll = query.unionAll;
    plan->blocks.resize(query.blocks.size());
    for (size_t b = 0; b < query.blocks.size(); ++b) {
        const std::vector<sql::OrderKey> *order = single && !query.orderBy.empty() ? &query.orderBy : nullptr;
        if (!planner.planBlock(query.blocks[b], &plan->blocks[b], order, plan.get()))
            return nullptr;
    }
    if (!single && !planner.planCompoundOrder(query, plan.get()))
        return nullptr;
    return plan;
}

// ---- Running ---------------------------------------------------------------------------

namespace {

// 64-bit FNV-1a, enough to spread index keys; equal keys are confirmed by the condition.
uint64_t hashBytes(uint64_t h, const void *data, size_t n) {
    const unsigned char *p = static_cast<const unsigned char *>(data);
    for (size_t i = 0; i < n; ++i) {
        h ^= p[i];
        h *= 1099511628211ull;
    }
    return h;
}

// The records of a table in file order, without the blank lines of tables of several
// columns (a blank line is a row only where it can hold the one column's NULL).
bool nextDataRecord(RecordReader &reader, const TableBinding &table) {
    while (reader.next()) {
        if (reader.content().empty() && table.layout.columns.size() > 1)
            continue;
        return true;
    }
    return false;
}

// The rows of one block's FROM clause (one table, a join of two, or none), positioned
// one at a time in a frame.
class InputCursor {
public:
    InputCursor(BlockPlan &plan, RowFrame &frame, const std::atomic<bool> *cancel)
        : plan_(plan), frame_(frame), cancel_(cancel) {}

    bool open(TableCatalog &catalog);
    // The next row of the FROM clause that passes the join condition; false at the end or
    // on a failure (failed()).
    bool next();
    bool failed() const { return failed_; }

private:
    bool nextOuter();
    bool startInner();
    bool nextInnerMatch();
    bool buildIndex();
    bool keyHash(bool outer, uint64_t *hash, bool *hasNull);
    bool cancelled() {
        if (cancel_ != nullptr && (++rows_ & 0xFFF) == 0 && cancel_->load(std::memory_order_relaxed))
            return failed_ = true, !fail(EngineError::Cancelled, "the statement was cancelled");
        return false;
    }

    BlockPlan &plan_;
    RowFrame &frame_;
    const std::atomic<bool> *cancel_;
    RecordReader outer_;
    RecordReader inner_;
    bool failed_ = false;
    bool emptyDone_ = false; // a query without FROM has given its one row
    bool haveOuter_ = false;
    bool matched_ = false;
    uint64_t rows_ = 0;
    // Index of the inner table: the hash of its key values to its records' offsets.
    std::unique_ptr<ZoTree> index_;
    ZoTreeIterator position_;
    bool useIndex_ = false;
    bool indexStarted_ = false;
    unsigned char probeKey_[8] = {};
    unsigned char datum_[12] = {};
    bool pendingDatum_ = false; // datum_ holds the first match, not yet read
    std::string keyScratch_;
    std::string affinityScratch_;
};

bool InputCursor::open(TableCatalog &catalog) {
    if (plan_.tables.empty())
        return true;
    catalog.beginOpen();
    bool opened = outer_.open(plan_.tables[0]->path, plan_.tables[0]->format, plan_.tables[0]->layout.dataOffset) &&
                  (plan_.tables.size() < 2 ||
                   inner_.open(plan_.tables[1]->path, plan_.tables[1]->format, plan_.tables[1]->layout.dataOffset));
    catalog.endOpen();
    if (!opened)
        return failed_ = true, false;
    if (plan_.tables.size() == 2 && !plan_.keys.empty()) {
        useIndex_ = true;
        if (!buildIndex())
            return failed_ = true, false;
    }
    return true;
}

bool InputCursor::keyHash(bool outer, uint64_t *hash, bool *hasNull) {
    uint64_t h = 1469598103934665603ull;
    *hasNull = false;
    for (EquiKey &key : plan_.keys) {
        Val v;
        if (!(outer ? key.outer : key.inner)->eval(frame_, &v))
            return false;
        if (v.isNull()) {
            *hasNull = true;
            return true;
        }
        v = withAffinity(v, outer ? key.applyOuter : key.applyInner, &affinityScratch_);
        keyScratch_.clear();
        appendCanonical(v, &keyScratch_);
        h = hashBytes(h, keyScratch_.data(), keyScratch_.size());
    }
    *hash = h;
    return true;
}

// Reads the inner table once: for each record, the hash of its key values (records with a
// NULL key never match and are left out) with its offset and size.
bool InputCursor::buildIndex() {
    // Keys are 8-byte hashes compared as bytes; duplicates kept; one thread: no lock.
    index_.reset(new ZoTree(8, 12, nullptr, 0, 1, 1));
    if (!index_ || position_.initialize(index_.get()) != ZoSuccess)
        return failMemory();
    frame_.records[1] = &inner_;
    while (nextDataRecord(inner_, *plan_.tables[1])) {
        if (cancelled())
            return false;
        uint64_t hash = 0;
        bool hasNull = false;
        if (!keyHash(false, &hash, &hasNull))
            return false;
        if (hasNull)
            continue;
        unsigned char key[8];
        std::memcpy(key, &hash, sizeof hash);
        unsigned char datum[12];
        uint64_t offset = inner_.offset();
        uint32_t size = static_cast<uint32_t>(inner_.size());
        std::memcpy(datum, &offset, sizeof offset);
        std::memcpy(datum + 8, &size, sizeof size);
        unsigned int found = 0;
        if (index_->add(key, datum, &found) != ZoSuccess)
            return fail(EngineError::OutOfMemory,
                        "the join index of table " + plan_.tables[1]->name + " cannot grow further");
    }
    return !inner_.failed();
}

bool InputCursor::nextOuter() {
    frame_.records[0] = &outer_;
    if (!nextDataRecord(outer_, *plan_.tables[0])) {
        failed_ = outer_.failed();
        return false;
    }
    return !cancelled();
}

bool InputCursor::startInner() {
    matched_ = false;
    if (!useIndex_) {
        // Without an index every record of the inner table is a candidate.
        const TableBinding &inner = *plan_.tables[1];
        return inner_.open(inner.path, inner.format, inner.layout.dataOffset) || (failed_ = true, false);
    }
    uint64_t hash = 0;
    bool hasNull = false;
    if (!keyHash(true, &hash, &hasNull))
        return failed_ = true, false;
    indexStarted_ = false;
    if (hasNull)
        return true; // a NULL key equals nothing
    std::memset(probeKey_, 0, sizeof probeKey_);
    std::memcpy(probeKey_, &hash, sizeof hash);
    unsigned char datum[12];
    unsigned int found = 0;
    if (index_->getData(probeKey_, datum, &found, &position_) != ZoSuccess)
        return failed_ = true, !failMemory();
    indexStarted_ = found != 0;
    if (found) {
        pendingDatum_ = true;
        std::memcpy(datum_, datum, sizeof datum_);
    }
    return true;
}

bool InputCursor::nextInnerMatch() {
    for (;;) {
        if (cancelled())
            return false;
        if (!useIndex_) {
            if (!nextDataRecord(inner_, *plan_.tables[1])) {
                failed_ = inner_.failed();
                return false;
            }
        } else {
            if (!indexStarted_)
                return false;
            if (!pendingDatum_) {
                unsigned char key[8];
                unsigned int found = 0;
                if (index_->getNext(key, datum_, &found, &position_) != ZoSuccess)
                    return failed_ = true, !failMemory();
                if (!found || std::memcmp(key, probeKey_, sizeof key) != 0) {
                    indexStarted_ = false;
                    return false;
                }
            }
            pendingDatum_ = false;
            uint64_t offset = 0;
            uint32_t size = 0;
            std::memcpy(&offset, datum_, sizeof offset);
            std::memcpy(&size, datum_ + 8, sizeof size);
            if (!inner_.readAt(offset, size))
                return failed_ = true, false;
        }
        frame_.records[1] = &inner_;
        if (!plan_.on)
            return true;
        Val v;
        if (!plan_.on->eval(frame_, &v))
            return failed_ = true, false;
        if (isTrue(v))
            return true;
    }
}

bool InputCursor::next() {
    if (failed_)
        return false;
    if (plan_.tables.empty()) {
        if (emptyDone_)
            return false;
        emptyDone_ = true;
        return true;
    }
    if (plan_.tables.size() == 1) {
        frame_.records[0] = &outer_;
        if (!nextDataRecord(outer_, *plan_.tables[0])) {
            failed_ = outer_.failed();
            return false;
        }
        return !cancelled();
    }
    for (;;) {
        if (!haveOuter_) {
            if (!nextOuter())
                return false;
            haveOuter_ = true;
            if (!startInner())
                return false;
        }
        if (nextInnerMatch()) {
            matched_ = true;
            return true;
        }
        if (failed_)
            return false;
        haveOuter_ = false;
        if (plan_.leftOuter && !matched_) {
            frame_.records[1] = nullptr;
            return true;
        }
    }
}

} // namespace

struct QueryRun::State {
    QueryPlan &plan;
    TableCatalog &catalog;
    const std::vector<Val> *parameters;
    const std::atomic<bool> *cancel;
    RowFrame frame;
    // Streaming: the one block's input, read as rows are fetched.
    std::unique_ptr<InputCursor> stream;
    std::vector<Val> row;
    // Materialised: the rows in their final order.
    std::unique_ptr<RowSorter> result;
    std::string scratch;

    State(QueryPlan &p, TableCatalog &c, const std::vector<Val> *params, const std::atomic<bool> *cancelFlag)
        : plan(p), catalog(c), parameters(params), cancel(cancelFlag) {
        frame.parameters = parameters;
    }

    bool streaming() const {
        const BlockPlan &block = plan.blocks[0];
        return plan.blocks.size() == 1 && !block.aggregate && !block.distinct && plan.order.empty();
    }

    bool evalOutputs(BlockPlan &block, std::vector<Val> *values) {
        values->resize(block.outputs.size());
        for (size_t i = 0; i < block.outputs.size(); ++i)
            if (!block.outputs[i]->eval(frame, &(*values)[i]))
                return false;
        return true;
    }

    // Whether the row holds the condition (no condition: it does) into *holds; false when
    // evaluating it failed.
    bool test(const NodePtr &condition, bool *holds) {
        *holds = true;
        if (!condition)
            return true;
        Val v;
        if (!condition->eval(frame, &v))
            return false;
        *holds = isTrue(v);
        return true;
    }

    // Runs a block to its end, handing each output row to the sink.
    template <class Sink>
    bool runBlock(BlockPlan &block, Sink &&sink) {
        InputCursor input(block, frame, cancel);
        if (!input.open(catalog))
            return false;
        if (block.aggregate)
            return runGroups(block, input, sink);
        while (input.next()) {
            bool holds = false;
            if (!test(block.where, &holds))
                return false;
            if (holds && (!evalOutputs(block, &row) || !sink(row.data())))
                return false;
        }
        return !input.failed();
    }

    template <class Sink>
    bool runGroups(BlockPlan &block, InputCursor &input, Sink &sink) {
        Grouper grouper(block.keyNodes, block.group.aggregates);
        while (input.next()) {
            bool holds = false;
            if (!test(block.where, &holds) || (holds && !grouper.add(frame)))
                return false;
        }
        if (input.failed() || !grouper.finish())
            return false;
        frame.records[0] = frame.records[1] = nullptr;
        const Val *values = nullptr;
        while (grouper.next(&values)) {
            frame.group = values;
            bool holds = false;
            if (!test(block.having, &holds))
                return false;
            if (holds && (!evalOutputs(block, &row) || !sink(row.data())))
                return false;
        }
        frame.group = nullptr;
        return !grouper.failed();
    }

    // Every block's rows, made distinct, united and ordered as the query says.
    bool materialize() {
        uint32_t width = static_cast<uint32_t>(plan.blocks[0].outputs.size());
        for (BlockPlan &block : plan.blocks)
            width = std::max(width, static_cast<uint32_t>(block.outputs.size()));
        bool distinctAll = plan.blocks.size() > 1
                               ? std::find(plan.unionAll.begin(), plan.unionAll.end(), false) != plan.unionAll.end()
                               : plan.blocks[0].distinct;
        std::vector<SortKeySpec> everyColumn;
        for (uint32_t c = 0; c < plan.visible; ++c)
            everyColumn.push_back(SortKeySpec{c, false});
        std::vector<uint32_t> textSizes;
        for (const NodePtr &output : plan.blocks[0].outputs)
            textSizes.push_back(inlineTextSize(output->type, output->size));
        auto first = std::make_unique<RowSorter>(width, distinctAll ? everyColumn : plan.order,
                                                 distinctAll ? plan.visible : 0, textSizes);
        std::vector<Val> padded(width);
        for (BlockPlan &block : plan.blocks) {
            bool ok = runBlock(block, [&](const Val *values) {
                for (uint32_t c = 0; c < width; ++c)
                    padded[c] = c < block.outputs.size() ? values[c] : Val::null();
                return first->add(padded.data());
            });
            if (!ok)
                return false;
        }
        if (!first->finish())
            return false;
        if (!distinctAll || plan.order.empty()) {
            result = std::move(first);
            return true;
        }
        auto ordered = std::make_unique<RowSorter>(width, plan.order, 0, textSizes);
        const Val *values = nullptr;
        while (first->next(&values))
            if (!ordered->add(values))
                return false;
        if (first->failed())
            return false;
        if (!ordered->finish())
            return false;
        result = std::move(ordered);
        return true;
    }
};

QueryRun::QueryRun(QueryPlan &plan, TableCatalog &catalog, const std::vector<Val> *parameters,
                   const std::atomic<bool> *cancel)
    : state_(std::make_unique<State>(plan, catalog, parameters, cancel)) {}

QueryRun::~QueryRun() = default;

bool QueryRun::start() {
    State &s = *state_;
    failed_ = false;
    if (s.streaming()) {
        s.stream = std::make_unique<InputCursor>(s.plan.blocks[0], s.frame, s.cancel);
        if (!s.stream->open(s.catalog))
            return failed_ = true, false;
        return true;
    }
    if (!s.materialize())
        return failed_ = true, false;
    return true;
}

bool QueryRun::next(const Val **values) {
    State &s = *state_;
    if (failed_)
        return false;
    if (s.result) {
        if (s.result->next(values))
            return true;
        failed_ = s.result->failed();
        return false;
    }
    if (!s.stream)
        return false;
    BlockPlan &block = s.plan.blocks[0];
    while (s.stream->next()) {
        bool holds = false;
        if (!s.test(block.where, &holds))
            return failed_ = true, false;
        if (!holds)
            continue;
        if (!s.evalOutputs(block, &s.row))
            return failed_ = true, false;
        *values = s.row.data();
        return true;
    }
    failed_ = s.stream->failed();
    return false;
}

} // namespace zotext
