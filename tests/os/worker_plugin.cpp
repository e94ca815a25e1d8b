// A module that uses the library's threads, loaded and unloaded by dlclose_worker. The
// library comes and goes with it, unless a thread it started still needs it.
#include <zo/zothread.h>

namespace {

class Doubler : public ZoWorkerThread {
protected:
    int32_t dispatch() override { return args()[0] * 2; }
};

} // namespace

// Starts a worker, has it answer, ends it (exit, then a second round ended by destruction).
// 0 when every answer was right.
extern "C" __attribute__((visibility("default"))) int runWorkers() {
    int wrong = 0;
    for (int round = 0; round < 2; ++round) {
        auto *worker = new Doubler;
        if (worker->start() != ZoSuccess)
            return 1;
        for (int32_t i = 0; i < 100; ++i)
            wrong += worker->callWorkerThread(0, 1, i) != 2 * i;
        if (round == 0)
            worker->exit();
        delete worker;
    }
    return wrong;
}

// Starts a thread at `start` (code of the caller) and terminates it; a thread that does
// not end in time is given up. 0 when the thread was started.
extern "C" __attribute__((visibility("default"))) int terminateThread(ZoThreadStart start, void *argument) {
    ZoThread thread;
    if (thread.createThread(start, argument) != ZoSuccess)
        return 1;
    (void)thread.terminateThread(); // always 0
    return 0;
}
