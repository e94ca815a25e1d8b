// Scanner: cuts a byte text into tokens (words, numbers, quoted literals, groups, comments,
// operators) one call at a time, without copying the text.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zoobject.h>
#include <zo/zostring.h>

class ZoArray;

// Kinds of scanner tokens. The values are fixed: grammars and parse tables compare them.
// Any other kind is an operator code (see zoOperatorCode).
enum TokenKind : int32_t {
    tokenNone = 0,         // made by position and length, an empty list item, or a NUL byte
    tokenEnd = 1,          // end of text: length 0, data at the end
    tokenWord = 2,         // identifier or keyword
    tokenLiteral = 3,      // quoted string or bracket group, delimiters included
    tokenUnterminated = 4, // quoted string or group that reached the end of text
    tokenNumber = 5,       // integer or decimal number
    tokenPlain = 6,        // run of non-blank bytes (searchPlain only)
    tokenName = 7,         // name that may hold # and $ (searchName only)
    tokenDelimited = 8,    // item read by getDelimitedToken
    tokenOther = 10,       // one character that is no operator
    tokenComment = 11,     // -- or /* */ comment
    tokenOuterJoin = 12    // the three characters (+)
};

// Kind of an operator token: the character's code, or (first << 8) | second for a
// two-character operator, so ">=" is 0x3E3D and "=" is 61.
constexpr int32_t zoOperatorCode(unsigned char first, unsigned char second = 0) {
    return second == 0 ? first : (int32_t{first} << 8) | second;
}

// What getToken reads besides the ordinary tokens.
enum SearchType : int { searchNormal = 0, searchPlain = 1, searchName = 2 };

// A token: a view (data, length) into the scanned text, with its kind and the offset of its
// first byte from the start of the text.
class ZO_API ZoToken : public ZoSubString {
public:
    ZoToken() = default;
    ~ZoToken() override;

    int32_t kind() const { return kind_; }
    void setKind(int32_t kind) { kind_ = kind; }
    uint32_t startOffset() const { return start_; }
    void setStartOffset(uint32_t offset) { start_ = offset; }
    // Offset of the first byte after the token.
    uint32_t endOffset() const { return start_ + length_; }

private:
    friend class ZoScanner;
    int32_t kind_ = tokenNone;
    uint32_t start_ = 0;
};

// Reads tokens from a caller-owned text. The public settings below may be changed between
// calls; the scanner itself changes them only in the constructors and setScanString.
class ZO_API ZoScanner : public ZoObject {
public:
    ZoScanner() { setScanString(nullptr, 0); }
    ZoScanner(const unsigned char *text, uint32_t length) { setScanString(text, length); }
    explicit ZoScanner(const unsigned char *text);
    explicit ZoScanner(const ZoSubString *text) { setScanString(text->data(), text->length()); }
    explicit ZoScanner(ZoSubString &text) { setScanString(text.data(), text.length()); }
    explicit ZoScanner(ZoString *text) { setScanString(text); }
    ~ZoScanner() override;
    ZoScanner(const ZoScanner &) = delete;
    ZoScanner &operator=(const ZoScanner &) = delete;

    // Starts over on a new text (not owned): position 0, not at the end, decimal numbers on,
    // no attached string.
    void setScanString(const unsigned char *text, uint32_t length);
    // The same over the string's bytes; the string is attached for changeToken/insertToken.
    void setScanString(ZoString *text);

    // Reads the next token. At the end of the text it yields tokenEnd, again on every call.
    void getToken(ZoToken &token, SearchType type);
    // Makes a tokenNone token over length bytes at offset; the position does not move.
    void getToken(ZoToken &token, uint32_t offset, uint32_t length) const;
    // Sets the position back to the token's start.
    void unGetToken(const ZoToken &token);
    // Reads one list item up to the delimiter (outside quotes and groups), which is left
    // unread; trailing white space is not part of the item.
    void getDelimitedToken(ZoToken &token, unsigned short delimiter);

    // Replace the bytes of a token that lies before the position, or insert text just before
    // a token, in the attached string. The scanner follows the edit; insertToken also
    // re-points the token. Fail when the string cannot be edited.
    ZoStatus changeToken(const ZoToken *token, const ZoSubString &text);
    ZoStatus insertToken(ZoToken *token, const ZoSubString &text);

    // Split the rest of the text at the delimiter into new ZoSubString views (parseList) or
    // ZoString copies (parseListZoString); the list is emptied first and owns the items.
    ZoStatus parseList(ZoArray *list, unsigned char delimiter);
    ZoStatus parseListZoString(ZoArray *list, unsigned char delimiter);

    // 1 when the token equals the first of the blank-separated words and the tokens that
    // follow equal the others; the token then spans them all. Else 0, position unchanged.
    unsigned isEqual(ZoToken &token, const unsigned char *words);
    unsigned isEqualCi(ZoToken &token, const unsigned char *words);
    // 1 when isEqual holds for one of the NUL-terminated entries of list (closed by an empty
    // entry).
    unsigned isInSet(ZoToken &token, const unsigned char *list);
    unsigned isInSetCi(ZoToken &token, const unsigned char *list);
    // Reads on until the tokens equal words: 1 with the position after them, or 0 at the end.
    unsigned isTokenWithin(const unsigned char *words);
    unsigned isTokenWithinCi(const unsigned char *words);

    void setQuoteChars(unsigned short q1, unsigned short q2, unsigned short q3);
    unsigned short quoteChar(unsigned index) const { return quotes_[index]; }

    const unsigned char *text() const { return text_; }
    uint32_t textLength() const { return length_; }
    uint32_t position() const { return position_; }
    // Moves to an offset within the text (clamped to its length) and clears the end flag.
    void setPosition(uint32_t offset);
    bool atEnd() const { return atEnd_; }
    unsigned short lastCharWidth() const { return lastWidth_; }
    ZoString *attachedString() const { return attached_; }

    // Public settings.
    bool groupBraces = false;                // { opens a group closed by }
    bool groupParens = false;                // ( opens a group closed by )
    ZoString validFirstChars;                // extra bytes that may start a word
    ZoString validMiddleChars;               // extra bytes that may continue a word
    ZoString wordBreakChars;                 // when not empty: a word is any run of bytes not in this set
    unsigned short openBracketChar = 0xFFFF; // a caller-chosen group pair; 0xFFFF: none
    unsigned short closeBracketChar = 0xFFFF;
    bool recognizeComments = false; // -- and /* */ comments
    bool decimalNumbers = true;     // numbers may hold one decimal point

private:
    struct Cursor;
    enum Compare : unsigned char { CompareExact, CompareNoCase };

    bool isQuote(unsigned char b) const { return b != 0 && (b == quotes_[0] || b == quotes_[1] || b == quotes_[2]); }
    void readCommonQuoted(ZoToken &token, uint32_t p);
    void readCommonComment(ZoToken &token, uint32_t p, unsigned char b);
    void emitRun(ZoToken &token, uint32_t start, uint32_t end, int32_t kind);
    unsigned skipWhiteSpace(Cursor &cursor, bool firstChars) const;
    void finishAtEnd(ZoToken &token, uint32_t position);
    void readToken(ZoToken &token, SearchType type);
    void emit(ZoToken &token, uint32_t start, uint32_t end, int32_t kind);
    void emitConsumed(ZoToken &token, uint32_t start, uint32_t end, int32_t kind);
    void emitAtEnd(ZoToken &token, uint32_t start, int32_t kind);
    void finish(ZoToken &token, const Cursor &cursor, int32_t kind);
    void readWordRun(Cursor &cursor, bool name) const;
    void readNumber(Cursor &cursor, bool pastPoint) const;
    int32_t readQuoted(Cursor &cursor, unsigned char quote) const;
    int32_t readGroup(Cursor &cursor, unsigned short open, unsigned short close) const;
    int32_t readOperator(Cursor &cursor, unsigned char first, unsigned char next) const;
    void readComment(Cursor &cursor, unsigned char second) const;
    unsigned matches(ZoToken &token, const unsigned char *words, Compare how);
    unsigned matchesAny(ZoToken &token, const unsigned char *list, Compare how);
    unsigned findWithin(const unsigned char *words, Compare how);
    template <class Item>
    ZoStatus splitList(ZoArray *list, unsigned char delimiter);

    const unsigned char *text_ = nullptr;
    uint32_t length_ = 0;
    unsigned short quotes_[3] = {0x27, 0x22, 0x60};
    bool quoteInWords_ = false; // a quote character is an ASCII letter, digit or '_'
    uint32_t position_ = 0;
    ZoString *attached_ = nullptr;
    bool atEnd_ = false;
    unsigned short lastWidth_ = 0;
};
