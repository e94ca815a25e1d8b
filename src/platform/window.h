// The headless window layer: what the library's components need of a windowing system,
// with no display. This part holds the per-thread message queues, the beep counter and
// message boxes sent to a replaceable sink.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>

namespace zo::plat {

// A queued message, addressed to a window (null for a thread message).
struct WindowMessage {
    void *window = nullptr;
    uint32_t message = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

// Message numbers and virtual-key codes of the keyboard messages.
constexpr uint32_t kMsgKeyDown = 0x0100;
constexpr uint32_t kMsgKeyUp = 0x0101;
constexpr uint32_t kMsgChar = 0x0102;
constexpr uint32_t kMsgKeyFirst = kMsgKeyDown;
constexpr uint32_t kMsgKeyLast = 0x0109;
constexpr uintptr_t kKeyEscape = 0x1B;
constexpr uintptr_t kKeyUp = 0x26;
constexpr uintptr_t kKeyDown = 0x28;

// Appends a message to the queue of the thread with the given id (currentThreadId()),
// making the queue on first use. False when memory runs out.
ZO_API bool postThreadMessage(uint32_t threadId, const WindowMessage &message);
// The first message of the calling thread's queue whose number lies in [first, last]
// (0, 0: any message), taken off the queue when `remove`. False when there is none.
ZO_API bool peekMessage(WindowMessage *out, uint32_t first, uint32_t last, bool remove);
// Drops the calling thread's queue and whatever it holds.
ZO_API void discardThreadQueue();
// Drops every queue (process detach).
ZO_API void discardAllQueues();

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

} // namespace zo::plat
