// Taking one line at a time from text in memory.
#include <zo/bosfile.h>
#include <zo/pertask.h>

#include <cstring>

namespace {

constexpr unsigned char kEndOfFile = 0x1A;

// Bytes the line reader must look at one by one: the terminator, the end-of-file mark,
// the newline and the two quotes.
constexpr bool kSpecial[256] = {
    true,  false, false, false, false, false, false, false, false, false, true,  // 0x00-0x0A
    false, false, false, false, false, false, false, false, false, false, false, // 0x0B-0x15
    false, false, false, false, true,  false, false, false, false, false, false, // 0x16-0x20
    false, true,  false, false, false, false, true,                              // 0x21-0x27
};

// Quote state of a line: an outer quote, and inside it an inner quote of the other kind.
struct Quotes {
    unsigned char outer = 0;
    unsigned char inner = 0;

    bool open() const { return outer != 0; }
    void see(unsigned char c) {
        bool quote = c == '"' || c == '\'';
        if (inner != 0) {
            if (c == inner)
                inner = 0;
        } else if (outer != 0) {
            if (c == outer)
                outer = 0;
            else if (quote)
                inner = c;
        } else if (quote) {
            outer = c;
        }
    }
};

} // namespace

void bosgetbl(const unsigned char *text, unsigned short *pos, unsigned char *line, unsigned short size, short *result) {
    const unsigned char *start = text + *pos;
    if (*start == '\0' || *start == kEndOfFile) {
        *result = -1;
        return;
    }
    const unsigned char *length = mdsLeadByteLengthTable();
    const bool comment = *start == ';';
    // The length is reported in 16 signed bits.
    const unsigned limit = size < 0x7FFF ? size : 0x7FFF;
    Quotes quotes;
    unsigned n = 0;
    const unsigned char *p = start;
    auto tooLong = [&] {
        line[n] = '\0';
        *result = -2;
    };
    for (;;) {
        if (!comment) {
            // A run of single-byte characters that change no state is copied at once.
            const unsigned char *run = p;
            while (!kSpecial[*run] && length[*run] == 1)
                ++run;
            std::size_t count = static_cast<std::size_t>(run - p);
            if (count > limit - n) {
                std::memcpy(line + n, p, limit - n);
                n = limit;
                return tooLong();
            }
            std::memcpy(line + n, p, count);
            n += static_cast<unsigned>(count);
            p = run;
        }
        unsigned char c = *p;
        if (c == '\0' || c == kEndOfFile)
            break;
        if (length[c] == 2 && p[1] != '\0') {
            if (!comment) {
                if (n + 2 > limit)
                    return tooLong();
                line[n++] = p[0];
                line[n++] = p[1];
            }
            p += 2;
            continue;
        }
        if (c == '\n' && !quotes.open()) {
            if (n > 0 && line[n - 1] == '\r' && p[-1] == '\r')
                --n;
            ++p;
            break;
        }
        if (!comment)
            quotes.see(c);
        if (!comment || p == start) {
            if (n + 1 > limit)
                return tooLong();
            line[n++] = c;
        }
        ++p;
    }
    // The position is 16 bits: a line ending beyond it cannot be taken.
    std::ptrdiff_t next = p - text;
    if (next > 0xFFFF)
        return tooLong();
    line[n] = '\0';
    *pos = static_cast<unsigned short>(next);
    *result = static_cast<short>(n);
}
