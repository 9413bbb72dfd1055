#include "crypto/HmacMD5.h"

#include <cstring>

namespace {

// Initial chaining values A, B, C, D (RFC 1321, 3.3).
constexpr uint32_t kInitA = 0x67452301u;
constexpr uint32_t kInitB = 0xEFCDAB89u;
constexpr uint32_t kInitC = 0x98BADCFEu;
constexpr uint32_t kInitD = 0x10325476u;

// T[i] = floor(2^32 * |sin(i + 1)|) (RFC 1321, 3.4).
constexpr uint32_t kSineTable[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a,
    0xa8304613, 0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be,
    0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340,
    0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8,
    0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c,
    0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
    0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92,
    0xffeff47d, 0x85845dd1, 0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1,
    0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

// Left-rotation amounts per round, four per round (RFC 1321, 3.4).
constexpr int kShifts[4][4] = {
    {7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

uint32_t rotateLeft(uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

// The message block as sixteen little-endian words.
void decodeBlock(uint32_t words[16], const uint8_t* block) {
    for (int i = 0; i < 16; ++i) {
        words[i] = static_cast<uint32_t>(block[4 * i]) |
                   (static_cast<uint32_t>(block[4 * i + 1]) << 8) |
                   (static_cast<uint32_t>(block[4 * i + 2]) << 16) |
                   (static_cast<uint32_t>(block[4 * i + 3]) << 24);
    }
}

void encodeWordLittleEndian(uint8_t* out, uint32_t word) {
    out[0] = static_cast<uint8_t>(word);
    out[1] = static_cast<uint8_t>(word >> 8);
    out[2] = static_cast<uint8_t>(word >> 16);
    out[3] = static_cast<uint8_t>(word >> 24);
}

// One 64-byte block through the four rounds of sixteen steps. Step i uses
// the auxiliary function of its round, the message word chosen by the
// round's index rule, T[i] and the round's rotation for i mod 4.
void compressBlock(uint32_t state[4], const uint8_t* block) {
    uint32_t x[16];
    decodeBlock(x, block);
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    for (int i = 0; i < 64; ++i) {
        const int round = i / 16;
        uint32_t f;
        int wordIndex;
        switch (round) {
        case 0: // F(X,Y,Z) = XY v not(X) Z
            f = (b & c) | (~b & d);
            wordIndex = i;
            break;
        case 1: // G(X,Y,Z) = XZ v Y not(Z)
            f = (b & d) | (c & ~d);
            wordIndex = (5 * i + 1) % 16;
            break;
        case 2: // H(X,Y,Z) = X xor Y xor Z
            f = b ^ c ^ d;
            wordIndex = (3 * i + 5) % 16;
            break;
        default: // I(X,Y,Z) = Y xor (X v not(Z))
            f = c ^ (b | ~d);
            wordIndex = (7 * i) % 16;
            break;
        }
        const uint32_t rotated =
            rotateLeft(a + f + x[wordIndex] + kSineTable[i], kShifts[round][i % 4]);
        a = d;
        d = c;
        c = b;
        b = b + rotated;
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    std::memset(x, 0, sizeof x);
}

} // namespace

HmacMD5::~HmacMD5() = default;

void HmacMD5::md5Init(Md5Context& context) {
    context.state[0] = kInitA;
    context.state[1] = kInitB;
    context.state[2] = kInitC;
    context.state[3] = kInitD;
    context.bitCount[0] = 0;
    context.bitCount[1] = 0;
}

void HmacMD5::md5Update(Md5Context& context, const void* data, uint32_t length) {
    if (data == nullptr || length == 0)
        return;
    const uint8_t* input = static_cast<const uint8_t*>(data);

    // Bytes already waiting in the buffer, then the 64-bit bit count.
    const uint32_t buffered = (context.bitCount[0] >> 3) & (kBlockBytes - 1);
    const uint32_t addedBitsLow = length << 3;
    context.bitCount[0] += addedBitsLow;
    if (context.bitCount[0] < addedBitsLow)
        ++context.bitCount[1];
    context.bitCount[1] += length >> 29;

    const uint32_t room = kBlockBytes - buffered;
    uint32_t consumed = 0;
    if (length >= room) {
        std::memcpy(context.buffer + buffered, input, room);
        compressBlock(context.state, context.buffer);
        consumed = room;
        for (; consumed + kBlockBytes <= length; consumed += kBlockBytes)
            compressBlock(context.state, input + consumed);
        std::memcpy(context.buffer, input + consumed, length - consumed);
    } else {
        std::memcpy(context.buffer + buffered, input, length);
    }
}

void HmacMD5::md5Final(uint8_t digest[16], Md5Context& context) {
    // The length is taken before padding changes the count.
    uint8_t lengthBytes[8];
    encodeWordLittleEndian(lengthBytes, context.bitCount[0]);
    encodeWordLittleEndian(lengthBytes + 4, context.bitCount[1]);

    // Pad with 0x80 then zeros to 56 bytes mod 64, then the 64-bit length.
    static const uint8_t kPadding[kBlockBytes] = {0x80};
    const uint32_t buffered = (context.bitCount[0] >> 3) & (kBlockBytes - 1);
    const uint32_t padLength = buffered < 56 ? 56 - buffered : 120 - buffered;
    md5Update(context, kPadding, padLength);
    md5Update(context, lengthBytes, sizeof lengthBytes);

    for (int i = 0; i < 4; ++i)
        encodeWordLittleEndian(digest + 4 * i, context.state[i]);
    std::memset(&context, 0, sizeof context);
}
