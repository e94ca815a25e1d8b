// Entry points of a library loaded at run time, kept in a table by number.
#include <zo/calmaper.h>
#include <zo/cntdblib.h>
#include <zo/ramalloc.h>

#include <cstring>

#include "platform/module.h"

ZoStatus UtlLibCallMapper::setMaxDLLEntries(uint32_t max) {
    if (module_ != nullptr)
        return ZoFailure;
    maxEntries_ = max;
    return ZoSuccess;
}

ZoStatus UtlLibCallMapper::setDLLName(const unsigned char *name) {
    size_t length = std::strlen(reinterpret_cast<const char *>(name));
    if (module_ != nullptr || length >= sizeof dllName_)
        return ZoFailure;
    std::memcpy(dllName_, name, length + 1);
    return ZoSuccess;
}

ZoStatus UtlLibCallMapper::initialize() {
    if (module_ != nullptr)
        return ZoFailure;
    // The table's size in bytes must fit the allocator's 32-bit request.
    if (maxEntries_ >= UINT32_MAX / sizeof(void *))
        return ZoFailure;
    void *library = bosLoadLibrary(dllName_, 0);
    if (library == nullptr)
        return ZoFailure;
    entries_ = static_cast<void **>(ramAllocZ(static_cast<uint32_t>((maxEntries_ + 1) * sizeof(void *))));
    if (entries_ == nullptr) {
        zo::plat::moduleFree(library);
        return ZoFailure;
    }
    module_ = library;
    return ZoSuccess;
}

ZoStatus UtlLibCallMapper::setDLLEntryPoint(const unsigned char *procName, uint32_t index) {
    if (module_ == nullptr || index > maxEntries_)
        return ZoFailure;
    void *address = zo::plat::moduleSymbol(module_, reinterpret_cast<const char *>(procName));
    if (address == nullptr)
        return ZoFailure;
    entries_[index] = address;
    return ZoSuccess;
}

void *UtlLibCallMapper::getDLLEntryPoint(uint32_t index) {
    return module_ == nullptr || index > maxEntries_ ? nullptr : entries_[index];
}
