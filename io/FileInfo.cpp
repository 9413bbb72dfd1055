#include "io/FileInfo.h"

#include "core/LogBase.h"
#include "core/XString.h"
#include "io/FileSystem.h"

namespace {

void logFailure(LogBase* log, const char* message, const char* path) {
    if (log == nullptr) return;
    log->logError(message);
    log->logData("filename", path);
}

}  // namespace

FileInfo::FileInfo() = default;

void FileInfo::reset() {
    m_path.clear();
    m_isDirectory = false;
    m_size = 0;
    m_lastWriteTime = {0, 0};
    m_creationTime = {0, 0};
    m_lastAccessTime = {0, 0};
    m_attributes = 0;
}

// Times and size from an open handle; closes it.
bool FileInfo::fillFromHandle(HANDLE handle) {
    if (!GetFileTime(handle, &m_creationTime, &m_lastAccessTime, &m_lastWriteTime)) {
        closeFileHandle(handle);
        return false;
    }
    m_size = GetFileSize(handle, nullptr);
    closeFileHandle(handle);
    return true;
}

bool FileInfo::loadFileInfo(const char* utf8Path, LogBase* log) {
    if (utf8Path == nullptr) return false;
    XString path;
    path.setFromUtf8(utf8Path);
    if (path.isAnsiRepresentable()) return loadFileInfoAnsi(path.getAnsi(), log);
    return loadFileInfoWide(path.getUtf16(), log);
}

bool FileInfo::loadFileInfoAnsi(const char* ansiPath, LogBase* log) {
    reset();
    if (ansiPath == nullptr) {
        if (log != nullptr) log->logError("loadFileInfoAnsi failed: no filename");
        return false;
    }
    const DWORD attributes = GetFileAttributesA(ansiPath);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        if (log != nullptr) {
            log->logError("loadFileInfoAnsi failed: cannot get attributes");
            if (!fileExistsAnsi(ansiPath, log)) log->logError("File does not exist.");
            log->logData("filename", ansiPath);
        }
        return false;
    }
    m_attributes = attributes;
    m_isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    XString path;
    path.setFromAnsi(ansiPath);
    m_path.setString(path.getUtf8());

    const FileOpenMode mode = m_isDirectory ? FileOpenMode::OpenForReadBackup : FileOpenMode::OpenForRead;
    HANDLE handle = openFileAnsi(ansiPath, mode, log);
    if (handle == INVALID_HANDLE_VALUE) {
        logFailure(log, "loadFileInfoAnsi failed: cannot open for reading", ansiPath);
        return false;
    }
    if (!fillFromHandle(handle)) {
        logFailure(log, "loadFileInfoAnsi failed: cannot get file time", ansiPath);
        return false;
    }
    return true;
}

bool FileInfo::loadFileInfoWide(const uint16_t* utf16Path, LogBase* log) {
    (void)log;  // the wide form logs nothing
    reset();
    if (utf16Path == nullptr) return false;
    const DWORD attributes = GetFileAttributesW(reinterpret_cast<LPCWSTR>(utf16Path));
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    m_attributes = attributes;
    m_isDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    XString path;
    path.setFromUtf16(utf16Path);
    m_path.setString(path.getUtf8());

    const FileOpenMode mode = m_isDirectory ? FileOpenMode::OpenForReadBackup : FileOpenMode::OpenForRead;
    HANDLE handle = openFileWide(utf16Path, mode, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    return fillFromHandle(handle);
}
