// Push buttons, static texts, dialogs made from templates, and modal loops.
#include "platform/draw.h"
#include "platform/memory.h"
#include "platform/module.h"
#include "platform/winint.h"

#include <cstring>

namespace zo::plat {

namespace {

std::mutex g_idleLock;
ModalIdleHook g_idleHook = nullptr;
void *g_idleContext = nullptr;

uint32_t titleLength(const win::Window *w) {
    return static_cast<uint32_t>(std::strlen(reinterpret_cast<const char *>(w->title)));
}

void paintButton(HWND window) {
    void *dc = beginPaint(window);
    if (dc == nullptr)
        return;
    win::Guard guard(win::layerLock());
    win::Window *w = win::lookup(window);
    int32_t cw, ch;
    win::clientSize(w, &cw, &ch);
    const bool isDefault = (w->style & 0xF) == kButtonDefPush;
    ZoRect outer{0, 0, cw, ch};
    if (isDefault) {
        fillRect(dc, outer, systemColour(ColourWindowFrame));
        outer = ZoRect{1, 1, cw - 1, ch - 1};
    }
    fillRect(dc, outer, systemColour(ColourButtonShadow));
    fillRect(dc, ZoRect{outer.left, outer.top, outer.right - 1, outer.bottom - 1}, systemColour(ColourButtonHighlight));
    fillRect(dc, ZoRect{outer.left + 1, outer.top + 1, outer.right - 1, outer.bottom - 1},
             systemColour(ColourButtonFace));
    int32_t tw = 0, th = 0;
    textExtent(dc, w->title, titleLength(w), &tw, &th);
    setTransparentBackground(dc, true);
    setTextColour(dc, systemColour(ColourButtonText));
    textOut(dc, (cw - tw) / 2, (ch - th) / 2, w->title, titleLength(w));
    endPaint(window, dc);
}

void paintStatic(HWND window) {
    void *dc = beginPaint(window);
    if (dc == nullptr)
        return;
    win::Guard guard(win::layerLock());
    win::Window *w = win::lookup(window);
    setTransparentBackground(dc, true);
    textOut(dc, 0, 0, w->title, titleLength(w));
    endPaint(window, dc);
}

bool isSelfOrChildOf(HWND window, HWND ancestor) {
    for (HWND h = window; h != nullptr; h = windowParent(h))
        if (h == ancestor)
            return true;
    return false;
}

// Return presses OK and Escape presses Cancel, as a dialog's keyboard interface does.
bool dialogKey(HWND modal, const WindowMessage &m) {
    if (m.message != kMsgKeyDown || (m.wParam != kKeyReturn && m.wParam != kKeyEscape))
        return false;
    if (m.window != nullptr && !isSelfOrChildOf(m.window, modal))
        return false;
    sendMessage(modal, kMsgCommand, m.wParam == kKeyReturn ? kIdOk : kIdCancel, 0);
    return true;
}

// The modal state of the window: done (and the result) or still running; a window that
// went away ends the loop with 0.
bool modalEnded(HWND window, intptr_t *result) {
    win::Guard guard(win::layerLock());
    win::Window *w = win::lookup(window);
    if (w == nullptr) {
        *result = 0;
        return true;
    }
    *result = w->modalResult;
    return w->modalDone;
}

void runIdleHook(HWND modal) {
    ModalIdleHook hook;
    void *context;
    {
        std::lock_guard<std::mutex> guard(g_idleLock);
        hook = g_idleHook;
        context = g_idleContext;
    }
    if (hook != nullptr)
        hook(context, modal);
}

} // namespace

namespace win {

intptr_t buttonProc(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
    case kMsgPaint: paintButton(window); return 0;
    case kButtonClick: {
        if (!isEnabled(window))
            return 0;
        auto id = static_cast<uintptr_t>(windowField(window, kFieldId));
        sendMessage(windowParent(window), kMsgCommand, (id & 0xFFFF) | (kButtonClicked << 16),
                    reinterpret_cast<intptr_t>(window));
        return 0;
    }
    case kMsgSetText: {
        intptr_t set = defaultWindowProc(window, message, wParam, lParam);
        invalidateWindow(window);
        return set;
    }
    default: return defaultWindowProc(window, message, wParam, lParam);
    }
}

intptr_t staticProc(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message == kMsgPaint) {
        paintStatic(window);
        return 0;
    }
    return defaultWindowProc(window, message, wParam, lParam);
}

// A dialog's window procedure: its dialog procedure sees each message first; what it
// handles ends there (a notification answers with the dialog's result field).
intptr_t dialogProc(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    auto procedure = reinterpret_cast<ZoDialogProc>(windowField(window, kDialogProcField));
    if (procedure != nullptr && message != kMsgCreate) {
        intptr_t handled = procedure(window, message, wParam, lParam);
        if (handled != 0)
            return message == kMsgNotify ? windowField(window, kDialogResultField) : handled;
    }
    if (message == kMsgClose) {
        sendMessage(window, kMsgCommand, kIdCancel, 0);
        return 0;
    }
    return defaultWindowProc(window, message, wParam, lParam);
}

} // namespace win

const DialogTemplate *findDialogTemplate(void *module, unsigned id) {
    auto find = reinterpret_cast<FindDialogFunction>(moduleSymbol(module, "zoFindDialog"));
    return find != nullptr ? find(id) : nullptr;
}

HWND createDialog(const DialogTemplate &dialogTemplate, void *instance, HWND parent, ZoDialogProc procedure,
                  intptr_t lParam) {
    const uint32_t style = dialogTemplate.style;
    const bool child = (style & kStyleChild) != 0;
    int32_t frame = win::frameWidth(style);
    WindowCreate create;
    create.className = kDialogClass;
    create.title =
        reinterpret_cast<const unsigned char *>(dialogTemplate.caption != nullptr ? dialogTemplate.caption : "");
    create.style = style;
    create.x = 0;
    create.y = 0;
    if (!child) {
        int32_t screenWidth, screenHeight;
        screenSize(&screenWidth, &screenHeight);
        create.x = (screenWidth - dialogTemplate.width) / 2;
        create.y = (screenHeight - dialogTemplate.height) / 2;
    }
    create.width = dialogTemplate.width + 2 * frame;
    create.height = dialogTemplate.height + 2 * frame + win::captionHeight(style);
    create.parent = parent;
    create.instance = instance;
    HWND dialog = createWindow(create);
    if (dialog == nullptr)
        return nullptr;
    setWindowField(dialog, kDialogProcField, reinterpret_cast<intptr_t>(procedure));
    HWND first = nullptr;
    for (uint32_t i = 0; i < dialogTemplate.itemCount; ++i) {
        const DialogItemTemplate &item = dialogTemplate.items[i];
        WindowCreate control;
        control.className = item.className;
        control.title = reinterpret_cast<const unsigned char *>(item.text != nullptr ? item.text : "");
        control.style = item.style | kStyleChild;
        control.x = item.x;
        control.y = item.y;
        control.width = item.width;
        control.height = item.height;
        control.parent = dialog;
        control.id = item.id;
        control.instance = instance;
        HWND made = createWindow(control);
        if (made == nullptr) {
            destroyWindow(dialog);
            return nullptr;
        }
        if (first == nullptr)
            first = made;
    }
    sendMessage(dialog, kMsgInitDialog, reinterpret_cast<uintptr_t>(first), lParam);
    return dialog;
}

intptr_t runModalLoop(HWND window) {
    HWND owner = windowParent(window);
    const bool ownerWasEnabled = owner != nullptr && isEnabled(owner);
    if (ownerWasEnabled)
        enableWindow(owner, false);
    intptr_t result = 0;
    while (!modalEnded(window, &result)) {
        WindowMessage m;
        if (peekMessage(&m, 0, 0, true)) {
            if (!dialogKey(window, m))
                dispatchMessage(m);
            continue;
        }
        runIdleHook(window);
        if (!modalEnded(window, &result) && !peekMessage(&m, 0, 0, false))
            win::waitForMessage(100);
    }
    if (ownerWasEnabled)
        enableWindow(owner, true);
    return result;
}

void endModalLoop(HWND window, intptr_t result) {
    {
        win::Guard guard(win::layerLock());
        win::Window *w = win::lookup(window);
        if (w == nullptr)
            return;
        w->modalDone = true;
        w->modalResult = result;
    }
    win::wakeWaiters();
}

void setModalIdleHook(ModalIdleHook hook, void *context) {
    std::lock_guard<std::mutex> guard(g_idleLock);
    g_idleHook = hook;
    g_idleContext = hook != nullptr ? context : nullptr;
}

} // namespace zo::plat
