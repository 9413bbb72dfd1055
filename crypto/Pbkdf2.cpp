#include "crypto/Pbkdf2.h"

#include <cstring>

#include "crypto/HmacSha1.h"
#include "crypto/HmacSha256.h"
#include "core/SecretWipe.h"

namespace {

// One block T_i of RFC 2898 section 5.2, from a copy of the password-keyed
// HMAC state. Hmac is HmacSha1 or HmacSha256, kBytes its code size.
template <typename Hmac, uint32_t kBytes>
void deriveBlock(const Hmac& keyed, const uint8_t* salt, uint32_t saltLen, uint32_t iterations,
                 uint32_t blockIndex, uint8_t* block) {
    // INT(i): the block index as a four-byte big-endian integer.
    const uint8_t index[4] = {uint8_t(blockIndex >> 24), uint8_t(blockIndex >> 16), uint8_t(blockIndex >> 8),
                              uint8_t(blockIndex)};
    uint8_t u[kBytes];
    Hmac hmac = keyed;
    hmac.update(salt, saltLen);
    hmac.update(index, sizeof(index));
    hmac.final(u);
    std::memcpy(block, u, kBytes);
    for (uint32_t j = 1; j < iterations; ++j) {
        // final() leaves the state keyed again for the next message.
        hmac.update(u, kBytes);
        hmac.final(u);
        for (uint32_t k = 0; k < kBytes; ++k) block[k] ^= u[k];
    }
    wipeSecretBytes(u, sizeof(u));
}

template <typename Hmac, uint32_t kBytes>
bool derive(const uint8_t* password, uint32_t passwordLen, const uint8_t* salt, uint32_t saltLen,
            uint32_t iterations, uint8_t* out, uint32_t outLen) {
    if (iterations == 0 || out == nullptr || (password == nullptr && passwordLen > 0) ||
        (salt == nullptr && saltLen > 0)) {
        return false;
    }
    Hmac keyed;
    keyed.init(password, passwordLen);
    uint8_t block[kBytes];
    uint32_t done = 0;
    for (uint32_t blockIndex = 1; done < outLen; ++blockIndex) {
        deriveBlock<Hmac, kBytes>(keyed, salt, saltLen, iterations, blockIndex, block);
        uint32_t take = outLen - done;
        if (take > kBytes) take = kBytes;
        std::memcpy(out + done, block, take);
        done += take;
    }
    wipeSecretBytes(block, sizeof(block));
    return true;
}

}  // namespace

bool Pbkdf2::deriveHmacSha1(const uint8_t* password, uint32_t passwordLen, const uint8_t* salt,
                            uint32_t saltLen, uint32_t iterations, uint8_t* out, uint32_t outLen) {
    return derive<HmacSha1, kHmacSha1Bytes>(password, passwordLen, salt, saltLen, iterations, out, outLen);
}

bool Pbkdf2::deriveHmacSha256(const uint8_t* password, uint32_t passwordLen, const uint8_t* salt,
                              uint32_t saltLen, uint32_t iterations, uint8_t* out, uint32_t outLen) {
    return derive<HmacSha256, kHmacSha256Bytes>(password, passwordLen, salt, saltLen, iterations, out,
                                                outLen);
}
