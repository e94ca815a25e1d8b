// A short tour of the library, as a driver would use it.
#include <zo/zo.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "../tests/data/sql/sqlgrammar.h"
#include "demo.h"

namespace {

// The demo stops at a step that fails unexpectedly; a driver would record it and return.
void check(ZoStatus status) {
    if (status != ZoSuccess) {
        std::puts("unexpected failure");
        std::exit(1);
    }
}

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
    check(bosFileWrite(handle, -1, "first line\r\nsecond line\r\n", 25));
    check(bosFileClose(handle));
    unsigned char dir[256], name[256], ext[8];
    std::memcpy(dir, written, sizeof dir);
    check(bosParseName(dir, name, ext, 0));
    std::printf("wrote %s: directory %s, name %s, extension %s\n", written, dir, name, ext);

    unsigned char renamed[256];
    bospath(renamed, dir, text("zodemo"), text("txt"));
    if (bosrname(written, renamed) != ZoSuccess) {
        check(bosFileDelete(written));
        return;
    }
    unsigned char date[16];
    uint32_t size = 0;
    check(bosFileDateSize(renamed, date, &size));
    std::printf("renamed to %s (%u bytes, written %s)\n", renamed, size, date);

    unsigned char pattern[256];
    bospath(pattern, dir, text("ZoDemo.*"), nullptr);
    unsigned char *cursor = nullptr;
    unsigned char found[256];
    std::memcpy(found, pattern, sizeof found);
    while (bosFindFiles(&cursor, found) == ZoSuccess && cursor != nullptr)
        std::printf("listed with %s: %s\n", pattern, found);

    check(bosFileDelete(renamed));
    std::printf("after deleting, %s exists: %u\n", renamed, bosexist(renamed));
}

void showErrorList() {
    std::puts("== error list");
    mdsPerTaskInit(); // loads the message texts (libzoR.so beside libzo.so)
    ZoErrorList errors(nullptr, 1);
    ZoErrorKeeper::setErrorList(&errors);
    uint32_t value = 0;
    // These three fail on purpose: the list below shows the errors they recorded.
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
    std::printf("%u keys in %u nodes; %u pages went through the backing file, the cache holds 16\n", tree.getKeyCount(),
                tree.getNodeCount(), tree.getStore().getPagesInFile());
    ZoTreeIterator it;
    check(it.initialize(&tree));
    uint32_t key, data, previous = 0, count = 0;
    bool ordered = true;
    for (check(tree.getFirst(&key, &data, &found, &it)); found != 0;
         check(tree.getNext(&key, &data, &found, &it)), ++count) {
        ordered = ordered && (count == 0 || key > previous);
        previous = key;
    }
    std::printf("forward: %u keys, %s, last %u\n", count, ordered ? "ascending" : "OUT OF ORDER", previous);
    count = 0;
    ordered = true;
    for (check(tree.getLast(&key, &data, &found, &it)); found != 0;
         check(tree.getPrevious(&key, &data, &found, &it)), ++count) {
        ordered = ordered && (count == 0 || key < previous);
        previous = key;
    }
    std::printf("backward: %u keys, %s, first %u\n", count, ordered ? "descending" : "OUT OF ORDER", previous);
}

// Prints a reduction tree one node per line; a chain of productions that each have a single
// production child is shown on one line as "outer > inner".
void printReduction(ZoParser &parser, ZoReduction *node, int depth) {
    for (; node != nullptr; check(node->getNextSibling(&node))) {
        std::printf("%*s", depth * 2, "");
        ZoReduction *child = nullptr;
        if (node->terminal()) {
            std::printf("'%s' (type %d)\n",
                        node->string() != nullptr ? reinterpret_cast<const char *>(node->string()) : "",
                        node->reductNumber());
            continue;
        }
        for (ZoReduction *link = node;; link = child) {
            const unsigned char *name = nullptr;
            ZoProduction *p = parser.getGrammar()->getGoal()->findByNumber(link->reductNumber());
            if (p != nullptr)
                (void)p->getName(&name); // a production without a name prints as ?
            std::printf("%s", name != nullptr ? reinterpret_cast<const char *>(name) : "?");
            ZoReduction *next = nullptr;
            (void)link->getChild(&child); // stays null for a production without children
            if (child == nullptr || child->terminal() || child->getNextSibling(&next) != ZoSuccess || next != nullptr)
                break;
            std::printf(" > ");
        }
        std::printf("\n");
        printReduction(parser, child, depth + 1);
    }
}

void showParse() {
    std::puts("== parsing SQL with a grammar compiled at run time");
    ZoParser parser(const_cast<resourceElement *>(zosql::kGrammar), zosql::kGrammarCount,
                    const_cast<resourceElement *>(zosql::kKeywords), zosql::kKeywordCount);
    if (!parser.isOK()) {
        std::puts("the grammar did not compile");
        return;
    }
    const char *sql = "SELECT name, COUNT(*) AS n FROM staff WHERE hired >= {d '2020-01-01'} AND grade IN (1, ?) "
                      "GROUP BY name";
    std::printf("%s\n", sql);
    ZoReduction *tree = nullptr;
    if (parser.parse(reinterpret_cast<const unsigned char *>(sql), &tree) != ZoSuccess) {
        std::puts("the statement did not parse");
        return;
    }
    printReduction(parser, tree, 1);
    delete tree;
    ZoReduction *none = nullptr;
    std::printf("SELECT FROM t: %s\n",
                parser.parse(reinterpret_cast<const unsigned char *>("SELECT FROM t"), &none) == ZoSuccess
                    ? "parsed"
                    : "syntax error");
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
        check(parser.getAttributeValue(u("User ID"), u("UID"), user));
        std::printf("data source %.*s, user %.*s\n", static_cast<int>(source->length()),
                    reinterpret_cast<const char *>(source->data()), static_cast<int>(user->length()),
                    reinterpret_cast<const char *>(user->data()));
        for (const ZoSubString *key = parser.getUnusedAttribute(); key != nullptr; key = parser.getUnusedAttribute())
            std::printf("not asked for: %.*s\n", static_cast<int>(key->length()),
                        reinterpret_cast<const char *>(key->data()));
        parser.removeAttribute(u("PWD"));
        check(parser.addAttribute(u("User ID"), u("o'neil"), u("UID")));
        check(parser.addAttribute(u("APP"), u("demo;tour"), nullptr));
        ZoString rebuilt;
        if (parser.buildString(&rebuilt) == ZoSuccess)
            std::printf("rebuilt: %.*s\n", static_cast<int>(rebuilt.length()),
                        reinterpret_cast<const char *>(rebuilt.data()));
    }
    const char *bad = "DSN=a;dsn=b";
    ZoSubString badView(u(bad), static_cast<uint32_t>(std::strlen(bad)));
    ZoValueParser duplicate(&badView, ';', u("demo"), 0);
    if (duplicate.initialize() != ZoSuccess)
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
    showConnectionString();
    showParse();
    showProfiles();
    return 0;
}
