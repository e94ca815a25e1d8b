// The grammar compiler: reads production texts into element trees, resolves references,
// computes first lists, builds the parse states and finds the goal.
#include "parse/parseint.h"

#include <zo/zolexer.h>

#include <initializer_list>

namespace {

// Brackets nested deeper than this are rejected, which bounds the compiler's recursion.
constexpr int kMaxBracketDepth = 64;

// Lexer types of the grammar notation's punctuation.
enum : short {
    typeTilde = 8,
    typeStar = 17,
    typePlus = 22,
    typeEquals = 23,
    typeBar = 24,
    typeBackslash = 25,
    typeOpenBrace = 26,
    typeOpenBracket = 27,
    typeCloseBrace = 28,
    typeCloseBracket = 29,
    typeColon = 30,
    typeUnterminated = 4
};

bool isLower(unsigned char c) { return c >= 'a' && c <= 'z'; }

bool isLowerWord(const unsigned char *text) {
    if (text == nullptr || *text == 0)
        return false;
    for (; *text != 0; ++text)
        if (!isLower(*text))
            return false;
    return true;
}

// Lowercase letters joined by single hyphens.
bool isName(const unsigned char *text) {
    if (text == nullptr || !isLower(text[0]))
        return false;
    for (++text; *text != 0; ++text)
        if (!isLower(*text) && !(*text == '-' && isLower(text[1])))
            return false;
    return true;
}

bool sameText(const unsigned char *a, const unsigned char *b) {
    return BUTSTCMP(reinterpret_cast<const char *>(a), reinterpret_cast<const char *>(b)) == 0;
}

// The built-in terminal a name stands for, or 0 when it is no built-in.
short builtinType(const unsigned char *name) {
    static const struct {
        const char *name;
        short type;
    } builtins[] = {{"alphanum", lexWord},
                    {"number", lexNumber},
                    {"literal-contents", lexLiteralContents},
                    {"literal-quote-char", lexQuote}};
    for (const auto &b : builtins)
        if (sameText(name, reinterpret_cast<const unsigned char *>(b.name)))
            return b.type;
    return 0;
}

bool isReference(const ZoBNFElement *item) {
    const unsigned char *text = item->getTokenStringPtr();
    return item->getBracket() == bracketNone && item->getTokenType() == lexWord && text != nullptr &&
           !item->getLiteral() && isLower(text[0]);
}

// Appends item after last in a sequence (or starts it).
void linkSequential(ZoBNFElement *&first, ZoBNFElement *&last, ZoBNFElement *item) {
    if (first == nullptr) {
        first = item;
    } else {
        // Link setters always succeed.
        (void)last->setNextSequential(item);
        (void)item->setPrevSequential(last);
    }
    last = item;
}

// Reads one production text with the lexer. Each read function returns failure for a text
// that breaks the notation, a lexer failure or an exhausted allocation; whatever it built is
// then owned by the element tree already linked, so the caller deletes one tree.
class ProductionReader {
public:
    explicit ProductionReader(ZoLexer *lexer) : lexer_(lexer) {}

    ZoStatus read(ZoProduction *production) {
        const unsigned char *name = nullptr;
        if (readName(&name) != ZoSuccess || builtinType(name) != 0 || production->setName(name) != ZoSuccess)
            return ZoFailure;
        for (short expected : {typeColon, typeColon, typeEquals})
            if (next() != ZoSuccess || type_ != expected)
                return ZoFailure;
        ZoBNFElement *first = nullptr;
        ZoStatus status = readAlternatives(&first, 0);
        (void)production->setCompiledProduction(first); // a link setter: always succeeds
        if (status != ZoSuccess || next() != ZoSuccess)
            return ZoFailure;
        return type_ == lexEnd ? ZoSuccess : ZoFailure;
    }

private:
    ZoStatus next() {
        uint16_t type = 0;
        ZoStatus status = lexer_->nextToken(&type, &text_);
        type_ = static_cast<short>(type);
        return status;
    }

    // A name: lowercase letters and hyphens, read with '-' as a word character.
    ZoStatus readName(const unsigned char **name) {
        static const unsigned char hyphen[] = "-";
        if (lexer_->setExtraChars(nullptr, hyphen, nullptr) != ZoSuccess)
            return ZoFailure;
        ZoStatus status = next();
        (void)lexer_->setExtraChars(nullptr, nullptr, nullptr); // clearing allocates nothing
        if (status != ZoSuccess || type_ != lexWord || !isName(text_))
            return ZoFailure;
        *name = text_;
        return ZoSuccess;
    }

    // Alternatives separated by '|'; the token after the last one is left unread.
    ZoStatus readAlternatives(ZoBNFElement **first, int depth) {
        ZoBNFElement *last = nullptr;
        for (;;) {
            ZoBNFElement *seq = nullptr;
            ZoStatus status = readSequence(&seq, depth);
            if (seq != nullptr) {
                if (last == nullptr) {
                    *first = seq;
                } else {
                    (void)last->setNextAlternation(seq); // link setters always succeed
                    (void)seq->setPrevAlternation(last);
                }
                last = seq;
            }
            if (status != ZoSuccess || next() != ZoSuccess)
                return ZoFailure;
            if (type_ != typeBar) {
                lexer_->putBack();
                return ZoSuccess;
            }
        }
    }

    ZoStatus readSequence(ZoBNFElement **first, int depth) {
        ZoBNFElement *last = nullptr;
        for (;;) {
            if (next() != ZoSuccess)
                return ZoFailure;
            if (type_ == typeOpenBrace || type_ == typeOpenBracket) {
                if (readBracket(*first, last, depth) != ZoSuccess)
                    return ZoFailure;
            } else {
                lexer_->putBack();
                int items = 0;
                if (readRun(*first, last, &items) != ZoSuccess || items == 0)
                    return ZoFailure; // an empty alternative or a stray token
            }
            if (next() != ZoSuccess)
                return ZoFailure;
            lexer_->putBack();
            if (type_ == lexEnd || type_ == typeBar || type_ == typeCloseBrace || type_ == typeCloseBracket)
                return ZoSuccess;
        }
    }

    // The opening '{' or '[' has been read.
    ZoStatus readBracket(ZoBNFElement *&first, ZoBNFElement *&last, int depth) {
        if (depth >= kMaxBracketDepth)
            return ZoFailure;
        bool group = type_ == typeOpenBrace;
        auto *item = new ZoBNFElement;
        if (item == nullptr)
            return ZoFailure;
        linkSequential(first, last, item);
        // Element setters store a value or a link: they always succeed.
        (void)item->setBracket(group ? bracketGroup : bracketOptional);
        ZoBNFElement *contents = nullptr;
        ZoStatus status = readAlternatives(&contents, depth + 1);
        (void)item->setContains(contents);
        if (status != ZoSuccess || next() != ZoSuccess || type_ != (group ? typeCloseBrace : typeCloseBracket))
            return ZoFailure;
        if (!group)
            return ZoSuccess;
        if (next() != ZoSuccess)
            return ZoFailure;
        if (type_ == typeStar)
            (void)item->setClosure(closureZeroOrMore);
        else if (type_ == typePlus)
            (void)item->setClosure(closureOneOrMore);
        else
            lexer_->putBack();
        return ZoSuccess;
    }

    // Simple items up to the end, an unterminated literal, '|' or a bracket character.
    ZoStatus readRun(ZoBNFElement *&first, ZoBNFElement *&last, int *items) {
        for (;;) {
            if (next() != ZoSuccess)
                return ZoFailure;
            if (type_ == lexEnd || type_ == typeUnterminated || type_ == typeBar ||
                (type_ >= typeOpenBrace && type_ <= typeCloseBracket)) {
                lexer_->putBack();
                return ZoSuccess;
            }
            auto *item = new ZoBNFElement;
            if (item == nullptr)
                return ZoFailure;
            linkSequential(first, last, item);
            ++*items;
            if (readSimpleItem(item) != ZoSuccess)
                return ZoFailure;
        }
    }

    // The item's first token has been read.
    ZoStatus readSimpleItem(ZoBNFElement *item) {
        if (type_ == lexWord) {
            if (!isLowerWord(text_))
                return ZoFailure; // not a keyword and not a name
            lexer_->putBack();
            const unsigned char *name = nullptr;
            if (readName(&name) != ZoSuccess)
                return ZoFailure;
            short builtin = builtinType(name);
            (void)item->setTokenType(builtin != 0 ? builtin : short{lexWord}); // setters always succeed
            return builtin != 0 ? ZoSuccess : item->setTokenString(name);
        }
        if (type_ == typeBackslash || type_ == typeTilde) {
            bool tilde = type_ == typeTilde;
            if (next() != ZoSuccess || type_ == lexEnd)
                return ZoFailure;
            (void)item->setTokenType(tilde ? short{lexWord} : type_); // setters always succeed
            (void)item->setLiteral(tilde);
            return item->setTokenString(text_);
        }
        (void)item->setTokenType(type_); // setters always succeed
        return item->setTokenString(text_);
    }

    ZoLexer *lexer_;
    short type_ = 0;
    const unsigned char *text_ = nullptr;
};

// Depth-first walk over every item of a tree (contents, next alternation, next sequential),
// iterative so that long sequences need no deep recursion: visit(item) returns failure to
// stop the walk.
template <class Visit>
ZoStatus forEachItem(ZoBNFElement *first, Visit visit) {
    // The walk keeps its own stack of pending items in an allocated block.
    uint32_t capacity = 64, count = 0;
    auto **stack = static_cast<ZoBNFElement **>(ramAlloc(capacity * sizeof(ZoBNFElement *)));
    if (stack == nullptr)
        return ZoFailure;
    ZoStatus status = ZoSuccess;
    if (first != nullptr)
        stack[count++] = first;
    while (count > 0 && status == ZoSuccess) {
        ZoBNFElement *item = stack[--count];
        if ((status = visit(item)) != ZoSuccess)
            break;
        ZoBNFElement *links[3] = {nullptr, nullptr, nullptr};
        // A getter leaves its null in place when there is no such link.
        (void)item->getNextSequential(&links[0]);
        (void)item->getNextAlternation(&links[1]);
        (void)item->getContains(&links[2]);
        for (ZoBNFElement *link : links) {
            if (link == nullptr)
                continue;
            if (count == capacity) {
                void *grown = stack;
                if (ramResize(&grown, 2 * capacity * sizeof(ZoBNFElement *)) != ZoSuccess) {
                    status = ZoFailure;
                    break;
                }
                stack = static_cast<ZoBNFElement **>(grown);
                capacity *= 2;
            }
            stack[count++] = link;
        }
    }
    ramFree(stack);
    return status;
}

} // namespace

// ---- ZoGrammar ------------------------------------------------------------------------------

// A grammar that does not compile has no goal, which its users check.
ZoGrammar::ZoGrammar(const void *packed, ZoKeywordList *keywords) : keywords_(keywords) { (void)compile(packed); }

ZoGrammar::ZoGrammar(resourceElement *productions, unsigned short count, ZoKeywordList *keywords)
    : keywords_(keywords) {
    unsigned char *packed = zoPackResourceElements(productions, count);
    if (packed != nullptr)
        (void)compile(packed); // failure leaves no goal, as above
    ramFree(packed);
}

ZoGrammar::~ZoGrammar() {
    release();
    ramFree(goalName_);
}

void ZoGrammar::release() {
    delete productions_;
    productions_ = goal_ = nullptr;
    stateCount_ = 0;
    ok_ = 0;
}

ZoStatus ZoGrammar::compile(const void *packed) {
    release();
    if (keywords_ == nullptr)
        return ZoFailure;
    // Keywords in grammar texts match exactly; words of parsed statements ignore case.
    keywords_->setCaseSensitive(1);
    ZoStatus status = compileProductions(static_cast<const unsigned char *>(packed));
    keywords_->setCaseSensitive(0);
    if (status != ZoSuccess)
        return ZoFailure;
    if (zo::parse::computeFirstLists(productions_) != ZoSuccess)
        return ZoFailure;
    for (ZoProduction *p = productions_; p != nullptr;) {
        if (zo::parse::buildStates(p, &stateCount_) != ZoSuccess)
            return ZoFailure;
        if (p->getNextProduction(&p) != ZoSuccess)
            break;
    }
    const unsigned char *goalName = goalName_ != nullptr ? goalName_ : reinterpret_cast<const unsigned char *>("goal");
    if (changeGoal(goalName) != ZoSuccess)
        return ZoFailure;
    ok_ = 1;
    return ZoSuccess;
}

ZoStatus ZoGrammar::compileProductions(const unsigned char *block) {
    if (block == nullptr || *block == 0)
        return ZoFailure;
    ZoProduction *last = nullptr;
    while (*block != 0) {
        const unsigned char *text = block;
        block += BUTSTLEN(reinterpret_cast<const char *>(text)) + 1;
        auto number = static_cast<short>(block[0] | (block[1] << 8));
        block += 2;
        auto *production = new ZoProduction;
        if (production == nullptr || production->getParseState() == nullptr) {
            delete production;
            return ZoFailure;
        }
        auto *lexer = new ZoLexer(text, keywords_);
        ZoStatus status = ZoFailure;
        if (lexer != nullptr && lexer->isValid()) {
            lexer->setQuoteChars(0, 0, 0);
            status = ProductionReader(lexer).read(production);
        }
        delete lexer;
        if (status != ZoSuccess) {
            delete production;
            return ZoFailure;
        }
        (void)production->setNumber(number); // setters always succeed
        if (last == nullptr)
            productions_ = production;
        else
            (void)last->setNextProduction(production);
        last = production;
    }
    return resolveReferences();
}

ZoStatus ZoGrammar::resolveReferences() {
    for (ZoProduction *p = productions_; p != nullptr;) {
        ZoBNFElement *first = nullptr;
        (void)p->getCompiledProduction(&first); // stays null for an empty production
        ZoStatus status = forEachItem(first, [this](ZoBNFElement *item) {
            if (!isReference(item))
                return ZoSuccess;
            ZoProduction *target = findByName(item->getTokenStringPtr());
            if (target == nullptr)
                return ZoFailure; // undefined name
            return item->setNonTerminal(target);
        });
        if (status != ZoSuccess)
            return ZoFailure;
        if (p->getNextProduction(&p) != ZoSuccess)
            break;
    }
    return ZoSuccess;
}

ZoProduction *ZoGrammar::findByName(const unsigned char *name) const {
    for (ZoProduction *p = productions_; p != nullptr;) {
        const unsigned char *own = nullptr;
        if (p->getName(&own) == ZoSuccess && sameText(own, name))
            return p;
        if (p->getNextProduction(&p) != ZoSuccess)
            break;
    }
    return nullptr;
}

ZoStatus ZoGrammar::changeGoal(const unsigned char *name) {
    ZoProduction *goal = name != nullptr ? findByName(name) : nullptr;
    if (goal == nullptr)
        return ZoFailure;
    if (name != goalName_) {
        unsigned char *copy = ramAllocStr(name);
        if (copy == nullptr)
            return ZoFailure;
        ramFree(goalName_);
        goalName_ = copy;
    }
    goal_ = goal;
    return ZoSuccess;
}
