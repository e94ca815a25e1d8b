// A table of entry points into a library loaded at run time, addressed by number. Drivers
// derive from it for the outside libraries they call through a table.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zostatus.h>

// A mapper starts with no library, no table, maximum entry number 0 and an empty name; it
// is loaded by initialize(), after which the name and the size can no longer change.
// Freeing the library (and the table, through ramFree) is left to the deriving class.
class ZO_API UtlLibCallMapper {
protected:
    // 1 once the library is loaded; otherwise the highest entry number becomes max.
    ZoStatus setMaxDLLEntries(uint32_t max);
    // 1 once the library is loaded, or when name has 256 characters or more (the name then
    // stays as it was); otherwise the library's file name becomes name.
    ZoStatus setDLLName(const unsigned char *name);
    // Loads the library by its name (bosLoadLibrary, no family rule) and makes a table of
    // max + 1 empty entries. 1 when already loaded, when the library does not load, or when
    // the table cannot be made (the library is then freed again, so initialize can be
    // called again).
    ZoStatus initialize();
    // Looks procName up in the loaded library and stores its address in entry `index`.
    // 1 without a loaded library, when index is beyond the highest entry number, or when
    // the library has no such entry point.
    ZoStatus setDLLEntryPoint(const unsigned char *procName, uint32_t index);
    // The address stored in entry index (null when none was stored); null without a
    // loaded library or when index is beyond the highest entry number.
    void *getDLLEntryPoint(uint32_t index);

    void **entries_ = nullptr;
    uint32_t maxEntries_ = 0;
    void *module_ = nullptr;
    unsigned char dllName_[256] = {};
};
