// Token reading: white space, words, numbers, quoted strings, groups, comments, operators
// and delimited list items.
#include <zo/zoscanne.h>

#include <cstring>

#include <zo/pertask.h>
#include <zo/ramalloc.h>
#include <zo/strfuncs.h>

#include "platform/charclass.h"
#include "platform/textblock.h"

namespace {

// Classes of the ASCII bytes, which are the same in every code page and in UTF-8 mode.
// Bytes from 0x80 up have none here: they are classified through the code page's letter
// table and the thread's stepping rule instead.
enum : unsigned char {
    AsciiSpace = 0x1,
    AsciiAlpha = 0x2,
    AsciiDigit = 0x4,
    AsciiWord = 0x8,      // continues a word: letters, digits, '_'
    AsciiWordStart = 0x10 // starts a word: letters, '_'
};

constexpr unsigned char asciiClassOf(unsigned b) {
    unsigned char c = 0;
    if (b == ' ' || (b >= '\t' && b <= '\r'))
        c |= AsciiSpace;
    if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z'))
        c |= AsciiAlpha | AsciiWord | AsciiWordStart;
    if (b >= '0' && b <= '9')
        c |= AsciiDigit | AsciiWord;
    if (b == '_')
        c |= AsciiWord | AsciiWordStart;
    return c;
}

struct AsciiClasses {
    unsigned char of[256];
    constexpr AsciiClasses() : of() {
        for (unsigned b = 0; b < 128; ++b)
            of[b] = asciiClassOf(b);
    }
};
constexpr AsciiClasses kAscii;

bool isDigit(unsigned char b) { return b >= '0' && b <= '9'; }

// The end of the run of ASCII bytes of a class that starts at p: 16 bytes a step while a
// whole block lies in the text (one well-predicted branch for most runs, where a byte loop
// would mispredict its exit), then byte by byte.
template <uint32_t (*BlockMask)(const unsigned char *), unsigned char Class>
inline uint32_t runEnd(const unsigned char *t, uint32_t p, uint32_t n) {
    for (; p + 16 <= n; p += 16) {
        const uint32_t stops = ~BlockMask(t + p) & 0xFFFFu;
        if (stops != 0)
            return p + static_cast<uint32_t>(__builtin_ctz(stops));
    }
    while (p < n && (kAscii.of[t[p]] & Class) != 0)
        ++p;
    return p;
}

inline uint32_t spaceEnd(const unsigned char *t, uint32_t p, uint32_t n) {
    return runEnd<zo::plat::spaceMask16, AsciiSpace>(t, p, n);
}
inline uint32_t wordEnd(const unsigned char *t, uint32_t p, uint32_t n) {
    return runEnd<zo::plat::wordMask16, AsciiWord>(t, p, n);
}

// The bytes that end a plain run (searchPlain).
bool isPlainStopper(unsigned char b) { return b == ',' || b == '/' || b == '(' || b == ')' || b == '|'; }

bool inSet(const ZoString &set, unsigned char b) {
    return set.length() != 0 && std::memchr(set.data(), b, set.length()) != nullptr;
}

// The operator table, searched in order: a one-character entry is the character's code, a
// two-character entry (first << 8) | second and follows the entry of its first character.
constexpr uint16_t op(char first, char second) {
    return static_cast<uint16_t>((static_cast<unsigned char>(first) << 8) | static_cast<unsigned char>(second));
}
constexpr uint16_t kOperators[44] = {'?',          ',',          '(',          ')',
                                     '.',          '=',          op('=', '='), op('=', '*'),
                                     op('=', '<'), op('=', '>'), '+',          op('+', '+'),
                                     '&',          op('&', '&'), '|',          op('|', '|'),
                                     '-',          op('-', '-'), '/',          op('/', '/'),
                                     '*',          op('*', '*'), op('*', '='), '>',
                                     op('>', '='), '<',          op('<', '='), op('<', '>'),
                                     '!',          op('!', '='), op('!', '<'), op('!', '>'),
                                     ';',          ':',          '{',          '}',
                                     '$',          '#',          '%',          '@',
                                     '"',          '\'',         '`',          0};
constexpr unsigned kOperatorCount = sizeof kOperators / sizeof kOperators[0];
static_assert(kOperatorCount == 44);

// The operator table by first character: the one-character entry's code (-1 when the byte
// is no operator) and the second characters of the two-character entries that follow it,
// one a byte of `seconds` (at most four), with 0x80 in `lanes` for each byte in use.
struct OperatorTable {
    int32_t single[256];
    uint32_t seconds[256];
    uint32_t lanes[256];
    constexpr OperatorTable() : single(), seconds(), lanes() {
        for (auto &code : single)
            code = -1;
        for (unsigned i = 0; i < kOperatorCount; ++i) {
            if (kOperators[i] < 256 && single[kOperators[i]] < 0) {
                const unsigned b = kOperators[i];
                single[b] = kOperators[i];
                unsigned count = 0;
                for (unsigned j = i + 1; j < kOperatorCount && (kOperators[j] >> 8) == b; ++j, ++count) {
                    seconds[b] |= uint32_t{static_cast<unsigned char>(kOperators[j] & 0xFF)} << (8 * count);
                    lanes[b] |= 0x80u << (8 * count);
                }
            }
        }
    }
};
constexpr OperatorTable kOperatorTable;

// Kind of the operator that starts with b: a two-character entry when next completes one
// (*pair is then set), else the one-character entry; tokenOther when b is no operator.
// The second characters are compared all at once: a lane of x is zero where one equals
// next, and the lowest zero lane is found exactly (a borrow only reaches lanes above it).
int32_t operatorKind(unsigned char b, unsigned char next, bool *pair) {
    const int32_t single = kOperatorTable.single[b];
    if (single < 0) {
        *pair = false;
        return tokenOther;
    }
    const uint32_t x = kOperatorTable.seconds[b] ^ (next * 0x01010101u);
    const bool matched = ((x - 0x01010101u) & ~x & kOperatorTable.lanes[b]) != 0;
    *pair = matched;
    return matched ? (int32_t{b} << 8) | next : single;
}

} // namespace

// The state of one read: a local copy of the position, and the character tables, fetched
// only when a byte from 0x80 up is met (ASCII is one byte and classified alike in every
// mode and code page, so most tokens never look at the thread's character mode).
struct ZoScanner::Cursor {
    const unsigned char *text;
    uint32_t length;
    uint32_t pos;
    uint32_t end = UINT32_MAX; // end of the token when it differs from pos
    unsigned short width = 0;  // width of the character read last
    bool hitEnd = false;       // the last read found no byte left
    const unsigned char *lengths = nullptr;
    const unsigned char *letters = nullptr;

    Cursor(const unsigned char *t, uint32_t n, uint32_t p) : text(t), length(n), pos(p > n ? n : p) {}

    bool atEnd() const { return pos >= length; }
    unsigned char byte() const { return text[pos]; }
    unsigned char next() const { return pos < length ? text[pos] : 0; }

    // Width of the character at pos by the thread's stepping rule, cut at the end of the
    // text so that a lead byte in the last position never makes a read pass the end.
    unsigned widthHere() {
        const unsigned char b = text[pos];
        if (b < 0x80)
            return 1;
        if (lengths == nullptr)
            lengths = mdsCharLengthTable();
        const uint32_t left = length - pos;
        return lengths[b] < left ? lengths[b] : left;
    }
    // A byte that starts a character wider than one byte (even one cut short by the end).
    bool isLead(unsigned char b) {
        if (b < 0x80)
            return false;
        if (lengths == nullptr)
            lengths = mdsCharLengthTable();
        return lengths[b] > 1;
    }
    bool isAlpha(unsigned char b) {
        if (b < 0x80)
            return (kAscii.of[b] & AsciiAlpha) != 0;
        if (letters == nullptr)
            letters = zo::plat::alphaByteTable();
        return letters[b] != 0;
    }
    // Letters, multi-byte characters, digits and '_'.
    bool isWordChar(unsigned char b) { return b < 0x80 ? (kAscii.of[b] & AsciiWord) != 0 : (isLead(b) || isAlpha(b)); }
    // White space: an ASCII space character, or the ideographic space 0x81 0x40 of a
    // double-byte code page (one two-byte character).
    bool isSpaceHere(unsigned w) const {
        const unsigned char b = text[pos];
        if (b < 0x80)
            return (kAscii.of[b] & AsciiSpace) != 0;
        return w == 2 && b == 0x81 && text[pos + 1] == 0x40;
    }

    void take(unsigned w) {
        pos += w;
        width = static_cast<unsigned short>(w);
    }
    // The read found the end of the text.
    void reachEnd() {
        width = 0;
        hitEnd = true;
    }
    // The character at pos ends the token and stays unread.
    void leave() { width = 0; }
};

ZoToken::~ZoToken() = default;

ZoScanner::ZoScanner(const unsigned char *text) {
    setScanString(text, text != nullptr ? BUTSTLEN(reinterpret_cast<const char *>(text)) : 0);
}

ZoScanner::~ZoScanner() = default;

void ZoScanner::setScanString(const unsigned char *text, uint32_t length) {
    attached_ = nullptr;
    text_ = text;
    length_ = text != nullptr ? length : 0;
    position_ = 0;
    atEnd_ = false;
    lastWidth_ = 0;
    decimalNumbers = true;
}

void ZoScanner::setScanString(ZoString *text) {
    setScanString(text->data(), text->length());
    attached_ = text;
}

void ZoScanner::setQuoteChars(unsigned short q1, unsigned short q2, unsigned short q3) {
    quotes_[0] = q1;
    quotes_[1] = q2;
    quotes_[2] = q3;
    quoteInWords_ = false;
    for (unsigned short q : quotes_)
        quoteInWords_ = quoteInWords_ || (q < 0x80 && (kAscii.of[q] & AsciiWord) != 0);
}

void ZoScanner::setPosition(uint32_t offset) {
    position_ = offset < length_ ? offset : length_;
    atEnd_ = false;
}

void ZoScanner::unGetToken(const ZoToken &token) { setPosition(token.startOffset()); }

void ZoScanner::getToken(ZoToken &token, uint32_t offset, uint32_t length) const {
    token.set(text_ + offset, length);
    token.kind_ = tokenNone;
    token.start_ = offset;
}

void ZoScanner::finish(ZoToken &token, const Cursor &cursor, int32_t kind) {
    const uint32_t start = token.start_;
    const uint32_t end = cursor.end != UINT32_MAX ? cursor.end : cursor.pos;
    token.set(text_ + start, end - start);
    token.kind_ = kind;
    position_ = cursor.pos;
    atEnd_ = cursor.hitEnd;
    lastWidth_ = cursor.width;
}

// Skips white space (with firstChars set, up to a byte of validFirstChars). Returns the
// width of the character that stops it, or 0 at the end of the text.
unsigned ZoScanner::skipWhiteSpace(Cursor &c, bool firstChars) const {
    for (; !c.atEnd();) {
        const unsigned w = c.widthHere();
        if (!c.isSpaceHere(w) || (firstChars && inSet(validFirstChars, c.byte())))
            return w;
        c.pos += w;
    }
    return 0;
}

// The end of text: a token of length 0 there, as often as it is asked for.
void ZoScanner::finishAtEnd(ZoToken &token, uint32_t position) {
    token.set(text_ + position, 0);
    token.kind_ = tokenEnd;
    token.start_ = position;
    position_ = position;
    atEnd_ = true;
    lastWidth_ = 0;
}

inline void ZoScanner::emit(ZoToken &token, uint32_t start, uint32_t end, int32_t kind) {
    token.set(text_ + start, end - start);
    token.kind_ = kind;
    token.start_ = start;
    position_ = end;
}

// A token whose last character was read and taken (a closing quote, an operator).
inline void ZoScanner::emitConsumed(ZoToken &token, uint32_t start, uint32_t end, int32_t kind) {
    emit(token, start, end, kind);
    lastWidth_ = 1;
    atEnd_ = false;
}

// A token that runs to the end of the text.
inline void ZoScanner::emitAtEnd(ZoToken &token, uint32_t start, int32_t kind) {
    emit(token, start, length_, kind);
    lastWidth_ = 0;
    atEnd_ = true;
}

// The tokens that make up most of a statement are read here without the general
// machinery: ASCII words, numbers, quoted strings and comments, and the operators whose
// meaning depends on no switch, when no extra word characters are set. Anything else (a
// byte from 0x80 up included) goes to the full rules, after the white space. Every call
// out of this path is its last step, so the path keeps its values in scratch registers:
// the rarer quoted strings and comments are read out of line.
void ZoScanner::getToken(ZoToken &token, SearchType type) {
    const uint32_t extra = wordBreakChars.length() | validFirstChars.length() | validMiddleChars.length();
    if ((static_cast<uint32_t>(type) | extra) != 0)
        return readToken(token, type);
    const unsigned char *t = text_;
    const uint32_t n = length_;
    uint32_t p = position_ < n ? position_ : n;
    // One block of 16 bytes from the position tells where the token starts, whether it
    // starts with a word character and, for a word that ends in the block, where it ends:
    // blanks are no word characters, so the first run of word characters in the block is
    // the word. All three come from the block alone, without waiting for one another or
    // for the token's bytes.
    const uint32_t blockStart = p;
    uint32_t wordStop = 16; // offset in the block of the word's end; 16: not in the block
    bool wordFirst = false; // the token starts with a letter, a digit or '_'
    uint32_t lead = 16;
    if (p + 16 <= n) {
        const __m128i block = zo::plat::loadBlock16(t + p);
        const uint32_t words = zo::plat::wordMask16(block);
        lead = static_cast<uint32_t>(__builtin_ctz(~zo::plat::spaceMask16(block)));
        wordStop = static_cast<uint32_t>(__builtin_ctz((~words & (words << 1)) | 0x10000u));
        wordFirst = ((words >> lead) & 1) != 0;
        p += lead;
    }
    if (lead == 16) {
        p = spaceEnd(t, p, n);
        wordFirst = p < n && (kAscii.of[t[p]] & AsciiWord) != 0;
    }
    position_ = p;
    if (p >= n)
        return finishAtEnd(token, p);
    const unsigned char b = t[p];
    uint32_t q = p + 1;
    // Words and numbers first, unless a quote character or the bracket pair starts one.
    if (wordFirst && !quoteInWords_ && b != openBracketChar) {
        if (!isDigit(b)) {
            q = wordStop < 16 ? blockStart + wordStop : wordEnd(t, q, n);
            if (q < n && t[q] >= 0x80)
                return readToken(token, searchNormal); // the word may go on with multi-byte letters
            return emitRun(token, p, q, tokenWord);
        }
        while (q < n && isDigit(t[q]))
            ++q;
        if (q < n && t[q] == '.' && decimalNumbers)
            for (++q; q < n && isDigit(t[q]);)
                ++q;
        return emitRun(token, p, q, tokenNumber);
    }
    if (isQuote(b) && b != openBracketChar)
        return readCommonQuoted(token, p);
    const unsigned char next = q < n ? t[q] : 0;
    if (recognizeComments && ((b == '-' && next == '-') || (b == '/' && next == '*')))
        return readCommonComment(token, p, b);
    // Groups, the outer join, decimals, characters that are no operator, and a word or
    // number beside a quote character made of a word character take the full rules.
    if (b == openBracketChar || wordFirst || kOperatorTable.single[b] < 0 ||
        (b == '(' && (groupParens || next == '+')) || (b == '{' && groupBraces) ||
        (b == '.' && decimalNumbers && isDigit(next)))
        return readToken(token, searchNormal);
    bool pair = false;
    const int32_t kind = operatorKind(b, next, &pair);
    q += pair && q < n;
    emitConsumed(token, p, q, kind);
}

// A word or a number, which ends at a character left unread (or at the end of the text).
inline void ZoScanner::emitRun(ZoToken &token, uint32_t start, uint32_t end, int32_t kind) {
    lastWidth_ = 0;
    atEnd_ = end >= length_;
    emit(token, start, end, kind);
}

// A quoted string of ASCII bytes, from its opening quote at p; any other by the full rules.
[[gnu::noinline]] void ZoScanner::readCommonQuoted(ZoToken &token, uint32_t p) {
    const unsigned char *t = text_;
    const uint32_t n = length_;
    const unsigned char quote = t[p];
    uint32_t q = p + 1;
    // ASCII only: in a double-byte code page a trail byte may equal a quote.
    for (;;) {
        while (q < n && t[q] != quote && t[q] < 0x80)
            ++q;
        if (q >= n || t[q] >= 0x80)
            return readToken(token, searchNormal);
        if (++q < n && t[q] == quote)
            ++q;
        else
            break;
    }
    emitConsumed(token, p, q, tokenLiteral);
}

// A comment of ASCII bytes, from its first character b ('-' or '/') at p; any other by the
// full rules.
[[gnu::noinline]] void ZoScanner::readCommonComment(ZoToken &token, uint32_t p, unsigned char b) {
    const unsigned char *t = text_;
    const uint32_t n = length_;
    uint32_t q;
    // ASCII only: a multi-byte character may take a line feed or '/' into itself.
    if (b == '-') {
        for (q = p + 2; q < n && t[q] != '\n' && t[q] < 0x80;)
            ++q;
        if (q < n && t[q] >= 0x80)
            return readToken(token, searchNormal);
        if (q >= n)
            return emitAtEnd(token, p, tokenComment);
        emit(token, p, q, tokenComment);
        position_ = q + 1;
        lastWidth_ = 1;
        atEnd_ = false;
        return;
    }
    // The byte after "/*" may not close the comment ("/*/" is open) but may still start
    // a multi-byte character, which the general rules must read.
    if (p + 2 < n && t[p + 2] >= 0x80)
        return readToken(token, searchNormal);
    for (q = p + 3; q < n && t[q] < 0x80 && !(t[q] == '/' && t[q - 1] == '*'); ++q)
        ;
    if (q < n && t[q] >= 0x80)
        return readToken(token, searchNormal);
    if (q < n)
        return emitConsumed(token, p, q + 1, tokenComment);
    emitAtEnd(token, p, tokenComment);
}

// Reads any token by the full rules.
void ZoScanner::readToken(ZoToken &token, SearchType type) {
    Cursor c(text_, length_, position_);
    const unsigned w = skipWhiteSpace(c, true);
    if (w == 0) {
        finishAtEnd(token, c.pos);
        return;
    }

    const unsigned char b = c.byte();
    token.start_ = c.pos;
    c.take(w);
    const unsigned char next = c.next();
    int32_t kind;
    if (isQuote(b)) {
        kind = readQuoted(c, b);
    } else if (b == '(' && groupParens) {
        kind = readGroup(c, '(', ')');
    } else if (b == '{' && groupBraces) {
        kind = readGroup(c, '{', '}');
    } else if (openBracketChar != 0xFFFF && b == openBracketChar) {
        kind = readGroup(c, openBracketChar, closeBracketChar);
    } else if (recognizeComments && ((b == '-' && next == '-') || (b == '/' && next == '*'))) {
        readComment(c, next);
        kind = tokenComment;
    } else if (type == searchPlain && !isPlainStopper(b)) {
        while (!c.atEnd() && c.byte() > 0x20 && !isPlainStopper(c.byte()))
            c.take(c.widthHere());
        c.atEnd() ? c.reachEnd() : c.leave();
        kind = tokenPlain;
    } else if (type == searchName && (c.isAlpha(b) || c.isLead(b) || b == '_' || b == '#')) {
        readWordRun(c, true);
        kind = tokenName;
    } else if ((wordBreakChars.length() != 0 && !inSet(wordBreakChars, b)) || c.isAlpha(b) || c.isLead(b) || b == '_' ||
               inSet(validFirstChars, b)) {
        readWordRun(c, false);
        kind = tokenWord;
    } else if (isDigit(b)) {
        readNumber(c, false);
        kind = tokenNumber;
    } else if (decimalNumbers && b == '.' && isDigit(next)) {
        readNumber(c, true);
        kind = tokenNumber;
    } else if (b == '(' && next == '+' && c.pos + 1 < length_ && text_[c.pos + 1] == ')') {
        c.pos += 2;
        c.width = 1;
        kind = tokenOuterJoin;
    } else {
        kind = readOperator(c, b, next);
    }
    finish(token, c, kind);
}

// The operator that starts with b, taking next too when they make a two-character entry;
// tokenOther for a character that is no operator.
int32_t ZoScanner::readOperator(Cursor &c, unsigned char b, unsigned char next) const {
    bool pair = false;
    const int32_t kind = operatorKind(b, next, &pair);
    if (pair && !c.atEnd())
        c.take(1);
    return kind;
}

// Continues a word (or, with name set, a name that may also hold '#' and '$'). With
// wordBreakChars set, a word is any run of characters outside that set.
void ZoScanner::readWordRun(Cursor &c, bool name) const {
    const bool breaks = wordBreakChars.length() != 0;
    if (!breaks && !name && validMiddleChars.length() == 0) {
        // The common case: a run of ASCII letters, digits and '_'.
        while (!c.atEnd() && (kAscii.of[c.byte()] & AsciiWord) != 0)
            c.take(1);
    }
    for (; !c.atEnd();) {
        const unsigned char b = c.byte();
        const unsigned w = c.widthHere();
        bool joins;
        if (name && (c.isWordChar(b) || b == '#' || b == '$'))
            joins = true;
        else if (breaks)
            joins = !inSet(wordBreakChars, b);
        else
            joins = c.isWordChar(b) || inSet(validMiddleChars, b);
        if (!joins) {
            c.leave();
            return;
        }
        c.take(w);
    }
    c.reachEnd();
}

// Continues a number: digits, and one decimal point when decimal numbers are on (pastPoint:
// the point has been read already).
void ZoScanner::readNumber(Cursor &c, bool pastPoint) const {
    for (; !c.atEnd();) {
        const unsigned char b = c.byte();
        if (isDigit(b)) {
            c.take(1);
        } else if (b == '.' && !pastPoint && decimalNumbers) {
            pastPoint = true;
            c.take(1);
        } else {
            c.leave();
            return;
        }
    }
    c.reachEnd();
}

// Continues a quoted string whose opening quote has been read; a doubled quote stands for
// one. Returns tokenLiteral after the closing quote, tokenUnterminated at the end of text.
int32_t ZoScanner::readQuoted(Cursor &c, unsigned char quote) const {
    for (; !c.atEnd();) {
        const unsigned char b = c.byte();
        c.take(c.widthHere());
        if (b == quote) {
            if (c.next() != quote)
                return tokenLiteral;
            c.take(1);
        }
    }
    c.reachEnd();
    return tokenUnterminated;
}

// Continues a group whose opening character has been read, up to the matching closing
// character; quoted strings inside are read whole. A pair of one character for both ends
// closes at its next occurrence.
int32_t ZoScanner::readGroup(Cursor &c, unsigned short open, unsigned short close) const {
    uint32_t depth = 1;
    for (; !c.atEnd();) {
        const unsigned char b = c.byte();
        c.take(c.widthHere());
        if (isQuote(b)) {
            if (readQuoted(c, b) == tokenUnterminated)
                return tokenUnterminated;
        } else if (b == close) {
            if (--depth == 0)
                return tokenLiteral;
        } else if (b == open) {
            ++depth;
        }
    }
    c.reachEnd();
    return tokenUnterminated;
}

// Continues a comment whose first character has been read; second is '-' or '*'. A line
// comment ends before its line feed, which is consumed; a block comment ends after the '/'
// of a "*/" whose '*' follows the opening "/*".
void ZoScanner::readComment(Cursor &c, unsigned char second) const {
    c.take(1);
    bool star = false;
    for (; !c.atEnd();) {
        const unsigned char b = c.byte();
        c.take(c.widthHere());
        if (second == '-' && b == '\n') {
            c.end = c.pos - 1;
            return;
        }
        if (second == '*' && b == '/' && star)
            return;
        star = b == '*';
    }
    c.reachEnd();
}

void ZoScanner::getDelimitedToken(ZoToken &token, unsigned short delimiter) {
    Cursor c(text_, length_, position_);
    unsigned w = skipWhiteSpace(c, false);
    if (w == 0) {
        finishAtEnd(token, c.pos);
        return;
    }
    token.start_ = c.pos;
    if (c.byte() == delimiter) {
        c.leave();
        finish(token, c, tokenNone);
        return;
    }

    // Inside a quoted stretch only its own quote closes it: the other quote characters and
    // the delimiter are ordinary bytes there.
    unsigned char openQuote = isQuote(c.byte()) ? c.byte() : 0;
    c.take(w);
    while (!c.atEnd()) {
        const unsigned char b = c.byte();
        w = c.widthHere();
        if (openQuote != 0) {
            if (b == openQuote)
                openQuote = 0;
        } else if (b == delimiter) {
            break;
        } else if (b == '(' && groupParens) {
            c.take(w);
            readGroup(c, '(', ')');
            continue;
        } else if (b == '{' && groupBraces) {
            c.take(w);
            readGroup(c, '{', '}');
            continue;
        } else if (isQuote(b)) {
            openQuote = b;
        }
        c.take(w);
    }
    c.atEnd() ? c.reachEnd() : c.leave();
    const uint32_t start = token.start_;
    c.end = start + strRightTrim(text_ + start, c.pos - start);
    finish(token, c, tokenDelimited);
}
