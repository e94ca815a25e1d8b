// A parser over the SQL grammar of tests/data/sql that prints compact trees and failure
// reports, shared by the corpus test, the benchmark, the fuzz target and the demo.
#pragma once

#include <zo/zoparse.h>

#include <cstdlib>
#include <string>

#include "../data/sql/sqlgrammar.h"

namespace zosql {

// Steps of a tree walk that fail only when the parser built a broken tree: stop there, so
// that the fuzz target reports it as a crash and a test sees it at once.
inline void walkStep(ZoStatus status) {
    if (status != ZoSuccess)
        std::abort();
}

// Drops the nodes of productions that have a single child (the child takes their place), so
// trees show only the productions that group several items; records FailProc calls.
class CompactParser : public ZoParser {
public:
    CompactParser()
        : ZoParser(const_cast<resourceElement *>(kGrammar), kGrammarCount, const_cast<resourceElement *>(kKeywords),
                   kKeywordCount) {}

    ZoReduction *ReductProc(short number, ZoReduction *children) override {
        ZoReduction *next = nullptr;
        if (children != nullptr && children->getNextSibling(&next) == ZoSuccess && next == nullptr)
            return children;
        return ZoParser::ReductProc(number, children);
    }

    // Reports every production on the stack; the innermost one is kept.
    int FailProc(short type, const unsigned char *text, short, const unsigned char *name,
                 ZoStateTransition *) override {
        failure = text != nullptr && *text != 0 ? reinterpret_cast<const char *>(text) : "#";
        if (text == nullptr || *text == 0)
            failure += std::to_string(type);
        failure += " @ ";
        failure += name != nullptr ? reinterpret_cast<const char *>(name) : "?";
        return 0;
    }

    const char *nameOf(short number) {
        ZoProduction *p = getGrammar()->getGoal()->findByNumber(number);
        const unsigned char *name = nullptr;
        if (p != nullptr)
            walkStep(p->getName(&name));
        return name != nullptr ? reinterpret_cast<const char *>(name) : "?";
    }

    // name(child child ...) for productions, the text for tokens.
    std::string show(ZoReduction *node) {
        std::string out;
        for (; node != nullptr; walkStep(node->getNextSibling(&node))) {
            if (!out.empty())
                out += ' ';
            if (node->terminal()) {
                out += node->string() != nullptr ? reinterpret_cast<const char *>(node->string()) : "";
                continue;
            }
            ZoReduction *child = nullptr;
            walkStep(node->getChild(&child));
            out += nameOf(node->reductNumber());
            out += "(";
            out += show(child);
            out += ")";
        }
        return out;
    }

    // "= tree" for a statement that parses, "! token @ production" for one that does not.
    std::string run(const std::string &sql) {
        failure = "(no report)";
        ZoReduction *tree = nullptr;
        if (parse(reinterpret_cast<const unsigned char *>(sql.c_str()), &tree) != ZoSuccess)
            return std::string("! ").append(failure);
        std::string shown = std::string("= ").append(show(tree));
        delete tree;
        return shown;
    }

    std::string failure;
};

} // namespace zosql
