// Rows of values put in order (ORDER BY), grouped or made distinct: the sort stage of a
// query. Rows are copied in (their text with them) and read back in order.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "value.h"

namespace zotext {

// A value that owns its text.
struct StoredValue {
    Val::Type type = Val::Null;
    TextKind kind = TextKind::Plain;
    int64_t i = 0;
    double r = 0;
    std::string text;
    void set(const Val &v);
    Val get() const;
};

// The text bytes worth keeping in a sorted row for a column of the type and size.
uint32_t inlineTextSize(ColumnType type, uint32_t size);

struct SortKeySpec {
    uint32_t column;
    bool descending;
};

class RowSorter {
public:
    // Rows of `width` values ordered by the keys (in SQLite's order of values, NULLs first
    // ascending); with no keys the rows keep the order they came in. distinctWidth > 0:
    // of rows equal in their first distinctWidth values only the first is kept (the keys
    // then must put equal rows next to each other). textSizes: for each column the text
    // bytes kept in the row itself (longer texts are kept aside); missing ones are 16.
    RowSorter(uint32_t width, std::vector<SortKeySpec> keys, uint32_t distinctWidth,
              const std::vector<uint32_t> &textSizes);
    ~RowSorter();

    // False with an error recorded (memory, the spill file, rows too wide to sort).
    bool add(const Val *values);
    // Sorts; false with an error recorded.
    bool finish();
    // The next row in order (valid until the next call); false at the end, or on a
    // failure to read the spilled rows back (failed(), an error recorded).
    bool next(const Val **values);
    bool failed() const { return failed_; }
    uint64_t count() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    bool broken_ = false; // the rows cannot be laid out as sort records
    bool failed_ = false;
};

} // namespace zotext
