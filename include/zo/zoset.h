// Abstract hash set of element pointers with open addressing, the base of ZoDictionary.
#pragma once

#include <cstdint>

#include <zo/zoarray.h>

// Elements are placed by their hash and found by linear probing downwards (slot 0 wraps
// to the top slot). Single elements are never removed, so no deletion markers exist.
//
// Sizing: a table sized for e expected elements has e * 100 / loadPercent + 1 slots. When
// an add would bring the count of adds past loadPercent of the table, the table is first
// rebuilt for limit + limit * growPercent / 100 + 1 elements. Table sizes are 16-bit: an
// add that would need a table above 65,535 slots fails (status 1) and leaves the set as it
// was. The table always keeps an empty slot, so every probe ends.
class ZO_API ZoSet : public ZoObject {
public:
    uint16_t getTableSize() const { return tableSize_; }
    // Adds since the last rebuild or reset (an add that replaced an equal element counts).
    uint16_t getEntryCount() const { return entryCount_; }
    // The largest entry count reached.
    uint16_t getHighWater() const { return highWater_; }

protected:
    ZoSet() = default;
    ~ZoSet() override;
    ZoSet(const ZoSet &) = delete;
    ZoSet &operator=(const ZoSet &) = delete;

    virtual uint32_t doHash(const void *element) const = 0;
    virtual unsigned areEqual(const void *element1, const void *element2) const = 0;

    // Sizes the table of an empty set for `expected` elements, all slots empty. Fails (1)
    // when allocation fails, the size passes 65,535 slots, or the set holds elements.
    ZoStatus initialize(uint16_t expected);
    // Frees the table and returns to the unsized state; elements are not destroyed.
    void reset();
    // Stores the element, replacing an equal one, which is handed back in *displaced (null
    // when there was none). A set that was never sized gets a table on its first add. Fails
    // (1) when the table must grow and cannot; the set is then unchanged.
    ZoStatus addElement(void *element, void **displaced);
    // The slot holding an element equal to this one, or the empty slot where it belongs.
    // The table must be sized.
    uint32_t findSlot(const void *element) const;
    // Rebuilds the table for `expected` elements. Fails (1) with the set unchanged.
    ZoStatus rehash(uint16_t expected);

    // Probes from the slot of hash for the first slot that is empty or whose element
    // satisfies matches(element); returns its index. The table must be sized.
    template <class Match>
    uint32_t probe(uint32_t hash, Match matches) const {
        uint32_t slot = slotOfHash(hash);
        for (void *element = table_.getAt(slot); element != nullptr && !matches(element); element = table_.getAt(slot))
            slot = (slot == 0 ? tableSize_ : slot) - 1;
        return slot;
    }
    // The element found by probe, or null (also for a set that was never sized).
    template <class Match>
    void *lookup(uint32_t hash, Match matches) const {
        return tableSize_ == 0 ? nullptr : table_.getAt(probe(hash, matches));
    }
    // Visits the table slots from the last to the first.
    uint32_t slotCount() const { return tableSize_; }
    void *slotElement(uint32_t slot) const { return table_.getAt(slot); }
    void clearSlot(uint32_t slot) { table_.setAt(slot, nullptr); }
    void clearEntryCount() { entryCount_ = 0; }

private:
    uint32_t slotOfHash(uint32_t hash) const { return (hash * 0x9E3779B9u) % tableSize_; }
    // A new empty table sized for `expected` elements; fails above 65,535 slots.
    ZoStatus makeTable(uint32_t expected, ZoArrayPVoid &table, uint16_t &size) const;
    // Moves every element of the current table, in slot order, into the new table and
    // installs it.
    void moveInto(ZoArrayPVoid &table, uint16_t size);

    ZoArrayPVoid table_;
    uint16_t tableSize_ = 0;
    uint16_t entryCount_ = 0;
    uint16_t loadPercent_ = 75;
    uint16_t growPercent_ = 25;
    uint16_t highWater_ = 0;
};
