#include "payload/StrongCipher.h"

#include <cstring>

#include "core/DataBuffer.h"
#include "core/ConstantTime.h"
#include "crypto/Pbkdf2.h"
#include "core/SecretWipe.h"
#include "platform/SystemRandom.h"

using namespace StrongFormat;

namespace {

uint32_t cipherKeyBytesFor(int32_t keyBits) {
    if (keyBits == 128) return kAes128KeyBytes;
    if (keyBits == 192) return kAes192KeyBytes;
    return kAes256KeyBytes;
}

// HMAC-SHA256(master, label), the HKDF-expand step for one output block.
void drawKey(const uint8_t* master, const char* label, uint8_t* out) {
    HmacSha256::mac(master, kMasterKeyBytes, label, static_cast<uint32_t>(std::strlen(label)), out);
}

}  // namespace

StrongCipher::StrongCipher() : m_cipherKeyBytes(0), m_ready(false) {
    std::memset(m_cipherKey, 0, sizeof m_cipherKey);
    std::memset(m_macKey, 0, sizeof m_macKey);
    std::memset(m_verifier, 0, sizeof m_verifier);
}

StrongCipher::~StrongCipher() { wipe(); }

void StrongCipher::wipe() {
    m_encrypt.wipe();
    m_decrypt.wipe();
    wipeSecretBytes(m_cipherKey, sizeof m_cipherKey);
    wipeSecretBytes(m_macKey, sizeof m_macKey);
    wipeSecretBytes(m_verifier, sizeof m_verifier);
    m_keyedMac.init(nullptr, 0);
    m_cipherKeyBytes = 0;
    m_ready = false;
}

bool StrongCipher::derive(const uint8_t* password, uint32_t passwordBytes, const uint8_t* salt,
                          uint32_t iterations, int32_t keyBits) {
    wipe();
    if (iterations < kMinIterations || iterations > kMaxIterations) return false;
    uint8_t master[kMasterKeyBytes];
    if (!Pbkdf2::deriveHmacSha256(password, passwordBytes, salt, kSaltBytes, iterations, master,
                                  kMasterKeyBytes)) {
        return false;
    }
    uint8_t drawn[kHmacSha256Bytes];
    drawKey(master, kCipherKeyLabel, drawn);
    m_cipherKeyBytes = cipherKeyBytesFor(keyBits);
    std::memcpy(m_cipherKey, drawn, m_cipherKeyBytes);
    drawKey(master, kMacKeyLabel, m_macKey);
    drawKey(master, kVerifierLabel, m_verifier);
    wipeSecretBytes(drawn, sizeof drawn);
    wipeSecretBytes(master, sizeof master);
    return expand();
}

bool StrongCipher::copyKeysFrom(const StrongCipher& other) {
    wipe();
    if (!other.m_ready) return false;
    m_cipherKeyBytes = other.m_cipherKeyBytes;
    std::memcpy(m_cipherKey, other.m_cipherKey, sizeof m_cipherKey);
    std::memcpy(m_macKey, other.m_macKey, sizeof m_macKey);
    std::memcpy(m_verifier, other.m_verifier, sizeof m_verifier);
    return expand();
}

bool StrongCipher::expand() {
    if (!m_encrypt.expandKey(m_cipherKey, m_cipherKeyBytes, AesCore::Direction::Encrypt) ||
        !m_decrypt.expandKey(m_cipherKey, m_cipherKeyBytes, AesCore::Direction::Decrypt)) {
        wipe();
        return false;
    }
    m_keyedMac.init(m_macKey, kMacBytes);
    m_ready = true;
    return true;
}

uint8_t StrongCipher::verifierDifference(const uint8_t* stored) const {
    return constantTimeDifference(stored, m_verifier, kVerifierBytes);
}

bool StrongCipher::verifierMatches(const uint8_t* stored) const {
    return m_ready && verifierDifference(stored) == 0;
}

void StrongCipher::settingsCode(const uint8_t* settingsDigest, const uint8_t* recordHead,
                                uint32_t recordHeadBytes, uint8_t* out) const {
    HmacSha256 mac = m_keyedMac;
    mac.update(kSettingsLabel, static_cast<uint32_t>(std::strlen(kSettingsLabel)));
    mac.update(settingsDigest, kSha256DigestBytes);
    mac.update(recordHead, recordHeadBytes);
    mac.final(out);
}

void StrongCipher::code(uint8_t kind, uint64_t sequence, const uint8_t* context, uint32_t contextBytes,
                        const uint8_t* ivAndCiphertext, uint32_t bytes, uint8_t* out) const {
    uint8_t head[1 + 8];
    head[0] = kind;
    for (uint32_t i = 0; i < 8; ++i) head[1 + i] = static_cast<uint8_t>(sequence >> (8 * i));
    HmacSha256 mac = m_keyedMac;
    mac.update(head, sizeof head);
    mac.update(context, contextBytes);
    mac.update(ivAndCiphertext, bytes);
    mac.final(out);
}

bool StrongCipher::encipher(const uint8_t* plain, uint32_t plainBytes, DataBuffer& sealed) const {
    sealed.clear();
    if (!m_ready || (plain == nullptr && plainBytes != 0)) return false;
    const uint32_t padding = kCipherBlockBytes - plainBytes % kCipherBlockBytes;  // 1..16
    const uint32_t cipherBytes = plainBytes + padding;
    sealed.ensureCapacity(kIvBytes + cipherBytes + kMacBytes);
    uint8_t* out = sealed.getData();
    if (!systemRandomBytes(out, kIvBytes)) return false;
    uint8_t* body = out + kIvBytes;
    if (plainBytes != 0) std::memcpy(body, plain, plainBytes);
    std::memset(body + plainBytes, static_cast<int>(padding), padding);
    uint8_t chain[kCipherBlockBytes];
    std::memcpy(chain, out, kIvBytes);
    m_encrypt.encryptCbc(body, body, cipherBytes / kCipherBlockBytes, chain);
    sealed.setSize(kIvBytes + cipherBytes);
    return true;
}

void StrongCipher::appendCode(uint8_t kind, uint64_t sequence, const uint8_t* context, uint32_t contextBytes,
                              DataBuffer& sealed) const {
    uint8_t out[kMacBytes];
    code(kind, sequence, context, contextBytes, sealed.getData(), sealed.getSize(), out);
    sealed.append(out, kMacBytes);
}

bool StrongCipher::open(uint8_t kind, uint64_t sequence, const uint8_t* context, uint32_t contextBytes,
                        const uint8_t* sealed, uint32_t sealedBytes, DataBuffer& plain) const {
    plain.clear();
    if (!m_ready || sealed == nullptr || sealedBytes < kMinSealedBytes) return false;
    const uint32_t cipherBytes = sealedBytes - kSealOverheadBytes;
    if (cipherBytes % kCipherBlockBytes != 0) return false;
    uint8_t expected[kMacBytes];
    code(kind, sequence, context, contextBytes, sealed, kIvBytes + cipherBytes, expected);
    if (!constantTimeEqual(expected, sealed + kIvBytes + cipherBytes, kMacBytes)) return false;

    plain.ensureCapacity(cipherBytes);
    uint8_t chain[kCipherBlockBytes];
    std::memcpy(chain, sealed, kIvBytes);
    m_decrypt.decryptCbc(sealed + kIvBytes, plain.getData(), cipherBytes / kCipherBlockBytes, chain);
    // The code matched, so the padding is the writer's: anything but
    // well-formed PKCS#7 means a writer that is not ours.
    const uint8_t padding = plain.getData()[cipherBytes - 1];
    if (padding < 1 || padding > kCipherBlockBytes) return false;
    for (uint32_t i = 1; i <= padding; ++i) {
        if (plain.getData()[cipherBytes - i] != padding) return false;
    }
    plain.setSize(cipherBytes - padding);
    return true;
}
