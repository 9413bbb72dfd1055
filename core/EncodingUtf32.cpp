#include "core/EncodingUtf32.h"

#include "core/ByteOrder.h"
#include "core/DataBuffer.h"

namespace {

constexpr uint32_t kUtf32UnitBytes = 4;

constexpr uint32_t kReplacementCharacter = 0xFFFD;
constexpr uint32_t kFourByteLimit = 0x200000;

void appendUtf8CodePoint(uint32_t codePoint, DataBuffer& out) {
    if (codePoint >= kFourByteLimit) {
        codePoint = kReplacementCharacter;
    }
    if (codePoint < 0x80) {
        out.appendChar(static_cast<uint8_t>(codePoint));
    } else if (codePoint < 0x800) {
        out.appendChar(static_cast<uint8_t>(0xC0 | (codePoint >> 6)));
        out.appendChar(static_cast<uint8_t>(0x80 | (codePoint & 0x3F)));
    } else if (codePoint < 0x10000) {
        out.appendChar(static_cast<uint8_t>(0xE0 | (codePoint >> 12)));
        out.appendChar(static_cast<uint8_t>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.appendChar(static_cast<uint8_t>(0x80 | (codePoint & 0x3F)));
    } else {
        out.appendChar(static_cast<uint8_t>(0xF0 | (codePoint >> 18)));
        out.appendChar(static_cast<uint8_t>(0x80 | ((codePoint >> 12) & 0x3F)));
        out.appendChar(static_cast<uint8_t>(0x80 | ((codePoint >> 6) & 0x3F)));
        out.appendChar(static_cast<uint8_t>(0x80 | (codePoint & 0x3F)));
    }
}

// Input of fewer than 4 bytes gives false; a trailing partial group is
// ignored. bigEndian reverses every group before reading it.

}  // namespace

bool utf32ToUtf8(const uint8_t* bytes, uint32_t count, bool bigEndian, DataBuffer& out) {
    if (count < kUtf32UnitBytes) {
        return false;
    }
    for (uint32_t at = 0; at + kUtf32UnitBytes <= count; at += kUtf32UnitBytes) {
        const uint8_t* g = bytes + at;
        const uint32_t codePoint = bigEndian ? loadBigEndian32(g) : loadLittleEndian32(g);
        appendUtf8CodePoint(codePoint, out);
    }
    return true;
}

namespace {

// Length of the legal UTF-8 sequence at bytes, or 0 when it is illegal or
// truncated. Encoded surrogates are accepted.
uint32_t legalUtf8Length(const uint8_t* bytes, uint32_t available) {
    const uint8_t lead = bytes[0];
    if (lead < 0x80) {
        return 1;
    }
    if (lead < 0xC2 || lead > 0xF4) {
        return 0;
    }
    const uint32_t length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    if (available < length) {
        return 0;
    }
    for (uint32_t i = 1; i < length; ++i) {
        if ((bytes[i] & 0xC0) != 0x80) {
            return 0;
        }
    }
    if ((lead == 0xE0 && bytes[1] < 0xA0) || (lead == 0xF0 && bytes[1] < 0x90) ||
        (lead == 0xF4 && bytes[1] > 0x8F)) {
        return 0;
    }
    return length;
}

uint32_t codePointOf(const uint8_t* bytes, uint32_t length) {
    static constexpr uint8_t kLeadMask[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    uint32_t codePoint = bytes[0] & kLeadMask[length];
    for (uint32_t i = 1; i < length; ++i) {
        codePoint = (codePoint << 6) | (bytes[i] & 0x3F);
    }
    return codePoint;
}

}  // namespace

// Stops with false at the first illegal or truncated sequence, keeping what
// was written.
bool utf8ToUtf32(const uint8_t* bytes, uint32_t count, bool bigEndian, DataBuffer& out) {
    uint32_t at = 0;
    while (at < count) {
        const uint32_t length = legalUtf8Length(bytes + at, count - at);
        if (length == 0) {
            return false;
        }
        const uint32_t codePoint = codePointOf(bytes + at, length);
        for (uint32_t i = 0; i < kUtf32UnitBytes; ++i) {
            const uint32_t shift = 8 * (bigEndian ? kUtf32UnitBytes - 1 - i : i);
            out.appendChar(static_cast<uint8_t>(codePoint >> shift));
        }
        at += length;
    }
    return true;
}
