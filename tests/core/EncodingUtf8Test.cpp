// EncodingUtf8: the per-character UTF-8 coder, one row per lead-byte range
// and failure kind; and the neutral answers of EncodingBase.
#include <gtest/gtest.h>

#include <vector>

#include "TextTestHelpers.h"
#include "core/ConvertState.h"
#include "core/DataBuffer.h"
#include "core/EncodingBase.h"
#include "core/EncodingUtf8.h"

using texttest::Bytes;
using texttest::hex;

TEST(EncodingUtf8, DecodeChar)
{
    struct Case {
        const char* label;
        Bytes bytes;
        int32_t result;
        uint16_t unit;
    };
    const std::vector<Case> cases = {
        {"ASCII", {0x41, 0x80}, 1, 0x41},
        {"NUL", {0x00}, 1, 0x00},
        {"continuation byte alone", {0x80, 0x41}, -1, 0},
        {"overlong lead C0", {0xC0, 0x80}, -1, 0},
        {"overlong lead C1", {0xC1, 0xBF}, -1, 0},
        {"two bytes, smallest", {0xC2, 0x80}, 2, 0x0080},
        {"two bytes, e acute", {0xC3, 0xA9, 0x41}, 2, 0x00E9},
        {"two bytes, largest", {0xDF, 0xBF}, 2, 0x07FF},
        {"two bytes, second not continuation", {0xC3, 0x28}, -1, 0},
        {"two bytes, one available", {0xC3}, -2, 0},
        {"three bytes, smallest", {0xE0, 0xA0, 0x80}, 3, 0x0800},
        {"three bytes, overlong E0 9F", {0xE0, 0x9F, 0xBF}, -1, 0},
        {"three bytes, CJK", {0xE4, 0xB8, 0x80}, 3, 0x4E00},
        {"three bytes, surrogate accepted", {0xED, 0xA0, 0x80}, 3, 0xD800},
        {"three bytes, largest", {0xEF, 0xBF, 0xBF}, 3, 0xFFFF},
        {"three bytes, third not continuation", {0xE4, 0xB8, 0x41}, -1, 0},
        {"three bytes, two available", {0xE4, 0xB8}, -2, 0},
        {"four-byte lead F0", {0xF0, 0x9F, 0x98, 0x80}, -1, 0},
        {"lead FF", {0xFF}, -1, 0},
    };
    const EncodingUtf8& coder = EncodingUtf8::shared();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ConvertState state;
        uint16_t unit = 0;
        EXPECT_EQ(c.result, coder.decodeChar(state, c.bytes.data(),
                                             static_cast<uint32_t>(c.bytes.size()), unit));
        if (c.result > 0) {
            EXPECT_EQ(c.unit, unit);
        }
        EXPECT_EQ(0u, state.value);
    }
}

TEST(EncodingUtf8, EncodeChar)
{
    struct Case {
        uint16_t unit;
        Bytes bytes;
    };
    const std::vector<Case> cases = {
        {0x0000, {0x00}}, {0x007F, {0x7F}}, {0x0080, {0xC2, 0x80}}, {0x07FF, {0xDF, 0xBF}},
        {0x0800, {0xE0, 0xA0, 0x80}}, {0xD83D, {0xED, 0xA0, 0xBD}}, {0xFFFF, {0xEF, 0xBF, 0xBF}},
    };
    const EncodingUtf8& coder = EncodingUtf8::shared();
    for (const Case& c : cases) {
        ConvertState state;
        DataBuffer out;
        EXPECT_EQ(static_cast<int32_t>(c.bytes.size()), coder.encodeChar(state, c.unit, out))
            << c.unit;
        EXPECT_EQ(hex(c.bytes), hex(texttest::bufferBytes(out))) << c.unit;
    }
}

TEST(EncodingUtf8, EveryBmpUnitRoundTrips)
{
    const EncodingUtf8& coder = EncodingUtf8::shared();
    ConvertState state;
    for (uint32_t u = 0; u <= 0xFFFF; ++u) {
        DataBuffer out;
        const int32_t length = coder.encodeChar(state, static_cast<uint16_t>(u), out);
        uint16_t unit = 0;
        ASSERT_EQ(length, coder.decodeChar(state, out.getData(), out.getSize(), unit)) << u;
        ASSERT_EQ(u, unit);
    }
}

TEST(EncodingUtf8, MultiByteAndSharedInstance)
{
    EXPECT_TRUE(EncodingUtf8::shared().isMultiByte());
    EXPECT_EQ(&EncodingUtf8::shared(), &EncodingUtf8::shared());
}

TEST(EncodingBase, BaseCoderDecodesAndEncodesNothing)
{
    EncodingBase base;
    ConvertState state;
    const uint8_t bytes[] = {0x41};
    uint16_t unit = 7;
    EXPECT_EQ(0, base.decodeChar(state, bytes, 1, unit));
    DataBuffer out;
    EXPECT_EQ(0, base.encodeChar(state, 0x41, out));
    EXPECT_EQ(0u, out.getSize());
    EXPECT_FALSE(base.isMultiByte());
}
