#include "rowsort.h"

#include <algorithm>

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

// SEAM(ZoSort): rows are kept in memory and ordered with the standard sort until the
// library's record sort is on main; then they go through ZoSort, spilling large sorts.
struct RowSorter::Impl {
    uint32_t width;
    std::vector<SortKeySpec> keys;
    uint32_t distinctWidth;
    std::vector<std::vector<StoredValue>> rows;
    std::vector<Val> current;
    size_t position = 0;
    size_t previous = SIZE_MAX;

    int compareRows(const std::vector<StoredValue> &a, const std::vector<StoredValue> &b) const {
        for (const SortKeySpec &key : keys) {
            int c = compareValues(a[key.column].get(), b[key.column].get());
            if (c != 0)
                return key.descending ? -c : c;
        }
        return 0;
    }
    bool sameDistinct(const std::vector<StoredValue> &a, const std::vector<StoredValue> &b) const {
        for (uint32_t c = 0; c < distinctWidth; ++c)
            if (compareValues(a[c].get(), b[c].get()) != 0)
                return false;
        return true;
    }
};

RowSorter::RowSorter(uint32_t width, std::vector<SortKeySpec> keys, uint32_t distinctWidth)
    : impl_(std::make_unique<Impl>()) {
    impl_->width = width;
    impl_->keys = std::move(keys);
    impl_->distinctWidth = distinctWidth;
}

RowSorter::~RowSorter() = default;

bool RowSorter::add(const Val *values) {
    std::vector<StoredValue> row(impl_->width);
    for (uint32_t c = 0; c < impl_->width; ++c)
        row[c].set(values[c]);
    impl_->rows.push_back(std::move(row));
    return true;
}

bool RowSorter::finish() {
    if (!impl_->keys.empty())
        std::stable_sort(impl_->rows.begin(), impl_->rows.end(),
                         [this](const auto &a, const auto &b) { return impl_->compareRows(a, b) < 0; });
    impl_->position = 0;
    impl_->previous = SIZE_MAX;
    return true;
}

bool RowSorter::next(const Val **values) {
    Impl &m = *impl_;
    while (m.position < m.rows.size()) {
        size_t at = m.position++;
        if (m.distinctWidth > 0 && m.previous != SIZE_MAX && m.sameDistinct(m.rows[m.previous], m.rows[at]))
            continue;
        m.previous = at;
        m.current.resize(m.width);
        for (uint32_t c = 0; c < m.width; ++c)
            m.current[c] = m.rows[at][c].get();
        *values = m.current.data();
        return true;
    }
    return false;
}

uint64_t RowSorter::count() const { return impl_->rows.size(); }

} // namespace zotext
