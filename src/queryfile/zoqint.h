// Internal: what the reading and the writing of query files share.
#pragma once

#include <zo/zoqueryf.h>

#include <cctype>
#include <cstdint>
#include <cstring>

namespace zoquery {

inline const unsigned char *u(const char *text) { return reinterpret_cast<const unsigned char *>(text); }
inline uint32_t lengthOf(const unsigned char *text) {
    return static_cast<uint32_t>(std::strlen(reinterpret_cast<const char *>(text)));
}
inline bool isBlank(unsigned char c) { return std::isspace(c) != 0; }

// Name buffers hold full paths of at most 255 bytes and a terminator.
constexpr uint32_t NameBuffer = 256;
// Contents of this many bytes or more are copied as blocks rather than as strings.
constexpr uint32_t HugeContent = 65526;

// The name of a header line `[NAME]` (the line may end in blanks and its line end).
inline bool headerName(const ZoSubString &line, const unsigned char **name, uint32_t *length) {
    const unsigned char *p = line.data();
    uint32_t n = line.length();
    while (n > 0 && isBlank(p[n - 1]))
        --n;
    if (n < 2 || p[0] != '[' || p[n - 1] != ']')
        return false;
    *name = p + 1;
    *length = n - 2;
    return true;
}

// The last character that is not white space is `;`: the line ends the statement.
inline bool endsStatement(const unsigned char *p, uint32_t n) {
    while (n > 0 && isBlank(p[n - 1]))
        --n;
    return n > 0 && p[n - 1] == ';';
}

} // namespace zoquery
