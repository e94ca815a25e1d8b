// Containers beside the standard library: sorted insertion and search, dictionary lookups.
#include <zo/zodictio.h>
#include <zo/zosorted.h>
#include <zo/zostring.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
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
        bool made = growBy != 0 || array.setInitialSize(16) == ZoSuccess;
        array.setGrowBy(growBy);
        for (const auto &object : objects)
            made = made && array.add(object.get()) == ZoSuccess;
        if (!made) {
            state.SkipWithError("the array could not grow");
            break;
        }
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

// Connection-attribute names, as a driver looks them up while reading a connection string.
const std::vector<std::string> &attributeNames() {
    static const std::vector<std::string> names = {"DSN",
                                                   "UID",
                                                   "PWD",
                                                   "DATABASE",
                                                   "Trusted_Connection",
                                                   "SERVER",
                                                   "DRIVER",
                                                   "APP",
                                                   "WSID",
                                                   "LANGUAGE",
                                                   "Encrypt",
                                                   "TrustServerCertificate",
                                                   "AutoTranslate",
                                                   "QuotedId",
                                                   "AnsiNPW",
                                                   "Regional",
                                                   "Network",
                                                   "Address",
                                                   "FILEDSN",
                                                   "SAVEFILE"};
    return names;
}

// Probes: every name, in a fixed shuffled order; for the case-blind dictionary in upper case.
std::vector<std::string> probeTexts(bool upperCase) {
    std::vector<std::string> probes;
    for (int round = 0; round < 8; ++round)
        for (std::string name : attributeNames()) {
            if (upperCase)
                for (char &c : name)
                    c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
            probes.push_back(name);
        }
    std::shuffle(probes.begin(), probes.end(), std::mt19937(5));
    return probes;
}

ZoSubString viewOf(const std::string &text) {
    return ZoSubString(reinterpret_cast<const unsigned char *>(text.data()), static_cast<uint32_t>(text.size()));
}

// range(0): 1 for a case-blind dictionary probed with upper-cased names, 0 for exact keys.
void dictionaryLookup(benchmark::State &state) {
    const bool noCase = state.range(0) != 0;
    std::vector<ZoSubString> keys;
    for (const auto &name : attributeNames())
        keys.push_back(viewOf(name));
    ZoDictionary dictionary;
    dictionary.setNoCase(noCase);
    bool made = dictionary.initialize(static_cast<uint16_t>(keys.size())) == ZoSuccess;
    for (auto &key : keys)
        made = made && dictionary.addAssoc(&key, &key) == ZoSuccess;
    if (!made) {
        state.SkipWithError("the dictionary could not be filled");
        return;
    }
    const std::vector<std::string> texts = probeTexts(noCase);
    std::vector<ZoSubString> probes;
    for (const auto &text : texts)
        probes.push_back(viewOf(text));
    for (auto _ : state)
        for (const auto &probe : probes)
            benchmark::DoNotOptimize(dictionary.getPtrForKey(&probe));
    state.SetItemsProcessed(state.iterations() * probes.size());
}
BENCHMARK(dictionaryLookup)->Arg(0)->Arg(1);

void unorderedMapLookup(benchmark::State &state) {
    std::unordered_map<std::string, const std::string *> map;
    for (const auto &name : attributeNames())
        map.emplace(name, &name);
    const std::vector<std::string> probes = probeTexts(false);
    for (auto _ : state)
        for (const auto &probe : probes)
            benchmark::DoNotOptimize(map.find(probe));
    state.SetItemsProcessed(state.iterations() * probes.size());
}
BENCHMARK(unorderedMapLookup);

} // namespace
