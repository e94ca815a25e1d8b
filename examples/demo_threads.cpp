// Locks and the worker thread, as a driver uses them.
#include <zo/zo.h>

#include <cstdio>
#include <thread>
#include <vector>

#include "demo.h"

namespace {

// Work that must always run on one thread (here: an addition).
class SameThread : public ZoWorkerThread {
public:
    ~SameThread() override { exit(); }

protected:
    int32_t dispatch() override { return args()[0] + args()[1]; }
};

} // namespace

void showThreads() {
    std::puts("== locks and the worker thread");
    // The lock is made by the first thread that enters; its variable starts at 0.
    static ZoSemaphore *lock = nullptr;
    long total = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                zoSemaphoreEnter(&lock);
                ++total;
                zoSemaphoreExit(&lock);
            }
        });
    for (auto &thread : threads)
        thread.join();
    std::printf("4 threads x 10000 entries: total %ld, lock backed by %s\n", total,
                lock->kind() == ZoSemaphore::PlatformSemaphore ? "a platform semaphore" : "a spin lock");

    SameThread worker;
    if (worker.start() != ZoSuccess) {
        std::puts("the worker could not start");
        return;
    }
    std::printf("the worker adds 20 and 22 on its own thread: %d\n", worker.callWorkerThread(1, 2, 20, 22));
    std::printf("a call with 33 arguments is refused: %d\n", worker.callWorkerThread(1, 33));
    worker.exit();
    std::printf("after exit the worker is idle (state %d)\n", worker.state());
}
