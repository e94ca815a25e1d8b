#include <zo/zoseqdic.h>

ZoSeqDictionary::~ZoSeqDictionary() { destroyRecords(false); }

ZoStatus ZoSeqDictionary::appendRecord(ZoAssociation *record) {
    if (record == nullptr)
        return ZoFailure;
    if (append(record) != ZoSuccess) {
        delete record;
        return ZoFailure;
    }
    return ZoSuccess;
}

ZoStatus ZoSeqDictionary::addAssoc(uint32_t key, uint32_t datum) { return appendRecord(new ZoIntIntKey(key, datum)); }

ZoStatus ZoSeqDictionary::addAssoc(uint32_t key, ZoObject *datum) { return appendRecord(new ZoIntPtrKey(key, datum)); }

ZoStatus ZoSeqDictionary::addAssoc(ZoSubString *key, ZoObject *datum) {
    return appendRecord(new ZoSubPtrKey(key, datum));
}

namespace {
// Index of the first record that matches, from index 0; the count when none does.
template <class Match>
uint32_t firstMatch(const ZoArray &records, Match matches) {
    uint32_t index = 0;
    while (index < records.getCount() && !matches(static_cast<const ZoAssociation *>(records.getAt(index))))
        ++index;
    return index;
}
} // namespace

uint32_t ZoSeqDictionary::getIndexForKey(uint32_t key) const {
    return firstMatch(*this, [key](const ZoAssociation *record) { return record->matchesIntKey(key) != 0; });
}

uint32_t ZoSeqDictionary::getIndexForKey(const ZoSubString &key) const {
    if (noCase_ != 0)
        return firstMatch(*this,
                          [&key](const ZoAssociation *record) { return record->matchesSubKeyNoCase(&key) != 0; });
    return firstMatch(*this, [&key](const ZoAssociation *record) { return record->matchesSubKey(&key) != 0; });
}

void ZoSeqDictionary::destroyRecords(bool withKeyAndData) {
    // From the last record, so each removal moves nothing.
    for (uint32_t index = getCount(); index-- > 0;) {
        if (withKeyAndData)
            recordAt(index)->destroyKeyAndData();
        deleteAtIndex(index);
    }
}

void ZoSeqDictionary::deleteKeyAndData() { destroyRecords(true); }

void ZoSeqDictionary::deleteKeyAndDataAtIndex(uint32_t index) {
    recordAt(index)->destroyKeyAndData();
    deleteAtIndex(index);
}
