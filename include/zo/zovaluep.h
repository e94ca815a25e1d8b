// Attribute strings of the form key=value;key=value (connection strings): parsing, lookups
// that remember what was asked for, edits, and rebuilding the string.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zoobject.h>
#include <zo/zoscanne.h>
#include <zo/zoseqdic.h>
#include <zo/zostring.h>

// Keys are compared ignoring case and kept in the order they came in. Parsed keys and values
// are views into the caller's text, which must outlive the parser; added ones are copies.
// Syntax errors, duplicates and conflicting spellings are recorded in the thread's error
// list (2704 or, for a parser with a name, 2705, with 2706 or 2707 appended).
class ZO_API ZoValueParser : public ZoObject {
public:
    // The separator must be one of the scanner's one-character operators (such as ';').
    ZoValueParser(const ZoSubString *text, unsigned char separator, const unsigned char *name,
                  unsigned int allowDuplicates);
    ~ZoValueParser() override;
    ZoValueParser(const ZoValueParser &) = delete;
    ZoValueParser &operator=(const ZoValueParser &) = delete;

    // Parses the whole text; all attributes start out unused. On failure the attributes read
    // so far stay.
    ZoStatus initialize();
    // The scanner's quote characters and extra key characters; set before initialize.
    void setQuotingChars(unsigned short q1, unsigned short q2, unsigned short q3);
    ZoStatus setValidChars(const unsigned char *chars);
    void resetValidChars();
    // Braced values, as connection strings write them (off by default; set before
    // initialize): a value that starts with '{' runs to the matching '}' and may hold the
    // separator, '=' and quotes; "}}" inside stands for one '}'. The value is kept without
    // its braces. With the option on, addAttribute keeps values as given and buildString
    // writes in braces every value that would not read back whole without them (and fails
    // on such a value whose last character is cut short: text that is no whole text in the
    // thread's character mode, read unbraced at the very end of a string).
    void setBracedValues(bool on) { braced_ = on; }

    // The value of the first attribute with the key (ignoring case), marked used; or null.
    const ZoSubString *getAttributeValue(const ZoSubString *key);
    const ZoSubString *getAttributeValue(const unsigned char *key);
    // For an attribute with two spellings: the value under key, else under otherKey, else
    // null. Both present is an error: the call fails and leaves value alone.
    ZoStatus getAttributeValue(const unsigned char *key, const unsigned char *otherKey, const ZoSubString *&value);
    // Whether the key exists (it is not marked used).
    unsigned isAttributeValue(const ZoSubString *key) const;
    unsigned isAttributeValue(const unsigned char *key) const;

    // Attributes nobody asked for: their number, and their keys one after the other (null
    // after the last). Attributes added since initialize or resetUnused count as unused.
    uint16_t getUnusedCount() const;
    const ZoSubString *getUnusedAttribute();
    // Clears all marks, sized for the attributes there are now, and restarts the walk.
    ZoStatus resetUnused();

    uint16_t getAttributeCount() const { return static_cast<uint16_t>(attributes_.getCount()); }
    // The key at a position, or null past the last attribute.
    const ZoSubString *getAttributeKey(uint16_t index) const;
    // Sets an attribute: replaces the value under key (or, when absent, under otherKey,
    // which may be null), keeping that key's spelling, or appends key=value. A value holding
    // a quote character or the separator is stored in single quotes.
    ZoStatus addAttribute(const unsigned char *key, const unsigned char *value, const unsigned char *otherKey);
    // Deletes the first attribute with the key, if any.
    void removeAttribute(const unsigned char *key);
    // Writes key=value pairs in order, joined by the separator, into out (emptied first).
    ZoStatus buildString(ZoString *out) const;

private:
    ZoStatus parseAttribute();
    ZoStatus readBracedValue(uint32_t open, bool duplicate);
    ZoStatus storeAttribute(ZoSubString *value);
    void reportSyntaxError(uint32_t offset) const;
    bool needsBraces(const ZoSubString &value) const;
    ZoStatus appendValue(ZoString *out, const ZoSubString &value) const;
    uint32_t find(const unsigned char *key) const;
    const ZoSubString *valueAt(uint32_t index) const;
    const ZoSubString *lookUp(uint32_t index);
    bool isUsed(uint32_t index) const;
    void markUsed(uint32_t index);
    void dropMark(uint32_t index);
    ZoStatus sizeMarks();

    unsigned char separator_;
    const unsigned char *name_;
    ZoScanner scanner_;
    ZoSeqDictionary attributes_;
    ZoToken token_;
    ZoSubString *currentKey_ = nullptr;
    unsigned char *used_ = nullptr; // one bit per attribute, least significant bit first
    uint32_t markCount_ = 0;        // attributes the marks cover
    uint16_t unusedCursor_ = 0;
    unsigned allowDuplicates_;
    bool braced_ = false;
};
