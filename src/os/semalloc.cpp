// Making a semaphore's backing: the process's registry with its settings (made with the
// first semaphore), the choice between a platform semaphore and a spin lock, registration.
#include <zo/pertask.h>
#include <zo/zosemaph.h>

#include <atomic>
#include <climits>
#include <cstdlib>

#include "os/semint.h"
#include "platform/env.h"
#include "platform/thread.h"

namespace {

constexpr int kDefaultControl = 0;

// A setting parsed as a decimal number (blanks and a sign before the digits, anything after
// them ignored, values beyond the range of int cut to it); the default when it is absent,
// empty or does not start with a number.
int setting(const char *name, int fallback) {
    char text[64];
    if (!zo::plat::environmentValue(name, text, sizeof text))
        return fallback;
    char *end = nullptr;
    long value = std::strtol(text, &end, 10);
    if (end == text)
        return fallback;
    return value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

// The per-task slot holds null, 1 while a thread makes the registry, or the registry.
void *const kRegistryBeingMade = reinterpret_cast<void *>(uintptr_t{1});

std::atomic_ref<void *> registrySlot() {
    return std::atomic_ref<void *>(*mdsGetPerTaskDataAddress(PerTaskSemaphoreTable));
}

// Makes the registry with the settings read, then publishes it; null when out of memory
// (the slot is then free again for the next semaphore to try).
ZoSemaphoreInfo *makeRegistry() {
    auto *info = new ZoSemaphoreInfo;
    if (info != nullptr)
        info->readSettings();
    registrySlot().store(static_cast<ZoObject *>(info), std::memory_order_release);
    if (info != nullptr && (info->control() & ZoSemaphoreInfo::ShowReports) != 0)
        semReportSettings(*info);
    return info;
}

ZoSemaphoreInfo *processRegistry() {
    auto slot = registrySlot();
    void *current = slot.load(std::memory_order_acquire);
    for (unsigned round = 0; current == nullptr || current == kRegistryBeingMade;) {
        if (current == kRegistryBeingMade) {
            semBackOff(round++);
            current = slot.load(std::memory_order_acquire);
        } else if (slot.compare_exchange_weak(current, kRegistryBeingMade, std::memory_order_acquire)) {
            return makeRegistry();
        }
    }
    return static_cast<ZoSemaphoreInfo *>(static_cast<ZoObject *>(current));
}

} // namespace

void ZoSemaphoreInfo::readSettings() {
    if (settingsRead_ != 0)
        return;
    spinCount_ = setting("ZO_SPIN_COUNT", kDefaultSpinCount);
    spinSleep_ = setting("ZO_SPIN_SLEEP", kDefaultSpinSleep);
    control_ = static_cast<uint32_t>(setting("ZO_SEMCONTROL", kDefaultControl));
    budget_.store(static_cast<int>(control_ & LimitMask), std::memory_order_relaxed);
    settingsRead_ = 1;
}

bool ZoSemaphoreInfo::takePlatformSemaphore() {
    if (!limited())
        return true;
    int left = budget_.load(std::memory_order_relaxed);
    while (left > 0)
        if (budget_.compare_exchange_weak(left, left - 1, std::memory_order_relaxed))
            return true;
    return false;
}

void ZoSemaphoreInfo::givePlatformSemaphore() {
    if (limited())
        budget_.fetch_add(1, std::memory_order_relaxed);
}

void ZoSemaphore::bosSemaphoreAlloc() {
    // Without a registry (no memory for it) the semaphore still works, with the default
    // settings, but is not registered.
    info_ = processRegistry();
    const uint32_t control = info_ != nullptr ? info_->control() : 0;
    semaphore_ = nullptr;
    if ((control & ZoSemaphoreInfo::SpinLocksOnly) == 0 && (info_ == nullptr || info_->takePlatformSemaphore())) {
        semaphore_ = zo::plat::semaphoreCreate(1, kSemaphoreMaximumCount);
        if (semaphore_ == nullptr && info_ != nullptr)
            info_->givePlatformSemaphore();
    }
    if ((control & ZoSemaphoreInfo::ShowReports) != 0)
        semReportCreated(semaphore_ != nullptr);
    // A platform semaphore that could not be made leaves a spin lock.
    kind_ = semaphore_ != nullptr ? PlatformSemaphore : SpinLock;
    spinWord_ = 0;
    if (info_ != nullptr)
        (void)info_->semaphores().append(this); // unregistered, it works on; only the deletion at unload misses it
}
