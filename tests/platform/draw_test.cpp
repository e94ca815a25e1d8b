// Drawing of the headless window layer, checked on the pixels of snapshots.
#include "platform/draw.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "support/windows.h"

// The font configuration library keeps caches of its own that it never gives back; they
// are not this library's leaks. pango loads that configuration on a thread of its own and
// hands it over through glib's locks, which ThreadSanitizer does not see.
extern "C" const char *__lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
extern "C" const char *__tsan_default_suppressions() {
    return "race:libfontconfig.so\nrace:libglib-2.0.so\nrace:libpango-1.0.so\nrace:libpangoft2-1.0.so\n";
}

namespace {

namespace plat = zo::plat;
using zotest::Picture;
using zotest::pixelOf;
using zotest::TestWindow;
using zotest::text;

const uint32_t kWhite = pixelOf(plat::rgb(255, 255, 255));
const uint32_t kRed = pixelOf(plat::rgb(255, 0, 0));

// Draws with a device context of the window, released after.
template <class Draw>
void drawOn(HWND window, Draw draw) {
    void *dc = plat::getDC(window);
    ASSERT_NE(dc, nullptr);
    draw(dc);
    plat::releaseDC(window, dc);
}

bool anyPixelOtherThan(const Picture &picture, int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t colour) {
    for (int32_t y = y0; y < y1; ++y)
        for (int32_t x = x0; x < x1; ++x)
            if (picture.at(x, y) != colour)
                return true;
    return false;
}

TEST(Drawing, ClipRegionKeepsFillsInside) {
    TestWindow w(0, 0, 40, 40);
    drawOn(w.handle(), [](void *dc) {
        void *region = plat::createRectRegion(10, 10, 20, 20);
        plat::selectClipRegion(dc, region);
        plat::deleteRegion(region); // the device context keeps its own copy
        plat::fillRect(dc, ZoRect{0, 0, 40, 40}, plat::rgb(255, 0, 0));
    });
    Picture p(w.handle());
    EXPECT_EQ(p.at(10, 10), kRed);
    EXPECT_EQ(p.at(19, 19), kRed);
    EXPECT_EQ(p.at(9, 15), kWhite);
    EXPECT_EQ(p.at(20, 15), kWhite);
    EXPECT_EQ(p.at(15, 20), kWhite);
}

TEST(Drawing, TextIsMeasuredInTheSelectedFontAndDrawnInsideItsBox) {
    TestWindow w(0, 0, 200, 60);
    int32_t narrow = 0, wide = 0, small = 0, large = 0, height = 0, emptyHeight = 0;
    drawOn(w.handle(), [&](void *dc) {
        plat::textExtent(dc, text("ii"), 2, &narrow, &height);
        plat::textExtent(dc, text("WW"), 2, &wide, &height);
        plat::textExtent(dc, text(""), 0, &small, &emptyHeight);
        plat::textExtent(dc, text("Path"), 4, &small, &height);
        void *font = plat::createFont("DejaVu Sans", 22, false);
        void *previous = plat::selectFont(dc, font);
        plat::textExtent(dc, text("Path"), 4, &large, &height);
        plat::selectFont(dc, previous);
        plat::deleteFont(font);
        plat::setTextColour(dc, plat::rgb(255, 0, 0));
        plat::textOut(dc, 20, 20, text("Path"), 4);
    });
    EXPECT_LT(narrow, wide);
    EXPECT_GT(large, small * 3 / 2);
    EXPECT_GT(emptyHeight, 0); // an empty text still has the font's line height
    Picture p(w.handle());
    EXPECT_TRUE(anyPixelOtherThan(p, 20, 20, 20 + small, 20 + emptyHeight, kWhite));
    EXPECT_FALSE(anyPixelOtherThan(p, 0, 0, 200, 19, kWhite));
    EXPECT_FALSE(anyPixelOtherThan(p, 22 + small, 0, 200, 60, kWhite));
}

TEST(Drawing, OpaqueTextFillsItsBoxTransparentTextDoesNot) {
    TestWindow w(0, 0, 100, 40);
    drawOn(w.handle(), [](void *dc) {
        plat::setBackgroundColour(dc, plat::rgb(255, 0, 0));
        plat::textOut(dc, 0, 0, text("x"), 1); // opaque by default
        EXPECT_FALSE(plat::setTransparentBackground(dc, true));
        plat::textOut(dc, 50, 0, text("x"), 1);
    });
    Picture p(w.handle());
    EXPECT_EQ(p.at(0, 0), kRed);
    EXPECT_EQ(p.at(50, 0), kWhite);
}

TEST(Drawing, FocusRectangleInvertsAndASecondOneRestores) {
    TestWindow w(0, 0, 30, 30);
    const ZoRect box{5, 5, 25, 25};
    drawOn(w.handle(), [&](void *dc) { plat::drawFocusRect(dc, box); });
    {
        Picture p(w.handle());
        EXPECT_EQ(p.at(5, 5), pixelOf(plat::rgb(0, 0, 0)));
        EXPECT_EQ(p.at(15, 15), kWhite);
    }
    drawOn(w.handle(), [&](void *dc) { plat::drawFocusRect(dc, box); });
    Picture p(w.handle());
    EXPECT_EQ(p.at(5, 5), kWhite);
}

TEST(Drawing, IconsComeFromTheResourceLibraryPixelForPixel) {
    zotest::Resources resources;
    std::vector<uint32_t> expected = resources.iconPixels("ZOABOUT2");
    ASSERT_EQ(expected.size(), 32u * 32u);
    void *icon = plat::loadIcon(resources.module(), text("zoabout2"));
    ASSERT_NE(icon, nullptr);
    int32_t width = 0, height = 0;
    EXPECT_TRUE(plat::iconSize(icon, &width, &height));
    EXPECT_EQ(width, 32);
    TestWindow w(0, 0, 60, 60);
    drawOn(w.handle(), [&](void *dc) { plat::drawIcon(dc, 7, 9, icon); });
    plat::destroyIcon(icon);
    Picture p(w.handle());
    EXPECT_EQ(p.area(7, 9, 32, 32), expected);
    EXPECT_EQ(plat::loadIcon(resources.module(), text("NOSUCHICON")), nullptr);
    EXPECT_EQ(plat::loadIcon(resources.module(), plat::iconResourceNumber(5)), nullptr);
    void *application = plat::loadIcon(nullptr, plat::iconResourceNumber(plat::kIconApplication));
    EXPECT_NE(application, nullptr);
    plat::destroyIcon(application);
}

TEST(Snapshots, ShowTheFrameTitleBarAndVisibleChildren) {
    TestWindow w(0, 0, 120, 80, plat::kStyleOverlappedWindow | plat::kStyleVisible, nullptr, "Title");
    TestWindow shown(10, 10, 20, 20, plat::kStyleChild | plat::kStyleVisible, w.handle());
    TestWindow hidden(40, 10, 20, 20, plat::kStyleChild, w.handle());
    drawOn(shown.handle(), [](void *dc) { plat::fillRect(dc, ZoRect{0, 0, 20, 20}, plat::rgb(255, 0, 0)); });
    drawOn(hidden.handle(), [](void *dc) { plat::fillRect(dc, ZoRect{0, 0, 20, 20}, plat::rgb(255, 0, 0)); });
    Picture p(w.handle());
    EXPECT_EQ(plat::snapshotWidth(p.snapshot()), 120);
    EXPECT_EQ(p.at(0, 0), pixelOf(plat::systemColour(plat::ColourWindowFrame)));
    EXPECT_EQ(p.at(60, 2), pixelOf(plat::systemColour(plat::ColourActiveCaption)));
    int32_t x = 0, y = 0;
    ASSERT_TRUE(plat::clientOffset(w.handle(), &x, &y));
    EXPECT_EQ(p.at(x + 10, y + 10), kRed);
    EXPECT_EQ(p.at(x + 9, y + 10), kWhite);
    EXPECT_EQ(p.at(x + 45, y + 15), kWhite); // the hidden child
}

TEST(Snapshots, AreWrittenAsPng) {
    TestWindow w(0, 0, 16, 16);
    auto path = std::filesystem::temp_directory_path() / "zo_snapshot_test.png";
    ASSERT_TRUE(plat::writeWindowPng(w.handle(), path.c_str()));
    std::ifstream in(path, std::ios::binary);
    char signature[8] = {};
    in.read(signature, 8);
    EXPECT_EQ(std::string(signature + 1, 3), "PNG");
    std::filesystem::remove(path);
    EXPECT_FALSE(plat::writeWindowPng(nullptr, path.c_str()));
}

} // namespace
