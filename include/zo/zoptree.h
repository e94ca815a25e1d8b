// Positional tree: entries kept by position, inserted and deleted at a position with all
// later positions moving by one, without visiting the later entries. Positions may also
// hold no entry (holes).
#pragma once

#include <cstdint>

#include <zo/zotree.h>

// A B-tree whose key is a position (unsigned 32 bits) stored relative to the subtree it
// lives in: the base of the root is 0, the base of child c of a node is the node's base
// plus the stored key of triad c - 1. Shifting the positions after an insertion or a
// deletion therefore adjusts only the keys on one root-to-leaf path. Iterators carry the
// base of the node they stand in (getPositionBase) and report absolute positions.
//
// A node's reserved header field is its rebase mark: 1 while a node made by a split holds
// absolute keys that wait to be made relative to its separator.
class ZO_API ZoPTree : public ZoTree {
public:
    // Entries take positions 0 .. MaxPosition. A stored key of 0xFFFFFFFF stands for -1:
    // the marked triad that deleting position 0 can leave in an inner node.
    static constexpr uint32_t MaxPosition = 0xFFFFFFFD;

    explicit ZoPTree(uint16_t dataLength);
    ~ZoPTree() override;

    // Inserts an entry at position; the entries at position and after move up by one.
    // Fails (1) for a position above MaxPosition. Shifting entries past MaxPosition is not
    // checked.
    ZoStatus addAtPos(uint32_t position, const void *data);
    // Moves the entries at position and after up by one, leaving a hole at position.
    ZoStatus addHoleAtPos(uint32_t position);
    // Deletes the entry at position (*found tells whether there was one; may be null) and
    // moves the entries after it down by one; on a hole only the later entries move.
    ZoStatus deleteKeyAtPos(uint32_t position, unsigned int *found);

    // As in ZoTree; the key returned is the entry's absolute position.
    ZoStatus getFirst(void *key, void *data, unsigned int *found, ZoTreeIterator *it = nullptr) override;
    ZoStatus getNext(void *key, void *data, unsigned int *found, ZoTreeIterator *it = nullptr) override;
    ZoStatus getPrevious(void *key, void *data, unsigned int *found, ZoTreeIterator *it = nullptr) override;
    ZoStatus getLast(void *key, void *data, unsigned int *found, ZoTreeIterator *it = nullptr) override;

protected:
    ZoStatus treeSearch(const void *key, uint32_t &node, uint16_t &index, unsigned int &found, ZoTreeIterator *it,
                        unsigned int toLeaf) override;
    ZoStatus split(uint32_t node, uint16_t index, uint32_t newNode, uint32_t rightChild) override;
    ZoStatus doDecKeys(uint32_t node, uint32_t amount) override;

private:
    void shiftKeys(ZoTreeNode *node, uint16_t from) const;
    ZoStatus reportPosition(ZoStatus moved, void *key, ZoTreeIterator *it);

    uint32_t shiftUp_ = 0;   // non-zero only while addAtPos or addHoleAtPos searches
    uint32_t shiftDown_ = 0; // non-zero only while deleteKeyAtPos searches
};
