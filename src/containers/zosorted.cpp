#include <zo/zosorted.h>

namespace {

// Binary search over count elements, where sign(i) is the order of the probe against
// element i (negative: the probe sorts before it). Found: 1 and the index of an equal
// element. Not found: 0 and the insertion point, which is 0 for an empty array or a
// probe below element 0.
template <class Sign>
unsigned binarySearch(uint32_t count, Sign sign, uint32_t &index) {
    int64_t lo = 0, hi = int64_t{count} - 1, mid = 0;
    int result = 0;
    while (lo <= hi) {
        mid = (lo + hi) / 2;
        result = sign(static_cast<uint32_t>(mid));
        if (result > 0) {
            lo = mid + 1;
        } else if (result < 0) {
            hi = mid - 1;
        } else {
            index = static_cast<uint32_t>(mid);
            return 1;
        }
    }
    index = static_cast<uint32_t>(mid + (result > 0 ? 1 : 0));
    return 0;
}

// From index, steps right while the next element is equal (sign 0); the last such index.
template <class Sign>
uint32_t lastOfEqualRun(uint32_t count, Sign sign, uint32_t index) {
    while (index + 1 < count && sign(index + 1) == 0)
        ++index;
    return index;
}

} // namespace

ZoSortedArray::~ZoSortedArray() = default;

unsigned ZoSortedArray::findIndexOf(const ZoObject *probe, uint32_t &index) const {
    return binarySearch(
        getCount(), [&](uint32_t i) { return int{probe->compare(getAt(i))}; }, index);
}

uint32_t ZoSortedArray::findIndexOfLastKey(const ZoObject *probe, uint32_t index) const {
    return lastOfEqualRun(
        getCount(), [&](uint32_t i) { return int{probe->compare(getAt(i))}; }, index);
}

ZoStatus ZoSortedArray::add(ZoObject *element) {
    if (getCount() == 0 || sortMode_ != 0)
        return append(element);
    uint32_t index = 0;
    if (findIndexOf(element, index))
        index = findIndexOfLastKey(element, index) + 1;
    return addAtIndex(element, index);
}

unsigned ZoSortedArray::seqFindIndexOf(const ZoObject *probe, uint32_t &index) const {
    for (uint32_t i = 0; i < getCount(); ++i) {
        if (getAt(i)->compare(probe) == 0) {
            index = i;
            return 1;
        }
    }
    return 0;
}

void ZoSortedArray::dropDuplicates(bool destroy) {
    uint32_t i = 1;
    while (i < getCount()) {
        if (getAt(i - 1)->compare(getAt(i)) != 0)
            ++i;
        else if (destroy)
            deleteAtIndex(i);
        else
            removeAtIndex(i);
    }
}

namespace {
int orderOf(uint32_t a, uint32_t b) { return a < b ? -1 : (a > b ? 1 : 0); }
} // namespace

unsigned ZoSortedArrayU32::findIndexOf(uint32_t value, uint32_t &index) const {
    return binarySearch(
        getCount(), [&](uint32_t i) { return orderOf(value, getAt(i)); }, index);
}

uint32_t ZoSortedArrayU32::findIndexOfLastKey(uint32_t value, uint32_t index) const {
    return lastOfEqualRun(
        getCount(), [&](uint32_t i) { return orderOf(value, getAt(i)); }, index);
}

ZoStatus ZoSortedArrayU32::add(uint32_t value) {
    uint32_t index = 0;
    if (findIndexOf(value, index))
        index = findIndexOfLastKey(value, index) + 1;
    return addAtIndex(value, index);
}
