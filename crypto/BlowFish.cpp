#include "crypto/BlowFish.h"

#include <cstring>
#include <new>

#include "core/SecretWipe.h"

namespace {

constexpr uint32_t kBlockBytes = kBlowfishBlockBytes;
constexpr uint32_t kPadBlockBytes = DataBuffer::kPadBlockBytes;
constexpr uint32_t kMaxBufferBytes = 0xFFFFFFFFu;

// A block half: four bytes, least significant first.
inline uint32_t loadHalf(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void storeHalf(uint8_t* p, uint32_t word) {
    p[0] = static_cast<uint8_t>(word);
    p[1] = static_cast<uint8_t>(word >> 8);
    p[2] = static_cast<uint8_t>(word >> 16);
    p[3] = static_cast<uint8_t>(word >> 24);
}

// The Blowfish block transform of one key schedule, for the chaining driver:
// each 8-byte block is two halves, least significant byte first.
class BlowfishBlocks final : public BlockwiseTransform {
public:
    explicit BlowfishBlocks(const BlowfishSchedule& schedule) : m_schedule(schedule) {}

    uint32_t blockBytes() const override { return kBlockBytes; }

protected:
    void encryptBlock(const uint8_t* in, uint8_t* out) const override {
        uint32_t left = loadHalf(in);
        uint32_t right = loadHalf(in + 4);
        blowfishEncryptBlock(m_schedule, left, right);
        storeHalf(out, left);
        storeHalf(out + 4, right);
    }
    void decryptBlock(const uint8_t* in, uint8_t* out) const override {
        uint32_t left = loadHalf(in);
        uint32_t right = loadHalf(in + 4);
        blowfishDecryptBlock(m_schedule, left, right);
        storeHalf(out, left);
        storeHalf(out + 4, right);
    }

private:
    const BlowfishSchedule& m_schedule;
};

// Size of a result of `length` bytes plus the spare capacity; 0 when it does
// not fit 32 bits.
uint32_t resultCapacity(uint64_t length) {
    const uint64_t capacity = length + BlowFish::kResultSlackBytes;
    return capacity > kMaxBufferBytes ? 0 : static_cast<uint32_t>(capacity);
}

}  // namespace

BlowFish::BlowFish()
    : m_schedule(new (std::nothrow) BlowfishSchedule), m_keyLengthBits(kDefaultKeyBits), m_keyReady(false) {}

BlowFish::~BlowFish() {
    if (m_schedule) wipeSecretBytes(m_schedule.get(), sizeof(BlowfishSchedule));
}

bool BlowFish::setEcbMode() { return true; }
bool BlowFish::setCbcMode() { return true; }
bool BlowFish::setReservedModeA() { return true; }
bool BlowFish::setReservedModeB() { return true; }

int32_t BlowFish::setKeyLength(int32_t bits) {
    int32_t selected = bits > kMaxKeyBits ? kMaxKeyBits : bits;
    selected -= selected % 8;
    if (selected < kMinKeyBits) selected = kMinKeyBits;
    m_keyLengthBits = selected;
    return selected;
}

// Loads the published tables and folds in the first keyLength / 8 bytes of
// the key material.
bool BlowFish::setupKey() {
    m_keyReady = false;
    if (!m_schedule) return false;
    uint8_t area[kKeyAreaBytes];
    takeKeyBytes(area, kKeyAreaBytes);
    m_keyReady = blowfishExpandKey(*m_schedule, area, static_cast<uint32_t>(m_keyLengthBits) / 8);
    wipeSecretBytes(area, kKeyAreaBytes);
    return m_keyReady;
}

bool BlowFish::ensureKey() { return m_keyReady || setupKey(); }

// ECB: encryption completes a trailing partial block with zeros and
// enciphers it; decryption writes zeros for it.
void BlowFish::runRange(CipherDirection direction, const uint8_t* in, uint8_t* out,
                        uint32_t lengthBytes) const {
    chainBlocks(BlowfishBlocks(*m_schedule), ChainingMode::Ecb, direction, in, out, lengthBytes, nullptr,
                PartialBlock::CompletedWithZeros);
}

// Encrypts a copy of in (padded when asked) with the schedule as it stands.
std::unique_ptr<DataBuffer> BlowFish::encryptPiece(const DataBuffer& in, bool pad) {
    const uint32_t size = in.getSize();
    if (size == 0 && !pad) return std::make_unique<DataBuffer>();
    if (!ensureKey()) return std::make_unique<DataBuffer>();

    const uint64_t outputBytes = pad ? uint64_t{size} + kPadBlockBytes - size % kPadBlockBytes
                                     : (uint64_t{size} + kBlockBytes - 1) / kBlockBytes * kBlockBytes;
    const uint32_t capacity = resultCapacity(outputBytes);
    if (capacity == 0) return std::make_unique<DataBuffer>();

    auto out = std::make_unique<DataBuffer>(capacity);
    if (out->getData() == nullptr) return std::make_unique<DataBuffer>();
    if (size != 0) std::memcpy(out->getData(), in.getData(), size);
    out->setSize(size);
    if (pad) out->padToBlock(DataBuffer::PadPkcs7);
    runRange(CipherDirection::Encrypt, out->getData(), out->getData(), out->getSize());
    out->setSize(static_cast<uint32_t>(outputBytes));
    return out;
}

// Decrypts the whole blocks of in with the schedule as it stands.
std::unique_ptr<DataBuffer> BlowFish::decryptPiece(const DataBuffer& in, bool unpad) {
    const uint32_t size = in.getSize();
    if (size < kBlockBytes) return std::make_unique<DataBuffer>();
    if (!ensureKey()) return std::make_unique<DataBuffer>();

    const uint32_t capacity = resultCapacity(size);
    if (capacity == 0) return std::make_unique<DataBuffer>();
    auto out = std::make_unique<DataBuffer>(capacity);
    if (out->getData() == nullptr) return std::make_unique<DataBuffer>();
    runRange(CipherDirection::Decrypt, in.getData(), out->getData(), size);
    out->setSize(size);
    if (unpad) out->unpadBlock(DataBuffer::PadPkcs7);
    return out;
}

std::unique_ptr<DataBuffer> BlowFish::encryptData(const DataBuffer& in) {
    if (in.getSize() == 0 || !setupKey()) return std::make_unique<DataBuffer>();
    return encryptPiece(in, true);
}

std::unique_ptr<DataBuffer> BlowFish::decryptData(const DataBuffer& in) {
    if (in.getSize() == 0 || !setupKey()) return std::make_unique<DataBuffer>();
    return decryptPiece(in, true);
}

bool BlowFish::runBlocks(const BlockBuffer& in, BlockBuffer& out, CipherDirection direction,
                         BlockOutput output) {
    if (finishEmptyBlockRun(in, out, output)) return true;
    if (!setupKey()) {
        out.setLength(0);
        return false;
    }
    return chainBlockBuffer(BlowfishBlocks(*m_schedule), ChainingMode::Ecb, direction, nullptr, in, out,
                            output);
}

bool BlowFish::encryptBlocks(const BlockBuffer& in, BlockBuffer& out) {
    return runBlocks(in, out, CipherDirection::Encrypt, BlockOutput::Reserved);
}

bool BlowFish::decryptBlocks(const BlockBuffer& in, BlockBuffer& out) {
    return runBlocks(in, out, CipherDirection::Decrypt, BlockOutput::Reserved);
}

bool BlowFish::encryptBlocksInto(const BlockBuffer& in, BlockBuffer& out) {
    return runBlocks(in, out, CipherDirection::Encrypt, BlockOutput::Existing);
}

bool BlowFish::decryptBlocksInto(const BlockBuffer& in, BlockBuffer& out) {
    return runBlocks(in, out, CipherDirection::Decrypt, BlockOutput::Existing);
}

void BlowFish::describe(CipherDescription& out) {
    std::memcpy(out.providerName, kCipherProviderName, kCipherProviderNameBytes);
    out.algorithmId = kCipherAlgorithmBlowfish;
    out.mode = 0;
    out.flagOne = 1;
    out.flagZero = 0;
    out.reservedA = 0;
    out.keyLengthBits = m_keyLengthBits;
    out.reservedB = 0;
}

void BlowFish::applyDescription(const CipherDescription& in) { setKeyLength(in.keyLengthBits); }

std::unique_ptr<DataBuffer> BlowFish::encryptFirst(const DataBuffer& in) {
    if (in.getSize() == 0 || !setupKey()) return std::make_unique<DataBuffer>();
    return encryptPiece(in, false);
}

std::unique_ptr<DataBuffer> BlowFish::encryptNext(const DataBuffer& in) { return encryptPiece(in, false); }
std::unique_ptr<DataBuffer> BlowFish::encryptLast(const DataBuffer& in) { return encryptPiece(in, true); }

std::unique_ptr<DataBuffer> BlowFish::decryptFirst(const DataBuffer& in) {
    if (in.getSize() == 0 || !setupKey()) return std::make_unique<DataBuffer>();
    return decryptPiece(in, false);
}

std::unique_ptr<DataBuffer> BlowFish::decryptNext(const DataBuffer& in) { return decryptPiece(in, false); }
std::unique_ptr<DataBuffer> BlowFish::decryptLast(const DataBuffer& in) { return decryptPiece(in, true); }
