#pragma once
// InputTree: the entries a pack writes, gathered from its inputs.
//
// Order: depth first, a directory before its contents, the entries of one
// folder (and the top-level names of all inputs) sorted by the bytes of
// their UTF-8 names, so the same inputs always give the same order whatever
// order the file system lists them in or the command line names them in.
//
// Names: relative to each input's parent, '/'-separated. A lone folder
// input is packed as its contents unless keepRoot asks for its own name in
// front. Times are the last-write time as a Windows FILETIME; attributes are
// the Windows bits read-only (no owner write permission), directory, and
// archive for files; on Windows read-only, hidden, system, directory and
// archive as the system reports them.
//
// Modes: every directory and file entry carries its Unix permission bits
// (of what it is read from, so of a link's target where a link is
// followed).
//
// Links and special files: a symbolic link met inside a walk is packed as
// a link, its target as the system stores it, whether it leads anywhere or
// not (links()). With dereference, a link to a file is packed as that file
// (its content, time, attributes and mode), and a link that leads nowhere
// (dangling, or a loop of links, told apart) is an error. A link to a
// folder is never followed (it could loop or pack a tree twice): with
// dereference it is skipped with a warning. Sockets, pipes and devices are
// skipped with a warning. Inputs named on the command line are followed,
// links or not.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

struct PackEntry {
    std::string name;              // UTF-8, '/'-separated, relative
    std::filesystem::path source;  // where to read it
    bool isDirectory = false;
    uint64_t fileTime = 0;    // FILETIME of the last write
    uint32_t attributes = 0;  // Windows attribute bits
    uint64_t size = 0;        // bytes at walk time (files)
    uint32_t mode = 0;        // Unix permission bits (07777)
};

struct PackLink {
    std::string name;  // UTF-8, '/'-separated, relative
    std::filesystem::path source;
    std::string target;  // the link's content, as stored
};

class InputTree {
public:
    // exclude: a path never to pack (the output file, when it lies inside an
    // input); may be empty.
    InputTree(bool keepRoot, bool dereference, std::filesystem::path exclude);

    // Walks every input. False when any input or entry is missing,
    // unreadable or unnamable; every such problem is in errors(), each as
    // one line. Skipped entries are in warnings().
    bool gather(const std::vector<std::string>& inputs);

    const std::vector<PackEntry>& entries() const { return m_entries; }
    // The symbolic links packed as links, in walk order.
    const std::vector<PackLink>& links() const { return m_links; }
    const std::vector<std::string>& errors() const { return m_errors; }
    const std::vector<std::string>& warnings() const { return m_warnings; }
    // How many of errors() are about names (a name the payload cannot hold,
    // two inputs under one name) rather than missing or unreadable inputs.
    size_t nameErrorCount() const { return m_nameErrors; }
    uint64_t totalFileBytes() const { return m_totalFileBytes; }
    uint32_t fileCount() const { return m_fileCount; }
    uint32_t directoryCount() const { return m_directoryCount; }

private:
    struct Pending {
        std::string name;
        std::filesystem::path source;
        bool isLink = false;
    };

    void addInput(const std::filesystem::path& input, bool asContents, std::vector<Pending>& top);
    void listFolder(const std::filesystem::path& folder, const std::string& prefix,
                    std::vector<Pending>& out);
    void walk(std::vector<Pending>& level);
    bool describeEntry(const Pending& pending, PackEntry& entry);
    void addLink(const Pending& pending);
    bool isExcluded(const std::filesystem::path& source) const;
    void checkDuplicateNames(const std::vector<Pending>& sorted);

    bool m_keepRoot;
    bool m_dereference;
    std::filesystem::path m_exclude;
    std::vector<PackEntry> m_entries;
    std::vector<PackLink> m_links;
    std::vector<std::string> m_errors;
    std::vector<std::string> m_warnings;
    size_t m_nameErrors = 0;
    uint64_t m_totalFileBytes = 0;
    uint32_t m_fileCount = 0;
    uint32_t m_directoryCount = 0;
};

// Why a link cannot be followed: it points nowhere, or it is a loop of links.
std::string describeBrokenLink(const std::filesystem::path& link);

// The last-write time, attributes and kind of a file or folder, read through
// the library's FileInfo (links followed). False when it cannot be read.
bool readEntryMetadata(const std::filesystem::path& source, uint64_t& fileTime, uint32_t& attributes,
                       bool& isDirectory);
