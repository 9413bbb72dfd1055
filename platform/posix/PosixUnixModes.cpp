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
constexpr mode_t kAllModeBits = 07777;    // the permission bits and those three
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
    const mode_t applied = static_cast<mode_t>(mode) & kPermissionBits & ~umaskBits;
    const bool changeable = S_ISDIR(st.st_mode) || (S_ISREG(st.st_mode) && st.st_nlink == 1);
    // Most names of an extraction already have their mode (a new file gets
    // 0666 less the umask): a folder or file that has it exactly, and no
    // setuid, setgid or sticky bit, is left as it is, without the three
    // calls below. Nothing is changed then, so nothing swapped in can be.
    if (changeable && (st.st_mode & kAllModeBits) == applied) return TRUE;
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
// base) and an open descriptor of each, outermost first: the next name
// reuses the folders it shares with the last one (an extraction goes
// through its tree depth first, so usually all but one) and opens only the
// rest. Deeper than kMaxKeptFolders, the folders below are opened from the
// deepest kept one for each change of folder.
constexpr size_t kMaxKeptFolders = 32;

struct ModeRun {
    Descriptor base;
    std::vector<std::string> folders;
    std::vector<int> kept;  // kept[i] is folders[0 .. i]; at most kMaxKeptFolders
    Descriptor deeper;      // the folder of the last name when it lies below the kept ones
    mode_t umaskBits = 0;
    ~ModeRun() {
        for (int fd : kept) ::close(fd);
    }
};

namespace {

// The open folder that holds the last name.
int folderOf(const ModeRun& run) {
    if (run.deeper.fd >= 0) return run.deeper.fd;
    return run.kept.empty() ? run.base.fd : run.kept.back();
}

// Moves the run to the folder parts (components below the base).
bool enterFolders(ModeRun& run, const std::vector<std::string>& parts) {
    if (run.deeper.fd >= 0) ::close(run.deeper.fd);
    run.deeper.fd = -1;
    size_t shared = 0;
    while (shared < run.kept.size() && shared < parts.size() && run.folders[shared] == parts[shared])
        ++shared;
    while (run.kept.size() > shared) {
        ::close(run.kept.back());
        run.kept.pop_back();
    }
    run.folders.assign(parts.begin(), parts.begin() + static_cast<std::ptrdiff_t>(shared));
    for (size_t i = shared; i < parts.size(); ++i) {
        const int next = ::openat(folderOf(run), parts[i].c_str(), kDirectoryOpenFlags);
        if (next < 0) {
            const int error = errno;
            if (run.deeper.fd >= 0) ::close(run.deeper.fd);
            run.deeper.fd = -1;
            run.folders.resize(run.kept.size());
            return failWith(error);
        }
        run.folders.push_back(parts[i]);
        if (run.deeper.fd < 0 && run.kept.size() < kMaxKeptFolders) {
            run.kept.push_back(next);
        } else {
            if (run.deeper.fd >= 0) ::close(run.deeper.fd);
            run.deeper.fd = next;
        }
    }
    return true;
}

}  // namespace

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
    if (parts != run->folders && !enterFolders(*run, parts)) return FALSE;
    return setModeAt(folderOf(*run), leaf, mode, run->umaskBits);
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
