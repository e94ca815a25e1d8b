// In-memory sorting of records in place: record comparison by the key list, and an
// iterative quicksort that keeps its stack of pending ranges shallow.
//
// The quicksort pushes the larger part of each partition and goes on with the smaller one,
// so a pending range is always at least as large as everything sorted after it and the
// stack never holds more than log2(n) ranges; past a depth of 2 log2(n) partitions a range
// is finished by heapsort, so no input (sorted, reversed, all equal, organ pipes, median
// killers) takes more than O(n log n) comparisons. Ranges of up to 16 records are finished
// by insertion sort. Records are exchanged in place and never copied elsewhere.
#include "containers/sortint.h"

#include <zo/strfuncs.h>

#include <cstring>

#include "frame/err.h"

namespace zosort {

namespace {

// Ranges of at most this many records are finished by insertion sort.
constexpr uint32_t SmallRange = 16;
// Ranges of more records than this take their pivot from five samples instead of three.
constexpr uint32_t FiveSampleRange = 150;
constexpr uint32_t StackDepth = 200;

int sign(int order) { return (order > 0) - (order < 0); }

int compareKey(const ZoSort::Key &key, const unsigned char *a, const unsigned char *b) {
    int order;
    if ((key.keyType & ZoSortObject) != 0) {
        // The object comparison always uses the pointer at the start of the record.
        const ZoObject *first;
        const ZoObject *second;
        std::memcpy(&first, a, sizeof first);
        std::memcpy(&second, b, sizeof second);
        order = first->compare(second);
    } else if ((key.keyType & ZoSortText) != 0) {
        order = strCompareIntl(a + key.keyOffset, key.keyLength, b + key.keyOffset, key.keyLength);
    } else if ((key.keyType & ZoSortFunction) != 0) {
        order = key.keyFunction(key.keyContext, a + key.keyOffset, b + key.keyOffset);
    } else {
        order = std::memcmp(a + key.keyOffset, b + key.keyOffset, key.keyLength);
    }
    return (key.keyType & ZoSortDescending) != 0 ? -sign(order) : sign(order);
}

// The general comparison: every key of the range by its type.
struct KeyListOrder {
    KeyRange keys;
    int operator()(const unsigned char *a, const unsigned char *b) const { return compareRecords(keys, a, b); }
};

// One byte key of 1, 2, 4 or 8 bytes: compared as a big-endian number, which orders as its
// bytes do.
template <class Word>
struct WordKeyOrder {
    uint32_t offset;
    bool descending;

    static Word load(const unsigned char *p) {
        Word w;
        std::memcpy(&w, p, sizeof w);
        if constexpr (sizeof(Word) == 8)
            return __builtin_bswap64(w);
        else if constexpr (sizeof(Word) == 4)
            return __builtin_bswap32(w);
        else if constexpr (sizeof(Word) == 2)
            return __builtin_bswap16(w);
        else
            return w;
    }
    int operator()(const unsigned char *a, const unsigned char *b) const {
        Word x = load(a + offset);
        Word y = load(b + offset);
        int order = (x > y) - (x < y);
        return descending ? -order : order;
    }
};

// Exchanges two records of length bytes, eight bytes at a time where it can.
inline void swapRecords(unsigned char *a, unsigned char *b, uint32_t length) {
    uint32_t i = 0;
    for (; i + 8 <= length; i += 8) {
        uint64_t x, y;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        std::memcpy(a + i, &y, 8);
        std::memcpy(b + i, &x, 8);
    }
    for (; i < length; ++i) {
        unsigned char t = a[i];
        a[i] = b[i];
        b[i] = t;
    }
}

// A position in the memory load that steps one record at a time, crossing from buffer to
// buffer without dividing.
class Cursor {
public:
    Cursor(const Layout &layout, uint32_t index)
        : layout_(layout), bytes_(static_cast<std::size_t>(layout.perBuffer) * layout.length) {
        seek(index);
    }
    unsigned char *record() const { return p_; }
    uint32_t index() const { return index_; }
    void forward() {
        ++index_;
        p_ += layout_.length;
        if (p_ == end_)
            enterBuffer(buffer_ + 1, false);
    }
    void backward() {
        --index_;
        if (p_ == start_)
            enterBuffer(buffer_ - 1, true);
        p_ -= layout_.length;
    }

private:
    void seek(uint32_t index) {
        index_ = index;
        enterBuffer(layout_.bufferOf(index), false);
        p_ = start_ + static_cast<std::size_t>(index - buffer_ * layout_.perBuffer) * layout_.length;
    }
    void enterBuffer(uint32_t buffer, bool atEnd) {
        buffer_ = buffer;
        start_ = layout_.buffers[buffer];
        end_ = start_ + bytes_;
        p_ = atEnd ? end_ : start_;
    }

    const Layout &layout_;
    std::size_t bytes_;
    unsigned char *p_ = nullptr;
    unsigned char *start_ = nullptr;
    unsigned char *end_ = nullptr;
    uint32_t buffer_ = 0;
    uint32_t index_ = 0;
};

uint32_t floorLog2(uint32_t n) {
    uint32_t log = 0;
    while (n > 1) {
        n >>= 1;
        ++log;
    }
    return log;
}

template <class Order>
class RangeSorter {
public:
    RangeSorter(const Layout &layout, Order order) : layout_(layout), order_(order) {}

    // Records a .. b-1.
    ZoStatus sort(uint32_t a, uint32_t b) {
        if (b - a < 2)
            return ZoSuccess;
        const uint32_t depthLimit = 2 * floorLog2(b - a);
        Pending stack[StackDepth];
        uint32_t top = 0;
        Pending range{a, b, 0};
        for (;;) {
            if (range.end - range.begin <= SmallRange) {
                insertionSort(range.begin, range.end);
            } else if (range.depth >= depthLimit) {
                heapSort(range.begin, range.end);
            } else {
                uint32_t p = partition(range.begin, range.end);
                Pending left{range.begin, p, range.depth + 1};
                Pending right{p + 1, range.end, range.depth + 1};
                bool leftLarger = p - range.begin > range.end - p - 1;
                if (!push(stack, top, leftLarger ? left : right))
                    return ZoFailure;
                range = leftLarger ? right : left;
                continue;
            }
            if (top == 0)
                return ZoSuccess;
            range = stack[--top];
        }
    }

private:
    struct Pending {
        uint32_t begin;
        uint32_t end;
        uint32_t depth;
    };

    static bool push(Pending *stack, uint32_t &top, const Pending &range) {
        if (range.end - range.begin < 2)
            return true;
        if (top == StackDepth) {
            addResourceError(ZoMessage::SortStackFull);
            return false;
        }
        stack[top++] = range;
        return true;
    }

    unsigned char *at(uint32_t i) const { return layout_.at(i); }
    void exchange(uint32_t i, uint32_t j) const { swapRecords(at(i), at(j), layout_.length); }
    void compareExchange(uint32_t i, uint32_t j) const {
        unsigned char *x = at(i);
        unsigned char *y = at(j);
        if (order_(x, y) > 0)
            swapRecords(x, y, layout_.length);
    }

    // Sorts the samples in place (so the first and last records of the range bound the
    // pivot) and moves their median to the last-but-one place, where it stays while the
    // range is partitioned.
    void choosePivot(uint32_t begin, uint32_t last) const {
        uint32_t n = last - begin;
        if (n <= FiveSampleRange) {
            uint32_t middle = begin + n / 2;
            compareExchange(begin, middle);
            compareExchange(begin, last);
            compareExchange(middle, last);
            exchange(middle, last - 1);
            return;
        }
        const uint32_t s[5] = {begin, begin + n / 4, begin + n / 2, begin + n / 2 + n / 4, last};
        static constexpr unsigned char network[9][2] = {{0, 1}, {3, 4}, {2, 4}, {2, 3}, {1, 4},
                                                        {0, 3}, {0, 2}, {1, 3}, {1, 2}};
        for (const auto &pair : network)
            compareExchange(s[pair[0]], s[pair[1]]);
        exchange(s[2], last - 1);
    }

    // Partitions begin .. end-1 around the pivot; returns the pivot's final place. Both
    // scans stop at records equal to the pivot, so equal keys split evenly.
    uint32_t partition(uint32_t begin, uint32_t end) const {
        uint32_t last = end - 1;
        choosePivot(begin, last);
        unsigned char *pivot = at(last - 1);
        Cursor i(layout_, begin);
        Cursor j(layout_, last - 1);
        for (;;) {
            do
                i.forward();
            while (order_(i.record(), pivot) < 0);
            do
                j.backward();
            while (order_(pivot, j.record()) < 0);
            if (i.index() >= j.index())
                break;
            swapRecords(i.record(), j.record(), layout_.length);
        }
        swapRecords(i.record(), pivot, layout_.length);
        return i.index();
    }

    void insertionSort(uint32_t begin, uint32_t end) const {
        for (uint32_t i = begin + 1; i < end; ++i) {
            for (uint32_t j = i; j > begin; --j) {
                unsigned char *x = at(j - 1);
                unsigned char *y = at(j);
                if (order_(x, y) <= 0)
                    break;
                swapRecords(x, y, layout_.length);
            }
        }
    }

    void siftDown(uint32_t begin, uint32_t root, uint32_t count) const {
        for (;;) {
            uint64_t wide = 2 * uint64_t{root} + 1;
            if (wide >= count)
                return;
            auto child = static_cast<uint32_t>(wide);
            if (child + 1 < count && order_(at(begin + child), at(begin + child + 1)) < 0)
                ++child;
            unsigned char *r = at(begin + root);
            unsigned char *c = at(begin + child);
            if (order_(r, c) >= 0)
                return;
            swapRecords(r, c, layout_.length);
            root = child;
        }
    }

    void heapSort(uint32_t begin, uint32_t end) const {
        uint32_t count = end - begin;
        for (uint32_t root = count / 2; root-- > 0;)
            siftDown(begin, root, count);
        for (uint32_t last = count; last-- > 1;) {
            exchange(begin, begin + last);
            siftDown(begin, 0, last);
        }
    }

    const Layout &layout_;
    Order order_;
};

template <class Order>
ZoStatus sortWith(const Layout &layout, Order order, uint32_t a, uint32_t b) {
    return RangeSorter<Order>(layout, order).sort(a, b);
}

} // namespace

uint64_t divisorFor(uint32_t perBuffer, uint32_t buffers) {
    if (buffers <= 1 || perBuffer == 0)
        return 0;
    return ((uint64_t{1} << 40) / perBuffer) + 1;
}

int compareRecords(const KeyRange &keys, const unsigned char *a, const unsigned char *b) {
    for (uint32_t k = keys.first; k < keys.end; ++k) {
        int order = compareKey(keys.keys[k], a, b);
        if (order != 0)
            return order;
    }
    return 0;
}

uint32_t firstDifferentKey(const ZoSort::Key *keys, uint32_t count, const unsigned char *a, const unsigned char *b) {
    for (uint32_t k = 0; k < count; ++k) {
        const ZoSort::Key &key = keys[k];
        const unsigned char *x = a + key.keyOffset;
        const unsigned char *y = b + key.keyOffset;
        int order = (key.keyType & ZoSortText) != 0 && (key.keyType & ZoSortObject) == 0
                        ? strCompareIntl(x, key.keyLength, y, key.keyLength)
                        : std::memcmp(x, y, key.keyLength);
        if (order != 0)
            return k;
    }
    return count;
}

ZoStatus sortRecords(const Layout &layout, const KeyRange &keys, uint32_t a, uint32_t b) {
    if (keys.end <= keys.first)
        return ZoSuccess; // no key: all records are equal
    const ZoSort::Key &key = keys.keys[keys.first];
    bool oneByteKey = keys.end - keys.first == 1 && (key.keyType & ~uint32_t{ZoSortDescending}) == 0;
    bool descending = (key.keyType & ZoSortDescending) != 0;
    if (oneByteKey) {
        switch (key.keyLength) {
        case 1: return sortWith(layout, WordKeyOrder<uint8_t>{key.keyOffset, descending}, a, b);
        case 2: return sortWith(layout, WordKeyOrder<uint16_t>{key.keyOffset, descending}, a, b);
        case 4: return sortWith(layout, WordKeyOrder<uint32_t>{key.keyOffset, descending}, a, b);
        case 8: return sortWith(layout, WordKeyOrder<uint64_t>{key.keyOffset, descending}, a, b);
        default: break;
        }
    }
    return sortWith(layout, KeyListOrder{keys}, a, b);
}

ZoStatus sortGroups(const Layout &layout, const ZoSort::Key *keys, uint32_t keyCount, uint32_t groupKeys, uint32_t a,
                    uint32_t b) {
    const KeyRange rest{keys, groupKeys, keyCount};
    uint32_t begin = a;
    while (begin < b) {
        const unsigned char *first = layout.at(begin);
        uint32_t end = begin + 1;
        while (end < b && firstDifferentKey(keys, groupKeys, first, layout.at(end)) >= groupKeys)
            ++end;
        if (end - begin >= 2 && sortRecords(layout, rest, begin, end) != ZoSuccess)
            return ZoFailure;
        begin = end;
    }
    return ZoSuccess;
}

} // namespace zosort
