// Arrays kept in ascending order for binary search: objects by compare, or 32-bit numbers.
#pragma once

#include <cstdint>

#include <zo/zoarray.h>

// Object pointers ordered by the objects' virtual compare: a sorts before b when
// a->compare(b) is negative. Elements that compare equal keep the order of their adding.
class ZO_API ZoSortedArray : public ZoArray {
public:
    // Bits of the sort mode. While either is set, add appends in arrival order instead of
    // inserting in order (the array is then put in order as a whole later); the library
    // treats the two alike.
    enum : uint32_t { AppendMode = 0x1, DeferredSort = 0x2 };

    ZoSortedArray() = default;
    ~ZoSortedArray() override;

    // Inserts after the last element equal to it, else at its insertion point; appends
    // when the array is empty or a sort-mode bit is set. Fails (1) when the array cannot grow.
    ZoStatus add(ZoObject *element);
    // Binary search with probe->compare(element). Returns 1 and the index of some equal
    // element (not necessarily the first), or 0 and the insertion point.
    unsigned findIndexOf(const ZoObject *probe, uint32_t &index) const;
    // Linear search for the first element with element->compare(probe) == 0; usable while
    // the array is not in order.
    unsigned seqFindIndexOf(const ZoObject *probe, uint32_t &index) const;
    // Keep the first of each run of equal neighbours; the others are destroyed (delete...)
    // or only unlinked (remove...).
    void deleteDuplicates() { dropDuplicates(true); }
    void removeDuplicates() { dropDuplicates(false); }

    uint32_t getSortMode() const { return sortMode_; }
    void setSortMode(uint32_t mode) { sortMode_ = mode & (AppendMode | DeferredSort); }

protected:
    // From index (an element equal to probe), the index of the last of the equal run.
    uint32_t findIndexOfLastKey(const ZoObject *probe, uint32_t index) const;
    // Brings the whole array into order in place (equal objects in no defined order), by
    // the record sort over the slots; for arrays filled in append mode. A class built on
    // the array may offer it publicly.
    ZoStatus realResort();

private:
    friend class ZoQueryFile;

    void dropDuplicates(bool destroy);

    uint32_t sortMode_ = 0;
};

// Unsigned 32-bit numbers in ascending order; equal values keep their order of adding.
class ZO_API ZoSortedArrayU32 : public ZoArrayU32 {
public:
    // Inserts after the last equal value, else at the insertion point. Fails (1) when the
    // array cannot grow.
    ZoStatus add(uint32_t value);
    // Binary search: 1 and the index of some equal value, or 0 and the insertion point.
    unsigned findIndexOf(uint32_t value, uint32_t &index) const;

protected:
    uint32_t findIndexOfLastKey(uint32_t value, uint32_t index) const;
};
