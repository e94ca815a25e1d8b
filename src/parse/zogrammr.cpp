// Grammar elements: items, first-token lists, productions, and the first-list computation.
#include "parse/parseint.h"

// ---- ZoTokenNode ----------------------------------------------------------------------------

ZoTokenNode::ZoTokenNode(short type, const unsigned char *text)
    : type_(type), string_(text != nullptr ? ramAllocStr(text) : nullptr) {}

ZoTokenNode::ZoTokenNode(ZoTokenNode *list) : ZoTokenNode(list->type_, list->string_) {
    // A constructor cannot report: a copy that runs out of memory ends early. The library
    // never copies lists this way; a caller that must know builds with addToList instead.
    if (list->next_ != nullptr)
        (void)addToList(list->next_);
}

ZoTokenNode::~ZoTokenNode() {
    ZoTokenNode *chain = next_;
    next_ = nullptr;
    zo::parse::deleteChain(chain, [](ZoTokenNode *n) -> ZoTokenNode *& { return n->next_; });
    ramFree(string_);
}

ZoStatus ZoTokenNode::addToList(short type, const unsigned char *text) {
    for (ZoTokenNode *node = this; node != nullptr; node = node->next_)
        if (node->type_ == type)
            return ZoSuccess;
    auto *node = new ZoTokenNode(type, text);
    if (node == nullptr || (text != nullptr && node->string_ == nullptr)) {
        delete node;
        return ZoFailure;
    }
    node->next_ = next_;
    next_ = node;
    return ZoSuccess;
}

ZoStatus ZoTokenNode::addToList(ZoTokenNode *list) {
    for (; list != nullptr; list = list->next_)
        if (addToList(list->type_, list->string_) != ZoSuccess)
            return ZoFailure;
    return ZoSuccess;
}

ZoStatus ZoTokenNode::nextNode(ZoTokenNode **out) const {
    if (next_ == nullptr)
        return ZoFailure;
    *out = next_;
    return ZoSuccess;
}

// ---- ZoBNFElement ---------------------------------------------------------------------------

ZoBNFElement::~ZoBNFElement() {
    // The owned tree is taken apart without recursion: pending items are chained through
    // their previous-sequential links, which are no longer needed once deletion starts.
    ZoBNFElement *pending = nullptr;
    auto push = [&pending](ZoBNFElement *item) {
        if (item != nullptr) {
            item->prevSeq_ = pending;
            pending = item;
        }
    };
    push(nextAlt_);
    push(nextSeq_);
    push(contains_);
    nextAlt_ = nextSeq_ = contains_ = nullptr;
    while (pending != nullptr) {
        ZoBNFElement *item = pending;
        pending = item->prevSeq_;
        push(item->nextAlt_);
        push(item->nextSeq_);
        push(item->contains_);
        item->nextAlt_ = item->nextSeq_ = item->contains_ = nullptr;
        delete item;
    }
    ramFree(string_);
}

ZoStatus ZoBNFElement::setTokenType(short type) {
    type_ = type;
    return ZoSuccess;
}
ZoStatus ZoBNFElement::setLiteral(int literal) {
    literal_ = literal;
    return ZoSuccess;
}
ZoStatus ZoBNFElement::setBracket(BracketType bracket) {
    bracket_ = bracket;
    return ZoSuccess;
}
ZoStatus ZoBNFElement::setClosure(ClosureType closure) {
    closure_ = closure;
    return ZoSuccess;
}

ZoStatus ZoBNFElement::getTokenString(unsigned char *buffer, uint32_t size) const {
    if (string_ == nullptr || size == 0)
        return ZoFailure;
    uint32_t n = 0;
    for (; n + 1 < size && string_[n] != 0; ++n)
        buffer[n] = string_[n];
    buffer[n] = 0;
    return ZoSuccess;
}

ZoStatus ZoBNFElement::setTokenString(const unsigned char *text) { return zo::parse::replaceText(string_, text); }

#define ZO_LINK_ACCESSORS(Name, Type, member)                                                                          \
    ZoStatus ZoBNFElement::get##Name(Type **out) const { return zo::parse::storeLink(member, out); }                   \
    ZoStatus ZoBNFElement::set##Name(Type *value) {                                                                    \
        member = value;                                                                                                \
        return ZoSuccess;                                                                                              \
    }

ZO_LINK_ACCESSORS(PrevAlternation, ZoBNFElement, prevAlt_)
ZO_LINK_ACCESSORS(NextAlternation, ZoBNFElement, nextAlt_)
ZO_LINK_ACCESSORS(PrevSequential, ZoBNFElement, prevSeq_)
ZO_LINK_ACCESSORS(NextSequential, ZoBNFElement, nextSeq_)
ZO_LINK_ACCESSORS(Contains, ZoBNFElement, contains_)
ZO_LINK_ACCESSORS(ContainedBy, ZoBNFElement, containedBy_)
ZO_LINK_ACCESSORS(NonTerminal, ZoProduction, nonTerminal_)

#undef ZO_LINK_ACCESSORS

// ---- ZoProduction ---------------------------------------------------------------------------

ZoProduction::ZoProduction() : state_(new ZoParseState) {}

ZoProduction::~ZoProduction() {
    ramFree(name_);
    delete compiled_;
    delete firstList_;
    delete state_;
    ZoProduction *chain = next_;
    next_ = nullptr;
    zo::parse::deleteChain(chain, [](ZoProduction *n) -> ZoProduction *& { return n->next_; });
}

ZoStatus ZoProduction::getName(const unsigned char **out) const {
    return zo::parse::storeLink<const unsigned char>(name_, out);
}

ZoStatus ZoProduction::setName(const unsigned char *name) { return zo::parse::replaceText(name_, name); }

ZoStatus ZoProduction::setNumber(short number) {
    number_ = number;
    return ZoSuccess;
}
ZoStatus ZoProduction::setCompiledProduction(ZoBNFElement *first) {
    compiled_ = first;
    return ZoSuccess;
}
ZoStatus ZoProduction::setFirstList(ZoTokenNode *list) {
    firstList_ = list;
    return ZoSuccess;
}
ZoStatus ZoProduction::setNextProduction(ZoProduction *next) {
    next_ = next;
    return ZoSuccess;
}

ZoStatus ZoProduction::getCompiledProduction(ZoBNFElement **out) const { return zo::parse::storeLink(compiled_, out); }

ZoStatus ZoProduction::getFirstList(ZoTokenNode **out) const { return zo::parse::storeLink(firstList_, out); }

ZoStatus ZoProduction::getNextProduction(ZoProduction **out) const { return zo::parse::storeLink(next_, out); }

ZoStatus ZoProduction::addToEnd(ZoProduction *p) {
    ZoProduction *last = this;
    while (last->next_ != nullptr)
        last = last->next_;
    last->next_ = p;
    return ZoSuccess;
}

ZoProduction *ZoProduction::findByNumber(short number) {
    for (ZoProduction *p = this; p != nullptr; p = p->next_)
        if (p->number_ == number)
            return p;
    return nullptr;
}

// ---- First lists ----------------------------------------------------------------------------

namespace {

// Computes first lists. While a production's list is being computed its first-list link holds
// a marker; meeting the marker again means the production begins with itself without consuming
// a token: the grammar is left-recursive and is rejected (the computation would not end).
class FirstLists {
public:
    static ZoStatus computeAll(ZoProduction *productions) {
        for (ZoProduction *p = productions; p != nullptr;) {
            if (compute(p) != ZoSuccess)
                return ZoFailure;
            if (p->getNextProduction(&p) != ZoSuccess)
                break;
        }
        return ZoSuccess;
    }

private:
    static ZoTokenNode *inProgress() {
        static char marker;
        return reinterpret_cast<ZoTokenNode *>(&marker);
    }

    // The marker is always replaced before returning, by the list built so far.
    static ZoStatus compute(ZoProduction *p) {
        ZoTokenNode *list = nullptr;
        if (p->getFirstList(&list) == ZoSuccess)
            return list == inProgress() ? ZoFailure : ZoSuccess;
        // Setters always succeed; the getter leaves null for an empty production.
        (void)p->setFirstList(inProgress());
        ZoBNFElement *first = nullptr;
        (void)p->getCompiledProduction(&first);
        list = nullptr;
        ZoStatus status = addAlternatives(&list, first);
        (void)p->setFirstList(list);
        return status;
    }

    static ZoStatus add(ZoTokenNode **list, short type, const unsigned char *text) {
        if (*list != nullptr)
            return (*list)->addToList(type, text);
        *list = new ZoTokenNode(type, text);
        if (*list != nullptr && text != nullptr && (*list)->getTokenString() == nullptr) {
            delete *list;
            *list = nullptr;
        }
        return *list != nullptr ? ZoSuccess : ZoFailure;
    }

    static ZoStatus addAlternatives(ZoTokenNode **list, ZoBNFElement *alt) {
        for (; alt != nullptr;) {
            if (addItem(list, alt) != ZoSuccess)
                return ZoFailure;
            if (alt->getNextAlternation(&alt) != ZoSuccess)
                break;
        }
        return ZoSuccess;
    }

    static ZoStatus addItem(ZoTokenNode **list, ZoBNFElement *item) {
        ZoProduction *callee = nullptr;
        if (item->getNonTerminal(&callee) == ZoSuccess) {
            ZoTokenNode *calleeList = nullptr;
            if (compute(callee) != ZoSuccess)
                return ZoFailure;
            if (callee->getFirstList(&calleeList) != ZoSuccess)
                return ZoSuccess;
            for (; calleeList != nullptr;) {
                if (add(list, calleeList->getTokenType(), calleeList->getTokenString()) != ZoSuccess)
                    return ZoFailure;
                if (calleeList->nextNode(&calleeList) != ZoSuccess)
                    break;
            }
            return ZoSuccess;
        }
        if (item->getBracket() == bracketNone)
            return add(list, item->getTokenType(), item->getTokenStringPtr());
        ZoBNFElement *contents = nullptr, *follower = nullptr;
        (void)item->getContains(&contents); // stays null for empty brackets
        if (addAlternatives(list, contents) != ZoSuccess)
            return ZoFailure;
        bool skippable = item->getBracket() == bracketOptional || item->getClosure() == closureZeroOrMore;
        if (skippable && item->getNextSequential(&follower) == ZoSuccess)
            return addItem(list, follower);
        return ZoSuccess;
    }
};

} // namespace

ZoStatus zo::parse::computeFirstLists(ZoProduction *productions) { return FirstLists::computeAll(productions); }
