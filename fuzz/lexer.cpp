// Lexer over arbitrary text: deliveries end, put-backs deliver the same token again, and a
// position saved at any point comes back to the same rest of the text.
#include <zo/pertask.h>
#include <zo/ramalloc.h>
#include <zo/zolexer.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "platform/codepage.h"

namespace {

using Typed = std::vector<std::pair<uint16_t, std::string>>;

// Delivers up to the end or the first failure (marked with type 0xFFFF); at most limit
// tokens, which must be enough to reach the end when toEnd is set.
Typed lexRest(ZoLexer &lexer, size_t limit, bool toEnd = true) {
    Typed out;
    for (size_t i = 0; i < limit; ++i) {
        uint16_t type = 0;
        const unsigned char *text = nullptr;
        if (lexer.nextToken(&type, &text) != ZoSuccess) {
            out.emplace_back(0xFFFF, "");
            return out;
        }
        out.emplace_back(type, reinterpret_cast<const char *>(text));
        if (type == lexEnd)
            return out;
    }
    if (toEnd)
        std::abort(); // the deliveries never ended
    return out;
}

void configure(ZoLexer &lexer, uint8_t mode) {
    if (mode & 8)
        lexer.setQuoteChars(0, 0, 0);
    if (mode & 16)
        if (lexer.setExtraChars(reinterpret_cast<const unsigned char *>("@"),
                                reinterpret_cast<const unsigned char *>("-"), nullptr) != ZoSuccess)
            std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2 || size > 2048)
        return 0;
    const uint8_t mode = data[0];
    const uint8_t cut = data[1];
    std::string text(reinterpret_cast<const char *>(data + 2), size - 2);
    text = text.c_str(); // the lexer reads NUL-terminated text
    const auto *bytes = reinterpret_cast<const unsigned char *>(text.c_str());
    const size_t limit = 4 * text.size() + 8;

    // Switching the code page rebuilds its tables: only on a change.
    static unsigned current = 1252;
    if (current != ((mode & 1) ? 932u : 1252u)) {
        current = (mode & 1) ? 932u : 1252u;
        zo::plat::setCodePageForTest(current);
    }
    uint32_t utf8 = ZoCharModeUtf8;
    mdsSetPerThreadData(PerThreadCharMode, (mode & 2) ? &utf8 : nullptr);

    resourceElement records[] = {{reinterpret_cast<const unsigned char *>("select"), 300},
                                 {reinterpret_cast<const unsigned char *>("FROM"), 301}};
    unsigned char *block = zoPackResourceElements(records, 2);
    ZoKeywordList keywords(block);
    keywords.setCaseSensitive(mode & 4);

    ZoLexer whole(bytes, &keywords);
    configure(whole, mode);
    Typed all = lexRest(whole, limit);

    // Read up to a point, check a put-back, save, read on, restore, read again.
    const size_t k = all.empty() ? 0 : cut % all.size();
    ZoLexer lexer(bytes, &keywords);
    configure(lexer, mode);
    lexRest(lexer, k, false);
    if (k > 0 && all[k - 1].first != 0xFFFF && all[k - 1].first != lexEnd) {
        lexer.putBack();
        Typed again = lexRest(lexer, 1, false);
        if (again.empty() || again[0] != all[k - 1])
            std::abort();
    }
    if (k == 0 || all[k - 1].first != 0xFFFF) {
        ZoToken *token = nullptr;
        ZoScanner *literal = nullptr;
        ZoToken *literalToken = nullptr;
        int16_t index = 0;
        if (lexer.savePosition(&token, &index, &literal, &literalToken) == ZoSuccess) {
            Typed rest = lexRest(lexer, limit);
            if (Typed(all.begin() + static_cast<long>(k), all.end()) != rest)
                std::abort();
            if (lexer.restorePosition(token, index, literal, literalToken) != ZoSuccess ||
                lexRest(lexer, limit) != rest)
                std::abort();
            delete token;
            delete literal;
            delete literalToken;
        }
        if (lexer.isInsideLiteral()) {
            const unsigned char *contents = nullptr;
            (void)lexer.takeLiteralContents(&contents); // the input decides; must not crash
        }
    }

    ramFree(block);
    mdsSetPerThreadData(PerThreadCharMode, nullptr);
    return 0;
}
