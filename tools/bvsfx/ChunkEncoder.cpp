#include "tools/bvsfx/ChunkEncoder.h"

#include "compress/ZeeStream.h"
#include "core/DataBuffer.h"
#include "crypto/Rijndael2.h"
#include "payload/PayloadFormat.h"

using namespace PayloadFormat;

namespace {

// Largest plaintext whose padded ciphertext (a whole number of blocks, at
// least one byte longer) still fits a chunk.
constexpr uint32_t kMaxEncryptedSliceBytes = (kMaxChunkBytes / kCipherBlockBytes) * kCipherBlockBytes - 1;

}  // namespace

ChunkEncoder::ChunkEncoder(int32_t level, const DataBuffer* key, int32_t keyBits)
    : m_level(level), m_stream(std::make_unique<ZeeStream>()) {
    if (key != nullptr) {
        m_cipher = std::make_unique<Rijndael2>();
        m_cipher->setKeyLength(keyBits);
        m_cipher->setCbcMode();
        m_cipher->setKey(*key);
    }
}

ChunkEncoder::~ChunkEncoder() = default;

uint32_t ChunkEncoder::maxSliceBytes(bool encrypted) {
    return encrypted ? kMaxEncryptedSliceBytes : kMaxChunkBytes;
}

uint32_t ChunkEncoder::maxSliceBytes() const { return maxSliceBytes(m_cipher != nullptr); }

uint32_t ChunkEncoder::lengthField(const EncodedChunk& chunk) {
    const uint32_t size = static_cast<uint32_t>(chunk.data.size());
    return chunk.stored ? (kChunkStoredFlag | size) : size;
}

bool ChunkEncoder::encode(const uint8_t* data, uint32_t size, EncodedChunk& out) {
    if (data == nullptr || size == 0 || size > maxSliceBytes()) return false;
    out.plainBytes = size;
    out.stored = !(m_level > 0 && deflateSmaller(data, size, out.data));
    if (out.stored) out.data.assign(data, data + size);
    if (m_cipher && !encipher(out.data)) return false;
    return out.data.size() <= kMaxChunkBytes;
}

bool ChunkEncoder::deflateSmaller(const uint8_t* data, uint32_t size, std::vector<uint8_t>& out) {
    if (!m_stream->init(m_level)) return false;
    // An output area one byte short of the slice: a stream that does not
    // end inside it would not make the chunk smaller.
    const uint32_t room = size - 1;
    out.resize(room == 0 ? 1 : room);
    m_stream->setInput(data, size);
    m_stream->setOutput(out.data(), room);
    bool ended = false;
    while (!ended && m_stream->outputLeft() > 0) {
        const uint32_t outputBefore = m_stream->outputLeft();
        const uint32_t inputBefore = m_stream->inputLeft();
        ended = m_stream->deflate(true);
        const bool moved = m_stream->outputLeft() != outputBefore || m_stream->inputLeft() != inputBefore;
        if (!ended && !moved) break;
    }
    if (!ended) return false;
    out.resize(room - m_stream->outputLeft());
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
