// The about box's strip of icons, frame by frame, on the pixels of the window.
#include <zo/zoabout.h>

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "support/windows.h"

namespace {

namespace plat = zo::plat;
using zotest::Picture;
using zotest::pixelOf;

constexpr int32_t kPaneLeft = 10, kPaneTop = 15, kPaneBottom = 143;

// Steps through the frames without waiting: each pause takes a picture of the window when
// the frame is one the test wants, and sets stop after the last wanted frame.
struct Frames {
    Frames(HWND window, ZoAboutDlgAnimate *animate, std::vector<int> wanted, int stopAfter)
        : window(window), animate(animate), wanted(std::move(wanted)), stopAfter(stopAfter) {}
    HWND window;
    ZoAboutDlgAnimate *animate;
    std::vector<int> wanted;
    int stopAfter;
    int frame = 0;
    std::vector<uint32_t> pauses;
    std::map<int, std::vector<uint32_t>> pictures; // the window's pixels at a frame

    static void pause(void *context, uint32_t milliseconds) {
        auto *self = static_cast<Frames *>(context);
        self->pauses.push_back(milliseconds);
        for (int w : self->wanted)
            if (w == self->frame)
                self->pictures[w] = Picture(self->window).area(0, 0, 60, 160);
        if (self->frame == self->stopAfter)
            self->animate->stop = 1;
        ++self->frame;
    }
};

// What the window shows at frame k: the pane holds the strip rotated left by (k / 8) % 4
// and moved up by 4 * (k % 8); every other pixel is the window's white.
std::vector<uint32_t> expectedFrame(int k, const std::vector<uint32_t> (&icons)[4]) {
    std::vector<uint32_t> pixels(60 * 160, pixelOf(plat::rgb(255, 255, 255)));
    const int rotation = (k / 8) % 4;
    const int top = kPaneTop - 4 * (k % 8);
    for (int y = kPaneTop; y < kPaneBottom; ++y) {
        const int strip = (y - top) / 32, row = (y - top) % 32;
        const std::vector<uint32_t> &icon = icons[(rotation + strip) % 4];
        for (int x = 0; x < 32; ++x)
            pixels[y * 60 + kPaneLeft + x] = icon[row * 32 + x];
    }
    return pixels;
}

TEST(AboutBox, EveryFrameShowsTheStripWhereItBelongsInsideThePane) {
    zotest::Resources resources;
    zotest::TestWindow window(0, 0, 60, 160);
    ZoAboutDlgAnimate animate;
    animate.instance = resources.module();
    animate.window = window.handle();
    const char *names[4] = {"ZOABOUT1", "ZOABOUT2", "ZOABOUT3", "ZOABOUT4"};
    std::vector<uint32_t> icons[4];
    for (int i = 0; i < 4; ++i) {
        animate.icons[i] = reinterpret_cast<const unsigned char *>(names[i]);
        icons[i] = resources.iconPixels(names[i]);
        ASSERT_EQ(icons[i].size(), 32u * 32u);
    }
    // Frames 0, 1 and 8 as described; 255 and 256 across the wrap of the 8-bit counter.
    Frames frames{window.handle(), &animate, {0, 1, 7, 8, 31, 255, 256}, 256};
    plat::setFramePauseHook(Frames::pause, &frames);
    zoPerformAnimation(&animate);
    plat::setFramePauseHook(nullptr, nullptr);
    ASSERT_EQ(frames.pictures.size(), 7u);
    for (auto &[k, pixels] : frames.pictures)
        EXPECT_TRUE(pixels == expectedFrame(k % 256, icons)) << "frame " << k;
    // The described corners: frame 0 has icon 1 at y 15 ... icon 4 at 111; frame 1 has icon
    // 1 at 11 (cut by the pane) and again at 139; frame 8 starts with icon 2 at 15.
    EXPECT_EQ(frames.pictures[0][111 * 60 + 10], icons[3][0]);
    EXPECT_EQ(frames.pictures[1][139 * 60 + 10], icons[0][0]);
    EXPECT_EQ(frames.pictures[1][14 * 60 + 10], pixelOf(plat::rgb(255, 255, 255)));
    EXPECT_EQ(frames.pictures[8][15 * 60 + 10], icons[1][0]);
    EXPECT_EQ(frames.pauses.size(), 257u);
}

TEST(AboutBox, StopEndsTheAnimationAfterThatFramesPause) {
    zotest::Resources resources;
    zotest::TestWindow window(0, 0, 60, 160);
    ZoAboutDlgAnimate animate;
    animate.instance = resources.module();
    animate.window = window.handle();
    for (auto &icon : animate.icons)
        icon = reinterpret_cast<const unsigned char *>("ZOABOUT1");
    Frames frames{window.handle(), &animate, {}, 3};
    plat::setFramePauseHook(Frames::pause, &frames);
    zoPerformAnimation(&animate);
    plat::setFramePauseHook(nullptr, nullptr);
    EXPECT_EQ(frames.pauses, (std::vector<uint32_t>{500, 500, 500, 500}));
    zoAboutDlgPaint(window.handle()); // draws nothing
    EXPECT_EQ(Picture(window.handle()).at(5, 5), pixelOf(plat::rgb(255, 255, 255)));
}

} // namespace
