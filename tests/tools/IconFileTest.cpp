// Reading .ico files strictly, and the icon-group resource made from them.
// The icon files are built field by field here; the e2e tests also read
// ones that ImageMagick wrote.

// bvsfx is built for the build machine only.
#ifdef BVSFX_TOOL_PATH

#include "tools/bvsfx/IconFile.h"

#include <gtest/gtest.h>

#include "IconTestFile.h"
#include "tools/bvsfx/LittleEndian.h"

namespace {

using namespace icon_test;

const std::vector<Entry> kThreeSizes = {
    {16, 16, 16, 0, 1, 4, bitmapImage(16, 4)},
    {32, 32, 0, 0, 0, 0, bitmapImage(32, 32)},  // planes and bits left at 0
    {0, 0, 0, 0, 1, 32, pngImage(256, 256)},
};

TEST(IconFile, ReadsEveryImage) {
    std::vector<IconImage> images;
    std::string error;
    ASSERT_TRUE(IconFile::parse(iconFile(kThreeSizes), images, error)) << error;
    ASSERT_EQ(images.size(), 3u);
    EXPECT_EQ(images[0].width, 16u);
    EXPECT_EQ(images[0].bitCount, 4);
    EXPECT_EQ(images[0].colorCount, 16);
    EXPECT_EQ(images[1].bitCount, 32);  // taken from the bitmap
    EXPECT_EQ(images[1].planes, 1);
    EXPECT_EQ(images[2].width, 256u);
    EXPECT_TRUE(images[2].isPng);
    EXPECT_EQ(images[1].bytes, kThreeSizes[1].image);
}

TEST(IconFile, GroupResourceNamesTheImagesById) {
    std::vector<IconImage> images;
    std::string error;
    ASSERT_TRUE(IconFile::parse(iconFile(kThreeSizes), images, error));
    const Bytes group = IconFile::groupResource(images, {2, 3, 7});
    ASSERT_EQ(group.size(), 6u + 3 * 14);
    EXPECT_EQ(loadLittleEndian16(&group[2]), 1);  // icon
    EXPECT_EQ(loadLittleEndian16(&group[4]), 3);
    // Second entry: 32x32, planes 1, 32 bits, its bytes, id 3.
    const uint8_t* entry = &group[6 + 14];
    EXPECT_EQ(entry[0], 32);
    EXPECT_EQ(loadLittleEndian16(entry + 4), 1);
    EXPECT_EQ(loadLittleEndian16(entry + 6), 32);
    EXPECT_EQ(loadLittleEndian32(entry + 8), kThreeSizes[1].image.size());
    EXPECT_EQ(loadLittleEndian16(entry + 12), 3);
    // 256 is written as 0.
    EXPECT_EQ(group[6 + 28], 0);
    EXPECT_EQ(loadLittleEndian16(&group[6 + 28 + 12]), 7);
}

TEST(IconFile, MalformedFilesAreRefused) {
    const Bytes good = iconFile(kThreeSizes);
    struct Case {
        const char* label;
        Bytes file;
        const char* reason;
    };
    auto with = [&](size_t offset, std::initializer_list<uint8_t> bytes) {
        Bytes file = good;
        std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
        return file;
    };
    Bytes shortened = good;
    shortened.resize(good.size() - 1);
    Bytes overlapping = with(6 + 16 + 12, {static_cast<uint8_t>(6 + 48), 0, 0, 0});  // image 2 at image 1
    std::vector<Entry> wrongHeight = kThreeSizes;
    wrongHeight[0].image = bitmapImage(16, 4);
    wrongHeight[0].image[8] = 16;  // biHeight 16: no room for the mask
    std::vector<Entry> shortBitmap = kThreeSizes;
    shortBitmap[1].image.resize(shortBitmap[1].image.size() - 1);
    std::vector<Entry> compressed = kThreeSizes;
    compressed[0].image[16] = 2;  // BI_RLE4
    std::vector<Entry> pngMismatch = kThreeSizes;
    pngMismatch[2].image = pngImage(128, 128);
    std::vector<Entry> neither = kThreeSizes;
    neither[0].image = Bytes(200, 0x33);
    std::vector<Entry> badBits = kThreeSizes;
    badBits[0].image[14] = 3;

    const Case cases[] = {
        {"empty", {}, "no icon header"},
        {"reserved header word", with(0, {1}), "no icon header"},
        {"cursor", with(2, {2}), "cursor"},
        {"unknown type", with(2, {3}), "type 3"},
        {"no image", with(4, {0}), "no image"},
        {"list cut short", Bytes(good.begin(), good.begin() + 30), "cut short"},
        {"image beyond the end", shortened, "outside the file"},
        {"image inside the list", with(6 + 12, {10, 0, 0, 0}), "outside the file"},
        {"zero bytes", with(6 + 8, {0, 0, 0, 0}), "outside the file"},
        {"reserved entry byte", with(6 + 3, {1}), "reserved"},
        {"overlapping images", overlapping, "overlap"},
        {"bitmap without room for the mask", iconFile(wrongHeight), "needs 16x32"},
        {"bitmap shorter than its rows", iconFile(shortBitmap), "needs"},
        {"compressed bitmap", iconFile(compressed), "compressed"},
        {"bits per pixel", iconFile(badBits), "bits per pixel"},
        {"PNG of another size", iconFile(pngMismatch), "PNG image, but its entry says 256x256"},
        {"neither PNG nor bitmap", iconFile(neither), "neither"},
    };
    for (const Case& c : cases) {
        std::vector<IconImage> images;
        std::string error;
        EXPECT_FALSE(IconFile::parse(c.file, images, error)) << c.label;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.label << ": " << error;
    }
}

}  // namespace

#endif  // BVSFX_TOOL_PATH
