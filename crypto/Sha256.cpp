#include "crypto/Sha256.h"

#include <cstring>

#include "core/ByteOrder.h"
#include "core/SecretWipe.h"

namespace {

// Initial hash value H(0), FIPS 180-4 section 5.3.3.
constexpr uint32_t kInitialHash[8] = {0x6a09e667u, 0xbb67ae85u, 0x3c6ef372u, 0xa54ff53au,
                                      0x510e527fu, 0x9b05688cu, 0x1f83d9abu, 0x5be0cd19u};

// The 64 round constants K of section 4.2.2.
constexpr uint32_t kRoundConstant[64] = {
    0x428a2f98u, 0x71374491u, 0xb5c0fbcfu, 0xe9b5dba5u, 0x3956c25bu, 0x59f111f1u, 0x923f82a4u, 0xab1c5ed5u,
    0xd807aa98u, 0x12835b01u, 0x243185beu, 0x550c7dc3u, 0x72be5d74u, 0x80deb1feu, 0x9bdc06a7u, 0xc19bf174u,
    0xe49b69c1u, 0xefbe4786u, 0x0fc19dc6u, 0x240ca1ccu, 0x2de92c6fu, 0x4a7484aau, 0x5cb0a9dcu, 0x76f988dau,
    0x983e5152u, 0xa831c66du, 0xb00327c8u, 0xbf597fc7u, 0xc6e00bf3u, 0xd5a79147u, 0x06ca6351u, 0x14292967u,
    0x27b70a85u, 0x2e1b2138u, 0x4d2c6dfcu, 0x53380d13u, 0x650a7354u, 0x766a0abbu, 0x81c2c92eu, 0x92722c85u,
    0xa2bfe8a1u, 0xa81a664bu, 0xc24b8b70u, 0xc76c51a3u, 0xd192e819u, 0xd6990624u, 0xf40e3585u, 0x106aa070u,
    0x19a4c116u, 0x1e376c08u, 0x2748774cu, 0x34b0bcb5u, 0x391c0cb3u, 0x4ed8aa4au, 0x5b9cca4fu, 0x682e6ff3u,
    0x748f82eeu, 0x78a5636fu, 0x84c87814u, 0x8cc70208u, 0x90befffau, 0xa4506cebu, 0xbef9a3f7u, 0xc67178f2u,
};

constexpr uint32_t kScheduleWords = 64;

uint32_t rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

// The functions of section 4.1.2.
uint32_t choose(uint32_t x, uint32_t y, uint32_t z) { return (x & y) ^ (~x & z); }
uint32_t majority(uint32_t x, uint32_t y, uint32_t z) { return (x & y) ^ (x & z) ^ (y & z); }
uint32_t bigSigma0(uint32_t x) { return rotr(x, 2) ^ rotr(x, 13) ^ rotr(x, 22); }
uint32_t bigSigma1(uint32_t x) { return rotr(x, 6) ^ rotr(x, 11) ^ rotr(x, 25); }
uint32_t smallSigma0(uint32_t x) { return rotr(x, 7) ^ rotr(x, 18) ^ (x >> 3); }
uint32_t smallSigma1(uint32_t x) { return rotr(x, 17) ^ rotr(x, 19) ^ (x >> 10); }

}  // namespace

Sha256::Sha256() { reset(); }

Sha256::~Sha256() { wipeSecretBytes(this, sizeof(*this)); }

void Sha256::reset() {
    std::memcpy(m_state, kInitialHash, sizeof(m_state));
    m_blocks.reset();
}

void Sha256::update(const void* data, uint32_t len) {
    m_blocks.update(data, len, [this](const uint8_t* block) { processBlock(block); });
}

void Sha256::final(uint8_t* out) {
    m_blocks.finish([this](const uint8_t* block) { processBlock(block); });
    for (int i = 0; i < 8; ++i) storeBigEndian32(out + 4 * i, m_state[i]);
    reset();
}

void Sha256::digest(const void* data, uint32_t len, uint8_t* out) {
    Sha256 sha;
    sha.update(data, len);
    sha.final(out);
}

// Hash computation of section 6.2.2 for one 512-bit block. This is the hot
// loop of the password derivation (two blocks per HMAC, 600,000 HMACs).
void Sha256::processBlock(const uint8_t* block) {
    uint32_t w[kScheduleWords];
    for (uint32_t t = 0; t < 16; ++t) w[t] = loadBigEndian32(block + 4 * t);
    for (uint32_t t = 16; t < kScheduleWords; ++t) {
        w[t] = smallSigma1(w[t - 2]) + w[t - 7] + smallSigma0(w[t - 15]) + w[t - 16];
    }
    uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    uint32_t e = m_state[4], f = m_state[5], g = m_state[6], h = m_state[7];
    for (uint32_t t = 0; t < kScheduleWords; ++t) {
        const uint32_t t1 = h + bigSigma1(e) + choose(e, f, g) + kRoundConstant[t] + w[t];
        const uint32_t t2 = bigSigma0(a) + majority(a, b, c);
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
    m_state[4] += e;
    m_state[5] += f;
    m_state[6] += g;
    m_state[7] += h;
}
