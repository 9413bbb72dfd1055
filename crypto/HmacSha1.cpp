#include "crypto/HmacSha1.h"

#include <cstring>

#include "core/SecretWipe.h"

namespace {

// Pad bytes of RFC 2104 section 2.
constexpr uint8_t kInnerPad = 0x36;
constexpr uint8_t kOuterPad = 0x5C;

}  // namespace

HmacSha1::HmacSha1() { init(nullptr, 0); }

HmacSha1::~HmacSha1() = default;

void HmacSha1::init(const void* key, uint32_t keyLen) {
    uint8_t block[kSha1BlockBytes];
    std::memset(block, 0, sizeof(block));
    if (key != nullptr && keyLen > kSha1BlockBytes) {
        Sha1::digest(key, keyLen, block);
    } else if (key != nullptr && keyLen > 0) {
        std::memcpy(block, key, keyLen);
    }

    uint8_t pad[kSha1BlockBytes];
    for (uint32_t i = 0; i < kSha1BlockBytes; ++i) {
        pad[i] = uint8_t(block[i] ^ kInnerPad);
    }
    m_innerKeyed.reset();
    m_innerKeyed.update(pad, kSha1BlockBytes);
    for (uint32_t i = 0; i < kSha1BlockBytes; ++i) {
        pad[i] = uint8_t(block[i] ^ kOuterPad);
    }
    m_outerKeyed.reset();
    m_outerKeyed.update(pad, kSha1BlockBytes);
    m_inner = m_innerKeyed;

    wipeSecretBytes(block, sizeof(block));
    wipeSecretBytes(pad, sizeof(pad));
}

void HmacSha1::update(const void* data, uint32_t len) { m_inner.update(data, len); }

void HmacSha1::final(uint8_t* out) {
    uint8_t innerDigest[kSha1DigestBytes];
    m_inner.final(innerDigest);
    Sha1 outer = m_outerKeyed;
    outer.update(innerDigest, kSha1DigestBytes);
    outer.final(out);
    m_inner = m_innerKeyed;
    wipeSecretBytes(innerDigest, sizeof(innerDigest));
}

void HmacSha1::mac(const void* key, uint32_t keyLen, const void* data, uint32_t len, uint8_t* out) {
    HmacSha1 hmac;
    hmac.init(key, keyLen);
    hmac.update(data, len);
    hmac.final(out);
}
