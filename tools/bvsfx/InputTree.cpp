#include "tools/bvsfx/InputTree.h"

#include <algorithm>
#include <system_error>

#include "io/FileInfo.h"
#include "platform/win32.h"
#include "tools/bvsfx/EntryName.h"
#include "tools/bvsfx/TextFormat.h"
#include "tools/bvsfx/Utf8Path.h"

namespace fs = std::filesystem;

namespace {

// The attribute bits a packed entry carries. Hidden and system exist on
// Windows only (POSIX has neither; Wine shows a name starting with a dot as
// hidden); the others (compressed, sparse, reparse point ...) describe how
// the file is stored, not what the installer should make.
#ifdef _WIN32
constexpr uint32_t kPackedAttributeBits = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                          FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY |
                                          FILE_ATTRIBUTE_ARCHIVE;
#else
constexpr uint32_t kPackedAttributeBits =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_ARCHIVE;
#endif

std::string displayPath(const fs::path& path) { return TextFormat::displayName(path.string()); }

// The name an input is packed under: its last component, after "dir/",
// "dir/." and "." have been resolved.
std::string inputName(const fs::path& input) {
    std::error_code error;
    fs::path full = fs::weakly_canonical(fs::absolute(input, error), error);
    if (error) full = fs::absolute(input).lexically_normal();
    return full.filename().string();
}

// A status that could not be read because the links on the way loop.
bool isLoop(const std::error_code& error) {
    return error == std::make_error_condition(std::errc::too_many_symbolic_link_levels);
}

}  // namespace

std::string describeBrokenLink(const fs::path& link) {
    std::error_code error;
    (void)fs::status(link, error);
    if (isLoop(error)) return "the link is a loop of links and leads to nothing";
    return "the link points nowhere";
}

bool readEntryMetadata(const fs::path& source, uint64_t& fileTime, uint32_t& attributes, bool& isDirectory) {
    FileInfo info;
    std::error_code error;
    const fs::path full = fs::absolute(source, error);
    if (error || !info.loadFileInfo(full.string().c_str(), nullptr)) return false;
    const FILETIME& written = info.getLastWriteTime();
    fileTime = (static_cast<uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
    isDirectory = info.isDirectory();
    attributes = info.getAttributes() & kPackedAttributeBits;
#ifndef _WIN32
    // POSIX keeps no archive bit: every file is packed as changed since its
    // last backup, as a new file on Windows is.
    if (!isDirectory) attributes |= FILE_ATTRIBUTE_ARCHIVE;
#endif
    return true;
}

InputTree::InputTree(bool keepRoot, bool dereference, fs::path exclude)
    : m_keepRoot(keepRoot), m_dereference(dereference), m_exclude(std::move(exclude)) {}

bool InputTree::gather(const std::vector<std::string>& inputs) {
    std::vector<Pending> top;
    for (const std::string& input : inputs) {
        std::error_code error;
        const fs::path path = utf8Path(input);
        const bool lone = inputs.size() == 1 && fs::is_directory(path, error);
        addInput(path, lone && !m_keepRoot, top);
    }
    if (!m_errors.empty()) return false;
    walk(top);
    return m_errors.empty();
}

void InputTree::addInput(const fs::path& input, bool asContents, std::vector<Pending>& top) {
    std::error_code error;
    const fs::file_status status = fs::status(input, error);
    if (error || !fs::exists(status)) {
        const bool link = fs::is_symlink(fs::symlink_status(input, error));
        m_errors.push_back(displayPath(input) + ": " +
                           (link ? describeBrokenLink(input) : "no such file or folder"));
        return;
    }
    if (asContents) {
        listFolder(input, std::string(), top);
        return;
    }
    const std::string name = inputName(input);
    if (name.empty() || name == "." || name == "..") {
        m_errors.push_back(displayPath(input) +
                           ": cannot be packed under a name of its own "
                           "(pack it alone, without --keep-root, to pack its contents)");
        return;
    }
    if (!fs::is_regular_file(status) && !fs::is_directory(status)) {
        m_errors.push_back(displayPath(input) + ": not a file or folder");
        return;
    }
    top.push_back(Pending{name, input});
}

void InputTree::listFolder(const fs::path& folder, const std::string& prefix, std::vector<Pending>& out) {
    std::error_code error;
    fs::directory_iterator it(folder, error);
    if (error) {
        m_errors.push_back(displayPath(folder) + ": cannot read the folder (" + error.message() + ")");
        return;
    }
    // Sorted first, so that warnings and errors come out in a stable order.
    std::vector<fs::path> paths;
    for (; it != fs::directory_iterator(); it.increment(error)) paths.push_back(it->path());
    if (error) {
        m_errors.push_back(displayPath(folder) + ": cannot read the folder (" + error.message() + ")");
        return;
    }
    std::sort(paths.begin(), paths.end());
    for (const fs::path& path : paths) {
        const std::string name = prefix + path.filename().string();
        std::error_code statusError;
        const fs::file_status own = fs::symlink_status(path, statusError);
        if (fs::is_symlink(own) && !m_dereference) {
            out.push_back(Pending{name, path, true});
            continue;
        }
        if (fs::is_symlink(own)) {
            const fs::file_status target = fs::status(path, statusError);
            if (statusError || !fs::exists(target)) {
                m_errors.push_back(displayPath(path) + ": " + describeBrokenLink(path));
                continue;
            }
            if (fs::is_directory(target)) {
                m_warnings.push_back(displayPath(path) + ": link to a folder not followed, skipped");
                continue;
            }
            if (!fs::is_regular_file(target)) {
                m_warnings.push_back(displayPath(path) + ": not a file or folder, skipped");
                continue;
            }
        } else if (!fs::is_regular_file(own) && !fs::is_directory(own)) {
            m_warnings.push_back(displayPath(path) + ": not a file or folder, skipped");
            continue;
        }
        out.push_back(Pending{name, path, false});
    }
}

void InputTree::walk(std::vector<Pending>& level) {
    std::sort(level.begin(), level.end(), [](const Pending& a, const Pending& b) { return a.name < b.name; });
    checkDuplicateNames(level);
    for (const Pending& pending : level) {
        if (isExcluded(pending.source)) continue;
        if (pending.isLink) {
            addLink(pending);
            continue;
        }
        PackEntry entry;
        if (!describeEntry(pending, entry)) continue;
        const bool isDirectory = entry.isDirectory;
        const fs::path source = entry.source;
        const std::string name = entry.name;
        m_entries.push_back(std::move(entry));
        if (!isDirectory) continue;
        std::vector<Pending> children;
        listFolder(source, name + "/", children);
        walk(children);
    }
}

bool InputTree::describeEntry(const Pending& pending, PackEntry& entry) {
    entry.name = pending.name;
    entry.source = pending.source;
    // Names are checked here for what the file system can give; the
    // length limits, which depend on encryption, are checked by the packer.
    const EntryName::PackProblem problem = EntryName::checkForPacking(pending.name, false);
    if (problem != EntryName::PackProblem::None && problem != EntryName::PackProblem::TooLong) {
        m_errors.push_back(displayPath(pending.source) + ": " + EntryName::describe(problem));
        ++m_nameErrors;
        return false;
    }
    if (!readEntryMetadata(pending.source, entry.fileTime, entry.attributes, entry.isDirectory)) {
        m_errors.push_back(displayPath(pending.source) + ": cannot be read");
        return false;
    }
    std::error_code modeError;
    entry.mode = static_cast<uint32_t>(fs::status(pending.source, modeError).permissions()) & 07777u;
    if (entry.isDirectory) {
        ++m_directoryCount;
        return true;
    }
    std::error_code error;
    entry.size = fs::file_size(pending.source, error);
    if (error) {
        m_errors.push_back(displayPath(pending.source) + ": cannot be read (" + error.message() + ")");
        return false;
    }
    ++m_fileCount;
    m_totalFileBytes += entry.size;
    return true;
}

void InputTree::addLink(const Pending& pending) {
    const EntryName::PackProblem problem = EntryName::checkForPacking(pending.name, false);
    if (problem != EntryName::PackProblem::None && problem != EntryName::PackProblem::TooLong) {
        m_errors.push_back(displayPath(pending.source) + ": " + EntryName::describe(problem));
        ++m_nameErrors;
        return;
    }
    std::error_code error;
    const fs::path target = fs::read_symlink(pending.source, error);
    if (error || target.empty()) {
        m_errors.push_back(displayPath(pending.source) + ": cannot read the link" +
                           (error ? " (" + error.message() + ")" : std::string()));
        return;
    }
    m_links.push_back(PackLink{pending.name, pending.source, target.string()});
}

bool InputTree::isExcluded(const fs::path& source) const {
    if (m_exclude.empty() || source.filename() != m_exclude.filename()) return false;
    std::error_code error;
    return fs::equivalent(source, m_exclude, error);
}

void InputTree::checkDuplicateNames(const std::vector<Pending>& sorted) {
    for (size_t i = 1; i < sorted.size(); ++i) {
        if (sorted[i].name == sorted[i - 1].name) {
            m_errors.push_back(displayPath(sorted[i - 1].source) + " and " + displayPath(sorted[i].source) +
                               ": both would be packed as " + sorted[i].name);
            ++m_nameErrors;
        }
    }
}
