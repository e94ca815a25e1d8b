// Trace output to a file and to a window that keeps the last 32 KB of lines.
//
// A trace file is written at its end only (it is opened in append mode): each write holds
// whole lines, so several processes tracing into one file never tear each other's lines.
// With FlushEachLine every line is one write; without it lines gather in a block of 8 KB
// that is written when full, when the flag comes back on, and by resetTrace.
#include <zo/bosfile.h>
#include <zo/convert.h>
#include <zo/messages.h>
#include <zo/ramalloc.h>
#include <zo/zosemaph.h>
#include <zo/zotime.h>
#include <zo/zotrace.h>

#include <atomic>
#include <cstring>

#include "frame/err.h"
#include "frame/libstate.h"
#include "platform/draw.h"
#include "platform/window.h"

namespace {

namespace plat = zo::plat;

constexpr const char *kClassName = "ZoTraceClass";
constexpr const unsigned char kTitle[] = "Zo Trace Window";
// Child, visible, both scroll bars, multi-line, read-only.
constexpr uint32_t kEditStyle = 0x50300804;
constexpr uint32_t kWindowTextLimit = 0x7FFF;
constexpr uint32_t kLinesPerDrop = 10;
constexpr uint32_t kLineRoom = 1024;
constexpr uint32_t kPendingSize = 8192;
constexpr uint32_t kHexDumpMax = 0xFFFF; // the dump counts its bytes in 16 bits

std::atomic<bool> g_classTried{false};

intptr_t traceWindowProc(HWND window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (message != plat::kMsgSize)
        return plat::defaultWindowProc(window, message, wParam, lParam);
    auto *trace = reinterpret_cast<ZoTrace *>(plat::windowField(window, 0));
    if (trace != nullptr && trace->edit() != nullptr) {
        auto size = static_cast<uint32_t>(lParam);
        plat::moveWindow(trace->edit(), 0, 0, static_cast<int32_t>(size & 0xFFFF), static_cast<int32_t>(size >> 16),
                         true);
    }
    return 0;
}

// The class of trace windows, registered by the first window of the process (once: a
// failed registration is not tried again).
void registerTraceClass() {
    if (g_classTried.exchange(true))
        return;
    plat::WindowClass traceClass;
    traceClass.name = kClassName;
    traceClass.style = plat::kClassGlobal;
    traceClass.procedure = traceWindowProc;
    traceClass.extraBytes = sizeof(ZoTrace *);
    traceClass.instance = mdsPerTaskRecord().resourceLibrary;
    traceClass.icon = plat::loadIcon(nullptr, plat::iconResourceNumber(plat::kIconApplication));
    traceClass.cursor = plat::arrowCursor();
    (void)plat::registerWindowClass(traceClass); // a class that is missing fails the window
}

ZoSemaphore *initialLock() { return reinterpret_cast<ZoSemaphore *>(uintptr_t{2}); }

} // namespace

ZoTrace::ZoTrace() : lock_(initialLock()) {}

ZoTrace::~ZoTrace() {
    resetTrace();
    line_.unInitialize();
    ramFree(pending_);
    // The semaphore remembers this object's lock variable: it goes with the object, so
    // that nothing writes into the variable after the object is gone.
    if (reinterpret_cast<uintptr_t>(lock_) > 2)
        delete lock_;
}

ZoStatus ZoTrace::initialize(HINSTANCE instance, unsigned int toWindow, const unsigned char *fileName) {
    flags_ = (flags_ & ~uint32_t{0xE3}) | AtLineStart | FlushEachLine | (toWindow != 0 ? uint32_t{ToWindow} : 0u);
    instance_ = instance;
    cutLine(0);
    if (line_.capacity() <= kLineRoom && line_.initialize(kLineRoom, 0) != ZoSuccess)
        return ZoFailure;
    if (fileName != nullptr) {
        if (file_ != 0) {              // a second initialize: the first file is done with
            (void)writePending();      // a failed write was reported where it failed
            (void)bosFileClose(file_); // nothing more can be done for a file that will not close
            file_ = 0;
        }
        // The create mode never writes into the name.
        if (bosFileOpen(const_cast<unsigned char *>(fileName), BOS_CREATE | BOS_READWRITE | BOS_APPEND, &file_) !=
            ZoSuccess)
            return ZoFailure;
    }
    if (toWindow != 0 && !ensureWindow())
        return ZoFailure;
    flags_ |= Initialized;
    return ZoSuccess;
}

void ZoTrace::resetTrace() {
    (void)writePending();      // a failed write was reported where it failed
    (void)bosFileClose(file_); // handle 0 does nothing; a failed close leaves nothing to do
    file_ = 0;
    plat::destroyWindow(window_);
    window_ = edit_ = nullptr;
    windowTextLength_ = 0;
    flags_ &= ~Initialized;
}

void ZoTrace::cutLine(uint32_t length) {
    line_.setLength(length);
    if (line_.data() != nullptr)
        line_.data()[length] = '\0';
}

ZoStatus ZoTrace::writeString(const unsigned char *text) {
    return writeString(text,
                       text != nullptr ? static_cast<uint32_t>(std::strlen(reinterpret_cast<const char *>(text))) : 0);
}

ZoStatus ZoTrace::writeString(const ZoSubString &text) {
    return writeString(text.data(), text.isWide() ? 2 * text.length() : text.length());
}

ZoStatus ZoTrace::writeString(const unsigned char *bytes, uint32_t n) {
    const uint32_t kept = line_.length();
    const uint32_t flags = flags_;
    bool grown = true;
    if ((flags_ & TimeStamps) && (flags_ & AtLineStart)) {
        unsigned char stamp[12];
        ZoTime::getCurrentTimeStamp(stamp);
        grown = line_.concat(stamp, 11) == ZoSuccess && line_.concat(' ') == ZoSuccess;
    }
    flags_ &= ~AtLineStart;
    if (grown)
        grown = ((flags_ & Hexadecimal) ? writeHexString(bytes, n) : line_.concat(bytes, n)) == ZoSuccess;
    if (grown)
        return ZoSuccess;
    cutLine(kept);
    flags_ = flags;
    return ZoFailure;
}

ZoStatus ZoTrace::writeHexString(const unsigned char *bytes, uint32_t n) {
    if (n > kHexDumpMax)
        return ZoFailure;
    ZoString dump;
    if (dump.initialize(3 * n + 1, 0) != ZoSuccess)
        return ZoFailure;
    for (uint16_t i = 0; i < n; ++i) {
        unsigned char digits[3];
        hexify(digits, bytes[i], 2);
        if ((i % 10 == 0 && dump.concat(reinterpret_cast<const unsigned char *>("\r\n"), 2) != ZoSuccess) ||
            dump.concat(digits, 2) != ZoSuccess || dump.concat(' ') != ZoSuccess)
            return ZoFailure;
    }
    return line_.concat(dump.data(), dump.length());
}

ZoStatus ZoTrace::writeEol() {
    const uint32_t hexadecimal = flags_ & Hexadecimal;
    flags_ &= ~Hexadecimal;
    ZoStatus ended = writeString(reinterpret_cast<const unsigned char *>("\r\n"), 2);
    flags_ |= hexadecimal;
    if (ended != ZoSuccess)
        return ZoFailure;
    flags_ |= AtLineStart;
    bool failed = false;
    if (file_ != 0)
        failed = !sendToFile();
    if (window_ != nullptr && (flags_ & ToWindow))
        failed = !appendToWindow() || failed;
    cutLine(0);
    return failed ? ZoFailure : ZoSuccess;
}

ZoStatus ZoTrace::writeLine(const unsigned char *text) {
    zoSemaphoreEnter(&lock_);
    ZoStatus written = writeString(text);
    if (written == ZoSuccess)
        written = writeEol();
    zoSemaphoreExit(&lock_);
    return written;
}

// One write of whole lines: the pending ones and, when it fits beside them, this one.
bool ZoTrace::sendToFile() {
    const uint32_t length = line_.length();
    const bool fits = length <= kPendingSize - pendingLength_;
    if (!(flags_ & FlushEachLine) && pending_ == nullptr)
        pending_ = static_cast<unsigned char *>(ramAlloc(kPendingSize)); // without it: a write per line
    if (pending_ != nullptr && fits) {
        std::memcpy(pending_ + pendingLength_, line_.data(), length);
        pendingLength_ += length;
        return (flags_ & FlushEachLine) || pendingLength_ == kPendingSize ? writePending() : true;
    }
    bool written = writePending();
    if (pending_ != nullptr && length < kPendingSize && !(flags_ & FlushEachLine)) {
        std::memcpy(pending_, line_.data(), length);
        pendingLength_ = length;
        return written;
    }
    return bosFileWrite(file_, -1, line_.data(), length) == ZoSuccess && written;
}

bool ZoTrace::writePending() {
    if (pendingLength_ == 0 || file_ == 0)
        return true;
    const uint32_t length = pendingLength_;
    pendingLength_ = 0;
    return bosFileWrite(file_, -1, pending_, length) == ZoSuccess;
}

// Drops the oldest lines in blocks of ten until the room freed is at least the line's
// length; when the control has fewer lines than that, all its text goes.
void ZoTrace::removeOldestLines() {
    intptr_t cut = -1;
    for (uint32_t line = kLinesPerDrop;; line += kLinesPerDrop) {
        cut = plat::sendMessage(edit_, plat::kEditLineIndex, line, 0);
        if (cut < 0 || static_cast<uint32_t>(cut) >= line_.length())
            break;
    }
    plat::sendMessage(edit_, plat::kEditSetSel, 0, cut);
    plat::sendMessage(edit_, plat::kEditReplaceSel, 0, reinterpret_cast<intptr_t>(""));
    windowTextLength_ = cut < 0 ? 0 : windowTextLength_ - static_cast<uint32_t>(cut);
}

bool ZoTrace::appendToWindow() {
    const uint32_t length = line_.length();
    const bool trim = windowTextLength_ + length > kWindowTextLimit;
    if (trim) {
        plat::sendMessage(edit_, plat::kMsgSetRedraw, 0, 0);
        removeOldestLines();
    }
    plat::sendMessage(edit_, plat::kEditSetSel, windowTextLength_, windowTextLength_);
    plat::sendMessage(edit_, plat::kEditReplaceSel, 0, reinterpret_cast<intptr_t>(line_.data()));
    if (trim)
        plat::sendMessage(edit_, plat::kMsgSetRedraw, 1, 0);
    // The control's own count is the truth: a line it could not take whole (its limit, its
    // memory) is a failure, and the count does not drift from what it holds.
    const uint32_t expected = windowTextLength_ + length;
    windowTextLength_ = plat::windowTextLength(edit_);
    return windowTextLength_ == expected;
}

bool ZoTrace::makeWindow() {
    registerTraceClass();
    HWND focus = plat::focusWindow();
    plat::WindowCreate frame;
    frame.className = kClassName;
    frame.title = kTitle;
    frame.style = plat::kStyleOverlappedWindow;
    frame.instance = instance_;
    window_ = plat::createWindow(frame);
    if (window_ != nullptr) {
        plat::setWindowField(window_, 0, reinterpret_cast<intptr_t>(this));
        ZoRect client{};
        plat::clientRect(window_, &client);
        edit_ = plat::createWindow({0, plat::kEditClass, reinterpret_cast<const unsigned char *>(""), kEditStyle, 0, 0,
                                    client.right, client.bottom, window_, 0, instance_});
    }
    if (edit_ == nullptr) {
        plat::destroyWindow(window_);
        window_ = nullptr;
        addResourceError(ZoMessage::TraceWindow);
        return false;
    }
    windowTextLength_ = 0;
    plat::sendMessage(edit_, plat::kEditLimitText, kWindowTextLimit, 0);
    plat::showWindow(window_, plat::kShowNormal);
    plat::updateWindow(window_);
    plat::setFocus(focus);
    return true;
}

// A window made earlier is kept while it lives (a user may have closed it).
bool ZoTrace::ensureWindow() { return (window_ != nullptr && plat::isWindow(window_)) || makeWindow(); }

ZoStatus ZoTrace::setTraceToWindow() {
    if (!ensureWindow())
        return ZoFailure;
    flags_ |= ToWindow;
    return ZoSuccess;
}

void ZoTrace::setTopMost() {
    if (window_ != nullptr)
        plat::setWindowPos(window_, plat::placeTopMost(), 0, 0, 0, 0, plat::kPosNoMove | plat::kPosNoSize);
}

void ZoTrace::resetTopMost() {
    if (window_ != nullptr)
        plat::setWindowPos(window_, plat::placeNotTopMost(), 0, 0, 0, 0, plat::kPosNoMove | plat::kPosNoSize);
}
