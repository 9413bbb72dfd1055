#include "crypto/AesCore.h"

#include "crypto/SecretWipe.h"

// Format notes.
// - A state column is one 32-bit word with row 0 in the most significant
//   byte, so the bytes of a block load and store big-endian, four per column,
//   exactly as FIPS-197 section 3.4 lays the input out into the state.
// - The tables below are derived here, at compile time, from the definitions
//   of FIPS-197: multiplication in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1
//   (section 4.2), the multiplicative inverse and affine transform that make
//   the S-box (section 5.1.1), and the MixColumns / InvMixColumns matrices
//   (sections 5.1.3 and 5.3.3).

namespace {

// ---------------------------------------------------------------------------
// GF(2^8) arithmetic (FIPS-197 section 4.2)

constexpr uint8_t kReductionLowBits = 0x1b; // x^8 = x^4 + x^3 + x + 1

constexpr uint8_t xtime(uint8_t a)
{
    return static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? kReductionLowBits : 0));
}

constexpr uint8_t gfMultiply(uint8_t a, uint8_t b)
{
    uint8_t product = 0;
    while (b != 0) {
        if (b & 1)
            product ^= a;
        a = xtime(a);
        b >>= 1;
    }
    return product;
}

// a^254 = a^-1 for a != 0; maps 0 to 0 as the S-box definition requires.
constexpr uint8_t gfInverse(uint8_t a)
{
    uint8_t result = 1;
    uint8_t square = a;
    for (int exponent = 254; exponent != 0; exponent >>= 1) {
        if (exponent & 1)
            result = gfMultiply(result, square);
        square = gfMultiply(square, square);
    }
    return a == 0 ? 0 : result;
}

constexpr uint8_t rotateLeft8(uint8_t b, int n)
{
    return static_cast<uint8_t>((b << n) | (b >> (8 - n)));
}

constexpr uint32_t rotateRight32(uint32_t w, int n)
{
    return (w >> n) | (w << (32 - n));
}

constexpr uint32_t packWord(uint8_t b0, uint8_t b1, uint8_t b2, uint8_t b3)
{
    return (static_cast<uint32_t>(b0) << 24) | (static_cast<uint32_t>(b1) << 16) |
           (static_cast<uint32_t>(b2) << 8) | static_cast<uint32_t>(b3);
}

// ---------------------------------------------------------------------------
// Tables

constexpr uint8_t kAffineConstant = 0x63; // the constant c of FIPS-197 (5.1)

struct AesTables {
    uint8_t sbox[256];       // SubBytes, byte in -> byte out
    uint8_t invSbox[256];    // InvSubBytes
    // encrypt[0][x] = column (2·S[x], S[x], S[x], 3·S[x]): SubBytes then the
    // first MixColumns column for a row-0 byte; encrypt[r] is that word rotated
    // right by 8·r bits, the contribution of a byte coming from row r.
    uint32_t encrypt[4][256];
    // decrypt[0][x] = column (14·Si[x], 9·Si[x], 13·Si[x], 11·Si[x]): InvSubBytes
    // then the first InvMixColumns column; decrypt[r] rotated as above.
    uint32_t decrypt[4][256];
};

constexpr AesTables buildTables()
{
    AesTables t{};
    for (int x = 0; x < 256; ++x) {
        const uint8_t b = gfInverse(static_cast<uint8_t>(x));
        const uint8_t s = static_cast<uint8_t>(b ^ rotateLeft8(b, 1) ^ rotateLeft8(b, 2) ^
                                               rotateLeft8(b, 3) ^ rotateLeft8(b, 4) ^
                                               kAffineConstant);
        t.sbox[x] = s;
        t.invSbox[s] = static_cast<uint8_t>(x);
    }
    for (int x = 0; x < 256; ++x) {
        const uint8_t s = t.sbox[x];
        const uint8_t si = t.invSbox[x];
        const uint32_t e = packWord(gfMultiply(s, 2), s, s, gfMultiply(s, 3));
        const uint32_t d = packWord(gfMultiply(si, 14), gfMultiply(si, 9), gfMultiply(si, 13),
                                    gfMultiply(si, 11));
        for (int r = 0; r < 4; ++r) {
            t.encrypt[r][x] = r == 0 ? e : rotateRight32(e, 8 * r);
            t.decrypt[r][x] = r == 0 ? d : rotateRight32(d, 8 * r);
        }
    }
    return t;
}

constexpr AesTables kTables = buildTables();

// Spot checks against the printed tables of FIPS-197 (figures 7 and 14).
static_assert(kTables.sbox[0x00] == 0x63 && kTables.sbox[0x53] == 0xed &&
              kTables.sbox[0xff] == 0x16);
static_assert(kTables.invSbox[0x00] == 0x52 && kTables.invSbox[0xed] == 0x53);

// ---------------------------------------------------------------------------
// Helpers for the round functions

inline uint8_t byteOf(uint32_t w, int row)
{
    return static_cast<uint8_t>(w >> (24 - 8 * row));
}

inline uint32_t loadBigEndian(const uint8_t* p)
{
    return packWord(p[0], p[1], p[2], p[3]);
}

inline void storeBigEndian(uint32_t w, uint8_t* p)
{
    p[0] = static_cast<uint8_t>(w >> 24);
    p[1] = static_cast<uint8_t>(w >> 16);
    p[2] = static_cast<uint8_t>(w >> 8);
    p[3] = static_cast<uint8_t>(w);
}

// SubWord of the key expansion (FIPS-197 section 5.2).
inline uint32_t subWord(uint32_t w)
{
    return packWord(kTables.sbox[byteOf(w, 0)], kTables.sbox[byteOf(w, 1)],
                    kTables.sbox[byteOf(w, 2)], kTables.sbox[byteOf(w, 3)]);
}

// RotWord: [a0, a1, a2, a3] -> [a1, a2, a3, a0].
inline uint32_t rotWord(uint32_t w)
{
    return (w << 8) | (w >> 24);
}

// InvMixColumns of one column. decrypt[r] starts with InvSubBytes, so each
// byte first goes through the S-box to cancel it.
inline uint32_t invMixColumn(uint32_t w)
{
    return kTables.decrypt[0][kTables.sbox[byteOf(w, 0)]] ^
           kTables.decrypt[1][kTables.sbox[byteOf(w, 1)]] ^
           kTables.decrypt[2][kTables.sbox[byteOf(w, 2)]] ^
           kTables.decrypt[3][kTables.sbox[byteOf(w, 3)]];
}

// One full encryption round for output column c: ShiftRows takes row r from
// column c + r, then SubBytes + MixColumns by table, then AddRoundKey.
inline uint32_t encryptRoundColumn(const uint32_t s[4], int c, uint32_t roundKey)
{
    return kTables.encrypt[0][byteOf(s[c], 0)] ^
           kTables.encrypt[1][byteOf(s[(c + 1) & 3], 1)] ^
           kTables.encrypt[2][byteOf(s[(c + 2) & 3], 2)] ^
           kTables.encrypt[3][byteOf(s[(c + 3) & 3], 3)] ^ roundKey;
}

// The final round has no MixColumns: SubBytes after ShiftRows, AddRoundKey.
inline uint32_t encryptFinalColumn(const uint32_t s[4], int c, uint32_t roundKey)
{
    return packWord(kTables.sbox[byteOf(s[c], 0)], kTables.sbox[byteOf(s[(c + 1) & 3], 1)],
                    kTables.sbox[byteOf(s[(c + 2) & 3], 2)],
                    kTables.sbox[byteOf(s[(c + 3) & 3], 3)]) ^
           roundKey;
}

// Equivalent inverse cipher round: InvShiftRows takes row r from column c - r.
inline uint32_t decryptRoundColumn(const uint32_t s[4], int c, uint32_t roundKey)
{
    return kTables.decrypt[0][byteOf(s[c], 0)] ^
           kTables.decrypt[1][byteOf(s[(c + 3) & 3], 1)] ^
           kTables.decrypt[2][byteOf(s[(c + 2) & 3], 2)] ^
           kTables.decrypt[3][byteOf(s[(c + 1) & 3], 3)] ^ roundKey;
}

inline uint32_t decryptFinalColumn(const uint32_t s[4], int c, uint32_t roundKey)
{
    return packWord(kTables.invSbox[byteOf(s[c], 0)], kTables.invSbox[byteOf(s[(c + 3) & 3], 1)],
                    kTables.invSbox[byteOf(s[(c + 2) & 3], 2)],
                    kTables.invSbox[byteOf(s[(c + 1) & 3], 3)]) ^
           roundKey;
}

} // namespace

AesCore::AesCore() : m_roundKeys{}, m_rounds(0), m_direction(Direction::Encrypt) {}

AesCore::~AesCore()
{
    wipe();
}

void AesCore::wipe()
{
    wipeSecretBytes(m_roundKeys, sizeof(m_roundKeys));
    m_rounds = 0;
}

bool AesCore::expandKey(const uint8_t* key, uint32_t keyBytes, Direction direction)
{
    wipe();
    int32_t rounds = 0;
    switch (keyBytes) {
    case kAes128KeyBytes: rounds = kAes128Rounds; break;
    case kAes192KeyBytes: rounds = kAes192Rounds; break;
    case kAes256KeyBytes: rounds = kAes256Rounds; break;
    default: return false;
    }
    if (key == nullptr)
        return false;

    m_rounds = rounds;
    m_direction = direction;
    expandEncryptSchedule(key, keyBytes / 4);
    if (direction == Direction::Decrypt)
        convertToEquivalentInverse();
    return true;
}

// KeyExpansion (FIPS-197 section 5.2): the key fills the first Nk words; each
// later word is the word Nk before it XOR the previous word, transformed at
// every Nk-th position by RotWord, SubWord and the round constant, and for
// 256-bit keys by SubWord alone half-way between.
void AesCore::expandEncryptSchedule(const uint8_t* key, uint32_t keyWords)
{
    const uint32_t totalWords = static_cast<uint32_t>(m_rounds + 1) * kAesWordsPerRoundKey;
    for (uint32_t i = 0; i < keyWords; ++i)
        m_roundKeys[i] = loadBigEndian(key + 4 * i);

    uint8_t roundConstant = 0x01; // Rcon[1] = x^0; each next one is times x
    for (uint32_t i = keyWords; i < totalWords; ++i) {
        uint32_t temp = m_roundKeys[i - 1];
        if (i % keyWords == 0) {
            temp = subWord(rotWord(temp)) ^ (static_cast<uint32_t>(roundConstant) << 24);
            roundConstant = xtime(roundConstant);
        } else if (keyWords > 6 && i % keyWords == 4) {
            temp = subWord(temp);
        }
        m_roundKeys[i] = m_roundKeys[i - keyWords] ^ temp;
    }
}

// Equivalent inverse cipher schedule (FIPS-197 section 5.3.5): the round keys
// in reverse order, and InvMixColumns applied to round keys 1 to Nr-1 so that
// AddRoundKey can follow InvMixColumns inside each table round.
void AesCore::convertToEquivalentInverse()
{
    const int32_t rounds = m_rounds;
    for (int32_t low = 0, high = rounds; low < high; ++low, --high) {
        for (uint32_t c = 0; c < kAesWordsPerRoundKey; ++c) {
            const uint32_t a = m_roundKeys[low * kAesWordsPerRoundKey + c];
            m_roundKeys[low * kAesWordsPerRoundKey + c] = m_roundKeys[high * kAesWordsPerRoundKey + c];
            m_roundKeys[high * kAesWordsPerRoundKey + c] = a;
        }
    }
    for (int32_t r = 1; r < rounds; ++r) {
        for (uint32_t c = 0; c < kAesWordsPerRoundKey; ++c) {
            uint32_t& w = m_roundKeys[r * kAesWordsPerRoundKey + c];
            w = invMixColumn(w);
        }
    }
}

// Cipher (FIPS-197 section 5.1) with rounds 1 to Nr-1 done by table.
void AesCore::encryptBlock(const uint8_t* in, uint8_t* out) const
{
    if (!isReady() || m_direction != Direction::Encrypt)
        return;
    const uint32_t* roundKey = m_roundKeys;
    uint32_t state[4];
    uint32_t next[4];

    // Initial AddRoundKey.
    for (int c = 0; c < 4; ++c)
        state[c] = loadBigEndian(in + 4 * c) ^ roundKey[c];

    // Rounds 1 .. Nr-1: SubBytes, ShiftRows, MixColumns, AddRoundKey.
    for (int32_t round = 1; round < m_rounds; ++round) {
        roundKey += kAesWordsPerRoundKey;
        for (int c = 0; c < 4; ++c)
            next[c] = encryptRoundColumn(state, c, roundKey[c]);
        for (int c = 0; c < 4; ++c)
            state[c] = next[c];
    }

    // Final round: SubBytes, ShiftRows, AddRoundKey.
    roundKey += kAesWordsPerRoundKey;
    for (int c = 0; c < 4; ++c)
        next[c] = encryptFinalColumn(state, c, roundKey[c]);
    for (int c = 0; c < 4; ++c)
        storeBigEndian(next[c], out + 4 * c);
}

// EqInvCipher (FIPS-197 section 5.3.5) over the converted schedule.
void AesCore::decryptBlock(const uint8_t* in, uint8_t* out) const
{
    if (!isReady() || m_direction != Direction::Decrypt)
        return;
    const uint32_t* roundKey = m_roundKeys;
    uint32_t state[4];
    uint32_t next[4];

    for (int c = 0; c < 4; ++c)
        state[c] = loadBigEndian(in + 4 * c) ^ roundKey[c];

    // Rounds Nr-1 .. 1: InvSubBytes, InvShiftRows, InvMixColumns, AddRoundKey.
    for (int32_t round = 1; round < m_rounds; ++round) {
        roundKey += kAesWordsPerRoundKey;
        for (int c = 0; c < 4; ++c)
            next[c] = decryptRoundColumn(state, c, roundKey[c]);
        for (int c = 0; c < 4; ++c)
            state[c] = next[c];
    }

    // Final round: InvSubBytes, InvShiftRows, AddRoundKey.
    roundKey += kAesWordsPerRoundKey;
    for (int c = 0; c < 4; ++c)
        next[c] = decryptFinalColumn(state, c, roundKey[c]);
    for (int c = 0; c < 4; ++c)
        storeBigEndian(next[c], out + 4 * c);
}
