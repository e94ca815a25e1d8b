// Loadable modules of the host.
#pragma once

#include <zo/zoexport.h>

namespace zo::plat {

// Handle of the loaded module that contains the given address (null when none). The
// handle stays valid while that module is loaded; it holds no reference of its own.
ZO_API void *moduleContaining(const void *address);

} // namespace zo::plat
