#include "core/ContentCoding.h"

#include <cstdlib>

#include "core/Divide64.h"
#include "core/StringBuffer.h"

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr int8_t kNotInAlphabet = -1;
// Bytes of room beyond n * 3 / 4 in the decoded block (covers a trailing
// partial group and the zero byte written behind the data).
constexpr uint64_t kDecodeSlackBytes = 8;

int8_t sextetOf(uint8_t c) {
    if (c >= 'A' && c <= 'Z') return static_cast<int8_t>(c - 'A');
    if (c >= 'a' && c <= 'z') return static_cast<int8_t>(c - 'a' + 26);
    if (c >= '0' && c <= '9') return static_cast<int8_t>(c - '0' + 52);
    if (c == '+') return 62;
    if (c == '/') return 63;
    return kNotInAlphabet;
}

void appendGroup(const uint8_t* in, uint32_t present, char* group) {
    const uint32_t b0 = in[0];
    const uint32_t b1 = present > 1 ? in[1] : 0;
    const uint32_t b2 = present > 2 ? in[2] : 0;
    const uint32_t bits = (b0 << 16) | (b1 << 8) | b2;
    group[0] = kAlphabet[(bits >> 18) & 0x3F];
    group[1] = kAlphabet[(bits >> 12) & 0x3F];
    group[2] = present > 1 ? kAlphabet[(bits >> 6) & 0x3F] : '=';
    group[3] = present > 2 ? kAlphabet[bits & 0x3F] : '=';
}

}  // namespace

// The line length is never changed after construction.
static_assert(ContentCoding::kDefaultLineLength > 0 && ContentCoding::kDefaultLineLength <= kMaxSmallDivisor);

ContentCoding::ContentCoding() : lineLength(kDefaultLineLength) {}

ContentCoding::~ContentCoding() = default;

int32_t ContentCoding::estimateEncodedSize(uint32_t byteCount) const {
    // 5n + 10 exceeds 32 bits for large counts; the divisions go through
    // divideBySmall, which needs no 64-bit division.
    uint64_t a = 5 * static_cast<uint64_t>(byteCount) + 10;
    divideBySmall(a, 3);
    uint64_t breaks = 2 * a;
    divideBySmall(breaks, static_cast<uint32_t>(lineLength));
    const uint64_t estimate = a + breaks + 3;
    return estimate > INT32_MAX ? INT32_MAX : static_cast<int32_t>(estimate);
}

void ContentCoding::encodeBase64(const void* bytes, uint32_t count, StringBuffer& out) const {
    if (bytes == nullptr || count == 0) {
        return;
    }
    out.expectNumBytes(estimateEncodedSize(count));
    const uint8_t* in = static_cast<const uint8_t*>(bytes);
    char group[4];
    uint32_t done = 0;
    for (; count - done >= 3; done += 3) {
        appendGroup(in + done, 3, group);
        out.appendN(group, 4);
    }
    if (done < count) {
        appendGroup(in + done, count - done, group);
        out.appendN(group, 4);
    }
}

uint8_t* ContentCoding::decodeBase64(const char* text, uint32_t length, uint32_t& decodedCount) const {
    decodedCount = 0;
    if (text == nullptr || length == 0) {
        return nullptr;
    }
    const uint64_t blockBytes = static_cast<uint64_t>(length) * 3 / 4 + kDecodeSlackBytes;
    uint8_t* block = static_cast<uint8_t*>(std::malloc(blockBytes));
    if (block == nullptr) {
        return nullptr;
    }
    uint32_t written = 0;
    uint32_t bits = 0;
    uint32_t sextets = 0;  // sextets collected in the current group of four
    for (uint32_t i = 0; i < length; ++i) {
        const uint8_t c = static_cast<uint8_t>(text[i]);
        if (c == '=' || c == 0) {
            break;
        }
        const int8_t sextet = sextetOf(c);
        if (sextet == kNotInAlphabet) {
            continue;  // blanks and line breaks; anything else likewise
        }
        bits = (bits << 6) | static_cast<uint32_t>(sextet);
        if (++sextets == 4) {
            block[written++] = static_cast<uint8_t>(bits >> 16);
            block[written++] = static_cast<uint8_t>(bits >> 8);
            block[written++] = static_cast<uint8_t>(bits);
            bits = 0;
            sextets = 0;
        }
    }
    // A trailing group of 2 or 3 sextets holds 1 or 2 bytes; 1 sextet holds
    // fewer than 8 bits and gives nothing.
    if (sextets == 2) {
        block[written++] = static_cast<uint8_t>(bits >> 4);
    } else if (sextets == 3) {
        block[written++] = static_cast<uint8_t>(bits >> 10);
        block[written++] = static_cast<uint8_t>(bits >> 2);
    }
    block[written] = 0;
    decodedCount = written;
    return block;
}
