#include "crypto/AesVectorPermuteTransform.h"

#if defined(__i386__) || defined(__x86_64__)

#include "crypto/AesVectorPermuteRounds.h"

using namespace aesvperm;

namespace {

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

template <size_t FixedLanes>
BRIVANE_VPERM_TARGET inline void decryptBody(__m128i* blocks, size_t lanes, const uint8_t* schedule,
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
        x[l] = _mm_xor_si128(toBasis(x[l], kVpermDecryptInputLow, kVpermDecryptInputHigh, t), first);
    for (int32_t n = 1; n < rounds; ++n) {
        // InvShiftRows^n undone is ShiftRows^-n: the phase runs backwards.
        const Rotations r = rotations((kShiftRowsPhases - n % kShiftRowsPhases) % kShiftRowsPhases);
        const __m128i key = roundKey(schedule, n);
        BRIVANE_EVERY_LANE
        for (size_t l = 0; l < count; ++l) x[l] = decryptRound(x[l], t, r, key);
    }
    const __m128i last = roundKey(schedule, rounds);
    BRIVANE_EVERY_LANE
    for (size_t l = 0; l < count; ++l)
        x[l] = lastRound(x[l], t, kVpermDecryptLastIo, kVpermDecryptLastJo, rounds, last);
    BRIVANE_EVERY_LANE
    for (size_t l = 0; l < count; ++l) blocks[l] = x[l];
}

// Any number of lanes up to kLanes: the short last group, and in the
// installer stub every group.
BRIVANE_VPERM_NOINLINE void decryptLanes(__m128i* x, size_t lanes, const uint8_t* schedule, int32_t rounds) {
    decryptBody<0>(x, lanes, schedule, rounds);
}

#ifdef BRIVANE_COMPACT_AES
constexpr auto decryptGroup = decryptLanes;
#else
// kLanes lanes written out one after the other.
BRIVANE_VPERM_NOINLINE void decryptGroup(__m128i* x, size_t, const uint8_t* schedule, int32_t rounds) {
    decryptBody<kLanes>(x, kLanes, schedule, rounds);
}
#endif

}  // namespace

BRIVANE_VPERM_ENTRY void aesVectorPermuteDecryptSchedule(const uint32_t* roundKeys, int32_t rounds,
                                                         uint8_t* schedule) {
    // InvShiftRows^n undone: ShiftRows^n, in rounds 1 .. rounds - 1.
    prepareSchedule(
        roundKeys, rounds, kVpermDecryptInputLow, kVpermDecryptInputHigh, schedule,
        [rounds](int32_t n) { return n != rounds; },
        [rounds](int32_t n) { return n == rounds ? 0 : n % kShiftRowsPhases; },
        [rounds](int32_t n) { return n != rounds; });
}

BRIVANE_VPERM_ENTRY void aesVectorPermuteDecryptBlocks(const uint8_t* schedule, int32_t rounds,
                                                       const uint8_t* in, uint8_t* out, size_t blocks) {
    transformBlocks(decryptGroup, decryptLanes, schedule, rounds, in, out, blocks);
}

// P[i] = D(C[i]) xor C[i-1]. A group's ciphertext blocks are all loaded
// before its output is stored, and the group's last ciphertext block is
// carried in a register, so in and out may be the same memory.
BRIVANE_VPERM_ENTRY void aesVectorPermuteDecryptCbc(const uint8_t* schedule, int32_t rounds,
                                                    const uint8_t* in, uint8_t* out, size_t blocks,
                                                    uint8_t* chain) {
    __m128i previous = loadBlock(chain);
    while (blocks != 0) {
        const size_t lanes = blocks < kLanes ? blocks : kLanes;
        __m128i cipher[kLanes];
        __m128i x[kLanes];
        for (size_t l = 0; l < lanes; ++l) x[l] = cipher[l] = loadBlock(in + l * kBlockBytes);
        (lanes == kLanes ? decryptGroup : decryptLanes)(x, lanes, schedule, rounds);
        for (size_t l = 0; l < lanes; ++l) {
            storeBlock(_mm_xor_si128(x[l], previous), out + l * kBlockBytes);
            previous = cipher[l];
        }
        blocks -= lanes;
        in += lanes * kBlockBytes;
        out += lanes * kBlockBytes;
    }
    storeBlock(previous, chain);
}

#else  // not x86: no byte shuffle to use; cpuHasSsse3() is false

void aesVectorPermuteDecryptSchedule(const uint32_t*, int32_t, uint8_t*) {}
void aesVectorPermuteDecryptBlocks(const uint8_t*, int32_t, const uint8_t*, uint8_t*, size_t) {}
void aesVectorPermuteDecryptCbc(const uint8_t*, int32_t, const uint8_t*, uint8_t*, size_t, uint8_t*) {}

#endif
