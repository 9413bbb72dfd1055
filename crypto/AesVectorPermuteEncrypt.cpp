#include "crypto/AesVectorPermuteTransform.h"

// Not part of the installer stub, which only deciphers (cmake/StubBuild.cmake).

#if defined(__i386__) || defined(__x86_64__)

#include "crypto/AesVectorPermuteRounds.h"

using namespace aesvperm;

namespace {

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

// Up to kLanes blocks through the cipher, in place in x; lanes is
// FixedLanes when that is not 0.
template <size_t FixedLanes>
BRIVANE_VPERM_TARGET inline void encryptBody(__m128i* blocks, size_t lanes, const uint8_t* schedule,
                                             int32_t rounds) {
    const size_t count = FixedLanes != 0 ? FixedLanes : lanes;
    // The lanes in a local array, which nothing else can reach: the
    // compiler keeps them in registers across the table loads.
    __m128i x[kLanes] = {};
    BRIVANE_EVERY_LANE
    for (size_t l = 0; l < count; ++l) x[l] = blocks[l];
    const InversionTables t = inversionTables();
    const __m128i first = roundKey(schedule, 0);
    BRIVANE_EVERY_LANE
    for (size_t l = 0; l < count; ++l)
        x[l] = _mm_xor_si128(toBasis(x[l], kVpermEncryptInputLow, kVpermEncryptInputHigh, t), first);
    for (int32_t n = 1; n < rounds; ++n) {
        const Rotations r = rotations(n % kShiftRowsPhases);
        const __m128i key = roundKey(schedule, n);
        BRIVANE_EVERY_LANE
        for (size_t l = 0; l < count; ++l) x[l] = encryptRound(x[l], t, r, key);
    }
    const __m128i last = roundKey(schedule, rounds);
    BRIVANE_EVERY_LANE
    for (size_t l = 0; l < count; ++l)
        x[l] = lastRound(x[l], t, kVpermEncryptLastIo, kVpermEncryptLastJo, rounds, last);
    BRIVANE_EVERY_LANE
    for (size_t l = 0; l < count; ++l) blocks[l] = x[l];
}

// Any number of lanes up to kLanes: the short last group and CBC
// encryption (one lane).
BRIVANE_VPERM_NOINLINE void encryptLanes(__m128i* x, size_t lanes, const uint8_t* schedule, int32_t rounds) {
    encryptBody<0>(x, lanes, schedule, rounds);
}

// kLanes lanes written out one after the other.
BRIVANE_VPERM_NOINLINE void encryptGroup(__m128i* x, size_t, const uint8_t* schedule, int32_t rounds) {
    encryptBody<kLanes>(x, kLanes, schedule, rounds);
}

}  // namespace

BRIVANE_VPERM_ENTRY void aesVectorPermuteEncryptSchedule(const uint32_t* roundKeys, int32_t rounds,
                                                         uint8_t* schedule) {
    // ShiftRows^n undone: ShiftRows^(4 - n mod 4), in rounds 1 .. rounds - 1.
    prepareSchedule(
        roundKeys, rounds, kVpermEncryptInputLow, kVpermEncryptInputHigh, schedule,
        [](int32_t n) { return n != 0; },
        [rounds](int32_t n) {
            return n == rounds ? 0 : (kShiftRowsPhases - n % kShiftRowsPhases) % kShiftRowsPhases;
        },
        [rounds](int32_t n) { return n != rounds; });
}

BRIVANE_VPERM_ENTRY void aesVectorPermuteEncryptBlocks(const uint8_t* schedule, int32_t rounds,
                                                       const uint8_t* in, uint8_t* out, size_t blocks) {
    transformBlocks(encryptGroup, encryptLanes, schedule, rounds, in, out, blocks);
}

// C[i] = E(P[i] xor C[i-1]): each block waits for the one before.
BRIVANE_VPERM_ENTRY void aesVectorPermuteEncryptCbc(const uint8_t* schedule, int32_t rounds,
                                                    const uint8_t* in, uint8_t* out, size_t blocks,
                                                    uint8_t* chain) {
    __m128i previous = loadBlock(chain);
    for (; blocks != 0; --blocks, in += kBlockBytes, out += kBlockBytes) {
        previous = _mm_xor_si128(loadBlock(in), previous);
        encryptLanes(&previous, 1, schedule, rounds);
        storeBlock(previous, out);
    }
    storeBlock(previous, chain);
}

#else  // not x86: no byte shuffle to use; cpuHasSsse3() is false

void aesVectorPermuteEncryptSchedule(const uint32_t*, int32_t, uint8_t*) {}
void aesVectorPermuteEncryptBlocks(const uint8_t*, int32_t, const uint8_t*, uint8_t*, size_t) {}
void aesVectorPermuteEncryptCbc(const uint8_t*, int32_t, const uint8_t*, uint8_t*, size_t, uint8_t*) {}

#endif
