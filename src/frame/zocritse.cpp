#include <zo/zocritse.h>

#include "platform/thread.h"

ZoCriticalSection::ZoCriticalSection(int disabled) : flags_(disabled ? uint32_t{Disabled} : 0u) {
    static_assert(zo::plat::mutexStorageSize <= sizeof(lock_));
    if (!disabled) {
        zo::plat::mutexInit(lock_);
        flags_ |= Initialised;
    }
}

ZoCriticalSection::~ZoCriticalSection() {
    if (flags_ & Initialised)
        zo::plat::mutexDestroy(lock_);
}

void ZoCriticalSection::enter() {
    if (flags_ & Disabled)
        return;
    zo::plat::mutexLock(lock_);
    ++entries_;
}

void ZoCriticalSection::leave() {
    if (!(flags_ & Disabled))
        zo::plat::mutexUnlock(lock_);
}
