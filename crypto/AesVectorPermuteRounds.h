#pragma once
// AesVectorPermuteRounds: the steps of the vector-permute AES engine shared
// by its decryption (AesVectorPermuteDecrypt.cpp) and encryption
// (AesVectorPermuteEncrypt.cpp): the change of basis, the inversion, the
// output-table look-ups, the rotations of MixColumns, the schedule and the
// grouping of blocks into lanes. x86 only; included by those two files
// alone.
//
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

#include <cstddef>
#include <cstdint>
#include <tmmintrin.h>  // SSSE3 (and the SSE2 below it)

#include "crypto/AesVectorPermuteTables.h"

// The library is built for the baseline processor, so these functions are
// compiled for SSSE3 one by one. On i686 the caller's stack may be aligned
// to 4 bytes only (Windows threads, older compilers), so the entry points
// realign it before any 16-byte spill.
#define BRIVANE_VPERM_TARGET __attribute__((target("ssse3")))
#if defined(__i386__)
#define BRIVANE_VPERM_ENTRY __attribute__((target("ssse3"), force_align_arg_pointer))
#else
#define BRIVANE_VPERM_ENTRY BRIVANE_VPERM_TARGET
#endif
#define BRIVANE_VPERM_NOINLINE __attribute__((target("ssse3"), noinline))
#ifdef BRIVANE_COMPACT_AES
// The installer stub carries one copy of each direction's rounds, the lanes
// a loop around them.
#define BRIVANE_EVERY_LANE
#else
// The library writes a group's lanes out one after the other, so that they
// live in registers and interleave.
#define BRIVANE_EVERY_LANE _Pragma("GCC unroll 4")
#endif

namespace aesvperm {

constexpr size_t kBlockBytes = 16;
constexpr int32_t kShiftRowsPhases = 4;  // ShiftRows^4 is the identity

// Blocks in flight: one block's rounds are a chain of dependent shuffles,
// so while it waits the processor works on the others (four do better than
// two even with the eight registers of i686, where they spill).
constexpr size_t kLanes = 4;

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

// Unaligned loads: an AesCore on the heap of the installer stub (msvcrt's
// allocator, 8-byte alignment on i686) may hold its schedule at any
// multiple of 8.
BRIVANE_VPERM_TARGET inline __m128i roundKey(const uint8_t* schedule, int32_t n) {
    return loadBlock(schedule + kBlockBytes * n);
}

// The rotations of MixColumns in a round of the given phase (the number of
// ShiftRows left undone, modulo 4): rows r + 1, r + 2 and r + 3 of each
// column to row r.
struct Rotations {
    __m128i once, twice, back;
};

BRIVANE_VPERM_TARGET inline Rotations rotations(int32_t phase) {
    const uint8_t(&r)[3][16] = kVpermRotations[phase];
    return {loadConstant(r[0]), loadConstant(r[1]), loadConstant(r[2])};
}

// The last round: the S-box (or its inverse) in the standard basis, the
// bytes put in place (ShiftRows^rounds undone for encryption,
// InvShiftRows^rounds for decryption: with an even number of rounds the
// identity or ShiftRows^2), the last round key.
BRIVANE_VPERM_TARGET inline __m128i lastRound(__m128i state, const InversionTables& t, const uint8_t* ioTable,
                                              const uint8_t* joTable, int32_t rounds, __m128i key) {
    const Inverted v = invert(state, t);
    __m128i out = lookUpPair(ioTable, joTable, v.io, v.jo);
    if (rounds % kShiftRowsPhases != 0) out = _mm_shuffle_epi8(out, loadConstant(kVpermShiftRowsTwice));
    return _mm_xor_si128(out, key);
}

// Fills the engine's schedule from the round keys (layout of
// AesTableTransform.h): key n plus the affine constant where addsConstant
// says, in the byte order of phase(n) ShiftRows undone (ShiftRows^-phase),
// in the basis of the input tables where inBasis says.
template <typename AddsConstant, typename Phase, typename InBasis>
BRIVANE_VPERM_TARGET inline void prepareSchedule(const uint32_t* roundKeys, int32_t rounds,
                                                 const uint8_t* lowTable, const uint8_t* highTable,
                                                 uint8_t* schedule, AddsConstant addsConstant, Phase phase,
                                                 InBasis inBasis) {
    const InversionTables t = inversionTables();
    const __m128i shiftRows = loadConstant(kVpermShiftRows);
    const __m128i constant = _mm_set1_epi8(static_cast<char>(kVpermAffineConstant));
    for (int32_t n = 0; n <= rounds; ++n) {
        __m128i key = _mm_loadu_si128(reinterpret_cast<const __m128i*>(roundKeys + 4 * n));
        if (addsConstant(n)) key = _mm_xor_si128(key, constant);
        for (int32_t p = phase(n); p != 0; --p) key = _mm_shuffle_epi8(key, shiftRows);
        if (inBasis(n)) key = toBasis(key, lowTable, highTable, t);
        storeBlock(key, schedule + kBlockBytes * n);
    }
}

using LaneFunction = void (*)(__m128i*, size_t, const uint8_t*, int32_t);

// ECB: groups of kLanes blocks through group, then the rest through lanes
// (functions that take the block count, up to kLanes).
BRIVANE_VPERM_TARGET inline void transformBlocks(LaneFunction group, LaneFunction lanes,
                                                 const uint8_t* schedule, int32_t rounds, const uint8_t* in,
                                                 uint8_t* out, size_t blocks) {
    while (blocks != 0) {
        const size_t count = blocks < kLanes ? blocks : kLanes;
        __m128i x[kLanes];
        for (size_t l = 0; l < count; ++l) x[l] = loadBlock(in + l * kBlockBytes);
        (count == kLanes ? group : lanes)(x, count, schedule, rounds);
        for (size_t l = 0; l < count; ++l) storeBlock(x[l], out + l * kBlockBytes);
        blocks -= count;
        in += count * kBlockBytes;
        out += count * kBlockBytes;
    }
}

}  // namespace aesvperm
