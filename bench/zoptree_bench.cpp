// The positional tree against std::vector (insertion moves every later element) and an
// order-statistic tree (__gnu_pbds::tree with tree_order_statistics_node_update, keyed so
// that a new key falls between the neighbours of its position): inserts of 4-byte data at
// random positions 0 .. size. Argument: the number of inserts.
#include <zo/zoptree.h>

#include <benchmark/benchmark.h>
#include <ext/pb_ds/assoc_container.hpp>
#include <ext/pb_ds/tree_policy.hpp>

#include <cstdint>
#include <random>
#include <vector>

namespace {

// The positions of the inserts, each one within the entries made so far.
std::vector<uint32_t> positions(uint32_t count) {
    std::mt19937 rng(count);
    std::vector<uint32_t> out(count);
    for (uint32_t i = 0; i < count; ++i)
        out[i] = rng() % (i + 1);
    return out;
}

void BM_ZoPTree_InsertAtRandom(benchmark::State &state) {
    const std::vector<uint32_t> at = positions(static_cast<uint32_t>(state.range(0)));
    for (auto _ : state) {
        ZoPTree tree(4);
        bool added = true;
        for (uint32_t i = 0; i < at.size(); ++i)
            added &= tree.addAtPos(at[i], &i) == ZoSuccess;
        if (!added) {
            state.SkipWithError("an insert failed");
            break;
        }
        benchmark::DoNotOptimize(tree.getKeyCount());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * at.size()));
}

void BM_StdVector_InsertAtRandom(benchmark::State &state) {
    const std::vector<uint32_t> at = positions(static_cast<uint32_t>(state.range(0)));
    for (auto _ : state) {
        std::vector<uint32_t> items;
        for (uint32_t i = 0; i < at.size(); ++i)
            items.insert(items.begin() + at[i], i);
        benchmark::DoNotOptimize(items.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * at.size()));
}

// Keys are long doubles spread over a wide range; a new key is the midpoint of the keys
// around its position, which a random order of inserts never exhausts.
using OrderTree = __gnu_pbds::tree<long double, uint32_t, std::less<long double>, __gnu_pbds::rb_tree_tag,
                                   __gnu_pbds::tree_order_statistics_node_update>;

void BM_OrderStatisticTree_InsertAtRandom(benchmark::State &state) {
    const std::vector<uint32_t> at = positions(static_cast<uint32_t>(state.range(0)));
    constexpr long double Top = 0x1p62L;
    for (auto _ : state) {
        OrderTree tree;
        for (uint32_t i = 0; i < at.size(); ++i) {
            const long double low = at[i] == 0 ? 0 : tree.find_by_order(at[i] - 1)->first;
            const long double high = at[i] == tree.size() ? Top : tree.find_by_order(at[i])->first;
            tree.insert({(low + high) / 2, i});
        }
        if (tree.size() != at.size())
            state.SkipWithError("keys ran out of precision");
        benchmark::DoNotOptimize(tree.size());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * at.size()));
}

BENCHMARK(BM_ZoPTree_InsertAtRandom)->Arg(100000)->Arg(1000000)->Iterations(2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OrderStatisticTree_InsertAtRandom)
    ->Arg(100000)
    ->Arg(1000000)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond);
// O(n) a move: the million takes seconds, once.
BENCHMARK(BM_StdVector_InsertAtRandom)->Arg(100000)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace
