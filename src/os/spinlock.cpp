// Spin locks on a memory word: the lock of a semaphore without a platform semaphore, and
// the lock word of the registry's array.
#include <zo/zosemaph.h>

#include <atomic>

#include "os/semint.h"
#include "platform/thread.h"

void ZoSemaphore::bosSpinLock() {
    const int attempts = semSpinAttempts(info_);
    const int sleep = semSpinSleep(info_);
    std::atomic_ref<uint32_t> word(spinWord_);
    for (;;) {
        for (int attempt = 0; attempt < attempts; ++attempt) {
            // Looking before exchanging keeps a held word's cache line shared among spinners.
            if (word.load(std::memory_order_relaxed) == 0 && bosMemLock(&spinWord_) != 0) {
                owner_.store(zo::plat::currentThreadId(), std::memory_order_relaxed);
                return;
            }
            zo::plat::cpuRelax();
        }
        zo::plat::sleepMilliseconds(static_cast<uint32_t>(sleep));
    }
}

void SemArray::GetSemaphore() {
    // Held for one array operation only: spin, and give up the time slice now and then in
    // case the holder was preempted.
    for (unsigned tries = 0; bosMemLock(&lockWord_) == 0; ++tries) {
        if (tries % 64 == 63)
            zo::plat::sleepMilliseconds(0);
        else
            zo::plat::cpuRelax();
    }
}

void SemArray::FreeSemaphore() { bosMemUnLock(&lockWord_); }

// Indexes are checked under the lock word: another thread may have changed the count since
// the caller last looked. An index out of range fails (1) or does nothing.
ZoStatus SemArray::addAtIndex(const ZoObject *element, uint16_t index) {
    GetSemaphore();
    ZoStatus status = index <= ZoArray::getCount() ? ZoArray::addAtIndex(element, index) : ZoFailure;
    FreeSemaphore();
    return status;
}

ZoStatus SemArray::append(const ZoObject *element) {
    GetSemaphore();
    ZoStatus status = ZoArray::append(element);
    FreeSemaphore();
    return status;
}

// Deleting takes the element out under the lock word and destroys it after: a semaphore's
// destructor unregisters itself, which takes the lock word again.
void SemArray::deleteContents() {
    while (ZoObject *last = removeLast())
        delete last;
}

void SemArray::deleteAtIndex(uint16_t index) {
    GetSemaphore();
    ZoObject *element = nullptr;
    if (index < ZoArray::getCount()) {
        element = ZoArray::getAt(index);
        ZoArray::removeAtIndex(index);
    }
    FreeSemaphore();
    delete element;
}

void SemArray::removeAtIndex(uint16_t index) {
    GetSemaphore();
    if (index < ZoArray::getCount())
        ZoArray::removeAtIndex(index);
    FreeSemaphore();
}

bool SemArray::removeElement(const ZoObject *element) {
    GetSemaphore();
    bool found = false;
    for (uint32_t i = 0; !found && i < ZoArray::getCount(); ++i) {
        if (ZoArray::getAt(i) == element) {
            ZoArray::removeAtIndex(i);
            found = true;
        }
    }
    FreeSemaphore();
    return found;
}

ZoObject *SemArray::removeLast() {
    GetSemaphore();
    ZoObject *last = nullptr;
    if (uint32_t count = ZoArray::getCount(); count > 0) {
        last = ZoArray::getAt(count - 1);
        ZoArray::removeAtIndex(count - 1);
    }
    FreeSemaphore();
    return last;
}

uint32_t SemArray::getCount() {
    GetSemaphore();
    uint32_t count = ZoArray::getCount();
    FreeSemaphore();
    return count;
}

ZoObject *SemArray::getAt(uint16_t index) {
    GetSemaphore();
    ZoObject *element = index < ZoArray::getCount() ? ZoArray::getAt(index) : nullptr;
    FreeSemaphore();
    return element;
}
