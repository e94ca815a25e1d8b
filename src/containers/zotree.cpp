// B-tree of fixed-length keys and data kept in pages of a scratch store.
#include <zo/zotree.h>

#include <cstring>
#include <utility>

namespace {

constexpr uint32_t MaxOrder = 49;
// Bytes of a node page available to triads: the header takes 12.
constexpr uint32_t NodeRoom = 2036;

uint32_t triadSizeFor(uint32_t keyLength, uint32_t dataLength, bool deletable) {
    uint32_t size = keyLength + dataLength + 4 + (deletable ? 1 : 0);
    size = (size + 1) & ~1u;
    return (size + 3) & ~3u;
}

} // namespace

short treeU32Compare(const void *searchKey, const void *nodeKey, uint32_t) {
    uint32_t a;
    uint32_t b;
    std::memcpy(&a, searchKey, sizeof a);
    std::memcpy(&b, nodeKey, sizeof b);
    return a < b ? -1 : (a > b ? 1 : 0);
}

// ---- iterator ----------------------------------------------------------------------------

ZoTreeIterator::~ZoTreeIterator() = default;

ZoStatus ZoTreeIterator::initialize(ZoTree *tree) {
    tree_ = tree;
    positionBase_ = 0;
    clear();
    return ZoSuccess;
}

// ---- construction ------------------------------------------------------------------------

ZoTree::ZoTree(uint16_t keyLength, uint16_t dataLength, CompareKeys compareKeys, unsigned int deletable,
               unsigned int duplicates, unsigned int noLock)
    : keyLength_(keyLength), dataLength_(dataLength), compareKeys_(compareKeys),
      treeFlags_((deletable != 0 ? uint32_t{Deletable} : 0u) | (duplicates != 0 ? uint32_t{Duplicates} : 0u)),
      order_(0), triadSize_(0), nodeSize_(0), markSize_(deletable != 0 ? 1 : 0), store_(32768, noLock) {
    uint32_t triad = triadSizeFor(keyLength, dataLength, deletable != 0);
    // A triad too large for two keys a node leaves order 0: the tree then refuses adds.
    if (triad <= MaxTriadSize) {
        uint32_t order = NodeRoom / triad + 1;
        order_ = static_cast<uint16_t>(order < MaxOrder ? order : MaxOrder);
        triadSize_ = static_cast<uint16_t>(triad);
        nodeSize_ = static_cast<uint16_t>((order_ - 1) * triad + 12);
    }
    store_.setPinLimit(PinnedNodePages);
    (void)cursor_.initialize(this); // the cursor's path is a fixed array: it cannot fail
    // Reserve a byte so that no node lies at offset 0, which means "no child".
    store_.getContiguousSpace(1);
}

ZoTree::~ZoTree() { ramFree(scratch_); }

void ZoTree::reset() {
    root_ = 0;
    keyCount_ = 0;
    nodeCount_ = 0;
    maxDepth_ = 0;
    lastDepth_ = 0;
    cursor_.clear();
    store_.tmpTruncate(0);
    store_.getContiguousSpace(1);
}

// The scratch buffers, carved from one block: the pending key and datum of an insertion,
// the separator a split hands up, and a datum kept aside by changeKey. Data buffers carry
// the deletion mark in the byte after the datum.
ZoStatus ZoTree::prepareFirstAdd() {
    if (scratch_ != nullptr)
        return ZoSuccess;
    uint32_t dataBytes = dataLength_ + markSize_;
    scratch_ = static_cast<unsigned char *>(ramAlloc(2 * keyLength_ + 3 * dataBytes));
    if (scratch_ == nullptr)
        return ZoFailure;
    keyBuffer_ = scratch_;
    splitKey_ = keyBuffer_ + keyLength_;
    dataBuffer_ = splitKey_ + keyLength_;
    splitData_ = dataBuffer_ + dataBytes;
    savedData_ = splitData_ + dataBytes;
    return ZoSuccess;
}

// ---- nodes -------------------------------------------------------------------------------

short ZoTree::compareKey(const void *searchKey, const void *nodeKey) const {
    if (compareKeys_ != nullptr)
        return compareKeys_(searchKey, nodeKey, keyLength_);
    if (compareWithContext_ != nullptr)
        return compareWithContext_(compareContext_, searchKey, nodeKey);
    return BUTMMCMP(searchKey, nodeKey, keyLength_);
}

// Without duplicates: binary search in which a marked equal key sorts above the search
// key. Marked equal keys always lie after the one live equal key (a key added again goes
// before its marked twins), so the search finds the live one wherever it is.
// With duplicates: the first position whose key is not below the search key, marks
// ignored; 1 when a live equal key stands there.
unsigned ZoTree::nodeSearch(ZoTreeNode *node, const void *key, uint16_t &index) {
    int keys = node->count - 1;
    if ((treeFlags_ & Duplicates) != 0) {
        int lo = 0;
        int hi = keys;
        while (lo < hi) {
            int mid = (lo + hi) / 2;
            if (compareKey(key, triadAt(node, mid)) > 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        index = static_cast<uint16_t>(lo);
        return lo < keys && !isMarked(triadAt(node, lo)) && compareKey(key, triadAt(node, lo)) == 0 ? 1 : 0;
    }
    int lo = 0;
    int hi = keys - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        const unsigned char *triad = triadAt(node, mid);
        short result = compareKey(key, triad);
        if (result > 0) {
            lo = mid + 1;
        } else if (result < 0 || isMarked(triad)) {
            hi = mid - 1;
        } else {
            index = static_cast<uint16_t>(mid);
            return 1;
        }
    }
    index = static_cast<uint16_t>(lo);
    return 0;
}

ZoStatus ZoTree::makeNode(uint32_t &node, const void *key, const void *data) {
    uint32_t offset = store_.getContiguousSpace(nodeSize_);
    ZoTreeNode *fresh;
    if (offset == 0 || nodeAt(offset, &fresh, true) != ZoSuccess)
        return ZoFailure;
    std::memset(fresh, 0, nodeSize_);
    fresh->self = offset;
    if (key != nullptr) {
        fresh->count = 2;
        unsigned char *triad = triadAt(fresh, 0);
        std::memcpy(triad, key, keyLength_);
        copyDatum(triad + keyLength_, data);
    }
    if (nodeCount_ != 0xFFFF)
        ++nodeCount_;
    node = offset;
    return ZoSuccess;
}

// Opens a gap at index (the triads after it move up with the children that follow them),
// stores the key and datum there and rightChild after them. keepMark takes the deletion
// mark from the byte after the datum.
void ZoTree::insertInNode(ZoTreeNode *node, uint16_t index, const void *key, const void *data, uint32_t rightChild,
                          unsigned int keepMark) {
    unsigned char *triad = triadAt(node, index);
    std::memmove(triad + triadSize_, triad, static_cast<size_t>(node->count - 1 - index) * triadSize_);
    std::memcpy(triad, key, keyLength_);
    copyDatum(triad + keyLength_, data);
    if (markSize_ != 0)
        triad[keyLength_ + dataLength_] = keepMark != 0 ? static_cast<const unsigned char *>(data)[dataLength_] : 0;
    childAt(node, index + 1) = rightChild;
    ++node->count;
}

// Child first and triads first .. order - 2 of a full node (with the children that follow
// them) become the whole of another node.
void ZoTree::copyTriads(ZoTreeNode *to, ZoTreeNode *from, uint16_t first) {
    childAt(to, 0) = childAt(from, first);
    std::memcpy(triadAt(to, 0), triadAt(from, first), static_cast<size_t>(order_ - 1 - first) * triadSize_);
    to->count = static_cast<uint16_t>(order_ - first);
}

// Splits a full node around its middle while the pending key (keyBuffer/dataBuffer) goes
// in at index with rightChild after it. The old node keeps the lower keys, newNode gets
// the upper ones, and the separator is left in splitKey/splitData.
ZoStatus ZoTree::split(uint32_t node, uint16_t index, uint32_t newNode, uint32_t rightChild) {
    ZoTreeNode *old;
    ZoTreeNode *fresh;
    // Two pages of one set stay resident together, so both pointers hold.
    if (nodeAt(node, &old, true) != ZoSuccess || nodeAt(newNode, &fresh, true) != ZoSuccess)
        return ZoFailure;
    uint16_t half = static_cast<uint16_t>(order_ / 2);
    uint32_t dataBytes = dataLength_ + markSize_;
    if (index == half) {
        copyTriads(fresh, old, half);
        childAt(fresh, 0) = rightChild;
        old->count = static_cast<uint16_t>(half + 1);
        std::memcpy(splitKey_, keyBuffer_, keyLength_);
        std::memcpy(splitData_, dataBuffer_, dataBytes);
        return ZoSuccess;
    }
    uint16_t separator = index > half ? half : static_cast<uint16_t>(half - 1);
    const unsigned char *triad = triadAt(old, separator);
    std::memcpy(splitKey_, triad, keyLength_);
    std::memcpy(splitData_, triad + keyLength_, dataBytes);
    copyTriads(fresh, old, static_cast<uint16_t>(separator + 1));
    old->count = static_cast<uint16_t>(separator + 1);
    if (index > half)
        insertInNode(fresh, static_cast<uint16_t>(index - half - 1), keyBuffer_, dataBuffer_, rightChild, 1);
    else
        insertInNode(old, index, keyBuffer_, dataBuffer_, rightChild, 1);
    return ZoSuccess;
}

// Inserts into a full leaf: splits it and every full node above it on the cursor's search
// path, each split handing its separator up; a full root makes a new root above it.
//
// In a positional tree the pending key is relative to the node it goes into. A split hands
// its separator up as an absolute position and leaves the new node marked with absolute
// keys; once the separator has its place, doDecKeys makes the new node relative to it.
// The cursor's positionBase follows the walk up: it is the base of the node at hand.
ZoStatus ZoTree::insertWithSplit(uint32_t node, uint16_t index, const void *key, const void *data) {
    std::memcpy(keyBuffer_, key, keyLength_);
    copyDatum(dataBuffer_, data);
    if (markSize_ != 0)
        dataBuffer_[dataLength_] = 0;
    uint32_t rightChild = 0;
    uint32_t separatorPosition = 0;
    uint32_t level = cursor_.depth_ - 1;
    for (;;) {
        ZoTreeNode *current;
        if (nodeAt(node, &current, true) != ZoSuccess)
            return ZoFailure;
        if (rightChild != 0 && isPositional()) {
            cursor_.positionBase_ -= keyLeftOf(current, index);
            storeKey(keyBuffer_, separatorPosition - cursor_.positionBase_);
        }
        if (current->count < order_) {
            insertInNode(current, index, keyBuffer_, dataBuffer_, rightChild, 1);
            return rightChild != 0 ? doDecKeys(rightChild, separatorPosition) : ZoSuccess;
        }
        uint32_t newNode;
        if (makeNode(newNode, nullptr, nullptr) != ZoSuccess)
            return ZoFailure;
        if (rightChild != 0)
            keepInMemory(newNode);
        if (split(node, index, newNode, rightChild) != ZoSuccess)
            return ZoFailure;
        // The separator is the key pending for the level above.
        std::swap(keyBuffer_, splitKey_);
        std::swap(dataBuffer_, splitData_);
        rightChild = newNode;
        separatorPosition = isPositional() ? storedKey(keyBuffer_) : 0;
        if (level == 0)
            break;
        --level;
        node = cursor_.pathNodes_[level];
        index = static_cast<uint16_t>(cursor_.pathIndexes_[level]);
    }
    // The root's base is 0: the separator's absolute position is its key there.
    uint32_t newRoot;
    ZoTreeNode *top;
    if (makeNode(newRoot, keyBuffer_, dataBuffer_) != ZoSuccess)
        return ZoFailure;
    keepInMemory(newRoot);
    if (nodeAt(newRoot, &top, true) != ZoSuccess)
        return ZoFailure;
    if (markSize_ != 0)
        triadAt(top, 0)[keyLength_ + dataLength_] = dataBuffer_[dataLength_];
    childAt(top, 0) = node;
    childAt(top, 1) = rightChild;
    root_ = newRoot;
    return doDecKeys(rightChild, separatorPosition);
}

ZoStatus ZoTree::doDecKeys(uint32_t, uint32_t) { return ZoSuccess; }

// Every search passes through the inner nodes, a few hundred at most for a million keys:
// their pages are pinned in the store (up to its pin limit), so that a lookup reads at most
// its leaf from the file. Called right after the node is made, while no node pointer is held.
void ZoTree::keepInMemory(uint32_t innerNode) {
    (void)store_.tmpPinPage(innerNode); // an unpinned page is only slower to reach
}

// ---- search ------------------------------------------------------------------------------

// Walks from the root, recording the path in the iterator. Without duplicates the walk
// stops at a node holding the key (unless toLeaf). With duplicates it always ends in a
// leaf, in the gap before the first equal key; unless toLeaf it then steps onto the first
// live entry and keeps that position when its key is equal.
ZoStatus ZoTree::treeSearch(const void *key, uint32_t &node, uint16_t &index, unsigned int &found, ZoTreeIterator *it,
                            unsigned int toLeaf) {
    it->clear();
    found = 0;
    node = 0;
    index = 0;
    uint32_t offset = root_;
    while (offset != 0) {
        ZoTreeNode *current;
        if (it->depth_ == ZoTreeIterator::MaxDepth || nodeAt(offset, &current, false) != ZoSuccess)
            return ZoFailure;
        unsigned match = nodeSearch(current, key, index);
        it->push(offset, index);
        node = offset;
        if (match != 0 && toLeaf == 0 && (treeFlags_ & Duplicates) == 0) {
            found = 1;
            break;
        }
        offset = childAt(current, index);
    }
    lastDepth_ = static_cast<uint16_t>(it->depth_);
    if ((treeFlags_ & Duplicates) != 0 && toLeaf == 0 && root_ != 0 && findFirstEqual(key, found, it) != ZoSuccess)
        return ZoFailure;
    if (found != 0) {
        it->setPositioned(true);
        node = it->topNode();
        index = static_cast<uint16_t>(it->topIndex());
        if (it->depth_ > maxDepth_)
            maxDepth_ = static_cast<uint16_t>(it->depth_);
    }
    return ZoSuccess;
}

void ZoTree::noteSearchDepth(const ZoTreeIterator *it, unsigned int found) {
    lastDepth_ = static_cast<uint16_t>(it->depth_);
    if (found != 0 && it->depth_ > maxDepth_)
        maxDepth_ = static_cast<uint16_t>(it->depth_);
}

// From the gap before the first key not below key: the first live entry after it, when
// its key is equal. Otherwise the iterator returns to the gap.
ZoStatus ZoTree::findFirstEqual(const void *key, unsigned int &found, ZoTreeIterator *it) {
    ZoTreeIterator gap(*it);
    bool moved;
    unsigned char *triad = nullptr;
    if (stepForward(it, moved) != ZoSuccess)
        return ZoFailure;
    while (moved) {
        if (currentTriad(it, &triad, false) != ZoSuccess)
            return ZoFailure;
        if (!isMarked(triad))
            break;
        if (stepForward(it, moved) != ZoSuccess)
            return ZoFailure;
    }
    if (moved && compareKey(key, triad) == 0) {
        found = 1;
        return ZoSuccess;
    }
    *it = gap;
    return ZoSuccess;
}

// ---- iteration ---------------------------------------------------------------------------
//
// The iterator's top level either stands on a triad (positioned; marked triads included
// while they are being skipped) or marks a gap: "gap i" lies after child i's subtree and
// before key i. A failed search and a physical deletion leave a gap in a leaf; running off
// the end leaves the gap after the root's last key, running off the beginning leaves the
// root's index at BeforeFirst.

// Nodes reached through an iterator's path are checked before use: a stale iterator (one
// kept across a reset, say) then fails instead of reaching outside a node.
ZoStatus ZoTree::checkedNodeAt(uint32_t offset, ZoTreeNode **node, bool forWrite) {
    if ((offset & (ZoTmpFile::PageSize - 1)) + nodeSize_ > ZoTmpFile::PageSize ||
        nodeAt(offset, node, forWrite) != ZoSuccess)
        return ZoFailure;
    return (*node)->count >= 2 && (*node)->count <= order_ ? ZoSuccess : ZoFailure;
}

// The iterator's current node; its index must lie within the node (a key or the gap
// after the last key).
ZoStatus ZoTree::topNodeOf(ZoTreeIterator *it, ZoTreeNode **node, bool forWrite) {
    if (checkedNodeAt(it->topNode(), node, forWrite) != ZoSuccess)
        return ZoFailure;
    return it->topIndex() < (*node)->count ? ZoSuccess : ZoFailure;
}

ZoStatus ZoTree::currentTriad(ZoTreeIterator *it, unsigned char **triad, bool forWrite) {
    ZoTreeNode *node;
    if (topNodeOf(it, &node, forWrite) != ZoSuccess || it->topIndex() == node->count - 1u)
        return ZoFailure;
    *triad = triadAt(node, it->topIndex());
    return ZoSuccess;
}

// Goes down from node to the first (or last) triad of its subtree.
ZoStatus ZoTree::descend(ZoTreeIterator *it, uint32_t node, bool first) {
    for (;;) {
        ZoTreeNode *current;
        if (it->depth_ == ZoTreeIterator::MaxDepth || checkedNodeAt(node, &current, false) != ZoSuccess)
            return ZoFailure;
        uint32_t keys = current->count - 1u;
        uint32_t child = childAt(current, first ? 0 : keys);
        it->push(node, first ? 0 : (child != 0 ? keys : keys - 1));
        if (child == 0) {
            it->setPositioned(true);
            return ZoSuccess;
        }
        enterChild(it, current, first ? 0 : keys);
        node = child;
    }
}

// A positional iterator's base follows it into and out of children.
void ZoTree::enterChild(ZoTreeIterator *it, ZoTreeNode *parent, uint32_t child) const {
    if (isPositional())
        it->positionBase_ += keyLeftOf(parent, child);
}

void ZoTree::leaveChild(ZoTreeIterator *it, ZoTreeNode *parent, uint32_t child) const {
    if (isPositional())
        it->positionBase_ -= keyLeftOf(parent, child);
}

ZoStatus ZoTree::stepForward(ZoTreeIterator *it, bool &moved) {
    moved = true;
    ZoTreeNode *node;
    if (topNodeOf(it, &node, false) != ZoSuccess)
        return ZoFailure;
    uint32_t index = it->topIndex();
    if (it->isPositioned()) {
        uint32_t child = childAt(node, index + 1);
        if (child != 0) {
            it->setTopIndex(index + 1);
            enterChild(it, node, index + 1);
            return descend(it, child, true);
        }
        ++index;
    }
    // In the gap before key index.
    it->setPositioned(true);
    if (index < node->count - 1u) {
        it->setTopIndex(index);
        return ZoSuccess;
    }
    while (it->depth_ > 1) {
        --it->depth_;
        if (topNodeOf(it, &node, false) != ZoSuccess)
            return ZoFailure;
        leaveChild(it, node, it->topIndex());
        if (it->topIndex() < node->count - 1u)
            return ZoSuccess;
    }
    // Past the end: the gap after the root's last key.
    it->setTopIndex(node->count - 1u);
    it->setPositioned(false);
    moved = false;
    return ZoSuccess;
}

ZoStatus ZoTree::stepBackward(ZoTreeIterator *it, bool &moved) {
    moved = true;
    uint32_t index = it->topIndex();
    ZoTreeNode *node;
    if (topNodeOf(it, &node, false) != ZoSuccess)
        return ZoFailure;
    // From key i or from gap i alike, the predecessor is the last entry of child i.
    uint32_t child = childAt(node, index);
    if (child != 0) {
        it->setTopIndex(index);
        enterChild(it, node, index);
        return descend(it, child, false);
    }
    it->setPositioned(true);
    if (index > 0) {
        it->setTopIndex(index - 1);
        return ZoSuccess;
    }
    while (it->depth_ > 1) {
        --it->depth_;
        uint32_t descended = it->topIndex();
        if (isPositional() && descended > 0) {
            if (topNodeOf(it, &node, false) != ZoSuccess)
                return ZoFailure;
            leaveChild(it, node, descended);
        }
        if (descended > 0) {
            it->setTopIndex(descended - 1);
            return ZoSuccess;
        }
    }
    it->setTopIndex(ZoTreeIterator::BeforeFirst);
    it->setPositioned(false);
    moved = false;
    return ZoSuccess;
}

void ZoTree::copyOut(const unsigned char *triad, void *key, void *data) const {
    if (key != nullptr)
        std::memcpy(key, triad, keyLength_);
    if (data != nullptr)
        std::memcpy(data, triad + keyLength_, dataLength_);
}

// Skips marked triads in the direction of travel and reports the entry reached.
ZoStatus ZoTree::settle(ZoTreeIterator *it, bool forward, void *key, void *data, unsigned int *found) {
    bool moved = it->isPositioned();
    while (moved) {
        unsigned char *triad;
        if (currentTriad(it, &triad, false) != ZoSuccess)
            return ZoFailure;
        if (!isMarked(triad)) {
            copyOut(triad, key, data);
            break;
        }
        if ((forward ? stepForward(it, moved) : stepBackward(it, moved)) != ZoSuccess)
            return ZoFailure;
    }
    if (found != nullptr)
        *found = moved ? 1 : 0;
    return ZoSuccess;
}

ZoStatus ZoTree::getFirstOrLast(void *key, void *data, unsigned int *found, ZoTreeIterator *it, unsigned int first) {
    it = iteratorOf(it);
    if (it->tree_ != this)
        return ZoFailure;
    it->clear();
    if (keyCount_ == 0) {
        if (found != nullptr)
            *found = 0;
        return ZoSuccess;
    }
    if (descend(it, root_, first != 0) != ZoSuccess)
        return ZoFailure;
    return settle(it, first != 0, key, data, found);
}

ZoStatus ZoTree::getFirst(void *key, void *data, unsigned int *found, ZoTreeIterator *it) {
    return getFirstOrLast(key, data, found, it, 1);
}

ZoStatus ZoTree::getLast(void *key, void *data, unsigned int *found, ZoTreeIterator *it) {
    return getFirstOrLast(key, data, found, it, 0);
}

ZoStatus ZoTree::getNext(void *key, void *data, unsigned int *found, ZoTreeIterator *it) {
    it = iteratorOf(it);
    if (it->tree_ != this)
        return ZoFailure;
    if (it->depth_ == 0 || it->topIndex() == ZoTreeIterator::BeforeFirst)
        return getFirstOrLast(key, data, found, it, 1);
    bool moved;
    if (stepForward(it, moved) != ZoSuccess)
        return ZoFailure;
    return settle(it, true, key, data, found);
}

ZoStatus ZoTree::getPrevious(void *key, void *data, unsigned int *found, ZoTreeIterator *it) {
    it = iteratorOf(it);
    if (it->tree_ != this)
        return ZoFailure;
    if (it->depth_ == 0)
        return getFirstOrLast(key, data, found, it, 0);
    if (it->topIndex() == ZoTreeIterator::BeforeFirst) {
        if (found != nullptr)
            *found = 0;
        return ZoSuccess;
    }
    bool moved;
    if (stepBackward(it, moved) != ZoSuccess)
        return ZoFailure;
    return settle(it, false, key, data, found);
}

// ---- operations --------------------------------------------------------------------------

ZoStatus ZoTree::add(const void *key, const void *data, unsigned int *found) {
    if (found != nullptr)
        *found = 0;
    if (order_ == 0 || prepareFirstAdd() != ZoSuccess)
        return ZoFailure;
    if (root_ == 0) {
        uint32_t node;
        if (makeNode(node, key, data) != ZoSuccess)
            return ZoFailure;
        root_ = node;
        keyCount_ = 1;
        return ZoSuccess;
    }
    bool duplicates = (treeFlags_ & Duplicates) != 0;
    uint32_t node;
    uint16_t index;
    unsigned int present;
    if (treeSearch(key, node, index, present, &cursor_, duplicates ? 1 : 0) != ZoSuccess)
        return ZoFailure;
    if (found != nullptr)
        *found = present;
    if (present != 0)
        return ZoSuccess;
    // A positional key is stored relative to the base of the leaf the search ended in.
    uint32_t relative;
    if (isPositional()) {
        relative = storedKey(static_cast<const unsigned char *>(key)) - cursor_.positionBase_;
        key = &relative;
    }
    ZoStatus status = ZoSuccess;
    ZoTreeNode *leaf;
    if (nodeAt(node, &leaf, true) != ZoSuccess) {
        status = ZoFailure;
    } else if (markSize_ != 0 && index < leaf->count - 1 && isMarked(triadAt(leaf, index))) {
        // A deleted entry at the very place is reused; the node does not grow.
        unsigned char *triad = triadAt(leaf, index);
        std::memcpy(triad, key, keyLength_);
        copyDatum(triad + keyLength_, data);
        triad[keyLength_ + dataLength_] = 0;
    } else if (leaf->count < order_) {
        insertInNode(leaf, index, key, data, 0, 0);
    } else {
        status = insertWithSplit(node, index, key, data);
    }
    if (status == ZoSuccess)
        ++keyCount_;
    cursor_.clear();
    return status;
}

ZoStatus ZoTree::doesExist(const void *key, unsigned int *found) {
    uint32_t node;
    uint16_t index;
    unsigned int present;
    ZoStatus status = treeSearch(key, node, index, present, &cursor_, 0);
    if (found != nullptr)
        *found = status == ZoSuccess ? present : 0;
    return status;
}

ZoStatus ZoTree::getData(const void *key, void *data, unsigned int *found, ZoTreeIterator *it) {
    if (found != nullptr)
        *found = 0;
    it = iteratorOf(it);
    if (it->tree_ != this)
        return ZoFailure;
    uint32_t node;
    uint16_t index;
    unsigned int present;
    if (treeSearch(key, node, index, present, it, 0) != ZoSuccess)
        return ZoFailure;
    if (present != 0 && data != nullptr) {
        unsigned char *triad;
        if (currentTriad(it, &triad, false) != ZoSuccess)
            return ZoFailure;
        copyOut(triad, nullptr, data);
    }
    if (found != nullptr)
        *found = present;
    return ZoSuccess;
}

ZoStatus ZoTree::changeCurrentData(const void *data, ZoTreeIterator *it) {
    it = iteratorOf(it);
    unsigned char *triad;
    if (it->tree_ != this || !it->isPositioned() || currentTriad(it, &triad, true) != ZoSuccess)
        return ZoFailure;
    copyDatum(triad + keyLength_, data);
    return ZoSuccess;
}

ZoStatus ZoTree::changeData(const void *key, const void *data) {
    unsigned int present;
    if (getData(key, nullptr, &present, &cursor_) != ZoSuccess)
        return ZoFailure;
    return present != 0 ? changeCurrentData(data, &cursor_) : ZoSuccess;
}

ZoStatus ZoTree::deleteCurrent(ZoTreeIterator *it) {
    it = iteratorOf(it);
    if ((treeFlags_ & Deletable) == 0 || it->tree_ != this || !it->isPositioned())
        return ZoFailure;
    ZoTreeNode *node;
    if (topNodeOf(it, &node, true) != ZoSuccess || it->topIndex() == node->count - 1u)
        return ZoFailure;
    uint32_t index = it->topIndex();
    unsigned char *triad = triadAt(node, index);
    // An entry already deleted is not deleted twice.
    if (isMarked(triad))
        return ZoFailure;
    triad[keyLength_ + dataLength_] = 1;
    --keyCount_;
    if (node->child0 == 0 && node->count >= 3) {
        // Leaf with another key: close the gap; the iterator then lies before the entry
        // that followed.
        std::memmove(triad, triad + triadSize_, static_cast<size_t>(node->count - 2 - index) * triadSize_);
        --node->count;
        it->setPositioned(false);
    }
    return ZoSuccess;
}

ZoStatus ZoTree::deleteKeyAndData(const void *key, const void *data, unsigned int *found) {
    if (found != nullptr)
        *found = 0;
    if ((treeFlags_ & Deletable) == 0)
        return ZoFailure;
    unsigned int present;
    if (getData(key, nullptr, &present, &cursor_) != ZoSuccess)
        return ZoFailure;
    // With duplicates, walk the equal keys for the one whose datum matches too.
    while (present != 0 && (treeFlags_ & Duplicates) != 0) {
        unsigned char *triad;
        if (currentTriad(&cursor_, &triad, false) != ZoSuccess)
            return ZoFailure;
        if (compareKey(key, triad) != 0) {
            present = 0;
        } else if (dataLength_ == 0 || std::memcmp(triad + keyLength_, data, dataLength_) == 0) {
            break;
        } else if (getNext(nullptr, nullptr, &present, &cursor_) != ZoSuccess) {
            return ZoFailure;
        }
    }
    if (present == 0)
        return ZoSuccess;
    if (deleteCurrent(&cursor_) != ZoSuccess)
        return ZoFailure;
    if (found != nullptr)
        *found = 1;
    return ZoSuccess;
}

// Adds the new key first and only then deletes the old entry, so that a failed add loses
// nothing and a key already present (without duplicates) is refused before any change.
ZoStatus ZoTree::changeKey(const void *oldKey, const void *newKey) {
    if ((treeFlags_ & Deletable) == 0)
        return ZoFailure;
    unsigned int present;
    if (getData(oldKey, nullptr, &present, &cursor_) != ZoSuccess)
        return ZoFailure;
    if (present == 0 || compareKey(newKey, oldKey) == 0)
        return ZoSuccess;
    unsigned char *triad;
    if (currentTriad(&cursor_, &triad, false) != ZoSuccess)
        return ZoFailure;
    std::memcpy(savedData_, triad + keyLength_, dataLength_);
    unsigned int taken;
    if (add(newKey, savedData_, &taken) != ZoSuccess || taken != 0)
        return ZoFailure;
    // The add may have moved the old entry: find it again.
    if (getData(oldKey, nullptr, &present, &cursor_) != ZoSuccess || present == 0)
        return ZoFailure;
    return deleteCurrent(&cursor_);
}
