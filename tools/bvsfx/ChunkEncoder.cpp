#include "tools/bvsfx/ChunkEncoder.h"

#include <libdeflate.h>

#include <algorithm>

#include "core/DataBuffer.h"
#include "crypto/Rijndael2.h"
#include "payload/PayloadFormat.h"
#include "payload/StrongCipher.h"

using namespace PayloadFormat;

namespace {

// Largest plaintext whose padded ciphertext (a whole number of blocks, at
// least one byte longer) still fits a chunk.
constexpr uint32_t kMaxEncryptedSliceBytes = (kMaxChunkBytes / kCipherBlockBytes) * kCipherBlockBytes - 1;

}  // namespace

ChunkEncoder::ChunkEncoder(int32_t level, const DataBuffer* key, int32_t keyBits)
    : m_level(std::clamp(level, kStoreLevel, kMaxLevel)) {
    if (m_level != kStoreLevel) m_compressor = libdeflate_alloc_compressor(m_level);
    if (key != nullptr) {
        m_cipher = std::make_unique<Rijndael2>();
        m_cipher->setKeyLength(keyBits);
        m_cipher->setCbcMode();
        m_cipher->setKey(*key);
    }
}

ChunkEncoder::ChunkEncoder(int32_t level, const StrongCipher& strong)
    : m_level(std::clamp(level, kStoreLevel, kMaxLevel)), m_strong(std::make_unique<StrongCipher>()) {
    if (m_level != kStoreLevel) m_compressor = libdeflate_alloc_compressor(m_level);
    m_strong->copyKeysFrom(strong);
}

ChunkEncoder::~ChunkEncoder() {
    if (m_compressor != nullptr) libdeflate_free_compressor(m_compressor);
}

uint32_t ChunkEncoder::maxSliceBytes(bool encrypted) {
    return encrypted ? kMaxEncryptedSliceBytes : kMaxChunkBytes;
}

uint32_t ChunkEncoder::maxStrongSliceBytes() { return StrongFormat::maxPlainBytesFor(kMaxChunkBytes); }

uint32_t ChunkEncoder::maxSliceBytes() const {
    return m_strong ? maxStrongSliceBytes() : maxSliceBytes(m_cipher != nullptr);
}

uint32_t ChunkEncoder::lengthField(const EncodedChunk& chunk) {
    const uint32_t size = static_cast<uint32_t>(chunk.data.size());
    return chunk.stored ? (kChunkStoredFlag | size) : size;
}

bool ChunkEncoder::encode(const uint8_t* data, uint32_t size, EncodedChunk& out) {
    if (data == nullptr || size == 0 || size > maxSliceBytes()) return false;
    if (m_level != kStoreLevel && m_compressor == nullptr) return false;
    out.plainBytes = size;
    out.stored = !(m_level != kStoreLevel && deflateSmaller(data, size, out.data));
    if (out.stored) out.data.assign(data, data + size);
    if (m_cipher && !encipher(out.data)) return false;
    if (m_strong) {
        DataBuffer sealed;
        if (!m_strong->encipher(out.data.data(), static_cast<uint32_t>(out.data.size()), sealed))
            return false;
        out.data.assign(sealed.getData(), sealed.getData() + sealed.getSize());
        // The code comes on top when the chunk is written.
        return out.data.size() + StrongFormat::kMacBytes <= kMaxChunkBytes;
    }
    return out.data.size() <= kMaxChunkBytes;
}

bool ChunkEncoder::deflateSmaller(const uint8_t* data, uint32_t size, std::vector<uint8_t>& out) {
    // An output area one byte short of the slice: libdeflate answers 0 when
    // the stream does not fit, and then it would not make the chunk smaller.
    const uint32_t room = size - 1;
    if (room == 0) return false;
    out.resize(room);
    const size_t written = libdeflate_deflate_compress(m_compressor, data, size, out.data(), room);
    if (written == 0) return false;
    out.resize(written);
    return true;
}

bool ChunkEncoder::encipher(std::vector<uint8_t>& data) {
    DataBuffer plain;
    plain.borrow(data.data(), static_cast<uint32_t>(data.size()));
    std::unique_ptr<DataBuffer> cipherText = m_cipher->encryptData(plain);
    if (!cipherText || cipherText->getSize() == 0) return false;
    data.assign(cipherText->getData(), cipherText->getData() + cipherText->getSize());
    return true;
}
