#include "crypto/HmacSha256.h"

#include <cstring>

#include "core/SecretWipe.h"

namespace {

// Pad bytes of RFC 2104 section 2.
constexpr uint8_t kInnerPad = 0x36;
constexpr uint8_t kOuterPad = 0x5C;

}  // namespace

HmacSha256::HmacSha256() { init(nullptr, 0); }

HmacSha256::~HmacSha256() = default;

void HmacSha256::init(const void* key, uint32_t keyLen) {
    uint8_t block[kSha256BlockBytes];
    std::memset(block, 0, sizeof(block));
    if (key != nullptr && keyLen > kSha256BlockBytes) {
        Sha256::digest(key, keyLen, block);
    } else if (key != nullptr && keyLen > 0) {
        std::memcpy(block, key, keyLen);
    }

    uint8_t pad[kSha256BlockBytes];
    for (uint32_t i = 0; i < kSha256BlockBytes; ++i) pad[i] = uint8_t(block[i] ^ kInnerPad);
    m_innerKeyed.reset();
    m_innerKeyed.update(pad, kSha256BlockBytes);
    for (uint32_t i = 0; i < kSha256BlockBytes; ++i) pad[i] = uint8_t(block[i] ^ kOuterPad);
    m_outerKeyed.reset();
    m_outerKeyed.update(pad, kSha256BlockBytes);
    m_inner = m_innerKeyed;

    wipeSecretBytes(block, sizeof(block));
    wipeSecretBytes(pad, sizeof(pad));
}

void HmacSha256::update(const void* data, uint32_t len) { m_inner.update(data, len); }

void HmacSha256::final(uint8_t* out) {
    uint8_t innerDigest[kSha256DigestBytes];
    m_inner.final(innerDigest);
    m_outer = m_outerKeyed;
    m_outer.update(innerDigest, kSha256DigestBytes);
    m_outer.final(out);
    m_inner = m_innerKeyed;
    wipeSecretBytes(innerDigest, sizeof(innerDigest));
}

void HmacSha256::mac(const void* key, uint32_t keyLen, const void* data, uint32_t len, uint8_t* out) {
    HmacSha256 hmac;
    hmac.init(key, keyLen);
    hmac.update(data, len);
    hmac.final(out);
}
