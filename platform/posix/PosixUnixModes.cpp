// Unix modes and symbolic links below a directory, through directory
// descriptors: every directory on the way is opened with O_NOFOLLOW, the
// last component is examined with fstatat(AT_SYMLINK_NOFOLLOW) and changed
// through a descriptor (fchmod) or replaced by renameat, so that a link
// someone put in the way is never followed.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/SafeFileOps.h"
#include "platform/SystemRandom.h"
#include "platform/posix/PosixLayer.h"

namespace {

constexpr mode_t kPermissionBits = 0777;  // setuid, setgid and sticky left out
constexpr int kDirectoryOpenFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
constexpr int kLinkNameTries = 16;
constexpr char kLinkNamePrefix[] = "bvz_";
constexpr char kLinkNameExtension[] = ".tmp";
constexpr char kNameChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr size_t kRandomNameChars = 4;

// Closes a descriptor when it goes out of scope.
struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

BOOL failWith(int errorNumber) {
    posix_layer::setLastErrorFromErrno(errorNumber);
    return FALSE;
}

mode_t currentUmask() {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

// The components of a relative name; false for an empty or absolute name
// and for one with a ".." component.
bool splitName(const std::string& name, std::vector<std::string>& parts) {
    if (name.empty() || name[0] == '/' || name[0] == '\\') return false;
    std::string part;
    for (size_t i = 0; i <= name.size(); ++i) {
        if (i == name.size() || name[i] == '/' || name[i] == '\\') {
            if (part == "..") return false;
            if (!part.empty() && part != ".") parts.push_back(part);
            part.clear();
        } else {
            part += name[i];
        }
    }
    return !parts.empty();
}

// The base folder, followed (it is the system's or the user's).
int openBase(LPCWSTR base) {
    const std::string nativeBase = posix_layer::toNativePath(posix_layer::utf16ToUtf8(base).c_str());
    return ::open(nativeBase.empty() ? "." : nativeBase.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

// Opens the folders parts[0 .. count - 1] below the open folder start, one
// at a time and none through a link; parent receives the last (a new
// descriptor of start when count is 0).
bool openFolders(int start, const std::vector<std::string>& parts, size_t count, Descriptor& parent) {
    parent.fd = ::fcntl(start, F_DUPFD_CLOEXEC, 0);
    if (parent.fd < 0) return failWith(errno);
    for (size_t i = 0; i < count; ++i) {
        const int next = ::openat(parent.fd, parts[i].c_str(), kDirectoryOpenFlags);
        if (next < 0) return failWith(errno);
        ::close(parent.fd);
        parent.fd = next;
    }
    return true;
}

// Opens the folder that holds the last component; leaf receives it.
bool openParent(LPCWSTR base, LPCWSTR name, Descriptor& parent, std::string& leaf) {
    std::vector<std::string> parts;
    if (!splitName(posix_layer::utf16ToUtf8(name), parts)) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    Descriptor baseFolder;
    baseFolder.fd = openBase(base);
    if (baseFolder.fd < 0) return failWith(errno);
    if (!openFolders(baseFolder.fd, parts, parts.size() - 1, parent)) return false;
    leaf = parts.back();
    return true;
}

// The permission bits of what stands at leaf in the open folder parent.
BOOL setModeAt(int parentFd, const std::string& leaf, DWORD mode, mode_t umaskBits) {
    struct stat st;
    if (::fstatat(parentFd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return failWith(errno);
    Descriptor target;
    if (S_ISDIR(st.st_mode)) {
        target.fd = ::openat(parentFd, leaf.c_str(), kDirectoryOpenFlags);
    } else if (S_ISREG(st.st_mode) && st.st_nlink == 1) {
        target.fd = ::openat(parentFd, leaf.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    } else {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (target.fd < 0) return failWith(errno);
    // What was opened must be what was examined: nothing swapped in between.
    struct stat opened;
    if (::fstat(target.fd, &opened) != 0) return failWith(errno);
    if (opened.st_dev != st.st_dev || opened.st_ino != st.st_ino ||
        (S_ISREG(opened.st_mode) && opened.st_nlink != 1)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const mode_t applied = static_cast<mode_t>(mode) & kPermissionBits & ~umaskBits;
    if (::fchmod(target.fd, applied) != 0) return failWith(errno);
    return TRUE;
}

bool randomLinkName(std::string& name) {
    uint8_t bytes[kRandomNameChars];
    if (!systemRandomBytes(bytes, sizeof(bytes))) return false;
    name = kLinkNamePrefix;
    for (uint8_t byte : bytes) name += kNameChars[byte % (sizeof(kNameChars) - 1)];
    name += kLinkNameExtension;
    return true;
}

}  // namespace

BOOL systemKeepsUnixModes() { return TRUE; }

BOOL setModeBelowW(LPCWSTR base, LPCWSTR name, DWORD mode) {
    Descriptor parent;
    std::string leaf;
    if (!openParent(base, name, parent, leaf)) return FALSE;
    return setModeAt(parent.fd, leaf, mode, currentUmask());
}

// The base, the folders that held the last name (as components below the
// base) and that folder, open.
struct ModeRun {
    Descriptor base;
    std::vector<std::string> folders;
    Descriptor folder;
    mode_t umaskBits = 0;
};

ModeRun* beginModeRunW(LPCWSTR base) {
    const int fd = openBase(base);
    if (fd < 0) {
        failWith(errno);
        return nullptr;
    }
    ModeRun* run = new ModeRun();
    run->base.fd = fd;
    run->umaskBits = currentUmask();
    return run;
}

BOOL setModeInRunW(ModeRun* run, LPCWSTR name, DWORD mode) {
    if (run == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::vector<std::string> parts;
    if (!splitName(posix_layer::utf16ToUtf8(name), parts)) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    const std::string leaf = parts.back();
    parts.pop_back();
    if (run->folder.fd < 0 || parts != run->folders) {
        Descriptor opened;
        const bool reached = openFolders(run->base.fd, parts, parts.size(), opened);
        if (run->folder.fd >= 0) ::close(run->folder.fd);
        run->folder.fd = -1;
        if (!reached) return FALSE;
        run->folder.fd = opened.fd;
        opened.fd = -1;
        run->folders = parts;
    }
    return setModeAt(run->folder.fd, leaf, mode, run->umaskBits);
}

void endModeRun(ModeRun* run) { delete run; }

BOOL createSymbolicLinkBelowW(LPCWSTR base, LPCWSTR name, LPCSTR target) {
    if (target == nullptr || *target == 0) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    Descriptor parent;
    std::string leaf;
    if (!openParent(base, name, parent, leaf)) return FALSE;
    std::string temporary;
    bool made = false;
    for (int attempt = 0; attempt < kLinkNameTries && !made; ++attempt) {
        if (!randomLinkName(temporary)) return failWith(EIO);
        if (::symlinkat(target, parent.fd, temporary.c_str()) == 0)
            made = true;
        else if (errno != EEXIST)
            return failWith(errno);
    }
    if (!made) return failWith(EEXIST);
    struct stat st;
    const bool directoryThere =
        ::fstatat(parent.fd, leaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
    if (directoryThere || ::renameat(parent.fd, temporary.c_str(), parent.fd, leaf.c_str()) != 0) {
        const int error = directoryThere ? EISDIR : errno;
        ::unlinkat(parent.fd, temporary.c_str(), 0);
        return failWith(error);
    }
    return TRUE;
}
