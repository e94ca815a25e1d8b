// Internal interfaces shared by the grammar compiler, the table builder and the engine.
#pragma once

#include <zo/zoparse.h>

namespace zo::parse {

// Replaces the owned text in slot by a copy of text (null clears). On failure the old text
// stays and failure is returned.
ZO_API ZoStatus replaceText(unsigned char *&slot, const unsigned char *text);

// Deletes the objects chained behind an owner, following the link that link(node) names,
// without recursion: each is unlinked before it is deleted, so its destructor stops there.
template <class T, class Link>
void deleteChain(T *first, Link link) {
    while (first != nullptr) {
        T *after = link(first);
        link(first) = nullptr;
        delete first;
        first = after;
    }
}

// Link getters of the grammar and table classes: failure for a null link, else the link is
// stored in *out.
template <class T>
ZoStatus storeLink(T *link, T **out) {
    if (link == nullptr)
        return ZoFailure;
    *out = link;
    return ZoSuccess;
}

// Builds the state machine of one production from its compiled items, appending every new
// state to the production's chain and adding their number to *stateCount. The first lists of
// all referenced productions must be computed. Fails only when an allocation fails.
ZO_API ZoStatus buildStates(ZoProduction *production, uint32_t *stateCount);

// Computes the first list of every production of the chain that has none yet. Fails for a
// left-recursive grammar (a production that can begin with itself without consuming a token)
// and when an allocation fails.
ZO_API ZoStatus computeFirstLists(ZoProduction *productions);

} // namespace zo::parse
