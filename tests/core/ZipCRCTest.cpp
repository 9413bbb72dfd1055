// ZipCRC: the CRC-32 check value, running form against one shot, the
// text/binary flag, and a differential run against zlib's crc32.

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstdlib>
#include <vector>

#include "core/ZipCRC.h"

TEST(ZipCRCTest, CheckValueOfTheNineDigits) {
    ZipCRC crc;
    EXPECT_EQ(crc.compute("123456789", 9), 0xCBF43926u);
    int32_t textFlag = -1;
    EXPECT_EQ(crc.compute("123456789", 9, &textFlag), 0xCBF43926u);
    EXPECT_EQ(textFlag, 0);
}

TEST(ZipCRCTest, EmptyRangeIsZeroAndText) {
    ZipCRC crc;
    EXPECT_EQ(crc.compute("", 0), 0u);
    int32_t textFlag = -1;
    EXPECT_EQ(crc.compute("", 0, &textFlag), 0u);
    EXPECT_EQ(textFlag, 0);
    EXPECT_EQ(crc.compute(nullptr, 10), 0u);
}

TEST(ZipCRCTest, RunningValueInPiecesEqualsOneShot) {
    const char* digits = "123456789";
    for (uint32_t split = 0; split <= 9; ++split) {
        SCOPED_TRACE(split);
        ZipCRC crc;
        crc.reset();
        crc.update(digits, split);
        crc.update(nullptr, 5); // changes nothing
        crc.update(digits + split, 9 - split);
        EXPECT_EQ(crc.final(), 0xCBF43926u);
        EXPECT_EQ(crc.final(), 0xCBF43926u); // final leaves the running value
    }
    // compute ignores the running value.
    ZipCRC crc;
    crc.update("xyz", 3);
    EXPECT_EQ(crc.compute("123456789", 9), 0xCBF43926u);
    crc.reset();
    EXPECT_EQ(crc.final(), 0u);
}

TEST(ZipCRCTest, TextFlagCountsControlAndHighBytesAgainstAQuarter) {
    struct Case {
        const char* label;
        int letters;
        int highBytes;
        int lowControls;
        int32_t expected;
    };
    const Case cases[] = {
        {"26 high bytes > 100/4: binary", 100, 26, 0, 1},
        {"25 high bytes = 100/4: text", 100, 25, 0, 0},
        {"control bytes 0..6 count too", 100, 0, 26, 1},
        {"quarter rounds down: 3 letters, 1 high", 3, 1, 0, 1},
        {"only letters", 10, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<uint8_t> bytes;
        bytes.insert(bytes.end(), c.letters, 'a');
        bytes.insert(bytes.end(), c.highBytes, 0x80);
        for (int i = 0; i < c.lowControls; ++i)
            bytes.push_back(static_cast<uint8_t>(i % 7));
        ZipCRC crc;
        int32_t textFlag = -1;
        crc.compute(bytes.data(), static_cast<uint32_t>(bytes.size()), &textFlag);
        EXPECT_EQ(textFlag, c.expected);
    }
    // Boundaries of the classes: 7 and 127 are text, 6 and 128 binary.
    struct Edge {
        std::vector<uint8_t> bytes;
        int32_t expected;
    };
    const Edge edges[] = {
        {{7, 127, 7, 127}, 0},
        {{7, 127, 7, 127, 128}, 0}, // 1 binary, not more than 4 / 4
        {{7, 127, 7, 127, 6}, 0},
        {{7, 127, 128}, 1},         // 1 binary > 2 / 4 = 0
        {{7, 127, 6}, 1},
    };
    for (const Edge& e : edges) {
        ZipCRC crc;
        int32_t textFlag = -1;
        crc.compute(e.bytes.data(), static_cast<uint32_t>(e.bytes.size()), &textFlag);
        EXPECT_EQ(textFlag, e.expected);
    }
}

TEST(ZipCRCTest, MatchesZlibOnRandomData) {
    std::srand(12345);
    ZipCRC ours;
    for (uint32_t length : {1u, 3u, 255u, 4096u, 100001u}) {
        SCOPED_TRACE(length);
        std::vector<uint8_t> bytes(length);
        for (uint8_t& b : bytes)
            b = static_cast<uint8_t>(std::rand());
        const uLong reference = crc32(crc32(0L, Z_NULL, 0), bytes.data(), length);
        EXPECT_EQ(ours.compute(bytes.data(), length), static_cast<uint32_t>(reference));
    }
}

// update takes 16 bytes per step from its tables and, from 256 bytes on
// where the processor can, folds 64 and 16 bytes per step: every length
// across those steps, at every start alignment and split into two pieces,
// gives zlib's value.
TEST(ZipCRCTest, MatchesZlibAtEveryAlignmentLengthAndSplit) {
    std::vector<uint8_t> bytes(600);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 73 + 41);
    for (uint32_t start = 0; start < 16; ++start) {
        for (uint32_t length = 0; start + length <= bytes.size(); ++length) {
            const uint8_t* data = bytes.data() + start;
            const uint32_t reference = static_cast<uint32_t>(crc32(crc32(0L, Z_NULL, 0), data, length));
            ZipCRC crc;
            ASSERT_EQ(crc.compute(data, length), reference) << start << "+" << length;
            for (uint32_t split = 0; split <= length; split += 7 + length / 8) {
                crc.reset();
                crc.update(data, split);
                crc.update(data + split, length - split);
                ASSERT_EQ(crc.final(), reference) << start << "+" << length << " split " << split;
            }
        }
    }
}
