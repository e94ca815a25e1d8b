#include "platform/window.h"

#include "platform/thread.h"

#include <atomic>
#include <cstdio>
#include <deque>
#include <mutex>
#include <new>
#include <unordered_map>

namespace zo::plat {

namespace {

// Queues by thread id, under one lock: posting is rare (keys, requests of the trace window),
// so a shared lock costs nothing that matters. The host heap holds them.
std::mutex g_queuesLock;
std::unordered_map<uint32_t, std::deque<WindowMessage>> *g_queues = nullptr;

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
    std::lock_guard<std::mutex> guard(g_queuesLock);
    if (g_queues == nullptr) {
        g_queues = new (std::nothrow) std::unordered_map<uint32_t, std::deque<WindowMessage>>;
        if (g_queues == nullptr)
            return false;
    }
    // The library is built without exceptions: a failed allocation inside the standard
    // containers ends the process, as it would for any other host allocation failure.
    (*g_queues)[threadId].push_back(message);
    return true;
}

bool peekMessage(WindowMessage *out, uint32_t first, uint32_t last, bool remove) {
    std::lock_guard<std::mutex> guard(g_queuesLock);
    if (g_queues == nullptr)
        return false;
    auto found = g_queues->find(currentThreadId());
    if (found == g_queues->end())
        return false;
    std::deque<WindowMessage> &queue = found->second;
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        if (!inRange(it->message, first, last))
            continue;
        *out = *it;
        if (remove)
            queue.erase(it);
        return true;
    }
    return false;
}

void discardThreadQueue() {
    std::lock_guard<std::mutex> guard(g_queuesLock);
    if (g_queues != nullptr)
        g_queues->erase(currentThreadId());
}

void discardAllQueues() {
    std::lock_guard<std::mutex> guard(g_queuesLock);
    delete g_queues;
    g_queues = nullptr;
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
