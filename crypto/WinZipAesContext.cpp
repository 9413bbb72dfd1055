#include "crypto/WinZipAesContext.h"

#include <cstring>

#include "core/SecretWipe.h"
#include "crypto/Pbkdf2.h"

namespace {

// Only the low 8 bytes of the counter block take part in the increment.
constexpr uint32_t kCounterBytes = 8;

}  // namespace

WinZipAesContext::WinZipAesContext() : m_position(kAesBlockBytes), m_passwordLen(0), m_strength(0) {
    std::memset(m_counter, 0, sizeof(m_counter));
    std::memset(m_keystream, 0, sizeof(m_keystream));
    std::memset(m_verifier, 0, sizeof(m_verifier));
}

WinZipAesContext::~WinZipAesContext() { wipe(); }

int32_t WinZipAesContext::normaliseStrength(int32_t strength) {
    switch (strength) {
        case kWinZipAesStrength128:
        case 128: return kWinZipAesStrength128;
        case kWinZipAesStrength192:
        case 192: return kWinZipAesStrength192;
        case kWinZipAesStrength256:
        case 256: return kWinZipAesStrength256;
        default: return 0;
    }
}

bool WinZipAesContext::setup(const uint8_t* password, uint32_t passwordLen, const uint8_t* salt,
                             int32_t strength) {
    wipe();
    const int32_t code = normaliseStrength(strength);
    if (code == 0 || passwordLen > kWinZipAesMaxPasswordBytes || salt == nullptr ||
        (password == nullptr && passwordLen > 0)) {
        return false;
    }
    const uint32_t saltBytes = winZipAesSaltBytes(code);
    const uint32_t keyBytes = winZipAesKeyBytes(code);

    // Derived material: AES key | HMAC key | verifier.
    uint8_t derived[2 * kWinZipAesMaxKeyBytes + kWinZipAesVerifierBytes];
    const uint32_t derivedBytes = 2 * keyBytes + kWinZipAesVerifierBytes;
    bool ok = Pbkdf2::deriveHmacSha1(password, passwordLen, salt, saltBytes, kWinZipAesKdfIterations, derived,
                                     derivedBytes);
    ok = ok && m_aes.expandKey(derived, keyBytes, AesCore::Direction::Encrypt);
    if (ok) {
        m_hmac.init(derived + keyBytes, keyBytes);
        std::memcpy(m_verifier, derived + 2 * keyBytes, kWinZipAesVerifierBytes);
        m_passwordLen = passwordLen;
        m_strength = code;
    }
    wipeSecretBytes(derived, sizeof(derived));
    if (!ok) {
        wipe();
    }
    return ok;
}

void WinZipAesContext::encrypt(uint8_t* buffer, uint32_t count) {
    if (!isReady() || buffer == nullptr || count == 0) {
        return;
    }
    applyKeystream(buffer, count);
    m_hmac.update(buffer, count);
}

void WinZipAesContext::decrypt(uint8_t* buffer, uint32_t count) {
    if (!isReady() || buffer == nullptr || count == 0) {
        return;
    }
    m_hmac.update(buffer, count);
    applyKeystream(buffer, count);
}

void WinZipAesContext::authCode(uint8_t* out) {
    uint8_t mac[kHmacSha1Bytes];
    m_hmac.final(mac);
    std::memcpy(out, mac, kWinZipAesAuthCodeBytes);
    wipeSecretBytes(mac, sizeof(mac));
}

void WinZipAesContext::applyKeystream(uint8_t* buffer, uint32_t count) {
    uint32_t i = 0;
    // Finish a keystream block left over from the previous piece.
    while (i < count && m_position < kAesBlockBytes) {
        buffer[i++] ^= m_keystream[m_position++];
    }
    // Whole blocks.
    while (count - i >= kAesBlockBytes) {
        incrementCounter();
        m_aes.encryptBlock(m_counter, m_keystream);
        for (uint32_t k = 0; k < kAesBlockBytes; ++k) {
            buffer[i + k] ^= m_keystream[k];
        }
        i += kAesBlockBytes;
    }
    // A partial block: its unused keystream serves the next piece.
    if (i < count) {
        incrementCounter();
        m_aes.encryptBlock(m_counter, m_keystream);
        m_position = 0;
        while (i < count) {
            buffer[i++] ^= m_keystream[m_position++];
        }
    }
}

void WinZipAesContext::incrementCounter() {
    for (uint32_t i = 0; i < kCounterBytes; ++i) {
        if (++m_counter[i] != 0) {
            break;
        }
    }
}

void WinZipAesContext::wipe() {
    wipeSecretBytes(m_counter, sizeof(m_counter));
    wipeSecretBytes(m_keystream, sizeof(m_keystream));
    wipeSecretBytes(m_verifier, sizeof(m_verifier));
    m_aes.wipe();
    m_hmac.init(nullptr, 0);
    m_position = kAesBlockBytes;
    m_passwordLen = 0;
    m_strength = 0;
}
