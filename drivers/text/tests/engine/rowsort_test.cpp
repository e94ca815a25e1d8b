// The sort stage against a model (std::stable_sort with SQLite's order of values): several
// keys ascending and descending, texts that share long prefixes, integers beyond 2^53 that
// share a double, NULLs, mixed types; in memory and spilled to the sort's file; DISTINCT.
#include "engine_support.h"

#include <algorithm>
#include <random>

#include "engine/rowsort.h"
#include "engine/value.h"

namespace enginetest {
namespace {

using zotext::Val;

// A model row: values kept with their text.
struct ModelRow {
    std::vector<Val::Type> types;
    std::vector<int64_t> integers;
    std::vector<double> reals;
    std::vector<std::string> texts;
    int64_t sequence;
    Val at(size_t c) const {
        switch (types[c]) {
        case Val::Int: return Val::integer(integers[c]);
        case Val::Real: return Val::real(reals[c]);
        case Val::Text: return Val::text(texts[c]);
        default: return Val::null();
        }
    }
};

ModelRow randomRow(std::mt19937 &random, size_t width, int64_t sequence) {
    ModelRow row;
    row.sequence = sequence;
    for (size_t c = 0; c < width; ++c) {
        row.integers.push_back(0);
        row.reals.push_back(0);
        row.texts.emplace_back();
        switch (random() % 6) {
        case 0: row.types.push_back(Val::Null); break;
        case 1:
            row.types.push_back(Val::Int);
            // Neighbours of 2^60 share one double.
            row.integers.back() = random() % 2 ? static_cast<int64_t>(random() % 7) - 3
                                               : (int64_t{1} << 60) + static_cast<int64_t>(random() % 5);
            break;
        case 2:
            row.types.push_back(Val::Real);
            row.reals.back() = static_cast<double>(static_cast<int>(random() % 9) - 4) / 2;
            break;
        default:
            row.types.push_back(Val::Text);
            row.texts.back() = "prefix-shared-by" + std::string(random() % 4, 'x') + std::to_string(random() % 3);
        }
    }
    return row;
}

void checkSort(size_t count, std::vector<zotext::SortKeySpec> keys, uint32_t distinctWidth, uint32_t seed) {
    std::mt19937 random(seed);
    const size_t width = 4;
    std::vector<ModelRow> model;
    zotext::RowSorter sorter(width, keys, distinctWidth, {16, 8, 8, 16});
    for (size_t i = 0; i < count; ++i) {
        model.push_back(randomRow(random, width, static_cast<int64_t>(i)));
        std::vector<Val> values;
        for (size_t c = 0; c < width; ++c)
            values.push_back(model.back().at(c));
        ASSERT_TRUE(sorter.add(values.data()));
    }
    std::stable_sort(model.begin(), model.end(), [&keys](const ModelRow &a, const ModelRow &b) {
        for (const zotext::SortKeySpec &key : keys) {
            int c = zotext::compareValues(a.at(key.column), b.at(key.column));
            if (c != 0)
                return key.descending ? c > 0 : c < 0;
        }
        return false;
    });
    // DISTINCT keeps the first of each run of rows equal in their first columns.
    std::vector<const ModelRow *> expected;
    for (const ModelRow &m : model) {
        bool same = distinctWidth > 0 && !expected.empty();
        for (uint32_t c = 0; same && c < distinctWidth; ++c)
            same = zotext::compareValues(m.at(c), expected.back()->at(c)) == 0;
        if (!same)
            expected.push_back(&m);
    }
    ASSERT_TRUE(sorter.finish());
    const Val *row = nullptr;
    size_t at = 0;
    while (sorter.next(&row)) {
        ASSERT_LT(at, expected.size());
        for (size_t c = 0; c < width; ++c) {
            ASSERT_EQ(zotext::compareValues(row[c], expected[at]->at(c)), 0) << "row " << at << " column " << c;
            ASSERT_EQ(row[c].type, expected[at]->types[c]) << "row " << at << " column " << c;
        }
        ++at;
    }
    EXPECT_FALSE(sorter.failed());
    EXPECT_EQ(at, expected.size());
}

TEST(RowSort, MatchesTheModelInMemoryAndSpilled) {
    zotest::ErrorCapture capture;
    const std::vector<zotext::SortKeySpec> orders[] = {
        {{0, false}},
        {{0, true}, {1, false}},
        {{3, true}, {0, false}, {1, true}, {2, false}},
        {}, // no key: the order rows came in
    };
    for (size_t count : {size_t{500}, size_t{50000 / kScale}}) {
        uint32_t seed = 1;
        for (const auto &keys : orders)
            checkSort(count, keys, 0, seed++);
    }
}

TEST(RowSort, DistinctKeepsOneOfEachRow) {
    zotest::ErrorCapture capture;
    std::vector<zotext::SortKeySpec> all = {{0, false}, {1, false}, {2, false}, {3, false}};
    checkSort(3000, all, 4, 7);
    checkSort(3000, {{1, false}, {0, false}}, 2, 8);
}

} // namespace
} // namespace enginetest
