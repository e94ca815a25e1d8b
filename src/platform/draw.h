// Drawing for the headless window layer: device contexts that paint into a window's
// surface (an image kept by the window), fonts, icons, clip regions, system colours, and
// snapshots of windows written as PNG.
//
// Drawing goes through cairo; text is laid out, measured and drawn by pango with the
// DejaVu Sans font, after conversion from the ANSI code page. Coordinates are pixels of the
// window's client area. Colours are 0x00BBGGRR values, as the components' colour words
// are; snapshot pixels are 0xAARRGGBB.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zowindow.h>

namespace zo::plat {

constexpr uint32_t rgb(uint8_t r, uint8_t g, uint8_t b) {
    return uint32_t{r} | (uint32_t{g} << 8) | (uint32_t{b} << 16);
}

// System colours by index.
enum SystemColour : int {
    ColourScrollBar = 0,
    ColourActiveCaption = 2,
    ColourWindow = 5,
    ColourWindowFrame = 6,
    ColourWindowText = 8,
    ColourCaptionText = 9,
    ColourHighlight = 13,
    ColourHighlightText = 14,
    ColourButtonFace = 15,
    ColourButtonShadow = 16,
    ColourButtonText = 18,
    ColourButtonHighlight = 20
};
ZO_API uint32_t systemColour(int index);

// ---- Device contexts -----------------------------------------------------------------

// A device context of the window's client area: its font is the window's (see
// setWindowFont), black text, white opaque background, no clip region. Null when the handle
// is no window or memory runs out. Each one is given back with releaseDC.
ZO_API void *getDC(HWND window);
ZO_API void releaseDC(HWND window, void *dc);
// The device context of a paint: erases the background (the erase message) when the window
// asked for it and takes the window's paint mark off. endPaint gives it back.
ZO_API void *beginPaint(HWND window);
ZO_API void endPaint(HWND window, void *dc);

ZO_API void fillRect(void *dc, const ZoRect &rect, uint32_t colour);
// Text is drawn with its top-left corner at x, y. In opaque mode the text's box is first
// filled with the background colour.
ZO_API uint32_t setTextColour(void *dc, uint32_t colour);
ZO_API uint32_t setBackgroundColour(void *dc, uint32_t colour);
// Returns the previous mode.
ZO_API bool setTransparentBackground(void *dc, bool transparent);
ZO_API void textOut(void *dc, int32_t x, int32_t y, const unsigned char *text, uint32_t length);
// The same, clipped to clip (and the device context's clip region).
ZO_API void textOutClipped(void *dc, int32_t x, int32_t y, const ZoRect &clip, const unsigned char *text,
                           uint32_t length);
// Width and height of the text in the device context's font (the height is the font's line
// height, also for an empty text).
ZO_API bool textExtent(void *dc, const unsigned char *text, uint32_t length, int32_t *width, int32_t *height);
// A dotted rectangle just inside rect that inverts what it covers, so drawing it twice
// restores the pixels.
ZO_API void drawFocusRect(void *dc, const ZoRect &rect);

// ---- Fonts ---------------------------------------------------------------------------

// A font of the given family and pixel size (the em size). Null when memory runs out.
ZO_API void *createFont(const char *family, int32_t pixelSize, bool bold);
ZO_API void deleteFont(void *font);
// The font windows and device contexts start with: DejaVu Sans, 11 pixels. Never deleted.
ZO_API void *defaultFont();
// Selects a font into the device context and returns the previous one.
ZO_API void *selectFont(void *dc, void *font);
// The window's font (the one set with the font message, else the default font).
ZO_API void *windowFont(HWND window);

// ---- Regions -------------------------------------------------------------------------

ZO_API void *createRectRegion(int32_t left, int32_t top, int32_t right, int32_t bottom);
ZO_API void deleteRegion(void *region);
// Clips all later drawing of the device context to a copy of the region (null: no clip).
ZO_API bool selectClipRegion(void *dc, const void *region);

// ---- Icons ---------------------------------------------------------------------------

// An icon of a module. A module holds its icons behind the exported function `zoFindIcon`,
// which returns the 0xAARRGGBB pixels (premultiplied, row by row) of the icon with the
// given name (compared ignoring case) and its size, or null. A name below 0x10000 is a
// number, looked up as "#<number>". With a null module, kIconApplication names the
// layer's own application icon. Null when there is no such icon or memory runs out.
using FindIconFunction = const uint32_t *(*)(const char *name, int *width, int *height);
ZO_API void *loadIcon(void *module, const unsigned char *name);
ZO_API void destroyIcon(void *icon);
ZO_API bool iconSize(const void *icon, int32_t *width, int32_t *height);
ZO_API void drawIcon(void *dc, int32_t x, int32_t y, const void *icon);
inline const unsigned char *iconResourceNumber(uintptr_t number) {
    return reinterpret_cast<const unsigned char *>(number);
}
constexpr uintptr_t kIconApplication = 32512;
// The arrow cursor (a token: the layer draws no cursor).
ZO_API void *arrowCursor();

// ---- Snapshots -----------------------------------------------------------------------

// The pixels of a window as it looks: its frame and title bar, its client area and its
// visible children, after pending paints have run. Null when the handle is no window.
struct Snapshot;
ZO_API Snapshot *takeSnapshot(HWND window);
ZO_API void freeSnapshot(Snapshot *snapshot);
ZO_API int32_t snapshotWidth(const Snapshot *snapshot);
ZO_API int32_t snapshotHeight(const Snapshot *snapshot);
// The pixel at x, y of the window's rectangle as 0xAARRGGBB (0 outside the snapshot).
ZO_API uint32_t snapshotPixel(const Snapshot *snapshot, int32_t x, int32_t y);
ZO_API bool writeSnapshotPng(const Snapshot *snapshot, const char *hostPath);
// takeSnapshot and writeSnapshotPng in one step.
ZO_API bool writeWindowPng(HWND window, const char *hostPath);

} // namespace zo::plat
