// Recording the engine's errors in the calling thread's current ZoErrorList.
#pragma once

#include <string>

#include "engine.h"

namespace zotext {

// Records an error with the code's number (the ODBC layer maps it through sqlStateOf) and
// the text; always returns false so that callers can write `return fail(...)`.
bool fail(EngineError code, const std::string &text);
// Records exhausted memory (no allocation needed) and returns false.
bool failMemory();

} // namespace zotext
