// Standard streams: GetStdHandle over descriptors 0, 1 and 2, and the
// console calls, which find no console here.
#include <fcntl.h>
#include <unistd.h>

#include "platform/posix/PosixLayer.h"

namespace {

constexpr int kStreamCount = 3;

// The descriptor behind a standard handle number, or -1.
int descriptorOf(DWORD stdHandle) {
    if (stdHandle == STD_INPUT_HANDLE) return 0;
    if (stdHandle == STD_OUTPUT_HANDLE) return 1;
    if (stdHandle == STD_ERROR_HANDLE) return 2;
    return -1;
}

}  // namespace

// Each stream's handle is made once, over a duplicate of its descriptor (the
// handle owns what it holds), and lives as long as the process: like the
// system's standard handles, it is not the caller's to close.
HANDLE GetStdHandle(DWORD nStdHandle) {
    static HANDLE handles[kStreamCount] = {nullptr, nullptr, nullptr};
    const int fd = descriptorOf(nStdHandle);
    if (fd < 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return INVALID_HANDLE_VALUE;
    }
    if (handles[fd] != nullptr) return handles[fd];
    // A closed stream has no handle: null, as for a program without one.
    if (::fcntl(fd, F_GETFD) < 0) return nullptr;
    const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, kStreamCount);
    if (copy < 0) return nullptr;
    handles[fd] = posix_layer::newFileHandle(copy, false, fd == 0, fd != 0);
    return handles[fd];
}

BOOL AttachConsole(DWORD dwProcessId) {
    (void)dwProcessId;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL GetConsoleMode(HANDLE hConsoleHandle, LPDWORD lpMode) {
    (void)hConsoleHandle;
    if (lpMode != nullptr) *lpMode = 0;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}

BOOL WriteConsoleW(HANDLE hConsoleOutput, const void* lpBuffer, DWORD nNumberOfCharsToWrite,
                   LPDWORD lpNumberOfCharsWritten, LPVOID lpReserved) {
    (void)hConsoleOutput;
    (void)lpBuffer;
    (void)nNumberOfCharsToWrite;
    (void)lpReserved;
    if (lpNumberOfCharsWritten != nullptr) *lpNumberOfCharsWritten = 0;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}
