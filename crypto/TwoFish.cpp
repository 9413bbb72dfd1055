#include "crypto/TwoFish.h"

#include <cstring>
#include <new>

#include "crypto/SecretWipe.h"

namespace {

constexpr uint32_t kBlockBytes = kTwofishBlockBytes;
constexpr uint32_t kMaxBufferBytes = 0xFFFFFFFFu;

inline void xorBlock(uint8_t* target, const uint8_t* mask)
{
    for (uint32_t i = 0; i < kBlockBytes; ++i)
        target[i] ^= mask[i];
}

// Size of a result of `length` bytes plus the spare capacity; 0 when it does
// not fit 32 bits.
uint32_t resultCapacity(uint64_t length)
{
    const uint64_t capacity = length + TwoFish::kResultSlackBytes;
    return capacity > kMaxBufferBytes ? 0 : static_cast<uint32_t>(capacity);
}

} // namespace

TwoFish::TwoFish()
    : m_mode(kModeCbc),
      m_keyLengthBits(kDefaultKeyBits),
      m_schedule(new (std::nothrow) TwofishSchedule)
{
    std::memcpy(m_iv, kClassIv, sizeof m_iv);
}

TwoFish::~TwoFish()
{
    if (m_schedule)
        wipeSecretBytes(m_schedule.get(), sizeof(TwofishSchedule));
}

bool TwoFish::setEcbMode()
{
    m_mode = kModeEcb;
    return true;
}

bool TwoFish::setCbcMode()
{
    m_mode = kModeCbc;
    return true;
}

int32_t TwoFish::setKeyLength(int32_t bits)
{
    if (bits > 192)
        m_keyLengthBits = 256;
    else if (bits <= 128)
        m_keyLengthBits = 128;
    else
        m_keyLengthBits = 192;
    return m_keyLengthBits;
}

bool TwoFish::setupKey()
{
    if (!m_schedule)
        return false;
    uint8_t key[kTwofishMaxKeyBytes];
    takeKeyBytes(key, kTwofishMaxKeyBytes);
    const bool ok = twofishSetKey(*m_schedule, key, static_cast<uint32_t>(m_keyLengthBits));
    wipeSecretBytes(key, kTwofishMaxKeyBytes);
    return ok;
}

// ECB, or CBC from the class IV: each plaintext block is XORed with the
// previous ciphertext block (the IV for the first) before encryption.
void TwoFish::encryptRange(const uint8_t* in, uint8_t* out, uint32_t lengthBytes) const
{
    const uint32_t wholeBlocks = lengthBytes / kBlockBytes;
    uint8_t chain[kBlockBytes];
    std::memcpy(chain, m_iv, kBlockBytes);
    for (uint32_t i = 0; i < wholeBlocks; ++i) {
        uint8_t block[kBlockBytes];
        std::memcpy(block, in + i * kBlockBytes, kBlockBytes);
        if (m_mode == kModeCbc)
            xorBlock(block, chain);
        twofishEncryptBlock(*m_schedule, block, out + i * kBlockBytes);
        std::memcpy(chain, out + i * kBlockBytes, kBlockBytes);
    }
    const uint32_t tailBytes = lengthBytes % kBlockBytes;
    if (tailBytes != 0)
        std::memset(out + wholeBlocks * kBlockBytes, 0, tailBytes);
}

// The inverse; the ciphertext block is saved before it is overwritten, so in
// and out may be the same memory.
void TwoFish::decryptRange(const uint8_t* in, uint8_t* out, uint32_t lengthBytes) const
{
    const uint32_t wholeBlocks = lengthBytes / kBlockBytes;
    uint8_t chain[kBlockBytes];
    std::memcpy(chain, m_iv, kBlockBytes);
    for (uint32_t i = 0; i < wholeBlocks; ++i) {
        uint8_t ciphertext[kBlockBytes];
        std::memcpy(ciphertext, in + i * kBlockBytes, kBlockBytes);
        twofishDecryptBlock(*m_schedule, ciphertext, out + i * kBlockBytes);
        if (m_mode == kModeCbc)
            xorBlock(out + i * kBlockBytes, chain);
        std::memcpy(chain, ciphertext, kBlockBytes);
    }
    const uint32_t tailBytes = lengthBytes % kBlockBytes;
    if (tailBytes != 0)
        std::memset(out + wholeBlocks * kBlockBytes, 0, tailBytes);
}

std::unique_ptr<DataBuffer> TwoFish::encryptData(const DataBuffer& in)
{
    const uint32_t size = in.getSize();
    if (size == 0)
        return std::make_unique<DataBuffer>();
    if (!setupKey())
        return nullptr;

    const uint64_t paddedBytes = uint64_t{size} + kBlockBytes - size % kBlockBytes;
    const uint32_t capacity = resultCapacity(paddedBytes);
    if (capacity == 0)
        return std::make_unique<DataBuffer>();
    auto out = std::make_unique<DataBuffer>(capacity);
    if (out->getData() == nullptr)
        return std::make_unique<DataBuffer>();
    std::memcpy(out->getData(), in.getData(), size);
    out->setSize(size);
    out->padToBlock(DataBuffer::PadPkcs7);
    encryptRange(out->getData(), out->getData(), out->getSize());
    return out;
}

std::unique_ptr<DataBuffer> TwoFish::decryptData(const DataBuffer& in)
{
    const uint32_t size = in.getSize();
    if (size == 0)
        return std::make_unique<DataBuffer>();
    if (!setupKey())
        return nullptr;
    if (size < kBlockBytes)
        return std::make_unique<DataBuffer>();

    const uint32_t capacity = resultCapacity(size);
    if (capacity == 0)
        return std::make_unique<DataBuffer>();
    auto out = std::make_unique<DataBuffer>(capacity);
    if (out->getData() == nullptr)
        return std::make_unique<DataBuffer>();
    decryptRange(in.getData(), out->getData(), size);
    out->setSize(size);
    out->unpadBlock(DataBuffer::PadPkcs7);
    return out;
}

bool TwoFish::runBlocks(const BlockBuffer& in, BlockBuffer& out, bool encrypt, bool reserveOut)
{
    const uint32_t length = in.length();
    const uint32_t bytes = in.capacity();
    if (length == 0) {
        if (reserveOut)
            out.clear();
        return true;
    }
    if (!setupKey()) {
        out.setLength(0);
        return false;
    }
    if (reserveOut && &in != &out) {
        if (!out.reserve(bytes))
            return false;
    } else if (out.capacity() < bytes) {
        out.setLength(0);
        return false;
    }
    if (encrypt)
        encryptRange(in.data(), out.data(), bytes);
    else
        decryptRange(in.data(), out.data(), bytes);
    out.setLength(length);
    return true;
}

bool TwoFish::encryptBlocks(const BlockBuffer& in, BlockBuffer& out) { return runBlocks(in, out, true, true); }
bool TwoFish::decryptBlocks(const BlockBuffer& in, BlockBuffer& out) { return runBlocks(in, out, false, true); }
bool TwoFish::encryptBlocksInto(const BlockBuffer& in, BlockBuffer& out) { return runBlocks(in, out, true, false); }
bool TwoFish::decryptBlocksInto(const BlockBuffer& in, BlockBuffer& out) { return runBlocks(in, out, false, false); }

void TwoFish::describe(CipherDescription& out)
{
    std::memcpy(out.providerName, kCipherProviderName, kCipherProviderNameBytes);
    out.algorithmId = kCipherAlgorithmTwofish;
    out.mode = 0;
    out.flagOne = 1;
    out.flagZero = 0;
    out.reservedA = 0;
    out.keyLengthBits = m_keyLengthBits;
    out.reservedB = 0;
}

void TwoFish::applyDescription(const CipherDescription& in)
{
    setKeyLength(in.keyLengthBits);
    if (in.mode == kCipherDescriptionModeEcb)
        setEcbMode();
    else
        setCbcMode();
}
