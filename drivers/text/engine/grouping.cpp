#include "grouping.h"

#include <atomic>
#include <unordered_map>
#include <unordered_set>

#include "errors.h"
#include "rowsort.h"

namespace zotext {

namespace {

std::atomic<size_t> groupLimit{200000};

// The running value of one aggregate of one group. SUM and AVG add integers exactly until
// they overflow and reals (and text that is no integer) as reals, as SQLite does.
struct AggState {
    int64_t count = 0;
    int64_t integerSum = 0;
    double realSum = 0;
    bool approximate = false;
    bool overflow = false;
    bool has = false; // best holds a value (MIN, MAX, or a DISTINCT aggregate's result)
    StoredValue best;
    std::unique_ptr<std::unordered_set<std::string>> seen; // DISTINCT arguments
};

struct Group {
    std::vector<StoredValue> keys;
    std::vector<AggState> aggregates;
};

// Values a group's partial aggregate is handed to the sort stage as.
uint32_t partialWidth(const AggregateSpec &spec) {
    if (spec.distinct)
        return 1; // its final value: groups with DISTINCT aggregates are never split
    switch (spec.function) {
    case AggFunction::Sum:
    case AggFunction::Avg: return 4; // count, integer sum, real sum, flags
    default: return 1;               // count, or the best value
    }
}

void addNumber(AggState &state, const Val &n) {
    if (n.type == Val::Int) {
        state.realSum += static_cast<double>(n.i);
        if (!state.approximate && !state.overflow && __builtin_add_overflow(state.integerSum, n.i, &state.integerSum))
            state.approximate = state.overflow = true;
    } else {
        state.realSum += realOf(n);
        state.approximate = true;
    }
}

void keepBest(const AggregateSpec &spec, AggState &state, const Val &v) {
    int c = state.has ? compareValues(v, state.best.get()) : 0;
    if (!state.has || (spec.function == AggFunction::Min ? c < 0 : c > 0)) {
        state.best.set(v);
        state.has = true;
    }
}

void accumulate(const AggregateSpec &spec, AggState &state, const Val &v, std::string *scratch) {
    if (spec.function == AggFunction::CountStar) {
        ++state.count;
        return;
    }
    if (v.isNull())
        return;
    if (spec.distinct) {
        scratch->clear();
        appendCanonical(v, scratch);
        if (!state.seen)
            state.seen = std::make_unique<std::unordered_set<std::string>>();
        if (!state.seen->insert(*scratch).second)
            return;
    }
    ++state.count;
    switch (spec.function) {
    case AggFunction::Sum:
    case AggFunction::Avg:
        addNumber(state, v.type == Val::Text ? withAffinity(v, Affinity::Numeric, scratch) : v);
        return;
    case AggFunction::Min:
    case AggFunction::Max: keepBest(spec, state, v); return;
    default: return;
    }
}

bool finalValue(const AggregateSpec &spec, const AggState &state, Val *out) {
    if (spec.distinct && state.seen == nullptr && state.has) {
        *out = state.best.get(); // a result read back from the sort stage
        return true;
    }
    switch (spec.function) {
    case AggFunction::CountStar:
    case AggFunction::Count: *out = Val::integer(state.count); return true;
    case AggFunction::Sum:
        if (state.count == 0)
            *out = Val::null();
        else if (state.overflow)
            return fail(EngineError::IntegerOverflow, "integer overflow");
        else
            *out = state.approximate ? Val::real(state.realSum) : Val::integer(state.integerSum);
        return true;
    case AggFunction::Avg:
        *out = state.count == 0 ? Val::null() : Val::real(state.realSum / static_cast<double>(state.count));
        return true;
    case AggFunction::Min:
    case AggFunction::Max: *out = state.has ? state.best.get() : Val::null(); return true;
    }
    return true;
}

// Writes the partial aggregate as values; false when a DISTINCT aggregate's final value
// cannot be made (integer overflow).
bool writePartial(const AggregateSpec &spec, const AggState &state, Val *out) {
    if (spec.distinct)
        return finalValue(spec, state, out);
    switch (spec.function) {
    case AggFunction::Sum:
    case AggFunction::Avg:
        out[0] = Val::integer(state.count);
        out[1] = Val::integer(state.integerSum);
        out[2] = Val::real(state.realSum);
        out[3] = Val::integer((state.approximate ? 1 : 0) | (state.overflow ? 2 : 0));
        return true;
    case AggFunction::Min:
    case AggFunction::Max: out[0] = state.has ? state.best.get() : Val::null(); return true;
    default: out[0] = Val::integer(state.count); return true;
    }
}

// Adds a partial aggregate read back from the sort stage to the group's state.
void mergePartial(const AggregateSpec &spec, AggState &state, const Val *partial) {
    if (spec.distinct) {
        state.best.set(partial[0]);
        state.has = true;
        return;
    }
    switch (spec.function) {
    case AggFunction::Sum:
    case AggFunction::Avg: {
        state.count += partial[0].i;
        bool approximate = (partial[3].i & 1) != 0;
        state.overflow = state.overflow || (partial[3].i & 2) != 0;
        if (!approximate && !state.approximate && !state.overflow &&
            __builtin_add_overflow(state.integerSum, partial[1].i, &state.integerSum))
            state.overflow = true;
        state.approximate = state.approximate || approximate || state.overflow;
        state.realSum += partial[2].r;
        return;
    }
    case AggFunction::Min:
    case AggFunction::Max:
        if (!partial[0].isNull())
            keepBest(spec, state, partial[0]);
        return;
    default: state.count += partial[0].i; return;
    }
}

} // namespace

struct Grouper::Impl {
    const std::vector<NodePtr> &keys;
    const std::vector<AggregateSpec> &aggregates;
    bool splittable = true; // no DISTINCT aggregate: groups may be handed on in parts
    uint32_t width = 0;     // of a partial row
    std::unordered_map<std::string, size_t> index;
    std::vector<Group> groups;
    std::unique_ptr<RowSorter> sorter;
    bool handedOn = false;
    std::vector<Val> keyValues, partialRow, result;
    std::string keyBytes, scratch;
    // Reading: the group being merged and the first row of the next one.
    Group current;
    std::vector<StoredValue> peeked;
    bool havePeeked = false;

    Impl(const std::vector<NodePtr> &k, const std::vector<AggregateSpec> &a) : keys(k), aggregates(a) {
        width = static_cast<uint32_t>(keys.size());
        std::vector<uint32_t> textSizes;
        std::vector<SortKeySpec> order;
        for (size_t i = 0; i < keys.size(); ++i) {
            textSizes.push_back(inlineTextSize(keys[i]->type, keys[i]->size));
            order.push_back(SortKeySpec{static_cast<uint32_t>(i), false});
        }
        for (const AggregateSpec &spec : aggregates) {
            splittable = splittable && !spec.distinct;
            width += partialWidth(spec);
            for (uint32_t i = 0; i < partialWidth(spec); ++i)
                textSizes.push_back(spec.argument ? inlineTextSize(spec.argument->type, spec.argument->size) : 8);
        }
        sorter = std::make_unique<RowSorter>(width, std::move(order), 0, textSizes);
        keyValues.resize(keys.size());
        partialRow.resize(width);
    }

    bool handOn() {
        for (Group &group : groups) {
            size_t at = 0;
            for (const StoredValue &key : group.keys)
                partialRow[at++] = key.get();
            for (size_t a = 0; a < aggregates.size(); ++a) {
                if (!writePartial(aggregates[a], group.aggregates[a], &partialRow[at]))
                    return false;
                at += partialWidth(aggregates[a]);
            }
            if (!sorter->add(partialRow.data()))
                return false;
        }
        groups.clear();
        index.clear();
        handedOn = true;
        return true;
    }

    void startGroup(const Val *row) {
        current.keys.resize(keys.size());
        for (size_t k = 0; k < keys.size(); ++k)
            current.keys[k].set(row[k]);
        current.aggregates.clear();
        current.aggregates.resize(aggregates.size());
        mergeRow(row);
    }

    void mergeRow(const Val *row) {
        size_t at = keys.size();
        for (size_t a = 0; a < aggregates.size(); ++a) {
            mergePartial(aggregates[a], current.aggregates[a], row + at);
            at += partialWidth(aggregates[a]);
        }
    }

    bool sameKeys(const Val *row) const {
        for (size_t k = 0; k < keys.size(); ++k)
            if (compareValues(row[k], current.keys[k].get()) != 0)
                return false;
        return true;
    }
};

Grouper::Grouper(const std::vector<NodePtr> &keys, const std::vector<AggregateSpec> &aggregates)
    : impl_(std::make_unique<Impl>(keys, aggregates)) {}

Grouper::~Grouper() = default;

size_t Grouper::memoryLimit() { return groupLimit.load(); }
void Grouper::setMemoryLimitForTest(size_t groups) { groupLimit.store(groups); }

bool Grouper::add(const RowFrame &frame) {
    Impl &m = *impl_;
    m.keyBytes.clear();
    for (size_t k = 0; k < m.keys.size(); ++k) {
        if (!m.keys[k]->eval(frame, &m.keyValues[k]))
            return failed_ = true, false;
        appendCanonical(m.keyValues[k], &m.keyBytes);
    }
    auto found = m.index.find(m.keyBytes);
    size_t g;
    if (found == m.index.end()) {
        g = m.groups.size();
        m.index.emplace(m.keyBytes, g);
        Group group;
        group.keys.resize(m.keys.size());
        for (size_t k = 0; k < m.keys.size(); ++k)
            group.keys[k].set(m.keyValues[k]);
        group.aggregates.resize(m.aggregates.size());
        m.groups.push_back(std::move(group));
    } else {
        g = found->second;
    }
    for (size_t a = 0; a < m.aggregates.size(); ++a) {
        const AggregateSpec &spec = m.aggregates[a];
        Val arg;
        if (spec.argument && !spec.argument->eval(frame, &arg))
            return failed_ = true, false;
        accumulate(spec, m.groups[g].aggregates[a], arg, &m.scratch);
    }
    if (m.splittable && m.groups.size() >= groupLimit.load() && !m.handOn())
        return failed_ = true, false;
    return true;
}

bool Grouper::finish() {
    Impl &m = *impl_;
    if (m.groups.empty() && m.keys.empty() && !m.handedOn) {
        Group whole; // an aggregate over no rows still gives one row
        whole.aggregates.resize(m.aggregates.size());
        m.groups.push_back(std::move(whole));
    }
    if (!m.handOn() || !m.sorter->finish())
        return failed_ = true, false;
    const Val *row = nullptr;
    m.havePeeked = m.sorter->next(&row);
    if (m.sorter->failed())
        return failed_ = true, false;
    if (m.havePeeked) {
        m.peeked.resize(m.width);
        for (uint32_t c = 0; c < m.width; ++c)
            m.peeked[c].set(row[c]);
    }
    return true;
}

bool Grouper::next(const Val **values) {
    Impl &m = *impl_;
    if (!m.havePeeked || failed_)
        return false;
    std::vector<Val> first(m.width);
    for (uint32_t c = 0; c < m.width; ++c)
        first[c] = m.peeked[c].get();
    m.startGroup(first.data());
    // The parts of one group lie next to each other in key order.
    const Val *row = nullptr;
    m.havePeeked = false;
    while (m.sorter->next(&row)) {
        if (!m.sameKeys(row)) {
            for (uint32_t c = 0; c < m.width; ++c)
                m.peeked[c].set(row[c]);
            m.havePeeked = true;
            break;
        }
        m.mergeRow(row);
    }
    if (m.sorter->failed())
        return failed_ = true, false;
    m.result.resize(m.keys.size() + m.aggregates.size());
    for (size_t k = 0; k < m.keys.size(); ++k)
        m.result[k] = m.current.keys[k].get();
    for (size_t a = 0; a < m.aggregates.size(); ++a)
        if (!finalValue(m.aggregates[a], m.current.aggregates[a], &m.result[m.keys.size() + a]))
            return failed_ = true, false;
    *values = m.result.data();
    return true;
}

} // namespace zotext
