#include <zo/pertask.h>
#include <zo/strfuncs.h>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "text/text_modes.h"

using zotest::CodePage;
using zotest::u;
using zotest::Utf8Mode;

namespace {

unsigned like(const std::string &text, const std::string &pattern, unsigned caseSensitive = 1,
              unsigned keepTrailing = 1, unsigned char escape = '\\') {
    return strLike(u(text), static_cast<uint32_t>(text.size()), u(pattern), static_cast<uint32_t>(pattern.size()), '%',
                   '_', escape, caseSensitive, keepTrailing);
}

TEST(StrLike, WildcardsEscapesAndTrailingSpace) {
    struct Case {
        const char *text, *pattern;
        unsigned caseSensitive, keepTrailing;
        unsigned expected;
    } cases[] = {
        {"ab", "%b", 1, 1, 1},
        {"b", "%b", 1, 1, 1},
        {"axxbyy", "a%b%", 1, 1, 1},
        {"xab", "%_b", 1, 1, 1},
        {"b", "%_b", 1, 1, 0},
        {"", "", 1, 1, 1},
        {"a", "", 1, 1, 0},
        {"  ", "", 1, 0, 1},
        {"abc  ", "abc", 1, 0, 1},
        {"abc  ", "abc", 1, 1, 0},
        {"abc", "abc \t", 1, 0, 1},
        {"a%", "a\\%", 1, 1, 1},
        {"ab", "a\\%", 1, 1, 0},
        {"a\\", "a\\", 1, 1, 0},
        {"ABC", "abc", 0, 1, 1},
        {"ABC", "abc", 1, 1, 0},
        {"a", "%__", 1, 1, 0},
        {"mississippi", "%iss%ppi", 1, 1, 1},
        {"caf\xE9", "CAF\xC9", 0, 1, 1},
    };
    for (const Case &c : cases)
        EXPECT_EQ(like(c.text, c.pattern, c.caseSensitive, c.keepTrailing), c.expected)
            << '"' << c.text << "\" like \"" << c.pattern << '"';
    // The terminated form, and other special characters.
    EXPECT_EQ(strLike(u("a*c"), u("a+c"), '*', '+', '!', 1, 1), 1u);
    EXPECT_EQ(strLike(u("a*c"), u("a!*c"), '*', '+', '!', 1, 1), 1u);
    EXPECT_EQ(strLike(u("abc"), u("a!*c"), '*', '+', '!', 1, 1), 0u);
    // Only the low 16 bits of caseSensitive count.
    EXPECT_EQ(like("ABC", "abc", 0x10000), 1u);
}

TEST(StrLike, DoubleByteCharactersMatchWhole) {
    CodePage cp(932);
    // 0x83 0x5F: a katakana whose trail byte is '_'; 0x83 0x5C: one whose trail is '\'.
    EXPECT_EQ(like("\x83\x5F", "\x83_"), 1u); // the same two bytes: one character
    EXPECT_EQ(like("\x83\x41", "\x83_"), 0u);
    EXPECT_EQ(like("\x83\x5F", "_"), 1u);
    EXPECT_EQ(like("\x83\x5Fx", "__"), 1u);
    EXPECT_EQ(like("\x83\x5C%", "\x83\x5C%"), 1u);
    EXPECT_EQ(like("\x83\x5Cz", "\x83\x5C\\%"), 0u);
    // Never case-folded, even when the trail byte is a letter.
    EXPECT_EQ(like("\x82\x60", "\x82\x81", 0), 0u);
    EXPECT_EQ(like("\x82\x61", "\x82\x41", 0), 0u);
    // A lead byte in the last position is a character of its own, and never read past.
    EXPECT_EQ(like(std::string("ab\x83", 3), "ab_"), 1u);
    EXPECT_EQ(like(std::string("ab\x83", 3), std::string("%\x83", 2)), 1u);
    // The ideographic space is trailing white space.
    EXPECT_EQ(like("ab\x81\x40", "ab", 1, 0), 1u);
}

TEST(StrLike, Utf8CharactersMatchWhole) {
    Utf8Mode mode;
    EXPECT_EQ(like("\xE2\x82\xAC", "_"), 1u);
    EXPECT_EQ(like("a\xE2\x82\xAC"
                   "b",
                   "a_b"),
              1u);
    EXPECT_EQ(like("\xE2\x82\xAC", "___"), 0u);
    EXPECT_EQ(like("\xC3\xA9t\xC3\xA9", "%t_"), 1u);
    // Only ASCII letters fold; the bytes of a sequence are never folded.
    EXPECT_EQ(like("\xC3\xA9", "\xC3\x89", 0), 0u);
    EXPECT_EQ(like("ABC", "abc", 0), 1u);
    // A sequence cut short by the end is one character.
    EXPECT_EQ(like(std::string("x\xE2\x82", 3), "x_"), 1u);
}

// Many wildcards against a long text of one letter: the walk keeps one restart point, so
// this ends after a few passes instead of trying every way to split the text.
TEST(StrLike, ManyWildcardsDoNotBacktrackExponentially) {
    const std::string text(200000, 'a');
    EXPECT_EQ(like(text, "%a%a%a%a%a%b"), 0u);
    EXPECT_EQ(like(text, "%a%a%a%a%a%a"), 1u);
    EXPECT_EQ(like(text, "%a_%_a%a%a_%b%"), 0u);
    EXPECT_EQ(like(text + "b", "%a%a%a%a%a%b"), 1u);
    EXPECT_EQ(like(text, "%aaaaaaaaaaaaaaaaaaaab"), 0u);
}

// ---- The reference: dynamic programming over characters --------------------------------

struct Item {
    enum Kind { AnyString, AnyChar, Literal } kind;
    std::string bytes;
};

// Characters by the thread's stepping rule, cut at the end.
std::vector<std::string> characters(const std::string &s) {
    const unsigned char *lengths = mdsCharLengthTable();
    std::vector<std::string> chars;
    for (size_t i = 0; i < s.size();) {
        size_t n = std::min<size_t>(lengths[static_cast<unsigned char>(s[i])], s.size() - i);
        chars.push_back(s.substr(i, n));
        i += n;
    }
    return chars;
}

// The pattern's items, or nothing when it ends in the escape (then it matches nothing).
std::optional<std::vector<Item>> items(const std::string &pattern) {
    std::vector<Item> out;
    std::vector<std::string> chars = characters(pattern);
    for (size_t i = 0; i < chars.size(); ++i) {
        if (chars[i] == "%")
            out.push_back({Item::AnyString, ""});
        else if (chars[i] == "_")
            out.push_back({Item::AnyChar, ""});
        else if (chars[i] == "\\") {
            if (++i == chars.size())
                return std::nullopt;
            out.push_back({Item::Literal, chars[i]});
        } else
            out.push_back({Item::Literal, chars[i]});
    }
    return out;
}

bool sameChar(const std::string &a, const std::string &b, bool fold) {
    if (a == b)
        return true;
    if (!fold || a.size() != 1 || b.size() != 1)
        return false;
    const unsigned char x = static_cast<unsigned char>(a[0]), y = static_cast<unsigned char>(b[0]);
    if (mdsCharLengthTable() == zo::plat::utf8CharLengths())
        return x < 0x80 && y < 0x80 && std::toupper(x) == std::toupper(y);
    return zo::plat::upperByte(x) == zo::plat::upperByte(y);
}

unsigned referenceLike(std::string text, std::string pattern, bool fold, bool keepTrailing) {
    if (!keepTrailing) {
        text.resize(strRightTrim(u(text), static_cast<uint32_t>(text.size())));
        pattern.resize(strRightTrim(u(pattern), static_cast<uint32_t>(pattern.size())));
    }
    auto parsed = items(pattern);
    if (!parsed)
        return 0;
    const std::vector<Item> &p = *parsed;
    const std::vector<std::string> t = characters(text);
    // m[i][j]: the first i items match the first j characters.
    std::vector<std::vector<bool>> m(p.size() + 1, std::vector<bool>(t.size() + 1, false));
    m[0][0] = true;
    for (size_t i = 1; i <= p.size(); ++i)
        for (size_t j = 0; j <= t.size(); ++j) {
            const Item &item = p[i - 1];
            if (item.kind == Item::AnyString)
                m[i][j] = m[i - 1][j] || (j > 0 && m[i][j - 1]);
            else if (j > 0)
                m[i][j] = m[i - 1][j - 1] && (item.kind == Item::AnyChar || sameChar(item.bytes, t[j - 1], fold));
        }
    return m[p.size()][t.size()] ? 1 : 0;
}

std::string randomFrom(std::mt19937 &rng, const std::vector<std::string> &alphabet, size_t maxLength) {
    std::string s;
    for (size_t n = rng() % (maxLength + 1); n > 0; --n)
        s += alphabet[rng() % alphabet.size()];
    return s;
}

// A text the pattern is likely to match: wildcards filled in at random, letters sometimes
// in the other case.
std::string instance(std::mt19937 &rng, const std::string &pattern, const std::vector<std::string> &alphabet) {
    std::string s;
    for (const std::string &c : characters(pattern)) {
        if (c == "%")
            s += randomFrom(rng, alphabet, 3);
        else if (c == "_")
            s += alphabet[rng() % alphabet.size()];
        else if (c == "\\")
            continue;
        else if (c.size() == 1 && std::isalpha(static_cast<unsigned char>(c[0])) && rng() % 2)
            s += static_cast<char>(static_cast<unsigned char>(c[0]) ^ 0x20);
        else
            s += c;
    }
    return s;
}

// Random patterns over the alphabet and the three special characters, each with a text
// that it often matches (every other one made from the pattern) and random switches.
template <class Check>
void forRandomPairs(unsigned seed, const std::vector<std::string> &alphabet, Check check) {
    std::vector<std::string> patternAlphabet = alphabet;
    for (const char *special : {"%", "%", "_", "\\"})
        patternAlphabet.push_back(special);
    std::mt19937 rng(seed);
    for (int round = 0; round < 3000; ++round) {
        const std::string pattern = randomFrom(rng, patternAlphabet, 8);
        const std::string text = round % 2 ? instance(rng, pattern, alphabet) : randomFrom(rng, alphabet, 10);
        const unsigned caseSensitive = rng() % 2, keepTrailing = rng() % 2;
        check(text, pattern, caseSensitive, keepTrailing);
        if (testing::Test::HasFatalFailure())
            return;
    }
}

void expectMatchesReference(unsigned seed, const std::vector<std::string> &alphabet) {
    forRandomPairs(seed, alphabet, [](const std::string &text, const std::string &pattern, unsigned cs, unsigned kt) {
        ASSERT_EQ(like(text, pattern, cs, kt), referenceLike(text, pattern, cs == 0, kt != 0))
            << '"' << text << "\" like \"" << pattern << "\" case " << cs << " keep " << kt;
    });
}

TEST(StrLikeDifferential, AgainstDynamicProgrammingIn1252) {
    expectMatchesReference(1, {"a", "A", "b", "B", "x", " ", "\t", "\xE9", "\xC9", "\xFF", "%", "_"});
}

TEST(StrLikeDifferential, AgainstDynamicProgrammingIn932) {
    CodePage cp(932);
    // Double-byte characters whose trail byte is '_', '\' or a letter, half-width katakana,
    // and a lead byte alone (which may end up last).
    expectMatchesReference(
        2, {"a", "B", "\x83\x5F", "\x83\x5C", "\x82\x60", "\x82\x81", "\xB1", "\x81\x40", " ", "\x95", "_"});
}

TEST(StrLikeDifferential, AgainstDynamicProgrammingInUtf8) {
    Utf8Mode mode;
    expectMatchesReference(3, {"a", "A", "\xC3\xA9", "\xC3\x89", "\xE2\x82\xAC", "\xE2\x82", "\xF0", "\x80", " ", "_"});
}

// ---- The anchor: SQLite's LIKE ... ESCAPE, which folds ASCII letters -------------------

class SqliteLike {
public:
    SqliteLike() {
        sqlite3_open(":memory:", &db_);
        sqlite3_prepare_v2(db_, "SELECT ?1 LIKE ?2 ESCAPE '\\'", -1, &stmt_, nullptr);
    }
    ~SqliteLike() {
        sqlite3_finalize(stmt_);
        sqlite3_close(db_);
    }
    SqliteLike(const SqliteLike &) = delete;
    SqliteLike &operator=(const SqliteLike &) = delete;
    unsigned operator()(const std::string &text, const std::string &pattern) {
        sqlite3_reset(stmt_);
        sqlite3_bind_text(stmt_, 1, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(stmt_, 2, pattern.data(), static_cast<int>(pattern.size()), SQLITE_TRANSIENT);
        sqlite3_step(stmt_);
        return static_cast<unsigned>(sqlite3_column_int(stmt_, 0));
    }

private:
    sqlite3 *db_ = nullptr;
    sqlite3_stmt *stmt_ = nullptr;
};

// SQLite's LIKE folds ASCII letters and keeps trailing white space.
void expectMatchesSqlite(unsigned seed, const std::vector<std::string> &alphabet) {
    SqliteLike sqlite;
    forRandomPairs(seed, alphabet, [&sqlite](const std::string &text, const std::string &pattern, unsigned, unsigned) {
        ASSERT_EQ(like(text, pattern, 0, 1), sqlite(text, pattern)) << '"' << text << "\" like \"" << pattern << '"';
    });
}

TEST(StrLikeDifferential, AgainstSqliteOnAsciiIn1252) {
    expectMatchesSqlite(4, {"a", "A", "b", "B", "z", "0", " ", "%", "_", "\\"});
}

// Characters without case beyond ASCII, so that SQLite's folding and ours agree.
TEST(StrLikeDifferential, AgainstSqliteInUtf8) {
    Utf8Mode mode;
    expectMatchesSqlite(5, {"a", "A", "b", "Q", "\xE2\x82\xAC", "\xE8\xA1\xA8", "\xC2\xBF", " ", "%", "_"});
}

} // namespace
