// Record sort: fixed-length records ordered by a list of keys. Records are collected in
// memory buffers of 64 KiB; when memory runs out (or 64 buffers are full) the buffered
// records are sorted and written to a temporary file as a run, and the runs are merged when
// the output is read.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zoobject.h>

// A key compared by a function of the caller: negative, 0 or positive as the key at key1
// sorts before, with or after the key at key2 (both point into records, at the key's offset).
using ZoSortKeyFunction = short (*)(void *context, const void *key1, const void *key2);

// Bits of a key's type. Of object, text and function the first that is set (in that order)
// decides how the key compares; with none of them its bytes compare as unsigned bytes.
enum ZoSortKeyType : uint16_t {
    ZoSortBytes = 0x0,
    ZoSortDescending = 0x1, // the comparison result is negated
    ZoSortText = 0x2,       // the key's bytes by the locale's collation (strCompareIntl)
    ZoSortFunction = 0x4,   // keyFunction(keyContext, key1, key2)
    ZoSortObject = 0x8      // each record begins with a ZoObject*: first->compare(second)
};

struct ZoSortMerge;

// Records are returned as pointers into the sort's memory, valid until the next call on the
// sort. Records must not be added once reading has begun; the order of records that compare
// equal is not defined.
//
// A memory load holds at most 64 buffers of 65,536 / recordLength records (4 MiB). Each
// spilled load becomes a run of the spill file; reading merges the runs through windows
// that share the memory load, or one record at a time when there are more runs than room.
class ZO_API ZoSort : public ZoObject {
public:
    static constexpr uint32_t BufferSize = 65536;
    static constexpr uint16_t MaxBuffers = 64;
    static constexpr uint32_t MaxKeys = 64;
    // Bits of sortFlags.
    enum : uint32_t { OwnBuffers = 0x1, Spilled = 0x2, Sorted = 0x4, KeysChanged = 0x8 };

    struct Key {
        uint16_t keyType;
        uint32_t keyOffset; // of the key in the record
        uint16_t keyLength;
        ZoSortKeyFunction keyFunction;
        void *keyContext;
    };

    explicit ZoSort(uint16_t recordLength = 0);
    ~ZoSort() override;
    ZoSort(const ZoSort &) = delete;
    ZoSort &operator=(const ZoSort &) = delete;

    // Sets or changes the record length; ignored once records were added or a block set.
    void setRecordLength(uint16_t recordLength);
    // Appends a key; keys compare in the order added. Fails (1) with error 2710 when 64 keys
    // exist, and with error 2713 when the key does not lie inside records of the length set
    // (an object key needs a pointer at the start of the record).
    ZoStatus addKey(uint16_t keyType, uint32_t keyOffset, uint16_t keyLength, ZoSortKeyFunction keyFunction = nullptr,
                    void *keyContext = nullptr);

    // Reserves the next record slot and returns its address for the caller to fill, spilling
    // the memory load to a run when it is full. Fails (1) when no buffer can be had and
    // fewer than two exist, when the spill file cannot be written (the load then stays in
    // memory and a later call tries again), with 2713 when the records cannot hold the keys,
    // and once reading has begun or a caller's block is set.
    ZoStatus nextSlot(void **slot);
    // nextSlot and a copy of recordLength bytes.
    ZoStatus addRecord(const void *record);

    // The first call sorts (and merges); each call returns the next record in order, null
    // after the last.
    ZoStatus getSorted(void **record) { return getNextRecord(record); }
    // Restarts at the first record (sorting first when needed) / continues.
    ZoStatus getFirstRecord(void **record);
    ZoStatus getNextRecord(void **record);
    // As getSorted, and the index of the first key in which this record differs from the
    // one returned before it (0 for the first record, keyCount when all keys are equal). Keys
    // are compared by their bytes (text keys by collation) for this.
    ZoStatus getSortedWithCompare(void **record, uint32_t *firstDifferentKey);
    // The first record (in sorted order) whose keys all equal those of probe, a record image;
    // null when there is none. Reading then continues after it (or where it would be).
    ZoStatus getFirstRecordWithKey(const void *probe, void **record);

    // Works on a caller-owned block of count records instead (one buffer); the sort never
    // frees it. sortBuf sorts it unless already sorted and rewinds.
    void setBuf(uint32_t count, void *records);
    ZoStatus sortBuf();
    // Sorts again (after keys were added or the start key changed) and rewinds.
    ZoStatus reSort();
    // Comparisons start at key n; the records are taken to be in order on keys 0 .. n-1
    // already, so a sort then orders each group of records equal on those keys by the rest.
    void setStartKey(uint32_t n);

    // Re-sorting part of the output while reading. startResortRange marks the record returned
    // last as the range's first; endResortRange marks its end: the range stops before the
    // record returned last (or takes the rest when the output is exhausted). resortRange
    // orders the range by the keys from startKey on, as one block (wholeRange non-zero) or
    // within each group of records equal on the keys before it, and sets the start key back
    // to 0. getFirstRecordInRange / getNextRecordInRange read the range back (null after
    // its last record); reading then continues with the record that followed the range.
    void startResortRange();
    void endResortRange();
    ZoStatus resortRange(uint32_t startKey, unsigned int wholeRange);
    ZoStatus getFirstRecordInRange(void **record);
    ZoStatus getNextRecordInRange(void **record);

    // State.
    uint32_t getRecordCount() const { return recordCount_; }
    uint32_t getSlotsUsed() const { return slotsUsed_; }
    uint32_t getReadPosition() const { return readPosition_; }
    uint32_t getKeyCount() const { return keyCount_; }
    uint32_t getStartKey() const { return startKey_; }
    const Key &getKey(uint32_t index) const { return keys_[index]; }
    uint16_t getRecordLength() const { return recordLength_; }
    uint16_t getBufferCount() const { return bufferCount_; }
    uint32_t getRecordsPerBuffer() const { return recordsPerBuffer_; }
    uint16_t getRunCount() const { return runCount_; }
    uint32_t getLastRunRecords() const { return lastRunRecords_; }
    uint32_t getSortFlags() const { return sortFlags_; }
    int getSpillHandle() const { return spillHandle_; }
    // Name of the spill file; empty while there is none.
    const unsigned char *getSpillName() const { return spillName_; }
    // Records per merge window (0: one record at a time); 0 before a spilled output is merged.
    uint32_t getMergeWindow() const;

private:
    friend struct ZoSortMerge;

    // Collecting.
    ZoStatus checkLayout();
    ZoStatus spill();
    ZoStatus writeLoad(uint64_t firstRecord, uint32_t records);
    // Sorting the memory load (records a .. b-1) by the keys from startKey on, or within
    // groups when startKey > 0.
    ZoStatus sortLoad(uint32_t a, uint32_t b, uint32_t fromKey, bool grouped);
    ZoStatus finish();
    void computeLayout();

    // Reading.
    ZoStatus readNext(void **record, uint32_t *firstDifferentKey);
    void rewind();
    void leaveRange();
    unsigned char *slotAddress(uint32_t slot) const;

    uint32_t slotsUsed_ = 0;
    uint32_t readPosition_ = 0;
    uint32_t recordCount_ = 0;
    uint32_t keyCount_ = 0;
    uint32_t startKey_ = 0;
    Key keys_[MaxKeys] = {};
    uint16_t runCount_ = 0;
    uint32_t lastRunRecords_ = 0;
    int spillHandle_ = 0;
    unsigned char spillName_[256] = {};
    uint16_t recordLength_ = 0;
    uint16_t bufferCount_ = 0;
    uint32_t recordsPerBuffer_ = 0;
    uint32_t sortFlags_ = 0;
    ZoSortMerge *merge_ = nullptr;
    unsigned char *lastRecord_ = nullptr;
    uint32_t rangeStart_ = 0;
    uint32_t rangeEnd_ = 0; // one past the range's last record
    unsigned char *buffers_[MaxBuffers] = {};

    // Beyond the described fields: how far the sort has come, and addressing.
    uint64_t slotDivisor_ = 0;         // (slot * slotDivisor_) >> 40 is slot / recordsPerBuffer
    unsigned char *scratch_ = nullptr; // record copies of a spilled output (see the source)
    bool callerBlock_ = false;         // setBuf: the buffer is the caller's
    bool reading_ = false;             // the output is ready (sorted, and merged when spilled)
    bool exhausted_ = false;           // the last read found no record
    bool haveLast_ = false;            // a record was returned since the last rewind
    bool rangeReading_ = false;        // getFirstRecordInRange has repositioned the runs
    uint32_t rangeKey_ = 0;            // first key a spilled range is merged by
};
