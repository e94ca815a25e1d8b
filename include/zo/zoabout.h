// The about boxes' animation: a strip of four icons scrolling upward through a pane.
#pragma once

#include <atomic>
#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zowindow.h>

// What the caller fills and keeps alive while the animation runs. stop may be set from
// another thread (the dialog's) while the animation's thread reads it.
struct ZoAboutDlgAnimate {
    HINSTANCE instance; // where the icons are loaded from
    HWND window;        // the dialog (or control) drawn into
    uintptr_t reserved;
    std::atomic<uint32_t> stop{0}; // the animation ends after the frame during which it turns nonzero
    const unsigned char *icons[4]; // the icons' resource names, in strip order
};

// Runs the animation on the calling thread, one frame every 500 milliseconds, until stop
// is nonzero; then frees what it made. The icons are drawn at x = 10, clipped to the pane
// (10, 15)-(50, 143): every 8 frames the strip has moved up by one 32-pixel icon.
ZO_API void zoPerformAnimation(ZoAboutDlgAnimate *animate);
// The about dialog's paint entry point: draws nothing.
ZO_API void zoAboutDlgPaint(HWND dialog);
