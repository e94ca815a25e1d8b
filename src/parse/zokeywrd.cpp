// Packed record blocks, keyword lists and the punctuation types of the lexer.
#include <zo/zolexer.h>

#include <cstring>

#include <zo/ramalloc.h>
#include <zo/strfuncs.h>

#include "platform/cptables.h"

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

// A hash of a word that every word equal to it ignoring case shares: single-byte
// characters count by their upper case, double-byte characters (which compare exactly) by
// their bytes, stepped by the code page's lead bytes as the case-blind comparison steps.
uint32_t foldedHash(const unsigned char *word, const zo::plat::CodePageTables &tables) {
    uint32_t hash = 2166136261u;
    for (const unsigned char *p = word; *p != 0;) {
        if (tables.lengths[*p] == 2 && p[1] != 0) {
            hash = (hash ^ p[0]) * 16777619u;
            hash = (hash ^ p[1]) * 16777619u;
            p += 2;
        } else {
            hash = (hash ^ tables.upper[*p]) * 16777619u;
            ++p;
        }
    }
    return hash;
}

// Words equal ignoring case fold alike unless a single byte upper-cases to a lead byte,
// which would make the comparison and the hash step differently: such a code page is
// looked up in order.
bool foldsAlike(const zo::plat::CodePageTables &tables) {
    for (unsigned b = 0; b < 256; ++b)
        if (tables.lengths[b] == 1 && tables.lengths[tables.upper[b]] != 1)
            return false;
    return true;
}

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
    buildIndex();
}

ZoKeywordList::~ZoKeywordList() {
    ramFree(index_);
    ramFree(keywords_);
}

// An open-addressing table of at least twice as many slots as keywords. Keywords go in in
// block order, so among the keywords a word may equal (which share its hash, hence its
// probe sequence) the earlier one is always met first. Without memory there is no index.
void ZoKeywordList::buildIndex() {
    const zo::plat::CodePageTables &tables = zo::plat::codePageTables();
    if (!foldsAlike(tables))
        return;
    uint32_t count = 0;
    const unsigned char *cursor = keywords_;
    const unsigned char *text = nullptr;
    uint16_t value = 0;
    while (zoNextPackedElement(&cursor, &text, &value))
        ++count;
    uint32_t slots = 4;
    while (slots < 2 * count)
        slots *= 2;
    index_ = static_cast<Slot *>(ramAlloc(slots * sizeof(Slot)));
    if (index_ == nullptr)
        return;
    for (uint32_t i = 0; i < slots; ++i)
        index_[i].text = Empty;
    indexMask_ = slots - 1;
    indexCodePage_ = tables.ansi;
    for (cursor = keywords_; zoNextPackedElement(&cursor, &text, &value);) {
        const uint32_t hash = foldedHash(text, tables);
        uint32_t at = hash & indexMask_;
        while (index_[at].text != Empty)
            at = (at + 1) & indexMask_;
        index_[at] = Slot{hash, static_cast<uint16_t>(text - keywords_), value};
    }
}

bool ZoKeywordList::matches(const unsigned char *keyword, const unsigned char *word) const {
    return caseSensitive_ ? BUTSTCMP(asText(keyword), asText(word)) == 0 : strEqualCi(keyword, word) != 0;
}

unsigned ZoKeywordList::findInOrder(const unsigned char *word, uint16_t *type) const {
    const unsigned char *cursor = keywords_;
    const unsigned char *text = nullptr;
    uint16_t value = 0;
    while (zoNextPackedElement(&cursor, &text, &value)) {
        if (matches(text, word)) {
            *type = value;
            return 1;
        }
    }
    return 0;
}

unsigned ZoKeywordList::findKeyword(const unsigned char *word, uint16_t *type) const {
    if (keywords_ == nullptr)
        return 0;
    const zo::plat::CodePageTables &tables = zo::plat::codePageTables();
    if (index_ == nullptr || tables.ansi != indexCodePage_)
        return findInOrder(word, type);
    const uint32_t hash = foldedHash(word, tables);
    for (uint32_t at = hash & indexMask_; index_[at].text != Empty; at = (at + 1) & indexMask_) {
        if (index_[at].hash == hash && matches(keywords_ + index_[at].text, word)) {
            *type = index_[at].value;
            return 1;
        }
    }
    return 0;
}
