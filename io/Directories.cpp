// Directory queries and the single-directory operations.
#include "core/XString.h"
#include "io/FileSystem.h"
#include "io/WindowsVersion.h"

namespace {

// A query result is usable when the call succeeded and the text fit the
// buffer (a larger result is the size the buffer would have needed).
bool fits(DWORD length, DWORD bufferChars) { return length != 0 && length < bufferChars; }

bool currentDirAnsi(XString& out) {
    char buffer[kDirQueryChars];
    if (!fits(GetCurrentDirectoryA(kDirQueryChars, buffer), kDirQueryChars)) return false;
    out.setFromAnsi(buffer);
    return true;
}

bool currentDirWide(XString& out) {
    uint16_t buffer[kDirQueryChars];
    if (!fits(GetCurrentDirectoryW(kDirQueryChars, reinterpret_cast<LPWSTR>(buffer)), kDirQueryChars)) {
        return false;
    }
    out.setFromUtf16(buffer);
    return true;
}

bool tempDirAnsi(XString& out) {
    char buffer[kDirQueryChars];
    if (!fits(GetTempPathA(kDirQueryChars, buffer), kDirQueryChars)) return false;
    out.setFromAnsi(buffer);
    return true;
}

bool tempDirWide(XString& out) {
    uint16_t buffer[kDirQueryChars];
    if (!fits(GetTempPathW(kDirQueryChars, reinterpret_cast<LPWSTR>(buffer)), kDirQueryChars)) return false;
    out.setFromUtf16(buffer);
    return true;
}

// GetModuleFileName reports a path cut to the buffer by returning the
// buffer's full size.
bool modulePathAnsi(XString& out) {
    char buffer[kModulePathChars];
    if (!fits(GetModuleFileNameA(nullptr, buffer, kModulePathChars), kModulePathChars)) return false;
    out.setFromAnsi(buffer);
    return true;
}

bool modulePathWide(XString& out) {
    uint16_t buffer[kModulePathChars];
    if (!fits(GetModuleFileNameW(nullptr, reinterpret_cast<LPWSTR>(buffer), kModulePathChars),
              kModulePathChars)) {
        return false;
    }
    out.setFromUtf16(buffer);
    return true;
}

}  // namespace

void getCurrentDir(XString& out) {
    if (!WindowsVersion().isWin9x() && currentDirWide(out)) return;
    if (!currentDirAnsi(out)) out.clear();
}

void getTempDir(XString& out) {
    if (!WindowsVersion().isWin9x() && tempDirWide(out)) return;
    if (!tempDirAnsi(out)) out.clear();
}

void getModulePath(XString& out) {
    if (!WindowsVersion().isWin9x() && modulePathWide(out)) return;
    if (!modulePathAnsi(out)) out.clear();
}

bool createDir(XString& path, SECURITY_ATTRIBUTES* security) {
    if (WindowsVersion().isWin9x()) return CreateDirectoryA(path.getAnsi(), security) != FALSE;
    return CreateDirectoryW(reinterpret_cast<LPCWSTR>(path.getUtf16()), security) != FALSE;
}

bool setCurrentDir(XString& path) {
    if (WindowsVersion().isWin9x()) return SetCurrentDirectoryA(path.getAnsi()) != FALSE;
    return SetCurrentDirectoryW(reinterpret_cast<LPCWSTR>(path.getUtf16())) != FALSE;
}

bool setAttributes(XString& path, uint32_t attributes) {
    if (WindowsVersion().isWin9x()) return SetFileAttributesA(path.getAnsi(), attributes) != FALSE;
    return SetFileAttributesW(reinterpret_cast<LPCWSTR>(path.getUtf16()), attributes) != FALSE;
}
