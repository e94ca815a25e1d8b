// Fuzzes the grammar compiler: each input line is one production text (numbered from 1000).
// A grammar either compiles or fails cleanly; a compiled one also parses a few short
// statements, which must end (accepted or rejected) without crashing or hanging.
#include <zo/zoparse.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

const unsigned char *u(const char *s) { return reinterpret_cast<const unsigned char *>(s); }

ZoKeywordList *keywords() {
    static ZoKeywordList *list = [] {
        resourceElement words[] = {{u("SELECT"), 100}, {u("FROM"), 101}, {u("WHERE"), 102}, {u("AND"), 103}};
        unsigned char *packed = zoPackResourceElements(words, 4);
        auto *made = new ZoKeywordList(packed);
        ramFree(packed);
        return made;
    }();
    return list;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > 4096)
        return 0;
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == '\n')
            lines.emplace_back();
        else if (data[i] != 0)
            lines.back() += char(data[i]);
    }
    std::vector<resourceElement> records;
    for (size_t i = 0; i < lines.size() && i < 200; ++i)
        if (!lines[i].empty())
            records.push_back({u(lines[i].c_str()), uint16_t(1000 + i)});
    unsigned char *packed = zoPackResourceElements(records.data(), uint16_t(records.size()));
    if (packed == nullptr)
        return 0;
    ZoGrammar grammar(packed, keywords());
    ramFree(packed);
    if (!grammar.isOK())
        return 0;

    // The same grammar behind a parser: parse short statements of every flavour.
    ZoParser parser;
    resourceElement words[] = {{u("SELECT"), 100}, {u("FROM"), 101}, {u("WHERE"), 102}, {u("AND"), 103}};
    unsigned char *k = zoPackResourceElements(words, 4);
    unsigned char *g = zoPackResourceElements(records.data(), uint16_t(records.size()));
    if (parser.init(g, k) != ZoSuccess)
        std::abort(); // the grammar compiled above must compile again
    ramFree(k);
    ramFree(g);
    for (const char *sql : {"a", "a, b", "SELECT x FROM y WHERE a AND b", "(1 + 2) * 3", "'q' \"r\"", "a <> b", "x(+)",
                            "{ d '1' }", "1 2 3 4 5 6", ""}) {
        ZoReduction *tree = nullptr;
        if (parser.parse(u(sql), &tree) == ZoSuccess)
            delete tree;
    }
    return 0;
}
