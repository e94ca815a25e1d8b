// Parsing the driver's SQL into statements: one parser per process, compiled from the
// grammar on first use, whose ReductProc builds the statement as the parse commits.
#pragma once

#include <memory>
#include <string>

#include "ast.h"

namespace zotext::sql {

// The statement, or null with an error recorded: Syntax (with the position where the text
// stops fitting the grammar), NotSupported for constructs the engine does not run,
// BadDateTime for a malformed date or time escape, OutOfMemory. Safe to call from any
// thread: parses are serialised on the one parser.
std::unique_ptr<Statement> parseStatement(const std::string &text);

} // namespace zotext::sql
