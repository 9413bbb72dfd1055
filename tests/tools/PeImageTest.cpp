// Rewriting the resource section of a PE image, and its checksum.

// bvsfx is built for the build machine only.
#ifdef BVSFX_TOOL_PATH

#include "tools/bvsfx/PeImage.h"

#include <gtest/gtest.h>

#include "PeTestImage.h"
#include "tools/bvsfx/LittleEndian.h"
#include "tools/bvsfx/PeChecksum.h"

namespace {


// Hand-computed: the words summed with the carry folded back, then the
// length added.
TEST(PeChecksum, KnownAnswers) {
    struct Case {
        const char* label;
        std::vector<uint8_t> bytes;
        size_t field;
        uint32_t expected;
    };
    const Case cases[] = {
        {"one word", {0x34, 0x12}, 100, 0x1234 + 2},
        {"carry folded", {0xFF, 0xFF, 0x02, 0x00}, 100, 0x0002 + 4},
        {"odd last byte", {0x01, 0x00, 0x05}, 100, 0x0006 + 3},
        {"checksum field counts as zero", {0x01, 0x00, 0xAA, 0xBB, 0xCC, 0xDD, 0x02, 0x00}, 2, 0x0003 + 8},
        {"sum of 0xFFFF stays", {0xFF, 0xFF}, 100, 0xFFFF + 2},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PeChecksum::compute(c.bytes.data(), c.bytes.size(), c.field), c.expected) << c.label;
    }
}

TEST(PeImage, ParsesTheTestImage) {
    const std::vector<uint8_t> image = pe_test::image(pe_test::stubResources());
    PeLayout layout;
    std::string error;
    ASSERT_TRUE(PeImage::parse(image, layout, error)) << error;
    EXPECT_TRUE(layout.pe32Plus);
    ASSERT_EQ(layout.sections.size(), 2u);
    EXPECT_EQ(layout.sections[1].name, ".rsrc");
    EXPECT_EQ(PeImage::storedChecksum(image, layout), PeImage::computedChecksum(image, layout));
    size_t section = 0;
    EXPECT_TRUE(PeImage::findRewritableResourceSection(image, layout, section, error)) << error;
    EXPECT_EQ(section, 1u);
}

TEST(PeImage, RewriteKeepsHeadersConsistentAndTheRestUnchanged) {
    const std::vector<uint8_t> original = pe_test::image(pe_test::stubResources());
    std::vector<uint8_t> image = original;
    PeLayout layout;
    std::string error;
    ASSERT_TRUE(PeImage::parse(image, layout, error));
    const std::vector<uint8_t> content(0x1234, 0x5A);  // grows the section past a page
    PeImage::replaceLastSection(image, layout, 1, content);

    EXPECT_EQ(image.size(), pe_test::kResourceFileOffset + 0x1400u);
    const uint32_t header = pe_test::kResourceSectionHeader;
    EXPECT_EQ(loadLittleEndian32(&image[header + 8]), 0x1234u);                           // VirtualSize
    EXPECT_EQ(loadLittleEndian32(&image[header + 16]), 0x1400u);                          // SizeOfRawData
    EXPECT_EQ(loadLittleEndian32(&image[pe_test::kSizeOfImage]), 0x4000u);                // 0x2000 + 2 pages
    EXPECT_EQ(loadLittleEndian32(&image[pe_test::kSizeOfInitializedData]), 0x1400u);
    EXPECT_EQ(loadLittleEndian32(&image[pe_test::kResourceDirectory]), pe_test::kResourceRva);
    EXPECT_EQ(loadLittleEndian32(&image[pe_test::kResourceDirectory + 4]), 0x1234u);
    EXPECT_EQ(PeImage::storedChecksum(image, layout), PeImage::computedChecksum(image, layout));
    EXPECT_EQ(std::vector<uint8_t>(image.begin() + pe_test::kResourceFileOffset,
                                   image.begin() + pe_test::kResourceFileOffset + 0x1234),
              content);
    // Everything before the section but the changed fields is the same.
    for (size_t i = 0; i < pe_test::kResourceFileOffset; ++i) {
        const bool changedField = (i >= header + 8 && i < header + 12) || (i >= header + 16 && i < header + 20) ||
                                  (i >= pe_test::kSizeOfImage && i < pe_test::kSizeOfImage + 4) ||
                                  (i >= pe_test::kSizeOfInitializedData && i < pe_test::kSizeOfInitializedData + 4) ||
                                  (i >= pe_test::kCheckSum && i < pe_test::kCheckSum + 4) ||
                                  (i >= pe_test::kResourceDirectory + 4 && i < pe_test::kResourceDirectory + 8);
        if (!changedField) {
            ASSERT_EQ(image[i], original[i]) << "offset " << i;
        }
    }
}

TEST(PeImage, ImagesWhoseResourcesCannotBeRewrittenAreRefused) {
    const std::vector<uint8_t> good = pe_test::image(pe_test::stubResources());
    struct Case {
        const char* label;
        void (*damage)(std::vector<uint8_t>&);
        const char* reason;
    };
    const Case cases[] = {
        {"data after the resource section", [](std::vector<uint8_t>& image) { image.push_back(0); },
         "data follows"},
        {"resources in the first section",
         [](std::vector<uint8_t>& image) { storeLittleEndian32(&image[pe_test::kResourceDirectory], pe_test::kTextRva); },
         "do not start its last section"},
        {"no resources",
         [](std::vector<uint8_t>& image) { storeLittleEndian32(&image[pe_test::kResourceDirectory], 0); },
         "no resources"},
        {"another directory inside the resource section",
         [](std::vector<uint8_t>& image) {
             storeLittleEndian32(&image[pe_test::kResourceDirectory + 3 * 8], pe_test::kResourceRva + 0x10);
         },
         "points into the resource section"},
        {"an earlier section above it",
         [](std::vector<uint8_t>& image) { storeLittleEndian32(&image[pe_test::kSectionTable + 12], 0x3000); },
         "not the last section"},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> image = good;
        c.damage(image);
        PeLayout layout;
        std::string error;
        ASSERT_TRUE(PeImage::parse(image, layout, error)) << c.label << ": " << error;
        size_t section = 0;
        EXPECT_FALSE(PeImage::findRewritableResourceSection(image, layout, section, error)) << c.label;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.label << ": " << error;
    }
}

TEST(PeImage, MalformedHeadersAreRefused) {
    const std::vector<uint8_t> good = pe_test::image(pe_test::stubResources());
    struct Case {
        const char* label;
        size_t offset;
        uint32_t value;
        size_t keepBytes;
    };
    const Case cases[] = {
        {"no MZ", 0, 0x5A4E, 0},
        {"PE offset beyond the file", 0x3C, 0x7FFFFFFF, 0},
        {"unknown magic", pe_test::kOptionalHeader, 0x30B, 0},
        {"section table cut short", 0, 0x5A4D, pe_test::kSectionTable + 50},
        {"section beyond the file", pe_test::kResourceSectionHeader + 20, 0x100000, 0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> image = good;
        if (c.offset == 0 || c.offset == pe_test::kOptionalHeader) storeLittleEndian16(&image[c.offset], static_cast<uint16_t>(c.value));
        else storeLittleEndian32(&image[c.offset], c.value);
        if (c.keepBytes != 0) image.resize(c.keepBytes);
        PeLayout layout;
        std::string error;
        EXPECT_FALSE(PeImage::parse(image, layout, error)) << c.label;
        EXPECT_FALSE(error.empty()) << c.label;
    }
}

}  // namespace

#endif  // BVSFX_TOOL_PATH
