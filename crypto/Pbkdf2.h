#pragma once
// Pbkdf2: the password-based key derivation PBKDF2 of RFC 2898 (PKCS #5 v2.0)
// with HMAC-SHA1 or HMAC-SHA256 as the pseudo-random function. WinZip AES
// derives its AES key, HMAC key and password verifier from one run of the
// SHA-1 form; the payload's strong password mode uses the SHA-256 form.

#include <cstdint>

class Pbkdf2 {
public:
    // Derives outLen bytes into out from the password and salt with the given
    // iteration count: T_i = U_1 ^ ... ^ U_c with U_1 = HMAC(P, S || INT(i)),
    // U_j = HMAC(P, U_{j-1}), output T_1 || T_2 || ... truncated to outLen.
    // Returns false (out untouched) when iterations is 0, out is null, or a
    // length is nonzero with a null pointer. outLen 0: true, nothing written.
    static bool deriveHmacSha1(const uint8_t* password, uint32_t passwordLen, const uint8_t* salt,
                               uint32_t saltLen, uint32_t iterations, uint8_t* out, uint32_t outLen);

    // The same with HMAC-SHA256 (32-byte blocks T_i), same contract.
    static bool deriveHmacSha256(const uint8_t* password, uint32_t passwordLen, const uint8_t* salt,
                                 uint32_t saltLen, uint32_t iterations, uint8_t* out, uint32_t outLen);
};
