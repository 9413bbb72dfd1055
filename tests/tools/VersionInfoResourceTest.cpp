// The VS_VERSIONINFO resource, walked block by block as the version API
// reads it. The e2e tests read it back with GetFileVersionInfo under Wine.

// bvsfx is built for the build machine only.
#ifdef BVSFX_TOOL_PATH

#include "tools/bvsfx/VersionInfoResource.h"

#include <gtest/gtest.h>

#include <map>

#include "tools/bvsfx/LittleEndian.h"

namespace {


struct Block {
    uint16_t length = 0;
    uint16_t valueLength = 0;
    uint16_t type = 0;
    std::u16string key;
    size_t valueOffset = 0;
    std::vector<Block> children;
};

size_t align4(size_t offset) { return (offset + 3) & ~size_t(3); }

// One block at offset and its children, checking that every length stays
// inside its parent and every block starts at a 4-byte boundary.
Block readBlock(const std::vector<uint8_t>& data, size_t offset, size_t end, int depth) {
    Block block;
    EXPECT_EQ(offset % 4, 0u);
    block.length = loadLittleEndian16(&data[offset]);
    block.valueLength = loadLittleEndian16(&data[offset + 2]);
    block.type = loadLittleEndian16(&data[offset + 4]);
    EXPECT_LE(offset + block.length, end);
    size_t at = offset + 6;
    while (loadLittleEndian16(&data[at]) != 0) {
        block.key.push_back(static_cast<char16_t>(loadLittleEndian16(&data[at])));
        at += 2;
    }
    block.valueOffset = align4(at + 2);
    const size_t valueBytes = block.type == 1 ? block.valueLength * 2u : block.valueLength;
    size_t child = align4(block.valueOffset + valueBytes);
    if (depth < 3 && !(block.type == 1 && block.valueLength != 0)) {
        while (child < offset + block.length) {
            block.children.push_back(readBlock(data, child, offset + block.length, depth + 1));
            child = align4(child + block.children.back().length);
        }
    }
    return block;
}

std::u16string stringValue(const std::vector<uint8_t>& data, const Block& block) {
    std::u16string value;
    for (size_t i = 0; i + 1 < block.valueLength; ++i) {
        value.push_back(static_cast<char16_t>(loadLittleEndian16(&data[block.valueOffset + 2 * i])));
    }
    EXPECT_EQ(loadLittleEndian16(&data[block.valueOffset + 2 * (block.valueLength - 1)]), 0) << "terminating zero";
    return value;
}

TEST(VersionInfoResource, BlocksHoldTheStringsAndTheFixedInfo) {
    std::vector<uint8_t> data;
    std::string error;
    ASSERT_TRUE(VersionInfoResource::build({{"ProductName", "Brivane Demo"},
                                            {"FileVersion", "1.2.3.4"},
                                            {"LegalCopyright", "\xC2\xA9 2026 Brivane"},
                                            {"ProductVersion", "5.6"}},
                                           data, error))
        << error;
    const Block root = readBlock(data, 0, data.size(), 0);
    EXPECT_EQ(root.length, data.size());
    EXPECT_EQ(root.key, u"VS_VERSION_INFO");
    EXPECT_EQ(root.valueLength, 52);
    EXPECT_EQ(root.valueOffset, 40u);
    EXPECT_EQ(loadLittleEndian32(&data[40]), 0xFEEF04BDu);
    EXPECT_EQ(loadLittleEndian32(&data[40 + 8]), 0x00010002u);   // FileVersionMS
    EXPECT_EQ(loadLittleEndian32(&data[40 + 12]), 0x00030004u);  // FileVersionLS
    EXPECT_EQ(loadLittleEndian32(&data[40 + 16]), 0u);           // "5.6" is no a.b.c.d
    EXPECT_EQ(loadLittleEndian32(&data[40 + 36]), 1u);           // VFT_APP

    ASSERT_EQ(root.children.size(), 2u);
    const Block& stringFileInfo = root.children[0];
    EXPECT_EQ(stringFileInfo.key, u"StringFileInfo");
    ASSERT_EQ(stringFileInfo.children.size(), 1u);
    const Block& table = stringFileInfo.children[0];
    EXPECT_EQ(table.key, u"040904B0");
    std::map<std::u16string, std::u16string> strings;
    for (const Block& entry : table.children) {
        EXPECT_EQ(entry.type, 1);
        strings[entry.key] = stringValue(data, entry);
    }
    const std::map<std::u16string, std::u16string> expected = {{u"ProductName", u"Brivane Demo"},
                                                               {u"FileVersion", u"1.2.3.4"},
                                                               {u"LegalCopyright", u"\u00A9 2026 Brivane"},
                                                               {u"ProductVersion", u"5.6"}};
    EXPECT_EQ(strings, expected);
    const Block& varFileInfo = root.children[1];
    EXPECT_EQ(varFileInfo.key, u"VarFileInfo");
    ASSERT_EQ(varFileInfo.children.size(), 1u);
    EXPECT_EQ(varFileInfo.children[0].key, u"Translation");
    EXPECT_EQ(loadLittleEndian32(&data[varFileInfo.children[0].valueOffset]), 0x04B00409u);
}

TEST(VersionInfoResource, SameStringsInAnyOrderGiveTheSameBytes) {
    std::vector<uint8_t> a;
    std::vector<uint8_t> b;
    std::string error;
    ASSERT_TRUE(VersionInfoResource::build({{"CompanyName", "A"}, {"ProductName", "B"}}, a, error));
    ASSERT_TRUE(VersionInfoResource::build({{"ProductName", "B"}, {"CompanyName", "A"}}, b, error));
    EXPECT_EQ(a, b);
}

TEST(VersionInfoResource, NumericVersions) {
    struct Case {
        const char* text;
        bool ok;
        uint32_t ms, ls;
    };
    const Case cases[] = {
        {"1.2.3.4", true, 0x00010002, 0x00030004},
        {"65535.0.0.65535", true, 0xFFFF0000, 0x0000FFFF},
        {"0.0.0.0", true, 0, 0},
        {"1.2.3", false, 0, 0},
        {"1.2.3.4.5", false, 0, 0},
        {"65536.0.0.0", false, 0, 0},
        {"1..3.4", false, 0, 0},
        {"1.2.3.", false, 0, 0},
        {"1.2.3.4 beta", false, 0, 0},
        {"", false, 0, 0},
        {"-1.2.3.4", false, 0, 0},
    };
    for (const Case& c : cases) {
        uint32_t ms = 0;
        uint32_t ls = 0;
        EXPECT_EQ(VersionInfoResource::parseNumericVersion(c.text, ms, ls), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(ms, c.ms) << c.text;
            EXPECT_EQ(ls, c.ls) << c.text;
        }
    }
}

TEST(VersionInfoResource, Utf8IsReadStrictly) {
    struct Case {
        const char* label;
        std::string text;
        bool ok;
        std::u16string expected;
    };
    const Case cases[] = {
        {"ASCII", "abc", true, u"abc"},
        {"two bytes", "\xC3\xA9", true, u"\u00E9"},
        {"three bytes", "\xE2\x82\xAC", true, u"\u20AC"},
        {"four bytes, a surrogate pair", "\xF0\x9F\x98\x80", true, u"\U0001F600"},
        {"overlong", "\xC0\xAF", false, u""},
        {"encoded surrogate", "\xED\xA0\x80", false, u""},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", false, u""},
        {"cut short", "\xE2\x82", false, u""},
        {"lone continuation", "\x80", false, u""},
    };
    for (const Case& c : cases) {
        std::u16string out;
        EXPECT_EQ(VersionInfoResource::utf8ToUtf16(c.text, out), c.ok) << c.label;
        if (c.ok) {
            EXPECT_EQ(out, c.expected) << c.label;
        }
    }
}

TEST(VersionInfoResource, RefusesWhatCannotBeWritten) {
    std::vector<uint8_t> data;
    std::string error;
    EXPECT_FALSE(VersionInfoResource::build({{"ProductName", "bad \xFF"}}, data, error));
    EXPECT_NE(error.find("UTF-8"), std::string::npos) << error;
    EXPECT_FALSE(VersionInfoResource::build({{"ProductName", std::string(40000, 'x')}}, data, error));
    EXPECT_NE(error.find("too long"), std::string::npos) << error;
}

}  // namespace

#endif  // BVSFX_TOOL_PATH
