// Environment variables and the machine's and user's names.
#pragma once

#include <cstdint>

#include <zo/zoexport.h>
#include <zo/zoobject.h>

// The value of an environment variable in the process's 700-byte environment buffer (a
// longer value is cut), or null when the variable is absent or empty. The text stays valid
// until the next call from any thread: callers on several threads copy it first.
ZO_API unsigned char *bosGetEnv(const unsigned char *name);
// The computer's and the calling user's name, cut to size characters and terminated (out
// holds size + 1 bytes). A null out or a size of 0 does nothing and succeeds; 1 when the
// host cannot tell. Nothing is recorded.
ZO_API ZoStatus bosGetMachineName(char *out, uint32_t size);
ZO_API ZoStatus bosGetHostUser(char *out, uint32_t size);
