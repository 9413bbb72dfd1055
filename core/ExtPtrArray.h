#pragma once
// ExtPtrArray: growable array of pointers to objects it does not own. It
// owns only its slot array; destroying it leaves the objects alone.
//
// Growth: the first append allocates 5 slots; afterwards the capacity grows
// by an increment that follows the capacity (5, 10, 20, 40, ... doubling)
// until the increment reaches 100000.

#include <cstdint>

class ExtPtrArray {
public:
    static constexpr int32_t kInitialSlots = 5;
    static constexpr int32_t kMaxGrowBySlots = 100000;

    // growBy 5, no slot array yet.
    ExtPtrArray();
    // Frees the slot array only.
    virtual ~ExtPtrArray();

    ExtPtrArray(const ExtPtrArray&) = delete;
    ExtPtrArray& operator=(const ExtPtrArray&) = delete;

    // Stores p in a new last slot.
    void appendPtr(void* p);
    // The pointer at index i when 0 <= i < count, else null.
    void* getPtr(int32_t i) const;
    int32_t getCount() const { return m_count; }
    // Number of slots allocated.
    int32_t getCapacity() const { return m_capacity; }

private:
    void growByOne();

    int32_t m_growBy;
    int32_t m_capacity;
    int32_t m_count;
    void** m_items;
};
