#include <zo/zoarray.h>

#include <cstring>

namespace {
// Largest slot count whose byte size still fits the allocator's 32-bit request.
constexpr uint32_t maxSlots = UINT32_MAX / sizeof(void *);

void **allocSlots(uint32_t n) { return static_cast<void **>(ramAllocZ(n * static_cast<uint32_t>(sizeof(void *)))); }
} // namespace

ZoArray::~ZoArray() {
    if (options_ & OwnsContents)
        deleteContents();
    releaseBuffer();
}

void ZoArray::releaseBuffer() {
    if (options_ & OwnsBuffer)
        ramFree(slots_);
    slots_ = nullptr;
    options_ &= ~uint32_t{OwnsBuffer};
}

ZoStatus ZoArray::setInitialSize(uint16_t n) {
    if (slots_ != nullptr)
        return ZoFailure;
    void **buffer = allocSlots(n);
    if (buffer == nullptr)
        return ZoFailure;
    slots_ = buffer;
    allocated_ = n;
    options_ |= OwnsBuffer;
    return ZoSuccess;
}

ZoStatus ZoArray::increaseSize(uint32_t increment) {
    uint64_t size = increment != 0 ? uint64_t{allocated_} + increment : uint64_t{allocated_} * 2;
    if (size <= allocated_ || size > maxSlots)
        return ZoFailure;
    void **buffer = nullptr;
    if (options_ & OwnsBuffer) {
        // Resizing lets the allocator extend large buffers in place instead of copying.
        void *block = slots_;
        if (ramResize(&block, static_cast<uint32_t>(size * sizeof(void *))) != ZoSuccess)
            return ZoFailure;
        buffer = static_cast<void **>(block);
    } else {
        buffer = allocSlots(static_cast<uint32_t>(size));
        if (buffer == nullptr)
            return ZoFailure;
        if (allocated_ != 0)
            std::memcpy(buffer, slots_, allocated_ * sizeof(void *));
    }
    std::memset(buffer + allocated_, 0, (size - allocated_) * sizeof(void *));
    slots_ = buffer;
    allocated_ = static_cast<uint32_t>(size);
    options_ |= OwnsBuffer;
    return ZoSuccess;
}

ZoStatus ZoArray::insertSlot(void *value, uint32_t index) {
    if (used_ == allocated_ && increaseSize(growBy_) != ZoSuccess)
        return ZoFailure;
    std::memmove(slots_ + index + 1, slots_ + index, (used_ - index) * sizeof(void *));
    slots_[index] = value;
    ++used_;
    return ZoSuccess;
}

void ZoArray::removeAtIndex(uint32_t index) {
    std::memmove(slots_ + index, slots_ + index + 1, (used_ - index - 1) * sizeof(void *));
    slots_[--used_] = nullptr;
}

unsigned ZoArray::holdsSlot(const void *value) const {
    for (uint32_t i = 0; i < used_; ++i)
        if (slots_[i] == value)
            return 1;
    return 0;
}

void ZoArray::disposeAt(uint32_t index, Disposer dispose) {
    if (slots_[index] != nullptr)
        dispose(slots_[index]);
    removeAtIndex(index);
}

void ZoArray::disposeContents(Disposer dispose) {
    uint32_t n = (options_ & Sparse) ? allocated_ : used_;
    for (uint32_t i = 0; i < n; ++i) {
        void *element = slots_[i];
        if (element != nullptr) {
            // Null the slot before destroying: an element's destructor may look at the array.
            slots_[i] = nullptr;
            dispose(element);
        }
    }
    used_ = 0;
}

ZoStatus ZoArray::shrink(uint32_t n) {
    if (n == 0) {
        releaseBuffer();
    } else if (options_ & OwnsBuffer) {
        void *buffer = slots_;
        if (ramResize(&buffer, n * static_cast<uint32_t>(sizeof(void *))) != ZoSuccess)
            return ZoFailure;
        slots_ = static_cast<void **>(buffer);
    }
    allocated_ = n;
    used_ = n;
    return ZoSuccess;
}

void ZoArray::useBuffer(void **buffer, uint32_t allocated, uint32_t used) {
    releaseBuffer();
    slots_ = buffer;
    allocated_ = allocated;
    used_ = used;
}

void ZoArray::exchange(ZoArray &other) {
    void **slots = slots_;
    uint32_t allocated = allocated_, used = used_;
    uint32_t owned = options_ & OwnsBuffer;
    slots_ = other.slots_;
    allocated_ = other.allocated_;
    used_ = other.used_;
    options_ = (options_ & ~uint32_t{OwnsBuffer}) | (other.options_ & OwnsBuffer);
    other.slots_ = slots;
    other.allocated_ = allocated;
    other.used_ = used;
    other.options_ = (other.options_ & ~uint32_t{OwnsBuffer}) | owned;
}

void ZoArray::destroyObject(void *element) { delete static_cast<ZoObject *>(element); }

ZoArrayPVoid::~ZoArrayPVoid() {
    if (getOptions() & OwnsContents)
        deleteContents();
}

void ZoArrayPVoid::freeBlock(void *block) { ramFree(block); }
