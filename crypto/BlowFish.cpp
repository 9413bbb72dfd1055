#include "crypto/BlowFish.h"

#include <cstring>
#include <new>

#include "crypto/SecretWipe.h"

namespace {

constexpr uint32_t kBlockBytes = kBlowfishBlockBytes;
constexpr uint32_t kPadBlockBytes = DataBuffer::kPadBlockBytes;
constexpr uint32_t kMaxBufferBytes = 0xFFFFFFFFu;

// A block half: four bytes, least significant first.
inline uint32_t loadHalf(const uint8_t* p)
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void storeHalf(uint8_t* p, uint32_t word)
{
    p[0] = static_cast<uint8_t>(word);
    p[1] = static_cast<uint8_t>(word >> 8);
    p[2] = static_cast<uint8_t>(word >> 16);
    p[3] = static_cast<uint8_t>(word >> 24);
}

void encryptOneBlock(const BlowfishSchedule& schedule, const uint8_t* in, uint8_t* out)
{
    uint32_t left = loadHalf(in);
    uint32_t right = loadHalf(in + 4);
    blowfishEncryptBlock(schedule, left, right);
    storeHalf(out, left);
    storeHalf(out + 4, right);
}

void decryptOneBlock(const BlowfishSchedule& schedule, const uint8_t* in, uint8_t* out)
{
    uint32_t left = loadHalf(in);
    uint32_t right = loadHalf(in + 4);
    blowfishDecryptBlock(schedule, left, right);
    storeHalf(out, left);
    storeHalf(out + 4, right);
}

// Size of a result of `length` bytes plus the spare capacity; 0 when it does
// not fit 32 bits.
uint32_t resultCapacity(uint64_t length)
{
    const uint64_t capacity = length + BlowFish::kResultSlackBytes;
    return capacity > kMaxBufferBytes ? 0 : static_cast<uint32_t>(capacity);
}

} // namespace

BlowFish::BlowFish()
    : m_schedule(new (std::nothrow) BlowfishSchedule),
      m_keyLengthBits(kDefaultKeyBits),
      m_keyReady(false)
{
}

BlowFish::~BlowFish()
{
    if (m_schedule)
        wipeSecretBytes(m_schedule.get(), sizeof(BlowfishSchedule));
}

bool BlowFish::setEcbMode() { return true; }
bool BlowFish::setCbcMode() { return true; }
bool BlowFish::setReservedModeA() { return true; }
bool BlowFish::setReservedModeB() { return true; }

int32_t BlowFish::setKeyLength(int32_t bits)
{
    int32_t selected = bits > kMaxKeyBits ? kMaxKeyBits : bits;
    selected -= selected % 8;
    if (selected < kMinKeyBits)
        selected = kMinKeyBits;
    m_keyLengthBits = selected;
    return selected;
}

// Loads the published tables and folds in the first keyLength / 8 bytes of
// the key material.
bool BlowFish::setupKey()
{
    m_keyReady = false;
    if (!m_schedule)
        return false;
    uint8_t area[kKeyAreaBytes];
    takeKeyBytes(area, kKeyAreaBytes);
    m_keyReady = blowfishExpandKey(*m_schedule, area, static_cast<uint32_t>(m_keyLengthBits) / 8);
    wipeSecretBytes(area, kKeyAreaBytes);
    return m_keyReady;
}

bool BlowFish::ensureKey()
{
    return m_keyReady || setupKey();
}

void BlowFish::encryptRange(const uint8_t* in, uint8_t* out, uint32_t lengthBytes) const
{
    const uint32_t wholeBlocks = lengthBytes / kBlockBytes;
    for (uint32_t i = 0; i < wholeBlocks; ++i)
        encryptOneBlock(*m_schedule, in + i * kBlockBytes, out + i * kBlockBytes);

    const uint32_t tailBytes = lengthBytes % kBlockBytes;
    if (tailBytes != 0) {
        uint8_t completed[kBlockBytes] = {};
        std::memcpy(completed, in + wholeBlocks * kBlockBytes, tailBytes);
        encryptOneBlock(*m_schedule, completed, out + wholeBlocks * kBlockBytes);
    }
}

void BlowFish::decryptRange(const uint8_t* in, uint8_t* out, uint32_t lengthBytes) const
{
    const uint32_t wholeBlocks = lengthBytes / kBlockBytes;
    for (uint32_t i = 0; i < wholeBlocks; ++i)
        decryptOneBlock(*m_schedule, in + i * kBlockBytes, out + i * kBlockBytes);

    const uint32_t tailBytes = lengthBytes % kBlockBytes;
    if (tailBytes != 0)
        std::memset(out + wholeBlocks * kBlockBytes, 0, tailBytes);
}

// Encrypts a copy of in (padded when asked) with the schedule as it stands.
std::unique_ptr<DataBuffer> BlowFish::encryptPiece(const DataBuffer& in, bool pad)
{
    const uint32_t size = in.getSize();
    if (size == 0 && !pad)
        return std::make_unique<DataBuffer>();
    if (!ensureKey())
        return std::make_unique<DataBuffer>();

    const uint64_t outputBytes = pad ? uint64_t{size} + kPadBlockBytes - size % kPadBlockBytes
                                     : (uint64_t{size} + kBlockBytes - 1) / kBlockBytes * kBlockBytes;
    const uint32_t capacity = resultCapacity(outputBytes);
    if (capacity == 0)
        return std::make_unique<DataBuffer>();

    auto out = std::make_unique<DataBuffer>(capacity);
    if (out->getData() == nullptr)
        return std::make_unique<DataBuffer>();
    if (size != 0)
        std::memcpy(out->getData(), in.getData(), size);
    out->setSize(size);
    if (pad)
        out->padToBlock(DataBuffer::PadPkcs7);
    encryptRange(out->getData(), out->getData(), out->getSize());
    out->setSize(static_cast<uint32_t>(outputBytes));
    return out;
}

// Decrypts the whole blocks of in with the schedule as it stands.
std::unique_ptr<DataBuffer> BlowFish::decryptPiece(const DataBuffer& in, bool unpad)
{
    const uint32_t size = in.getSize();
    if (size < kBlockBytes)
        return std::make_unique<DataBuffer>();
    if (!ensureKey())
        return std::make_unique<DataBuffer>();

    const uint32_t capacity = resultCapacity(size);
    if (capacity == 0)
        return std::make_unique<DataBuffer>();
    auto out = std::make_unique<DataBuffer>(capacity);
    if (out->getData() == nullptr)
        return std::make_unique<DataBuffer>();
    decryptRange(in.getData(), out->getData(), size);
    out->setSize(size);
    if (unpad)
        out->unpadBlock(DataBuffer::PadPkcs7);
    return out;
}

std::unique_ptr<DataBuffer> BlowFish::encryptData(const DataBuffer& in)
{
    if (in.getSize() == 0)
        return std::make_unique<DataBuffer>();
    setupKey();
    return encryptPiece(in, true);
}

std::unique_ptr<DataBuffer> BlowFish::decryptData(const DataBuffer& in)
{
    if (in.getSize() == 0)
        return std::make_unique<DataBuffer>();
    setupKey();
    return decryptPiece(in, true);
}

bool BlowFish::runBlocks(const BlockBuffer& in, BlockBuffer& out, bool encrypt, bool reserveOut)
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

bool BlowFish::encryptBlocks(const BlockBuffer& in, BlockBuffer& out) { return runBlocks(in, out, true, true); }
bool BlowFish::decryptBlocks(const BlockBuffer& in, BlockBuffer& out) { return runBlocks(in, out, false, true); }
bool BlowFish::encryptBlocksInto(const BlockBuffer& in, BlockBuffer& out) { return runBlocks(in, out, true, false); }
bool BlowFish::decryptBlocksInto(const BlockBuffer& in, BlockBuffer& out) { return runBlocks(in, out, false, false); }

void BlowFish::describe(CipherDescription& out)
{
    std::memcpy(out.providerName, kCipherProviderName, kCipherProviderNameBytes);
    out.algorithmId = kCipherAlgorithmBlowfish;
    out.mode = 0;
    out.flagOne = 1;
    out.flagZero = 0;
    out.reservedA = 0;
    out.keyLengthBits = m_keyLengthBits;
    out.reservedB = 0;
}

void BlowFish::applyDescription(const CipherDescription& in)
{
    setKeyLength(in.keyLengthBits);
}

std::unique_ptr<DataBuffer> BlowFish::encryptFirst(const DataBuffer& in)
{
    if (in.getSize() == 0)
        return std::make_unique<DataBuffer>();
    setupKey();
    return encryptPiece(in, false);
}

std::unique_ptr<DataBuffer> BlowFish::encryptNext(const DataBuffer& in) { return encryptPiece(in, false); }
std::unique_ptr<DataBuffer> BlowFish::encryptLast(const DataBuffer& in) { return encryptPiece(in, true); }

std::unique_ptr<DataBuffer> BlowFish::decryptFirst(const DataBuffer& in)
{
    if (in.getSize() == 0)
        return std::make_unique<DataBuffer>();
    setupKey();
    return decryptPiece(in, false);
}

std::unique_ptr<DataBuffer> BlowFish::decryptNext(const DataBuffer& in) { return decryptPiece(in, false); }
std::unique_ptr<DataBuffer> BlowFish::decryptLast(const DataBuffer& in) { return decryptPiece(in, true); }
