// Scanner operations built on token reading: word comparisons, list splitting and edits of
// the attached string.
#include <zo/zoscanne.h>

#include <zo/strfuncs.h>
#include <zo/zoarray.h>

namespace {

// Length of the word at words: up to the next blank or the end.
uint32_t wordLength(const unsigned char *words) {
    uint32_t n = 0;
    while (words[n] != 0 && words[n] != ' ')
        ++n;
    return n;
}

unsigned char foldAscii(uint16_t c) { return static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 0x20 : c); }

// A wide token holds 16-bit characters: each is compared with one byte of the word, over
// the shorter of the two lengths (only A-Z fold when case is ignored).
bool wideEquals(const ZoToken &token, const unsigned char *word, uint32_t n, bool noCase) {
    const unsigned char *units = token.data();
    const uint32_t count = token.length() < n ? token.length() : n;
    for (uint32_t i = 0; i < count; ++i) {
        const uint16_t unit = static_cast<uint16_t>(units[2 * i] | (units[2 * i + 1] << 8));
        if (unit == word[i] || (noCase && unit < 0x80 && foldAscii(unit) == foldAscii(word[i])))
            continue;
        return false;
    }
    return true;
}

bool tokenEquals(const ZoToken &token, const unsigned char *word, uint32_t n, bool noCase) {
    if (token.isWide())
        return wideEquals(token, word, n, noCase);
    return (noCase ? strCompareCi(token.data(), token.length(), word, n)
                   : strCompare(token.data(), token.length(), word, n)) == 0;
}

// How each kind of list item is made from the item's bytes.
ZoObject *makeItem(ZoSubString *, const ZoToken &item) {
    auto *view = new ZoSubString;
    if (view != nullptr)
        view->set(item.data(), item.length());
    return view;
}

ZoObject *makeItem(ZoString *, const ZoToken &item) {
    auto *copy = new ZoString;
    static const unsigned char empty[1] = {0};
    if (copy != nullptr && copy->initialize(item.data() != nullptr ? item.data() : empty, item.length()) != ZoSuccess) {
        delete copy;
        return nullptr;
    }
    return copy;
}

} // namespace

unsigned ZoScanner::matches(ZoToken &token, const unsigned char *words, Compare how) {
    const bool noCase = how == CompareNoCase;
    uint32_t n = wordLength(words);
    if (!tokenEquals(token, words, n, noCase))
        return 0;
    const uint32_t entry = position_;
    for (words += n; *words == ' '; words += n) {
        ++words;
        n = wordLength(words);
        ZoToken next;
        getToken(next, searchNormal);
        if (!tokenEquals(next, words, n, noCase)) {
            setPosition(entry);
            return 0;
        }
    }
    token.setLength(token.length() + (position_ - entry));
    return 1;
}

unsigned ZoScanner::matchesAny(ZoToken &token, const unsigned char *list, Compare how) {
    for (; *list != 0; list += BUTSTLEN(reinterpret_cast<const char *>(list)) + 1)
        if (matches(token, list, how))
            return 1;
    return 0;
}

unsigned ZoScanner::findWithin(const unsigned char *words, Compare how) {
    for (;;) {
        ZoToken token;
        getToken(token, searchNormal);
        if (token.kind() == tokenEnd)
            return 0;
        if (matches(token, words, how))
            return 1;
    }
}

unsigned ZoScanner::isEqual(ZoToken &token, const unsigned char *words) { return matches(token, words, CompareExact); }
unsigned ZoScanner::isEqualCi(ZoToken &token, const unsigned char *words) {
    return matches(token, words, CompareNoCase);
}
unsigned ZoScanner::isInSet(ZoToken &token, const unsigned char *list) { return matchesAny(token, list, CompareExact); }
unsigned ZoScanner::isInSetCi(ZoToken &token, const unsigned char *list) {
    return matchesAny(token, list, CompareNoCase);
}
unsigned ZoScanner::isTokenWithin(const unsigned char *words) { return findWithin(words, CompareExact); }
unsigned ZoScanner::isTokenWithinCi(const unsigned char *words) { return findWithin(words, CompareNoCase); }

// Splits at the delimiter: one item per getDelimitedToken, then one token (the delimiter),
// until the end. The item read last is always added, empty or not.
template <class Item>
ZoStatus ZoScanner::splitList(ZoArray *list, unsigned char delimiter) {
    list->deleteContents();
    list->setDeleteContents(true);
    for (;;) {
        ZoToken item;
        getDelimitedToken(item, delimiter);
        ZoObject *made = makeItem(static_cast<Item *>(nullptr), item);
        if (made == nullptr)
            return ZoFailure;
        if (list->append(made) != ZoSuccess) {
            delete made;
            return ZoFailure;
        }
        ZoToken separator;
        getToken(separator, searchNormal);
        if (separator.kind() == tokenEnd)
            return ZoSuccess;
    }
}

ZoStatus ZoScanner::parseList(ZoArray *list, unsigned char delimiter) {
    return splitList<ZoSubString>(list, delimiter);
}

ZoStatus ZoScanner::parseListZoString(ZoArray *list, unsigned char delimiter) {
    return splitList<ZoString>(list, delimiter);
}

ZoStatus ZoScanner::changeToken(const ZoToken *token, const ZoSubString &text) {
    if (attached_ == nullptr)
        return ZoFailure;
    const uint32_t oldLength = token->length();
    const uint32_t newLength = text.data() != nullptr ? text.length() : 0;
    // A null source with length 0 deletes; changeBytes would take a non-null one as text.
    const unsigned char *source = newLength != 0 ? text.data() : nullptr;
    if (attached_->changeBytes(token->startOffset(), oldLength, source, newLength) != ZoSuccess)
        return ZoFailure;
    text_ = attached_->data();
    length_ = attached_->length();
    position_ += newLength - oldLength;
    return ZoSuccess;
}

ZoStatus ZoScanner::insertToken(ZoToken *token, const ZoSubString &text) {
    if (text.length() == 0 || text.data() == nullptr)
        return ZoSuccess;
    if (attached_ == nullptr)
        return ZoFailure;
    const uint32_t added = text.length();
    if (attached_->changeBytes(token->startOffset(), 0, text.data(), added) != ZoSuccess)
        return ZoFailure;
    text_ = attached_->data();
    length_ = attached_->length();
    position_ += added;
    token->setStartOffset(token->startOffset() + added);
    token->set(text_ + token->startOffset(), token->length());
    return ZoSuccess;
}
