// Per-process (per-task) and per-thread slots, and the character stepping rule.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>

// Slots of the per-task record. The library uses the named ones; drivers use the rest.
enum PerTaskData : int {
    PerTaskSlot0 = 0,
    PerTaskDbLibInits = 1,
    PerTaskSlot2,
    PerTaskSlot3,
    PerTaskBlockCache = 4,
    PerTaskSlot5,
    PerTaskSlot6,
    PerTaskSlot7,
    PerTaskSlot8,
    PerTaskSlot9,
    PerTaskSlot10,
    PerTaskSemaphoreTable = 11,
    PerTaskThreadList = 12,
    PerTaskSlot13,
    PerTaskSlot14,
    PerTaskSlot15,
    PerTaskSlot16,
    PerTaskSlotCount = 17
};

// Slots of a thread's record.
enum PerThreadData : int {
    PerThreadErrorList = 0,
    PerThreadSlot1,
    PerThreadSlot2,
    PerThreadSlot3,
    PerThreadSlot4,
    PerThreadSlot5,
    PerThreadCharMode = 6,
    PerThreadSlotCount = 7
};

// Value of the word that PerThreadCharMode points to when the thread's text is UTF-8.
constexpr uint32_t ZoCharModeUtf8 = 2;

// Per-task accessors. An index outside 0-16 reads null and is never written.
ZO_API void *mdsGetPerTaskData(PerTaskData slot);
ZO_API void **mdsGetPerTaskDataAddress(PerTaskData slot);
ZO_API void mdsSetPerTaskData(PerTaskData slot, const void *value);

// Per-thread accessors. The calling thread's record is made on first use; when it cannot
// be made the getter yields null, the address getter null, and the setter stores nothing.
ZO_API void *mdsGetPerThreadData(PerThreadData slot);
ZO_API void **mdsGetPerThreadDataAddress(PerThreadData slot);
ZO_API void mdsSetPerThreadData(PerThreadData slot, const void *value);

// Character stepping. A table of 256 character lengths, indexed by a character's first byte,
// for the calling thread's mode: UTF-8 lengths (1, 2 for 0xC0-0xDF, 3 for 0xE0-0xEF, 1 else)
// when its PerThreadCharMode word is 2, otherwise 2 for a lead byte of the ANSI code page
// and 1 else. Walkers fetch it once per call and step with `p += len[*p]`.
ZO_API const unsigned char *mdsCharLengthTable();
// The lead-byte rule alone (ANSI code page), whatever the thread's mode.
ZO_API const unsigned char *mdsLeadByteLengthTable();
// Length of the character starting with byte b by the calling thread's rule.
ZO_API unsigned mdsCharLength(unsigned char b);

// Notifications of the loader, as the platform's library entry point delivers them.
enum ZoLoaderReason : unsigned { ZoProcessDetach = 0, ZoProcessAttach = 1, ZoThreadAttach = 2, ZoThreadDetach = 3 };
// Handles a notification for the calling thread; returns 1 on success, 0 on failure.
// The shared library's constructor and destructor and the thread-exit hook call it.
ZO_API int mdsLibraryEntry(ZoLoaderReason reason);
