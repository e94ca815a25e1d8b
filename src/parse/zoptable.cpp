// Parse tables: transitions, states, and the construction of a production's state machine.
#include "parse/parseint.h"

#include <zo/strfuncs.h>

namespace {

// Transition types that a split literal's quote character matches.
constexpr short typeBackquote = 9, typeDoubleQuote = 32, typeSingleQuote = 33;

} // namespace

// ---- ZoStateTransition ----------------------------------------------------------------------

ZoStateTransition::~ZoStateTransition() {
    // The list after this transition is deleted by walking it, not by recursion.
    ZoStateTransition *chain = next_;
    next_ = nullptr;
    zo::parse::deleteChain(chain, [](ZoStateTransition *n) -> ZoStateTransition *& { return n->next_; });
    ramFree(string_);
}

ZoStatus ZoStateTransition::setTokenType(short type) {
    type_ = type;
    return ZoSuccess;
}
ZoStatus ZoStateTransition::setNextParseState(ZoParseState *state) {
    nextState_ = state;
    return ZoSuccess;
}
ZoStatus ZoStateTransition::setAction(ActionType action) {
    action_ = action;
    return ZoSuccess;
}
ZoStatus ZoStateTransition::setPushState(ZoParseState *state) {
    pushState_ = state;
    return ZoSuccess;
}
ZoStatus ZoStateTransition::setProductionNumber(short number) {
    production_ = number;
    return ZoSuccess;
}
ZoStatus ZoStateTransition::setNextTransition(ZoStateTransition *next) {
    next_ = next;
    return ZoSuccess;
}
ZoStatus ZoStateTransition::setPrevTransition(ZoStateTransition *prev) {
    prev_ = prev;
    return ZoSuccess;
}

ZoStatus ZoStateTransition::setTokenString(const unsigned char *text) { return zo::parse::replaceText(string_, text); }

ZoStatus ZoStateTransition::getNextTransition(ZoStateTransition **out) const {
    return zo::parse::storeLink(next_, out);
}

ZoStatus ZoStateTransition::getPrevTransition(ZoStateTransition **out) const {
    return zo::parse::storeLink(prev_, out);
}

ZoStatus ZoStateTransition::match(short type, const unsigned char *text) const {
    if (type_ == lexLiteralContents)
        return ZoSuccess;
    if (type == lexQuote) {
        // A quote character of a split literal matches the transition of that character.
        unsigned char quote = text != nullptr ? text[0] : 0;
        bool ok = (type_ == typeBackquote && quote == '`') || (type_ == typeDoubleQuote && quote == '"') ||
                  (type_ == typeSingleQuote && quote == '\'');
        return ok ? ZoSuccess : ZoFailure;
    }
    if (type != type_)
        return ZoFailure;
    if (type != lexWord || string_ == nullptr)
        return ZoSuccess;
    return text != nullptr && strEqualCi(text, string_) ? ZoSuccess : ZoFailure;
}

ZoStatus ZoStateTransition::addToListEnd(ZoStateTransition *t) {
    ZoStateTransition *last = this;
    for (ZoStateTransition *e = this; e != nullptr; e = e->next_) {
        if (e->match(t->type_, t->string_) == ZoSuccess)
            e->ambiguous_ = t->ambiguous_ = 1;
        last = e;
    }
    last->next_ = t;
    t->prev_ = last;
    return ZoSuccess;
}

ZoStateTransition *ZoStateTransition::copy() const {
    auto *t = new ZoStateTransition;
    if (t == nullptr || t->setTokenString(string_) != ZoSuccess) {
        delete t;
        return nullptr;
    }
    t->type_ = type_;
    t->nextState_ = nextState_;
    t->action_ = action_;
    t->pushState_ = pushState_;
    t->production_ = production_;
    return t;
}

// ---- ZoParseState ---------------------------------------------------------------------------

ZoParseState::~ZoParseState() {
    delete transitions_;
    delete default_;
    ZoParseState *chain = next_;
    next_ = nullptr;
    zo::parse::deleteChain(chain, [](ZoParseState *n) -> ZoParseState *& { return n->next_; });
}

ZoStatus ZoParseState::addTransition(ZoStateTransition *t) {
    if (transitions_ == nullptr) {
        transitions_ = t;
        return ZoSuccess;
    }
    return transitions_->addToListEnd(t);
}

ZoStatus ZoParseState::getFirstTransition(ZoStateTransition **out) const {
    return zo::parse::storeLink(transitions_, out);
}

ZoStatus ZoParseState::setDefaultTransition(ZoStateTransition *t) {
    delete default_;
    default_ = t;
    return ZoSuccess;
}

ZoStatus ZoParseState::getDefaultTransition(ZoStateTransition **out) const {
    return zo::parse::storeLink(default_, out);
}

ZoStatus ZoParseState::getNextState(ZoParseState **out) const { return zo::parse::storeLink(next_, out); }

ZoStatus ZoParseState::setNextState(ZoParseState *state) {
    next_ = state;
    return ZoSuccess;
}

ZoStatus ZoParseState::getPrevState(ZoParseState **out) const { return zo::parse::storeLink(prev_, out); }

ZoStatus ZoParseState::setPrevState(ZoParseState *state) {
    prev_ = state;
    return ZoSuccess;
}

ZoStatus ZoParseState::nextState(short type, const unsigned char *text, ZoStateTransition **out, short skip) const {
    short matched = 0;
    for (ZoStateTransition *t = transitions_; t != nullptr; t = t->next_) {
        // Most transitions differ in type: rule them out before the full match.
        if (t->type_ != type && t->type_ != lexLiteralContents && type != lexQuote)
            continue;
        if (t->match(type, text) == ZoSuccess) {
            if (matched == skip) {
                *out = t;
                return ZoSuccess;
            }
            ++matched;
        }
    }
    if (default_ != nullptr && matched == skip) {
        *out = default_;
        return ZoSuccess;
    }
    return ZoFailure;
}

// ---- State machine construction -------------------------------------------------------------

namespace {

// Builds the machine of one production. Every state it makes is appended to the production's
// chain through a tail pointer, so appending stays constant time.
class StateBuilder {
public:
    explicit StateBuilder(ZoProduction *production) : production_(production) {
        tail_ = production->getParseState();
        ZoParseState *next = nullptr;
        while (tail_->getNextState(&next) == ZoSuccess)
            tail_ = next;
    }

    ZoStatus build(uint32_t *stateCount) {
        ZoBNFElement *first = nullptr;
        ZoStatus status = ZoSuccess;
        if (production_->getCompiledProduction(&first) == ZoSuccess)
            status = buildAlternatives(production_->getParseState(), first, nullptr, true, closureOnce);
        *stateCount += made_;
        return status;
    }

private:
    ZoParseState *newState() {
        auto *state = new ZoParseState;
        if (state == nullptr)
            return nullptr;
        (void)tail_->setNextState(state); // link setters always succeed
        tail_ = state;
        ++made_;
        return state;
    }

    // A state whose default transition ends the production.
    ZoParseState *newReduceState() {
        ZoParseState *state = newState();
        if (state == nullptr || setDefault(state, nullptr) != ZoSuccess)
            return nullptr;
        return state;
    }

    // A new transition; null when an allocation fails.
    static ZoStateTransition *newTransition(short type, const unsigned char *text, ActionType action,
                                            ZoParseState *next) {
        auto *t = new ZoStateTransition;
        if (t == nullptr || t->setTokenString(text) != ZoSuccess) {
            delete t;
            return nullptr;
        }
        // Setters always succeed.
        (void)t->setTokenType(type);
        (void)t->setAction(action);
        (void)t->setNextParseState(next);
        return t;
    }

    // Default transition of state: a goto to next, or a reduce when there is no next.
    static ZoStatus setDefault(ZoParseState *state, ZoParseState *next) {
        ZoStateTransition *t = newTransition(0, nullptr, next != nullptr ? actionGoto : actionReduce, next);
        return t != nullptr ? state->setDefaultTransition(t) : ZoFailure;
    }

    // Appends to `to` a goto to `target` for every listed transition of `from`.
    static ZoStatus copyAsGotos(ZoParseState *to, const ZoParseState *from, ZoParseState *target) {
        ZoStateTransition *t = nullptr;
        for (ZoStatus more = from->getFirstTransition(&t); more == ZoSuccess; more = t->getNextTransition(&t)) {
            ZoStateTransition *c = newTransition(t->getTokenType(), t->getTokenString(), actionGoto, target);
            if (c == nullptr)
                return ZoFailure;
            (void)to->addTransition(c); // linking a made transition always succeeds
        }
        return ZoSuccess;
    }

    // Entry state E also takes the tokens of the states that an alternative reaches from its
    // start S by default gotos (the alternative's leading optional items), going straight to
    // the state that takes them. E itself is skipped: a goto from E to E would consume nothing.
    ZoStatus copyDefaultGotoTargets(ZoParseState *entry, ZoParseState *start) {
        ZoStateTransition *d = nullptr;
        ZoParseState *x = start;
        for (uint32_t steps = 0; steps <= made_ && x->getDefaultTransition(&d) == ZoSuccess &&
                                 d->getAction() == actionGoto && d->getNextParseState() != nullptr;
             ++steps) {
            x = d->getNextParseState();
            if (x != entry && copyAsGotos(entry, x, x) != ZoSuccess)
                return ZoFailure;
        }
        return ZoSuccess;
    }

    ZoStatus buildAlternatives(ZoParseState *entry, ZoBNFElement *first, ZoParseState *cont, bool loop,
                               ClosureType closure) {
        if (!loop && setDefault(entry, cont) != ZoSuccess)
            return ZoFailure;
        ZoParseState *repeat = cont;
        if (closure == closureOneOrMore && loop) {
            repeat = newState();
            if (repeat == nullptr)
                return ZoFailure;
        } else if (closure == closureZeroOrMore && !loop) {
            repeat = entry;
        }
        for (ZoBNFElement *alt = first; alt != nullptr;) {
            ZoParseState *start = newState();
            if (start == nullptr || buildSequence(start, alt, repeat) != ZoSuccess ||
                copyAsGotos(entry, start, start) != ZoSuccess || copyDefaultGotoTargets(entry, start) != ZoSuccess)
                return ZoFailure;
            if (alt->getNextAlternation(&alt) != ZoSuccess)
                break;
        }
        if (closure != closureOneOrMore || !loop)
            return ZoSuccess;
        // After one pass through the group the machine may take it again or leave.
        ZoStateTransition *t = nullptr;
        for (ZoStatus more = entry->getFirstTransition(&t); more == ZoSuccess; more = t->getNextTransition(&t)) {
            ZoStateTransition *c = t->copy();
            if (c == nullptr)
                return ZoFailure;
            (void)repeat->addTransition(c); // linking a made transition always succeeds
        }
        return setDefault(repeat, cont);
    }

    ZoStatus buildSequence(ZoParseState *start, ZoBNFElement *item, ZoParseState *cont) {
        ZoParseState *from = start;
        while (item != nullptr) {
            ZoBNFElement *next = nullptr;
            bool last = item->getNextSequential(&next) != ZoSuccess;
            ZoParseState *target = last ? cont : newState();
            if ((!last && target == nullptr) || buildItem(from, item, target) != ZoSuccess)
                return ZoFailure;
            from = target;
            item = last ? nullptr : next;
        }
        return ZoSuccess;
    }

    ZoStatus buildItem(ZoParseState *from, ZoBNFElement *item, ZoParseState *target) {
        if (item->getBracket() != bracketNone) {
            ZoBNFElement *contents = nullptr;
            (void)item->getContains(&contents); // stays null for empty brackets
            bool optional = item->getBracket() == bracketOptional;
            bool loop = !optional && item->getClosure() != closureZeroOrMore;
            return buildAlternatives(from, contents, target, loop, optional ? closureOnce : item->getClosure());
        }
        ZoParseState *next = target != nullptr ? target : newReduceState();
        if (next == nullptr)
            return ZoFailure;
        ZoProduction *callee = nullptr;
        if (item->getNonTerminal(&callee) == ZoSuccess)
            return addCalls(from, callee, next);
        ZoStateTransition *t = newTransition(item->getTokenType(), item->getTokenStringPtr(), actionShift, next);
        return t != nullptr ? from->addTransition(t) : ZoFailure;
    }

    // A reference is entered on each first token of the called production.
    static ZoStatus addCalls(ZoParseState *from, ZoProduction *callee, ZoParseState *back) {
        ZoTokenNode *node = nullptr;
        for (ZoStatus more = callee->getFirstList(&node); more == ZoSuccess; more = node->nextNode(&node)) {
            ZoStateTransition *t =
                newTransition(node->getTokenType(), node->getTokenString(), actionPush, callee->getParseState());
            if (t == nullptr)
                return ZoFailure;
            // Setters and linking a made transition always succeed.
            (void)t->setPushState(back);
            (void)t->setProductionNumber(callee->getNumber());
            (void)from->addTransition(t);
        }
        return ZoSuccess;
    }

    ZoProduction *production_;
    ZoParseState *tail_ = nullptr;
    uint32_t made_ = 0;
};

} // namespace

ZoStatus zo::parse::buildStates(ZoProduction *production, uint32_t *stateCount) {
    return StateBuilder(production).build(stateCount);
}
