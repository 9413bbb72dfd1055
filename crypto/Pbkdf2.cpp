#include "crypto/Pbkdf2.h"

#include <cstring>

#include "crypto/HmacSha1.h"

namespace {

void wipe(uint8_t* p, uint32_t n) {
    volatile uint8_t* v = p;
    for (uint32_t i = 0; i < n; ++i) {
        v[i] = 0;
    }
}

// One block T_i of RFC 2898 section 5.2, from a copy of the password-keyed
// HMAC state.
void deriveBlock(const HmacSha1& keyed, const uint8_t* salt, uint32_t saltLen, uint32_t iterations,
                 uint32_t blockIndex, uint8_t* block) {
    // INT(i): the block index as a four-byte big-endian integer.
    const uint8_t index[4] = {uint8_t(blockIndex >> 24), uint8_t(blockIndex >> 16),
                              uint8_t(blockIndex >> 8), uint8_t(blockIndex)};
    uint8_t u[kHmacSha1Bytes];
    HmacSha1 hmac = keyed;
    hmac.update(salt, saltLen);
    hmac.update(index, sizeof(index));
    hmac.final(u);
    std::memcpy(block, u, kHmacSha1Bytes);
    for (uint32_t j = 1; j < iterations; ++j) {
        hmac = keyed;
        hmac.update(u, kHmacSha1Bytes);
        hmac.final(u);
        for (uint32_t k = 0; k < kHmacSha1Bytes; ++k) {
            block[k] ^= u[k];
        }
    }
    wipe(u, sizeof(u));
}

}  // namespace

bool Pbkdf2::deriveHmacSha1(const uint8_t* password, uint32_t passwordLen, const uint8_t* salt,
                            uint32_t saltLen, uint32_t iterations, uint8_t* out, uint32_t outLen) {
    if (iterations == 0 || out == nullptr || (password == nullptr && passwordLen > 0) ||
        (salt == nullptr && saltLen > 0)) {
        return false;
    }
    HmacSha1 keyed;
    keyed.init(password, passwordLen);
    uint8_t block[kHmacSha1Bytes];
    uint32_t done = 0;
    for (uint32_t blockIndex = 1; done < outLen; ++blockIndex) {
        deriveBlock(keyed, salt, saltLen, iterations, blockIndex, block);
        uint32_t take = outLen - done;
        if (take > kHmacSha1Bytes) {
            take = kHmacSha1Bytes;
        }
        std::memcpy(out + done, block, take);
        done += take;
    }
    wipe(block, sizeof(block));
    return true;
}
