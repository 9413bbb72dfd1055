#include "core/ZipCRCFold.h"

#include <cstring>

// Written with the compiler's vector types and builtins (GCC and Clang), so
// that no system header is needed; the functions that use the instruction
// are compiled for it alone and only called after the run-time check.

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))

#include <cpuid.h>  // the compiler's own wrapper of the cpuid instruction

namespace {

// cpuid leaf 1, ECX feature bits (processor manuals, "feature information").
constexpr unsigned kLeafFeatures = 1;
constexpr unsigned kEcxPclmulqdq = 1u << 1;
constexpr unsigned kEcxSse41 = 1u << 19;

// Asked with cpuid itself rather than the compiler's processor-model
// builtins, whose run-time support library would be linked into every
// program (the stub among them) for this one question.
bool detectFoldingInstructions() {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(kLeafFeatures, &eax, &ebx, &ecx, &edx) == 0) return false;
    const unsigned needed = kEcxPclmulqdq | kEcxSse41;
    return (ecx & needed) == needed;
}

typedef long long Lanes64 __attribute__((vector_size(16)));

// Folding constants for the reflected polynomial: x^(4*128+32) and
// x^(4*128-32) mod P (fold by four lanes), x^(128+32) and x^(128-32) mod P
// (fold by one lane), x^64 mod P (128 to 64 bits), and for the Barrett
// reduction P itself and floor(x^64 / P), all bit-reflected and shifted
// as the reflected multiplication needs.
constexpr Lanes64 kFoldBy4 = {0x0154442bd4LL, 0x01c6e41596LL};
constexpr Lanes64 kFoldBy1 = {0x01751997d0LL, 0x00ccaa009eLL};
constexpr Lanes64 kFold64 = {0x0163cd6124LL, 0};
constexpr Lanes64 kBarrett = {0x01db710641LL, 0x01f7011641LL};
constexpr Lanes64 kLow32Of64 = {0xFFFFFFFFLL, 0xFFFFFFFFLL};

#define FOLD_TARGET __attribute__((target("pclmul,sse4.1")))

FOLD_TARGET inline Lanes64 load(const uint8_t* p) {
    Lanes64 value;
    std::memcpy(&value, p, sizeof(value));
    return value;
}

// Carry-less products of the selected 64-bit halves (imm: bit 0 picks a's
// half, bit 4 b's).
FOLD_TARGET inline Lanes64 lowLow(Lanes64 a, Lanes64 b) { return __builtin_ia32_pclmulqdq128(a, b, 0x00); }
FOLD_TARGET inline Lanes64 highHigh(Lanes64 a, Lanes64 b) { return __builtin_ia32_pclmulqdq128(a, b, 0x11); }
FOLD_TARGET inline Lanes64 lowHigh(Lanes64 a, Lanes64 b) { return __builtin_ia32_pclmulqdq128(a, b, 0x10); }

// One lane carried 128 bits further and added to the next data.
FOLD_TARGET inline Lanes64 foldInto(Lanes64 lane, Lanes64 constants, Lanes64 next) {
    return lowLow(lane, constants) ^ highHigh(lane, constants) ^ next;
}

FOLD_TARGET inline Lanes64 shiftRightBytes8(Lanes64 x) { return Lanes64{x[1], 0}; }

inline uint64_t half(Lanes64 x, int index) { return static_cast<uint64_t>(x[index]); }

FOLD_TARGET inline Lanes64 shiftRightBytes4(Lanes64 x) {
    return Lanes64{static_cast<long long>((half(x, 0) >> 32) | (half(x, 1) << 32)),
                   static_cast<long long>(half(x, 1) >> 32)};
}

FOLD_TARGET inline Lanes64 keepLow32Of64(Lanes64 x) { return x & kLow32Of64; }

}  // namespace

namespace ZipCRCFold {

bool foldingAvailable() {
    static const bool available = detectFoldingInstructions();
    return available;
}

FOLD_TARGET uint32_t fold(uint32_t running, const uint8_t* data, size_t len) {
    // Four lanes; the running value enters with the first 32 bits.
    Lanes64 lane1 = load(data) ^ Lanes64 { static_cast<long long>(running), 0 };
    Lanes64 lane2 = load(data + 16);
    Lanes64 lane3 = load(data + 32);
    Lanes64 lane4 = load(data + 48);
    data += 64;
    len -= 64;
    while (len >= 64) {
        lane1 = foldInto(lane1, kFoldBy4, load(data));
        lane2 = foldInto(lane2, kFoldBy4, load(data + 16));
        lane3 = foldInto(lane3, kFoldBy4, load(data + 32));
        lane4 = foldInto(lane4, kFoldBy4, load(data + 48));
        data += 64;
        len -= 64;
    }
    // Four lanes into one, then the remaining 16-byte blocks.
    Lanes64 x = foldInto(lane1, kFoldBy1, lane2);
    x = foldInto(x, kFoldBy1, lane3);
    x = foldInto(x, kFoldBy1, lane4);
    while (len >= 16) {
        x = foldInto(x, kFoldBy1, load(data));
        data += 16;
        len -= 16;
    }
    // 128 bits to 64.
    x = shiftRightBytes8(x) ^ lowHigh(x, kFoldBy1);
    x = shiftRightBytes4(x) ^ lowLow(keepLow32Of64(x), kFold64);
    // Barrett reduction to 32 bits.
    Lanes64 t = lowHigh(keepLow32Of64(x), kBarrett);
    t = lowLow(keepLow32Of64(t), kBarrett);
    x ^= t;
    return static_cast<uint32_t>(half(x, 0) >> 32);
}

}  // namespace ZipCRCFold

#else

namespace ZipCRCFold {
bool foldingAvailable() { return false; }
uint32_t fold(uint32_t running, const uint8_t*, size_t) { return running; }
}  // namespace ZipCRCFold

#endif
