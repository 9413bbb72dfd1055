#include "crypto/AesVectorPermuteTransform.h"

#include "crypto/AesVectorPermuteTables.h"

using namespace aesvperm;

// Format notes.
// - The state of a round is sixteen bytes in the engine's basis B (high
//   nibble i, low nibble k of the byte's GF(16) pair; AesVectorPermuteTables.h).
//   Encryption holds B(x) of the AES state x; decryption B(A^-1(x + 0x63)),
//   so that its inverse S-box is one inversion.
// - ShiftRows is left undone: after n rounds byte p of the register holds
//   AES state byte ShiftRows^-n(p) (InvShiftRows^-n for decryption). Round
//   n rotates with the phase-n shuffles, round key n is stored in that byte
//   order, and the last round puts the bytes in place.
// - Engine schedule, 16 bytes per round key:
//     encryption: B(k0); B(kn + 0x63) in round n's order; k[rounds] + 0x63
//     decryption: B(A^-1(k0 + 0x63)); B(A^-1(kn + 0x63)) in round n's order;
//                 k[rounds]
//   where kn are the round keys of the schedule given (equivalent inverse
//   cipher for decryption) and + 0x63 adds the constant to every byte. The
//   constant is the part of the S-box's affine map the output tables leave
//   out; MixColumns and InvMixColumns map four equal bytes to themselves,
//   so it can be added after them.

namespace {

constexpr size_t kBlockBytes = 16;
constexpr uint32_t kBytesPerWord = 4;
constexpr int32_t kShiftRowsPhases = 4;  // ShiftRows^4 is the identity

uint8_t inBasis(const uint8_t* lowTable, const uint8_t* highTable, uint8_t b) {
    return static_cast<uint8_t>(lowTable[b & 0x0f] ^ highTable[b >> 4]);
}

}  // namespace

void aesVectorPermutePrepareSchedule(const uint32_t* roundKeys, int32_t rounds, bool decrypt,
                                     uint8_t* schedule) {
    const uint8_t* lowTable = decrypt ? kVpermDecryptInputLow : kVpermEncryptInputLow;
    const uint8_t* highTable = decrypt ? kVpermDecryptInputHigh : kVpermEncryptInputHigh;
    for (int32_t n = 0; n <= rounds; ++n) {
        uint8_t key[kBlockBytes];
        for (uint32_t p = 0; p < kBlockBytes; ++p)
            key[p] = static_cast<uint8_t>(roundKeys[4 * n + p / kBytesPerWord] >> (8 * (p % kBytesPerWord)));
        const bool first = n == 0;
        const bool last = n == rounds;
        if (!(first && !decrypt) && !(last && decrypt))
            for (uint8_t& b : key) b ^= kVpermAffineConstant;
        // Encryption leaves n ShiftRows undone (byte p holds state byte
        // ShiftRows^-n(p)), decryption n InvShiftRows (ShiftRows^n(p)).
        const int32_t phase = decrypt ? n % kShiftRowsPhases : (kShiftRowsPhases - n % kShiftRowsPhases) % 4;
        uint8_t* out = schedule + kBlockBytes * n;
        for (uint32_t p = 0; p < kBlockBytes; ++p) {
            const uint8_t b = key[last ? p : kVpermShiftRowsPower[phase][p]];
            out[p] = last ? b : inBasis(lowTable, highTable, b);
        }
    }
}

#if defined(__i386__) || defined(__x86_64__)

#include <tmmintrin.h>  // SSSE3 (and the SSE2 below it)

// The library is built for the baseline processor, so these functions are
// compiled for SSSE3 one by one. On i686 the caller's stack may be aligned
// to 4 bytes only (Windows threads, older compilers), so the entry points
// realign it before any 16-byte spill.
#define BRIVANE_VPERM_TARGET __attribute__((target("ssse3")))
// The lanes' rounds are inlined into each entry point, so that the blocks
// stay in registers from the load to the store.
#define BRIVANE_VPERM_INLINE __attribute__((target("ssse3"), always_inline)) inline
#if defined(__i386__)
#define BRIVANE_VPERM_ENTRY __attribute__((target("ssse3"), force_align_arg_pointer))
#else
#define BRIVANE_VPERM_ENTRY BRIVANE_VPERM_TARGET
#endif

// Blocks in flight: one block's rounds are a chain of dependent shuffles,
// so while it waits the processor works on the others. Four fill the
// sixteen registers of x86-64 beside the inversion tables; i686 has eight,
// and two blocks are already more than they hold.
#if defined(__i386__)
constexpr size_t kLanes = 2;
#else
constexpr size_t kLanes = 4;
#endif

// The lane loops must unroll completely, so that the lanes live in
// registers rather than in an array on the stack.
#define BRIVANE_EVERY_LANE _Pragma("GCC unroll 4")

namespace {

BRIVANE_VPERM_TARGET inline __m128i loadConstant(const uint8_t* table) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(table));
}

BRIVANE_VPERM_TARGET inline __m128i loadBlock(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

BRIVANE_VPERM_TARGET inline void storeBlock(__m128i v, uint8_t* p) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

BRIVANE_VPERM_TARGET inline __m128i lookUp(const uint8_t* table, __m128i indices) {
    return _mm_shuffle_epi8(loadConstant(table), indices);
}

// The XOR of two tables looked up by io and jo: a linear image of 1/x.
BRIVANE_VPERM_TARGET inline __m128i lookUpPair(const uint8_t* ioTable, const uint8_t* joTable, __m128i io,
                                               __m128i jo) {
    return _mm_xor_si128(lookUp(ioTable, io), lookUp(joTable, jo));
}

// The three tables every inversion uses, kept in registers.
struct InversionTables {
    __m128i lowNibbles;  // 0x0f in every byte
    __m128i inverse;
    __m128i inverseFactor;
};

BRIVANE_VPERM_TARGET inline InversionTables inversionTables() {
    return {_mm_set1_epi8(0x0f), loadConstant(kVpermInverse), loadConstant(kVpermInverseFactor)};
}

// A standard-basis block into basis B (or B A^-1): its low and its high
// nibbles looked up and added.
BRIVANE_VPERM_TARGET inline __m128i toBasis(__m128i block, const uint8_t* lowTable, const uint8_t* highTable,
                                            const InversionTables& t) {
    const __m128i low = _mm_and_si128(block, t.lowNibbles);
    const __m128i high = _mm_and_si128(_mm_srli_epi16(block, 4), t.lowNibbles);
    return _mm_xor_si128(lookUp(lowTable, low), lookUp(highTable, high));
}

// The two nibbles from which the output tables give 1/x for every byte x:
// with i the high and k the low nibble of B(x), and j = i + k,
//   io = 1/(1/i + c/k) + j,   jo = 1/(1/j + c/k) + i.
struct Inverted {
    __m128i io, jo;
};

BRIVANE_VPERM_TARGET inline Inverted invert(__m128i state, const InversionTables& t) {
    const __m128i k = _mm_and_si128(state, t.lowNibbles);
    const __m128i i = _mm_and_si128(_mm_srli_epi16(state, 4), t.lowNibbles);
    const __m128i j = _mm_xor_si128(i, k);
    const __m128i factor = _mm_shuffle_epi8(t.inverseFactor, k);
    const __m128i iSum = _mm_xor_si128(_mm_shuffle_epi8(t.inverse, i), factor);
    const __m128i jSum = _mm_xor_si128(_mm_shuffle_epi8(t.inverse, j), factor);
    return {_mm_xor_si128(_mm_shuffle_epi8(t.inverse, iSum), j),
            _mm_xor_si128(_mm_shuffle_epi8(t.inverse, jSum), i)};
}

BRIVANE_VPERM_TARGET inline __m128i roundKey(const uint8_t* schedule, int32_t n) {
    return loadConstant(schedule + kBlockBytes * n);
}

// The rotations of MixColumns in round n's byte order: rows r + 1, r + 2
// and r + 3 of each column to row r.
struct Rotations {
    __m128i once, twice, back;
};

BRIVANE_VPERM_TARGET inline Rotations rotations(int32_t phase) {
    return {loadConstant(kVpermRotate[phase]), loadConstant(kVpermRotateTwice[phase]),
            loadConstant(kVpermRotateBack[phase])};
}

// SubBytes, MixColumns and AddRoundKey of round n, ShiftRows by the phase:
// with s the S-box outputs, MixColumns row r is
//   2 s[r] + 3 s[r+1] + s[r+2] + s[r+3]
//     = 2 s[r] + (2 s + s)[r+1] + s[r+2] + s[r+3],
// three rotations independent of each other, so that the round's
// dependency chain is short.
BRIVANE_VPERM_TARGET inline __m128i encryptRound(__m128i state, const InversionTables& t, const Rotations& r,
                                                 __m128i key) {
    const Inverted v = invert(state, t);
    const __m128i sub = lookUpPair(kVpermEncryptSubIo, kVpermEncryptSubJo, v.io, v.jo);
    const __m128i twice = lookUpPair(kVpermEncryptSubTwiceIo, kVpermEncryptSubTwiceJo, v.io, v.jo);
    const __m128i near =
        _mm_xor_si128(_mm_xor_si128(twice, key), _mm_shuffle_epi8(_mm_xor_si128(twice, sub), r.once));
    const __m128i far = _mm_xor_si128(_mm_shuffle_epi8(sub, r.twice), _mm_shuffle_epi8(sub, r.back));
    return _mm_xor_si128(near, far);
}

// InvSubBytes, InvMixColumns and AddRoundKey: row r of InvMixColumns is
//   14 s[r] + 11 s[r+1] + 13 s[r+2] + 9 s[r+3],
// again three independent rotations.
BRIVANE_VPERM_TARGET inline __m128i decryptRound(__m128i state, const InversionTables& t, const Rotations& r,
                                                 __m128i key) {
    const Inverted v = invert(state, t);
    const __m128i times14 = lookUpPair(kVpermDecrypt14Io, kVpermDecrypt14Jo, v.io, v.jo);
    const __m128i times11 = lookUpPair(kVpermDecrypt11Io, kVpermDecrypt11Jo, v.io, v.jo);
    const __m128i times13 = lookUpPair(kVpermDecrypt13Io, kVpermDecrypt13Jo, v.io, v.jo);
    const __m128i times9 = lookUpPair(kVpermDecrypt9Io, kVpermDecrypt9Jo, v.io, v.jo);
    const __m128i near = _mm_xor_si128(_mm_xor_si128(times14, key), _mm_shuffle_epi8(times11, r.once));
    const __m128i far = _mm_xor_si128(_mm_shuffle_epi8(times13, r.twice), _mm_shuffle_epi8(times9, r.back));
    return _mm_xor_si128(near, far);
}

// The last round: the S-box (or its inverse) in the standard basis, the
// bytes put in place, the last round key.
BRIVANE_VPERM_TARGET inline __m128i lastRound(__m128i state, const InversionTables& t, const uint8_t* ioTable,
                                              const uint8_t* joTable, __m128i order, __m128i key) {
    const Inverted v = invert(state, t);
    return _mm_xor_si128(_mm_shuffle_epi8(lookUpPair(ioTable, joTable, v.io, v.jo), order), key);
}

// The byte order the last round restores: ShiftRows^rounds undone for
// encryption, InvShiftRows^rounds for decryption, the same for an even
// number of rounds.
BRIVANE_VPERM_TARGET inline __m128i finalOrder(int32_t rounds) {
    return loadConstant(kVpermShiftRowsPower[rounds % kShiftRowsPhases]);
}

template <size_t Lanes>
BRIVANE_VPERM_INLINE void encryptLanes(__m128i* x, const uint8_t* schedule, int32_t rounds) {
    const InversionTables t = inversionTables();
    const __m128i first = roundKey(schedule, 0);
    BRIVANE_EVERY_LANE
    for (size_t l = 0; l < Lanes; ++l)
        x[l] = _mm_xor_si128(toBasis(x[l], kVpermEncryptInputLow, kVpermEncryptInputHigh, t), first);
    for (int32_t n = 1; n < rounds; ++n) {
        const Rotations r = rotations(n % kShiftRowsPhases);
        const __m128i key = roundKey(schedule, n);
        BRIVANE_EVERY_LANE
        for (size_t l = 0; l < Lanes; ++l) x[l] = encryptRound(x[l], t, r, key);
    }
    const __m128i order = finalOrder(rounds);
    const __m128i last = roundKey(schedule, rounds);
    BRIVANE_EVERY_LANE
    for (size_t l = 0; l < Lanes; ++l)
        x[l] = lastRound(x[l], t, kVpermEncryptLastIo, kVpermEncryptLastJo, order, last);
}

template <size_t Lanes>
BRIVANE_VPERM_INLINE void decryptLanes(__m128i* x, const uint8_t* schedule, int32_t rounds) {
    const InversionTables t = inversionTables();
    const __m128i first = roundKey(schedule, 0);
    BRIVANE_EVERY_LANE
    for (size_t l = 0; l < Lanes; ++l)
        x[l] = _mm_xor_si128(toBasis(x[l], kVpermDecryptInputLow, kVpermDecryptInputHigh, t), first);
    for (int32_t n = 1; n < rounds; ++n) {
        // InvShiftRows^n undone is ShiftRows^-n: the phase runs backwards.
        const Rotations r = rotations((kShiftRowsPhases - n % kShiftRowsPhases) % kShiftRowsPhases);
        const __m128i key = roundKey(schedule, n);
        BRIVANE_EVERY_LANE
        for (size_t l = 0; l < Lanes; ++l) x[l] = decryptRound(x[l], t, r, key);
    }
    const __m128i order = finalOrder(rounds);
    const __m128i last = roundKey(schedule, rounds);
    BRIVANE_EVERY_LANE
    for (size_t l = 0; l < Lanes; ++l)
        x[l] = lastRound(x[l], t, kVpermDecryptLastIo, kVpermDecryptLastJo, order, last);
}

}  // namespace

BRIVANE_VPERM_ENTRY void aesVectorPermuteEncryptBlocks(const uint8_t* schedule, int32_t rounds,
                                                       const uint8_t* in, uint8_t* out, size_t blocks) {
    for (; blocks >= kLanes; blocks -= kLanes, in += kLanes * kBlockBytes, out += kLanes * kBlockBytes) {
        __m128i x[kLanes];
        BRIVANE_EVERY_LANE
        for (size_t l = 0; l < kLanes; ++l) x[l] = loadBlock(in + l * kBlockBytes);
        encryptLanes<kLanes>(x, schedule, rounds);
        BRIVANE_EVERY_LANE
        for (size_t l = 0; l < kLanes; ++l) storeBlock(x[l], out + l * kBlockBytes);
    }
    for (; blocks != 0; --blocks, in += kBlockBytes, out += kBlockBytes) {
        __m128i x = loadBlock(in);
        encryptLanes<1>(&x, schedule, rounds);
        storeBlock(x, out);
    }
}

BRIVANE_VPERM_ENTRY void aesVectorPermuteDecryptBlocks(const uint8_t* schedule, int32_t rounds,
                                                       const uint8_t* in, uint8_t* out, size_t blocks) {
    for (; blocks >= kLanes; blocks -= kLanes, in += kLanes * kBlockBytes, out += kLanes * kBlockBytes) {
        __m128i x[kLanes];
        BRIVANE_EVERY_LANE
        for (size_t l = 0; l < kLanes; ++l) x[l] = loadBlock(in + l * kBlockBytes);
        decryptLanes<kLanes>(x, schedule, rounds);
        BRIVANE_EVERY_LANE
        for (size_t l = 0; l < kLanes; ++l) storeBlock(x[l], out + l * kBlockBytes);
    }
    for (; blocks != 0; --blocks, in += kBlockBytes, out += kBlockBytes) {
        __m128i x = loadBlock(in);
        decryptLanes<1>(&x, schedule, rounds);
        storeBlock(x, out);
    }
}

// C[i] = E(P[i] xor C[i-1]): each block waits for the one before.
BRIVANE_VPERM_ENTRY void aesVectorPermuteEncryptCbc(const uint8_t* schedule, int32_t rounds,
                                                    const uint8_t* in, uint8_t* out, size_t blocks,
                                                    uint8_t* chain) {
    __m128i previous = loadBlock(chain);
    for (; blocks != 0; --blocks, in += kBlockBytes, out += kBlockBytes) {
        previous = _mm_xor_si128(loadBlock(in), previous);
        encryptLanes<1>(&previous, schedule, rounds);
        storeBlock(previous, out);
    }
    storeBlock(previous, chain);
}

// P[i] = D(C[i]) xor C[i-1]. A group's ciphertext blocks are all loaded
// before its output is stored, and the group's last ciphertext block is
// carried in a register, so in and out may be the same memory.
BRIVANE_VPERM_ENTRY void aesVectorPermuteDecryptCbc(const uint8_t* schedule, int32_t rounds,
                                                    const uint8_t* in, uint8_t* out, size_t blocks,
                                                    uint8_t* chain) {
    __m128i previous = loadBlock(chain);
    for (; blocks >= kLanes; blocks -= kLanes, in += kLanes * kBlockBytes, out += kLanes * kBlockBytes) {
        __m128i cipher[kLanes];
        __m128i x[kLanes];
        BRIVANE_EVERY_LANE
        for (size_t l = 0; l < kLanes; ++l) x[l] = cipher[l] = loadBlock(in + l * kBlockBytes);
        decryptLanes<kLanes>(x, schedule, rounds);
        storeBlock(_mm_xor_si128(x[0], previous), out);
        BRIVANE_EVERY_LANE
        for (size_t l = 1; l < kLanes; ++l)
            storeBlock(_mm_xor_si128(x[l], cipher[l - 1]), out + l * kBlockBytes);
        previous = cipher[kLanes - 1];
    }
    for (; blocks != 0; --blocks, in += kBlockBytes, out += kBlockBytes) {
        const __m128i cipher = loadBlock(in);
        __m128i x = cipher;
        decryptLanes<1>(&x, schedule, rounds);
        storeBlock(_mm_xor_si128(x, previous), out);
        previous = cipher;
    }
    storeBlock(previous, chain);
}

#else  // not x86: no byte shuffle to use; cpuHasSsse3() is false

void aesVectorPermuteEncryptBlocks(const uint8_t*, int32_t, const uint8_t*, uint8_t*, size_t) {}
void aesVectorPermuteDecryptBlocks(const uint8_t*, int32_t, const uint8_t*, uint8_t*, size_t) {}
void aesVectorPermuteEncryptCbc(const uint8_t*, int32_t, const uint8_t*, uint8_t*, size_t, uint8_t*) {}
void aesVectorPermuteDecryptCbc(const uint8_t*, int32_t, const uint8_t*, uint8_t*, size_t, uint8_t*) {}

#endif
