// TwofishCore — the bare Twofish block cipher: 128-bit blocks, 16 rounds,
// 128-, 192- or 256-bit keys, with fully precomputed key-dependent S-boxes.
//
// Format notes:
// - Bytes map to 32-bit words least significant byte first, for the key, the
//   plaintext and the ciphertext alike.
// - The fixed permutations q0 and q1 are built from their published 4-bit
//   tables; the MDS matrix works in GF(2^8) modulo x^8+x^6+x^5+x^3+1 and the
//   Reed-Solomon matrix of the key schedule modulo x^8+x^6+x^3+x^2+1.
// - "Full keying": the key-dependent S-box chains for each byte position are
//   folded together with the MDS column into four 256-entry word tables, so
//   g(X) is four lookups and three XORs.
#pragma once

#include <cstdint>

constexpr uint32_t kTwofishBlockBytes = 16;
constexpr uint32_t kTwofishRounds = 16;
// 4 input-whitening + 4 output-whitening + 2 per round.
constexpr uint32_t kTwofishSubkeyWords = 8 + 2 * kTwofishRounds;
constexpr uint32_t kTwofishMaxKeyBytes = 32;

struct TwofishSchedule {
    uint32_t subkeys[kTwofishSubkeyWords];
    // sbox[i][x]: MDS column i times the key-dependent S-box i applied to x.
    uint32_t sbox[4][256];
};

// Key setup. keyBits must be 128, 192 or 256 and key must hold keyBits / 8
// bytes; returns false (schedule untouched) otherwise.
bool twofishSetKey(TwofishSchedule& schedule, const uint8_t* key, uint32_t keyBits);

// Encrypts / decrypts one 16-byte block; in and out may be the same buffer.
void twofishEncryptBlock(const TwofishSchedule& schedule, const uint8_t* in, uint8_t* out);
void twofishDecryptBlock(const TwofishSchedule& schedule, const uint8_t* in, uint8_t* out);
