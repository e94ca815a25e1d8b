// The worker thread: callers hand over requests one at a time under the lock; the worker
// runs each on its own thread between the request and reply semaphores.
//
// The thread does not read the worker object to wait or to learn that it must end: it
// holds a ticket with the semaphores and its own exit request. It touches the object only
// while a caller waits for the reply, when the object is surely alive. So a thread that
// had to be given up (it did not end in time) can never reach into a destroyed object, and
// it takes the semaphores along, closing them when it ends.
#include <zo/zothread.h>

#include <atomic>
#include <cstdarg>

#include "platform/thread.h"

class ZoWorkerTicket : public ZoObject {
public:
    ZoWorkerTicket(ZoWorkerThread *owner, void *requestSemaphore, void *replySemaphore)
        : worker(owner), request(requestSemaphore), reply(replySemaphore) {}

    ZoWorkerThread *const worker;
    void *const request;
    void *const reply;
    std::atomic<int> exit{0};
    // The worker object and its thread; the last to let go deletes the ticket.
    std::atomic<int> holders{2};
    // Set when the thread was given up: it closes the semaphores at its end.
    std::atomic<int> ownsSemaphores{0};
};

namespace {

void letGo(ZoWorkerTicket *ticket) {
    if (ticket->holders.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return;
    if (ticket->ownsSemaphores.load(std::memory_order_relaxed) != 0) {
        zo::plat::semaphoreClose(ticket->request);
        zo::plat::semaphoreClose(ticket->reply);
    }
    delete ticket;
}

// A semaphore signalled by one side and awaited by the other: count 0, maximum 1.
void *makeSignal() { return zo::plat::semaphoreCreate(0, 1); }

} // namespace

ZoWorkerThread::ZoWorkerThread() {
    request_.setHandle(makeSignal());
    reply_.setHandle(makeSignal());
    if (request_.handle() == nullptr || reply_.handle() == nullptr) {
        closeSemaphores();
        state_ = Unusable;
    }
}

ZoWorkerThread::~ZoWorkerThread() {
    (void)ZoWorkerThread::terminateThread(); // always 0
    closeSemaphores();
}

void ZoWorkerThread::closeSemaphores() {
    for (ZoPosixSemaphore *semaphore : {&request_, &reply_}) {
        if (semaphore->handle() != nullptr)
            zo::plat::semaphoreClose(semaphore->handle());
        semaphore->setHandle(nullptr);
    }
}

uint32_t ZoWorkerThread::workerLoop(void *raw) {
    auto *ticket = static_cast<ZoWorkerTicket *>(raw);
    for (;;) {
        (void)zo::plat::semaphoreWait(ticket->request, zo::plat::kWaitForever); // true: no time limit
        if (ticket->exit.load(std::memory_order_acquire) != 0)
            break;
        ZoWorkerThread *worker = ticket->worker;
        worker->result_ = worker->dispatch();
        (void)zo::plat::semaphoreRelease(ticket->reply); // the caller took the last reply
    }
    letGo(ticket);
    return 0;
}

ZoStatus ZoWorkerThread::start() {
    ZoLockGuard guard(lock_);
    if (state_ == Unusable)
        return ZoFailure;
    if (state_ == Idle) {
        auto *ticket = new ZoWorkerTicket(this, request_.handle(), reply_.handle());
        if (ticket == nullptr)
            return ZoFailure;
        if (createThread(workerLoop, ticket) != ZoSuccess) {
            delete ticket;
            return ZoFailure;
        }
        ticket_ = ticket;
    }
    state_ = Started;
    return ZoSuccess;
}

void ZoWorkerThread::stop() {
    ZoLockGuard guard(lock_);
    if (state_ != Idle && state_ != Unusable)
        state_ = Stopped;
}

void ZoWorkerThread::wakeForExit() {
    if (ticket_ == nullptr)
        return;
    ticket_->exit.store(1, std::memory_order_release);
    // Under the lock no request is pending, so the count is 0 and the release goes through.
    (void)zo::plat::semaphoreRelease(ticket_->request);
}

void ZoWorkerThread::exit() {
    ZoLockGuard guard(lock_);
    if (state_ == Idle || state_ == Unusable)
        return;
    state_ = Idle;
    requestExit();
    wakeForExit();
    // The loop ends as soon as it wakes: no request runs while the lock is held.
    (void)waitForExit(); // always 0
    letGo(ticket_);
    ticket_ = nullptr;
}

ZoStatus ZoWorkerThread::terminateThread() {
    ZoLockGuard guard(lock_);
    if (!isRunning())
        return ZoSuccess;
    requestExit();
    wakeForExit();
    if (endThread()) {
        state_ = Idle;
    } else {
        ticket_->ownsSemaphores.store(1, std::memory_order_relaxed);
        request_.setHandle(nullptr);
        reply_.setHandle(nullptr);
        state_ = Unusable;
    }
    letGo(ticket_);
    ticket_ = nullptr;
    return ZoSuccess;
}

int32_t ZoWorkerThread::callWorkerThread(uint32_t function, int32_t count, ...) {
    if (count > maxArguments)
        return -1;
    ZoLockGuard guard(lock_);
    // Without a thread nobody would ever answer.
    if (!isRunning())
        return -1;
    va_list arguments;
    va_start(arguments, count);
    for (int32_t i = 0; i < count; ++i)
        args_[i] = va_arg(arguments, int32_t);
    va_end(arguments);
    result_ = 0;
    function_ = function;
    (void)zo::plat::semaphoreRelease(request_.handle());                    // count 0: the worker took the last request
    (void)zo::plat::semaphoreWait(reply_.handle(), zo::plat::kWaitForever); // true: no time limit
    return result_;
}
