// Times and attributes: FILETIME over timespec, Windows attribute bits over
// permissions and a per-process table.
//
// FILETIME counts 100-nanosecond intervals since 1601-01-01 UTC; timespec
// counts seconds and nanoseconds since 1970-01-01 UTC. Creation times can be
// read (the birth time where the file system keeps one, else the last-write
// time) but not set.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <tuple>
#include <utility>

#include "platform/posix/PosixLayer.h"

namespace {

constexpr int64_t kSecondsFrom1601To1970 = 11644473600LL;
constexpr int64_t kFiletimeTicksPerSecond = 10000000LL;
constexpr int64_t kNanosecondsPerFiletimeTick = 100;

FILETIME filetimeFromTimespec(const struct timespec& ts) {
    const int64_t seconds = static_cast<int64_t>(ts.tv_sec) + kSecondsFrom1601To1970;
    const uint64_t ticks = seconds < 0 ? 0
                                       : static_cast<uint64_t>(seconds) * kFiletimeTicksPerSecond +
                                             static_cast<uint64_t>(ts.tv_nsec) / kNanosecondsPerFiletimeTick;
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

struct timespec timespecFromFiletime(const FILETIME& ft) {
    const uint64_t ticks = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    struct timespec ts;
    ts.tv_sec =
        static_cast<time_t>(static_cast<int64_t>(ticks / kFiletimeTicksPerSecond) - kSecondsFrom1601To1970);
    ts.tv_nsec = static_cast<long>((ticks % kFiletimeTicksPerSecond) * kNanosecondsPerFiletimeTick);
    return ts;
}

// A FILETIME that asks for no change: a null pointer, or all bits set (which
// on Windows suspends the system's own updates of that time).
bool leavesTimeUnchanged(const FILETIME* ft) {
    return ft == nullptr || (ft->dwLowDateTime == 0xFFFFFFFFu && ft->dwHighDateTime == 0xFFFFFFFFu);
}

// The birth time where the file system keeps one, else the last-write time.
struct timespec creationTimeOf(const posix_layer::FileStatus& status) {
    if (status.birthSeconds == 0 && status.birthNanoseconds == 0) return status.st.st_mtim;
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(status.birthSeconds);
    ts.tv_nsec = static_cast<long>(status.birthNanoseconds);
    return ts;
}

void fillBirthTime(int dirFd, const char* path, int flags, posix_layer::FileStatus& out) {
#ifndef STATX_BTIME
    // A C library without statx (the static stub's): no birth time, so the
    // last-write time stands in for it.
    (void)dirFd;
    (void)path;
    (void)flags;
    (void)out;
#else
    struct statx extended;
    if (::statx(dirFd, path, flags, STATX_BTIME, &extended) == 0 && (extended.stx_mask & STATX_BTIME) != 0) {
        out.birthSeconds = extended.stx_btime.tv_sec;
        out.birthNanoseconds = extended.stx_btime.tv_nsec;
    }
#endif
}

// A file's identity for the kept bits: an inode number reused by a new file
// has a new birth time (or, failing that, may have another type).
using FileKey = std::tuple<dev_t, ino_t, mode_t, int64_t, uint32_t>;
FileKey keyOf(const posix_layer::FileStatus& status) {
    return FileKey(status.st.st_dev, status.st.st_ino, status.st.st_mode & S_IFMT, status.birthSeconds,
                   status.birthNanoseconds);
}

std::mutex g_keptMutex;
std::map<FileKey, DWORD>& keptBits() {
    static auto* table = new std::map<FileKey, DWORD>();
    return *table;
}

bool findKeptBits(const posix_layer::FileStatus& status, DWORD& bits) {
    std::lock_guard<std::mutex> lock(g_keptMutex);
    auto found = keptBits().find(keyOf(status));
    if (found == keptBits().end()) return false;
    bits = found->second;
    return true;
}

constexpr mode_t kAllWriteBits = S_IWUSR | S_IWGRP | S_IWOTH;

// A symbolic link reports itself, as a Windows link does: the reparse-point
// bit, and the directory bit when it leads to a directory.
DWORD linkAttributes(const std::string& path) {
    posix_layer::FileStatus target;
    const bool leadsToDirectory = posix_layer::statPath(path, target) && S_ISDIR(target.st.st_mode);
    return FILE_ATTRIBUTE_REPARSE_POINT | (leadsToDirectory ? FILE_ATTRIBUTE_DIRECTORY : 0);
}

DWORD getAttributes(const std::string& path) {
    posix_layer::FileStatus status;
    if (path.empty() || !posix_layer::lstatPath(path, status)) {
        posix_layer::setLastErrorForPath(path.empty() ? ENOENT : errno, path);
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISLNK(status.st.st_mode)) return linkAttributes(path);
    return posix_layer::attributesFromStatus(status);
}

BOOL setAttributes(const std::string& path, DWORD attributes) {
    posix_layer::FileStatus status;
    if (path.empty() || !posix_layer::statPath(path, status)) {
        posix_layer::setLastErrorForPath(path.empty() ? ENOENT : errno, path);
        return FALSE;
    }
    const struct stat& st = status.st;
    if (S_ISDIR(st.st_mode)) {
        // A directory's read-only bit does not stop files being added to it on
        // Windows, so it is kept rather than taken from the permissions.
        posix_layer::keepAttributeBits(
            status, attributes & (posix_layer::kKeptAttributeBits | FILE_ATTRIBUTE_READONLY));
        return TRUE;
    }
    const mode_t mode = st.st_mode & 07777;
    const mode_t wanted = (attributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~kAllWriteBits)
                          : (mode & S_IWUSR)                     ? mode
                                                                 : (mode | S_IWUSR);
    if (wanted != mode && ::chmod(path.c_str(), wanted) != 0) {
        posix_layer::setLastErrorFromErrno(errno);
        return FALSE;
    }
    posix_layer::keepAttributeBits(status, attributes & posix_layer::kKeptAttributeBits);
    return TRUE;
}

}  // namespace

namespace posix_layer {

bool statPath(const std::string& nativePath, FileStatus& out) {
    out = FileStatus();
    if (::stat(nativePath.c_str(), &out.st) != 0) return false;
    fillBirthTime(AT_FDCWD, nativePath.c_str(), 0, out);
    return true;
}

bool lstatPath(const std::string& nativePath, FileStatus& out) {
    out = FileStatus();
    if (::lstat(nativePath.c_str(), &out.st) != 0) return false;
    fillBirthTime(AT_FDCWD, nativePath.c_str(), AT_SYMLINK_NOFOLLOW, out);
    return true;
}

bool statDescriptor(int fd, FileStatus& out) {
    out = FileStatus();
    if (::fstat(fd, &out.st) != 0) return false;
    fillBirthTime(fd, "", AT_EMPTY_PATH, out);
    return true;
}

void keepAttributeBits(const FileStatus& status, DWORD bits) {
    std::lock_guard<std::mutex> lock(g_keptMutex);
    keptBits()[keyOf(status)] = bits;
}

bool keepsAnyAttributeBits() {
    std::lock_guard<std::mutex> lock(g_keptMutex);
    return !keptBits().empty();
}

void forgetAttributeBits(const FileStatus& status) {
    std::lock_guard<std::mutex> lock(g_keptMutex);
    keptBits().erase(keyOf(status));
}

bool isReadOnly(const FileStatus& status) {
    if (S_ISDIR(status.st.st_mode)) {
        DWORD bits = 0;
        return findKeptBits(status, bits) && (bits & FILE_ATTRIBUTE_READONLY) != 0;
    }
    return (status.st.st_mode & S_IWUSR) == 0;
}

DWORD attributesFromStatus(const FileStatus& status) {
    DWORD kept = 0;
    const bool hasEntry = findKeptBits(status, kept);
    if (S_ISDIR(status.st.st_mode)) {
        return FILE_ATTRIBUTE_DIRECTORY |
               (hasEntry ? kept & (kKeptAttributeBits | FILE_ATTRIBUTE_READONLY) : 0);
    }
    DWORD attributes = hasEntry ? (kept & kKeptAttributeBits) : FILE_ATTRIBUTE_ARCHIVE;
    if ((status.st.st_mode & S_IWUSR) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
    return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

}  // namespace posix_layer

BOOL GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                 LPFILETIME lpLastWriteTime) {
    posix_layer::FileHandle* file = posix_layer::lookupFileHandle(hFile);
    if (file == nullptr) return FALSE;
    posix_layer::FileStatus status;
    if (!posix_layer::statDescriptor(file->fd, status)) {
        posix_layer::setLastErrorFromErrno(errno);
        return FALSE;
    }
    if (lpCreationTime != nullptr) *lpCreationTime = filetimeFromTimespec(creationTimeOf(status));
    if (lpLastAccessTime != nullptr) *lpLastAccessTime = filetimeFromTimespec(status.st.st_atim);
    if (lpLastWriteTime != nullptr) *lpLastWriteTime = filetimeFromTimespec(status.st.st_mtim);
    return TRUE;
}

BOOL SetFileTime(HANDLE hFile, const FILETIME* lpCreationTime, const FILETIME* lpLastAccessTime,
                 const FILETIME* lpLastWriteTime) {
    (void)lpCreationTime;  // POSIX offers no way to set a birth time
    posix_layer::FileHandle* file = posix_layer::lookupFileHandle(hFile);
    if (file == nullptr) return FALSE;
    if (!file->canWrite) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[1].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_nsec = UTIME_OMIT;
    if (!leavesTimeUnchanged(lpLastAccessTime)) times[0] = timespecFromFiletime(*lpLastAccessTime);
    if (!leavesTimeUnchanged(lpLastWriteTime)) times[1] = timespecFromFiletime(*lpLastWriteTime);
    if (::futimens(file->fd, times) != 0) {
        posix_layer::setLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR lpFileName) { return getAttributes(posix_layer::toNativePath(lpFileName)); }

DWORD GetFileAttributesW(LPCWSTR lpFileName) {
    const std::string utf8 = posix_layer::utf16ToUtf8(lpFileName);
    return GetFileAttributesA(utf8.c_str());
}

BOOL SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
    return setAttributes(posix_layer::toNativePath(lpFileName), dwFileAttributes);
}

BOOL SetFileAttributesW(LPCWSTR lpFileName, DWORD dwFileAttributes) {
    const std::string utf8 = posix_layer::utf16ToUtf8(lpFileName);
    return SetFileAttributesA(utf8.c_str(), dwFileAttributes);
}
