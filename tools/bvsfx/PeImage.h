#pragma once
// PeImage: the headers of a PE file (a Windows stub) as far as rewriting
// its resource section needs them, and that rewrite.
//
// Layout: "MZ" header whose u32 at 0x3C is the offset of "PE\0\0"; then the
// 20-byte file header (u16 NumberOfSections at +2, u16 SizeOfOptionalHeader
// at +16); then the optional header (u16 Magic 0x10B for PE32, 0x20B for
// PE32+) and the section table (40 bytes a section) right after it.
//
// The rewrite replaces the content of the resource section and keeps the
// image consistent: the section's VirtualSize and SizeOfRawData, the
// optional header's SizeOfInitializedData and SizeOfImage, the resource
// entry of the data directory and the CheckSum. It is only done when the
// resource section is the last section both in the image and in the file,
// and the file ends with it: then nothing else moves.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct PeSection {
    std::string name;  // up to 8 characters
    uint32_t virtualSize = 0;
    uint32_t virtualAddress = 0;
    uint32_t rawDataBytes = 0;   // SizeOfRawData, a multiple of FileAlignment
    uint32_t rawDataOffset = 0;  // PointerToRawData
    size_t headerOffset = 0;     // file offset of its 40-byte section header
};

struct PeLayout {
    size_t optionalHeaderOffset = 0;
    bool pe32Plus = false;
    uint32_t sectionAlignment = 0;
    uint32_t fileAlignment = 0;
    size_t checksumFieldOffset = 0;
    size_t dataDirectoryOffset = 0;
    uint32_t dataDirectoryCount = 0;
    std::vector<PeSection> sections;
};

struct PeDataDirectory {
    uint32_t rva = 0;
    uint32_t bytes = 0;
};

namespace PeImage {

constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kSecurityDirectoryIndex = 4;  // its "RVA" is a file offset

// False with a reason when the headers are not a well-formed PE file's.
bool parse(const std::vector<uint8_t>& image, PeLayout& layout, std::string& error);

// Entry index of the data directory; zeros when the directory has fewer.
PeDataDirectory dataDirectory(const std::vector<uint8_t>& image, const PeLayout& layout, uint32_t index);

// The index of the section that holds the resource directory, when the
// rewrite is possible (see above); false with a reason otherwise.
bool findRewritableResourceSection(const std::vector<uint8_t>& image, const PeLayout& layout, size_t& section,
                                   std::string& error);

// Replaces the content of that section (the last one) by content, the new
// resource data, padded with zeros to the file alignment, and brings the
// headers and the CheckSum up to date.
void replaceLastSection(std::vector<uint8_t>& image, const PeLayout& layout, size_t section,
                        const std::vector<uint8_t>& content);

// The CheckSum field as stored, and as it should be.
uint32_t storedChecksum(const std::vector<uint8_t>& image, const PeLayout& layout);
uint32_t computedChecksum(const std::vector<uint8_t>& image, const PeLayout& layout);

}  // namespace PeImage
