#pragma once
// HmacMD5: the MD5 engine (RFC 1321) in the classic init / update / final
// form over a context the caller holds. DigestMD5 wraps it for one-shot use.

#include <cstdint>

// MD5 state of one message in progress.
struct Md5Context {
    uint32_t state[4];     // A, B, C, D
    uint32_t bitCount[2];  // message length in bits, 64-bit, low word first
    uint8_t buffer[64];    // partial input block
};

class HmacMD5 {
public:
    static constexpr uint32_t kDigestBytes = 16;
    static constexpr uint32_t kBlockBytes = 64;

    HmacMD5() = default;
    virtual ~HmacMD5();

    // Sets the RFC 1321 initial state and a zero bit count.
    void md5Init(Md5Context& context);
    // Absorbs length bytes; null data or a length of 0 does nothing. Whole
    // blocks are compressed in place; only the tail is copied into the
    // context's buffer.
    void md5Update(Md5Context& context, const void* data, uint32_t length);
    // Appends the padding and the bit length, writes the 16-byte digest
    // (each state word least significant byte first), then fills the whole
    // context with zero bytes.
    void md5Final(uint8_t digest[16], Md5Context& context);
};
