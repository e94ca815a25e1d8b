// ZoString: buffer ownership, growth, appends and in-place byte replacement.
#include <zo/zostring.h>

#include <cstring>
#include <iterator>

#include "frame/err.h"
#include "text/zostrimp.h"

using zo::text::overlaps;
using zo::text::textLength;

namespace {

// A copy of bytes that alias the buffer an edit is about to move or grow. It holds the
// original pointer when no copy is needed.
class DetachedBytes {
public:
    DetachedBytes(const unsigned char *bytes, uint32_t n, const ZoString &target) : bytes_(bytes) {
        if (n > 0 && overlaps(bytes, n, target.data(), target.capacity())) {
            copy_ = static_cast<unsigned char *>(ramAlloc(n));
            if (copy_ != nullptr)
                std::memcpy(copy_, bytes, n);
            bytes_ = copy_;
        }
    }
    ~DetachedBytes() { ramFree(copy_); }
    DetachedBytes(const DetachedBytes &) = delete;
    DetachedBytes &operator=(const DetachedBytes &) = delete;

    // False when a needed copy could not be made.
    bool ok(const unsigned char *original) const { return original == nullptr || bytes_ != nullptr; }
    const unsigned char *get() const { return bytes_; }

private:
    const unsigned char *bytes_;
    unsigned char *copy_ = nullptr;
};

} // namespace

ZoString::~ZoString() {
    if (owns_)
        ramFree(data_);
}

void ZoString::unInitialize() {
    if (owns_)
        ramFree(data_);
    data_ = nullptr;
    length_ = length2_ = 0;
    capacity_ = 0;
    owns_ = 1; // no buffer is borrowed any more: the next growth allocates one
}

ZoStatus ZoString::initialize(const unsigned char *text) { return initialize(text, textLength(text)); }

ZoStatus ZoString::initialize(const unsigned char *bytes, uint32_t n) {
    auto *buffer = n < UINT32_MAX ? static_cast<unsigned char *>(ramAlloc(n + 1)) : nullptr;
    if (buffer != nullptr) {
        if (n > 0)
            std::memcpy(buffer, bytes, n);
        buffer[n] = 0;
    }
    // The source may live in the old buffer, so that one goes only after the copy.
    unInitialize();
    if (buffer == nullptr)
        return ZoFailure;
    data_ = buffer;
    length_ = length2_ = n;
    capacity_ = n + 1;
    return ZoSuccess;
}

ZoStatus ZoString::initialize(const uint16_t *wideText) {
    uint32_t n = 0;
    if (wideText != nullptr)
        while (wideText[n] != 0)
            ++n;
    return initialize(wideText, n);
}

ZoStatus ZoString::initialize(const uint16_t *wide, uint32_t n) {
    // 2n + 2 bytes must fit in a 32-bit size.
    auto *buffer = n < UINT32_MAX / 2 ? static_cast<unsigned char *>(ramAllocZ(2 * n + 2)) : nullptr;
    if (buffer != nullptr && n > 0)
        std::memcpy(buffer, wide, 2 * size_t{n});
    unInitialize();
    if (buffer == nullptr)
        return ZoFailure;
    data_ = buffer;
    length_ = n;
    length2_ = 2 * n;
    capacity_ = n + 1;
    return ZoSuccess;
}

ZoStatus ZoString::initialize(uint32_t n, int wide) {
    unInitialize();
    if (wide ? n >= UINT32_MAX / 2 : n == UINT32_MAX)
        return ZoFailure;
    data_ = static_cast<unsigned char *>(ramAllocZ(wide ? 2 * n + 2 : n + 1));
    if (data_ == nullptr)
        return ZoFailure;
    capacity_ = n + 1;
    return ZoSuccess;
}

void ZoString::initializeWithBuffer(unsigned char *buffer, uint32_t capacity, uint32_t length) {
    unInitialize();
    data_ = buffer;
    capacity_ = capacity;
    length_ = length2_ = length;
    owns_ = 0;
}

// Error 2716: the buffer belongs to the caller (initializeWithBuffer) and cannot grow.

ZoStatus ZoString::resize(uint32_t n) {
    if (!owns_) {
        addResourceError(ZoMessage::BorrowedBuffer);
        return ZoFailure;
    }
    if (data_ == nullptr) {
        auto *buffer = static_cast<unsigned char *>(ramAlloc(n));
        if (buffer == nullptr)
            return ZoFailure;
        data_ = buffer;
    } else {
        void *block = data_;
        if (ramResize(&block, n) != ZoSuccess)
            return ZoFailure;
        data_ = static_cast<unsigned char *>(block);
    }
    capacity_ = n;
    return ZoSuccess;
}

ZoStatus ZoString::ensure(uint64_t n) {
    if (n > UINT32_MAX)
        return ZoFailure;
    if (data_ != nullptr && capacity_ >= n)
        return ZoSuccess;
    return resize(static_cast<uint32_t>(n));
}

ZoStatus ZoString::ensure(uint64_t n, const unsigned char *&bytes, uint32_t count) {
    bool inside = overlaps(bytes, count, data_, capacity_);
    size_t offset = inside ? static_cast<size_t>(bytes - data_) : 0;
    if (ensure(n) != ZoSuccess)
        return ZoFailure;
    if (inside)
        bytes = data_ + offset;
    return ZoSuccess;
}

void ZoString::append(const unsigned char *bytes, uint32_t n) {
    if (n > 0)
        std::memmove(data_ + length_, bytes, n);
    length_ += n;
    data_[length_] = 0;
}

ZoStatus ZoString::concat(unsigned char c) {
    if (ensure(uint64_t{length_} + 2) != ZoSuccess)
        return ZoFailure;
    append(&c, 1);
    return ZoSuccess;
}

ZoStatus ZoString::concat(const unsigned char *text) { return concat(text, textLength(text)); }

ZoStatus ZoString::concat(const unsigned char *bytes, uint32_t n) {
    if (ensure(uint64_t{length_} + n + 1, bytes, n) != ZoSuccess)
        return ZoFailure;
    append(bytes, n);
    return ZoSuccess;
}

// A number needs room for 16 bytes after the text, whatever its digits.
ZoStatus ZoString::concatDecimal(const unsigned char *digits, uint32_t n) {
    if (ensure(uint64_t{length_} + 16) != ZoSuccess)
        return ZoFailure;
    append(digits, n);
    return ZoSuccess;
}

ZoStatus ZoString::concat(uint32_t value) {
    unsigned char digits[zo::text::kDecimalMax];
    return concatDecimal(digits, zo::text::formatDecimal(value, digits));
}

ZoStatus ZoString::concat(int32_t value) {
    unsigned char digits[zo::text::kDecimalMax];
    return concatDecimal(digits, zo::text::formatDecimal(value, digits));
}

ZoStatus ZoString::changeBytes(uint32_t pos, uint32_t oldLen, const unsigned char *src, uint32_t newLen) {
    if (src != nullptr && newLen == 0)
        newLen = textLength(src);
    if (pos > length_ || oldLen > length_ - pos)
        return ZoFailure;
    uint64_t newLength = uint64_t{length_} - oldLen + newLen;
    // Bytes from this string's own buffer would move under the edit: work from a copy.
    DetachedBytes source(src, newLen, *this);
    if (!source.ok(src))
        return ZoFailure;
    if (newLen > oldLen && ensure(newLength + 1) != ZoSuccess)
        return ZoFailure;
    uint32_t tail = length_ - pos - oldLen;
    if (newLen != oldLen && tail > 0)
        std::memmove(data_ + pos + newLen, data_ + pos + oldLen, tail);
    if (source.get() != nullptr && newLen > 0)
        std::memcpy(data_ + pos, source.get(), newLen);
    length_ = static_cast<uint32_t>(newLength);
    if (data_ != nullptr && length_ < capacity_)
        data_[length_] = 0;
    return ZoSuccess;
}

ZoStatus ZoString::replaceSubString(const ZoSubString *part, const unsigned char *with, uint32_t withLen) {
    if (part == nullptr || (part->length() > 0 && !overlaps(part->data(), part->length(), data_, length_)))
        return ZoFailure;
    uint32_t pos = part->data() == nullptr ? 0 : static_cast<uint32_t>(part->data() - data_);
    return changeBytes(pos, part->length(), with, withLen);
}

ZoStatus ZoString::replaceSubString(const unsigned char *pattern, const unsigned char *with) {
    return replaceSubString(pattern, textLength(pattern), with, textLength(with));
}

// All occurrences are replaced in one pass over the buffer, so that the string grows at
// most once and a failure leaves it untouched. When the text grows it is first moved up to
// the end of the grown buffer; the result is then written from the front, and the writing
// position never overtakes the reading position.
ZoStatus ZoString::replaceSubString(const unsigned char *pattern, uint32_t patternLen, const unsigned char *with,
                                    uint32_t withLen) {
    uint32_t searchLen = textLength(pattern);
    if (searchLen == 0 || data_ == nullptr)
        return ZoSuccess;
    if (patternLen == 0)
        patternLen = searchLen;
    if (with != nullptr && withLen == 0)
        withLen = textLength(with);
    DetachedBytes find(pattern, searchLen, *this);
    DetachedBytes insert(with, withLen, *this);
    if (!find.ok(pattern) || !insert.ok(with))
        return ZoFailure;

    // The first occurrences are remembered so that the rewrite need not search again.
    const zo::text::Stepping step = zo::text::currentStepping();
    uint32_t found[128];
    uint32_t count = 0;
    for (uint32_t start = 0;; ++count) {
        uint32_t pos = zo::text::searchBytes(data_, length_, start, find.get(), searchLen, step);
        if (pos >= length_ || patternLen > length_ - pos)
            break;
        if (count < std::size(found))
            found[count] = pos;
        start = pos + patternLen;
    }
    if (count == 0)
        return ZoSuccess;
    int64_t change = (int64_t{withLen} - int64_t{patternLen}) * count;
    uint64_t newLength = static_cast<uint64_t>(int64_t{length_} + change);
    uint32_t shift = change > 0 ? static_cast<uint32_t>(change) : 0;
    if (shift > 0) {
        if (ensure(newLength + 1) != ZoSuccess)
            return ZoFailure;
        std::memmove(data_ + shift, data_, length_);
    }
    const unsigned char *text = data_ + shift;
    uint32_t start = 0, written = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t pos =
            i < std::size(found) ? found[i] : zo::text::searchBytes(text, length_, start, find.get(), searchLen, step);
        std::memmove(data_ + written, text + start, pos - start);
        written += pos - start;
        if (insert.get() != nullptr && withLen > 0)
            std::memcpy(data_ + written, insert.get(), withLen);
        written += withLen;
        start = pos + patternLen;
    }
    std::memmove(data_ + written, text + start, length_ - start);
    length_ = static_cast<uint32_t>(newLength);
    if (length_ < capacity_)
        data_[length_] = 0;
    return ZoSuccess;
}
