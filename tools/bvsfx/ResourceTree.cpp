#include "tools/bvsfx/ResourceTree.h"

#include <algorithm>
#include <deque>

#include "tools/bvsfx/LittleEndian.h"

using LittleEndian::appendU16;
using LittleEndian::appendU32;

namespace {

constexpr size_t kDirectoryHeaderBytes = 16;
constexpr size_t kEntryBytes = 8;
constexpr size_t kDataEntryBytes = 16;
constexpr uint32_t kHighBit = 0x80000000u;  // entry name is a string / entry target is a directory
constexpr size_t kDataAlignmentBytes = 8;
// Directories may share subdirectories; this bounds what a crafted table
// can make of a small section.
constexpr size_t kMaxNodes = 65536;

class Reader {
public:
    Reader(const uint8_t* section, size_t bytes, uint32_t rva, std::string& error)
        : m_section(section), m_bytes(bytes), m_rva(rva), m_error(error) {}

    bool readDirectory(uint32_t offset, int level, ResourceNode& node) {
        if (level > ResourceTree::kLevels) return fail("resource directory nested deeper than 3 levels");
        if (!fits(offset, kDirectoryHeaderBytes)) return fail("resource directory beyond the section");
        const uint8_t* table = m_section + offset;
        node.characteristics = loadLittleEndian32(table);
        node.timeDateStamp = loadLittleEndian32(table + 4);
        node.majorVersion = loadLittleEndian16(table + 8);
        node.minorVersion = loadLittleEndian16(table + 10);
        const size_t named = loadLittleEndian16(table + 12);
        const size_t ids = loadLittleEndian16(table + 14);
        if (!fits(offset + kDirectoryHeaderBytes, (named + ids) * kEntryBytes)) {
            return fail("resource directory entries beyond the section");
        }
        for (size_t i = 0; i < named + ids; ++i) {
            const uint8_t* entry = table + kDirectoryHeaderBytes + i * kEntryBytes;
            if (++m_nodes > kMaxNodes) return fail("too many resource entries");
            ResourceNode child;
            if (!readName(loadLittleEndian32(entry), i < named, child.name)) return false;
            const uint32_t target = loadLittleEndian32(entry + 4);
            const bool ok = (target & kHighBit) ? readDirectory(target & ~kHighBit, level + 1, child)
                                                : readLeaf(target, child);
            if (!ok) return false;
            node.children.push_back(std::move(child));
        }
        return true;
    }

private:
    bool fits(uint64_t offset, uint64_t bytes) const {
        return offset <= m_bytes && m_bytes - offset >= bytes;
    }

    bool fail(const char* reason) {
        m_error = reason;
        return false;
    }

    bool readName(uint32_t field, bool expectName, ResourceName& name) {
        if (((field & kHighBit) != 0) != expectName) return fail("resource entry name of the wrong kind");
        if (!expectName) {
            if (field > 0xFFFF) return fail("resource id above 65535");
            name = ResourceName::fromId(static_cast<uint16_t>(field));
            return true;
        }
        const uint32_t offset = field & ~kHighBit;
        if (!fits(offset, 2)) return fail("resource name beyond the section");
        const size_t units = loadLittleEndian16(m_section + offset);
        if (!fits(offset + 2, units * 2)) return fail("resource name beyond the section");
        name.isId = false;
        name.text.clear();
        for (size_t i = 0; i < units; ++i)
            name.text.push_back(static_cast<char16_t>(loadLittleEndian16(m_section + offset + 2 + 2 * i)));
        return true;
    }

    bool readLeaf(uint32_t offset, ResourceNode& leaf) {
        if (!fits(offset, kDataEntryBytes)) return fail("resource data entry beyond the section");
        const uint8_t* entry = m_section + offset;
        const uint32_t rva = loadLittleEndian32(entry);
        const uint32_t bytes = loadLittleEndian32(entry + 4);
        if (rva < m_rva || !fits(rva - m_rva, bytes))
            return fail("resource data outside the resource section");
        leaf.isLeaf = true;
        leaf.data.assign(m_section + (rva - m_rva), m_section + (rva - m_rva) + bytes);
        leaf.codePage = loadLittleEndian32(entry + 8);
        leaf.reserved = loadLittleEndian32(entry + 12);
        return true;
    }

    const uint8_t* m_section;
    size_t m_bytes;
    uint32_t m_rva;
    std::string& m_error;
    size_t m_nodes = 0;
};

size_t countNamed(const ResourceNode& node) {
    return static_cast<size_t>(std::count_if(node.children.begin(), node.children.end(),
                                             [](const ResourceNode& child) { return !child.name.isId; }));
}

}  // namespace

ResourceName ResourceName::fromId(uint16_t id) {
    ResourceName name;
    name.id = id;
    return name;
}

bool ResourceName::operator==(const ResourceName& other) const {
    return isId == other.isId && (isId ? id == other.id : text == other.text);
}

bool ResourceName::operator<(const ResourceName& other) const {
    if (isId != other.isId) return !isId;
    return isId ? id < other.id : text < other.text;
}

bool ResourceNode::operator==(const ResourceNode& other) const {
    return name == other.name && isLeaf == other.isLeaf && characteristics == other.characteristics &&
           timeDateStamp == other.timeDateStamp && majorVersion == other.majorVersion &&
           minorVersion == other.minorVersion && children == other.children && data == other.data &&
           codePage == other.codePage && reserved == other.reserved;
}

ResourceNode* ResourceNode::child(const ResourceName& childName) {
    for (ResourceNode& node : children) {
        if (node.name == childName) return &node;
    }
    return nullptr;
}

const ResourceNode* ResourceNode::child(const ResourceName& childName) const {
    return const_cast<ResourceNode*>(this)->child(childName);
}

namespace ResourceTree {

bool parse(const uint8_t* section, size_t sectionBytes, uint32_t sectionRva, ResourceNode& root,
           std::string& error) {
    root = ResourceNode();
    Reader reader(section, sectionBytes, sectionRva, error);
    return reader.readDirectory(0, 0, root);
}

void sortEntries(ResourceNode& node) {
    std::stable_sort(node.children.begin(), node.children.end(),
                     [](const ResourceNode& a, const ResourceNode& b) { return a.name < b.name; });
    for (ResourceNode& child : node.children) sortEntries(child);
}

std::vector<uint8_t> write(const ResourceNode& unsortedRoot, uint32_t sectionRva) {
    ResourceNode root = unsortedRoot;
    sortEntries(root);

    // Pass 1: the place of every table, data entry, name and data block.
    std::vector<const ResourceNode*> directories;  // breadth first
    std::vector<const ResourceNode*> leaves;
    std::deque<const ResourceNode*> queue{&root};
    while (!queue.empty()) {
        const ResourceNode* node = queue.front();
        queue.pop_front();
        directories.push_back(node);
        for (const ResourceNode& child : node->children) {
            if (child.isLeaf)
                leaves.push_back(&child);
            else
                queue.push_back(&child);
        }
    }
    size_t offset = 0;
    std::vector<size_t> directoryOffsets;
    for (const ResourceNode* node : directories) {
        directoryOffsets.push_back(offset);
        offset += kDirectoryHeaderBytes + node->children.size() * kEntryBytes;
    }
    const size_t dataEntriesOffset = offset;
    offset += leaves.size() * kDataEntryBytes;

    // Pass 2: write. Names and data blocks are appended as their entries
    // are met, so every offset is known when the entry is written.
    std::vector<uint8_t> out;
    std::vector<uint8_t> names;
    const size_t namesOffset = offset;
    size_t leafIndex = 0;
    size_t nextDirectory = 1;
    for (const ResourceNode* node : directories) {
        appendU32(out, node->characteristics);
        appendU32(out, node->timeDateStamp);
        appendU16(out, node->majorVersion);
        appendU16(out, node->minorVersion);
        const size_t named = countNamed(*node);
        appendU16(out, static_cast<uint16_t>(named));
        appendU16(out, static_cast<uint16_t>(node->children.size() - named));
        for (const ResourceNode& child : node->children) {
            if (child.name.isId) {
                appendU32(out, child.name.id);
            } else {
                appendU32(out, kHighBit | static_cast<uint32_t>(namesOffset + names.size()));
                appendU16(names, static_cast<uint16_t>(child.name.text.size()));
                for (char16_t unit : child.name.text) appendU16(names, static_cast<uint16_t>(unit));
            }
            if (child.isLeaf) {
                appendU32(out, static_cast<uint32_t>(dataEntriesOffset + leafIndex++ * kDataEntryBytes));
            } else {
                appendU32(out, kHighBit | static_cast<uint32_t>(directoryOffsets[nextDirectory++]));
            }
        }
    }
    // Data entries, then names, then the data itself.
    const size_t entriesAt = out.size();
    out.resize(out.size() + leaves.size() * kDataEntryBytes);
    out.insert(out.end(), names.begin(), names.end());
    for (size_t i = 0; i < leaves.size(); ++i) {
        LittleEndian::padTo(out, kDataAlignmentBytes);
        uint8_t* entry = &out[entriesAt + i * kDataEntryBytes];
        storeLittleEndian32(entry, sectionRva + static_cast<uint32_t>(out.size()));
        storeLittleEndian32(entry + 4, static_cast<uint32_t>(leaves[i]->data.size()));
        storeLittleEndian32(entry + 8, leaves[i]->codePage);
        storeLittleEndian32(entry + 12, leaves[i]->reserved);
        // The entry pointer is into out, which grows: write the fields
        // first, then append.
        out.insert(out.end(), leaves[i]->data.begin(), leaves[i]->data.end());
    }
    LittleEndian::padTo(out, kDataAlignmentBytes);
    return out;
}

}  // namespace ResourceTree
