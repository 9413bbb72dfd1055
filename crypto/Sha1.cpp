#include "crypto/Sha1.h"

#include <cstring>

#include "core/ByteOrder.h"

namespace {

// Initial hash value H(0), FIPS 180-4 section 5.3.1.
constexpr uint32_t kInitialHash[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};
// Round constants K for t = 0..19, 20..39, 40..59, 60..79 (section 4.2.1).
constexpr uint32_t kRoundConstant[4] = {0x5A827999u, 0x6ED9EBA1u, 0x8F1BBCDCu, 0xCA62C1D6u};

constexpr uint32_t kScheduleWords = 80;

uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// The logical function f(t) of section 4.1.1: Ch, Parity, Maj, Parity.
uint32_t roundFunction(uint32_t t, uint32_t b, uint32_t c, uint32_t d) {
    if (t < 20) {
        return (b & c) | (~b & d);
    }
    if (t < 40 || t >= 60) {
        return b ^ c ^ d;
    }
    return (b & c) | (b & d) | (c & d);
}

}  // namespace

Sha1::Sha1() { reset(); }

Sha1::~Sha1() {
    volatile uint8_t* p = reinterpret_cast<volatile uint8_t*>(this);
    for (size_t i = 0; i < sizeof(*this); ++i) {
        p[i] = 0;
    }
}

void Sha1::reset() {
    std::memcpy(m_state, kInitialHash, sizeof(m_state));
    m_blocks.reset();
}

void Sha1::update(const void* data, uint32_t len) {
    m_blocks.update(data, len, [this](const uint8_t* block) { processBlock(block); });
}

void Sha1::final(uint8_t* out) {
    m_blocks.finish([this](const uint8_t* block) { processBlock(block); });
    for (int i = 0; i < 5; ++i) storeBigEndian32(out + 4 * i, m_state[i]);
    reset();
}

void Sha1::digest(const void* data, uint32_t len, uint8_t* out) {
    Sha1 sha;
    sha.update(data, len);
    sha.final(out);
}

// Hash computation of section 6.1.2 for one 512-bit block.
void Sha1::processBlock(const uint8_t* block) {
    uint32_t w[kScheduleWords];
    for (uint32_t t = 0; t < 16; ++t) {
        w[t] = loadBigEndian32(block + 4 * t);
    }
    for (uint32_t t = 16; t < kScheduleWords; ++t) {
        w[t] = rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
    }
    uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3], e = m_state[4];
    for (uint32_t t = 0; t < kScheduleWords; ++t) {
        const uint32_t temp = rotl(a, 5) + roundFunction(t, b, c, d) + e + kRoundConstant[t / 20] + w[t];
        e = d;
        d = c;
        c = rotl(b, 30);
        b = a;
        a = temp;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
    m_state[4] += e;
}
