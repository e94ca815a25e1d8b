// Threads and locks of the host: thread identity, recursive mutexes, the thread-exit hook.
#pragma once

#include <cstddef>
#include <cstdint>

#include <zo/zoexport.h>

namespace zo::plat {

// The operating-system identifier of the calling thread (a system call).
ZO_API uint32_t currentThreadId();
// A cheap identity of the calling thread, unique among live threads (no system call).
ZO_API uintptr_t currentThreadHandle();

// A recursive mutex kept in caller-provided storage of at least mutexStorageSize bytes,
// aligned to 8.
constexpr std::size_t mutexStorageSize = 48;
ZO_API void mutexInit(void *storage);
ZO_API void mutexDestroy(void *storage);
ZO_API void mutexLock(void *storage);
ZO_API void mutexUnlock(void *storage);

// The thread-exit hook: `onExit(value)` runs when a thread that set a non-null value ends.
// The value is the thread's own and can be read back cheaply; after the hook is deleted (at
// unload) it reads null and the hook never runs again.
ZO_API bool threadExitHookCreate(void (*onExit)(void *value));
ZO_API void threadExitHookSet(void *value);
ZO_API void *threadExitHookGet();
ZO_API void threadExitHookDelete();

} // namespace zo::plat
