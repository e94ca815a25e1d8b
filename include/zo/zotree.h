// An ordered index of fixed-length keys with fixed-length data: a B-tree whose nodes live
// in the tree's own scratch store, and iterators that walk it in key order both ways.
#pragma once

#include <cstdint>
#include <cstring>

#include <zo/zotmpfil.h>

// Header of a node as it lies in the store (little-endian). Child 0 follows; then come
// the triads: triad i at node byte 12 + i * triadSize holds key i, its datum, the
// deletion mark (deletable trees only), padding, and in its last 4 bytes child i + 1.
// Child j therefore lies at node byte 8 + j * triadSize.
struct ZoTreeNode {
    uint16_t count; // keys + 1; 0 only in a node just made empty
    uint16_t reserved;
    uint32_t self; // the node's own store offset
    uint32_t child0;
};

// Key order for keys that are one unsigned 32-bit number; the length is ignored.
ZO_API short treeU32Compare(const void *searchKey, const void *nodeKey, uint32_t keyLength);

class ZoTree;

// A position in a tree: the nodes from the root down to the current node, and for each
// level the child index taken (the key index at the current node; BeforeFirst when the
// position lies before the tree's first entry).
class ZO_API ZoTreeIterator : public ZoObject {
public:
    static constexpr uint32_t MaxDepth = 32;
    static constexpr uint32_t BeforeFirst = 0xFFFF;
    enum : uint32_t { Positioned = 0x1 };

    ZoTreeIterator() = default;
    ~ZoTreeIterator() override;
    // A copy keeps the position, so a caller can come back to it.
    ZoTreeIterator(const ZoTreeIterator &) = default;
    ZoTreeIterator &operator=(const ZoTreeIterator &) = default;
    // Binds the iterator to a tree and forgets any position. Must be called before the
    // iterator is passed to a tree.
    ZoStatus initialize(ZoTree *tree);

    ZoTree *getTree() const { return tree_; }
    bool isPositioned() const { return (iteratorFlags_ & Positioned) != 0; }
    uint32_t getDepth() const { return depth_; }
    uint32_t getNodeAt(uint32_t level) const { return pathNodes_[level]; }
    uint32_t getIndexAt(uint32_t level) const { return pathIndexes_[level]; }
    uint32_t getPositionBase() const { return positionBase_; }
    void setPositionBase(uint32_t base) { positionBase_ = base; }

private:
    friend class ZoTree;
    friend class ZoPTree;

    void clear() {
        depth_ = 0;
        positionBase_ = 0;
        iteratorFlags_ &= ~Positioned;
    }
    void push(uint32_t node, uint32_t index) {
        pathNodes_[depth_] = node;
        pathIndexes_[depth_] = index;
        ++depth_;
    }
    void setPositioned(bool on) {
        iteratorFlags_ = on ? (iteratorFlags_ | Positioned) : (iteratorFlags_ & ~Positioned);
    }
    uint32_t topNode() const { return pathNodes_[depth_ - 1]; }
    uint32_t topIndex() const { return pathIndexes_[depth_ - 1]; }
    void setTopIndex(uint32_t index) { pathIndexes_[depth_ - 1] = index; }

    ZoTree *tree_ = nullptr;
    uint32_t pathNodes_[MaxDepth] = {};
    uint32_t pathIndexes_[MaxDepth] = {};
    uint32_t depth_ = 0;
    uint32_t positionBase_ = 0;
    uint32_t iteratorFlags_ = 0;
};

class ZO_API ZoTree : public ZoObject {
public:
    using CompareKeys = short (*)(const void *searchKey, const void *nodeKey, uint32_t keyLength);
    using CompareWithContext = short (*)(void *context, const void *searchKey, const void *nodeKey);
    enum : uint32_t { Deletable = 0x1, Duplicates = 0x2, Positional = 0x4 };
    // Largest triad that still gives a node room for two keys; larger ones make every
    // add fail.
    static constexpr uint32_t MaxTriadSize = 1018;
    // Pages of inner nodes the tree keeps pinned in its store (2 MiB). The store's pin
    // limit may be lowered (getStore().setPinLimit) before the first add; 0 keeps every
    // node in the store's small two-way cache alone.
    static constexpr uint32_t PinnedNodePages = 1024;

    // compareKeys null orders keys bytewise. The store gets a 32 KiB cache and noLock.
    ZoTree(uint16_t keyLength, uint16_t dataLength, CompareKeys compareKeys, unsigned int deletable,
           unsigned int duplicates, unsigned int noLock);
    ~ZoTree() override;
    ZoTree(const ZoTree &) = delete;
    ZoTree &operator=(const ZoTree &) = delete;

    // Without duplicates an existing key is reported through *found = 1 and nothing is
    // added. With duplicates the new entry comes first among its equal keys.
    ZoStatus add(const void *key, const void *data, unsigned int *found);
    ZoStatus doesExist(const void *key, unsigned int *found);
    // Found: copies the datum and leaves the iterator on the entry (the first of equal
    // keys). Not found: leaves it unpositioned where the key would be, so that getNext
    // yields the next larger key and getPrevious the next smaller one.
    ZoStatus getData(const void *key, void *data, unsigned int *found, ZoTreeIterator *it = nullptr);
    ZoStatus changeData(const void *key, const void *data);
    // Gives the entry of oldKey the key newKey. Needs a deletable tree. Fails (1) and
    // changes nothing when newKey is already present in a tree without duplicates.
    ZoStatus changeKey(const void *oldKey, const void *newKey);
    // Deletes the entry of key (with duplicates: the first whose datum also matches).
    ZoStatus deleteKeyAndData(const void *key, const void *data, unsigned int *found);
    // Deletes the entry the iterator stands on; fails (1) when it stands on none.
    ZoStatus deleteCurrent(ZoTreeIterator *it = nullptr);

    // Iteration; key and data may be null. *found = 0 at either end.
    virtual ZoStatus getFirst(void *key, void *data, unsigned int *found, ZoTreeIterator *it = nullptr);
    virtual ZoStatus getNext(void *key, void *data, unsigned int *found, ZoTreeIterator *it = nullptr);
    virtual ZoStatus getPrevious(void *key, void *data, unsigned int *found, ZoTreeIterator *it = nullptr);
    virtual ZoStatus getLast(void *key, void *data, unsigned int *found, ZoTreeIterator *it = nullptr);

    // Empties the tree and its store.
    void reset();

    // Installs the alternative key order used when compareKeys is null.
    void setCompareWithContext(CompareWithContext compare, void *context) {
        compareWithContext_ = compare;
        compareContext_ = context;
    }

    uint16_t getKeyLength() const { return keyLength_; }
    uint16_t getDataLength() const { return dataLength_; }
    uint32_t getFlags() const { return treeFlags_; }
    uint16_t getOrder() const { return order_; }
    uint16_t getTriadSize() const { return triadSize_; }
    uint16_t getNodeSize() const { return nodeSize_; }
    uint32_t getRoot() const { return root_; }
    uint32_t getKeyCount() const { return keyCount_; }
    uint16_t getNodeCount() const { return nodeCount_; }
    uint16_t getMaxDepth() const { return maxDepth_; }
    uint16_t getLastDepth() const { return lastDepth_; }
    ZoTmpFile &getStore() { return store_; }
    ZoTreeIterator &getCursor() { return cursor_; }

protected:
    virtual ZoStatus treeSearch(const void *key, uint32_t &node, uint16_t &index, unsigned int &found,
                                ZoTreeIterator *it, unsigned int toLeaf);
    ZoStatus getFirstOrLast(void *key, void *data, unsigned int *found, ZoTreeIterator *it, unsigned int first);
    ZoStatus insertWithSplit(uint32_t node, uint16_t index, const void *key, const void *data);
    virtual ZoStatus split(uint32_t node, uint16_t index, uint32_t newNode, uint32_t rightChild);
    void copyTriads(ZoTreeNode *to, ZoTreeNode *from, uint16_t first);
    void insertInNode(ZoTreeNode *node, uint16_t index, const void *key, const void *data, uint32_t rightChild,
                      unsigned int keepMark);
    ZoStatus makeNode(uint32_t &node, const void *key, const void *data);
    unsigned nodeSearch(ZoTreeNode *node, const void *key, uint16_t &index);
    ZoStatus changeCurrentData(const void *data, ZoTreeIterator *it);
    virtual ZoStatus doDecKeys(uint32_t, uint32_t);

    // Node access in place, through the store.
    ZoStatus nodeAt(uint32_t offset, ZoTreeNode **node, bool forWrite) {
        void *pointer;
        if (store_.tmpPointer(offset, &pointer, nullptr, forWrite ? 1 : 0) != ZoSuccess)
            return ZoFailure;
        *node = static_cast<ZoTreeNode *>(pointer);
        return ZoSuccess;
    }
    unsigned char *triadAt(ZoTreeNode *node, uint32_t index) const {
        return reinterpret_cast<unsigned char *>(node) + 12 + index * triadSize_;
    }
    uint32_t &childAt(ZoTreeNode *node, uint32_t index) const {
        return *reinterpret_cast<uint32_t *>(reinterpret_cast<unsigned char *>(node) + 8 + index * triadSize_);
    }
    bool isMarked(const unsigned char *triad) const { return markSize_ != 0 && triad[keyLength_ + dataLength_] != 0; }
    // Positional trees: keys are one 32-bit number, relative to the base of their node.
    void markPositional() { treeFlags_ |= Positional; }
    bool isPositional() const { return (treeFlags_ & Positional) != 0; }
    static uint32_t storedKey(const unsigned char *triad) {
        uint32_t key;
        std::memcpy(&key, triad, sizeof key);
        return key;
    }
    static void storeKey(unsigned char *triad, uint32_t key) { std::memcpy(triad, &key, sizeof key); }
    // The stored key left of child c of a node (0 for child 0): what a positional tree adds
    // to its base on the way into that child.
    uint32_t keyLeftOf(ZoTreeNode *node, uint32_t child) const {
        return child == 0 ? 0 : storedKey(triadAt(node, child - 1));
    }
    void noteSearchDepth(const ZoTreeIterator *it, unsigned int found);
    // The key pending insertion during a split, and the separator a split hands up.
    unsigned char *pendingKey() const { return keyBuffer_; }
    unsigned char *separatorKey() const { return splitKey_; }
    short compareKey(const void *searchKey, const void *nodeKey) const;
    // A tree without data takes a null datum.
    void copyDatum(void *to, const void *datum) const {
        if (dataLength_ != 0)
            std::memcpy(to, datum, dataLength_);
    }

private:
    ZoTreeIterator *iteratorOf(ZoTreeIterator *it) { return it != nullptr ? it : &cursor_; }
    void keepInMemory(uint32_t innerNode);
    ZoStatus prepareFirstAdd();
    ZoStatus findFirstEqual(const void *key, unsigned int &found, ZoTreeIterator *it);
    ZoStatus stepForward(ZoTreeIterator *it, bool &moved);
    ZoStatus stepBackward(ZoTreeIterator *it, bool &moved);
    ZoStatus descend(ZoTreeIterator *it, uint32_t node, bool first);
    void enterChild(ZoTreeIterator *it, ZoTreeNode *parent, uint32_t child) const;
    void leaveChild(ZoTreeIterator *it, ZoTreeNode *parent, uint32_t child) const;
    ZoStatus settle(ZoTreeIterator *it, bool forward, void *key, void *data, unsigned int *found);
    ZoStatus checkedNodeAt(uint32_t offset, ZoTreeNode **node, bool forWrite);
    ZoStatus topNodeOf(ZoTreeIterator *it, ZoTreeNode **node, bool forWrite);
    ZoStatus currentTriad(ZoTreeIterator *it, unsigned char **triad, bool forWrite);
    ZoStatus markCurrent(ZoTreeIterator *it);
    void copyOut(const unsigned char *triad, void *key, void *data) const;

    uint16_t keyLength_;
    uint16_t dataLength_;
    CompareKeys compareKeys_;
    CompareWithContext compareWithContext_ = nullptr;
    void *compareContext_ = nullptr;
    uint32_t treeFlags_;
    uint16_t order_;
    uint16_t triadSize_;
    uint16_t nodeSize_;
    uint16_t markSize_;
    uint32_t root_ = 0;
    ZoTmpFile store_;
    ZoTreeIterator cursor_;
    unsigned char *scratch_ = nullptr; // one block holding the buffers below
    unsigned char *keyBuffer_ = nullptr;
    unsigned char *dataBuffer_ = nullptr;
    unsigned char *splitKey_ = nullptr;
    unsigned char *splitData_ = nullptr;
    unsigned char *savedData_ = nullptr;
    uint32_t keyCount_ = 0;
    uint16_t nodeCount_ = 0;
    uint16_t maxDepth_ = 0;
    uint16_t lastDepth_ = 0;
};
