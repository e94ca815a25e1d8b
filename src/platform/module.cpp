#include "platform/module.h"

#include <dlfcn.h>

namespace zo::plat {

void *moduleContaining(const void *address) {
    Dl_info info;
    if (dladdr(address, &info) == 0 || info.dli_fname == nullptr)
        return nullptr;
    // RTLD_NOLOAD finds the module without loading it; the reference it takes is given back
    // at once, the handle stays the module's identity while it is loaded.
    void *handle = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (handle != nullptr)
        dlclose(handle);
    return handle;
}

} // namespace zo::plat
