#include <zo/zorepstr.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "support/alloc_failure.h"
#include "support/error_capture.h"
#include "text/text_modes.h"

using zotest::u;

namespace {

std::string textOf(const ZoSubString &s) {
    return s.data() == nullptr ? std::string() : std::string(reinterpret_cast<const char *>(s.data()), s.length());
}

std::string written(const ZoReplaceString &r) {
    return std::string(reinterpret_cast<const char *>(r.target()->data()), r.writePosition());
}

void init(ZoString &s, const std::string &text) {
    ASSERT_EQ(s.initialize(u(text.c_str()), static_cast<uint32_t>(text.size())), ZoSuccess);
}

TEST(ZoReplaceString, ConsumingMoreThanWrittenLeavesAGapTheEndCloses) {
    ZoString s;
    init(s, "abcdef");
    {
        ZoReplaceString r(&s);
        r.skip(3);
        ASSERT_EQ(r.concat(u("XY"), 2), ZoSuccess);
        EXPECT_EQ(r.readPosition() - r.writePosition(), 1u);
        EXPECT_EQ(textOf(r), "def");
    }
    EXPECT_EQ(textOf(s), "XYdef");
    EXPECT_EQ(s.capacity(), 6u); // trimmed to the contents and one byte more
}

TEST(ZoReplaceString, AWriteWithoutGapGrowsWithSlack) {
    ZoString s;
    init(s, "0123456789");
    ZoReplaceString r(&s);
    r.keep(4);
    ASSERT_EQ(r.concat(u("abcdefghij"), 10), ZoSuccess);
    EXPECT_EQ(s.capacity(), 10u + 523u); // read position + unread bytes + 10 + 513
    EXPECT_EQ(r.readPosition(), 4u + 522u);
    EXPECT_EQ(textOf(r), "456789");
    EXPECT_EQ(written(r), "0123abcdefghij");
    // The slack takes the next writes without growth.
    const unsigned char *buffer = s.data();
    ASSERT_EQ(r.concat(u("!"), 1), ZoSuccess);
    EXPECT_EQ(s.data(), buffer);
    r.finish();
    EXPECT_EQ(textOf(s), "0123abcdefghij!456789");
    EXPECT_EQ(s.capacity(), s.length() + 1);
}

TEST(ZoReplaceString, BytesFromItsOwnBufferSurviveGrowth) {
    ZoString s;
    init(s, "head:tail");
    ZoReplaceString r(&s);
    r.keep(5);
    // Unread bytes, written bytes, and bytes across both, each while the buffer grows.
    ASSERT_EQ(r.concat(r.data(), 4), ZoSuccess);
    EXPECT_EQ(written(r), "head:tail");
    ASSERT_EQ(r.concat(s.data(), 4), ZoSuccess);
    r.skip(4);
    EXPECT_EQ(textOf(r), "");
    r.finish();
    EXPECT_EQ(textOf(s), "head:tailhead");
    init(s, "abcdef");
    r.start(&s);
    r.keep(3);
    ASSERT_EQ(r.concat(s.data() + 1, 4), ZoSuccess); // "bc" written, "de" unread
    r.finish();
    EXPECT_EQ(textOf(s), "abcbcdedef");
}

TEST(ZoReplaceString, QuotedBytesDoubleTheQuote) {
    ZoString s;
    init(s, "it's");
    ZoReplaceString r(&s);
    ASSERT_EQ(r.addQuotedBytes(r.data(), r.length(), '\''), ZoSuccess);
    EXPECT_EQ(textOf(r), "it's"); // the unread rest is not consumed
    r.skip(4);
    r.finish();
    EXPECT_EQ(textOf(s), "'it''s'");
    {
        // A double-byte character whose trail byte is the quote is copied whole; a lead
        // byte in the last position is written alone.
        zotest::CodePage cp(932);
        init(s, "x");
        r.start(&s);
        ASSERT_EQ(r.addQuotedBytes(u("\x83\x5C\\\x83"), 4, '\\'), ZoSuccess);
        r.finish();
        EXPECT_EQ(textOf(s), "\\\x83\x5C\\\\\x83\\x");
    }
}

TEST(ZoReplaceString, IdleAndBorrowedTargets) {
    {
        ZoReplaceString idle;
        EXPECT_EQ(idle.concat(u("a"), 1), ZoFailure);
        idle.skip(1);
        idle.finish();
    }
    zotest::ErrorCapture capture;
    unsigned char buffer[8] = "abcdef";
    ZoString s;
    s.initializeWithBuffer(buffer, sizeof buffer, 6);
    {
        ZoReplaceString r(&s);
        r.skip(2);
        ASSERT_EQ(r.concat(u("X"), 1), ZoSuccess);
        EXPECT_EQ(r.concat(u("0123456789"), 10), ZoFailure);
        EXPECT_EQ(capture.lastNumber(), 2716);
    }
    // The gap is closed in the caller's buffer, which keeps its size.
    EXPECT_EQ(s.data(), buffer);
    EXPECT_EQ(s.capacity(), 8u);
    EXPECT_EQ(textOf(s), "Xcdef");
}

// ---- A model: the same edits on two std::strings -------------------------------------------

struct Model {
    std::string out, in;
};

std::string quoted(const std::string &bytes, char quote) {
    std::string q(1, quote);
    for (size_t i = 0; i < bytes.size();) {
        size_t n = zo::plat::isLeadByte(static_cast<unsigned char>(bytes[i])) ? 2 : 1;
        n = std::min(n, bytes.size() - i);
        if (bytes[i] == quote)
            q += quote;
        q += bytes.substr(i, n);
        i += n;
    }
    return q + quote;
}

// One random edit, applied to both; returns what the rewriter reported.
ZoStatus randomEdit(std::mt19937 &rng, ZoReplaceString &r, Model &m) {
    static const char alphabet[] = "ab'\x83\x5C";
    std::string fresh;
    for (size_t n = rng() % 40; n > 0; --n)
        fresh += alphabet[rng() % (sizeof alphabet - 1)];
    if (rng() % 10 == 0)
        fresh.append(600 + rng() % 600, 'z');
    // The bytes to write: new ones, or a piece of the unread or written part.
    const unsigned char *bytes = u(fresh);
    uint32_t n = static_cast<uint32_t>(fresh.size());
    switch (rng() % 3) {
    case 1:
        n = r.length() == 0 ? 0 : static_cast<uint32_t>(rng() % (r.length() + 1));
        bytes = r.data() + (r.length() - n);
        break;
    case 2:
        n = r.writePosition() == 0 ? 0 : static_cast<uint32_t>(rng() % (r.writePosition() + 1));
        bytes = r.target()->data();
        break;
    default: break;
    }
    const std::string piece(reinterpret_cast<const char *>(bytes), n);
    const uint32_t k = static_cast<uint32_t>(rng() % 8);
    const size_t taken = std::min<size_t>(k, m.in.size());
    ZoStatus status = ZoSuccess;
    switch (rng() % 5) {
    case 0:
        r.keep(k);
        m.out += m.in.substr(0, taken);
        m.in.erase(0, taken);
        break;
    case 1:
        r.skip(k);
        m.in.erase(0, taken);
        break;
    case 2:
        if ((status = r.concat(bytes, n)) == ZoSuccess)
            m.out += piece;
        break;
    case 3:
        if ((status = r.replace(k, bytes, n)) == ZoSuccess) {
            m.out += piece;
            m.in.erase(0, taken);
        }
        break;
    default:
        if ((status = r.addQuotedBytes(bytes, n, '\'')) == ZoSuccess)
            m.out += quoted(piece, '\'');
        break;
    }
    return status;
}

void expectModel(const ZoReplaceString &r, const Model &m) {
    ASSERT_EQ(written(r), m.out);
    ASSERT_EQ(textOf(r), m.in);
    ASSERT_LE(r.writePosition(), r.readPosition());
    ASSERT_EQ(r.data(), r.target()->data() + r.readPosition());
}

void runModel(unsigned seed) {
    std::mt19937 rng(seed);
    for (int round = 0; round < 200; ++round) {
        std::string start;
        for (size_t n = rng() % 50; n > 0; --n)
            start += "xy'\x83\x5C"[rng() % 5];
        ZoString s;
        init(s, start);
        Model m{"", start};
        ZoReplaceString r(&s);
        for (int edit = 0; edit < 30; ++edit) {
            ASSERT_EQ(randomEdit(rng, r, m), ZoSuccess);
            expectModel(r, m);
        }
        r.finish();
        ASSERT_EQ(textOf(s), m.out + m.in);
        ASSERT_LT(s.length(), s.capacity());
    }
}

TEST(ZoReplaceString, AnyEditsGiveWhatTheSameEditsGiveOnStrings) {
    runModel(1);
    zotest::CodePage cp(932);
    runModel(2);
}

// Each growing edit with its allocations failing in turn: it fails and changes nothing.
TEST(ZoReplaceString, AFailedGrowthKeepsTheOldContents) {
    std::mt19937 rng(9);
    for (int round = 0; round < 60; ++round) {
        const unsigned seed = static_cast<unsigned>(rng());
        uint32_t points = zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
            std::mt19937 edits(seed);
            ZoString s;
            init(s, "start'\x83\x5C");
            Model m{"", "start'\x83\x5C"};
            ZoReplaceString r(&s);
            for (int edit = 0; edit < 6; ++edit) {
                const Model before = m;
                const uint32_t read = r.readPosition(), write = r.writePosition();
                if (edit == 5)
                    point.arm();
                ZoStatus status = randomEdit(edits, r, m);
                if (edit == 5 && point.disarm()) {
                    ASSERT_EQ(status, ZoFailure);
                    ASSERT_EQ(r.readPosition(), read);
                    ASSERT_EQ(r.writePosition(), write);
                    m = before;
                }
                expectModel(r, m);
            }
            r.finish();
            ASSERT_EQ(textOf(s), m.out + m.in);
        });
        (void)points; // edits that need no memory have none
    }
}

} // namespace
