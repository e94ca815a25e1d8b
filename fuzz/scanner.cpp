// Scanner over arbitrary bytes: every search type and switch, in every character mode.
// Checks that tokens lie inside the text, follow one another, and end; and that the direct
// path for common tokens agrees with the full rules (forced by an extra word character that
// does not occur in the text).
#include <zo/pertask.h>
#include <zo/zoarray.h>
#include <zo/zoscanne.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/codepage.h"

namespace {

struct Seen {
    int32_t kind;
    uint32_t start;
    uint32_t length;
    bool operator==(const Seen &o) const { return kind == o.kind && start == o.start && length == o.length; }
};

std::vector<Seen> scan(ZoScanner &scanner, const unsigned char *text, uint32_t size, SearchType type) {
    std::vector<Seen> out;
    uint32_t last = 0;
    for (uint32_t guard = 0; guard <= size + 1; ++guard) {
        ZoToken token;
        scanner.getToken(token, type);
        if (token.startOffset() + token.length() > size || token.startOffset() < last ||
            token.data() != text + token.startOffset())
            std::abort();
        out.push_back({token.kind(), token.startOffset(), token.length()});
        if (token.kind() == tokenEnd)
            return out;
        if (scanner.position() <= token.startOffset() || scanner.position() > size)
            std::abort();
        last = token.startOffset() + token.length();
    }
    std::abort(); // no progress
}

void configure(ZoScanner &scanner, uint8_t flags) {
    scanner.groupParens = flags & 1;
    scanner.groupBraces = flags & 2;
    scanner.recognizeComments = flags & 4;
    scanner.decimalNumbers = flags & 8;
    if (flags & 16) {
        scanner.openBracketChar = '[';
        scanner.closeBracketChar = ']';
    }
    if (flags & 32)
        scanner.setQuoteChars('#', 0, '\'');
    if (flags & 128) { // word characters as quote and bracket characters
        scanner.setQuoteChars('q', '"', 0);
        scanner.openBracketChar = 'x';
        scanner.closeBracketChar = 'y';
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2 || size > 4096)
        return 0;
    const uint8_t flags = data[0];
    const uint8_t mode = data[1];
    const unsigned char *text = data + 2;
    const auto n = static_cast<uint32_t>(size - 2);

    static const unsigned codePages[] = {1252, 932, 936, 1251};
    // Switching the code page rebuilds its tables: only on a change.
    static unsigned current = 1252;
    if (current != codePages[mode & 3]) {
        current = codePages[mode & 3];
        zo::plat::setCodePageForTest(current);
    }
    uint32_t utf8 = ZoCharModeUtf8;
    mdsSetPerThreadData(PerThreadCharMode, (mode & 4) ? &utf8 : nullptr);

    for (SearchType type : {searchNormal, searchPlain, searchName}) {
        ZoScanner scanner(text, n);
        configure(scanner, flags);
        if ((flags & 64) && scanner.wordBreakChars.initialize(";, ") != ZoSuccess)
            std::abort();
        std::vector<Seen> tokens = scan(scanner, text, n, type);
        if (type == searchNormal && !(flags & 64) && std::memchr(text, 1, n) == nullptr) {
            ZoScanner general(text, n);
            configure(general, flags);
            if (general.validMiddleChars.initialize("\x01") != ZoSuccess)
                std::abort();
            if (scan(general, text, n, type) != tokens)
                std::abort();
        }
    }

    ZoScanner lists(text, n);
    configure(lists, flags);
    ZoArray items;
    (void)lists.parseList(&items, ','); // the input decides; must not crash
    lists.setScanString(text, n);
    (void)lists.parseListZoString(&items, ';'); // likewise
    for (uint32_t i = 0; i < items.getCount(); ++i)
        if (items.getAt(i) == nullptr)
            std::abort();

    ZoScanner words(text, n);
    configure(words, flags);
    words.isTokenWithinCi(reinterpret_cast<const unsigned char *>("ORDER BY"));
    ZoToken token;
    words.setScanString(text, n);
    words.getToken(token, searchNormal);
    words.isInSet(token, reinterpret_cast<const unsigned char *>("a b\0c\0"));

    mdsSetPerThreadData(PerThreadCharMode, nullptr);
    return 0;
}
