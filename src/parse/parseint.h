// Internal interfaces shared by the grammar compiler, the table builder and the engine.
#pragma once

#include <zo/zoparse.h>

namespace zo::parse {

// Builds the state machine of one production from its compiled items, appending every new
// state to the production's chain and adding their number to *stateCount. The first lists of
// all referenced productions must be computed. Fails only when an allocation fails.
ZO_API ZoStatus buildStates(ZoProduction *production, uint32_t *stateCount);

// Computes the first list of every production of the chain that has none yet. Fails for a
// left-recursive grammar (a production that can begin with itself without consuming a token)
// and when an allocation fails.
ZO_API ZoStatus computeFirstLists(ZoProduction *productions);

} // namespace zo::parse
