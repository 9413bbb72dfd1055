#include "crypto/CpuFeatures.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>  // the compiler's own wrapper of the cpuid instruction
#endif

namespace {

#if defined(__i386__) || defined(__x86_64__)
// cpuid leaf 1 feature bits (processor manuals, "feature information").
constexpr unsigned kLeafFeatures = 1;
constexpr unsigned kEdxSse2 = 1u << 26;
constexpr unsigned kEcxSsse3 = 1u << 9;
constexpr unsigned kEcxAes = 1u << 25;
// cpuid leaf 7, sub-leaf 0 ("structured extended feature flags").
constexpr unsigned kLeafExtendedFeatures = 7;
constexpr unsigned kEbxBmi1 = 1u << 3;
constexpr unsigned kEbxBmi2 = 1u << 8;

// The leaf-1 sets the AES engines are chosen by, as bits of one word that
// is read once: both need SSE2 besides.
constexpr unsigned kSetAes = 1;
constexpr unsigned kSetSsse3 = 2;

unsigned detectLeafOneSets() {
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    if (__get_cpuid(kLeafFeatures, &eax, &ebx, &ecx, &edx) == 0)
        return 0;  // cpuid missing (pre-Pentium) or leaf 1 not offered
    if ((edx & kEdxSse2) == 0) return 0;
    return ((ecx & kEcxAes) != 0 ? kSetAes : 0) | ((ecx & kEcxSsse3) != 0 ? kSetSsse3 : 0);
}

bool detectBitManipulation() {
    unsigned eax = 0;
    unsigned ebx = 0;
    unsigned ecx = 0;
    unsigned edx = 0;
    if (__get_cpuid_max(0, nullptr) < kLeafExtendedFeatures) return false;
    __cpuid_count(kLeafExtendedFeatures, 0, eax, ebx, ecx, edx);
    const unsigned needed = kEbxBmi1 | kEbxBmi2;
    return (ebx & needed) == needed;
}
#else
constexpr unsigned kSetAes = 1;
constexpr unsigned kSetSsse3 = 2;
unsigned detectLeafOneSets() { return 0; }
bool detectBitManipulation() { return false; }
#endif

unsigned leafOneSets() {
    static const unsigned sets = detectLeafOneSets();
    return sets;
}

}  // namespace

bool cpuHasAesInstructions() { return (leafOneSets() & kSetAes) != 0; }

bool cpuHasSsse3() { return (leafOneSets() & kSetSsse3) != 0; }

bool cpuHasBitManipulation() {
    static const bool available = detectBitManipulation();
    return available;
}
