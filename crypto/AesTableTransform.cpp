#include "crypto/AesTableTransform.h"

#include <cstring>

#include "crypto/AesCore.h"

// Format notes.
// - A state column is one 32-bit word with row 0 in the least significant
//   byte: the four bytes of a column load little-endian, in the order
//   FIPS-197 section 3.4 lays the input out into the state.
// - MixColumns multiplies each column by the matrix with rows (2 3 1 1),
//   (1 2 3 1), (1 1 2 3), (3 1 1 2); a byte in row r contributes column r of
//   that matrix times the byte. Column 0 is (2, 1, 1, 3); column r is column
//   0 rotated down by r rows, which in this word layout is a left rotation by
//   8r bits. InvMixColumns is the same with column 0 = (14, 9, 13, 11).
// - The tables are derived here, at compile time, from the definitions of
//   FIPS-197: multiplication in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1
//   (section 4.2), the multiplicative inverse and affine transform that make
//   the S-box (section 5.1.1), and the two matrices (sections 5.1.3, 5.3.3).

namespace {

// ---------------------------------------------------------------------------
// GF(2^8) arithmetic (FIPS-197 section 4.2)

constexpr uint8_t kReductionLowBits = 0x1b;  // x^8 = x^4 + x^3 + x + 1

constexpr uint8_t xtime(uint8_t a) {
    return static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? kReductionLowBits : 0));
}

constexpr uint8_t gfMultiply(uint8_t a, uint8_t b) {
    uint8_t product = 0;
    while (b != 0) {
        if (b & 1) product ^= a;
        a = xtime(a);
        b >>= 1;
    }
    return product;
}

// a^254 = a^-1 for a != 0; maps 0 to 0 as the S-box definition requires.
constexpr uint8_t gfInverse(uint8_t a) {
    uint8_t result = 1;
    uint8_t square = a;
    for (int exponent = 254; exponent != 0; exponent >>= 1) {
        if (exponent & 1) result = gfMultiply(result, square);
        square = gfMultiply(square, square);
    }
    return a == 0 ? 0 : result;
}

constexpr uint8_t rotateLeft8(uint8_t b, int n) { return static_cast<uint8_t>((b << n) | (b >> (8 - n))); }

constexpr uint32_t rotateLeft32(uint32_t w, int n) { return n == 0 ? w : (w << n) | (w >> (32 - n)); }

// A column from its four rows, row 0 first.
constexpr uint32_t packColumn(uint8_t row0, uint8_t row1, uint8_t row2, uint8_t row3) {
    return static_cast<uint32_t>(row0) | (static_cast<uint32_t>(row1) << 8) |
           (static_cast<uint32_t>(row2) << 16) | (static_cast<uint32_t>(row3) << 24);
}

// ---------------------------------------------------------------------------
// Tables

constexpr uint8_t kAffineConstant = 0x63;  // the constant c of FIPS-197 (5.1)

struct AesTables {
    // encrypt[r][x]: SubBytes of x, times column r of the MixColumns matrix.
    uint32_t encrypt[4][256];
    // decrypt[r][x]: InvSubBytes of x, times column r of InvMixColumns.
    uint32_t decrypt[4][256];
    uint8_t sbox[256];     // SubBytes, byte in -> byte out
    uint8_t invSbox[256];  // InvSubBytes
};

constexpr void fillTables(AesTables& t) {
    for (int x = 0; x < 256; ++x) {
        const uint8_t b = gfInverse(static_cast<uint8_t>(x));
        const uint8_t s = static_cast<uint8_t>(b ^ rotateLeft8(b, 1) ^ rotateLeft8(b, 2) ^ rotateLeft8(b, 3) ^
                                               rotateLeft8(b, 4) ^ kAffineConstant);
        t.sbox[x] = s;
        t.invSbox[s] = static_cast<uint8_t>(x);
    }
    for (int x = 0; x < 256; ++x) {
        const uint8_t s = t.sbox[x];
        const uint8_t si = t.invSbox[x];
        const uint32_t e = packColumn(gfMultiply(s, 2), s, s, gfMultiply(s, 3));
        const uint32_t d =
            packColumn(gfMultiply(si, 14), gfMultiply(si, 9), gfMultiply(si, 13), gfMultiply(si, 11));
        for (int r = 0; r < 4; ++r) {
            t.encrypt[r][x] = rotateLeft32(e, 8 * r);
            t.decrypt[r][x] = rotateLeft32(d, 8 * r);
        }
    }
}

constexpr AesTables buildTables() {
    AesTables t{};
    fillTables(t);
    return t;
}

// Spot checks against the printed tables of FIPS-197 (figures 7 and 14).
constexpr AesTables kCheckedTables = buildTables();
static_assert(kCheckedTables.sbox[0x00] == 0x63 && kCheckedTables.sbox[0x53] == 0xed &&
              kCheckedTables.sbox[0xff] == 0x16);
static_assert(kCheckedTables.invSbox[0x00] == 0x52 && kCheckedTables.invSbox[0xed] == 0x53);

// Filled when the program starts rather than stored: 8.5 KiB less in every
// program that carries the cipher (the stub's size is a feature). Cache-line
// aligned so the round tables touch as few lines as possible.
alignas(64) AesTables g_tables;
const bool g_tablesFilled = (fillTables(g_tables), true);
const AesTables& kTables = g_tables;

// ---------------------------------------------------------------------------
// Helpers

inline uint32_t row(uint32_t column, int r) { return (column >> (8 * r)) & 0xff; }

inline uint32_t loadColumn(const uint8_t* p) { return packColumn(p[0], p[1], p[2], p[3]); }

inline void storeColumn(uint32_t w, uint8_t* p) {
    p[0] = static_cast<uint8_t>(w);
    p[1] = static_cast<uint8_t>(w >> 8);
    p[2] = static_cast<uint8_t>(w >> 16);
    p[3] = static_cast<uint8_t>(w >> 24);
}

// SubWord of the key expansion (FIPS-197 section 5.2).
inline uint32_t subWord(uint32_t w) {
    return packColumn(kTables.sbox[row(w, 0)], kTables.sbox[row(w, 1)], kTables.sbox[row(w, 2)],
                      kTables.sbox[row(w, 3)]);
}

// RotWord: [a0, a1, a2, a3] -> [a1, a2, a3, a0].
inline uint32_t rotWord(uint32_t w) { return (w >> 8) | (w << 24); }

// InvMixColumns of one column. decrypt[r] starts with InvSubBytes, so each
// byte first goes through the S-box to cancel it.
inline uint32_t invMixColumn(uint32_t w) {
    return kTables.decrypt[0][kTables.sbox[row(w, 0)]] ^ kTables.decrypt[1][kTables.sbox[row(w, 1)]] ^
           kTables.decrypt[2][kTables.sbox[row(w, 2)]] ^ kTables.decrypt[3][kTables.sbox[row(w, 3)]];
}

// One 16-byte state as four columns in registers.
struct State {
    uint32_t c0, c1, c2, c3;
};

inline State loadState(const uint8_t* p) {
    return {loadColumn(p), loadColumn(p + 4), loadColumn(p + 8), loadColumn(p + 12)};
}

inline void storeState(const State& s, uint8_t* p) {
    storeColumn(s.c0, p);
    storeColumn(s.c1, p + 4);
    storeColumn(s.c2, p + 8);
    storeColumn(s.c3, p + 12);
}

inline State addRoundKey(const State& s, const uint32_t* k) {
    return {s.c0 ^ k[0], s.c1 ^ k[1], s.c2 ^ k[2], s.c3 ^ k[3]};
}

// SubBytes, ShiftRows (row r of output column c comes from column c + r),
// MixColumns by table, AddRoundKey.
inline uint32_t encryptColumn(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k) {
    const auto& t = kTables.encrypt;
    return t[0][row(a, 0)] ^ t[1][row(b, 1)] ^ t[2][row(c, 2)] ^ t[3][row(d, 3)] ^ k;
}

inline State encryptRound(const State& s, const uint32_t* k) {
    return {encryptColumn(s.c0, s.c1, s.c2, s.c3, k[0]), encryptColumn(s.c1, s.c2, s.c3, s.c0, k[1]),
            encryptColumn(s.c2, s.c3, s.c0, s.c1, k[2]), encryptColumn(s.c3, s.c0, s.c1, s.c2, k[3])};
}

// The final round has no MixColumns: SubBytes after ShiftRows, AddRoundKey.
inline uint32_t encryptFinalColumn(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k) {
    const uint8_t* s = kTables.sbox;
    return packColumn(s[row(a, 0)], s[row(b, 1)], s[row(c, 2)], s[row(d, 3)]) ^ k;
}

inline State encryptFinalRound(const State& s, const uint32_t* k) {
    return {
        encryptFinalColumn(s.c0, s.c1, s.c2, s.c3, k[0]), encryptFinalColumn(s.c1, s.c2, s.c3, s.c0, k[1]),
        encryptFinalColumn(s.c2, s.c3, s.c0, s.c1, k[2]), encryptFinalColumn(s.c3, s.c0, s.c1, s.c2, k[3])};
}

// Equivalent inverse cipher round: InvShiftRows takes row r of output column
// c from column c - r.
inline uint32_t decryptColumn(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k) {
    const auto& t = kTables.decrypt;
    return t[0][row(a, 0)] ^ t[1][row(b, 1)] ^ t[2][row(c, 2)] ^ t[3][row(d, 3)] ^ k;
}

inline State decryptRound(const State& s, const uint32_t* k) {
    return {decryptColumn(s.c0, s.c3, s.c2, s.c1, k[0]), decryptColumn(s.c1, s.c0, s.c3, s.c2, k[1]),
            decryptColumn(s.c2, s.c1, s.c0, s.c3, k[2]), decryptColumn(s.c3, s.c2, s.c1, s.c0, k[3])};
}

inline uint32_t decryptFinalColumn(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint32_t k) {
    const uint8_t* s = kTables.invSbox;
    return packColumn(s[row(a, 0)], s[row(b, 1)], s[row(c, 2)], s[row(d, 3)]) ^ k;
}

inline State decryptFinalRound(const State& s, const uint32_t* k) {
    return {
        decryptFinalColumn(s.c0, s.c3, s.c2, s.c1, k[0]), decryptFinalColumn(s.c1, s.c0, s.c3, s.c2, k[1]),
        decryptFinalColumn(s.c2, s.c1, s.c0, s.c3, k[2]), decryptFinalColumn(s.c3, s.c2, s.c1, s.c0, k[3])};
}

// Cipher (FIPS-197 section 5.1): AddRoundKey, rounds 1 .. Nr-1 by table,
// the final round without MixColumns. Two rounds per pass, the last pass
// leaving one round for the final one (Nr is even).
inline State encryptState(State s, const uint32_t* k, int32_t rounds) {
    s = addRoundKey(s, k);
    for (int32_t pairs = rounds / 2;;) {
        const State t = encryptRound(s, k + 4);
        k += 8;
        if (--pairs == 0) return encryptFinalRound(t, k);
        s = encryptRound(t, k);
    }
}

// EqInvCipher (FIPS-197 section 5.3.5) over the inverted schedule.
inline State decryptState(State s, const uint32_t* k, int32_t rounds) {
    s = addRoundKey(s, k);
    for (int32_t pairs = rounds / 2;;) {
        const State t = decryptRound(s, k + 4);
        k += 8;
        if (--pairs == 0) return decryptFinalRound(t, k);
        s = decryptRound(t, k);
    }
}

}  // namespace

const uint32_t* aesTableRowTable(bool decrypt) { return decrypt ? kTables.decrypt[0] : kTables.encrypt[0]; }

const uint8_t* aesTableSbox(bool decrypt) { return decrypt ? kTables.invSbox : kTables.sbox; }

// KeyExpansion (FIPS-197 section 5.2): the key fills the first Nk words; each
// later word is the word Nk before it XOR the previous word, transformed at
// every Nk-th position by RotWord, SubWord and the round constant, and for
// 256-bit keys by SubWord alone half-way between.
void aesTableExpandKey(const uint8_t* key, uint32_t keyWords, int32_t rounds, uint32_t* roundKeys) {
    const uint32_t totalWords = static_cast<uint32_t>(rounds + 1) * kAesWordsPerRoundKey;
    for (uint32_t i = 0; i < keyWords; ++i) roundKeys[i] = loadColumn(key + 4 * i);

    uint8_t roundConstant = 0x01;  // Rcon[1] = x^0 in row 0; each next one is times x
    for (uint32_t i = keyWords; i < totalWords; ++i) {
        uint32_t temp = roundKeys[i - 1];
        if (i % keyWords == 0) {
            temp = subWord(rotWord(temp)) ^ roundConstant;
            roundConstant = xtime(roundConstant);
        } else if (keyWords > 6 && i % keyWords == 4) {
            temp = subWord(temp);
        }
        roundKeys[i] = roundKeys[i - keyWords] ^ temp;
    }
}

// Equivalent inverse cipher schedule (FIPS-197 section 5.3.5): the round keys
// in reverse order, and InvMixColumns applied to round keys 1 to Nr-1 so that
// AddRoundKey can follow InvMixColumns inside each table round.
void aesTableInvertSchedule(uint32_t* roundKeys, int32_t rounds) {
    for (int32_t low = 0, high = rounds; low < high; ++low, --high) {
        for (uint32_t c = 0; c < kAesWordsPerRoundKey; ++c) {
            const uint32_t a = roundKeys[low * kAesWordsPerRoundKey + c];
            roundKeys[low * kAesWordsPerRoundKey + c] = roundKeys[high * kAesWordsPerRoundKey + c];
            roundKeys[high * kAesWordsPerRoundKey + c] = a;
        }
    }
    for (int32_t r = 1; r < rounds; ++r) {
        for (uint32_t c = 0; c < kAesWordsPerRoundKey; ++c) {
            uint32_t& w = roundKeys[r * kAesWordsPerRoundKey + c];
            w = invMixColumn(w);
        }
    }
}

void aesTableEncryptBlocks(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in, uint8_t* out,
                           size_t blocks) {
    for (; blocks != 0; --blocks, in += kAesBlockBytes, out += kAesBlockBytes)
        storeState(encryptState(loadState(in), roundKeys, rounds), out);
}

void aesTableDecryptBlocks(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in, uint8_t* out,
                           size_t blocks) {
    for (; blocks != 0; --blocks, in += kAesBlockBytes, out += kAesBlockBytes)
        storeState(decryptState(loadState(in), roundKeys, rounds), out);
}

// C[i] = E(P[i] xor C[i-1]), C[-1] = the chain block.
void aesTableEncryptCbc(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in, uint8_t* out,
                        size_t blocks, uint8_t* chain) {
    State previous = loadState(chain);
    for (; blocks != 0; --blocks, in += kAesBlockBytes, out += kAesBlockBytes) {
        const State plain = loadState(in);
        const State mixed = {plain.c0 ^ previous.c0, plain.c1 ^ previous.c1, plain.c2 ^ previous.c2,
                             plain.c3 ^ previous.c3};
        previous = encryptState(mixed, roundKeys, rounds);
        storeState(previous, out);
    }
    storeState(previous, chain);
}

// P[i] = D(C[i]) xor C[i-1], C[-1] = the chain block. The previous
// ciphertext block waits in memory rather than in registers, which the
// rounds need; the current one is copied there before the output is
// written, so in and out may be the same memory.
void aesTableDecryptCbc(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in, uint8_t* out,
                        size_t blocks, uint8_t* chain) {
    uint8_t previous[kAesBlockBytes];
    std::memcpy(previous, chain, kAesBlockBytes);
    for (; blocks != 0; --blocks, in += kAesBlockBytes, out += kAesBlockBytes) {
        const State d = decryptState(loadState(in), roundKeys, rounds);
        const State p = loadState(previous);
        std::memcpy(previous, in, kAesBlockBytes);
        storeState({d.c0 ^ p.c0, d.c1 ^ p.c1, d.c2 ^ p.c2, d.c3 ^ p.c3}, out);
    }
    std::memcpy(chain, previous, kAesBlockBytes);
}
