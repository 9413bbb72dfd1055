#include "crypto/SymmetricAlgorithm2.h"

#include <cstring>

#include "core/ContentCoding.h"
#include "core/StringBuffer.h"
#include "core/DigestMD5.h"
#include "core/SecretWipe.h"

namespace {

// The password whose derived key material every new cipher starts with.
constexpr char kDefaultPassword[] = "mervask";

constexpr int32_t kBaseKeyLengthBits = 128;

}  // namespace

SymmetricAlgorithm2::SymmetricAlgorithm2() { setPassword(kDefaultPassword); }

SymmetricAlgorithm2::~SymmetricAlgorithm2() { wipeKeyMaterial(); }

// ---------------------------------------------------------------------------
// Base behaviour of the virtual slots: the operation is not offered.

bool SymmetricAlgorithm2::setEcbMode() { return false; }

bool SymmetricAlgorithm2::setCbcMode() { return false; }

bool SymmetricAlgorithm2::setReservedModeA() { return false; }

bool SymmetricAlgorithm2::setReservedModeB() { return false; }

int32_t SymmetricAlgorithm2::setKeyLength(int32_t) { return kBaseKeyLengthBits; }

std::unique_ptr<DataBuffer> SymmetricAlgorithm2::encryptData(const DataBuffer&) { return nullptr; }

bool SymmetricAlgorithm2::encryptBlocks(const BlockBuffer&, BlockBuffer&) { return false; }

std::unique_ptr<DataBuffer> SymmetricAlgorithm2::decryptData(const DataBuffer&) { return nullptr; }

bool SymmetricAlgorithm2::decryptBlocks(const BlockBuffer&, BlockBuffer&) { return false; }

bool SymmetricAlgorithm2::encryptBlocksInto(const BlockBuffer&, BlockBuffer&) { return false; }

bool SymmetricAlgorithm2::decryptBlocksInto(const BlockBuffer&, BlockBuffer&) { return false; }

void SymmetricAlgorithm2::describe(CipherDescription&) {}

void SymmetricAlgorithm2::applyDescription(const CipherDescription&) {}

// ---------------------------------------------------------------------------
// Key material

void SymmetricAlgorithm2::setPassword(const char* password) {
    if (password == nullptr) return;
    DataBuffer bytes;
    bytes.appendExact(password, static_cast<uint32_t>(std::strlen(password)));
    setPassword(bytes);
    wipeSecretBytes(bytes.getData(), bytes.getCapacity());
}

// Key material = MD5(password) || MD5(Base64(password)). The second digest
// stretches the 16-byte MD5 to the 32 bytes an AES-256 key needs.
void SymmetricAlgorithm2::setPassword(const DataBuffer& password) {
    uint8_t derived[kDerivedKeyBytes];
    DigestMD5 md5;
    md5.digestData(password, derived);

    StringBuffer base64;
    ContentCoding().encodeBase64(password.getData(), password.getSize(), base64);
    md5.digestString(base64, derived + DigestMD5::kDigestBytes);
    // The Base64 text is the password in another spelling; the buffer is
    // ours, so overwrite it before it is freed.
    wipeSecretBytes(const_cast<char*>(base64.getString()), static_cast<uint32_t>(base64.getSize()));

    // The password may be the key material itself: replace it only now.
    wipeKeyMaterial();
    m_keyMaterial.appendExact(derived, kDerivedKeyBytes);
    wipeSecretBytes(derived, sizeof(derived));
}

void SymmetricAlgorithm2::setKey(const DataBuffer& key) {
    if (&key == &m_keyMaterial) return;
    wipeKeyMaterial();
    m_keyMaterial.appendExact(key.getData(), key.getSize());
}

void SymmetricAlgorithm2::takeKeyBytes(uint8_t* area, uint32_t areaBytes) const {
    const uint32_t available = m_keyMaterial.getSize();
    const uint32_t taken = available < areaBytes ? available : areaBytes;
    std::memset(area, 0, areaBytes);
    if (taken > 0) std::memcpy(area, m_keyMaterial.getData(), taken);
}

void SymmetricAlgorithm2::wipeKeyMaterial() {
    wipeSecretBytes(m_keyMaterial.getData(), m_keyMaterial.getCapacity());
    m_keyMaterial.clear();
}
