#pragma once
// CipherDescription — the small record in which a cipher of the
// SymmetricAlgorithm2 family describes its settings (describe) and from which
// it takes them back (applyDescription). Field order and widths are fixed.

#include <cstdint>

// Algorithm ids of the record.
constexpr uint8_t kCipherAlgorithmAes = 1;
constexpr uint8_t kCipherAlgorithmBlowfish = 2;
constexpr uint8_t kCipherAlgorithmTwofish = 3;

// Mode byte: 1 is ECB, any other value means CBC.
constexpr uint8_t kCipherDescriptionModeEcb = 1;

// The provider text, NUL included, fills the 8-byte provider field exactly.
constexpr char kCipherProviderName[] = "brivane";
constexpr uint32_t kCipherProviderNameBytes = 8;
static_assert(sizeof(kCipherProviderName) == kCipherProviderNameBytes);

struct CipherDescription {
    uint32_t callerWord;                          // the caller's; ciphers never touch it
    char providerName[kCipherProviderNameBytes];  // NUL-terminated, always "brivane"
    uint8_t algorithmId;                          // kCipherAlgorithm*
    uint8_t mode;                                 // 1 = ECB, other = CBC; describe writes 0
    uint8_t flagOne;                              // written as 1
    uint8_t flagZero;                             // written as 0
    uint32_t reservedA;                           // written as 0
    int32_t keyLengthBits;                        // 128, 192, 256 (AES, Twofish); 40..448 (Blowfish)
    uint32_t reservedB;                           // written as 0
};
