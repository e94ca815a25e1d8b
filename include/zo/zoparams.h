// Messages with numbered placeholders, filled one value at a time.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zostring.h>

// A ZoString holding a message whose placeholders are filled in order: the k-th value
// replaces every %s<k> (text) or %n<k> (number), where k is written in decimal and, from
// the tenth placeholder on, preceded by x (%sx10), so that %s1 never matches the start of
// %s10. A placeholder that does not occur is skipped; the count still advances.
class ZO_API ZoParamString : public ZoString {
public:
    enum : uint32_t { Failed = 0x1 };

    ZoParamString() = default;

    // Replace the contents (freeing the old buffer) and restart the count. Failure sets
    // the failed flag, success clears it.
    ZoStatus initialize(const unsigned char *text);
    ZoStatus initialize(const char *text) { return initialize(reinterpret_cast<const unsigned char *>(text)); }
    ZoStatus initialize(const unsigned char *bytes, uint32_t n);
    // An empty byte string with room for capacity bytes.
    ZoStatus initialize(uint32_t capacity);

    // Each fills the next placeholder. A null text removes a %s placeholder. When the
    // replacement fails (memory exhausted, or more than 65,535 values) the failed flag is
    // set and 1 returned.
    ZoStatus setParam(const unsigned char *text);
    ZoStatus setParam(uint32_t value);
    ZoStatus setParam(int32_t value);
    ZoStatus setParam(const ZoSubString &text);

    // Fills the next %s placeholder with the text quoted by addQuotes(quote).
    ZoStatus setQuotedParam(const unsigned char *text, unsigned char quote);

    // The streaming forms: ignored while the failed flag is set.
    ZoParamString &operator<<(const unsigned char *text);
    ZoParamString &operator<<(const char *text) { return *this << reinterpret_cast<const unsigned char *>(text); }
    ZoParamString &operator<<(uint32_t value);
    ZoParamString &operator<<(int32_t value);
    ZoParamString &operator<<(const ZoSubString &text);

    // Number of placeholders filled so far.
    uint16_t counter() const { return counter_; }
    // Makes the next value fill placeholder 1 again (for a text appended with placeholders
    // of its own).
    void resetCounter() { counter_ = 0; }
    bool failed() const { return (paramFlags_ & Failed) != 0; }

private:
    // Fills the next placeholder of the given type letter with the bytes.
    ZoStatus fill(unsigned char type, const unsigned char *with, uint32_t withLen);
    ZoStatus setFailed(bool failed);

    uint16_t counter_ = 0;
    uint32_t paramFlags_ = 0;
};
