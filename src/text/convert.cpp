// Integers to and from decimal text.
#include <zo/convert.h>
#include <zo/zostring.h>

#include <cstring>
#include <type_traits>

#include "frame/err.h"
#include "platform/codepage.h"

namespace {

// "00" "01" ... "99": two digits per division keeps formatting short.
constexpr char kDigitPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                               "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                               "8081828384858687888990919293949596979899";

// Writes the digits of value ending just before `end`; returns where they start.
unsigned char *digitsBefore(unsigned char *end, uint32_t value) {
    while (value >= 100) {
        uint32_t pair = (value % 100) * 2;
        value /= 100;
        *--end = static_cast<unsigned char>(kDigitPairs[pair + 1]);
        *--end = static_cast<unsigned char>(kDigitPairs[pair]);
    }
    if (value >= 10) {
        *--end = static_cast<unsigned char>(kDigitPairs[value * 2 + 1]);
        *--end = static_cast<unsigned char>(kDigitPairs[value * 2]);
    } else {
        *--end = static_cast<unsigned char>('0' + value);
    }
    return end;
}

unsigned digitCount(uint32_t value) {
    if (value < 10000)
        return value < 100 ? (value < 10 ? 1 : 2) : (value < 1000 ? 3 : 4);
    if (value < 100000000)
        return value < 1000000 ? (value < 100000 ? 5 : 6) : (value < 10000000 ? 7 : 8);
    return value < 1000000000 ? 9 : 10;
}

unsigned short writeDigits(unsigned char *out, uint32_t value) {
    const unsigned n = digitCount(value);
    out[n] = '\0';
    digitsBefore(out + n, value);
    return static_cast<unsigned short>(n);
}

// ---- Parsing

enum class Parsed { Ok, OutOfRange, NotANumber };

bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
// White space as the C runtime's isspace sees it in the "C" locale.
bool isSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Where a text ends: at its NUL, or (counted text, which holds no NUL) at `end`.
template <bool Counted>
struct TextEnd {
    const unsigned char *end;
    bool more(const unsigned char *p) const {
        if constexpr (Counted)
            return p < end;
        else
            return *p != '\0';
    }
};

// Length of the blank at p: 1 for white space, 2 for the ideographic space 0x81 0x40 of
// the double-byte code pages (when 0x81 is a lead byte), else 0.
template <bool Counted>
unsigned blankAt(const unsigned char *p, TextEnd<Counted> text) {
    if (isSpace(*p))
        return 1;
    if (*p == 0x81 && text.more(p + 1) && p[1] == 0x40 && zo::plat::isLeadByte(0x81))
        return 2;
    return 0;
}

template <bool Counted>
const unsigned char *skipBlanks(const unsigned char *p, TextEnd<Counted> text, bool plusSigns) {
    while (text.more(p)) {
        if (unsigned n = blankAt(p, text))
            p += n;
        else if (plusSigns && *p == '+')
            ++p;
        else
            break;
    }
    return p;
}

// The core of every text-to-number form: blanks and plus signs, digits, blanks.
template <bool Counted>
Parsed parseUnsigned(const unsigned char *p, TextEnd<Counted> text, uint32_t *value) {
    if (!text.more(p) || !isDigit(*p))
        p = skipBlanks(p, text, true);
    uint32_t v = 0;
    // Nine digits cannot overflow; the check starts with the tenth.
    for (unsigned unchecked = 9; unchecked > 0 && text.more(p) && isDigit(*p); --unchecked, ++p)
        v = v * 10 + (*p - '0');
    for (; text.more(p) && isDigit(*p); ++p) {
        uint32_t digit = *p - '0';
        // 4,294,967,295 = 429,496,729 * 10 + 5
        if (v > 429496729 || (v == 429496729 && digit > 5))
            return Parsed::OutOfRange;
        v = v * 10 + digit;
    }
    if (text.more(p) && text.more(skipBlanks(p, text, false)))
        return Parsed::NotANumber;
    *value = v;
    return Parsed::Ok;
}

// Signed forms: an optional minus sign after the leading blanks, then the unsigned parse
// of the rest; the magnitude must fit the 32-bit signed range.
template <bool Counted>
Parsed parseSigned(const unsigned char *p, TextEnd<Counted> text, int32_t *value) {
    p = skipBlanks(p, text, false);
    bool negative = text.more(p) && *p == '-';
    uint32_t magnitude = 0;
    Parsed parsed = parseUnsigned(negative ? p + 1 : p, text, &magnitude);
    if (parsed != Parsed::Ok)
        return parsed;
    if (magnitude > (negative ? 0x80000000u : 0x7FFFFFFFu))
        return Parsed::OutOfRange;
    *value = negative ? static_cast<int32_t>(0u - magnitude) : static_cast<int32_t>(magnitude);
    return Parsed::Ok;
}

// Adds the failure's error; its parameter is the text (NUL-terminated, or the counted
// bytes).
template <bool Counted>
ZoStatus fail(Parsed parsed, const unsigned char *text, TextEnd<Counted> end) {
    ZoError &error = addResourceError(parsed == Parsed::OutOfRange ? ZoMessage::OutOfRange : ZoMessage::NotANumber);
    if constexpr (Counted)
        error << ZoSubString(text, static_cast<uint32_t>(end.end - text));
    else
        error << text;
    return ZoFailure;
}

// Parses the text into T within [low, high], the range checked on the 32-bit result of
// the matching signedness.
template <class T, class Wide, bool Counted>
ZoStatus parseInto(const unsigned char *text, TextEnd<Counted> end, T *out, Wide low, Wide high) {
    Wide value = 0;
    Parsed parsed;
    bool inRange;
    if constexpr (std::is_signed_v<Wide>) {
        parsed = parseSigned(text, end, &value);
        inRange = value >= low && value <= high;
    } else {
        parsed = parseUnsigned(text, end, &value);
        inRange = value <= high;
    }
    if (parsed == Parsed::Ok && !inRange)
        parsed = Parsed::OutOfRange;
    if (parsed != Parsed::Ok)
        return fail(parsed, text, end);
    *out = static_cast<T>(value);
    return ZoSuccess;
}

constexpr TextEnd<false> kNulTerminated{nullptr};

// Counted text stops at a NUL among its bytes, as a NUL-terminated copy of it would.
TextEnd<true> countedEnd(const unsigned char *bytes, unsigned short n) {
    const void *nul = std::memchr(bytes, 0, n);
    return {nul != nullptr ? static_cast<const unsigned char *>(nul) : bytes + n};
}

} // namespace

unsigned short convert(unsigned char *out, uint32_t value) { return writeDigits(out, value); }

unsigned short convert(unsigned char *out, int32_t value) {
    if (value >= 0)
        return writeDigits(out, static_cast<uint32_t>(value));
    *out = '-';
    return static_cast<unsigned short>(1 + writeDigits(out + 1, 0u - static_cast<uint32_t>(value)));
}

unsigned short convert(unsigned char *out, unsigned short width, uint32_t value, unsigned short leftAlign) {
    std::memset(out, ' ', width);
    out[width] = '\0';
    const unsigned places = width < 10 ? width : 10;
    unsigned char *field = (width > 10 && leftAlign == 0) ? out + width - 10 : out;

    unsigned char digits[10];
    unsigned char *first = digitsBefore(digits + sizeof digits, value);
    unsigned n = static_cast<unsigned>(digits + sizeof digits - first);
    if (n > places) {
        // Too wide: asterisks over all but the last place of the field.
        if (places > 0)
            std::memset(field, '*', places - 1);
        return 0;
    }
    // Leading zero places stay blank when right-aligned and take no room when left-aligned.
    std::memcpy(leftAlign == 0 ? field + places - n : field, first, n);
    return static_cast<unsigned short>(n);
}

ZoStatus convert(const unsigned char *text, uint32_t *out) {
    return parseInto<uint32_t, uint32_t>(text, kNulTerminated, out, 0u, UINT32_MAX);
}

ZoStatus convert(const unsigned char *text, int32_t *out) {
    return parseInto<int32_t, int32_t>(text, kNulTerminated, out, INT32_MIN, INT32_MAX);
}

ZoStatus convert(const unsigned char *text, uint16_t *out) {
    return parseInto<uint16_t, uint32_t>(text, kNulTerminated, out, 0u, 0xFFFFu);
}

ZoStatus convert(const unsigned char *text, int16_t *out) {
    return parseInto<int16_t, int32_t>(text, kNulTerminated, out, -32768, 32767);
}

ZoStatus convert(const unsigned char *text, unsigned char *out) {
    return parseInto<unsigned char, uint32_t>(text, kNulTerminated, out, 0u, 0xFFu);
}

ZoStatus convert(const unsigned char *text, char *out) {
    return parseInto<char, int32_t>(text, kNulTerminated, out, -128, 127);
}

ZoStatus convert(const unsigned char *bytes, unsigned short n, uint16_t *out) {
    return parseInto<uint16_t, uint32_t>(bytes, countedEnd(bytes, n), out, 0u, 0xFFFFu);
}

ZoStatus convert(const unsigned char *bytes, unsigned short n, uint32_t *out) {
    return parseInto<uint32_t, uint32_t>(bytes, countedEnd(bytes, n), out, 0u, UINT32_MAX);
}
