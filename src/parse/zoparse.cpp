// The parse engine: runs the productions' state machines with an explicit stack of production
// calls, backtracks over ambiguous transitions, and builds the tree on the committed path only.
//
// Speculation and replay. While any backtrack position exists the engine is guessing: it
// records no token and calls no ReductProc. Every ambiguous choice made on the current path
// is also written to a decision log (the skip count that was taken). When a production
// completes, the positions saved inside it are confirmed; if that empties the position list,
// the engine rewinds to the oldest of them and replays the path with tree building on. The
// replay reads its choices from the log instead of speculating again, so every token is
// walked at most twice per confirmed choice and a right-recursive list of any length parses
// in linear time.
#include "parse/parseint.h"

#include <zo/strfuncs.h>
#include <zo/zolexer.h>

namespace {

constexpr uint64_t kBaseSteps = 1000000, kStepsPerByte = 256;

// Appends node to the chain first..last (a null node adds nothing).
void appendToChain(ZoReduction *&first, ZoReduction *&last, ZoReduction *node) {
    if (node == nullptr)
        return;
    // Link setters always succeed.
    (void)node->setNextSibling(nullptr);
    (void)node->setPrevSibling(last);
    if (last != nullptr)
        (void)last->setNextSibling(node);
    else
        first = node;
    last = node;
}

// Deletes a sibling chain node by node (each node frees its own subtree).
void deleteSiblings(ZoReduction *first) {
    while (first != nullptr) {
        // The getter leaves null at the end of the chain; setters always succeed.
        ZoReduction *next = nullptr;
        (void)first->getNextSibling(&next);
        (void)first->setNextSibling(nullptr);
        if (next != nullptr)
            (void)next->setPrevSibling(nullptr);
        delete first;
        first = next;
    }
}

} // namespace

// ---- ZoParseStackNode and ZoBacktrackPosition -----------------------------------------------

ZoParseStackNode::ZoParseStackNode(ZoParseState *state, short number, ZoReduction *saved)
    : returnState(state), productionNumber(number), reduction(saved) {}

ZoParseStackNode::~ZoParseStackNode() {
    deleteSiblings(reduction);
    ZoParseStackNode *chain = next;
    next = nullptr;
    zo::parse::deleteChain(chain, [](ZoParseStackNode *n) -> ZoParseStackNode *& { return n->next; });
}

ZoBacktrackPosition::ZoBacktrackPosition(ZoToken *tokenCopy, short index, ZoScanner *scanner, ZoToken *literal,
                                         ZoParseStackNode *node, ZoParseState *choiceState, ZoReduction *accumulator,
                                         short type, unsigned char *text)
    : token(tokenCopy), charIndex(index), literalScanner(scanner), literalToken(literal), stack(node),
      state(choiceState), reduction(accumulator), tokenType(type),
      tokenText(text != nullptr ? ramAllocStr(text) : nullptr) {}

ZoBacktrackPosition::~ZoBacktrackPosition() {
    delete token;
    delete literalScanner;
    delete literalToken;
    ramFree(tokenText);
    ZoBacktrackPosition *chain = next;
    next = nullptr;
    zo::parse::deleteChain(chain, [](ZoBacktrackPosition *n) -> ZoBacktrackPosition *& { return n->next; });
}

// ---- One parse ------------------------------------------------------------------------------

class ZoParseRun {
public:
    explicit ZoParseRun(ZoParser *parser) : parser_(parser), grammar_(parser->grammar_) {}
    ~ZoParseRun();
    ZoStatus run(const unsigned char *text, ZoReduction **result);

private:
    enum class Step { next, accepted, failed };

    ZoStatus setUp(const unsigned char *text);
    ZoStatus readLookahead();
    ZoStateTransition *lookup(short skip) const;
    ZoStateTransition *replayChoice(ZoStateTransition *t);
    Step perform(ZoStateTransition *t, ZoReduction **result);
    Step reduce();
    ZoStatus savePosition();
    ZoStatus restore(ZoBacktrackPosition *p);
    ZoStatus backtrack(ZoStateTransition **t);
    ZoStatus rewindForReplay(ZoBacktrackPosition *oldest);
    void popTo(ZoParseStackNode *node);
    void recycle(ZoParseStackNode *node);
    ZoParseStackNode *newNode();
    ZoStatus logChoice(short skip);
    // The path is confirmed up to here; the log starts afresh.
    void stopReplay() {
        replaying_ = false;
        logCount_ = replayAt_ = 0;
    }
    void reportFailure();
    void takeText(ZoBacktrackPosition *p);

    ZoParser *parser_;
    ZoGrammar *grammar_;
    ZoLexer *lexer_ = nullptr;
    ZoParseState *bottomState_ = nullptr;
    ZoParseStackNode *top_ = nullptr;
    ZoParseStackNode *free_ = nullptr; // popped nodes kept for reuse
    ZoParseState *state_ = nullptr;
    ZoReduction *first_ = nullptr; // current accumulator: the children so far
    ZoReduction *last_ = nullptr;
    ZoReduction *value_ = nullptr; // the goal's node once the bottom node is popped
    short type_ = 0;               // lookahead
    const unsigned char *text_ = nullptr;
    unsigned char *ownedText_ = nullptr; // lookahead text taken over from a deleted position
    short skip_ = 0;
    bool following_ = false; // this step follows a backtrack or a replay rewind
    ZoBacktrackPosition *positions_ = nullptr;
    short *log_ = nullptr; // skip taken at each ambiguous choice of the current path
    uint32_t logCount_ = 0, logCapacity_ = 0;
    bool replaying_ = false; // taking logged choices after a rewind
    uint32_t replayAt_ = 0;  // next logged choice to replay
    uint32_t idleSteps_ = 0, idleLimit_ = 0;
    uint64_t steps_ = 0, stepBudget_ = 0;
};

ZoParseRun::~ZoParseRun() {
    delete positions_;
    delete top_;
    delete free_;
    deleteSiblings(first_);
    delete value_;
    delete lexer_;
    delete bottomState_;
    ramFree(ownedText_);
    ramFree(log_);
}

ZoStatus ZoParseRun::setUp(const unsigned char *text) {
    ZoProduction *goal = grammar_->getGoal();
    if (goal == nullptr || goal->getParseState() == nullptr)
        return ZoFailure;
    bottomState_ = new ZoParseState;
    auto *accept = new ZoStateTransition;
    if (bottomState_ == nullptr || accept == nullptr) {
        delete accept;
        return ZoFailure;
    }
    (void)accept->setAction(actionAccept); // setters always succeed
    (void)bottomState_->setDefaultTransition(accept);
    top_ = new ZoParseStackNode(bottomState_, goal->getNumber(), nullptr);
    lexer_ = new ZoLexer(text, parser_->keywords_);
    if (top_ == nullptr || lexer_ == nullptr || !lexer_->isValid())
        return ZoFailure;
    if (parser_->quoteCharsSet_)
        lexer_->setQuoteChars(parser_->quoteChars_[0], parser_->quoteChars_[1], parser_->quoteChars_[2]);
    if ((parser_->validFirst_ != nullptr || parser_->validMiddle_ != nullptr || parser_->validBoth_ != nullptr) &&
        lexer_->setExtraChars(parser_->validFirst_, parser_->validMiddle_, parser_->validBoth_) != ZoSuccess)
        return ZoFailure;
    // Between two consuming or reducing steps a path can visit each state at most once; more
    // steps than that mean a loop that consumes nothing, which is treated as a dead end.
    idleLimit_ = 2 * grammar_->getStateCount() + 16;
    // A grammar with overlapping alternatives can make backtracking explore exponentially
    // many paths on input that fails late. A statement gets a number of steps in proportion
    // to its length, far above what any committed path takes (tens of steps per byte at
    // most); beyond it the statement is rejected as a syntax error instead of hanging.
    stepBudget_ = kBaseSteps + kStepsPerByte * uint64_t(BUTSTLEN(reinterpret_cast<const char *>(text)));
    state_ = goal->getParseState();
    return readLookahead();
}

ZoStatus ZoParseRun::readLookahead() {
    ramFree(ownedText_);
    ownedText_ = nullptr;
    uint16_t type = 0;
    ZoStatus status = lexer_->nextToken(&type, &text_);
    type_ = static_cast<short>(type);
    return status;
}

ZoStateTransition *ZoParseRun::lookup(short skip) const {
    ZoStateTransition *t = nullptr;
    if (state_->nextState(type_, text_, &t, skip) != ZoSuccess)
        return nullptr;
    // The goal may only complete at the end of the text.
    if (t->getAction() == actionReduce && top_->next == nullptr && type_ != lexEnd)
        return nullptr;
    return t;
}

// During a replay an ambiguous choice takes the skip that was confirmed for it.
ZoStateTransition *ZoParseRun::replayChoice(ZoStateTransition *t) {
    if (!t->isAmbiguous() || t->getTokenType() == lexLiteralContents)
        return t;
    short skip = log_[replayAt_++];
    if (replayAt_ == logCount_)
        stopReplay();
    following_ = true;
    return skip == 0 ? t : lookup(skip);
}

ZoStatus ZoParseRun::logChoice(short skip) {
    if (logCount_ == logCapacity_) {
        uint32_t capacity = logCapacity_ == 0 ? 64 : 2 * logCapacity_;
        void *grown = log_;
        if (ramResize(&grown, capacity * sizeof(short)) != ZoSuccess)
            return ZoFailure;
        log_ = static_cast<short *>(grown);
        logCapacity_ = capacity;
    }
    log_[logCount_++] = skip;
    return ZoSuccess;
}

ZoStatus ZoParseRun::savePosition() {
    ZoToken *token = nullptr, *literalToken = nullptr;
    ZoScanner *literalScanner = nullptr;
    short charIndex = 0;
    if (lexer_->savePosition(&token, &charIndex, &literalScanner, &literalToken) != ZoSuccess)
        return ZoFailure;
    auto *p = new ZoBacktrackPosition(token, charIndex, literalScanner, literalToken, top_, state_, first_, type_,
                                      const_cast<unsigned char *>(text_));
    if (p == nullptr) {
        delete token;
        delete literalScanner;
        delete literalToken;
        return ZoFailure;
    }
    p->lastReduction = last_;
    p->decision = logCount_;
    if ((text_ != nullptr && p->tokenText == nullptr) || logChoice(0) != ZoSuccess) {
        delete p;
        return ZoFailure;
    }
    p->next = positions_;
    positions_ = p;
    text_ = p->tokenText; // the lookahead text stays valid as long as the position
    return ZoSuccess;
}

ZoParseStackNode *ZoParseRun::newNode() {
    if (free_ == nullptr)
        return new ZoParseStackNode;
    ZoParseStackNode *node = free_;
    free_ = node->next;
    node->next = nullptr;
    return node;
}

// A popped node's saved children have been taken by the caller.
void ZoParseRun::recycle(ZoParseStackNode *node) {
    node->reduction = node->lastChild = nullptr;
    node->next = free_;
    free_ = node;
}

// Pops the nodes above node. While speculating no node is ever recorded, so the children
// saved in the popped nodes are either empty or the chain that the caller restores.
void ZoParseRun::popTo(ZoParseStackNode *node) {
    while (top_ != node) {
        ZoParseStackNode *popped = top_;
        top_ = popped->next;
        recycle(popped);
    }
}

ZoStatus ZoParseRun::restore(ZoBacktrackPosition *p) {
    if (lexer_->restorePosition(p->token, p->charIndex, p->literalScanner, p->literalToken) != ZoSuccess)
        return ZoFailure;
    popTo(p->stack);
    first_ = p->reduction;
    last_ = p->lastReduction;
    state_ = p->state;
    type_ = p->tokenType;
    text_ = p->tokenText;
    return ZoSuccess;
}

// The lookahead text of a position outlives it: the run keeps it until the next read.
void ZoParseRun::takeText(ZoBacktrackPosition *p) {
    if (text_ == p->tokenText) {
        ramFree(ownedText_);
        ownedText_ = p->tokenText;
        p->tokenText = nullptr;
    }
}

// Retries the newest position with its next matching transition, dropping exhausted ones.
// Fails when no position is left (after reporting the syntax error) or the lexer cannot
// return to a position.
ZoStatus ZoParseRun::backtrack(ZoStateTransition **out) {
    while (positions_ != nullptr) {
        ZoBacktrackPosition *p = positions_;
        if (restore(p) != ZoSuccess)
            return ZoFailure;
        // The skip is 16-bit: a choice with more candidates than it counts ends there.
        ZoStateTransition *t = p->skip < INT16_MAX ? lookup(++p->skip) : nullptr;
        log_[p->decision] = p->skip;
        logCount_ = p->decision + 1;
        if (t != nullptr) {
            following_ = true;
            idleSteps_ = 0;
            *out = t;
            return ZoSuccess;
        }
        takeText(p);
        positions_ = p->next;
        p->next = nullptr;
        delete p;
    }
    reportFailure();
    return ZoFailure;
}

// The oldest position's choice is confirmed: go back to it and walk the path again with
// tree building on, taking the logged choices.
ZoStatus ZoParseRun::rewindForReplay(ZoBacktrackPosition *oldest) {
    if (restore(oldest) != ZoSuccess)
        return ZoFailure;
    takeText(oldest);
    skip_ = oldest->skip;
    replayAt_ = oldest->decision + 1;
    replaying_ = true;
    if (replayAt_ == logCount_)
        stopReplay();
    following_ = true;
    idleSteps_ = 0;
    delete positions_;
    positions_ = nullptr;
    return ZoSuccess;
}

void ZoParseRun::reportFailure() {
    // FailProc runs from the bottom node upwards; the stack is linked from the top down.
    uint32_t count = top_->depth + 1;
    auto **nodes = static_cast<ZoParseStackNode **>(ramAlloc(count * sizeof(ZoParseStackNode *)));
    if (nodes == nullptr)
        return;
    uint32_t n = 0;
    for (ZoParseStackNode *node = top_; node != nullptr && n < count; node = node->next)
        nodes[n++] = node;
    ZoStateTransition *expected = nullptr;
    (void)state_->getFirstTransition(&expected); // null when the state lists no token
    ZoProduction *goal = grammar_->getGoal();
    while (n > 0) {
        short number = nodes[--n]->productionNumber;
        ZoProduction *p = goal->findByNumber(number);
        const unsigned char *name = nullptr;
        if (p != nullptr)
            (void)p->getName(&name); // null for a production without a name
        if (parser_->FailProc(type_, text_, number, name, expected) != 0)
            break;
    }
    ramFree(nodes);
}

ZoParseRun::Step ZoParseRun::reduce() {
    ZoParseStackNode *n = top_;
    if (positions_ != nullptr && positions_->stack == n) {
        // Every choice made inside n is final now: n completed with it.
        ZoBacktrackPosition *oldest = positions_;
        while (oldest->next != nullptr && oldest->next->stack == n)
            oldest = oldest->next;
        if (oldest->next == nullptr)
            return rewindForReplay(oldest) == ZoSuccess ? Step::next : Step::failed;
        ZoBacktrackPosition *rest = oldest->next;
        oldest->next = nullptr;
        for (ZoBacktrackPosition *p = positions_; p != nullptr; p = p->next)
            takeText(p);
        delete positions_;
        positions_ = rest;
    }
    ZoReduction *node = nullptr;
    if (positions_ == nullptr) {
        ZoReduction *children = first_;
        first_ = last_ = nullptr; // ReductProc owns them now
        node = parser_->ReductProc(n->productionNumber, children);
        if (parser_->lostNode_)
            return Step::failed;
    }
    first_ = n->reduction;
    last_ = n->lastChild;
    state_ = n->returnState;
    top_ = n->next;
    recycle(n);
    if (top_ == nullptr)
        value_ = node;
    else
        appendToChain(first_, last_, node);
    return Step::next;
}

ZoParseRun::Step ZoParseRun::perform(ZoStateTransition *t, ZoReduction **result) {
    switch (t->getAction()) {
    case actionShift:
        idleSteps_ = 0;
        if (positions_ == nullptr) {
            auto *token = new ZoReduction(type_, text_);
            if (token == nullptr || (text_ != nullptr && token->string() == nullptr)) {
                delete token;
                return Step::failed;
            }
            appendToChain(first_, last_, token);
        }
        if (readLookahead() != ZoSuccess)
            return Step::failed;
        state_ = t->getNextParseState();
        return Step::next;
    case actionPush: {
        ZoParseStackNode *node = newNode();
        if (node == nullptr)
            return Step::failed;
        node->returnState = t->getPushState();
        node->productionNumber = t->getProductionNumber();
        node->reduction = first_;
        node->lastChild = last_;
        node->depth = top_->depth + 1;
        node->next = top_;
        top_ = node;
        first_ = last_ = nullptr;
        state_ = t->getNextParseState();
        return Step::next;
    }
    case actionGoto: state_ = t->getNextParseState(); return Step::next;
    case actionReduce: idleSteps_ = 0; return reduce();
    case actionAccept:
        *result = value_;
        value_ = nullptr;
        return Step::accepted;
    }
    return Step::failed;
}

ZoStatus ZoParseRun::run(const unsigned char *text, ZoReduction **result) {
    if (setUp(text) != ZoSuccess)
        return ZoFailure;
    for (;;) {
        if (++steps_ > stepBudget_) {
            reportFailure();
            return ZoFailure;
        }
        ZoStateTransition *t = ++idleSteps_ > idleLimit_ ? nullptr : lookup(skip_);
        if (t != nullptr && !following_ && replaying_)
            t = replayChoice(t);
        if (t == nullptr && backtrack(&t) != ZoSuccess)
            return ZoFailure;
        skip_ = 0;
        if (t->getTokenType() == lexLiteralContents) {
            // The transition takes the whole inside of the literal being split.
            if (!lexer_->isInsideLiteral() || lexer_->takeLiteralContents(&text_) != ZoSuccess)
                return ZoFailure;
            type_ = lexLiteralContents;
        } else if (t->isAmbiguous() && !following_ && savePosition() != ZoSuccess) {
            return ZoFailure;
        }
        following_ = false;
        Step step = perform(t, result);
        if (step != Step::next)
            return step == Step::accepted ? ZoSuccess : ZoFailure;
    }
}

// ---- ZoParser -------------------------------------------------------------------------------

// A constructor cannot report: a parser whose init failed has no grammar, and parse fails.
ZoParser::ZoParser(const void *grammar, const void *keywords) { (void)init(grammar, keywords); }

ZoParser::ZoParser(resourceElement *grammar, unsigned short grammarCount, resourceElement *keywords,
                   unsigned short keywordCount) {
    (void)init(grammar, grammarCount, keywords, keywordCount);
}

ZoParser::~ZoParser() {
    release();
    ramFree(validFirst_);
    ramFree(validMiddle_);
    ramFree(validBoth_);
}

void ZoParser::release() {
    delete grammar_;
    delete keywords_;
    grammar_ = nullptr;
    keywords_ = nullptr;
    ok_ = 0;
}

ZoStatus ZoParser::finishInit(ZoKeywordList *keywords) {
    if (keywords == nullptr || grammar_ == nullptr || !grammar_->isOK()) {
        delete grammar_;
        delete keywords;
        grammar_ = nullptr;
        return ZoFailure;
    }
    keywords_ = keywords;
    ok_ = 1;
    return ZoSuccess;
}

ZoStatus ZoParser::init(const void *grammar, const void *keywords) {
    release();
    auto *list = new ZoKeywordList(keywords);
    if (list != nullptr && list->isOK())
        grammar_ = new ZoGrammar(grammar, list);
    return finishInit(list);
}

ZoStatus ZoParser::init(resourceElement *grammar, unsigned short grammarCount, resourceElement *keywords,
                        unsigned short keywordCount) {
    release();
    unsigned char *packed = zoPackResourceElements(keywords, keywordCount);
    ZoKeywordList *list = packed != nullptr ? new ZoKeywordList(packed) : nullptr;
    ramFree(packed);
    if (list != nullptr && list->isOK())
        grammar_ = new ZoGrammar(grammar, grammarCount, list);
    return finishInit(list);
}

ZoStatus ZoParser::changeGoal(const unsigned char *name) {
    return grammar_ != nullptr ? grammar_->changeGoal(name) : ZoFailure;
}

void ZoParser::setLiteralQuoteChars(unsigned short first, unsigned short second, unsigned short third) {
    quoteChars_[0] = first;
    quoteChars_[1] = second;
    quoteChars_[2] = third;
    quoteCharsSet_ = 1;
}

ZoStatus ZoParser::setValidFirstChars(const unsigned char *chars) { return zo::parse::replaceText(validFirst_, chars); }
ZoStatus ZoParser::setValidMiddleChars(const unsigned char *chars) {
    return zo::parse::replaceText(validMiddle_, chars);
}
ZoStatus ZoParser::setValidChars(const unsigned char *chars) { return zo::parse::replaceText(validBoth_, chars); }

ZoStatus ZoParser::parse(const unsigned char *text, ZoReduction **result) {
    if (!ok_) {
        *result = nullptr;
        return ZoFailure;
    }
    lostNode_ = 0;
    ZoParseRun run(this);
    return run.run(text, result);
}

ZoReduction *ZoParser::ReductProc(short number, ZoReduction *children) {
    auto *node = new ZoReduction(number, nullptr);
    if (node == nullptr) {
        // The parse cannot report a complete tree: the engine fails it.
        deleteSiblings(children);
        lostNode_ = 1;
        return nullptr;
    }
    node->adoptChildren(children);
    return node;
}

int ZoParser::FailProc(short, const unsigned char *, short, const unsigned char *, ZoStateTransition *) { return 1; }
