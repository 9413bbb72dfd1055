#include "core/HmacMD5.h"

#include <cstring>

#include "core/Md5CompactBlock.h"
#include "core/Md5Steps.h"

namespace {

using md5::auxF;
using md5::auxG;
using md5::auxH;
using md5::auxI;
using md5::kSineTable;
using md5::messageWord;
using md5::rotateLeft;

// Initial chaining values A, B, C, D (RFC 1321, 3.3).
constexpr uint32_t kInitA = 0x67452301u;
constexpr uint32_t kInitB = 0xEFCDAB89u;
constexpr uint32_t kInitC = 0x98BADCFEu;
constexpr uint32_t kInitD = 0x10325476u;

void encodeWordLittleEndian(uint8_t* out, uint32_t word) {
    out[0] = static_cast<uint8_t>(word);
    out[1] = static_cast<uint8_t>(word >> 8);
    out[2] = static_cast<uint8_t>(word >> 16);
    out[3] = static_cast<uint8_t>(word >> 24);
}

#ifdef BRIVANE_COMPACT_MD5
// The installer stub's build: it derives one key per run from a password,
// so the loop (a tenth of the code) costs it no time that shows.
void compressBlock(uint32_t state[4], const uint8_t* block) { md5CompressCompact(state, block); }
#else
// One step: a = b + ((a + aux(b,c,d) + X[k] + T[i]) <<< s).
#define MD5_STEP(aux, a, b, c, d, k, s, i) \
    a = b + rotateLeft(a + aux(b, c, d) + messageWord(block, k) + kSineTable[i], s)

// One 64-byte block through the four rounds of sixteen steps, written out:
// MD5 is one long dependency chain, and the unrolled form lets the compiler
// keep all of it in registers with constant word indexes, shifts and T[i].
// Word order and rotations are those of RFC 1321, 3.4.
void compressBlock(uint32_t state[4], const uint8_t* block) {
    uint32_t a = state[0], b = state[1], c = state[2], d = state[3];

    // Round 1: X[i], rotations 7 12 17 22.
    MD5_STEP(auxF, a, b, c, d, 0, 7, 0);
    MD5_STEP(auxF, d, a, b, c, 1, 12, 1);
    MD5_STEP(auxF, c, d, a, b, 2, 17, 2);
    MD5_STEP(auxF, b, c, d, a, 3, 22, 3);
    MD5_STEP(auxF, a, b, c, d, 4, 7, 4);
    MD5_STEP(auxF, d, a, b, c, 5, 12, 5);
    MD5_STEP(auxF, c, d, a, b, 6, 17, 6);
    MD5_STEP(auxF, b, c, d, a, 7, 22, 7);
    MD5_STEP(auxF, a, b, c, d, 8, 7, 8);
    MD5_STEP(auxF, d, a, b, c, 9, 12, 9);
    MD5_STEP(auxF, c, d, a, b, 10, 17, 10);
    MD5_STEP(auxF, b, c, d, a, 11, 22, 11);
    MD5_STEP(auxF, a, b, c, d, 12, 7, 12);
    MD5_STEP(auxF, d, a, b, c, 13, 12, 13);
    MD5_STEP(auxF, c, d, a, b, 14, 17, 14);
    MD5_STEP(auxF, b, c, d, a, 15, 22, 15);

    // Round 2: X[(5i + 1) mod 16], rotations 5 9 14 20.
    MD5_STEP(auxG, a, b, c, d, 1, 5, 16);
    MD5_STEP(auxG, d, a, b, c, 6, 9, 17);
    MD5_STEP(auxG, c, d, a, b, 11, 14, 18);
    MD5_STEP(auxG, b, c, d, a, 0, 20, 19);
    MD5_STEP(auxG, a, b, c, d, 5, 5, 20);
    MD5_STEP(auxG, d, a, b, c, 10, 9, 21);
    MD5_STEP(auxG, c, d, a, b, 15, 14, 22);
    MD5_STEP(auxG, b, c, d, a, 4, 20, 23);
    MD5_STEP(auxG, a, b, c, d, 9, 5, 24);
    MD5_STEP(auxG, d, a, b, c, 14, 9, 25);
    MD5_STEP(auxG, c, d, a, b, 3, 14, 26);
    MD5_STEP(auxG, b, c, d, a, 8, 20, 27);
    MD5_STEP(auxG, a, b, c, d, 13, 5, 28);
    MD5_STEP(auxG, d, a, b, c, 2, 9, 29);
    MD5_STEP(auxG, c, d, a, b, 7, 14, 30);
    MD5_STEP(auxG, b, c, d, a, 12, 20, 31);

    // Round 3: X[(3i + 5) mod 16], rotations 4 11 16 23.
    MD5_STEP(auxH, a, b, c, d, 5, 4, 32);
    MD5_STEP(auxH, d, a, b, c, 8, 11, 33);
    MD5_STEP(auxH, c, d, a, b, 11, 16, 34);
    MD5_STEP(auxH, b, c, d, a, 14, 23, 35);
    MD5_STEP(auxH, a, b, c, d, 1, 4, 36);
    MD5_STEP(auxH, d, a, b, c, 4, 11, 37);
    MD5_STEP(auxH, c, d, a, b, 7, 16, 38);
    MD5_STEP(auxH, b, c, d, a, 10, 23, 39);
    MD5_STEP(auxH, a, b, c, d, 13, 4, 40);
    MD5_STEP(auxH, d, a, b, c, 0, 11, 41);
    MD5_STEP(auxH, c, d, a, b, 3, 16, 42);
    MD5_STEP(auxH, b, c, d, a, 6, 23, 43);
    MD5_STEP(auxH, a, b, c, d, 9, 4, 44);
    MD5_STEP(auxH, d, a, b, c, 12, 11, 45);
    MD5_STEP(auxH, c, d, a, b, 15, 16, 46);
    MD5_STEP(auxH, b, c, d, a, 2, 23, 47);

    // Round 4: X[7i mod 16], rotations 6 10 15 21.
    MD5_STEP(auxI, a, b, c, d, 0, 6, 48);
    MD5_STEP(auxI, d, a, b, c, 7, 10, 49);
    MD5_STEP(auxI, c, d, a, b, 14, 15, 50);
    MD5_STEP(auxI, b, c, d, a, 5, 21, 51);
    MD5_STEP(auxI, a, b, c, d, 12, 6, 52);
    MD5_STEP(auxI, d, a, b, c, 3, 10, 53);
    MD5_STEP(auxI, c, d, a, b, 10, 15, 54);
    MD5_STEP(auxI, b, c, d, a, 1, 21, 55);
    MD5_STEP(auxI, a, b, c, d, 8, 6, 56);
    MD5_STEP(auxI, d, a, b, c, 15, 10, 57);
    MD5_STEP(auxI, c, d, a, b, 6, 15, 58);
    MD5_STEP(auxI, b, c, d, a, 13, 21, 59);
    MD5_STEP(auxI, a, b, c, d, 4, 6, 60);
    MD5_STEP(auxI, d, a, b, c, 11, 10, 61);
    MD5_STEP(auxI, c, d, a, b, 2, 15, 62);
    MD5_STEP(auxI, b, c, d, a, 9, 21, 63);

    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
}

#undef MD5_STEP
#endif

}  // namespace

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
    if (data == nullptr || length == 0) return;
    const uint8_t* input = static_cast<const uint8_t*>(data);

    // Bytes already waiting in the buffer, then the 64-bit bit count.
    const uint32_t buffered = (context.bitCount[0] >> 3) & (kBlockBytes - 1);
    const uint32_t addedBitsLow = length << 3;
    context.bitCount[0] += addedBitsLow;
    if (context.bitCount[0] < addedBitsLow) ++context.bitCount[1];
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

    for (int i = 0; i < 4; ++i) encodeWordLittleEndian(digest + 4 * i, context.state[i]);
    std::memset(&context, 0, sizeof context);
}
