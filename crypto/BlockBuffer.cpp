#include "crypto/BlockBuffer.h"

#include <cstdlib>

BlockBuffer::BlockBuffer() : m_data(nullptr), m_length(0), m_capacity(0) {}

BlockBuffer::~BlockBuffer() { clear(); }

void BlockBuffer::clear() {
    std::free(m_data);
    m_data = nullptr;
    m_length = 0;
    m_capacity = 0;
}

bool BlockBuffer::reserve(uint32_t n) {
    clear();
    const uint64_t rounded = (static_cast<uint64_t>(n) + kBlockBytes - 1) / kBlockBytes * kBlockBytes;
    if (rounded == 0) return true;
    if (rounded > UINT32_MAX) return false;
    m_data = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(rounded), 1));
    if (m_data == nullptr) return false;
    m_capacity = static_cast<uint32_t>(rounded);
    return true;
}

void BlockBuffer::setLength(uint32_t n) { m_length = n < m_capacity ? n : m_capacity; }
