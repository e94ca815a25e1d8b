// Growable arrays of pointer-sized slots: object pointers, 32-bit numbers or raw blocks.
#pragma once

#include <cstdint>

#include <zo/zoobject.h>

// A growable array whose slots normally hold object pointers. Elements are slots
// 0 .. getCount()-1. Every slot the array allocates itself starts out null, and a slot
// vacated by removeAtIndex is cleared again, so slots outside the live elements are null.
//
// Indexes are preconditions and are not checked: addAtIndex takes 0 .. count, the other
// indexed operations 0 .. count-1 (setAt 0 .. allocated-1).
class ZO_API ZoArray : public ZoObject {
public:
    // Bits of the option word.
    enum : uint32_t {
        OwnsContents = 0x1, // the destructor destroys the elements (deleteContents)
        Sparse = 0x2,       // deleteContents visits every allocated slot, not only 0 .. count-1
        OwnsBuffer = 0x4    // the buffer was allocated by the array and is freed by it
    };

    ZoArray() = default;
    ~ZoArray() override;
    ZoArray(const ZoArray &) = delete;
    ZoArray &operator=(const ZoArray &) = delete;

    // Gives an array without a buffer one of exactly n null slots. Fails (1) when the array
    // already has a buffer or the allocation fails; the array then keeps what it had.
    ZoStatus setInitialSize(uint16_t n);
    // Inserts at index (0 .. count), moving the following elements up. Grows by growBy
    // slots (doubling when growBy is 0) when full; a failed growth returns 1 and leaves
    // the array unchanged.
    ZoStatus addAtIndex(const ZoObject *element, uint32_t index) { return insertSlot(toSlot(element), index); }
    ZoStatus append(const ZoObject *element) { return insertSlot(toSlot(element), used_); }
    ZoObject *getAt(uint32_t index) const { return static_cast<ZoObject *>(slots_[index]); }
    // Writes a slot directly, for arrays addressed by slot (sparse arrays, hash tables).
    // The element count is not changed.
    void setAt(uint32_t index, const ZoObject *element) { slots_[index] = toSlot(element); }
    uint32_t getCount() const { return used_; }
    uint32_t getAllocated() const { return allocated_; }

    // Unlinks the element at index and closes the gap; the element is not destroyed.
    void removeAtIndex(uint32_t index);
    // Destroys the element at index (if not null) and closes the gap.
    void deleteAtIndex(uint32_t index) { disposeAt(index, destroyObject); }
    // Destroys every non-null element (every allocated slot when sparse) and nulls its
    // slot; the count becomes 0 and the buffer stays.
    void deleteContents() { disposeContents(destroyObject); }
    // Sets the allocated size and the count to n (n <= allocated). 0 frees an owned buffer
    // and leaves the array without one. An owned buffer is reallocated to n slots; when that
    // fails the result is 1 and the array is unchanged. A buffer from outside is kept.
    ZoStatus shrink(uint32_t n);
    // 1 when one of the elements is this very object (identity, not compare), else 0.
    unsigned doesExist(const ZoObject *element) const { return holdsSlot(toSlot(element)); }

    // Installs a buffer from outside, which the array never frees: allocated slots of which
    // the first used are elements. The first growth copies it into a buffer of the array's
    // own. Slots from used to allocated-1 must be null if the array is sparse. An owned
    // buffer the array had is freed (its elements are not destroyed).
    void useBuffer(void **buffer, uint32_t allocated, uint32_t used);
    // Swaps buffers, sizes and buffer ownership with another array (the other options and
    // the growth increments stay with each array).
    void exchange(ZoArray &other);

    void setDeleteContents(bool on) { setOption(OwnsContents, on); }
    void setSparse(bool on) { setOption(Sparse, on); }
    void setGrowBy(uint16_t n) { growBy_ = n; }
    uint16_t getGrowBy() const { return growBy_; }
    uint32_t getOptions() const { return options_; }

protected:
    using Disposer = void (*)(void *element);

    // The slot-level operations the typed kinds are built on.
    static void *toSlot(const void *element) { return const_cast<void *>(element); }
    static void *toSlot(uintptr_t value) { return reinterpret_cast<void *>(value); }
    ZoStatus insertSlot(void *value, uint32_t index);
    unsigned holdsSlot(const void *value) const;
    void *slotAt(uint32_t index) const { return slots_[index]; }
    void putSlot(uint32_t index, void *value) { slots_[index] = value; }
    // The slots themselves, for operations that work on the whole buffer in place.
    void **slotBuffer() const { return slots_; }
    void disposeAt(uint32_t index, Disposer dispose);
    void disposeContents(Disposer dispose);
    // Grows the buffer by increment slots (0: doubles it), keeping the elements and
    // zero-filling the new slots. Fails (1) with the array unchanged when the allocation
    // fails or the size would not fit (doubling an empty array included).
    ZoStatus increaseSize(uint32_t increment);

private:
    static void destroyObject(void *element);
    void setOption(uint32_t bit, bool on) { options_ = on ? (options_ | bit) : (options_ & ~bit); }
    void releaseBuffer();

    void **slots_ = nullptr;
    uint32_t allocated_ = 0;
    uint32_t used_ = 0;
    uint16_t growBy_ = 16;
    uint32_t options_ = 0;
};

// An array of unsigned 32-bit numbers. It never owns contents: there is nothing to destroy.
class ZO_API ZoArrayU32 : public ZoArray {
public:
    ZoStatus addAtIndex(uint32_t value, uint32_t index) { return insertSlot(toSlot(uintptr_t{value}), index); }
    ZoStatus append(uint32_t value) { return addAtIndex(value, getCount()); }
    uint32_t getAt(uint32_t index) const { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(slotAt(index))); }
    void setAt(uint32_t index, uint32_t value) { putSlot(index, toSlot(uintptr_t{value})); }
    unsigned doesExist(uint32_t value) const { return holdsSlot(toSlot(uintptr_t{value})); }
};

// An array of signed 32-bit numbers. It never owns contents.
class ZO_API ZoArrayS32 : public ZoArray {
public:
    ZoStatus addAtIndex(int32_t value, uint32_t index) { return insertSlot(toSlot(encode(value)), index); }
    ZoStatus append(int32_t value) { return addAtIndex(value, getCount()); }
    int32_t getAt(uint32_t index) const {
        return static_cast<int32_t>(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(slotAt(index))));
    }
    void setAt(uint32_t index, int32_t value) { putSlot(index, toSlot(encode(value))); }
    unsigned doesExist(int32_t value) const { return holdsSlot(toSlot(encode(value))); }

private:
    static uintptr_t encode(int32_t value) { return static_cast<uint32_t>(value); }
};

// An array of memory blocks from ramAlloc; disposing of an element frees its block.
class ZO_API ZoArrayPVoid : public ZoArray {
public:
    ~ZoArrayPVoid() override;
    ZoStatus addAtIndex(const void *block, uint32_t index) { return insertSlot(toSlot(block), index); }
    ZoStatus append(const void *block) { return addAtIndex(block, getCount()); }
    void *getAt(uint32_t index) const { return slotAt(index); }
    void setAt(uint32_t index, const void *block) { putSlot(index, toSlot(block)); }
    unsigned doesExist(const void *block) const { return holdsSlot(block); }
    void deleteAtIndex(uint32_t index) { disposeAt(index, freeBlock); }
    void deleteContents() { disposeContents(freeBlock); }

private:
    static void freeBlock(void *block);
};
