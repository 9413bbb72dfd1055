#include "crypto/PwdProtect.h"

#include <cstring>
#include <ctime>

#include "core/ZipCRC.h"
#include "platform/win32.h"
#include "core/ConstantTime.h"
#include "core/SecretWipe.h"

namespace {

// Which header bytes are random, and where the check value's bytes go.
constexpr uint32_t kRandomHeaderBytes = 10;
constexpr uint32_t kCheckLowHeaderIndex = 10;   // bits 16..23 of the check value
constexpr uint32_t kCheckHighHeaderIndex = 11;  // bits 24..31 of the check value

// The 15-bit header generator: a linear congruence over 32 bits whose
// results are bits 16..30 of each new state.
constexpr uint32_t kHeaderRandomMultiplier = 214013u;
constexpr uint32_t kHeaderRandomIncrement = 2531011u;
// Odd constant (2^32 / golden ratio) that spreads successive call numbers
// over the seed space.
constexpr uint32_t kSeedSpread = 0x9E3779B9u;

uint32_t g_headerRandomState = 1;
uint32_t g_headerCount = 0;

// The CRC-32 table of ZIP, taken from ZipCRC so that both use one definition
// of the checksum. A one-byte CRC of x is ~(0x00FFFFFF ^ T[~x & 0xFF]), so
// T[i] = ~crc(~i) ^ 0x00FFFFFF.
uint32_t g_crcTable[256];
bool g_crcTableReady = false;

void buildCrcTable() {
    ZipCRC crc;
    for (uint32_t i = 0; i < 256; ++i) {
        const uint8_t complemented = uint8_t(~i);
        g_crcTable[i] = ~crc.compute(&complemented, 1) ^ 0x00FFFFFFu;
    }
    g_crcTableReady = true;
}

}  // namespace

PwdProtect::PwdProtect() : m_key0(0), m_key1(0), m_key2(0) {
    if (!g_crcTableReady) {
        buildCrcTable();
    }
}

PwdProtect::~PwdProtect() {
    // Plain stores to members of a dying object could be dropped; these not.
    wipeSecretBytes(&m_key0, sizeof(m_key0));
    wipeSecretBytes(&m_key1, sizeof(m_key1));
    wipeSecretBytes(&m_key2, sizeof(m_key2));
    m_password.wipe();
}

void PwdProtect::setPassword(const char* text) {
    m_password.clear();
    m_password.append(text);
}

void PwdProtect::setPassword(const StringBuffer& text) {
    m_password.clear();
    m_password.appendSb(text);
}

void PwdProtect::initKeys() {
    m_key0 = kPwdInitialKey0;
    m_key1 = kPwdInitialKey1;
    m_key2 = kPwdInitialKey2;
    const uint8_t* p = reinterpret_cast<const uint8_t*>(m_password.getString());
    const int32_t n = m_password.getSize();
    for (int32_t i = 0; i < n; ++i) {
        updateKeys(p[i]);
    }
}

uint32_t PwdProtect::crc32Step(uint32_t crc, uint8_t b) { return (crc >> 8) ^ g_crcTable[(crc ^ b) & 0xFFu]; }

void PwdProtect::updateKeys(uint8_t b) {
    m_key0 = crc32Step(m_key0, b);
    m_key1 = (m_key1 + (m_key0 & 0xFFu)) * kPwdKey1Multiplier + 1u;
    m_key2 = crc32Step(m_key2, uint8_t(m_key1 >> 24));
}

uint8_t PwdProtect::keystreamByte() const {
    const uint32_t t = (m_key2 | 2u) & 0xFFFFu;
    return uint8_t((t * (t ^ 1u)) >> 8);
}

uint8_t PwdProtect::encryptByte(uint8_t plain) {
    const uint8_t k = keystreamByte();
    updateKeys(plain);
    return uint8_t(plain ^ k);
}

uint8_t PwdProtect::decryptByte(uint8_t cipher) {
    const uint8_t plain = uint8_t(cipher ^ keystreamByte());
    updateKeys(plain);
    return plain;
}

void PwdProtect::encryptBytes(uint8_t* buffer, uint32_t count) {
    if (buffer == nullptr) {
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        buffer[i] = encryptByte(buffer[i]);
    }
}

void PwdProtect::decryptBytes(uint8_t* buffer, uint32_t count) {
    if (buffer == nullptr) {
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        buffer[i] = decryptByte(buffer[i]);
    }
}

bool PwdProtect::checkHeader(const uint8_t* header, uint32_t timeValue, uint32_t checkValue, bool useTime) {
    if (header == nullptr) {
        return false;
    }
    uint8_t plain = 0;
    for (uint32_t i = 0; i < kPwdHeaderBytes; ++i) {
        plain = decryptByte(header[i]);
    }
    const uint8_t expected = useTime ? uint8_t(timeValue >> 8) : uint8_t(checkValue >> 24);
    // The check byte is a (weak) password verifier: compared like the others.
    return constantTimeEqual(&plain, &expected, 1);
}

void PwdProtect::makeHeader(uint32_t checkValue, uint8_t* out) {
    // Seconds since 1970 times the tick count, as the format's reference
    // writers do; the call counter keeps two headers made within the same
    // tick apart (equal headers under one password give equal keystreams).
    const uint32_t seconds = uint32_t(std::time(nullptr));
    const uint32_t seed = seconds * uint32_t(GetTickCount()) + (++g_headerCount) * kSeedSpread;
    makeHeaderSeeded(checkValue, seed, out);
}

void PwdProtect::makeHeaderSeeded(uint32_t checkValue, uint32_t seed, uint8_t* out) {
    if (out == nullptr) {
        return;
    }
    initKeys();
    seedHeaderRandom(seed);
    for (uint32_t i = 0; i < kRandomHeaderBytes; ++i) {
        out[i] = encryptByte(headerByteFromRandom(nextHeaderRandom()));
    }
    out[kCheckLowHeaderIndex] = encryptByte(uint8_t(checkValue >> 16));
    out[kCheckHighHeaderIndex] = encryptByte(uint8_t(checkValue >> 24));
}

void PwdProtect::seedHeaderRandom(uint32_t seed) { g_headerRandomState = seed; }

uint32_t PwdProtect::nextHeaderRandom() {
    g_headerRandomState = g_headerRandomState * kHeaderRandomMultiplier + kHeaderRandomIncrement;
    return (g_headerRandomState >> 16) & 0x7FFFu;
}

uint8_t PwdProtect::headerByteFromRandom(uint32_t value15) {
    const uint8_t middle = uint8_t((value15 >> 6) & 0xFFu);
    return middle != 0 ? middle : uint8_t(value15 & 0xFFu);
}
