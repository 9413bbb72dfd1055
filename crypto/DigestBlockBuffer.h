#pragma once
// DigestBlockBuffer: the message buffering and padding shared by the digests
// that hash 64-byte blocks and end the message with its length in bits as a
// big-endian 64-bit number (SHA-1 and SHA-256, FIPS 180-4 section 5.1.1).
//
// The digest keeps its own chaining state and passes its compression
// function to update and finish; whole blocks of the input are compressed
// where they lie, only a partial block is copied.

#include <cstdint>
#include <cstring>

#include "core/ByteOrder.h"

class DigestBlockBuffer {
public:
    static constexpr uint32_t kBlockBytes = 64;

    void reset() {
        m_totalBytes = 0;
        m_bufferedBytes = 0;
        std::memset(m_buffer, 0, sizeof m_buffer);
    }

    // Adds len bytes; compress(block) is called for each full block.
    template <class Compress>
    void update(const void* data, uint32_t len, Compress&& compress) {
        if (data == nullptr || len == 0) return;
        const uint8_t* p = static_cast<const uint8_t*>(data);
        m_totalBytes += len;
        if (m_bufferedBytes > 0) {
            uint32_t take = kBlockBytes - m_bufferedBytes;
            if (take > len) take = len;
            std::memcpy(m_buffer + m_bufferedBytes, p, take);
            m_bufferedBytes += take;
            p += take;
            len -= take;
            if (m_bufferedBytes < kBlockBytes) return;
            compress(m_buffer);
            m_bufferedBytes = 0;
        }
        while (len >= kBlockBytes) {
            compress(p);
            p += kBlockBytes;
            len -= kBlockBytes;
        }
        if (len > 0) {
            std::memcpy(m_buffer, p, len);
            m_bufferedBytes = len;
        }
    }

    // Pads the message (a 1 bit, zeros up to 448 mod 512 bits, the 64-bit
    // length) and compresses the last one or two blocks.
    template <class Compress>
    void finish(Compress&& compress) {
        const uint64_t totalBits = m_totalBytes * 8u;
        m_buffer[m_bufferedBytes++] = 0x80;
        if (m_bufferedBytes > kBlockBytes - kLengthFieldBytes) {
            std::memset(m_buffer + m_bufferedBytes, 0, kBlockBytes - m_bufferedBytes);
            compress(m_buffer);
            m_bufferedBytes = 0;
        }
        std::memset(m_buffer + m_bufferedBytes, 0, kBlockBytes - kLengthFieldBytes - m_bufferedBytes);
        storeBigEndian64(m_buffer + kBlockBytes - kLengthFieldBytes, totalBits);
        compress(m_buffer);
    }

private:
    static constexpr uint32_t kLengthFieldBytes = 8;

    // Message length so far in bytes (the format allows up to 2^64 - 1 bits).
    uint64_t m_totalBytes = 0;
    uint8_t m_buffer[kBlockBytes] = {};
    uint32_t m_bufferedBytes = 0;
};
