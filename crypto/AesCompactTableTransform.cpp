#include "crypto/AesCompactTableTransform.h"

#include <cstring>

#include "crypto/AesTableTransform.h"

// Format notes: columns and schedules as in AesTableTransform.cpp. Row r of
// output column c takes its input byte from column c + r (ShiftRows) or
// c - r (InvShiftRows), that is c + r * step with step 1 or 3 modulo 4; its
// table entry is the row-0 column rotated left by 8r bits.

namespace {

constexpr uint32_t kColumns = 4;
constexpr size_t kBlockBytes = 16;
constexpr uint32_t kEncryptStep = 1;  // ShiftRows: row r from column c + r
constexpr uint32_t kDecryptStep = 3;  // InvShiftRows: row r from column c - r

inline uint32_t rowByte(uint32_t column, uint32_t r) { return (column >> (8 * r)) & 0xff; }

inline uint32_t rotateLeft(uint32_t w, uint32_t bits) {
    return bits == 0 ? w : (w << bits) | (w >> (32 - bits));
}

// One block: AddRoundKey, rounds - 1 table rounds, the final round with
// the S-box alone.
void transformBlock(bool decrypt, const uint32_t* k, int32_t rounds, const uint8_t* in, uint8_t* out) {
    const uint32_t* table = aesTableRowTable(decrypt);
    const uint8_t* sbox = aesTableSbox(decrypt);
    const uint32_t step = decrypt ? kDecryptStep : kEncryptStep;
    uint32_t s[kColumns];
    for (uint32_t c = 0; c < kColumns; ++c, in += 4)
        s[c] = (in[0] | in[1] << 8 | in[2] << 16 | static_cast<uint32_t>(in[3]) << 24) ^ k[c];
    for (int32_t n = 1; n <= rounds; ++n) {
        k += kColumns;
        uint32_t t[kColumns];
        for (uint32_t c = 0; c < kColumns; ++c) {
            uint32_t column = k[c];
            for (uint32_t r = 0; r < kColumns; ++r) {
                const uint32_t b = rowByte(s[(c + r * step) % kColumns], r);
                column ^=
                    n < rounds ? rotateLeft(table[b], 8 * r) : static_cast<uint32_t>(sbox[b]) << (8 * r);
            }
            t[c] = column;
        }
        std::memcpy(s, t, sizeof(s));
    }
    for (uint32_t p = 0; p < kBlockBytes; ++p)
        out[p] = static_cast<uint8_t>(rowByte(s[p / kColumns], p % kColumns));
}

constexpr bool kEncrypt = false;
constexpr bool kDecrypt = true;

void xorBlock(uint8_t* to, const uint8_t* from) {
    for (size_t i = 0; i < kBlockBytes; ++i) to[i] ^= from[i];
}

}  // namespace

void aesCompactTableEncryptBlocks(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in, uint8_t* out,
                                  size_t blocks) {
    for (; blocks != 0; --blocks, in += kBlockBytes, out += kBlockBytes)
        transformBlock(kEncrypt, roundKeys, rounds, in, out);
}

void aesCompactTableDecryptBlocks(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in, uint8_t* out,
                                  size_t blocks) {
    for (; blocks != 0; --blocks, in += kBlockBytes, out += kBlockBytes)
        transformBlock(kDecrypt, roundKeys, rounds, in, out);
}

// C[i] = E(P[i] xor C[i-1]), C[-1] = the chain block.
void aesCompactTableEncryptCbc(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in, uint8_t* out,
                               size_t blocks, uint8_t* chain) {
    for (; blocks != 0; --blocks, in += kBlockBytes, out += kBlockBytes) {
        uint8_t mixed[kBlockBytes];
        std::memcpy(mixed, in, kBlockBytes);
        xorBlock(mixed, chain);
        transformBlock(kEncrypt, roundKeys, rounds, mixed, out);
        std::memcpy(chain, out, kBlockBytes);
    }
}

// P[i] = D(C[i]) xor C[i-1]. The ciphertext block is copied before the
// output is written, so in and out may be the same memory.
void aesCompactTableDecryptCbc(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in, uint8_t* out,
                               size_t blocks, uint8_t* chain) {
    for (; blocks != 0; --blocks, in += kBlockBytes, out += kBlockBytes) {
        uint8_t cipher[kBlockBytes];
        std::memcpy(cipher, in, kBlockBytes);
        transformBlock(kDecrypt, roundKeys, rounds, cipher, out);
        xorBlock(out, chain);
        std::memcpy(chain, cipher, kBlockBytes);
    }
}
