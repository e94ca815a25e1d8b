// Text between the application (ANSI code page, UCS-2) and the driver (UTF-8).
#include "odbc/text.h"

#include <cstring>
#include <stdexcept>

#include <zo/cvwchar.h>
#include <zo/pertask.h>

#include "odbc/driver.h"

namespace zotext::odbc {
namespace {

// The library's character-set conversions work on the basic plane; the functions below
// hand them runs without surrogates or four-byte sequences.

// A conversion the library reports as failed (it allocates nothing it cannot do without).
[[noreturn]] void conversionFailed() { throw std::runtime_error("text conversion failed"); }

std::string ansiToUtf8(const unsigned char *text, size_t length) {
    if (length == 0)
        return {};
    std::string out(length * 3, '\0'); // a byte or a pair of the code page makes up to 3 bytes
    int32_t written = 0;
    const ZoConvertReturn rc = cvAnsiToUTF8(reinterpret_cast<unsigned char *>(out.data()), int32_t(out.size()), text,
                                            int32_t(length), nullptr, &written, 0);
    if (rc != ZoConvertOk)
        conversionFailed();
    out.resize(size_t(written));
    return out;
}
std::string utf8ToAnsi(const std::string &utf8) {
    if (utf8.empty())
        return {};
    std::string out(utf8.size(), '\0'); // no character grows: 1 byte stays 1, 2 or 3 become 1 or 2
    int32_t written = 0;
    const ZoConvertReturn rc =
        cvUTF8ToAnsi(reinterpret_cast<unsigned char *>(out.data()), int32_t(out.size()),
                     reinterpret_cast<const unsigned char *>(utf8.data()), int32_t(utf8.size()), nullptr, &written, 0);
    if (rc != ZoConvertOk)
        conversionFailed();
    out.resize(size_t(written));
    return out;
}
std::string bmpToUtf8(const char16_t *units, size_t count) {
    if (count == 0)
        return {};
    std::string out(count * 3, '\0');
    int32_t written = 0;
    const ZoConvertReturn rc = cvUCS2ToUTF8(reinterpret_cast<unsigned char *>(out.data()), int32_t(out.size()),
                                            reinterpret_cast<const uint16_t *>(units), int32_t(count), &written);
    if (rc != ZoConvertOk)
        conversionFailed();
    out.resize(size_t(written));
    return out;
}
std::u16string utf8ToBmp(const char *text, size_t length) {
    if (length == 0)
        return {};
    std::u16string out(length, u'\0'); // never more units than bytes
    int32_t written = 0;
    const ZoConvertReturn rc = cvUTF8ToUCS2(reinterpret_cast<uint16_t *>(out.data()), int32_t(out.size()),
                                            reinterpret_cast<const unsigned char *>(text), int32_t(length), &written);
    if (rc != ZoConvertOk)
        conversionFailed();
    out.resize(size_t(written));
    return out;
}

bool isHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool isLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// The four-byte UTF-8 form of the character a surrogate pair stands for.
void appendPair(std::string *out, char16_t high, char16_t low) {
    const uint32_t c = 0x10000 + ((static_cast<uint32_t>(high) - 0xD800) << 10) + (low - 0xDC00);
    out->push_back(static_cast<char>(0xF0 | (c >> 18)));
    out->push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
}

// True when text[i..] holds a four-byte UTF-8 sequence (a character beyond the basic plane).
bool isFourByteSequence(const std::string &text, size_t i) {
    const auto b = static_cast<unsigned char>(text[i]);
    if (b < 0xF0 || b > 0xF4 || i + 4 > text.size())
        return false;
    for (size_t k = 1; k < 4; ++k)
        if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
            return false;
    return true;
}

size_t ntsLength(const SQLCHAR *text) { return std::strlen(reinterpret_cast<const char *>(text)); }
size_t ntsLength(const SQLWCHAR *text) {
    size_t n = 0;
    while (text[n] != 0)
        ++n;
    return n;
}

} // namespace

bool checkTextArgument(const void *text, SQLINTEGER length) {
    if (text == nullptr && length != 0 && length != SQL_NTS) {
        report(OdbcError::NullPointer, "A text argument is null but its length is not 0.");
        return false;
    }
    if (length < 0 && length != SQL_NTS) {
        report(OdbcError::BufferLength, "A text argument's length is negative.");
        return false;
    }
    return true;
}

std::string fromAnsi(const SQLCHAR *text, SQLINTEGER length) {
    if (text == nullptr)
        return {};
    return ansiToUtf8(text, length == SQL_NTS ? ntsLength(text) : static_cast<size_t>(length));
}

// Runs of the basic plane go through the conversion; surrogate pairs become four-byte
// sequences here, so that characters beyond the basic plane are real UTF-8 in the files.
std::string fromWide(const SQLWCHAR *text, SQLINTEGER length) {
    if (text == nullptr)
        return {};
    const size_t n = length == SQL_NTS ? ntsLength(text) : static_cast<size_t>(length);
    const auto *units = reinterpret_cast<const char16_t *>(text);
    std::string out;
    size_t run = 0;
    for (size_t i = 0; i < n; ++i) {
        if (isHighSurrogate(units[i]) && i + 1 < n && isLowSurrogate(units[i + 1])) {
            out += bmpToUtf8(units + run, i - run);
            appendPair(&out, units[i], units[i + 1]);
            run = ++i + 1;
        }
    }
    out += bmpToUtf8(units + run, n - run);
    return out;
}

// A character beyond the basic plane has no place in a code page: it becomes one '?'.
std::string toAnsi(const std::string &utf8) {
    std::string out;
    size_t run = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (!isFourByteSequence(utf8, i))
            continue;
        out += utf8ToAnsi(utf8.substr(run, i - run));
        out.push_back('?');
        i += 3;
        run = i + 1;
    }
    return run == 0 ? utf8ToAnsi(utf8) : out + utf8ToAnsi(utf8.substr(run));
}

std::u16string toWide(const std::string &utf8) {
    std::u16string out;
    size_t run = 0;
    for (size_t i = 0; i < utf8.size(); ++i) {
        if (!isFourByteSequence(utf8, i))
            continue;
        out += utf8ToBmp(utf8.data() + run, i - run);
        const uint32_t c =
            ((static_cast<uint32_t>(utf8[i]) & 0x07) << 18) | ((static_cast<uint32_t>(utf8[i + 1]) & 0x3F) << 12) |
            ((static_cast<uint32_t>(utf8[i + 2]) & 0x3F) << 6) | (static_cast<uint32_t>(utf8[i + 3]) & 0x3F);
        if (c >= 0x10000 && c <= 0x10FFFF) {
            out.push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out.push_back(u'?');
        }
        i += 3;
        run = i + 1;
    }
    out += utf8ToBmp(utf8.data() + run, utf8.size() - run);
    return out;
}

std::string encode(const std::string &utf8, TextKind kind) {
    if (kind == TextKind::Ansi)
        return toAnsi(utf8);
    const std::u16string wide = toWide(utf8);
    return std::string(reinterpret_cast<const char *>(wide.data()), wide.size() * sizeof(char16_t));
}

size_t copyEncoded(const std::string &encoded, size_t from, TextKind kind, void *buffer, SQLLEN capacity) {
    const size_t unit = kind == TextKind::Wide ? sizeof(SQLWCHAR) : 1;
    if (buffer == nullptr || capacity < static_cast<SQLLEN>(unit))
        return 0;
    const size_t room = (static_cast<size_t>(capacity) / unit - 1) * unit; // bytes before the terminator
    const size_t left = encoded.size() - from;
    size_t n = left <= room ? left : room;
    if (n < left) {
        // Cut at a character boundary: not inside a double-byte character, not between
        // the two halves of a surrogate pair.
        if (kind == TextKind::Ansi) {
            const unsigned char *lengths = mdsLeadByteLengthTable();
            size_t end = 0;
            while (end < n && end + lengths[static_cast<unsigned char>(encoded[from + end])] <= n)
                end += lengths[static_cast<unsigned char>(encoded[from + end])];
            n = end;
        } else if (n >= unit) {
            char16_t last;
            std::memcpy(&last, encoded.data() + from + n - unit, unit);
            if (isHighSurrogate(last))
                n -= unit;
        }
    }
    std::memcpy(buffer, encoded.data() + from, n);
    std::memset(static_cast<char *>(buffer) + n, 0, unit);
    return n;
}

SQLLEN putText(const std::string &utf8, TextKind kind, void *buffer, SQLLEN capacity, bool inBytes, bool *truncated) {
    const std::string encoded = encode(utf8, kind);
    const size_t unit = kind == TextKind::Wide ? sizeof(SQLWCHAR) : 1;
    const SQLLEN bytes = inBytes ? capacity : capacity * static_cast<SQLLEN>(unit);
    const size_t written = copyEncoded(encoded, 0, kind, buffer, bytes);
    *truncated = buffer != nullptr && written < encoded.size();
    return static_cast<SQLLEN>(inBytes ? encoded.size() : encoded.size() / unit);
}

} // namespace zotext::odbc
