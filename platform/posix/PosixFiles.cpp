// Files: CreateFile and the handle operations over POSIX descriptors.
//
// Share modes are accepted and ignored: POSIX has no mandatory sharing, so a
// sharing violation never occurs. The read-only attribute is enforced here
// (an open for writing or a delete is refused with ERROR_ACCESS_DENIED) so
// that the file behaves the same for every user, the superuser included.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <unordered_set>

#include "platform/posix/PosixLayer.h"

namespace {

std::mutex g_handlesMutex;
std::unordered_set<posix_layer::FileHandle*>& liveHandles() {
    static auto* handles = new std::unordered_set<posix_layer::FileHandle*>();
    return *handles;
}

struct OpenRequest {
    std::string path;  // native
    DWORD access;
    DWORD disposition;
    DWORD flagsAndAttributes;
};

bool wantsWrite(DWORD access) { return (access & (GENERIC_WRITE | GENERIC_ALL)) != 0; }
bool wantsRead(DWORD access) { return (access & (GENERIC_READ | GENERIC_ALL)) != 0; }

HANDLE fail(DWORD error) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

HANDLE openDirectory(const OpenRequest& request) {
    if ((request.flagsAndAttributes & FILE_FLAG_BACKUP_SEMANTICS) == 0) return fail(ERROR_ACCESS_DENIED);
    if (request.disposition == CREATE_NEW) return fail(ERROR_FILE_EXISTS);
    if (request.disposition == CREATE_ALWAYS || request.disposition == TRUNCATE_EXISTING) {
        return fail(ERROR_ACCESS_DENIED);
    }
    const int fd = ::openat(AT_FDCWD, request.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        posix_layer::setLastErrorForPath(errno, request.path);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(request.disposition == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return posix_layer::newFileHandle(fd, true, wantsRead(request.access), wantsWrite(request.access));
}

// The open(2) flags for a disposition; false for an unknown one.
bool dispositionFlags(DWORD disposition, int& flags) {
    switch (disposition) {
        case CREATE_NEW: flags = O_CREAT | O_EXCL; return true;
        case CREATE_ALWAYS: flags = O_CREAT | O_TRUNC; return true;
        case OPEN_EXISTING: flags = 0; return true;
        case OPEN_ALWAYS: flags = O_CREAT; return true;
        case TRUNCATE_EXISTING: flags = O_TRUNC; return true;
        default: return false;
    }
}

// Windows refuses to replace a hidden or system file unless the new file is
// given the same attribute.
bool replacesProtectedFile(const posix_layer::FileStatus& existing, const OpenRequest& request) {
    if (request.disposition != CREATE_ALWAYS) return false;
    const DWORD existingBits = posix_layer::attributesFromStatus(existing);
    const DWORD protectedBits = existingBits & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    return (protectedBits & ~request.flagsAndAttributes) != 0;
}

HANDLE openRegularFile(const OpenRequest& request, bool exists, const posix_layer::FileStatus& existing) {
    int flags = 0;
    if (!dispositionFlags(request.disposition, flags)) return fail(ERROR_INVALID_PARAMETER);
    if (request.disposition == CREATE_NEW && exists) return fail(ERROR_FILE_EXISTS);
    const bool truncates = exists && (flags & O_TRUNC) != 0;
    if (request.disposition == TRUNCATE_EXISTING && !wantsWrite(request.access)) {
        return fail(ERROR_INVALID_PARAMETER);
    }
    const bool writes = wantsWrite(request.access) || truncates;
    if (exists && writes && posix_layer::isReadOnly(existing)) return fail(ERROR_ACCESS_DENIED);
    if (exists && replacesProtectedFile(existing, request)) return fail(ERROR_ACCESS_DENIED);

    const bool reads = wantsRead(request.access);
    flags |= writes ? (reads ? O_RDWR : O_WRONLY) : O_RDONLY;
    const mode_t mode = (request.flagsAndAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
    // O_NOFOLLOW closes the gap between the check above and the open, in
    // which another process could put a link at the name.
    if ((request.flagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) != 0) flags |= O_NOFOLLOW;
    // openat from the current directory is open(2); the C library's open may
    // add a call of its own to set O_CLOEXEC again, for kernels that ignored it.
    const int fd = ::openat(AT_FDCWD, request.path.c_str(), flags | O_CLOEXEC, mode);
    if (fd < 0) {
        posix_layer::setLastErrorForPath(errno, request.path);
        return INVALID_HANDLE_VALUE;
    }
    const DWORD keptBits = request.flagsAndAttributes &
                           (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_TEMPORARY);
    // A file without an entry reports the archive bit alone, so the common
    // case needs no entry, and while no file has one not even the file's
    // identity (an extraction creates thousands of files).
    const bool created = !exists || truncates;
    if (created && (keptBits != 0 || posix_layer::keepsAnyAttributeBits())) {
        posix_layer::FileStatus created;
        if (posix_layer::statDescriptor(fd, created)) {
            if (keptBits == 0)
                posix_layer::forgetAttributeBits(created);
            else
                posix_layer::keepAttributeBits(created, keptBits | FILE_ATTRIBUTE_ARCHIVE);
        }
    }
    const bool reportsExisting =
        exists && (request.disposition == CREATE_ALWAYS || request.disposition == OPEN_ALWAYS);
    SetLastError(reportsExisting ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return posix_layer::newFileHandle(fd, false, reads, writes);
}

HANDLE createFile(const OpenRequest& request) {
    if (request.path.empty()) return fail(ERROR_PATH_NOT_FOUND);
    posix_layer::FileStatus existing;
    // FILE_FLAG_OPEN_REPARSE_POINT: a link at the name is not followed. Windows
    // would open the link itself; here it cannot be opened as a file, so the
    // open is refused and nothing is written through the link.
    if ((request.flagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) != 0 &&
        posix_layer::lstatPath(request.path, existing) && S_ISLNK(existing.st.st_mode)) {
        return fail(ERROR_ACCESS_DENIED);
    }
    // A new file needs no look at the name first: O_EXCL refuses whatever
    // stands there, a link included. Only when something does are the
    // checks below needed, to give the error Windows gives for what it is.
    // (Extraction creates every file this way, thousands per run.)
    if (request.disposition == CREATE_NEW &&
        (request.flagsAndAttributes & FILE_FLAG_OPEN_REPARSE_POINT) == 0) {
        const HANDLE made = openRegularFile(request, false, existing);
        if (made != INVALID_HANDLE_VALUE || GetLastError() != ERROR_ALREADY_EXISTS) return made;
    }
    const bool exists = posix_layer::statPath(request.path, existing);
    if (exists && S_ISDIR(existing.st.st_mode)) return openDirectory(request);
    return openRegularFile(request, exists, existing);
}

}  // namespace

namespace posix_layer {

HANDLE newFileHandle(int fd, bool isDirectory, bool canRead, bool canWrite) {
    auto* handle = new FileHandle{fd, isDirectory, canRead, canWrite};
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    liveHandles().insert(handle);
    return handle;
}

FileHandle* lookupFileHandle(HANDLE handle) {
    auto* candidate = static_cast<FileHandle*>(handle);
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    if (liveHandles().count(candidate) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return candidate;
}

bool closeFileHandle(HANDLE handle) {
    auto* candidate = static_cast<FileHandle*>(handle);
    {
        std::lock_guard<std::mutex> lock(g_handlesMutex);
        if (liveHandles().erase(candidate) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return false;
        }
    }
    ::close(candidate->fd);
    delete candidate;
    return true;
}

}  // namespace posix_layer

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    (void)dwShareMode;
    (void)lpSecurityAttributes;
    (void)hTemplateFile;
    return createFile({posix_layer::toNativePath(lpFileName), dwDesiredAccess, dwCreationDisposition,
                       dwFlagsAndAttributes});
}

HANDLE CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    const std::string utf8 = posix_layer::utf16ToUtf8(lpFileName);
    return CreateFileA(utf8.c_str(), dwDesiredAccess, dwShareMode, lpSecurityAttributes,
                       dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
}

BOOL ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
              LPOVERLAPPED lpOverlapped) {
    (void)lpOverlapped;
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = 0;
    posix_layer::FileHandle* file = posix_layer::lookupFileHandle(hFile);
    if (file == nullptr) return FALSE;
    if (file->isDirectory) {
        SetLastError(ERROR_INVALID_FUNCTION);
        return FALSE;
    }
    if (!file->canRead) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    // A file read stops short only at the end of the file.
    auto* out = static_cast<uint8_t*>(lpBuffer);
    DWORD total = 0;
    while (total < nNumberOfBytesToRead) {
        const ssize_t got = ::read(file->fd, out + total, nNumberOfBytesToRead - total);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = total;
            posix_layer::setLastErrorFromErrno(errno);
            return FALSE;
        }
        if (got == 0) break;
        total += static_cast<DWORD>(got);
    }
    if (lpNumberOfBytesRead != nullptr) *lpNumberOfBytesRead = total;
    return TRUE;
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
               LPOVERLAPPED lpOverlapped) {
    (void)lpOverlapped;
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = 0;
    posix_layer::FileHandle* file = posix_layer::lookupFileHandle(hFile);
    if (file == nullptr) return FALSE;
    if (file->isDirectory || !file->canWrite) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const auto* in = static_cast<const uint8_t*>(lpBuffer);
    DWORD total = 0;
    while (total < nNumberOfBytesToWrite) {
        const ssize_t put = ::write(file->fd, in + total, nNumberOfBytesToWrite - total);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = total;
            posix_layer::setLastErrorFromErrno(put < 0 ? errno : ENOSPC);
            return FALSE;
        }
        total += static_cast<DWORD>(put);
    }
    if (lpNumberOfBytesWritten != nullptr) *lpNumberOfBytesWritten = total;
    return TRUE;
}

DWORD SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod) {
    posix_layer::FileHandle* file = posix_layer::lookupFileHandle(hFile);
    if (file == nullptr) return INVALID_SET_FILE_POINTER;
    // Without a high part the distance is a signed 32-bit value; with one, the
    // two halves form a signed 64-bit distance.
    int64_t distance = lDistanceToMove;
    if (lpDistanceToMoveHigh != nullptr) {
        distance =
            static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*lpDistanceToMoveHigh)) << 32) |
                                 static_cast<uint32_t>(lDistanceToMove));
    }
    int whence = SEEK_SET;
    switch (dwMoveMethod) {
        case FILE_BEGIN: whence = SEEK_SET; break;
        case FILE_CURRENT: whence = SEEK_CUR; break;
        case FILE_END: whence = SEEK_END; break;
        default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_SET_FILE_POINTER;
    }
    const off_t current = ::lseek(file->fd, 0, SEEK_CUR);
    const off_t moved = ::lseek(file->fd, static_cast<off_t>(distance), whence);
    if (moved < 0) {
        if (errno == EINVAL && current >= 0) {
            SetLastError(ERROR_NEGATIVE_SEEK);
        } else {
            posix_layer::setLastErrorFromErrno(errno);
        }
        return INVALID_SET_FILE_POINTER;
    }
    const uint64_t position = static_cast<uint64_t>(moved);
    if (lpDistanceToMoveHigh == nullptr && position > 0xFFFFFFFFu) {
        // The new position cannot be returned in 32 bits: Windows refuses the
        // move and leaves the pointer where it was.
        ::lseek(file->fd, current, SEEK_SET);
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_SET_FILE_POINTER;
    }
    if (lpDistanceToMoveHigh != nullptr) *lpDistanceToMoveHigh = static_cast<LONG>(position >> 32);
    SetLastError(ERROR_SUCCESS);  // tells a real 0xFFFFFFFF position from a failure
    return static_cast<DWORD>(position & 0xFFFFFFFFu);
}

DWORD GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
    posix_layer::FileHandle* file = posix_layer::lookupFileHandle(hFile);
    if (file == nullptr) return INVALID_FILE_SIZE;
    struct stat st;
    if (::fstat(file->fd, &st) != 0) {
        posix_layer::setLastErrorFromErrno(errno);
        return INVALID_FILE_SIZE;
    }
    const uint64_t size = file->isDirectory ? 0 : static_cast<uint64_t>(st.st_size);
    if (lpFileSizeHigh != nullptr) *lpFileSizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(ERROR_SUCCESS);  // tells a real 0xFFFFFFFF low part from a failure
    return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

BOOL CloseHandle(HANDLE hObject) {
    if (posix_layer::closeProcessHandle(hObject)) return TRUE;
    return posix_layer::closeFileHandle(hObject) ? TRUE : FALSE;
}

BOOL DeleteFileA(LPCSTR lpFileName) {
    const std::string path = posix_layer::toNativePath(lpFileName);
    posix_layer::FileStatus status;
    if (path.empty() || !posix_layer::lstatPath(path, status)) {
        posix_layer::setLastErrorForPath(path.empty() ? ENOENT : errno, path);
        return FALSE;
    }
    if (S_ISDIR(status.st.st_mode) || posix_layer::isReadOnly(status)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (::unlink(path.c_str()) != 0) {
        posix_layer::setLastErrorForPath(errno, path);
        return FALSE;
    }
    posix_layer::forgetAttributeBits(status);
    return TRUE;
}

BOOL DeleteFileW(LPCWSTR lpFileName) {
    const std::string utf8 = posix_layer::utf16ToUtf8(lpFileName);
    return DeleteFileA(utf8.c_str());
}
