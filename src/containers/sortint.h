// Internal: the record sort's addressing, comparisons, in-memory sorting and merge state.
#pragma once

#include <zo/sort.h>

#include <cstddef>
#include <cstdint>

namespace zosort {

// Where the records of a memory load lie: record i at buffers[i / perBuffer], slot
// i mod perBuffer. The division is a multiplication by a reciprocal (see divisorFor).
struct Layout {
    unsigned char *const *buffers;
    uint32_t perBuffer;
    uint32_t length;
    uint64_t divisor;

    uint32_t bufferOf(uint32_t i) const { return static_cast<uint32_t>((i * divisor) >> 40); }
    unsigned char *at(uint32_t i) const {
        uint32_t b = bufferOf(i);
        return buffers[b] + static_cast<std::size_t>(i - b * perBuffer) * length;
    }
};

// The reciprocal of perBuffer for Layout: exact for every record index of a memory load
// (below 2^22) when perBuffer < 2^16. A single buffer needs no division: 0.
uint64_t divisorFor(uint32_t perBuffer, uint32_t buffers);

// The keys first .. end-1 of a sort, compared in that order.
struct KeyRange {
    const ZoSort::Key *keys;
    uint32_t first;
    uint32_t end;
};

// Negative, 0 or positive as record a sorts before, with or after record b by the keys.
int compareRecords(const KeyRange &keys, const unsigned char *a, const unsigned char *b);
// Index of the first key whose bytes differ between a and b (text keys by collation);
// count when none does.
uint32_t firstDifferentKey(const ZoSort::Key *keys, uint32_t count, const unsigned char *a, const unsigned char *b);

// Sorts records a .. b-1 of the layout by the keys. Fails (1, error 2709 recorded) only when
// the stack of pending ranges would overflow, which the order of its pushes rules out.
ZoStatus sortRecords(const Layout &layout, const KeyRange &keys, uint32_t a, uint32_t b);
// Sorts each run of consecutive records of a .. b-1 that are equal on keys 0 .. groupKeys-1
// (by their bytes, as firstDifferentKey) by the keys from groupKeys on.
ZoStatus sortGroups(const Layout &layout, const ZoSort::Key *keys, uint32_t keyCount, uint32_t groupKeys, uint32_t a,
                    uint32_t b);

} // namespace zosort

// One run of the spill file while the output is merged. Indexes count records from the
// start of the spill file.
struct SortRun {
    uint32_t first;       // the run's first record
    uint32_t end;         // one past its last
    uint32_t next;        // its head: the next record to return
    uint32_t stop;        // reading ends here: end, or the end of its part of a range being read
    uint32_t windowFirst; // record held in the first slot of the run's window
    uint32_t windowCount; // records in the window; 0 when it holds none
    uint32_t rangeFirst;  // its part of the marked range: rangeFirst .. rangeEnd-1
    uint32_t rangeEnd;
};

// The merge of a spilled output: one entry per run and the active runs in the order of
// their heads. Each run reads through a window of the memory load (window records each,
// run r's at slots r * window ..), or one record at a time into scratch copies when the
// load has fewer slots than there are runs (window 0).
//
// Reading a record returns a copy of the smallest head and leaves that run pending; the
// next read advances it and re-inserts it by binary search. Every file read is done before
// the state changes, so a failed read leaves the merge where it was and may be retried.
struct ZoSortMerge {
    static constexpr uint32_t NoRun = 0xFFFFFFFF;

    uint32_t runs;
    uint32_t active;      // runs in order[] (runs with records left before their stop)
    uint32_t window;      // records per window; 0: one record at a time
    uint32_t pending;     // run whose head was returned last and is still to advance
    uint32_t compareFrom; // first key compared: 0, or the range's start key while it is read
    bool ordered;         // order[] holds the active runs by head
    SortRun *run;
    uint32_t *order;

    // Makes the merge of sort's runs (the final one written) and its record copies.
    static ZoStatus build(ZoSort &sort);
    static void release(ZoSort &sort);

    // The next record by the merge (a copy in sort's last-record area), null at the end.
    ZoStatus next(ZoSort &sort, unsigned char **record, uint32_t *firstDifferent);
    // Every run back to its first record; the order is made again on the next read.
    void restart();
    // Every run at its first record not below probe (all keys); found tells whether one of
    // them equals it. Returns the records before those positions through before.
    ZoStatus seekKey(ZoSort &sort, const unsigned char *probe, bool *found, uint32_t *before);

    // The range: each run notes its part at the marks; while the range is read each run
    // stops at its part's end and the runs compare from the range's key.
    void markRangeFirst();
    void markRangeEnd();
    void enterRange(uint32_t fromKey);
    void leaveRange();

    // Sorts each run's part (the range's, or the whole run) in the memory load by the keys
    // from fromKey, within groups equal on the keys before it when grouped, and writes it
    // back.
    ZoStatus resortParts(ZoSort &sort, bool rangeParts, uint32_t fromKey, bool grouped);

private:
    zosort::KeyRange keys(const ZoSort &sort) const;
    unsigned char *scratch(const ZoSort &sort, unsigned which) const;
    bool inWindow(const SortRun &r, uint32_t index) const {
        return r.windowCount > 0 && index >= r.windowFirst && index - r.windowFirst < r.windowCount;
    }
    ZoStatus fillWindow(ZoSort &sort, uint32_t r, uint32_t from);
    ZoStatus head(ZoSort &sort, uint32_t r, uint32_t index, unsigned which, const unsigned char **record);
    ZoStatus insertionPoint(ZoSort &sort, const unsigned char *record, uint32_t from, uint32_t *position);
    ZoStatus advancePending(ZoSort &sort);
    ZoStatus orderRuns(ZoSort &sort);
    void dropWindows();

public:
    // Spill-file transfers: count records from record fileIndex of the file to or from the
    // load's slots from slot on. A read that comes up short records error 2712.
    static ZoStatus readRecords(const ZoSort &sort, uint32_t fileIndex, uint32_t slot, uint32_t count);
    static ZoStatus writeRecords(const ZoSort &sort, uint32_t fileIndex, uint32_t slot, uint32_t count);
    static ZoStatus readRecord(const ZoSort &sort, uint32_t fileIndex, unsigned char *record);
    static zosort::Layout layout(const ZoSort &sort);
};
