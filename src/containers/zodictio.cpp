#include <zo/zodictio.h>

#include <zo/strfuncs.h>
#include <zo/zostring.h>

#include <cstring>

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

uint16_t wideCharAt(const unsigned char *data, uint32_t i) {
    uint16_t c;
    std::memcpy(&c, data + 2 * i, sizeof c);
    return c;
}

uint16_t foldAsciiLetter(uint16_t c) { return c >= 'A' && c <= 'Z' ? static_cast<uint16_t>(c + ('a' - 'A')) : c; }

// Wide texts agree over their first n characters, or up to a zero character both share.
bool wideEqual(const unsigned char *a, const unsigned char *b, uint32_t n, bool noCase) {
    for (uint32_t i = 0; i < n; ++i) {
        uint16_t ca = wideCharAt(a, i), cb = wideCharAt(b, i);
        if (noCase) {
            ca = foldAsciiLetter(ca);
            cb = foldAsciiLetter(cb);
        }
        if (ca != cb)
            return false;
        if (ca == 0)
            break;
    }
    return true;
}

} // namespace

ZoSubPtrKey::ZoSubPtrKey(ZoSubString *key, ZoObject *datum)
    : ZoAssociation(key != nullptr ? key->hash() : 0), key_(key), datum_(datum) {}

ZoSubPtrKey::~ZoSubPtrKey() = default;

unsigned ZoSubPtrKey::matchesKey(const ZoSubString *key, bool noCase) const {
    if (key == nullptr)
        return 0;
    const uint32_t own = key_->length(), other = key->length();
    if (key_->isWide())
        return wideEqual(key_->data(), key->data(), own < other ? own : other, noCase) ? 1 : 0;
    if (noCase)
        return strEqualCi(key_->data(), own, key->data(), other) ? 1 : 0;
    return own == other && (own == 0 || BUTMMCMP(key_->data(), key->data(), own) == 0) ? 1 : 0;
}

unsigned ZoSubPtrKey::matchesSubKey(const ZoSubString *key) const { return matchesKey(key, false); }

unsigned ZoSubPtrKey::matchesSubKeyNoCase(const ZoSubString *key) const { return matchesKey(key, true); }

void ZoSubPtrKey::destroyKeyAndData() {
    delete key_;
    delete datum_;
    key_ = nullptr;
    datum_ = nullptr;
}

namespace {
const ZoAssociation *asRecord(const void *element) { return static_cast<const ZoAssociation *>(element); }
} // namespace

ZoDictionary::~ZoDictionary() { destroyRecords(false); }

uint32_t ZoDictionary::doHash(const void *element) const { return asRecord(element)->hashKey(); }

unsigned ZoDictionary::areEqual(const void *element1, const void *element2) const {
    const ZoAssociation *a = asRecord(element1), *b = asRecord(element2);
    if (a->keyHash() != b->keyHash())
        return 0;
    return (noCase_ & 1) ? a->matchesNoCase(b) : a->matches(b);
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

ZoStatus ZoDictionary::addAssoc(ZoSubString *key, ZoObject *datum) { return addRecord(new ZoSubPtrKey(key, datum)); }

ZoAssociation *ZoDictionary::findRecord(const ZoSubString *key) const {
    const bool noCase = (noCase_ & 1) != 0;
    const uint32_t hash = key->hash();
    return static_cast<ZoAssociation *>(lookup(hash, [key, noCase, hash](const void *held) {
        const ZoAssociation *record = asRecord(held);
        return record->keyHash() == hash &&
               (noCase ? record->matchesSubKeyNoCase(key) : record->matchesSubKey(key)) != 0;
    }));
}

ZoAssociation *ZoDictionary::findRecord(uint32_t key) const {
    return static_cast<ZoAssociation *>(lookup(key, [key](const void *held) {
        return asRecord(held)->keyHash() == key && asRecord(held)->matchesIntKey(key) != 0;
    }));
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

void ZoDictionary::reset() {
    destroyRecords(false);
    ZoSet::reset();
}

void ZoDictionary::deleteKeyAndData() {
    destroyRecords(true);
    clearEntryCount();
}
