// Lexer: typed tokens for grammars and the parse engine, keyword lists, and the packed
// record blocks that grammars and keyword lists are given in.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zoobject.h>
#include <zo/zoscanne.h>

// One record of a grammar or keyword array: a NUL-terminated text and a 16-bit value (a
// keyword's token type, or a production's reduction number).
struct resourceElement {
    const unsigned char *text;
    uint16_t value;
};

// Packs count records into one block from ramAlloc: for each record its text, a NUL and
// its value as two bytes, low byte first; then one more NUL. A record with an empty text
// ends the block early. Returns null when the block would reach 65536 bytes or memory is
// exhausted. The caller frees the block with ramFree.
ZO_API unsigned char *zoPackResourceElements(const resourceElement *records, unsigned short count);
// Byte size of a packed block, its closing NUL included.
ZO_API uint32_t zoPackedBlockSize(const void *packed);
// Steps through a packed block: reads the record at *cursor into text and value and moves
// the cursor past it. Returns 0, changing nothing, at the closing NUL.
ZO_API unsigned zoNextPackedElement(const unsigned char **cursor, const unsigned char **text, uint16_t *value);

// Token types of the lexer. Keyword types are chosen by a grammar's author among the
// values that none of these takes, below 1000.
enum LexerTokenType : uint16_t {
    lexNone = 0,    // a NUL byte
    lexEnd = 1,     // end of text
    lexWord = 2,    // a word that is no keyword
    lexLiteral = 3, // a quoted literal that is not split
    lexUnterminated = 4,
    lexNumber = 5,
    lexFirstPunctuation = 8, // 8 to 39: one punctuation character (zoLexerCharType)
    lexLastPunctuation = 39,
    lexQuote = 40,          // opening or closing quote of a split literal
    lexLiteralContents = 41 // the contents of a literal, in grammars
};

// Type of a punctuation character, in the order ~ ` ! @ # $ % ^ & * ( ) - _ + = | \ { [ } ] :
// ; " ' < , > . ? / from 8 to 39; 0 for any other byte.
ZO_API uint16_t zoLexerCharType(unsigned char c);

// Words with their own token types, looked up in order (the first match wins). Lookups go
// through a hash index of the words folded to upper case, built with the copy; when it
// could not be built, or the process's code page has changed since, the entries are walked
// in order instead. Either way the result is the same.
class ZO_API ZoKeywordList : public ZoObject {
public:
    // An empty list that matches case-sensitively.
    ZoKeywordList() = default;
    // Copies a packed block (null: empty list). isOK tells whether the copy was made.
    explicit ZoKeywordList(const void *packed);
    ~ZoKeywordList() override;
    ZoKeywordList(const ZoKeywordList &) = delete;
    ZoKeywordList &operator=(const ZoKeywordList &) = delete;

    int isOK() const { return ok_; }
    // Nonzero: keywords match byte for byte; zero: they match ignoring case.
    void setCaseSensitive(unsigned on) { caseSensitive_ = on; }
    unsigned isCaseSensitive() const { return caseSensitive_; }
    // 1 with the word's type in *type when the word is a keyword, else 0.
    unsigned findKeyword(const unsigned char *word, uint16_t *type) const;

private:
    // One entry of the index: the folded hash of a keyword, the offset of its text in the
    // block (Empty for a free slot) and its type.
    struct Slot {
        uint32_t hash;
        uint16_t text;
        uint16_t value;
    };
    static constexpr uint16_t Empty = 0xFFFF;

    void buildIndex();
    bool matches(const unsigned char *keyword, const unsigned char *word) const;
    unsigned findInOrder(const unsigned char *word, uint16_t *type) const;

    unsigned char *keywords_ = nullptr;
    unsigned caseSensitive_ = 1;
    int ok_ = 1;
    Slot *index_ = nullptr;
    uint32_t indexMask_ = 0;
    unsigned indexCodePage_ = 0; // the code page whose case folding the index holds
};

// Reads typed tokens from a NUL-terminated text. Quoted literals are split into their
// opening quote, the tokens inside and their closing quote (each quote of type lexQuote);
// operators of several characters come one character at a time. Positions can be saved and
// restored for backtracking.
class ZO_API ZoLexer : public ZoObject {
public:
    ZoLexer() = default;
    ZoLexer(const unsigned char *text, ZoKeywordList *keywords);
    ~ZoLexer() override;
    ZoLexer(const ZoLexer &) = delete;
    ZoLexer &operator=(const ZoLexer &) = delete;

    // False when the lexer has no text, or its scanner could not be made.
    bool isValid() const { return main_ != nullptr; }

    // Quote characters of the scanner tokens are read from; all three 0 turns quoting off.
    void setQuoteChars(unsigned short q1, unsigned short q2, unsigned short q3);
    // Extra characters that may start (first, both) and continue (middle, both) words; each
    // may be null. They replace the ones given before and also apply inside split literals.
    ZoStatus setExtraChars(const unsigned char *first, const unsigned char *middle, const unsigned char *both);

    // Delivers the next token: its type, and its text, which stays valid until the next
    // delivery. Fails for a character that has no type (and when memory is exhausted).
    ZoStatus nextToken(uint16_t *type, const unsigned char **text);
    // Undoes one delivery.
    void putBack();
    bool isInsideLiteral() const { return literal_ != nullptr && current_ == literal_; }
    // Inside a split literal: hands out the literal's contents as they stand (doubled quotes
    // included) and moves to its end, so that the next delivery is the closing quote.
    ZoStatus takeLiteralContents(const unsigned char **text);

    // Saves the position as new objects that the caller owns: a copy of the current token
    // (null at the start of the text), the character index, and while a literal is split a
    // scanner over its contents and a copy of the literal token (else null).
    ZoStatus savePosition(ZoToken **token, int16_t *charIndex, ZoScanner **literalScanner, ZoToken **literalToken);
    // Returns to a saved position; the saved objects stay the caller's.
    ZoStatus restorePosition(const ZoToken *token, int16_t charIndex, const ZoScanner *literalScanner,
                             const ZoToken *literalToken);

private:
    ZoStatus deliver(uint16_t type, const unsigned char *bytes, uint32_t n, uint16_t *outType,
                     const unsigned char **outText);
    ZoStatus classify(uint16_t *type, const unsigned char **text);
    uint32_t charCount() const;
    ZoStatus deliverChar(uint16_t *type, const unsigned char **text);
    ZoStatus startLiteral(uint16_t *type, const unsigned char **text);
    ZoStatus endLiteral(uint16_t *type, const unsigned char **text);
    ZoScanner *makeLiteralScanner(const ZoToken &literal) const;
    ZoStatus applyExtraChars(ZoScanner &scanner) const;
    void releaseLiteral();
    void rereadLiteralToken(const ZoToken &literal);

    ZoScanner *current_ = nullptr;
    ZoScanner *main_ = nullptr;
    ZoScanner *literal_ = nullptr;
    ZoToken token_;
    ZoToken literalToken_;
    unsigned char *text_ = nullptr; // NUL-terminated copy of the delivered text
    uint32_t textCapacity_ = 0;
    int16_t charIndex_ = 0;
    ZoKeywordList *keywords_ = nullptr;
    ZoString extraFirst_;
    ZoString extraMiddle_;
    ZoString extraBoth_;
};
