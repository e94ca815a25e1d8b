// Internal: what the semaphore sources share.
#pragma once

#include <cstdint>

#include <zo/zosemaph.h>

// Maximum count of a platform semaphore backing a ZoSemaphore.
constexpr uint32_t kSemaphoreMaximumCount = 25;

// Waits for another thread to finish a short step (making a semaphore or the registry):
// spins first, then gives up the time slice, then sleeps, the longer the rounds go on.
void semBackOff(unsigned round);

// The message boxes shown with the control bit ShowReports.
void semReportSettings(const ZoSemaphoreInfo &info);
void semReportCreated(bool platform);
void semReportDestroyed(bool platform);

// Settings without a registry (none could be allocated).
constexpr int kDefaultSpinCount = 25;
constexpr int kDefaultSpinSleep = 0;

// Attempts per spin pass and milliseconds between passes, as the settings ask (an attempt
// count below 1 is taken as 1, a negative sleep as 0).
inline int semSpinAttempts(const ZoSemaphoreInfo *info) {
    int count = info != nullptr ? info->spinCount() : kDefaultSpinCount;
    return count < 1 ? 1 : count;
}

inline int semSpinSleep(const ZoSemaphoreInfo *info) {
    int sleep = info != nullptr ? info->spinSleep() : kDefaultSpinSleep;
    return sleep < 0 ? 0 : sleep;
}
