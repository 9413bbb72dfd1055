#include "io/OutputDataBuffer.h"

#include <cstring>

#include "core/DataBuffer.h"

namespace {

// Room kept behind the written bytes when the target has to grow.
constexpr uint64_t kGrowthSlackBytes = 8;
constexpr uint64_t kMaxBufferBytes = 0xFFFFFFFFu;

}  // namespace

OutputDataBuffer::OutputDataBuffer(DataBuffer* target)
    : m_target(target), m_position(target != nullptr ? target->getSize() : 0) {}

OutputDataBuffer::~OutputDataBuffer() { m_target = nullptr; }

bool OutputDataBuffer::seekToEnd() {
    if (m_target == nullptr) return false;
    m_position = m_target->getSize();
    return true;
}

bool OutputDataBuffer::seekTo(uint32_t position) {
    if (m_target == nullptr) return false;
    m_position = position;
    if (m_target->getSize() < position) m_target->ensureCapacity(position);
    return true;
}

uint32_t OutputDataBuffer::tell() { return m_target != nullptr ? m_position : 0; }

uint32_t OutputDataBuffer::writeBytes(const void* data, uint32_t itemSize, uint32_t itemCount) {
    if (data == nullptr || itemSize == 0 || itemCount == 0 || m_target == nullptr) return 0;
    const uint64_t bytes = static_cast<uint64_t>(itemSize) * itemCount;
    const uint64_t needed = m_position + bytes + kGrowthSlackBytes;
    if (needed > kMaxBufferBytes) return 0;
    if (m_target->getCapacity() < needed) {
        const uint64_t grown = needed + needed / 2;
        m_target->ensureCapacity(static_cast<uint32_t>(grown > kMaxBufferBytes ? kMaxBufferBytes : grown));
    }
    uint8_t* block = m_target->getData();
    const uint32_t size = m_target->getSize();
    // After a seek past the end, the gap up to the position becomes content:
    // zero it rather than expose whatever the block held.
    if (m_position > size) std::memset(block + size, 0, m_position - size);
    std::memcpy(block + m_position, data, static_cast<size_t>(bytes));
    m_position += static_cast<uint32_t>(bytes);
    if (m_target->getSize() < m_position) m_target->setSize(m_position);
    return static_cast<uint32_t>(bytes);
}
