// Rows are sorted as fixed-length records:
//
//   [key prefix: one segment per sort key][payload: one slot per column]
//
// A key segment is a tag byte (NULL 0x10 < number 0x20 < text 0x30) and 16 bytes: a number
// as its double in an order-preserving big-endian form, a text as its first 16 bytes (zero
// padded); all its bytes are complemented for a descending key. Comparing two segments byte
// for byte therefore orders them as SQLite would, except where they are equal (texts longer
// than 16 bytes that share them, integers beyond 2^53): those ties are settled by comparing
// the key's full values from the payload before the next key is looked at.
//
// The record's sequence number (8 bytes, big-endian) follows the prefix.
//
// A payload slot is a tag byte (NULL, integer, real, inline text, long text), the text kind,
// a 4-byte length and then 8 bytes of number or the slot's inline text bytes. A text too
// long for its slot stays in the sorter's side store and the slot holds its index there.
#include "rowsort.h"

#include <algorithm>
#include <cstring>

#include <zo/sort.h>

#include "errors.h"

namespace zotext {

void StoredValue::set(const Val &v) {
    type = v.type;
    kind = v.kind;
    switch (v.type) {
    case Val::Null: break;
    case Val::Int: i = v.i; break;
    case Val::Real: r = v.r; break;
    case Val::Text: text.assign(v.s, v.size); break;
    }
}

Val StoredValue::get() const {
    switch (type) {
    case Val::Null: return Val::null();
    case Val::Int: return Val::integer(i);
    case Val::Real: return Val::real(r);
    case Val::Text: return Val::text(text, kind);
    }
    return Val::null();
}

namespace {

constexpr uint32_t kPrefixText = 16;
constexpr uint32_t kSegment = 1 + kPrefixText;
constexpr uint32_t kSlotHeader = 6; // tag, kind, length
enum SlotTag : uint8_t { SlotNull, SlotInt, SlotReal, SlotText, SlotLongText };

void putBigEndian(uint64_t v, unsigned char *out) {
    for (int b = 7; b >= 0; --b, v >>= 8)
        out[b] = static_cast<unsigned char>(v);
}

// A double's bits turned so that unsigned byte order is numeric order.
uint64_t orderedBits(double d) {
    if (d == 0)
        d = 0; // -0.0 sorts as 0.0
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return (bits & (uint64_t{1} << 63)) != 0 ? ~bits : bits | (uint64_t{1} << 63);
}

} // namespace

uint32_t inlineTextSize(ColumnType type, uint32_t size) {
    switch (type) {
    case ColumnType::Integer:
    case ColumnType::Double:
    case ColumnType::Time: return 8;
    case ColumnType::Date: return 10;
    case ColumnType::Timestamp: return 26;
    case ColumnType::Varchar: break;
    }
    return size == 255 || size == 0 ? 16 : std::min<uint32_t>(size, 48);
}

// The records go through ZoSort (which spills large sorts to a temporary file): its keys are
// the prefix's bytes, then (for prefixes that tie) the full values compared by a function,
// then the sequence number of the record, which keeps rows that compare equal in the order
// they came in.
struct RowSorter::Impl {
    uint32_t width;
    std::vector<SortKeySpec> keys;
    uint32_t distinctWidth;
    std::vector<uint32_t> slotOffset; // of each column's slot in the record
    std::vector<uint32_t> inlineSize; // text bytes a slot holds
    uint32_t prefixSize = 0;
    uint32_t sequenceOffset = 0;
    uint32_t payloadOffset = 0;
    uint32_t recordSize = 0;
    uint64_t added = 0;
    ZoSort sort;
    std::vector<std::string> longTexts;
    std::vector<Val> current;
    std::vector<StoredValue> previous;
    bool havePrevious = false;
    const unsigned char *pending = nullptr; // the first record, read when the sort was made

    // False when even the smallest slots make records longer than a sort takes.
    bool layout(const std::vector<uint32_t> &textSizes) {
        prefixSize = static_cast<uint32_t>(keys.size()) * kSegment;
        sequenceOffset = prefixSize;
        payloadOffset = prefixSize + 8;
        for (bool shrink : {false, true}) {
            inlineSize.clear();
            slotOffset.clear();
            uint64_t at = payloadOffset;
            for (uint32_t c = 0; c < width; ++c) {
                uint32_t text = c < textSizes.size() && !shrink ? textSizes[c] : 8;
                text = std::max<uint32_t>(text, 8);
                inlineSize.push_back(text);
                slotOffset.push_back(static_cast<uint32_t>(at));
                at += kSlotHeader + text;
            }
            if (at <= 0xFFFF) {
                recordSize = static_cast<uint32_t>(at);
                return true;
            }
        }
        return false;
    }

    // The full values of one sort key, for records whose prefix segments of it are equal
    // (texts that share their first 16 bytes, integers beyond 2^53).
    struct KeyContext {
        const Impl *impl;
        SortKeySpec key;
    };
    std::vector<KeyContext> contexts;

    static short compareFull(void *context, const void *a, const void *b) {
        const KeyContext &c = *static_cast<const KeyContext *>(context);
        const Impl &m = *c.impl;
        const unsigned char *x = static_cast<const unsigned char *>(a) - m.payloadOffset;
        const unsigned char *y = static_cast<const unsigned char *>(b) - m.payloadOffset;
        int d = compareValues(m.decodeSlot(x, c.key.column), m.decodeSlot(y, c.key.column));
        return static_cast<short>(c.key.descending ? -d : d);
    }

    // Each sort key is its prefix segment, then (reached only when the segments tie) its full
    // values; the sequence number last. A later key's segment must not decide before an
    // earlier key's full values have.
    bool addKeys() {
        if (2 * keys.size() + 1 > ZoSort::MaxKeys)
            return fail(EngineError::NotSupported, "ORDER BY of more than 31 keys is not supported");
        contexts.reserve(keys.size());
        for (size_t k = 0; k < keys.size(); ++k) {
            contexts.push_back(KeyContext{this, keys[k]});
            if (sort.addKey(ZoSortBytes, static_cast<uint32_t>(k * kSegment), kSegment) != ZoSuccess ||
                sort.addKey(ZoSortFunction, payloadOffset, static_cast<uint16_t>(recordSize - payloadOffset),
                            compareFull, &contexts.back()) != ZoSuccess)
                return false;
        }
        return sort.addKey(ZoSortBytes, sequenceOffset, 8) == ZoSuccess;
    }

    void encodeKey(const Val &v, bool descending, unsigned char *out) const {
        std::memset(out, 0, kSegment);
        switch (v.type) {
        case Val::Null: out[0] = 0x10; break;
        case Val::Int:
        case Val::Real:
            out[0] = 0x20;
            putBigEndian(orderedBits(v.asDouble()), out + 1);
            break;
        case Val::Text:
            out[0] = 0x30;
            std::memcpy(out + 1, v.s, std::min<uint32_t>(v.size, kPrefixText));
            break;
        }
        if (descending)
            for (uint32_t i = 0; i < kSegment; ++i)
                out[i] = static_cast<unsigned char>(~out[i]);
    }

    void encodeSlot(const Val &v, uint32_t column, unsigned char *slot) {
        std::memset(slot, 0, kSlotHeader + inlineSize[column]); // spilled records hold no stray bytes
        slot[1] = static_cast<unsigned char>(v.kind);
        uint32_t size = 0;
        switch (v.type) {
        case Val::Null: slot[0] = SlotNull; break;
        case Val::Int:
            slot[0] = SlotInt;
            std::memcpy(slot + kSlotHeader, &v.i, sizeof v.i);
            break;
        case Val::Real:
            slot[0] = SlotReal;
            std::memcpy(slot + kSlotHeader, &v.r, sizeof v.r);
            break;
        case Val::Text:
            size = v.size;
            if (size <= inlineSize[column]) {
                slot[0] = SlotText;
                std::memcpy(slot + kSlotHeader, v.s, size);
            } else {
                slot[0] = SlotLongText;
                uint64_t index = longTexts.size();
                longTexts.emplace_back(v.s, v.size);
                std::memcpy(slot + kSlotHeader, &index, sizeof index);
            }
        }
        std::memcpy(slot + 2, &size, sizeof size);
    }

    Val decodeSlot(const unsigned char *record, uint32_t column) const {
        const unsigned char *slot = record + slotOffset[column];
        uint32_t size;
        std::memcpy(&size, slot + 2, sizeof size);
        TextKind kind = static_cast<TextKind>(slot[1]);
        switch (slot[0]) {
        case SlotInt: {
            int64_t i;
            std::memcpy(&i, slot + kSlotHeader, sizeof i);
            return Val::integer(i);
        }
        case SlotReal: {
            double r;
            std::memcpy(&r, slot + kSlotHeader, sizeof r);
            return Val::real(r);
        }
        case SlotText: return Val::text(reinterpret_cast<const char *>(slot + kSlotHeader), size, kind);
        case SlotLongText: {
            uint64_t index;
            std::memcpy(&index, slot + kSlotHeader, sizeof index);
            return Val::text(longTexts[index], kind);
        }
        default: return Val::null();
        }
    }
};

RowSorter::RowSorter(uint32_t width, std::vector<SortKeySpec> keys, uint32_t distinctWidth,
                     const std::vector<uint32_t> &textSizes)
    : impl_(std::make_unique<Impl>()) {
    impl_->width = width;
    impl_->keys = std::move(keys);
    impl_->distinctWidth = distinctWidth;
    if (!impl_->layout(textSizes)) {
        broken_ = true;
        return;
    }
    impl_->sort.setRecordLength(static_cast<uint16_t>(impl_->recordSize));
    broken_ = !impl_->addKeys();
}

RowSorter::~RowSorter() = default;

bool RowSorter::add(const Val *values) {
    Impl &m = *impl_;
    if (broken_)
        return fail(EngineError::NotSupported, "rows this wide cannot be sorted");
    void *slot = nullptr;
    if (m.sort.nextSlot(&slot) != ZoSuccess)
        return false; // the sort has recorded why (no memory, the spill file)
    auto *record = static_cast<unsigned char *>(slot);
    for (size_t k = 0; k < m.keys.size(); ++k)
        m.encodeKey(values[m.keys[k].column], m.keys[k].descending, record + k * kSegment);
    putBigEndian(m.added++, record + m.sequenceOffset);
    for (uint32_t c = 0; c < m.width; ++c)
        m.encodeSlot(values[c], c, record + m.slotOffset[c]);
    return true;
}

bool RowSorter::finish() {
    Impl &m = *impl_;
    if (broken_)
        return fail(EngineError::NotSupported, "rows this wide cannot be sorted");
    m.havePrevious = false;
    // The first read sorts (and merges what was spilled): its failure shows here.
    void *first = nullptr;
    if (m.sort.getFirstRecord(&first) != ZoSuccess)
        return false;
    m.pending = static_cast<const unsigned char *>(first);
    return true;
}

bool RowSorter::next(const Val **values) {
    Impl &m = *impl_;
    for (;;) {
        const unsigned char *record = m.pending;
        m.pending = nullptr;
        if (record == nullptr) {
            void *found = nullptr;
            if (m.sort.getNextRecord(&found) != ZoSuccess) {
                failed_ = true;
                return false;
            }
            record = static_cast<const unsigned char *>(found);
        }
        if (record == nullptr)
            return false;
        m.current.resize(m.width);
        for (uint32_t c = 0; c < m.width; ++c)
            m.current[c] = m.decodeSlot(record, c);
        if (m.distinctWidth > 0) {
            bool same = m.havePrevious;
            for (uint32_t c = 0; same && c < m.distinctWidth; ++c)
                same = compareValues(m.current[c], m.previous[c].get()) == 0;
            if (same)
                continue;
            m.previous.resize(m.distinctWidth);
            for (uint32_t c = 0; c < m.distinctWidth; ++c)
                m.previous[c].set(m.current[c]);
            m.havePrevious = true;
        }
        *values = m.current.data();
        return true;
    }
}

uint64_t RowSorter::count() const { return impl_->added; }

} // namespace zotext
