// The merge of a spilled sort: runs read back through windows of the memory load (or one
// record at a time), the smallest head taken at each step, re-sorting of run parts.
#include "containers/sortint.h"

#include <zo/ramalloc.h>

#include <cstring>

#include "frame/err.h"
#include "os/bosint.h"

using zosort::KeyRange;
using zosort::Layout;

namespace {

// The scratch record copies of a spilled output: the record returned last, and two probes.
enum Scratch : unsigned { LastRecord = 0, ProbeA = 1, ProbeB = 2, ScratchCount = 3 };

uint64_t byteOffset(const ZoSort &sort, uint32_t fileIndex) { return uint64_t{fileIndex} * sort.getRecordLength(); }

} // namespace

// ---- spill-file transfers ----------------------------------------------------------------

Layout ZoSortMerge::layout(const ZoSort &sort) {
    return Layout{sort.buffers_, sort.recordsPerBuffer_, sort.recordLength_, sort.slotDivisor_};
}

// Moves count records between the file and the load, one piece per buffer touched.
template <class Transfer>
static ZoStatus transferRecords(const ZoSort &sort, uint32_t slot, uint32_t count, Transfer transfer) {
    const Layout load = ZoSortMerge::layout(sort);
    uint32_t done = 0;
    while (done < count) {
        uint32_t at = slot + done;
        uint32_t inBuffer = at - load.bufferOf(at) * load.perBuffer;
        uint32_t piece = load.perBuffer - inBuffer < count - done ? load.perBuffer - inBuffer : count - done;
        if (transfer(done, load.at(at), piece) != ZoSuccess)
            return ZoFailure;
        done += piece;
    }
    return ZoSuccess;
}

static ZoStatus readExactly(const ZoSort &sort, uint64_t offset, unsigned char *into, uint32_t bytes) {
    uint32_t got = 0;
    if (bosFileReadAt(sort.getSpillHandle(), offset, into, bytes, &got) != ZoSuccess)
        return ZoFailure;
    if (got != bytes) {
        addResourceError(ZoMessage::SortRunUnreadable);
        return ZoFailure;
    }
    return ZoSuccess;
}

ZoStatus ZoSortMerge::readRecords(const ZoSort &sort, uint32_t fileIndex, uint32_t slot, uint32_t count) {
    uint32_t length = sort.getRecordLength();
    return transferRecords(sort, slot, count, [&](uint32_t done, unsigned char *into, uint32_t n) {
        return readExactly(sort, byteOffset(sort, fileIndex + done), into, n * length);
    });
}

ZoStatus ZoSortMerge::writeRecords(const ZoSort &sort, uint32_t fileIndex, uint32_t slot, uint32_t count) {
    uint32_t length = sort.getRecordLength();
    return transferRecords(sort, slot, count, [&](uint32_t done, unsigned char *from, uint32_t n) {
        return bosFileWriteAt(sort.getSpillHandle(), byteOffset(sort, fileIndex + done), from, n * length);
    });
}

ZoStatus ZoSortMerge::readRecord(const ZoSort &sort, uint32_t fileIndex, unsigned char *record) {
    return readExactly(sort, byteOffset(sort, fileIndex), record, sort.getRecordLength());
}

// ---- making and releasing ----------------------------------------------------------------

// The table lives in a block of its own (a few dozen bytes a run) beside the buffers, so
// that re-sorting a part of a run can use the whole load without moving the table aside.
ZoStatus ZoSortMerge::build(ZoSort &sort) {
    uint32_t runs = sort.runCount_;
    uint64_t bytes = sizeof(ZoSortMerge) + uint64_t{runs} * (sizeof(SortRun) + sizeof(uint32_t));
    auto *merge = static_cast<ZoSortMerge *>(ramAllocZ(static_cast<uint32_t>(bytes)));
    auto *copies = static_cast<unsigned char *>(ramAlloc(ScratchCount * uint32_t{sort.recordLength_}));
    if (merge == nullptr || copies == nullptr) {
        ramFree(merge);
        ramFree(copies);
        return ZoFailure;
    }
    merge->runs = runs;
    merge->run = reinterpret_cast<SortRun *>(merge + 1);
    merge->order = reinterpret_cast<uint32_t *>(merge->run + runs);
    merge->window = uint32_t{sort.bufferCount_} * sort.recordsPerBuffer_ / runs;
    const uint32_t loadRecords = uint32_t{sort.bufferCount_} * sort.recordsPerBuffer_;
    for (uint32_t r = 0; r < runs; ++r) {
        SortRun &run = merge->run[r];
        run.first = r * loadRecords;
        run.end = r + 1 < runs ? run.first + loadRecords : run.first + sort.lastRunRecords_;
    }
    merge->restart();
    sort.merge_ = merge;
    sort.scratch_ = copies;
    sort.lastRecord_ = copies;
    return ZoSuccess;
}

void ZoSortMerge::release(ZoSort &sort) {
    ramFree(sort.merge_);
    ramFree(sort.scratch_);
    sort.merge_ = nullptr;
    sort.scratch_ = nullptr;
    sort.lastRecord_ = nullptr;
}

// ---- state -------------------------------------------------------------------------------

KeyRange ZoSortMerge::keys(const ZoSort &sort) const { return KeyRange{sort.keys_, compareFrom, sort.keyCount_}; }

unsigned char *ZoSortMerge::scratch(const ZoSort &sort, unsigned which) const {
    return sort.scratch_ + which * uint32_t{sort.recordLength_};
}

void ZoSortMerge::dropWindows() {
    for (uint32_t r = 0; r < runs; ++r)
        run[r].windowCount = 0;
}

void ZoSortMerge::restart() {
    for (uint32_t r = 0; r < runs; ++r) {
        run[r].next = run[r].first;
        run[r].stop = run[r].end;
    }
    pending = NoRun;
    compareFrom = 0;
    ordered = false;
}

void ZoSortMerge::markRangeFirst() {
    for (uint32_t r = 0; r < runs; ++r)
        run[r].rangeFirst = run[r].rangeEnd = run[r].next;
}

// The pending run's head is the record returned last, which the range does not take.
void ZoSortMerge::markRangeEnd() {
    for (uint32_t r = 0; r < runs; ++r)
        run[r].rangeEnd = run[r].next < run[r].rangeFirst ? run[r].rangeFirst : run[r].next;
}

void ZoSortMerge::enterRange(uint32_t fromKey) {
    for (uint32_t r = 0; r < runs; ++r) {
        run[r].next = run[r].rangeFirst;
        run[r].stop = run[r].rangeEnd;
    }
    pending = NoRun;
    compareFrom = fromKey;
    ordered = false;
}

// Reading goes on past the range: the runs keep their places, compare by all keys again.
void ZoSortMerge::leaveRange() {
    for (uint32_t r = 0; r < runs; ++r)
        run[r].stop = run[r].end;
    compareFrom = 0;
    ordered = false;
}

// ---- heads -------------------------------------------------------------------------------

// Reads the window of run r from record from on (as many records as fit, up to its end).
ZoStatus ZoSortMerge::fillWindow(ZoSort &sort, uint32_t r, uint32_t from) {
    SortRun &entry = run[r];
    uint32_t count = entry.end - from < window ? entry.end - from : window;
    entry.windowCount = 0;
    if (readRecords(sort, from, r * window, count) != ZoSuccess)
        return ZoFailure;
    entry.windowFirst = from;
    entry.windowCount = count;
    return ZoSuccess;
}

// Record index of run r: in its window (read in first when needed), or read into the
// scratch copy `which` when the merge reads one record at a time.
ZoStatus ZoSortMerge::head(ZoSort &sort, uint32_t r, uint32_t index, unsigned which, const unsigned char **record) {
    if (window == 0) {
        *record = scratch(sort, which);
        return readRecord(sort, index, scratch(sort, which));
    }
    SortRun &entry = run[r];
    if (!inWindow(entry, index) && fillWindow(sort, r, index) != ZoSuccess)
        return ZoFailure;
    *record = layout(sort).at(r * window + (index - entry.windowFirst));
    return ZoSuccess;
}

// Where a run with this head goes among order[from .. active-1]: after the heads that do
// not sort after it.
ZoStatus ZoSortMerge::insertionPoint(ZoSort &sort, const unsigned char *record, uint32_t from, uint32_t *position) {
    const KeyRange compare = keys(sort);
    uint32_t lo = from;
    uint32_t hi = active;
    while (lo < hi) {
        uint32_t mid = lo + (hi - lo) / 2;
        const unsigned char *other;
        if (head(sort, order[mid], run[order[mid]].next, ProbeB, &other) != ZoSuccess)
            return ZoFailure;
        if (zosort::compareRecords(compare, other, record) <= 0)
            lo = mid + 1;
        else
            hi = mid;
    }
    *position = lo;
    return ZoSuccess;
}

// Moves the pending run (order[0]) past the record it returned and puts it back in order,
// or takes it out when it has no record left.
ZoStatus ZoSortMerge::advancePending(ZoSort &sort) {
    SortRun &entry = run[pending];
    uint32_t to = entry.next + 1;
    uint32_t position = 0;
    if (to < entry.stop) {
        const unsigned char *record;
        if (head(sort, pending, to, ProbeA, &record) != ZoSuccess ||
            insertionPoint(sort, record, 1, &position) != ZoSuccess)
            return ZoFailure;
    }
    entry.next = to;
    std::memmove(order, order + 1, (position > 0 ? position - 1 : active - 1) * sizeof *order);
    if (position > 0)
        order[position - 1] = pending;
    else
        --active;
    pending = NoRun;
    return ZoSuccess;
}

// Orders the active runs by their heads (binary insertion).
ZoStatus ZoSortMerge::orderRuns(ZoSort &sort) {
    uint32_t count = 0;
    for (uint32_t r = 0; r < runs; ++r)
        if (run[r].next < run[r].stop)
            order[count++] = r;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t r = order[i];
        const unsigned char *record;
        uint32_t position = 0;
        active = i;
        if (head(sort, r, run[r].next, ProbeA, &record) != ZoSuccess ||
            insertionPoint(sort, record, 0, &position) != ZoSuccess)
            return ZoFailure;
        std::memmove(order + position + 1, order + position, (i - position) * sizeof *order);
        order[position] = r;
    }
    active = count;
    ordered = true;
    return ZoSuccess;
}

ZoStatus ZoSortMerge::next(ZoSort &sort, unsigned char **record, uint32_t *firstDifferent) {
    *record = nullptr;
    if (pending != NoRun && advancePending(sort) != ZoSuccess)
        return ZoFailure;
    if ((sort.sortFlags_ & ZoSort::KeysChanged) != 0) {
        ordered = false;
        sort.sortFlags_ &= ~ZoSort::KeysChanged;
    }
    if (!ordered && orderRuns(sort) != ZoSuccess)
        return ZoFailure;
    if (active == 0)
        return ZoSuccess;
    uint32_t r = order[0];
    const unsigned char *smallest;
    if (head(sort, r, run[r].next, ProbeA, &smallest) != ZoSuccess)
        return ZoFailure;
    unsigned char *copy = scratch(sort, LastRecord);
    if (firstDifferent != nullptr)
        *firstDifferent = sort.haveLast_ ? zosort::firstDifferentKey(sort.keys_, sort.keyCount_, copy, smallest) : 0;
    std::memcpy(copy, smallest, sort.recordLength_);
    pending = r;
    *record = copy;
    return ZoSuccess;
}

// ---- finding and re-sorting --------------------------------------------------------------

ZoStatus ZoSortMerge::seekKey(ZoSort &sort, const unsigned char *probe, bool *found, uint32_t *before) {
    const KeyRange all{sort.keys_, 0, sort.keyCount_};
    unsigned char *record = scratch(sort, ProbeB);
    *found = false;
    *before = 0;
    for (uint32_t r = 0; r < runs; ++r) {
        SortRun &entry = run[r];
        uint32_t lo = entry.first;
        uint32_t hi = entry.end;
        while (lo < hi) {
            uint32_t mid = lo + (hi - lo) / 2;
            if (readRecord(sort, mid, record) != ZoSuccess)
                return ZoFailure;
            if (zosort::compareRecords(all, record, probe) < 0)
                lo = mid + 1;
            else
                hi = mid;
        }
        if (lo < entry.end && !*found) {
            if (readRecord(sort, lo, record) != ZoSuccess)
                return ZoFailure;
            *found = zosort::compareRecords(all, record, probe) == 0;
        }
        entry.next = lo;
        entry.stop = entry.end;
        *before += lo - entry.first;
    }
    pending = NoRun;
    compareFrom = 0;
    ordered = false;
    return ZoSuccess;
}

ZoStatus ZoSortMerge::resortParts(ZoSort &sort, bool rangeParts, uint32_t fromKey, bool grouped) {
    const Layout load = layout(sort);
    const KeyRange byKeys{sort.keys_, fromKey, sort.keyCount_};
    // The windows' contents are about to be overwritten by the parts being sorted, and the
    // heads may change.
    dropWindows();
    ordered = false;
    for (uint32_t r = 0; r < runs; ++r) {
        uint32_t first = rangeParts ? run[r].rangeFirst : run[r].first;
        uint32_t end = rangeParts ? run[r].rangeEnd : run[r].end;
        if (end - first < 2)
            continue;
        uint32_t count = end - first;
        if (readRecords(sort, first, 0, count) != ZoSuccess)
            return ZoFailure;
        ZoStatus sorted = grouped ? zosort::sortGroups(load, sort.keys_, sort.keyCount_, fromKey, 0, count)
                                  : zosort::sortRecords(load, byKeys, 0, count);
        if (sorted != ZoSuccess || writeRecords(sort, first, 0, count) != ZoSuccess)
            return ZoFailure;
    }
    return ZoSuccess;
}
