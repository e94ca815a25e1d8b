#include <zo/sort.h>
#include <zo/strfuncs.h>
#include <zo/zosorted.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "platform/file.h"
#include "support/error_capture.h"
#include "support/status.h"

namespace plat = zo::plat;

namespace {

using Record = std::string;

// ---- a model of the key list -------------------------------------------------------------

// Objects whose records sort by their value (records of object keys begin with a pointer).
class Valued : public ZoObject {
public:
    explicit Valued(int v) : value(v) {}
    short compare(const ZoObject *other) const override {
        int theirs = static_cast<const Valued *>(other)->value;
        return static_cast<short>((value > theirs) - (value < theirs));
    }
    int value;
};

// A function key: four bytes read as a little-endian number (an order bytes do not give).
short littleEndian(void *calls, const void *a, const void *b) {
    if (calls != nullptr)
        ++*static_cast<uint64_t *>(calls);
    uint32_t x, y;
    std::memcpy(&x, a, 4);
    std::memcpy(&y, b, 4);
    return static_cast<short>((x > y) - (x < y));
}

struct KeySpec {
    uint16_t type;
    uint32_t offset;
    uint16_t length;
};

int kind(const KeySpec &key) {
    if (key.type & ZoSortObject)
        return ZoSortObject;
    if (key.type & ZoSortText)
        return ZoSortText;
    if (key.type & ZoSortFunction)
        return ZoSortFunction;
    return ZoSortBytes;
}

int sign(int v) { return (v > 0) - (v < 0); }

int modelCompareKey(const KeySpec &key, const Record &a, const Record &b) {
    auto pa = reinterpret_cast<const unsigned char *>(a.data());
    auto pb = reinterpret_cast<const unsigned char *>(b.data());
    int order = 0;
    switch (kind(key)) {
    case ZoSortObject: {
        const Valued *x, *y;
        std::memcpy(&x, pa, sizeof x);
        std::memcpy(&y, pb, sizeof y);
        order = (x->value > y->value) - (x->value < y->value);
        break;
    }
    case ZoSortText: order = strCompareIntl(pa + key.offset, key.length, pb + key.offset, key.length); break;
    case ZoSortFunction: order = littleEndian(nullptr, pa + key.offset, pb + key.offset); break;
    default: order = std::memcmp(pa + key.offset, pb + key.offset, key.length);
    }
    return (key.type & ZoSortDescending) ? -sign(order) : sign(order);
}

int modelCompare(const std::vector<KeySpec> &keys, const Record &a, const Record &b, size_t from = 0) {
    for (size_t k = from; k < keys.size(); ++k)
        if (int order = modelCompareKey(keys[k], a, b))
            return order;
    return 0;
}

// What identifies a record's place in the order: the values of its keys.
std::vector<std::string> keyValues(const std::vector<KeySpec> &keys, const Record &r) {
    std::vector<std::string> values;
    for (const KeySpec &key : keys) {
        if (kind(key) == ZoSortObject) {
            const Valued *object;
            std::memcpy(&object, r.data(), sizeof object);
            values.push_back(std::to_string(object->value));
        } else {
            values.push_back(r.substr(key.offset, key.length));
        }
    }
    return values;
}

// The break reported by getSortedWithCompare: the first key whose bytes differ.
uint32_t modelBreak(const std::vector<KeySpec> &keys, const Record &previous, const Record &r) {
    for (uint32_t k = 0; k < keys.size(); ++k) {
        const KeySpec &key = keys[k];
        uint32_t offset = key.offset;
        auto pa = reinterpret_cast<const unsigned char *>(previous.data()) + offset;
        auto pb = reinterpret_cast<const unsigned char *>(r.data()) + offset;
        int order =
            kind(key) == ZoSortText ? strCompareIntl(pa, key.length, pb, key.length) : std::memcmp(pa, pb, key.length);
        if (order != 0)
            return k;
    }
    return static_cast<uint32_t>(keys.size());
}

// ---- random records ----------------------------------------------------------------------

struct Shape {
    uint16_t length;
    std::vector<KeySpec> keys;
};

// A random key list over records of a random length; the first 8 bytes are reserved for
// an object pointer when an object key is drawn.
Shape randomShape(std::mt19937 &rng, uint16_t length) {
    Shape shape{length, {}};
    bool objects = length >= 16 && rng() % 4 == 0;
    uint32_t from = objects ? 8 : 0;
    if (objects)
        shape.keys.push_back({static_cast<uint16_t>(ZoSortObject | (rng() % 2)), 0, 8});
    uint32_t keys = 1 + rng() % 3;
    for (uint32_t k = 0; k < keys && from < length; ++k) {
        uint16_t type = static_cast<uint16_t>(std::vector<int>{ZoSortBytes, ZoSortText, ZoSortFunction}[rng() % 3]);
        uint16_t keyLength = static_cast<uint16_t>(1 + rng() % std::min<uint32_t>(12, length - from));
        if (type == ZoSortFunction && length - from < 4)
            type = ZoSortBytes;
        if (type == ZoSortFunction)
            keyLength = 4; // the function reads four bytes
        uint32_t offset = from + rng() % (length - from - keyLength + 1);
        shape.keys.push_back({static_cast<uint16_t>(type | (rng() % 2)), offset, keyLength});
        from = offset + keyLength;
    }
    return shape;
}

// Records with few distinct key values, so that ties (and groups) are common.
std::vector<Record> randomRecords(std::mt19937 &rng, const Shape &shape, size_t count,
                                  std::vector<std::unique_ptr<Valued>> &objects) {
    std::vector<Record> records(count, Record(shape.length, '\0'));
    for (Record &r : records) {
        for (char &c : r)
            c = static_cast<char>(rng());
        for (const KeySpec &key : shape.keys) {
            if (kind(key) == ZoSortObject) {
                objects.push_back(std::make_unique<Valued>(static_cast<int>(rng() % 7)));
                Valued *p = objects.back().get();
                std::memcpy(r.data(), &p, sizeof p);
                continue;
            }
            for (uint32_t i = 0; i < key.length; ++i)
                r[key.offset + i] = kind(key) == ZoSortText ? "aAbB"[rng() % 4] : static_cast<char>(rng() % 3);
        }
    }
    return records;
}

// ---- driving the sort ---------------------------------------------------------------------

void addKeys(ZoSort &sort, const std::vector<KeySpec> &keys) {
    for (const KeySpec &key : keys)
        zotest::ok(sort.addKey(key.type, key.offset, key.length, kind(key) == ZoSortFunction ? littleEndian : nullptr));
}

// Adds the records; with buffers > 0 the memory load is held to that many buffers (the
// next buffer allocation fails), so that small inputs spill to many runs.
void addAll(ZoSort &sort, const std::vector<Record> &records, uint32_t buffers = 0) {
    if (buffers > 0)
        ramTestFailAllocation(buffers + 1, false);
    for (const Record &r : records)
        zotest::ok(sort.addRecord(r.data()));
    ramTestFailAllocation(0, false);
}

std::vector<Record> readAll(ZoSort &sort, std::vector<uint32_t> *breaks = nullptr) {
    std::vector<Record> out;
    for (;;) {
        void *record = nullptr;
        uint32_t differs = 0;
        zotest::ok(breaks != nullptr ? sort.getSortedWithCompare(&record, &differs) : sort.getSorted(&record));
        if (record == nullptr)
            return out;
        out.emplace_back(static_cast<const char *>(record), sort.getRecordLength());
        if (breaks != nullptr)
            breaks->push_back(differs);
    }
}

// The output is the input in an order the model accepts: a permutation whose key values
// run as a stable sort's do.
void expectSortedLike(const std::vector<KeySpec> &keys, std::vector<Record> input, const std::vector<Record> &output) {
    ASSERT_EQ(output.size(), input.size());
    std::stable_sort(input.begin(), input.end(),
                     [&](const Record &a, const Record &b) { return modelCompare(keys, a, b) < 0; });
    for (size_t i = 0; i < input.size(); ++i)
        ASSERT_EQ(keyValues(keys, output[i]), keyValues(keys, input[i])) << "record " << i;
    std::vector<Record> a = input, b = output;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_TRUE(a == b) << "the output is not a permutation of the input";
}

struct OracleCase {
    const char *name;
    uint16_t length;
    size_t count;
    uint32_t buffers; // 0: as many as the sort wants
};

class SortOracle : public ::testing::TestWithParam<OracleCase> {};

// Random key lists of every kind against a stable sort, with the group breaks.
TEST_P(SortOracle, OutputMatchesAStableSortOfTheKeys) {
    const OracleCase &c = GetParam();
    std::mt19937 rng(c.length * 7919u + static_cast<unsigned>(c.count));
    for (int round = 0; round < 3; ++round) {
        uint16_t length = c.length != 0 ? c.length : static_cast<uint16_t>(1 + rng() % 1000);
        Shape shape = randomShape(rng, length);
        std::vector<std::unique_ptr<Valued>> objects;
        std::vector<Record> input = randomRecords(rng, shape, c.count, objects);
        ZoSort sort(length);
        addKeys(sort, shape.keys);
        addAll(sort, input, c.buffers);
        std::vector<uint32_t> breaks;
        std::vector<Record> output = readAll(sort, &breaks);
        SCOPED_TRACE(::testing::Message()
                     << "length " << length << ", " << shape.keys.size() << " keys, runs " << sort.getRunCount());
        expectSortedLike(shape.keys, input, output);
        for (size_t i = 0; i < output.size(); ++i)
            ASSERT_EQ(breaks[i], i == 0 ? 0u : modelBreak(shape.keys, output[i - 1], output[i])) << "record " << i;
        if (c.buffers > 0 && c.count > 2u * (65536u / length)) {
            EXPECT_GT(sort.getRunCount(), 1u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SortOracle,
    ::testing::Values(OracleCase{"InMemoryAnyLength", 0, 700, 0}, OracleCase{"OneByteRecords", 1, 5000, 0},
                      OracleCase{"InMemoryManyBuffers", 100, 20000, 0}, OracleCase{"SpilledToManyRuns", 100, 12000, 2},
                      OracleCase{"SpilledLongRecords", 1000, 900, 3}, OracleCase{"SpilledAnyLength", 0, 1500, 2}),
    [](const auto &info) { return std::string(info.param.name); });

// Fewer records under the sanitizers keep the runs to seconds.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr uint32_t FullLoads = 1;
constexpr size_t FaultRecords = 3000;
constexpr uint32_t HostileRecords = 1 << 13;
constexpr uint32_t LateFaultStride = 7; // every early fault, then a sample of the window reads
#else
constexpr uint32_t FullLoads = 3;
constexpr size_t FaultRecords = 6000;
constexpr uint32_t HostileRecords = 1 << 16;
constexpr uint32_t LateFaultStride = 1;
#endif

// Full memory loads of 64 buffers spilled, and a short last run: 32-byte records with an
// 8-byte key of many values, checked without the model (there are hundreds of thousands).
TEST(Sort, FullLoadsSpillAndMerge) {
    using Raw = std::array<unsigned char, 32>;
    std::mt19937_64 rng(5);
    std::vector<Raw> input(FullLoads * 131072 + 1000);
    for (Raw &r : input)
        for (size_t i = 0; i < r.size(); i += 8) {
            uint64_t v = rng();
            std::memcpy(r.data() + i, &v, 8);
        }
    ZoSort sort(32);
    zotest::ok(sort.addKey(ZoSortBytes, 0, 8));
    for (const Raw &r : input)
        zotest::ok(sort.addRecord(r.data()));
    EXPECT_EQ(sort.getBufferCount(), 64u);
    std::vector<Raw> output;
    void *record;
    for (zotest::ok(sort.getSorted(&record)); record != nullptr; zotest::ok(sort.getSorted(&record)))
        output.push_back(*static_cast<Raw *>(record));
    EXPECT_EQ(sort.getRunCount(), FullLoads + 1);
    EXPECT_EQ(sort.getLastRunRecords(), 1000u);
    EXPECT_EQ(sort.getMergeWindow(), 131072u / (FullLoads + 1));
    EXPECT_TRUE(std::is_sorted(output.begin(), output.end(),
                               [](const Raw &a, const Raw &b) { return std::memcmp(a.data(), b.data(), 8) < 0; }));
    std::sort(input.begin(), input.end());
    std::sort(output.begin(), output.end());
    EXPECT_TRUE(input == output) << "the output is not a permutation of the input";
}

// More runs than the load has slots: the merge reads one record at a time.
TEST(Sort, MoreRunsThanSlotsMergeOneRecordAtATime) {
    std::mt19937 rng(9);
    Shape shape{40000, {{ZoSortBytes, 100, 3}, {ZoSortDescending, 39990, 2}}};
    std::vector<std::unique_ptr<Valued>> objects;
    std::vector<Record> input = randomRecords(rng, shape, 25, objects);
    ZoSort sort(40000);
    addKeys(sort, shape.keys);
    addAll(sort, input, 2);
    std::vector<uint32_t> breaks;
    std::vector<Record> output = readAll(sort, &breaks);
    EXPECT_EQ(sort.getRunCount(), 13u);
    EXPECT_EQ(sort.getMergeWindow(), 0u);
    expectSortedLike(shape.keys, input, output);
    void *record;
    ASSERT_EQ(sort.getFirstRecordWithKey(output[10].data(), &record), ZoSuccess);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(keyValues(shape.keys, Record(static_cast<char *>(record), 40000)), keyValues(shape.keys, output[10]));
}

// ---- the described cases ------------------------------------------------------------------

TEST(Sort, BuffersFillAndTheSecondIsNeededToSpill) {
    ZoSort sort(100);
    zotest::ok(sort.addKey(ZoSortBytes, 0, 4));
    EXPECT_EQ(sort.getRecordsPerBuffer(), 655u);
    Record r(100, 'x');
    for (int i = 0; i < 655; ++i)
        zotest::ok(sort.addRecord(r.data()));
    EXPECT_EQ(sort.getBufferCount(), 1u);
    ramTestFailAllocation(1, false); // the second buffer
    EXPECT_EQ(sort.addRecord(r.data()), ZoFailure);
    ramTestFailAllocation(0, false);
    EXPECT_EQ(sort.getRecordCount(), 655u);
    zotest::ok(sort.addRecord(r.data()));
    EXPECT_EQ(sort.getBufferCount(), 2u);
    EXPECT_EQ(sort.getRecordCount(), 656u);

    ZoSort ones(1);
    EXPECT_EQ(ones.getRecordsPerBuffer(), 65535u);
}

TEST(Sort, KeyTableAndKeyLayoutAreChecked) {
    zotest::ErrorCapture errors;
    ZoSort sort(20);
    for (uint32_t k = 0; k < 64; ++k)
        zotest::ok(sort.addKey(ZoSortBytes, k % 20, 1));
    EXPECT_EQ(sort.addKey(ZoSortBytes, 0, 1), ZoFailure);
    EXPECT_EQ(errors.lastNumber(), 2710u);
    EXPECT_EQ(sort.getKeyCount(), 64u);
    EXPECT_EQ(sort.getKey(63).keyOffset, 3u);

    ZoSort layout(8);
    EXPECT_EQ(layout.addKey(ZoSortBytes, 4, 5), ZoFailure); // past the record's end
    EXPECT_EQ(errors.lastNumber(), 2713u);
    EXPECT_EQ(layout.addKey(ZoSortFunction, 0, 4), ZoFailure); // no function
    EXPECT_EQ(layout.addKey(ZoSortObject, 0, 8), ZoSuccess);
    ZoSort unknownLength;
    zotest::ok(unknownLength.addKey(ZoSortBytes, 10, 4)); // checked when records come
    unknownLength.setRecordLength(12);
    void *slot;
    EXPECT_EQ(unknownLength.nextSlot(&slot), ZoFailure);
    EXPECT_EQ(errors.lastNumber(), 2713u);
    ZoSort noLength;
    EXPECT_EQ(noLength.nextSlot(&slot), ZoFailure);
}

TEST(Sort, DescendingByteKey) {
    ZoSort sort(1);
    zotest::ok(sort.addKey(ZoSortDescending, 0, 1));
    for (char c : {'b', 'a', 'c'})
        zotest::ok(sort.addRecord(&c));
    std::string order;
    for (const Record &r : readAll(sort))
        order += r;
    EXPECT_EQ(order, "cba");
}

// Records of two one-byte keys, in memory and spread over one-record runs.
class SortBreaks : public ::testing::TestWithParam<uint32_t> {};

TEST_P(SortBreaks, FirstDifferentKeyOfEachRecord) {
    ZoSort sort(40000);
    zotest::ok(sort.addKey(ZoSortBytes, 0, 1));
    zotest::ok(sort.addKey(ZoSortBytes, 1, 1));
    std::vector<Record> input;
    for (const char *keys : {"\2\0", "\1\2", "\1\1", "\1\1"}) {
        input.emplace_back(40000, 'z');
        input.back()[0] = keys[0];
        input.back()[1] = keys[1];
    }
    addAll(sort, input, GetParam());
    std::vector<uint32_t> breaks;
    readAll(sort, &breaks);
    EXPECT_EQ(breaks, (std::vector<uint32_t>{0, 2, 1, 0}));
}

INSTANTIATE_TEST_SUITE_P(MemoryAndSpilled, SortBreaks, ::testing::Values(0u, 2u));

class SortFind : public ::testing::TestWithParam<uint32_t> {};

TEST_P(SortFind, FirstRecordWithKeyThenTheNextOne) {
    ZoSort sort(40000);
    zotest::ok(sort.addKey(ZoSortBytes, 0, 1));
    std::vector<Record> input;
    for (char key : {'5', '3', '7', '5', '1', '5', '9'}) {
        input.emplace_back(40000, key);
        input.back()[1] = static_cast<char>('a' + input.size()); // tells equal keys apart
    }
    addAll(sort, input, GetParam());
    void *record;
    Record probe(40000, '5');
    ASSERT_EQ(sort.getFirstRecordWithKey(probe.data(), &record), ZoSuccess);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(static_cast<char *>(record)[0], '5');
    EXPECT_EQ(sort.getReadPosition(), 3u); // records 1 and 3 come before
    std::string seen(1, static_cast<char *>(record)[1]);
    zotest::ok(sort.getNextRecord(&record));
    EXPECT_EQ(static_cast<char *>(record)[0], '5');
    seen += static_cast<char *>(record)[1];
    zotest::ok(sort.getNextRecord(&record));
    seen += static_cast<char *>(record)[1];
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, "beg");
    zotest::ok(sort.getNextRecord(&record));
    EXPECT_EQ(static_cast<char *>(record)[0], '7');

    probe[0] = '4'; // absent: reading goes on where it would be
    ASSERT_EQ(sort.getFirstRecordWithKey(probe.data(), &record), ZoSuccess);
    EXPECT_EQ(record, nullptr);
    EXPECT_EQ(sort.getReadPosition(), 2u);
    zotest::ok(sort.getNextRecord(&record));
    EXPECT_EQ(static_cast<char *>(record)[0], '5');
    probe[0] = '9' + 1;
    ASSERT_EQ(sort.getFirstRecordWithKey(probe.data(), &record), ZoSuccess);
    EXPECT_EQ(record, nullptr);
    zotest::ok(sort.getNextRecord(&record));
    EXPECT_EQ(record, nullptr);
}

INSTANTIATE_TEST_SUITE_P(MemoryAndSpilled, SortFind, ::testing::Values(0u, 2u));

TEST(Sort, EmptySortReadsNothing) {
    ZoSort sort(10);
    zotest::ok(sort.addKey(ZoSortBytes, 0, 2));
    void *record = &sort;
    ASSERT_EQ(sort.getSorted(&record), ZoSuccess);
    EXPECT_EQ(record, nullptr);
    ASSERT_EQ(sort.getFirstRecord(&record), ZoSuccess);
    EXPECT_EQ(record, nullptr);
    void *slot;
    EXPECT_EQ(sort.nextSlot(&slot), ZoFailure); // reading has begun
}

// ---- re-sorting ---------------------------------------------------------------------------

// Records (a, b, c) of one byte each, with a tag byte that tells them apart.
std::vector<Record> threeKeyRecords(std::mt19937 &rng, size_t count, uint16_t length) {
    std::vector<Record> records;
    for (size_t i = 0; i < count; ++i) {
        Record r(length, '.');
        r[0] = static_cast<char>('0' + rng() % 4);
        r[1] = static_cast<char>('0' + rng() % 5);
        r[2] = static_cast<char>('0' + rng() % 6);
        std::memcpy(&r[3], &i, 4);
        records.push_back(r);
    }
    return records;
}

// The marked range, read back.
std::vector<Record> readRange(ZoSort &sort) {
    std::vector<Record> ranged;
    void *record;
    for (zotest::ok(sort.getFirstRecordInRange(&record)); record != nullptr;
         zotest::ok(sort.getNextRecordInRange(&record)))
        ranged.emplace_back(static_cast<char *>(record), sort.getRecordLength());
    return ranged;
}

class SortResort : public ::testing::TestWithParam<uint32_t> {};

// Sorted by a; key b added and the start key moved past a: the groups of a are ordered by b.
TEST_P(SortResort, StartKeyResortsWithinGroups) {
    std::mt19937 rng(21);
    std::vector<Record> input = threeKeyRecords(rng, 3000, 100);
    ZoSort sort(100);
    zotest::ok(sort.addKey(ZoSortBytes, 0, 1));
    addAll(sort, input, GetParam());
    std::vector<Record> byA = readAll(sort);
    expectSortedLike({{ZoSortBytes, 0, 1}}, input, byA);
    zotest::ok(sort.addKey(ZoSortDescending, 1, 1));
    sort.setStartKey(1);
    zotest::ok(sort.reSort());
    expectSortedLike({{ZoSortBytes, 0, 1}, {ZoSortDescending, 1, 1}}, input, readAll(sort));
}

// Reading by a, each group of a is marked as a range, re-sorted by c as a whole and read
// back; then ranges over several groups re-sorted within their groups by b.
TEST_P(SortResort, RangesResortWhileReading) {
    std::mt19937 rng(22);
    std::vector<Record> input = threeKeyRecords(rng, 3000, 100);
    ZoSort sort(100);
    zotest::ok(sort.addKey(ZoSortBytes, 0, 1));
    addAll(sort, input, GetParam());
    zotest::ok(sort.addKey(ZoSortBytes, 1, 1));
    zotest::ok(sort.addKey(ZoSortBytes, 2, 1));
    std::vector<KeySpec> byC{{ZoSortBytes, 2, 1}};
    std::vector<Record> seen;
    void *record;
    zotest::ok(sort.getFirstRecord(&record));
    while (record != nullptr) {
        Record first(static_cast<char *>(record), 100);
        sort.startResortRange();
        std::vector<Record> group;
        while (record != nullptr && static_cast<char *>(record)[0] == first[0]) {
            group.emplace_back(static_cast<char *>(record), 100);
            zotest::ok(sort.getNextRecord(&record));
        }
        Record closing = record != nullptr ? Record(static_cast<char *>(record), 100) : Record();
        sort.endResortRange();
        zotest::ok(sort.resortRange(2, 1));
        std::vector<Record> ranged = readRange(sort);
        expectSortedLike(byC, group, ranged);
        seen.insert(seen.end(), ranged.begin(), ranged.end());
        // Reading goes on with the record that closed the range.
        zotest::ok(sort.getNextRecord(&record));
        if (closing.empty())
            EXPECT_EQ(record, nullptr);
        else
            ASSERT_EQ(Record(static_cast<char *>(record), 100), closing);
    }
    expectSortedLike({{ZoSortBytes, 0, 1}}, input, seen);

    // Two groups of a at a time, within each group by b (then c).
    zotest::ok(sort.getFirstRecord(&record));
    sort.startResortRange();
    while (record != nullptr && static_cast<char *>(record)[0] <= '1')
        zotest::ok(sort.getNextRecord(&record));
    sort.endResortRange();
    zotest::ok(sort.resortRange(1, 0));
    std::vector<Record> ranged = readRange(sort);
    std::vector<Record> expected;
    std::copy_if(input.begin(), input.end(), std::back_inserter(expected), [](const Record &r) { return r[0] <= '1'; });
    expectSortedLike({{ZoSortBytes, 0, 1}, {ZoSortBytes, 1, 1}, {ZoSortBytes, 2, 1}}, expected, ranged);
    EXPECT_EQ(sort.getStartKey(), 0u);
}

INSTANTIATE_TEST_SUITE_P(MemoryAndSpilled, SortResort, ::testing::Values(0u, 2u));

// ---- the quicksort on hostile inputs ------------------------------------------------------

// Sorts 32-bit numbers in a caller's block through a counting function key.
uint64_t comparisonsToSort(std::vector<uint32_t> values) {
    ZoSort sort(4);
    uint64_t calls = 0;
    zotest::ok(sort.addKey(ZoSortFunction, 0, 4, littleEndian, &calls));
    sort.setBuf(static_cast<uint32_t>(values.size()), values.data());
    zotest::ok(sort.sortBuf());
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    void *slot;
    EXPECT_EQ(sort.nextSlot(&slot), ZoFailure); // the block is the caller's: no records added
    return calls;
}

// McIlroy's adversary: item values are fixed only as the sort compares them, always so as
// to make the pivot a bad one; against a plain median-of-three quicksort it forces a
// quadratic number of comparisons.
struct Adversary {
    std::vector<uint32_t> value;
    uint32_t gas;
    uint32_t solid = 0;
    uint32_t candidate = 0;
    uint64_t calls = 0;

    explicit Adversary(uint32_t n) : value(n, n), gas(n) {}
    static short compare(void *self, const void *a, const void *b) {
        auto &adv = *static_cast<Adversary *>(self);
        ++adv.calls;
        uint32_t x, y;
        std::memcpy(&x, a, 4);
        std::memcpy(&y, b, 4);
        if (adv.value[x] == adv.gas && adv.value[y] == adv.gas)
            adv.value[x == adv.candidate ? x : y] = adv.solid++;
        if (adv.value[x] == adv.gas)
            adv.candidate = x;
        else if (adv.value[y] == adv.gas)
            adv.candidate = y;
        return static_cast<short>((adv.value[x] > adv.value[y]) - (adv.value[x] < adv.value[y]));
    }
};

TEST(SortQuicksort, HostileInputsTakeNLogNComparisons) {
    // A quadratic sort would take some n^2 / 4 comparisons here (10^9 for 2^16 records); the partitions
    // before the depth limit and the heapsort after it stay well under 6 n log2 n.
    const uint32_t n = HostileRecords;
    const double bound = 6.0 * n * std::log2(n);
    std::vector<std::pair<const char *, std::function<uint32_t(uint32_t)>>> patterns = {
        {"sorted", [](uint32_t i) { return i; }},
        {"reversed", [](uint32_t i) { return n - i; }},
        {"all equal", [](uint32_t) { return 7u; }},
        {"organ pipe", [](uint32_t i) { return i < n / 2 ? i : n - i; }},
        {"sawtooth", [](uint32_t i) { return i % 64; }},
        {"two values", [](uint32_t i) { return (i * 2654435761u) >> 31; }},
    };
    for (const auto &[name, value] : patterns) {
        std::vector<uint32_t> values(n);
        for (uint32_t i = 0; i < n; ++i)
            values[i] = value(i);
        EXPECT_LT(comparisonsToSort(values), bound) << name;
    }

    Adversary adversary(n);
    std::vector<uint32_t> items(n);
    std::iota(items.begin(), items.end(), 0u);
    ZoSort sort(4);
    zotest::ok(sort.addKey(ZoSortFunction, 0, 4, Adversary::compare, &adversary));
    sort.setBuf(n, items.data());
    zotest::ok(sort.sortBuf());
    EXPECT_LT(adversary.calls, bound) << "McIlroy's adversary";
    // The adversary's values, now fixed, are a median-of-three killer for a second run.
    std::vector<uint32_t> killer(n);
    for (uint32_t i = 0; i < n; ++i)
        killer[i] = adversary.value[i];
    EXPECT_LT(comparisonsToSort(killer), bound) << "the adversary's input";
}

// ---- the sorted array ------------------------------------------------------------------------

class Resortable : public ZoSortedArray {
public:
    using ZoSortedArray::realResort;
};

TEST(Sort, SortedArrayResortsItsAppendedObjects) {
    Resortable array;
    array.setDeleteContents(true);
    array.setSortMode(ZoSortedArray::DeferredSort);
    std::mt19937 rng(3);
    std::vector<int> values;
    for (int i = 0; i < 500; ++i) {
        values.push_back(static_cast<int>(rng() % 100));
        zotest::ok(array.add(new Valued(values.back())));
    }
    zotest::ok(array.realResort());
    std::sort(values.begin(), values.end());
    for (uint32_t i = 0; i < array.getCount(); ++i)
        ASSERT_EQ(static_cast<Valued *>(array.getAt(i))->value, values[i]);
    Valued probe(values[250]);
    uint32_t index = 0;
    array.setSortMode(0);
    ASSERT_EQ(array.findIndexOf(&probe, index), 1u);
    EXPECT_EQ(static_cast<Valued *>(array.getAt(index))->value, values[250]);
}

// ---- spill-file faults ----------------------------------------------------------------------

struct FaultsCleared {
    ~FaultsCleared() { plat::fileTestClearFaults(); }
};

// Runs add-all, read-all on a sort that spills, with the k-th operation of a kind failing;
// each failing call is repeated once the fault has passed. The output must be whole.
// Returns whether the fault was hit.
bool runWithFault(plat::FileOp op, plat::FileFault fault, uint32_t k, const std::vector<Record> &input,
                  const std::vector<KeySpec> &keys) {
    ZoSort sort(100);
    addKeys(sort, keys);
    bool hit = false;
    auto retry = [&](auto step) {
        if (step() != ZoSuccess) {
            hit = true;
            ASSERT_EQ(step(), ZoSuccess);
        }
    };
    ramTestFailAllocation(3, false); // two buffers: runs of 1310 records
    plat::fileTestInjectFault(op, k, fault, plat::FileDiskFull);
    for (const Record &r : input) {
        if (sort.addRecord(r.data()) != ZoSuccess) {
            hit = true;
            ramTestFailAllocation(1, false); // still no third buffer: the load is spilled again
            EXPECT_EQ(sort.addRecord(r.data()), ZoSuccess);
        }
    }
    ramTestFailAllocation(0, false);
    std::vector<Record> output;
    void *record = nullptr;
    do {
        retry([&] { return sort.getSorted(&record); });
        if (record != nullptr)
            output.emplace_back(static_cast<char *>(record), 100);
    } while (record != nullptr);
    expectSortedLike(keys, input, output);
    // Finding a record after the fault reads the runs again.
    retry([&] { return sort.getFirstRecordWithKey(input[17].data(), &record); });
    EXPECT_NE(record, nullptr);
    plat::fileTestClearFaults();
    return hit;
}

TEST(SortFaults, EachSpillFileOperationMayFailOnceAndBeRepeated) {
    zotest::ErrorCapture errors;
    FaultsCleared cleared;
    std::mt19937 rng(31);
    std::vector<Record> input = threeKeyRecords(rng, FaultRecords, 100);
    const std::vector<KeySpec> keys{{ZoSortBytes, 0, 2}, {ZoSortDescending, 2, 1}};
    struct Kind {
        plat::FileOp op;
        plat::FileFault fault;
    };
    for (Kind kind :
         {Kind{plat::FileOp::Open, plat::FileFault::Fail}, Kind{plat::FileOp::Write, plat::FileFault::Fail},
          Kind{plat::FileOp::Write, plat::FileFault::ShortWrite}, Kind{plat::FileOp::Write, plat::FileFault::DiskFull},
          Kind{plat::FileOp::Read, plat::FileFault::Fail}}) {
        uint32_t k = 1;
        while (runWithFault(kind.op, kind.fault, k, input, keys))
            k += k < 16 ? 1 : LateFaultStride;
        EXPECT_GT(k, 1u) << "operation " << static_cast<unsigned>(kind.op) << " was never used";
    }
}

} // namespace
