// Fuzz target: the Windows file formats bvsfx reads when it brands a stub.
// The first byte picks the reader, the rest is its input:
//   0  IconFile::parse, an .ico file; when it is taken, its group resource
//   1  ResourceTree::parse, a resource section at RVA 0x1000
//   2  PeImage::parse and findRewritableResourceSection, a PE file
//
// Checks beyond crashes, leaks and UB: an icon file taken has 1..65535
// images, each of 1..256 pixels a side, and a group resource of 6 + 14 per
// image bytes; a resource tree taken is written and read back as the same
// tree, and writing that gives the same bytes again; a resource section
// found rewritable lies inside the file and ends it.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/bvsfx/IconFile.h"
#include "tools/bvsfx/PeImage.h"
#include "tools/bvsfx/ResourceTree.h"

namespace {

constexpr uint32_t kSectionRva = 0x1000;

void require(bool condition) {
    if (!condition) std::abort();
}

void fuzzIcon(const std::vector<uint8_t>& input) {
    std::vector<IconImage> images;
    std::string error;
    if (!IconFile::parse(input, images, error)) {
        require(!error.empty());
        return;
    }
    require(!images.empty() && images.size() <= 0xFFFF);
    std::vector<uint16_t> ids;
    for (const IconImage& image : images) {
        require(image.width >= 1 && image.width <= IconFile::kMaxIconPixels);
        require(image.height >= 1 && image.height <= IconFile::kMaxIconPixels);
        require(!image.bytes.empty());
        ids.push_back(static_cast<uint16_t>(ids.size() + 1));
    }
    require(IconFile::groupResource(images, ids).size() == 6 + 14 * images.size());
}

void fuzzResourceTree(const std::vector<uint8_t>& input) {
    ResourceNode tree;
    std::string error;
    if (!ResourceTree::parse(input.data(), input.size(), kSectionRva, tree, error)) return;
    ResourceTree::sortEntries(tree);
    const std::vector<uint8_t> written = ResourceTree::write(tree, kSectionRva);
    ResourceNode again;
    require(ResourceTree::parse(written.data(), written.size(), kSectionRva, again, error));
    require(again == tree);
    require(ResourceTree::write(again, kSectionRva) == written);
}

void fuzzPeImage(const std::vector<uint8_t>& input) {
    PeLayout layout;
    std::string error;
    if (!PeImage::parse(input, layout, error)) return;
    size_t index = 0;
    if (!PeImage::findRewritableResourceSection(input, layout, index, error)) return;
    const PeSection& section = layout.sections[index];
    require(static_cast<uint64_t>(section.rawDataOffset) + section.rawDataBytes == input.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const std::vector<uint8_t> input(data + 1, data + size);
    switch (data[0] % 3) {
        case 0: fuzzIcon(input); break;
        case 1: fuzzResourceTree(input); break;
        default: fuzzPeImage(input); break;
    }
    return 0;
}
