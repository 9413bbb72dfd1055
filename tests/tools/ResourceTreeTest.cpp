// The resource tree of a PE file: written, read back, written again.

// bvsfx is built for the build machine only.
#ifdef BVSFX_TOOL_PATH

#include "tools/bvsfx/ResourceTree.h"

#include <gtest/gtest.h>

#include "PeTestImage.h"
#include "tools/bvsfx/LittleEndian.h"

namespace {

constexpr uint32_t kRva = 0x7E000;

TEST(ResourceTree, RoundTripGivesTheSameTreeAndTheSameBytes) {
    const ResourceNode tree = pe_test::stubResources();
    const std::vector<uint8_t> section = ResourceTree::write(tree, kRva);
    ResourceNode read;
    std::string error;
    ASSERT_TRUE(ResourceTree::parse(section.data(), section.size(), kRva, read, error)) << error;
    EXPECT_TRUE(read == tree);
    EXPECT_EQ(ResourceTree::write(read, kRva), section);
}

TEST(ResourceTree, HeaderFieldsAndCodePagesSurvive) {
    ResourceNode tree = pe_test::stubResources();
    tree.timeDateStamp = 0x12345678;
    tree.majorVersion = 4;
    tree.children[0].characteristics = 7;
    tree.children[0].children[0].children[0].codePage = 1252;
    const std::vector<uint8_t> section = ResourceTree::write(tree, kRva);
    ResourceNode read;
    std::string error;
    ASSERT_TRUE(ResourceTree::parse(section.data(), section.size(), kRva, read, error)) << error;
    EXPECT_TRUE(read == tree);
}

// The loader searches entries binarily: names first, in order, then ids.
TEST(ResourceTree, WriterPutsEntriesInDirectoryOrder) {
    ResourceNode tree;
    tree.children = {pe_test::directory(ResourceName::fromId(24), {}), pe_test::directory(pe_test::named(u"ZED"), {}),
                     pe_test::directory(ResourceName::fromId(3), {}), pe_test::directory(pe_test::named(u"ABC"), {})};
    const std::vector<uint8_t> section = ResourceTree::write(tree, kRva);
    EXPECT_EQ(loadLittleEndian16(&section[12]), 2);  // named entries
    EXPECT_EQ(loadLittleEndian16(&section[14]), 2);  // id entries
    ResourceNode read;
    std::string error;
    ASSERT_TRUE(ResourceTree::parse(section.data(), section.size(), kRva, read, error)) << error;
    ASSERT_EQ(read.children.size(), 4u);
    EXPECT_EQ(read.children[0].name.text, u"ABC");
    EXPECT_EQ(read.children[1].name.text, u"ZED");
    EXPECT_EQ(read.children[2].name.id, 3);
    EXPECT_EQ(read.children[3].name.id, 24);
}

TEST(ResourceTree, DataBlocksAreAlignedAndInsideTheSection) {
    const std::vector<uint8_t> section = ResourceTree::write(pe_test::stubResources(), kRva);
    EXPECT_EQ(section.size() % 8, 0u);
    ResourceNode read;
    std::string error;
    ASSERT_TRUE(ResourceTree::parse(section.data(), section.size(), kRva, read, error));
    // The dialog's data entry: RVA 8-aligned, the bytes where it points.
    const ResourceNode& dialog = read.children[2].children[0].children[0];
    EXPECT_EQ(dialog.data, (std::vector<uint8_t>{9, 8, 7, 6, 5}));
}

// Malformed sections, each made from a good one by changing one field.
TEST(ResourceTree, MalformedSectionsAreRefused) {
    const std::vector<uint8_t> good = ResourceTree::write(pe_test::stubResources(), kRva);
    struct Case {
        const char* label;
        size_t offset;
        uint32_t value;
        const char* reason;
    };
    // The root's first entry (the named LICENSE type) is at 16, the second
    // (type 3) at 24.
    const Case cases[] = {
        {"entry count beyond the section", 14, 0xFFFF, "beyond the section"},
        {"subdirectory offset beyond the section", 28, 0x80000000u | 0x00FFFFF0u, "beyond the section"},
        {"name offset beyond the section", 16, 0x80000000u | 0x00FFFFF0u, "beyond the section"},
        {"id where a name belongs", 16, 5, "wrong kind"},
        {"loop back to the root", 28, 0x80000000u, "deeper than 3 levels"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bad = good;
        if (c.offset == 14) storeLittleEndian16(&bad[c.offset], static_cast<uint16_t>(c.value));
        else storeLittleEndian32(&bad[c.offset], c.value);
        ResourceNode read;
        std::string error;
        EXPECT_FALSE(ResourceTree::parse(bad.data(), bad.size(), kRva, read, error)) << c.label;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.label << ": " << error;
    }
}

TEST(ResourceTree, DataOutsideTheSectionIsRefused) {
    std::vector<uint8_t> section = ResourceTree::write(pe_test::stubResources(), kRva);
    ResourceNode read;
    std::string error;
    // Parse against another base: every data RVA now lies outside.
    EXPECT_FALSE(ResourceTree::parse(section.data(), section.size(), kRva + 0x1000, read, error));
    EXPECT_NE(error.find("outside the resource section"), std::string::npos) << error;
    EXPECT_FALSE(ResourceTree::parse(section.data(), 10, kRva, read, error));
}

}  // namespace

#endif  // BVSFX_TOOL_PATH
