// The check record's text: what format writes, parse reads back, and
// nothing else.
#ifdef BVSFX_TOOL_PATH

#include "tools/bvsfx/CheckRecord.h"

#include <gtest/gtest.h>

namespace {

TEST(CheckRecord, FormatsAndParsesBack) {
    EXPECT_EQ(CheckRecord::format(0xCBF43926u, 9), "cbf43926 9");
    EXPECT_EQ(CheckRecord::format(0, 0), "00000000 0");
    EXPECT_EQ(CheckRecord::format(0xFFFFFFFFu, UINT64_MAX), "ffffffff 18446744073709551615");
    for (uint64_t size : {uint64_t(0), uint64_t(1), uint64_t(104857600), UINT64_MAX}) {
        uint32_t crc = 0;
        uint64_t parsed = 1;
        ASSERT_TRUE(CheckRecord::parse(CheckRecord::format(0x1234abcdu, size), crc, parsed));
        EXPECT_EQ(crc, 0x1234abcdu);
        EXPECT_EQ(parsed, size);
    }
}

TEST(CheckRecord, RefusesAnythingElse) {
    const char* bad[] = {
        "", "cbf43926", "cbf43926 ", "CBF43926 9", "cbf4392 9", "cbf43926  9", "cbf43926 09",
        "cbf43926 9 ", "cbf43926 -9", "xbf43926 9", "cbf43926 18446744073709551616",
    };
    for (const char* text : bad) {
        uint32_t crc = 0;
        uint64_t size = 0;
        EXPECT_FALSE(CheckRecord::parse(text, crc, size)) << "\"" << text << "\"";
    }
}

}  // namespace

#endif  // BVSFX_TOOL_PATH
