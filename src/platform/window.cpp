// The window layer's message queues, beep counter, message boxes and frame pauses.
#include "platform/window.h"

#include "platform/memory.h"
#include "platform/thread.h"
#include "platform/winint.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

namespace zo::plat {

namespace {

// Queues by thread id, in a list under one lock: posting is rare (keys, requests to
// windows), so a shared lock costs nothing that matters. Their memory comes from the
// layer's heap, so the allocation hook reaches it. No standard container lives here: their
// inline statics can become unique symbols, which would keep the library from ever being
// unloaded.
struct QueuedMessage {
    QueuedMessage *next;
    WindowMessage message;
};

struct ThreadQueue {
    ThreadQueue *next;
    uint32_t threadId;
    QueuedMessage *head;
    QueuedMessage *tail;
    bool quit;
    int quitCode;
};

std::mutex g_queuesLock;
std::condition_variable g_queuesChanged;
ThreadQueue *g_queues = nullptr;
// Counts the wake-ups of waiters for something else than a posted message (a paint asked
// for, a modal loop ended), so that a waiter notices them at once.
uint64_t g_wakeups = 0;

ThreadQueue *findQueue(uint32_t threadId) {
    for (ThreadQueue *q = g_queues; q != nullptr; q = q->next)
        if (q->threadId == threadId)
            return q;
    return nullptr;
}

ThreadQueue *findOrMakeQueue(uint32_t threadId) {
    if (ThreadQueue *q = findQueue(threadId))
        return q;
    auto *q = static_cast<ThreadQueue *>(heapAlloc(sizeof(ThreadQueue), true));
    if (q == nullptr)
        return nullptr;
    q->threadId = threadId;
    q->next = g_queues;
    g_queues = q;
    return q;
}

void freeQueue(ThreadQueue *q) {
    for (QueuedMessage *m = q->head; m != nullptr;) {
        QueuedMessage *next = m->next;
        heapFree(m);
        m = next;
    }
    heapFree(q);
}

bool inRange(uint32_t message, uint32_t first, uint32_t last) {
    return (first == 0 && last == 0) || (message >= first && message <= last);
}

// Takes (or reads) the first queued message in range.
bool takeQueued(WindowMessage *out, uint32_t first, uint32_t last, bool remove) {
    std::lock_guard<std::mutex> guard(g_queuesLock);
    ThreadQueue *q = findQueue(currentThreadId());
    if (q == nullptr)
        return false;
    QueuedMessage *previous = nullptr;
    for (QueuedMessage *m = q->head; m != nullptr; previous = m, m = m->next) {
        if (!inRange(m->message.message, first, last))
            continue;
        *out = m->message;
        if (remove) {
            (previous == nullptr ? q->head : previous->next) = m->next;
            if (q->tail == m)
                q->tail = previous;
            heapFree(m);
        }
        return true;
    }
    return false;
}

bool takeQuit(WindowMessage *out) {
    std::lock_guard<std::mutex> guard(g_queuesLock);
    ThreadQueue *q = findQueue(currentThreadId());
    if (q == nullptr || !q->quit)
        return false;
    q->quit = false;
    *out = WindowMessage{nullptr, kMsgQuit, static_cast<uintptr_t>(q->quitCode), 0};
    return true;
}

std::atomic<uint32_t> g_beeps{0};

int firstButton(uint32_t style) {
    switch (style & 0xF) {
    case kBoxAbortRetryIgnore: return kAnswerAbort;
    case kBoxYesNoCancel:
    case kBoxYesNo: return kAnswerYes;
    case kBoxRetryCancel: return kAnswerRetry;
    default: return kAnswerOk;
    }
}

int defaultSink(void *, void *, const unsigned char *text, const unsigned char *caption, uint32_t style) {
    std::fprintf(stderr, "[%s] %s\n", caption != nullptr ? reinterpret_cast<const char *>(caption) : "",
                 text != nullptr ? reinterpret_cast<const char *>(text) : "");
    return firstButton(style);
}

std::mutex g_sinkLock;
MessageBoxSink g_sink = defaultSink;
void *g_sinkContext = nullptr;

std::mutex g_pauseLock;
FramePauseHook g_pauseHook = nullptr;
void *g_pauseContext = nullptr;

} // namespace

namespace win {

void waitForMessage(int milliseconds) {
    std::unique_lock<std::mutex> lock(g_queuesLock);
    const uint32_t self = currentThreadId();
    const uint64_t wakeups = g_wakeups;
    g_queuesChanged.wait_for(lock, std::chrono::milliseconds(milliseconds), [self, wakeups] {
        ThreadQueue *q = findQueue(self);
        return g_wakeups != wakeups || (q != nullptr && (q->head != nullptr || q->quit));
    });
}

void wakeWaiters() {
    {
        std::lock_guard<std::mutex> guard(g_queuesLock);
        ++g_wakeups;
    }
    g_queuesChanged.notify_all();
}

} // namespace win

bool postThreadMessage(uint32_t threadId, const WindowMessage &message) {
    {
        std::lock_guard<std::mutex> guard(g_queuesLock);
        ThreadQueue *q = findOrMakeQueue(threadId);
        auto *m = static_cast<QueuedMessage *>(heapAlloc(sizeof(QueuedMessage), true));
        if (q == nullptr || m == nullptr) {
            heapFree(m);
            return false;
        }
        m->message = message;
        (q->tail == nullptr ? q->head : q->tail->next) = m;
        q->tail = m;
    }
    g_queuesChanged.notify_all();
    return true;
}

bool peekMessage(WindowMessage *out, uint32_t first, uint32_t last, bool remove) {
    if (takeQueued(out, first, last, remove))
        return true;
    if (!inRange(kMsgPaint, first, last))
        return false;
    HWND waiting = win::windowWaitingForPaint(currentThreadId());
    if (waiting == nullptr)
        return false;
    *out = WindowMessage{waiting, kMsgPaint, 0, 0};
    return true;
}

bool getMessage(WindowMessage *out) {
    for (;;) {
        if (peekMessage(out, 0, 0, true))
            return true;
        if (takeQuit(out))
            return false;
        win::waitForMessage(100);
    }
}

void postQuitMessage(int exitCode) {
    {
        std::lock_guard<std::mutex> guard(g_queuesLock);
        ThreadQueue *q = findOrMakeQueue(currentThreadId());
        if (q == nullptr)
            return;
        q->quit = true;
        q->quitCode = exitCode;
    }
    g_queuesChanged.notify_all();
}

void discardThreadQueue() {
    std::lock_guard<std::mutex> guard(g_queuesLock);
    const uint32_t self = currentThreadId();
    for (ThreadQueue **link = &g_queues; *link != nullptr; link = &(*link)->next) {
        if ((*link)->threadId != self)
            continue;
        ThreadQueue *q = *link;
        *link = q->next;
        freeQueue(q);
        return;
    }
}

void discardAllQueues() {
    {
        std::lock_guard<std::mutex> guard(g_queuesLock);
        while (g_queues != nullptr) {
            ThreadQueue *q = g_queues;
            g_queues = q->next;
            freeQueue(q);
        }
    }
    win::releaseWindows();
    win::releaseDrawing();
}

void beep() { g_beeps.fetch_add(1, std::memory_order_relaxed); }

uint32_t beepCount() { return g_beeps.load(std::memory_order_relaxed); }

int messageBox(void *owner, const unsigned char *text, const unsigned char *caption, uint32_t style) {
    MessageBoxSink sink;
    void *context;
    {
        std::lock_guard<std::mutex> guard(g_sinkLock);
        sink = g_sink;
        context = g_sinkContext;
    }
    return sink(context, owner, text, caption, style);
}

void setMessageBoxSink(MessageBoxSink sink, void *context) {
    std::lock_guard<std::mutex> guard(g_sinkLock);
    g_sink = sink != nullptr ? sink : defaultSink;
    g_sinkContext = sink != nullptr ? context : nullptr;
}

void framePause(uint32_t milliseconds) {
    FramePauseHook hook;
    void *context;
    {
        std::lock_guard<std::mutex> guard(g_pauseLock);
        hook = g_pauseHook;
        context = g_pauseContext;
    }
    if (hook != nullptr)
        hook(context, milliseconds);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void setFramePauseHook(FramePauseHook hook, void *context) {
    std::lock_guard<std::mutex> guard(g_pauseLock);
    g_pauseHook = hook;
    g_pauseContext = hook != nullptr ? context : nullptr;
}

} // namespace zo::plat
