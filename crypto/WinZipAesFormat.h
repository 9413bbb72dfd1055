#pragma once
// Layout constants of WinZip AES entry data (AE-1 / AE-2):
//
//   salt (8, 12 or 16 bytes by strength 1, 2, 3)
//   password verifier (2 bytes)
//   ciphertext (same length as the plaintext; AES-CTR)
//   authentication code (10 bytes: HMAC-SHA1 of the ciphertext, truncated)
//
// The keys come from PBKDF2-HMAC-SHA1 with 1000 iterations over the password
// and salt: AES key, then HMAC key (each 16, 24 or 32 bytes), then the
// 2-byte verifier.

#include <cstdint>

// Strength codes 1, 2, 3 select AES-128, AES-192 and AES-256.
constexpr int32_t kWinZipAesStrength128 = 1;
constexpr int32_t kWinZipAesStrength192 = 2;
constexpr int32_t kWinZipAesStrength256 = 3;

constexpr uint32_t kWinZipAesVerifierBytes = 2;
constexpr uint32_t kWinZipAesAuthCodeBytes = 10;
constexpr uint32_t kWinZipAesMaxSaltBytes = 16;
constexpr uint32_t kWinZipAesMaxKeyBytes = 32;
constexpr uint32_t kWinZipAesKdfIterations = 1000;
// Longer passwords are refused by the key set-up.
constexpr uint32_t kWinZipAesMaxPasswordBytes = 128;
// Encryption reads and enciphers the plaintext in slices of this size.
constexpr uint32_t kWinZipAesSliceBytes = 8096;

// Salt length for a strength code 1..3: 4 x strength + 4 (8, 12, 16 bytes).
constexpr uint32_t winZipAesSaltBytes(int32_t strength) { return 4u * uint32_t(strength) + 4u; }
// AES key and HMAC key length for a strength code 1..3: 16, 24, 32 bytes.
constexpr uint32_t winZipAesKeyBytes(int32_t strength) { return 8u * (uint32_t(strength) + 1u); }
