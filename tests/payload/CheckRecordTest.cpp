// The check records' text: what format writes, parse reads back, and
// nothing else; and the header CRC over type, name, time and attributes.
#include "payload/CheckRecord.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace {

using CheckRecord::Fields;
using CheckRecord::Kind;

TEST(CheckRecord, FormatsAndParsesBack) {
    struct Case {
        Fields fields;
        const char* text;
    } cases[] = {
        {{Kind::Settings, 0xCBF43926u, 0, 0}, "S cbf43926"},
        {{Kind::Directory, 0x00000001u, 0, 0}, "D 00000001"},
        {{Kind::File, 0x12345678u, 0xFFFFFFFFu, 0}, "F 12345678 ffffffff 0"},
        {{Kind::File, 0, 0xabcdef01u, UINT64_MAX}, "F 00000000 abcdef01 18446744073709551615"},
        {{Kind::End, 0, 0, 4321}, "E 4321"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(CheckRecord::format(c.fields), c.text);
        EXPECT_LE(std::string(c.text).size(), CheckRecord::kMaxTextBytes);
        Fields parsed;
        ASSERT_TRUE(CheckRecord::parse(c.text, parsed)) << c.text;
        EXPECT_EQ(CheckRecord::format(parsed), c.text);
    }
}

TEST(CheckRecord, RefusesAnythingElse) {
    const char* bad[] = {
        "", "S", "S ", "S cbf4392", "S CBF43926", "S cbf43926 ", "Scbf43926", "X cbf43926", "D cbf43926 1",
        "F 12345678 ffffffff", "F 12345678 ffffffff 01", "F 12345678 ffffffff -1", "F 12345678  ffffffff 1",
        "F 12345678 ffffffff 18446744073709551616", "E", "E x", "E 1 ", "E 007",
    };
    for (const char* text : bad) {
        Fields fields;
        EXPECT_FALSE(CheckRecord::parse(text, fields)) << "\"" << text << "\"";
    }
}

// zlib's crc32 over the same bytes is the control.
TEST(CheckRecord, EntryHeaderCrcCoversTypeNameTimeAndAttributes) {
    const std::string name = "docs/guide.txt";
    const uint64_t time = 0x019DB1DED53E8000ull;
    const uint32_t attributes = 0x21;
    std::string bytes(1, '\x02');
    bytes += name;
    for (int i = 0; i < 8; ++i) bytes += char(time >> (8 * i));
    for (int i = 0; i < 4; ++i) bytes += char(attributes >> (8 * i));
    const uint32_t expected = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(bytes.data()), uInt(bytes.size())));
    EXPECT_EQ(CheckRecord::entryHeaderCrc(2, name, time, attributes), expected);
    EXPECT_NE(CheckRecord::entryHeaderCrc(1, name, time, attributes), expected);
    EXPECT_NE(CheckRecord::entryHeaderCrc(2, name, time + 1, attributes), expected);
    EXPECT_NE(CheckRecord::entryHeaderCrc(2, name, time, 0x20), expected);
}

}  // namespace
