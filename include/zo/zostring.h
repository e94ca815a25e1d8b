// Byte-range views (ZoSubString) and owned growable byte strings (ZoString).
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zoobject.h>

class ZoArray;
class ZoString;

// A run of bytes that the view does not own: a pointer and a length. The data may be null
// for an empty view. When the wide flag is set the data are 16-bit characters and the
// length counts them; the library's own operations never set that flag, its user does.
class ZO_API ZoSubString : public ZoObject {
public:
    enum : uint32_t { Wide = 0x1 };

    ZoSubString() = default;
    ZoSubString(const unsigned char *bytes, uint32_t n) { set(bytes, n); }
    ~ZoSubString() override;

    // Byte text: case-blind order, the shorter text first on a tie (-1, 0, 1). Wide text:
    // case-blind (A-Z only) over the common length, with no tie-break. `other` must be a
    // ZoSubString; a null one orders first.
    short compare(const ZoObject *other) const override;

    unsigned char *data() const { return data_; }
    uint32_t length() const { return length_; }
    uint32_t secondLength() const { return length2_; }
    bool isWide() const { return (flags_ & Wide) != 0; }
    void setWide(bool wide) { flags_ = wide ? (flags_ | Wide) : (flags_ & ~Wide); }
    // Views n characters (bytes, or 16-bit units for wide text) at bytes.
    void set(const unsigned char *bytes, uint32_t n) {
        data_ = const_cast<unsigned char *>(bytes);
        length_ = n;
        length2_ = isWide() ? 2 * n : n;
    }
    // Moves the end of the view; the second length is left alone, as appends leave it.
    void setLength(uint32_t n) { length_ = n; }

    // Offset of the first character at or after start whose first byte is c; length() when
    // there is none. Steps by the calling thread's character rule.
    uint32_t findChar(uint16_t c, uint32_t start) const;
    // Offset of the first occurrence of the NUL-terminated text that starts on a character
    // boundary at or after start; length() when none (an empty text never occurs).
    uint32_t findSubString(const unsigned char *text, uint32_t start) const;
    // Sum of the first five bytes upper-cased (up to an embedded 0 byte, as the platform's
    // case mapping of a terminated text stops there): texts that differ only in case or
    // after their fifth byte hash alike.
    uint32_t hash() const;
    // Writes the unquoted form of this quoted text (its first byte is the quote) to out,
    // which must hold length() + 1 bytes; returns out.
    unsigned char *getCopyUnquoted(unsigned char *out) const;
    // Writes the text quoted with apostrophes to out, which must hold 2 * length() + 3
    // bytes; returns out. The quote argument is not used: the apostrophe always is.
    unsigned char *getCopyQuoted(unsigned char *out, uint16_t quote) const;
    // Number of characters whose first byte is c, up to length() or a 0 byte.
    uint32_t countChar(uint16_t c) const;
    // Index of the first value equal to this text (wide text: equal over the shorter of
    // the two), or count when none. The Ci form ignores case.
    uint16_t indexInSet(const unsigned char **values, uint16_t count) const;
    uint16_t indexInSetCi(const unsigned char **values, uint16_t count) const;
    // Drops trailing white-space bytes.
    void rightBlankTrim();
    // Appends every non-empty line (lines end at CR LF, the last one may not) as a new
    // ZoString to lines. Fails when a line cannot be made or added; the lines added so far
    // stay in the array.
    ZoStatus getLines(ZoArray *lines) const;
    // This view is a quoted text whose first byte is the quote: appends its unquoted
    // contents, up to the closing quote, to out.
    ZoStatus copyQuotedStr(ZoString *out) const;

protected:
    uint32_t length_ = 0;
    uint32_t length2_ = 0;
    unsigned char *data_ = nullptr;
    uint32_t flags_ = 0;
};

// A byte string that owns its growable buffer (or borrows a caller's buffer after
// initializeWithBuffer, which it then never frees or grows). Growth is to the exact size
// needed. length() < capacity() holds for every string the library has grown, so the
// operations that promise a terminating NUL can always write it.
class ZO_API ZoString : public ZoSubString {
public:
    ZoString() = default;
    ~ZoString() override;
    ZoString(const ZoString &) = delete;
    ZoString &operator=(const ZoString &) = delete;

    uint32_t capacity() const { return capacity_; }
    bool ownsBuffer() const { return owns_ != 0; }

    // Copies the text into a new NUL-terminated buffer of n + 1 bytes. On failure the
    // string is left empty with no buffer. A buffer the string owned before is freed.
    ZoStatus initialize(const unsigned char *text);
    ZoStatus initialize(const char *text) { return initialize(reinterpret_cast<const unsigned char *>(text)); }
    ZoStatus initialize(const unsigned char *bytes, uint32_t n);
    // Wide text: n 16-bit characters in a buffer of 2n + 2 zeroed bytes; capacity n + 1.
    ZoStatus initialize(const uint16_t *wideText);
    ZoStatus initialize(const uint16_t *wide, uint32_t n);
    // Empty, with room for n characters (bytes, or 16-bit units when wide is nonzero).
    ZoStatus initialize(uint32_t n, int wide);
    // Borrows the caller's buffer: it is used in place and never grown or freed.
    void initializeWithBuffer(unsigned char *buffer, uint32_t capacity, uint32_t length);
    // Frees an owned buffer and leaves an empty string without a buffer.
    void unInitialize();

    // Appends and keep a terminating NUL after the text.
    ZoStatus concat(unsigned char c);
    ZoStatus concat(char c) { return concat(static_cast<unsigned char>(c)); }
    ZoStatus concat(const unsigned char *text);
    ZoStatus concat(const char *text) { return concat(reinterpret_cast<const unsigned char *>(text)); }
    ZoStatus concat(const unsigned char *bytes, uint32_t n);
    // Decimal forms: the digits without leading zeros, a minus sign for a negative value.
    ZoStatus concat(uint32_t value);
    ZoStatus concat(int32_t value);

    // Replaces oldLen bytes at pos by newLen bytes of src (strlen(src) when newLen is 0 and
    // src is not null; a null src with newLen > 0 leaves the opened bytes as they are).
    // Fails, changing nothing, when the range lies outside the text or the string cannot
    // grow. src may point into this string's own buffer.
    ZoStatus changeBytes(uint32_t pos, uint32_t oldLen, const unsigned char *src, uint32_t newLen);
    // Replaces every occurrence of the pattern (found as NUL-terminated text; patternLen
    // bytes are replaced) left to right, resuming after each inserted text. All or nothing:
    // on failure the string is unchanged.
    ZoStatus replaceSubString(const unsigned char *pattern, uint32_t patternLen, const unsigned char *with,
                              uint32_t withLen);
    // NUL-terminated forms; a null with removes the occurrences.
    ZoStatus replaceSubString(const unsigned char *pattern, const unsigned char *with);
    // Replaces the bytes that part views inside this string.
    ZoStatus replaceSubString(const ZoSubString *part, const unsigned char *with, uint32_t withLen);

    // Replaces the contents by their quoted form: the quote, the text with each quote byte
    // doubled (double-byte characters copied whole), the quote, a NUL.
    ZoStatus addQuotes(uint16_t quote);
    // Replaces the contents by their unquoted form; the first byte is taken as the quote.
    void removeQuotes();
    // Appends the quoted form of part (which may view this string's own text).
    ZoStatus addQuotedBytes(const ZoSubString &part, uint16_t quote);

    // Makes the text end with at least count CR LF pairs; surplus pairs stay.
    ZoStatus forceEol(int count);
    // Breaks lines longer than width at the last blank outside quoted sections (quote
    // tracking is on when q1 is not 0; any of q1, q2, q3 opens a section, the same byte
    // closes it); the blank is replaced by CR LF. On failure the string is unchanged.
    ZoStatus insertLineBreaks(uint32_t width, unsigned char q1, unsigned char q2, unsigned char q3);
    // Turns each run of CR LF pairs outside quoted sections into one blank, and drops the
    // pairs at the end. Works in place and never fails.
    ZoStatus removeLineBreaks(unsigned char q1, unsigned char q2, unsigned char q3);

private:
    friend class ZoSubString;
    friend class ZoErrorList;
    friend class ZoReplaceString;
    friend class ZoTmpFile;

    // Grows (or first allocates) the owned buffer to exactly n bytes. Fails on a borrowed
    // buffer and when memory is exhausted; the old buffer is then kept.
    ZoStatus resize(uint32_t n);
    // Makes sure the buffer exists and holds at least n bytes (n above 4 GiB fails).
    ZoStatus ensure(uint64_t n);
    // The same for an edit that reads bytes which may lie in this string's own buffer:
    // when the buffer moves, bytes is moved along with it.
    ZoStatus ensure(uint64_t n, const unsigned char *&bytes, uint32_t count);
    // Appends bytes known to fit.
    void append(const unsigned char *bytes, uint32_t n);
    // Appends the decimal digits of a number.
    ZoStatus concatDecimal(const unsigned char *digits, uint32_t n);
    // Takes result's contents as this string's own (its buffer when this string owns its
    // buffer, else a copy into the borrowed buffer when it fits).
    ZoStatus adoptContents(ZoString &result);

    uint32_t capacity_ = 0;
    uint32_t owns_ = 1;
};
