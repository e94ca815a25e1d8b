// Yes/no settings and keyboard accelerators of dialog and menu texts.
#include <zo/messages.h>
#include <zo/pertask.h>
#include <zo/strfuncs.h>
#include <zo/zodialog.h>

#include <cstring>

#include "frame/err.h"
#include "platform/codepage.h"

namespace {

constexpr size_t kWorkingSize = 256;
// The formatted text keeps room for the marker and a terminator in the working buffer.
constexpr size_t kWorkingTextMax = kWorkingSize - 2;

bool isBlank(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// The ideographic space of the double-byte code pages whose lead bytes include 0x81.
bool isIdeographicSpace(const unsigned char *p, unsigned length) { return length == 2 && p[0] == 0x81 && p[1] == 0x40; }

bool isTaken(const unsigned char *used, unsigned char c) { return (used[c >> 3] & (1u << (c & 7))) != 0; }

void take(unsigned char *used, unsigned char c) {
    used[c >> 3] = static_cast<unsigned char>(used[c >> 3] | (1u << (c & 7)));
}

// Appends n bytes to the working text, as far as they fit.
void append(unsigned char *out, size_t *length, const unsigned char *bytes, size_t n) {
    size_t room = kWorkingTextMax - *length;
    n = n < room ? n : room;
    std::memcpy(out + *length, bytes, n);
    *length += n;
}

// The working text: the format with its %s replaced by the argument and %% by %, cut to
// what the working buffer holds. Nothing else in the format is interpreted, so a format
// from a dialog template cannot make the formatting read what was never passed.
void formatWorkingText(unsigned char *out, const unsigned char *format, const unsigned char *argument) {
    size_t length = 0;
    bool substituted = argument == nullptr;
    for (const unsigned char *p = format; *p != '\0' && length < kWorkingTextMax; ++p) {
        if (*p == '%' && p[1] == '%') {
            append(out, &length, p, 1);
            ++p;
        } else if (*p == '%' && p[1] == 's' && !substituted) {
            append(out, &length, argument, std::strlen(reinterpret_cast<const char *>(argument)));
            substituted = true;
            ++p;
        } else {
            append(out, &length, p, 1);
        }
    }
    // Never end inside a double-byte character.
    const unsigned char *step = mdsCharLengthTable();
    size_t whole = 0;
    while (whole < length && whole + step[out[whole]] <= length)
        whole += step[out[whole]];
    out[whole] = '\0';
}

bool holdsMarker(const unsigned char *text, const unsigned char *marker) {
    for (const unsigned char *m = marker; *m != '\0'; ++m)
        if (strFind(text, *m) != nullptr)
            return true;
    return false;
}

// Offset of the first character that can take the accelerator; 0 when all are taken.
size_t freeCharacter(const unsigned char *text, const unsigned char *used) {
    const unsigned char *step = mdsCharLengthTable();
    for (const unsigned char *p = text; *p != '\0';) {
        unsigned length = step[*p];
        if (!isBlank(*p) && !isIdeographicSpace(p, length) && !isTaken(used, zo::plat::lowerByte(*p)))
            return static_cast<size_t>(p - text);
        while (length-- > 0 && *p != '\0')
            ++p;
    }
    return 0;
}

} // namespace

unsigned short isTrueStr(const unsigned char *text) {
    if (text == nullptr)
        return 0;
    if (text[0] == '1' || text[0] == 't' || text[0] == 'T')
        return 1;
    return (text[0] == 'o' || text[0] == 'O') && (text[1] == 'n' || text[1] == 'N') ? 1 : 0;
}

void getMenuAccelerator(unsigned char *out) {
    mdsLoadResourceString(static_cast<unsigned>(ZoMessage::AcceleratorMarker), out, static_cast<int>(kWorkingSize));
}

void setAcceleratorKey(unsigned char *used, const unsigned char *text) {
    unsigned char marker[kWorkingSize];
    getMenuAccelerator(marker);
    for (const unsigned char *m = marker; *m != '\0'; ++m) {
        const unsigned char *found = strFind(text, *m);
        if (found == nullptr)
            continue;
        take(used, zo::plat::lowerByte(found[1]));
        return;
    }
}

void makeDialogText(unsigned char *used, unsigned char *text, const unsigned char *argument) {
    unsigned char working[kWorkingSize];
    formatWorkingText(working, text, argument);
    unsigned char marker[kWorkingSize];
    getMenuAccelerator(marker);
    size_t length = std::strlen(reinterpret_cast<const char *>(working));
    if (marker[0] == '\0' || holdsMarker(working, marker)) {
        std::memcpy(text, working, length + 1);
    } else {
        size_t at = freeCharacter(working, used);
        std::memcpy(text, working, at);
        text[at] = marker[0];
        std::memcpy(text + at + 1, working + at, length - at + 1);
    }
    setAcceleratorKey(used, text);
}
