// Positional tree: a B-tree of relative positions whose shifts touch one root-to-leaf path.
//
// Nodes are those of the B-tree (key 4 bytes, the caller's datum, deletion mark); the key
// of a triad is the entry's position minus the base of its node, and the reserved 16-bit
// field of the node header is the rebase mark:
//
//   offset  width  field
//   0       2      count (keys + 1)
//   2       2      rebase mark: 1 while a node made by a split holds absolute keys
//   4       4      the node's own store offset
//   8       4      child 0
//   12      ...    triads: relative position, datum, mark, padding, next child
#include <zo/zoptree.h>

namespace {

// Stored keys in position order, 0xFFFFFFFF standing for -1. Deleting the entry at
// position 0 where it lies in an inner node leaves its marked triad there, one below the
// first position; its right subtree stays relative to it.
short positionCompare(const void *searchKey, const void *nodeKey, uint32_t) {
    uint32_t a;
    uint32_t b;
    std::memcpy(&a, searchKey, sizeof a);
    std::memcpy(&b, nodeKey, sizeof b);
    a += 1;
    b += 1;
    return a < b ? -1 : (a > b ? 1 : 0);
}

} // namespace

ZoPTree::ZoPTree(uint16_t dataLength) : ZoTree(4, dataLength, positionCompare, 1, 0, 0) { markPositional(); }

ZoPTree::~ZoPTree() = default;

// ---- shifting operations ----------------------------------------------------------------

ZoStatus ZoPTree::addAtPos(uint32_t position, const void *data) {
    if (position > MaxPosition)
        return ZoFailure;
    shiftUp_ = 1;
    unsigned int found;
    ZoStatus status = add(&position, data, &found);
    shiftUp_ = 0;
    return status;
}

ZoStatus ZoPTree::addHoleAtPos(uint32_t position) {
    if (position > MaxPosition)
        return ZoFailure;
    if (getRoot() == 0)
        return ZoSuccess;
    shiftUp_ = 1;
    uint32_t node;
    uint16_t index;
    unsigned int found;
    ZoStatus status = treeSearch(&position, node, index, found, &getCursor(), 0);
    shiftUp_ = 0;
    return status;
}

ZoStatus ZoPTree::deleteKeyAtPos(uint32_t position, unsigned int *found) {
    if (found != nullptr)
        *found = 0;
    // No entry lies there, and none after it.
    if (position > MaxPosition)
        return ZoSuccess;
    shiftDown_ = 1;
    ZoStatus status = deleteKeyAndData(&position, nullptr, found);
    shiftDown_ = 0;
    return status;
}

// Moves the keys from index `from` on by one, up or down as the running operation shifts;
// every subtree right of them moves with them.
void ZoPTree::shiftKeys(ZoTreeNode *node, uint16_t from) const {
    if (shiftUp_ == 0 && shiftDown_ == 0)
        return;
    const uint32_t step = shiftUp_ != 0 ? 1u : 0xFFFFFFFFu;
    for (uint32_t i = from; i + 1u < node->count; ++i) {
        unsigned char *triad = triadAt(node, i);
        storeKey(triad, storedKey(triad) + step);
    }
}

// ---- search -----------------------------------------------------------------------------

// Walks down by relative position: entering child c takes the key left of it off the
// position sought and adds it to the iterator's base. While shifting, each node on the
// path moves its keys from the search index on. A match ends the search, except when
// shifting up, which always continues to the leaf where the new entry goes.
ZoStatus ZoPTree::treeSearch(const void *key, uint32_t &node, uint16_t &index, unsigned int &found, ZoTreeIterator *it,
                             unsigned int toLeaf) {
    it->clear();
    found = 0;
    node = 0;
    index = 0;
    const bool shifting = shiftUp_ != 0 || shiftDown_ != 0;
    uint32_t sought = storedKey(static_cast<const unsigned char *>(key));
    for (uint32_t offset = getRoot(); offset != 0;) {
        ZoTreeNode *current;
        if (it->depth_ == ZoTreeIterator::MaxDepth || nodeAt(offset, &current, shifting) != ZoSuccess)
            return ZoFailure;
        const unsigned match = nodeSearch(current, &sought, index);
        it->push(offset, index);
        node = offset;
        shiftKeys(current, index);
        if (match != 0 && shiftUp_ == 0 && toLeaf == 0) {
            found = 1;
            break;
        }
        offset = childAt(current, index);
        if (offset != 0) {
            const uint32_t left = keyLeftOf(current, index);
            sought -= left;
            it->positionBase_ += left;
        }
    }
    it->setPositioned(found != 0);
    noteSearchDepth(it, found);
    return ZoSuccess;
}

// ---- splits -----------------------------------------------------------------------------

// The pending key is relative to the node being split, whose base is the cursor's. The
// new node's keys and the separator leave as absolute positions, the new node marked,
// until the separator has its place in the parent (insertWithSplit then calls doDecKeys).
// A right child coming up with the pending key is re-based at once, unless the pending key
// is itself the separator: the right child then becomes the new node's child 0 and shares
// its base, so the same doDecKeys re-bases both.
ZoStatus ZoPTree::split(uint32_t node, uint16_t index, uint32_t newNode, uint32_t rightChild) {
    const uint32_t base = getCursor().getPositionBase();
    const uint32_t pendingPosition = storedKey(pendingKey()) + base;
    if (rightChild != 0 && index != getOrder() / 2 && doDecKeys(rightChild, pendingPosition) != ZoSuccess)
        return ZoFailure;
    if (ZoTree::split(node, index, newNode, rightChild) != ZoSuccess)
        return ZoFailure;
    ZoTreeNode *fresh;
    if (nodeAt(newNode, &fresh, true) != ZoSuccess)
        return ZoFailure;
    for (uint32_t i = 0; i + 1u < fresh->count; ++i) {
        unsigned char *triad = triadAt(fresh, i);
        storeKey(triad, storedKey(triad) + base);
    }
    fresh->reserved = 1;
    storeKey(separatorKey(), storedKey(separatorKey()) + base);
    return ZoSuccess;
}

// Makes marked nodes relative to a base `amount`: from node down through child 0 links,
// up to the first node that is not marked.
ZoStatus ZoPTree::doDecKeys(uint32_t node, uint32_t amount) {
    while (node != 0) {
        ZoTreeNode *current;
        if (nodeAt(node, &current, false) != ZoSuccess)
            return ZoFailure;
        if (current->reserved == 0)
            break;
        if (nodeAt(node, &current, true) != ZoSuccess)
            return ZoFailure;
        for (uint32_t i = 0; i + 1u < current->count; ++i) {
            unsigned char *triad = triadAt(current, i);
            storeKey(triad, storedKey(triad) - amount);
        }
        current->reserved = 0;
        node = current->child0;
    }
    return ZoSuccess;
}

// ---- iteration --------------------------------------------------------------------------

// An entry reached reports its absolute position: its stored key plus the base of its node.
ZoStatus ZoPTree::reportPosition(ZoStatus moved, void *key, ZoTreeIterator *it) {
    const ZoTreeIterator *at = it != nullptr ? it : &getCursor();
    if (moved == ZoSuccess && key != nullptr && at->isPositioned()) {
        auto *bytes = static_cast<unsigned char *>(key);
        storeKey(bytes, storedKey(bytes) + at->getPositionBase());
    }
    return moved;
}

ZoStatus ZoPTree::getFirst(void *key, void *data, unsigned int *found, ZoTreeIterator *it) {
    return reportPosition(ZoTree::getFirst(key, data, found, it), key, it);
}

ZoStatus ZoPTree::getNext(void *key, void *data, unsigned int *found, ZoTreeIterator *it) {
    return reportPosition(ZoTree::getNext(key, data, found, it), key, it);
}

ZoStatus ZoPTree::getPrevious(void *key, void *data, unsigned int *found, ZoTreeIterator *it) {
    return reportPosition(ZoTree::getPrevious(key, data, found, it), key, it);
}

ZoStatus ZoPTree::getLast(void *key, void *data, unsigned int *found, ZoTreeIterator *it) {
    return reportPosition(ZoTree::getLast(key, data, found, it), key, it);
}
