#include "platform/thread.h"

#include "platform/memory.h"

#include <dlfcn.h>
#include <errno.h>
#include <linux/futex.h>
#include <pthread.h>
#include <sched.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <bit>
#include <new>

namespace zo::plat {

static_assert(sizeof(pthread_mutex_t) <= mutexStorageSize);
static_assert(alignof(pthread_mutex_t) <= 8);

namespace {

// The calling thread's id, asked of the kernel once. Trivially destructible, so nothing of
// the library runs for it when a thread ends. A forked child's only thread asks again.
// Initial-exec: every lock taken reads it, and this makes the read two loads instead of a
// call into the loader (4 bytes of the static TLS kept for loaded libraries).
[[gnu::tls_model("initial-exec")]] thread_local uint32_t t_threadId = 0;

void forgetThreadId() { t_threadId = 0; }

// Out of line, so that reading the kept id is a leaf. The kernel's thread id is unique
// among live threads of the process and fits 32 bits.
[[gnu::noinline]] uint32_t askThreadId() {
    t_threadId = static_cast<uint32_t>(gettid());
    return t_threadId;
}

// Registered with the library's own module handle: unloading the library removes it.
[[maybe_unused]] const int g_forkHandler = pthread_atfork(nullptr, nullptr, forgetThreadId);

} // namespace

uint32_t currentThreadId() {
    uint32_t id = t_threadId;
    return id != 0 ? id : askThreadId();
}

uintptr_t currentThreadHandle() { return static_cast<uintptr_t>(pthread_self()); }

uint32_t currentProcessId() { return static_cast<uint32_t>(getpid()); }

void mutexInit(void *storage) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(static_cast<pthread_mutex_t *>(storage), &attr);
    pthread_mutexattr_destroy(&attr);
}

void mutexDestroy(void *storage) { pthread_mutex_destroy(static_cast<pthread_mutex_t *>(storage)); }

void mutexLock(void *storage) { pthread_mutex_lock(static_cast<pthread_mutex_t *>(storage)); }

void mutexUnlock(void *storage) { pthread_mutex_unlock(static_cast<pthread_mutex_t *>(storage)); }

namespace {
pthread_key_t g_exitKey;
bool g_exitKeyValid = false;
} // namespace

bool threadExitHookCreate(void (*onExit)(void *value)) {
    if (g_exitKeyValid)
        return true;
    g_exitKeyValid = pthread_key_create(&g_exitKey, onExit) == 0;
    return g_exitKeyValid;
}

void threadExitHookSet(void *value) {
    if (g_exitKeyValid)
        pthread_setspecific(g_exitKey, value);
}

void *threadExitHookGet() { return g_exitKeyValid ? pthread_getspecific(g_exitKey) : nullptr; }

void threadExitHookDelete() {
    if (g_exitKeyValid) {
        pthread_key_delete(g_exitKey);
        g_exitKeyValid = false;
    }
}

// Counting semaphores on a futex. One 64-bit word holds the count (low half, which is the
// futex word) and the number of sleeping waiters (high half), so a release learns from its
// own atomic step whether anyone sleeps, and touches no memory of the semaphore after it:
// the semaphore may be closed as soon as the count it released has been taken.
namespace {

static_assert(std::endian::native == std::endian::little, "the count is the low half of the word");

struct Semaphore {
    std::atomic<uint64_t> word;
    uint32_t maximum;
};

constexpr uint64_t kOneWaiter = uint64_t{1} << 32;

uint32_t countOf(uint64_t word) { return static_cast<uint32_t>(word); }

// Short waits are common (a lock held for a few instructions, a worker answering at once):
// a few rounds of spinning spare the two system calls of sleeping and waking.
constexpr int kSpinsBeforeSleeping = 64;

bool tryTake(Semaphore *s) {
    uint64_t word = s->word.load(std::memory_order_relaxed);
    while (countOf(word) > 0)
        if (s->word.compare_exchange_weak(word, word - 1, std::memory_order_acquire, std::memory_order_relaxed))
            return true;
    return false;
}

uint32_t *futexWord(Semaphore *s) { return reinterpret_cast<uint32_t *>(&s->word); }

timespec monotonicNow() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

timespec addMilliseconds(timespec at, uint32_t milliseconds) {
    at.tv_sec += milliseconds / 1000;
    at.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (at.tv_nsec >= 1000000000L) {
        at.tv_nsec -= 1000000000L;
        ++at.tv_sec;
    }
    return at;
}

// Time left until the deadline; false when it has passed.
bool timeLeft(const timespec &deadline, timespec *left) {
    timespec now = monotonicNow();
    left->tv_sec = deadline.tv_sec - now.tv_sec;
    left->tv_nsec = deadline.tv_nsec - now.tv_nsec;
    if (left->tv_nsec < 0) {
        left->tv_nsec += 1000000000L;
        --left->tv_sec;
    }
    return left->tv_sec > 0 || (left->tv_sec == 0 && left->tv_nsec > 0);
}

// Announces the caller as a waiter and sleeps while the count is 0 (the kernel checks the
// word again before it puts the caller to sleep), for at most `timeout` (null: no limit).
void sleepWhileEmpty(Semaphore *s, const timespec *timeout) {
    uint64_t before = s->word.fetch_add(kOneWaiter, std::memory_order_relaxed);
    if (countOf(before) == 0)
        syscall(SYS_futex, futexWord(s), FUTEX_WAIT_PRIVATE, 0u, timeout, nullptr, 0);
    s->word.fetch_sub(kOneWaiter, std::memory_order_relaxed);
}

} // namespace

void *semaphoreCreate(uint32_t initial, uint32_t maximum) {
    if (maximum == 0 || initial > maximum)
        return nullptr;
    auto *s = static_cast<Semaphore *>(heapAlloc(sizeof(Semaphore), false));
    if (s == nullptr)
        return nullptr;
    new (&s->word) std::atomic<uint64_t>(initial);
    s->maximum = maximum;
    return s;
}

void semaphoreClose(void *semaphore) { heapFree(semaphore); }

bool semaphoreWait(void *semaphore, uint32_t milliseconds) {
    auto *s = static_cast<Semaphore *>(semaphore);
    for (int spin = 0; spin < kSpinsBeforeSleeping; ++spin) {
        if (tryTake(s))
            return true;
        cpuRelax();
    }
    const bool forever = milliseconds == kWaitForever;
    const timespec deadline = forever ? timespec{} : addMilliseconds(monotonicNow(), milliseconds);
    for (;;) {
        if (tryTake(s))
            return true;
        timespec left;
        if (!forever && !timeLeft(deadline, &left))
            return false;
        sleepWhileEmpty(s, forever ? nullptr : &left);
    }
}

bool semaphoreRelease(void *semaphore) {
    auto *s = static_cast<Semaphore *>(semaphore);
    const uint32_t maximum = s->maximum;
    uint64_t word = s->word.load(std::memory_order_relaxed);
    do {
        if (countOf(word) >= maximum)
            return false;
    } while (!s->word.compare_exchange_weak(word, word + 1, std::memory_order_release, std::memory_order_relaxed));
    // Only the address is passed on from here: waking needs no access to the semaphore.
    if ((word >> 32) != 0)
        syscall(SYS_futex, futexWord(s), FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
    return true;
}

uint32_t semaphoreCount(void *semaphore) {
    return countOf(static_cast<Semaphore *>(semaphore)->word.load(std::memory_order_relaxed));
}

// Threads. The creator waits until the new thread has taken its entry and argument and
// published its id; the thread's last access to the start block is that store, so the
// block can live on the creator's stack.
namespace {

struct StartBlock {
    ThreadEntry entry;
    void *argument;
    std::atomic<uint32_t> threadId;
};

struct ThreadHandle {
    pthread_t thread;
    // The reference that keeps the library loaded while the thread may run its code.
    void *library;
};

void *runThread(void *raw) {
    auto *block = static_cast<StartBlock *>(raw);
    ThreadEntry entry = block->entry;
    void *argument = block->argument;
    block->threadId.store(currentThreadId(), std::memory_order_release);
    // Waking passes only the address; the block may already be gone.
    syscall(SYS_futex, &block->threadId, FUTEX_WAKE_PRIVATE, 1, nullptr, nullptr, 0);
    (void)entry(argument); // the exit code is not collected
    return nullptr;
}

uint32_t waitForThreadId(StartBlock *block) {
    uint32_t id;
    while ((id = block->threadId.load(std::memory_order_acquire)) == 0)
        syscall(SYS_futex, &block->threadId, FUTEX_WAIT_PRIVATE, 0u, nullptr, nullptr, 0);
    return id;
}

// A reference on the module holding this code (the library), or null when there is none.
void *holdLibrary() {
    Dl_info info;
    if (dladdr(reinterpret_cast<const void *>(&runThread), &info) == 0 || info.dli_fname == nullptr)
        return nullptr;
    return dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
}

} // namespace

void *threadStart(ThreadEntry entry, void *argument, uint32_t *threadId) {
    auto *handle = static_cast<ThreadHandle *>(heapAlloc(sizeof(ThreadHandle), true));
    if (handle == nullptr)
        return nullptr;
    StartBlock block{entry, argument, {0}};
    handle->library = holdLibrary();
    if (pthread_create(&handle->thread, nullptr, runThread, &block) != 0) {
        if (handle->library != nullptr)
            dlclose(handle->library);
        heapFree(handle);
        return nullptr;
    }
    uint32_t id = waitForThreadId(&block);
    if (threadId != nullptr)
        *threadId = id;
    return handle;
}

bool threadJoin(void *thread, uint32_t milliseconds) {
    auto *handle = static_cast<ThreadHandle *>(thread);
    if (milliseconds == kWaitForever) {
        pthread_join(handle->thread, nullptr);
    } else {
        timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        const timespec until = addMilliseconds(now, milliseconds);
        if (pthread_timedjoin_np(handle->thread, nullptr, &until) != 0)
            return false;
    }
    // The thread is gone: nothing of it runs any more, so the library may go.
    if (handle->library != nullptr)
        dlclose(handle->library);
    heapFree(handle);
    return true;
}

void threadAbandon(void *thread) {
    auto *handle = static_cast<ThreadHandle *>(thread);
    pthread_detach(handle->thread);
    // handle->library is kept for good: the thread may run the library's code at any time.
    heapFree(handle);
}

void sleepMilliseconds(uint32_t milliseconds) {
    if (milliseconds == 0) {
        sched_yield();
        return;
    }
    timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

void cpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#endif
}

} // namespace zo::plat
