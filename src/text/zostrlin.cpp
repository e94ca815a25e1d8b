// ZoString line-end operations: forcing trailing CR LF pairs, breaking long lines at
// blanks and joining lines.
#include <zo/zostring.h>
#include <zo/pertask.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr unsigned char kCrLf[] = {'\r', '\n'};

// Quoted sections for the line operations: tracking is on when q1 is not 0; outside a
// section any of the (nonzero) quote bytes opens one, inside only the same byte closes it.
class QuoteTracker {
public:
    QuoteTracker(unsigned char q1, unsigned char q2, unsigned char q3) : q1_(q1), q2_(q2), q3_(q3) {}
    bool inside() const { return open_ != 0; }
    // Takes the first byte of the next character.
    void feed(unsigned char b) {
        if (q1_ == 0 || b == 0)
            return;
        if (open_ != 0) {
            if (b == open_)
                open_ = 0;
        } else if (b == q1_ || b == q2_ || b == q3_) {
            open_ = b;
        }
    }

private:
    unsigned char q1_, q2_, q3_;
    unsigned char open_ = 0;
};

// Walks the text and hands each output line to emit(bytes, n, broken): broken is true
// for a line ended by a break (its blank dropped, CR LF to follow), false for the last.
// Columns count bytes; a line breaks at its last blank outside quoted sections once it
// runs past width, never inside a character.
template <class Emit>
void layoutLines(const unsigned char *text, uint32_t length, uint32_t width, QuoteTracker quotes, Emit &&emit) {
    const unsigned char *charLength = mdsCharLengthTable();
    uint32_t lineStart = 0, candidate = 0, column = 0;
    for (uint32_t pos = 0; pos < length;) {
        unsigned char b = text[pos];
        quotes.feed(b);
        if (b == ' ' && !quotes.inside())
            candidate = pos;
        uint32_t n = std::min<uint32_t>(charLength[b], length - pos);
        pos += n;
        column += n;
        if (column > width && candidate > lineStart) {
            emit(text + lineStart, candidate - lineStart, true);
            lineStart = candidate + 1;
            column = pos - lineStart;
        }
    }
    emit(text + lineStart, length - lineStart, false);
}

} // namespace

ZoStatus ZoString::adoptContents(ZoString &result) {
    if (owns_) {
        ramFree(data_);
        data_ = result.data_;
        capacity_ = result.capacity_;
        length_ = result.length_;
        result.data_ = nullptr;
        result.length_ = result.capacity_ = 0;
        return ZoSuccess;
    }
    if (ensure(uint64_t{result.length_} + 1) != ZoSuccess)
        return ZoFailure;
    std::memcpy(data_, result.data_, result.length_);
    length_ = result.length_;
    data_[length_] = 0;
    return ZoSuccess;
}

ZoStatus ZoString::forceEol(int count) {
    int64_t pairs = 0;
    for (uint32_t end = length_; pairs < count && end >= 2 && data_[end - 2] == '\r' && data_[end - 1] == '\n';
         end -= 2)
        ++pairs;
    if (pairs >= count)
        return ZoSuccess;
    uint64_t missing = static_cast<uint64_t>(count - pairs);
    if (ensure(length_ + 2 * missing + 1) != ZoSuccess)
        return ZoFailure;
    for (; missing > 0; --missing)
        append(kCrLf, 2);
    return ZoSuccess;
}

ZoStatus ZoString::insertLineBreaks(uint32_t width, unsigned char q1, unsigned char q2, unsigned char q3) {
    if (width >= length_)
        return ZoSuccess;
    QuoteTracker quotes(q1, q2, q3);
    // Measure first, so that the result is made in one allocation.
    uint64_t total = 0;
    layoutLines(data_, length_, width, quotes,
                [&](const unsigned char *, uint32_t n, bool broken) { total += n + (broken ? 2 : 0); });
    if (total == length_)
        return ZoSuccess; // no line could be broken
    ZoString result;
    if (total >= UINT32_MAX || result.resize(static_cast<uint32_t>(total + 1)) != ZoSuccess)
        return ZoFailure;
    layoutLines(data_, length_, width, quotes, [&](const unsigned char *bytes, uint32_t n, bool broken) {
        result.append(bytes, n);
        if (broken)
            result.append(kCrLf, 2);
    });
    return adoptContents(result);
}

// The joined text is never longer than the original, so it is written in place over the
// bytes already read.
ZoStatus ZoString::removeLineBreaks(unsigned char q1, unsigned char q2, unsigned char q3) {
    QuoteTracker quotes(q1, q2, q3);
    const unsigned char *charLength = mdsCharLengthTable();
    auto pairAt = [&](uint32_t pos) { return pos + 1 < length_ && data_[pos] == '\r' && data_[pos + 1] == '\n'; };
    uint32_t read = 0, write = 0;
    bool cut = false;
    while (read < length_) {
        if (!quotes.inside() && pairAt(read)) {
            read += 2;
            cut = true;
            if (read < length_ && !pairAt(read))
                data_[write++] = ' ';
            continue;
        }
        unsigned char b = data_[read];
        quotes.feed(b);
        uint32_t n = std::min<uint32_t>(charLength[b], length_ - read);
        std::memmove(data_ + write, data_ + read, n);
        read += n;
        write += n;
    }
    if (cut) {
        length_ = write;
        data_[length_] = 0;
    }
    return ZoSuccess;
}
