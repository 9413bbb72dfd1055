// BlowfishCore — the bare Blowfish block cipher: 64-bit blocks, 16 rounds,
// keys of 1 to 56 bytes.
//
// Format notes:
// - The initial P-array and S-boxes are the fractional hexadecimal digits of
//   pi, taken 32 bits at a time: P[0] = 0x243F6A88, P[1] = 0x85A308D3, ...,
//   P[17] = 0x8979FB1B, then S0[0] = 0xD1310BA6 ... S3[255] = 0x3AC372E6
//   (8,336 hex digits in all).
// - Key bytes are folded into the P-array as big-endian 32-bit words, the key
//   repeating cyclically.
// - A block is two 32-bit halves (left, right). How bytes map to the halves is
//   the caller's business: this file works on the words.
#pragma once

#include <cstdint>

constexpr uint32_t kBlowfishBlockBytes = 8;
constexpr uint32_t kBlowfishRounds = 16;
constexpr uint32_t kBlowfishPArrayWords = kBlowfishRounds + 2;
constexpr uint32_t kBlowfishSBoxCount = 4;
constexpr uint32_t kBlowfishSBoxWords = 256;
constexpr uint32_t kBlowfishMinKeyBytes = 1;
// 448 bits: with 18 subkeys of 32 bits, longer keys would leave key bytes
// that never reach P[16] and P[17] through a full mixing pass.
constexpr uint32_t kBlowfishMaxKeyBytes = 56;

// The published initial tables (digits of pi).
extern const uint32_t kBlowfishInitialP[kBlowfishPArrayWords];
extern const uint32_t kBlowfishInitialS[kBlowfishSBoxCount][kBlowfishSBoxWords];

// The key-dependent state of one key: 18 subkeys and four 8x32 S-boxes.
struct BlowfishSchedule {
    uint32_t p[kBlowfishPArrayWords];
    uint32_t s[kBlowfishSBoxCount][kBlowfishSBoxWords];
};

// Full key setup: reload the constants, XOR the key into the P-array, then
// replace P and the S-boxes with successive encryptions of a zero block.
// Requires 1 <= keyBytes <= 56 and key != null; returns false (schedule
// untouched) otherwise.
bool blowfishExpandKey(BlowfishSchedule& schedule, const uint8_t* key, uint32_t keyBytes);

// Encrypts / decrypts one block in place.
void blowfishEncryptBlock(const BlowfishSchedule& schedule, uint32_t& left, uint32_t& right);
void blowfishDecryptBlock(const BlowfishSchedule& schedule, uint32_t& left, uint32_t& right);
