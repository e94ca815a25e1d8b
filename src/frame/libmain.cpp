// Library start-up and shut-down: the static objects in their order of construction, and
// the handler of the loader's process and thread notifications. The shared library's
// constructor and destructor deliver process attach and detach; a thread's first
// per-thread call stands in for thread attach, and the thread-exit hook for thread detach.
#include <zo/pertask.h>
#include <zo/registry.h>
#include <zo/zocritse.h>
#include <zo/zoerror.h>
#include <zo/zoobject.h>

#include "frame/errstate.h"
#include "frame/libstate.h"
#include "platform/codepage.h"
#include "platform/module.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/window.h"

namespace {

// The static objects, constructed in this order before the attach step runs and destroyed
// in the reverse order after the detach step (one translation unit fixes the order).
ZoCriticalSection g_dbLibCountLock(0);
ZoCriticalSection g_threadListLock(0);
ZoError g_memoryError(ErrMemoryError);
ZoError g_dummyError(ErrDummyError);
ZoCriticalSection g_blockCacheLock(0);
ZoCriticalSection g_generalMemoryLock(0);
ZoCriticalSection g_registryLock(0);

bool processAttach() {
    // The library's own character classification follows the ANSI code page; the host
    // process's locale is left alone.
    zo::plat::codePageInit();
    PerTaskRecord &task = mdsPerTaskRecord();
    for (void *&slot : task.slots)
        slot = nullptr;
    task.ownModule = zo::plat::moduleContaining(reinterpret_cast<const void *>(&mdsLibraryEntry));
    return threadListAttachProcess();
}

bool processDetach() {
    unloadOdbcInst();
    zo::plat::registryClose();
    zo::plat::profileRelease();
    PerTaskRecord &task = mdsPerTaskRecord();
    if (auto *semaphoreTable = static_cast<ZoObject *>(task.slots[PerTaskSemaphoreTable])) {
        task.slots[PerTaskSemaphoreTable] = nullptr;
        delete semaphoreTable;
    }
    zoReleaseStaticErrorTexts();
    zo::plat::discardAllQueues();
    threadListDetachProcess();
    zo::plat::codePageRelease();
    return true;
}

// Runs the attach step after the statics above are built and the detach step before they
// are destroyed.
struct LoaderNotifications {
    LoaderNotifications() { attached = mdsLibraryEntry(ZoProcessAttach) != 0; }
    ~LoaderNotifications() {
        if (attached)
            mdsLibraryEntry(ZoProcessDetach);
    }
    bool attached;
};
LoaderNotifications g_loaderNotifications;

} // namespace

int mdsLibraryEntry(ZoLoaderReason reason) {
    switch (reason) {
    case ZoProcessAttach: return processAttach() ? 1 : 0;
    case ZoProcessDetach: return processDetach() ? 1 : 0;
    case ZoThreadAttach: return threadListAttachThread() ? 1 : 0;
    case ZoThreadDetach: threadListDetachThread(); return 1;
    }
    return 0;
}

ZoCriticalSection &zoStaticCriticalSection(ZoStaticLock which) {
    switch (which) {
    case ZoStaticLock::DbLibCount: return g_dbLibCountLock;
    case ZoStaticLock::ThreadList: return g_threadListLock;
    case ZoStaticLock::BlockCache: return g_blockCacheLock;
    case ZoStaticLock::GeneralMemory: return g_generalMemoryLock;
    case ZoStaticLock::Registry: break;
    }
    return g_registryLock;
}

ZoError &zoStaticError(ErrSpecialError kind) { return kind == ErrMemoryError ? g_memoryError : g_dummyError; }

void zoReleaseStaticErrorTexts() {
    g_memoryError.text_.unInitialize();
    g_dummyError.text_.unInitialize();
}

void zoDisableStaticCriticalSections(void) {
    g_threadListLock.disable();
    g_blockCacheLock.disable();
    g_generalMemoryLock.disable();
}
