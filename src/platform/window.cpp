#include "platform/window.h"

#include "platform/memory.h"
#include "platform/thread.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace zo::plat {

namespace {

// One list of queued messages per thread, the lists themselves in a list, all under one
// lock: posting is rare (keys, requests to a window), so a shared lock costs nothing that
// matters. No standard container lives here: their inline statics can become unique
// symbols, which would keep the library from ever being unloaded.
struct QueuedMessage {
    WindowMessage message;
    QueuedMessage *next;
};

struct ThreadQueue {
    uint32_t threadId;
    QueuedMessage *first;
    QueuedMessage *last;
    ThreadQueue *next;
};

std::mutex g_queuesLock;
ThreadQueue *g_queues = nullptr;

ThreadQueue **findQueue(uint32_t threadId) {
    ThreadQueue **link = &g_queues;
    while (*link != nullptr && (*link)->threadId != threadId)
        link = &(*link)->next;
    return link;
}

void freeQueue(ThreadQueue *queue) {
    for (QueuedMessage *m = queue->first; m != nullptr;) {
        QueuedMessage *next = m->next;
        heapFree(m);
        m = next;
    }
    heapFree(queue);
}

void dropQueue(uint32_t threadId) {
    ThreadQueue **link = findQueue(threadId);
    if (ThreadQueue *queue = *link) {
        *link = queue->next;
        freeQueue(queue);
    }
}

bool inRange(uint32_t message, uint32_t first, uint32_t last) {
    return (first == 0 && last == 0) || (message >= first && message <= last);
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

} // namespace

bool postThreadMessage(uint32_t threadId, const WindowMessage &message) {
    auto *queued = static_cast<QueuedMessage *>(heapAlloc(sizeof(QueuedMessage), false));
    if (queued == nullptr)
        return false;
    *queued = QueuedMessage{message, nullptr};
    std::lock_guard<std::mutex> guard(g_queuesLock);
    ThreadQueue **link = findQueue(threadId);
    if (*link == nullptr) {
        *link = static_cast<ThreadQueue *>(heapAlloc(sizeof(ThreadQueue), false));
        if (*link == nullptr) {
            heapFree(queued);
            return false;
        }
        **link = ThreadQueue{threadId, nullptr, nullptr, nullptr};
    }
    ThreadQueue *queue = *link;
    (queue->last != nullptr ? queue->last->next : queue->first) = queued;
    queue->last = queued;
    return true;
}

bool peekMessage(WindowMessage *out, uint32_t first, uint32_t last, bool remove) {
    std::lock_guard<std::mutex> guard(g_queuesLock);
    ThreadQueue *queue = *findQueue(currentThreadId());
    if (queue == nullptr)
        return false;
    QueuedMessage *before = nullptr;
    for (QueuedMessage *m = queue->first; m != nullptr; before = m, m = m->next) {
        if (!inRange(m->message.message, first, last))
            continue;
        *out = m->message;
        if (remove) {
            (before != nullptr ? before->next : queue->first) = m->next;
            if (queue->last == m)
                queue->last = before;
            heapFree(m);
        }
        return true;
    }
    return false;
}

void discardThreadQueue() {
    std::lock_guard<std::mutex> guard(g_queuesLock);
    dropQueue(currentThreadId());
}

void discardAllQueues() {
    std::lock_guard<std::mutex> guard(g_queuesLock);
    while (g_queues != nullptr)
        dropQueue(g_queues->threadId);
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

} // namespace zo::plat
