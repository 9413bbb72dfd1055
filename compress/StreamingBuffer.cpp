#include "compress/StreamingBuffer.h"

#include <cstring>
#include <new>

StreamingBuffer::StreamingBuffer()
    : m_storage(nullptr), m_capacity(0), m_free(0), m_writePos(0), m_count(0), m_readPos(0) {}

StreamingBuffer::~StreamingBuffer() { release(); }

bool StreamingBuffer::init(uint32_t capacity) {
    release();
    if (capacity == 0) return true;
    m_storage = new (std::nothrow) uint8_t[capacity];
    if (m_storage == nullptr) return false;
    m_capacity = capacity;
    m_free = capacity;
    return true;
}

void StreamingBuffer::release() {
    delete[] m_storage;
    m_storage = nullptr;
    m_capacity = m_free = m_writePos = m_count = m_readPos = 0;
}

uint32_t StreamingBuffer::write(const void* data, uint32_t len) {
    uint32_t n = len < m_free ? len : m_free;
    if (n == 0 || data == nullptr) return 0;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    if (m_count == 0) {
        m_readPos = 0;
        std::memcpy(m_storage, bytes, n);
        m_writePos = (n == m_capacity) ? 0 : n;
    } else {
        uint32_t untilEnd = m_capacity - m_writePos;
        uint32_t first = n < untilEnd ? n : untilEnd;
        std::memcpy(m_storage + m_writePos, bytes, first);
        std::memcpy(m_storage, bytes + first, n - first);
        m_writePos = (m_writePos + n) % m_capacity;
    }
    m_count += n;
    m_free -= n;
    return n;
}

void StreamingBuffer::peek(const uint8_t*& first, uint32_t& firstLen, const uint8_t*& second,
                           uint32_t& secondLen) const {
    first = second = nullptr;
    firstLen = secondLen = 0;
    if (m_count == 0) return;
    uint32_t untilEnd = m_capacity - m_readPos;
    first = m_storage + m_readPos;
    firstLen = m_count < untilEnd ? m_count : untilEnd;
    if (firstLen < m_count) {
        second = m_storage;
        secondLen = m_count - firstLen;
    }
}

void StreamingBuffer::consume(uint32_t n) {
    if (n > m_count) n = m_count;
    if (n == 0) return;
    m_readPos = (m_readPos + n) % m_capacity;
    m_count -= n;
    m_free += n;
}
