#include <zo/zolist.h>

ZoNode::~ZoNode() = default;

ZoList::~ZoList() = default;

void ZoList::linkAfter(ZoNode *predecessor, ZoNode *node) {
    node->link_ = predecessor->link_;
    predecessor->link_ = node;
    ++nodeCount_;
}

void ZoList::insert(ZoNode *node) {
    if (last_ == nullptr) {
        node->link_ = node;
        last_ = node;
        nodeCount_ = 1;
        return;
    }
    linkAfter(last_, node);
}

void ZoList::append(ZoNode *node) {
    insert(node);
    last_ = node;
}

void ZoList::insertAtPos(ZoNode *node, uint32_t pos) {
    if (pos == 0)
        insert(node);
    else if (pos >= nodeCount_)
        append(node);
    else
        linkAfter(getNodeAtPos(pos - 1), node);
}

ZoNode *ZoList::getNodeAtPos(uint32_t pos) {
    ZoNode *node = first();
    for (uint32_t i = 0; i < pos && node != nullptr; ++i)
        node = after(node);
    return current_ = node;
}

void ZoList::unlink(ZoNode *node) {
    // A node that is not in the list is left alone rather than looping for ever.
    ZoNode *predecessor = last_;
    for (uint32_t steps = 0; predecessor != nullptr && predecessor->link_ != node; ++steps)
        predecessor = steps < nodeCount_ ? predecessor->link_ : nullptr;
    if (predecessor == nullptr)
        return;
    if (predecessor == node) {
        last_ = nullptr;
    } else {
        predecessor->link_ = node->link_;
        if (node == last_)
            last_ = predecessor;
    }
    node->link_ = nullptr;
    --nodeCount_;
    if (current_ == node)
        current_ = nullptr;
}

void ZoList::deleteNodes() {
    while (last_ != nullptr) {
        current_ = first();
        ZoNode *node = current_;
        unlink(node);
        delete node;
    }
    current_ = nullptr;
}

ZoNode *ZoList::removeFirstNode() {
    ZoNode *node = first();
    if (node != nullptr)
        unlink(node);
    return node;
}

ZoNode *ZoList::removeLastNode() {
    ZoNode *node = last_;
    if (node != nullptr)
        unlink(node);
    return node;
}

void ZoList::moveLastNodeToPos(uint32_t pos) {
    if (ZoNode *node = removeLastNode())
        insertAtPos(node, pos);
}
