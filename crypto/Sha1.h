#pragma once
// Sha1: the SHA-1 message digest of FIPS 180-4 (160-bit digest over 512-bit
// blocks, big-endian words and length). Used by HmacSha1 for the WinZip AES
// key derivation and authentication code.

#include <cstdint>

#include "crypto/DigestBlockBuffer.h"

// Sizes fixed by FIPS 180-4.
constexpr uint32_t kSha1DigestBytes = 20;
constexpr uint32_t kSha1BlockBytes = 64;

class Sha1 {
public:
    // Ready for a new message (reset()).
    Sha1();
    // Overwrites the state and the buffered bytes.
    ~Sha1();

    Sha1(const Sha1&) = default;
    Sha1& operator=(const Sha1&) = default;

    // Starts a new message: the initial hash value of FIPS 180-4 5.3.1.
    void reset();
    // Adds len bytes to the message. A null data pointer adds nothing.
    void update(const void* data, uint32_t len);
    // Pads the message, writes the 20-byte digest to out and resets.
    void final(uint8_t* out);

    // One-shot digest of len bytes into out (20 bytes).
    static void digest(const void* data, uint32_t len, uint8_t* out);

private:
    void processBlock(const uint8_t* block);

    uint32_t m_state[5];
    DigestBlockBuffer m_blocks;
    static_assert(kSha1BlockBytes == DigestBlockBuffer::kBlockBytes);
};
