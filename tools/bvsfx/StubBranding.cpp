#include "tools/bvsfx/StubBranding.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <set>

#include "tools/bvsfx/ExitCode.h"
#include "tools/bvsfx/IconFile.h"
#include "tools/bvsfx/LittleEndian.h"
#include "tools/bvsfx/Messages.h"
#include "tools/bvsfx/PeImage.h"
#include "tools/bvsfx/ResourceTree.h"
#include "tools/bvsfx/StubImage.h"
#include "tools/bvsfx/VersionInfoResource.h"
#include "tools/bvsfx/Utf8Path.h"

namespace {

constexpr uint16_t kLanguageNeutral = 0;
constexpr uint16_t kFirstResourceId = 1;
constexpr uint16_t kVersionResourceId = 1;  // VS_VERSION_INFO is always resource 1
constexpr size_t kGroupHeaderBytes = 6;
constexpr size_t kGroupEntryBytes = 14;
constexpr size_t kGroupEntryIdField = 12;

ResourceNode directoryNamed(const ResourceName& name) {
    ResourceNode node;
    node.name = name;
    return node;
}

ResourceNode& childOrNew(ResourceNode& parent, const ResourceName& name) {
    if (ResourceNode* existing = parent.child(name)) return *existing;
    parent.children.push_back(directoryNamed(name));
    return parent.children.back();
}

void removeChild(ResourceNode& parent, const ResourceName& name) {
    parent.children.erase(std::remove_if(parent.children.begin(), parent.children.end(),
                                         [&](const ResourceNode& child) { return child.name == name; }),
                          parent.children.end());
}

// The language the stub's resources are in: that of its first resource of
// a standard (numbered) type.
uint16_t stubLanguage(const ResourceNode& root) {
    for (const ResourceNode& type : root.children) {
        if (!type.name.isId || type.isLeaf || type.children.empty()) continue;
        const ResourceNode& name = type.children.front();
        if (name.isLeaf || name.children.empty()) continue;
        const ResourceNode& language = name.children.front();
        if (language.isLeaf && language.name.isId) return language.name.id;
    }
    return kLanguageNeutral;
}

// The RT_ICON ids an icon group resource names.
std::vector<uint16_t> groupIconIds(const std::vector<uint8_t>& group) {
    std::vector<uint16_t> ids;
    if (group.size() < kGroupHeaderBytes) return ids;
    const size_t count = loadLittleEndian16(&group[4]);
    for (size_t i = 0; i < count && kGroupHeaderBytes + (i + 1) * kGroupEntryBytes <= group.size(); ++i) {
        ids.push_back(
            loadLittleEndian16(&group[kGroupHeaderBytes + i * kGroupEntryBytes + kGroupEntryIdField]));
    }
    return ids;
}

// Replaces the first icon group (the program's icon, the one the shell
// shows) and the RT_ICON images it names by the icon file's images. The
// group keeps its name and language; the new images take the lowest free
// RT_ICON ids.
void replaceIconGroup(ResourceNode& root, const std::vector<IconImage>& images) {
    // Both types first: adding one may move the other in memory.
    childOrNew(root, ResourceName::fromId(ResourceTree::kTypeGroupIcon));
    childOrNew(root, ResourceName::fromId(ResourceTree::kTypeIcon));
    ResourceTree::sortEntries(root);
    ResourceNode& groups = *root.child(ResourceName::fromId(ResourceTree::kTypeGroupIcon));
    ResourceNode& icons = *root.child(ResourceName::fromId(ResourceTree::kTypeIcon));
    ResourceName groupName = ResourceName::fromId(kFirstResourceId);
    uint16_t language = stubLanguage(root);
    if (!groups.children.empty()) {
        const ResourceNode& old = groups.children.front();
        groupName = old.name;
        for (const ResourceNode& leaf : old.children) {
            if (&leaf == &old.children.front() && leaf.name.isId) language = leaf.name.id;
            for (uint16_t id : groupIconIds(leaf.data)) removeChild(icons, ResourceName::fromId(id));
        }
        removeChild(groups, groupName);
    }
    std::set<uint16_t> used;
    for (const ResourceNode& icon : icons.children) {
        if (icon.name.isId) used.insert(icon.name.id);
    }
    std::vector<uint16_t> ids;
    for (uint16_t id = kFirstResourceId; ids.size() < images.size(); ++id) {
        if (used.count(id) == 0) ids.push_back(id);
    }
    for (size_t i = 0; i < images.size(); ++i) {
        ResourceNode& icon = childOrNew(icons, ResourceName::fromId(ids[i]));
        ResourceNode leaf;
        leaf.name = ResourceName::fromId(language);
        leaf.isLeaf = true;
        leaf.data = images[i].bytes;
        icon.children = {leaf};
    }
    ResourceNode& group = childOrNew(groups, groupName);
    ResourceNode leaf;
    leaf.name = ResourceName::fromId(language);
    leaf.isLeaf = true;
    leaf.data = IconFile::groupResource(images, ids);
    group.children = {leaf};
}

void replaceVersion(ResourceNode& root, const std::vector<uint8_t>& resource) {
    const uint16_t language = stubLanguage(root);
    removeChild(root, ResourceName::fromId(ResourceTree::kTypeVersion));
    ResourceNode& versions = childOrNew(root, ResourceName::fromId(ResourceTree::kTypeVersion));
    ResourceNode& version = childOrNew(versions, ResourceName::fromId(kVersionResourceId));
    ResourceNode leaf;
    leaf.name = ResourceName::fromId(language);
    leaf.isLeaf = true;
    leaf.data = resource;
    version.children = {leaf};
}

bool readFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(utf8Path(path), std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return in.good() || in.eof();
}

}  // namespace

namespace StubBranding {

int apply(std::vector<uint8_t>& stub, const std::string& stubName, const StubBrandingRequest& request) {
    std::string reason;
    PeLayout layout;
    size_t sectionIndex = 0;
    if (!PeImage::parse(stub, layout, reason) ||
        !PeImage::findRewritableResourceSection(stub, layout, sectionIndex, reason)) {
        Messages::error("cannot put an icon or version information into the stub " + stubName + ": " +
                        reason);
        return kExitLimits;
    }
    const PeSection& section = layout.sections[sectionIndex];
    ResourceNode root;
    const uint32_t sectionBytes = std::min(section.virtualSize, section.rawDataBytes);
    if (!ResourceTree::parse(&stub[section.rawDataOffset], sectionBytes, section.virtualAddress, root,
                             reason)) {
        Messages::error("cannot read the resources of the stub " + stubName + ": " + reason);
        return kExitLimits;
    }

    if (!request.iconFile.empty()) {
        std::vector<uint8_t> file;
        if (!readFile(request.iconFile, file)) {
            Messages::error("cannot read the icon file " + request.iconFile);
            return kExitInput;
        }
        std::vector<IconImage> images;
        if (!IconFile::parse(file, images, reason)) {
            Messages::error("--icon " + request.iconFile + ": " + reason);
            return kExitLimits;
        }
        replaceIconGroup(root, images);
    }
    if (!request.versionStrings.empty()) {
        for (const auto& string : request.versionStrings) {
            uint32_t high = 0;
            uint32_t low = 0;
            const bool numbered = string.first == VersionInfoResource::kFileVersionKey ||
                                  string.first == VersionInfoResource::kProductVersionKey;
            if (numbered && !VersionInfoResource::parseNumericVersion(string.second, high, low)) {
                Messages::warning(string.first + " \"" + string.second +
                                  "\" is not of the form a.b.c.d (numbers "
                                  "up to 65535): the numeric " +
                                  string.first + " stays 0.0.0.0");
            }
        }
        std::vector<uint8_t> resource;
        if (!VersionInfoResource::build(request.versionStrings, resource, reason)) {
            Messages::error("--version-info: " + reason);
            return kExitLimits;
        }
        replaceVersion(root, resource);
    }

    PeImage::replaceLastSection(stub, layout, sectionIndex,
                                ResourceTree::write(root, section.virtualAddress));
    const int64_t marker = StubImage::findMarker(stub.data(), stub.size());
    if (marker >= 0) {
        Messages::error("the icon or version information puts the payload marker into the stub (at offset " +
                        std::to_string(marker) + "), where the installer would take it for its payload");
        return kExitLimits;
    }
    return kExitOk;
}

}  // namespace StubBranding
