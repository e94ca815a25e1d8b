// Packed record blocks, keyword lists and the punctuation types of the lexer.
#include <zo/zolexer.h>

#include <cstring>

#include <zo/ramalloc.h>
#include <zo/strfuncs.h>

namespace {

const char *asText(const unsigned char *text) { return reinterpret_cast<const char *>(text); }

// The punctuation characters in the order of their types, from lexFirstPunctuation up.
constexpr char kPunctuation[] = "~`!@#$%^&*()-_+=|\\{[}]:;\"'<,>.?/";
static_assert(sizeof kPunctuation - 1 == lexLastPunctuation - lexFirstPunctuation + 1);

struct PunctuationTypes {
    uint16_t of[256];
    constexpr PunctuationTypes() : of() {
        for (unsigned i = 0; kPunctuation[i] != 0; ++i)
            of[static_cast<unsigned char>(kPunctuation[i])] = static_cast<uint16_t>(lexFirstPunctuation + i);
    }
};
constexpr PunctuationTypes kPunctuationTypes;

} // namespace

uint16_t zoLexerCharType(unsigned char c) { return kPunctuationTypes.of[c]; }

unsigned char *zoPackResourceElements(const resourceElement *records, unsigned short count) {
    // The block's size is a 16-bit quantity: refuse a block that would not fit in it.
    uint32_t size = 1;
    for (unsigned short i = 0; i < count; ++i)
        size += BUTSTLEN(asText(records[i].text)) + 3;
    if (size > 0xFFFF)
        return nullptr;
    auto *block = static_cast<unsigned char *>(ramAlloc(size));
    if (block == nullptr)
        return nullptr;
    unsigned char *out = block;
    for (unsigned short i = 0; i < count; ++i) {
        const uint32_t n = BUTSTLEN(asText(records[i].text));
        std::memcpy(out, records[i].text, n);
        out += n;
        *out++ = 0;
        *out++ = static_cast<unsigned char>(records[i].value & 0xFF);
        *out++ = static_cast<unsigned char>(records[i].value >> 8);
    }
    *out = 0;
    return block;
}

unsigned zoNextPackedElement(const unsigned char **cursor, const unsigned char **text, uint16_t *value) {
    const unsigned char *p = *cursor;
    if (*p == 0)
        return 0;
    *text = p;
    p += BUTSTLEN(asText(p)) + 1;
    *value = static_cast<uint16_t>(p[0] | (p[1] << 8));
    *cursor = p + 2;
    return 1;
}

uint32_t zoPackedBlockSize(const void *packed) {
    const auto *start = static_cast<const unsigned char *>(packed);
    const unsigned char *cursor = start;
    const unsigned char *text = nullptr;
    uint16_t value = 0;
    while (zoNextPackedElement(&cursor, &text, &value))
        ;
    return static_cast<uint32_t>(cursor - start) + 1;
}

ZoKeywordList::ZoKeywordList(const void *packed) {
    if (packed == nullptr)
        return;
    const uint32_t size = zoPackedBlockSize(packed);
    keywords_ = static_cast<unsigned char *>(ramAlloc(size));
    if (keywords_ == nullptr) {
        ok_ = 0;
        return;
    }
    std::memcpy(keywords_, packed, size);
}

ZoKeywordList::~ZoKeywordList() { ramFree(keywords_); }

unsigned ZoKeywordList::findKeyword(const unsigned char *word, uint16_t *type) const {
    if (keywords_ == nullptr)
        return 0;
    const unsigned char *cursor = keywords_;
    const unsigned char *text = nullptr;
    uint16_t value = 0;
    while (zoNextPackedElement(&cursor, &text, &value)) {
        const bool equal = caseSensitive_ ? BUTSTCMP(asText(text), asText(word)) == 0 : strEqualCi(text, word) != 0;
        if (equal) {
            *type = value;
            return 1;
        }
    }
    return 0;
}
