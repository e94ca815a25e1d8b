// The about boxes' animation: four icons scrolling upward through a clipped pane, by 4
// pixels a frame, so that the icon leaving at the top comes back at the bottom.
#include <zo/zoabout.h>

#include "platform/draw.h"
#include "platform/window.h"

namespace {

namespace plat = zo::plat;

constexpr int32_t kIconX = 10;
constexpr int32_t kPaneLeft = 10, kPaneTop = 15, kPaneRight = 50, kPaneBottom = 143;
constexpr int32_t kIconHeight = 32, kStepPixels = 4, kFramesPerIcon = 8;
constexpr uint32_t kFrameMilliseconds = 500;

// Frame k shows the strip rotated left by (k / 8) mod 4, moved up by 4 * (k mod 8) pixels.
void drawFrame(void *dc, void *const (&icons)[4], uint8_t frame) {
    const int rotation = (frame / kFramesPerIcon) % 4;
    const int step = frame % kFramesPerIcon;
    const int32_t top = kPaneTop - kStepPixels * step;
    for (int i = 0; i < 4; ++i)
        plat::drawIcon(dc, kIconX, top + i * kIconHeight, icons[(rotation + i) % 4]);
    if (step != 0)
        plat::drawIcon(dc, kIconX, top + 4 * kIconHeight, icons[rotation]);
}

} // namespace

void zoPerformAnimation(ZoAboutDlgAnimate *animate) {
    void *dc = plat::getDC(animate->window);
    void *icons[4];
    for (int i = 0; i < 4; ++i)
        icons[i] = plat::loadIcon(animate->instance, animate->icons[i]);
    void *pane = plat::createRectRegion(kPaneLeft, kPaneTop, kPaneRight, kPaneBottom);
    // The frame counter is 8 bits wide and wraps: 256 is a multiple of the 32-frame cycle.
    for (uint8_t frame = 0;; ++frame) {
        if (pane != nullptr) { // without its clip region the strip would spill out of the pane
            plat::selectClipRegion(dc, pane);
            drawFrame(dc, icons, frame);
        }
        plat::framePause(kFrameMilliseconds);
        if (animate->stop.load(std::memory_order_acquire) != 0)
            break;
    }
    plat::deleteRegion(pane);
    for (void *icon : icons)
        plat::destroyIcon(icon);
    plat::releaseDC(animate->window, dc);
}

void zoAboutDlgPaint(HWND) {}
