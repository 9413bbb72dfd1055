#include "crypto/Rijndael2.h"

#include <cstring>

#include "crypto/SecretWipe.h"

namespace {

constexpr int32_t kBits128 = 128;
constexpr int32_t kBits192 = 192;
constexpr int32_t kBits256 = 256;

// Key setup always reads the key material into an area of the largest key.
constexpr uint32_t kKeyAreaBytes = kAes256KeyBytes;

// Whether a buffer of n bytes plus extra bytes still has a 32-bit size.
bool fitsWith(uint32_t n, uint32_t extra)
{
    return n <= UINT32_MAX - extra;
}

// Length after PKCS#7 padding: always at least one padding byte, so a whole
// number of blocks gains a full block.
uint32_t paddedLength(uint32_t n)
{
    return n + (kAesBlockBytes - n % kAesBlockBytes);
}

std::unique_ptr<DataBuffer> emptyResult()
{
    return std::make_unique<DataBuffer>();
}

} // namespace

Rijndael2::Rijndael2()
    : m_paddingScheme(kPaddingPkcs7),
      m_keySizeCode(kKeySize256),
      m_keyNotReady(1),
      m_mode(kModeCbc),
      m_direction(kDirectionEncrypt),
      m_iv{},
      m_scheduleKey{},
      m_scheduleKeyBytes(0)
{
}

// m_core wipes the schedule, the base class the key material.
Rijndael2::~Rijndael2()
{
    wipeSecretBytes(m_scheduleKey, sizeof(m_scheduleKey));
}

// ---------------------------------------------------------------------------
// Settings

bool Rijndael2::setEcbMode()
{
    m_mode = kModeEcb;
    return true;
}

bool Rijndael2::setCbcMode()
{
    m_mode = kModeCbc;
    return true;
}

bool Rijndael2::setReservedModeA()
{
    return false;
}

bool Rijndael2::setReservedModeB()
{
    return false;
}

int32_t Rijndael2::setKeyLength(int32_t bits)
{
    if (bits > kBits192)
        m_keySizeCode = kKeySize256;
    else if (bits <= kBits128)
        m_keySizeCode = kKeySize128;
    else
        m_keySizeCode = kKeySize192;
    return keyLengthBits();
}

int32_t Rijndael2::keyLengthBits() const
{
    switch (m_keySizeCode) {
    case kKeySize128: return kBits128;
    case kKeySize192: return kBits192;
    default: return kBits256;
    }
}

void Rijndael2::describe(CipherDescription& out)
{
    std::memcpy(out.providerName, kCipherProviderName, kCipherProviderNameBytes);
    out.algorithmId = kCipherAlgorithmAes;
    out.mode = 0;
    out.flagOne = 1;
    out.flagZero = 0;
    out.reservedA = 0;
    out.keyLengthBits = keyLengthBits();
    out.reservedB = 0;
}

void Rijndael2::applyDescription(const CipherDescription& in)
{
    setKeyLength(in.keyLengthBits);
    if (in.mode == kCipherDescriptionModeEcb)
        setEcbMode();
    else
        setCbcMode();
}

// ---------------------------------------------------------------------------
// Key setup: the first 16, 24 or 32 bytes of the key material, zero-extended,
// expanded for one direction. The not-ready flag stays set unless every step
// succeeds, so a failed setup makes the block step that follows refuse.

int32_t Rijndael2::setupKey(int32_t direction)
{
    uint8_t keyArea[kKeyAreaBytes];
    takeKeyBytes(keyArea, kKeyAreaBytes);
    m_keyNotReady = 1;

    int32_t result = kSetupOk;
    uint32_t keyBytes = 0;
    if (m_mode != kModeEcb && m_mode != kModeCbc)
        result = kSetupBadMode;
    else if (direction != kDirectionEncrypt && direction != kDirectionDecrypt)
        result = kSetupBadDirection;
    else if (m_keySizeCode == kKeySize128)
        keyBytes = kAes128KeyBytes;
    else if (m_keySizeCode == kKeySize192)
        keyBytes = kAes192KeyBytes;
    else if (m_keySizeCode == kKeySize256)
        keyBytes = kAes256KeyBytes;
    else
        result = kSetupBadKeySize;

    if (result == kSetupOk) {
        const AesCore::Direction coreDirection =
            direction == kDirectionDecrypt ? AesCore::Direction::Decrypt : AesCore::Direction::Encrypt;
        bool ready = scheduleMatches(keyArea, keyBytes, coreDirection);
        if (!ready) {
            m_scheduleKeyBytes = 0;
            ready = m_core.expandKey(keyArea, keyBytes, coreDirection);
            if (ready) {
                std::memcpy(m_scheduleKey, keyArea, keyBytes);
                m_scheduleKeyBytes = keyBytes;
            }
        }
        if (ready) {
            m_direction = direction;
            m_keyNotReady = 0;
        }
    }
    wipeSecretBytes(keyArea, sizeof(keyArea));
    return result;
}

bool Rijndael2::scheduleMatches(const uint8_t* keyArea, uint32_t keyBytes, AesCore::Direction direction) const
{
    return m_core.isReady() && m_core.direction() == direction && m_scheduleKeyBytes == keyBytes &&
           std::memcmp(m_scheduleKey, keyArea, keyBytes) == 0;
}

// ---------------------------------------------------------------------------
// Block step: whole 16-byte blocks of in to out (which may be the same
// memory). Returns the number of bytes processed, 0 when it refuses (key not
// ready, schedule made for the other direction, no input, no whole block).
// The bytes of an incomplete trailing block are neither read nor written.

uint32_t Rijndael2::runBlockStep(const uint8_t* in, uint32_t lengthBytes, uint8_t* out,
                                 int32_t direction, const uint8_t* iv)
{
    if (m_keyNotReady != 0 || m_direction != direction)
        return 0;
    if (in == nullptr || out == nullptr)
        return 0;
    const uint32_t blocks = lengthBytes / kAesBlockBytes;
    if (blocks == 0)
        return 0;
    // CBC runs on a copy of the initialisation vector: the stored one is read,
    // never updated, by the block step.
    uint8_t chain[kAesBlockBytes];
    std::memcpy(chain, iv, kAesBlockBytes);
    if (m_mode == kModeEcb && direction == kDirectionEncrypt)
        m_core.encryptBlocks(in, out, blocks);
    else if (m_mode == kModeEcb)
        m_core.decryptBlocks(in, out, blocks);
    else if (direction == kDirectionEncrypt)
        m_core.encryptCbc(in, out, blocks, chain); // C[i] = E(P[i] xor C[i-1]), C[-1] = IV
    else
        m_core.decryptCbc(in, out, blocks, chain); // P[i] = D(C[i]) xor C[i-1]; in may be out
    return blocks * kAesBlockBytes;
}

// ---------------------------------------------------------------------------
// Whole-buffer operations with padding

std::unique_ptr<DataBuffer> Rijndael2::encryptData(const DataBuffer& in)
{
    const uint32_t size = in.getSize();
    if (size == 0)
        return emptyResult();
    setupKey(kDirectionEncrypt);
    return encryptPiece(in, true);
}

std::unique_ptr<DataBuffer> Rijndael2::decryptData(const DataBuffer& in)
{
    const uint32_t size = in.getSize();
    if (size == 0 || !fitsWith(size, kResultSlackBytes))
        return emptyResult();
    setupKey(kDirectionDecrypt);

    auto result = std::make_unique<DataBuffer>(size + kResultSlackBytes); // zero-filled
    result->setSize(size);
    if (runBlockStep(in.getData(), size, result->getData(), kDirectionDecrypt, m_iv) == 0)
        return emptyResult();
    result->unpadBlock(m_paddingScheme);
    return result;
}

void Rijndael2::decryptDataInto(const DataBuffer& in, DataBuffer& out)
{
    const uint32_t size = in.getSize();
    if (size == 0 || !fitsWith(size, kResultSlackBytes))
        return;
    setupKey(kDirectionDecrypt);

    // When in and out are one buffer, ensureCapacity keeps the content and
    // the step below deciphers it in place; in.getData() is read afterwards.
    out.ensureCapacity(size + kResultSlackBytes);
    out.setSize(size);
    const uint32_t processed = runBlockStep(in.getData(), size, out.getData(), kDirectionDecrypt, m_iv);
    std::memset(out.getData() + processed, 0, size - processed);
    if (processed > 0)
        out.unpadBlock(m_paddingScheme);
}

// ---------------------------------------------------------------------------
// Block-to-block operations (no padding)

bool Rijndael2::runBlocksInto(const BlockBuffer& in, BlockBuffer& out, int32_t direction)
{
    const uint32_t length = in.length();
    if (out.capacity() < in.capacity()) {
        out.setLength(0);
        return false;
    }
    if (runBlockStep(in.data(), in.capacity(), out.data(), direction, m_iv) == 0) {
        out.setLength(0);
        return false;
    }
    out.setLength(length);
    return true;
}

bool Rijndael2::runBlocksReserving(const BlockBuffer& in, BlockBuffer& out, int32_t direction)
{
    if (in.length() == 0) {
        out.clear();
        return true;
    }
    setupKey(direction);
    // Reserving would free in's data when both are one buffer: work in place.
    if (&in != &out && !out.reserve(in.capacity())) {
        out.setLength(0);
        return false;
    }
    return runBlocksInto(in, out, direction);
}

bool Rijndael2::encryptBlocks(const BlockBuffer& in, BlockBuffer& out)
{
    return runBlocksReserving(in, out, kDirectionEncrypt);
}

bool Rijndael2::decryptBlocks(const BlockBuffer& in, BlockBuffer& out)
{
    return runBlocksReserving(in, out, kDirectionDecrypt);
}

bool Rijndael2::encryptBlocksInto(const BlockBuffer& in, BlockBuffer& out)
{
    if (in.length() == 0)
        return true;
    setupKey(kDirectionEncrypt);
    return runBlocksInto(in, out, kDirectionEncrypt);
}

bool Rijndael2::decryptBlocksInto(const BlockBuffer& in, BlockBuffer& out)
{
    if (in.length() == 0)
        return true;
    setupKey(kDirectionDecrypt);
    return runBlocksInto(in, out, kDirectionDecrypt);
}

// ---------------------------------------------------------------------------
// Chained operations

// Enciphers a copy of in (padded when asked) with the current schedule from
// the stored IV. A piece that is not a whole number of blocks keeps its
// length; its trailing partial block is not enciphered and comes out as
// zeros, so no plaintext reaches the output.
std::unique_ptr<DataBuffer> Rijndael2::encryptPiece(const DataBuffer& in, bool pad)
{
    const uint32_t size = in.getSize();
    if (!pad && size == 0)
        return emptyResult();
    if (!fitsWith(size, kAesBlockBytes + kResultSlackBytes))
        return emptyResult();
    const uint32_t total = pad ? paddedLength(size) : size;

    auto result = std::make_unique<DataBuffer>(total + kResultSlackBytes);
    result->append(in.getData(), size);
    if (pad)
        result->padToBlock(m_paddingScheme);
    const uint32_t processed = runBlockStep(result->getData(), total, result->getData(), kDirectionEncrypt, m_iv);
    if (processed == 0)
        return emptyResult();
    std::memset(result->getData() + processed, 0, total - processed);
    return result;
}

void Rijndael2::adoptChainAsIv(DataBuffer& chain)
{
    if (chain.getSize() < kAesBlockBytes) {
        const uint8_t zeros[kAesBlockBytes] = {};
        chain.append(zeros, kAesBlockBytes);
    }
    std::memcpy(m_iv, chain.getData(), kAesBlockBytes);
}

std::unique_ptr<DataBuffer> Rijndael2::encryptFirst(const DataBuffer& in)
{
    if (in.getSize() == 0)
        return emptyResult();
    setupKey(kDirectionEncrypt);
    return encryptPiece(in, false);
}

std::unique_ptr<DataBuffer> Rijndael2::encryptNext(const DataBuffer& in, DataBuffer& chain)
{
    adoptChainAsIv(chain);
    return encryptPiece(in, false);
}

std::unique_ptr<DataBuffer> Rijndael2::encryptLast(const DataBuffer& in, DataBuffer& chain)
{
    adoptChainAsIv(chain);
    return encryptPiece(in, true);
}

// Deciphers in from iv (the stored IV or the caller's chain, which this
// updates only after the step has read it).
std::unique_ptr<DataBuffer> Rijndael2::decryptPiece(const DataBuffer& in, uint8_t* chain,
                                                    const uint8_t* iv, bool unpad)
{
    const uint32_t size = in.getSize();
    if (size == 0 || chain == nullptr || !fitsWith(size, kResultSlackBytes))
        return emptyResult();

    auto result = std::make_unique<DataBuffer>(size + kResultSlackBytes); // zero-filled
    result->setSize(size);
    const uint32_t processed = runBlockStep(in.getData(), size, result->getData(), kDirectionDecrypt, iv);
    if (processed == 0)
        return emptyResult();
    if (m_mode == kModeCbc)
        std::memcpy(chain, in.getData() + processed - kAesBlockBytes, kAesBlockBytes);
    if (unpad)
        result->unpadBlock(m_paddingScheme);
    return result;
}

std::unique_ptr<DataBuffer> Rijndael2::decryptFirst(const DataBuffer& in, uint8_t* chain)
{
    if (in.getSize() == 0)
        return emptyResult();
    setupKey(kDirectionDecrypt);
    return decryptPiece(in, chain, m_iv, false);
}

std::unique_ptr<DataBuffer> Rijndael2::decryptNext(const DataBuffer& in, uint8_t* chain)
{
    return decryptPiece(in, chain, chain, false);
}

std::unique_ptr<DataBuffer> Rijndael2::decryptLast(const DataBuffer& in, uint8_t* chain)
{
    return decryptPiece(in, chain, chain, true);
}
