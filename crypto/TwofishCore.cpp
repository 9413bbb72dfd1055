#include "crypto/TwofishCore.h"

#include <array>
#include <cstring>

namespace {

// ---------------------------------------------------------------------------
// Fixed permutations q0 and q1, each built from four 4-bit permutations
// t0..t3 (published tables; q0[0] = 0xA9, q1[0] = 0x75).
// ---------------------------------------------------------------------------

using BytePermutation = std::array<uint8_t, 256>;

constexpr uint8_t kQ0Nibbles[4][16] = {
    {0x8, 0x1, 0x7, 0xD, 0x6, 0xF, 0x3, 0x2, 0x0, 0xB, 0x5, 0x9, 0xE, 0xC, 0xA, 0x4},
    {0xE, 0xC, 0xB, 0x8, 0x1, 0x2, 0x3, 0x5, 0xF, 0x4, 0xA, 0x6, 0x7, 0x0, 0x9, 0xD},
    {0xB, 0xA, 0x5, 0xE, 0x6, 0xD, 0x9, 0x0, 0xC, 0x8, 0xF, 0x3, 0x2, 0x4, 0x7, 0x1},
    {0xD, 0x7, 0xF, 0x4, 0x1, 0x2, 0x6, 0xE, 0x9, 0xB, 0x3, 0x0, 0x8, 0x5, 0xC, 0xA},
};

constexpr uint8_t kQ1Nibbles[4][16] = {
    {0x2, 0x8, 0xB, 0xD, 0xF, 0x7, 0x6, 0xE, 0x3, 0x1, 0x9, 0x4, 0x0, 0xA, 0xC, 0x5},
    {0x1, 0xE, 0x2, 0xB, 0x4, 0xC, 0x3, 0x7, 0x6, 0xD, 0xA, 0x5, 0xF, 0x9, 0x0, 0x8},
    {0x4, 0xC, 0x7, 0x5, 0x1, 0x6, 0x9, 0xA, 0x0, 0xE, 0xD, 0x8, 0x2, 0xB, 0x3, 0xF},
    {0xB, 0x9, 0x5, 0x1, 0xC, 0x3, 0xD, 0xE, 0x6, 0x4, 0x7, 0xF, 0x2, 0x0, 0x8, 0xA},
};

constexpr uint8_t rotateRightNibble(uint8_t x) { return static_cast<uint8_t>(((x >> 1) | (x << 3)) & 0xF); }

// Two rounds of a 4-bit Feistel-like mix with the nibble tables between them.
constexpr BytePermutation buildPermutation(const uint8_t (&t)[4][16]) {
    BytePermutation q{};
    for (uint32_t x = 0; x < 256; ++x) {
        const uint8_t a0 = static_cast<uint8_t>(x >> 4);
        const uint8_t b0 = static_cast<uint8_t>(x & 0xF);
        const uint8_t a1 = a0 ^ b0;
        const uint8_t b1 = a0 ^ rotateRightNibble(b0) ^ static_cast<uint8_t>((a0 << 3) & 0xF);
        const uint8_t a2 = t[0][a1];
        const uint8_t b2 = t[1][b1];
        const uint8_t a3 = a2 ^ b2;
        const uint8_t b3 = a2 ^ rotateRightNibble(b2) ^ static_cast<uint8_t>((a2 << 3) & 0xF);
        const uint8_t a4 = t[2][a3];
        const uint8_t b4 = t[3][b3];
        q[x] = static_cast<uint8_t>((b4 << 4) | a4);
    }
    return q;
}

constexpr BytePermutation kQ0 = buildPermutation(kQ0Nibbles);
constexpr BytePermutation kQ1 = buildPermutation(kQ1Nibbles);
static_assert(kQ0[0] == 0xA9 && kQ1[0] == 0x75, "q permutations");

// ---------------------------------------------------------------------------
// GF(2^8) arithmetic for the MDS and Reed-Solomon matrices.
// ---------------------------------------------------------------------------

constexpr uint32_t kMdsModulus = 0x169;  // x^8 + x^6 + x^5 + x^3 + 1
constexpr uint32_t kRsModulus = 0x14D;   // x^8 + x^6 + x^3 + x^2 + 1

constexpr uint8_t gfMultiply(uint8_t a, uint8_t b, uint32_t modulus) {
    uint32_t result = 0;
    uint32_t shifted = a;
    for (uint32_t bits = b; bits != 0; bits >>= 1) {
        if (bits & 1) result ^= shifted;
        shifted <<= 1;
        if (shifted & 0x100) shifted ^= modulus;
    }
    return static_cast<uint8_t>(result);
}

constexpr uint8_t kMds[4][4] = {
    {0x01, 0xEF, 0x5B, 0x5B},
    {0x5B, 0xEF, 0xEF, 0x01},
    {0xEF, 0x5B, 0x01, 0xEF},
    {0xEF, 0x01, 0xEF, 0x5B},
};

constexpr uint8_t kReedSolomon[4][8] = {
    {0x01, 0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E},
    {0xA4, 0x56, 0x82, 0xF3, 0x1E, 0xC6, 0x68, 0xE5},
    {0x02, 0xA1, 0xFC, 0xC1, 0x47, 0xAE, 0x3D, 0x19},
    {0xA4, 0x55, 0x87, 0x5A, 0x58, 0xDB, 0x9E, 0x03},
};

// Column `column` of the MDS matrix times the byte y, as a little-endian word.
constexpr uint32_t mdsColumnTimes(uint32_t column, uint8_t y) {
    uint32_t word = 0;
    for (uint32_t row = 0; row < 4; ++row)
        word |= static_cast<uint32_t>(gfMultiply(kMds[row][column], y, kMdsModulus)) << (8 * row);
    return word;
}

// ---------------------------------------------------------------------------
// The function h: byte j of X runs through a chain of q permutations, each
// followed by an XOR with byte j of one key word, then a last permutation.
// The chain has k+1 permutations for a key of k 64-bit words; a shorter key
// starts further in.
// ---------------------------------------------------------------------------

constexpr uint32_t kMaxKeyWords64 = 4;
constexpr uint32_t kHStages = kMaxKeyWords64 + 1;

// kHChain[byte position][stage]: the permutation of each stage, innermost
// first. Stage s (s < 4) is followed by an XOR with key word L[3 - s].
const BytePermutation* const kHChain[4][kHStages] = {
    {&kQ1, &kQ1, &kQ0, &kQ0, &kQ1},
    {&kQ0, &kQ1, &kQ1, &kQ0, &kQ0},
    {&kQ0, &kQ0, &kQ0, &kQ1, &kQ1},
    {&kQ1, &kQ0, &kQ1, &kQ1, &kQ0},
};

inline uint8_t byteOf(uint32_t word, uint32_t index) { return static_cast<uint8_t>(word >> (8 * index)); }

// The S-box chain of h for one byte position (everything but the MDS step).
uint8_t keyedSBox(uint32_t position, uint8_t x, const uint32_t* keyWords, uint32_t keyWords64) {
    uint8_t y = x;
    for (uint32_t stage = kMaxKeyWords64 - keyWords64; stage < kMaxKeyWords64; ++stage)
        y = (*kHChain[position][stage])[y] ^ byteOf(keyWords[kMaxKeyWords64 - 1 - stage], position);
    return (*kHChain[position][kMaxKeyWords64])[y];
}

uint32_t functionH(uint32_t x, const uint32_t* keyWords, uint32_t keyWords64) {
    uint32_t z = 0;
    for (uint32_t position = 0; position < 4; ++position)
        z ^= mdsColumnTimes(position, keyedSBox(position, byteOf(x, position), keyWords, keyWords64));
    return z;
}

inline uint32_t rotateLeft(uint32_t x, uint32_t n) { return (x << n) | (x >> (32 - n)); }
inline uint32_t rotateRight(uint32_t x, uint32_t n) { return (x >> n) | (x << (32 - n)); }

inline uint32_t loadLittleEndian(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void storeLittleEndian(uint8_t* p, uint32_t word) {
    for (uint32_t i = 0; i < 4; ++i) p[i] = byteOf(word, i);
}

// Reed-Solomon code of one 8-byte key group: the word S_i of the S-box key.
uint32_t reedSolomonWord(const uint8_t* group) {
    uint32_t word = 0;
    for (uint32_t row = 0; row < 4; ++row) {
        uint8_t sum = 0;
        for (uint32_t column = 0; column < 8; ++column)
            sum ^= gfMultiply(kReedSolomon[row][column], group[column], kRsModulus);
        word |= static_cast<uint32_t>(sum) << (8 * row);
    }
    return word;
}

// Subkey pairs: A = h(2i * rho, Me), B = ROL(h((2i+1) * rho, Mo), 8) with
// rho = 0x01010101, then the pseudo-Hadamard transform.
void computeSubkeys(TwofishSchedule& schedule, const uint32_t* evenWords, const uint32_t* oddWords,
                    uint32_t keyWords64) {
    constexpr uint32_t kRho = 0x01010101;
    for (uint32_t i = 0; i < kTwofishSubkeyWords / 2; ++i) {
        const uint32_t a = functionH(2 * i * kRho, evenWords, keyWords64);
        const uint32_t b = rotateLeft(functionH((2 * i + 1) * kRho, oddWords, keyWords64), 8);
        schedule.subkeys[2 * i] = a + b;
        schedule.subkeys[2 * i + 1] = rotateLeft(a + 2 * b, 9);
    }
}

// Full keying: tabulate the key-dependent S-box of each byte position with
// its MDS column, so that g(X) becomes four table lookups.
void computeKeyedSBoxes(TwofishSchedule& schedule, const uint32_t* sboxKey, uint32_t keyWords64) {
    for (uint32_t position = 0; position < 4; ++position)
        for (uint32_t x = 0; x < 256; ++x)
            schedule.sbox[position][x] =
                mdsColumnTimes(position, keyedSBox(position, static_cast<uint8_t>(x), sboxKey, keyWords64));
}

inline uint32_t functionG(const TwofishSchedule& schedule, uint32_t x) {
    return schedule.sbox[0][byteOf(x, 0)] ^ schedule.sbox[1][byteOf(x, 1)] ^ schedule.sbox[2][byteOf(x, 2)] ^
           schedule.sbox[3][byteOf(x, 3)];
}

// F of round r: both g outputs combined by the pseudo-Hadamard transform and
// the round's two subkeys.
inline void roundFunction(const TwofishSchedule& schedule, uint32_t r0, uint32_t r1, uint32_t round,
                          uint32_t& f0, uint32_t& f1) {
    const uint32_t t0 = functionG(schedule, r0);
    const uint32_t t1 = functionG(schedule, rotateLeft(r1, 8));
    f0 = t0 + t1 + schedule.subkeys[8 + 2 * round];
    f1 = t0 + 2 * t1 + schedule.subkeys[9 + 2 * round];
}

}  // namespace

bool twofishSetKey(TwofishSchedule& schedule, const uint8_t* key, uint32_t keyBits) {
    if (key == nullptr || (keyBits != 128 && keyBits != 192 && keyBits != 256)) return false;
    const uint32_t keyWords64 = keyBits / 64;

    uint32_t evenWords[kMaxKeyWords64] = {};
    uint32_t oddWords[kMaxKeyWords64] = {};
    uint32_t sboxKey[kMaxKeyWords64] = {};
    for (uint32_t i = 0; i < keyWords64; ++i) {
        evenWords[i] = loadLittleEndian(key + 8 * i);
        oddWords[i] = loadLittleEndian(key + 8 * i + 4);
        // The S-box key words are used in reverse order of the groups.
        sboxKey[keyWords64 - 1 - i] = reedSolomonWord(key + 8 * i);
    }

    computeSubkeys(schedule, evenWords, oddWords, keyWords64);
    computeKeyedSBoxes(schedule, sboxKey, keyWords64);
    return true;
}

void twofishEncryptBlock(const TwofishSchedule& schedule, const uint8_t* in, uint8_t* out) {
    uint32_t r[4];
    for (uint32_t i = 0; i < 4; ++i)
        r[i] = loadLittleEndian(in + 4 * i) ^ schedule.subkeys[i];  // input whitening

    for (uint32_t round = 0; round < kTwofishRounds; ++round) {
        uint32_t f0, f1;
        roundFunction(schedule, r[0], r[1], round, f0, f1);
        const uint32_t next0 = rotateRight(r[2] ^ f0, 1);
        const uint32_t next1 = rotateLeft(r[3], 1) ^ f1;
        r[2] = r[0];
        r[3] = r[1];
        r[0] = next0;
        r[1] = next1;
    }

    // Undo the last swap and apply output whitening.
    for (uint32_t i = 0; i < 4; ++i) storeLittleEndian(out + 4 * i, r[(i + 2) % 4] ^ schedule.subkeys[4 + i]);
}

void twofishDecryptBlock(const TwofishSchedule& schedule, const uint8_t* in, uint8_t* out) {
    uint32_t r[4];
    for (uint32_t i = 0; i < 4; ++i) r[(i + 2) % 4] = loadLittleEndian(in + 4 * i) ^ schedule.subkeys[4 + i];

    for (uint32_t round = kTwofishRounds; round-- > 0;) {
        uint32_t f0, f1;
        roundFunction(schedule, r[2], r[3], round, f0, f1);
        const uint32_t previous2 = rotateLeft(r[0], 1) ^ f0;
        const uint32_t previous3 = rotateRight(r[1] ^ f1, 1);
        r[0] = r[2];
        r[1] = r[3];
        r[2] = previous2;
        r[3] = previous3;
    }

    for (uint32_t i = 0; i < 4; ++i) storeLittleEndian(out + 4 * i, r[i] ^ schedule.subkeys[i]);
}
