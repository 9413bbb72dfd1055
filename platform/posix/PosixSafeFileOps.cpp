// The link-safe file operations over POSIX: mkdir with mode 0700, unlink of
// the link itself, and rename(2), which replaces the name and never follows
// a link standing there.
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/SafeFileOps.h"
#include "platform/posix/PosixLayer.h"

namespace {

constexpr mode_t kPrivateDirectoryMode = 0700;

std::string nativeFromWide(LPCWSTR path) {
  return posix_layer::toNativePath(posix_layer::utf16ToUtf8(path).c_str());
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
  struct stat st;
  if (::lstat(nativeTo.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (::rename(nativeFrom.c_str(), nativeTo.c_str()) != 0) {
    posix_layer::setLastErrorForPath(errno, nativeTo);
    return FALSE;
  }
  return TRUE;
}
