#pragma once
// StrongKeyRecord: the key record of a strong-mode payload, the 89 bytes
// after its leading 0 (layout in payload/StrongFormat.h).

#include <cstdint>

#include "payload/StrongFormat.h"

struct StrongKeyRecord {
    uint8_t derivation = StrongFormat::kDerivationPbkdf2HmacSha256;
    uint32_t iterations = StrongFormat::kDefaultIterations;
    uint8_t salt[StrongFormat::kSaltBytes] = {};
    uint8_t verifier[StrongFormat::kVerifierBytes] = {};
    uint8_t settingsCode[StrongFormat::kMacBytes] = {};

    // Lays the record out into bytes (kRecordBytes).
    void store(uint8_t* bytes) const;
    // Reads it back; false unless the tag is the strong mode's, the
    // derivation is one this reader knows and the iteration count lies in
    // kMinIterations..kMaxIterations.
    bool load(const uint8_t* bytes);
};
