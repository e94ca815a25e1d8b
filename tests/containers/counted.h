// Test objects for the containers: they count live instances and order by a key.
#pragma once

#include <zo/zolist.h>

namespace zotest {

// An object with an ordering key and a tag telling apart objects with equal keys.
class Keyed : public ZoObject {
public:
    explicit Keyed(int key, int tag = 0) : key(key), tag(tag) { ++live; }
    ~Keyed() override { --live; }
    short compare(const ZoObject *other) const override {
        int k = static_cast<const Keyed *>(other)->key;
        return static_cast<short>(key < k ? -1 : (key > k ? 1 : 0));
    }
    int key;
    int tag;
    static inline int live = 0;
};

// A list node that counts live instances.
class CountedNode : public ZoNode {
public:
    explicit CountedNode(int id) : id(id) { ++live; }
    ~CountedNode() override { --live; }
    int id;
    static inline int live = 0;
};

} // namespace zotest
