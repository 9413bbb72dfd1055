#include "compress/MemoryDataSink.h"

MemoryDataSink::MemoryDataSink() = default;

MemoryDataSink::~MemoryDataSink() = default;

bool MemoryDataSink::write(const uint8_t* data, uint32_t size) {
    uint32_t accepted = m_ring.write(data, size);
    if (accepted > 0) noteAccepted(accepted);
    return accepted == size;
}

uint32_t MemoryDataSink::bytesIn() { return m_totalWritten; }

uint32_t MemoryDataSink::pendingBytes() { return m_ring.count(); }

bool MemoryDataSink::freeSpace(uint32_t& count) {
    count = m_ring.freeBytes();
    return count > 0;
}
