// Threads and locks of the host: thread identity, recursive mutexes, the thread-exit hook,
// counting semaphores, starting and joining threads, sleeping.
#pragma once

#include <cstddef>
#include <cstdint>

#include <zo/zoexport.h>

namespace zo::plat {

// The operating-system identifier of the calling thread. Asked of the system once per
// thread and kept (a forked child asks again).
ZO_API uint32_t currentThreadId();
// A cheap identity of the calling thread, unique among live threads (no system call).
ZO_API uintptr_t currentThreadHandle();
// The identifier of the calling process.
ZO_API uint32_t currentProcessId();

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

// A wait without time limit.
constexpr uint32_t kWaitForever = 0xFFFFFFFF;

// Counting semaphores, unnamed and private to the process. The count never goes above the
// maximum: a release that would take it there is refused. Null when the semaphore cannot
// be made (no memory, or initial above maximum, or a maximum of 0).
ZO_API void *semaphoreCreate(uint32_t initial, uint32_t maximum);
ZO_API void semaphoreClose(void *semaphore);
// Takes one from the count, waiting while it is 0 for at most `milliseconds`. False when
// the time ran out.
ZO_API bool semaphoreWait(void *semaphore, uint32_t milliseconds);
// Adds one to the count, waking one waiter. False (nothing changed) at the maximum.
ZO_API bool semaphoreRelease(void *semaphore);
ZO_API uint32_t semaphoreCount(void *semaphore);

// Threads. A thread started here runs entry(argument) and holds the library loaded until
// it has been joined, so unloading never takes code from under it.
using ThreadEntry = uint32_t (*)(void *argument);
// Starts a thread; returns its handle and stores its identifier in *threadId once it runs.
// Null when the thread cannot be started.
ZO_API void *threadStart(ThreadEntry entry, void *argument, uint32_t *threadId);
// Waits at most `milliseconds` for the thread's end. True when it ended: the handle is then
// closed. False leaves the handle as it was.
ZO_API bool threadJoin(void *thread, uint32_t milliseconds);
// Gives up a thread that did not end: it runs on undisturbed to its own end, and the
// library stays loaded for the rest of the process, since the thread may still run its
// code. Closes the handle.
ZO_API void threadAbandon(void *thread);

// Sleeps; 0 gives up the rest of the time slice.
ZO_API void sleepMilliseconds(uint32_t milliseconds);
// Tells the processor that the caller spins on a memory word.
ZO_API void cpuRelax();

} // namespace zo::plat
