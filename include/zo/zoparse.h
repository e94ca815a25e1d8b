// Grammar-driven parsing: grammar elements and the grammar compiler, the parse tables built
// from a compiled grammar, and the backtracking parse engine.
//
// A driver describes its statements as numbered productions in a BNF-like notation, packed
// into a resource block together with a keyword list. ZoParser compiles them once and then
// parses statements into a tree of ZoReduction nodes, calling ReductProc once per committed
// reduction and FailProc to report a syntax error.
#pragma once

#include <cstdint>

#include <zo/zolexer.h>
#include <zo/zoobject.h>
#include <zo/zoreduct.h>

class ZoParseState;
class ZoProduction;

// What a transition does in the engine.
enum ActionType : int {
    actionPush = 0,   // call a production; the token is not consumed
    actionReduce = 1, // the current production is complete
    actionShift = 2,  // consume the token and record it
    actionGoto = 3,   // move to another state without consuming
    actionAccept = 4  // the whole input is accepted
};

enum BracketType : int { bracketNone = 0, bracketOptional = 1, bracketGroup = 2 };
enum ClosureType : int { closureOnce = 0, closureZeroOrMore = 1, closureOneOrMore = 2 };

// ---- Parse tables ---------------------------------------------------------------------------

// One edge of a production's state machine. A transition owns the transitions after it in its
// list. Link getters fail when the link is null; setters succeed unless a copy fails.
class ZO_API ZoStateTransition : public ZoObject {
public:
    ZoStateTransition() = default;
    ~ZoStateTransition() override;
    ZoStateTransition(const ZoStateTransition &) = delete;
    ZoStateTransition &operator=(const ZoStateTransition &) = delete;

    ZoStatus setTokenType(short type);
    ZoStatus setTokenString(const unsigned char *text);
    ZoStatus setNextParseState(ZoParseState *state);
    ZoStatus setAction(ActionType action);
    ZoStatus setPushState(ZoParseState *state);
    ZoStatus setProductionNumber(short number);
    ZoStatus setNextTransition(ZoStateTransition *next);
    ZoStatus setPrevTransition(ZoStateTransition *prev);
    ZoStatus getNextTransition(ZoStateTransition **out) const;
    ZoStatus getPrevTransition(ZoStateTransition **out) const;

    short getTokenType() const { return type_; }
    const unsigned char *getTokenString() const { return string_; }
    ZoParseState *getNextParseState() const { return nextState_; }
    ActionType getAction() const { return action_; }
    ZoParseState *getPushState() const { return pushState_; }
    short getProductionNumber() const { return production_; }
    int isAmbiguous() const { return ambiguous_; }

    // Success when a lookahead of this lexer type and text can take this transition.
    ZoStatus match(short type, const unsigned char *text) const;
    // Called on the first transition of a list: appends t at the end, first marking t and
    // every listed transition that accepts t's type and string as ambiguous.
    ZoStatus addToListEnd(ZoStateTransition *t);
    // A new transition with the same type, string, next state, action, push state and
    // production number (not linked, not ambiguous); null when an allocation fails.
    ZoStateTransition *copy() const;

private:
    friend class ZoParseState; // its lookup walks the list directly

    short type_ = 0;
    unsigned char *string_ = nullptr;
    ZoParseState *nextState_ = nullptr;
    ActionType action_ = actionGoto;
    ZoParseState *pushState_ = nullptr;
    short production_ = 0;
    int ambiguous_ = 0;
    ZoStateTransition *prev_ = nullptr;
    ZoStateTransition *next_ = nullptr;
};

// A state of a production's machine. A state owns its transitions, its default transition and
// the states after it in its production's chain.
class ZO_API ZoParseState : public ZoObject {
public:
    ZoParseState() = default;
    ~ZoParseState() override;
    ZoParseState(const ZoParseState &) = delete;
    ZoParseState &operator=(const ZoParseState &) = delete;

    ZoStatus addTransition(ZoStateTransition *t);
    ZoStatus getFirstTransition(ZoStateTransition **out) const;
    ZoStatus setDefaultTransition(ZoStateTransition *t);
    ZoStatus getDefaultTransition(ZoStateTransition **out) const;
    ZoStatus getNextState(ZoParseState **out) const;
    ZoStatus setNextState(ZoParseState *state);
    ZoStatus getPrevState(ZoParseState **out) const;
    ZoStatus setPrevState(ZoParseState *state);

    // The transition that a lookahead takes after `skip` other matching transitions have been
    // tried: the (skip+1)-th matching listed transition, else the default transition when
    // exactly `skip` listed ones match; failure otherwise.
    ZoStatus nextState(short type, const unsigned char *text, ZoStateTransition **out, short skip) const;

private:
    ZoStateTransition *transitions_ = nullptr;
    ZoParseState *next_ = nullptr;
    ZoParseState *prev_ = nullptr;
    ZoStateTransition *default_ = nullptr;
};

// ---- Grammar --------------------------------------------------------------------------------

// Node of a first-token list: the types (and, for words, the texts) that can begin a
// production. A node owns the nodes after it.
class ZO_API ZoTokenNode : public ZoObject {
public:
    ZoTokenNode() = default;
    // A failed text copy leaves the string null; check getTokenString when it matters.
    ZoTokenNode(short type, const unsigned char *text);
    // Copies list's first node, then adds the rest of list by addToList.
    explicit ZoTokenNode(ZoTokenNode *list);
    ~ZoTokenNode() override;
    ZoTokenNode(const ZoTokenNode &) = delete;
    ZoTokenNode &operator=(const ZoTokenNode &) = delete;

    // Does nothing when a node of this type is already in the list (texts not compared);
    // otherwise inserts a new node right after this first node.
    ZoStatus addToList(short type, const unsigned char *text);
    ZoStatus addToList(ZoTokenNode *list);
    ZoStatus nextNode(ZoTokenNode **out) const;
    short getTokenType() const { return type_; }
    const unsigned char *getTokenString() const { return string_; }

private:
    short type_ = 0;
    unsigned char *string_ = nullptr;
    ZoTokenNode *next_ = nullptr;
};

// One item of a compiled production: a terminal, a reference to a production, or a bracket
// holding alternatives. An item owns its next alternation, its next sequential item and its
// contents, so deleting a production's first item deletes the whole tree.
class ZO_API ZoBNFElement : public ZoObject {
public:
    ZoBNFElement() = default;
    ~ZoBNFElement() override;
    ZoBNFElement(const ZoBNFElement &) = delete;
    ZoBNFElement &operator=(const ZoBNFElement &) = delete;

    short getTokenType() const { return type_; }
    ZoStatus setTokenType(short type);
    // Copies the text into buffer (size bytes, NUL included; truncated to fit); failure when
    // there is no text or no room.
    ZoStatus getTokenString(unsigned char *buffer, uint32_t size) const;
    const unsigned char *getTokenStringPtr() const { return string_; }
    ZoStatus setTokenString(const unsigned char *text);
    int getLiteral() const { return literal_; }
    ZoStatus setLiteral(int literal);
    BracketType getBracket() const { return bracket_; }
    ZoStatus setBracket(BracketType bracket);
    ClosureType getClosure() const { return closure_; }
    ZoStatus setClosure(ClosureType closure);

    ZoStatus getPrevAlternation(ZoBNFElement **out) const;
    ZoStatus setPrevAlternation(ZoBNFElement *e);
    ZoStatus getNextAlternation(ZoBNFElement **out) const;
    ZoStatus setNextAlternation(ZoBNFElement *e);
    ZoStatus getPrevSequential(ZoBNFElement **out) const;
    ZoStatus setPrevSequential(ZoBNFElement *e);
    ZoStatus getNextSequential(ZoBNFElement **out) const;
    ZoStatus setNextSequential(ZoBNFElement *e);
    ZoStatus getContains(ZoBNFElement **out) const;
    ZoStatus setContains(ZoBNFElement *e);
    ZoStatus getContainedBy(ZoBNFElement **out) const;
    ZoStatus setContainedBy(ZoBNFElement *e);
    ZoStatus getNonTerminal(ZoProduction **out) const;
    ZoStatus setNonTerminal(ZoProduction *p);

private:
    BracketType bracket_ = bracketNone;
    ClosureType closure_ = closureOnce;
    short type_ = 0;
    int literal_ = 0;
    unsigned char *string_ = nullptr;
    ZoBNFElement *prevAlt_ = nullptr;
    ZoBNFElement *nextAlt_ = nullptr;
    ZoBNFElement *prevSeq_ = nullptr;
    ZoBNFElement *nextSeq_ = nullptr;
    ZoBNFElement *contains_ = nullptr;
    ZoBNFElement *containedBy_ = nullptr;
    ZoProduction *nonTerminal_ = nullptr;
};

// A named, numbered production with its compiled items, first list and state machine. A
// production owns the productions after it in the grammar's chain.
class ZO_API ZoProduction : public ZoObject {
public:
    // The start state is created here; a production whose start state could not be allocated
    // has getParseState() null and cannot be compiled.
    ZoProduction();
    ~ZoProduction() override;
    ZoProduction(const ZoProduction &) = delete;
    ZoProduction &operator=(const ZoProduction &) = delete;

    ZoStatus getName(const unsigned char **out) const;
    ZoStatus setName(const unsigned char *name);
    short getNumber() const { return number_; }
    ZoStatus setNumber(short number);
    ZoStatus getCompiledProduction(ZoBNFElement **out) const;
    ZoStatus setCompiledProduction(ZoBNFElement *first);
    ZoStatus getFirstList(ZoTokenNode **out) const;
    ZoStatus setFirstList(ZoTokenNode *list);
    ZoStatus getNextProduction(ZoProduction **out) const;
    ZoStatus setNextProduction(ZoProduction *next);
    // Appends p at the end of the chain that starts here.
    ZoStatus addToEnd(ZoProduction *p);
    ZoParseState *getParseState() const { return state_; }
    // The production of that number in the chain starting here, or null.
    ZoProduction *findByNumber(short number);

private:
    unsigned char *name_ = nullptr;
    short number_ = 0;
    ZoBNFElement *compiled_ = nullptr;
    ZoTokenNode *firstList_ = nullptr;
    ZoProduction *next_ = nullptr;
    ZoParseState *state_ = nullptr;
};

// A compiled grammar: the production chain and its goal.
class ZO_API ZoGrammar : public ZoObject {
public:
    ZoGrammar() = default;
    ZoGrammar(const void *packed, ZoKeywordList *keywords);
    ZoGrammar(resourceElement *productions, unsigned short count, ZoKeywordList *keywords);
    ~ZoGrammar() override;
    ZoGrammar(const ZoGrammar &) = delete;
    ZoGrammar &operator=(const ZoGrammar &) = delete;

    // Compiles a packed block of productions with the keyword list given at construction;
    // replaces whatever was compiled before.
    ZoStatus compile(const void *packed);
    int isOK() const { return ok_; }
    // Makes the production of that name the goal and keeps a copy of the name; failure when no
    // production has that name (the previous goal stays).
    ZoStatus changeGoal(const unsigned char *name);

    ZoProduction *getProductions() const { return productions_; }
    ZoProduction *getGoal() const { return goal_; }
    ZoKeywordList *getKeywordList() const { return keywords_; }
    // Number of parse states built for all productions (the engine bounds non-consuming steps
    // with it).
    uint32_t getStateCount() const { return stateCount_; }

private:
    void release();
    ZoStatus compileProductions(const unsigned char *block);
    ZoStatus resolveReferences();
    ZoProduction *findByName(const unsigned char *name) const;

    int ok_ = 0;
    ZoProduction *productions_ = nullptr;
    ZoProduction *goal_ = nullptr;
    unsigned char *goalName_ = nullptr;
    ZoKeywordList *keywords_ = nullptr;
    uint32_t stateCount_ = 0;
};

// ---- Parse engine ---------------------------------------------------------------------------

// One production call on the engine's stack. The node keeps the caller's partial list of
// children (first and last) while the callee runs, and owns it.
class ZO_API ZoParseStackNode : public ZoObject {
public:
    ZoParseStackNode() = default;
    ZoParseStackNode(ZoParseState *returnState, short number, ZoReduction *reduction);
    // Deletes the saved children and the nodes below (without recursion).
    ~ZoParseStackNode() override;
    ZoParseStackNode(const ZoParseStackNode &) = delete;
    ZoParseStackNode &operator=(const ZoParseStackNode &) = delete;

    ZoParseState *returnState = nullptr;
    short productionNumber = 0;
    ZoReduction *reduction = nullptr; // first saved child
    ZoReduction *lastChild = nullptr; // last saved child
    uint32_t depth = 0;               // 0 for the bottom node
    ZoParseStackNode *next = nullptr; // the node below
};

// Everything needed to retry an ambiguous choice. Positions are chained newest first; a
// position owns its copies and the older positions behind it.
class ZO_API ZoBacktrackPosition : public ZoObject {
public:
    ZoBacktrackPosition() = default;
    // Copies text; check tokenText when text was not null.
    ZoBacktrackPosition(ZoToken *token, short charIndex, ZoScanner *literalScanner, ZoToken *literalToken,
                        ZoParseStackNode *stack, ZoParseState *state, ZoReduction *reduction, short tokenType,
                        unsigned char *text);
    // Deletes the copies and the older positions (without recursion).
    ~ZoBacktrackPosition() override;
    ZoBacktrackPosition(const ZoBacktrackPosition &) = delete;
    ZoBacktrackPosition &operator=(const ZoBacktrackPosition &) = delete;

    ZoToken *token = nullptr;
    short charIndex = 0;
    ZoScanner *literalScanner = nullptr;
    ZoToken *literalToken = nullptr;
    ZoParseStackNode *stack = nullptr;
    ZoParseState *state = nullptr;
    ZoReduction *reduction = nullptr;     // first child of the accumulator at the choice
    ZoReduction *lastReduction = nullptr; // and its last child
    short tokenType = 0;
    unsigned char *tokenText = nullptr;
    short skip = 0;
    uint32_t decision = 0; // index of this choice in the engine's decision log
    ZoBacktrackPosition *next = nullptr;
};

class ZO_API ZoParser : public ZoObject {
public:
    ZoParser() = default;
    ZoParser(const void *grammar, const void *keywords);
    ZoParser(resourceElement *grammar, unsigned short grammarCount, resourceElement *keywords,
             unsigned short keywordCount);
    ~ZoParser() override;
    ZoParser(const ZoParser &) = delete;
    ZoParser &operator=(const ZoParser &) = delete;

    // Replace the grammar and keyword list; success when the new grammar compiled.
    ZoStatus init(const void *grammar, const void *keywords);
    ZoStatus init(resourceElement *grammar, unsigned short grammarCount, resourceElement *keywords,
                  unsigned short keywordCount);
    int isOK() const { return ok_; }
    ZoStatus changeGoal(const unsigned char *name);
    ZoGrammar *getGrammar() const { return grammar_; }

    void setLiteralQuoteChars(unsigned short first, unsigned short second, unsigned short third);
    // Extra characters that may start, continue, or start and continue words of statements.
    ZoStatus setValidFirstChars(const unsigned char *chars);
    ZoStatus setValidMiddleChars(const unsigned char *chars);
    ZoStatus setValidChars(const unsigned char *chars);

    // Parses a NUL-terminated statement. On success *result is the root of the tree (owned by
    // the caller). On failure *result is unchanged, except that a parser that is not OK
    // stores null.
    ZoStatus parse(const unsigned char *text, ZoReduction **result);

    // Called once per committed reduction, innermost first, with the production's number and
    // its first child (a sibling chain in input order, which ReductProc then owns). The result
    // becomes a child of the enclosing production, or the parse result for the goal. The
    // default builds a production node; an override may return null to drop the subtree (it
    // then deletes the children itself). When the default cannot allocate its node it deletes
    // the children and the parse fails.
    virtual ZoReduction *ReductProc(short number, ZoReduction *children);
    // Syntax error report, called from the outermost production inwards until it returns
    // nonzero. The default returns 1.
    virtual int FailProc(short tokenType, const unsigned char *tokenText, short productionNumber,
                         const unsigned char *productionName, ZoStateTransition *expected);

private:
    friend class ZoParseRun;
    void release();
    ZoStatus finishInit(ZoKeywordList *keywords);

    int ok_ = 0;
    ZoGrammar *grammar_ = nullptr;
    ZoKeywordList *keywords_ = nullptr;
    int quoteCharsSet_ = 0;
    unsigned short quoteChars_[3] = {0, 0, 0};
    unsigned char *validFirst_ = nullptr;
    unsigned char *validMiddle_ = nullptr;
    unsigned char *validBoth_ = nullptr;
    int lostNode_ = 0; // the default ReductProc could not allocate a node
};
