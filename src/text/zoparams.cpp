// ZoParamString: filling numbered placeholders in order.
#include <zo/zoparams.h>

#include "text/zostrimp.h"

ZoStatus ZoParamString::setFailed(bool failed) {
    paramFlags_ = failed ? (paramFlags_ | Failed) : (paramFlags_ & ~Failed);
    return failed ? ZoFailure : ZoSuccess;
}

ZoStatus ZoParamString::initialize(const unsigned char *text) {
    counter_ = 0;
    return setFailed(ZoString::initialize(text) != ZoSuccess);
}

ZoStatus ZoParamString::initialize(const unsigned char *bytes, uint32_t n) {
    counter_ = 0;
    return setFailed(ZoString::initialize(bytes, n) != ZoSuccess);
}

ZoStatus ZoParamString::initialize(uint32_t capacity) {
    counter_ = 0;
    return setFailed(ZoString::initialize(capacity, 0) != ZoSuccess);
}

ZoStatus ZoParamString::fill(unsigned char type, const unsigned char *with, uint32_t withLen) {
    // A 16-bit count cannot name a placeholder past 65,535: refuse rather than wrap to 0.
    if (counter_ == UINT16_MAX)
        return setFailed(true);
    ++counter_;
    unsigned char placeholder[3 + zo::text::kDecimalMax + 1];
    uint32_t n = 0;
    placeholder[n++] = '%';
    placeholder[n++] = type;
    if (counter_ >= 10)
        placeholder[n++] = 'x';
    n += zo::text::formatDecimal(uint32_t{counter_}, placeholder + n);
    placeholder[n] = 0;
    if (replaceSubString(placeholder, n, with, withLen) != ZoSuccess)
        return setFailed(true);
    return ZoSuccess;
}

ZoStatus ZoParamString::setParam(const unsigned char *text) { return fill('s', text, zo::text::textLength(text)); }

ZoStatus ZoParamString::setParam(const ZoSubString &text) {
    // An empty view inserts nothing, whatever its data pointer points at.
    return fill('s', text.length() > 0 ? text.data() : nullptr, text.length());
}

ZoStatus ZoParamString::setQuotedParam(const unsigned char *text, unsigned char quote) {
    ZoString quoted;
    if (quoted.initialize(text) != ZoSuccess || quoted.addQuotes(quote) != ZoSuccess)
        return setFailed(true);
    return setParam(quoted);
}

ZoStatus ZoParamString::setParam(uint32_t value) {
    unsigned char digits[zo::text::kDecimalMax];
    return fill('n', digits, zo::text::formatDecimal(value, digits));
}

ZoStatus ZoParamString::setParam(int32_t value) {
    unsigned char digits[zo::text::kDecimalMax];
    return fill('n', digits, zo::text::formatDecimal(value, digits));
}

// A value that cannot be filled in marks the string failed, which the caller reads with
// failed(); the chained values after it are then skipped.
ZoParamString &ZoParamString::operator<<(const unsigned char *text) {
    if (!failed())
        (void)setParam(text);
    return *this;
}

ZoParamString &ZoParamString::operator<<(uint32_t value) {
    if (!failed())
        (void)setParam(value);
    return *this;
}

ZoParamString &ZoParamString::operator<<(int32_t value) {
    if (!failed())
        (void)setParam(value);
    return *this;
}

ZoParamString &ZoParamString::operator<<(const ZoSubString &text) {
    if (!failed())
        (void)setParam(text);
    return *this;
}
