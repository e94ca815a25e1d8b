#include <zo/zodictio.h>

ZoAssociation::~ZoAssociation() = default;
unsigned ZoAssociation::matchesIntKey(uint32_t) const { return 0; }
unsigned ZoAssociation::matchesSubKey(const ZoSubString *) const { return 0; }
unsigned ZoAssociation::matchesSubKeyNoCase(const ZoSubString *) const { return 0; }
unsigned ZoAssociation::matchesNoCase(const ZoAssociation *) const { return 0; }
uint32_t ZoAssociation::getIntKey() const { return 0; }
uint32_t ZoAssociation::getIntData() const { return 0; }
ZoSubString *ZoAssociation::getSubKey() const { return nullptr; }
ZoObject *ZoAssociation::getPtrData() const { return nullptr; }
void ZoAssociation::setPtrData(ZoObject *) {}
void ZoAssociation::setIntData(uint32_t) {}

ZoIntKeyAssociation::~ZoIntKeyAssociation() = default;

ZoIntIntKey::~ZoIntIntKey() = default;

ZoIntPtrKey::~ZoIntPtrKey() = default;

void ZoIntPtrKey::destroyKeyAndData() {
    delete datum_;
    datum_ = nullptr;
}

namespace {
const ZoAssociation *asRecord(const void *element) { return static_cast<const ZoAssociation *>(element); }
} // namespace

ZoDictionary::~ZoDictionary() { destroyRecords(false); }

uint32_t ZoDictionary::doHash(const void *element) const { return asRecord(element)->hashKey(); }

unsigned ZoDictionary::areEqual(const void *element1, const void *element2) const {
    return (noCase_ & 1) ? asRecord(element1)->matchesNoCase(asRecord(element2))
                         : asRecord(element1)->matches(asRecord(element2));
}

ZoStatus ZoDictionary::addRecord(ZoAssociation *record) {
    if (record == nullptr)
        return ZoFailure;
    void *displaced = nullptr;
    if (addElement(record, &displaced) != ZoSuccess) {
        delete record;
        return ZoFailure;
    }
    delete static_cast<ZoAssociation *>(displaced);
    return ZoSuccess;
}

ZoStatus ZoDictionary::addAssoc(uint32_t key, uint32_t datum) { return addRecord(new ZoIntIntKey(key, datum)); }

ZoStatus ZoDictionary::addAssoc(uint32_t key, ZoObject *datum) { return addRecord(new ZoIntPtrKey(key, datum)); }

ZoAssociation *ZoDictionary::findRecord(uint32_t key) const {
    return static_cast<ZoAssociation *>(
        lookup(key, [key](const void *held) { return asRecord(held)->matchesIntKey(key) != 0; }));
}

uint32_t ZoDictionary::getIntForKey(uint32_t key) const {
    const ZoAssociation *record = findRecord(key);
    return record != nullptr ? record->getIntData() : 0;
}

ZoObject *ZoDictionary::getPtrForKey(uint32_t key) const {
    const ZoAssociation *record = findRecord(key);
    return record != nullptr ? record->getPtrData() : nullptr;
}

void ZoDictionary::destroyRecords(bool withKeyAndData) {
    for (uint32_t slot = slotCount(); slot-- > 0;) {
        auto *record = static_cast<ZoAssociation *>(slotElement(slot));
        if (record == nullptr)
            continue;
        if (withKeyAndData)
            record->destroyKeyAndData();
        delete record;
        clearSlot(slot);
    }
}

void ZoDictionary::deleteKeyAndData() {
    destroyRecords(true);
    clearEntryCount();
}
