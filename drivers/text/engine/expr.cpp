#include "expr.h"

#include <cmath>
#include <cstring>

#include "datetime.h"
#include "errors.h"
#include "functions.h"
#include "schema.h"

namespace zotext {

using sql::Expr;
using sql::ExprOp;

namespace {

// ---- Leaves ----------------------------------------------------------------------------

class LiteralNode : public Node {
public:
    explicit LiteralNode(const sql::Literal &literal) : text_(literal.text) {
        constant = true;
        switch (literal.kind) {
        case sql::Literal::Kind::Null: value_ = Val::null(); break;
        case sql::Literal::Kind::Integer:
            value_ = Val::integer(literal.integer);
            type = ColumnType::Integer;
            break;
        case sql::Literal::Kind::Real:
            value_ = Val::real(literal.real);
            type = ColumnType::Double;
            break;
        case sql::Literal::Kind::Text: value_ = Val::text(text_); break;
        case sql::Literal::Kind::Date:
            value_ = Val::text(text_, TextKind::Date);
            type = ColumnType::Date;
            break;
        case sql::Literal::Kind::Time:
            value_ = Val::text(text_, TextKind::Time);
            type = ColumnType::Time;
            break;
        case sql::Literal::Kind::Timestamp:
            value_ = Val::text(text_, TextKind::Timestamp);
            type = ColumnType::Timestamp;
            break;
        }
        size = columnSizeOf(type, 0);
    }
    bool eval(const RowFrame &, Val *out) override {
        *out = value_;
        return true;
    }

private:
    std::string text_;
    Val value_;
};

class ParamNode : public Node {
public:
    explicit ParamNode(uint16_t index) : index_(index) {}
    bool eval(const RowFrame &frame, Val *out) override {
        *out = frame.parameters != nullptr && index_ < frame.parameters->size() ? (*frame.parameters)[index_]
                                                                                : Val::null();
        return true;
    }

private:
    uint16_t index_;
};

// A column of a source, with the column's affinity applied to the field's text.
class ColumnNode : public Node {
public:
    ColumnNode(int source, int column, const TableBinding &table) : source_(source), column_(column) {
        const ColumnInfo &info = table.layout.columns[static_cast<size_t>(column)];
        charset_ = table.format.charset;
        type = info.type;
        size = info.size;
        affinity = affinityOf(info.type);
        sourcesUsed = static_cast<uint8_t>(1u << source);
    }
    bool eval(const RowFrame &frame, Val *out) override {
        const RecordReader *record = frame.records[source_];
        if (record == nullptr || static_cast<size_t>(column_) >= record->fields().size()) {
            *out = Val::null(); // the missing side of an outer join, or a short record
            return true;
        }
        const FieldSpan &span = record->fields()[static_cast<size_t>(column_)];
        std::string_view raw = record->content().substr(span.start, span.end - span.start);
        if (raw.empty() && !span.quoted) {
            *out = Val::null();
            return true;
        }
        std::string_view text = fieldText(raw, span.quoted, charset_, &text_);
        *out = decode(text);
        return true;
    }

private:
    Val decode(std::string_view text) {
        switch (type) {
        case ColumnType::Varchar: return Val::text(text);
        case ColumnType::Date:
            if (isIsoDate(text))
                return Val::text(text, TextKind::Date);
            break;
        case ColumnType::Time:
            if (isIsoTime(text))
                return Val::text(text, TextKind::Time);
            break;
        case ColumnType::Timestamp:
            if (isIsoTimestamp(text))
                return Val::text(text, TextKind::Timestamp);
            break;
        case ColumnType::Integer:
        case ColumnType::Double: break;
        }
        return withAffinity(Val::text(text), affinity, &number_);
    }

    int source_;
    int column_;
    Charset charset_;
    std::string text_;
    std::string number_;
};

// A slot of the group's values (a GROUP BY expression or an aggregate).
class GroupSlotNode : public Node {
public:
    explicit GroupSlotNode(size_t slot) : slot_(slot) {}
    bool eval(const RowFrame &frame, Val *out) override {
        *out = frame.group != nullptr ? frame.group[slot_] : Val::null();
        return true;
    }

private:
    size_t slot_;
};

// ---- Operators -------------------------------------------------------------------------

bool addChecked(int64_t a, int64_t b, int64_t *out) { return !__builtin_add_overflow(a, b, out); }
bool subChecked(int64_t a, int64_t b, int64_t *out) { return !__builtin_sub_overflow(a, b, out); }
bool mulChecked(int64_t a, int64_t b, int64_t *out) { return !__builtin_mul_overflow(a, b, out); }

class ArithmeticNode : public Node {
public:
    ArithmeticNode(ExprOp op, NodePtr left, NodePtr right) : op_(op), left_(std::move(left)), right_(std::move(right)) {
        bool real = left_->type == ColumnType::Double || right_->type == ColumnType::Double;
        type = real ? ColumnType::Double : ColumnType::Integer;
        size = columnSizeOf(type, 0);
        dependsOn({left_.get(), right_.get()});
    }
    bool eval(const RowFrame &frame, Val *out) override {
        Val a, b;
        if (!left_->eval(frame, &a) || !right_->eval(frame, &b))
            return false;
        if (a.isNull() || b.isNull()) {
            *out = Val::null();
            return true;
        }
        if (op_ == ExprOp::Modulo)
            return remainderOf(a, b, out) || fail(EngineError::DivisionByZero, "division by zero");
        a = numericOf(a);
        b = numericOf(b);
        if (a.type == Val::Int && b.type == Val::Int && integerResult(a.i, b.i, out))
            return true;
        if (op_ == ExprOp::Divide && b.type == Val::Int && b.i == 0)
            return fail(EngineError::DivisionByZero, "division by zero");
        double x = a.asDouble(), y = b.asDouble();
        switch (op_) {
        case ExprOp::Add: *out = Val::real(x + y); break;
        case ExprOp::Subtract: *out = Val::real(x - y); break;
        case ExprOp::Multiply: *out = Val::real(x * y); break;
        default:
            if (y == 0)
                return fail(EngineError::DivisionByZero, "division by zero");
            *out = Val::real(x / y);
        }
        return true;
    }

private:
    // The integer result, unless it overflows (then the reals take over) or divides by 0.
    bool integerResult(int64_t x, int64_t y, Val *out) const {
        int64_t r = 0;
        switch (op_) {
        case ExprOp::Add:
            if (!addChecked(x, y, &r))
                return false;
            break;
        case ExprOp::Subtract:
            if (!subChecked(x, y, &r))
                return false;
            break;
        case ExprOp::Multiply:
            if (!mulChecked(x, y, &r))
                return false;
            break;
        default:
            if (y == 0 || (x == INT64_MIN && y == -1))
                return false;
            r = x / y;
        }
        *out = Val::integer(r);
        return true;
    }

    ExprOp op_;
    NodePtr left_, right_;
};

class NegateNode : public Node {
public:
    explicit NegateNode(NodePtr operand) : operand_(std::move(operand)) {
        type = operand_->type == ColumnType::Double ? ColumnType::Double : ColumnType::Integer;
        size = columnSizeOf(type, 0);
        dependsOn({operand_.get()});
    }
    bool eval(const RowFrame &frame, Val *out) override {
        Val a;
        if (!operand_->eval(frame, &a))
            return false;
        if (a.isNull()) {
            *out = a;
            return true;
        }
        a = numericOf(a);
        if (a.type == Val::Int && a.i != INT64_MIN)
            *out = Val::integer(-a.i);
        else
            *out = Val::real(-a.asDouble());
        return true;
    }

private:
    NodePtr operand_;
};

class ConcatNode : public Node {
public:
    ConcatNode(NodePtr left, NodePtr right) : left_(std::move(left)), right_(std::move(right)) {
        size = left_->size + right_->size;
        dependsOn({left_.get(), right_.get()});
    }
    bool eval(const RowFrame &frame, Val *out) override {
        Val a, b;
        if (!left_->eval(frame, &a) || !right_->eval(frame, &b))
            return false;
        if (a.isNull() || b.isNull()) {
            *out = Val::null();
            return true;
        }
        std::string_view x = textOf(a, &leftText_);
        std::string_view y = textOf(b, &rightText_);
        result_.assign(x);
        result_.append(y);
        *out = Val::text(result_);
        return true;
    }

private:
    NodePtr left_, right_;
    std::string leftText_, rightText_, result_;
};

// A comparison of two operands with the affinities to apply; NULL when either is NULL.
class Comparison {
public:
    void prepare(const Node &left, const Node &right) {
        comparisonAffinities(left.affinity, right.affinity, &applyLeft_, &applyRight_);
    }
    // Negative, zero or positive; *unknown when a side is NULL.
    int compare(const Val &a, const Val &b, bool *unknown) {
        *unknown = a.isNull() || b.isNull();
        if (*unknown)
            return 0;
        Val x = applyLeft_ == Affinity::None ? a : withAffinity(a, applyLeft_, &leftBuffer_);
        Val y = applyRight_ == Affinity::None ? b : withAffinity(b, applyRight_, &rightBuffer_);
        return compareValues(x, y);
    }

private:
    Affinity applyLeft_ = Affinity::None, applyRight_ = Affinity::None;
    std::string leftBuffer_, rightBuffer_;
};

Val truth(bool value) { return Val::integer(value ? 1 : 0); }

bool holds(ExprOp op, int c) {
    switch (op) {
    case ExprOp::Equal: return c == 0;
    case ExprOp::NotEqual: return c != 0;
    case ExprOp::Less: return c < 0;
    case ExprOp::LessEqual: return c <= 0;
    case ExprOp::Greater: return c > 0;
    default: return c >= 0;
    }
}

class CompareNode : public Node {
public:
    CompareNode(ExprOp op, NodePtr left, NodePtr right) : op_(op), left_(std::move(left)), right_(std::move(right)) {
        comparison_.prepare(*left_, *right_);
        describeAsCondition();
        dependsOn({left_.get(), right_.get()});
    }
    bool eval(const RowFrame &frame, Val *out) override {
        Val a, b;
        if (!left_->eval(frame, &a) || !right_->eval(frame, &b))
            return false;
        bool unknown = false;
        int c = comparison_.compare(a, b, &unknown);
        *out = unknown ? Val::null() : truth(holds(op_, c));
        return true;
    }
    // For joins: which side reads which source.
    Node *left() const { return left_.get(); }
    Node *right() const { return right_.get(); }
    ExprOp op() const { return op_; }

private:
    ExprOp op_;
    NodePtr left_, right_;
    Comparison comparison_;
};

class LogicNode : public Node {
public:
    LogicNode(bool isAnd, NodePtr left, NodePtr right) : and_(isAnd), left_(std::move(left)), right_(std::move(right)) {
        describeAsCondition();
        dependsOn({left_.get(), right_.get()});
    }
    // Three-valued: AND is false when either side is false, OR true when either is true;
    // otherwise NULL when either is NULL.
    bool eval(const RowFrame &frame, Val *out) override {
        Val a;
        if (!left_->eval(frame, &a))
            return false;
        if (!a.isNull() && isTrue(a) != and_) {
            *out = truth(!and_);
            return true;
        }
        Val b;
        if (!right_->eval(frame, &b))
            return false;
        if (!b.isNull() && isTrue(b) != and_)
            *out = truth(!and_);
        else if (a.isNull() || b.isNull())
            *out = Val::null();
        else
            *out = truth(and_);
        return true;
    }

private:
    bool and_;
    NodePtr left_, right_;
};

class NotNode : public Node {
public:
    explicit NotNode(NodePtr operand) : operand_(std::move(operand)) {
        describeAsCondition();
        dependsOn({operand_.get()});
    }
    bool eval(const RowFrame &frame, Val *out) override {
        Val a;
        if (!operand_->eval(frame, &a))
            return false;
        *out = a.isNull() ? a : truth(!isTrue(a));
        return true;
    }

private:
    NodePtr operand_;
};

class IsNullNode : public Node {
public:
    IsNullNode(NodePtr operand, bool negated) : operand_(std::move(operand)), negated_(negated) {
        describeAsCondition();
        dependsOn({operand_.get()});
    }
    bool eval(const RowFrame &frame, Val *out) override {
        Val a;
        if (!operand_->eval(frame, &a))
            return false;
        *out = truth(a.isNull() != negated_);
        return true;
    }

private:
    NodePtr operand_;
    bool negated_;
};

class BetweenNode : public Node {
public:
    BetweenNode(NodePtr value, NodePtr low, NodePtr high, bool negated)
        : value_(std::move(value)), low_(std::move(low)), high_(std::move(high)), negated_(negated) {
        lowComparison_.prepare(*value_, *low_);
        highComparison_.prepare(*value_, *high_);
        describeAsCondition();
        dependsOn({value_.get(), low_.get(), high_.get()});
    }
    // x BETWEEN a AND b is x >= a AND x <= b, with NULL as AND gives it.
    bool eval(const RowFrame &frame, Val *out) override {
        Val x, a, b;
        if (!value_->eval(frame, &x) || !low_->eval(frame, &a) || !high_->eval(frame, &b))
            return false;
        bool lowUnknown = false, highUnknown = false;
        bool lowHolds = lowComparison_.compare(x, a, &lowUnknown) >= 0;
        bool highHolds = highComparison_.compare(x, b, &highUnknown) <= 0;
        if ((!lowUnknown && !lowHolds) || (!highUnknown && !highHolds))
            *out = truth(negated_);
        else if (lowUnknown || highUnknown)
            *out = Val::null();
        else
            *out = truth(!negated_);
        return true;
    }

private:
    NodePtr value_, low_, high_;
    bool negated_;
    Comparison lowComparison_, highComparison_;
};

class InNode : public Node {
public:
    InNode(NodePtr value, std::vector<NodePtr> candidates, bool negated)
        : value_(std::move(value)), candidates_(std::move(candidates)), negated_(negated),
          comparisons_(candidates_.size()) {
        describeAsCondition();
        dependsOn({value_.get()});
        for (size_t i = 0; i < candidates_.size(); ++i) {
            comparisons_[i].prepare(*value_, *candidates_[i]);
            addOperands({candidates_[i].get()});
        }
    }
    // True when one candidate equals; else NULL when the value or a candidate is NULL.
    bool eval(const RowFrame &frame, Val *out) override {
        Val x;
        if (!value_->eval(frame, &x))
            return false;
        bool sawNull = x.isNull();
        for (size_t i = 0; i < candidates_.size() && !x.isNull(); ++i) {
            Val c;
            if (!candidates_[i]->eval(frame, &c))
                return false;
            bool unknown = false;
            if (comparisons_[i].compare(x, c, &unknown) == 0 && !unknown) {
                *out = truth(!negated_);
                return true;
            }
            sawNull = sawNull || unknown;
        }
        *out = sawNull ? Val::null() : truth(negated_);
        return true;
    }

private:
    NodePtr value_;
    std::vector<NodePtr> candidates_;
    bool negated_;
    std::vector<Comparison> comparisons_;
};

class CaseNode : public Node {
public:
    CaseNode(NodePtr operand, std::vector<NodePtr> whens, std::vector<NodePtr> thens, NodePtr otherwise)
        : operand_(std::move(operand)), whens_(std::move(whens)), thens_(std::move(thens)),
          otherwise_(std::move(otherwise)), comparisons_(whens_.size()) {
        type = thens_.empty() ? ColumnType::Varchar : thens_[0]->type;
        size = 0;
        dependsOn({operand_.get(), otherwise_.get()});
        for (size_t i = 0; i < whens_.size(); ++i) {
            if (operand_)
                comparisons_[i].prepare(*operand_, *whens_[i]);
            addOperands({whens_[i].get(), thens_[i].get()});
            size = size > thens_[i]->size ? size : thens_[i]->size;
        }
        if (size == 0)
            size = 255;
    }
    bool eval(const RowFrame &frame, Val *out) override {
        Val subject;
        if (operand_ && !operand_->eval(frame, &subject))
            return false;
        for (size_t i = 0; i < whens_.size(); ++i) {
            Val w;
            if (!whens_[i]->eval(frame, &w))
                return false;
            bool taken;
            if (operand_) {
                bool unknown = false;
                taken = comparisons_[i].compare(subject, w, &unknown) == 0 && !unknown;
            } else {
                taken = isTrue(w);
            }
            if (taken)
                return thens_[i]->eval(frame, out);
        }
        if (otherwise_)
            return otherwise_->eval(frame, out);
        *out = Val::null();
        return true;
    }

private:
    NodePtr operand_;
    std::vector<NodePtr> whens_, thens_;
    NodePtr otherwise_;
    std::vector<Comparison> comparisons_;
};

class CastNode : public Node {
public:
    CastNode(NodePtr operand, ColumnType target) : operand_(std::move(operand)) {
        type = target;
        size = columnSizeOf(target, 0);
        affinity = affinityOf(target);
        dependsOn({operand_.get()});
    }
    bool eval(const RowFrame &frame, Val *out) override {
        Val a;
        if (!operand_->eval(frame, &a))
            return false;
        if (a.isNull()) {
            *out = a;
            return true;
        }
        switch (type) {
        case ColumnType::Integer: *out = Val::integer(castInteger(a)); return true;
        case ColumnType::Double: *out = Val::real(realOf(a)); return true;
        case ColumnType::Varchar: *out = Val::text(textOf(a, &text_)); return true;
        case ColumnType::Date:
        case ColumnType::Time:
        case ColumnType::Timestamp: break;
        }
        std::string_view text = textOf(a, &text_);
        bool valid = type == ColumnType::Date   ? isIsoDate(text)
                     : type == ColumnType::Time ? isIsoTime(text)
                                                : isIsoTimestamp(text);
        if (!valid)
            return fail(EngineError::BadDateTime, "invalid date or time value '" + std::string(text) + "'");
        TextKind kind = type == ColumnType::Date   ? TextKind::Date
                        : type == ColumnType::Time ? TextKind::Time
                                                   : TextKind::Timestamp;
        *out = Val::text(text, kind);
        return true;
    }

private:
    // CAST to INTEGER takes the integer prefix of text (SQLite: '12.5' gives 12).
    static int64_t castInteger(const Val &a) {
        if (a.type != Val::Text)
            return integerOf(a);
        std::string_view text = a.view();
        size_t i = 0;
        while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
            ++i;
        size_t digitsFrom = i < text.size() && (text[i] == '-' || text[i] == '+') ? i + 1 : i;
        size_t end = digitsFrom;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9')
            ++end;
        return integerOf(Val::text(text.substr(0, end)));
    }

    NodePtr operand_;
    std::string text_;
};

NodePtr failNode(EngineError code, const std::string &text) {
    (void)fail(code, text); // recorded; the caller sees the null node
    return nullptr;
}

} // namespace

// ---- Compiler --------------------------------------------------------------------------

Compiler::Lookup Compiler::findColumn(const std::string &qualifier, const std::string &name, int *source,
                                      int *column) const {
    int found = 0;
    for (size_t s = 0; s < sources_.size(); ++s) {
        const TableBinding &table = *sources_[s];
        if (!qualifier.empty() && !sameName(qualifier, table.alias.empty() ? table.name : table.alias))
            continue;
        for (size_t c = 0; c < table.layout.columns.size(); ++c) {
            if (!sameName(table.layout.columns[c].name, name))
                continue;
            if (found > 0 && *source != static_cast<int>(s))
                return Lookup::Ambiguous;
            if (found == 0) {
                *source = static_cast<int>(s);
                *column = static_cast<int>(c);
            }
            ++found;
            break;
        }
    }
    return found == 0 ? Lookup::Missing : Lookup::Found;
}

bool Compiler::resolveColumn(const std::string &qualifier, const std::string &name, int *source, int *column) {
    switch (findColumn(qualifier, name, source, column)) {
    case Lookup::Found: return true;
    case Lookup::Ambiguous: return fail(EngineError::AmbiguousColumn, "ambiguous column name: " + name);
    case Lookup::Missing: break;
    }
    return fail(EngineError::NoColumn, "no such column: " + (qualifier.empty() ? name : qualifier + "." + name));
}

bool Compiler::isAggregateCall(const Expr &expr) const {
    if (expr.op != ExprOp::Call)
        return false;
    for (const char *name : {"COUNT", "SUM", "AVG", "MIN", "MAX"})
        if (sameName(expr.name, name))
            // MIN and MAX of several arguments are the scalar functions.
            return expr.args.size() <= 1 || !(sameName(name, "MIN") || sameName(name, "MAX"));
    return false;
}

bool Compiler::containsAggregate(const Expr &expr) const {
    if (isAggregateCall(expr))
        return true;
    for (const sql::ExprPtr &arg : expr.args)
        if (containsAggregate(*arg))
            return true;
    return false;
}

bool Compiler::sameExpr(const Expr &a, const Expr &b) {
    if (a.op != b.op || a.negated != b.negated || a.distinct != b.distinct || a.star != b.star ||
        a.args.size() != b.args.size() || a.param != b.param || a.castType != b.castType)
        return false;
    if (a.op == ExprOp::Column) {
        // Names that do not resolve are reported when the expression itself is compiled.
        int sa = -1, ca = -1, sb = -2, cb = -2;
        return findColumn(a.qualifier, a.name, &sa, &ca) == Lookup::Found &&
               findColumn(b.qualifier, b.name, &sb, &cb) == Lookup::Found && sa == sb && ca == cb;
    }
    if (a.op == ExprOp::Call && !sameName(a.name, b.name))
        return false;
    if (a.op == ExprOp::Literal) {
        const sql::Literal &x = a.literal, &y = b.literal;
        if (x.kind != y.kind || x.integer != y.integer || x.text != y.text ||
            (x.kind == sql::Literal::Kind::Real && x.real != y.real))
            return false;
    }
    for (size_t i = 0; i < a.args.size(); ++i)
        if (!sameExpr(*a.args[i], *b.args[i]))
            return false;
    return true;
}

NodePtr Compiler::compileRow(const Expr &expr, const char *clause) {
    group_ = nullptr;
    rowClause_ = clause;
    return compile(expr);
}

NodePtr Compiler::compileGroup(const Expr &expr, GroupScope *group) {
    group_ = group;
    rowClause_ = nullptr;
    NodePtr node = compile(expr);
    group_ = nullptr;
    return node;
}

bool Compiler::compileArgs(const Expr &expr, std::vector<NodePtr> *args) {
    for (const sql::ExprPtr &arg : expr.args) {
        NodePtr node = compile(*arg);
        if (!node)
            return false;
        args->push_back(std::move(node));
    }
    return true;
}

NodePtr Compiler::compile(const Expr &expr) {
    if (group_ != nullptr && !inAggregate_) {
        for (size_t k = 0; k < group_->keys.size(); ++k) {
            if (sameExpr(expr, *group_->keys[k])) {
                auto slot = std::make_unique<GroupSlotNode>(k);
                const Node &key = *group_->keyNodes[k];
                slot->type = key.type;
                slot->size = key.size;
                slot->affinity = key.affinity;
                return slot;
            }
        }
        if (isAggregateCall(expr))
            return compileAggregate(expr);
    } else if (isAggregateCall(expr)) {
        if (inAggregate_)
            return failNode(EngineError::Syntax, "aggregate functions cannot be nested");
        return failNode(EngineError::Syntax, std::string("aggregate functions are not allowed in ") +
                                                 (rowClause_ != nullptr ? rowClause_ : "this clause"));
    }
    switch (expr.op) {
    case ExprOp::Literal: return std::make_unique<LiteralNode>(expr.literal);
    case ExprOp::Param:
        if (expr.param >= parameterCount_)
            return failNode(EngineError::ParameterCount, "parameter marker out of range");
        return std::make_unique<ParamNode>(expr.param);
    case ExprOp::Column: {
        if (group_ != nullptr && !inAggregate_)
            return failNode(EngineError::NotGrouped,
                            "column " + expr.name + " must appear in GROUP BY or be used in an aggregate function");
        int source = 0, column = 0;
        if (!resolveColumn(expr.qualifier, expr.name, &source, &column))
            return nullptr;
        return std::make_unique<ColumnNode>(source, column, *sources_[static_cast<size_t>(source)]);
    }
    case ExprOp::Negate:
    case ExprOp::Not:
    case ExprOp::IsNull: {
        NodePtr operand = compile(*expr.args[0]);
        if (!operand)
            return nullptr;
        if (expr.op == ExprOp::Negate)
            return std::make_unique<NegateNode>(std::move(operand));
        if (expr.op == ExprOp::Not)
            return std::make_unique<NotNode>(std::move(operand));
        return std::make_unique<IsNullNode>(std::move(operand), expr.negated);
    }
    case ExprOp::Add:
    case ExprOp::Subtract:
    case ExprOp::Multiply:
    case ExprOp::Divide:
    case ExprOp::Modulo:
    case ExprOp::Concat:
    case ExprOp::And:
    case ExprOp::Or:
    case ExprOp::Equal:
    case ExprOp::NotEqual:
    case ExprOp::Less:
    case ExprOp::LessEqual:
    case ExprOp::Greater:
    case ExprOp::GreaterEqual: {
        NodePtr left = compile(*expr.args[0]);
        if (!left)
            return nullptr;
        NodePtr right = compile(*expr.args[1]);
        if (!right)
            return nullptr;
        switch (expr.op) {
        case ExprOp::Concat: return std::make_unique<ConcatNode>(std::move(left), std::move(right));
        case ExprOp::And:
        case ExprOp::Or: return std::make_unique<LogicNode>(expr.op == ExprOp::And, std::move(left), std::move(right));
        case ExprOp::Add:
        case ExprOp::Subtract:
        case ExprOp::Multiply:
        case ExprOp::Divide:
        case ExprOp::Modulo: return std::make_unique<ArithmeticNode>(expr.op, std::move(left), std::move(right));
        default: return std::make_unique<CompareNode>(expr.op, std::move(left), std::move(right));
        }
    }
    case ExprOp::Between: {
        std::vector<NodePtr> parts;
        if (!compileArgs(expr, &parts))
            return nullptr;
        return std::make_unique<BetweenNode>(std::move(parts[0]), std::move(parts[1]), std::move(parts[2]),
                                             expr.negated);
    }
    case ExprOp::In: {
        std::vector<NodePtr> parts;
        if (!compileArgs(expr, &parts))
            return nullptr;
        NodePtr value = std::move(parts[0]);
        parts.erase(parts.begin());
        return std::make_unique<InNode>(std::move(value), std::move(parts), expr.negated);
    }
    case ExprOp::Like: {
        std::vector<NodePtr> parts;
        if (!compileArgs(expr, &parts))
            return nullptr;
        return makeLikeNode(std::move(parts), expr.negated);
    }
    case ExprOp::Case: {
        std::vector<NodePtr> parts;
        if (!compileArgs(expr, &parts))
            return nullptr;
        size_t i = 0;
        NodePtr operand = expr.hasOperand ? std::move(parts[i++]) : nullptr;
        size_t pairsEnd = parts.size() - (expr.hasElse ? 1 : 0);
        std::vector<NodePtr> whens, thens;
        for (; i + 1 < pairsEnd; i += 2) {
            whens.push_back(std::move(parts[i]));
            thens.push_back(std::move(parts[i + 1]));
        }
        NodePtr otherwise = expr.hasElse ? std::move(parts.back()) : nullptr;
        return std::make_unique<CaseNode>(std::move(operand), std::move(whens), std::move(thens), std::move(otherwise));
    }
    case ExprOp::Cast: {
        NodePtr operand = compile(*expr.args[0]);
        if (!operand)
            return nullptr;
        return std::make_unique<CastNode>(std::move(operand), expr.castType);
    }
    case ExprOp::Call: return compileCall(expr);
    }
    return nullptr;
}

NodePtr Compiler::compileCall(const Expr &expr) {
    std::vector<NodePtr> args;
    if (!compileArgs(expr, &args))
        return nullptr;
    return makeFunctionNode(expr.name, std::move(args), expr.star || expr.distinct);
}

NodePtr Compiler::compileAggregate(const Expr &expr) {
    AggregateSpec spec;
    spec.source = &expr;
    spec.distinct = expr.distinct;
    if (sameName(expr.name, "COUNT"))
        spec.function = expr.star ? AggFunction::CountStar : AggFunction::Count;
    else if (sameName(expr.name, "SUM"))
        spec.function = AggFunction::Sum;
    else if (sameName(expr.name, "AVG"))
        spec.function = AggFunction::Avg;
    else if (sameName(expr.name, "MIN"))
        spec.function = AggFunction::Min;
    else
        spec.function = AggFunction::Max;
    if (spec.function != AggFunction::CountStar) {
        if (expr.args.size() != 1 || expr.star)
            return failNode(EngineError::Syntax, "wrong number of arguments to function " + expr.name);
        inAggregate_ = true;
        GroupScope *group = group_;
        group_ = nullptr;
        spec.argument = compile(*expr.args[0]);
        group_ = group;
        inAggregate_ = false;
        if (!spec.argument)
            return nullptr;
    } else if (!expr.args.empty()) {
        return failNode(EngineError::Syntax, "wrong number of arguments to function COUNT");
    }
    // The same call written twice shares one slot.
    size_t slot = group_->aggregates.size();
    for (size_t i = 0; i < group_->aggregates.size(); ++i)
        if (sameExpr(*group_->aggregates[i].source, expr))
            slot = i;
    ColumnType type = ColumnType::Integer;
    uint32_t size = 20;
    if (spec.function == AggFunction::Avg)
        type = ColumnType::Double;
    else if (spec.argument && spec.function != AggFunction::Count)
        type = spec.argument->type, size = spec.argument->size;
    if (spec.function == AggFunction::Sum && type != ColumnType::Integer)
        type = ColumnType::Double;
    if (slot == group_->aggregates.size())
        group_->aggregates.push_back(std::move(spec));
    auto node = std::make_unique<GroupSlotNode>(group_->keys.size() + slot);
    node->type = type;
    node->size = type == ColumnType::Varchar ? size : columnSizeOf(type, 0);
    return node;
}

// ---- Rendering -------------------------------------------------------------------------

namespace {

const char *operatorText(ExprOp op) {
    switch (op) {
    case ExprOp::Add: return " + ";
    case ExprOp::Subtract: return " - ";
    case ExprOp::Multiply: return " * ";
    case ExprOp::Divide: return " / ";
    case ExprOp::Modulo: return " % ";
    case ExprOp::Concat: return " || ";
    case ExprOp::Equal: return " = ";
    case ExprOp::NotEqual: return " <> ";
    case ExprOp::Less: return " < ";
    case ExprOp::LessEqual: return " <= ";
    case ExprOp::Greater: return " > ";
    case ExprOp::GreaterEqual: return " >= ";
    case ExprOp::And: return " AND ";
    case ExprOp::Or: return " OR ";
    default: return " ";
    }
}

} // namespace

std::string renderExpr(const Expr &expr) {
    std::string out;
    switch (expr.op) {
    case ExprOp::Literal:
        switch (expr.literal.kind) {
        case sql::Literal::Kind::Null: return "NULL";
        case sql::Literal::Kind::Integer: return std::to_string(expr.literal.integer);
        case sql::Literal::Kind::Real: appendReal(expr.literal.real, &out); return out;
        default: return "'" + expr.literal.text + "'";
        }
    case ExprOp::Param: return "?";
    case ExprOp::Column: return expr.qualifier.empty() ? expr.name : expr.qualifier + "." + expr.name;
    case ExprOp::Negate: return "-" + renderExpr(*expr.args[0]);
    case ExprOp::Not: return "NOT " + renderExpr(*expr.args[0]);
    case ExprOp::IsNull: return renderExpr(*expr.args[0]) + (expr.negated ? " IS NOT NULL" : " IS NULL");
    case ExprOp::Call:
        out = expr.name + "(";
        if (expr.star)
            out += "*";
        if (expr.distinct)
            out += "DISTINCT ";
        for (size_t i = 0; i < expr.args.size(); ++i)
            out += (i > 0 ? ", " : "") + renderExpr(*expr.args[i]);
        return out + ")";
    case ExprOp::Cast: return "CAST(" + renderExpr(*expr.args[0]) + " AS " + typeNameOf(expr.castType, 0) + ")";
    case ExprOp::Case: return "CASE";
    case ExprOp::Like:
    case ExprOp::In:
    case ExprOp::Between:
        out = renderExpr(*expr.args[0]) + (expr.negated ? " NOT" : "") +
              (expr.op == ExprOp::Like ? " LIKE "
               : expr.op == ExprOp::In ? " IN ("
                                       : " BETWEEN ");
        for (size_t i = 1; i < expr.args.size(); ++i)
            out += (i > 1 ? (expr.op == ExprOp::Between ? " AND "
                             : expr.op == ExprOp::In    ? ", "
                                                        : " ESCAPE ")
                          : "") +
                   renderExpr(*expr.args[i]);
        return expr.op == ExprOp::In ? out + ")" : out;
    default: return renderExpr(*expr.args[0]) + operatorText(expr.op) + renderExpr(*expr.args[1]);
    }
}

} // namespace zotext
