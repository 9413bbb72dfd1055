// The Windows stubs as the win64 and win32 presets build them: the resource
// section last, the checksum the linker wrote equal to ours (the linker
// computes it as the image-help library does), and their resource trees
// read, written and read again unchanged. Only in builds that name the
// stubs (the linux preset does).
#if defined(BVSFX_WIN64_STUB_PATH) || defined(BVSFX_WIN32_STUB_PATH)

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ToolTestSupport.h"
#include "tools/bvsfx/PeImage.h"
#include "tools/bvsfx/ResourceTree.h"

namespace {

std::vector<std::string> builtStubs() {
    std::vector<std::string> stubs;
#ifdef BVSFX_WIN64_STUB_PATH
    stubs.push_back(BVSFX_WIN64_STUB_PATH);
#endif
#ifdef BVSFX_WIN32_STUB_PATH
    stubs.push_back(BVSFX_WIN32_STUB_PATH);
#endif
    return stubs;
}

TEST(BuiltStubResources, LayoutChecksumAndResourceRoundTrip) {
    const std::vector<std::string> stubs = builtStubs();
    for (const std::string& path : stubs) {
        ASSERT_TRUE(std::filesystem::is_regular_file(path))
            << path << " is missing: build the win64 and win32 presets first";
        const std::vector<uint8_t> image = tool_test::readBytes(path);
        PeLayout layout;
        std::string error;
        ASSERT_TRUE(PeImage::parse(image, layout, error)) << path << ": " << error;
        const uint32_t stored = PeImage::storedChecksum(image, layout);
        EXPECT_NE(stored, 0u) << path;
        EXPECT_EQ(PeImage::computedChecksum(image, layout), stored) << path;
        size_t index = 0;
        ASSERT_TRUE(PeImage::findRewritableResourceSection(image, layout, index, error)) << path << ": " << error;
        const PeSection& section = layout.sections[index];
        EXPECT_EQ(section.name, ".rsrc");
        ResourceNode tree;
        ASSERT_TRUE(ResourceTree::parse(&image[section.rawDataOffset], section.virtualSize, section.virtualAddress,
                                        tree, error))
            << path << ": " << error;
        const std::vector<uint8_t> written = ResourceTree::write(tree, section.virtualAddress);
        ResourceNode again;
        ASSERT_TRUE(ResourceTree::parse(written.data(), written.size(), section.virtualAddress, again, error));
        EXPECT_TRUE(again == tree) << path;
        // The stub's own kinds: icon, dialogs, strings, icon group, manifest.
        for (uint16_t type : {3, 5, 6, 14, 24}) {
            EXPECT_NE(tree.child(ResourceName::fromId(type)), nullptr) << path << ": type " << type;
        }
    }
}

}  // namespace

#endif
