// Reduction tree nodes.
#include <zo/zoreduct.h>

#include "parse/parseint.h"

namespace {

constexpr short kFirstProductionNumber = 1000;

ZoReduction *lastOf(ZoReduction *node) {
    ZoReduction *next = nullptr;
    while (node->getNextSibling(&next) == ZoSuccess && next != nullptr)
        node = next;
    return node;
}

} // namespace

ZoReduction::ZoReduction(short number, const unsigned char *text)
    : terminal_(number != 0 && number < kFirstProductionNumber), number_(number),
      string_(text != nullptr ? ramAllocStr(text) : nullptr) {}

ZoReduction::~ZoReduction() {
    // The subtree is taken apart through a pending chain instead of by recursion: each node
    // taken from the chain has its children spliced in front of the rest, so it is deleted
    // with no children and no siblings and its own destructor does no further work.
    ZoReduction *pending = child_;
    child_ = nullptr;
    while (pending != nullptr) {
        ZoReduction *node = pending;
        pending = node->next_;
        if (node->child_ != nullptr) {
            lastOf(node->child_)->next_ = pending;
            pending = node->child_;
            node->child_ = nullptr;
        }
        node->next_ = node->prev_ = nullptr;
        delete node;
    }
    ramFree(string_);
    if (prev_ != nullptr)
        prev_->next_ = next_;
    if (next_ != nullptr)
        next_->prev_ = prev_;
}

ZoStatus ZoReduction::setString(const unsigned char *text) { return zo::parse::replaceText(string_, text); }

ZoStatus zo::parse::replaceText(unsigned char *&slot, const unsigned char *text) {
    unsigned char *copy = nullptr;
    if (text != nullptr && (copy = ramAllocStr(text)) == nullptr)
        return ZoFailure;
    ramFree(slot);
    slot = copy;
    return ZoSuccess;
}

void ZoReduction::setReductNumber(short n) {
    number_ = n;
    terminal_ = n < kFirstProductionNumber;
}

ZoStatus ZoReduction::getChild(ZoReduction **out) const {
    *out = child_;
    return ZoSuccess;
}
ZoStatus ZoReduction::getNextSibling(ZoReduction **out) const {
    *out = next_;
    return ZoSuccess;
}
ZoStatus ZoReduction::getPrevSibling(ZoReduction **out) const {
    *out = prev_;
    return ZoSuccess;
}
ZoStatus ZoReduction::getParent(ZoReduction **out) const {
    *out = parent_;
    return ZoSuccess;
}
ZoStatus ZoReduction::getNextReduction(ZoReduction **) const { return ZoSuccess; }

ZoStatus ZoReduction::getGoal(ZoReduction **out) {
    ZoReduction *node = this;
    while (node->parent_ != nullptr)
        node = node->parent_;
    *out = node;
    return ZoSuccess;
}

ZoStatus ZoReduction::setChild(ZoReduction *node) {
    child_ = node;
    return ZoSuccess;
}
ZoStatus ZoReduction::setNextSibling(ZoReduction *node) {
    next_ = node;
    return ZoSuccess;
}
ZoStatus ZoReduction::setPrevSibling(ZoReduction *node) {
    prev_ = node;
    return ZoSuccess;
}
ZoStatus ZoReduction::setParent(ZoReduction *node) {
    parent_ = node;
    return ZoSuccess;
}

ZoStatus ZoReduction::addChild(ZoReduction *child) {
    if (child == nullptr)
        return ZoSuccess;
    child->parent_ = this;
    child->next_ = nullptr;
    if (child_ == nullptr) {
        child->prev_ = nullptr;
        child_ = child;
    } else {
        ZoReduction *last = lastOf(child_);
        last->next_ = child;
        child->prev_ = last;
    }
    return ZoSuccess;
}

void ZoReduction::adoptChildren(ZoReduction *first) {
    child_ = first;
    for (ZoReduction *node = first; node != nullptr; node = node->next_)
        node->parent_ = this;
}
