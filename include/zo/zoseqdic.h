// Sequential dictionary: association records in insertion order, searched linearly.
#pragma once

#include <cstdint>

#include <zo/zoarray.h>
#include <zo/zodictio.h>

// For small sets of entries (attribute lists). Records are addressable by index and can
// be removed one by one. Adding a key that is present adds a second entry, which lookups
// never reach (they return the first match from index 0). Owns its records like
// ZoDictionary; keys and data belong to the caller until deleteKeyAndData...
class ZO_API ZoSeqDictionary : public ZoArray {
public:
    ZoSeqDictionary() = default;
    ~ZoSeqDictionary() override;

    // Case-blind string keys.
    void setNoCase(bool on) { noCase_ = on ? 1 : 0; }
    uint32_t getNoCase() const { return noCase_; }

    // Append a record; 1 when it cannot be made or the array cannot grow (unchanged then).
    ZoStatus addAssoc(uint32_t key, uint32_t datum);
    ZoStatus addAssoc(uint32_t key, ZoObject *datum);
    ZoStatus addAssoc(ZoSubString *key, ZoObject *datum);

    // Index of the first record with the key; getCount() when none.
    uint32_t getIndexForKey(uint32_t key) const;
    uint32_t getIndexForKey(const ZoSubString &key) const;
    uint32_t getIndexForKey(const ZoSubString *key) const { return getIndexForKey(*key); }
    unsigned doesExist(uint32_t key) const { return getIndexForKey(key) < getCount() ? 1 : 0; }
    unsigned doesExist(const ZoSubString *key) const { return getIndexForKey(*key) < getCount() ? 1 : 0; }
    uint32_t getIntForKey(uint32_t key) const { return ZoAssociation::intDataOf(recordOrNull(getIndexForKey(key))); }
    ZoObject *getPtrForKey(uint32_t key) const { return ZoAssociation::ptrDataOf(recordOrNull(getIndexForKey(key))); }
    ZoObject *getPtrForKey(const ZoSubString *key) const {
        return ZoAssociation::ptrDataOf(recordOrNull(getIndexForKey(*key)));
    }
    // Replace the datum of a present key (the previous datum object is not destroyed).
    void changeData(uint32_t key, uint32_t datum) { recordAt(getIndexForKey(key))->setIntData(datum); }
    void changeData(const ZoSubString &key, ZoObject *datum) { recordAt(getIndexForKey(key))->setPtrData(datum); }

    uint32_t getIntKeyAtIndex(uint32_t index) const { return recordAt(index)->getIntKey(); }
    ZoSubString *getSubKeyAtIndex(uint32_t index) const { return recordAt(index)->getSubKey(); }
    uint32_t getIntDataAtIndex(uint32_t index) const { return recordAt(index)->getIntData(); }
    ZoObject *getPtrDataAtIndex(uint32_t index) const { return recordAt(index)->getPtrData(); }

    // Destroys every record with its key and datum, last to first; the array is then empty.
    void deleteKeyAndData();
    // Destroys the record at index with its key and datum and closes the gap.
    void deleteKeyAndDataAtIndex(uint32_t index);

private:
    ZoAssociation *recordAt(uint32_t index) const { return static_cast<ZoAssociation *>(getAt(index)); }
    // Appends a new record (null when its allocation failed); destroys it on failure.
    ZoStatus appendRecord(ZoAssociation *record);
    // The record at the index, or null for an index past the end.
    ZoAssociation *recordOrNull(uint32_t index) const { return index < getCount() ? recordAt(index) : nullptr; }
    void destroyRecords(bool withKeyAndData);

    uint32_t noCase_ = 0;
};
