// Status convention and the root class of all library objects.
#pragma once

#include <cstddef>
#include <cstdint>

#include <zo/zoexport.h>
#include <zo/ramalloc.h>
#include <zo/zostatus.h>

// Root class of every library object. Objects are allocated through the library's memory
// functions, so the allocation hook of the tests reaches them too; a failed allocation
// yields a null pointer from `new` (never an exception).
class ZO_API ZoObject {
public:
    ZoObject() = default;
    virtual ~ZoObject();
    // Ordering used by the sorted containers; the root treats all objects as equal.
    virtual short compare(const ZoObject *other) const;

    static void *operator new(std::size_t size) noexcept { return ramAlloc(static_cast<uint32_t>(size)); }
    static void *operator new[](std::size_t size) noexcept { return ramAlloc(static_cast<uint32_t>(size)); }
    static void *operator new(std::size_t, void *place) noexcept { return place; }
    static void operator delete(void *block) noexcept { ramFree(block); }
    static void operator delete[](void *block) noexcept { ramFree(block); }
    static void operator delete(void *, void *) noexcept {}
};
