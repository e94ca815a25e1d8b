// Scalar functions (the ODBC escape functions and their SQLite names) and LIKE.
#pragma once

#include <string>
#include <vector>

#include "expr.h"

namespace zotext {

// The node of scalar function `name` over the compiled arguments; null with an error
// recorded for an unknown function or a wrong number of arguments. starOrDistinct: the
// call was written f(*) or f(DISTINCT ...), which only aggregates take.
NodePtr makeFunctionNode(const std::string &name, std::vector<NodePtr> args, bool starOrDistinct);

// text LIKE pattern [ESCAPE e]: '%' any run of characters, '_' one character, ASCII
// letters matched without case (as SQLite); NULL when an operand is NULL.
NodePtr makeLikeNode(std::vector<NodePtr> parts, bool negated);

} // namespace zotext
