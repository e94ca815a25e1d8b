// Text between the application and the driver. The engine speaks UTF-8; the application
// speaks the process's ANSI code page through the plain entry points and SQL_C_CHAR
// buffers, and UCS-2 (UTF-16 units) through the W entry points and SQL_C_WCHAR buffers.
#pragma once

#include <sql.h>

#include <cstdint>
#include <string>

namespace zotext::odbc {

enum class TextKind : uint8_t { Ansi, Wide };

// Text given by the application: length in bytes (ANSI) or units (wide), or SQL_NTS.
// Callers check the arguments first (checkTextArgument).
std::string fromAnsi(const SQLCHAR *text, SQLINTEGER length);
std::string fromWide(const SQLWCHAR *text, SQLINTEGER length);
// False with HY009 (null text with a length) or HY090 (a negative length other than
// SQL_NTS) recorded.
bool checkTextArgument(const void *text, SQLINTEGER length);

// The driver's UTF-8 as ANSI bytes (what the code page cannot hold becomes '?') or as
// UCS-2 units (characters beyond the basic plane as surrogate pairs).
std::string toAnsi(const std::string &utf8);
std::u16string toWide(const std::string &utf8);
// The bytes of a text in the buffer kind: ANSI bytes, or the UCS-2 units' bytes.
std::string encode(const std::string &utf8, TextKind kind);

// Copies encoded text (from encode) into an application buffer of capacity bytes, cut at a
// character boundary so that it fits with its terminator; returns the bytes written without
// the terminator. A capacity too small for the terminator writes nothing.
size_t copyEncoded(const std::string &encoded, size_t from, TextKind kind, void *buffer, SQLLEN capacity);

// Writes text (UTF-8) into an application buffer of the kind, whose capacity is counted in
// bytes (inBytes) or in characters of its kind, cut and terminated as copyEncoded does.
// Returns the whole text's length in the same unit; *truncated tells whether it was cut.
SQLLEN putText(const std::string &utf8, TextKind kind, void *buffer, SQLLEN capacity, bool inBytes, bool *truncated);

} // namespace zotext::odbc
