// ZoReplaceString: in-place rewriting of a ZoString as a gap buffer.
//
//   target buffer:  [ written (write position) | gap | unread (length) | slack ]
//                   0                  write position  read position
//
// data() is the first unread byte. Growth moves the unread bytes up by the bytes needed
// plus 512, so that a run of small writes grows the buffer rarely.
#include <zo/zorepstr.h>

#include <zo/pertask.h>
#include <zo/ramalloc.h>

#include <cstring>

#include "text/zostrimp.h"

namespace {

constexpr uint32_t kSlack = 512;

// Whether [p, p + n) lies entirely inside [base, base + size).
bool within(const unsigned char *p, uint32_t n, const unsigned char *base, uint64_t size) {
    if (p == nullptr || base == nullptr)
        return false;
    auto a = reinterpret_cast<uintptr_t>(p), b = reinterpret_cast<uintptr_t>(base);
    return a >= b && a + n <= b + size;
}

} // namespace

// Bytes to write that come from the target's own buffer. Growth moves the unread part and
// may move the whole buffer, so a source is remembered by its offset and the part it lies
// in; a source that lies across parts (or in the slack after the unread bytes) is copied
// first.
class ZoReplaceString::Source {
public:
    Source(const ZoReplaceString &r, const unsigned char *bytes, uint32_t n) : bytes_(bytes) {
        const unsigned char *base = r.target_->data_;
        if (within(bytes, n, base, r.read_)) {
            part_ = Part::Front;
        } else if (within(bytes, n, base + r.read_, r.length_)) {
            part_ = Part::Unread;
        } else if (zo::text::overlaps(bytes, n, base, r.target_->capacity_)) {
            copy_ = static_cast<unsigned char *>(ramAlloc(n));
            if (copy_ != nullptr)
                std::memcpy(copy_, bytes, n);
            bytes_ = copy_;
            ok_ = copy_ != nullptr;
        }
        if (part_ != Part::Elsewhere)
            offset_ = static_cast<uint32_t>(bytes - base);
    }
    ~Source() { ramFree(copy_); }
    Source(const Source &) = delete;
    Source &operator=(const Source &) = delete;

    // False when a needed copy could not be made.
    bool ok() const { return ok_; }
    // The bytes' address now, after the unread part moved up by shift.
    const unsigned char *get(const ZoReplaceString &r, uint32_t shift) const {
        switch (part_) {
        case Part::Front: return r.target_->data_ + offset_;
        case Part::Unread: return r.target_->data_ + offset_ + shift;
        case Part::Elsewhere: break;
        }
        return bytes_;
    }

private:
    enum class Part { Elsewhere, Front, Unread };
    const unsigned char *bytes_;
    unsigned char *copy_ = nullptr;
    Part part_ = Part::Elsewhere;
    uint32_t offset_ = 0;
    bool ok_ = true;
};

ZoReplaceString::~ZoReplaceString() { finish(); }

void ZoReplaceString::start(ZoString *target) {
    finish();
    target_ = target;
    if (target != nullptr)
        set(target->data_, target->data_ == nullptr ? 0 : target->length_);
}

void ZoReplaceString::finish() {
    if (target_ == nullptr)
        return;
    ZoString &t = *target_;
    const uint32_t length = write_ + length_;
    if (t.data_ != nullptr && gap() > 0) {
        std::memmove(t.data_ + write_, t.data_ + read_, length_);
        // A borrowed buffer keeps its size: it is the caller's to free, not ours to resize.
        void *block = t.data_;
        if (t.owns_ && ramResize(&block, length + 1) == ZoSuccess) {
            t.data_ = static_cast<unsigned char *>(block);
            t.capacity_ = length + 1;
        }
    }
    t.length_ = length;
    target_ = nullptr;
    write_ = read_ = 0;
    set(nullptr, 0);
}

void ZoReplaceString::consume(uint32_t n) {
    read_ += n;
    data_ += n;
    length_ -= n;
}

void ZoReplaceString::keep(uint32_t n) {
    if (target_ == nullptr)
        return;
    n = n < length_ ? n : length_;
    if (gap() > 0 && n > 0)
        std::memmove(target_->data_ + write_, data_, n);
    write_ += n;
    consume(n);
}

void ZoReplaceString::skip(uint32_t n) {
    if (target_ != nullptr)
        consume(n < length_ ? n : length_);
}

// Widens the gap to at least n bytes: the unread bytes move up by n + 512, in a buffer
// grown to hold them (one byte more is kept for a terminator). Returns the shift (0 when
// the gap was wide enough), or fails with the target unchanged.
ZoStatus ZoReplaceString::makeRoom(uint32_t n, uint32_t *shift) {
    *shift = 0;
    if (gap() >= n)
        return ZoSuccess;
    ZoString &t = *target_;
    const uint64_t size = uint64_t{read_} + length_ + n + kSlack + 1;
    if (size > UINT32_MAX)
        return ZoFailure;
    if (t.data_ == nullptr || t.capacity_ < size) {
        t.length_ = read_ + length_;
        if (t.resize(static_cast<uint32_t>(size)) != ZoSuccess)
            return ZoFailure;
    }
    *shift = n + kSlack;
    if (length_ > 0)
        std::memmove(t.data_ + read_ + *shift, t.data_ + read_, length_);
    read_ += *shift;
    data_ = t.data_ + read_;
    return ZoSuccess;
}

ZoStatus ZoReplaceString::concat(const unsigned char *bytes, uint32_t n) {
    if (target_ == nullptr)
        return ZoFailure;
    if (n == 0)
        return ZoSuccess;
    Source source(*this, bytes, n);
    uint32_t shift = 0;
    if (!source.ok() || makeRoom(n, &shift) != ZoSuccess)
        return ZoFailure;
    std::memmove(target_->data_ + write_, source.get(*this, shift), n);
    write_ += n;
    return ZoSuccess;
}

ZoStatus ZoReplaceString::replace(uint32_t n, const unsigned char *bytes, uint32_t m) {
    // Written before the replaced bytes are dropped, so that the bytes may come from them.
    if (concat(bytes, m) != ZoSuccess)
        return ZoFailure;
    skip(n);
    return ZoSuccess;
}

// The quoted form is written from a copy of the bytes placed at the end of the gap, just
// before the unread bytes: with a gap of at least n + quotes + 2 bytes the writing, which
// starts at the write position, never overtakes the bytes still to be read.
ZoStatus ZoReplaceString::addQuotedBytes(const unsigned char *bytes, uint32_t n, unsigned char quote) {
    if (target_ == nullptr)
        return ZoFailure;
    const unsigned char *leadLength = mdsLeadByteLengthTable();
    uint64_t quotes = 0;
    for (uint32_t i = 0; i < n; i += leadLength[bytes[i]])
        quotes += bytes[i] == quote;
    const uint64_t needed = uint64_t{n} + quotes + 2;
    if (needed > UINT32_MAX)
        return ZoFailure;
    Source source(*this, bytes, n);
    uint32_t shift = 0;
    if (!source.ok() || makeRoom(static_cast<uint32_t>(needed), &shift) != ZoSuccess)
        return ZoFailure;
    unsigned char *const buffer = target_->data_;
    unsigned char *from = buffer + read_ - n;
    if (n > 0)
        std::memmove(from, source.get(*this, shift), n);
    unsigned char *out = buffer + write_;
    *out++ = quote;
    for (uint32_t i = 0; i < n;) {
        uint32_t step = leadLength[from[i]];
        step = step < n - i ? step : n - i;
        if (from[i] == quote)
            *out++ = quote;
        std::memmove(out, from + i, step);
        out += step;
        i += step;
    }
    *out++ = quote;
    write_ = static_cast<uint32_t>(out - buffer);
    return ZoSuccess;
}
