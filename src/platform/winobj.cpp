// Window classes and window objects: creation and destruction, handles, messages,
// geometry, fields, properties, showing, the stacking order, focus, the screen and the
// bookkeeping of painting.
#include "platform/draw.h"
#include "platform/env.h"
#include "platform/memory.h"
#include "platform/thread.h"
#include "platform/winint.h"

#include <cstdlib>
#include <cstring>

namespace zo::plat {

namespace win {

struct WindowClassRecord {
    WindowClassRecord *next;
    char name[64];
    WindowClass info;
    uint32_t liveWindows;
};

namespace {
// Constant-initialised, so it exists before any code of the library runs.
std::recursive_mutex g_layerLock;
} // namespace

std::recursive_mutex &layerLock() { return g_layerLock; }

namespace {

// Handles: a slot index and the slot's use count, so that the handle of a destroyed window
// stays invalid when its slot is used again. The low 20 bits hold index + 1.
struct Slot {
    Window *window;
    uintptr_t generation;
};
constexpr unsigned kIndexBits = 20;
constexpr uint32_t kMaxSlots = (1u << kIndexBits) - 1;

Slot *g_slots = nullptr;
uint32_t g_slotCapacity = 0;

WindowClassRecord *g_classes = nullptr;
bool g_systemClassesMade = false;
Window *g_topLevel = nullptr; // top-level windows, topmost first
HWND g_focus = nullptr;
int32_t g_screenWidth = 0, g_screenHeight = 0;

HWND handleOf(uint32_t index, uintptr_t generation) {
    return reinterpret_cast<HWND>((generation << kIndexBits) | (index + 1));
}

// A free slot (growing the table when all are taken), or false when memory runs out.
bool takeSlot(Window *w) {
    uint32_t index = 0;
    while (index < g_slotCapacity && g_slots[index].window != nullptr)
        ++index;
    if (index == g_slotCapacity) {
        if (g_slotCapacity == kMaxSlots)
            return false;
        uint32_t grown = g_slotCapacity == 0 ? 16 : g_slotCapacity * 2;
        if (grown > kMaxSlots)
            grown = kMaxSlots;
        void *table = g_slots;
        if (!heapResize(&table, grown * static_cast<uint32_t>(sizeof(Slot))))
            return false;
        g_slots = static_cast<Slot *>(table);
        for (uint32_t i = g_slotCapacity; i < grown; ++i)
            g_slots[i] = Slot{nullptr, 1};
        g_slotCapacity = grown;
    }
    g_slots[index].window = w;
    w->handle = handleOf(index, g_slots[index].generation);
    return true;
}

void releaseSlot(HWND handle) {
    uint32_t index = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(handle) & kMaxSlots) - 1;
    g_slots[index].window = nullptr;
    ++g_slots[index].generation;
}

WindowClassRecord *findClass(const char *name) {
    for (WindowClassRecord *c = g_classes; c != nullptr; c = c->next)
        if (sameName(c->name, name))
            return c;
    return nullptr;
}

bool addClass(const WindowClass &info) {
    if (info.name == nullptr || info.procedure == nullptr ||
        std::strlen(info.name) >= sizeof(WindowClassRecord::name) || info.extraBytes < 0 ||
        findClass(info.name) != nullptr)
        return false;
    auto *c = static_cast<WindowClassRecord *>(heapAlloc(sizeof(WindowClassRecord), true));
    if (c == nullptr)
        return false;
    std::strcpy(c->name, info.name);
    c->info = info;
    c->info.name = c->name;
    c->next = g_classes;
    g_classes = c;
    return true;
}

// The edit control, buttons, static texts and dialogs, registered on first need.
void makeSystemClasses() {
    if (g_systemClassesMade)
        return;
    WindowClass edit;
    edit.name = kEditClass;
    edit.procedure = editProc;
    edit.style = kClassGlobal;
    WindowClass button = edit;
    button.name = kButtonClass;
    button.procedure = buttonProc;
    button.background = ColourButtonFace + 1;
    WindowClass text = button;
    text.name = kStaticClass;
    text.procedure = staticProc;
    WindowClass dialog = button;
    dialog.name = kDialogClass;
    dialog.procedure = dialogProc;
    dialog.extraBytes = 3 * static_cast<int>(sizeof(void *));
    g_systemClassesMade = addClass(edit) && addClass(button) && addClass(text) && addClass(dialog);
}

void readScreenSize() {
    if (g_screenWidth != 0)
        return;
    g_screenWidth = 1024;
    g_screenHeight = 768;
    char value[32];
    if (!environmentValue("ZO_SCREEN", value, sizeof value))
        return;
    char *end = nullptr;
    long width = std::strtol(value, &end, 10);
    if (end == value || (*end != 'x' && *end != 'X'))
        return;
    const char *heightText = end + 1;
    long height = std::strtol(heightText, &end, 10);
    if (end != heightText && width > 0 && height > 0 && width <= 65535 && height <= 65535) {
        g_screenWidth = static_cast<int32_t>(width);
        g_screenHeight = static_cast<int32_t>(height);
    }
}

bool isChild(const Window *w) { return (w->style & kStyleChild) != 0; }

// The list a window is kept in: its parent's children or the top-level windows.
Window *&listOf(Window *w) { return isChild(w) ? w->parent->firstChild : g_topLevel; }

void unlink(Window *w) {
    for (Window **link = &listOf(w); *link != nullptr; link = &(*link)->nextSibling)
        if (*link == w) {
            *link = w->nextSibling;
            w->nextSibling = nullptr;
            return;
        }
}

// Links the window in after `after` (null: first of the list).
void linkAfter(Window *w, Window *after) {
    Window *&head = listOf(w);
    if (after == nullptr) {
        w->nextSibling = head;
        head = w;
    } else {
        w->nextSibling = after->nextSibling;
        after->nextSibling = w;
    }
}

// The last top-most top-level window (the one a plain window goes below), or null.
Window *lastTopMost(const Window *except) {
    Window *last = nullptr;
    for (Window *t = g_topLevel; t != nullptr && (t->exStyle & kExStyleTopMost); t = t->nextSibling)
        if (t != except)
            last = t;
    return last;
}

Window *lastOf(Window *head) {
    while (head != nullptr && head->nextSibling != nullptr)
        head = head->nextSibling;
    return head;
}

// New windows: a top-level one on top of its band, a child below its siblings (so the
// controls of a dialog stack in the order they were made).
void linkNew(Window *w) {
    if (isChild(w))
        linkAfter(w, lastOf(w->parent->firstChild));
    else
        linkAfter(w, (w->exStyle & kExStyleTopMost) ? nullptr : lastTopMost(w));
}

void restack(Window *w, HWND insertAfter) {
    unlink(w);
    if (!isChild(w)) {
        if (insertAfter == placeTopMost())
            w->exStyle |= kExStyleTopMost;
        else if (insertAfter == placeNotTopMost() || insertAfter == placeBottom())
            w->exStyle &= ~kExStyleTopMost;
    }
    Window *after = nullptr;
    if (insertAfter == placeBottom())
        after = lastOf(listOf(w));
    else if (Window *target = lookup(insertAfter);
             target != nullptr && target != w && isChild(target) == isChild(w) && target->parent == w->parent)
        after = target;
    else if (!isChild(w) && !(w->exStyle & kExStyleTopMost))
        after = lastTopMost(w);
    linkAfter(w, after);
}

void freeProperties(Window *w) {
    while (Property *p = w->properties) {
        w->properties = p->next;
        heapFree(p);
    }
}

void freeWindow(Window *w) {
    if (w->control != nullptr)
        w->control->release(w->control);
    freeProperties(w);
    if (w->surface != nullptr)
        cairo_surface_destroy(w->surface);
    w->windowClass->liveWindows--;
    heapFree(w->extra);
    heapFree(w->title);
    heapFree(w);
}

Window *makeWindow(const WindowCreate &create, WindowClassRecord *c, Window *parent) {
    auto *w = static_cast<Window *>(heapAlloc(sizeof(Window), true));
    if (w == nullptr)
        return nullptr;
    w->windowClass = c;
    w->procedure = c->info.procedure;
    w->title = copyText(create.title != nullptr ? create.title : reinterpret_cast<const unsigned char *>(""));
    w->extraBytes = c->info.extraBytes;
    w->extra = static_cast<unsigned char *>(heapAlloc(static_cast<uint32_t>(w->extraBytes), true));
    w->style = create.style;
    w->exStyle = create.exStyle;
    w->parent = parent;
    w->id = create.id;
    w->instance = create.instance;
    w->threadId = currentThreadId();
    w->x = create.x == kUseDefault ? (isChild(w) ? 0 : g_screenWidth / 8) : create.x;
    w->y = create.x == kUseDefault ? (isChild(w) ? 0 : g_screenHeight / 8) : create.y;
    w->width = create.width == kUseDefault ? (isChild(w) ? 0 : g_screenWidth * 3 / 4) : create.width;
    w->height = create.width == kUseDefault ? (isChild(w) ? 0 : g_screenHeight * 3 / 4) : create.height;
    int32_t cw, ch;
    clientSize(w, &cw, &ch);
    w->surface = makeSurface(cw, ch);
    c->liveWindows++;
    if (w->title == nullptr || w->extra == nullptr || w->surface == nullptr || !takeSlot(w)) {
        freeWindow(w);
        return nullptr;
    }
    linkNew(w);
    return w;
}

intptr_t sizeParam(int32_t width, int32_t height) {
    return static_cast<intptr_t>((static_cast<uint32_t>(height & 0xFFFF) << 16) |
                                 static_cast<uint32_t>(width & 0xFFFF));
}

// Gives the window a surface of its new client size, keeping the pixels that still fit.
void resizeSurface(Window *w) {
    int32_t cw, ch;
    clientSize(w, &cw, &ch);
    if (cairo_image_surface_get_width(w->surface) == (cw > 0 ? cw : 1) &&
        cairo_image_surface_get_height(w->surface) == (ch > 0 ? ch : 1))
        return;
    cairo_surface_t *grown = makeSurface(cw, ch);
    if (grown == nullptr)
        return; // the old pixels stay; painting clips to them
    cairo_t *cr = cairo_create(grown);
    cairo_set_source_surface(cr, w->surface, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(w->surface);
    w->surface = grown;
}

// Collects the handles of the window's children (a snapshot, so that the list may change
// while each is handled). The caller frees the array.
HWND *childHandles(Window *w, uint32_t *count) {
    *count = 0;
    for (Window *c = w->firstChild; c != nullptr; c = c->nextSibling)
        ++*count;
    auto *handles = static_cast<HWND *>(heapAlloc(*count * static_cast<uint32_t>(sizeof(HWND)), false));
    if (handles == nullptr) {
        *count = 0;
        return nullptr;
    }
    uint32_t i = 0;
    for (Window *c = w->firstChild; c != nullptr; c = c->nextSibling)
        handles[i++] = c->handle;
    return handles;
}

// The top-level windows that the window owns (they go when it goes).
HWND firstOwnedWindow(Window *owner) {
    for (Window *t = g_topLevel; t != nullptr; t = t->nextSibling)
        if (t->parent == owner)
            return t->handle;
    return nullptr;
}

bool isSelfOrDescendant(Window *w, HWND handle) {
    for (Window *f = lookup(handle); f != nullptr; f = isChild(f) ? f->parent : nullptr)
        if (f == w)
            return true;
    return false;
}

void screenOrigin(const Window *w, int32_t *x, int32_t *y) {
    *x = w->x;
    *y = w->y;
    if (isChild(w)) {
        int32_t px, py;
        screenOrigin(w->parent, &px, &py);
        *x += px + frameWidth(w->parent->style);
        *y += py + frameWidth(w->parent->style) + captionHeight(w->parent->style);
    }
}

Property *findProperty(Window *w, const char *name) {
    for (Property *p = w->properties; p != nullptr; p = p->next)
        if (sameName(p->name, name))
            return p;
    return nullptr;
}

bool fieldInExtraBytes(const Window *w, int index) {
    return index >= 0 && static_cast<size_t>(index) + sizeof(intptr_t) <= static_cast<size_t>(w->extraBytes);
}

intptr_t *ownField(Window *w, int index) {
    switch (index) {
    case kFieldId: return reinterpret_cast<intptr_t *>(&w->id);
    case kFieldUserData: return &w->userData;
    default: return nullptr;
    }
}

} // namespace

Window *lookup(HWND handle) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    uint32_t index = static_cast<uint32_t>(value & kMaxSlots);
    if (index == 0 || index > g_slotCapacity)
        return nullptr;
    const Slot &slot = g_slots[index - 1];
    return slot.window != nullptr && handleOf(index - 1, slot.generation) == handle ? slot.window : nullptr;
}

int32_t frameWidth(uint32_t style) { return (style & (kStyleBorder | kStyleDialogFrame | kStyleThickFrame)) ? 1 : 0; }

int32_t captionHeight(uint32_t style) { return (style & kStyleCaption) == kStyleCaption ? 20 : 0; }

void clientSize(const Window *w, int32_t *width, int32_t *height) {
    int32_t frame = frameWidth(w->style);
    *width = w->width - 2 * frame;
    *height = w->height - 2 * frame - captionHeight(w->style);
    if (*width < 0)
        *width = 0;
    if (*height < 0)
        *height = 0;
}

void markForPaint(Window *w, bool erase) {
    if (w->redrawOff)
        return;
    w->needsPaint = true;
    w->needsErase = w->needsErase || erase;
    wakeWaiters();
}

void paintPending(HWND handle) {
    bool paint;
    uint32_t count;
    HWND *children;
    {
        Guard guard(layerLock());
        Window *w = lookup(handle);
        if (w == nullptr)
            return;
        paint = w->needsPaint;
        children = childHandles(w, &count);
    }
    if (paint)
        sendMessage(handle, kMsgPaint, 0, 0);
    for (uint32_t i = 0; i < count; ++i)
        paintPending(children[i]);
    heapFree(children);
}

HWND windowWaitingForPaint(uint32_t threadId) {
    Guard guard(layerLock());
    for (uint32_t i = 0; i < g_slotCapacity; ++i) {
        Window *w = g_slots[i].window;
        if (w != nullptr && w->threadId == threadId && w->needsPaint && (w->style & kStyleVisible))
            return w->handle;
    }
    return nullptr;
}

void releaseWindows() {
    Guard guard(layerLock());
    for (uint32_t i = 0; i < g_slotCapacity; ++i)
        if (Window *w = g_slots[i].window)
            freeWindow(w);
    heapFree(g_slots);
    g_slots = nullptr;
    g_slotCapacity = 0;
    g_topLevel = nullptr;
    g_focus = nullptr;
    while (WindowClassRecord *c = g_classes) {
        g_classes = c->next;
        heapFree(c);
    }
    g_systemClassesMade = false;
}

unsigned char *copyText(const unsigned char *text) {
    size_t length = std::strlen(reinterpret_cast<const char *>(text));
    if (length >= UINT32_MAX)
        return nullptr;
    auto *copy = static_cast<unsigned char *>(heapAlloc(static_cast<uint32_t>(length + 1), false));
    if (copy != nullptr)
        std::memcpy(copy, text, length + 1);
    return copy;
}

bool sameName(const char *a, const char *b) {
    for (;; ++a, ++b) {
        char x = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a + 32) : *a;
        char y = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b + 32) : *b;
        if (x != y)
            return false;
        if (x == '\0')
            return true;
    }
}

} // namespace win

using namespace win;

bool registerWindowClass(const WindowClass &windowClass) {
    Guard guard(layerLock());
    makeSystemClasses();
    return addClass(windowClass);
}

bool isWindowClassRegistered(const char *name) {
    Guard guard(layerLock());
    makeSystemClasses();
    return name != nullptr && findClass(name) != nullptr;
}

bool unregisterWindowClass(const char *name) {
    Guard guard(layerLock());
    for (WindowClassRecord **link = &g_classes; *link != nullptr; link = &(*link)->next) {
        WindowClassRecord *c = *link;
        if (!sameName(c->name, name))
            continue;
        if (c->liveWindows != 0)
            return false;
        *link = c->next;
        heapFree(c);
        return true;
    }
    return false;
}

HWND createWindow(const WindowCreate &create) {
    HWND handle;
    CreateInfo info{create.createParam, create.parent, create.style};
    {
        Guard guard(layerLock());
        makeSystemClasses();
        readScreenSize();
        WindowClassRecord *c = create.className != nullptr ? findClass(create.className) : nullptr;
        Window *parent = lookup(create.parent);
        if (c == nullptr || (create.parent != nullptr && parent == nullptr) ||
            ((create.style & kStyleChild) && parent == nullptr))
            return nullptr;
        Window *w = makeWindow(create, c, parent);
        if (w == nullptr)
            return nullptr;
        handle = w->handle;
    }
    if (sendMessage(handle, kMsgCreate, 0, reinterpret_cast<intptr_t>(&info)) == -1) {
        destroyWindow(handle);
        return nullptr;
    }
    int32_t cw = 0, ch = 0;
    {
        Guard guard(layerLock());
        Window *w = lookup(handle);
        if (w == nullptr)
            return nullptr; // destroyed while it was being made
        clientSize(w, &cw, &ch);
        markForPaint(w, true);
    }
    sendMessage(handle, kMsgSize, 0, sizeParam(cw, ch));
    sendMessage(handle, kMsgMove, 0, 0);
    return handle;
}

void destroyWindow(HWND handle) {
    {
        Guard guard(layerLock());
        Window *w = lookup(handle);
        if (w == nullptr)
            return;
        if (isSelfOrDescendant(w, g_focus))
            g_focus = nullptr;
    }
    sendMessage(handle, kMsgDestroy, 0, 0);
    for (;;) {
        HWND next;
        {
            Guard guard(layerLock());
            Window *w = lookup(handle);
            if (w == nullptr)
                return;
            next = w->firstChild != nullptr ? w->firstChild->handle : firstOwnedWindow(w);
        }
        if (next == nullptr)
            break;
        destroyWindow(next);
    }
    sendMessage(handle, kMsgNcDestroy, 0, 0);
    Guard guard(layerLock());
    Window *w = lookup(handle);
    if (w == nullptr)
        return;
    unlink(w);
    releaseSlot(handle);
    freeWindow(w);
}

bool isWindow(HWND window) {
    Guard guard(layerLock());
    return lookup(window) != nullptr;
}

uint32_t windowCount() {
    Guard guard(layerLock());
    uint32_t count = 0;
    for (uint32_t i = 0; i < g_slotCapacity; ++i)
        count += g_slots[i].window != nullptr;
    return count;
}

intptr_t sendMessage(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    ZoWindowProc procedure;
    {
        Guard guard(layerLock());
        Window *w = lookup(window);
        if (w == nullptr)
            return 0;
        procedure = w->procedure;
    }
    return procedure(window, message, wParam, lParam);
}

bool postMessage(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    uint32_t thread;
    {
        Guard guard(layerLock());
        Window *w = lookup(window);
        if (w == nullptr)
            return false;
        thread = w->threadId;
    }
    return postThreadMessage(thread, WindowMessage{window, message, wParam, lParam});
}

intptr_t dispatchMessage(const WindowMessage &message) {
    if (message.window == nullptr)
        return 0;
    return sendMessage(message.window, message.message, message.wParam, message.lParam);
}

intptr_t defaultWindowProc(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    Guard guard(layerLock());
    Window *w = lookup(window);
    if (w == nullptr)
        return 0;
    switch (message) {
    case kMsgSetText: {
        unsigned char *title = copyText(lParam != 0 ? reinterpret_cast<const unsigned char *>(lParam)
                                                    : reinterpret_cast<const unsigned char *>(""));
        if (title == nullptr)
            return 0;
        heapFree(w->title);
        w->title = title;
        return 1;
    }
    case kMsgGetText: {
        if (wParam == 0 || lParam == 0)
            return 0;
        size_t length = std::strlen(reinterpret_cast<char *>(w->title));
        if (length > wParam - 1)
            length = wParam - 1;
        std::memcpy(reinterpret_cast<void *>(lParam), w->title, length);
        reinterpret_cast<unsigned char *>(lParam)[length] = '\0';
        return static_cast<intptr_t>(length);
    }
    case kMsgGetTextLength: return static_cast<intptr_t>(std::strlen(reinterpret_cast<char *>(w->title)));
    case kMsgPaint: endPaint(window, beginPaint(window)); return 0;
    case kMsgEraseBackground: {
        if (w->windowClass->info.background == 0 || wParam == 0)
            return 0;
        int32_t cw, ch;
        clientSize(w, &cw, &ch);
        fillRect(reinterpret_cast<void *>(wParam), ZoRect{0, 0, cw, ch},
                 systemColour(static_cast<int>(w->windowClass->info.background) - 1));
        return 1;
    }
    case kMsgClose: destroyWindow(window); return 0;
    case kMsgSetFont:
        w->font = reinterpret_cast<void *>(wParam);
        if (lParam != 0)
            markForPaint(w, true);
        return 0;
    case kMsgGetFont: return reinterpret_cast<intptr_t>(w->font);
    case kMsgSetRedraw:
        w->redrawOff = wParam == 0;
        if (wParam != 0)
            markForPaint(w, true);
        return 0;
    default: return 0;
    }
}

bool setWindowText(HWND window, const unsigned char *text) {
    return sendMessage(window, kMsgSetText, 0, reinterpret_cast<intptr_t>(text)) != 0;
}

uint32_t windowText(HWND window, unsigned char *out, uint32_t size) {
    if (size > 0)
        out[0] = '\0';
    return static_cast<uint32_t>(sendMessage(window, kMsgGetText, size, reinterpret_cast<intptr_t>(out)));
}

uint32_t windowTextLength(HWND window) { return static_cast<uint32_t>(sendMessage(window, kMsgGetTextLength, 0, 0)); }

bool windowRect(HWND window, ZoRect *rect) {
    Guard guard(layerLock());
    Window *w = lookup(window);
    if (w == nullptr)
        return false;
    int32_t x, y;
    screenOrigin(w, &x, &y);
    *rect = ZoRect{x, y, x + w->width, y + w->height};
    return true;
}

bool clientRect(HWND window, ZoRect *rect) {
    Guard guard(layerLock());
    Window *w = lookup(window);
    if (w == nullptr)
        return false;
    int32_t cw, ch;
    clientSize(w, &cw, &ch);
    *rect = ZoRect{0, 0, cw, ch};
    return true;
}

bool clientOffset(HWND window, int32_t *x, int32_t *y) {
    Guard guard(layerLock());
    Window *w = lookup(window);
    if (w == nullptr)
        return false;
    *x = frameWidth(w->style);
    *y = *x + captionHeight(w->style);
    return true;
}

bool moveWindow(HWND window, int32_t x, int32_t y, int32_t width, int32_t height, bool repaint) {
    return setWindowPos(window, nullptr, x, y, width, height, kPosNoZOrder | (repaint ? 0 : kPosNoRedraw));
}

bool setWindowPos(HWND window, HWND insertAfter, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t flags) {
    bool resized = false, moved = false;
    int32_t cw = 0, ch = 0;
    {
        Guard guard(layerLock());
        Window *w = lookup(window);
        if (w == nullptr)
            return false;
        if (!(flags & kPosNoMove) && (x != w->x || y != w->y)) {
            w->x = x;
            w->y = y;
            moved = true;
        }
        if (!(flags & kPosNoSize) && (width != w->width || height != w->height)) {
            w->width = width < 0 ? 0 : width;
            w->height = height < 0 ? 0 : height;
            resizeSurface(w);
            resized = true;
        }
        if (!(flags & kPosNoZOrder))
            restack(w, insertAfter);
        if (resized && !(flags & kPosNoRedraw))
            markForPaint(w, true);
        clientSize(w, &cw, &ch);
    }
    if (resized)
        sendMessage(window, kMsgSize, 0, sizeParam(cw, ch));
    if (moved)
        sendMessage(window, kMsgMove, 0, 0);
    return true;
}

HWND windowParent(HWND window) {
    Guard guard(layerLock());
    Window *w = lookup(window);
    return w != nullptr && w->parent != nullptr ? w->parent->handle : nullptr;
}

HWND dialogItem(HWND window, uintptr_t id) {
    Guard guard(layerLock());
    Window *w = lookup(window);
    for (Window *c = w != nullptr ? w->firstChild : nullptr; c != nullptr; c = c->nextSibling)
        if (c->id == id)
            return c->handle;
    return nullptr;
}

intptr_t windowField(HWND window, int index) {
    Guard guard(layerLock());
    Window *w = lookup(window);
    if (w == nullptr)
        return 0;
    intptr_t value = 0;
    if (fieldInExtraBytes(w, index))
        std::memcpy(&value, w->extra + index, sizeof value);
    else if (index == kFieldProcedure)
        value = reinterpret_cast<intptr_t>(w->procedure);
    else if (index == kFieldStyle)
        value = static_cast<intptr_t>(w->style);
    else if (index == kFieldExStyle)
        value = static_cast<intptr_t>(w->exStyle);
    else if (intptr_t *field = ownField(w, index))
        value = *field;
    return value;
}

intptr_t setWindowField(HWND window, int index, intptr_t value) {
    Guard guard(layerLock());
    Window *w = lookup(window);
    if (w == nullptr)
        return 0;
    intptr_t previous = windowField(window, index);
    if (fieldInExtraBytes(w, index))
        std::memcpy(w->extra + index, &value, sizeof value);
    else if (index == kFieldProcedure && value != 0)
        w->procedure = reinterpret_cast<ZoWindowProc>(value);
    else if (index == kFieldStyle)
        w->style = static_cast<uint32_t>(value);
    else if (index == kFieldExStyle)
        w->exStyle = static_cast<uint32_t>(value);
    else if (intptr_t *field = ownField(w, index))
        *field = value;
    return previous;
}

bool setProperty(HWND window, const char *name, void *value) {
    Guard guard(layerLock());
    Window *w = lookup(window);
    if (w == nullptr || name == nullptr)
        return false;
    if (Property *p = findProperty(w, name)) {
        p->value = value;
        return true;
    }
    size_t length = std::strlen(name);
    auto *p = static_cast<Property *>(heapAlloc(static_cast<uint32_t>(sizeof(Property) + length), false));
    if (p == nullptr)
        return false;
    std::memcpy(p->name, name, length + 1);
    p->value = value;
    p->next = w->properties;
    w->properties = p;
    return true;
}

void *property(HWND window, const char *name) {
    Guard guard(layerLock());
    Window *w = lookup(window);
    Property *p = w != nullptr && name != nullptr ? findProperty(w, name) : nullptr;
    return p != nullptr ? p->value : nullptr;
}

void *removeProperty(HWND window, const char *name) {
    Guard guard(layerLock());
    Window *w = lookup(window);
    if (w == nullptr || name == nullptr)
        return nullptr;
    for (Property **link = &w->properties; *link != nullptr; link = &(*link)->next) {
        Property *p = *link;
        if (!sameName(p->name, name))
            continue;
        *link = p->next;
        void *value = p->value;
        heapFree(p);
        return value;
    }
    return nullptr;
}

bool showWindow(HWND window, int command) {
    bool wasVisible;
    {
        Guard guard(layerLock());
        Window *w = lookup(window);
        if (w == nullptr)
            return false;
        wasVisible = (w->style & kStyleVisible) != 0;
        switch (command) {
        case kShowHide: w->style &= ~kStyleVisible; break;
        case kShowMinimized:
        case kShowMinimize:
            w->minimized = true;
            w->style |= kStyleVisible | kStyleMinimize;
            break;
        case kShowNormal:
        case kShowRestore:
        case kShowMaximized:
            w->minimized = false;
            w->style = (w->style | kStyleVisible) & ~kStyleMinimize;
            break;
        default: w->style |= kStyleVisible; break;
        }
        markForPaint(w, true);
    }
    sendMessage(window, kMsgShowWindow, command != kShowHide, 0);
    return wasVisible;
}

bool isVisible(HWND window) {
    Guard guard(layerLock());
    Window *w = lookup(window);
    return w != nullptr && (w->style & kStyleVisible) != 0;
}

bool isMinimized(HWND window) {
    Guard guard(layerLock());
    Window *w = lookup(window);
    return w != nullptr && w->minimized;
}

bool enableWindow(HWND window, bool enable) {
    bool wasDisabled;
    {
        Guard guard(layerLock());
        Window *w = lookup(window);
        if (w == nullptr)
            return false;
        wasDisabled = (w->style & kStyleDisabled) != 0;
        w->style = enable ? (w->style & ~kStyleDisabled) : (w->style | kStyleDisabled);
    }
    sendMessage(window, kMsgEnable, enable, 0);
    return wasDisabled;
}

bool isEnabled(HWND window) {
    Guard guard(layerLock());
    Window *w = lookup(window);
    return w != nullptr && (w->style & kStyleDisabled) == 0;
}

bool isTopMost(HWND window) {
    Guard guard(layerLock());
    Window *w = lookup(window);
    return w != nullptr && (w->exStyle & kExStyleTopMost) != 0;
}

HWND topLevelWindowAt(uint32_t depth) {
    Guard guard(layerLock());
    Window *t = g_topLevel;
    for (; t != nullptr && depth > 0; --depth)
        t = t->nextSibling;
    return t != nullptr ? t->handle : nullptr;
}

HWND setFocus(HWND window) {
    HWND previous;
    {
        Guard guard(layerLock());
        if (window != nullptr && lookup(window) == nullptr)
            return nullptr;
        previous = lookup(g_focus) != nullptr ? g_focus : nullptr;
        g_focus = window;
    }
    if (previous != nullptr && previous != window)
        sendMessage(previous, kMsgKillFocus, reinterpret_cast<uintptr_t>(window), 0);
    if (window != nullptr && previous != window)
        sendMessage(window, kMsgSetFocus, reinterpret_cast<uintptr_t>(previous), 0);
    return previous;
}

HWND focusWindow() {
    Guard guard(layerLock());
    return lookup(g_focus) != nullptr ? g_focus : nullptr;
}

void screenSize(int32_t *width, int32_t *height) {
    Guard guard(layerLock());
    readScreenSize();
    *width = g_screenWidth;
    *height = g_screenHeight;
}

void setScreenSize(int32_t width, int32_t height) {
    Guard guard(layerLock());
    if (width > 0 && height > 0) {
        g_screenWidth = width;
        g_screenHeight = height;
    }
}

void invalidateWindow(HWND window) {
    Guard guard(layerLock());
    if (Window *w = lookup(window))
        markForPaint(w, true);
}

void updateWindow(HWND window) { paintPending(window); }

} // namespace zo::plat
