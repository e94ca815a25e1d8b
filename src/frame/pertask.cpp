// The per-task record: one per process, plain slots read and written without a lock.
#include <zo/pertask.h>

#include "frame/libstate.h"

namespace {
PerTaskRecord g_task;

bool validSlot(PerTaskData slot) { return slot >= 0 && slot < PerTaskSlotCount; }
} // namespace

PerTaskRecord &mdsPerTaskRecord() { return g_task; }

void *mdsGetPerTaskData(PerTaskData slot) { return validSlot(slot) ? g_task.slots[slot] : nullptr; }

void **mdsGetPerTaskDataAddress(PerTaskData slot) { return validSlot(slot) ? &g_task.slots[slot] : nullptr; }

void mdsSetPerTaskData(PerTaskData slot, const void *value) {
    if (validSlot(slot))
        g_task.slots[slot] = const_cast<void *>(value);
}
