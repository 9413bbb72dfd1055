#pragma once
// A small PE32+ image for the resource-rewriting tests, built field by
// field: headers in the first 0x200 bytes, a .text section of 0x200 bytes
// at RVA 0x1000, and a resource section at RVA 0x2000 (file offset 0x400)
// holding the given resource tree, the last section of the image and of the
// file.

#include <cstdint>
#include <vector>

#include "tools/bvsfx/LittleEndian.h"
#include "tools/bvsfx/PeChecksum.h"
#include "tools/bvsfx/ResourceTree.h"

namespace pe_test {

constexpr uint32_t kPeOffset = 0x40;
constexpr uint32_t kOptionalHeader = kPeOffset + 4 + 20;
constexpr uint32_t kOptionalHeaderBytes = 240;  // PE32+ with 16 directory entries
constexpr uint32_t kSectionTable = kOptionalHeader + kOptionalHeaderBytes;
constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr uint32_t kTextRva = 0x1000;
constexpr uint32_t kResourceRva = 0x2000;
constexpr uint32_t kResourceFileOffset = 0x400;
constexpr uint32_t kSizeOfInitializedData = kOptionalHeader + 8;
constexpr uint32_t kSizeOfImage = kOptionalHeader + 56;
constexpr uint32_t kCheckSum = kOptionalHeader + 64;
constexpr uint32_t kResourceDirectory = kOptionalHeader + 112 + 2 * 8;
constexpr uint32_t kResourceSectionHeader = kSectionTable + 40;

inline uint32_t alignUp(uint32_t value, uint32_t alignment) { return (value + alignment - 1) / alignment * alignment; }

inline void putSection(std::vector<uint8_t>& image, uint32_t header, const char* name, uint32_t virtualSize,
                       uint32_t rva, uint32_t rawBytes, uint32_t rawOffset) {
    for (int i = 0; name[i] != 0; ++i) image[header + i] = static_cast<uint8_t>(name[i]);
    storeLittleEndian32(&image[header + 8], virtualSize);
    storeLittleEndian32(&image[header + 12], rva);
    storeLittleEndian32(&image[header + 16], rawBytes);
    storeLittleEndian32(&image[header + 20], rawOffset);
}

inline std::vector<uint8_t> image(const ResourceNode& resources) {
    const std::vector<uint8_t> section = ResourceTree::write(resources, kResourceRva);
    const uint32_t sectionBytes = static_cast<uint32_t>(section.size());
    std::vector<uint8_t> pe(kResourceFileOffset, 0);
    pe[0] = 'M';
    pe[1] = 'Z';
    storeLittleEndian32(&pe[0x3C], kPeOffset);
    pe[kPeOffset] = 'P';
    pe[kPeOffset + 1] = 'E';
    storeLittleEndian16(&pe[kPeOffset + 4], 0x8664);  // machine x86-64
    storeLittleEndian16(&pe[kPeOffset + 6], 2);       // sections
    storeLittleEndian16(&pe[kPeOffset + 20], kOptionalHeaderBytes);
    storeLittleEndian16(&pe[kOptionalHeader], 0x20B);
    storeLittleEndian32(&pe[kOptionalHeader + 32], kSectionAlignment);
    storeLittleEndian32(&pe[kOptionalHeader + 36], kFileAlignment);
    storeLittleEndian32(&pe[kSizeOfInitializedData], alignUp(sectionBytes, kFileAlignment));
    storeLittleEndian32(&pe[kSizeOfImage], alignUp(kResourceRva + sectionBytes, kSectionAlignment));
    storeLittleEndian32(&pe[kOptionalHeader + 60], kFileAlignment);  // SizeOfHeaders
    storeLittleEndian16(&pe[kOptionalHeader + 68], 2);                 // GUI subsystem
    storeLittleEndian32(&pe[kOptionalHeader + 108], 16);
    storeLittleEndian32(&pe[kResourceDirectory], kResourceRva);
    storeLittleEndian32(&pe[kResourceDirectory + 4], sectionBytes);
    putSection(pe, kSectionTable, ".text", 0x10, kTextRva, kFileAlignment, kFileAlignment);
    putSection(pe, kResourceSectionHeader, ".rsrc", sectionBytes, kResourceRva, alignUp(sectionBytes, kFileAlignment),
               kResourceFileOffset);
    for (uint32_t i = 0; i < 0x10; ++i) pe[kFileAlignment + i] = static_cast<uint8_t>(0xC3 - i);  // some code
    pe.insert(pe.end(), section.begin(), section.end());
    pe.resize(kResourceFileOffset + alignUp(sectionBytes, kFileAlignment), 0);
    storeLittleEndian32(&pe[kCheckSum], PeChecksum::compute(pe.data(), pe.size(), kCheckSum));
    return pe;
}

inline ResourceNode leaf(uint16_t language, std::vector<uint8_t> data) {
    ResourceNode node;
    node.name = ResourceName::fromId(language);
    node.isLeaf = true;
    node.data = std::move(data);
    return node;
}

inline ResourceNode directory(const ResourceName& name, std::vector<ResourceNode> children) {
    ResourceNode node;
    node.name = name;
    node.children = std::move(children);
    return node;
}

inline ResourceName named(const char16_t* text) {
    ResourceName name;
    name.isId = false;
    name.text = text;
    return name;
}

// A stub's kind of resources: a dialog (type 5, id 129), a manifest (type
// 24, id 1), an icon group (14, id 1) naming icon 1 (type 3), and a
// resource by name.
inline ResourceNode stubResources() {
    const uint8_t group[] = {0, 0, 1, 0, 1, 0, 16, 16, 0, 0, 1, 0, 32, 0, 4, 0, 0, 0, 1, 0};
    ResourceNode root;
    root.children = {
        directory(ResourceName::fromId(3), {directory(ResourceName::fromId(1), {leaf(0, {1, 2, 3, 4})})}),
        directory(ResourceName::fromId(5), {directory(ResourceName::fromId(129), {leaf(0, {9, 8, 7, 6, 5})})}),
        directory(ResourceName::fromId(14),
                  {directory(ResourceName::fromId(1), {leaf(0, std::vector<uint8_t>(group, group + sizeof(group)))})}),
        directory(ResourceName::fromId(24), {directory(ResourceName::fromId(1), {leaf(0, {'<', 'x', '/', '>'})})}),
        directory(named(u"LICENSE"), {directory(named(u"TEXT"), {leaf(0x409, {'o', 'k'})})}),
    };
    ResourceTree::sortEntries(root);
    return root;
}

}  // namespace pe_test
