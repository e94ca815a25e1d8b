// One platform thread: start, wait for its end, and end it on request (see the class
// comment in zothread.h for what ending means on this host).
#include <zo/zothread.h>

#include "platform/thread.h"

ZoThread::~ZoThread() {
    (void)ZoThread::terminateThread(); // always 0
}

ZoStatus ZoThread::createThread(ZoThreadStart start, void *argument) {
    if (isRunning())
        return ZoFailure;
    uint32_t id = 0;
    void *handle = zo::plat::threadStart(start, argument, &id);
    if (handle == nullptr)
        return ZoFailure;
    handle_ = handle;
    threadId_ = id;
    exitRequest_.store(0, std::memory_order_release);
    running_.store(1, std::memory_order_release);
    return ZoSuccess;
}

ZoStatus ZoThread::waitForExit() {
    // The host offers no priority boost to an ordinary thread: the wait is a plain join.
    if (isRunning()) {
        (void)zo::plat::threadJoin(handle_, zo::plat::kWaitForever); // true: no time limit
        handle_ = nullptr;
        running_.store(0, std::memory_order_release);
        exitRequest_.store(0, std::memory_order_release);
    }
    return ZoSuccess;
}

ZoStatus ZoThread::terminateThread() {
    if (isRunning()) {
        requestExit();
        wakeForExit();
        (void)endThread(); // given up or not, no thread runs for this object any more
    }
    return ZoSuccess;
}

bool ZoThread::endThread() {
    const bool ended = zo::plat::threadJoin(handle_, terminateWaitMs);
    if (!ended)
        zo::plat::threadAbandon(handle_);
    handle_ = nullptr;
    running_.store(0, std::memory_order_release);
    // A thread given up keeps seeing the request, should it look.
    if (ended)
        exitRequest_.store(0, std::memory_order_release);
    return ended;
}
