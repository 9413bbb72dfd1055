// The publisher's icon and version information put into a Windows stub:
// every other resource kept, the icon group replaced, the headers and the
// checksum right, the same inputs giving the same bytes; and `bvsfx pack
// --icon/--version-info` refusals with their exit codes. The real stubs
// are branded, read back with wrestool and under Wine, and signed, in the
// e2e tests (branding_e2e.py, signing_e2e.py).

// bvsfx is built for the build machine only.
#ifdef BVSFX_TOOL_PATH

#include "tools/bvsfx/StubBranding.h"

#include <gtest/gtest.h>

#include "IconTestFile.h"
#include "PeTestImage.h"
#include "ToolTestSupport.h"
#include "tools/bvsfx/ExitCode.h"
#include "tools/bvsfx/PeImage.h"
#include "core/ByteOrder.h"

namespace {

using icon_test::Entry;
using tool_test::Bytes;
namespace fs = std::filesystem;

const std::vector<Entry> kTwoSizes = {
    {16, 16, 0, 0, 1, 32, icon_test::bitmapImage(16, 32)},
    {48, 48, 0, 0, 1, 8, icon_test::bitmapImage(48, 8)},
};

class StubBrandingTest : public tool_test::ScratchTest {
protected:
    // The branded stub's resources, with its headers checked.
    ResourceNode brandedResources(const Bytes& stub) {
        PeLayout layout;
        std::string error;
        EXPECT_TRUE(PeImage::parse(stub, layout, error)) << error;
        size_t index = 0;
        EXPECT_TRUE(PeImage::findRewritableResourceSection(stub, layout, index, error)) << error;
        EXPECT_EQ(PeImage::storedChecksum(stub, layout), PeImage::computedChecksum(stub, layout));
        const PeSection& section = layout.sections[index];
        EXPECT_EQ(section.rawDataBytes % layout.fileAlignment, 0u);
        EXPECT_EQ(PeImage::dataDirectory(stub, layout, PeImage::kResourceDirectoryIndex).bytes, section.virtualSize);
        ResourceNode root;
        EXPECT_TRUE(ResourceTree::parse(&stub[section.rawDataOffset], section.virtualSize, section.virtualAddress,
                                        root, error))
            << error;
        return root;
    }
};

TEST_F(StubBrandingTest, IconGroupReplacedVersionAddedAndTheRestKept) {
    const ResourceNode original = pe_test::stubResources();
    Bytes stub = pe_test::image(original);
    tool_test::writeBytes(scratch / "brand.ico", icon_test::iconFile(kTwoSizes));
    StubBrandingRequest request;
    request.iconFile = (scratch / "brand.ico").string();
    request.versionStrings = {{"ProductName", "Demo"}, {"FileVersion", "1.2.3.4"}};
    ASSERT_EQ(StubBranding::apply(stub, "test stub", request), kExitOk);

    const ResourceNode root = brandedResources(stub);
    for (uint16_t kept : {5, 24}) {
        EXPECT_TRUE(*root.child(ResourceName::fromId(kept)) == *original.child(ResourceName::fromId(kept)))
            << "type " << kept;
    }
    EXPECT_TRUE(*root.child(pe_test::named(u"LICENSE")) == *original.child(pe_test::named(u"LICENSE")));

    const ResourceNode& icons = *root.child(ResourceName::fromId(ResourceTree::kTypeIcon));
    ASSERT_EQ(icons.children.size(), 2u);  // the old icon 1 is gone
    EXPECT_EQ(icons.children[0].children[0].data, kTwoSizes[0].image);
    EXPECT_EQ(icons.children[1].name.id, 2);
    EXPECT_EQ(icons.children[1].children[0].data, kTwoSizes[1].image);
    const ResourceNode& groups = *root.child(ResourceName::fromId(ResourceTree::kTypeGroupIcon));
    ASSERT_EQ(groups.children.size(), 1u);
    EXPECT_EQ(groups.children[0].name.id, 1);
    const Bytes& group = groups.children[0].children[0].data;
    ASSERT_EQ(group.size(), 6u + 2 * 14);
    EXPECT_EQ(group[6 + 14], 48);
    EXPECT_EQ(loadLittleEndian16(&group[6 + 14 + 12]), 2);

    const ResourceNode* version = root.child(ResourceName::fromId(ResourceTree::kTypeVersion));
    ASSERT_NE(version, nullptr);
    ASSERT_EQ(version->children.size(), 1u);
    EXPECT_EQ(version->children[0].name.id, 1);
    EXPECT_EQ(version->children[0].children[0].name.id, 0);  // the stub's language
    EXPECT_GT(version->children[0].children[0].data.size(), 100u);
}

TEST_F(StubBrandingTest, SameInputsGiveTheSameBytesAndBrandingTwiceReplaces) {
    tool_test::writeBytes(scratch / "brand.ico", icon_test::iconFile(kTwoSizes));
    StubBrandingRequest request;
    request.iconFile = (scratch / "brand.ico").string();
    request.versionStrings = {{"CompanyName", "Brivane"}};
    Bytes a = pe_test::image(pe_test::stubResources());
    Bytes b = a;
    ASSERT_EQ(StubBranding::apply(a, "a", request), kExitOk);
    ASSERT_EQ(StubBranding::apply(b, "b", request), kExitOk);
    EXPECT_EQ(a, b);
    // A branded stub branded again holds one group, one version, two icons.
    ASSERT_EQ(StubBranding::apply(b, "b", request), kExitOk);
    EXPECT_EQ(a, b);
}

TEST_F(StubBrandingTest, StubWithoutIconOrResourcesItCanRewrite) {
    ResourceNode manifestOnly;
    manifestOnly.children = {pe_test::directory(
        ResourceName::fromId(24), {pe_test::directory(ResourceName::fromId(1), {pe_test::leaf(0, {'m'})})})};
    Bytes stub = pe_test::image(manifestOnly);
    tool_test::writeBytes(scratch / "brand.ico", icon_test::iconFile(kTwoSizes));
    StubBrandingRequest request;
    request.iconFile = (scratch / "brand.ico").string();
    ASSERT_EQ(StubBranding::apply(stub, "stub", request), kExitOk);
    const ResourceNode root = brandedResources(stub);
    EXPECT_EQ(root.child(ResourceName::fromId(ResourceTree::kTypeIcon))->children.size(), 2u);
    ASSERT_NE(root.child(ResourceName::fromId(ResourceTree::kTypeGroupIcon)), nullptr);

    Bytes trailing = pe_test::image(manifestOnly);
    trailing.resize(trailing.size() + 512, 0);  // e.g. debug data behind the section
    EXPECT_EQ(StubBranding::apply(trailing, "stub", request), kExitLimits);
}

#ifdef BVSFX_TOOL_PATH

TEST_F(StubBrandingTest, PackRefusalsAndWarnings) {
    tool_test::writeBytes(scratch / "win.exe", pe_test::image(pe_test::stubResources()));
    tool_test::writeBytes(scratch / "good.ico", icon_test::iconFile(kTwoSizes));
    Bytes truncated = icon_test::iconFile(kTwoSizes);
    truncated.resize(truncated.size() - 10);
    tool_test::writeBytes(scratch / "truncated.ico", truncated);
    tool_test::writeText(scratch / "text.ico", "not an icon at all");
    // An icon image that holds the payload marker would make the installer
    // take the icon for its payload.
    std::vector<Entry> withMarker = kTwoSizes;
    const uint8_t marker[] = {0x48, 0x12, 0x90, 0xBF, 0x49, 0xFF, 0x91, 0xAA};
    std::copy(std::begin(marker), std::end(marker), withMarker[0].image.begin() + 100);
    tool_test::writeBytes(scratch / "marker.ico", icon_test::iconFile(withMarker));
    tool_test::writeBytes(scratch / "elf", Bytes{0x7F, 'E', 'L', 'F', 2, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x3E});
    tool_test::writeText(scratch / "tree" / "a.txt", "a");
    struct Case {
        const char* label;
        std::vector<std::string> args;
        int exitCode;
        const char* message;
    };
    const Case cases[] = {
        {"good", {"--icon", "good.ico", "--version-info", "FileVersion=1.0.0.7"}, kExitOk, ""},
        {"missing icon", {"--icon", "absent.ico"}, kExitInput, "cannot read the icon file absent.ico"},
        {"truncated icon", {"--icon", "truncated.ico"}, kExitLimits, "outside the file"},
        {"text as icon", {"--icon", "text.ico"}, kExitLimits, "not an icon file"},
        {"marker in the icon", {"--icon", "marker.ico"}, kExitLimits, "payload marker"},
        {"unknown key", {"--version-info", "Comments=x"}, kExitUsage, "KEY one of"},
        {"no equals sign", {"--version-info", "ProductName"}, kExitUsage, "KEY=VALUE"},
        {"bad UTF-8", {"--version-info", "ProductName=\xFF"}, kExitLimits, "not valid UTF-8"},
        {"not a.b.c.d", {"--version-info", "FileVersion=1.2"}, kExitOk, "not of the form a.b.c.d"},
        {"not a.b.c.d, strict", {"--strict", "--version-info", "ProductVersion=1.2"}, kExitLimits, "a.b.c.d"},
        {"Linux stub", {"--stub", "elf", "--icon", "good.ico"}, kExitUsage, "need a Windows stub"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"pack", "-q", "--stub", "win.exe", "-o", "out.exe"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.push_back("tree");
        const tool_test::RunResult result = bvsfx(args);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.label << ": " << tool_test::describe(result);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << c.label << ": " << result.err;
        std::error_code error;
        if (c.exitCode != kExitOk) {
            EXPECT_FALSE(fs::exists(scratch / "out.exe")) << c.label;
        }
        fs::remove(scratch / "out.exe", error);
    }
}

#endif

}  // namespace

#endif  // BVSFX_TOOL_PATH
