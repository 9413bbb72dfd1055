#include "crypto/TwoFish.h"

#include <cstring>
#include <new>

#include "core/SecretWipe.h"

namespace {

constexpr uint32_t kBlockBytes = kTwofishBlockBytes;
constexpr uint32_t kMaxBufferBytes = 0xFFFFFFFFu;

// The Twofish block transform of one key schedule, for the chaining driver.
class TwofishBlocks final : public BlockwiseTransform {
public:
    explicit TwofishBlocks(const TwofishSchedule& schedule) : m_schedule(schedule) {}

    uint32_t blockBytes() const override { return kBlockBytes; }

protected:
    void encryptBlock(const uint8_t* in, uint8_t* out) const override {
        twofishEncryptBlock(m_schedule, in, out);
    }
    void decryptBlock(const uint8_t* in, uint8_t* out) const override {
        twofishDecryptBlock(m_schedule, in, out);
    }

private:
    const TwofishSchedule& m_schedule;
};

// Size of a result of `length` bytes plus the spare capacity; 0 when it does
// not fit 32 bits.
uint32_t resultCapacity(uint64_t length) {
    const uint64_t capacity = length + TwoFish::kResultSlackBytes;
    return capacity > kMaxBufferBytes ? 0 : static_cast<uint32_t>(capacity);
}

}  // namespace

TwoFish::TwoFish()
    : m_mode(ChainingMode::Cbc), m_keyLengthBits(kDefaultKeyBits),
      m_schedule(new (std::nothrow) TwofishSchedule) {
    std::memcpy(m_iv, kClassIv, sizeof m_iv);
}

TwoFish::~TwoFish() {
    if (m_schedule) wipeSecretBytes(m_schedule.get(), sizeof(TwofishSchedule));
}

bool TwoFish::setEcbMode() {
    m_mode = ChainingMode::Ecb;
    return true;
}

bool TwoFish::setCbcMode() {
    m_mode = ChainingMode::Cbc;
    return true;
}

int32_t TwoFish::setKeyLength(int32_t bits) {
    if (bits > 192)
        m_keyLengthBits = 256;
    else if (bits <= 128)
        m_keyLengthBits = 128;
    else
        m_keyLengthBits = 192;
    return m_keyLengthBits;
}

bool TwoFish::setupKey() {
    if (!m_schedule) return false;
    uint8_t key[kTwofishMaxKeyBytes];
    takeKeyBytes(key, kTwofishMaxKeyBytes);
    const bool ok = twofishSetKey(*m_schedule, key, static_cast<uint32_t>(m_keyLengthBits));
    wipeSecretBytes(key, kTwofishMaxKeyBytes);
    return ok;
}

// ECB, or CBC from the class IV; whole blocks only, the output bytes of an
// incomplete trailing block written as zeros.
void TwoFish::runRange(CipherDirection direction, const uint8_t* in, uint8_t* out,
                       uint32_t lengthBytes) const {
    chainBlocks(TwofishBlocks(*m_schedule), m_mode, direction, in, out, lengthBytes, m_iv,
                PartialBlock::Zeroed);
}

std::unique_ptr<DataBuffer> TwoFish::encryptData(const DataBuffer& in) {
    const uint32_t size = in.getSize();
    if (size == 0) return std::make_unique<DataBuffer>();
    if (!setupKey()) return nullptr;

    const uint64_t paddedBytes = uint64_t{size} + kBlockBytes - size % kBlockBytes;
    const uint32_t capacity = resultCapacity(paddedBytes);
    if (capacity == 0) return std::make_unique<DataBuffer>();
    auto out = std::make_unique<DataBuffer>(capacity);
    if (out->getData() == nullptr) return std::make_unique<DataBuffer>();
    std::memcpy(out->getData(), in.getData(), size);
    out->setSize(size);
    out->padToBlock(DataBuffer::PadPkcs7);
    runRange(CipherDirection::Encrypt, out->getData(), out->getData(), out->getSize());
    return out;
}

std::unique_ptr<DataBuffer> TwoFish::decryptData(const DataBuffer& in) {
    const uint32_t size = in.getSize();
    if (size == 0) return std::make_unique<DataBuffer>();
    if (!setupKey()) return nullptr;
    if (size < kBlockBytes) return std::make_unique<DataBuffer>();

    const uint32_t capacity = resultCapacity(size);
    if (capacity == 0) return std::make_unique<DataBuffer>();
    auto out = std::make_unique<DataBuffer>(capacity);
    if (out->getData() == nullptr) return std::make_unique<DataBuffer>();
    runRange(CipherDirection::Decrypt, in.getData(), out->getData(), size);
    out->setSize(size);
    out->unpadBlock(DataBuffer::PadPkcs7);
    return out;
}

bool TwoFish::runBlocks(const BlockBuffer& in, BlockBuffer& out, CipherDirection direction,
                        BlockOutput output) {
    if (finishEmptyBlockRun(in, out, output)) return true;
    if (!setupKey()) {
        out.setLength(0);
        return false;
    }
    return chainBlockBuffer(TwofishBlocks(*m_schedule), m_mode, direction, m_iv, in, out, output);
}

bool TwoFish::encryptBlocks(const BlockBuffer& in, BlockBuffer& out) {
    return runBlocks(in, out, CipherDirection::Encrypt, BlockOutput::Reserved);
}

bool TwoFish::decryptBlocks(const BlockBuffer& in, BlockBuffer& out) {
    return runBlocks(in, out, CipherDirection::Decrypt, BlockOutput::Reserved);
}

bool TwoFish::encryptBlocksInto(const BlockBuffer& in, BlockBuffer& out) {
    return runBlocks(in, out, CipherDirection::Encrypt, BlockOutput::Existing);
}

bool TwoFish::decryptBlocksInto(const BlockBuffer& in, BlockBuffer& out) {
    return runBlocks(in, out, CipherDirection::Decrypt, BlockOutput::Existing);
}

void TwoFish::describe(CipherDescription& out) {
    std::memcpy(out.providerName, kCipherProviderName, kCipherProviderNameBytes);
    out.algorithmId = kCipherAlgorithmTwofish;
    out.mode = 0;
    out.flagOne = 1;
    out.flagZero = 0;
    out.reservedA = 0;
    out.keyLengthBits = m_keyLengthBits;
    out.reservedB = 0;
}

void TwoFish::applyDescription(const CipherDescription& in) {
    setKeyLength(in.keyLengthBits);
    if (in.mode == kCipherDescriptionModeEcb)
        setEcbMode();
    else
        setCbcMode();
}
