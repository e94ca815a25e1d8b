// Quoting and unquoting of ZoSubString and ZoString contents.
#include <zo/pertask.h>
#include <zo/strfuncs.h>
#include <zo/zostring.h>

namespace {

// Number of quote bytes that strCopyQuoted doubles: it steps by lead byte and never looks
// inside a double-byte character.
uint32_t countQuotes(const unsigned char *text, uint32_t length, unsigned char quote) {
    const unsigned char *leadLength = mdsLeadByteLengthTable();
    uint32_t count = 0;
    for (uint32_t pos = 0; pos < length; pos += leadLength[text[pos]])
        count += text[pos] == quote;
    return count;
}

} // namespace

unsigned char *ZoSubString::getCopyUnquoted(unsigned char *out) const {
    strCopyUnquoted(out, data_, length_);
    return out;
}

unsigned char *ZoSubString::getCopyQuoted(unsigned char *out, uint16_t) const {
    strCopyQuoted(out, data_, length_, '\'');
    return out;
}

// The quoted form is longer than the text, so it is made in a new buffer of the exact size.
ZoStatus ZoString::addQuotes(uint16_t quote) {
    const unsigned char q = static_cast<unsigned char>(quote);
    uint64_t size = uint64_t{length_} + countQuotes(data_, length_, q) + 3;
    ZoString result;
    if (size > UINT32_MAX || result.resize(static_cast<uint32_t>(size)) != ZoSuccess)
        return ZoFailure;
    result.length_ = static_cast<uint32_t>(strCopyQuoted(result.data_, data_, length_, q) - result.data_);
    return adoptContents(result);
}

// Unquoting only shortens the text, so it is done in place.
void ZoString::removeQuotes() {
    if (data_ == nullptr)
        return;
    length_ = static_cast<uint32_t>(strCopyUnquoted(data_, data_, length_) - data_);
}

ZoStatus ZoString::addQuotedBytes(const ZoSubString &part, uint16_t quote) {
    const unsigned char q = static_cast<unsigned char>(quote);
    const unsigned char *src = part.data();
    uint64_t needed = uint64_t{length_} + countQuotes(src, part.length(), q) + part.length() + 3;
    if (ensure(needed, src, part.length()) != ZoSuccess)
        return ZoFailure;
    length_ = static_cast<uint32_t>(strCopyQuoted(data_ + length_, src, part.length(), q) - data_);
    return ZoSuccess;
}
