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

uint32_t ZoSeqDictionary::getIndexForKey(uint32_t key) const {
    uint32_t index = 0;
    while (index < getCount() && !recordAt(index)->matchesIntKey(key))
        ++index;
    return index;
}

uint32_t ZoSeqDictionary::getIntForKey(uint32_t key) const {
    const ZoAssociation *record = recordOrNull(getIndexForKey(key));
    return record != nullptr ? record->getIntData() : 0;
}

ZoObject *ZoSeqDictionary::getPtrForKey(uint32_t key) const {
    const ZoAssociation *record = recordOrNull(getIndexForKey(key));
    return record != nullptr ? record->getPtrData() : nullptr;
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
