// The headless window layer: what the library's components need of a windowing system,
// with no display.
//
// Windows are objects of this layer: a class (with its window procedure and extra bytes),
// a title, styles, a rectangle, a parent, properties, a minimised flag, a place in the
// stacking order, and a surface holding their pixels (see draw.h). Messages are sent by
// calling the window procedure directly, from whatever thread sends them: the layer's own
// state is guarded by one lock, and the built-in controls take that lock while they run,
// so a window may be written to from several threads. Posted messages go to the queue of
// the thread that made the window; modal loops read that queue. Painting is deferred: a
// change marks a window for painting, and the paint runs from a message loop, from
// updateWindow, or before a snapshot is taken.
//
// Handles carry a use count, so a handle of a destroyed window never names another window.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zowindow.h>

namespace zo::plat {

// A queued message, addressed to a window (null for a thread message).
struct WindowMessage {
    void *window = nullptr;
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

// Message numbers.
constexpr uint32_t kMsgCreate = 0x0001, kMsgDestroy = 0x0002, kMsgMove = 0x0003, kMsgSize = 0x0005,
                   kMsgSetFocus = 0x0007, kMsgKillFocus = 0x0008, kMsgEnable = 0x000A, kMsgSetRedraw = 0x000B,
                   kMsgSetText = 0x000C, kMsgGetText = 0x000D, kMsgGetTextLength = 0x000E, kMsgPaint = 0x000F,
                   kMsgClose = 0x0010, kMsgQuit = 0x0012, kMsgEraseBackground = 0x0014, kMsgShowWindow = 0x0018,
                   kMsgDrawItem = 0x002B, kMsgMeasureItem = 0x002C, kMsgSetFont = 0x0030, kMsgGetFont = 0x0031,
                   kMsgNotify = 0x004E, kMsgNcDestroy = 0x0082, kMsgInitDialog = 0x0110, kMsgCommand = 0x0111,
                   kMsgUser = 0x0400;
// Keyboard messages and virtual-key codes.
constexpr uint32_t kMsgKeyDown = 0x0100;
constexpr uint32_t kMsgKeyUp = 0x0101;
constexpr uint32_t kMsgChar = 0x0102;
constexpr uint32_t kMsgKeyFirst = kMsgKeyDown;
constexpr uint32_t kMsgKeyLast = 0x0109;
constexpr uintptr_t kKeyReturn = 0x0D;
constexpr uintptr_t kKeyEscape = 0x1B;
constexpr uintptr_t kKeyUp = 0x26;
constexpr uintptr_t kKeyDown = 0x28;

// Window styles.
constexpr uint32_t kStylePopup = 0x80000000, kStyleChild = 0x40000000, kStyleMinimize = 0x20000000,
                   kStyleVisible = 0x10000000, kStyleDisabled = 0x08000000, kStyleCaption = 0x00C00000,
                   kStyleBorder = 0x00800000, kStyleDialogFrame = 0x00400000, kStyleVScroll = 0x00200000,
                   kStyleHScroll = 0x00100000, kStyleSysMenu = 0x00080000, kStyleThickFrame = 0x00040000,
                   kStyleTabStop = 0x00010000, kStyleOverlappedWindow = 0x00CF0000;
constexpr uint32_t kExStyleTopMost = 0x00000008;
// Class styles.
constexpr uint32_t kClassGlobal = 0x4000;
// Position or size left to the layer.
constexpr int32_t kUseDefault = INT32_MIN;

// Window fields by index (negative), besides the class's extra bytes (0 and up).
constexpr int kFieldProcedure = -4, kFieldId = -12, kFieldStyle = -16, kFieldExStyle = -20, kFieldUserData = -21;

// Places in the stacking order, and what setWindowPos leaves alone.
inline HWND placeTop() { return reinterpret_cast<HWND>(0); }
inline HWND placeBottom() { return reinterpret_cast<HWND>(1); }
inline HWND placeTopMost() { return reinterpret_cast<HWND>(-1); }
inline HWND placeNotTopMost() { return reinterpret_cast<HWND>(-2); }
constexpr uint32_t kPosNoSize = 0x1, kPosNoMove = 0x2, kPosNoZOrder = 0x4, kPosNoRedraw = 0x8, kPosNoActivate = 0x10;

// Show commands.
constexpr int kShowHide = 0, kShowNormal = 1, kShowMinimized = 2, kShowMaximized = 3, kShowNoActivate = 4,
              kShowShow = 5, kShowMinimize = 6, kShowRestore = 9;

// Edit control messages and styles.
constexpr uint32_t kEditGetSel = 0x00B0, kEditSetSel = 0x00B1, kEditGetLineCount = 0x00BA, kEditLineIndex = 0x00BB,
                   kEditReplaceSel = 0x00C2, kEditLimitText = 0x00C5, kEditLineFromChar = 0x00C9,
                   kEditSetReadOnly = 0x00CF, kEditGetFirstVisibleLine = 0x00CE, kEditGetLimitText = 0x00D5;
constexpr uint32_t kEditMultiLine = 0x0004, kEditAutoVScroll = 0x0040, kEditAutoHScroll = 0x0080,
                   kEditReadOnly = 0x0800;
// The largest text an edit control takes when its limit is set to 0, and its first limit.
constexpr uint32_t kEditMaxLimit = 0x7FFFFFFE, kEditDefaultLimit = 30000;

// Button control messages and notifications; the command ids of the standard buttons.
constexpr uint32_t kButtonClick = 0x00F5;
constexpr uint32_t kButtonClicked = 0;
constexpr uint32_t kButtonDefPush = 0x0001;
constexpr int kIdOk = 1, kIdCancel = 2;

// The standard classes: the edit control, push buttons, static texts and dialogs.
constexpr const char *kEditClass = "Edit";
constexpr const char *kButtonClass = "Button";
constexpr const char *kStaticClass = "Static";
constexpr const char *kDialogClass = "#32770";

// ---- Classes and windows -------------------------------------------------------------

struct WindowClass {
    const char *name = nullptr; // compared ignoring case; at most 63 bytes
    uint32_t style = 0;
    ZoWindowProc procedure = nullptr;
    int extraBytes = 0; // bytes kept with each window, zeroed, read with windowField
    void *instance = nullptr;
    void *icon = nullptr;
    void *cursor = nullptr;
    uint32_t background = 0; // a system colour index + 1 (0: the class paints no background)
};
// False when the name is taken (by any class: global and local ones share the names
// here), the description is incomplete or memory runs out.
ZO_API bool registerWindowClass(const WindowClass &windowClass);
ZO_API bool isWindowClassRegistered(const char *name);
// False when there is no such class or a window of it is alive.
ZO_API bool unregisterWindowClass(const char *name);

// What createWindow makes. A child window's position is in its parent's client area; a
// top-level window's (its parent is then its owner) on the screen. kUseDefault for x
// (or width) lets the layer choose the position (or size).
struct WindowCreate {
    uint32_t exStyle = 0;
    const char *className = nullptr;
    const unsigned char *title = nullptr;
    uint32_t style = 0;
    int32_t x = kUseDefault, y = 0, width = kUseDefault, height = 0;
    HWND parent = nullptr;
    uintptr_t id = 0; // a child's control id
    void *instance = nullptr;
    void *createParam = nullptr; // handed to the creation message
};
// The creation message's lParam points at this.
struct CreateInfo {
    void *createParam;
    HWND parent;
    uint32_t style;
};
// Makes the window, sends it the creation message (an answer of -1 destroys it again),
// then its size and move messages. Null when the class is unknown, the parent is not a
// window, memory runs out or the window refused.
ZO_API HWND createWindow(const WindowCreate &create);
// Sends the destruction message to the window, then destroys its children, and frees it.
ZO_API void destroyWindow(HWND window);
ZO_API bool isWindow(HWND window);
// How many windows are alive (tests check that nothing is left behind).
ZO_API uint32_t windowCount();

// Messages. sendMessage calls the window's procedure and returns its answer (0 for a handle
// that is no window). postMessage queues the message for the window's thread.
ZO_API intptr_t sendMessage(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
ZO_API bool postMessage(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// What a window procedure passes on: titles, painting with the class background, closing,
// fonts; 0 for the rest.
ZO_API intptr_t defaultWindowProc(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Hands a message taken from the queue to its window (a paint message paints).
ZO_API intptr_t dispatchMessage(const WindowMessage &message);

// Titles.
ZO_API bool setWindowText(HWND window, const unsigned char *text);
// Copies at most size - 1 bytes and a terminator; returns the bytes copied.
ZO_API uint32_t windowText(HWND window, unsigned char *out, uint32_t size);
ZO_API uint32_t windowTextLength(HWND window);

// Geometry. windowRect is on the screen; clientRect is the client area, at 0,0. A window
// with a caption has a title bar and a one-pixel frame around the client area; a window
// with a border or frame style has the frame alone.
ZO_API bool windowRect(HWND window, ZoRect *rect);
ZO_API bool clientRect(HWND window, ZoRect *rect);
// Where the client area starts inside the window's own rectangle.
ZO_API bool clientOffset(HWND window, int32_t *x, int32_t *y);
// Moves and sizes the window (coordinates as createWindow's); a new size sends the size
// message with the new client width and height.
ZO_API bool moveWindow(HWND window, int32_t x, int32_t y, int32_t width, int32_t height, bool repaint);
// Moves, sizes and places the window in the stacking order (placeTop() ... placeNotTopMost(),
// or a window to place it after), leaving alone what the kPos flags say.
ZO_API bool setWindowPos(HWND window, HWND insertAfter, int32_t x, int32_t y, int32_t width, int32_t height,
                         uint32_t flags);

// Family. windowParent is the parent of a child, the owner of a top-level window.
ZO_API HWND windowParent(HWND window);
// The child with the given control id, or null.
ZO_API HWND dialogItem(HWND window, uintptr_t id);

// Fields: the class's extra bytes by byte offset (a pointer-sized value), or the window's
// own fields by negative index. setWindowField returns the previous value.
ZO_API intptr_t windowField(HWND window, int index);
ZO_API intptr_t setWindowField(HWND window, int index, intptr_t value);

// Properties: pointers kept under names compared ignoring case.
ZO_API bool setProperty(HWND window, const char *name, void *value);
ZO_API void *property(HWND window, const char *name);
// Takes the property off the window and returns its value (null when there was none).
ZO_API void *removeProperty(HWND window, const char *name);

// Showing, minimising, enabling.
ZO_API bool showWindow(HWND window, int command);
ZO_API bool isVisible(HWND window);
ZO_API bool isMinimized(HWND window);
ZO_API bool enableWindow(HWND window, bool enable);
ZO_API bool isEnabled(HWND window);

// The stacking order of top-level windows: top-most windows stay above all others.
ZO_API bool isTopMost(HWND window);
// The top-level window at the given depth (0 is the topmost), or null.
ZO_API HWND topLevelWindowAt(uint32_t depth);

// The keyboard focus (one per process). setFocus returns the window that had it.
ZO_API HWND setFocus(HWND window);
ZO_API HWND focusWindow();

// The screen: 1024 by 768 unless the environment variable ZO_SCREEN ("1280x1024") or a call
// says otherwise.
ZO_API void screenSize(int32_t *width, int32_t *height);
ZO_API void setScreenSize(int32_t width, int32_t height);

// Painting. invalidateWindow marks the window for painting; updateWindow paints it (and its
// children) at once when it is marked.
ZO_API void invalidateWindow(HWND window);
ZO_API void updateWindow(HWND window);

// ---- Queues and loops ----------------------------------------------------------------

// Appends a message to the queue of the thread with the given id (currentThreadId()),
// making the queue on first use. False when memory runs out.
ZO_API bool postThreadMessage(uint32_t threadId, const WindowMessage &message);
// The first message of the calling thread's queue whose number lies in [first, last]
// (0, 0: any message), taken off the queue when `remove`. False when there is none. When
// the queue holds none and paint messages are asked for, a window of this thread that
// waits for painting yields one.
ZO_API bool peekMessage(WindowMessage *out, uint32_t first, uint32_t last, bool remove);
// Waits for the next message of the calling thread; false for the quit message.
ZO_API bool getMessage(WindowMessage *out);
ZO_API void postQuitMessage(int exitCode);
// Drops the calling thread's queue and whatever it holds.
ZO_API void discardThreadQueue();
// Drops every queue, window, class and drawing resource of the layer (process detach).
ZO_API void discardAllQueues();

// Modal loops. runModalLoop disables the window's owner, reads the calling thread's queue
// until endModalLoop is called for the window, enables the owner again and returns the
// result given to endModalLoop. The Return key presses the OK button, Escape the Cancel
// button. When the queue is empty the idle hook runs (tests play the user there); without
// one the loop waits for a message.
ZO_API intptr_t runModalLoop(HWND window);
ZO_API void endModalLoop(HWND window, intptr_t result);
using ModalIdleHook = void (*)(void *context, HWND modalWindow);
ZO_API void setModalIdleHook(ModalIdleHook hook, void *context);

// Dialogs made from templates. A module holds its templates behind the exported function
// `zoFindDialog`, which returns the template with the given id or null.
struct DialogItemTemplate {
    const char *className;
    const char *text;
    uint32_t id;
    uint32_t style;
    int32_t x, y, width, height; // in pixels, inside the dialog's client area
};
struct DialogTemplate {
    const char *caption;
    uint32_t style;
    int32_t width, height; // of the client area, in pixels
    uint32_t itemCount;
    const DialogItemTemplate *items;
};
using FindDialogFunction = const DialogTemplate *(*)(unsigned id);
// The template with the given id in the module, or null.
ZO_API const DialogTemplate *findDialogTemplate(void *module, unsigned id);
// Makes a dialog window from a template (a page of a property sheet when the template's
// style makes it a child) with its controls, and sends it the init message with lParam.
// Its dialog procedure sees each message first; the value it leaves in dialogResultField
// answers notifications. Null when a window cannot be made.
ZO_API HWND createDialog(const DialogTemplate &dialogTemplate, void *instance, HWND parent, ZoDialogProc procedure,
                         intptr_t lParam);
// The extra-byte offsets of a dialog window: the answer to a notification, the procedure,
// the user's value.
constexpr int kDialogResultField = 0, kDialogProcField = static_cast<int>(sizeof(void *)),
              kDialogUserField = static_cast<int>(2 * sizeof(void *));

// ---- Property sheets -----------------------------------------------------------------

// A page of a property sheet, as given to createPropertySheetPage (its size field must be
// the size of this record).
struct PropertySheetPage {
    uint32_t size;
    uint32_t flags; // kPageUseTitle: take the title from here, not from the template
    void *instance;
    uintptr_t templateId;
    void *icon;
    const unsigned char *title;
    ZoDialogProc dialogProc;
    intptr_t lParam;
    void *callback;
    uint32_t *refParent;
};
constexpr uint32_t kPageUseTitle = 0x0008;
// The header of a property sheet, as given to propertySheet (pages holds page handles).
struct PropertySheetHeader {
    uint32_t size;
    uint32_t flags;
    HWND parent;
    void *instance;
    void *icon;
    const unsigned char *caption;
    uint32_t pageCount;
    uint32_t startPage;
    void **pages;
    void *callback;
};
// Notifications the pages receive (kMsgNotify, lParam points at a NotifyHeader), and the
// message that selects a page by index.
struct NotifyHeader {
    HWND from;
    uintptr_t idFrom;
    uint32_t code;
};
constexpr uint32_t kPageSetActive = 0u - 200u, kPageKillActive = 0u - 201u, kPageApply = 0u - 202u,
                   kPageReset = 0u - 203u;
constexpr uint32_t kSheetSetCurrentPage = 0x0465;
// A page handle (a copy of the record), or null when the record is wrong or memory runs out.
ZO_API void *createPropertySheetPage(const PropertySheetPage *page);
ZO_API void destroyPropertySheetPage(void *page);
// Runs the sheet modally and destroys its pages: 1 when closed with OK (the pages were told
// to apply), 0 with Cancel (they were told to reset), -1 when it cannot be shown.
ZO_API intptr_t propertySheet(const PropertySheetHeader *header);

// ---- Sound and message boxes ---------------------------------------------------------

// The default beep: counted, nothing sounds.
ZO_API void beep();
ZO_API uint32_t beepCount();

// Message-box styles (buttons in the low four bits, icon in the next four) and answers.
constexpr uint32_t kBoxOk = 0x0, kBoxOkCancel = 0x1, kBoxAbortRetryIgnore = 0x2, kBoxYesNoCancel = 0x3, kBoxYesNo = 0x4,
                   kBoxRetryCancel = 0x5;
constexpr uint32_t kBoxIconError = 0x10, kBoxIconQuestion = 0x20, kBoxIconWarning = 0x30, kBoxIconInfo = 0x40;
constexpr int kAnswerOk = 1, kAnswerCancel = 2, kAnswerAbort = 3, kAnswerRetry = 4, kAnswerIgnore = 5, kAnswerYes = 6,
              kAnswerNo = 7;

// Receives every message box and gives its answer. Tests install one to read the boxes
// and play the user.
using MessageBoxSink = int (*)(void *context, void *owner, const unsigned char *text, const unsigned char *caption,
                               uint32_t style);
// Shows a message box through the current sink. The default sink writes one line to
// standard error and answers with the box's first button.
ZO_API int messageBox(void *owner, const unsigned char *text, const unsigned char *caption, uint32_t style);
// Installs a sink (null: the default one again).
ZO_API void setMessageBoxSink(MessageBoxSink sink, void *context);

// ---- Pauses --------------------------------------------------------------------------

// Sleeps between the frames of an animation. Tests replace the pause with a hook (called
// with the milliseconds asked for) to step through frames without waiting.
ZO_API void framePause(uint32_t milliseconds);
using FramePauseHook = void (*)(void *context, uint32_t milliseconds);
ZO_API void setFramePauseHook(FramePauseHook hook, void *context);

} // namespace zo::plat
