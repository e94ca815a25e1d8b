// Environment and identity of the host process.
#pragma once

#include <cstddef>

#include <zo/zoexport.h>

namespace zo::plat {

// Copies the value of the environment variable `name` into out (at most size - 1 bytes and
// a terminator; a longer value is cut). Returns false when the variable is absent.
ZO_API bool environmentValue(const char *name, char *out, std::size_t size);
// The host's name (up to the first dot, cut to size - 1 bytes) and the name of the
// process's user (false when it does not fit), copied into out with a terminator; false
// when the host cannot tell.
ZO_API bool machineName(char *out, std::size_t size);
ZO_API bool userName(char *out, std::size_t size);
// The library's directory among the user's configuration (`$XDG_CONFIG_HOME/zo`, else
// `$HOME/.config/zo`, the home directory coming from the user database when HOME is not
// an absolute path), copied into out. False when it does not fit or cannot be named.
ZO_API bool userConfigDirectory(char *out, std::size_t size);

} // namespace zo::plat
