#pragma once
// HmacSha1: HMAC (RFC 2104) over SHA-1. Keys longer than the 64-byte block
// are first hashed; the keyed state can be copied, which lets PBKDF2 key
// once and reuse the state for every iteration.

#include <cstdint>

#include "crypto/Sha1.h"

constexpr uint32_t kHmacSha1Bytes = kSha1DigestBytes;

class HmacSha1 {
public:
    // Keyed with the empty key.
    HmacSha1();
    ~HmacSha1();

    HmacSha1(const HmacSha1&) = default;
    HmacSha1& operator=(const HmacSha1&) = default;

    // Sets the key and starts a new message. A null key with length 0 is
    // the empty key.
    void init(const void* key, uint32_t keyLen);
    // Adds len bytes to the message.
    void update(const void* data, uint32_t len);
    // Writes the 20-byte code to out and starts a new message under the same
    // key.
    void final(uint8_t* out);

    // One-shot code of a message under a key, into out (20 bytes).
    static void mac(const void* key, uint32_t keyLen, const void* data, uint32_t len, uint8_t* out);

private:
    // SHA-1 states after absorbing key ^ ipad and key ^ opad.
    Sha1 m_innerKeyed;
    Sha1 m_outerKeyed;
    // The running inner hash of the current message.
    Sha1 m_inner;
};
