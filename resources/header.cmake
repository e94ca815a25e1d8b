# Writes <zo/messages.h>: the enumeration ZoMessage, one enumerator per entry of the message
# table, named by the entry's name. The library reports only through these names, so a
# message the table lacks is a compile error. A malformed line or a repeated number or name
# stops the build here already.
# Usage: cmake -DINPUT=<messages.txt> -DOUTPUT=<messages.h> -P header.cmake
cmake_minimum_required(VERSION 3.25)
file(STRINGS "${INPUT}" lines ENCODING UTF-8)
set(body "")
set(seen_numbers "")
set(seen_names "")
foreach(line IN LISTS lines)
  if(line STREQUAL "" OR line MATCHES "^#")
    continue()
  endif()
  if(NOT line MATCHES "^([0-9]+)[ \t]([A-Za-z][A-Za-z0-9]*)([ \t].*)?$")
    message(FATAL_ERROR "${INPUT}: not a 'number name text' line: ${line}")
  endif()
  set(number ${CMAKE_MATCH_1})
  set(name ${CMAKE_MATCH_2})
  if(number IN_LIST seen_numbers OR name IN_LIST seen_names)
    message(FATAL_ERROR "${INPUT}: ${number} ${name} repeats a number or a name")
  endif()
  list(APPEND seen_numbers ${number})
  list(APPEND seen_names ${name})
  string(APPEND body "    ${name} = ${number},\n")
endforeach()
file(WRITE "${OUTPUT}.tmp" "// Generated from resources/messages.txt at build time: do not edit.
// The numbers of the library's messages, whose texts the resource library holds.
#pragma once

enum class ZoMessage : unsigned {
${body}};
")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
