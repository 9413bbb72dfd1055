#pragma once
// HmacSha256: HMAC (RFC 2104) over SHA-256. Keys longer than the 64-byte
// block are first hashed; the keyed state can be copied, which lets PBKDF2
// key once and reuse the state for every iteration.

#include <cstdint>

#include "crypto/Sha256.h"

constexpr uint32_t kHmacSha256Bytes = kSha256DigestBytes;

class HmacSha256 {
public:
    // Keyed with the empty key.
    HmacSha256();
    ~HmacSha256();

    HmacSha256(const HmacSha256&) = default;
    HmacSha256& operator=(const HmacSha256&) = default;

    // Sets the key and starts a new message. A null key with length 0 is
    // the empty key.
    void init(const void* key, uint32_t keyLen);
    // Adds len bytes to the message.
    void update(const void* data, uint32_t len);
    // Writes the 32-byte code to out and starts a new message under the same
    // key.
    void final(uint8_t* out);

    // One-shot code of a message under a key, into out (32 bytes).
    static void mac(const void* key, uint32_t keyLen, const void* data, uint32_t len, uint8_t* out);

private:
    // SHA-256 states after absorbing key ^ ipad and key ^ opad.
    Sha256 m_innerKeyed;
    Sha256 m_outerKeyed;
    // The running inner hash of the current message, and the outer hash's
    // working copy (a member, so that the many codes of PBKDF2 do not
    // create and wipe a new one each).
    Sha256 m_inner;
    Sha256 m_outer;
};
