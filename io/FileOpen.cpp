// Opening, closing, sizing, testing and deleting files.
#include <cstring>

#include "core/LogBase.h"
#include "core/StringBuffer.h"
#include "core/XString.h"
#include "io/FileSystem.h"
#include "io/WindowsVersion.h"

namespace {

constexpr uint32_t kUtf8CodePage = 65001;

struct OpenParameters {
    DWORD access;
    DWORD shareMode;
    DWORD disposition;
    DWORD flagsAndAttributes;
};

OpenParameters parametersFor(FileOpenMode mode) {
    switch (mode) {
        // A create never writes through a link at the name: another user could
        // have put one there to make us overwrite a file of his choosing.
        case FileOpenMode::CreateForWrite:
            return {GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT};
        case FileOpenMode::CreateHiddenForWrite:
            return {GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_OPEN_REPARSE_POINT};
        case FileOpenMode::OpenForRead:
            return {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL};
        case FileOpenMode::OpenForReadBackup:
            return {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS};
        case FileOpenMode::OpenForReadWriteBackup:
            return {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS};
    }
    return {GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL};
}

bool isSharingViolation(HANDLE handle) {
    return handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION;
}

// Logs the system's text for an error code under "osErrorInfo".
void logOsError(LogBase* log, DWORD error) {
    StringBuffer text;
    text.appendWindowsError(error);
    log->logData("osErrorInfo", text.getString());
}

void logEmptyName(LogBase* log) {
    if (log != nullptr) log->logError("Cannot open file, filename is empty.");
}

bool useAnsiEntryPoint(XString& path) { return WindowsVersion().isWin9x() || path.isAnsiRepresentable(); }

HANDLE openXString(XString& path, FileOpenMode mode, LogBase* log) {
    if (path.getLength() == 0) {
        if (mode == FileOpenMode::OpenForRead) logEmptyName(log);
        return INVALID_HANDLE_VALUE;
    }
    if (useAnsiEntryPoint(path)) return openFileAnsi(path.getAnsi(), mode, log);
    return openFileWide(path.getUtf16(), mode, log);
}

}  // namespace

HANDLE openFileAnsi(const char* ansiPath, FileOpenMode mode, LogBase* log) {
    OpenParameters p = parametersFor(mode);
    HANDLE handle =
        CreateFileA(ansiPath, p.access, p.shareMode, nullptr, p.disposition, p.flagsAndAttributes, nullptr);
    for (uint32_t retry = 0; retry < kOpenSharingRetries && isSharingViolation(handle); ++retry) {
        // Another process holds the file open for writing: allow that and try
        // again a little later.
        if (p.shareMode == FILE_SHARE_READ) p.shareMode = FILE_SHARE_READ | FILE_SHARE_WRITE;
        Sleep(kOpenRetryDelayMs);
        handle = CreateFileA(ansiPath, p.access, p.shareMode, nullptr, p.disposition, p.flagsAndAttributes,
                             nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE && log != nullptr) {
        const DWORD error = GetLastError();
        log->logError("Failed to open file (2)");
        log->logData("filename", ansiPath != nullptr ? ansiPath : "");
        logOsError(log, error);
    }
    return handle;
}

HANDLE openFileWide(const uint16_t* utf16Path, FileOpenMode mode, LogBase* log) {
    const OpenParameters p = parametersFor(mode);
    const LPCWSTR path = reinterpret_cast<LPCWSTR>(utf16Path);
    HANDLE handle =
        CreateFileW(path, p.access, p.shareMode, nullptr, p.disposition, p.flagsAndAttributes, nullptr);
    for (uint32_t retry = 0; retry < kOpenSharingRetries && isSharingViolation(handle); ++retry) {
        Sleep(kOpenRetryDelayMs);
        handle =
            CreateFileW(path, p.access, p.shareMode, nullptr, p.disposition, p.flagsAndAttributes, nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE && log != nullptr) {
        const DWORD error = GetLastError();
        log->logError("Failed to open file (3)");
        XString name;
        name.setFromUtf16(utf16Path);
        if (name.isAnsiRepresentable()) {
            log->logData("filename", name.getAnsi());
        } else {
            log->logData("utf8Filename", name.getUtf8());
        }
        logOsError(log, error);
    }
    return handle;
}

HANDLE createForWrite(XString& path, LogBase* log) {
    return openXString(path, FileOpenMode::CreateForWrite, log);
}

HANDLE createHiddenForWrite(XString& path, LogBase* log) {
    return openXString(path, FileOpenMode::CreateHiddenForWrite, log);
}

HANDLE openForRead(XString& path, LogBase* log) { return openXString(path, FileOpenMode::OpenForRead, log); }

HANDLE openForReadBackup(XString& path, LogBase* log) {
    return openXString(path, FileOpenMode::OpenForReadBackup, log);
}

HANDLE openForReadWriteBackup(XString& path, LogBase* log) {
    return openXString(path, FileOpenMode::OpenForReadWriteBackup, log);
}

HANDLE openForReadAnsi(const char* ansiPath, LogBase* log) {
    if (ansiPath == nullptr || *ansiPath == 0) {
        logEmptyName(log);
        return INVALID_HANDLE_VALUE;
    }
    return openFileAnsi(ansiPath, FileOpenMode::OpenForRead, log);
}

HANDLE openForReadWide(const uint16_t* utf16Path, LogBase* log) {
    if (utf16Path == nullptr || *utf16Path == 0) {
        logEmptyName(log);
        return INVALID_HANDLE_VALUE;
    }
    return openFileWide(utf16Path, FileOpenMode::OpenForRead, log);
}

void closeFileHandle(HANDLE handle) {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
}

uint32_t getFileSizeLogged(HANDLE handle, LogBase* log) {
    SetLastError(NO_ERROR);  // a success need not reset a stale error
    const DWORD size = GetFileSize(handle, nullptr);
    // A file can be exactly INVALID_FILE_SIZE bytes long (modulo 2^32): the
    // system then reports no error.
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR && log != nullptr) {
        StringBuffer text;
        text.appendLastWindowsError();
        log->logError(text.getString());
        log->logError("Failed to get file size");
    }
    return size;
}

bool fileExists(const char* utf8Path, LogBase* log) {
    if (utf8Path == nullptr || *utf8Path == 0) return false;
    XString path;
    path.setFromUtf8(utf8Path);
    HANDLE handle = openForRead(path, log);
    if (handle == INVALID_HANDLE_VALUE) return false;
    CloseHandle(handle);
    return true;
}

bool fileExistsAnsi(const char* ansiPath, LogBase* log) {
    if (ansiPath == nullptr || *ansiPath == 0) return false;
    HANDLE handle = openFileAnsi(ansiPath, FileOpenMode::OpenForRead, log);
    if (handle == INVALID_HANDLE_VALUE) return false;
    CloseHandle(handle);
    return true;
}

bool deleteFileAnsi(const char* ansiPath, LogBase* log) {
    if (ansiPath == nullptr || *ansiPath == 0) {
        if (log != nullptr) log->logError("Cannot delete file, filename is null or empty");
        return false;
    }
    if (!fileExistsAnsi(ansiPath, log)) {
        if (log != nullptr) {
            log->logData("delete_filename", ansiPath);
            log->logInfo("Cannot delete file, file does not exist");
        }
        return false;
    }
    if (DeleteFileA(ansiPath)) return true;
    if (log != nullptr) {
        StringBuffer text("DeleteFile: ");
        text.appendLastWindowsError();
        log->logInfo("Cannot delete file");
        log->logData("delete_filename", ansiPath);
        log->logInfo(text.getString());
    }
    return false;
}

bool deleteFileUtf8(const char* utf8Path, LogBase* log) {
    if (utf8Path == nullptr) return deleteFileAnsi(nullptr, log);
    StringBuffer ansiPath(utf8Path);
    ansiPath.convertToAnsi(kUtf8CodePage);
    return deleteFileAnsi(ansiPath.getString(), log);
}
