#pragma once
// BlockBuffer — the plain byte array that the block-to-block cipher operations
// read and write. It owns its data; its capacity is always a whole number of
// 16-byte cipher blocks, so a cipher can process the whole capacity while the
// logical length records how many of those bytes are meaningful.

#include <cstdint>

class BlockBuffer {
public:
    // The unit the capacity is rounded to: one AES/Twofish block.
    static constexpr uint32_t kBlockBytes = 16;

    // No data; length and capacity 0.
    BlockBuffer();
    // Frees the data.
    ~BlockBuffer();

    BlockBuffer(const BlockBuffer&) = delete;
    BlockBuffer& operator=(const BlockBuffer&) = delete;

    // Frees the data; length and capacity become 0.
    void clear();

    // clear(), then allocates n bytes rounded up to the next multiple of 16,
    // all zero, with length 0. Returns false (and stays cleared) when the
    // rounded size does not fit 32 bits or the allocation fails. reserve(0)
    // leaves the buffer cleared and returns true.
    bool reserve(uint32_t n);

    // The data (null when there is none).
    uint8_t* data() { return m_data; }
    const uint8_t* data() const { return m_data; }

    // Logical length in bytes (at most the capacity).
    uint32_t length() const { return m_length; }
    // Allocated size in bytes, a multiple of 16.
    uint32_t capacity() const { return m_capacity; }

    // Sets the logical length; a value above the capacity is cut to it.
    void setLength(uint32_t n);

private:
    uint8_t* m_data;
    uint32_t m_length;
    uint32_t m_capacity;
};
