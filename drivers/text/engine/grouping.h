// GROUP BY and aggregates: rows are gathered into groups in a hash table; the groups go
// through the sort stage in the order of their keys (as SQLite gives them). When the table
// holds too many groups for memory it hands its partial aggregates to the sort stage and
// starts again; reading the sorted output then merges the parts of each group.
#pragma once

#include <memory>
#include <vector>

#include "expr.h"

namespace zotext {

class Grouper {
public:
    // keys: the GROUP BY expressions (none: the whole input is one group, even when empty);
    // aggregates: the calls whose values each group gets after its keys.
    Grouper(const std::vector<NodePtr> &keys, const std::vector<AggregateSpec> &aggregates);
    ~Grouper();
    Grouper(const Grouper &) = delete;
    Grouper &operator=(const Grouper &) = delete;

    // Adds the frame's current row; false with an error recorded.
    bool add(const RowFrame &frame);
    bool finish();
    // The next group: its key values, then its aggregates' values (valid until the next
    // call); false at the end or on a failure (failed()).
    bool next(const Val **values);
    bool failed() const { return failed_; }

    // Groups kept in memory before partial aggregates go to the sort stage.
    static size_t memoryLimit();
    static void setMemoryLimitForTest(size_t groups);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    bool failed_ = false;
};

} // namespace zotext
