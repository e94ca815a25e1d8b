// Fuzzes the parse engine with arbitrary statements against the SQL grammar: every input is
// accepted with a well-formed tree or rejected with a failure report, without crashing.
#include <zo/zoparse.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "../tests/parse/sql_support.h"

namespace {

// Walks a tree and checks its links: every child points back to its parent and siblings are
// linked both ways.
void checkTree(ZoReduction *node, ZoReduction *parent) {
    ZoReduction *prev = nullptr;
    // Reduction getters give null for a missing link: the comparisons below check them.
    for (; node != nullptr; (void)node->getNextSibling(&node)) {
        ZoReduction *up = nullptr, *back = nullptr, *child = nullptr;
        (void)node->getParent(&up);
        (void)node->getPrevSibling(&back);
        if (up != parent || back != prev || (node->terminal() != (node->reductNumber() < 1000)))
            std::abort();
        (void)node->getChild(&child);
        checkTree(child, node);
        prev = node;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static zosql::CompactParser *compact = new zosql::CompactParser;
    static ZoParser *plain = new ZoParser(const_cast<resourceElement *>(zosql::kGrammar), zosql::kGrammarCount,
                                          const_cast<resourceElement *>(zosql::kKeywords), zosql::kKeywordCount);
    if (!compact->isOK() || !plain->isOK())
        std::abort();
    std::string sql(reinterpret_cast<const char *>(data), size);
    sql = sql.substr(0, sql.find('\0'));
    ZoReduction *tree = nullptr;
    ZoStatus status = plain->parse(reinterpret_cast<const unsigned char *>(sql.c_str()), &tree);
    if (status == ZoSuccess) {
        if (tree == nullptr)
            std::abort();
        checkTree(tree, nullptr);
        delete tree;
    }
    // The collapsing parser must agree on acceptance.
    bool accepted = compact->run(sql)[0] == '=';
    if (accepted != (status == ZoSuccess))
        std::abort();
    return 0;
}
