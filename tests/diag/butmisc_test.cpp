// Yes/no settings and dialog-text accelerators.
#include <zo/zodialog.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/codepage.h"
#include "support/windows.h"

namespace {

struct Used {
    unsigned char bits[32] = {};
    bool has(unsigned char c) const { return (bits[c >> 3] >> (c & 7)) & 1; }
};

// makeDialogText on a copy of text in a 300-byte buffer.
std::string dialogText(Used &used, const std::string &text, const char *argument = nullptr) {
    unsigned char buffer[300] = {};
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    makeDialogText(used.bits, buffer, reinterpret_cast<const unsigned char *>(argument));
    return reinterpret_cast<char *>(buffer);
}

TEST(IsTrueStr, LooksAtTheFirstOneOrTwoCharacters) {
    const struct {
        const char *text;
        unsigned short expected;
    } cases[] = {{"Tuesday", 1}, {"off", 0}, {"", 0},    {"TRUE", 1}, {"t", 1}, {"1", 1},  {"On", 1},
                 {"one", 1},     {"oN", 1},  {"yes", 0}, {"0", 0},    {"o", 0}, {"no", 0}, {nullptr, 0}};
    for (const auto &c : cases)
        EXPECT_EQ(isTrueStr(reinterpret_cast<const unsigned char *>(c.text)), c.expected)
            << (c.text != nullptr ? c.text : "(null)");
}

TEST(Accelerators, MarkerComesFromTheResourceLibrary) {
    unsigned char marker[256] = {'x', '\0'};
    {
        zotest::Resources resources;
        getMenuAccelerator(marker);
        EXPECT_STREQ(reinterpret_cast<char *>(marker), "&");
    }
    getMenuAccelerator(marker); // no resource library held: no marker
    EXPECT_STREQ(reinterpret_cast<char *>(marker), "");
}

TEST(Accelerators, EachTextGetsAFreeCharacter) {
    zotest::Resources resources;
    Used used;
    EXPECT_EQ(dialogText(used, "Open"), "&Open");
    EXPECT_EQ(dialogText(used, "Options"), "O&ptions");
    EXPECT_EQ(dialogText(used, "Exit"), "&Exit");
    EXPECT_TRUE(used.has('o') && used.has('p') && used.has('e'));
    EXPECT_FALSE(used.has('O'));                        // recorded lower-cased
    EXPECT_EQ(dialogText(used, "  Print"), "  P&rint"); // blanks are skipped, p is taken
    EXPECT_EQ(dialogText(used, "E&xit"), "E&xit");      // a marked text keeps its marker
    EXPECT_TRUE(used.has('x'));
    EXPECT_EQ(dialogText(used, "OPE"), "&OPE"); // every character taken: the first one
}

TEST(Accelerators, FormatsTakeTheirArgumentOnly) {
    zotest::Resources resources;
    Used used;
    EXPECT_EQ(dialogText(used, "Open %s", "file.txt"), "&Open file.txt");
    EXPECT_EQ(dialogText(used, "%d%% of %s", "all"), "&%d% of all"); // %d is text, not a conversion
    std::string longArgument(400, 'z');
    std::string made = dialogText(used, "Save %s", longArgument.c_str());
    EXPECT_EQ(made.size(), 255u); // cut to fit the working buffer, marker included
    EXPECT_EQ(made.substr(0, 4), "&Sav");
}

TEST(Accelerators, TheIdeographicSpaceIsNoCandidate) {
    zotest::Resources resources;
    ASSERT_TRUE(zo::plat::setCodePageForTest(932));
    Used used;
    std::string made = dialogText(used, "\x81\x40Name");
    ASSERT_TRUE(zo::plat::setCodePageForTest(1252));
    EXPECT_EQ(made, "\x81\x40&Name");
}

TEST(Accelerators, SetAcceleratorKeyRecordsTheCharacterAfterTheMarker) {
    zotest::Resources resources;
    Used used;
    setAcceleratorKey(used.bits, reinterpret_cast<const unsigned char *>("Sa&Ve"));
    EXPECT_TRUE(used.has('v'));
    Used none;
    setAcceleratorKey(none.bits, reinterpret_cast<const unsigned char *>("Save"));
    EXPECT_EQ(std::string(reinterpret_cast<char *>(none.bits), 32), std::string(32, '\0'));
}

} // namespace
