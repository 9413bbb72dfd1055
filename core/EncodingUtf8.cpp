#include "core/EncodingUtf8.h"

#include "core/DataBuffer.h"

namespace {

// Constant-initialised: usable from the constructors of other global objects.
constinit const EncodingUtf8 g_processUtf8Coder;

constexpr uint8_t kFirstTwoByteLead = 0xC2;  // 0xC0/0xC1 would be overlong
constexpr uint8_t kFirstThreeByteLead = 0xE0;
constexpr uint8_t kFirstFourByteLead = 0xF0;  // beyond the BMP: not decoded
constexpr uint8_t kMinSecondAfterE0 = 0xA0;   // below: overlong

bool isContinuation(uint8_t b) { return (b & 0xC0) == 0x80; }

}  // namespace

EncodingUtf8::~EncodingUtf8() = default;

const EncodingUtf8& EncodingUtf8::shared() { return g_processUtf8Coder; }

int32_t EncodingUtf8::decodeChar(ConvertState&, const uint8_t* bytes, uint32_t available,
                                 uint16_t& unit) const {
    if (available == 0) {
        return kIncompleteSequence;
    }
    const uint8_t b0 = bytes[0];
    if (b0 < 0x80) {
        unit = b0;
        return 1;
    }
    if (b0 < kFirstTwoByteLead || b0 >= kFirstFourByteLead) {
        return kInvalidSequence;
    }
    if (b0 < kFirstThreeByteLead) {
        if (available < 2) {
            return kIncompleteSequence;
        }
        if (!isContinuation(bytes[1])) {
            return kInvalidSequence;
        }
        unit = static_cast<uint16_t>(((b0 & 0x1F) << 6) | (bytes[1] & 0x3F));
        return 2;
    }
    if (available < 3) {
        return kIncompleteSequence;
    }
    if (!isContinuation(bytes[1]) || !isContinuation(bytes[2])) {
        return kInvalidSequence;
    }
    if (b0 == kFirstThreeByteLead && bytes[1] < kMinSecondAfterE0) {
        return kInvalidSequence;
    }
    unit = static_cast<uint16_t>(((b0 & 0x0F) << 12) | ((bytes[1] & 0x3F) << 6) | (bytes[2] & 0x3F));
    return 3;
}

int32_t EncodingUtf8::encodeChar(ConvertState&, uint16_t unit, DataBuffer& out) const {
    if (unit < 0x80) {
        out.appendChar(static_cast<uint8_t>(unit));
        return 1;
    }
    if (unit < 0x800) {
        out.appendChar(static_cast<uint8_t>(0xC0 + (unit >> 6)));
        out.appendChar(static_cast<uint8_t>(0x80 + (unit & 0x3F)));
        return 2;
    }
    out.appendChar(static_cast<uint8_t>(0xE0 + (unit >> 12)));
    out.appendChar(static_cast<uint8_t>(0x80 + ((unit >> 6) & 0x3F)));
    out.appendChar(static_cast<uint8_t>(0x80 + (unit & 0x3F)));
    return 3;
}

bool EncodingUtf8::isMultiByte() const { return true; }
