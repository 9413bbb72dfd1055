#pragma once
// StrongCipher: the keys of a strong-mode payload (payload/StrongFormat.h)
// and the sealing and opening of its fields.
//
// derive() runs the slow part once: PBKDF2-HMAC-SHA256 of the password and
// salt into a 32-byte master key, from which the cipher key, the MAC key
// and the password verifier are drawn. A sealed field is a random IV, the
// AES-CBC ciphertext (PKCS#7 padding) and an HMAC-SHA256 code over the
// field's kind, sequence number, context, IV and ciphertext. open() checks
// the code (in constant time) before it deciphers anything.
//
// The AES blocks go through AesCore, which uses the processor's AES
// instructions when it has them. Sealing draws its IVs from the system's
// random source and fails when that cannot be had.

#include <cstdint>

#include "crypto/AesCore.h"
#include "crypto/HmacSha256.h"
#include "payload/StrongFormat.h"

class DataBuffer;

class StrongCipher {
public:
    StrongCipher();
    // Overwrites every key.
    ~StrongCipher();

    StrongCipher(const StrongCipher&) = delete;
    StrongCipher& operator=(const StrongCipher&) = delete;

    // Derives all keys. keyBits 128, 192 or 256 (any other value counts as
    // 256, as the header's key length code does). False (and not ready)
    // for an iteration count outside kMinIterations..kMaxIterations.
    bool derive(const uint8_t* password, uint32_t passwordBytes, const uint8_t* salt, uint32_t iterations,
                int32_t keyBits);
    // The same keys as another, ready cipher (for a second reader or a
    // worker thread); false when other is not ready.
    bool copyKeysFrom(const StrongCipher& other);

    bool isReady() const { return m_ready; }
    // The 32-byte verifier of the derived keys.
    const uint8_t* verifier() const { return m_verifier; }
    // True when stored (32 bytes) is this verifier; a constant-time
    // comparison, so a timing observer learns nothing of how much matched.
    bool verifierMatches(const uint8_t* stored) const;
    // The OR of the byte differences between stored and this verifier (what
    // verifierMatches tests for 0): every byte is compared, whatever the
    // first difference.
    uint8_t verifierDifference(const uint8_t* stored) const;

    // The settings code: over the SHA-256 digest of the header and settings
    // table as stored, and the key record from its tag to the verifier.
    void settingsCode(const uint8_t* settingsDigest, const uint8_t* recordHead, uint32_t recordHeadBytes,
                      uint8_t* code) const;

    // First half of sealing (any thread): a random IV, then the padded
    // ciphertext of plain, into sealed (replacing its content). False when
    // the random source fails or the cipher is not ready.
    bool encipher(const uint8_t* plain, uint32_t plainBytes, DataBuffer& sealed) const;
    // Second half, in payload order: appends the code of the field under
    // its kind, sequence number and context.
    void appendCode(uint8_t kind, uint64_t sequence, const uint8_t* context, uint32_t contextBytes,
                    DataBuffer& sealed) const;
    // The same code into out (32 bytes), for IV and ciphertext held elsewhere.
    void code(uint8_t kind, uint64_t sequence, const uint8_t* context, uint32_t contextBytes,
              const uint8_t* ivAndCiphertext, uint32_t bytes, uint8_t* out) const;

    // Checks a sealed field's code, then deciphers it into plain (replacing
    // its content). False, plain empty, when the field is too short, not
    // whole blocks, its code does not match, or its padding is malformed.
    bool open(uint8_t kind, uint64_t sequence, const uint8_t* context, uint32_t contextBytes,
              const uint8_t* sealed, uint32_t sealedBytes, DataBuffer& plain) const;

    void wipe();

private:
    bool expand();

    AesCore m_encrypt;
    AesCore m_decrypt;
    uint8_t m_cipherKey[kAes256KeyBytes];
    uint32_t m_cipherKeyBytes;
    uint8_t m_macKey[StrongFormat::kMacBytes];
    uint8_t m_verifier[StrongFormat::kVerifierBytes];
    HmacSha256 m_keyedMac;  // keyed with m_macKey; copied for each code
    bool m_ready;
};
