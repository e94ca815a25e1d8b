// Owner-drawn items: their measured height and their pixels.
#include <zo/zodialog.h>

#include <gtest/gtest.h>

#include <cstring>

#include "support/windows.h"

namespace {

namespace plat = zo::plat;
using zotest::Picture;
using zotest::pixelOf;
using zotest::text;

int32_t heightOfA(HWND window) {
    void *dc = plat::getDC(window);
    int32_t width = 0, height = 0;
    plat::textExtent(dc, text("A"), 1, &width, &height);
    plat::releaseDC(window, dc);
    return height;
}

TEST(OwnerDraw, ItemHeightIsTheExtraPlusTheWindowsTextHeight) {
    zotest::TestWindow w(0, 0, 100, 100);
    ZoMeasureItemRecord record{};
    EXPECT_EQ(zoMeasureItem(w.handle(), reinterpret_cast<intptr_t>(&record), 6), 1);
    EXPECT_EQ(record.itemHeight, 6u + static_cast<uint32_t>(heightOfA(w.handle())));
    void *font = plat::createFont("DejaVu Sans", 30, false);
    plat::sendMessage(w.handle(), plat::kMsgSetFont, reinterpret_cast<uintptr_t>(font), 0);
    EXPECT_EQ(zoMeasureItem(w.handle(), reinterpret_cast<intptr_t>(&record), 6), 1);
    EXPECT_GT(record.itemHeight, 6u + 30u);
    plat::sendMessage(w.handle(), plat::kMsgSetFont, 0, 0);
    plat::deleteFont(font);
    EXPECT_EQ(zoMeasureItem(w.handle(), 0, 6), 0);
}

// Draws one item of a 200 by 60 window into the rectangle (0, 0)-(width, 40).
struct DrawnItem {
    zotest::TestWindow window{0, 0, 200, 60};
    uint32_t restoredTextColour = 0;
    bool restoredTransparent = true;

    DrawnItem(uint32_t state, int32_t width, const char *label, zotest::Resources &resources) {
        void *dc = plat::getDC(window.handle());
        ZoDrawItemRecord item{};
        item.itemState = state;
        item.dc = dc;
        item.itemRect = ZoRect{0, 0, width, 40};
        unsigned char name[] = "ZOABOUT3";
        unsigned char labelText[64];
        std::strcpy(reinterpret_cast<char *>(labelText), label);
        zoOwnerDrawControl(resources.module(), &item, labelText, name);
        restoredTextColour = plat::setTextColour(dc, 0);
        restoredTransparent = plat::setTransparentBackground(dc, false);
        plat::releaseDC(window.handle(), dc);
    }
};

bool anyPixel(const Picture &p, int32_t x0, int32_t x1, int32_t y0, int32_t y1, uint32_t colour) {
    for (int32_t y = y0; y < y1; ++y)
        for (int32_t x = x0; x < x1; ++x)
            if (p.at(x, y) == colour)
                return true;
    return false;
}

TEST(OwnerDraw, SelectedItemIsHighlightedWithIconTextAndFocus) {
    zotest::Resources resources;
    DrawnItem drawn(ZoItemSelected | ZoItemFocus, 200, "Driver", resources);
    Picture p(drawn.window.handle());
    const uint32_t highlight = pixelOf(plat::systemColour(plat::ColourHighlight));
    EXPECT_EQ(p.at(150, 30), highlight);
    EXPECT_EQ(p.area(4, 3, 32, 32), resources.iconPixels("ZOABOUT3"));
    EXPECT_TRUE(anyPixel(p, 39, 100, 11, 30, pixelOf(plat::systemColour(plat::ColourHighlightText))));
    const uint32_t inverted = pixelOf(plat::rgb(255, 255, 127)); // the focus rectangle's dots
    EXPECT_TRUE(anyPixel(p, 0, 1, 1, 39, inverted));
    EXPECT_TRUE(anyPixel(p, 1, 199, 39, 40, inverted));
    EXPECT_EQ(p.at(150, 45), pixelOf(plat::systemColour(plat::ColourWindow))); // below the item
    EXPECT_EQ(drawn.restoredTextColour, plat::rgb(0, 0, 0));
    EXPECT_FALSE(drawn.restoredTransparent);
}

TEST(OwnerDraw, PlainItemUsesTheWindowColoursAndClipsItsText) {
    zotest::Resources resources;
    DrawnItem drawn(0, 60, "A long driver name that does not fit", resources);
    Picture p(drawn.window.handle());
    const uint32_t window = pixelOf(plat::systemColour(plat::ColourWindow));
    EXPECT_EQ(p.at(50, 38), window);
    EXPECT_EQ(p.at(0, 20), window); // no focus rectangle
    bool inked = false;             // antialiased text: any pixel darker than the window
    for (uint32_t pixel : p.area(39, 11, 21, 20))
        inked = inked || pixel != window;
    EXPECT_TRUE(inked);
    for (int32_t x = 60; x < 200; ++x)
        for (int32_t y = 0; y < 60; ++y)
            ASSERT_EQ(p.at(x, y), window) << x << "," << y;
}

} // namespace
