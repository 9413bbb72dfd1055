#include "tools/bvsfx/PeImage.h"

#include <cstring>

#include "tools/bvsfx/LittleEndian.h"
#include "tools/bvsfx/PeChecksum.h"

namespace {

constexpr size_t kPeOffsetField = 0x3C;
constexpr size_t kSignatureBytes = 4;  // "PE\0\0"
constexpr size_t kFileHeaderBytes = 20;
constexpr size_t kSectionCountField = 2;  // in the file header
constexpr size_t kOptionalHeaderSizeField = 16;
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
// Offsets inside the optional header (the same for PE32 and PE32+ up to
// CheckSum; the data directory moves by the wider ImageBase and stack
// fields of PE32+).
constexpr size_t kSizeOfInitializedDataField = 8;
constexpr size_t kSectionAlignmentField = 32;
constexpr size_t kFileAlignmentField = 36;
constexpr size_t kSizeOfImageField = 56;
constexpr size_t kCheckSumField = 64;
constexpr size_t kDirectoryCountFieldPe32 = 92;
constexpr size_t kDirectoryCountFieldPe32Plus = 108;
constexpr size_t kDataDirectoryEntryBytes = 8;
constexpr size_t kSectionHeaderBytes = 40;
constexpr size_t kSectionNameBytes = 8;
constexpr size_t kVirtualSizeField = 8;
constexpr size_t kVirtualAddressField = 12;
constexpr size_t kRawDataBytesField = 16;
constexpr size_t kRawDataOffsetField = 20;

uint32_t alignUp(uint32_t value, uint32_t alignment) {
    return (value + alignment - 1) / alignment * alignment;
}

bool isPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

}  // namespace

namespace PeImage {

bool parse(const std::vector<uint8_t>& image, PeLayout& layout, std::string& error) {
    layout = PeLayout();
    const size_t size = image.size();
    if (size < kPeOffsetField + 4 || image[0] != 'M' || image[1] != 'Z') {
        error = "not a PE file (no MZ header)";
        return false;
    }
    const size_t pe = loadLittleEndian32(&image[kPeOffsetField]);
    if (pe > size || size - pe < kSignatureBytes + kFileHeaderBytes ||
        std::memcmp(&image[pe], "PE\0\0", 4) != 0) {
        error = "not a PE file (no PE signature)";
        return false;
    }
    const size_t fileHeader = pe + kSignatureBytes;
    const uint16_t sectionCount = loadLittleEndian16(&image[fileHeader + kSectionCountField]);
    const uint16_t optionalBytes = loadLittleEndian16(&image[fileHeader + kOptionalHeaderSizeField]);
    layout.optionalHeaderOffset = fileHeader + kFileHeaderBytes;
    const size_t optional = layout.optionalHeaderOffset;
    if (optionalBytes < kDirectoryCountFieldPe32Plus + 4 || size - optional < optionalBytes) {
        error = "the PE optional header is cut short";
        return false;
    }
    const uint16_t magic = loadLittleEndian16(&image[optional]);
    if (magic != kMagicPe32 && magic != kMagicPe32Plus) {
        error = "unknown PE optional header magic";
        return false;
    }
    layout.pe32Plus = magic == kMagicPe32Plus;
    layout.sectionAlignment = loadLittleEndian32(&image[optional + kSectionAlignmentField]);
    layout.fileAlignment = loadLittleEndian32(&image[optional + kFileAlignmentField]);
    if (!isPowerOfTwo(layout.sectionAlignment) || !isPowerOfTwo(layout.fileAlignment)) {
        error = "the PE alignments are not powers of two";
        return false;
    }
    layout.checksumFieldOffset = optional + kCheckSumField;
    const size_t countField = layout.pe32Plus ? kDirectoryCountFieldPe32Plus : kDirectoryCountFieldPe32;
    layout.dataDirectoryOffset = optional + countField + 4;
    const uint32_t directories = loadLittleEndian32(&image[optional + countField]);
    const size_t directoryRoom = (optionalBytes - (countField + 4)) / kDataDirectoryEntryBytes;
    if (directories > directoryRoom) {
        error = "the PE data directory does not fit its optional header";
        return false;
    }
    layout.dataDirectoryCount = directories;

    const size_t table = optional + optionalBytes;
    if ((size - table) / kSectionHeaderBytes < sectionCount) {
        error = "the PE section table is cut short";
        return false;
    }
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint8_t* header = &image[table + i * kSectionHeaderBytes];
        PeSection section;
        section.name.assign(reinterpret_cast<const char*>(header),
                            strnlen(reinterpret_cast<const char*>(header), kSectionNameBytes));
        section.virtualSize = loadLittleEndian32(header + kVirtualSizeField);
        section.virtualAddress = loadLittleEndian32(header + kVirtualAddressField);
        section.rawDataBytes = loadLittleEndian32(header + kRawDataBytesField);
        section.rawDataOffset = loadLittleEndian32(header + kRawDataOffsetField);
        section.headerOffset = table + i * kSectionHeaderBytes;
        if (section.rawDataBytes != 0 &&
            (section.rawDataOffset > size || size - section.rawDataOffset < section.rawDataBytes)) {
            error = "the PE section " + section.name + " lies beyond the end of the file";
            return false;
        }
        layout.sections.push_back(section);
    }
    return true;
}

PeDataDirectory dataDirectory(const std::vector<uint8_t>& image, const PeLayout& layout, uint32_t index) {
    PeDataDirectory directory;
    if (index >= layout.dataDirectoryCount) return directory;
    const uint8_t* entry = &image[layout.dataDirectoryOffset + index * kDataDirectoryEntryBytes];
    directory.rva = loadLittleEndian32(entry);
    directory.bytes = loadLittleEndian32(entry + 4);
    return directory;
}

bool findRewritableResourceSection(const std::vector<uint8_t>& image, const PeLayout& layout, size_t& found,
                                   std::string& error) {
    const PeDataDirectory resources = dataDirectory(image, layout, kResourceDirectoryIndex);
    if (resources.rva == 0 || layout.sections.empty()) {
        error = "it holds no resources";
        return false;
    }
    const size_t last = layout.sections.size() - 1;
    const PeSection& section = layout.sections[last];
    if (resources.rva != section.virtualAddress) {
        error = "its resources do not start its last section (the resource section must be the last one)";
        return false;
    }
    for (size_t i = 0; i < last; ++i) {
        const PeSection& other = layout.sections[i];
        if (other.virtualAddress >= section.virtualAddress ||
            (other.rawDataBytes != 0 && other.rawDataOffset >= section.rawDataOffset)) {
            error = "the resource section " + section.name + " is not the last section of the image";
            return false;
        }
    }
    if (static_cast<uint64_t>(section.rawDataOffset) + section.rawDataBytes != image.size()) {
        error = "data follows the resource section " + section.name + " in the file";
        return false;
    }
    // Nothing but the resources may live in the section that is rebuilt.
    for (uint32_t index = 0; index < layout.dataDirectoryCount; ++index) {
        if (index == kResourceDirectoryIndex || index == kSecurityDirectoryIndex) continue;
        const PeDataDirectory other = dataDirectory(image, layout, index);
        if (other.rva != 0 && other.rva >= section.virtualAddress) {
            error = "data directory " + std::to_string(index) + " points into the resource section";
            return false;
        }
    }
    found = last;
    return true;
}

void replaceLastSection(std::vector<uint8_t>& image, const PeLayout& layout, size_t index,
                        const std::vector<uint8_t>& content) {
    const PeSection& section = layout.sections[index];
    const uint32_t contentBytes = static_cast<uint32_t>(content.size());
    const uint32_t rawBytes = alignUp(contentBytes, layout.fileAlignment);
    image.resize(section.rawDataOffset);
    image.insert(image.end(), content.begin(), content.end());
    image.resize(static_cast<size_t>(section.rawDataOffset) + rawBytes, 0);

    uint8_t* header = &image[section.headerOffset];
    storeLittleEndian32(header + kVirtualSizeField, contentBytes);
    storeLittleEndian32(header + kRawDataBytesField, rawBytes);
    const size_t optional = layout.optionalHeaderOffset;
    const uint32_t initialized = loadLittleEndian32(&image[optional + kSizeOfInitializedDataField]);
    storeLittleEndian32(&image[optional + kSizeOfInitializedDataField],
                        initialized - section.rawDataBytes + rawBytes);
    storeLittleEndian32(&image[optional + kSizeOfImageField],
                        alignUp(section.virtualAddress + contentBytes, layout.sectionAlignment));
    storeLittleEndian32(
        &image[layout.dataDirectoryOffset + kResourceDirectoryIndex * kDataDirectoryEntryBytes + 4],
        contentBytes);
    storeLittleEndian32(&image[layout.checksumFieldOffset], computedChecksum(image, layout));
}

uint32_t storedChecksum(const std::vector<uint8_t>& image, const PeLayout& layout) {
    return loadLittleEndian32(&image[layout.checksumFieldOffset]);
}

uint32_t computedChecksum(const std::vector<uint8_t>& image, const PeLayout& layout) {
    return PeChecksum::compute(image.data(), image.size(), layout.checksumFieldOffset);
}

}  // namespace PeImage
