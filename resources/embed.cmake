# Wraps the message table in a C++ raw string literal, so that the resource library's
# source can include it and parse it at compile time.
# Usage: cmake -DINPUT=<messages.txt> -DOUTPUT=<messages.inc> -P embed.cmake
file(READ "${INPUT}" table)
set(delimiter "zo_messages")
string(FIND "${table}" ")${delimiter}\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} contains the literal's closing delimiter")
endif()
file(WRITE "${OUTPUT}.tmp" "R\"${delimiter}(${table})${delimiter}\"\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
