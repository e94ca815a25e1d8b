// Window objects of the headless layer: life and handles, messages, fields and properties,
// geometry, the stacking order, focus, and what fails when memory runs out.
#include "platform/window.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/alloc_failure.h"
#include "support/windows.h"

namespace {

namespace plat = zo::plat;
using zotest::receivedMessages;
using zotest::TestWindow;
using zotest::text;

HWND makeChild(HWND parent, uintptr_t id, int32_t x = 0, int32_t y = 0) {
    plat::WindowCreate create;
    create.className = zotest::testClass();
    create.style = plat::kStyleChild | plat::kStyleVisible;
    create.x = x;
    create.y = y;
    create.width = 10;
    create.height = 10;
    create.parent = parent;
    create.id = id;
    return plat::createWindow(create);
}

intptr_t refusingProc(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return message == plat::kMsgCreate ? -1 : plat::defaultWindowProc(window, message, wParam, lParam);
}

TEST(WindowLife, MessagesOfCreationAndDestructionComeInOrder) {
    receivedMessages().clear();
    { TestWindow w(0, 0, 50, 40); }
    const std::vector<uint32_t> &m = receivedMessages();
    auto position = [&m](uint32_t message) { return std::find(m.begin(), m.end(), message) - m.begin(); };
    EXPECT_EQ(m.front(), plat::kMsgCreate);
    EXPECT_LT(position(plat::kMsgCreate), position(plat::kMsgSize));
    EXPECT_LT(position(plat::kMsgSize), position(plat::kMsgDestroy));
    EXPECT_EQ(m.back(), plat::kMsgNcDestroy);
}

TEST(WindowLife, HandleOfADestroyedWindowNamesNoOtherWindow) {
    const uint32_t before = plat::windowCount();
    HWND first = plat::createWindow({0, zotest::testClass(), text("a"), plat::kStylePopup, 0, 0, 10, 10});
    plat::destroyWindow(first);
    HWND second = plat::createWindow({0, zotest::testClass(), text("b"), plat::kStylePopup, 0, 0, 10, 10});
    EXPECT_NE(first, second);
    EXPECT_FALSE(plat::isWindow(first));
    EXPECT_EQ(plat::sendMessage(first, plat::kMsgGetTextLength, 0, 0), 0);
    EXPECT_FALSE(plat::setWindowText(first, text("x")));
    unsigned char title[8];
    EXPECT_EQ(plat::windowText(second, title, sizeof title), 1u);
    plat::destroyWindow(second);
    EXPECT_EQ(plat::windowCount(), before);
}

TEST(WindowLife, ChildrenAndOwnedWindowsGoWithTheirWindow) {
    const uint32_t before = plat::windowCount();
    HWND owner = plat::createWindow({0, zotest::testClass(), text(""), plat::kStylePopup, 0, 0, 100, 100});
    HWND child = makeChild(owner, 7);
    HWND grandChild = makeChild(child, 8);
    HWND owned = plat::createWindow({0, zotest::testClass(), text(""), plat::kStylePopup, 0, 0, 10, 10, owner});
    EXPECT_EQ(plat::windowParent(owned), owner);
    EXPECT_EQ(plat::dialogItem(owner, 7), child);
    EXPECT_EQ(plat::dialogItem(owner, 8), nullptr); // only direct children
    plat::destroyWindow(owner);
    for (HWND gone : {owner, child, grandChild, owned})
        EXPECT_FALSE(plat::isWindow(gone));
    EXPECT_EQ(plat::windowCount(), before);
}

TEST(WindowLife, WhatCannotBeMadeIsRefused) {
    plat::WindowClass refusing;
    refusing.name = "ZoRefusingWindow";
    refusing.procedure = refusingProc;
    ASSERT_TRUE(plat::registerWindowClass(refusing));
    EXPECT_FALSE(plat::registerWindowClass(refusing));              // the name is taken
    EXPECT_TRUE(plat::isWindowClassRegistered("zorefusingwindow")); // names ignore case
    const uint32_t before = plat::windowCount();
    EXPECT_EQ(plat::createWindow({0, "ZoRefusingWindow", text(""), plat::kStylePopup, 0, 0, 5, 5}), nullptr);
    EXPECT_EQ(plat::createWindow({0, "NoSuchClass", text(""), plat::kStylePopup, 0, 0, 5, 5}), nullptr);
    EXPECT_EQ(plat::createWindow({0, zotest::testClass(), text(""), plat::kStyleChild, 0, 0, 5, 5}), nullptr);
    EXPECT_EQ(plat::windowCount(), before);
    EXPECT_TRUE(plat::unregisterWindowClass("ZoRefusingWindow"));
}

TEST(WindowLife, EveryAllocationFailureLeavesNoWindowBehind) {
    zotest::testClass();
    const uint32_t before = plat::windowCount();
    uint32_t refused = 0;
    zotest::forEachAllocationFailure([&](zotest::FailurePoint &point) {
        point.arm();
        HWND w = plat::createWindow({0, plat::kEditClass, text("text"), plat::kStylePopup, 0, 0, 50, 20});
        point.disarm();
        // A failure after the window stands (a measurement's device context) only costs
        // that measurement; one before it refuses the window and frees all it took.
        refused += w == nullptr;
        plat::destroyWindow(w);
        EXPECT_EQ(plat::windowCount(), before) << "allocation " << point.k();
    });
    EXPECT_GE(refused, 4u); // window, title, extra bytes, edit state, edit text
}

TEST(WindowFields, ExtraBytesStartZeroedAndHoldPointers) {
    TestWindow w(0, 0, 10, 10);
    const int second = static_cast<int>(sizeof(void *));
    EXPECT_EQ(plat::windowField(w.handle(), 0), 0);
    EXPECT_EQ(plat::windowField(w.handle(), second), 0);
    int target = 0;
    EXPECT_EQ(plat::setWindowField(w.handle(), second, reinterpret_cast<intptr_t>(&target)), 0);
    EXPECT_EQ(plat::windowField(w.handle(), second), reinterpret_cast<intptr_t>(&target));
    EXPECT_EQ(plat::windowField(w.handle(), 0), 0);
    EXPECT_EQ(plat::windowField(w.handle(), 2 * second), 0); // past the extra bytes
    EXPECT_EQ(static_cast<uint32_t>(plat::windowField(w.handle(), plat::kFieldStyle)),
              plat::kStylePopup | plat::kStyleVisible);
}

TEST(WindowFields, PropertiesAreKeptByNameIgnoringCase) {
    TestWindow w(0, 0, 10, 10);
    int a = 0, b = 0;
    ASSERT_TRUE(plat::setProperty(w.handle(), "Handle", &a));
    ASSERT_TRUE(plat::setProperty(w.handle(), "ScaleH", &b));
    EXPECT_EQ(plat::property(w.handle(), "HANDLE"), &a);
    ASSERT_TRUE(plat::setProperty(w.handle(), "handle", &b)); // replaces
    EXPECT_EQ(plat::removeProperty(w.handle(), "Handle"), &b);
    EXPECT_EQ(plat::property(w.handle(), "Handle"), nullptr);
    EXPECT_EQ(plat::property(w.handle(), "ScaleH"), &b);
    EXPECT_EQ(plat::removeProperty(w.handle(), "Handle"), nullptr);
}

TEST(WindowGeometry, ClientAreaLiesInsideTitleBarAndFrame) {
    struct Case {
        uint32_t style;
        int32_t offsetX, offsetY;
    } cases[] = {{plat::kStylePopup, 0, 0},
                 {plat::kStylePopup | plat::kStyleBorder, 1, 1},
                 {plat::kStyleOverlappedWindow, 1, 21}};
    for (const Case &c : cases) {
        TestWindow w(30, 40, 200, 100, c.style);
        ZoRect window, client;
        ASSERT_TRUE(plat::windowRect(w.handle(), &window));
        ASSERT_TRUE(plat::clientRect(w.handle(), &client));
        EXPECT_EQ(window.left, 30);
        EXPECT_EQ(window.bottom, 140);
        EXPECT_EQ(client.right, 200 - 2 * c.offsetX) << c.style;
        EXPECT_EQ(client.bottom, 100 - c.offsetY - c.offsetX) << c.style;
        HWND child = makeChild(w.handle(), 1, 5, 6);
        ZoRect childRect;
        ASSERT_TRUE(plat::windowRect(child, &childRect));
        EXPECT_EQ(childRect.left, 30 + c.offsetX + 5);
        EXPECT_EQ(childRect.top, 40 + c.offsetY + 6);
    }
}

TEST(WindowGeometry, ResizingSendsTheNewClientSize) {
    TestWindow w(0, 0, 100, 100, plat::kStyleOverlappedWindow);
    receivedMessages().clear();
    ASSERT_TRUE(plat::moveWindow(w.handle(), 10, 10, 300, 200, true));
    ASSERT_EQ(std::count(receivedMessages().begin(), receivedMessages().end(), plat::kMsgSize), 1);
    receivedMessages().clear();
    ASSERT_TRUE(plat::moveWindow(w.handle(), 20, 20, 300, 200, true)); // moved only
    EXPECT_EQ(std::count(receivedMessages().begin(), receivedMessages().end(), plat::kMsgSize), 0);
}

TEST(WindowGeometry, DefaultPlaceAndSizeLieOnTheScreen) {
    plat::setScreenSize(800, 600);
    HWND w = plat::createWindow({0, zotest::testClass(), text(""), plat::kStyleOverlappedWindow});
    ZoRect r;
    ASSERT_TRUE(plat::windowRect(w, &r));
    EXPECT_GT(r.right - r.left, 0);
    EXPECT_LE(r.right, 800);
    EXPECT_LE(r.bottom, 600);
    plat::destroyWindow(w);
    plat::setScreenSize(1024, 768);
}

TEST(WindowStacking, TopMostWindowsStayAboveTheOthers) {
    TestWindow a(0, 0, 5, 5), b(0, 0, 5, 5);
    EXPECT_EQ(plat::topLevelWindowAt(0), b.handle()); // the newest is on top
    ASSERT_TRUE(plat::setWindowPos(a.handle(), plat::placeTopMost(), 0, 0, 0, 0, plat::kPosNoMove | plat::kPosNoSize));
    EXPECT_TRUE(plat::isTopMost(a.handle()));
    EXPECT_EQ(plat::topLevelWindowAt(0), a.handle());
    TestWindow c(0, 0, 5, 5); // a new plain window goes below the top-most band
    EXPECT_EQ(plat::topLevelWindowAt(0), a.handle());
    EXPECT_EQ(plat::topLevelWindowAt(1), c.handle());
    ZoRect before, after;
    plat::windowRect(a.handle(), &before);
    ASSERT_TRUE(
        plat::setWindowPos(a.handle(), plat::placeNotTopMost(), 9, 9, 9, 9, plat::kPosNoMove | plat::kPosNoSize));
    plat::windowRect(a.handle(), &after);
    EXPECT_FALSE(plat::isTopMost(a.handle()));
    EXPECT_EQ(plat::topLevelWindowAt(0), a.handle()); // still first of the plain windows
    EXPECT_EQ(before.left, after.left);
    EXPECT_EQ(before.right, after.right);
}

TEST(WindowState, FocusMovesAndLeavesWithItsWindow) {
    TestWindow a(0, 0, 5, 5), b(0, 0, 5, 5);
    plat::setFocus(nullptr);
    EXPECT_EQ(plat::setFocus(a.handle()), nullptr);
    receivedMessages().clear();
    EXPECT_EQ(plat::setFocus(b.handle()), a.handle());
    EXPECT_EQ(receivedMessages(), (std::vector<uint32_t>{plat::kMsgKillFocus, plat::kMsgSetFocus}));
    {
        TestWindow c(0, 0, 5, 5);
        plat::setFocus(c.handle());
    }
    EXPECT_EQ(plat::focusWindow(), nullptr);
}

TEST(WindowState, MinimisedVisibleAndEnabledFlags) {
    TestWindow w(0, 0, 5, 5, plat::kStylePopup);
    EXPECT_FALSE(plat::isVisible(w.handle()));
    EXPECT_FALSE(plat::showWindow(w.handle(), plat::kShowMinimize));
    EXPECT_TRUE(plat::isMinimized(w.handle()));
    EXPECT_TRUE(plat::isVisible(w.handle()));
    plat::showWindow(w.handle(), plat::kShowRestore);
    EXPECT_FALSE(plat::isMinimized(w.handle()));
    EXPECT_FALSE(plat::enableWindow(w.handle(), false));
    EXPECT_FALSE(plat::isEnabled(w.handle()));
    EXPECT_TRUE(plat::enableWindow(w.handle(), true)); // it was disabled
}

TEST(WindowMessages, PostedMessagesReachTheirWindowThroughTheLoop) {
    plat::discardThreadQueue();
    TestWindow w(0, 0, 5, 5);
    ASSERT_TRUE(plat::postMessage(w.handle(), plat::kMsgUser + 1, 2, 3));
    plat::postQuitMessage(4);
    receivedMessages().clear();
    plat::WindowMessage m;
    while (plat::getMessage(&m))
        plat::dispatchMessage(m);
    EXPECT_EQ(m.message, plat::kMsgQuit);
    EXPECT_EQ(m.wParam, 4u);
    EXPECT_EQ(std::count(receivedMessages().begin(), receivedMessages().end(), plat::kMsgUser + 1), 1);
}

} // namespace
