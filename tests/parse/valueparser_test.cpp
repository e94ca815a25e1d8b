#include <zo/cntdblib.h>
#include <zo/zoerror.h>
#include <zo/zovaluep.h>

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "support/alloc_failure.h"
#include "text/text_modes.h"

#include "support/error_capture.h"

namespace {

const unsigned char *u(const char *s) { return reinterpret_cast<const unsigned char *>(s); }
std::string str(const ZoSubString *s) {
    return s == nullptr ? "<null>" : std::string(reinterpret_cast<const char *>(s->data()), s->length());
}

// Each test runs with its own keep-all error list and the message texts loaded.
class ValueParserTest : public ::testing::Test {
protected:
    // Parses text (kept alive by the fixture) with ';' as separator.
    ZoValueParser &parse(const std::string &text, const char *name = nullptr, unsigned duplicates = 0,
                         ZoStatus expected = ZoSuccess, bool braced = false) {
        texts.emplace_back(text);
        views.emplace_back(new ZoSubString(u(texts.back().c_str()), static_cast<uint32_t>(texts.back().size())));
        parsers.emplace_back(new ZoValueParser(views.back().get(), ';', u(name), duplicates));
        parsers.back()->setBracedValues(braced);
        EXPECT_EQ(parsers.back()->initialize(), expected) << text;
        return *parsers.back();
    }
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    Pairs pairs(ZoValueParser &parser) {
        Pairs out;
        for (uint16_t i = 0; i < parser.getAttributeCount(); ++i)
            out.emplace_back(str(parser.getAttributeKey(i)), str(parser.getAttributeValue(parser.getAttributeKey(i))));
        return out;
    }
    std::vector<std::string> keys(const ZoValueParser &parser) {
        std::vector<std::string> out;
        for (uint16_t i = 0; i < parser.getAttributeCount(); ++i)
            out.push_back(str(parser.getAttributeKey(i)));
        return out;
    }
    std::string rebuilt(const ZoValueParser &parser) {
        ZoString out;
        EXPECT_EQ(parser.buildString(&out), ZoSuccess);
        return str(&out);
    }
    unsigned short lastNumber() { return capture.lastNumber(); }
    std::string lastText() { return capture.lastText(); }
    zotest::ErrorCapture capture;
    ZoErrorList &errors = capture.list;
    std::deque<std::string> texts; // stable: parsers keep views into them
    std::vector<std::unique_ptr<ZoSubString>> views;
    std::vector<std::unique_ptr<ZoValueParser>> parsers;
};

TEST_F(ValueParserTest, ParsesAndRebuilds) {
    ZoValueParser &p = parse("DSN=x;UID=u;HOST=");
    EXPECT_EQ(keys(p), (std::vector<std::string>{"DSN", "UID", "HOST"}));
    EXPECT_EQ(str(p.getAttributeValue(u("host"))), "");
    EXPECT_EQ(rebuilt(p), "DSN=x;UID=u;HOST=");
    EXPECT_EQ(errors.getCount(), 0u);

    EXPECT_EQ(keys(parse(";;DSN=x;")), (std::vector<std::string>{"DSN"}));
    EXPECT_EQ(keys(parse("ODBC;DSN=x")), (std::vector<std::string>{"DSN"}));
    EXPECT_EQ(keys(parse("")), (std::vector<std::string>{}));
    EXPECT_EQ(keys(parse("  ;  ")), (std::vector<std::string>{}));
}

TEST_F(ValueParserTest, KeysOfSeveralWordsAndQuotedValues) {
    ZoValueParser &p = parse("Data Source = 'a;b' ; uid=u;PWD=\"x\"\"y\";DSN=x y");
    EXPECT_EQ(keys(p), (std::vector<std::string>{"Data Source", "uid", "PWD", "DSN"}));
    EXPECT_EQ(str(p.getAttributeValue(u("DATA SOURCE"))), "'a;b'");
    EXPECT_EQ(str(p.getAttributeValue(u("pwd"))), "\"x\"\"y\"");
    EXPECT_EQ(str(p.getAttributeValue(u("dsn"))), "x y");
    EXPECT_EQ(rebuilt(p), "Data Source='a;b';uid=u;PWD=\"x\"\"y\";DSN=x y");
}

TEST_F(ValueParserTest, EqualsOperatorsStartTheValueAfterTheirFirstCharacter) {
    ZoValueParser &p = parse("A==b;B=>c;C=*;D=<d");
    EXPECT_EQ(str(p.getAttributeValue(u("A"))), "=b");
    EXPECT_EQ(str(p.getAttributeValue(u("B"))), ">c");
    EXPECT_EQ(str(p.getAttributeValue(u("C"))), "*");
    EXPECT_EQ(str(p.getAttributeValue(u("D"))), "<d");
}

TEST_F(ValueParserTest, SyntaxErrorsCarryTheOffset) {
    parse("DSN", nullptr, 0, ZoFailure);
    EXPECT_EQ(lastNumber(), 2704);
    EXPECT_EQ(lastText(), "Syntax error in the attribute string at offset 3.");
    parse("=x", nullptr, 0, ZoFailure);
    EXPECT_EQ(lastText(), "Syntax error in the attribute string at offset 0.");
    parse("A=1;B 2", "conn", 0, ZoFailure);
    EXPECT_EQ(lastNumber(), 2705);
    EXPECT_EQ(lastText(), "Syntax error in the attribute string of conn at offset 6.");
    ZoValueParser &kept = parse("A=1;9=x", nullptr, 0, ZoFailure);
    EXPECT_EQ(keys(kept), (std::vector<std::string>{"A"})); // read so far, kept
    EXPECT_EQ(kept.getUnusedCount(), 1u);
}

TEST_F(ValueParserTest, Duplicates) {
    parse("DSN=a;dsn=b", nullptr, 0, ZoFailure);
    EXPECT_EQ(lastNumber(), 2704);
    EXPECT_EQ(lastText(), "Syntax error in the attribute string at offset 9. The attribute is given twice, the second "
                          "time before =.");
    ZoValueParser &allowed = parse("DSN=a;dsn=b", nullptr, 1);
    EXPECT_EQ(keys(allowed), (std::vector<std::string>{"DSN"}));
    EXPECT_EQ(str(allowed.getAttributeValue(u("DSN"))), "a");
    ZoValueParser &drivers = parse("Driver=a;DRIVER=b");
    EXPECT_EQ(str(drivers.getAttributeValue(u("driver"))), "a");
}

TEST_F(ValueParserTest, UsedMarksAndTheUnusedWalk) {
    ZoValueParser &p = parse("DSN=x;UID=u;PWD=p");
    EXPECT_EQ(p.getUnusedCount(), 3u);
    EXPECT_EQ(str(p.getAttributeValue(u("dsn"))), "x");
    EXPECT_EQ(p.isAttributeValue(u("pwd")), 1u); // does not mark
    EXPECT_EQ(p.isAttributeValue(u("nope")), 0u);
    EXPECT_EQ(p.getAttributeValue(u("nope")), nullptr);
    EXPECT_EQ(p.getUnusedCount(), 2u);
    EXPECT_EQ(str(p.getUnusedAttribute()), "UID");
    EXPECT_EQ(str(p.getUnusedAttribute()), "PWD");
    EXPECT_EQ(p.getUnusedAttribute(), nullptr);
    ASSERT_EQ(p.resetUnused(), ZoSuccess);
    EXPECT_EQ(p.getUnusedCount(), 3u);
    EXPECT_EQ(str(p.getUnusedAttribute()), "DSN");
}

TEST_F(ValueParserTest, MarksFollowRemovalsAndAdditions) {
    ZoValueParser &p = parse("A=1;B=2;C=3");
    p.getAttributeValue(u("C"));
    p.removeAttribute(u("a"));
    EXPECT_EQ(keys(p), (std::vector<std::string>{"B", "C"}));
    EXPECT_EQ(str(p.getUnusedAttribute()), "B"); // C keeps its mark after moving down
    EXPECT_EQ(p.getUnusedAttribute(), nullptr);
    p.removeAttribute(u("missing"));
    ASSERT_EQ(p.addAttribute(u("D"), u("4"), nullptr), ZoSuccess);
    EXPECT_EQ(str(p.getAttributeValue(u("D"))), "4"); // beyond the marks: never marked
    EXPECT_EQ(p.getUnusedCount(), 2u);
}

TEST_F(ValueParserTest, TwoSpellings) {
    ZoValueParser &p = parse("UID=u;PWD=p;Password=q");
    const ZoSubString *value = nullptr;
    ASSERT_EQ(p.getAttributeValue(u("User ID"), u("UID"), value), ZoSuccess);
    EXPECT_EQ(str(value), "u");
    ASSERT_EQ(p.getAttributeValue(u("Server"), u("Host"), value), ZoSuccess);
    EXPECT_EQ(value, nullptr);
    ASSERT_EQ(p.getAttributeValue(u("UID"), nullptr, value), ZoSuccess); // one spelling only
    EXPECT_EQ(str(value), "u");
    value = p.getAttributeValue(u("UID"));
    EXPECT_EQ(p.getAttributeValue(u("PWD"), u("Password"), value), ZoFailure);
    EXPECT_EQ(str(value), "u"); // left alone
    EXPECT_EQ(lastText(), "Syntax error in the attribute string at offset 22. The attributes PWD and Password may not "
                          "both be given.");
    EXPECT_EQ(p.getUnusedCount(), 0u);
}

TEST_F(ValueParserTest, AddingQuotesAndReplacing) {
    ZoValueParser &p = parse("UID=u;DSN=x");
    ASSERT_EQ(p.addAttribute(u("DESC"), u("a;b"), nullptr), ZoSuccess);
    ASSERT_EQ(p.addAttribute(u("User ID"), u("v"), u("UID")), ZoSuccess);
    ASSERT_EQ(p.addAttribute(u("dsn"), u("it's"), nullptr), ZoSuccess);
    EXPECT_EQ(rebuilt(p), "UID=v;DSN='it''s';DESC='a;b'");
    ASSERT_EQ(p.addAttribute(u("Empty"), nullptr, nullptr), ZoSuccess);
    EXPECT_EQ(rebuilt(p), "UID=v;DSN='it''s';DESC='a;b';Empty=");

    // The rebuilt text parses to the same attributes.
    std::string again = rebuilt(p);
    ZoValueParser &q = parse(again.c_str());
    EXPECT_EQ(keys(q), keys(p));
    EXPECT_EQ(str(q.getAttributeValue(u("desc"))), "'a;b'");
}

TEST_F(ValueParserTest, OtherSeparatorsQuotesAndKeyCharacters) {
    texts.emplace_back("Server Name=a,b:c;Port=1");
    ZoSubString view(u(texts.back().c_str()), static_cast<uint32_t>(texts.back().size()));
    ZoValueParser p(&view, ';', nullptr, 0);
    ASSERT_EQ(p.initialize(), ZoSuccess);
    EXPECT_EQ(str(p.getAttributeValue(u("server name"))), "a,b:c");

    ZoSubString list(u("x-y=1,#z=[2,3]"), 14);
    ZoValueParser q(&list, ',', nullptr, 0);
    ASSERT_EQ(q.setValidChars(u("-#")), ZoSuccess);
    q.setQuotingChars('[', 0, 0);
    ASSERT_EQ(q.initialize(), ZoSuccess);
    EXPECT_EQ(str(q.getAttributeValue(u("x-y"))), "1");
    // '[' opens a quoted stretch that only '[' closes again, so the rest is one value.
    EXPECT_EQ(str(q.getAttributeValue(u("#z"))), "[2,3]");
    q.resetValidChars();
}

TEST_F(ValueParserTest, AllocationFailures) {
    uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        ZoSubString view(u("DSN=x;Data Source=y;UID=u"), 25);
        ZoValueParser p(&view, ';', nullptr, 0);
        point.arm();
        ZoStatus status = p.initialize();
        if (point.disarm()) {
            EXPECT_EQ(status, ZoFailure);
            EXPECT_LT(p.getAttributeCount(), 4u);
        } else {
            EXPECT_EQ(status, ZoSuccess);
            EXPECT_EQ(p.getAttributeCount(), 3u);
        }
    });
    EXPECT_GE(points, 3u);

    points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        ZoSubString view(u("PWD={a}}b};X={y}"), 16);
        ZoValueParser p(&view, ';', nullptr, 0);
        p.setBracedValues(true);
        point.arm();
        ZoStatus status = p.initialize();
        if (!point.disarm()) {
            EXPECT_EQ(status, ZoSuccess);
            EXPECT_EQ(str(p.getAttributeValue(u("PWD"))), "a}b");
        } else {
            EXPECT_EQ(status, ZoFailure);
        }
    });
    EXPECT_GE(points, 4u);

    ZoSubString view(u("DSN=x"), 5);
    ZoValueParser p(&view, ';', nullptr, 0);
    ASSERT_EQ(p.initialize(), ZoSuccess);
    points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        point.arm();
        ZoStatus status = p.addAttribute(u("K"), u("v;w"), nullptr);
        if (point.disarm()) {
            EXPECT_EQ(status, ZoFailure);
            EXPECT_EQ(p.getAttributeCount(), 1u);
        } else {
            EXPECT_EQ(status, ZoSuccess);
        }
    });
    EXPECT_GE(points, 3u);
    ZoString out;
    {
        zotest::NoMemory noMemory;
        EXPECT_EQ(p.buildString(&out), ZoFailure);
    }
    EXPECT_EQ(p.buildString(&out), ZoSuccess);
    EXPECT_EQ(str(&out), "DSN=x;K='v;w'");
}

// Connection strings quote values with braces: the option reads them without their braces,
// and the rebuilt string reads back to the same attributes.
TEST_F(ValueParserTest, BracedValues) {
    struct Case {
        const char *text;
        Pairs attributes;
        const char *rebuilt;
    };
    const Case cases[] = {
        {"DRIVER={ZoText};DBQ=/data", {{"DRIVER", "ZoText"}, {"DBQ", "/data"}}, "DRIVER=ZoText;DBQ=/data"},
        {"PWD={a;b}}c};UID=u", {{"PWD", "a;b}c"}, {"UID", "u"}}, "PWD={a;b}}c};UID=u"},
        {"A={;}", {{"A", ";"}}, "A={;}"},
        {"A={x=y};B= {  padded } ;C={}", {{"A", "x=y"}, {"B", "  padded "}, {"C", ""}}, "A=x=y;B={  padded };C="},
        {"A={}}}", {{"A", "}"}}, "A=}"},     // a lone '}' reads back unbraced
        {"A={{x}", {{"A", "{x"}}, "A={{x}"}, // a leading '{' needs braces again
        {"A={it's \"q\"}", {{"A", "it's \"q\""}}, "A={it's \"q\"}"},
        {"A='x;y';B=a}b", {{"A", "'x;y'"}, {"B", "a}b"}}, "A={'x;y'};B=a}b"}, // quotes stay as they stand
        {"DSN=x;dsn={y;z}", {{"DSN", "x"}}, "DSN=x"}, // an allowed duplicate's braces are read over
    };
    for (const Case &c : cases) {
        ZoValueParser &p = parse(c.text, nullptr, 1, ZoSuccess, true);
        EXPECT_EQ(pairs(p), c.attributes) << c.text;
        const std::string again = rebuilt(p);
        EXPECT_EQ(again, c.rebuilt) << c.text;
        EXPECT_EQ(pairs(parse(again, nullptr, 1, ZoSuccess, true)), c.attributes) << again;
    }

    // Off (the default), braces are ordinary bytes of the value.
    EXPECT_EQ(str(parse("DRIVER={ZoText}").getAttributeValue(u("driver"))), "{ZoText}");
    parse("A={;}", nullptr, 0, ZoFailure);

    // Not closed, or followed by more than blanks: syntax errors at the brace and after it.
    parse("A=1;B={x;y", nullptr, 0, ZoFailure, true);
    EXPECT_EQ(lastText(), "Syntax error in the attribute string at offset 6.");
    parse("A={x}y;B=1", nullptr, 0, ZoFailure, true);
    EXPECT_EQ(lastText(), "Syntax error in the attribute string at offset 5.");

    // Added values are kept as given and braced on output where needed.
    ZoValueParser &p = parse("A=1", nullptr, 0, ZoSuccess, true);
    ASSERT_EQ(p.addAttribute(u("PWD"), u("a;b}c"), nullptr), ZoSuccess);
    ASSERT_EQ(p.addAttribute(u("Q"), u("'x'"), nullptr), ZoSuccess);
    EXPECT_EQ(str(p.getAttributeValue(u("pwd"))), "a;b}c");
    EXPECT_EQ(rebuilt(p), "A=1;PWD={a;b}}c};Q={'x'}");
}

TEST_F(ValueParserTest, BracedValuesStepByCharacter) {
    zotest::CodePage page(932);
    // 0x7D ('}') and 0x7B ('{') are trail bytes of these characters: they close nothing.
    const std::string inner = "\x81\x7D;\x81\x7B";
    ZoValueParser &p = parse("A={" + inner + "};B=1", nullptr, 0, ZoSuccess, true);
    EXPECT_EQ(str(p.getAttributeValue(u("A"))), inner);
    EXPECT_EQ(rebuilt(p), "A={" + inner + "};B=1");

    // A value read unbraced at the end of the text may end in a lead byte with nothing after
    // it; in braces that byte would take the closing brace, so it cannot be written.
    ZoValueParser &cut = parse("A='x\x81", nullptr, 0, ZoSuccess, true);
    EXPECT_EQ(str(cut.getAttributeValue(u("A"))), "'x\x81");
    ZoString out;
    EXPECT_EQ(cut.buildString(&out), ZoFailure);
}

TEST_F(ValueParserTest, MultiByteKeysAndValues) {
    {
        zotest::CodePage page(932);
        // 0x5C, the backslash, is the trail byte of several characters here.
        ZoValueParser &p = parse("\x83\x5C\x83\x74\x83\x67=\x95\x5C;X=1");
        EXPECT_EQ(keys(p), (std::vector<std::string>{"\x83\x5C\x83\x74\x83\x67", "X"}));
        EXPECT_EQ(str(p.getAttributeValue(u("\x83\x5C\x83\x74\x83\x67"))), "\x95\x5C");
    }
    zotest::Utf8Mode utf8;
    ZoValueParser &p = parse("Cl\xC3\xA9=\xE6\xBC\xA2\xE5\xAD\x97 ;X=1");
    EXPECT_EQ(str(p.getAttributeValue(u("Cl\xC3\xA9"))), "\xE6\xBC\xA2\xE5\xAD\x97");
}

} // namespace
