// Singly linked circular list of nodes, with a cursor for positional access.
#pragma once

#include <cstdint>

#include <zo/zoobject.h>

class ZoList;

// Base of every object kept in a ZoList. An unlinked node has a null link.
class ZO_API ZoNode : public ZoObject {
public:
    ZoNode() = default;
    ~ZoNode() override;
    ZoNode(const ZoNode &) = delete;
    ZoNode &operator=(const ZoNode &) = delete;

    // The following node in the list (the first node, for the last one); null when unlinked.
    ZoNode *getLink() const { return link_; }

private:
    friend class ZoList;
    ZoNode *link_ = nullptr;
};

// A circular list: the last node links to the first. The list does not own its nodes;
// a user that does calls deleteNodes before destroying it. Positions count from the first
// node at 0. Nodes passed in must not be in a list already; positions are preconditions.
class ZO_API ZoList : public ZoObject {
public:
    ZoList() = default;
    ~ZoList() override;
    ZoList(const ZoList &) = delete;
    ZoList &operator=(const ZoList &) = delete;

    // node becomes the first node.
    void insert(ZoNode *node);
    // node becomes the last node.
    void append(ZoNode *node);
    // node is linked after the node at pos-1 (found with getNodeAtPos, which leaves the
    // cursor on it); pos 0 inserts, pos == count (or beyond) appends.
    void insertAtPos(ZoNode *node, uint32_t pos);
    // Removes a node of this list without destroying it; clears the cursor if it was on it.
    // A node that is not in the list is ignored.
    void unlink(ZoNode *node);
    // Unlinks and destroys every node, first to last.
    void deleteNodes();

    uint32_t getCount() const { return nodeCount_; }
    ZoNode *getCurrent() const { return current_; }

    // Cursor operations: each leaves the cursor on the node it returns (null past the end).
    ZoNode *getLastNode() { return current_ = last_; }
    ZoNode *getFirstNode() { return current_ = first(); }
    ZoNode *getNextNode() { return current_ = after(current_); }
    // The node pos steps from the first one; null for pos >= count.
    ZoNode *getNodeAtPos(uint32_t pos);

    ZoNode *removeFirstNode();
    ZoNode *removeLastNode();
    // Unlinks the last node and inserts it at pos, counted in the list without it.
    // Does nothing on an empty list.
    void moveLastNodeToPos(uint32_t pos);

private:
    ZoNode *first() const { return last_ != nullptr ? last_->link_ : nullptr; }
    // The node after node in list order; null after the last node (and for null).
    ZoNode *after(const ZoNode *node) const { return node == nullptr || node == last_ ? nullptr : node->link_; }
    void linkAfter(ZoNode *predecessor, ZoNode *node);

    ZoNode *last_ = nullptr;
    uint32_t nodeCount_ = 0;
    ZoNode *current_ = nullptr;
};
