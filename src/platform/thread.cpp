#include "platform/thread.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace zo::plat {

static_assert(sizeof(pthread_mutex_t) <= mutexStorageSize);
static_assert(alignof(pthread_mutex_t) <= 8);

uint32_t currentThreadId() {
    // The kernel's thread id is unique among live threads of the process and fits 32 bits.
    return static_cast<uint32_t>(gettid());
}

uintptr_t currentThreadHandle() { return static_cast<uintptr_t>(pthread_self()); }

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

} // namespace zo::plat
