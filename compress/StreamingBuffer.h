#pragma once
// StreamingBuffer: a ring buffer of bytes. A producer writes as much as fits;
// a consumer peeks at the held bytes (one region, or two when they wrap
// around the end of the storage) and consumes what it used.

#include <cstdint>

class StreamingBuffer {
public:
    // No storage: every write accepts 0 bytes until init.
    StreamingBuffer();
    ~StreamingBuffer();

    StreamingBuffer(const StreamingBuffer&) = delete;
    StreamingBuffer& operator=(const StreamingBuffer&) = delete;

    // Releases the storage, then allocates `capacity` bytes (none for 0):
    // empty, all of it free. False when the allocation fails (the ring is
    // then without storage).
    bool init(uint32_t capacity);
    // Frees the storage; the ring holds nothing and accepts nothing.
    void release();

    // Stores the smaller of len and the free space; returns that count.
    // Into an empty ring the bytes go to the start of the storage.
    uint32_t write(const void* data, uint32_t len);
    // The held bytes in order: first from the read position to the end of the
    // storage (at most count()), then, when they wrap, from the start. A
    // missing region is null with length 0.
    void peek(const uint8_t*& first, uint32_t& firstLen, const uint8_t*& second, uint32_t& secondLen) const;
    // Drops up to n held bytes from the front (n is limited to count()).
    void consume(uint32_t n);

    uint32_t capacity() const { return m_capacity; }
    uint32_t freeBytes() const { return m_free; }
    uint32_t count() const { return m_count; }

private:
    uint8_t* m_storage;
    uint32_t m_capacity;
    uint32_t m_free;
    uint32_t m_writePos;
    uint32_t m_count;
    uint32_t m_readPos;
};
