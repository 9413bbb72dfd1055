#include "payload/StrongKeyRecord.h"

#include <cstring>

using namespace StrongFormat;

void StrongKeyRecord::store(uint8_t* bytes) const {
    std::memcpy(bytes + kTagOffset, kTag, kTagBytes);
    bytes[kDerivationOffset] = derivation;
    for (uint32_t i = 0; i < 4; ++i)
        bytes[kIterationsOffset + i] = static_cast<uint8_t>(iterations >> (8 * i));
    std::memcpy(bytes + kSaltOffset, salt, kSaltBytes);
    std::memcpy(bytes + kVerifierOffset, verifier, kVerifierBytes);
    std::memcpy(bytes + kSettingsMacOffset, settingsCode, kMacBytes);
}

bool StrongKeyRecord::load(const uint8_t* bytes) {
    if (std::memcmp(bytes + kTagOffset, kTag, kTagBytes) != 0) return false;
    derivation = bytes[kDerivationOffset];
    iterations = 0;
    for (uint32_t i = 0; i < 4; ++i)
        iterations |= static_cast<uint32_t>(bytes[kIterationsOffset + i]) << (8 * i);
    std::memcpy(salt, bytes + kSaltOffset, kSaltBytes);
    std::memcpy(verifier, bytes + kVerifierOffset, kVerifierBytes);
    std::memcpy(settingsCode, bytes + kSettingsMacOffset, kMacBytes);
    return derivation == kDerivationPbkdf2HmacSha256 && iterations >= kMinIterations &&
           iterations <= kMaxIterations;
}
