// Internal to the window layer: the window object, the layer's lock and the helpers that
// the window, control, dialog and drawing sources share.
#pragma once

#include "platform/window.h"

#include <cairo.h>

#include <mutex>

namespace zo::plat::win {

// The one lock of the layer's state. Recursive: a window procedure of a built-in control
// holds it while it runs and calls back into the layer.
std::recursive_mutex &layerLock();
using Guard = std::lock_guard<std::recursive_mutex>;

struct WindowClassRecord;

// The state a built-in control keeps with its window; released with the window.
struct ControlState {
    void (*release)(ControlState *state);
};

struct Property {
    Property *next;
    void *value;
    char name[1]; // allocated to the name's length
};

struct Window {
    HWND handle;
    WindowClassRecord *windowClass;
    ZoWindowProc procedure;
    unsigned char *title; // heap copy, never null once made
    uint32_t style;
    uint32_t exStyle;
    int32_t x, y, width, height; // in the parent's client area, or on the screen
    Window *parent;              // the parent of a child, the owner of a top-level window
    Window *firstChild;          // children, topmost first
    Window *nextSibling;         // the next child of the parent, or the next top-level window below
    uintptr_t id;
    void *instance;
    intptr_t userData;
    unsigned char *extra;
    int extraBytes;
    Property *properties;
    void *font;
    uint32_t threadId;
    cairo_surface_t *surface; // the client area's pixels
    ControlState *control;    // the state of a built-in control, or null
    bool minimized;
    bool needsPaint;
    bool needsErase;
    bool redrawOff;
    bool modalDone;
    intptr_t modalResult;
};

// The window named by a handle, or null. Callers hold the lock.
Window *lookup(HWND handle);
// Client area geometry: the frame's width and the title bar's height of a window's style.
int32_t frameWidth(uint32_t style);
int32_t captionHeight(uint32_t style);
void clientSize(const Window *w, int32_t *width, int32_t *height);
// Marks the window for painting (not while its redrawing is off).
void markForPaint(Window *w, bool erase);
// Paints the window and its descendants that wait for it.
void paintPending(HWND handle);
// The first window of the thread that waits for painting, or null.
HWND windowWaitingForPaint(uint32_t threadId);

// Waits until the calling thread's queue holds a message, at most the given time; wakes
// every waiter (a window was marked for painting).
void waitForMessage(int milliseconds);
void wakeWaiters();
// Destroys every window and class (process detach).
void releaseWindows();

// The built-in classes' procedures.
intptr_t editProc(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
intptr_t buttonProc(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
intptr_t staticProc(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
intptr_t dialogProc(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);

// Drawing helpers for the built-in controls and the frame of snapshots.
cairo_surface_t *makeSurface(int32_t width, int32_t height);
// Draws text (ANSI code page bytes) with its top-left corner at x, y in font.
void drawText(cairo_t *cr, void *font, double x, double y, const unsigned char *text, uint32_t length, uint32_t colour);
void measureText(cairo_t *cr, void *font, const unsigned char *text, uint32_t length, int32_t *width, int32_t *height);
void setSourceColour(cairo_t *cr, uint32_t colour);
// Releases the drawing resources (process detach).
void releaseDrawing();

// Bounded copy of a NUL-terminated text into the heap; null when memory runs out.
unsigned char *copyText(const unsigned char *text);
// ASCII case-blind comparison of NUL-terminated names.
bool sameName(const char *a, const char *b);

} // namespace zo::plat::win
