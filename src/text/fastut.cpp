// Character-class tests over counted texts.
#include <zo/strfuncs.h>

#include <cstring>

#include "text/textstep.h"

namespace {

// Membership by first byte: the bytes of set and of the selected classes.
struct ByteClass {
    ByteClass(const unsigned char *set, unsigned short classes) {
        std::memset(member, 0, sizeof member);
        for (const unsigned char *p = set; p != nullptr && *p != 0; ++p)
            member[*p] = true;
        addRange(classes & StrLowerLetters, 'a', 'z');
        addRange(classes & StrUpperLetters, 'A', 'Z');
        addRange(classes & StrDigits, '0', '9');
    }
    void addRange(bool selected, unsigned char first, unsigned char last) {
        for (unsigned b = first; selected && b <= last; ++b)
            member[b] = true;
    }
    bool member[256];
};

// 1 when every character's first byte is (wanted true) or is not (wanted false) a member.
unsigned short allCharacters(const unsigned char *text, uint32_t length, const ByteClass &byteClass, bool wanted) {
    const unsigned char *lengths = mdsCharLengthTable();
    const unsigned char *end = text + length;
    for (const unsigned char *p = text; p < end; p += zo::text::charLength(p, end, lengths))
        if (byteClass.member[*p] != wanted)
            return 0;
    return 1;
}

} // namespace

unsigned short strContains(const unsigned char *text, uint32_t length, const unsigned char *set,
                           unsigned short classes) {
    return allCharacters(text, length, ByteClass(set, classes), true);
}

unsigned short strDoesNotContain(const unsigned char *text, uint32_t length, const unsigned char *set,
                                 unsigned short classes) {
    return allCharacters(text, length, ByteClass(set, classes), false);
}
