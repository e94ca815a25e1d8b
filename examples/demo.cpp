// A short tour of the library, as a driver would use it.
#include <zo/zo.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "../tests/data/sql/sqlgrammar.h"
#include "demo.h"

namespace {

void showPerThreadSlots() {
    std::puts("== per-thread slots");
    static int driverState = 42;
    mdsSetPerThreadData(PerThreadSlot1, &driverState);
    std::printf("main thread slot 1 -> %d\n", *static_cast<int *>(mdsGetPerThreadData(PerThreadSlot1)));
    std::thread other([] {
        std::printf("another thread sees its own slot 1: %s\n",
                    mdsGetPerThreadData(PerThreadSlot1) == nullptr ? "null" : "set");
    });
    other.join();
}

void showCharacterStepping() {
    std::puts("== character stepping");
    const unsigned char text[] = "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC";
    static uint32_t utf8Mode = ZoCharModeUtf8;
    mdsSetPerThreadData(PerThreadCharMode, &utf8Mode);
    const unsigned char *length = mdsCharLengthTable();
    int characters = 0;
    for (const unsigned char *p = text; *p != 0; p += length[*p])
        ++characters;
    std::printf("\"%s\" is %zu bytes and %d UTF-8 characters\n", text,
                std::strlen(reinterpret_cast<const char *>(text)), characters);
    mdsSetPerThreadData(PerThreadCharMode, nullptr);
}

void showMemory() {
    std::puts("== memory");
    unsigned char *copy = ramAllocStr(reinterpret_cast<const unsigned char *>("scratch"));
    void *block = copy;
    if (copy != nullptr && ramResize(&block, 64) == ZoSuccess)
        std::printf("resized block still holds \"%s\"\n", static_cast<char *>(block));
    ramFree(block);
}

void showFiles() {
    std::puts("== files and paths");
    auto text = [](const char *s) { return reinterpret_cast<const unsigned char *>(s); };
    unsigned char written[256] = {};
    int handle = 0;
    if (bosFileOpen(written, BOS_TEMPNAME | BOS_READWRITE, &handle) != ZoSuccess) {
        std::puts("no temporary file could be made");
        return;
    }
    ZoStatus wrote = bosFileWrite(handle, -1, "first line\r\nsecond line\r\n", 25);
    if (bosFileClose(handle) != ZoSuccess || wrote != ZoSuccess) {
        std::puts("the temporary file could not be written");
        (void)bosFileDelete(written); // nothing more to show either way
        return;
    }
    unsigned char dir[256], name[256], ext[8];
    std::memcpy(dir, written, sizeof dir);
    if (bosParseName(dir, name, ext, 0) != ZoSuccess) {
        (void)bosFileDelete(written); // nothing more to show either way
        return;
    }
    std::printf("wrote %s: directory %s, name %s, extension %s\n", written, dir, name, ext);

    unsigned char renamed[256];
    bospath(renamed, dir, text("zodemo"), text("txt"));
    if (bosrname(written, renamed) != ZoSuccess) {
        (void)bosFileDelete(written); // nothing more to show either way
        return;
    }
    unsigned char date[16];
    uint32_t size = 0;
    if (bosFileDateSize(renamed, date, &size) == ZoSuccess)
        std::printf("renamed to %s (%u bytes, written %s)\n", renamed, size, date);

    unsigned char pattern[256];
    bospath(pattern, dir, text("ZoDemo.*"), nullptr);
    unsigned char *cursor = nullptr;
    unsigned char found[256];
    std::memcpy(found, pattern, sizeof found);
    while (bosFindFiles(&cursor, found) == ZoSuccess && cursor != nullptr)
        std::printf("listed with %s: %s\n", pattern, found);

    if (bosFileDelete(renamed) != ZoSuccess)
        std::printf("%s could not be deleted\n", renamed);
    std::printf("after deleting, %s exists: %u\n", renamed, bosexist(renamed));
}

void showErrorList() {
    std::puts("== error list: three calls that fail on purpose, then a warning of the driver's own");
    mdsPerTaskInit(); // loads the message texts (libzoR.so beside libzo.so)
    ZoErrorList errors(nullptr, 1);
    ZoErrorKeeper::setErrorList(&errors);
    // Three calls that fail on purpose, each recording its error in the list.
    uint32_t value = 0;
    (void)convert(reinterpret_cast<const unsigned char *>("4294967296"), &value);
    (void)convert(reinterpret_cast<const unsigned char *>("12 apples"), &value);
    unsigned char bytes[4];
    (void)dehexify(bytes, reinterpret_cast<const unsigned char *>("0FG1"), 4);
    addDatabaseError(7, -1017, reinterpret_cast<const unsigned char *>("login refused by the server"),
                     ErrorTypeWarning);
    for (ZoNode *node = errors.getFirstNode(); node != nullptr; node = errors.getNextNode()) {
        auto *error = static_cast<ZoError *>(node);
        std::printf("%s %u: %s\n", error->isWarning() ? "warning" : "error", error->getErrorNumber(),
                    reinterpret_cast<const char *>(error->getErrorText()));
    }
    ZoErrorKeeper::giveUpErrorList();
    mdsPerTaskTerm();
}

// Walks the whole tree in one direction, checking that every key passes the one before.
void walkTree(ZoTree &tree, ZoTreeIterator &it, bool forward) {
    uint32_t key = 0, data = 0, previous = 0, count = 0;
    unsigned found = 0;
    bool ordered = true;
    ZoStatus step = forward ? tree.getFirst(&key, &data, &found, &it) : tree.getLast(&key, &data, &found, &it);
    for (; step == ZoSuccess && found != 0; ++count) {
        ordered = ordered && (count == 0 || (forward ? key > previous : key < previous));
        previous = key;
        step = forward ? tree.getNext(&key, &data, &found, &it) : tree.getPrevious(&key, &data, &found, &it);
    }
    const char *direction = forward ? "forward" : "backward";
    if (step != ZoSuccess) {
        std::printf("%s: a page could not be read after %u keys\n", direction, count);
        return;
    }
    std::printf("%s: %u keys, %s, %s %u\n", direction, count,
                ordered ? (forward ? "ascending" : "descending") : "OUT OF ORDER", forward ? "last" : "first",
                previous);
}

void showTree() {
    std::puts("== B-tree on the scratch store");
    ZoTree tree(4, 4, treeU32Compare, 1, 0, 1);
    unsigned found;
    for (uint32_t i = 0; i < 100000; ++i) {
        uint32_t key = i * 2654435761u; // a permutation of the 32-bit numbers: no repeats
        if (tree.add(&key, &i, &found) != ZoSuccess) {
            std::puts("add failed");
            return;
        }
    }
    std::printf("%u keys in %u nodes; %u pages went through the backing file, the cache holds 16, %u inner-node pages "
                "are pinned\n",
                tree.getKeyCount(), tree.getNodeCount(), tree.getStore().getPagesInFile(),
                tree.getStore().getPinnedPages());
    ZoTreeIterator it;
    if (it.initialize(&tree) != ZoSuccess) {
        std::puts("no iterator could be made");
        return;
    }
    walkTree(tree, it, true);
    walkTree(tree, it, false);
}

// What a token of the SQL grammar is: one of the grammar's keywords, or a token type of
// the lexer.
const char *tokenKind(short type) {
    for (const resourceElement &keyword : zosql::kKeywords)
        if (keyword.value == type)
            return "keyword";
    switch (type) {
    case lexEnd: return "end of text";
    case lexWord: return "word";
    case lexLiteral: return "literal";
    case lexNumber: return "number";
    case lexQuote: return "quote";
    case lexLiteralContents: return "literal text";
    default: return type >= lexFirstPunctuation && type <= lexLastPunctuation ? "punctuation" : "token";
    }
}

const char *productionName(ZoParser &parser, short number) {
    const unsigned char *name = nullptr;
    ZoProduction *p = parser.getGrammar()->getGoal()->findByNumber(number);
    if (p == nullptr || p->getName(&name) != ZoSuccess || name == nullptr)
        return "?";
    return reinterpret_cast<const char *>(name);
}

// The only child of a production node when that child is a production too, else null.
ZoReduction *onlyProductionChild(const ZoReduction *node) {
    ZoReduction *child = nullptr, *next = nullptr;
    if (node->getChild(&child) != ZoSuccess || child == nullptr || child->terminal())
        return nullptr;
    if (child->getNextSibling(&next) != ZoSuccess || next != nullptr)
        return nullptr;
    return child;
}

// Prints a reduction tree one node per line: a token as its text and kind, a production by
// its name. A chain of productions that each consist of one production is shown on one line
// as "outer > inner".
void printReduction(ZoParser &parser, ZoReduction *node, int depth) {
    for (; node != nullptr;) {
        std::printf("%*s", depth * 2, "");
        if (node->terminal()) {
            std::printf("'%s' %s\n", node->string() != nullptr ? reinterpret_cast<const char *>(node->string()) : "",
                        tokenKind(node->reductNumber()));
        } else {
            ZoReduction *last = node;
            std::printf("%s", productionName(parser, node->reductNumber()));
            for (ZoReduction *inner = onlyProductionChild(last); inner != nullptr; inner = onlyProductionChild(last)) {
                std::printf(" > %s", productionName(parser, inner->reductNumber()));
                last = inner;
            }
            std::printf("\n");
            ZoReduction *child = nullptr;
            if (last->getChild(&child) == ZoSuccess)
                printReduction(parser, child, depth + 1);
        }
        if (node->getNextSibling(&node) != ZoSuccess)
            break;
    }
}

// Keeps what the parse engine reports about a syntax error: it asks from the outermost
// production inwards, so the last production asked is the one that could not go on.
class ReportingParser : public ZoParser {
public:
    using ZoParser::ZoParser;

    int FailProc(short tokenType, const unsigned char *tokenText, short, const unsigned char *name,
                 ZoStateTransition *expected) override {
        token_ = tokenText != nullptr ? reinterpret_cast<const char *>(tokenText) : "";
        tokenKind_ = tokenKind(tokenType);
        production_ = name != nullptr ? reinterpret_cast<const char *>(name) : "?";
        expected_.clear();
        for (ZoStateTransition *t = expected; t != nullptr;) {
            const unsigned char *text = t->getTokenString();
            expected_ += ' ';
            expected_ +=
                text != nullptr && *text != 0 ? reinterpret_cast<const char *>(text) : tokenKind(t->getTokenType());
            if (t->getNextTransition(&t) != ZoSuccess)
                break; // the last transition of the list
        }
        return 0; // ask the next production inwards too
    }

    void printFailure() const {
        std::printf("rejected at the %s '%s' inside %s, which expected one of:%s\n", tokenKind_, token_.c_str(),
                    production_.c_str(), expected_.c_str());
    }

private:
    std::string token_, production_, expected_; // expected: the tokens the failing state accepts
    const char *tokenKind_ = "";
};

void showParse() {
    std::puts("== parsing SQL with a grammar compiled at run time");
    ReportingParser parser(const_cast<resourceElement *>(zosql::kGrammar), zosql::kGrammarCount,
                           const_cast<resourceElement *>(zosql::kKeywords), zosql::kKeywordCount);
    if (!parser.isOK()) {
        std::puts("the grammar did not compile");
        return;
    }
    const char *sql = "SELECT name, COUNT(*) AS n FROM staff WHERE hired >= {d '2020-01-01'} AND grade IN (1, ?) "
                      "GROUP BY name";
    std::printf("%s\n", sql);
    std::puts("parses into this tree (productions by name, tokens as 'text' kind):");
    ZoReduction *tree = nullptr;
    if (parser.parse(reinterpret_cast<const unsigned char *>(sql), &tree) != ZoSuccess) {
        std::puts("the statement did not parse");
        return;
    }
    printReduction(parser, tree, 1);
    delete tree;

    const char *wrong = "SELECT FROM t";
    std::printf("%s\nhas no select list, and the parser is meant to refuse it:\n", wrong);
    ZoReduction *none = nullptr;
    if (parser.parse(reinterpret_cast<const unsigned char *>(wrong), &none) == ZoSuccess) {
        std::puts("parsed, which it should not have been");
        delete none;
        return;
    }
    parser.printFailure();
}

void showConnectionString() {
    std::puts("== connection string");
    mdsPerTaskInit();
    ZoErrorList errors(nullptr, 1);
    ZoErrorKeeper::setErrorList(&errors);
    const auto u = [](const char *text) { return reinterpret_cast<const unsigned char *>(text); };
    const char *text = "DSN=sales; Data Source = 'srv;eu' ;UID=ann;PWD=secret;Trace=1";
    ZoSubString view(u(text), static_cast<uint32_t>(std::strlen(text)));
    ZoValueParser parser(&view, ';', u("demo"), 0);
    if (parser.initialize() != ZoSuccess) {
        std::printf("not parsed: %s\n", reinterpret_cast<const char *>(ZoErrorKeeper::getLastError()->getErrorText()));
    } else {
        const ZoSubString *source = parser.getAttributeValue(u("data source"));
        const ZoSubString *user = nullptr;
        if (source != nullptr && parser.getAttributeValue(u("User ID"), u("UID"), user) == ZoSuccess && user != nullptr)
            std::printf("data source %.*s, user %.*s\n", static_cast<int>(source->length()),
                        reinterpret_cast<const char *>(source->data()), static_cast<int>(user->length()),
                        reinterpret_cast<const char *>(user->data()));
        for (const ZoSubString *key = parser.getUnusedAttribute(); key != nullptr; key = parser.getUnusedAttribute())
            std::printf("not asked for: %.*s\n", static_cast<int>(key->length()),
                        reinterpret_cast<const char *>(key->data()));
        parser.removeAttribute(u("PWD"));
        ZoString rebuilt;
        if (parser.addAttribute(u("User ID"), u("o'neil"), u("UID")) == ZoSuccess &&
            parser.addAttribute(u("APP"), u("demo;tour"), nullptr) == ZoSuccess &&
            parser.buildString(&rebuilt) == ZoSuccess)
            std::printf("rebuilt: %.*s\n", static_cast<int>(rebuilt.length()),
                        reinterpret_cast<const char *>(rebuilt.data()));
        else
            std::puts("the string could not be rebuilt (no memory)");
    }
    const char *bad = "DSN=a;dsn=b";
    std::printf("%s gives the same attribute twice, and the parser is meant to refuse it:\n", bad);
    ZoSubString badView(u(bad), static_cast<uint32_t>(std::strlen(bad)));
    ZoValueParser duplicate(&badView, ';', u("demo"), 0);
    if (duplicate.initialize() == ZoSuccess)
        std::puts("accepted, which it should not have been");
    else
        std::printf("error %u: %s\n", ZoErrorKeeper::getLastErrorNumber(),
                    reinterpret_cast<const char *>(ZoErrorKeeper::getLastError()->getErrorText()));
    ZoErrorKeeper::giveUpErrorList();
    mdsPerTaskTerm();
}

} // namespace

int main() {
    showPerThreadSlots();
    showCharacterStepping();
    showMemory();
    showFiles();
    showErrorList();
    showTree();
    showStore();
    showConnectionString();
    showParse();
    showText();
    showThreads();
    showQueryFile();
    showProfiles();
    return 0;
}
