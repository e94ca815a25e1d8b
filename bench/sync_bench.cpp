// Locks and the worker thread beside the standard library: ZoSemaphore enter/exit (spin
// lock and platform semaphore backing) against std::mutex, alone and with 4 threads
// contending; a callWorkerThread round trip against a mutex and condition variable hand-off.
#include <zo/zosemaph.h>
#include <zo/zothread.h>

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace {

// A limit of one platform semaphore per process: the first semaphore made is backed by a
// platform semaphore, every later one by a spin lock. Set before any semaphore is made
// (the settings are read with the first one).
const bool g_oneLimit = setenv("ZO_SEMCONTROL", "1", 1) == 0;

struct Locks {
    Locks() {
        for (ZoSemaphore **var : {&platform, &spin}) {
            zoSemaphoreEnter(var);
            zoSemaphoreExit(var);
        }
        asExpected =
            g_oneLimit && platform->kind() == ZoSemaphore::PlatformSemaphore && spin->kind() == ZoSemaphore::SpinLock;
    }
    bool asExpected;
    ZoSemaphore *platform = nullptr;
    ZoSemaphore *spin = nullptr;
    std::mutex mutex;
    long counter = 0;
};

Locks &locks() {
    static Locks made;
    return made;
}

void enterExit(benchmark::State &state, ZoSemaphore **var) {
    if (!locks().asExpected) {
        state.SkipWithError("the semaphores are not backed as the settings ask");
        return;
    }
    long &counter = locks().counter;
    for (auto _ : state) {
        zoSemaphoreEnter(var);
        benchmark::DoNotOptimize(++counter);
        zoSemaphoreExit(var);
    }
}

void BM_SemaphoreSpin(benchmark::State &state) { enterExit(state, &locks().spin); }
void BM_SemaphorePlatform(benchmark::State &state) { enterExit(state, &locks().platform); }
void BM_StdMutex(benchmark::State &state) {
    Locks &l = locks();
    for (auto _ : state) {
        l.mutex.lock();
        benchmark::DoNotOptimize(++l.counter);
        l.mutex.unlock();
    }
}

BENCHMARK(BM_SemaphoreSpin);
BENCHMARK(BM_SemaphorePlatform);
BENCHMARK(BM_StdMutex);
BENCHMARK(BM_SemaphoreSpin)->Threads(4)->UseRealTime();
BENCHMARK(BM_SemaphorePlatform)->Threads(4)->UseRealTime();
BENCHMARK(BM_StdMutex)->Threads(4)->UseRealTime();

// The worker: doubles its argument.
class Doubler : public ZoWorkerThread {
public:
    ~Doubler() override { exit(); }

protected:
    int32_t dispatch() override { return args()[0] * 2; }
};

// The same service written the obvious way: a thread waiting on a condition variable for
// a request, callers serialised by a mutex of their own.
class HandOff {
public:
    HandOff() : thread_([this] { serve(); }) {}
    ~HandOff() {
        {
            std::lock_guard<std::mutex> guard(mutex_);
            stop_ = true;
        }
        requested_.notify_one();
        thread_.join();
    }
    int32_t call(int32_t argument) {
        std::lock_guard<std::mutex> caller(callers_);
        std::unique_lock<std::mutex> lock(mutex_);
        argument_ = argument;
        hasRequest_ = true;
        requested_.notify_one();
        answered_.wait(lock, [this] { return hasReply_; });
        hasReply_ = false;
        return result_;
    }

private:
    void serve() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            requested_.wait(lock, [this] { return hasRequest_ || stop_; });
            if (stop_)
                return;
            hasRequest_ = false;
            result_ = argument_ * 2;
            hasReply_ = true;
            answered_.notify_one();
        }
    }

    std::mutex callers_, mutex_;
    std::condition_variable requested_, answered_;
    bool hasRequest_ = false, hasReply_ = false, stop_ = false;
    int32_t argument_ = 0, result_ = 0;
    std::thread thread_;
};

void BM_CallWorkerThread(benchmark::State &state) {
    Doubler worker;
    if (worker.start() != ZoSuccess) {
        state.SkipWithError("the worker could not start");
        return;
    }
    int32_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(worker.callWorkerThread(0, 1, ++i));
}

void BM_ConditionVariableHandOff(benchmark::State &state) {
    HandOff handOff;
    int32_t i = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(handOff.call(++i));
}

BENCHMARK(BM_CallWorkerThread)->UseRealTime();
BENCHMARK(BM_ConditionVariableHandOff)->UseRealTime();

} // namespace
