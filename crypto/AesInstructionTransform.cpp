#include "crypto/AesInstructionTransform.h"

#if defined(__i386__) || defined(__x86_64__)

#include <emmintrin.h>  // SSE2
#include <wmmintrin.h>  // AES

// The library is built for the baseline processor, so these functions are
// compiled for SSE2 and AES one by one. On i686 the caller's stack may be
// aligned to 4 bytes only (Windows threads, older compilers), so the entry
// points realign it before any 16-byte spill.
#if defined(__i386__)
#define BRIVANE_AES_TARGET __attribute__((target("sse2,aes")))
#define BRIVANE_AES_ENTRY __attribute__((target("sse2,aes"), force_align_arg_pointer))
// Eight 128-bit registers: four blocks in flight leave room for the keys.
constexpr size_t kLanes = 4;
#else
#define BRIVANE_AES_TARGET __attribute__((target("sse2,aes")))
#define BRIVANE_AES_ENTRY BRIVANE_AES_TARGET
// Sixteen registers: eight blocks cover the instructions' latency.
constexpr size_t kLanes = 8;
#endif

// The lane loops must unroll completely, so that the lanes live in
// registers rather than in an array on the stack.
#define BRIVANE_EVERY_LANE _Pragma("GCC unroll 8")

namespace {

constexpr size_t kBlockBytes = 16;

BRIVANE_AES_TARGET inline __m128i loadBlock(const uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

BRIVANE_AES_TARGET inline void storeBlock(__m128i v, uint8_t* p) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

BRIVANE_AES_TARGET inline __m128i roundKey(const uint32_t* roundKeys, int32_t r) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(roundKeys + 4 * r));
}

BRIVANE_AES_TARGET inline __m128i encryptOne(__m128i x, const uint32_t* roundKeys, int32_t rounds) {
    x = _mm_xor_si128(x, roundKey(roundKeys, 0));
    for (int32_t r = 1; r < rounds; ++r) x = _mm_aesenc_si128(x, roundKey(roundKeys, r));
    return _mm_aesenclast_si128(x, roundKey(roundKeys, rounds));
}

BRIVANE_AES_TARGET inline __m128i decryptOne(__m128i x, const uint32_t* roundKeys, int32_t rounds) {
    x = _mm_xor_si128(x, roundKey(roundKeys, 0));
    for (int32_t r = 1; r < rounds; ++r) x = _mm_aesdec_si128(x, roundKey(roundKeys, r));
    return _mm_aesdeclast_si128(x, roundKey(roundKeys, rounds));
}

// kLanes independent blocks through all rounds, round by round.
BRIVANE_AES_TARGET inline void encryptLanes(__m128i* x, const uint32_t* roundKeys, int32_t rounds) {
    const __m128i first = roundKey(roundKeys, 0);
    BRIVANE_EVERY_LANE
    for (size_t i = 0; i < kLanes; ++i) x[i] = _mm_xor_si128(x[i], first);
    for (int32_t r = 1; r < rounds; ++r) {
        const __m128i k = roundKey(roundKeys, r);
        BRIVANE_EVERY_LANE
        for (size_t i = 0; i < kLanes; ++i) x[i] = _mm_aesenc_si128(x[i], k);
    }
    const __m128i last = roundKey(roundKeys, rounds);
    BRIVANE_EVERY_LANE
    for (size_t i = 0; i < kLanes; ++i) x[i] = _mm_aesenclast_si128(x[i], last);
}

BRIVANE_AES_TARGET inline void decryptLanes(__m128i* x, const uint32_t* roundKeys, int32_t rounds) {
    const __m128i first = roundKey(roundKeys, 0);
    BRIVANE_EVERY_LANE
    for (size_t i = 0; i < kLanes; ++i) x[i] = _mm_xor_si128(x[i], first);
    for (int32_t r = 1; r < rounds; ++r) {
        const __m128i k = roundKey(roundKeys, r);
        BRIVANE_EVERY_LANE
        for (size_t i = 0; i < kLanes; ++i) x[i] = _mm_aesdec_si128(x[i], k);
    }
    const __m128i last = roundKey(roundKeys, rounds);
    BRIVANE_EVERY_LANE
    for (size_t i = 0; i < kLanes; ++i) x[i] = _mm_aesdeclast_si128(x[i], last);
}

}  // namespace

BRIVANE_AES_ENTRY void aesInstructionEncryptBlocks(const uint32_t* roundKeys, int32_t rounds,
                                                   const uint8_t* in, uint8_t* out, size_t blocks) {
    for (; blocks >= kLanes; blocks -= kLanes, in += kLanes * kBlockBytes, out += kLanes * kBlockBytes) {
        __m128i x[kLanes];
        BRIVANE_EVERY_LANE
        for (size_t i = 0; i < kLanes; ++i) x[i] = loadBlock(in + i * kBlockBytes);
        encryptLanes(x, roundKeys, rounds);
        BRIVANE_EVERY_LANE
        for (size_t i = 0; i < kLanes; ++i) storeBlock(x[i], out + i * kBlockBytes);
    }
    for (; blocks != 0; --blocks, in += kBlockBytes, out += kBlockBytes)
        storeBlock(encryptOne(loadBlock(in), roundKeys, rounds), out);
}

BRIVANE_AES_ENTRY void aesInstructionDecryptBlocks(const uint32_t* roundKeys, int32_t rounds,
                                                   const uint8_t* in, uint8_t* out, size_t blocks) {
    for (; blocks >= kLanes; blocks -= kLanes, in += kLanes * kBlockBytes, out += kLanes * kBlockBytes) {
        __m128i x[kLanes];
        BRIVANE_EVERY_LANE
        for (size_t i = 0; i < kLanes; ++i) x[i] = loadBlock(in + i * kBlockBytes);
        decryptLanes(x, roundKeys, rounds);
        BRIVANE_EVERY_LANE
        for (size_t i = 0; i < kLanes; ++i) storeBlock(x[i], out + i * kBlockBytes);
    }
    for (; blocks != 0; --blocks, in += kBlockBytes, out += kBlockBytes)
        storeBlock(decryptOne(loadBlock(in), roundKeys, rounds), out);
}

// C[i] = E(P[i] xor C[i-1]): each block waits for the one before.
BRIVANE_AES_ENTRY void aesInstructionEncryptCbc(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in,
                                                uint8_t* out, size_t blocks, uint8_t* chain) {
    __m128i previous = loadBlock(chain);
    for (; blocks != 0; --blocks, in += kBlockBytes, out += kBlockBytes) {
        previous = encryptOne(_mm_xor_si128(loadBlock(in), previous), roundKeys, rounds);
        storeBlock(previous, out);
    }
    storeBlock(previous, chain);
}

// P[i] = D(C[i]) xor C[i-1]. A group's ciphertext blocks are all loaded
// before its output is stored, and the group's last ciphertext block is
// carried in a register, so in and out may be the same memory.
BRIVANE_AES_ENTRY void aesInstructionDecryptCbc(const uint32_t* roundKeys, int32_t rounds, const uint8_t* in,
                                                uint8_t* out, size_t blocks, uint8_t* chain) {
    __m128i previous = loadBlock(chain);
    for (; blocks >= kLanes; blocks -= kLanes, in += kLanes * kBlockBytes, out += kLanes * kBlockBytes) {
        __m128i cipher[kLanes];
        __m128i x[kLanes];
        BRIVANE_EVERY_LANE
        for (size_t i = 0; i < kLanes; ++i) x[i] = cipher[i] = loadBlock(in + i * kBlockBytes);
        decryptLanes(x, roundKeys, rounds);
        storeBlock(_mm_xor_si128(x[0], previous), out);
        BRIVANE_EVERY_LANE
        for (size_t i = 1; i < kLanes; ++i)
            storeBlock(_mm_xor_si128(x[i], cipher[i - 1]), out + i * kBlockBytes);
        previous = cipher[kLanes - 1];
    }
    for (; blocks != 0; --blocks, in += kBlockBytes, out += kBlockBytes) {
        const __m128i cipher = loadBlock(in);
        storeBlock(_mm_xor_si128(decryptOne(cipher, roundKeys, rounds), previous), out);
        previous = cipher;
    }
    storeBlock(previous, chain);
}

#else  // not x86: no AES instructions to use; cpuHasAesInstructions() is false

void aesInstructionEncryptBlocks(const uint32_t*, int32_t, const uint8_t*, uint8_t*, size_t) {}
void aesInstructionDecryptBlocks(const uint32_t*, int32_t, const uint8_t*, uint8_t*, size_t) {}
void aesInstructionEncryptCbc(const uint32_t*, int32_t, const uint8_t*, uint8_t*, size_t, uint8_t*) {}
void aesInstructionDecryptCbc(const uint32_t*, int32_t, const uint8_t*, uint8_t*, size_t, uint8_t*) {}

#endif
