// Directories: creation, the current directory and the temporary folder.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/posix/PosixLayer.h"

namespace {

// The system's temporary folder, as the C library names it.
constexpr const char* kDefaultTempDir = P_tmpdir;

std::string currentDirectory() {
    std::vector<char> buffer(256);
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) {
            posix_layer::setLastErrorFromErrno(errno);
            return std::string();
        }
        buffer.resize(buffer.size() * 2);
    }
    return std::string(buffer.data());
}

// TMPDIR when set, else the system's folder, always with a trailing separator.
std::string tempDirectory() {
    const char* fromEnvironment = std::getenv("TMPDIR");
    std::string dir =
        (fromEnvironment != nullptr && *fromEnvironment != 0) ? fromEnvironment : kDefaultTempDir;
    if (dir.back() != '/') dir += '/';
    return dir;
}

constexpr mode_t kOrdinaryDirectoryMode = 0777;  // less the umask

}  // namespace

namespace posix_layer {

BOOL createDirectory(const std::string& path, mode_t mode) {
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    // mkdir fails with EEXIST for anything at the name, a dangling link too.
    if (::mkdir(path.c_str(), mode) != 0) {
        posix_layer::setLastErrorForPath(errno, path);
        return FALSE;
    }
    return TRUE;
}

// RemoveDirectory removes an empty directory, or a link to a directory
// without touching what it leads to (as Windows removes a directory link or
// junction).
BOOL removeDirectory(const std::string& path) {
    struct stat st;
    if (path.empty() || ::lstat(path.c_str(), &st) != 0) {
        posix_layer::setLastErrorForPath(path.empty() ? ENOENT : errno, path);
        return FALSE;
    }
    if (!S_ISLNK(st.st_mode) && !S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_DIRECTORY);
        return FALSE;
    }
    const int result = S_ISLNK(st.st_mode) ? ::unlink(path.c_str()) : ::rmdir(path.c_str());
    if (result == 0) return TRUE;
    posix_layer::setLastErrorForPath(errno, path);
    return FALSE;
}

}  // namespace posix_layer

namespace {

BOOL changeDirectory(const std::string& path) {
    if (::chdir(path.c_str()) == 0) return TRUE;
    const int error = errno;
    struct stat st;
    if (error == ENOTDIR && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
        SetLastError(ERROR_DIRECTORY);  // the path names a file
        return FALSE;
    }
    posix_layer::setLastErrorForPath(error, path);
    return FALSE;
}

}  // namespace

BOOL CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
    (void)lpSecurityAttributes;
    return posix_layer::createDirectory(posix_layer::toNativePath(lpPathName), kOrdinaryDirectoryMode);
}

BOOL CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes) {
    const std::string utf8 = posix_layer::utf16ToUtf8(lpPathName);
    return CreateDirectoryA(utf8.c_str(), lpSecurityAttributes);
}

BOOL RemoveDirectoryA(LPCSTR lpPathName) {
    return posix_layer::removeDirectory(posix_layer::toNativePath(lpPathName));
}

BOOL RemoveDirectoryW(LPCWSTR lpPathName) {
    const std::string utf8 = posix_layer::utf16ToUtf8(lpPathName);
    return RemoveDirectoryA(utf8.c_str());
}

BOOL SetCurrentDirectoryA(LPCSTR lpPathName) {
    return changeDirectory(posix_layer::toNativePath(lpPathName));
}

BOOL SetCurrentDirectoryW(LPCWSTR lpPathName) {
    const std::string utf8 = posix_layer::utf16ToUtf8(lpPathName);
    return SetCurrentDirectoryA(utf8.c_str());
}

DWORD GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
    const std::string dir = currentDirectory();
    if (dir.empty()) return 0;
    return posix_layer::copyOutAnsi(dir, lpBuffer, nBufferLength);
}

DWORD GetCurrentDirectoryW(DWORD nBufferLength, LPWSTR lpBuffer) {
    const std::string dir = currentDirectory();
    if (dir.empty()) return 0;
    return posix_layer::copyOutWide(dir, lpBuffer, nBufferLength);
}

DWORD GetTempPathA(DWORD nBufferLength, LPSTR lpBuffer) {
    return posix_layer::copyOutAnsi(tempDirectory(), lpBuffer, nBufferLength);
}

DWORD GetTempPathW(DWORD nBufferLength, LPWSTR lpBuffer) {
    return posix_layer::copyOutWide(tempDirectory(), lpBuffer, nBufferLength);
}
