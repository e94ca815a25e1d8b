// Owner-drawn list items: measuring an item and drawing it with its icon and text.
#include <zo/zodialog.h>

#include <cstring>

#include "platform/draw.h"

namespace {

namespace plat = zo::plat;

// Where the icon and the text go, from the item's top-left corner.
constexpr int32_t kIconX = 4, kIconY = 3, kTextX = 39, kTextY = 11;

void drawIcon(void *dc, HINSTANCE instance, const unsigned char *iconName, int32_t x, int32_t y) {
    void *icon = plat::loadIcon(instance, iconName);
    plat::drawIcon(dc, x, y, icon);
    plat::destroyIcon(icon);
}

} // namespace

int zoMeasureItem(HWND window, intptr_t measureItem, uint32_t extra) {
    if (measureItem == 0)
        return 0;
    void *dc = plat::getDC(window);
    int32_t width = 0, height = 0;
    static const unsigned char sample[] = "A";
    plat::textExtent(dc, sample, 1, &width, &height);
    plat::releaseDC(window, dc);
    reinterpret_cast<ZoMeasureItemRecord *>(measureItem)->itemHeight = extra + static_cast<uint32_t>(height);
    return 1;
}

void zoOwnerDrawControl(HINSTANCE instance, ZoDrawItemRecord *item, unsigned char *text, unsigned char *iconName) {
    void *dc = item->dc;
    const ZoRect &box = item->itemRect;
    const bool selected = (item->itemState & ZoItemSelected) != 0;
    plat::fillRect(dc, box, plat::systemColour(selected ? plat::ColourHighlight : plat::ColourWindow));
    drawIcon(dc, instance, iconName, box.left + kIconX, box.top + kIconY);
    uint32_t textColour =
        plat::setTextColour(dc, plat::systemColour(selected ? plat::ColourHighlightText : plat::ColourWindowText));
    bool transparent = plat::setTransparentBackground(dc, true);
    if (text != nullptr)
        plat::textOutClipped(dc, box.left + kTextX, box.top + kTextY, box, text,
                             static_cast<uint32_t>(std::strlen(reinterpret_cast<const char *>(text))));
    plat::setTextColour(dc, textColour);
    plat::setTransparentBackground(dc, transparent);
    if (item->itemState & ZoItemFocus)
        plat::drawFocusRect(dc, box);
}
