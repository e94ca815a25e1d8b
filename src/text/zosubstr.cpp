// ZoSubString: searches, counts and set lookups over a byte (or 16-bit) view.
#include <zo/zostring.h>
#include <zo/pertask.h>
#include <zo/strfuncs.h>
#include <zo/zoarray.h>

#include <algorithm>
#include <cstring>

#include "platform/codepage.h"
#include "text/zostrimp.h"

ZoSubString::~ZoSubString() = default;

uint32_t ZoSubString::findChar(uint16_t c, uint32_t start) const {
    if (c > 0xFF)
        return length_;
    const unsigned char byte = static_cast<unsigned char>(c);
    return zo::text::searchBytes(data_, length_, start, &byte, 1);
}

uint32_t ZoSubString::findSubString(const unsigned char *text, uint32_t start) const {
    return zo::text::searchBytes(data_, length_, start, text, zo::text::textLength(text));
}

// The count is kept in 32 bits: a 16-bit count would silently wrap on long texts.
uint32_t ZoSubString::countChar(uint16_t c) const {
    if (data_ == nullptr)
        return 0;
    const unsigned char *charLength = mdsCharLengthTable();
    uint32_t count = 0;
    for (uint32_t pos = 0; pos < length_ && data_[pos] != 0; pos += charLength[data_[pos]])
        count += data_[pos] == c;
    return count;
}

namespace {

uint16_t wideAt(const unsigned char *text, uint32_t index) {
    uint16_t unit;
    std::memcpy(&unit, text + 2 * size_t{index}, 2);
    return unit;
}

uint32_t wideLength(const unsigned char *text) {
    uint32_t n = 0;
    while (wideAt(text, n) != 0)
        ++n;
    return n;
}

// Wide text ignoring case: only A-Z fold to a-z.
uint16_t foldWide(uint16_t unit) { return unit >= 'A' && unit <= 'Z' ? static_cast<uint16_t>(unit + 32) : unit; }

short compareWideCi(const unsigned char *a, const unsigned char *b, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i) {
        uint16_t x = foldWide(wideAt(a, i)), y = foldWide(wideAt(b, i));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

} // namespace

short ZoSubString::compare(const ZoObject *other) const {
    auto *that = static_cast<const ZoSubString *>(other);
    if (that == nullptr)
        return 1;
    if (isWide())
        return compareWideCi(data_, that->data_, std::min(length_, that->length_));
    return strCompareCi(data_, length_, that->data_, that->length_);
}

uint32_t ZoSubString::hash() const {
    unsigned char head[6] = {};
    uint32_t n = std::min<uint32_t>(length_, 5);
    if (n > 0)
        std::memcpy(head, data_, n);
    zo::plat::upperBuffer(head, zo::text::textLength(head));
    uint32_t sum = 0;
    for (uint32_t i = 0; i < n; ++i)
        sum += head[i];
    return sum;
}

uint16_t ZoSubString::indexInSetCi(const unsigned char **values, uint16_t count) const {
    for (uint16_t i = 0; i < count; ++i) {
        const unsigned char *value = values[i];
        if (isWide() ? compareWideCi(value, data_, std::min(wideLength(value), length_)) == 0
                     : strCompareCi(value, zo::text::textLength(value), data_, length_) == 0)
            return i;
    }
    return count;
}

uint16_t ZoSubString::indexInSet(const unsigned char **values, uint16_t count) const {
    for (uint16_t i = 0; i < count; ++i) {
        const unsigned char *value = values[i];
        if (isWide()) {
            uint32_t n = std::min(wideLength(value), length_);
            if (n == 0 || std::memcmp(value, data_, 2 * size_t{n}) == 0)
                return i;
        } else if (zo::text::textLength(value) == length_ &&
                   (length_ == 0 || std::memcmp(value, data_, length_) == 0)) {
            return i;
        }
    }
    return count;
}

void ZoSubString::rightBlankTrim() {
    // White space as the C runtime classifies it in the "C" locale: blank and \t to \r.
    while (length_ > 0) {
        unsigned char b = data_[length_ - 1];
        if (b != ' ' && (b < '\t' || b > '\r'))
            break;
        --length_;
    }
}

ZoStatus ZoSubString::copyQuotedStr(ZoString *out) const {
    // This view may lie inside out's own text.
    const unsigned char *src = data_;
    if (out->ensure(uint64_t{out->length_} + length_ + 1, src, length_) != ZoSuccess)
        return ZoFailure;
    // The write position stays at or after every byte still to be read, even in place.
    unsigned char *dest = out->data_ + out->length_;
    const unsigned char *leadLength = mdsLeadByteLengthTable();
    const unsigned char quote = length_ > 0 ? src[0] : 0;
    for (uint32_t pos = 1; pos < length_;) {
        unsigned char b = src[pos];
        if (b == quote) {
            if (pos + 1 >= length_ || src[pos + 1] != quote)
                break; // the closing quote
            *dest++ = quote;
            pos += 2;
            continue;
        }
        uint32_t n = std::min<uint32_t>(leadLength[b], length_ - pos);
        std::memmove(dest, src + pos, n);
        dest += n;
        pos += n;
    }
    out->length_ = static_cast<uint32_t>(dest - out->data_);
    *dest = 0;
    return ZoSuccess;
}

ZoStatus ZoSubString::getLines(ZoArray *lines) const {
    static const unsigned char kCrLf[] = {'\r', '\n'};
    for (uint32_t start = 0; start < length_;) {
        uint32_t end = zo::text::searchBytes(data_, length_, start, kCrLf, 2);
        if (end > start) {
            auto *line = new ZoString;
            if (line == nullptr)
                return ZoFailure;
            if (line->initialize(data_ + start, end - start) != ZoSuccess || lines->append(line) != ZoSuccess) {
                delete line;
                return ZoFailure;
            }
        }
        if (end >= length_)
            break;
        start = end + 2;
    }
    return ZoSuccess;
}
