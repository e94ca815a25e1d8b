// Node of the tree that a successful parse returns: one node per recognised production and
// one per consumed token.
#pragma once

#include <zo/zoobject.h>

// Numbers below 1000 are token types (terminal nodes); 1000 and above are production numbers.
// A node owns its children (the chain from its first child along the next-sibling links);
// the parent link does not own.
class ZO_API ZoReduction : public ZoObject {
public:
    ZoReduction() = default;
    // terminal = (number != 0 && number < 1000); the text is copied (null stays null). A failed
    // copy leaves the string null.
    ZoReduction(short number, const unsigned char *text);
    // Frees the text and the whole subtree (without recursion, so a tree of any depth can be
    // deleted), then unlinks the node from its siblings. The parent's child link is left as
    // it is: a caller that deletes the first child of a kept parent resets that link itself.
    ~ZoReduction() override;
    ZoReduction(const ZoReduction &) = delete;
    ZoReduction &operator=(const ZoReduction &) = delete;

    const unsigned char *string() const { return string_; }
    // Replaces the text by a copy (null clears); failure when the copy cannot be allocated,
    // and the old text is then kept.
    ZoStatus setString(const unsigned char *text);

    short reductNumber() const { return number_; }
    // Sets the number and terminal = (n < 1000).
    void setReductNumber(short n);
    int terminal() const { return terminal_; }
    void setTerminal(int terminal) { terminal_ = terminal; }

    // Link getters store the link (possibly null) and succeed.
    ZoStatus getChild(ZoReduction **out) const;
    ZoStatus getNextSibling(ZoReduction **out) const;
    ZoStatus getPrevSibling(ZoReduction **out) const;
    ZoStatus getParent(ZoReduction **out) const;
    // The topmost node above this one (this node when it has no parent).
    ZoStatus getGoal(ZoReduction **out);
    // Kept for callers of the historical interface: succeeds and leaves *out unchanged.
    ZoStatus getNextReduction(ZoReduction **out) const;

    // Link setters store the link and succeed.
    ZoStatus setChild(ZoReduction *node);
    ZoStatus setNextSibling(ZoReduction *node);
    ZoStatus setPrevSibling(ZoReduction *node);
    ZoStatus setParent(ZoReduction *node);

    // Makes this node the parent of child and appends child at the end of the child chain.
    // Adding null does nothing and succeeds.
    ZoStatus addChild(ZoReduction *child);
    // Makes the chain starting at first this node's children and sets their parent links.
    void adoptChildren(ZoReduction *first);

private:
    int terminal_ = 0;
    short number_ = 0;
    unsigned char *string_ = nullptr;
    ZoReduction *parent_ = nullptr;
    ZoReduction *child_ = nullptr;
    ZoReduction *next_ = nullptr;
    ZoReduction *prev_ = nullptr;
};
