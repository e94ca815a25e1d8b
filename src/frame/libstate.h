// Internal: the per-task record and the steps of process attach and detach that live in
// the per-task and per-thread modules.
#pragma once

#include <cstdint>

#include <zo/pertask.h>

// The process's record: the general slots, then the resource library's handle and use
// count and the library's own module handle.
struct PerTaskRecord {
    void *slots[PerTaskSlotCount];
    void *resourceLibrary;
    uint32_t resourceUseCount;
    void *ownModule;
};

ZO_API PerTaskRecord &mdsPerTaskRecord();

// Per-thread list steps of process attach and detach.
bool threadListAttachProcess();
void threadListDetachProcess();
// Number of records in the per-thread list (for tests and diagnostics).
ZO_API uint32_t mdsThreadRecordCount();
// Thread notifications.
bool threadListAttachThread();
void threadListDetachThread();
