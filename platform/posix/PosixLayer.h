// Shared internals of the POSIX implementation of the Win32 subset: path
// translation, UTF-16 text, the error seam, file handles and the attribute
// bits the file system cannot hold. Only platform/posix/ and the layer's own
// tests include this header.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/win32.h"

namespace posix_layer {

// --- Paths -----------------------------------------------------------------
// A Windows-style path as the operating system takes it: '\' becomes '/', and
// a leading drive prefix "X:" stands for the root "/" ("C:\a" and "C:a" are
// both "/a", "C:" alone is "/").
std::string toNativePath(const char* path);

// --- UTF-16 text -----------------------------------------------------------
// UTF-16 to UTF-8; surrogate pairs join into one character, a lone surrogate
// becomes U+FFFD. Null gives "".
std::string utf16ToUtf8(const WCHAR* text);
// UTF-8 to UTF-16 (no terminator); an invalid byte becomes U+FFFD.
std::u16string utf8ToUtf16(const std::string& text);
// Writes text into a caller's buffer the way the Get...W queries do: the
// length without terminator when it fits in bufferChars, else the size needed
// including the terminator.
DWORD copyOutWide(const std::string& utf8Text, WCHAR* buffer, DWORD bufferChars);
DWORD copyOutAnsi(const std::string& text, char* buffer, DWORD bufferChars);

// --- Errors ----------------------------------------------------------------
// The Win32 code for an errno value. ENOENT is told apart by the caller
// (ERROR_FILE_NOT_FOUND or ERROR_PATH_NOT_FOUND, see setLastErrorForPath).
DWORD win32ErrorFromErrno(int errnoValue);
// SetLastError(win32ErrorFromErrno(errnoValue)).
void setLastErrorFromErrno(int errnoValue);
// As setLastErrorFromErrno, but ENOENT becomes ERROR_PATH_NOT_FOUND when a
// directory above the path's last component is missing, as Windows reports
// it, and ERROR_FILE_NOT_FOUND otherwise.
void setLastErrorForPath(int errnoValue, const std::string& nativePath);

// --- File handles ----------------------------------------------------------
struct FileHandle {
    int fd = -1;
    bool isDirectory = false;
    bool canRead = false;
    bool canWrite = false;
};
// Registers a new handle for an open descriptor; the handle owns it.
HANDLE newFileHandle(int fd, bool isDirectory, bool canRead, bool canWrite);
// The live handle behind a HANDLE, or null (ERROR_INVALID_HANDLE is then set).
FileHandle* lookupFileHandle(HANDLE handle);
// Closes and forgets a live handle; false when it is not one.
bool closeFileHandle(HANDLE handle);

// --- Directories -------------------------------------------------------------
// mkdir with the given mode (less the umask); the Win32 error on failure.
BOOL createDirectory(const std::string& nativePath, mode_t mode);
// rmdir, or unlink for a symbolic link (RemoveDirectory's rules).
BOOL removeDirectory(const std::string& nativePath);

// --- File status -------------------------------------------------------------
// stat(2) and the birth time, which tells a file apart from an earlier one
// that had the same inode (zero where the file system keeps no birth time).
struct FileStatus {
    struct stat st;
    int64_t birthSeconds = 0;
    uint32_t birthNanoseconds = 0;
};
// Set errno and return false on failure. statPath follows symbolic links,
// lstatPath does not.
bool statPath(const std::string& nativePath, FileStatus& out);
bool lstatPath(const std::string& nativePath, FileStatus& out);
bool statDescriptor(int fd, FileStatus& out);

// --- Attribute bits without a place on disk ----------------------------------
// Hidden, system, archive and the read-only bit of directories have no place
// in POSIX permissions; they are kept per file (device, inode, type and birth
// time) for the life of the process. Files without an entry report
// FILE_ATTRIBUTE_ARCHIVE, directories nothing beyond FILE_ATTRIBUTE_DIRECTORY.
constexpr DWORD kKeptAttributeBits =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY;
void keepAttributeBits(const FileStatus& status, DWORD bits);
void forgetAttributeBits(const FileStatus& status);
// False while no file has an entry (then there is none to forget).
bool keepsAnyAttributeBits();
// The attributes Windows would report for a file with this status.
DWORD attributesFromStatus(const FileStatus& status);
// True when the file carries the read-only attribute (no owner write bit for
// a file; the kept bit for a directory).
bool isReadOnly(const FileStatus& status);

}  // namespace posix_layer

namespace posix_layer {

// --- Command lines ---------------------------------------------------------
// Splits parameters the way a Windows program's runtime splits its command
// line: blanks (space, tab) separate arguments outside double quotes; 2n
// backslashes before a quote give n backslashes and the quote opens or
// closes a quoted part; 2n+1 backslashes before a quote give n backslashes
// and a literal quote; other backslashes are literal; inside a quoted part a
// doubled quote gives one literal quote. "" alone is an empty argument.
std::vector<std::string> splitCommandLine(const char* parameters);

}  // namespace posix_layer

namespace posix_layer {

// --- Windows ---------------------------------------------------------------
// A window of this layer: no pixels, only what the message-driven code of
// the program observes. The dialog renderings create their windows here too,
// so that messages posted to them are dispatched like any other.
struct WindowRecord {
    WNDPROC procedure = nullptr;
    std::string className;
    std::string text;
    HWND parent = nullptr;
    DWORD style = 0;
    int controlId = 0;
    bool enabled = true;
};
// Registers a window and returns its handle (never null).
HWND newWindow(const WindowRecord& record);
// The live window behind a handle, or null (ERROR_INVALID_WINDOW_HANDLE set).
WindowRecord* findWindow(HWND window);
// Forgets a window; the handle is not reused.
void forgetWindow(HWND window);

}  // namespace posix_layer

namespace posix_layer {

// --- Processes -------------------------------------------------------------
// A handle for a started child process that is to be waited for; the handle
// owns the child until it has been reaped.
HANDLE newProcessHandle(pid_t pid);
// Closes a process handle; false (and no error set) when the handle is not
// one, so that CloseHandle can try the other kinds. A child that is still
// running goes on running; it is reaped when it ends, if we are still there.
bool closeProcessHandle(HANDLE handle);
// True when the handle is a live process handle.
bool isProcessHandle(HANDLE handle);

// --- Message queue -----------------------------------------------------------
// True when a posted message or a WM_QUIT waits in the queue.
bool hasQueuedMessage();

}  // namespace posix_layer
