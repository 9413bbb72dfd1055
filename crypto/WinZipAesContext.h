#pragma once
// WinZipAesContext: the per-entry state of WinZip AES encryption: AES in
// counter mode with the WinZip counter convention, and HMAC-SHA1 over the
// ciphertext. WinZipAes builds one on its stack for each operation.
//
// Format notes:
// - The counter block is 16 bytes, starting at zero. Before each keystream
//   block it is incremented as a little-endian number over its first 8 bytes
//   only (a carry out of byte 7 is dropped; bytes 8..15 stay zero), so the
//   first block is the encryption of counter value 1. This differs from the
//   big-endian counter of NIST SP 800-38A.
// - The authentication code covers the ciphertext only, in stream order, and
//   is the first 10 bytes of the HMAC-SHA1 value.

#include <cstdint>

#include "crypto/AesCore.h"
#include "crypto/HmacSha1.h"
#include "crypto/WinZipAesFormat.h"

class WinZipAesContext {
public:
    // Not set up: encrypt and decrypt do nothing until setup succeeds.
    WinZipAesContext();
    // Overwrites the keystream, counter, verifier and key schedule.
    ~WinZipAesContext();

    WinZipAesContext(const WinZipAesContext&) = delete;
    WinZipAesContext& operator=(const WinZipAesContext&) = delete;

    // The strength code for 1, 2, 3 or 128, 192, 256; 0 for anything else.
    static int32_t normaliseStrength(int32_t strength);

    // Derives the keys from the password and the salt (whose length follows
    // from the strength) and resets the counter. Fails (false) when the
    // password is longer than 128 bytes, the strength is not one of 1..3 or
    // 128/192/256, or a pointer is null with a nonzero length.
    bool setup(const uint8_t* password, uint32_t passwordLen, const uint8_t* salt, int32_t strength);

    bool isReady() const { return m_strength != 0; }
    // The strength code 1..3 after setup.
    int32_t strength() const { return m_strength; }
    // The 2 derived verifier bytes after setup.
    const uint8_t* verifier() const { return m_verifier; }

    // Enciphers count bytes in place, then adds the ciphertext to the HMAC.
    void encrypt(uint8_t* buffer, uint32_t count);
    // Adds the ciphertext to the HMAC, then deciphers count bytes in place.
    void decrypt(uint8_t* buffer, uint32_t count);
    // Writes the 10-byte authentication code of all ciphertext so far.
    void authCode(uint8_t* out);

private:
    void applyKeystream(uint8_t* buffer, uint32_t count);
    void incrementCounter();
    void wipe();

    uint8_t m_counter[kAesBlockBytes];
    uint8_t m_keystream[kAesBlockBytes];
    // Next unused byte of m_keystream; 16 means "make a new block first".
    uint32_t m_position;
    AesCore m_aes;
    HmacSha1 m_hmac;
    uint32_t m_passwordLen;
    int32_t m_strength;
    uint8_t m_verifier[kWinZipAesVerifierBytes];
};
