// Rows are sorted as fixed-length records:
//
//   [key prefix: one segment per sort key][payload: one slot per column]
//
// A key segment is a tag byte (NULL 0x10 < number 0x20 < text 0x30) and 16 bytes: a number
// as its double in an order-preserving big-endian form, a text as its first 16 bytes (zero
// padded); all its bytes are complemented for a descending key. Comparing two records'
// prefixes byte for byte therefore orders them as SQLite would, except where two prefixes
// are equal (texts longer than 16 bytes that share them, integers beyond 2^53): those ties
// are settled by comparing the full values from the payload.
//
// A payload slot is a tag byte (NULL, integer, real, inline text, long text), the text kind,
// a 4-byte length and then 8 bytes of number or the slot's inline text bytes. A text too
// long for its slot stays in the sorter's side store and the slot holds its index there.
#include "rowsort.h"

#include <algorithm>
#include <cstring>

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

// SEAM(ZoSort): the records are ordered with the standard sort over their addresses until
// the library's record sort is on main; then they go to ZoSort (spilling large sorts), with
// the prefix as its byte key and the payload comparison as its function key.
struct RowSorter::Impl {
    uint32_t width;
    std::vector<SortKeySpec> keys;
    uint32_t distinctWidth;
    std::vector<uint32_t> slotOffset; // of each column's slot in the record
    std::vector<uint32_t> inlineSize; // text bytes a slot holds
    uint32_t prefixSize = 0;
    uint32_t recordSize = 0;
    std::vector<std::unique_ptr<unsigned char[]>> chunks;
    size_t chunkRecords = 0;
    size_t usedInChunk = 0;
    std::vector<unsigned char *> records;
    std::vector<std::string> longTexts;
    std::vector<Val> current, previous;
    std::vector<Val> left, right;
    size_t position = 0;
    bool havePrevious = false;

    void layout(const std::vector<uint32_t> &textSizes) {
        prefixSize = static_cast<uint32_t>(keys.size()) * kSegment;
        uint32_t at = prefixSize;
        for (uint32_t c = 0; c < width; ++c) {
            uint32_t text = c < textSizes.size() ? textSizes[c] : 16;
            text = std::max<uint32_t>(text, 8);
            inlineSize.push_back(text);
            slotOffset.push_back(at);
            at += kSlotHeader + text;
        }
        recordSize = at;
        chunkRecords = std::max<size_t>(1, (1 << 20) / recordSize);
    }

    unsigned char *newRecord() {
        if (chunks.empty() || usedInChunk == chunkRecords) {
            chunks.push_back(std::make_unique<unsigned char[]>(chunkRecords * recordSize));
            usedInChunk = 0;
        }
        return chunks.back().get() + recordSize * usedInChunk++;
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

    // The order of two records: their prefixes, and on a tie the full values.
    int compareRecords(const unsigned char *a, const unsigned char *b) const {
        int c = std::memcmp(a, b, prefixSize);
        if (c != 0 || prefixSize == 0)
            return c;
        for (const SortKeySpec &key : keys) {
            int d = compareValues(decodeSlot(a, key.column), decodeSlot(b, key.column));
            if (d != 0)
                return key.descending ? -d : d;
        }
        return 0;
    }
};

RowSorter::RowSorter(uint32_t width, std::vector<SortKeySpec> keys, uint32_t distinctWidth,
                     const std::vector<uint32_t> &textSizes)
    : impl_(std::make_unique<Impl>()) {
    impl_->width = width;
    impl_->keys = std::move(keys);
    impl_->distinctWidth = distinctWidth;
    impl_->layout(textSizes);
}

RowSorter::~RowSorter() = default;

bool RowSorter::add(const Val *values) {
    Impl &m = *impl_;
    unsigned char *record = m.newRecord();
    for (size_t k = 0; k < m.keys.size(); ++k)
        m.encodeKey(values[m.keys[k].column], m.keys[k].descending, record + k * kSegment);
    for (uint32_t c = 0; c < m.width; ++c)
        m.encodeSlot(values[c], c, record + m.slotOffset[c]);
    m.records.push_back(record);
    return true;
}

bool RowSorter::finish() {
    Impl &m = *impl_;
    if (!m.keys.empty())
        std::sort(m.records.begin(), m.records.end(),
                  [&m](const unsigned char *a, const unsigned char *b) { return m.compareRecords(a, b) < 0; });
    m.position = 0;
    m.havePrevious = false;
    return true;
}

bool RowSorter::next(const Val **values) {
    Impl &m = *impl_;
    while (m.position < m.records.size()) {
        const unsigned char *record = m.records[m.position++];
        m.current.resize(m.width);
        for (uint32_t c = 0; c < m.width; ++c)
            m.current[c] = m.decodeSlot(record, c);
        if (m.distinctWidth > 0) {
            bool same = m.havePrevious;
            for (uint32_t c = 0; same && c < m.distinctWidth; ++c)
                same = compareValues(m.current[c], m.previous[c]) == 0;
            m.previous = m.current;
            m.havePrevious = true;
            if (same)
                continue;
        }
        *values = m.current.data();
        return true;
    }
    return false;
}

uint64_t RowSorter::count() const { return impl_->records.size(); }

} // namespace zotext
