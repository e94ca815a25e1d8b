#include <zo/zoset.h>

ZoSet::~ZoSet() = default;

ZoStatus ZoSet::makeTable(uint32_t expected, ZoArrayPVoid &table, uint16_t &size) const {
    uint32_t slots = expected * 100 / loadPercent_ + 1;
    if (slots > UINT16_MAX)
        return ZoFailure;
    if (table.setInitialSize(static_cast<uint16_t>(slots)) != ZoSuccess)
        return ZoFailure;
    size = static_cast<uint16_t>(slots);
    return ZoSuccess;
}

void ZoSet::moveInto(ZoArrayPVoid &table, uint16_t size) {
    table_.exchange(table);
    uint16_t oldSize = tableSize_;
    tableSize_ = size;
    entryCount_ = 0;
    // The elements are distinct, so each goes to the first empty slot of its probe.
    for (uint32_t slot = 0; slot < oldSize; ++slot) {
        void *element = table.getAt(slot);
        if (element != nullptr) {
            table_.setAt(probe(doHash(element), [](const void *) { return false; }), element);
            ++entryCount_;
        }
    }
}

ZoStatus ZoSet::initialize(uint16_t expected) { return entryCount_ != 0 ? ZoFailure : rehash(expected); }

void ZoSet::reset() {
    (void)table_.shrink(0); // shrinking to nothing frees the table and cannot fail
    tableSize_ = entryCount_ = highWater_ = 0;
    loadPercent_ = 75;
    growPercent_ = 25;
}

uint32_t ZoSet::findSlot(const void *element) const {
    return probe(doHash(element), [&](const void *held) { return areEqual(held, element) != 0; });
}

ZoStatus ZoSet::rehash(uint16_t expected) {
    ZoArrayPVoid table;
    uint16_t size = 0;
    if (makeTable(expected, table, size) != ZoSuccess)
        return ZoFailure;
    moveInto(table, size);
    return ZoSuccess;
}

ZoStatus ZoSet::addElement(void *element, void **displaced) {
    *displaced = nullptr;
    // The new table is made before anything changes, so a failed growth leaves the set
    // as it was.
    uint32_t limit = uint32_t{loadPercent_} * tableSize_ / 100;
    bool grow = entryCount_ + 1u > limit;
    ZoArrayPVoid grown;
    uint16_t grownSize = 0;
    if (grow && makeTable(limit + limit * growPercent_ / 100 + 1, grown, grownSize) != ZoSuccess)
        return ZoFailure;
    if (tableSize_ != 0) {
        uint32_t slot = findSlot(element);
        *displaced = table_.getAt(slot);
        table_.setAt(slot, element);
        ++entryCount_;
        if (grow)
            moveInto(grown, grownSize);
    } else {
        moveInto(grown, grownSize);
        table_.setAt(findSlot(element), element);
        ++entryCount_;
    }
    if (entryCount_ > highWater_)
        highWater_ = entryCount_;
    return ZoSuccess;
}
