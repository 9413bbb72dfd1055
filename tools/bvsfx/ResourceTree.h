#pragma once
// ResourceTree: the resource directory of a PE file (its .rsrc section) as
// a tree, read from the section and written back into one.
//
// Format notes: a directory is a 16-byte table (u32 Characteristics, u32
// TimeDateStamp, u16 MajorVersion, u16 MinorVersion, u16 named-entry
// count, u16 id-entry count) followed by its 8-byte entries, the named ones
// first, each group in ascending order (the loader searches them
// binarily). An entry's first u32 is an id, or with the top bit set the
// section offset of its name (u16 length in UTF-16 units, then the units);
// its second u32 is, with the top bit set, the section offset of a
// subdirectory, else that of a 16-byte data entry (u32 RVA of the data,
// u32 size in bytes, u32 CodePage, u32 Reserved). Windows reads three
// levels: type, name, language.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct ResourceName {
    bool isId = true;
    uint16_t id = 0;
    std::u16string text;  // when !isId

    static ResourceName fromId(uint16_t id);
    bool operator==(const ResourceName& other) const;
    bool operator!=(const ResourceName& other) const { return !(*this == other); }
    // The directory order: names before ids, names by their UTF-16 units,
    // ids by value.
    bool operator<(const ResourceName& other) const;
};

struct ResourceNode {
    ResourceName name;  // its entry's name in the parent (unused at the root)
    bool isLeaf = false;
    // A directory's header fields and entries.
    uint32_t characteristics = 0;
    uint32_t timeDateStamp = 0;
    uint16_t majorVersion = 0;
    uint16_t minorVersion = 0;
    std::vector<ResourceNode> children;
    // A leaf's data entry.
    std::vector<uint8_t> data;
    uint32_t codePage = 0;
    uint32_t reserved = 0;

    bool operator==(const ResourceNode& other) const;
    // The child of that name, or null.
    ResourceNode* child(const ResourceName& childName);
    const ResourceNode* child(const ResourceName& childName) const;
};

namespace ResourceTree {

// Resource type ids.
constexpr uint16_t kTypeIcon = 3;
constexpr uint16_t kTypeGroupIcon = 14;
constexpr uint16_t kTypeVersion = 16;
// Deepest level of the tree (type, name, language).
constexpr int kLevels = 3;

// Reads the tree of a resource section whose first byte is at sectionRva.
// Every table, name and data range must lie inside the section and leaves
// may only sit at the language level or above; false with a reason
// otherwise.
bool parse(const uint8_t* section, size_t sectionBytes, uint32_t sectionRva, ResourceNode& root,
           std::string& error);

// The section content for the tree, placed at sectionRva: the directory
// tables (breadth first), the data entries, the names, then each data
// block at an 8-byte boundary. Entries are written in directory order
// whatever their order in the tree; the output depends on nothing else, so
// the same tree gives the same bytes.
std::vector<uint8_t> write(const ResourceNode& root, uint32_t sectionRva);

// Puts every directory's entries into directory order.
void sortEntries(ResourceNode& node);

}  // namespace ResourceTree
