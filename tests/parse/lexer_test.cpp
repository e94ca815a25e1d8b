#include <zo/ramalloc.h>
#include <zo/strfuncs.h>
#include <zo/zolexer.h>

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/alloc_failure.h"
#include "text/text_modes.h"

namespace {

using Typed = std::vector<std::pair<uint16_t, std::string>>;

const unsigned char *bytes(const char *text) { return reinterpret_cast<const unsigned char *>(text); }

std::pair<uint16_t, std::string> next(ZoLexer &lexer) {
    uint16_t type = 0xFFFF;
    const unsigned char *text = nullptr;
    EXPECT_EQ(lexer.nextToken(&type, &text), ZoSuccess);
    return {type, text != nullptr ? reinterpret_cast<const char *>(text) : "<null>"};
}

// Delivers everything up to and including the end of text.
Typed lexAll(ZoLexer &lexer) {
    Typed out;
    for (int guard = 0; guard < 100; ++guard) {
        out.push_back(next(lexer));
        if (out.back().first == lexEnd)
            break;
    }
    return out;
}

Typed lexText(const char *text, ZoKeywordList *keywords = nullptr) {
    ZoLexer lexer(bytes(text), keywords);
    return lexAll(lexer);
}

// A packed keyword block made from records.
struct Keywords {
    unsigned char *block;
    explicit Keywords(std::vector<resourceElement> records)
        : block(zoPackResourceElements(records.data(), static_cast<unsigned short>(records.size()))) {}
    ~Keywords() { ramFree(block); }
};

TEST(LexerPacking, BlockLayoutAndWalk) {
    resourceElement records[] = {{bytes("SELECT"), 300}, {bytes("AB"), 0x1234}};
    unsigned char *block = zoPackResourceElements(records, 2);
    ASSERT_NE(block, nullptr);
    const unsigned char expected[] = {'S', 'E', 'L', 'E', 'C', 'T', 0, 44, 1, 'A', 'B', 0, 0x34, 0x12, 0};
    EXPECT_EQ(std::string(reinterpret_cast<char *>(block), sizeof expected),
              std::string(reinterpret_cast<const char *>(expected), sizeof expected));
    EXPECT_EQ(zoPackedBlockSize(block), sizeof expected);

    const unsigned char *cursor = block;
    const unsigned char *text = nullptr;
    uint16_t value = 0;
    ASSERT_EQ(zoNextPackedElement(&cursor, &text, &value), 1u);
    EXPECT_STREQ(reinterpret_cast<const char *>(text), "SELECT");
    EXPECT_EQ(value, 300);
    ASSERT_EQ(zoNextPackedElement(&cursor, &text, &value), 1u);
    EXPECT_EQ(value, 0x1234);
    EXPECT_EQ(zoNextPackedElement(&cursor, &text, &value), 0u);
    ramFree(block);

    unsigned char *empty = zoPackResourceElements(nullptr, 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(zoPackedBlockSize(empty), 1u);
    ramFree(empty);
}

TEST(LexerPacking, BlocksOf64KiBAreRefused) {
    // n * 3 + 1 + text bytes: 2 records of 32764 bytes make 65535, one byte more is too much.
    std::string text(32764, 'k');
    resourceElement records[] = {{bytes(text.c_str()), 1}, {bytes(text.c_str()), 2}};
    unsigned char *block = zoPackResourceElements(records, 2);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(zoPackedBlockSize(block), 65535u);
    ramFree(block);
    std::string longer(32765, 'k');
    records[1].text = bytes(longer.c_str());
    EXPECT_EQ(zoPackResourceElements(records, 2), nullptr);
    zotest::NoMemory noMemory;
    EXPECT_EQ(zoPackResourceElements(records, 1), nullptr);
}

TEST(LexerKeywords, CaseSensitivityAndFirstMatch) {
    Keywords packed({{bytes("SELECT"), 300}, {bytes("select"), 301}, {bytes("FROM"), 302}});
    ZoKeywordList keywords(packed.block);
    ASSERT_TRUE(keywords.isOK());
    uint16_t type = 0;
    EXPECT_EQ(keywords.findKeyword(bytes("select"), &type), 1u);
    EXPECT_EQ(type, 301);
    EXPECT_EQ(keywords.findKeyword(bytes("From"), &type), 0u);
    keywords.setCaseSensitive(0);
    EXPECT_EQ(keywords.findKeyword(bytes("select"), &type), 1u);
    EXPECT_EQ(type, 300);
    EXPECT_EQ(keywords.findKeyword(bytes("From"), &type), 1u);
    EXPECT_EQ(type, 302);
    EXPECT_EQ(keywords.findKeyword(bytes("FROMS"), &type), 0u);

    ZoKeywordList none;
    EXPECT_EQ(none.findKeyword(bytes("SELECT"), &type), 0u);
    EXPECT_TRUE(none.isCaseSensitive());

    zotest::NoMemory noMemory;
    ZoKeywordList failed(packed.block);
    EXPECT_FALSE(failed.isOK());
    EXPECT_EQ(failed.findKeyword(bytes("SELECT"), &type), 0u);
}

// The index finds what a walk of the entries in order finds, in both matching modes and
// in code pages that fold letters beyond ASCII (1252, 1254 with its dotless i) or have
// double-byte characters (932), also after the code page changed under the list.
TEST(LexerKeywords, TheIndexAgreesWithTheEntriesInOrder) {
    const char alphabet[] = {'a', 'B', 'i', 'I', '_', '1', '\xE9', '\xC9', '\xFD', '\x82', '\xA0'};
    auto inOrder = [](const std::vector<std::string> &words, const std::string &word, bool caseSensitive) {
        for (size_t i = 0; i < words.size(); ++i)
            if (caseSensitive ? words[i] == word : strEqualCi(bytes(words[i].c_str()), bytes(word.c_str())) != 0)
                return static_cast<int>(i);
        return -1;
    };
    std::mt19937 rng(31);
    for (unsigned page : {1252u, 1254u, 932u}) {
        zotest::CodePage codePage(page);
        ASSERT_TRUE(codePage.ok());
        auto randomWord = [&] {
            std::string w(1 + rng() % 3, ' ');
            for (char &c : w)
                c = alphabet[rng() % sizeof alphabet];
            return w;
        };
        std::vector<std::string> words;
        std::vector<resourceElement> records;
        for (int i = 0; i < 150; ++i)
            words.push_back(randomWord());
        for (size_t i = 0; i < words.size(); ++i)
            records.push_back({bytes(words[i].c_str()), static_cast<uint16_t>(i)});
        Keywords packed(records);
        ZoKeywordList keywords(packed.block);
        for (unsigned caseSensitive : {1u, 0u}) {
            keywords.setCaseSensitive(caseSensitive);
            for (int probe = 0; probe < 2000; ++probe) {
                std::string word = randomWord();
                uint16_t type = 0xFFFF;
                int expected = inOrder(words, word, caseSensitive != 0);
                ASSERT_EQ(keywords.findKeyword(bytes(word.c_str()), &type), expected >= 0 ? 1u : 0u)
                    << page << " " << word;
                if (expected >= 0) {
                    ASSERT_EQ(type, expected) << page << " " << word;
                }
            }
        }
        // Under another code page the list still answers as the entries say.
        zotest::CodePage other(page == 932 ? 1252 : 932);
        keywords.setCaseSensitive(0);
        std::string word = words[0];
        uint16_t type = 0xFFFF;
        EXPECT_EQ(keywords.findKeyword(bytes(word.c_str()), &type), 1u);
        EXPECT_EQ(type, inOrder(words, word, false));
    }
}

TEST(LexerTokens, KeywordsWordsAndNumbers) {
    Keywords packed({{bytes("SELECT"), 300}});
    ZoKeywordList keywords(packed.block);
    EXPECT_EQ(lexText("SELECT select x 12 3.5", &keywords), (Typed{{300, "SELECT"},
                                                                   {lexWord, "select"},
                                                                   {lexWord, "x"},
                                                                   {lexNumber, "12"},
                                                                   {lexNumber, "3"},
                                                                   {37, "."},
                                                                   {lexNumber, "5"},
                                                                   {lexEnd, ""}}));
    keywords.setCaseSensitive(0);
    EXPECT_EQ(lexText("select", &keywords), (Typed{{300, "select"}, {lexEnd, ""}}));
}

TEST(LexerTokens, EveryPunctuationType) {
    const char *order = "~`!@#$%^&*()-_+=|\\{[}]:;\"'<,>.?/";
    for (uint16_t i = 0; order[i] != 0; ++i)
        EXPECT_EQ(zoLexerCharType(static_cast<unsigned char>(order[i])), 8 + i) << order[i];
    EXPECT_EQ(zoLexerCharType('a'), 0);
    // Quoting off, as for grammar texts: every punctuation character comes alone (the '_'
    // that starts a word aside).
    ZoLexer lexer(bytes("~`!@#$%^&*()-+=|\\{[}]:;\"'<,>.?/"), nullptr);
    lexer.setQuoteChars(0, 0, 0);
    Typed typed = lexAll(lexer);
    ASSERT_EQ(typed.size(), 32u);
    for (uint16_t i = 0; i < 31; ++i)
        EXPECT_EQ(typed[i].first, zoLexerCharType(static_cast<unsigned char>(typed[i].second[0]))) << typed[i].second;
    EXPECT_EQ(lexText("_"), (Typed{{lexWord, "_"}, {lexEnd, ""}}));
}

TEST(LexerTokens, CharactersWithoutATypeFail) {
    for (const char *text : {"\x01", "\x80", "\xD7"}) {
        ZoLexer lexer(bytes(text), nullptr);
        uint16_t type = 0;
        const unsigned char *out = nullptr;
        EXPECT_EQ(lexer.nextToken(&type, &out), ZoFailure) << int(static_cast<unsigned char>(text[0]));
    }
    EXPECT_EQ(lexText("?~^"), (Typed{{38, "?"}, {8, "~"}, {15, "^"}, {lexEnd, ""}}));
}

TEST(LexerTokens, OperatorsComeOneCharacterAtATime) {
    EXPECT_EQ(lexText("a<>b"), (Typed{{lexWord, "a"}, {34, "<"}, {36, ">"}, {lexWord, "b"}, {lexEnd, ""}}));
    EXPECT_EQ(lexText("x(+)"), (Typed{{lexWord, "x"}, {18, "("}, {22, "+"}, {19, ")"}, {lexEnd, ""}}));

    ZoLexer lexer(bytes("a<>b"), nullptr);
    next(lexer);
    EXPECT_EQ(next(lexer), (std::pair<uint16_t, std::string>{34, "<"}));
    EXPECT_EQ(next(lexer), (std::pair<uint16_t, std::string>{36, ">"}));
    lexer.putBack();
    EXPECT_EQ(next(lexer), (std::pair<uint16_t, std::string>{36, ">"}));
    lexer.putBack();
    lexer.putBack();
    EXPECT_EQ(next(lexer), (std::pair<uint16_t, std::string>{34, "<"}));
    EXPECT_EQ(next(lexer), (std::pair<uint16_t, std::string>{36, ">"}));
    EXPECT_EQ(next(lexer), (std::pair<uint16_t, std::string>{lexWord, "b"}));
    lexer.putBack();
    EXPECT_EQ(next(lexer), (std::pair<uint16_t, std::string>{lexWord, "b"}));
}

TEST(LexerLiterals, SplitIntoQuotesAndInnerTokens) {
    EXPECT_EQ(lexText("'abc'"), (Typed{{lexQuote, "'"}, {lexWord, "abc"}, {lexQuote, "'"}, {lexEnd, ""}}));
    EXPECT_EQ(lexText("''"), (Typed{{lexQuote, "'"}, {lexWord, ""}, {lexQuote, "'"}, {lexEnd, ""}}));
    EXPECT_EQ(lexText("x = \"a b\" y"), (Typed{{lexWord, "x"},
                                               {23, "="},
                                               {lexQuote, "\""},
                                               {lexWord, "a"},
                                               {lexWord, "b"},
                                               {lexQuote, "\""},
                                               {lexWord, "y"},
                                               {lexEnd, ""}}));
    // Inside, quoting is off: a doubled quote is two quote characters; numbers stay whole.
    EXPECT_EQ(lexText("'it''s 1.5'"), (Typed{{lexQuote, "'"},
                                             {lexWord, "it"},
                                             {33, "'"},
                                             {33, "'"},
                                             {lexWord, "s"},
                                             {lexNumber, "1"},
                                             {37, "."},
                                             {lexNumber, "5"},
                                             {lexQuote, "'"},
                                             {lexEnd, ""}}));
    EXPECT_EQ(lexText("'abc"), (Typed{{lexUnterminated, "'abc"}, {lexEnd, ""}}));

    Keywords packed({{bytes("NULL"), 400}});
    ZoKeywordList keywords(packed.block);
    EXPECT_EQ(lexText("'NULL'", &keywords), (Typed{{lexQuote, "'"}, {400, "NULL"}, {lexQuote, "'"}, {lexEnd, ""}}));
}

TEST(LexerLiterals, PutBackInsideAndAroundLiterals) {
    ZoLexer lexer(bytes("'ab' c"), nullptr);
    EXPECT_EQ(next(lexer).first, lexQuote);
    EXPECT_TRUE(lexer.isInsideLiteral());
    lexer.putBack(); // undoes the opening quote
    EXPECT_FALSE(lexer.isInsideLiteral());
    EXPECT_EQ(next(lexer).first, lexQuote);
    EXPECT_EQ(next(lexer), (std::pair<uint16_t, std::string>{lexWord, "ab"}));
    EXPECT_EQ(next(lexer), (std::pair<uint16_t, std::string>{lexQuote, "'"}));
    EXPECT_FALSE(lexer.isInsideLiteral());
    lexer.putBack(); // the closing quote comes again, as a quote
    EXPECT_EQ(next(lexer), (std::pair<uint16_t, std::string>{lexQuote, "'"}));
    EXPECT_EQ(next(lexer), (std::pair<uint16_t, std::string>{lexWord, "c"}));

    for (const char *text : {"''", "'  '"}) {
        ZoLexer empty(bytes(text), nullptr);
        next(empty);
        const std::string inside(text + 1, std::strlen(text) - 2);
        EXPECT_EQ(next(empty), (std::pair<uint16_t, std::string>{lexWord, inside}));
        empty.putBack();
        EXPECT_EQ(next(empty), (std::pair<uint16_t, std::string>{lexWord, inside}));
        EXPECT_EQ(next(empty), (std::pair<uint16_t, std::string>{lexQuote, "'"}));
        EXPECT_EQ(next(empty).first, lexEnd);
    }
}

TEST(LexerLiterals, TakeContents) {
    ZoLexer lexer(bytes("'a ''b'' c' d"), nullptr);
    const unsigned char *text = nullptr;
    EXPECT_EQ(lexer.takeLiteralContents(&text), ZoFailure);
    next(lexer);
    next(lexer);
    ASSERT_EQ(lexer.takeLiteralContents(&text), ZoSuccess);
    EXPECT_STREQ(reinterpret_cast<const char *>(text), "a ''b'' c");
    EXPECT_EQ(next(lexer), (std::pair<uint16_t, std::string>{lexQuote, "'"}));
    EXPECT_EQ(next(lexer), (std::pair<uint16_t, std::string>{lexWord, "d"}));

    ZoLexer empty(bytes("'' x"), nullptr);
    next(empty);
    ASSERT_EQ(empty.takeLiteralContents(&text), ZoSuccess);
    EXPECT_STREQ(reinterpret_cast<const char *>(text), "");
    EXPECT_EQ(next(empty), (std::pair<uint16_t, std::string>{lexQuote, "'"}));
    EXPECT_EQ(next(empty), (std::pair<uint16_t, std::string>{lexWord, "x"}));
}

TEST(LexerLiterals, ExtraCharactersApplyInsideLiterals) {
    ZoLexer lexer(bytes("select-list 'a-b' @c"), nullptr);
    ASSERT_EQ(lexer.setExtraChars(bytes("@"), bytes("-"), nullptr), ZoSuccess);
    EXPECT_EQ(lexAll(lexer), (Typed{{lexWord, "select-list"},
                                    {lexQuote, "'"},
                                    {lexWord, "a-b"},
                                    {lexQuote, "'"},
                                    {lexWord, "@c"},
                                    {lexEnd, ""}}));
    ZoLexer cleared(bytes("a-b"), nullptr);
    ASSERT_EQ(cleared.setExtraChars(nullptr, bytes("-"), nullptr), ZoSuccess);
    ASSERT_EQ(cleared.setExtraChars(nullptr, nullptr, nullptr), ZoSuccess);
    EXPECT_EQ(lexAll(cleared), (Typed{{lexWord, "a"}, {20, "-"}, {lexWord, "b"}, {lexEnd, ""}}));
}

// Saves the position after each delivery, reads the rest, restores, and checks that the
// rest comes again the same.
void checkEverySavedPosition(const char *text) {
    Typed all = lexText(text);
    for (size_t k = 0; k <= all.size(); ++k) {
        ZoLexer lexer(bytes(text), nullptr);
        for (size_t i = 0; i < k && i < all.size(); ++i)
            next(lexer);
        ZoToken *token = nullptr;
        ZoScanner *literal = nullptr;
        ZoToken *literalToken = nullptr;
        int16_t index = 0;
        ASSERT_EQ(lexer.savePosition(&token, &index, &literal, &literalToken), ZoSuccess);
        Typed rest = lexAll(lexer);
        ASSERT_EQ(lexer.restorePosition(token, index, literal, literalToken), ZoSuccess);
        EXPECT_EQ(lexAll(lexer), rest) << text << " after " << k;
        if (k < all.size()) {
            EXPECT_EQ(Typed(all.begin() + k, all.end()), rest) << text << " after " << k;
        }
        delete token;
        delete literal;
        delete literalToken;
    }
}

TEST(LexerPositions, RestoreContinuesWhereTheSaveStood) {
    checkEverySavedPosition("a<>b x(+) 'q' c");
    checkEverySavedPosition("'' 'x y' '>=' z");
    checkEverySavedPosition("  ");
    checkEverySavedPosition("' ' x '  '");
}

TEST(LexerPositions, SaveFailsCleanlyWithoutMemory) {
    ZoLexer lexer(bytes("'a b' c"), nullptr);
    next(lexer);
    next(lexer);
    uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        ZoToken *token = nullptr;
        ZoScanner *literal = nullptr;
        ZoToken *literalToken = nullptr;
        int16_t index = 0;
        point.arm();
        ZoStatus status = lexer.savePosition(&token, &index, &literal, &literalToken);
        if (point.disarm()) {
            EXPECT_EQ(status, ZoFailure);
            EXPECT_EQ(token, nullptr);
            EXPECT_EQ(literal, nullptr);
            EXPECT_EQ(literalToken, nullptr);
        } else {
            EXPECT_EQ(status, ZoSuccess);
        }
        delete token;
        delete literal;
        delete literalToken;
    });
    EXPECT_GE(points, 3u);
    EXPECT_EQ(next(lexer), (std::pair<uint16_t, std::string>{lexWord, "b"}));
}

TEST(LexerMultiByte, WordsInCodePage932AndUtf8) {
    {
        zotest::CodePage page(932);
        EXPECT_EQ(lexText("'\x82\xA0\x82\x60'"),
                  (Typed{{lexQuote, "'"}, {lexWord, "\x82\xA0\x82\x60"}, {lexQuote, "'"}, {lexEnd, ""}}));
    }
    zotest::Utf8Mode utf8;
    EXPECT_EQ(lexText("caf\xC3\xA9 \xE6\xBC\xA2"),
              (Typed{{lexWord, "caf\xC3\xA9"}, {lexWord, "\xE6\xBC\xA2"}, {lexEnd, ""}}));
}

} // namespace
