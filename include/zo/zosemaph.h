// Lazily created locks kept in a caller's pointer variable, each backed by a platform
// semaphore or by a spin lock on a memory word, and the per-process registry that owns
// their settings and destroys the remaining ones when the library leaves the process.
#pragma once

#include <atomic>
#include <cstdint>

#include <zo/zoarray.h>
#include <zo/zoobject.h>

class ZoSemaphore;
class ZoSemaphoreInfo;

// Creates the semaphore on first use (the variable goes 0 or 2 -> 1 -> semaphore), then
// acquires it. A thread that finds the semaphore being made by another waits until it is
// there. When no semaphore can be allocated the variable keeps its value and the caller
// runs unlocked.
ZO_API void zoSemaphoreEnter(ZoSemaphore **var);
// Releases the semaphore; does nothing when the variable holds 0, 1 or 2.
ZO_API void zoSemaphoreExit(ZoSemaphore **var);

// A lock that zoSemaphoreEnter makes on first use and keeps in the caller's pointer
// variable. The variable holds 0 (no semaphore yet), 1 (being made), 2 (its semaphore was
// destroyed) or the semaphore. The lock is not re-entrant.
class ZO_API ZoSemaphore : public ZoObject {
public:
    // Backing of a semaphore.
    enum : int { SpinLock = 0, PlatformSemaphore = 1 };

    // Records `var` as the owner variable only when it is given and `previous` is 2 (the
    // destructor then stores 2 there again), and makes the backing (bosSemaphoreAlloc).
    ZoSemaphore(ZoSemaphore **var, ZoSemaphore *previous);
    // Destroys the backing (bosSemaphoreFree) and tells the owner variable, if recorded.
    ~ZoSemaphore() override;
    ZoSemaphore(const ZoSemaphore &) = delete;
    ZoSemaphore &operator=(const ZoSemaphore &) = delete;

    // Chooses and makes the backing by the process's settings and registers the
    // semaphore; used by construction.
    void bosSemaphoreAlloc();
    // Reports, closes the backing and unregisters the semaphore; used by destruction.
    void bosSemaphoreFree();
    // Takes the spin word, passes of attempts separated by sleeps, without end.
    void bosSpinLock();

    int kind() const { return kind_; }
    // Identifier of the thread holding the lock, 0 when free.
    uint32_t owner() const { return owner_.load(std::memory_order_relaxed); }
    // The platform semaphore (null for a spin lock).
    void *platformSemaphore() const { return semaphore_; }
    ZoSemaphore **ownerVariable() const { return ownerVariable_; }
    ZoSemaphoreInfo *info() const { return info_; }

private:
    friend void zoSemaphoreEnter(ZoSemaphore **var);
    friend void zoSemaphoreExit(ZoSemaphore **var);
    void acquire();
    void release();

    std::atomic<uint32_t> owner_{0};
    int kind_ = SpinLock;
    void *semaphore_ = nullptr;
    uint32_t spinWord_ = 0;
    ZoSemaphore **ownerVariable_ = nullptr;
    ZoSemaphoreInfo *info_ = nullptr;
};

// An array whose every operation holds its 32-bit lock word, taken by spinning (never
// sleeping) and held for that one operation only.
class ZO_API SemArray : public ZoArray {
public:
    ZoStatus addAtIndex(const ZoObject *element, uint16_t index);
    // Appends at the end (the count read under the same hold).
    ZoStatus append(const ZoObject *element);
    void deleteContents();
    void deleteAtIndex(uint16_t index);
    void removeAtIndex(uint16_t index);
    // Unlinks the first element that is this very object; false when there is none.
    bool removeElement(const ZoObject *element);
    // Unlinks and returns the last element; null when empty.
    ZoObject *removeLast();
    uint32_t getCount();
    ZoObject *getAt(uint16_t index);

protected:
    void GetSemaphore();
    void FreeSemaphore();

private:
    uint32_t lockWord_ = 0;
};

// The process's settings of the semaphores and the registry of every live semaphore, in
// creation order. One per process, in the per-task slot PerTaskSemaphoreTable; deleting it
// (at process detach) deletes the semaphores still registered, last first.
class ZO_API ZoSemaphoreInfo : public ZoObject {
public:
    // Bits of the control word (ZO_SEMCONTROL); its low byte caps the platform semaphores.
    enum : uint32_t { LimitMask = 0xFF, ShowReports = 0x10000, SpinLocksOnly = 0x80000 };

    ZoSemaphoreInfo() = default;
    ~ZoSemaphoreInfo() override;
    ZoSemaphoreInfo(const ZoSemaphoreInfo &) = delete;
    ZoSemaphoreInfo &operator=(const ZoSemaphoreInfo &) = delete;

    // Reads ZO_SPIN_COUNT, ZO_SPIN_SLEEP and ZO_SEMCONTROL, once.
    void readSettings();
    // Takes one platform semaphore from the budget: true when one may be made.
    bool takePlatformSemaphore();
    // Gives back one that was taken (closed, or never made).
    void givePlatformSemaphore();

    int spinSleep() const { return spinSleep_; }
    int spinCount() const { return spinCount_; }
    int budget() const { return budget_.load(std::memory_order_relaxed); }
    uint32_t control() const { return control_; }
    bool settingsRead() const { return settingsRead_ != 0; }
    bool limited() const { return (control_ & LimitMask) != 0; }
    SemArray &semaphores() { return semaphores_; }

private:
    int spinSleep_ = 0;
    int spinCount_ = 0;
    std::atomic<int> budget_{0};
    uint32_t control_ = 0;
    int settingsRead_ = 0;
    SemArray semaphores_;
};

// Holds one platform semaphore handle that its owner creates, uses and closes; making and
// destroying the holder leave the handle alone.
class ZO_API ZoPosixSemaphore : public ZoObject {
public:
    void *handle() const { return handle_; }
    void setHandle(void *handle) { handle_ = handle; }

private:
    void *handle_ = nullptr;
};
