#include "crypto/Sha1.h"

#include <cstring>

namespace {

// Initial hash value H(0), FIPS 180-4 section 5.3.1.
constexpr uint32_t kInitialHash[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u,
                                      0xC3D2E1F0u};
// Round constants K for t = 0..19, 20..39, 40..59, 60..79 (section 4.2.1).
constexpr uint32_t kRoundConstant[4] = {0x5A827999u, 0x6ED9EBA1u, 0x8F1BBCDCu, 0xCA62C1D6u};

// Bytes of the big-endian 64-bit bit length that ends the padded message.
constexpr uint32_t kLengthFieldBytes = 8;
constexpr uint32_t kScheduleWords = 80;

uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

uint32_t loadBigEndian32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}

void storeBigEndian32(uint32_t v, uint8_t* p) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

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
    m_totalBytes = 0;
    m_bufferedBytes = 0;
    std::memset(m_buffer, 0, sizeof(m_buffer));
}

void Sha1::update(const void* data, uint32_t len) {
    if (data == nullptr || len == 0) {
        return;
    }
    const uint8_t* p = static_cast<const uint8_t*>(data);
    m_totalBytes += len;
    if (m_bufferedBytes > 0) {
        uint32_t take = kSha1BlockBytes - m_bufferedBytes;
        if (take > len) {
            take = len;
        }
        std::memcpy(m_buffer + m_bufferedBytes, p, take);
        m_bufferedBytes += take;
        p += take;
        len -= take;
        if (m_bufferedBytes < kSha1BlockBytes) {
            return;
        }
        processBlock(m_buffer);
        m_bufferedBytes = 0;
    }
    while (len >= kSha1BlockBytes) {
        processBlock(p);
        p += kSha1BlockBytes;
        len -= kSha1BlockBytes;
    }
    if (len > 0) {
        std::memcpy(m_buffer, p, len);
        m_bufferedBytes = len;
    }
}

void Sha1::final(uint8_t* out) {
    // Padding (section 5.1.1): a 1 bit, zeros up to 448 mod 512 bits, then the
    // message length in bits as a big-endian 64-bit number.
    const uint64_t totalBits = m_totalBytes * 8u;
    m_buffer[m_bufferedBytes++] = 0x80;
    if (m_bufferedBytes > kSha1BlockBytes - kLengthFieldBytes) {
        std::memset(m_buffer + m_bufferedBytes, 0, kSha1BlockBytes - m_bufferedBytes);
        processBlock(m_buffer);
        m_bufferedBytes = 0;
    }
    std::memset(m_buffer + m_bufferedBytes, 0, kSha1BlockBytes - kLengthFieldBytes - m_bufferedBytes);
    storeBigEndian32(uint32_t(totalBits >> 32), m_buffer + kSha1BlockBytes - 8);
    storeBigEndian32(uint32_t(totalBits), m_buffer + kSha1BlockBytes - 4);
    processBlock(m_buffer);
    for (int i = 0; i < 5; ++i) {
        storeBigEndian32(m_state[i], out + 4 * i);
    }
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
