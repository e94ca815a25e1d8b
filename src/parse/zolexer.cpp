// The lexer: scanner tokens turned into typed tokens, with split literals, operators
// delivered one character at a time, and saved positions.
#include <zo/zolexer.h>

#include <cstring>

#include <zo/ramalloc.h>

namespace {

// The tokenOther characters that have a lexer type; every other one has none.
bool isTypedOther(unsigned char c) { return c == '[' || c == '\\' || c == ']' || c == '^' || c == '_' || c == '~'; }

// Scanner kinds are below the first printable character; operator codes are not.
constexpr int32_t kFirstOperatorCode = 0x20;

ZoStatus copyString(ZoString &to, const unsigned char *text) {
    to.unInitialize();
    return text != nullptr ? to.initialize(text) : ZoSuccess;
}

// Sets a scanner's character set to the concatenation of two strings.
ZoStatus setChars(ZoString &set, const ZoString &a, const ZoString &b) {
    set.unInitialize();
    if (a.length() == 0 && b.length() == 0)
        return ZoSuccess;
    if (set.initialize(a.length() + b.length(), 0) != ZoSuccess || set.concat(a.data(), a.length()) != ZoSuccess ||
        set.concat(b.data(), b.length()) != ZoSuccess) {
        set.unInitialize();
        return ZoFailure;
    }
    return ZoSuccess;
}

} // namespace

ZoLexer::ZoLexer(const unsigned char *text, ZoKeywordList *keywords) : keywords_(keywords) {
    main_ = new ZoScanner(text);
    if (main_ != nullptr)
        main_->decimalNumbers = false;
    current_ = main_;
}

ZoLexer::~ZoLexer() {
    delete literal_;
    delete main_;
    ramFree(text_);
}

void ZoLexer::setQuoteChars(unsigned short q1, unsigned short q2, unsigned short q3) {
    if (current_ != nullptr)
        current_->setQuoteChars(q1, q2, q3);
}

ZoStatus ZoLexer::setExtraChars(const unsigned char *first, const unsigned char *middle, const unsigned char *both) {
    if (copyString(extraFirst_, first) != ZoSuccess || copyString(extraMiddle_, middle) != ZoSuccess ||
        copyString(extraBoth_, both) != ZoSuccess)
        return ZoFailure;
    return main_ != nullptr ? applyExtraChars(*main_) : ZoSuccess;
}

ZoStatus ZoLexer::applyExtraChars(ZoScanner &scanner) const {
    if (setChars(scanner.validFirstChars, extraFirst_, extraBoth_) != ZoSuccess ||
        setChars(scanner.validMiddleChars, extraMiddle_, extraBoth_) != ZoSuccess)
        return ZoFailure;
    return ZoSuccess;
}

// A scanner over the inside of a literal (its quotes cut off), with quoting and decimal
// numbers off and the lexer's extra word characters.
ZoScanner *ZoLexer::makeLiteralScanner(const ZoToken &literal) const {
    auto *scanner = new ZoScanner(literal.data() + 1, literal.length() - 2);
    if (scanner == nullptr)
        return nullptr;
    scanner->decimalNumbers = false;
    scanner->setQuoteChars(0, 0, 0);
    if (applyExtraChars(*scanner) != ZoSuccess) {
        delete scanner;
        return nullptr;
    }
    return scanner;
}

void ZoLexer::releaseLiteral() {
    delete literal_;
    literal_ = nullptr;
    current_ = main_;
}

// Reads the literal token again from the main scanner, which then stands after it.
void ZoLexer::rereadLiteralToken(const ZoToken &literal) {
    main_->unGetToken(literal);
    main_->getToken(literalToken_, searchNormal);
}

ZoStatus ZoLexer::deliver(uint16_t type, const unsigned char *bytes, uint32_t n, uint16_t *outType,
                          const unsigned char **outText) {
    if (n >= textCapacity_) {
        void *block = text_;
        if (ramResize(&block, n + 1) != ZoSuccess)
            return ZoFailure;
        text_ = static_cast<unsigned char *>(block);
        textCapacity_ = n + 1;
    }
    if (n != 0)
        std::memmove(text_, bytes, n);
    text_[n] = 0;
    *outType = type;
    *outText = text_;
    return ZoSuccess;
}

ZoStatus ZoLexer::nextToken(uint16_t *type, const unsigned char **text) {
    if (current_ == nullptr)
        return ZoFailure;
    if (charIndex_ > 0 && static_cast<uint32_t>(charIndex_) < charCount())
        return deliverChar(type, text);

    // Inside a literal the current token is the literal itself until the first inner token
    // is read; a literal whose first read finds the end has one empty word inside.
    const bool firstInside = isInsideLiteral() && token_.kind() == tokenLiteral;
    current_->getToken(token_, searchNormal);
    charIndex_ = 0;
    if (token_.kind() == tokenEnd && isInsideLiteral()) {
        if (firstInside)
            return deliver(lexWord, literalToken_.data() + 1, literalToken_.length() - 2, type, text);
        return endLiteral(type, text);
    }
    if (token_.kind() == tokenLiteral && literal_ == nullptr)
        return startLiteral(type, text);
    return classify(type, text);
}

ZoStatus ZoLexer::classify(uint16_t *type, const unsigned char **text) {
    const int32_t kind = token_.kind();
    switch (kind) {
    case tokenNone:
    case tokenEnd:
    case tokenLiteral:
    case tokenUnterminated:
    case tokenNumber: return deliver(static_cast<uint16_t>(kind), token_.data(), token_.length(), type, text);
    case tokenWord: {
        if (deliver(lexWord, token_.data(), token_.length(), type, text) != ZoSuccess)
            return ZoFailure;
        uint16_t keyword = 0;
        if (keywords_ != nullptr && keywords_->findKeyword(text_, &keyword))
            *type = keyword;
        return ZoSuccess;
    }
    case tokenOther:
        if (!isTypedOther(token_.data()[0]))
            return ZoFailure;
        return deliver(zoLexerCharType(token_.data()[0]), token_.data(), 1, type, text);
    case tokenOuterJoin: return deliverChar(type, text);
    default:
        if (kind < kFirstOperatorCode)
            return ZoFailure; // plain runs, names, delimited items and comments have no type
        if (kind > 0xFF)
            return deliverChar(type, text);
        return deliver(zoLexerCharType(static_cast<unsigned char>(kind)), token_.data(), 1, type, text);
    }
}

// Characters a token delivers one at a time: every character of an operator; of a split
// literal, its two quotes (so that the index of a long literal fits in 16 bits).
uint32_t ZoLexer::charCount() const { return token_.kind() == tokenLiteral ? 2 : token_.length(); }

// Delivers the character at the character index of a multi-character token, and counts it.
// The second character of a literal token is the closing quote of a split literal,
// delivered again after a put-back or a restored position: the lexer is then back in the
// main text.
ZoStatus ZoLexer::deliverChar(uint16_t *type, const unsigned char **text) {
    ZoStatus status;
    if (token_.kind() == tokenLiteral) {
        releaseLiteral();
        status = deliver(lexQuote, token_.data() + token_.length() - 1, 1, type, text);
    } else {
        const unsigned char *c = token_.data() + charIndex_;
        status = deliver(zoLexerCharType(*c), c, 1, type, text);
    }
    if (status == ZoSuccess)
        ++charIndex_;
    return status;
}

ZoStatus ZoLexer::startLiteral(uint16_t *type, const unsigned char **text) {
    ZoScanner *scanner = makeLiteralScanner(token_);
    if (scanner == nullptr)
        return ZoFailure;
    rereadLiteralToken(token_);
    literal_ = scanner;
    current_ = literal_;
    return deliver(lexQuote, literalToken_.data(), 1, type, text);
}

ZoStatus ZoLexer::endLiteral(uint16_t *type, const unsigned char **text) {
    releaseLiteral();
    token_ = literalToken_;
    charIndex_ = static_cast<int16_t>(charCount());
    return deliver(lexQuote, token_.data() + token_.length() - 1, 1, type, text);
}

void ZoLexer::putBack() {
    if (current_ == nullptr || (charIndex_ > 0 && --charIndex_ > 0))
        return;
    if (isInsideLiteral() && token_.kind() == tokenLiteral) {
        // Undoing the opening quote: the literal is read again from the main text.
        releaseLiteral();
        main_->unGetToken(literalToken_);
        return;
    }
    current_->unGetToken(token_);
    if (isInsideLiteral() && token_.kind() == tokenEnd)
        token_ = literalToken_; // the empty word of an empty literal comes again
}

ZoStatus ZoLexer::takeLiteralContents(const unsigned char **text) {
    if (!isInsideLiteral())
        return ZoFailure;
    uint16_t type = 0;
    if (deliver(lexLiteralContents, literalToken_.data() + 1, literalToken_.length() - 2, &type, text) != ZoSuccess)
        return ZoFailure;
    do
        literal_->getToken(token_, searchNormal);
    while (token_.kind() != tokenEnd);
    charIndex_ = 0;
    return ZoSuccess;
}

ZoStatus ZoLexer::savePosition(ZoToken **token, int16_t *charIndex, ZoScanner **literalScanner,
                               ZoToken **literalToken) {
    *token = nullptr;
    *literalScanner = nullptr;
    *literalToken = nullptr;
    *charIndex = charIndex_;
    if (current_ == nullptr)
        return ZoFailure;
    // At the start of the text (or of a literal, unless its empty word has been delivered)
    // there is no token to copy.
    const bool atStart = current_->position() == 0 && !(isInsideLiteral() && token_.kind() == tokenEnd);
    if (!atStart) {
        *token = new ZoToken;
        if (*token == nullptr)
            return ZoFailure;
        **token = token_;
    }
    if (literal_ != nullptr) {
        *literalScanner = makeLiteralScanner(literalToken_);
        *literalToken = new ZoToken;
        if (*literalScanner == nullptr || *literalToken == nullptr) {
            delete *token;
            delete *literalScanner;
            delete *literalToken;
            *token = nullptr;
            *literalScanner = nullptr;
            *literalToken = nullptr;
            return ZoFailure;
        }
        (*literalScanner)->setPosition(*token != nullptr ? (*token)->endOffset() : 0);
        **literalToken = literalToken_;
    }
    return ZoSuccess;
}

ZoStatus ZoLexer::restorePosition(const ZoToken *token, int16_t charIndex, const ZoScanner *literalScanner,
                                  const ZoToken *literalToken) {
    if (main_ == nullptr)
        return ZoFailure;
    releaseLiteral();
    if (literalScanner != nullptr && literalToken != nullptr) {
        literal_ = makeLiteralScanner(*literalToken);
        if (literal_ == nullptr)
            return ZoFailure;
        current_ = literal_;
        rereadLiteralToken(*literalToken);
    }
    charIndex_ = 0;
    uint16_t type = 0;
    const unsigned char *text = nullptr;
    if (token == nullptr) {
        current_->setPosition(0);
        if (literal_ == nullptr)
            return ZoSuccess;
        token_ = literalToken_;
        return deliver(lexQuote, literalToken_.data(), 1, &type, &text);
    }
    // Deliver the saved token again; inside a literal the literal token stands for the
    // token before it, so that an empty literal's word comes again too.
    current_->unGetToken(*token);
    token_ = literal_ != nullptr ? literalToken_ : *token;
    if (nextToken(&type, &text) != ZoSuccess)
        return ZoFailure;
    if (charIndex > 1) {
        charIndex_ = static_cast<int16_t>(charIndex - 1);
        return nextToken(&type, &text);
    }
    return ZoSuccess;
}
