// Process and module: the executable's path, the version answer, the ANSI
// code page, sleeping and the tick count.
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/posix/PosixLayer.h"

namespace {

// UTF-8 stands for the ANSI code page on this system.
constexpr uint32_t kUtf8CodePage = 65001;
uint32_t g_ansiCodePage = kUtf8CodePage;

// An NT-family answer, as a Windows 8 or later system gives it to a program
// that declares no compatibility with later versions.
constexpr DWORD kReportedMajorVersion = 6;
constexpr DWORD kReportedMinorVersion = 2;
constexpr DWORD kReportedBuildNumber = 9200;

// The module handle GetModuleHandleA(NULL) gives: any non-null value serves.
HINSTANCE const kMainModule = reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000));

std::string executablePath() {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            posix_layer::setLastErrorFromErrno(errno);
            return std::string();
        }
        if (static_cast<size_t>(length) < buffer.size()) return std::string(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
}

// Copies like GetModuleFileName: a path that does not fit is cut to
// nSize - 1 characters plus terminator, the result is nSize and the error
// ERROR_INSUFFICIENT_BUFFER.
template <typename Char, typename Text>
DWORD copyModulePath(const Text& path, Char* buffer, DWORD nSize) {
    if (buffer == nullptr || nSize == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const size_t length = path.size();
    if (length >= nSize) {
        std::memcpy(buffer, path.data(), (nSize - 1) * sizeof(Char));
        buffer[nSize - 1] = 0;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return nSize;
    }
    std::memcpy(buffer, path.data(), length * sizeof(Char));
    buffer[length] = 0;
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(length);
}

bool isMainModule(HMODULE module) { return module == nullptr || module == kMainModule; }

}  // namespace

void brivaneSetAnsiCodePageForTests(uint32_t codePage) { g_ansiCodePage = codePage; }

UINT GetACP(void) { return g_ansiCodePage; }

DWORD GetModuleFileNameA(HMODULE hModule, LPSTR lpFilename, DWORD nSize) {
    if (!isMainModule(hModule)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const std::string path = executablePath();
    if (path.empty()) return 0;
    return copyModulePath(path, lpFilename, nSize);
}

DWORD GetModuleFileNameW(HMODULE hModule, LPWSTR lpFilename, DWORD nSize) {
    if (!isMainModule(hModule)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const std::string path = executablePath();
    if (path.empty()) return 0;
    return copyModulePath(posix_layer::utf8ToUtf16(path), lpFilename, nSize);
}

HMODULE GetModuleHandleA(LPCSTR lpModuleName) {
    if (lpModuleName == nullptr) return kMainModule;
    SetLastError(ERROR_FILE_NOT_FOUND);  // no other modules are loaded by name
    return nullptr;
}

BOOL GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
    if (lpVersionInformation == nullptr ||
        lpVersionInformation->dwOSVersionInfoSize < sizeof(OSVERSIONINFOA)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    lpVersionInformation->dwMajorVersion = kReportedMajorVersion;
    lpVersionInformation->dwMinorVersion = kReportedMinorVersion;
    lpVersionInformation->dwBuildNumber = kReportedBuildNumber;
    lpVersionInformation->dwPlatformId = VER_PLATFORM_WIN32_NT;
    lpVersionInformation->szCSDVersion[0] = 0;
    return TRUE;
}

void Sleep(DWORD dwMilliseconds) {
    struct timespec remaining;
    remaining.tv_sec = dwMilliseconds / 1000;
    remaining.tv_nsec = static_cast<long>(dwMilliseconds % 1000) * 1000000L;
    while (::nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {}
}

DWORD GetTickCount(void) {
    struct timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t milliseconds =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<DWORD>(milliseconds & 0xFFFFFFFFu);  // wraps like the system's count
}
