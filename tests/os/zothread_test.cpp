#include <zo/zothread.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/thread.h"
#include "platform/window.h"
#include "support/alloc_failure.h"
#include "support/status.h"

namespace {

using Clock = std::chrono::steady_clock;

bool threadAlive(uint32_t id) { return access(("/proc/self/task/" + std::to_string(id)).c_str(), F_OK) == 0; }

void waitUntil(const std::atomic<int> &flag, int value) {
    while (flag.load() != value)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// --- ZoThread ---

struct Probe {
    ZoThread *thread = nullptr;
    std::atomic<uint32_t> ranOn{0};
    std::atomic<int> stage{0};
    std::atomic<int> release{0};
};

uint32_t recordAndReturn(void *argument) {
    auto *probe = static_cast<Probe *>(argument);
    probe->ranOn = zo::plat::currentThreadId();
    return 7;
}

// Loops until asked to end, as a start function of a thread that may be terminated should.
uint32_t pollForExit(void *argument) {
    auto *probe = static_cast<Probe *>(argument);
    probe->stage = 1;
    while (!probe->thread->exitRequested())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    probe->stage = 2;
    return 0;
}

// Ignores every request until the test lets it go.
uint32_t ignoreRequests(void *argument) {
    auto *probe = static_cast<Probe *>(argument);
    probe->stage = 1;
    waitUntil(probe->release, 1);
    probe->stage = 2;
    return 0;
}

TEST(ZoThread, CreateWaitAndCreateAgain) {
    ZoThread thread;
    Probe probe;
    EXPECT_EQ(thread.waitForExit(), ZoSuccess); // nothing to wait for
    ASSERT_EQ(thread.createThread(recordAndReturn, &probe), ZoSuccess);
    EXPECT_TRUE(thread.isRunning());
    EXPECT_EQ(thread.createThread(recordAndReturn, &probe), ZoFailure); // one at a time
    EXPECT_EQ(thread.waitForExit(), ZoSuccess);
    EXPECT_FALSE(thread.isRunning());
    EXPECT_EQ(probe.ranOn.load(), thread.threadId());
    EXPECT_NE(probe.ranOn.load(), zo::plat::currentThreadId());
    ASSERT_EQ(thread.createThread(recordAndReturn, &probe), ZoSuccess);
    EXPECT_EQ(thread.waitForExit(), ZoSuccess);
}

TEST(ZoThread, CreateFailsCleanlyWithoutMemory) {
    ZoThread thread;
    Probe probe;
    {
        zotest::NoMemory none;
        EXPECT_EQ(thread.createThread(recordAndReturn, &probe), ZoFailure);
    }
    EXPECT_FALSE(thread.isRunning());
    EXPECT_EQ(probe.ranOn.load(), 0u);
}

TEST(ZoThread, TerminateEndsAThreadThatLooksAtTheRequest) {
    Probe probe;
    ZoThread thread;
    probe.thread = &thread;
    ASSERT_EQ(thread.createThread(pollForExit, &probe), ZoSuccess);
    waitUntil(probe.stage, 1);
    uint32_t id = thread.threadId();
    EXPECT_EQ(thread.terminateThread(), ZoSuccess);
    EXPECT_EQ(probe.stage.load(), 2);
    EXPECT_FALSE(thread.isRunning());
    EXPECT_FALSE(thread.exitRequested());
    EXPECT_FALSE(threadAlive(id));
}

TEST(ZoThread, DestructionEndsTheThread) {
    Probe probe;
    uint32_t id = 0;
    {
        ZoThread thread;
        probe.thread = &thread;
        ASSERT_EQ(thread.createThread(pollForExit, &probe), ZoSuccess);
        waitUntil(probe.stage, 1);
        id = thread.threadId();
    }
    EXPECT_EQ(probe.stage.load(), 2);
    EXPECT_FALSE(threadAlive(id));
}

// A thread that does not end within the wait is given up, not killed: it runs on to its
// own end, and whatever it uses stays valid.
TEST(ZoThread, TerminateGivesUpAThreadThatDoesNotEnd) {
    Probe probe;
    auto *thread = new ZoThread;
    ASSERT_EQ(thread->createThread(ignoreRequests, &probe), ZoSuccess);
    waitUntil(probe.stage, 1);
    uint32_t id = thread->threadId();
    auto began = Clock::now();
    EXPECT_EQ(thread->terminateThread(), ZoSuccess);
    EXPECT_GE(Clock::now() - began, std::chrono::milliseconds(ZoThread::terminateWaitMs));
    EXPECT_FALSE(thread->isRunning());
    EXPECT_TRUE(thread->exitRequested());
    delete thread;
    EXPECT_TRUE(threadAlive(id));
    EXPECT_EQ(probe.stage.load(), 1);
    probe.release = 1;
    waitUntil(probe.stage, 2);
    for (int i = 0; i < 5000 && threadAlive(id); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(threadAlive(id));
}

// --- ZoWorkerThread ---

// Answers function * 1000 + the sum of its 32 arguments, on one thread.
class SumWorker : public ZoWorkerThread {
public:
    ~SumWorker() override { exit(); }
    std::atomic<int> dispatched{0};
    std::atomic<uint32_t> ranOn{0};
    std::atomic<int> hold{0}; // while 1, a request waits inside dispatch
    std::atomic<int> inside{0};

protected:
    int32_t dispatch() override {
        ++dispatched;
        ranOn = zo::plat::currentThreadId();
        inside = 1;
        waitUntil(hold, 0);
        inside = 0;
        int32_t sum = 0;
        for (int i = 0; i < maxArguments; ++i)
            sum += args()[i];
        return static_cast<int32_t>(function()) * 1000 + sum;
    }
};

TEST(ZoWorkerThread, CountsAndArguments) {
    SumWorker worker;
    EXPECT_EQ(worker.state(), ZoWorkerThread::Idle);
    ASSERT_EQ(worker.start(), ZoSuccess);
    EXPECT_EQ(worker.state(), ZoWorkerThread::Started);
    EXPECT_EQ(worker.callWorkerThread(1, 0), 1000);
    EXPECT_EQ(worker.callWorkerThread(2, 32, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
                                      22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32),
              2000 + 32 * 33 / 2);
    // A shorter call overwrites only its own arguments; 0 arguments leave them all.
    EXPECT_EQ(worker.callWorkerThread(3, 2, -1, -2), 3000 + 32 * 33 / 2 - 1 - 2 - 1 - 2);
    EXPECT_EQ(worker.callWorkerThread(4, 0), 4000 + 32 * 33 / 2 - 6);
    int before = worker.dispatched;
    EXPECT_EQ(worker.callWorkerThread(5, 33, 1), -1);
    EXPECT_EQ(worker.dispatched.load(), before);
    EXPECT_EQ(worker.ranOn.load(), worker.threadId());
}

TEST(ZoWorkerThread, ManyCallersGetTheirOwnResults) {
    SumWorker worker;
    ASSERT_EQ(worker.start(), ZoSuccess);
    worker.callWorkerThread(0, 32, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                            0, 0, 0, 0);
    constexpr int kCallers = 8, kCalls = 300;
    std::atomic<int> wrong{0};
    std::vector<std::thread> callers;
    for (int t = 0; t < kCallers; ++t)
        callers.emplace_back([&, t] {
            for (int i = 0; i < kCalls; ++i)
                if (worker.callWorkerThread(t, 2, i, t * 7) != t * 1000 + i + t * 7)
                    ++wrong;
        });
    for (auto &caller : callers)
        caller.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(worker.ranOn.load(), worker.threadId());
}

TEST(ZoWorkerThread, StopAndStartKeepTheThread) {
    SumWorker worker;
    worker.exit(); // never started: nothing
    worker.stop();
    EXPECT_EQ(worker.state(), ZoWorkerThread::Idle);
    EXPECT_EQ(worker.callWorkerThread(1, 0), -1); // no thread to answer
    ASSERT_EQ(worker.start(), ZoSuccess);
    uint32_t id = worker.threadId();
    worker.stop();
    EXPECT_EQ(worker.state(), ZoWorkerThread::Stopped);
    EXPECT_EQ(worker.callWorkerThread(1, 0), 1000); // a stopped worker still answers
    ASSERT_EQ(worker.start(), ZoSuccess);
    EXPECT_EQ(worker.state(), ZoWorkerThread::Started);
    EXPECT_EQ(worker.threadId(), id);
    EXPECT_EQ(worker.ranOn.load(), id);
}

TEST(ZoWorkerThread, ExitWaitsForTheRunningRequestAndStartMakesANewThread) {
    SumWorker worker;
    ASSERT_EQ(worker.start(), ZoSuccess);
    uint32_t first = worker.threadId();
    worker.hold = 1;
    std::atomic<int32_t> result{0};
    std::thread caller([&] { result = worker.callWorkerThread(6, 1, 5); });
    waitUntil(worker.inside, 1);
    std::atomic<int> exited{0};
    std::thread exiter([&] {
        worker.exit();
        exited = 1;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    EXPECT_EQ(exited.load(), 0);
    worker.hold = 0;
    caller.join();
    exiter.join();
    EXPECT_EQ(result.load(), 6005);
    EXPECT_EQ(worker.state(), ZoWorkerThread::Idle);
    EXPECT_FALSE(threadAlive(first));
    EXPECT_EQ(worker.callWorkerThread(1, 0), -1);

    ASSERT_EQ(worker.start(), ZoSuccess);
    EXPECT_TRUE(threadAlive(worker.threadId()));
    EXPECT_EQ(worker.callWorkerThread(7, 1, 1), 7001);
    EXPECT_EQ(worker.ranOn.load(), worker.threadId());
}

// The base class's destructor ends a started or stopped worker; a derived destructor that
// calls exit waits for the request in flight.
class PlainWorker : public ZoWorkerThread {
protected:
    int32_t dispatch() override { return static_cast<int32_t>(function()) + 1; }
};

TEST(ZoWorkerThread, DestructionEndsTheThread) {
    for (bool stopped : {false, true}) {
        auto *worker = new PlainWorker;
        ASSERT_EQ(worker->start(), ZoSuccess);
        if (stopped)
            worker->stop();
        EXPECT_EQ(worker->callWorkerThread(41, 0), 42);
        uint32_t id = worker->threadId();
        delete worker;
        EXPECT_FALSE(threadAlive(id));
    }
    auto *worker = new SumWorker;
    ASSERT_EQ(worker->start(), ZoSuccess);
    uint32_t id = worker->threadId();
    worker->hold = 1;
    std::atomic<int32_t> result{0};
    std::thread caller([&] { result = worker->callWorkerThread(2, 0); });
    waitUntil(worker->inside, 1);
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        worker->hold = 0;
    });
    delete worker;
    caller.join();
    releaser.join();
    EXPECT_EQ(result.load() / 1000, 2);
    EXPECT_FALSE(threadAlive(id));
}

TEST(ZoWorkerThread, TerminateEndsAnIdleWorker) {
    PlainWorker worker;
    ASSERT_EQ(worker.start(), ZoSuccess);
    uint32_t id = worker.threadId();
    ZoThread &base = worker;
    EXPECT_EQ(base.terminateThread(), ZoSuccess); // the worker's own, woken at once
    EXPECT_EQ(worker.state(), ZoWorkerThread::Idle);
    EXPECT_FALSE(threadAlive(id));
    ASSERT_EQ(worker.start(), ZoSuccess);
    EXPECT_EQ(worker.callWorkerThread(1, 0), 2);
}

TEST(ZoWorkerThread, UnusableWhenASemaphoreCannotBeMade) {
    uint32_t points = zotest::forEachAllocationFailure([](zotest::FailurePoint &point) {
        point.arm();
        auto *worker = new PlainWorker;
        point.disarm();
        if (worker == nullptr)
            return;
        if (point.hit()) {
            EXPECT_EQ(worker->state(), ZoWorkerThread::Unusable);
            EXPECT_EQ(worker->start(), ZoFailure);
            EXPECT_EQ(worker->state(), ZoWorkerThread::Unusable);
            EXPECT_EQ(worker->callWorkerThread(1, 0), -1);
            worker->exit();
            worker->stop();
            EXPECT_EQ(worker->state(), ZoWorkerThread::Unusable);
        } else {
            EXPECT_EQ(worker->state(), ZoWorkerThread::Idle);
        }
        delete worker; // LeakSanitizer: the semaphore that was made is closed
    });
    EXPECT_EQ(points, 3u); // the object, then each semaphore
}

TEST(ZoWorkerThread, StartFailsCleanlyWithoutMemory) {
    PlainWorker worker;
    {
        zotest::NoMemory none;
        EXPECT_EQ(worker.start(), ZoFailure);
    }
    EXPECT_EQ(worker.state(), ZoWorkerThread::Idle);
    EXPECT_FALSE(worker.isRunning());
    ASSERT_EQ(worker.start(), ZoSuccess);
    EXPECT_EQ(worker.callWorkerThread(3, 0), 4);
}

// --- Services of the calling thread ---

zo::plat::WindowMessage key(uint32_t message, uintptr_t code) {
    zo::plat::WindowMessage m;
    m.message = message;
    m.wParam = code;
    return m;
}

// Queues a key press (down and up) on the calling thread.
void press(uintptr_t code) {
    const uint32_t self = zo::plat::currentThreadId();
    ASSERT_TRUE(zo::plat::postThreadMessage(self, key(zo::plat::kMsgKeyDown, code)));
    ASSERT_TRUE(zo::plat::postThreadMessage(self, key(zo::plat::kMsgKeyUp, code)));
}

TEST(Bosabort, StopsAtEscapeAndBeepsForOtherKeys) {
    zo::plat::discardThreadQueue();
    press('A');
    press(zo::plat::kKeyEscape);
    press('B');
    uint32_t beeps = zo::plat::beepCount();
    EXPECT_EQ(bosabort(), 1);
    EXPECT_EQ(zo::plat::beepCount() - beeps, 1u);
    // Escape's key-up and both of B's messages are still queued.
    zo::plat::WindowMessage m;
    ASSERT_TRUE(zo::plat::peekMessage(&m, 0, 0, true));
    EXPECT_EQ(m.message, zo::plat::kMsgKeyUp);
    EXPECT_EQ(m.wParam, zo::plat::kKeyEscape);
    ASSERT_TRUE(zo::plat::peekMessage(&m, 0, 0, false));
    EXPECT_EQ(m.wParam, uintptr_t{'B'});
    // B beeps, its key-up is dropped, the arrows are dropped silently; other messages stay.
    press(zo::plat::kKeyUp);
    press(zo::plat::kKeyDown);
    ASSERT_TRUE(zo::plat::postThreadMessage(zo::plat::currentThreadId(), key(0x0400, 9)));
    EXPECT_EQ(bosabort(), 0);
    EXPECT_EQ(zo::plat::beepCount() - beeps, 2u);
    ASSERT_TRUE(zo::plat::peekMessage(&m, 0, 0, true));
    EXPECT_EQ(m.message, 0x0400u);
    EXPECT_FALSE(zo::plat::peekMessage(&m, 0, 0, true));
    EXPECT_EQ(bosabort(), 0);
}

TEST(ThreadServices, SleepAndProcessId) {
    auto began = Clock::now();
    bossleep(0);
    bossleep(20);
    EXPECT_GE(Clock::now() - began, std::chrono::milliseconds(20));
    uint32_t id = 0;
    bostskid(&id);
    EXPECT_EQ(id, static_cast<uint32_t>(getpid()));
}

} // namespace
