// EncodingConvert as the installer is built (BRIVANE_ANSI_CODE_PAGE_TABLES_ONLY):
// it converts between the ANSI code pages, UTF-8 and UTF-16 as the library
// does, and refuses UTF-7 and UTF-32, whose coders it does not carry.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/DataBuffer.h"
#include "core/EncodingConvert.h"

namespace {

std::string convert(uint32_t from, uint32_t to, const std::string& bytes, bool& complete) {
    EncodingConvert converter;
    DataBuffer out;
    complete = converter.convert(from, to, bytes.data(), static_cast<uint32_t>(bytes.size()), out);
    return std::string(reinterpret_cast<const char*>(out.getData()), out.getSize());
}

}  // namespace

TEST(StubTextConversionTest, AnsiUtf8AndUtf16ConvertAsInTheLibrary) {
    const std::string utf8 = "caf\xC3\xA9 \xE2\x82\xAC";                // "café €"
    const std::string utf16(std::string("c\0a\0f\0\xE9\0 \0\xAC\x20", 12));  // the same, UTF-16LE
    const std::string cp1252 = "caf\xE9 \x80";
    const struct {
        uint32_t from;
        uint32_t to;
        const std::string& in;
        const std::string& out;
    } cases[] = {
        {CodePage::kUtf8, CodePage::kUtf16LE, utf8, utf16},  {CodePage::kUtf16LE, CodePage::kUtf8, utf16, utf8},
        {1252, CodePage::kUtf8, cp1252, utf8},               {CodePage::kUtf8, 1252, utf8, cp1252},
        {CodePage::kUtf16LE, 1252, utf16, cp1252},           {1252, CodePage::kUtf16LE, cp1252, utf16},
    };
    for (const auto& c : cases) {
        bool complete = false;
        EXPECT_EQ(convert(c.from, c.to, c.in, complete), c.out) << c.from << " -> " << c.to;
        EXPECT_TRUE(complete);
    }
}

TEST(StubTextConversionTest, Utf7AndUtf32AreRefusedWithNothingWritten) {
    for (uint32_t other : {CodePage::kUtf7, CodePage::kUtf32LE, CodePage::kUtf32BE}) {
        bool complete = true;
        EXPECT_EQ(convert(CodePage::kUtf8, other, "abc", complete), "") << other;
        EXPECT_FALSE(complete);
        EXPECT_EQ(convert(other, CodePage::kUtf16LE, std::string("a\0\0\0", 4), complete), "") << other;
        EXPECT_FALSE(complete);
    }
}
