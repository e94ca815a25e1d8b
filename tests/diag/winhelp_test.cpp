// Centring windows and the pointers kept on them.
#include <zo/zodialog.h>

#include <gtest/gtest.h>

#include "support/windows.h"

namespace {

namespace plat = zo::plat;

struct ScreenOf800By600 {
    ScreenOf800By600() { plat::setScreenSize(800, 600); }
    ~ScreenOf800By600() { plat::setScreenSize(1024, 768); }
};

ZoRect placed(HWND window) {
    ZoRect r{};
    plat::windowRect(window, &r);
    return r;
}

TEST(WinCenterBox, CentresOverTheParentOrTheScreenAndStaysOnIt) {
    ScreenOf800By600 screen;
    const struct {
        ZoRect owner; // empty: no owner
        int32_t width, height;
        bool ownerMinimized;
        int32_t x, y;
    } cases[] = {
        {{100, 100, 500, 400}, 200, 100, false, 200, 200}, // over the owner
        {{0, 0, 0, 0}, 200, 100, false, 300, 250},         // over the screen
        {{0, 0, 0, 0}, 1000, 700, false, 0, 0},            // larger than the screen
        {{700, 500, 800, 600}, 200, 100, false, 600, 500}, // pushed back from the right edge
        {{100, 100, 500, 400}, 200, 100, true, 300, 250},  // owner minimised: the screen
        {{300, 0, 400, 100}, 201, 100, false, 250, 0},     // the half is rounded toward zero
        {{0, 0, 100, 100}, 300, 300, false, 0, 0},         // never left of or above the screen
    };
    for (const auto &c : cases) {
        const ZoRect &o = c.owner;
        zotest::TestWindow owner(o.left, o.top, o.right - o.left, o.bottom - o.top);
        if (c.ownerMinimized)
            plat::showWindow(owner.handle(), plat::kShowMinimize);
        bool owned = o.right > o.left;
        zotest::TestWindow box(5, 5, c.width, c.height, plat::kStylePopup, owned ? owner.handle() : nullptr);
        winCenterBox(box.handle());
        ZoRect r = placed(box.handle());
        EXPECT_EQ(r.left, c.x) << c.width << "x" << c.height << " over " << o.left << "," << o.top;
        EXPECT_EQ(r.top, c.y) << c.width << "x" << c.height << " over " << o.left << "," << o.top;
        EXPECT_EQ(r.right - r.left, c.width); // size unchanged
    }
}

TEST(WinPointers, TheTwoPointersOfAWindowAreIndependent) {
    zotest::TestWindow w(0, 0, 10, 10);
    int first = 0, second = 0;
    zoSetWinPointer(w.handle(), &first);
    zoSetWinPointer(w.handle(), &second, 1);
    EXPECT_EQ(zoGetWinPointer(w.handle()), &first);
    EXPECT_EQ(zoGetWinPointer(w.handle(), 0), &second); // the argument only selects the form
    EXPECT_EQ(plat::property(w.handle(), "Handle"), &first);
    zoRemoveWinPointer(w.handle());
    EXPECT_EQ(zoGetWinPointer(w.handle()), nullptr);
    EXPECT_EQ(zoGetWinPointer(w.handle(), 7), &second);
    zoRemoveWinPointer(w.handle(), 7);
    EXPECT_EQ(zoGetWinPointer(w.handle(), 7), nullptr);
}

} // namespace
