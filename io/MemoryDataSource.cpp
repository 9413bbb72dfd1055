#include "io/MemoryDataSource.h"

#include <cstring>

#include "core/ByteOrder.h"

namespace {

constexpr uint32_t kWordBytes = 4;

}  // namespace

void MemoryDataSource::setData(const void* data, uint32_t size) {
    m_data = static_cast<const uint8_t*>(data);
    m_size = size;
    m_position = 0;
}

bool MemoryDataSource::readBytes(void* buffer, uint32_t maxBytes, uint32_t* bytesRead) {
    if (bytesRead != nullptr) *bytesRead = 0;
    uint32_t count = 0;
    const bool wholeBlock = buffer != nullptr && buffer == m_data && maxBytes == m_size;
    if (wholeBlock) {
        // The caller reads the block in place: nothing to copy, and only once.
        if (m_position != 0) return false;
        count = m_size;
    } else {
        const uint32_t remaining = m_position < m_size ? m_size - m_position : 0;
        count = maxBytes < remaining ? maxBytes : remaining;
        if (count == 0 || buffer == nullptr) return false;
        std::memcpy(buffer, m_data + m_position, count);
    }
    m_position += count;
    if (bytesRead != nullptr) *bytesRead = count;
    noteDelivered(count);
    return true;
}

bool MemoryDataSource::endOfData() { return m_position >= m_size; }

bool MemoryDataSource::findUint32(uint32_t key, uint32_t* bytesSkipped) {
    uint32_t skipped = 0;
    bool found = false;
    while (m_position <= m_size && m_size - m_position >= kWordBytes) {
        if (loadLittleEndian32(m_data + m_position) == key) {
            m_position += kWordBytes;
            found = true;
            break;
        }
        ++m_position;
        ++skipped;
    }
    if (bytesSkipped != nullptr) *bytesSkipped = skipped;
    return found;
}
