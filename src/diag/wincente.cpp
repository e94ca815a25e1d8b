// Centring a window over its parent or the screen.
#include <zo/zodialog.h>

#include "platform/window.h"

namespace {

namespace plat = zo::plat;

// The window at the top of the window's chain of parents (and owners).
HWND topLevelAncestor(HWND window) {
    while (HWND parent = plat::windowParent(window))
        window = parent;
    return window;
}

// The centred position on one axis, kept on the screen: a window larger than the screen
// starts at 0, one that would reach past the far edge ends there.
int32_t centred(int32_t referenceStart, int32_t referenceSize, int32_t size, int32_t screen) {
    int32_t at = referenceStart + (referenceSize - size) / 2;
    if (at < 0)
        at = 0;
    if (size > screen)
        return 0;
    return at + size > screen ? screen - size : at;
}

} // namespace

void winCenterBox(HWND window) {
    ZoRect box;
    if (!plat::windowRect(window, &box))
        return;
    int32_t screenWidth, screenHeight;
    plat::screenSize(&screenWidth, &screenHeight);
    ZoRect reference{0, 0, screenWidth, screenHeight};
    HWND parent = plat::windowParent(window);
    if (parent != nullptr && !plat::isMinimized(topLevelAncestor(window)))
        plat::windowRect(parent, &reference);
    int32_t x = centred(reference.left, reference.right - reference.left, box.right - box.left, screenWidth);
    int32_t y = centred(reference.top, reference.bottom - reference.top, box.bottom - box.top, screenHeight);
    plat::setWindowPos(window, nullptr, x, y, 0, 0, plat::kPosNoSize | plat::kPosNoZOrder | plat::kPosNoActivate);
}
