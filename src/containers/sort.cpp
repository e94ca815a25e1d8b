// The record sort: collecting records in 64 KiB buffers, spilling sorted runs, reading the
// output back (from memory or through the merge), finding records and re-sorting ranges.
//
// Spill file (a private temporary file, deleted with the sort). No header; records of
// recordLength bytes back to back, counted from 0:
//
//   run r          records r*L .. r*L + L - 1, where L = bufferCount * recordsPerBuffer is a
//                  full memory load; every run but the last holds exactly L records
//   the last run   lastRunRecords records from (runCount - 1) * L
//
// Each run is written as whole buffers (recordsPerBuffer * recordLength bytes each), so the
// file may hold leftover bytes after the last run's records. Range re-sorting writes sorted
// parts back in place.
#include <zo/sort.h>

#include <zo/zosorted.h>

#include <cstring>

#include "containers/sortint.h"
#include "frame/err.h"
#include "os/bosint.h"

#include <zo/bosfile.h>

namespace {

bool keyFits(const ZoSort::Key &key, uint32_t recordLength) {
    if ((key.keyType & ZoSortObject) != 0)
        return recordLength == 0 || recordLength >= sizeof(void *);
    if ((key.keyType & (ZoSortText | ZoSortFunction)) == ZoSortFunction && key.keyFunction == nullptr)
        return false;
    return recordLength == 0 || uint64_t{key.keyOffset} + key.keyLength <= recordLength;
}

void reportBadKey(uint32_t key, uint32_t recordLength) {
    addResourceError(ZoMessage::SortBadKey) << key << recordLength;
}

} // namespace

ZoSort::ZoSort(uint16_t recordLength) { setRecordLength(recordLength); }

ZoSort::~ZoSort() {
    ZoSortMerge::release(*this);
    if (spillHandle_ != 0)
        (void)bosFileClose(spillHandle_); // the file is deleted next; nothing to keep
    if (spillName_[0] != '\0')
        (void)bosFileDelete(spillName_); // a private scratch file: nothing to report to
    if ((sortFlags_ & OwnBuffers) != 0)
        for (uint16_t b = 0; b < bufferCount_; ++b)
            ramFree(buffers_[b]);
}

void ZoSort::setRecordLength(uint16_t recordLength) {
    if (recordCount_ != 0 || callerBlock_)
        return;
    recordLength_ = recordLength;
    recordsPerBuffer_ = recordLength == 0 ? 0 : (recordLength == 1 ? 65535 : BufferSize / recordLength);
    computeLayout();
}

void ZoSort::computeLayout() { slotDivisor_ = callerBlock_ ? 0 : zosort::divisorFor(recordsPerBuffer_, MaxBuffers); }

unsigned char *ZoSort::slotAddress(uint32_t slot) const { return ZoSortMerge::layout(*this).at(slot); }

uint32_t ZoSort::getMergeWindow() const { return merge_ != nullptr ? merge_->window : 0; }

ZoStatus ZoSort::addKey(uint16_t keyType, uint32_t keyOffset, uint16_t keyLength, ZoSortKeyFunction keyFunction,
                        void *keyContext) {
    if (keyCount_ == MaxKeys) {
        addResourceError(ZoMessage::SortTooManyKeys);
        return ZoFailure;
    }
    const Key key{keyType, keyOffset, keyLength, keyFunction, keyContext};
    if (!keyFits(key, recordLength_)) {
        reportBadKey(keyCount_, recordLength_);
        return ZoFailure;
    }
    keys_[keyCount_++] = key;
    sortFlags_ |= KeysChanged;
    return ZoSuccess;
}

void ZoSort::setStartKey(uint32_t n) { startKey_ = n; }

// Records need a length, and every key must lie inside them.
ZoStatus ZoSort::checkLayout() {
    for (uint32_t k = 0; k < keyCount_; ++k) {
        if (recordLength_ == 0 || !keyFits(keys_[k], recordLength_)) {
            reportBadKey(k, recordLength_);
            return ZoFailure;
        }
    }
    if (recordLength_ == 0) {
        reportBadKey(0, 0);
        return ZoFailure;
    }
    return ZoSuccess;
}

// ---- collecting --------------------------------------------------------------------------

ZoStatus ZoSort::nextSlot(void **slot) {
    *slot = nullptr;
    if (reading_ || callerBlock_ || recordCount_ == 0xFFFFFFFF)
        return ZoFailure;
    if (recordCount_ == 0 && checkLayout() != ZoSuccess)
        return ZoFailure;
    uint32_t s = slotsUsed_;
    if (s == uint32_t{bufferCount_} * recordsPerBuffer_) {
        sortFlags_ |= OwnBuffers;
        void *buffer = nullptr;
        if ((sortFlags_ & Spilled) == 0 && bufferCount_ < MaxBuffers && (buffer = ramAlloc(BufferSize)) != nullptr) {
            buffers_[bufferCount_++] = static_cast<unsigned char *>(buffer);
        } else {
            if (bufferCount_ < 2 || spill() != ZoSuccess)
                return ZoFailure;
            s = 0;
        }
    }
    slotsUsed_ = s + 1;
    ++recordCount_;
    *slot = slotAddress(s);
    return ZoSuccess;
}

ZoStatus ZoSort::addRecord(const void *record) {
    void *slot;
    if (nextSlot(&slot) != ZoSuccess)
        return ZoFailure;
    std::memcpy(slot, record, recordLength_);
    return ZoSuccess;
}

ZoStatus ZoSort::sortLoad(uint32_t a, uint32_t b, uint32_t fromKey, bool grouped) {
    const zosort::Layout load = ZoSortMerge::layout(*this);
    if (grouped)
        return zosort::sortGroups(load, keys_, keyCount_, fromKey, a, b);
    return zosort::sortRecords(load, zosort::KeyRange{keys_, fromKey, keyCount_}, a, b);
}

// Writes whole buffers holding `records` records of the load as records firstRecord on.
ZoStatus ZoSort::writeLoad(uint64_t firstRecord, uint32_t records) {
    uint32_t bufferBytes = recordsPerBuffer_ * uint32_t{recordLength_};
    for (uint32_t b = 0; b * recordsPerBuffer_ < records; ++b) {
        uint64_t offset = (firstRecord + uint64_t{b} * recordsPerBuffer_) * recordLength_;
        if (bosFileWriteAt(spillHandle_, offset, buffers_[b], bufferBytes) != ZoSuccess)
            return ZoFailure;
    }
    return ZoSuccess;
}

// Sorts the full memory load and appends it to the spill file as a run. On failure the
// load stays in memory, sorted, and the run is not counted: a later call writes it again.
ZoStatus ZoSort::spill() {
    if (runCount_ == 0xFFFF) {
        addResourceError(ZoMessage::SortTooManyRuns);
        return ZoFailure;
    }
    if (sortLoad(0, slotsUsed_, startKey_, startKey_ > 0) != ZoSuccess)
        return ZoFailure;
    if (spillHandle_ == 0 && bosFileOpen(spillName_, BOS_TEMPNAME | BOS_READWRITE, &spillHandle_) != ZoSuccess)
        return ZoFailure;
    if (writeLoad(uint64_t{runCount_} * slotsUsed_, slotsUsed_) != ZoSuccess)
        return ZoFailure;
    ++runCount_;
    sortFlags_ |= Spilled;
    slotsUsed_ = 0;
    return ZoSuccess;
}

// Makes the output readable: sorts the memory load and, when runs were spilled, appends it
// as the last run and builds the merge. Each step that succeeded is not done again when a
// later one fails and the call is repeated.
ZoStatus ZoSort::finish() {
    if (reading_)
        return ZoSuccess;
    if (checkLayout() != ZoSuccess)
        return ZoFailure;
    if ((sortFlags_ & Sorted) == 0) {
        if (sortLoad(0, slotsUsed_, startKey_, startKey_ > 0) != ZoSuccess)
            return ZoFailure;
        sortFlags_ |= Sorted;
    }
    if ((sortFlags_ & Spilled) != 0 && lastRunRecords_ == 0) {
        if (runCount_ == 0xFFFF) {
            addResourceError(ZoMessage::SortTooManyRuns);
            return ZoFailure;
        }
        uint64_t loadRecords = uint64_t{bufferCount_} * recordsPerBuffer_;
        if (writeLoad(runCount_ * loadRecords, slotsUsed_) != ZoSuccess)
            return ZoFailure;
        ++runCount_;
        lastRunRecords_ = slotsUsed_;
    }
    if ((sortFlags_ & Spilled) != 0 && merge_ == nullptr && ZoSortMerge::build(*this) != ZoSuccess)
        return ZoFailure;
    reading_ = true;
    rewind();
    return ZoSuccess;
}

// ---- reading -----------------------------------------------------------------------------

void ZoSort::rewind() {
    readPosition_ = 0;
    exhausted_ = false;
    haveLast_ = false;
    rangeReading_ = false;
    if (merge_ != nullptr)
        merge_->restart();
}

ZoStatus ZoSort::readNext(void **record, uint32_t *firstDifferentKey) {
    *record = nullptr;
    if (finish() != ZoSuccess)
        return ZoFailure;
    unsigned char *found = nullptr;
    if (merge_ != nullptr) {
        if (merge_->next(*this, &found, firstDifferentKey) != ZoSuccess)
            return ZoFailure;
    } else if (readPosition_ < slotsUsed_) {
        found = slotAddress(readPosition_);
        if (firstDifferentKey != nullptr)
            *firstDifferentKey = haveLast_ ? zosort::firstDifferentKey(keys_, keyCount_, lastRecord_, found) : 0;
        lastRecord_ = found;
    }
    exhausted_ = found == nullptr;
    if (found != nullptr) {
        ++readPosition_;
        haveLast_ = true;
    }
    *record = found;
    return ZoSuccess;
}

// Reading beyond a range that was read back: the runs compare by all keys again.
void ZoSort::leaveRange() {
    if (rangeReading_ && merge_ != nullptr)
        merge_->leaveRange();
    rangeReading_ = false;
}

ZoStatus ZoSort::getNextRecord(void **record) {
    leaveRange();
    return readNext(record, nullptr);
}

ZoStatus ZoSort::getFirstRecord(void **record) {
    *record = nullptr;
    if (finish() != ZoSuccess)
        return ZoFailure;
    rewind();
    return readNext(record, nullptr);
}

ZoStatus ZoSort::getSortedWithCompare(void **record, uint32_t *firstDifferentKey) {
    leaveRange();
    uint32_t differs = 0;
    ZoStatus status = readNext(record, &differs);
    *firstDifferentKey = differs;
    return status;
}

ZoStatus ZoSort::getFirstRecordWithKey(const void *probe, void **record) {
    *record = nullptr;
    if (finish() != ZoSuccess)
        return ZoFailure;
    rewind();
    auto *key = static_cast<const unsigned char *>(probe);
    bool found = false;
    uint32_t before = 0;
    if (merge_ != nullptr) {
        if (merge_->seekKey(*this, key, &found, &before) != ZoSuccess)
            return ZoFailure;
    } else {
        const zosort::KeyRange all{keys_, 0, keyCount_};
        uint32_t hi = slotsUsed_;
        while (before < hi) {
            uint32_t mid = before + (hi - before) / 2;
            if (zosort::compareRecords(all, slotAddress(mid), key) < 0)
                before = mid + 1;
            else
                hi = mid;
        }
        found = before < slotsUsed_ && zosort::compareRecords(all, slotAddress(before), key) == 0;
    }
    readPosition_ = before;
    return found ? readNext(record, nullptr) : ZoSuccess;
}

// ---- caller's block and re-sorting -------------------------------------------------------

void ZoSort::setBuf(uint32_t count, void *records) {
    ZoSortMerge::release(*this);
    if ((sortFlags_ & OwnBuffers) != 0)
        for (uint16_t b = 0; b < bufferCount_; ++b)
            ramFree(buffers_[b]);
    std::memset(buffers_, 0, sizeof buffers_);
    buffers_[0] = static_cast<unsigned char *>(records);
    bufferCount_ = 1;
    recordsPerBuffer_ = count;
    slotsUsed_ = recordCount_ = count;
    sortFlags_ &= ~(OwnBuffers | Sorted | Spilled);
    runCount_ = 0;
    lastRunRecords_ = 0;
    callerBlock_ = true;
    reading_ = false;
    computeLayout();
    rewind();
}

ZoStatus ZoSort::sortBuf() {
    if (finish() != ZoSuccess)
        return ZoFailure;
    rewind();
    return ZoSuccess;
}

ZoStatus ZoSort::reSort() {
    if (!reading_) {
        if (finish() != ZoSuccess)
            return ZoFailure;
    } else if (merge_ != nullptr) {
        if (merge_->resortParts(*this, false, startKey_, startKey_ > 0) != ZoSuccess)
            return ZoFailure;
    } else if (sortLoad(0, slotsUsed_, startKey_, startKey_ > 0) != ZoSuccess) {
        return ZoFailure;
    }
    sortFlags_ &= ~KeysChanged;
    rewind();
    return ZoSuccess;
}

// ---- ranges ------------------------------------------------------------------------------

void ZoSort::startResortRange() {
    rangeStart_ = rangeEnd_ = haveLast_ ? readPosition_ - 1 : readPosition_;
    if (merge_ != nullptr)
        merge_->markRangeFirst();
}

void ZoSort::endResortRange() {
    uint32_t end = exhausted_ || !haveLast_ ? readPosition_ : readPosition_ - 1;
    rangeEnd_ = end < rangeStart_ ? rangeStart_ : end;
    if (merge_ != nullptr)
        merge_->markRangeEnd();
}

ZoStatus ZoSort::resortRange(uint32_t startKey, unsigned int wholeRange) {
    startKey_ = 0;
    rangeKey_ = wholeRange != 0 ? startKey : 0;
    if (!reading_)
        return ZoSuccess;
    if (merge_ != nullptr)
        return merge_->resortParts(*this, true, startKey, wholeRange == 0);
    return sortLoad(rangeStart_, rangeEnd_, startKey, wholeRange == 0);
}

ZoStatus ZoSort::getFirstRecordInRange(void **record) {
    *record = nullptr;
    if (!reading_)
        return ZoSuccess;
    readPosition_ = rangeStart_;
    haveLast_ = false;
    if (merge_ != nullptr) {
        merge_->enterRange(rangeKey_);
        rangeReading_ = true;
    }
    return getNextRecordInRange(record);
}

ZoStatus ZoSort::getNextRecordInRange(void **record) {
    *record = nullptr;
    if (!reading_)
        return ZoSuccess;
    if (merge_ == nullptr) {
        if (readPosition_ >= rangeEnd_)
            return ZoSuccess;
        return readNext(record, nullptr);
    }
    if (!rangeReading_)
        return ZoSuccess;
    if (readNext(record, nullptr) != ZoSuccess)
        return ZoFailure;
    if (*record == nullptr)
        leaveRange();
    return ZoSuccess;
}

// ---- the sorted array's re-sort ----------------------------------------------------------

// The slots hold object pointers: one object key over the pointer at the start of each.
ZoStatus ZoSortedArray::realResort() {
    uint32_t count = getCount();
    if (count < 2)
        return ZoSuccess;
    ZoSort sort(sizeof(void *));
    if (sort.addKey(ZoSortObject, 0, sizeof(void *)) != ZoSuccess)
        return ZoFailure;
    sort.setBuf(count, slotBuffer());
    return sort.sortBuf();
}
