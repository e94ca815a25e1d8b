// Windows for tests of the headless window layer and of what draws through it: a plain
// window class whose windows record their messages, windows that go away with the test,
// pixels of snapshots, and the resource library's icons.
#pragma once

#include <zo/cntdblib.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "frame/libstate.h"
#include "platform/draw.h"
#include "platform/module.h"
#include "platform/window.h"

namespace zotest {

namespace plat = zo::plat;

inline const unsigned char *text(const char *s) { return reinterpret_cast<const unsigned char *>(s); }

// A snapshot pixel (0xAARRGGBB) of an opaque colour given as 0x00BBGGRR.
constexpr uint32_t pixelOf(uint32_t colour) {
    return 0xFF000000u | ((colour & 0xFF) << 16) | (colour & 0xFF00) | ((colour >> 16) & 0xFF);
}

// The messages every window of the class "ZoTestWindow" received, in order.
inline std::vector<uint32_t> &receivedMessages() {
    static std::vector<uint32_t> messages;
    return messages;
}

inline intptr_t recordingProc(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    receivedMessages().push_back(message);
    return plat::defaultWindowProc(window, message, wParam, lParam);
}

// The class "ZoTestWindow": white background, 2 pointer-sized extra fields.
inline const char *testClass() {
    static const bool registered = [] {
        plat::WindowClass c;
        c.name = "ZoTestWindow";
        c.procedure = recordingProc;
        c.extraBytes = 2 * static_cast<int>(sizeof(void *));
        c.background = plat::ColourWindow + 1;
        return plat::registerWindowClass(c);
    }();
    EXPECT_TRUE(registered);
    return "ZoTestWindow";
}

// A window of the test class that is destroyed with the object.
class TestWindow {
public:
    TestWindow(int32_t x, int32_t y, int32_t width, int32_t height,
               uint32_t style = plat::kStylePopup | plat::kStyleVisible, HWND parent = nullptr,
               const char *title = "") {
        plat::WindowCreate create;
        create.className = testClass();
        create.title = text(title);
        create.style = style;
        create.x = x;
        create.y = y;
        create.width = width;
        create.height = height;
        create.parent = parent;
        handle_ = plat::createWindow(create);
        EXPECT_NE(handle_, nullptr);
        plat::updateWindow(handle_); // painted now, so that later drawing is not erased
    }
    ~TestWindow() { plat::destroyWindow(handle_); }
    TestWindow(const TestWindow &) = delete;
    TestWindow &operator=(const TestWindow &) = delete;

    HWND handle() const { return handle_; }

private:
    HWND handle_;
};

// A snapshot that is freed with the object.
class Picture {
public:
    explicit Picture(HWND window) : snapshot_(plat::takeSnapshot(window)) { EXPECT_NE(snapshot_, nullptr); }
    ~Picture() { plat::freeSnapshot(snapshot_); }
    Picture(const Picture &) = delete;
    Picture &operator=(const Picture &) = delete;

    uint32_t at(int32_t x, int32_t y) const { return plat::snapshotPixel(snapshot_, x, y); }
    // The pixels of a rectangle, row by row.
    std::vector<uint32_t> area(int32_t x, int32_t y, int32_t width, int32_t height) const {
        std::vector<uint32_t> pixels;
        for (int32_t row = y; row < y + height; ++row)
            for (int32_t column = x; column < x + width; ++column)
                pixels.push_back(at(column, row));
        return pixels;
    }
    const plat::Snapshot *snapshot() const { return snapshot_; }

private:
    plat::Snapshot *snapshot_;
};

// The resource library, held while the object lives.
class Resources {
public:
    Resources() { mdsPerTaskInit(); }
    ~Resources() { mdsPerTaskTerm(); }
    Resources(const Resources &) = delete;
    Resources &operator=(const Resources &) = delete;

    void *module() const { return mdsPerTaskRecord().resourceLibrary; }
    // The icon's own pixels, as the resource library gives them.
    std::vector<uint32_t> iconPixels(const char *name) const {
        using Find = const uint32_t *(*)(const char *, int *, int *);
        auto find = reinterpret_cast<Find>(zo::plat::moduleSymbol(module(), "zoFindIcon"));
        int width = 0, height = 0;
        const uint32_t *pixels = find != nullptr ? find(name, &width, &height) : nullptr;
        return pixels != nullptr ? std::vector<uint32_t>(pixels, pixels + width * height) : std::vector<uint32_t>();
    }
};

} // namespace zotest
