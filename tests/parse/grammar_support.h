// Builds grammars and parsers from readable lists for the parse tests, and prints trees.
#pragma once

#include <zo/zoparse.h>

#include <string>
#include <utility>
#include <vector>
#include "support/status.h"

namespace zotest {

using Records = std::vector<std::pair<std::string, uint16_t>>;

// Packs records into a block (freed by the caller with ramFree).
inline unsigned char *pack(const Records &records) {
    std::vector<resourceElement> elements;
    for (const auto &[text, value] : records)
        elements.push_back({reinterpret_cast<const unsigned char *>(text.c_str()), value});
    return zoPackResourceElements(elements.data(), static_cast<unsigned short>(elements.size()));
}

// Productions numbered from 1000 in the order given.
inline Records productions(const std::vector<std::string> &texts) {
    Records records;
    uint16_t number = 1000;
    for (const auto &text : texts)
        records.emplace_back(text, number++);
    return records;
}

// Compact form of a tree: a token is its text (or #type when it has none), a production is
// its number followed by its children in parentheses.
inline std::string show(ZoReduction *node) {
    std::string out;
    for (bool first = true; node != nullptr; first = false) {
        if (!first)
            out += ' ';
        if (node->terminal() && node->string() != nullptr) {
            out += reinterpret_cast<const char *>(node->string());
        } else if (node->terminal()) {
            out += "#";
            out += std::to_string(node->reductNumber());
        } else {
            ZoReduction *child = nullptr;
            zotest::ok(node->getChild(&child));
            out += std::to_string(node->reductNumber());
            out += "(";
            out += show(child);
            out += ")";
        }
        zotest::ok(node->getNextSibling(&node));
    }
    return out;
}

// A parser over productions and keywords given as lists.
template <class Parser = ZoParser>
struct Built {
    Built(const Records &grammar, const Records &keywords) {
        unsigned char *g = pack(grammar);
        unsigned char *k = pack(keywords);
        parser = new Parser;
        (void)parser->init(g, k); // some tests build failing grammars: they check isOK()
        ramFree(g);
        ramFree(k);
    }
    ~Built() { delete parser; }
    Built(const Built &) = delete;
    Built &operator=(const Built &) = delete;

    // The tree in compact form, or "FAIL".
    std::string parse(const std::string &text) {
        ZoReduction *tree = nullptr;
        if (parser->parse(reinterpret_cast<const unsigned char *>(text.c_str()), &tree) != ZoSuccess)
            return "FAIL";
        std::string shown = show(tree);
        delete tree;
        return shown;
    }

    Parser *parser = nullptr;
};

} // namespace zotest
