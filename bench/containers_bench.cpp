// Containers beside the standard library: sorted insertion and search, dictionary lookups.
#include <zo/zodictio.h>
#include <zo/zosorted.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <unordered_map>
#include <vector>

namespace {

class Item : public ZoObject {
public:
    explicit Item(uint32_t key) : key(key) {}
    short compare(const ZoObject *other) const override {
        uint32_t k = static_cast<const Item *>(other)->key;
        return static_cast<short>(key < k ? -1 : (key > k ? 1 : 0));
    }
    uint32_t key;
};

// The same 100,000 objects in random order for every run.
const std::vector<std::unique_ptr<Item>> &items() {
    static const auto made = [] {
        std::vector<std::unique_ptr<Item>> v;
        std::mt19937 rng(1);
        for (uint32_t i = 0; i < 100000; ++i)
            v.push_back(std::make_unique<Item>(rng()));
        return v;
    }();
    return made;
}

// growBy as given (16 is the default); 0 doubles from an initial 16 slots.
void sortedArrayAddFind(benchmark::State &state) {
    const auto &objects = items();
    const auto growBy = static_cast<uint16_t>(state.range(0));
    for (auto _ : state) {
        ZoSortedArray array;
        if (growBy == 0)
            array.setInitialSize(16);
        array.setGrowBy(growBy);
        for (const auto &object : objects)
            array.add(object.get());
        uint32_t found = 0;
        for (const auto &object : objects) {
            uint32_t index = 0;
            found += array.findIndexOf(object.get(), index);
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * objects.size());
}
BENCHMARK(sortedArrayAddFind)->Arg(16)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3);

// The anchor: a vector of the same pointers ordered by the same virtual compare, equal
// elements after the existing ones as ZoSortedArray keeps them.
void vectorLowerBoundInsert(benchmark::State &state) {
    const auto &objects = items();
    auto before = [](const ZoObject *a, const ZoObject *b) { return a->compare(b) < 0; };
    for (auto _ : state) {
        std::vector<const ZoObject *> array;
        for (const auto &object : objects)
            array.insert(std::upper_bound(array.begin(), array.end(), object.get(), before), object.get());
        uint32_t found = 0;
        for (const auto &object : objects) {
            auto at = std::lower_bound(array.begin(), array.end(), object.get(), before);
            found += at != array.end() && (*at)->compare(object.get()) == 0;
        }
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations() * objects.size());
}
BENCHMARK(vectorLowerBoundInsert)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
