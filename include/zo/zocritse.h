// The in-process lock that guards the library's shared state.
#pragma once

#include <cstdint>

#include <zo/zoobject.h>

// A recursive lock with a flag word: bit 0x1 the platform lock exists, bit 0x2 disabled.
// A disabled section is skipped on both enter and leave, so it must not be disabled
// between an enter and its leave.
class ZO_API ZoCriticalSection : public ZoObject {
public:
    enum : uint32_t { Initialised = 0x1, Disabled = 0x2 };

    // 0 gives an enabled section with a platform lock; nonzero a disabled one without.
    explicit ZoCriticalSection(int disabled);
    ~ZoCriticalSection() override;
    ZoCriticalSection(const ZoCriticalSection &) = delete;
    ZoCriticalSection &operator=(const ZoCriticalSection &) = delete;

    void enter();
    void leave();
    void disable() { flags_ |= Disabled; }
    uint32_t flags() const { return flags_; }
    // How many times enter() took the platform lock (for tests of the disabling rule).
    uint32_t entryCount() const { return entries_; }

private:
    // Storage for the platform's mutex, kept opaque so no host header leaks out.
    alignas(8) unsigned char lock_[48];
    uint32_t flags_;
    uint32_t entries_ = 0;
};

// Holds a section for the lifetime of a scope.
class ZoLockGuard {
public:
    explicit ZoLockGuard(ZoCriticalSection &section) : section_(section) { section_.enter(); }
    ~ZoLockGuard() { section_.leave(); }
    ZoLockGuard(const ZoLockGuard &) = delete;
    ZoLockGuard &operator=(const ZoLockGuard &) = delete;

private:
    ZoCriticalSection &section_;
};

// The library's five static sections, in their order of construction.
enum class ZoStaticLock { DbLibCount, ThreadList, BlockCache, GeneralMemory, Registry };
ZO_API ZoCriticalSection &zoStaticCriticalSection(ZoStaticLock which);

// Disables the thread-list, block-cache and general-memory sections for good. A host that
// uses the library from one thread only calls it once, before any other use.
ZO_API void zoDisableStaticCriticalSections(void);
