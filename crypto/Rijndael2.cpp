#include "crypto/Rijndael2.h"

#include <cstring>

#include "core/SecretWipe.h"

namespace {

// The AES block transform of the current key schedule, as the chaining
// driver runs it: the bulk forms go straight to AesCore, whose instruction
// path pipelines several blocks.
class AesBlocks final : public BlockTransform {
public:
    explicit AesBlocks(const AesCore& core) : m_core(core) {}

    uint32_t blockBytes() const override { return kAesBlockBytes; }
    void encryptEcb(const uint8_t* in, uint8_t* out, size_t blocks) const override {
        m_core.encryptBlocks(in, out, blocks);
    }
    void decryptEcb(const uint8_t* in, uint8_t* out, size_t blocks) const override {
        m_core.decryptBlocks(in, out, blocks);
    }
    void encryptCbc(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* chain) const override {
        m_core.encryptCbc(in, out, blocks, chain);
    }
    void decryptCbc(const uint8_t* in, uint8_t* out, size_t blocks, uint8_t* chain) const override {
        m_core.decryptCbc(in, out, blocks, chain);
    }

private:
    const AesCore& m_core;
};

constexpr int32_t kBits128 = 128;
constexpr int32_t kBits192 = 192;
constexpr int32_t kBits256 = 256;

// Key setup always reads the key material into an area of the largest key.
constexpr uint32_t kKeyAreaBytes = kAes256KeyBytes;

// Whether a buffer of n bytes plus extra bytes still has a 32-bit size.
bool fitsWith(uint32_t n, uint32_t extra) { return n <= UINT32_MAX - extra; }

// Length after PKCS#7 padding: always at least one padding byte, so a whole
// number of blocks gains a full block.
uint32_t paddedLength(uint32_t n) { return n + (kAesBlockBytes - n % kAesBlockBytes); }

std::unique_ptr<DataBuffer> emptyResult() { return std::make_unique<DataBuffer>(); }

}  // namespace

Rijndael2::Rijndael2()
    : m_paddingScheme(kPaddingPkcs7), m_keySize(KeySize::Bits256), m_keyReady(false),
      m_mode(ChainingMode::Cbc), m_direction(CipherDirection::Encrypt), m_iv{}, m_scheduleKey{},
      m_scheduleKeyBytes(0) {}

// m_core wipes the schedule, the base class the key material.
Rijndael2::~Rijndael2() { wipeSecretBytes(m_scheduleKey, sizeof(m_scheduleKey)); }

// ---------------------------------------------------------------------------
// Settings

bool Rijndael2::setEcbMode() {
    m_mode = ChainingMode::Ecb;
    return true;
}

bool Rijndael2::setCbcMode() {
    m_mode = ChainingMode::Cbc;
    return true;
}

bool Rijndael2::setReservedModeA() { return false; }

bool Rijndael2::setReservedModeB() { return false; }

int32_t Rijndael2::setKeyLength(int32_t bits) {
    if (bits > kBits192)
        m_keySize = KeySize::Bits256;
    else if (bits <= kBits128)
        m_keySize = KeySize::Bits128;
    else
        m_keySize = KeySize::Bits192;
    return keyLengthBits();
}

int32_t Rijndael2::keyLengthBits() const {
    switch (m_keySize) {
        case KeySize::Bits128: return kBits128;
        case KeySize::Bits192: return kBits192;
        case KeySize::Bits256: break;
    }
    return kBits256;
}

void Rijndael2::describe(CipherDescription& out) {
    std::memcpy(out.providerName, kCipherProviderName, kCipherProviderNameBytes);
    out.algorithmId = kCipherAlgorithmAes;
    out.mode = 0;
    out.flagOne = 1;
    out.flagZero = 0;
    out.reservedA = 0;
    out.keyLengthBits = keyLengthBits();
    out.reservedB = 0;
}

void Rijndael2::applyDescription(const CipherDescription& in) {
    setKeyLength(in.keyLengthBits);
    if (in.mode == kCipherDescriptionModeEcb)
        setEcbMode();
    else
        setCbcMode();
}

// ---------------------------------------------------------------------------
// Key setup: the first 16, 24 or 32 bytes of the key material, zero-extended,
// expanded for one direction. The key stays not ready unless the expansion
// succeeds, so the chained operations that follow a failed setup (Next,
// Last) refuse as well.

uint32_t Rijndael2::keyBytes() const {
    switch (m_keySize) {
        case KeySize::Bits128: return kAes128KeyBytes;
        case KeySize::Bits192: return kAes192KeyBytes;
        case KeySize::Bits256: break;
    }
    return kAes256KeyBytes;
}

bool Rijndael2::setupKey(CipherDirection direction) {
    uint8_t keyArea[kKeyAreaBytes];
    takeKeyBytes(keyArea, kKeyAreaBytes);
    m_keyReady = false;

    const uint32_t length = keyBytes();
    const AesCore::Direction coreDirection =
        direction == CipherDirection::Decrypt ? AesCore::Direction::Decrypt : AesCore::Direction::Encrypt;
    bool ready = scheduleMatches(keyArea, length, coreDirection);
    if (!ready) {
        m_scheduleKeyBytes = 0;
        ready = m_core.expandKey(keyArea, length, coreDirection);
        if (ready) {
            std::memcpy(m_scheduleKey, keyArea, length);
            m_scheduleKeyBytes = length;
        }
    }
    if (ready) {
        m_direction = direction;
        m_keyReady = true;
    }
    wipeSecretBytes(keyArea, sizeof(keyArea));
    return ready;
}

bool Rijndael2::scheduleMatches(const uint8_t* keyArea, uint32_t keyBytes,
                                AesCore::Direction direction) const {
    return m_core.isReady() && m_core.direction() == direction && m_scheduleKeyBytes == keyBytes &&
           std::memcmp(m_scheduleKey, keyArea, keyBytes) == 0;
}

// ---------------------------------------------------------------------------
// Block step: whole 16-byte blocks of in to out (which may be the same
// memory). Returns the number of bytes processed, 0 when it refuses (key not
// ready, schedule made for the other direction, no input, no whole block).
// The bytes of an incomplete trailing block are neither read nor written.

uint32_t Rijndael2::runBlockStep(const uint8_t* in, uint32_t lengthBytes, uint8_t* out,
                                 CipherDirection direction, const uint8_t* iv) {
    if (!m_keyReady || m_direction != direction) return 0;
    if (in == nullptr || out == nullptr) return 0;
    if (lengthBytes < kAesBlockBytes) return 0;
    return chainBlocks(AesBlocks(m_core), m_mode, direction, in, out, lengthBytes, iv, PartialBlock::Zeroed);
}

// ---------------------------------------------------------------------------
// Whole-buffer operations with padding

// A failed key setup gives the operations' failure results (an empty
// buffer, false, a zeroed output) without running the block step.

std::unique_ptr<DataBuffer> Rijndael2::encryptData(const DataBuffer& in) {
    const uint32_t size = in.getSize();
    if (size == 0 || !setupKey(CipherDirection::Encrypt)) return emptyResult();
    return encryptPiece(in, true);
}

std::unique_ptr<DataBuffer> Rijndael2::decryptData(const DataBuffer& in) {
    const uint32_t size = in.getSize();
    if (size == 0 || !fitsWith(size, kResultSlackBytes)) return emptyResult();
    if (!setupKey(CipherDirection::Decrypt)) return emptyResult();

    auto result = std::make_unique<DataBuffer>(size + kResultSlackBytes);  // zero-filled
    result->setSize(size);
    if (runBlockStep(in.getData(), size, result->getData(), CipherDirection::Decrypt, m_iv) == 0)
        return emptyResult();
    result->unpadBlock(m_paddingScheme);
    return result;
}

void Rijndael2::decryptDataInto(const DataBuffer& in, DataBuffer& out) {
    const uint32_t size = in.getSize();
    if (size == 0 || !fitsWith(size, kResultSlackBytes)) return;
    const bool keyReady = setupKey(CipherDirection::Decrypt);

    // When in and out are one buffer, ensureCapacity keeps the content and
    // the step below deciphers it in place; in.getData() is read afterwards.
    out.ensureCapacity(size + kResultSlackBytes);
    out.setSize(size);
    // Without a key the output is all zeros: the ciphertext must not pass
    // for plaintext.
    const uint32_t processed =
        keyReady ? runBlockStep(in.getData(), size, out.getData(), CipherDirection::Decrypt, m_iv) : 0;
    std::memset(out.getData() + processed, 0, size - processed);
    if (processed > 0) out.unpadBlock(m_paddingScheme);
}

// ---------------------------------------------------------------------------
// Block-to-block operations (no padding)

bool Rijndael2::runBlocks(const BlockBuffer& in, BlockBuffer& out, CipherDirection direction,
                          BlockOutput output) {
    if (finishEmptyBlockRun(in, out, output)) return true;
    if (!setupKey(direction)) {
        out.setLength(0);
        return false;
    }
    return chainBlockBuffer(AesBlocks(m_core), m_mode, direction, m_iv, in, out, output);
}

bool Rijndael2::encryptBlocks(const BlockBuffer& in, BlockBuffer& out) {
    return runBlocks(in, out, CipherDirection::Encrypt, BlockOutput::Reserved);
}

bool Rijndael2::decryptBlocks(const BlockBuffer& in, BlockBuffer& out) {
    return runBlocks(in, out, CipherDirection::Decrypt, BlockOutput::Reserved);
}

bool Rijndael2::encryptBlocksInto(const BlockBuffer& in, BlockBuffer& out) {
    return runBlocks(in, out, CipherDirection::Encrypt, BlockOutput::Existing);
}

bool Rijndael2::decryptBlocksInto(const BlockBuffer& in, BlockBuffer& out) {
    return runBlocks(in, out, CipherDirection::Decrypt, BlockOutput::Existing);
}

// ---------------------------------------------------------------------------
// Chained operations

// Enciphers a copy of in (padded when asked) with the current schedule from
// the stored IV. A piece that is not a whole number of blocks keeps its
// length; its trailing partial block is not enciphered and comes out as
// zeros, so no plaintext reaches the output.
std::unique_ptr<DataBuffer> Rijndael2::encryptPiece(const DataBuffer& in, bool pad) {
    const uint32_t size = in.getSize();
    if (!pad && size == 0) return emptyResult();
    if (!fitsWith(size, kAesBlockBytes + kResultSlackBytes)) return emptyResult();
    const uint32_t total = pad ? paddedLength(size) : size;

    auto result = std::make_unique<DataBuffer>(total + kResultSlackBytes);
    result->append(in.getData(), size);
    if (pad) result->padToBlock(m_paddingScheme);
    const uint32_t processed =
        runBlockStep(result->getData(), total, result->getData(), CipherDirection::Encrypt, m_iv);
    if (processed == 0) return emptyResult();
    std::memset(result->getData() + processed, 0, total - processed);
    return result;
}

void Rijndael2::adoptChainAsIv(DataBuffer& chain) {
    if (chain.getSize() < kAesBlockBytes) {
        const uint8_t zeros[kAesBlockBytes] = {};
        chain.append(zeros, kAesBlockBytes);
    }
    std::memcpy(m_iv, chain.getData(), kAesBlockBytes);
}

std::unique_ptr<DataBuffer> Rijndael2::encryptFirst(const DataBuffer& in) {
    if (in.getSize() == 0 || !setupKey(CipherDirection::Encrypt)) return emptyResult();
    return encryptPiece(in, false);
}

std::unique_ptr<DataBuffer> Rijndael2::encryptNext(const DataBuffer& in, DataBuffer& chain) {
    adoptChainAsIv(chain);
    return encryptPiece(in, false);
}

std::unique_ptr<DataBuffer> Rijndael2::encryptLast(const DataBuffer& in, DataBuffer& chain) {
    adoptChainAsIv(chain);
    return encryptPiece(in, true);
}

// Deciphers in from iv (the stored IV or the caller's chain, which this
// updates only after the step has read it).
std::unique_ptr<DataBuffer> Rijndael2::decryptPiece(const DataBuffer& in, uint8_t* chain, const uint8_t* iv,
                                                    bool unpad) {
    const uint32_t size = in.getSize();
    if (size == 0 || chain == nullptr || !fitsWith(size, kResultSlackBytes)) return emptyResult();

    auto result = std::make_unique<DataBuffer>(size + kResultSlackBytes);  // zero-filled
    result->setSize(size);
    const uint32_t processed =
        runBlockStep(in.getData(), size, result->getData(), CipherDirection::Decrypt, iv);
    if (processed == 0) return emptyResult();
    if (m_mode == ChainingMode::Cbc)
        std::memcpy(chain, in.getData() + processed - kAesBlockBytes, kAesBlockBytes);
    if (unpad) result->unpadBlock(m_paddingScheme);
    return result;
}

std::unique_ptr<DataBuffer> Rijndael2::decryptFirst(const DataBuffer& in, uint8_t* chain) {
    if (in.getSize() == 0 || !setupKey(CipherDirection::Decrypt)) return emptyResult();
    return decryptPiece(in, chain, m_iv, false);
}

std::unique_ptr<DataBuffer> Rijndael2::decryptNext(const DataBuffer& in, uint8_t* chain) {
    return decryptPiece(in, chain, chain, false);
}

std::unique_ptr<DataBuffer> Rijndael2::decryptLast(const DataBuffer& in, uint8_t* chain) {
    return decryptPiece(in, chain, chain, true);
}
