// Per-thread records: a process-wide list that only ever grows while the library is
// loaded. Lookup of an existing record is lock-free; creation and reuse happen under the
// thread-list lock. A released record (its thread has ended) is reused, cleared, by the
// next thread that needs one.
#include <zo/pertask.h>
#include <zo/zocritse.h>
#include <zo/zoobject.h>

#include <atomic>

#include "frame/libstate.h"
#include "platform/codepage.h"
#include "platform/thread.h"
#include "platform/window.h"

namespace {

class ThreadDataRecord : public ZoObject {
public:
    ThreadDataRecord(uint32_t owner, uintptr_t handle) : threadId(owner), ownerHandle(handle) {}

    std::atomic<ThreadDataRecord *> next{nullptr};
    // Written only while the record is released (or before it is linked).
    std::atomic<uint32_t> threadId;
    // The owner's cheap identity, checked on the fast path instead of asking the system.
    std::atomic<uintptr_t> ownerHandle;
    // Touched only by the owning thread, or under the list lock while released.
    void *slots[PerThreadSlotCount] = {};
    std::atomic<uint32_t> released{0};
};

// The list head lives in the per-task slot PerTaskThreadList.
std::atomic_ref<void *> headSlot() { return std::atomic_ref<void *>(mdsPerTaskRecord().slots[PerTaskThreadList]); }

ThreadDataRecord *listHead() { return static_cast<ThreadDataRecord *>(headSlot().load(std::memory_order_acquire)); }

bool ownedBy(const ThreadDataRecord *record, uint32_t threadId) {
    return record->released.load(std::memory_order_acquire) == 0 &&
           record->threadId.load(std::memory_order_relaxed) == threadId;
}

ThreadDataRecord *findRecord(uint32_t threadId) {
    for (ThreadDataRecord *r = listHead(); r != nullptr; r = r->next.load(std::memory_order_acquire))
        if (ownedBy(r, threadId))
            return r;
    return nullptr;
}

// A thread that ends takes its message queue with it.
void onThreadExit(void *) {
    threadListDetachThread();
    zo::plat::discardThreadQueue();
}

// The thread-exit hook's value doubles as the thread's cached record: it is the thread's
// own, costs no system call to read, and reads null once the list is gone.
void remember(ThreadDataRecord *record) { zo::plat::threadExitHookSet(record); }

ThreadDataRecord *rememberedRecord() {
    auto *record = static_cast<ThreadDataRecord *>(zo::plat::threadExitHookGet());
    if (record != nullptr && record->released.load(std::memory_order_acquire) == 0 &&
        record->ownerHandle.load(std::memory_order_relaxed) == zo::plat::currentThreadHandle())
        return record;
    return nullptr;
}

// Under the list lock: reuse the first released record, or append a new one at the tail.
ThreadDataRecord *claimRecord(uint32_t threadId) {
    ZoLockGuard guard(zoStaticCriticalSection(ZoStaticLock::ThreadList));
    ThreadDataRecord *last = nullptr;
    for (ThreadDataRecord *r = listHead(); r != nullptr; r = r->next.load(std::memory_order_acquire)) {
        if (r->released.load(std::memory_order_acquire) != 0) {
            for (void *&slot : r->slots)
                slot = nullptr;
            r->threadId.store(threadId, std::memory_order_relaxed);
            r->ownerHandle.store(zo::plat::currentThreadHandle(), std::memory_order_relaxed);
            r->released.store(0, std::memory_order_release);
            return r;
        }
        last = r;
    }
    auto *record = new ThreadDataRecord(threadId, zo::plat::currentThreadHandle());
    if (record == nullptr)
        return nullptr;
    if (last == nullptr)
        headSlot().store(record, std::memory_order_release);
    else
        last->next.store(record, std::memory_order_release);
    return record;
}

// The calling thread's record, made when it has none; null before attach, after detach,
// or when no memory is left.
ThreadDataRecord *callerRecord() {
    if (ThreadDataRecord *record = rememberedRecord())
        return record;
    if (listHead() == nullptr)
        return nullptr;
    uint32_t threadId = zo::plat::currentThreadId();
    ThreadDataRecord *record = findRecord(threadId);
    if (record == nullptr)
        record = claimRecord(threadId);
    if (record != nullptr)
        remember(record);
    return record;
}

bool validSlot(PerThreadData slot) { return slot >= 0 && slot < PerThreadSlotCount; }

} // namespace

bool threadListAttachProcess() {
    if (!zo::plat::threadExitHookCreate(onThreadExit))
        return false;
    auto *first = new ThreadDataRecord(zo::plat::currentThreadId(), zo::plat::currentThreadHandle());
    if (first == nullptr) {
        zo::plat::threadExitHookDelete();
        return false;
    }
    headSlot().store(first, std::memory_order_release);
    remember(first);
    return true;
}

void threadListDetachProcess() {
    // The hook goes first: no thread-exit callback may run once the records are gone.
    zo::plat::threadExitHookDelete();
    ThreadDataRecord *record = listHead();
    headSlot().store(nullptr, std::memory_order_release);
    while (record != nullptr) {
        ThreadDataRecord *next = record->next.load(std::memory_order_relaxed);
        delete record;
        record = next;
    }
}

uint32_t mdsThreadRecordCount() {
    uint32_t count = 0;
    for (ThreadDataRecord *r = listHead(); r != nullptr; r = r->next.load(std::memory_order_acquire))
        ++count;
    return count;
}

bool threadListAttachThread() { return callerRecord() != nullptr || listHead() == nullptr; }

void threadListDetachThread() {
    if (ThreadDataRecord *record = findRecord(zo::plat::currentThreadId()))
        record->released.store(1, std::memory_order_release);
}

void *mdsGetPerThreadData(PerThreadData slot) {
    if (!validSlot(slot))
        return nullptr;
    ThreadDataRecord *record = callerRecord();
    return record != nullptr ? record->slots[slot] : nullptr;
}

void **mdsGetPerThreadDataAddress(PerThreadData slot) {
    if (!validSlot(slot))
        return nullptr;
    ThreadDataRecord *record = callerRecord();
    return record != nullptr ? &record->slots[slot] : nullptr;
}

void mdsSetPerThreadData(PerThreadData slot, const void *value) {
    if (!validSlot(slot))
        return;
    if (ThreadDataRecord *record = callerRecord())
        record->slots[slot] = const_cast<void *>(value);
}

const unsigned char *mdsCharLengthTable() {
    auto *mode = static_cast<const uint32_t *>(mdsGetPerThreadData(PerThreadCharMode));
    return mode != nullptr && *mode == ZoCharModeUtf8 ? zo::plat::utf8CharLengths() : zo::plat::ansiCharLengths();
}

const unsigned char *mdsLeadByteLengthTable() { return zo::plat::ansiCharLengths(); }

unsigned mdsCharLength(unsigned char b) { return mdsCharLengthTable()[b]; }
