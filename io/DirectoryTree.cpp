// Creating directory trees by walking into them component by component.
//
// Format notes: a path may start with a drive part (everything up to and
// including the first ':') and then a separator for the root of that drive;
// without a drive, a leading separator means the root of the current drive.
// The remaining components are entered one by one, each created when it
// cannot be entered, so relative paths grow below the current directory.
#include <cstring>
#include <string>

#include "core/LogBase.h"
#include "core/StringBuffer.h"
#include "core/XString.h"
#include "io/FileSystem.h"

namespace {

// The longest drive part taken, ':' included (room for a drive letter and
// more, but not for a directory name that happens to contain ':').
constexpr size_t kMaxDrivePartChars = 9;

bool enterDirectory(const char* utf8Path) {
    XString path;
    path.setFromUtf8(utf8Path);
    return setCurrentDir(path);
}

bool fitsWorkArea(const char* utf8Path, LogBase* log) {
    if (std::strlen(utf8Path) < kDirTreeWorkAreaBytes) return true;
    if (log != nullptr) {
        log->logError("Path is too long");
        log->logData("path", utf8Path);
    }
    return false;
}

// The path with every '/' turned into '\', the one separator the walk splits on.
std::string withBackslashes(const char* utf8Path) {
    std::string work(utf8Path);
    for (char& c : work) {
        if (c == '/') c = '\\';
    }
    return work;
}

bool enterRoot(const std::string& root, LogBase* log) {
    if (enterDirectory(root.c_str())) return true;
    if (log != nullptr) {
        log->logError("Failed to set directory to root directory");
        log->logData("directory", root.c_str());
    }
    return false;
}

// Enters the drive's root when the path has a drive part; returns the
// position after the ':' (0 without a drive part), or npos on failure. A
// drive part longer than a drive name is refused rather than shortened:
// shortened, it would name some other directory.
size_t enterDrive(const std::string& work, LogBase* log) {
    const size_t colon = work.find(':');
    if (colon == std::string::npos) return 0;
    const std::string root = work.substr(0, colon + 1) + "\\";
    if (colon + 1 > kMaxDrivePartChars) {
        if (log != nullptr) {
            log->logError("Failed to set directory to root directory");
            log->logData("directory", root.c_str());
        }
        return std::string::npos;
    }
    return enterRoot(root, log) ? colon + 1 : std::string::npos;
}

// Whether a link met in the walk is entered like the directory it leads to,
// or removed and replaced by a real directory.
enum class LinkPolicy { Follow, Replace };

// Removes a link standing at the component's name in the current directory.
bool removeComponentLink(const std::string& component, LogBase* log) {
    XString name;
    name.setFromUtf8(component.c_str());
    if (removeLinkAt(name)) return true;
    if (log != nullptr) {
        log->logError("Failed to remove a link in the way");
        log->logData("path", component.c_str());
    }
    return false;
}

bool walkComponents(const std::string& work, size_t start, LinkPolicy links, LogBase* log) {
    while (start < work.size()) {
        size_t end = work.find('\\', start);
        if (end == std::string::npos) end = work.size();
        if (end > start) {
            const std::string component = work.substr(start, end - start);
            if (links == LinkPolicy::Replace && !removeComponentLink(component, log)) return false;
            if (!enterOrCreateDir(component.c_str(), log)) return false;
        }
        start = end + 1;
    }
    return true;
}

// A path that names its place without the current directory: a drive part
// (anything up to a ':') or a leading separator.
bool isAbsolute(const std::string& work) {
    return (!work.empty() && work[0] == '\\') || work.find(':') != std::string::npos;
}

bool makeDirTreeWith(const char* utf8Path, LinkPolicy links, LogBase* log) {
    if (utf8Path == nullptr) return false;
    // Entering the whole path at once would follow any link on the way.
    if (links == LinkPolicy::Follow && *utf8Path != 0 && enterDirectory(utf8Path)) return true;
    if (!fitsWorkArea(utf8Path, log)) return false;

    const std::string work = withBackslashes(utf8Path);
    size_t position = enterDrive(work, log);
    if (position == std::string::npos) return false;
    if (position < work.size() && work[position] == '\\') {
        if (!enterRoot("\\", log)) return false;
        ++position;
    }
    return walkComponents(work, position, links, log);
}

bool makeDirTreeKeepCwdWith(const char* utf8Path, LinkPolicy links, LogBase* log) {
    XString saved;
    getCurrentDir(saved);
    const bool made = makeDirTreeWith(utf8Path, links, log);
    setCurrentDir(saved);
    return made;
}

bool logCreateFailure(const std::string& component, DWORD error, LogBase* log) {
    if (log != nullptr) {
        StringBuffer text("CreateDirectory: ");
        text.appendWindowsError(error);
        log->logError("Failed to create directory");
        log->logData("path", component.c_str());
        log->logError(text.getString());
    }
    return false;
}

// One folder of a relative path, named by its path from the current
// directory: a link standing there is removed, a missing folder made, a
// folder taken as it is; anything else there (a file) fails, as entering it
// would.
bool makeFolderAt(const std::string& prefix, const std::string& component, LogBase* log) {
    XString path;
    path.setFromUtf8(prefix.c_str());
    const DWORD attributes = GetFileAttributesW(reinterpret_cast<LPCWSTR>(path.getUtf16()));
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        if (!removeComponentLink(prefix, log)) return false;
    } else if (exists) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return true;
        return logCreateFailure(component, ERROR_ALREADY_EXISTS, log);
    }
    if (createDir(path, nullptr)) return true;
    return logCreateFailure(component, GetLastError(), log);
}

// The folders of a relative path, outermost first, each by its path.
bool makeFoldersByPath(const std::string& work, LogBase* log) {
    size_t start = 0;
    while (start < work.size()) {
        size_t end = work.find('\\', start);
        if (end == std::string::npos) end = work.size();
        if (end > start && !makeFolderAt(work.substr(0, end), work.substr(start, end - start), log))
            return false;
        start = end + 1;
    }
    return true;
}

bool makeParentDirsWith(const char* utf8Path, LinkPolicy links, LogBase* log) {
    if (utf8Path == nullptr) return false;
    if (!fitsWorkArea(utf8Path, log)) return false;
    const std::string work = withBackslashes(utf8Path);
    const size_t lastSeparator = work.rfind('\\');
    if (lastSeparator == std::string::npos) return true;  // no parent to make
    if (links == LinkPolicy::Replace) return makeFoldersByPath(work.substr(0, lastSeparator), log);
    return makeDirTreeKeepCwdWith(work.substr(0, lastSeparator).c_str(), links, log);
}

// Links in an absolute path belong to the system and are followed.
LinkPolicy policyForEntry(const char* utf8Path) {
    return utf8Path != nullptr && isAbsolute(withBackslashes(utf8Path)) ? LinkPolicy::Follow
                                                                        : LinkPolicy::Replace;
}

}  // namespace

bool enterOrCreateDir(const char* utf8Component, LogBase* log) {
    const bool bad = utf8Component == nullptr || *utf8Component == 0 ||
                     std::strchr(utf8Component, '\\') != nullptr ||
                     std::strchr(utf8Component, ':') != nullptr;
    if (bad) {
        if (log != nullptr) {
            log->logInfo("Cannot set directory, bad path");
            log->logData("path", utf8Component != nullptr ? utf8Component : "null");
        }
        return false;
    }
    XString component;
    component.setFromUtf8(utf8Component);
    if (setCurrentDir(component)) return true;
    if (!createDir(component, nullptr)) {
        const DWORD error = GetLastError();
        if (log != nullptr) {
            StringBuffer text("CreateDirectory: ");
            text.appendWindowsError(error);
            log->logError("Failed to create directory");
            log->logData("path", utf8Component);
            log->logError(text.getString());
        }
        return false;
    }
    setCurrentDir(component);
    return true;
}

bool makeDirTree(const char* utf8Path, LogBase* log) {
    return makeDirTreeWith(utf8Path, LinkPolicy::Follow, log);
}

bool makeDirTreeKeepCwd(const char* utf8Path, LogBase* log) {
    return makeDirTreeKeepCwdWith(utf8Path, LinkPolicy::Follow, log);
}

bool makeParentDirs(const char* utf8Path, LogBase* log) {
    return makeParentDirsWith(utf8Path, LinkPolicy::Follow, log);
}

bool makeDirTreeNoLinks(const char* utf8Path, LogBase* log) {
    return makeDirTreeWith(utf8Path, policyForEntry(utf8Path), log);
}

bool makeParentDirsNoLinks(const char* utf8Path, LogBase* log) {
    return makeParentDirsWith(utf8Path, policyForEntry(utf8Path), log);
}

bool makeLastFolderByPathNoLinks(const char* utf8Path, LogBase* log) {
    if (utf8Path == nullptr) return false;
    if (policyForEntry(utf8Path) != LinkPolicy::Replace || !fitsWorkArea(utf8Path, log)) {
        return makeDirTreeByPathNoLinks(utf8Path, log);
    }
    const std::string work = withBackslashes(utf8Path);
    const size_t lastSeparator = work.rfind('\\');
    if (lastSeparator == std::string::npos || lastSeparator + 1 == work.size())
        return makeDirTreeByPathNoLinks(utf8Path, log);
    return makeFolderAt(work, work.substr(lastSeparator + 1), log);
}

bool makeDirTreeByPathNoLinks(const char* utf8Path, LogBase* log) {
    if (utf8Path == nullptr) return false;
    const LinkPolicy links = policyForEntry(utf8Path);
    if (links != LinkPolicy::Replace) return makeDirTreeKeepCwdWith(utf8Path, links, log);
    if (!fitsWorkArea(utf8Path, log)) return false;
    return makeFoldersByPath(withBackslashes(utf8Path), log);
}
