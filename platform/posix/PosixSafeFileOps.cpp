// The link-safe file operations over POSIX: mkdir with mode 0700, unlink of
// the link itself, rename(2), which replaces the name and never follows a
// link standing there, and a tree removal through directory descriptors
// (fstatat without following, openat with O_NOFOLLOW, unlinkat), so that a
// link is removed as a link and never entered.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/SafeFileOps.h"
#include "platform/posix/PosixLayer.h"

namespace {

constexpr mode_t kPrivateDirectoryMode = 0700;
// A folder must be readable, writable and searchable by its owner to be
// emptied.
constexpr mode_t kOwnerEverything = S_IRWXU;

std::string nativeFromWide(LPCWSTR path) {
    return posix_layer::toNativePath(posix_layer::utf16ToUtf8(path).c_str());
}

bool removeEntryAt(int parentFd, const char* name);

// Empties the directory open as fd, which it takes over and closes.
bool removeContents(int fd) {
    DIR* directory = ::fdopendir(fd);
    if (directory == nullptr) {
        ::close(fd);
        return false;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(directory)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    bool removed = true;
    for (const std::string& name : names)
        removed = removeEntryAt(::dirfd(directory), name.c_str()) && removed;
    ::closedir(directory);
    return removed;
}

bool removeEntryAt(int parentFd, const char* name) {
    struct stat st;
    if (::fstatat(parentFd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
    if (!S_ISDIR(st.st_mode)) return ::unlinkat(parentFd, name, 0) == 0 || errno == ENOENT;
    const int fd = ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    if ((st.st_mode & kOwnerEverything) != kOwnerEverything) ::fchmod(fd, st.st_mode | kOwnerEverything);
    const bool emptied = removeContents(fd);
    return ::unlinkat(parentFd, name, AT_REMOVEDIR) == 0 && emptied;
}

}  // namespace

BOOL createPrivateDirectoryW(LPCWSTR path) {
    return posix_layer::createDirectory(nativeFromWide(path), kPrivateDirectoryMode);
}

BOOL removeLinkW(LPCWSTR path) {
    const std::string native = nativeFromWide(path);
    struct stat st;
    if (::lstat(native.c_str(), &st) != 0) {
        posix_layer::setLastErrorForPath(errno, native);
        return FALSE;
    }
    if (!S_ISLNK(st.st_mode)) {
        SetLastError(ERROR_NOT_A_REPARSE_POINT);
        return FALSE;
    }
    if (::unlink(native.c_str()) != 0) {
        posix_layer::setLastErrorForPath(errno, native);
        return FALSE;
    }
    return TRUE;
}

BOOL replaceFileW(LPCWSTR from, LPCWSTR to) {
    const std::string nativeFrom = nativeFromWide(from);
    const std::string nativeTo = nativeFromWide(to);
    // rename(2) refuses to put a file in the place of a directory (EISDIR),
    // so no look at `to` is needed first.
    if (::rename(nativeFrom.c_str(), nativeTo.c_str()) != 0) {
        if (errno == EISDIR) {
            SetLastError(ERROR_ACCESS_DENIED);
            return FALSE;
        }
        posix_layer::setLastErrorForPath(errno, nativeTo);
        return FALSE;
    }
    return TRUE;
}

BOOL removeTreeW(LPCWSTR path) {
    std::string native = nativeFromWide(path);
    while (native.size() > 1 && native.back() == '/') native.pop_back();
    if (native.empty() || native == "/") {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const size_t slash = native.rfind('/');
    const std::string parent = slash == std::string::npos ? "." : slash == 0 ? "/" : native.substr(0, slash);
    const std::string name = slash == std::string::npos ? native : native.substr(slash + 1);
    if (name == "." || name == "..") {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const int parentFd = ::open(parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (parentFd < 0) {
        posix_layer::setLastErrorForPath(errno, parent);
        return errno == ENOENT ? TRUE : FALSE;
    }
    errno = 0;
    const bool removed = removeEntryAt(parentFd, name.c_str());
    const int error = errno;
    ::close(parentFd);
    if (!removed) {
        posix_layer::setLastErrorFromErrno(error != 0 ? error : EACCES);
        return FALSE;
    }
    return TRUE;
}
