// Threads: a wrapper of one platform thread, a worker thread that runs its callers'
// requests one at a time on its own thread, and small services of the calling thread.
#pragma once

#include <atomic>
#include <cstdint>

#include <zo/zocritse.h>
#include <zo/zoobject.h>
#include <zo/zosemaph.h>

// A thread's start function; its result is the thread's exit code.
using ZoThreadStart = uint32_t (*)(void *argument);

// One platform thread. A thread started here keeps the library loaded until it has been
// waited for.
//
// A thread cannot be killed safely on this host (whatever it holds would stay held), so
// terminateThread asks instead: it sets the exit request, wakes the thread where the class
// knows how (wakeForExit), and waits a bounded time (terminateWaitMs) for its end. A
// thread that does not end in that time is given up: it runs on undisturbed to its own
// end, nothing it may use is freed, and the library stays loaded for the rest of the
// process so that the thread never runs code that is gone.
class ZO_API ZoThread : public ZoObject {
public:
    static constexpr uint32_t terminateWaitMs = 1000;

    ZoThread() = default;
    // Ends a running thread as terminateThread does.
    ~ZoThread() override;
    ZoThread(const ZoThread &) = delete;
    ZoThread &operator=(const ZoThread &) = delete;

    // Starts a thread running start(argument). 1 when a thread is already running or none
    // can be started.
    ZoStatus createThread(ZoThreadStart start, void *argument);
    // Waits without time limit for the running thread to end (it must end by itself, or
    // look at exitRequested). Always 0.
    ZoStatus waitForExit();
    // Ends the running thread as the class comment says. Always 0.
    virtual ZoStatus terminateThread();

    bool isRunning() const { return running_.load(std::memory_order_acquire) != 0; }
    // Whether the thread was asked to end; a start function that loops polls it.
    bool exitRequested() const { return exitRequest_.load(std::memory_order_acquire) != 0; }
    uint32_t threadId() const { return threadId_; }

protected:
    void requestExit() { exitRequest_.store(1, std::memory_order_release); }
    // Wakes a thread that may be waiting for work, so that it sees the exit request.
    virtual void wakeForExit() {}
    // terminateThread's steps after the wake: true when the thread ended within the wait,
    // false when it was given up. Either way no thread is running afterwards.
    bool endThread();

private:
    void *handle_ = nullptr;
    uint32_t threadId_ = 0;
    std::atomic<int> running_{0};
    std::atomic<int> exitRequest_{0};
};

class ZoWorkerTicket;

// A single worker thread that runs requests for any number of callers, one at a time: a
// caller hands over a function code and up to 32 arguments, the worker runs dispatch()
// on its own thread and the caller receives the result.
//
// A class deriving from it whose dispatch uses its own members ends the worker (exit) in
// its own destructor: this destructor runs after the derived part is gone.
class ZO_API ZoWorkerThread : public ZoThread {
public:
    enum : int { Idle = 0, Started = 1, Stopped = 2, Unusable = 3 };
    static constexpr int32_t maxArguments = 32;

    // Makes the lock and both semaphores; Unusable for good when a semaphore cannot be made.
    ZoWorkerThread();
    // Waits for a running request, then ends the thread (terminateThread) and closes the
    // semaphores.
    ~ZoWorkerThread() override;

    // Idle: starts the thread (1 when it cannot be started); Stopped: back to Started;
    // Unusable: 1.
    ZoStatus start();
    // Started becomes Stopped; the thread keeps running and serving requests.
    void stop();
    // Ends the thread after a running request (the state becomes Idle); nothing when Idle
    // or Unusable.
    void exit();
    // Runs dispatch() on the worker with function and the `count` signed 32-bit arguments
    // that follow, and returns its result. -1 at once when count is above 32, or when no
    // worker thread runs (Idle or Unusable) to answer.
    int32_t callWorkerThread(uint32_t function, int32_t count, ...);
    // Ends the thread as ZoThread's does, after a running request; when the thread was
    // given up it keeps the semaphores and the worker becomes Unusable.
    ZoStatus terminateThread() override;

    int state() const { return state_; }

protected:
    // The request handler: reads function() and args(), returns the result.
    virtual int32_t dispatch() = 0;
    uint32_t function() const { return function_; }
    const int32_t *args() const { return args_; }
    void wakeForExit() override;

private:
    static uint32_t workerLoop(void *ticket);
    void closeSemaphores();

    int32_t args_[maxArguments] = {};
    uint32_t function_ = 0;
    int32_t result_ = 0;
    int state_ = Idle;
    ZoCriticalSection lock_{0};
    ZoPosixSemaphore request_;
    ZoPosixSemaphore reply_;
    ZoWorkerTicket *ticket_ = nullptr;
};

// 1 when the Escape key was pressed: takes the key messages waiting in the calling
// thread's queue one by one, dropping key-ups and the Up and Down arrows and beeping for
// any other key, and stops at the first Escape (later messages stay queued). 0 when no key
// message is left.
ZO_API uint16_t bosabort();
// Sleeps; 0 does not call the platform at all.
ZO_API void bossleep(uint16_t milliseconds);
// Stores the identifier of the calling process.
ZO_API void bostskid(uint32_t *id);
