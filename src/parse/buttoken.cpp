// Reading one token of a NUL-terminated text into a caller's buffer, with simple rules of
// its own: the first character (and the one after it) chooses the kind of token, the kind
// says which characters follow.
#include <zo/buttoken.h>

#include <zo/pertask.h>
#include <zo/ramalloc.h>

#include <cstring>

#include "frame/err.h"
#include "platform/charclass.h"
#include "platform/codepage.h"
#include "text/textstep.h"

namespace {

enum class Kind { Word, PlainRun, Quoted, Number, Brace, Operator, Marker, Single };

bool isDigit(unsigned char b) { return b >= '0' && b <= '9'; }
bool isSpaceByte(unsigned char b) { return b == ' ' || (b >= '\t' && b <= '\r'); }
bool isRunBreak(unsigned char b) { return b == ',' || b == '/' || b == '(' || b == ')' || b == '|'; }

bool isTwoCharOperator(unsigned char a, unsigned char b) {
    static const char *const operators[] = {"||", "<>", "<=", ">=", "!=", "!<", "!>", "**", "*=", "=*"};
    for (const char *op : operators)
        if (a == static_cast<unsigned char>(op[0]) && b == static_cast<unsigned char>(op[1]))
            return true;
    return false;
}

// The text being read, a character at a time by the thread's stepping rule; a character
// cut short by the terminating NUL ends there.
struct Text {
    const unsigned char *p;
    const unsigned char *lengths = mdsCharLengthTable();
    const unsigned char *letters = zo::plat::alphaByteTable();

    unsigned char at(unsigned i = 0) const { return p[i]; }
    bool atEnd() const { return *p == 0; }
    unsigned width() const { return static_cast<unsigned>(zo::text::nextChar(p, lengths) - p); }
    // The byte after the current character (0 at the end).
    unsigned char next() const { return atEnd() ? 0 : *zo::text::nextChar(p, lengths); }
    // A character of more than one byte (one cut short by the end of the text included).
    bool isMultiByte(const unsigned char *q) const { return *q >= 0x80 && lengths[*q] > 1; }
    bool isLetter(const unsigned char *q) const { return letters[*q] != 0; }
    bool isWordChar(const unsigned char *q) const { return isLetter(q) || isMultiByte(q) || isDigit(*q) || *q == '_'; }
    // White space: a blank or control of the C locale, or the ideographic space 0x81 0x40
    // where 0x81 starts a double-byte character.
    bool atSpace() const { return isSpaceByte(*p) || (p[0] == 0x81 && p[1] == 0x40 && lengths[0x81] == 2); }
};

// The token being written: into out until it is full, then (by the flags) into a heap
// block, or dropped, or failing.
class Token {
public:
    Token(unsigned char *out, uint32_t outSize, uint16_t flags)
        : out_(out), buffer_(out), outSize_(outSize), size_(outSize), flags_(flags) {}
    ~Token() { ramFree(heap_); }
    Token(const Token &) = delete;
    Token &operator=(const Token &) = delete;

    enum class Put { Stored, TooLong, NoMemory };
    // Stores the n bytes at p, the current position in the text (a heap block is made
    // large enough for the token so far and all of the text from p on).
    Put put(const unsigned char *p, unsigned n) {
        if (dropping_)
            return Put::Stored;
        if (length_ + n > size_ - 1) {
            Put grown = overflow(p);
            if (grown != Put::Stored || dropping_)
                return grown;
        }
        std::memcpy(buffer_ + length_, p, n);
        length_ += n;
        return Put::Stored;
    }
    // The token so far, NUL-terminated.
    const unsigned char *text() {
        buffer_[length_] = 0;
        return buffer_;
    }
    unsigned char *bytes() const { return buffer_; }
    uint32_t length() const { return length_; }
    // Success: the heap block (if any) now belongs to the caller; out's first byte is the
    // token's (after upper-casing).
    void handOver() {
        if (heap_ != nullptr)
            out_[0] = heap_[0];
        heap_ = nullptr;
    }
    // Failure: out holds the token so far as far as it fits, and no heap address.
    void restoreOut() {
        if (heap_ == nullptr)
            return;
        uint32_t n = length_ < outSize_ - 1 ? length_ : outSize_ - 1;
        std::memcpy(out_, heap_, n);
        out_[n] = 0;
    }

private:
    Put overflow(const unsigned char *p) {
        const bool canMove = (flags_ & ButTokenToHeap) != 0 && heap_ == nullptr && outSize_ >= 2 + sizeof(void *);
        if (canMove) {
            const size_t size = std::strlen(reinterpret_cast<const char *>(p)) + 1 + outSize_;
            heap_ = size <= UINT32_MAX ? static_cast<unsigned char *>(ramAlloc(static_cast<uint32_t>(size))) : nullptr;
            if (heap_ == nullptr)
                return Put::NoMemory;
            std::memcpy(heap_, out_, length_);
            out_[1] = 0;
            std::memcpy(out_ + 2, &heap_, sizeof heap_);
            buffer_ = heap_;
            size_ = static_cast<uint32_t>(size);
            return Put::Stored;
        }
        if ((flags_ & ButTokenDrop) != 0) {
            dropping_ = true;
            return Put::Stored;
        }
        return Put::TooLong;
    }

    unsigned char *out_;
    unsigned char *buffer_; // out_, or the heap block once the token moved there
    uint32_t outSize_;
    uint32_t size_; // of buffer_
    uint16_t flags_;
    uint32_t length_ = 0;
    unsigned char *heap_ = nullptr;
    bool dropping_ = false;
};

enum class Read { Ok, TooLong, NoMemory, NotClosed };

Read fromPut(Token::Put put) {
    switch (put) {
    case Token::Put::Stored: return Read::Ok;
    case Token::Put::TooLong: return Read::TooLong;
    case Token::Put::NoMemory: return Read::NoMemory;
    }
    return Read::NoMemory;
}

class Reader {
public:
    Reader(const unsigned char *text, unsigned mode, Token &token) : text_{text}, mode_(mode), token_(token) {}

    const unsigned char *position() const { return text_.p; }
    Kind kind() const { return kind_; }

    Read read() {
        kind_ = classify();
        switch (kind_) {
        case Kind::Word: return word();
        case Kind::PlainRun: return plainRun();
        case Kind::Quoted: return quoted();
        case Kind::Number: return number();
        case Kind::Brace: return brace();
        case Kind::Operator: return take(text_.at() == '(' ? 3 : 2);
        case Kind::Marker: return marker();
        case Kind::Single: return take(1);
        }
        return Read::Ok;
    }

private:
    Kind classify() const {
        const unsigned char c = text_.at(), n = text_.next();
        if (mode_ == 1 && !isRunBreak(c))
            return Kind::PlainRun;
        if (c == '\'' || c == '"' || c == '`')
            return Kind::Quoted;
        if (isDigit(c))
            return mode_ == 4 ? Kind::Word : Kind::Number;
        if (c == '.' && isDigit(n))
            return Kind::Number;
        if (text_.isWordChar(text_.p) || (c == '#' && mode_ == 2) || (c == '.' && mode_ == 3))
            return Kind::Word;
        if (c == '{')
            return Kind::Brace;
        if (c == ':' && mode_ == 4)
            return Kind::Word;
        if (isTwoCharOperator(c, n))
            return Kind::Operator;
        if (c == '(' && n == '+' && text_.at(2) == ')')
            return Kind::Operator;
        if (c == '?')
            return Kind::Marker;
        return Kind::Single;
    }

    // Stores the current character and steps past it.
    Read store() {
        const unsigned w = text_.width();
        Read r = fromPut(token_.put(text_.p, w));
        text_.p += w;
        ++stored_;
        return r;
    }
    // Stores n bytes that are known to be single-byte characters.
    Read take(unsigned n) {
        Read r = fromPut(token_.put(text_.p, n));
        text_.p += n;
        return r;
    }

    bool joinsWord() const {
        const unsigned char c = text_.at();
        if (text_.isWordChar(text_.p))
            return true;
        switch (mode_) {
        case 2: return c == '#' || c == '$';
        case 3: return c == '.' && startsWithDot_;
        case 4: return c == ':' || c == '.';
        default: break;
        }
        return false;
    }

    Read word() {
        startsWithDot_ = text_.at() == '.';
        const bool toEnd = mode_ == 5;
        bool lastWasDot = false;
        while (!text_.atEnd()) {
            if (stored_ > 0 && !toEnd) {
                // A word that starts with '.': once longer than one character, the
                // character after a '.' ends it.
                if (startsWithDot_ && lastWasDot && stored_ > 1)
                    break;
                if (mode_ == 2 && text_.at() == '\\' && isSlashOperand(text_.next())) {
                    if (Read r = take(2); r != Read::Ok)
                        return r;
                    stored_ += 2;
                    lastWasDot = false;
                    continue;
                }
                if (!joinsWord())
                    break;
            }
            lastWasDot = text_.at() == '.';
            if (Read r = store(); r != Read::Ok)
                return r;
        }
        return Read::Ok;
    }

    static bool isSlashOperand(unsigned char b) { return b == '-' || b == '+' || b == '*' || b == '/'; }

    Read plainRun() {
        bool inBackquotes = false;
        while (!text_.atEnd()) {
            const unsigned char c = text_.at();
            if (!inBackquotes && stored_ > 0 && (c <= 0x20 || isRunBreak(c)))
                break;
            if (c == '`')
                inBackquotes = !inBackquotes;
            if (Read r = store(); r != Read::Ok)
                return r;
        }
        return Read::Ok;
    }

    Read quoted() {
        const unsigned char quote = text_.at();
        if (Read r = take(1); r != Read::Ok)
            return r;
        while (!text_.atEnd()) {
            if (text_.at() != quote) {
                if (Read r = store(); r != Read::Ok)
                    return r;
                continue;
            }
            const bool doubled = text_.at(1) == quote;
            if (Read r = take(1); r != Read::Ok)
                return r;
            if (!doubled)
                return Read::Ok;
            ++text_.p; // the second quote of a doubled pair is stored once
        }
        return Read::NotClosed;
    }

    Read number() {
        const bool startsWithPoint = text_.at() == '.';
        if (startsWithPoint)
            if (Read r = take(1); r != Read::Ok)
                return r;
        bool pastPoint = startsWithPoint;
        while (!text_.atEnd()) {
            const unsigned char c = text_.at();
            if (c == '.' && !pastPoint) {
                // In mode 3 a '.' followed by a letter starts a dotted word instead.
                if (mode_ == 3 && text_.isLetter(text_.p + 1))
                    break;
                pastPoint = true;
            } else if (!isDigit(c)) {
                break;
            }
            if (Read r = take(1); r != Read::Ok)
                return r;
        }
        return Read::Ok;
    }

    Read brace() {
        while (!text_.atEnd()) {
            const bool closes = text_.at() == '}';
            if (Read r = store(); r != Read::Ok)
                return r;
            if (closes)
                return Read::Ok;
        }
        return Read::NotClosed;
    }

    Read marker() {
        if (Read r = take(1); r != Read::Ok)
            return r;
        if (!text_.isLetter(text_.p) && !text_.isMultiByte(text_.p))
            return Read::Ok;
        while (!text_.atEnd() && text_.isWordChar(text_.p))
            if (Read r = store(); r != Read::Ok)
                return r;
        return Read::Ok;
    }

    Text text_;
    unsigned mode_;
    Token &token_;
    Kind kind_ = Kind::Single;
    uint32_t stored_ = 0; // characters of a word or run taken so far
    bool startsWithDot_ = false;
};

// Words, plain runs and one-character tokens are upper-cased: by the code page's case in
// ANSI text (double-byte characters untouched), ASCII letters only in UTF-8 text.
void upperCase(unsigned char *bytes, uint32_t n) {
    if (mdsCharLengthTable() != zo::plat::utf8CharLengths()) {
        zo::plat::upperBuffer(bytes, n);
        return;
    }
    for (uint32_t i = 0; i < n; ++i)
        if (bytes[i] >= 'a' && bytes[i] <= 'z')
            bytes[i] = static_cast<unsigned char>(bytes[i] - 0x20);
}

bool keepsCase(Kind kind) { return kind != Kind::Word && kind != Kind::PlainRun && kind != Kind::Single; }

} // namespace

ZoStatus buttoken(unsigned char *out, const unsigned char **cursor, uint16_t flags, uint32_t outSize) {
    if (out == nullptr || cursor == nullptr || *cursor == nullptr || outSize == 0)
        return ZoFailure;
    Text text{*cursor};
    while (!text.atEnd() && text.atSpace())
        text.p += text.width();
    out[0] = 0;
    if (text.atEnd()) {
        if (**cursor != 0)
            *cursor = text.p;
        return ZoSuccess;
    }
    unsigned mode = flags & ButTokenModeMask;
    mode = mode > 6 ? 0 : mode == 6 ? 2 : mode;
    Token token(out, outSize, flags);
    Reader reader(text.p, mode, token);
    const Read read = reader.read();
    token.text();
    if (read != Read::Ok) {
        if (read == Read::TooLong)
            addResourceError(ZoMessage::TokenTooLong) << token.text();
        else if (read == Read::NotClosed)
            addResourceError(ZoMessage::NotClosed) << token.text();
        token.restoreOut();
        return ZoFailure;
    }
    if ((flags & ButTokenKeepCase) == 0 && !keepsCase(reader.kind()))
        upperCase(token.bytes(), token.length());
    token.handOver();
    *cursor = reader.position();
    return ZoSuccess;
}
