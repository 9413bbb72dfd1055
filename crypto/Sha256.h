#pragma once
// Sha256: the SHA-256 message digest of FIPS 180-4 (256-bit digest over
// 512-bit blocks, big-endian words and length). Used by HmacSha256 for the
// strong password mode's key derivation and authentication codes.

#include <cstdint>

#include "crypto/DigestBlockBuffer.h"

// Sizes fixed by FIPS 180-4.
constexpr uint32_t kSha256DigestBytes = 32;
constexpr uint32_t kSha256BlockBytes = 64;

class Sha256 {
public:
    // Ready for a new message (reset()).
    Sha256();
    // Overwrites the state and the buffered bytes.
    ~Sha256();

    Sha256(const Sha256&) = default;
    Sha256& operator=(const Sha256&) = default;

    // Starts a new message: the initial hash value of FIPS 180-4 5.3.3.
    void reset();
    // Adds len bytes to the message. A null data pointer adds nothing.
    void update(const void* data, uint32_t len);
    // Pads the message, writes the 32-byte digest to out and resets.
    void final(uint8_t* out);

    // One-shot digest of len bytes into out (32 bytes).
    static void digest(const void* data, uint32_t len, uint8_t* out);

private:
    void processBlock(const uint8_t* block);

    uint32_t m_state[8];
    DigestBlockBuffer m_blocks;
    static_assert(kSha256BlockBytes == DigestBlockBuffer::kBlockBytes);
};
