// A DataSource over a block of memory it does not own.
#pragma once

#include <cstdint>

#include "io/DataSource.h"

class MemoryDataSource : public DataSource {
public:
    MemoryDataSource() = default;
    MemoryDataSource(const void* data, uint32_t size) { setData(data, size); }

    // Points the source at size bytes at data (borrowed; they must stay valid
    // while the source reads them) and rewinds it.
    void setData(const void* data, uint32_t size);

    // Copies up to maxBytes from the position; false when nothing remains.
    // Whole-block case: a buffer that is the source's own data pointer with
    // maxBytes equal to the size delivers the whole block without copying,
    // once: at a position other than 0 it returns false.
    bool readBytes(void* buffer, uint32_t maxBytes, uint32_t* bytesRead) override;
    // position >= size.
    bool endOfData() override;
    // Byte-by-byte search from the position; on success the position is just
    // after the match. When fewer than 4 bytes remain the search fails and the
    // position stays where it ended.
    bool findUint32(uint32_t key, uint32_t* bytesSkipped) override;

    uint32_t getPosition() const { return m_position; }
    uint32_t getSize() const { return m_size; }

private:
    const uint8_t* m_data = nullptr;
    uint32_t m_size = 0;
    uint32_t m_position = 0;
};
