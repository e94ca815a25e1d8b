// Semaphores kept in a caller's pointer variable: entering (with lazy creation) and
// leaving, the per-process registry's end, and the reports of the control bit ShowReports.
//
// The variable is read and written atomically. Its values 0, 1 and 2 mean no semaphore,
// being made and destroyed. Exactly one thread turns 0 or 2 into 1 (a compare-exchange),
// makes the semaphore and stores it; a thread that finds 1 waits until the value changes,
// so no caller ever runs unlocked while another holds the new semaphore.
#include <zo/zosemaph.h>

#include <atomic>
#include <cstdio>

#include "frame/err.h"
#include "os/semint.h"
#include "platform/thread.h"
#include "platform/window.h"

namespace {

ZoSemaphore *const kBeingMade = reinterpret_cast<ZoSemaphore *>(uintptr_t{1});
ZoSemaphore *const kDestroyed = reinterpret_cast<ZoSemaphore *>(uintptr_t{2});

bool isSemaphore(const ZoSemaphore *value) { return reinterpret_cast<uintptr_t>(value) > 2; }

std::atomic_ref<ZoSemaphore *> variable(ZoSemaphore **var) { return std::atomic_ref<ZoSemaphore *>(*var); }

// Makes the semaphore for a variable this thread has just set to 1 from `previous`, and
// stores it; when it cannot be allocated the variable gets `previous` back.
ZoSemaphore *makeFor(ZoSemaphore **var, ZoSemaphore *previous) {
    auto *made = new ZoSemaphore(var, previous);
    variable(var).store(made != nullptr ? made : previous, std::memory_order_release);
    return made;
}

// The variable's semaphore, made here when it has none; null when it cannot be made. Out of
// line: entering an existing semaphore stays a short leaf path.
[[gnu::noinline]] ZoSemaphore *semaphoreOf(ZoSemaphore **var) {
    auto slot = variable(var);
    ZoSemaphore *current = slot.load(std::memory_order_acquire);
    for (unsigned round = 0; !isSemaphore(current);) {
        if (current == kBeingMade) {
            semBackOff(round++);
            current = slot.load(std::memory_order_acquire);
        } else if (slot.compare_exchange_weak(current, kBeingMade, std::memory_order_acquire)) {
            return makeFor(var, current);
        }
    }
    return current;
}

} // namespace

void zoSemaphoreEnter(ZoSemaphore **var) {
    ZoSemaphore *semaphore = variable(var).load(std::memory_order_acquire);
    if (!isSemaphore(semaphore) && (semaphore = semaphoreOf(var)) == nullptr)
        return;
    semaphore->acquire();
}

void zoSemaphoreExit(ZoSemaphore **var) {
    ZoSemaphore *current = variable(var).load(std::memory_order_acquire);
    if (isSemaphore(current))
        current->release();
}

ZoSemaphore::ZoSemaphore(ZoSemaphore **var, ZoSemaphore *previous)
    : ownerVariable_(var != nullptr && previous == kDestroyed ? var : nullptr) {
    bosSemaphoreAlloc();
}

ZoSemaphore::~ZoSemaphore() {
    bosSemaphoreFree();
    if (ownerVariable_ != nullptr)
        variable(ownerVariable_).store(kDestroyed, std::memory_order_release);
}

// The first attempt on a free spin word is made here, so an uncontended entry costs one
// exchange; bosSpinLock makes the passes when the word is held.
void ZoSemaphore::acquire() {
    if (kind_ == PlatformSemaphore)
        (void)zo::plat::semaphoreWait(semaphore_, zo::plat::kWaitForever); // true: no time limit
    else if (std::atomic_ref<uint32_t>(spinWord_).exchange(1, std::memory_order_acquire) != 0)
        return bosSpinLock();
    owner_.store(zo::plat::currentThreadId(), std::memory_order_relaxed);
}

void ZoSemaphore::release() {
    owner_.store(0, std::memory_order_relaxed);
    if (kind_ == PlatformSemaphore)
        (void)zo::plat::semaphoreRelease(semaphore_); // refused only above the maximum: nothing to undo
    else
        std::atomic_ref<uint32_t>(spinWord_).store(0, std::memory_order_release);
}

// Last first; each semaphore is unlinked before it is deleted, so its own unregistering
// finds nothing and none can be missed or deleted twice.
ZoSemaphoreInfo::~ZoSemaphoreInfo() { semaphores_.deleteContents(); }

void semBackOff(unsigned round) {
    if (round < 64)
        zo::plat::cpuRelax();
    else
        zo::plat::sleepMilliseconds(round < 1000 ? 0 : 1);
}

// Reports. Their words come from the message table, read the first time a report is shown.
namespace {

constexpr ZoMessage kReportWords[] = {ZoMessage::SemSettings, ZoMessage::SemCreated,   ZoMessage::SemSpinOnly,
                                      ZoMessage::SemPlatform, ZoMessage::SemYes,       ZoMessage::SemNo,
                                      ZoMessage::SemLimit,    ZoMessage::SemSpinCount, ZoMessage::SemSpinSleep,
                                      ZoMessage::SemDestroyed};
constexpr int kWordCount = sizeof kReportWords / sizeof kReportWords[0];
constexpr int kWordSize = 128;

unsigned char g_words[kWordCount][kWordSize];
// 0 not read, 1 being read, 2 read.
std::atomic<int> g_wordsState{0};

void readWordsOnce() {
    int state = g_wordsState.load(std::memory_order_acquire);
    for (unsigned round = 0; state != 2; state = g_wordsState.load(std::memory_order_acquire)) {
        if (state == 0 && g_wordsState.compare_exchange_strong(state, 1, std::memory_order_acquire)) {
            for (int i = 0; i < kWordCount; ++i)
                mdsLoadResourceString(static_cast<unsigned>(kReportWords[i]), g_words[i], kWordSize);
            g_wordsState.store(2, std::memory_order_release);
            return;
        }
        semBackOff(round++);
    }
}

const char *word(ZoMessage number) {
    readWordsOnce();
    for (int i = 0; i < kWordCount; ++i)
        if (kReportWords[i] == number)
            return reinterpret_cast<const char *>(g_words[i]);
    return "";
}

const char *yesOrNo(bool yes) { return word(yes ? ZoMessage::SemYes : ZoMessage::SemNo); }

void showWarning(const char *body, ZoMessage caption) {
    (void)zo::plat::messageBox(nullptr, reinterpret_cast<const unsigned char *>(body),
                               reinterpret_cast<const unsigned char *>(word(caption)),
                               zo::plat::kBoxOk | zo::plat::kBoxIconWarning); // one button: the answer tells nothing
}

} // namespace

void semReportSettings(const ZoSemaphoreInfo &info) {
    char body[4 * kWordSize + 64];
    std::snprintf(body, sizeof body, "%s: %s\r\n%s: %d\r\n%s: %d\r\n%s: %d\r\n", word(ZoMessage::SemSpinOnly),
                  yesOrNo((info.control() & ZoSemaphoreInfo::SpinLocksOnly) != 0), word(ZoMessage::SemLimit),
                  static_cast<int>(info.control() & ZoSemaphoreInfo::LimitMask), word(ZoMessage::SemSpinCount),
                  semSpinAttempts(&info), word(ZoMessage::SemSpinSleep), semSpinSleep(&info));
    showWarning(body, ZoMessage::SemSettings);
}

void semReportCreated(bool platform) {
    char body[2 * kWordSize + 8];
    std::snprintf(body, sizeof body, "%s: %s\r\n", word(ZoMessage::SemPlatform), yesOrNo(platform));
    showWarning(body, ZoMessage::SemCreated);
}

void semReportDestroyed(bool platform) {
    char answer[kWordSize + 4];
    std::snprintf(answer, sizeof answer, "%s:\n", yesOrNo(platform));
    char body[2 * kWordSize + 16];
    std::snprintf(body, sizeof body, "%s: %s\n", word(ZoMessage::SemPlatform), answer);
    showWarning(body, ZoMessage::SemDestroyed);
}
