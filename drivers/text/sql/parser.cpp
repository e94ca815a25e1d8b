// The statement is built while the parse commits: ReductProc receives each completed
// production with its children (token nodes, and the nodes it returned for the productions
// inside) and returns a PieceNode holding what that production means (an expression, a
// list of select items, a FROM clause ...). The goal's node holds the statement.
//
// Syntax errors: FailProc notes the token at the dead end; the position is then found as
// the longest prefix of the statement (cut at token starts) that still fits the grammar as
// far as it goes, by a binary search of prefix parses. That costs a few parses, on errors
// only.
#include "parser.h"

#include <cerrno>
#include <algorithm>
#include <cstdlib>
#include <mutex>

#include <zo/zoparse.h>
#include <zo/zoscanne.h>

#include "engine/datetime.h"
#include "engine/errors.h"
#include "engine/schema.h"
#include "engine/textmode.h"
#include "grammar.h"

namespace zotext::sql {

namespace {

// Token types of the lexer and keyword values of the grammar that the translator reads.
enum Token : short {
    tEnd = 1,
    tWord = 2,
    tNumber = 5,
    tBang = 10,
    tPercent = 14,
    tStar = 17,
    tOpen = 18,
    tClose = 19,
    tMinus = 20,
    tPlus = 22,
    tEquals = 23,
    tBar = 24,
    tBrace = 26,
    tComma = 35,
    tLess = 34,
    tGreater = 36,
    tDot = 37,
    tQuestion = 38,
    tSlash = 39,
    tQuote = 40,
    tContents = 41,
    kDistinct = 101,
    kAll = 102,
    kAsc = 109,
    kDesc = 110,
    kAs = 111,
    kInner = 113,
    kLeft = 114,
    kRight = 115,
    kFull = 116,
    kCross = 118,
    kOn = 119,
    kAnd = 120,
    kOr = 121,
    kNot = 122,
    kLike = 123,
    kEscape = 124,
    kIn = 125,
    kBetween = 126,
    kIs = 127,
    kNull = 128,
    kInsert = 129,
    kValues = 131,
    kUnion = 138,
    kWhen = 141,
    kThen = 142,
    kElse = 143,
    kCast = 145,
    kPrimary = 146,
    kUnique = 148,
};

// Production numbers of the grammar.
enum Production : short {
    pGoal = 1000,
    pStatement,
    pQuery,
    pQueryBlock,
    pSelectList,
    pSelectItem,
    pFromClause,
    pTableRef,
    pTablePrimary,
    pJoin,
    pWhere,
    pGroupBy,
    pHaving,
    pOrderBy,
    pSortKey,
    pSearchCondition,
    pBooleanTerm,
    pBooleanFactor,
    pExists,
    pPredicate,
    pPredicateTail,
    pNegatable,
    pComparison,
    pInValues,
    pExpr,
    pTerm,
    pFactor,
    pPrimary,
    pParenBody,
    pColumnOrCall,
    pCallArgs,
    pCaseExpr,
    pLiteral,
    pUnsignedNumber,
    pString,
    pEscapeValue,
    pFunctionCall,
    pIdentifier,
    pTableName,
    pInsert,
    pColumnList,
    pUpdate,
    pAssignment,
    pDelete,
    pCreate,
    pTableElement,
    pColumnDef,
    pDataType,
    pColumnConstraint,
    pDrop,
    pCallEscape,
};

// What a production means, by kind. One structure for all kinds keeps the translator
// short; each kind uses the fields its comment names.
struct Piece {
    enum class Kind : uint8_t {
        Nothing,    // a part that carries no meaning (a column constraint)
        Expr,       // expr
        Name,       // names: identifier parts (a.b.c)
        Args,       // exprs, flag = DISTINCT, star = *
        Comparison, // op
        Tail,       // op, exprs (right-hand sides), flag = negated
        SortKey,    // order[0]
        OrderBy,    // order
        Where,      // expr
        GroupBy,    // exprs
        Having,     // expr
        Items,      // items
        From,       // from
        Join,       // from[0] with its join kind and ON
        Block,      // block
        Query,      // query
        Statement,  // statement
        Type,       // type, size
        ColumnDef,  // column
        Assignment, // names[0], expr
        Names       // names (a column list)
    } kind = Kind::Nothing;
    ExprPtr expr;
    std::vector<ExprPtr> exprs;
    std::vector<std::string> names;
    std::vector<SelectItem> items;
    std::vector<FromItem> from;
    std::vector<OrderKey> order;
    std::unique_ptr<QueryBlock> block;
    std::unique_ptr<Query> query;
    std::unique_ptr<Statement> statement;
    ColumnDef column;
    ExprOp op = ExprOp::Equal;
    bool flag = false;
    bool star = false;
};

class PieceNode : public ZoReduction {
public:
    explicit PieceNode(short number) : ZoReduction(number, nullptr) {}
    Piece piece;
};

// One child of a reduction as the translator reads it.
struct Kid {
    ZoReduction *node;
    short type;       // token type, or 0 for a piece
    std::string text; // token text
    Piece *piece;     // null for a token
    bool is(short t) const { return piece == nullptr && type == t; }
};

ExprPtr makeExpr(ExprOp op) {
    auto e = std::make_unique<Expr>();
    e->op = op;
    return e;
}

// Expressions are compiled, evaluated and freed recursively: deeper trees are refused (as
// SQLite refuses them), and none is ever built deeper than one level beyond this.
constexpr uint32_t kMaxExpressionDepth = 1000;

// Makes child an operand of parent, keeping the parent's height.
void attach(Expr &parent, ExprPtr child) {
    parent.height = std::max(parent.height, child->height + 1);
    parent.args.push_back(std::move(child));
}

ExprPtr binary(ExprOp op, ExprPtr left, ExprPtr right) {
    ExprPtr e = makeExpr(op);
    attach(*e, std::move(left));
    attach(*e, std::move(right));
    return e;
}

// The contents of a quoted literal as written, with each doubled quote made single.
std::string undoubled(const std::string &text, char quote) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] == quote && i + 1 < text.size() && text[i + 1] == quote)
            ++i;
    }
    return out;
}

// Builds statements from reductions; one per parse. Errors found while translating (a
// construct the engine does not run, a malformed date) are kept, the first one only, and
// reported when the parse is over.
class Translator {
public:
    ZoReduction *reduce(short number, ZoReduction *children);

    bool failed() const { return errorCode_ != 0 || outOfMemory_; }
    bool report() const {
        if (outOfMemory_)
            return failMemory();
        return fail(static_cast<EngineError>(errorCode_), errorText_);
    }
    uint16_t parameterCount() const { return parameters_; }

private:
    // The kid to pass up unchanged (index), or -1 when `out` holds the new meaning.
    int build(short number, std::vector<Kid> &kids, Piece &out);
    void unsupported(const std::string &what) { note(EngineError::NotSupported, what + " is not supported"); }
    void note(EngineError code, const std::string &text) {
        if (errorCode_ == 0) {
            errorCode_ = static_cast<uint16_t>(code);
            errorText_ = text;
        }
    }
    ExprPtr takeExpr(Kid &kid);
    void buildQueryBlock(std::vector<Kid> &kids, Piece &out);
    void buildQuery(std::vector<Kid> &kids, Piece &out);
    void buildPrimary(std::vector<Kid> &kids, Piece &out);
    void buildColumnOrCall(std::vector<Kid> &kids, Piece &out);
    void buildCall(const std::string &name, Kid *args, Piece &out);
    void buildPredicate(std::vector<Kid> &kids, Piece &out);
    void buildPredicateTail(std::vector<Kid> &kids, Piece &out);
    void buildNegatable(std::vector<Kid> &kids, Piece &out);
    void buildChain(std::vector<Kid> &kids, Piece &out);
    void buildCase(std::vector<Kid> &kids, Piece &out);
    void buildNumber(std::vector<Kid> &kids, Piece &out);
    void buildEscapeValue(std::vector<Kid> &kids, Piece &out);
    void buildTablePrimary(std::vector<Kid> &kids, Piece &out);
    void buildJoin(std::vector<Kid> &kids, Piece &out);
    void buildSelectItem(std::vector<Kid> &kids, Piece &out);
    void buildInsert(std::vector<Kid> &kids, Piece &out);
    void buildUpdate(std::vector<Kid> &kids, Piece &out);
    void buildCreate(std::vector<Kid> &kids, Piece &out);
    void buildDataType(std::vector<Kid> &kids, Piece &out);
    static TableRef tableOf(const Piece &name);

    uint16_t parameters_ = 0;
    uint16_t errorCode_ = 0;
    std::string errorText_;
    bool outOfMemory_ = false;
};

ExprPtr Translator::takeExpr(Kid &kid) {
    if (kid.piece != nullptr && kid.piece->kind == Piece::Kind::Expr && kid.piece->expr)
        return std::move(kid.piece->expr);
    if (kid.piece != nullptr && kid.piece->kind == Piece::Kind::Query)
        unsupported("a subquery");
    // Keep the tree whole: a placeholder NULL stands where the error was noted.
    return makeExpr(ExprOp::Literal);
}

TableRef Translator::tableOf(const Piece &name) {
    TableRef table;
    if (name.names.size() == 2 && sameName(name.names[1], "csv"))
        table.name = name.names[0];
    else
        for (const std::string &part : name.names)
            table.name += table.name.empty() ? part : "." + part;
    return table;
}

ZoReduction *Translator::reduce(short number, ZoReduction *children) {
    if (outOfMemory_) {
        // A node is missing below: the parse is lost, so only free what arrives.
        while (children != nullptr) {
            ZoReduction *next = nullptr;
            (void)children->getNextSibling(&next); // always succeeds
            delete children;
            children = next;
        }
        return nullptr;
    }
    std::vector<Kid> kids;
    for (ZoReduction *node = children; node != nullptr;) {
        ZoReduction *next = nullptr;
        (void)node->getNextSibling(&next); // always succeeds
        Kid kid{node, 0, std::string(), nullptr};
        if (node->terminal()) {
            kid.type = node->reductNumber();
            if (node->string() != nullptr)
                kid.text = reinterpret_cast<const char *>(node->string());
        } else {
            kid.piece = &static_cast<PieceNode *>(node)->piece;
        }
        kids.push_back(std::move(kid));
        node = next;
    }
    Piece meaning;
    int pass = build(number, kids, meaning);
    if (meaning.expr && meaning.expr->height > kMaxExpressionDepth) {
        note(EngineError::Syntax,
             "expression nested too deeply (more than " + std::to_string(kMaxExpressionDepth) + " levels)");
        meaning.expr = makeExpr(ExprOp::Literal);
    }
    ZoReduction *kept = pass >= 0 ? kids[static_cast<size_t>(pass)].node : nullptr;
    for (Kid &kid : kids)
        if (kid.node != kept)
            delete kid.node;
    if (kept != nullptr) {
        (void)kept->setNextSibling(nullptr); // link setters always succeed
        (void)kept->setPrevSibling(nullptr);
        return kept;
    }
    auto *node = new PieceNode(number);
    if (node == nullptr) {
        outOfMemory_ = true;
        return nullptr;
    }
    node->piece = std::move(meaning);
    return node;
}

int Translator::build(short number, std::vector<Kid> &kids, Piece &out) {
    switch (number) {
    case pGoal:
    case pStatement:
    case pLiteral:
    case pParenBody:
        if (number == pLiteral && kids[0].is(kNull)) {
            out.kind = Piece::Kind::Expr;
            out.expr = makeExpr(ExprOp::Literal);
            return -1;
        }
        return 0;
    case pQuery: buildQuery(kids, out); return -1;
    case pQueryBlock: buildQueryBlock(kids, out); return -1;
    case pSelectList:
        out.kind = Piece::Kind::Items;
        if (kids.size() == 1 && kids[0].is(tStar)) {
            SelectItem star;
            star.star = true;
            out.items.push_back(std::move(star));
            return -1;
        }
        for (Kid &kid : kids)
            if (kid.piece != nullptr)
                for (SelectItem &item : kid.piece->items)
                    out.items.push_back(std::move(item));
        return -1;
    case pSelectItem: buildSelectItem(kids, out); return -1;
    case pFromClause:
        out.kind = Piece::Kind::From;
        for (Kid &kid : kids) {
            if (kid.piece == nullptr)
                continue;
            bool first = true;
            for (FromItem &item : kid.piece->from) {
                if (first && !out.from.empty())
                    item.join = JoinKind::Comma;
                first = false;
                out.from.push_back(std::move(item));
            }
        }
        return -1;
    case pTableRef:
        out.kind = Piece::Kind::From;
        for (Kid &kid : kids)
            for (FromItem &item : kid.piece->from)
                out.from.push_back(std::move(item));
        return -1;
    case pTablePrimary: buildTablePrimary(kids, out); return -1;
    case pJoin: buildJoin(kids, out); return -1;
    case pWhere:
    case pHaving:
        out.kind = number == pWhere ? Piece::Kind::Where : Piece::Kind::Having;
        out.expr = takeExpr(kids[1]);
        return -1;
    case pGroupBy:
    case pOrderBy:
        out.kind = number == pGroupBy ? Piece::Kind::GroupBy : Piece::Kind::OrderBy;
        for (Kid &kid : kids) {
            if (kid.piece == nullptr)
                continue;
            if (number == pGroupBy)
                out.exprs.push_back(takeExpr(kid));
            else
                out.order.push_back(std::move(kid.piece->order[0]));
        }
        return -1;
    case pSortKey: {
        out.kind = Piece::Kind::SortKey;
        OrderKey key;
        key.expr = takeExpr(kids[0]);
        key.descending = kids.size() > 1 && kids[1].is(kDesc);
        out.order.push_back(std::move(key));
        return -1;
    }
    case pSearchCondition:
    case pBooleanTerm:
    case pExpr:
    case pTerm: buildChain(kids, out); return -1;
    case pBooleanFactor:
    case pFactor:
        if (kids.size() == 1)
            return 0;
        out.kind = Piece::Kind::Expr;
        if (kids[0].is(tPlus))
            out.expr = takeExpr(kids[1]);
        else {
            out.expr = makeExpr(kids[0].is(kNot) ? ExprOp::Not : ExprOp::Negate);
            attach(*out.expr, takeExpr(kids[1]));
        }
        return -1;
    case pExists:
        unsupported("EXISTS");
        out.kind = Piece::Kind::Expr;
        out.expr = makeExpr(ExprOp::Literal);
        return -1;
    case pPredicate: buildPredicate(kids, out); return -1;
    case pPredicateTail: buildPredicateTail(kids, out); return -1;
    case pNegatable: buildNegatable(kids, out); return -1;
    case pComparison:
        out.kind = Piece::Kind::Comparison;
        if (kids.size() == 1)
            out.op = kids[0].is(tEquals) ? ExprOp::Equal : kids[0].is(tLess) ? ExprOp::Less : ExprOp::Greater;
        else if (kids[0].is(tBang) || kids[1].is(tGreater))
            out.op = ExprOp::NotEqual;
        else
            out.op = kids[0].is(tLess) ? ExprOp::LessEqual : ExprOp::GreaterEqual;
        return -1;
    case pInValues:
        if (kids.size() == 1 && kids[0].piece->kind == Piece::Kind::Query) {
            unsupported("IN with a subquery");
        }
        out.kind = Piece::Kind::Args;
        for (Kid &kid : kids)
            if (kid.piece != nullptr)
                out.exprs.push_back(takeExpr(kid));
        return -1;
    case pPrimary: buildPrimary(kids, out); return -1;
    case pColumnOrCall: buildColumnOrCall(kids, out); return -1;
    case pCallArgs:
        out.kind = Piece::Kind::Args;
        out.star = kids[0].is(tStar);
        out.flag = kids[0].is(kDistinct);
        for (Kid &kid : kids)
            if (kid.piece != nullptr)
                out.exprs.push_back(takeExpr(kid));
        return -1;
    case pCaseExpr: buildCase(kids, out); return -1;
    case pUnsignedNumber: buildNumber(kids, out); return -1;
    case pString:
        out.kind = Piece::Kind::Expr;
        out.expr = makeExpr(ExprOp::Literal);
        out.expr->literal.kind = Literal::Kind::Text;
        out.expr->literal.text = undoubled(kids[1].text, '\'');
        return -1;
    case pEscapeValue: buildEscapeValue(kids, out); return -1;
    case pFunctionCall: {
        std::string name = kids[0].piece != nullptr ? kids[0].piece->names[0] : kids[0].text;
        buildCall(name, kids.size() == 4 ? &kids[2] : nullptr, out);
        return -1;
    }
    case pIdentifier:
        out.kind = Piece::Kind::Name;
        if (kids.size() == 1)
            out.names.push_back(kids[0].text);
        else
            out.names.push_back(undoubled(kids[1].text, kids[0].text.empty() ? '"' : kids[0].text[0]));
        return -1;
    case pTableName:
    case pColumnList:
        out.kind = number == pTableName ? Piece::Kind::Name : Piece::Kind::Names;
        for (Kid &kid : kids)
            if (kid.piece != nullptr)
                out.names.push_back(kid.piece->names[0]);
        return -1;
    case pInsert: buildInsert(kids, out); return -1;
    case pUpdate: buildUpdate(kids, out); return -1;
    case pAssignment:
        out.kind = Piece::Kind::Assignment;
        out.names.push_back(kids[0].piece->names[0]);
        out.expr = takeExpr(kids[2]);
        return -1;
    case pDelete:
        out.kind = Piece::Kind::Statement;
        out.statement = std::make_unique<Statement>();
        out.statement->kind = Statement::Kind::Delete;
        out.statement->table = tableOf(*kids[2].piece);
        if (kids.size() > 3)
            out.statement->where = std::move(kids[3].piece->expr);
        return -1;
    case pCreate: buildCreate(kids, out); return -1;
    case pTableElement:
        // PRIMARY KEY (...) and UNIQUE (...): accepted, not kept (the file has no keys).
        if (kids[0].piece != nullptr)
            return 0;
        return -1;
    case pColumnDef:
        out.kind = Piece::Kind::ColumnDef;
        out.column.name = kids[0].piece->names[0];
        out.column.type = kids[1].piece->column.type;
        out.column.size = kids[1].piece->column.size;
        return -1;
    case pDataType: buildDataType(kids, out); return -1;
    case pColumnConstraint: return -1;
    case pDrop:
        out.kind = Piece::Kind::Statement;
        out.statement = std::make_unique<Statement>();
        out.statement->kind = Statement::Kind::Drop;
        out.statement->table = tableOf(*kids[2].piece);
        return -1;
    case pCallEscape: unsupported("the procedure call escape"); return -1;
    default: return -1;
    }
}

void Translator::buildQuery(std::vector<Kid> &kids, Piece &out) {
    out.kind = Piece::Kind::Query;
    out.query = std::make_unique<Query>();
    bool nextAll = false;
    for (Kid &kid : kids) {
        if (kid.is(kAll)) {
            nextAll = true;
        } else if (kid.piece != nullptr && kid.piece->kind == Piece::Kind::Block) {
            if (!out.query->blocks.empty())
                out.query->unionAll.push_back(nextAll);
            nextAll = false;
            out.query->blocks.push_back(std::move(*kid.piece->block));
        } else if (kid.piece != nullptr && kid.piece->kind == Piece::Kind::OrderBy) {
            out.query->orderBy = std::move(kid.piece->order);
        }
    }
}

void Translator::buildQueryBlock(std::vector<Kid> &kids, Piece &out) {
    out.kind = Piece::Kind::Block;
    out.block = std::make_unique<QueryBlock>();
    QueryBlock &block = *out.block;
    for (Kid &kid : kids) {
        if (kid.is(kDistinct)) {
            block.distinct = true;
            continue;
        }
        if (kid.piece == nullptr)
            continue;
        Piece &piece = *kid.piece;
        switch (piece.kind) {
        case Piece::Kind::Items: block.items = std::move(piece.items); break;
        case Piece::Kind::From: block.from = std::move(piece.from); break;
        case Piece::Kind::Where: block.where = std::move(piece.expr); break;
        case Piece::Kind::GroupBy: block.groupBy = std::move(piece.exprs); break;
        case Piece::Kind::Having: block.having = std::move(piece.expr); break;
        default: {
            // A select list of one item arrives as that item's expression.
            SelectItem item;
            item.expr = takeExpr(kid);
            block.items.push_back(std::move(item));
        }
        }
    }
}

void Translator::buildSelectItem(std::vector<Kid> &kids, Piece &out) {
    out.kind = Piece::Kind::Items;
    SelectItem item;
    if (kids.size() == 3 && kids[2].is(tStar)) {
        item.star = true;
        item.starOf = kids[0].piece->names[0];
    } else {
        item.expr = takeExpr(kids[0]);
        if (kids.back().piece != nullptr && kids.back().piece->kind == Piece::Kind::Name && kids.size() > 1)
            item.alias = kids.back().piece->names[0];
    }
    out.items.push_back(std::move(item));
}

// Left-associative chains: a OR b OR c, a AND b, a + b - c, a * b / c % d, a || b.
// A balanced tree of the operands of one AND or OR chain, in their order: three-valued AND
// and OR are associative, and a balanced tree keeps long chains shallow.
ExprPtr balanced(ExprOp op, std::vector<ExprPtr> &operands, size_t from, size_t to) {
    if (to - from == 1)
        return std::move(operands[from]);
    size_t middle = from + (to - from) / 2;
    ExprPtr left = balanced(op, operands, from, middle);
    return binary(op, std::move(left), balanced(op, operands, middle, to));
}

void Translator::buildChain(std::vector<Kid> &kids, Piece &out) {
    out.kind = Piece::Kind::Expr;
    if (kids.size() > 1 && (kids[1].is(kOr) || kids[1].is(kAnd))) {
        std::vector<ExprPtr> operands;
        for (Kid &kid : kids)
            if (kid.piece != nullptr)
                operands.push_back(takeExpr(kid));
        out.expr = balanced(kids[1].is(kOr) ? ExprOp::Or : ExprOp::And, operands, 0, operands.size());
        return;
    }
    out.expr = takeExpr(kids[0]);
    for (size_t i = 1; i < kids.size();) {
        ExprOp op;
        size_t operand = i + 1;
        switch (kids[i].type) {
        case tPlus: op = ExprOp::Add; break;
        case tMinus: op = ExprOp::Subtract; break;
        case tStar: op = ExprOp::Multiply; break;
        case tSlash: op = ExprOp::Divide; break;
        case tPercent: op = ExprOp::Modulo; break;
        default:
            op = ExprOp::Concat; // the two bars of ||
            operand = i + 2;
        }
        out.expr = binary(op, std::move(out.expr), takeExpr(kids[operand]));
        i = operand + 1;
        if (out.expr->height > kMaxExpressionDepth)
            break; // refused where this reduction ends
    }
}

void Translator::buildPrimary(std::vector<Kid> &kids, Piece &out) {
    out.kind = Piece::Kind::Expr;
    Kid &first = kids[0];
    if (first.is(tQuestion)) {
        out.expr = makeExpr(ExprOp::Param);
        out.expr->param = parameters_;
        if (parameters_ == UINT16_MAX)
            note(EngineError::Syntax, "too many parameter markers");
        else
            ++parameters_;
    } else if (first.is(tOpen)) {
        out.expr = takeExpr(kids[1]);
    } else if (first.is(kCast)) {
        out.expr = makeExpr(ExprOp::Cast);
        attach(*out.expr, takeExpr(kids[2]));
        out.expr->castType = kids[4].piece->column.type;
    } else if (first.is(kLeft) || first.is(kRight)) {
        buildCall(first.is(kLeft) ? "LEFT" : "RIGHT", &kids[2], out);
    } else {
        out.expr = takeExpr(first);
    }
}

void Translator::buildColumnOrCall(std::vector<Kid> &kids, Piece &out) {
    std::vector<std::string> parts;
    size_t i = 0;
    for (; i < kids.size() && !kids[i].is(tOpen); ++i)
        if (kids[i].piece != nullptr)
            parts.push_back(kids[i].piece->names[0]);
    if (i < kids.size()) {
        if (parts.size() > 1)
            unsupported("a qualified function name");
        buildCall(parts[0], i + 2 < kids.size() ? &kids[i + 1] : nullptr, out);
        return;
    }
    out.kind = Piece::Kind::Expr;
    out.expr = makeExpr(ExprOp::Column);
    out.expr->name = parts.back();
    if (parts.size() > 1)
        out.expr->qualifier = parts[parts.size() - 2];
}

void Translator::buildCall(const std::string &name, Kid *args, Piece &out) {
    out.kind = Piece::Kind::Expr;
    out.expr = makeExpr(ExprOp::Call);
    out.expr->name = name;
    if (args == nullptr || args->piece == nullptr)
        return;
    out.expr->star = args->piece->star;
    out.expr->distinct = args->piece->flag;
    for (ExprPtr &arg : args->piece->exprs)
        attach(*out.expr, std::move(arg));
}

void Translator::buildPredicate(std::vector<Kid> &kids, Piece &out) {
    out.kind = Piece::Kind::Expr;
    out.expr = takeExpr(kids[0]);
    if (kids.size() == 1)
        return;
    Piece &tail = *kids[1].piece;
    ExprPtr e = makeExpr(tail.op);
    e->negated = tail.flag;
    attach(*e, std::move(out.expr));
    for (ExprPtr &operand : tail.exprs)
        attach(*e, std::move(operand));
    out.expr = std::move(e);
}

void Translator::buildPredicateTail(std::vector<Kid> &kids, Piece &out) {
    if (kids[0].piece != nullptr && kids[0].piece->kind == Piece::Kind::Comparison) {
        out.kind = Piece::Kind::Tail;
        out.op = kids[0].piece->op;
        out.exprs.push_back(takeExpr(kids[1]));
        return;
    }
    if (kids[0].is(kIs)) {
        out.kind = Piece::Kind::Tail;
        out.op = ExprOp::IsNull;
        out.flag = kids[1].is(kNot);
        return;
    }
    // [NOT] negatable
    Kid &negatable = kids.back();
    out = std::move(*negatable.piece);
    out.flag = kids.size() == 2;
}

void Translator::buildNegatable(std::vector<Kid> &kids, Piece &out) {
    out.kind = Piece::Kind::Tail;
    if (kids[0].is(kBetween)) {
        out.op = ExprOp::Between;
        out.exprs.push_back(takeExpr(kids[1]));
        out.exprs.push_back(takeExpr(kids[3]));
    } else if (kids[0].is(kIn)) {
        out.op = ExprOp::In;
        out.exprs = std::move(kids[2].piece->exprs);
    } else {
        out.op = ExprOp::Like;
        out.exprs.push_back(takeExpr(kids[1]));
        // LIKE p ESCAPE e, or LIKE p {ESCAPE 'e'}
        for (size_t i = 2; i < kids.size(); ++i)
            if (kids[i].piece != nullptr)
                out.exprs.push_back(takeExpr(kids[i]));
    }
}

void Translator::buildCase(std::vector<Kid> &kids, Piece &out) {
    out.kind = Piece::Kind::Expr;
    out.expr = makeExpr(ExprOp::Case);
    Expr &e = *out.expr;
    // CASE [operand] {WHEN c THEN v}+ [ELSE v] END: the operand is an expression right
    // after CASE.
    e.hasOperand = kids[1].piece != nullptr;
    for (size_t i = 1; i < kids.size(); ++i) {
        if (kids[i].is(kElse))
            e.hasElse = true;
        if (kids[i].piece != nullptr)
            attach(e, takeExpr(kids[i]));
    }
}

void Translator::buildNumber(std::vector<Kid> &kids, Piece &out) {
    std::string text;
    bool real = false;
    for (Kid &kid : kids) {
        text += kid.text;
        real = real || kid.is(tDot);
    }
    out.kind = Piece::Kind::Expr;
    out.expr = makeExpr(ExprOp::Literal);
    Literal &literal = out.expr->literal;
    // An integer too large for 64 bits is read as a real number, as SQLite does.
    errno = 0;
    char *end = nullptr;
    long long integer = real ? 0 : std::strtoll(text.c_str(), &end, 10);
    if (!real && errno == 0) {
        literal.kind = Literal::Kind::Integer;
        literal.integer = integer;
    } else {
        literal.kind = Literal::Kind::Real;
        literal.real = std::strtod(text.c_str(), nullptr);
    }
}

void Translator::buildEscapeValue(std::vector<Kid> &kids, Piece &out) {
    // { fn call } | { d 'date' } | { t 'time' } | { ts 'timestamp' }
    out.kind = Piece::Kind::Expr;
    std::string word = kids[1].text;
    if (sameName(word, "fn")) {
        out.expr = takeExpr(kids[2]);
        return;
    }
    out.expr = takeExpr(kids[2]);
    Literal &literal = out.expr->literal;
    if (sameName(word, "d") && isIsoDate(literal.text))
        literal.kind = Literal::Kind::Date;
    else if (sameName(word, "t") && isIsoTime(literal.text))
        literal.kind = Literal::Kind::Time;
    else if (sameName(word, "ts") && isIsoTimestamp(literal.text))
        literal.kind = Literal::Kind::Timestamp;
    else
        note(EngineError::BadDateTime, "invalid date or time literal '" + literal.text + "'");
}

void Translator::buildTablePrimary(std::vector<Kid> &kids, Piece &out) {
    out.kind = Piece::Kind::From;
    if (kids[0].is(tBrace)) { // { oj table-ref }
        out.from = std::move(kids[2].piece->from);
        return;
    }
    if (kids[0].is(tOpen)) {
        unsupported("a subquery in FROM");
        return;
    }
    FromItem item;
    item.table = tableOf(*kids[0].piece);
    if (kids.back().piece != nullptr && kids.size() > 1)
        item.table.alias = kids.back().piece->names[0];
    out.from.push_back(std::move(item));
}

void Translator::buildJoin(std::vector<Kid> &kids, Piece &out) {
    out.kind = Piece::Kind::Join;
    JoinKind kind = JoinKind::Inner;
    if (kids[0].is(kLeft))
        kind = JoinKind::Left;
    else if (kids[0].is(kRight))
        kind = JoinKind::Right;
    else if (kids[0].is(kFull))
        kind = JoinKind::Full;
    else if (kids[0].is(kCross))
        kind = JoinKind::Cross;
    for (size_t i = 0; i < kids.size(); ++i) {
        if (kids[i].piece == nullptr || kids[i].piece->kind != Piece::Kind::From)
            continue;
        out.from = std::move(kids[i].piece->from);
        if (out.from.size() != 1) {
            unsupported("a nested join");
            out.from.resize(1);
        }
        out.from[0].join = kind;
        if (i + 2 < kids.size() && kids[i + 1].is(kOn))
            out.from[0].on = takeExpr(kids[i + 2]);
        break;
    }
}

void Translator::buildInsert(std::vector<Kid> &kids, Piece &out) {
    out.kind = Piece::Kind::Statement;
    out.statement = std::make_unique<Statement>();
    Statement &s = *out.statement;
    s.kind = Statement::Kind::Insert;
    s.table = tableOf(*kids[2].piece);
    bool values = false;
    for (size_t i = 3; i < kids.size(); ++i) {
        Kid &kid = kids[i];
        if (kid.is(kValues))
            values = true;
        if (kid.piece == nullptr)
            continue;
        if (kid.piece->kind == Piece::Kind::Query) {
            s.query = std::move(kid.piece->query);
        } else if (!values && (kid.piece->kind == Piece::Kind::Names || kid.piece->kind == Piece::Kind::Name)) {
            s.columns = std::move(kid.piece->names);
        } else {
            s.values.push_back(takeExpr(kid));
        }
    }
}

void Translator::buildUpdate(std::vector<Kid> &kids, Piece &out) {
    out.kind = Piece::Kind::Statement;
    out.statement = std::make_unique<Statement>();
    Statement &s = *out.statement;
    s.kind = Statement::Kind::Update;
    s.table = tableOf(*kids[1].piece);
    for (size_t i = 3; i < kids.size(); ++i) {
        Kid &kid = kids[i];
        if (kid.piece == nullptr)
            continue;
        if (kid.piece->kind == Piece::Kind::Assignment)
            s.assignments.emplace_back(kid.piece->names[0], std::move(kid.piece->expr));
        else if (kid.piece->kind == Piece::Kind::Where)
            s.where = std::move(kid.piece->expr);
    }
}

void Translator::buildCreate(std::vector<Kid> &kids, Piece &out) {
    out.kind = Piece::Kind::Statement;
    out.statement = std::make_unique<Statement>();
    Statement &s = *out.statement;
    s.kind = Statement::Kind::Create;
    s.table = tableOf(*kids[2].piece);
    for (size_t i = 3; i < kids.size(); ++i)
        if (kids[i].piece != nullptr && kids[i].piece->kind == Piece::Kind::ColumnDef)
            s.columnDefs.push_back(kids[i].piece->column);
}

void Translator::buildDataType(std::vector<Kid> &kids, Piece &out) {
    out.kind = Piece::Kind::Type;
    std::string name;
    size_t i = 0;
    for (; i < kids.size() && !kids[i].is(tOpen); ++i)
        name += (name.empty() ? "" : " ") + kids[i].text;
    if (!columnTypeOf(name, &out.column.type)) {
        unsupported("the data type " + name);
        return;
    }
    if (i + 1 < kids.size()) {
        unsigned long size = std::strtoul(kids[i + 1].text.c_str(), nullptr, 10);
        out.column.size = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<uint32_t>(size);
    }
}

// The process's parser. Parses are serialised: a parser serves one thread at a time.
class SqlParser : public ZoParser {
public:
    SqlParser()
        : ZoParser(const_cast<resourceElement *>(kGrammar), kGrammarCount, const_cast<resourceElement *>(kKeywords),
                   kKeywordCount) {}

    ZoReduction *ReductProc(short number, ZoReduction *children) override {
        return translator != nullptr ? translator->reduce(number, children) : ZoParser::ReductProc(number, children);
    }

    int FailProc(short type, const unsigned char *text, short, const unsigned char *, ZoStateTransition *) override {
        failType = type;
        failText = text != nullptr ? reinterpret_cast<const char *>(text) : "";
        return 1;
    }

    Translator *translator = nullptr;
    short failType = 0;
    std::string failText;
};

std::mutex parserLock;
SqlParser *theParser = nullptr;

// Frees the parser when the driver is unloaded.
struct ParserRelease {
    ~ParserRelease() {
        delete theParser;
        theParser = nullptr;
    }
} parserRelease;

// Under parserLock: the parser, made and compiled on first use (again after a failure).
SqlParser *parser() {
    if (theParser == nullptr) {
        auto *made = new SqlParser();
        if (made == nullptr)
            return nullptr;
        if (!made->isOK()) {
            delete made;
            return nullptr;
        }
        theParser = made;
    }
    return theParser;
}

// Parses the text with a fresh translator; the tree (a PieceNode) or null.
ZoReduction *parseWith(SqlParser &p, Translator &translator, const std::string &text) {
    p.translator = &translator;
    ZoReduction *tree = nullptr;
    ZoStatus status = p.parse(reinterpret_cast<const unsigned char *>(text.c_str()), &tree);
    p.translator = nullptr;
    return status == ZoSuccess ? tree : nullptr;
}

// Whether the text fits the grammar as far as it goes: it parses, or fails only at its end.
bool fitsSoFar(SqlParser &p, const std::string &text) {
    Translator translator;
    p.failType = 0;
    ZoReduction *tree = parseWith(p, translator, text);
    delete tree;
    return tree != nullptr || p.failType == tEnd;
}

// Byte offset of the token where the text stops fitting the grammar.
size_t errorOffset(SqlParser &p, const std::string &text) {
    std::vector<uint32_t> starts;
    ZoScanner scanner(reinterpret_cast<const unsigned char *>(text.data()), static_cast<uint32_t>(text.size()));
    scanner.decimalNumbers = false;
    ZoToken token;
    for (scanner.getToken(token, searchNormal); token.kind() != tokenEnd; scanner.getToken(token, searchNormal))
        starts.push_back(token.startOffset());
    // Invariant: the text before token lo fits; the text before token hi does not.
    size_t lo = 0;
    size_t hi = starts.size();
    while (hi - lo > 1) {
        size_t mid = (lo + hi) / 2;
        if (fitsSoFar(p, text.substr(0, starts[mid])))
            lo = mid;
        else
            hi = mid;
    }
    return starts.empty() ? text.size() : starts[lo];
}

bool reportSyntaxError(SqlParser &p, const std::string &text) {
    if (p.failType == 0) // the lexer stopped on a character it has no type for
        return fail(EngineError::Syntax, "syntax error: a character that has no place in a statement");
    if (p.failType == tEnd)
        return fail(EngineError::Syntax, "syntax error: the statement ends too early");
    size_t offset = errorOffset(p, text);
    std::string near = text.substr(offset, 24);
    size_t lineEnd = near.find_first_of("\r\n");
    if (lineEnd != std::string::npos)
        near.resize(lineEnd);
    return fail(EngineError::Syntax,
                "syntax error at position " + std::to_string(offset + 1) + " near \"" + near + "\"");
}

} // namespace

std::unique_ptr<Statement> parseStatement(const std::string &text) {
    if (text.find('\0') != std::string::npos) {
        (void)fail(EngineError::Syntax, "syntax error: the statement holds a NUL character");
        return nullptr;
    }
    std::lock_guard<std::mutex> hold(parserLock);
    Utf8Scope utf8;
    SqlParser *p = parser();
    if (p == nullptr) {
        (void)failMemory();
        return nullptr;
    }
    Translator translator;
    p->failType = 0;
    ZoReduction *tree = parseWith(*p, translator, text);
    if (tree == nullptr) {
        if (translator.failed())
            (void)translator.report();
        else
            (void)reportSyntaxError(*p, text);
        return nullptr;
    }
    std::unique_ptr<Statement> statement;
    Piece &piece = static_cast<PieceNode *>(tree)->piece;
    if (!translator.failed()) {
        if (piece.kind == Piece::Kind::Query) {
            statement = std::make_unique<Statement>();
            statement->kind = Statement::Kind::Select;
            statement->query = std::move(piece.query);
        } else if (piece.kind == Piece::Kind::Statement) {
            statement = std::move(piece.statement);
        }
    }
    delete tree;
    if (statement == nullptr) {
        if (translator.failed())
            (void)translator.report();
        else
            (void)fail(EngineError::Syntax, "syntax error");
        return nullptr;
    }
    statement->parameterCount = translator.parameterCount();
    return statement;
}

} // namespace zotext::sql
