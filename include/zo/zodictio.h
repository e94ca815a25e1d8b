// Association records (one key, one datum) and the hash dictionary that owns them.
#pragma once

#include <cstdint>

#include <zo/zoset.h>

class ZoSubString;

// The entry record of the dictionaries. Keys are numbers or substrings, data numbers or
// objects; the record never owns them until destroyKeyAndData is called. Two records are
// equal when their keys are (double dispatch: a.matches(b) asks b about a's key), so a
// number-keyed record never equals a string-keyed one. The base answers "no match" and
// zero/null to every question a kind does not override.
//
// Each record also keeps the hash of its key, taken when it is made. Keys that match hash
// alike (the string hash upper-cases), so the dictionary compares these hashes first and
// asks the virtual match only of records whose hash agrees.
class ZO_API ZoAssociation : public ZoObject {
public:
    ~ZoAssociation() override;
    virtual unsigned matchesIntKey(uint32_t key) const;
    virtual unsigned matchesSubKey(const ZoSubString *key) const;
    virtual unsigned matches(const ZoAssociation *other) const = 0;
    virtual unsigned matchesSubKeyNoCase(const ZoSubString *key) const;
    virtual unsigned matchesNoCase(const ZoAssociation *other) const;
    virtual uint32_t getIntKey() const;
    virtual uint32_t getIntData() const;
    virtual ZoSubString *getSubKey() const;
    virtual ZoObject *getPtrData() const;
    virtual void setPtrData(ZoObject *datum);
    virtual void setIntData(uint32_t datum);
    virtual uint32_t hashKey() const = 0;
    // Destroys what the record refers to (the record itself stays).
    virtual void destroyKeyAndData() = 0;

    // The datum of a record found by a lookup, 0 or null when none was found.
    static uint32_t intDataOf(const ZoAssociation *record) { return record != nullptr ? record->getIntData() : 0; }
    static ZoObject *ptrDataOf(const ZoAssociation *record) {
        return record != nullptr ? record->getPtrData() : nullptr;
    }

    uint32_t keyHash() const { return keyHash_; }

protected:
    explicit ZoAssociation(uint32_t keyHash) : keyHash_(keyHash) {}

private:
    uint32_t keyHash_;
};

// What the number-keyed kinds share: the key is its own hash, and a number key has no
// letter case, so the case-blind match is the exact one.
class ZO_API ZoIntKeyAssociation : public ZoAssociation {
public:
    explicit ZoIntKeyAssociation(uint32_t key) : ZoAssociation(key), key_(key) {}
    ~ZoIntKeyAssociation() override;
    unsigned matchesIntKey(uint32_t key) const override { return key_ == key ? 1 : 0; }
    unsigned matches(const ZoAssociation *other) const override { return other->matchesIntKey(key_); }
    unsigned matchesNoCase(const ZoAssociation *other) const override { return matches(other); }
    uint32_t getIntKey() const override { return key_; }
    uint32_t hashKey() const override { return keyHash(); }

private:
    uint32_t key_;
};

// Number key, number datum.
class ZO_API ZoIntIntKey : public ZoIntKeyAssociation {
public:
    ZoIntIntKey(uint32_t key, uint32_t datum) : ZoIntKeyAssociation(key), datum_(datum) {}
    ~ZoIntIntKey() override;
    uint32_t getIntData() const override { return datum_; }
    void setIntData(uint32_t datum) override { datum_ = datum; }
    void destroyKeyAndData() override {}

private:
    uint32_t datum_;
};

// Number key, object datum. Its datum is not replaced through setPtrData.
class ZO_API ZoIntPtrKey : public ZoIntKeyAssociation {
public:
    ZoIntPtrKey(uint32_t key, ZoObject *datum) : ZoIntKeyAssociation(key), datum_(datum) {}
    ~ZoIntPtrKey() override;
    ZoObject *getPtrData() const override { return datum_; }
    void destroyKeyAndData() override;

private:
    ZoObject *datum_;
};

// Substring key, object datum. Narrow keys match exactly when their bytes are equal, or
// case-blind by the byte-string rule (double-byte characters exactly). Wide keys (the
// record's key flagged wide) compare the first min(length) 16-bit characters, stopping at
// a zero character, so a wide key matches every wide key that it begins or that begins
// it; case-blind, A-Z fold to a-z. The key's hash sums its upper-cased first five bytes,
// so exact and case-blind lookups start at the same slot.
class ZO_API ZoSubPtrKey : public ZoAssociation {
public:
    ZoSubPtrKey(ZoSubString *key, ZoObject *datum);
    ~ZoSubPtrKey() override;
    unsigned matchesSubKey(const ZoSubString *key) const override;
    unsigned matches(const ZoAssociation *other) const override { return other->matchesSubKey(key_); }
    unsigned matchesSubKeyNoCase(const ZoSubString *key) const override;
    unsigned matchesNoCase(const ZoAssociation *other) const override { return other->matchesSubKeyNoCase(key_); }
    ZoSubString *getSubKey() const override { return key_; }
    ZoObject *getPtrData() const override { return datum_; }
    void setPtrData(ZoObject *datum) override { datum_ = datum; }
    uint32_t hashKey() const override { return keyHash(); }
    // Destroys the key substring, then the datum.
    void destroyKeyAndData() override;

private:
    unsigned matchesKey(const ZoSubString *key, bool noCase) const;

    ZoSubString *key_;
    ZoObject *datum_;
};

// Hash dictionary. It owns its association records (destroyed with it); keys and data
// belong to the caller until deleteKeyAndData. Size it with initialize before use (an
// unsized dictionary grows on its first add). Adding a key that is present replaces its
// record; the old record is destroyed, its key and datum are not.
class ZO_API ZoDictionary : public ZoSet {
public:
    ZoDictionary() = default;
    ~ZoDictionary() override;

    using ZoSet::initialize;
    // Destroys the records (keys and data stay the caller's), frees the table and returns
    // to the unsized state.
    void reset();
    // Case-blind string keys; set before the first add.
    void setNoCase(bool on) { noCase_ = on ? 1 : 0; }
    uint32_t getNoCase() const { return noCase_; }

    // Each fails (1) when the record cannot be made or the table cannot grow; the
    // dictionary is then unchanged.
    ZoStatus addAssoc(uint32_t key, uint32_t datum);
    ZoStatus addAssoc(uint32_t key, ZoObject *datum);
    ZoStatus addAssoc(ZoSubString *key, ZoObject *datum);

    // The datum of the key; 0 or null when the key is absent.
    uint32_t getIntForKey(uint32_t key) const { return ZoAssociation::intDataOf(findRecord(key)); }
    ZoObject *getPtrForKey(uint32_t key) const { return ZoAssociation::ptrDataOf(findRecord(key)); }
    ZoObject *getPtrForKey(const ZoSubString *key) const { return ZoAssociation::ptrDataOf(findRecord(key)); }
    unsigned doesExist(uint32_t key) const { return findRecord(key) != nullptr ? 1 : 0; }
    unsigned doesExist(const ZoSubString *key) const { return findRecord(key) != nullptr ? 1 : 0; }

    // Destroys every record with its key and datum, last slot to first; the table keeps
    // its size so the dictionary can be refilled at once.
    void deleteKeyAndData();

protected:
    uint32_t doHash(const void *element) const override;
    unsigned areEqual(const void *element1, const void *element2) const override;

private:
    // Adds a new record (null when its allocation failed); destroys it on failure.
    ZoStatus addRecord(ZoAssociation *record);
    ZoAssociation *findRecord(uint32_t key) const;
    ZoAssociation *findRecord(const ZoSubString *key) const;
    void destroyRecords(bool withKeyAndData);

    uint32_t noCase_ = 0;
};
