#include "core/ExtPtrArray.h"

#include <cstring>

ExtPtrArray::ExtPtrArray() : m_growBy(kInitialSlots), m_capacity(0), m_count(0), m_items(nullptr) {}

ExtPtrArray::~ExtPtrArray() { delete[] m_items; }

// Adds one slot to count, reallocating when it no longer fits.
void ExtPtrArray::growByOne() {
    if (m_items == nullptr) {
        m_items = new void*[kInitialSlots]();
        m_capacity = kInitialSlots;
    }
    ++m_count;
    if (m_count <= m_capacity) return;

    int32_t newCapacity = m_capacity + m_growBy;
    if (newCapacity <= m_count) newCapacity = m_count + 1;
    void** items = new void*[newCapacity]();
    std::memcpy(items, m_items, sizeof(void*) * static_cast<size_t>(m_count - 1));
    delete[] m_items;
    m_items = items;
    m_capacity = newCapacity;

    // The increment follows the capacity, so the array doubles.
    if (m_growBy < kMaxGrowBySlots) m_growBy = newCapacity < kMaxGrowBySlots ? newCapacity : kMaxGrowBySlots;
}

void ExtPtrArray::appendPtr(void* p) {
    growByOne();
    m_items[m_count - 1] = p;
}

void* ExtPtrArray::getPtr(int32_t i) const { return (i >= 0 && i < m_count) ? m_items[i] : nullptr; }
